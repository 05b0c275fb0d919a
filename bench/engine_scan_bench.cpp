// Reads 100,000 accounts through the engine, as the program's data sets do
// (DbiGetNextRecord, then DbiGetField of every field), beside raw SQLite
// reading the same file, side by side in several rounds, and prints the
// median ratio last.
//
//   engine_scan_bench [rows]   (default 100000)
#include <sqlcipher/sqlite3.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "kbe/kbe.h"
#include "platform/module.h"
#include "passwords_table.h"
#include "raw_sqlite_scan.h"
#include "store/dao.h"

using namespace kh;
using namespace kh::dao;

namespace {

constexpr const char* kUsage = "engine_scan_bench [rows]   (rows: a positive number, default 100000)";
constexpr int kRounds = 5;

[[noreturn]] void die(const char* what, unsigned code) {
  std::fprintf(stderr, "%s failed: 0x%04X\n", what, code);
  std::exit(1);
}

template <class F>
F fn(win::HMODULE m, unsigned ordinal) {
  auto p = reinterpret_cast<F>(win::GetProcAddress(m, win::ordinalName(ordinal)));
  if (!p) die("ordinal lookup", ordinal);
  return p;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2) {
    std::fprintf(stderr, "usage: %s\n", kUsage);
    return 2;
  }
  const int rows = argc > 1 ? countArgument(argv[1], kUsage) : 100000;
  char tmpl[] = "/tmp/khbenchXXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  setenv("KBE_ROOT", tmpl, 1);
  const std::string file = std::string(tmpl) + "/bench.pdb";
  const std::string password = "bench-password";
  makePasswordsFile(benchWorkspace().get(), file, password, rows);

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

  auto engineScan = [&] {
    ScanFigures out;
    // Opened (and the key derived) before timing, as the raw scan is.
    kbe::hDBIDb db = nullptr;
    if (DBIResult r = openDb("bench", nullptr, 0, 0, nullptr, 0, nullptr, nullptr, &db)) die("DbiOpenDatabase", r);
    PeakMemory peak;
    Stopwatch watch;
    kbe::hDBIStmt stmt = nullptr;
    if (DBIResult r = qAlloc(db, 0, &stmt)) die("DbiQAlloc", r);
    if (DBIResult r = qPrepare(stmt, "select * from passwords")) die("DbiQPrepare", r);
    kbe::hDBICur cur = nullptr;
    if (DBIResult r = qExec(stmt, &cur)) die("DbiQExec", r);
    kbe::CURProps cp{};
    if (DBIResult r = props(cur, &cp)) die("DbiGetCursorProps", r);
    std::vector<std::uint8_t> record(cp.iRecBufSize);
    std::vector<std::uint8_t> value(1024);
    std::int32_t blank = 0;
    while (next(cur, 0, record.data(), nullptr) == 0) {
      for (std::uint16_t f = 1; f <= cp.iFields; ++f) {
        getField(cur, f, record.data(), value.data(), &blank);
        ++out.cells;
      }
    }
    out.wall = watch.wall();
    out.cpu = watch.cpu();
    out.peakMiB = peak.grownMiB();
    closeCursor(&cur);
    qFree(&stmt);
    closeDb(&db);
    return out;
  };
  const int rc = compareScans("engine DbiGetNextRecord+DbiGetField", rows, kRounds, engineScan,
                              [&] { return rawSqliteScan(file, password); });
  exitFn();
  std::error_code ec;
  std::filesystem::remove_all(tmpl, ec);
  return rc;
}
