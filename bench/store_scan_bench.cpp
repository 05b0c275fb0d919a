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

#include "passwords_table.h"
#include "raw_sqlite_scan.h"
#include "store/dao.h"

using namespace kh;
using namespace kh::dao;

namespace {

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
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

  ComPtr<Workspace> ws = benchWorkspace();
  makePasswordsFile(ws.get(), file, password, rows);

  // The store: a dynaset over the table, every field of every row.
  double storeTime;
  long storeCells = 0;
  {
    ComPtr<Database> db;
    // Opened exclusively, as the program opens its password files.
    benchCheck(ws->OpenDatabase(file, Variant::fromBool(exclusive), Variant::missing(), Variant(";PWD=" + password), db.put()),
          "open");
    auto start = std::chrono::steady_clock::now();
    ComPtr<Recordset> rs;
    benchCheck(db->OpenRecordset("SELECT * FROM Passwords", V(dbOpenDynaset), Variant::missing(), Variant::missing(),
                            rs.put()),
          "dynaset");
    ComPtr<Fields> fields;
    benchCheck(rs->get_Fields(fields.put()), "fields");
    std::int16_t n = 0;
    fields->get_Count(&n);
    VARIANT_BOOL eof = 0;
    rs->get_EOF(&eof);
    std::vector<Variant> index;
    for (int c = 0; c < n; ++c) index.push_back(V(c));
    while (!eof) {
      for (int c = 0; c < n; ++c) {
        Variant v;
        benchCheck(rs->get_Collect(index[static_cast<std::size_t>(c)], &v), "collect");
        ++storeCells;
      }
      benchCheck(rs->MoveNext(), "movenext");
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
