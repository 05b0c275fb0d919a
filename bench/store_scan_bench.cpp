// Reads every field of every row of a Passwords-shaped table through a store
// dynaset and the same scan in raw SQLite on the same file, side by side in
// several rounds, and prints the median ratio last.
//
//   store_scan_bench [rows [shared]]   (default 100000 rows, opened exclusively)
#include <sqlcipher/sqlite3.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "passwords_table.h"
#include "raw_sqlite_scan.h"
#include "store/dao.h"

using namespace kh;
using namespace kh::dao;

namespace {

constexpr const char* kUsage = "store_scan_bench [rows [shared]]   (rows: a positive number, default 100000)";
constexpr int kRounds = 5;

Variant V(int n) { return Variant(static_cast<std::int32_t>(n)); }

// One dynaset scan of every field of every row.
ScanFigures storeScan(Workspace* ws, const std::string& file, const std::string& password, bool exclusive) {
  ScanFigures out;
  ComPtr<Database> db;
  // Opened (and the key derived) before timing, as the raw scan is.
  benchCheck(ws->OpenDatabase(file, Variant::fromBool(exclusive), Variant::missing(), Variant(";PWD=" + password),
                              db.put()),
             "open");
  PeakMemory peak;
  Stopwatch watch;
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
      ++out.cells;
    }
    benchCheck(rs->MoveNext(), "movenext");
    rs->get_EOF(&eof);
  }
  out.wall = watch.wall();
  out.cpu = watch.cpu();
  out.peakMiB = peak.grownMiB();
  rs->Close();
  db->Close();
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 3 || (argc > 2 && std::string(argv[2]) != "shared")) {
    std::fprintf(stderr, "usage: %s\n", kUsage);
    return 2;
  }
  const int rows = argc > 1 ? countArgument(argv[1], kUsage) : 100000;
  const bool exclusive = argc <= 2;
  char tmpl[] = "/tmp/khbenchXXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  const std::string file = std::string(tmpl) + "/bench.pdb";
  const std::string password = "bench-password";

  ComPtr<Workspace> ws = benchWorkspace();
  makePasswordsFile(ws.get(), file, password, rows);

  std::printf("%s open\n", exclusive ? "exclusive" : "shared");
  const int rc = compareScans(
      "store dynaset", rows, kRounds, [&] { return storeScan(ws.get(), file, password, exclusive); },
      [&] { return rawSqliteScan(file, password); });
  std::error_code ec;
  std::filesystem::remove_all(tmpl, ec);
  return rc;
}
