#include "db.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "filekey.h"
#include "jetfunctions.h"

namespace kh::store {

namespace fs = std::filesystem;
using namespace dao;

// ---- small helpers -------------------------------------------------------

std::string quoteName(const std::string& name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

std::string quoteText(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += '\'';
    out += c;
  }
  out += '\'';
  return out;
}

std::int32_t fixedSizeOf(std::int16_t type) {
  switch (type) {
    case dbBoolean: return 1;
    case dbByte: return 1;
    case dbInteger: return 2;
    case dbLong: return 4;
    case dbCurrency: return 8;
    case dbSingle: return 4;
    case dbDouble: return 8;
    case dbDate: return 8;
    case dbGUID: return 16;
    default: return 0;
  }
}

bool isTextType(std::int16_t type) { return type == dbText || type == dbMemo; }

bool isValidFieldType(std::int16_t type) {
  return (type >= dbBoolean && type <= dbMemo) || type == dbGUID;
}

bool isCatalogueTable(const std::string& name) {
  for (const char* n : {kCatTables, kCatFields, kCatIndexes, kCatRelations, kCatQueries, kCatInfo})
    if (sameName(name, n)) return true;
  return false;
}

const FieldDef* TableData::field(const std::string& n) const {
  for (const auto& f : fields)
    if (sameName(f.name, n)) return &f;
  return nullptr;
}

int TableData::fieldIndex(const std::string& n) const {
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (sameName(fields[i].name, n)) return static_cast<int>(i);
  return -1;
}

const FieldDef* TableData::autoIncrement() const {
  for (const auto& f : fields)
    if (f.attributes & dbAutoIncrField) return &f;
  return nullptr;
}

// ---- SQLite failures -----------------------------------------------------

Failure failureFromSqlite(sqlite3* db, int rc) {
  const char* msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  std::string text = msg ? msg : "";
  int ext = db ? sqlite3_extended_errcode(db) : rc;
  // Checks raised by the component's own triggers: "kh:<number>:<detail>".
  auto pos = text.find("kh:");
  if (pos != std::string::npos) {
    std::string rest = text.substr(pos + 3);
    auto colon = rest.find(':');
    unsigned number = static_cast<unsigned>(std::stoul(rest.substr(0, colon)));
    std::string detail = colon == std::string::npos ? "" : rest.substr(colon + 1);
    return Failure(number, describeError(number, detail));
  }
  switch (ext & 0xFF) {
    case SQLITE_CONSTRAINT:
      if (ext == SQLITE_CONSTRAINT_UNIQUE || ext == SQLITE_CONSTRAINT_PRIMARYKEY)
        return Failure(err::DuplicateKey, describeError(err::DuplicateKey));
      if (ext == SQLITE_CONSTRAINT_NOTNULL) {
        std::string field = text.substr(text.rfind('.') == std::string::npos ? 0 : text.rfind('.') + 1);
        return Failure(err::FieldCantBeNull, describeError(err::FieldCantBeNull, field));
      }
      return Failure(err::DuplicateKey, describeError(err::DuplicateKey));
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return Failure(err::CurrentlyLocked, describeError(err::CurrentlyLocked));
    case SQLITE_FULL: return Failure(err::DiskFull, describeError(err::DiskFull));
    case SQLITE_NOMEM: return Failure(err::OutOfMemory, describeError(err::OutOfMemory));
    case SQLITE_READONLY: return Failure(err::ReadOnly, describeError(err::ReadOnly));
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT: return Failure(3049, describeError(3049));
    case SQLITE_TOOBIG: return Failure(err::FieldTooSmall, describeError(err::FieldTooSmall));
    case SQLITE_MISMATCH: return Failure(err::ConversionError, describeError(err::ConversionError));
    case SQLITE_ERROR:
      if (text.rfind("no such column: ", 0) == 0)
        return Failure(3070, describeError(3070, text.substr(16)));
      if (text.rfind("no such table", 0) == 0) {
        auto name = text.substr(text.find(':') == std::string::npos ? text.size() : text.find(':') + 2);
        return Failure(err::CantFindTable, describeError(err::CantFindTable, name));
      }
      return Failure(err::SyntaxErrorExpression, describeError(err::SyntaxErrorExpression, text));
    default: return Failure(3000, describeError(3000, text));
  }
}

void failFromSqlite(sqlite3* db, int rc) { throw failureFromSqlite(db, rc); }

// ---- statements ----------------------------------------------------------

Statement::Statement(sqlite3* db, const std::string& sql) : db_(db) {
  int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt_, nullptr);
  if (rc != SQLITE_OK) {
    Failure f = failureFromSqlite(db, rc);
    sqlite3_finalize(stmt_);
    stmt_ = nullptr;
    throw f;
  }
}

Statement& Statement::operator=(Statement&& o) noexcept {
  if (this != &o) {
    sqlite3_finalize(stmt_);
    stmt_ = std::exchange(o.stmt_, nullptr);
    db_ = o.db_;
  }
  return *this;
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

bool Statement::step() {
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  Failure f = failureFromSqlite(db_, rc);
  sqlite3_reset(stmt_);
  throw f;
}

void Statement::reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

void Statement::bind(int index, const Variant& value) { bindValue(stmt_, index, value, 0); }
void Statement::bindInt(int index, sqlite3_int64 value) { sqlite3_bind_int64(stmt_, index, value); }
void Statement::bindText(int index, const std::string& value) {
  sqlite3_bind_text(stmt_, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
}

void Statement::run() {
  while (step()) {
  }
}

// ---- values --------------------------------------------------------------

Variant readColumn(sqlite3_stmt* stmt, int column, std::int16_t daoType) {
  int kind = sqlite3_column_type(stmt, column);
  if (kind == SQLITE_NULL) return Variant::null();
  switch (daoType) {
    case dbBoolean: return Variant::fromBool(sqlite3_column_int64(stmt, column) != 0);
    case dbByte: return Variant::fromByte(static_cast<std::uint8_t>(sqlite3_column_int(stmt, column)));
    case dbInteger: return Variant(static_cast<std::int16_t>(sqlite3_column_int(stmt, column)));
    case dbLong: return Variant(static_cast<std::int32_t>(sqlite3_column_int64(stmt, column)));
    case dbCurrency:
      return Variant(Currency{static_cast<std::int64_t>(std::llround(sqlite3_column_double(stmt, column) * 10000.0))});
    case dbSingle: return Variant(static_cast<float>(sqlite3_column_double(stmt, column)));
    case dbDouble: return Variant(sqlite3_column_double(stmt, column));
    case dbDate: return Variant::fromDate(sqlite3_column_double(stmt, column));
    case dbText:
    case dbMemo:
    case dbGUID: {
      const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
      return Variant(std::string(p ? p : "", static_cast<std::size_t>(sqlite3_column_bytes(stmt, column))));
    }
    case dbBinary:
    case dbLongBinary: {
      const auto* p = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt, column));
      int n = sqlite3_column_bytes(stmt, column);
      return Variant::fromBytes(std::vector<std::uint8_t>(p, p + n));
    }
    default: break;
  }
  // A computed column: the value's own storage class decides.
  switch (kind) {
    case SQLITE_INTEGER: {
      sqlite3_int64 v = sqlite3_column_int64(stmt, column);
      if (v >= INT32_MIN && v <= INT32_MAX) return Variant(static_cast<std::int32_t>(v));
      return Variant(static_cast<double>(v));
    }
    case SQLITE_FLOAT: return Variant(sqlite3_column_double(stmt, column));
    case SQLITE_BLOB: {
      const auto* p = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt, column));
      int n = sqlite3_column_bytes(stmt, column);
      return Variant::fromBytes(std::vector<std::uint8_t>(p, p + n));
    }
    default: {
      const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
      return Variant(std::string(p ? p : "", static_cast<std::size_t>(sqlite3_column_bytes(stmt, column))));
    }
  }
}

namespace {

double numberOf(const Variant& v, VARTYPE as) {
  Variant n;
  HRESULT hr = v.changeType(as, n);
  if (hr == DISP_E_OVERFLOW) fail(err::NumericOverflow);
  if (FAILED(hr)) fail(err::ConversionError);
  switch (n.type()) {
    case VT_I2: return n.i2();
    case VT_I4: return n.i4();
    case VT_UI1: return n.ui1();
    case VT_R4: return n.r4();
    case VT_DATE: return n.date();
    case VT_CY: return static_cast<double>(n.cy().scaled) / 10000.0;
    case VT_BOOL: return n.boolVal() ? -1 : 0;
    default: return n.r8();
  }
}

}  // namespace

void bindValue(sqlite3_stmt* stmt, int index, const Variant& value, std::int16_t daoType) {
  if (value.isNull() || value.isEmpty() || value.isMissing()) {
    sqlite3_bind_null(stmt, index);
    return;
  }
  switch (daoType) {
    case dbBoolean: {
      Variant b;
      if (FAILED(value.changeType(VT_BOOL, b))) fail(err::ConversionError);
      sqlite3_bind_int(stmt, index, b.boolVal() ? -1 : 0);
      return;
    }
    case dbByte: sqlite3_bind_int(stmt, index, static_cast<int>(numberOf(value, VT_UI1))); return;
    case dbInteger: sqlite3_bind_int(stmt, index, static_cast<int>(numberOf(value, VT_I2))); return;
    case dbLong: sqlite3_bind_int64(stmt, index, static_cast<sqlite3_int64>(numberOf(value, VT_I4))); return;
    case dbCurrency: sqlite3_bind_double(stmt, index, numberOf(value, VT_CY)); return;
    case dbSingle: sqlite3_bind_double(stmt, index, numberOf(value, VT_R4)); return;
    case dbDouble: sqlite3_bind_double(stmt, index, numberOf(value, VT_R8)); return;
    case dbDate: sqlite3_bind_double(stmt, index, numberOf(value, VT_DATE)); return;
    case dbText:
    case dbMemo:
    case dbGUID: {
      std::string s;
      if (value.type() == VT_BSTR) {
        s = value.str();
      } else if (value.isArray()) {
        s.assign(value.bytes().begin(), value.bytes().end());
      } else {
        Variant t;
        if (FAILED(value.changeType(VT_BSTR, t))) fail(err::ConversionError);
        s = t.str();
      }
      sqlite3_bind_text(stmt, index, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
      return;
    }
    case dbBinary:
    case dbLongBinary: {
      if (value.isArray()) {
        const auto& b = value.bytes();
        sqlite3_bind_blob(stmt, index, b.data(), static_cast<int>(b.size()), SQLITE_TRANSIENT);
      } else if (value.type() == VT_BSTR) {
        sqlite3_bind_blob(stmt, index, value.str().data(), static_cast<int>(value.str().size()), SQLITE_TRANSIENT);
      } else {
        fail(err::ConversionError);
      }
      return;
    }
    default: break;
  }
  // No declared type (query parameters): the value's own kind decides.
  switch (value.type()) {
    case VT_I2: sqlite3_bind_int(stmt, index, value.i2()); return;
    case VT_I4: sqlite3_bind_int(stmt, index, value.i4()); return;
    case VT_UI1: sqlite3_bind_int(stmt, index, value.ui1()); return;
    case VT_BOOL: sqlite3_bind_int(stmt, index, value.boolVal() ? -1 : 0); return;
    case VT_R4: sqlite3_bind_double(stmt, index, value.r4()); return;
    case VT_R8: sqlite3_bind_double(stmt, index, value.r8()); return;
    case VT_DATE: sqlite3_bind_double(stmt, index, value.date()); return;
    case VT_CY: sqlite3_bind_double(stmt, index, static_cast<double>(value.cy().scaled) / 10000.0); return;
    case VT_BSTR:
      sqlite3_bind_text(stmt, index, value.str().data(), static_cast<int>(value.str().size()), SQLITE_TRANSIENT);
      return;
    case VT_UI1_ARRAY: {
      const auto& b = value.bytes();
      sqlite3_bind_blob(stmt, index, b.data(), static_cast<int>(b.size()), SQLITE_TRANSIENT);
      return;
    }
    default: fail(err::ConversionError);
  }
}

// ---- opening and creating ------------------------------------------------

namespace {

// The cipher page size, pinned so that files stay readable by later SQLCipher
// releases (the key itself is derived by filekey.h).
constexpr int kCipherPageSize = 4096;

bool isPlainSqliteHeader(const FileSalt& header) {
  return std::memcmp(header.data(), "SQLite format 3", 16) == 0;
}

// Creates an empty file readable by its owner only, for SQLite to fill: SQLite
// gives its journals the mode of the database file, so they stay private too.
void createPrivateFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) fail(errno == EEXIST ? err::DatabaseExists : err::CantOpenFile, path);
  ::close(fd);
}

// Gives SQLCipher the key of the main database or of an attached one.
void applyKey(sqlite3* db, const KeyText& key) {
  int rc = sqlite3_key(db, key.text().data(), static_cast<int>(key.text().size()));
  if (rc != SQLITE_OK) failFromSqlite(db, rc);
}

void checkDirectory(const std::string& path) {
  if (path.empty()) fail(err::BadFileName);
  fs::path p(path);
  fs::path dir = p.parent_path();
  std::error_code ec;
  if (!dir.empty() && !fs::is_directory(dir, ec)) fail(err::BadPath, path);
  if (fs::is_directory(p, ec)) fail(err::BadFileName);
}

std::string localeOption(const std::string& locale, const std::string& key) {
  // ";LANGID=0x0409;CP=1252;COUNTRY=0;pwd=secret" → value of `key` (case-insensitive).
  std::size_t i = 0;
  while (i <= locale.size()) {
    std::size_t j = locale.find(';', i);
    if (j == std::string::npos) j = locale.size();
    std::string part = locale.substr(i, j - i);
    auto eq = part.find('=');
    if (eq != std::string::npos && sameName(part.substr(0, eq), key)) return part.substr(eq + 1);
    i = j + 1;
  }
  return {};
}

}  // namespace

std::string connectPassword(const std::string& connect) { return localeOption(connect, "pwd"); }
std::string localeWithoutPassword(const std::string& locale) {
  std::string out;
  std::size_t i = 0;
  while (i < locale.size()) {
    std::size_t j = locale.find(';', i);
    if (j == std::string::npos) j = locale.size();
    std::string part = locale.substr(i, j - i);
    auto eq = part.find('=');
    if (!part.empty() && !(eq != std::string::npos && sameName(part.substr(0, eq), "pwd"))) out += ";" + part;
    i = j + 1;
  }
  return out;
}

DbState::~DbState() {
  close();
  wipe(password_);
}

void DbState::acquireFileLock(bool exclusive) {
  lockFd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  if (lockFd_ < 0) fail(err::CantOpenFile, path_);
  // An exclusive opener locks out everyone else, in this process too: each open
  // has its own file description, and flock locks conflict between descriptions.
  if (::flock(lockFd_, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
    ::close(lockFd_);
    lockFd_ = -1;
    fail(err::FileInUse, path_);
  }
}

void DbState::configureConnection() {
  sqlite3_extended_result_codes(db_, 1);
  jet::registerJetFunctions(db_);
  exec("PRAGMA temp_store = MEMORY");
  // A page cache of 2 MiB: cursors read a file through once, in key order,
  // and fresh memory for a larger cache costs more than decrypting a page
  // again when a later read needs it.
  exec("PRAGMA cache_size = -2048");
  exec("PRAGMA synchronous = FULL");
  exec("PRAGMA foreign_keys = OFF");
  sqlite3_busy_timeout(db_, 2000);
}

std::shared_ptr<DbState> DbState::open(const std::string& path, const OpenOptions& options,
                                       std::shared_ptr<ErrorStore> errors) {
  checkDirectory(path);
  std::error_code ec;
  if (!fs::exists(path, ec)) fail(err::FileNotFound, path);
  auto size = fs::file_size(path, ec);
  if (ec || size == 0) fail(err::UnrecognizedFormat, path);

  std::shared_ptr<DbState> st(new DbState);
  st->path_ = path;
  st->errors_ = std::move(errors);
  st->readOnly_ = options.readOnly;
  st->exclusive_ = options.exclusive;
  st->acquireFileLock(options.exclusive);

  FileSalt header{};
  bool plain = readFileSalt(path, header) && isPlainSqliteHeader(header);
  if (!plain && options.password.empty()) fail(err::BadPassword);
  // A file without a password is never accepted for a password: a plain file
  // put in the place of the user's own must not take their new secrets.
  if (plain && !options.password.empty()) fail(err::BadPassword);

  // CREATE lets ATTACH make new files (compaction, re-keying); the file itself exists.
  int flags = (options.readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) | SQLITE_OPEN_NOMUTEX;
  int rc = sqlite3_open_v2(path.c_str(), &st->db_, flags, nullptr);
  if (rc != SQLITE_OK) {
    bool denied = access(path.c_str(), options.readOnly ? R_OK : (R_OK | W_OK)) != 0;
    fail(denied ? err::CantOpenFile : 3049, path);
  }
  if (!plain) {
    st->password_ = options.password;
    // The salt is the file's first 16 bytes; a shorter file fails below as no database.
    applyKey(st->db_, rawKey(st->password_, header));
    st->exec("PRAGMA cipher_page_size = " + std::to_string(kCipherPageSize));
  }
  // The first read decides whether the key fits; nothing is written before it.
  rc = sqlite3_exec(st->db_, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    int ext = sqlite3_extended_errcode(st->db_);
    if ((ext & 0xFF) == SQLITE_NOTADB) {
      // An encrypted file's size is a whole number of pages; other files are no database.
      if (!plain && size % 1024 == 0) fail(err::BadPassword);
      fail(err::UnrecognizedFormat, path);
    }
    if ((ext & 0xFF) == SQLITE_BUSY || (ext & 0xFF) == SQLITE_LOCKED) fail(err::FileInUse, path);
    fail(3049, path);
  }
  st->configureConnection();
  // An exclusive opener keeps SQLite's file lock for as long as the file is
  // open, so reads need not take and check it again row by row.
  if (options.exclusive) st->exec("PRAGMA locking_mode = EXCLUSIVE");
  st->loadCatalogue();
  return st;
}

std::shared_ptr<DbState> DbState::create(const std::string& path, const std::string& locale,
                                         const std::string& password, std::shared_ptr<ErrorStore> errors) {
  checkDirectory(path);
  std::error_code ec;
  if (fs::exists(path, ec)) fail(err::DatabaseExists, path);

  std::shared_ptr<DbState> st(new DbState);
  st->path_ = path;
  st->errors_ = std::move(errors);
  st->exclusive_ = false;
  createPrivateFile(path);
  int rc = sqlite3_open_v2(path.c_str(), &st->db_,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_close_v2(st->db_);
    st->db_ = nullptr;
    fs::remove(path, ec);
    fail(err::CantOpenFile, path);
  }
  try {
    if (!password.empty()) {
      st->password_ = password;
      applyKey(st->db_, rawKeyWithSalt(st->password_, freshSalt()));
      st->exec("PRAGMA cipher_page_size = " + std::to_string(kCipherPageSize));
    }
    st->exec("PRAGMA page_size = " + std::to_string(kCipherPageSize));
    st->exec("PRAGMA journal_mode = DELETE");
    st->configureConnection();
    st->ensureCatalogue(localeWithoutPassword(locale));
    st->recordKeyDerivation("main");
    st->acquireFileLock(false);
  } catch (...) {
    sqlite3_close_v2(st->db_);
    st->db_ = nullptr;
    fs::remove(path, ec);
    throw;
  }
  return st;
}

void DbState::close() {
  for (auto& [sql, stmt] : cache_) sqlite3_finalize(stmt);
  cache_.clear();
  if (db_) {
    if (transDepth_ > 0) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    transDepth_ = 0;
    sqlite3_close_v2(db_);
    db_ = nullptr;
  }
  if (lockFd_ >= 0) {
    ::flock(lockFd_, LOCK_UN);
    ::close(lockFd_);
    lockFd_ = -1;
  }
  recordLocks_.clear();
}

void DbState::requireOpen() const {
  if (!db_) fail(err::ObjectInvalid);
}

void DbState::requireWritable() const {
  requireOpen();
  if (readOnly_) fail(err::ReadOnly);
}

void DbState::exec(const std::string& sql) {
  requireOpen();
  char* msg = nullptr;
  int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &msg);
  sqlite3_free(msg);
  if (rc != SQLITE_OK) failFromSqlite(db_, rc);
}

sqlite3_stmt* DbState::cached(const std::string& sql) {
  requireOpen();
  auto it = cache_.find(sql);
  if (it != cache_.end()) {
    sqlite3_reset(it->second);
    sqlite3_clear_bindings(it->second);
    return it->second;
  }
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_finalize(stmt);
    failFromSqlite(db_, rc);
  }
  cache_.emplace(sql, stmt);
  return stmt;
}

// ---- transactions --------------------------------------------------------

void DbState::beginTrans() {
  requireOpen();
  exec("SAVEPOINT kh_trans" + std::to_string(transDepth_ + 1));
  ++transDepth_;
}

void DbState::commitTrans() {
  requireOpen();
  if (transDepth_ == 0) fail(err::NotInTransaction);
  exec("RELEASE kh_trans" + std::to_string(transDepth_));
  --transDepth_;
}

void DbState::rollback() {
  requireOpen();
  if (transDepth_ == 0) fail(err::NotInTransaction);
  std::string sp = "kh_trans" + std::to_string(transDepth_);
  exec("ROLLBACK TO " + sp);
  exec("RELEASE " + sp);
  --transDepth_;
  // The catalogue may have changed inside the rolled-back work.
  reloadCatalogue();
}

void TransactionGroup::begin() {
  for (auto& w : members)
    if (auto d = w.lock(); d && d->isOpen()) d->beginTrans();
  ++depth;
}

void TransactionGroup::commit() {
  if (depth == 0) fail(err::NotInTransaction);
  for (auto& w : members)
    if (auto d = w.lock(); d && d->isOpen() && d->transactionDepth() > 0) d->commitTrans();
  --depth;
}

void TransactionGroup::rollback() {
  if (depth == 0) fail(err::NotInTransaction);
  for (auto& w : members)
    if (auto d = w.lock(); d && d->isOpen() && d->transactionDepth() > 0) d->rollback();
  --depth;
}

void DbState::joinGroup(const std::shared_ptr<TransactionGroup>& group) {
  group_ = group;
  // Forget members that are gone.
  auto& m = group->members;
  m.erase(std::remove_if(m.begin(), m.end(), [](const std::weak_ptr<DbState>& w) { return w.expired(); }), m.end());
  m.push_back(weak_from_this());
}

void DbState::groupBegin() {
  requireOpen();
  if (group_) group_->begin();
  else beginTrans();
}

void DbState::groupCommit() {
  requireOpen();
  if (group_) group_->commit();
  else commitTrans();
}

void DbState::groupRollback() {
  requireOpen();
  if (group_) group_->rollback();
  else rollback();
}

// ---- record locks --------------------------------------------------------

bool DbState::lockRecord(const std::string& table, sqlite3_int64 rowid, const void* owner) {
  std::string key;
  for (char c : table) key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  auto [it, inserted] = recordLocks_.emplace(std::make_pair(key, rowid), owner);
  return inserted || it->second == owner;
}

void DbState::unlockRecord(const std::string& table, sqlite3_int64 rowid, const void* owner) {
  std::string key;
  for (char c : table) key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  auto it = recordLocks_.find(std::make_pair(key, rowid));
  if (it != recordLocks_.end() && it->second == owner) recordLocks_.erase(it);
}

// ---- password ------------------------------------------------------------

void DbState::newPassword(const std::string& oldPassword, const std::string& newPass) {
  requireWritable();
  if (!exclusive_) fail(err::DatabaseExclusive, path_);
  if (oldPassword != password_) fail(err::BadPassword);
  if (transDepth_ > 0) fail(err::InvalidOperation);
  if (password_.empty() || newPass.empty()) {
    // Between a plain and an encrypted file the content is exported into a new
    // file beside the old one, which then takes the old one's place.
    std::string tmp = path_ + ".kh-rekey";
    std::error_code ec;
    fs::remove(tmp, ec);
    exportTo(tmp, newPass, {});
    for (auto& [sql, stmt] : cache_) sqlite3_finalize(stmt);
    cache_.clear();
    sqlite3_close_v2(db_);
    db_ = nullptr;
    fs::rename(tmp, path_, ec);
    int rc = sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) fail(3049, path_);
    wipe(password_);
    password_ = newPass;
    if (!password_.empty()) {
      FileSalt salt{};
      if (!readFileSalt(path_, salt)) fail(3049, path_);
      applyKey(db_, rawKey(password_, salt));
      exec("PRAGMA cipher_page_size = " + std::to_string(kCipherPageSize));
    }
    configureConnection();
    // The lock follows the file that now stands at the path.
    if (lockFd_ >= 0) {
      ::close(lockFd_);
      lockFd_ = -1;
    }
    acquireFileLock(true);
    if (ec) fail(3000, "rename failed");
    return;
  }
  // Re-keying keeps the file's salt; the new key is derived with it.
  FileSalt salt{};
  if (!readFileSalt(path_, salt)) fail(3049, path_);
  KeyText key = rawKey(newPass, salt);
  int rc = sqlite3_rekey(db_, key.text().data(), static_cast<int>(key.text().size()));
  if (rc != SQLITE_OK) failFromSqlite(db_, rc);
  wipe(password_);
  password_ = newPass;
}

void DbState::recordKeyDerivation(const std::string& schema) {
  exec("DELETE FROM " + schema + "." + kCatInfo + " WHERE Name = 'KeyDerivation'");
  // A plain file has no key; an encrypted one records how its key is made.
  bool encrypted = schema == "main" ? !password_.empty() : true;
  if (encrypted)
    exec("INSERT INTO " + schema + "." + kCatInfo + " VALUES ('KeyDerivation', " +
         quoteText(KeyDerivation::description) + ")");
}

void DbState::exportTo(const std::string& target, const std::string& password, const std::string& locale) {
  // The content is exported page by page into a new file, made readable by its
  // owner only and given a fresh salt; on any failure the partial target is
  // removed and this file stays as it was.
  requireOpen();
  createPrivateFile(target);
  std::error_code ec;
  try {
    Statement attach(db_, "ATTACH DATABASE ?1 AS kh_export KEY ?2");
    attach.bindText(1, target);
    KeyText key;
    if (!password.empty()) key = rawKeyWithSalt(password, freshSalt());
    sqlite3_bind_text(attach.get(), 2, key.text().data(), static_cast<int>(key.text().size()), SQLITE_STATIC);
    attach.run();
    if (!password.empty()) exec("PRAGMA kh_export.cipher_page_size = " + std::to_string(kCipherPageSize));
    exec("PRAGMA kh_export.page_size = " + std::to_string(kCipherPageSize));
    exec("SELECT sqlcipher_export('kh_export')");
    if (!locale.empty())
      exec("UPDATE kh_export." + std::string(kCatInfo) + " SET Value = " + quoteText(locale) + " WHERE Name = 'Locale'");
    if (password.empty()) exec("DELETE FROM kh_export." + std::string(kCatInfo) + " WHERE Name = 'KeyDerivation'");
    else recordKeyDerivation("kh_export");
    exec("DETACH DATABASE kh_export");
  } catch (...) {
    sqlite3_exec(db_, "DETACH DATABASE kh_export", nullptr, nullptr, nullptr);
    fs::remove(target, ec);
    throw;
  }
}

}  // namespace kh::store
