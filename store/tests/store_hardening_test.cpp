// Statements and files a hostile caller or a third party could hand the store:
// the catalogue and SQLite's own tables stay out of reach, unknown names do not
// read as Null, counters do not wrap, and protected files are keyed with the
// Argon2id derivation and readable by their owner only.
#include <argon2.h>
#define SQLITE_HAS_CODEC 1
#include <sqlcipher/sqlite3.h>
#include <sys/stat.h>

#include <array>
#include <cstdio>

#include "store_fixture.h"

namespace kh::storetest {
namespace {

class HardeningTest : public StoreTest {
 protected:
  static std::string hex(const unsigned char* p, std::size_t n) {
    std::string out;
    char b[3];
    for (std::size_t i = 0; i < n; ++i) {
      std::snprintf(b, sizeof b, "%02x", p[i]);
      out += b;
    }
    return out;
  }
  std::array<unsigned char, 16> salt(const std::string& file) {
    std::array<unsigned char, 16> s{};
    std::ifstream in(path(file), std::ios::binary);
    in.read(reinterpret_cast<char*>(s.data()), 16);
    return s;
  }
  // The key as a user derives it with stock tools: Argon2id, 64 MiB, 3 passes,
  // 1 lane, 32 bytes, salted with the file's first 16 bytes.
  std::string derivedKey(const std::string& file, const std::string& password) {
    auto s = salt(file);
    unsigned char key[32];
    EXPECT_EQ(argon2id_hash_raw(3, 65536, 1, password.data(), password.size(), s.data(), s.size(), key, sizeof key),
              ARGON2_OK);
    return "x'" + hex(key, sizeof key) + "'";
  }
  // Opens `file` with plain SQLCipher and `key`; returns the KeyDerivation row,
  // or "no access" when the key does not open it.
  std::string readWithSqlcipher(const std::string& file, const std::string& key, bool passphrase = false) {
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open_v2(path(file).c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_key(db, key.data(), static_cast<int>(key.size()));
    sqlite3_exec(db, "PRAGMA cipher_page_size = 4096", nullptr, nullptr, nullptr);
    if (passphrase) sqlite3_exec(db, "PRAGMA kdf_iter = 256000", nullptr, nullptr, nullptr);
    std::string out = "no access";
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT Value FROM MSysKhInfo WHERE Name = 'KeyDerivation'", -1, &s, nullptr) ==
        SQLITE_OK) {
      out = sqlite3_step(s) == SQLITE_ROW ? reinterpret_cast<const char*>(sqlite3_column_text(s, 0)) : "";
    }
    sqlite3_finalize(s);
    sqlite3_close(db);
    return out;
  }
  static unsigned mode(const std::string& p) {
    struct stat st {};
    if (stat(p.c_str(), &st) != 0) return 0;
    return st.st_mode & 0777;
  }
};

TEST_F(HardeningTest, HostileStatementsFailCleanly) {
  auto db = createDb("kh.pdb", "pw");
  buildSchema(db.get(), true);
  std::string chain = "select * from groups where GroupID = 1";
  for (int i = 0; i < 20000; ++i) chain += "+1";
  std::string ors = "select * from groups where GroupID = 1";
  for (int i = 0; i < 16000; ++i) ors += " or GroupID = 1";
  struct Case {
    std::string sql;
    bool rows;  // opened as a recordset, else executed
    unsigned error;
  };
  const Case cases[] = {
      {chain, true, 3360},
      {ors, true, 3360},
      {"update MSysKhFields set Size = 1", false, 3027},
      {"update MSysKhFields as f set f.Size = 1 where f.Name = 'Name'", false, 3027},
      {"delete from MSysKhInfo", false, 3027},
      {"delete MSysKhIndexes.* from MSysKhIndexes inner join Groups on 1 = 1", false, 3027},
      {"insert into MSysKhQueries (Name, SQL, Seq) values ('q', 'select 1', 9)", false, 3027},
      {"insert into MSysKhTables select * from MSysKhTables", false, 3027},
      {"select * into MSysKhRelations from Groups", false, 3010},
      {"drop table MSysKhInfo", false, 3033},
      {"alter table MSysKhFields drop column Size", false, 3033},
      {"select * from sqlite_master", true, 3078},
      {"select count(*) from sqlite_master", true, 3078},
      {"select 1 from [SQLITE_MASTER]", true, 3078},
      {"select * from groups where Name in (select sql from sqlite_master)", true, 3078},
      {"select * from groups where exists (select 1 from sqlite_sequence)", true, 3078},
      {"update sqlite_sequence set seq = 2147483647", false, 3078},
      {"delete from sqlite_sequence", false, 3078},
      {"insert into sqlite_sequence (name, seq) values ('Groups', 5)", false, 3078},
      {"select * from sqlite_temp_master", true, 3078},
      {"select foo from groups", true, 3061},
      {"select * from groups order by Nam", true, 3061},
      {"select * from groups where Nme = 'x' and Nam = 'y'", true, 3061},
      {"update groups set Name = Nam", false, 3061},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql.substr(0, 80));
    if (c.rows) {
      ComPtr<Recordset> rs;
      EXPECT_DAO(db->OpenRecordset(c.sql, V(dbOpenDynaset), M(), M(), rs.put()), c.error) << lastError().second;
    } else {
      EXPECT_DAO(db->Execute(c.sql, V(dbFailOnError)), c.error) << lastError().second;
    }
  }
  // The catalogue is as it was: the field sizes and the stored rows read back.
  ComPtr<Recordset> rs;
  HR_OK(db->OpenRecordset("select Size from MSysKhFields where TableName = 'Groups' and Name = 'Name'",
                          V(dbOpenSnapshot), M(), M(), rs.put()));
  EXPECT_EQ(text(rs.get(), "Size"), "50");
  // A dynaset over a catalogue table reads but does not change it.
  ComPtr<Recordset> cat;
  HR_OK(db->OpenRecordset("select * from MSysKhInfo", V(dbOpenDynaset), M(), M(), cat.put()));
  EXPECT_FALSE(eof(cat.get()));
  EXPECT_NE(cat->Edit(), S_OK);
  db.reset();
  auto again = openDb("kh.pdb", "pw");
  ComPtr<Recordset> g;
  HR_OK(again->OpenRecordset("select * from groups order by Name", V(dbOpenDynaset), M(), M(), g.put()));
  EXPECT_EQ(text(g.get(), "Name"), "Email Accounts");
}

TEST_F(HardeningTest, CounterBeyondLongRangeFails) {
  auto db = createDb("kh.pdb", "");
  buildSchema(db.get(), false);
  HR_OK(db->Execute("insert into Groups (GroupID, Name) values (2147483647, 'last')", V(dbFailOnError)));
  EXPECT_DAO(db->Execute("insert into Groups (Name) values ('next')", V(dbFailOnError)), 3349);
  ComPtr<Recordset> rs;
  HR_OK(db->OpenRecordset("Groups", V(dbOpenTable), M(), M(), rs.put()));
  HR_OK(rs->AddNew());
  HR_OK(rs->put_Collect(V("Name"), V("next")));
  EXPECT_DAO(rs->_30_Update(), 3349);
  HR_OK(rs->CancelUpdate(dbUpdateRegular));
  EXPECT_DAO(db->Execute("update Groups set GroupID = GroupID + 1", V(dbFailOnError)), 3349);
  ComPtr<Recordset> all;
  HR_OK(db->OpenRecordset("select GroupID from Groups", V(dbOpenSnapshot), M(), M(), all.put()));
  std::int32_t n = 0;
  all->get_RecordCount(&n);
  EXPECT_EQ(n, 1);
  EXPECT_EQ(text(all.get(), "GroupID"), "2147483647");
}

TEST_F(HardeningTest, ParametersNeedValuesAndComeInOneGo) {
  auto db = createDb("kh.pdb", "");
  buildSchema(db.get(), true);
  ComPtr<_QueryDef> q;
  HR_OK(db->CreateQueryDef(V(""), V("select * from groups where GroupID = Par_1 or Name = Par_2"), q.put()));
  ComPtr<Recordset> rs;
  EXPECT_DAO(q->OpenRecordset(M(), M(), M(), rs.put()), 3061);
  EXPECT_NE(lastError().second.find("Expected 2"), std::string::npos) << lastError().second;
  ComPtr<Parameters> ps;
  HR_OK(q->get_Parameters(ps.put()));
  ComPtr<Parameter> p1;
  HR_OK(ps->get_Item(V("Par_1"), p1.put()));
  HR_OK(p1->put_Value(V(1)));
  EXPECT_DAO(q->OpenRecordset(M(), M(), M(), rs.put()), 3061);
  ComPtr<Parameter> p2;
  HR_OK(ps->get_Item(V("Par_2"), p2.put()));
  HR_OK(p2->put_Value(Variant::null()));  // Null is a value
  HR_OK(q->OpenRecordset(M(), M(), M(), rs.put()));
  EXPECT_FALSE(eof(rs.get()));
  // An action query alike.
  ComPtr<_QueryDef> u;
  HR_OK(db->CreateQueryDef(V(""), V("update groups set Name = Name where GroupID = Nothing"), u.put()));
  EXPECT_DAO(u->Execute(V(dbFailOnError)), 3061);

  // Hundreds of markers are all known after one translation, in marker order.
  std::string many = "select * from groups where GroupID in (Par_1";
  for (int i = 2; i <= 900; ++i) many += ", Par_" + std::to_string(i);
  many += ")";
  ComPtr<_QueryDef> m;
  HR_OK(db->CreateQueryDef(V(""), V(many.c_str()), m.put()));
  ComPtr<Parameters> mp;
  HR_OK(m->get_Parameters(mp.put()));
  std::int16_t count = 0;
  HR_OK(mp->get_Count(&count));
  EXPECT_EQ(count, 900);
  ComPtr<Parameter> last;
  HR_OK(mp->get_Item(V(899), last.put()));
  BSTR name;
  HR_OK(last->get_Name(&name));
  EXPECT_EQ(std::string(name), "Par_900");
  // More than SQLite can number is too complex, found before SQLite sees it.
  for (int i = 901; i <= 8000; ++i) many.insert(many.size() - 1, ", Par_" + std::to_string(i));
  EXPECT_DAO(m->put_SQL(many), 3360) << lastError().second;
}

TEST_F(HardeningTest, PlainFileRefusesAPassword) {
  { createDb("plain.pdb", ""); }
  ComPtr<Database> db;
  EXPECT_DAO(ws_->OpenDatabase(path("plain.pdb"), M(), M(), V(";PWD=secret"), db.put()), 3031);
  EXPECT_TRUE(openDb("plain.pdb", ""));
}

TEST_F(HardeningTest, ProtectedFilesUseArgon2idKeysAndOwnerOnlyModes) {
  mode_t old = umask(022);
  {
    auto db = createDb("kh.pdb", "master");
    buildSchema(db.get(), true);
    // The rollback journal of a write takes the file's mode.
    HR_OK(db->BeginTrans());
    HR_OK(db->Execute("update groups set Name = Name & 'x'", V(dbFailOnError)));
    EXPECT_EQ(mode(path("kh.pdb-journal")), 0600u);
    HR_OK(db->Rollback());
  }
  EXPECT_EQ(mode(path("kh.pdb")), 0600u);
  const std::string record = readWithSqlcipher("kh.pdb", derivedKey("kh.pdb", "master"));
  EXPECT_EQ(record, "argon2id v=19 m=65536 t=3 p=1 len=32 salt=file");
  EXPECT_EQ(readWithSqlcipher("kh.pdb", "master", true), "no access");

  // A compacted copy gets a salt of its own, the same derivation and mode.
  HR_OK(engine_->CompactDatabase(path("kh.pdb"), path("new.pdb"), M(), M(), V(";pwd=master")));
  EXPECT_NE(salt("new.pdb"), salt("kh.pdb"));
  EXPECT_EQ(mode(path("new.pdb")), 0600u);
  EXPECT_EQ(readWithSqlcipher("new.pdb", derivedKey("new.pdb", "master")), record);
  HR_OK(engine_->CompactDatabase(path("new.pdb"), path("plain.pdb"), V(";pwd="), M(), V(";pwd=master")));
  EXPECT_EQ(readWithSqlcipher("plain.pdb", ""), "");
  EXPECT_EQ(mode(path("plain.pdb")), 0600u);

  // A new password keeps the salt and derives the new key from it.
  {
    auto db = openDb("kh.pdb", "master", true);
    HR_OK(db->NewPassword("master", "changed"));
  }
  EXPECT_EQ(readWithSqlcipher("kh.pdb", derivedKey("kh.pdb", "changed")), record);
  EXPECT_EQ(readWithSqlcipher("kh.pdb", derivedKey("kh.pdb", "master")), "no access");
  // From plain to protected: a new file with a salt of its own and the record.
  {
    auto db = openDb("plain.pdb", "", true);
    HR_OK(db->NewPassword("", "fresh"));
  }
  EXPECT_EQ(mode(path("plain.pdb")), 0600u);
  EXPECT_EQ(readWithSqlcipher("plain.pdb", derivedKey("plain.pdb", "fresh")), record);
  umask(old);
}

}  // namespace
}  // namespace kh::storetest
