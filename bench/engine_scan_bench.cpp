// Reads 100,000 accounts through the engine, as the program's data sets do
// (DbiGetNextRecord, then DbiGetField of every field), beside raw SQLite
// reading the same file, and prints the ratio.
//
//   engine_scan_bench [rows]   (default 100000)
#include <sqlcipher/sqlite3.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "kbe/kbe.h"
#include "platform/module.h"
#include "raw_sqlite_scan.h"
#include "store/dao.h"

using namespace kh;
using namespace kh::dao;

namespace {

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

[[noreturn]] void die(const char* what, unsigned code) {
  std::fprintf(stderr, "%s failed: 0x%04X\n", what, code);
  std::exit(1);
}

void check(HRESULT hr, const char* what) {
  if (hr != S_OK) die(what, static_cast<unsigned>(hr));
}

Variant V(int n) { return Variant(static_cast<std::int32_t>(n)); }

// Builds the accounts table with the store directly.
void makeFile(const std::string& file, const std::string& password, int rows) {
  ComPtr<IClassFactory> factory;
  check(khStoreGetClassObject(CLSID_PrivDBEngine, IClassFactory::kIID, reinterpret_cast<void**>(factory.put())),
        "class object");
  ComPtr<_DBEngine> engine;
  check(factory->CreateInstance(nullptr, _DBEngine::kIID, reinterpret_cast<void**>(engine.put())), "engine");
  ComPtr<Workspaces> wss;
  check(engine->get_Workspaces(wss.put()), "workspaces");
  ComPtr<Workspace> ws;
  check(wss->get_Item(V(0), ws.put()), "workspace");
  ComPtr<Database> db;
  check(ws->CreateDatabase(file, std::string(dbLangGeneral) + ";pwd=" + password, Variant::missing(), db.put()),
        "create");
  check(db->Execute("CREATE TABLE Passwords (GroupID LONG, PasswordID COUNTER, Description TEXT(100), ID TEXT(100),"
                    " [Password] TEXT(100), ExpireDate DATETIME, AssignDate DATETIME, URL TEXT(100),"
                    " KeySequence TEXT(100), ShowAccount YESNO, Notes MEMO)",
                    Variant::missing()),
        "create table");
  check(db->BeginTrans(), "begin");
  ComPtr<Recordset> rs;
  check(db->OpenRecordset("Passwords", V(dbOpenTable), Variant::missing(), Variant::missing(), rs.put()), "open");
  for (int i = 0; i < rows; ++i) {
    check(rs->AddNew(), "addnew");
    rs->put_Collect(Variant("GroupID"), V(i % 1000));
    rs->put_Collect(Variant("Description"), Variant("Account number " + std::to_string(i)));
    rs->put_Collect(Variant("ID"), Variant("user" + std::to_string(i) + "@example.com"));
    rs->put_Collect(Variant("Password"), Variant("pw-" + std::to_string(i * 7919)));
    rs->put_Collect(Variant("ExpireDate"), Variant::fromDate(40000 + i % 3000));
    rs->put_Collect(Variant("AssignDate"), Variant::fromDate(39000 + i % 3000));
    rs->put_Collect(Variant("URL"), Variant("https://example.com/" + std::to_string(i)));
    rs->put_Collect(Variant("ShowAccount"), Variant::fromBool(i % 2 == 0));
    check(rs->_30_Update(), "update");
  }
  check(db->CommitTrans(1), "commit");
}

template <class F>
F fn(win::HMODULE m, unsigned ordinal) {
  auto p = reinterpret_cast<F>(win::GetProcAddress(m, win::ordinalName(ordinal)));
  if (!p) die("ordinal lookup", ordinal);
  return p;
}

}  // namespace

int main(int argc, char** argv) {
  const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
  char tmpl[] = "/tmp/khbenchXXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  setenv("KBE_ROOT", tmpl, 1);
  const std::string file = std::string(tmpl) + "/bench.pdb";
  const std::string password = "bench-password";
  makeFile(file, password, rows);

  std::string self = std::filesystem::canonical("/proc/self/exe").parent_path().string();
  win::HMODULE m = win::LoadLibraryA((self + "/KBE3235.DLL").c_str());
  if (!m) die("LoadLibraryA", win::GetLastError());
  auto init = fn<decltype(&DbiInitFn)>(m, 2);
  auto addAlias = fn<decltype(&DbiAddAlias)>(m, 1207);
  auto openDb = fn<decltype(&DbiOpenDatabase)>(m, 4);
  auto qAlloc = fn<decltype(&DbiQAlloc)>(m, 137);
  auto qPrepare = fn<decltype(&DbiQPrepare)>(m, 131);
  auto qExec = fn<decltype(&DbiQExec)>(m, 132);
  auto props = fn<decltype(&DbiGetCursorProps)>(m, 7);
  auto next = fn<decltype(&DbiGetNextRecord)>(m, 16);
  auto getField = fn<decltype(&DbiGetField)>(m, 207);
  auto closeCursor = fn<decltype(&DbiCloseCursor)>(m, 12);
  auto qFree = fn<decltype(&DbiQFree)>(m, 136);
  auto closeDb = fn<decltype(&DbiCloseDatabase)>(m, 5);
  auto exitFn = fn<decltype(&DbiExit)>(m, 3);

  if (DBIResult r = init(400, nullptr)) die("DbiInitFn", r);
  std::string params = "PATH:\"" + file + "\";EXCLUSIVE:\"True\";CONNECT:\";PWD=" + password + "\"";
  if (DBIResult r = addAlias(nullptr, "bench", "KBE", params.c_str(), 0)) die("DbiAddAlias", r);
  kbe::hDBIDb db = nullptr;
  if (DBIResult r = openDb("bench", nullptr, 0, 0, nullptr, 0, nullptr, nullptr, &db)) die("DbiOpenDatabase", r);

  auto start = std::chrono::steady_clock::now();
  kbe::hDBIStmt stmt = nullptr;
  if (DBIResult r = qAlloc(db, 0, &stmt)) die("DbiQAlloc", r);
  if (DBIResult r = qPrepare(stmt, "select * from passwords")) die("DbiQPrepare", r);
  kbe::hDBICur cur = nullptr;
  if (DBIResult r = qExec(stmt, &cur)) die("DbiQExec", r);
  kbe::CURProps cp{};
  if (DBIResult r = props(cur, &cp)) die("DbiGetCursorProps", r);
  std::vector<std::uint8_t> record(cp.iRecBufSize);
  std::vector<std::uint8_t> value(1024);
  long engineCells = 0;
  std::int32_t blank = 0;
  while (next(cur, 0, record.data(), nullptr) == 0) {
    for (std::uint16_t f = 1; f <= cp.iFields; ++f) {
      getField(cur, f, record.data(), value.data(), &blank);
      ++engineCells;
    }
  }
  double engineTime = seconds(start);
  closeCursor(&cur);
  qFree(&stmt);
  closeDb(&db);
  exitFn();

  // Raw SQLite: the same file, key and columns.
  long rawCells = 0;
  double rawTime = rawSqliteScan(file, password, rawCells);

  std::printf("rows: %d, fields read: engine %ld, raw %ld\n", rows, engineCells, rawCells);
  std::printf("engine DbiGetNextRecord+DbiGetField: %.3f s, raw SQLite: %.3f s, ratio %.2f\n", engineTime, rawTime,
              engineTime / rawTime);
  std::error_code ec;
  std::filesystem::remove_all(tmpl, ec);
  return 0;
}
