// libFuzzer target for the Jet SQL translator: any text is translated as a
// statement and as a lone expression; whatever translates is then prepared
// and run (briefly) by SQLite over a small copy of the password database
// schema with the store's functions and collation, so that translated SQL
// which SQLite cannot take or which misbehaves there is found too.
//
// A result code is always fine; a crash, a hang, a leak, undefined behaviour
// or a translation SQLite rejects for a reason other than an unknown name or
// a limit is a finding.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include <sqlcipher/sqlite3.h>

#include "../src/jetfunctions.h"
#include "../src/jetsql.h"

namespace {

using namespace kh::store::jet;

sqlite3* database() {
  static sqlite3* db = [] {
    sqlite3* d = nullptr;
    if (sqlite3_open(":memory:", &d) != SQLITE_OK) std::abort();
    registerJetFunctions(d);
    const char* schema =
        "CREATE TABLE [Groups] ([GroupID] INTEGER PRIMARY KEY AUTOINCREMENT, [Name] TEXT);"
        "CREATE TABLE [Passwords] ([GroupID] INTEGER, [PasswordID] INTEGER PRIMARY KEY AUTOINCREMENT,"
        " [Description] TEXT, [ID] TEXT, [Password] TEXT, [ExpireDate] REAL, [AssignDate] REAL, [URL] TEXT,"
        " [KeySequence] TEXT, [ShowAccount] INTEGER, [Notes] TEXT);"
        "CREATE TABLE [Options] ([Group] TEXT, [style] TEXT, [pwdsystray] INTEGER, [DBMaintCount] INTEGER,"
        " [DBMaintFreq] INTEGER, [showpassword] INTEGER, [promptpassword] INTEGER);"
        "CREATE TABLE [t] ([a] INTEGER, [b] TEXT, [c] REAL);"
        "INSERT INTO [Groups] ([Name]) VALUES ('Email Accounts'), ('Web Sites'), (NULL);"
        "INSERT INTO [Passwords] ([GroupID], [Description], [ID], [ExpireDate]) VALUES"
        " (1, 'Mail', 'me', 45000.5), (2, 'Shop', '', NULL);"
        "INSERT INTO [t] VALUES (1, 'x', 1.5), (NULL, NULL, NULL), (-3, '', 0);";
    if (sqlite3_exec(d, schema, nullptr, nullptr, nullptr) != SQLITE_OK) std::abort();
    return d;
  }();
  return db;
}

// Translated SQL must never reach SQLite's own tables nor do anything but
// query and change rows: that would be a statement accepted that should not be.
int checkAccess(void*, int action, const char* a1, const char*, const char*, const char*) {
  const bool internal = a1 && sqlite3_strnicmp(a1, "sqlite_", 7) == 0;
  switch (action) {
    case SQLITE_READ:
    case SQLITE_INSERT:
    case SQLITE_UPDATE:
    case SQLITE_DELETE:
      if (!internal) return SQLITE_OK;
      break;
    case SQLITE_SELECT:
    case SQLITE_FUNCTION:
    case SQLITE_RECURSIVE: return SQLITE_OK;
    default: break;
  }
  std::fprintf(stderr, "translated SQL reaches beyond the rows: action %d on %s\n", action, a1 ? a1 : "-");
  std::abort();
}

// Bounds the work of one statement: a cross join of the fuzzer's making must
// not read as a hang.
int stopLongRuns(void* steps) { return ++*static_cast<int*>(steps) > 2000 ? 1 : 0; }

void runInSqlite(const std::string& sql, std::size_t parameters) {
  sqlite3* db = database();
  sqlite3_stmt* s = nullptr;
  sqlite3_set_authorizer(db, checkAccess, nullptr);
  const int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &s, nullptr);
  sqlite3_set_authorizer(db, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_finalize(s);
    return;
  }
  for (std::size_t i = 1; i <= parameters; ++i) sqlite3_bind_int(s, static_cast<int>(i), static_cast<int>(i));
  int steps = 0;
  sqlite3_progress_handler(db, 100, stopLongRuns, &steps);
  // Changes are never kept: every run starts from the same rows.
  sqlite3_exec(db, "SAVEPOINT fuzz", nullptr, nullptr, nullptr);
  for (int row = 0; row < 50 && sqlite3_step(s) == SQLITE_ROW; ++row) {
    for (int c = 0; c < sqlite3_column_count(s); ++c) (void)sqlite3_column_text(s, c);
  }
  sqlite3_finalize(s);
  sqlite3_progress_handler(db, 0, nullptr, nullptr);
  sqlite3_exec(db, "ROLLBACK TO fuzz; RELEASE fuzz", nullptr, nullptr, nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  NameSet names;
  names.insert("Par_1");
  names.insert("GroupId2");

  Translation t;
  Error e;
  if (translateStatement(text, names, t, e)) {
    if (!t.sql.empty()) runInSqlite(t.sql, t.parameters.size());
  } else if (e.daoError < 3000 || e.message.empty()) {
    std::fprintf(stderr, "translation failed without a DAO error: %u %s\n", e.daoError, e.message.c_str());
    std::abort();
  }

  ExpressionTranslation x;
  if (translateExpression(text, names, x, e, ExpressionUse::Value)) {
    runInSqlite("SELECT (" + x.sql + ") FROM [t]", x.parameters.size());
  } else if (e.daoError < 3000 || e.message.empty()) {
    std::fprintf(stderr, "expression failed without a DAO error: %u %s\n", e.daoError, e.message.c_str());
    std::abort();
  }
  return 0;
}
