// Reads every field of every row of a Passwords-shaped table through a store
// dynaset and the same scan in raw SQLite on the same file, and prints the ratio.
//
//   store_scan_bench [rows [shared]]   (default 100000 rows, opened exclusively)
#include <sqlcipher/sqlite3.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "raw_sqlite_scan.h"
#include "store/dao.h"

using namespace kh;
using namespace kh::dao;

namespace {

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void check(HRESULT hr, const char* what) {
  if (hr != S_OK) {
    std::fprintf(stderr, "%s failed: 0x%08X\n", what, static_cast<unsigned>(hr));
    std::exit(1);
  }
}

Variant V(int n) { return Variant(static_cast<std::int32_t>(n)); }

}  // namespace

int main(int argc, char** argv) {
  const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
  const bool exclusive = !(argc > 2 && std::string(argv[2]) == "shared");
  char tmpl[] = "/tmp/khbenchXXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  const std::string file = std::string(tmpl) + "/bench.pdb";
  const std::string password = "bench-password";

  ComPtr<IClassFactory> factory;
  check(khStoreGetClassObject(CLSID_PrivDBEngine, IClassFactory::kIID, reinterpret_cast<void**>(factory.put())),
        "class object");
  ComPtr<_DBEngine> engine;
  check(factory->CreateInstance(nullptr, _DBEngine::kIID, reinterpret_cast<void**>(engine.put())), "engine");
  ComPtr<Workspaces> wss;
  check(engine->get_Workspaces(wss.put()), "workspaces");
  ComPtr<Workspace> ws;
  check(wss->get_Item(V(0), ws.put()), "workspace 0");

  {
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
      rs->put_Collect(Variant("KeySequence"), Variant(""));
      rs->put_Collect(Variant("ShowAccount"), Variant::fromBool(i % 2 == 0));
      rs->put_Collect(Variant("Notes"), Variant("Some notes for account " + std::to_string(i)));
      check(rs->_30_Update(), "update");
    }
    check(db->CommitTrans(1), "commit");
  }

  // The store: a dynaset over the table, every field of every row.
  double storeTime;
  long storeCells = 0;
  {
    ComPtr<Database> db;
    // Opened exclusively, as the program opens its password files.
    check(ws->OpenDatabase(file, Variant::fromBool(exclusive), Variant::missing(), Variant(";PWD=" + password), db.put()),
          "open");
    auto start = std::chrono::steady_clock::now();
    ComPtr<Recordset> rs;
    check(db->OpenRecordset("SELECT * FROM Passwords", V(dbOpenDynaset), Variant::missing(), Variant::missing(),
                            rs.put()),
          "dynaset");
    ComPtr<Fields> fields;
    check(rs->get_Fields(fields.put()), "fields");
    std::int16_t n = 0;
    fields->get_Count(&n);
    VARIANT_BOOL eof = 0;
    rs->get_EOF(&eof);
    std::vector<Variant> index;
    for (int c = 0; c < n; ++c) index.push_back(V(c));
    while (!eof) {
      for (int c = 0; c < n; ++c) {
        Variant v;
        check(rs->get_Collect(index[static_cast<std::size_t>(c)], &v), "collect");
        ++storeCells;
      }
      check(rs->MoveNext(), "movenext");
      rs->get_EOF(&eof);
    }
    storeTime = seconds(start);
  }

  // Raw SQLite: the same file, key and columns.
  long rawCells = 0;
  double rawTime = rawSqliteScan(file, password, rawCells);

  std::printf("rows: %d, cells read: store %ld, raw %ld\n", rows, storeCells, rawCells);
  std::printf("%s open, store dynaset: %.3f s, raw SQLite: %.3f s, ratio %.2f\n", exclusive ? "exclusive" : "shared", storeTime, rawTime, storeTime / rawTime);
  std::error_code ec;
  std::filesystem::remove_all(tmpl, ec);
  return 0;
}
