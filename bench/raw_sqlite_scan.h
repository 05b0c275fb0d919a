// The reference every read benchmark compares with: SQLite itself reading
// every column of every row of the Passwords table.
#pragma once

#include <argon2.h>
#include <sqlcipher/sqlite3.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "bench_support.h"

// The key the store gives SQLCipher for a protected file: Argon2id (64 MiB,
// 3 passes, 1 lane, 32 bytes) over the password, salted with the file's first
// 16 bytes, as a raw key.
inline std::string rawFileKey(const std::string& file, const std::string& password) {
  unsigned char salt[16] = {};
  std::ifstream in(file, std::ios::binary);
  in.read(reinterpret_cast<char*>(salt), sizeof salt);
  unsigned char key[32] = {};
  argon2id_hash_raw(3, 64 * 1024, 1, password.data(), password.size(), salt, sizeof salt, key, sizeof key);
  std::string text = "x'";
  char hex[3];
  for (unsigned char b : key) {
    std::snprintf(hex, sizeof hex, "%02x", b);
    text += hex;
  }
  return text + "'";
}

// Reads the table through once.
inline ScanFigures rawSqliteScan(const std::string& file, const std::string& password) {
  ScanFigures out;
  sqlite3* db = nullptr;
  sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  const std::string key = rawFileKey(file, password);
  sqlite3_key(db, key.data(), static_cast<int>(key.size()));
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
