// The reference every read benchmark compares with: SQLite itself reading
// every column of every row of the Passwords table.
#pragma once

#include <sqlcipher/sqlite3.h>

#include <string>

#include "bench_support.h"
#include "filekey.h"

// Reads the table through once.
inline ScanFigures rawSqliteScan(const std::string& file, const std::string& password) {
  ScanFigures out;
  sqlite3* db = nullptr;
  sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  // The store's own key for the file (its derivation over the file's salt).
  kh::store::FileSalt salt{};
  kh::store::readFileSalt(file, salt);
  const kh::store::KeyText key = kh::store::rawKey(password, salt);
  sqlite3_key(db, key.text().data(), static_cast<int>(key.text().size()));
  sqlite3_exec(db, "PRAGMA cipher_page_size = 4096;", nullptr, nullptr, nullptr);
  // The key is derived on first use; that cost is the open's, not the scan's.
  sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
  PeakMemory peak;
  Stopwatch watch;
  sqlite3_stmt* s = nullptr;
  sqlite3_prepare_v2(db, "SELECT * FROM Passwords", -1, &s, nullptr);
  int n = sqlite3_column_count(s);
  while (sqlite3_step(s) == SQLITE_ROW) {
    for (int c = 0; c < n; ++c) {
      switch (sqlite3_column_type(s, c)) {
        case SQLITE_INTEGER: (void)sqlite3_column_int64(s, c); break;
        case SQLITE_FLOAT: (void)sqlite3_column_double(s, c); break;
        case SQLITE_TEXT: {
          std::string t(reinterpret_cast<const char*>(sqlite3_column_text(s, c)),
                        static_cast<std::size_t>(sqlite3_column_bytes(s, c)));
          (void)t;
          break;
        }
        default: break;
      }
      ++out.cells;
    }
  }
  sqlite3_finalize(s);
  out.wall = watch.wall();
  out.cpu = watch.cpu();
  out.peakMiB = peak.grownMiB();
  sqlite3_close(db);
  return out;
}
