// The program's build: failure messages that carry DAO's errors, and the
// compaction of a password database.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "dao_test_support.h"
#include "pdb_schema.h"

namespace {

using daotest::Bool;
using daotest::I4;
using daotest::Scratch;
using daotest::TempDir;
using daotest::WrapperTest;
using kh::Variant;

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = text.find("\r\n", start);
    lines.push_back(text.substr(start, end - start));
    if (end == std::string::npos) return lines;
    start = end + 2;
  }
}

// The descriptions in the engine's Errors collection now.
std::vector<std::string> pendingErrors(DAODBEngine& engine) {
  std::vector<std::string> out;
  DAOErrors* errors = engine.GetErrors();
  for (std::int16_t i = 0; i < errors->GetCount(); ++i) out.push_back(errors->GetItem(I4(i))->GetDescription());
  return out;
}

bool looksEncrypted(const std::string& path) {
  std::ifstream raw(path, std::ios::binary);
  std::string head(16, '\0');
  raw.read(head.data(), 16);
  return raw && head.rfind("SQLite format 3", 0) != 0;
}

TEST_F(WrapperTest, FailureMessageListsTheErrorsOfTheEngineUpTheParentChain) {
  TempDir dir;
  const std::string path = dir.file("exists.pdb");
  Scratch s(path);
  struct Case {
    const char* member;
    std::function<void()> call;
  };
  const std::vector<Case> cases = {
      // Creating over an existing file; the workspace's engine is two parents up.
      {"DAOWorkspace.CreateDatabase",
       [&] { s.ws->CreateDatabase(path, std::string(kh::dao::dbLangGeneral) + ";pwd=x", I4(6)); }},
      // Deeper: recordset -> database -> workspace -> workspaces -> engine.
      {"DAORecordset.MoveNext",
       [&] { s.db->OpenRecordset("Items", I4(kh::dao::dbOpenTable), DAOMissing(), DAOMissing())->MoveNext(); }},
      // On the engine itself.
      {"DAODBEngine.RepairDatabase", [&] { s.engine->RepairDatabase(dir.file("absent.pdb")); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.member);
    try {
      c.call();
      ADD_FAILURE() << "no failure";
    } catch (const EDAOError& e) {
      std::vector<std::string> expected = {std::string(c.member) + " failed:"};
      for (auto& d : pendingErrors(*s.engine)) expected.push_back(d);
      EXPECT_GE(expected.size(), 2u) << "the store reported no error";
      EXPECT_EQ(splitLines(e.message()), expected);
      EXPECT_EQ(kh::DaoErrorNumber(e.errorCode()),
                static_cast<unsigned>(s.engine->GetErrors()->GetItem(I4(0))->GetNumber()));
    }
  }
}

TEST_F(WrapperTest, FailureMessageEndsInTheColonWithoutAnEngine) {
  TempDir dir;
  Scratch s(dir.file("orphan.pdb"));
  DAOTableDefs orphan(Variant::fromDispatch(s.db->GetTableDefs()->Dispatch()));
  try {
    orphan.GetItem(Variant("Nothing"));
    ADD_FAILURE() << "no failure";
  } catch (const EDAOError& e) {
    EXPECT_EQ(e.message(), "DAOTableDefs.GetItem failed:");
    EXPECT_EQ(e.errorCode(), kh::DaoError(3265));
  }
}

TEST_F(WrapperTest, CompactionWritesACopyThatOpensWithTheSamePassword) {
  TempDir dir;
  const std::string path = dir.file("accounts.pdb");
  const std::string password = "Master#1";
  daotest::createPasswordDatabase(path, password, true);
  ASSERT_EQ(DAOLiveObjects(), 0);

  const std::string temporary = dir.path() + "/~f8njid.fee";
  {
    std::ofstream(temporary) << "left over";
    auto engine = std::make_unique<DAOLocalEngine>(true);
    auto ws = engine->GetWorkspaces()->GetItem(I4(0));
    engine->RepairDatabase(path);
    std::filesystem::remove(temporary);
    engine->CompactDatabase(path, temporary, DAOMissing(), I4(6), Variant(";pwd=" + password));
    ws.reset();
    engine.reset();
  }
  ASSERT_TRUE(std::filesystem::exists(temporary));
  EXPECT_TRUE(looksEncrypted(temporary));

  DAOLocalEngine engine(true);
  auto ws = engine.GetWorkspaces()->GetItem(I4(0));
  try {
    ws->OpenDatabase(temporary, Bool(true), Bool(false), Variant(";PWD=wrong"));
    ADD_FAILURE() << "opened with a wrong password";
  } catch (const EDAOError& e) {
    EXPECT_EQ(e.message().rfind("DAOWorkspace.OpenDatabase failed:\r\n", 0), 0u) << e.message();
  }
  auto db = ws->OpenDatabase(temporary, Bool(true), Bool(false), Variant(";PWD=" + password));
  auto groups = db->OpenRecordset("Groups", I4(kh::dao::dbOpenTable), DAOMissing(), DAOMissing());
  std::vector<std::string> names;
  while (!groups->GetEOF()) {
    names.push_back(groups->GetCollect(Variant("Name")).str());
    groups->MoveNext();
  }
  EXPECT_EQ(names.size(), 4u);
  auto options = db->OpenRecordset("Options", I4(kh::dao::dbOpenTable), DAOMissing(), DAOMissing());
  EXPECT_EQ(options->GetCollect(Variant("Group")).str(), "Email Accounts");
  EXPECT_EQ(
      db->GetTableDefs()->GetItem(Variant("Passwords"))->GetIndexes()->GetItem(Variant("PrimaryKey"))->GetPrimary(),
      kh::VARIANT_TRUE);
  groups.reset();
  options.reset();
  db.reset();
  ws.reset();
}

}  // namespace
