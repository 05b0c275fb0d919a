// Opening, protecting, locking, compacting and re-keying files.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "store_fixture.h"

namespace kh::storetest {
namespace {

class FileTest : public StoreTest {};

TEST_F(FileTest, OpenFailuresCarryDaoNumbers) {
  { createDb("kh.pdb", "right"); }
  {
    std::ofstream junk(path("junk.pdb"));
    junk << "this is not a database";
  }
  struct Case {
    const char* what;
    std::string file;
    std::string connect;
    unsigned number;
  };
  const Case cases[] = {
      {"wrong password", path("kh.pdb"), ";PWD=wrong", 3031},
      {"no password", path("kh.pdb"), "", 3031},
      {"missing file", path("none.pdb"), ";PWD=x", 3024},
      {"missing directory", path("nodir/kh.pdb"), ";PWD=x", 3044},
      {"not a database", path("junk.pdb"), ";PWD=x", 3343},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ComPtr<Database> db;
    EXPECT_DAO(ws_->OpenDatabase(c.file, M(), M(), Variant(c.connect), db.put()), c.number);
    EXPECT_EQ(lastError().first, static_cast<std::int32_t>(c.number));
    EXPECT_FALSE(lastError().second.empty());
  }
  ComPtr<Database> again;
  EXPECT_DAO(ws_->CreateDatabase(path("kh.pdb"), std::string(dbLangGeneral) + ";pwd=x", M(), again.put()), 3204);
  ComPtr<Workspace> w;
  EXPECT_DAO(engine_->CreateWorkspace("w", "someone", "secret", Variant(std::int32_t{2}), w.put()), 3029);
}

TEST_F(FileTest, WrongPasswordLeavesFileUnchanged) {
  {
    auto db = createDb("kh.pdb", "right");
    buildSchema(db.get(), true);
  }
  std::string before = fileBytes(path("kh.pdb"));
  ComPtr<Database> db;
  EXPECT_DAO(ws_->OpenDatabase(path("kh.pdb"), Variant::fromBool(true), M(), V(";PWD=wrong"), db.put()), 3031);
  EXPECT_EQ(fileBytes(path("kh.pdb")), before);
}

TEST_F(FileTest, ProtectedFileHoldsNoPlainText) {
  {
    auto db = createDb("kh.pdb", "master");
    buildSchema(db.get(), true);
    ComPtr<Recordset> pw;
    HR_OK(db->OpenRecordset("Passwords", V(dbOpenTable), M(), M(), pw.put()));
    HR_OK(pw->AddNew());
    HR_OK(pw->put_Collect(V("GroupID"), V(1)));
    HR_OK(pw->put_Collect(V("Description"), V("Bank")));
    HR_OK(pw->put_Collect(V("Password"), V("Zebra-Quartz-9931")));
    HR_OK(pw->put_Collect(V("Notes"), V("memo Zebra-Quartz-9931")));
    HR_OK(pw->_30_Update());
  }
  for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
    std::string bytes = fileBytes(entry.path().string());
    EXPECT_EQ(bytes.find("Zebra-Quartz"), std::string::npos) << entry.path();
    EXPECT_EQ(bytes.find("Passwords"), std::string::npos) << entry.path();
    EXPECT_EQ(bytes.find("master"), std::string::npos) << entry.path();
  }
}

TEST_F(FileTest, ExclusiveOpenLocksOutOtherOpeners) {
  { createDb("kh.pdb", "pw"); }
  auto first = openDb("kh.pdb", "pw", true);
  ASSERT_TRUE(first);
  ComPtr<Database> second;
  EXPECT_DAO(ws_->OpenDatabase(path("kh.pdb"), M(), M(), V(";PWD=pw"), second.put()), 3045);
  auto other = newEngine();
  ComPtr<Database> third;
  EXPECT_DAO(other->OpenDatabase(path("kh.pdb"), Variant::fromBool(true), M(), V(";PWD=pw"), third.put()), 3045);
  first.reset();
  EXPECT_TRUE(openDb("kh.pdb", "pw"));
}

TEST_F(FileTest, ReadOnlyOpenNeverWrites) {
  {
    auto db = createDb("kh.pdb", "pw");
    buildSchema(db.get(), true);
  }
  std::string before = fileBytes(path("kh.pdb"));
  auto db = openDb("kh.pdb", "pw", false, true);
  ComPtr<Recordset> rs;
  HR_OK(db->OpenRecordset("Groups", V(dbOpenDynaset), M(), M(), rs.put()));
  EXPECT_DAO(rs->Edit(), 3027);
  EXPECT_DAO(db->Execute("DELETE FROM Groups", M()), 3027);
  db.reset();
  EXPECT_EQ(fileBytes(path("kh.pdb")), before);
}

TEST_F(FileTest, KilledWriterLeavesEveryCommittedChange) {
  {
    auto db = createDb("kh.pdb", "pw");
    buildSchema(db.get(), false);
  }
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(fds[0]);
    auto engine = newEngine();
    ComPtr<Database> db;
    engine->OpenDatabase(path("kh.pdb"), M(), M(), V(";PWD=pw"), db.put());
    ComPtr<Recordset> rs;
    db->OpenRecordset("Groups", V(dbOpenTable), M(), M(), rs.put());
    for (int i = 0;; ++i) {
      rs->AddNew();
      rs->put_Collect(V("Name"), V(("g" + std::to_string(i)).c_str()));
      if (rs->_30_Update() != S_OK) _exit(1);
      char c = 1;
      if (write(fds[1], &c, 1) != 1) _exit(1);
    }
  }
  close(fds[1]);
  int committed = 0;
  char c;
  while (committed < 25 && read(fds[0], &c, 1) == 1) ++committed;
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  while (read(fds[0], &c, 1) == 1) ++committed;
  close(fds[0]);

  auto db = openDb("kh.pdb", "pw");
  ASSERT_TRUE(db);
  ComPtr<Recordset> rs;
  HR_OK(db->OpenRecordset("SELECT count(*) AS n FROM Groups", V(dbOpenSnapshot), M(), M(), rs.put()));
  int rows = std::stoi(text(rs.get(), "n"));
  // Every reported commit is there; at most the one in flight may be too.
  EXPECT_GE(rows, committed);
  EXPECT_LE(rows, committed + 1);
}

TEST_F(FileTest, CompactWritesNewFileAndKeepsSource) {
  {
    auto db = createDb("kh.pdb", "pw");
    buildSchema(db.get(), true);
  }
  std::string before = fileBytes(path("kh.pdb"));
  HR_OK(engine_->RepairDatabase(path("kh.pdb")));
  HR_OK(engine_->CompactDatabase(path("kh.pdb"), path("new.pdb"), M(), V(6), V(";pwd=pw"))) << lastError().second;
  EXPECT_EQ(fileBytes(path("kh.pdb")), before);
  EXPECT_DAO(engine_->CompactDatabase(path("kh.pdb"), path("new.pdb"), M(), V(6), V(";pwd=pw")), 3204);
  EXPECT_DAO(engine_->CompactDatabase(path("kh.pdb"), path("other.pdb"), M(), V(6), V(";pwd=bad")), 3031);
  EXPECT_FALSE(std::filesystem::exists(path("other.pdb")));

  auto db = openDb("new.pdb", "pw");
  ASSERT_TRUE(db);
  ComPtr<Recordset> rs;
  HR_OK(db->OpenRecordset("select * from groups order by Name", V(dbOpenDynaset), M(), M(), rs.put()));
  EXPECT_EQ(text(rs.get(), "Name"), "Email Accounts");
  // The rules travel with the data.
  ComPtr<Recordset> pw;
  HR_OK(db->OpenRecordset("Passwords", V(dbOpenTable), M(), M(), pw.put()));
  HR_OK(pw->AddNew());
  HR_OK(pw->put_Collect(V("GroupID"), V(999)));
  EXPECT_DAO(pw->_30_Update(), 3201);
}

TEST_F(FileTest, NewPasswordNeedsExclusiveOpenAndOldPassword) {
  {
    auto db = createDb("kh.pdb", "old");
    buildSchema(db.get(), true);
  }
  {
    auto shared = openDb("kh.pdb", "old");
    EXPECT_DAO(shared->NewPassword("old", "new"), 3006);
  }
  {
    auto db = openDb("kh.pdb", "old", true);
    EXPECT_DAO(db->NewPassword("bad", "new"), 3031);
    HR_OK(db->NewPassword("old", "new"));
  }
  ComPtr<Database> stale;
  EXPECT_DAO(ws_->OpenDatabase(path("kh.pdb"), M(), M(), V(";PWD=old"), stale.put()), 3031);
  auto db = openDb("kh.pdb", "new", true);
  ASSERT_TRUE(db);
  // Plain and protected files change into each other too.
  HR_OK(db->NewPassword("new", "")) << lastError().second;
  db.reset();
  auto plain = openDb("kh.pdb", "");
  ASSERT_TRUE(plain);
  plain.reset();
  auto again = openDb("kh.pdb", "", true);
  HR_OK(again->NewPassword("", "back"));
  again.reset();
  auto back = openDb("kh.pdb", "back");
  ASSERT_TRUE(back);
  ComPtr<Recordset> rs;
  HR_OK(back->OpenRecordset("Groups", V(dbOpenTable), M(), M(), rs.put()));
  EXPECT_FALSE(eof(rs.get()));
}

}  // namespace
}  // namespace kh::storetest
