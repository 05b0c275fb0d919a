// The engine library's build: failure messages, and a password database made
// by the program's build read back through this one.
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <vector>

#include "dao_test_support.h"

extern char** environ;

namespace {

using daotest::Bool;
using daotest::I4;
using daotest::Scratch;
using daotest::TempDir;
using daotest::WrapperTest;
using kh::Variant;

TEST_F(WrapperTest, FailedCallsRaiseTheMemberNameAndTheHresult) {
  TempDir dir;
  Scratch s(dir.file("fail.pdb"));
  const Variant& missing = DAOMissing();
  struct Case {
    const char* member;
    kh::HRESULT code;
    std::function<void()> call;
  };
  const std::vector<Case> cases = {
      {"DAORecordset.MoveNext", kh::DaoError(3021),
       [&] { s.db->OpenRecordset("Items", I4(kh::dao::dbOpenTable), missing, missing)->MoveNext(); }},
      {"DAORecordset._30_MoveLast", kh::DaoError(3021),
       [&] { s.db->OpenRecordset("Items", I4(kh::dao::dbOpenTable), missing, missing)->_30_MoveLast(); }},
      {"DAOTableDefs.GetItem", kh::DaoError(3265), [&] { s.db->GetTableDefs()->GetItem(Variant("Nothing")); }},
      {"DAOWorkspace.OpenDatabase", kh::DaoError(3024),
       [&] { s.ws->OpenDatabase(dir.file("absent.pdb"), missing, missing, missing); }},
      {"DAODatabase.CommitTrans", kh::DaoError(3034), [&] { s.db->CommitTrans(kh::dao::dbForceOSFlush); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.member);
    try {
      c.call();
      ADD_FAILURE() << "no failure";
    } catch (const EDAOError& e) {
      EXPECT_EQ(e.message(), std::string(c.member) + " failed");
      EXPECT_EQ(e.errorCode(), c.code);
    }
  }
}

// Runs the program-build tool that makes a password database with samples.
void createWithProgramBuild(const std::string& path, const std::string& password) {
  std::vector<std::string> args = {DAO_CREATE_PDB, path, password};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, DAO_CREATE_PDB, nullptr, nullptr, argv.data(), environ), 0);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "dao_create_pdb failed, status " << status;
}

struct FieldExpect {
  std::string name;
  std::int16_t type;
  std::int32_t size;
  bool autoIncrement;
  bool allowZeroLength;
};

struct IndexExpect {
  std::string name;
  bool primary;
  std::vector<std::string> fields;
};

// The rows of a table, each as field name -> value, in the table's order.
std::vector<std::map<std::string, Variant>> rowsOf(DAOTableDef& table) {
  std::vector<std::map<std::string, Variant>> rows;
  auto rs = table.OpenRecordset(I4(kh::dao::dbOpenTable), DAOMissing());
  DAOFields* fields = rs->GetFields();
  std::vector<std::string> names;
  for (std::int16_t i = 0; i < fields->GetCount(); ++i) names.push_back(fields->GetItem(I4(i))->GetName());
  if (rs->GetEOF()) return rows;
  rs->MoveFirst();
  while (!rs->GetEOF()) {
    auto& row = rows.emplace_back();
    for (const auto& n : names) row[n] = rs->GetCollect(Variant(n));
    rs->MoveNext();
  }
  return rows;
}

TEST_F(WrapperTest, ReadsBackThePasswordDatabaseTheProgramCreates) {
  TempDir dir;
  const std::string path = dir.file("accounts.pdb");
  createWithProgramBuild(path, "Master#1");

  {
    std::ifstream raw(path, std::ios::binary);
    std::string head(16, '\0');
    raw.read(head.data(), 16);
    EXPECT_NE(head.rfind("SQLite format 3", 0), 0u) << "the file is not encrypted";
  }

  auto engine = std::make_unique<DAOLocalEngine>(true);
  auto ws = engine->CreateWorkspace("Keyhaven", "admin", "", I4(kh::dao::dbUseJet));
  EXPECT_THROW(ws->OpenDatabase(path, Bool(true), Bool(false), Variant(";PWD=wrong")), EDAOError);
  auto db = ws->OpenDatabase(path, Bool(true), Bool(false), Variant(";PWD=Master#1"));

  DAOTableDefs* tableDefs = db->GetTableDefs();
  std::vector<std::string> userTables;
  for (std::int16_t i = 0; i < tableDefs->GetCount(); ++i) {
    auto table = tableDefs->GetItem(I4(i));
    if ((table->GetAttributes() & kh::dao::dbSystemObject) == 0) userTables.push_back(table->GetName());
  }
  std::sort(userTables.begin(), userTables.end());
  EXPECT_EQ(userTables, (std::vector<std::string>{"Groups", "Options", "Passwords"}));

  const std::int16_t kBool = kh::dao::dbBoolean, kLong = kh::dao::dbLong, kDate = kh::dao::dbDate,
                     kText = kh::dao::dbText, kMemo = kh::dao::dbMemo;
  const std::map<std::string, std::vector<FieldExpect>> fieldsByTable = {
      {"Options",
       {{"Group", kText, 50, false, false},
        {"style", kText, 12, false, false},
        {"pwdsystray", kBool, 1, false, false},
        {"DBMaintCount", kLong, 4, false, false},
        {"DBMaintFreq", kLong, 4, false, false},
        {"showpassword", kLong, 4, false, false},
        {"promptpassword", kBool, 1, false, false}}},
      {"Groups", {{"GroupID", kLong, 4, true, false}, {"Name", kText, 50, false, false}}},
      {"Passwords",
       {{"GroupID", kLong, 4, false, false},
        {"PasswordID", kLong, 4, true, false},
        {"Description", kText, 100, false, false},
        {"ID", kText, 100, false, true},
        {"Password", kText, 100, false, true},
        {"ExpireDate", kDate, 8, false, false},
        {"AssignDate", kDate, 8, false, false},
        {"URL", kText, 100, false, true},
        {"KeySequence", kText, 100, false, true},
        {"ShowAccount", kBool, 1, false, false},
        {"Notes", kMemo, 0, false, true}}},
  };
  for (const auto& [tableName, expected] : fieldsByTable) {
    SCOPED_TRACE(tableName);
    auto table = tableDefs->GetItem(Variant(tableName));
    DAOFields* fields = table->GetFields();
    ASSERT_EQ(fields->GetCount(), static_cast<std::int16_t>(expected.size()));
    for (std::size_t i = 0; i < expected.size(); ++i) {
      const FieldExpect& x = expected[i];
      SCOPED_TRACE(x.name);
      auto f = fields->GetItem(I4(static_cast<std::int32_t>(i)));
      EXPECT_EQ(f->GetName(), x.name);
      EXPECT_EQ(f->GetType(), x.type);
      EXPECT_EQ(f->GetSize(), x.size);
      EXPECT_EQ((f->GetAttributes() & kh::dao::dbAutoIncrField) != 0, x.autoIncrement);
      EXPECT_EQ(f->GetAllowZeroLength(), x.allowZeroLength ? kh::VARIANT_TRUE : kh::VARIANT_FALSE);
    }
  }

  const std::map<std::string, std::vector<IndexExpect>> indexesByTable = {
      {"Groups", {{"Groups", true, {"GroupID"}}}},
      {"Passwords",
       {{"PrimaryKey", true, {"GroupID", "PasswordID"}},
        {"GroupKey", false, {"GroupID"}},
        {"PasswordKey", false, {"PasswordID"}}}},
  };
  for (const auto& [tableName, expected] : indexesByTable) {
    auto table = tableDefs->GetItem(Variant(tableName));
    for (const IndexExpect& x : expected) {
      SCOPED_TRACE(tableName + "." + x.name);
      auto index = table->GetIndexes()->GetItem(Variant(x.name));
      EXPECT_EQ(index->GetName(), x.name);
      EXPECT_EQ(index->GetPrimary(), x.primary ? kh::VARIANT_TRUE : kh::VARIANT_FALSE);
      if (x.primary) {
        EXPECT_EQ(index->GetUnique(), kh::VARIANT_TRUE);
      }
      EXPECT_EQ(index->GetIgnoreNulls(), kh::VARIANT_FALSE);
      DAOIndexFields* indexFields = index->GetFields();
      std::vector<std::string> names;
      for (std::int16_t i = 0; i < indexFields->GetCount(); ++i)
        names.push_back(indexFields->GetItem(I4(i))->GetName());
      EXPECT_EQ(names, x.fields);
    }
  }
  EXPECT_EQ(tableDefs->GetItem(Variant("Options"))->GetIndexes()->GetCount(), 0);

  // The relation, read through the store's own interface (the wrappers offer
  // no members to read one).
  {
    kh::ComPtr<kh::dao::Relation> relation;
    ASSERT_EQ(db->GetRelations()->Intf()->get_Item(Variant("GroupsPassword"), relation.put()), kh::S_OK);
    std::string table, foreignTable;
    std::int32_t attributes = 0;
    relation->get_Table(&table);
    relation->get_ForeignTable(&foreignTable);
    relation->get_Attributes(&attributes);
    EXPECT_EQ(table, "Groups");
    EXPECT_EQ(foreignTable, "Passwords");
    EXPECT_EQ(attributes, 4352);
    DAORelation wrapper(db->GetRelations(), relation.get());
    ASSERT_EQ(wrapper.GetFields()->GetCount(), 1);
    auto field = wrapper.GetFields()->GetItem(I4(0));
    std::string foreignName;
    field->Intf()->get_ForeignName(&foreignName);
    EXPECT_EQ(field->GetName(), "GroupID");
    EXPECT_EQ(foreignName, "GroupID");
  }

  auto options = rowsOf(*tableDefs->GetItem(Variant("Options")));
  ASSERT_EQ(options.size(), 1u);
  auto& row = options[0];
  EXPECT_EQ(row["Group"].str(), "Email Accounts");
  EXPECT_EQ(row["style"].str(), "None");
  EXPECT_TRUE(row["pwdsystray"].boolVal());
  EXPECT_EQ(row["DBMaintCount"].i4(), 100);
  EXPECT_EQ(row["DBMaintFreq"].i4(), 100);
  EXPECT_EQ(row["showpassword"].i4(), 1);
  EXPECT_TRUE(row["promptpassword"].boolVal());

  auto groups = rowsOf(*tableDefs->GetItem(Variant("Groups")));
  std::sort(groups.begin(), groups.end(), [](auto& a, auto& b) { return a.at("GroupID").i4() < b.at("GroupID").i4(); });
  std::vector<std::string> names;
  for (auto& g : groups) names.push_back(g["Name"].str());
  EXPECT_EQ(names, (std::vector<std::string>{"Email Accounts", "Web Discussion Boards", "Misc Accounts",
                                             "Web Subscriptions"}));
  EXPECT_TRUE(rowsOf(*tableDefs->GetItem(Variant("Passwords"))).empty());

  db.reset();
  ws.reset();
  engine.reset();
}

}  // namespace
