#include "recordset.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "schema.h"
#include "sqlbridge.h"

namespace kh::store {

using namespace dao;

namespace {

Variant keyBookmark(sqlite3_int64 key) {
  // Four bytes while the key fits; a bookmark never exceeds eight.
  int n = (key >= INT32_MIN && key <= INT32_MAX) ? 4 : 8;
  std::vector<std::uint8_t> bytes;
  bytes.reserve(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) bytes.push_back(static_cast<std::uint8_t>((static_cast<std::uint64_t>(key) >> (8 * i)) & 0xFF));
  return Variant::fromBytes(std::move(bytes));
}

std::optional<sqlite3_int64> bookmarkKey(const Variant& v) {
  if (!v.isArray()) return std::nullopt;
  const auto& b = v.bytes();
  if (b.size() != 4 && b.size() != 8) return std::nullopt;
  std::uint64_t u = 0;
  for (std::size_t i = 0; i < b.size(); ++i) u |= static_cast<std::uint64_t>(b[i]) << (8 * i);
  if (b.size() == 4) return static_cast<sqlite3_int64>(static_cast<std::int32_t>(static_cast<std::uint32_t>(u)));
  return static_cast<sqlite3_int64>(u);
}

}  // namespace

// ---- opening -------------------------------------------------------------

RecordsetImpl* RecordsetImpl::open(std::shared_ptr<DbState> db, dao::Database* parent, QueryPlan plan,
                                   std::int16_t type, std::int32_t options, std::int32_t lockEdit, bool tableType,
                                   const std::string& name) {
  db->requireOpen();
  if (type != dbOpenTable && type != dbOpenDynaset && type != dbOpenSnapshot && type != dbOpenForwardOnly)
    fail(err::InvalidArgument);
  auto* rs = new RecordsetImpl;
  ComPtr<RecordsetImpl> guard = ComPtr<RecordsetImpl>::adopt(rs);
  rs->db_ = std::move(db);
  rs->parent_ = ComPtr<dao::Database>(parent);
  rs->plan_ = std::move(plan);
  rs->name_ = name;
  rs->type_ = type;
  rs->options_ = options;
  rs->tableType_ = tableType;
  rs->forwardOnly_ = type == dbOpenForwardOnly || (options & dbForwardOnly);
  rs->lockEdits_ = lockEdit != dbOptimistic;
  bool readOnly = (options & dbReadOnly) || lockEdit == dbReadOnly || rs->db_->readOnly();
  if (rs->plan_.singleTable && (type == dbOpenTable || type == dbOpenDynaset)) {
    auto table = rs->db_->requireTable(rs->plan_.table);
    rs->source_ = Source::Keyset;
    rs->updatable_ = !readOnly && !table->system;
  } else {
    rs->source_ = Source::Static;
    rs->updatable_ = false;
  }
  rs->describeColumns();
  rs->build();
  rs->moveTo(0);
  return guard.detach();
}

dao::Recordset* openTableRecordset(std::shared_ptr<DbState> db, dao::Database* parent, const std::string& tableName,
                                   std::int16_t type, std::int32_t options, std::int32_t lockEdit) {
  auto table = db->requireTable(tableName);
  QueryPlan plan;
  plan.singleTable = true;
  plan.table = table->name;
  plan.alias = table->name;
  plan.selectList = "*";
  plan.sql = "SELECT * FROM " + quoteName(table->name);
  return RecordsetImpl::open(std::move(db), parent, std::move(plan), type, options, lockEdit, type == dbOpenTable,
                             table->name);
}

RecordsetImpl::~RecordsetImpl() {
  if (locked_) db_->unlockRecord(plan_.table, lockedKey_, this);
  sqlite3_finalize(readStmt_);
  sqlite3_finalize(rangeStmt_);
  sqlite3_finalize(growStmt_);
}

std::string RecordsetImpl::baseReadSql() const {
  return "SELECT " + plan_.selectList + " FROM " + quoteName(plan_.table) + " AS " + quoteName(plan_.alias) +
         " WHERE " + quoteName(plan_.alias) + ".rowid = ?" + std::to_string(plan_.params.size() + 1);
}

void RecordsetImpl::describeColumns() {
  columns_.clear();
  sqlite3_finalize(readStmt_);
  readStmt_ = nullptr;
  sqlite3_finalize(rangeStmt_);
  rangeStmt_ = nullptr;
  sqlite3_finalize(growStmt_);
  growStmt_ = nullptr;
  dropWindow();
  schemaVersion_ = db_->schemaVersion();
  std::string sql = source_ == Source::Keyset ? baseReadSql() : plan_.sql;
  Statement s(db_->handle(), sql);
  int n = sqlite3_column_count(s.get());
  std::shared_ptr<TableData> base = source_ == Source::Keyset ? db_->findTable(plan_.table) : nullptr;
  for (int i = 0; i < n; ++i) {
    Column c;
    const char* name = sqlite3_column_name(s.get(), i);
    c.def.name = name ? name : "";
    const char* table = sqlite3_column_table_name(s.get(), i);
    const char* origin = sqlite3_column_origin_name(s.get(), i);
    std::shared_ptr<TableData> td = table ? db_->findTable(table) : nullptr;
    const FieldDef* fd = (td && origin) ? td->field(origin) : nullptr;
    if (fd) {
      std::string shownName = c.def.name;
      c.def = *fd;
      c.def.name = shownName;
      c.sourceTable = td->name;
      c.sourceField = fd->name;
      if (base && td == base) {
        c.baseIndex = base->fieldIndex(fd->name);
        c.updatable = !(fd->attributes & dbAutoIncrField);
      }
    } else {
      // A computed column: values keep the kind SQLite computed them in, and
      // the column's type follows the first value seen (see columnDef).
      c.def.type = 0;
      c.def.size = 0;
      c.def.attributes = 0;
    }
    c.def.ordinal = static_cast<std::int16_t>(i);
    columns_.push_back(std::move(c));
  }
}

void RecordsetImpl::build() {
  found_.reset();
  pos_ = -1;
  atEnd_ = false;
  loaded_ = false;
  visited_ = 0;
  dropWindow();
  if (source_ == Source::Keyset) {
    if (!keyset_) keyset_ = std::make_shared<Keyset>();
    keyset_->clear();
    keyset_->dirty = false;
    if (options_ & dbAppendOnly) return;
    if (growsInStep()) {
      // Keys come with the records as they are reached; rows added later
      // (past the last key now) stay out, as with a keyset read at once.
      Statement last(db_->handle(), "SELECT max(rowid) FROM " + quoteName(plan_.table));
      if (last.step() && sqlite3_column_type(last.get(), 0) != SQLITE_NULL) {
        keyset_->growing = true;
        keyset_->lastKey = INT64_MIN;
        keyset_->maxKey = sqlite3_column_int64(last.get(), 0);
      }
      return;
    }
    std::string sql;
    if (tableType_) {
      sql = "SELECT rowid FROM " + quoteName(plan_.table);
      auto table = db_->findTable(plan_.table);
      const IndexDef* ix = nullptr;
      if (table)
        for (const auto& i : table->indexes)
          if (sameName(i.name, index_)) ix = &i;
      if (ix) {
        std::string order;
        for (const auto& f : ix->fields)
          order += (order.empty() ? "" : ", ") + quoteName(f.name) + ((f.attributes & dbDescending) ? " DESC" : "");
        sql += " ORDER BY " + order + ", rowid";
      } else {
        sql += " ORDER BY rowid";
      }
    } else {
      sql = "SELECT " + quoteName(plan_.alias) + ".rowid FROM " + quoteName(plan_.table) + " AS " +
            quoteName(plan_.alias);
      if (!plan_.where.empty()) sql += " WHERE " + plan_.where;
      if (!plan_.orderBy.empty()) sql += " ORDER BY " + plan_.orderBy;
    }
    Statement s(db_->handle(), sql);
    for (std::size_t i = 0; i < plan_.params.size(); ++i) s.bind(static_cast<int>(i + 1), plan_.params[i]);
    auto& ks = *keyset_;
    while (s.step()) ks.add(sqlite3_column_int64(s.get(), 0));
  } else {
    static_ = std::make_shared<StaticRows>();
    static_->stmt = std::make_unique<Statement>(db_->handle(), plan_.sql);
    for (std::size_t i = 0; i < plan_.params.size(); ++i) static_->stmt->bind(static_cast<int>(i + 1), plan_.params[i]);
    forwardBase_ = 0;
  }
}

void RecordsetImpl::rebuildKeysetOrder() {
  if (!keyset_ || !keyset_->dirty) return;
  std::optional<sqlite3_int64> current;
  if (hasCurrent()) current = currentKey();
  auto deletedBefore = *keyset_;
  build();
  for (std::size_t i = 0; i < deletedBefore.keys.size(); ++i) {
    if (!deletedBefore.deleted[i]) continue;
    if (auto at = keyset_->find(deletedBefore.keys[i])) keyset_->deleted[*at] = true;
  }
  if (current) {
    if (auto at = keyset_->find(*current)) {
      pos_ = static_cast<long>(*at);
      atEnd_ = false;
    }
  }
  visited_ = keyset_->keys.size();
}

std::size_t RecordsetImpl::knownCount() {
  if (source_ == Source::Keyset) return keyset_->keys.size();
  return forwardBase_ + static_->rows.size();
}

bool RecordsetImpl::fetchTo(std::size_t index) {
  if (source_ == Source::Keyset) {
    if (index >= keyset_->keys.size() && keyset_->growing) growKeyset(index);
    return index < keyset_->keys.size();
  }
  auto& st = *static_;
  while (forwardBase_ + st.rows.size() <= index && !st.done) {
    if (!st.stmt->step()) {
      st.done = true;
      st.stmt.reset();
      break;
    }
    std::vector<Variant> row;
    row.reserve(columns_.size());
    for (std::size_t c = 0; c < columns_.size(); ++c)
      row.push_back(readColumn(st.stmt->get(), static_cast<int>(c), columns_[c].def.type));
    if (forwardOnly_ && !st.rows.empty()) {
      // A forward-only result keeps the current row only.
      ++forwardBase_;
      st.rows.clear();
    }
    st.rows.push_back(std::move(row));
  }
  return index < forwardBase_ + st.rows.size();
}

std::size_t RecordsetImpl::rowCount() {
  if (source_ == Source::Keyset) completeKeyset();
  if (source_ == Source::Static)
    while (fetchTo(knownCount())) {
    }
  return knownCount();
}

void RecordsetImpl::moveTo(long pos) {
  loaded_ = false;
  currentDeleted_ = false;
  if (pos < 0) {
    pos_ = -1;
    atEnd_ = false;
    return;
  }
  if (!fetchTo(static_cast<std::size_t>(pos))) {
    pos_ = static_cast<long>(knownCount());
    atEnd_ = true;
    if (pos_ == 0) atEnd_ = true;
    return;
  }
  pos_ = pos;
  atEnd_ = false;
  visited_ = std::max(visited_, static_cast<std::size_t>(pos) + 1);
}

long RecordsetImpl::stepFrom(long pos, int dir) {
  long p = pos + dir;
  if (source_ == Source::Keyset) {
    const auto& ks = *keyset_;
    while (p >= 0 && p < static_cast<long>(ks.keys.size()) && ks.deleted[static_cast<std::size_t>(p)]) p += dir;
  }
  return p;
}

void RecordsetImpl::requireOpen() const {
  if (closed_) fail(err::ObjectInvalid);
  db_->requireOpen();
}

void RecordsetImpl::requireCurrent() {
  requireOpen();
  if (!hasCurrent()) fail(err::NoCurrentRecord);
  if (source_ == Source::Keyset && keyset_->deleted[static_cast<std::size_t>(pos_)]) fail(err::RecordDeleted);
}

sqlite3_int64 RecordsetImpl::currentKey() const { return keyset_->keys[static_cast<std::size_t>(pos_)]; }

void RecordsetImpl::loadCurrent() {
  if (loaded_) return;
  requireCurrent();
  if (source_ == Source::Keyset) {
    auto generation = db_->changeGeneration();
    if (generation != cacheGeneration_) {
      dropWindow();
      cacheGeneration_ = generation;
    }
    const auto pos = static_cast<std::size_t>(pos_);
    const bool inWindow = pos >= windowStart_ && pos < windowEnd_;
    if (!inWindow) fetchWindow(pos);
    const std::size_t i = pos - windowStart_;
    if (pos < windowStart_ || pos >= windowEnd_ || windowKeys_[i] != currentKey() || windowState_[i] == kRowNone) {
      // Read before (a record read again), or not in a window: from the file.
      readRowByKey();
    } else {
      currentDeleted_ = windowState_[i] == kRowGone;
      if (!currentDeleted_) {
        const std::size_t n = columns_.size();
        const auto* row = windowCells_.data() + i * n;
        currentBuffer_.clear();
        currentCells_.assign(row, row + n);
        for (auto& cell : currentCells_) {
          if (!cell.size) continue;
          const std::size_t offset = currentBuffer_.size();
          currentBuffer_.append(windowBuffer_, cell.offset, cell.size);
          cell.offset = offset;
        }
        current_.resize(n);
        currentReady_.assign(n, 0);
      }
      windowState_[i] = kRowNone;
    }
  } else {
    current_ = static_->rows[static_cast<std::size_t>(pos_) - forwardBase_];
    currentReady_.assign(current_.size(), 1);
  }
  loaded_ = true;
}

void RecordsetImpl::readRowByKey() {
  if (!readStmt_) readStmt_ = prepareWithParams(baseReadSql());
  sqlite3_stmt* s = readStmt_;
  sqlite3_bind_int64(s, static_cast<int>(plan_.params.size() + 1), currentKey());
  int rc = sqlite3_step(s);
  if (rc == SQLITE_ROW) {
    current_.resize(columns_.size());
    for (std::size_t c = 0; c < columns_.size(); ++c)
      current_[c] = readColumn(s, static_cast<int>(c), columns_[c].def.type);
    currentReady_.assign(columns_.size(), 1);
    currentDeleted_ = false;
  } else if (rc == SQLITE_DONE) {
    currentDeleted_ = true;  // deleted by someone else since the keyset was read
  } else {
    Failure f = failureFromSqlite(db_->handle(), rc);
    sqlite3_reset(s);
    throw f;
  }
  sqlite3_reset(s);
}

void RecordsetImpl::dropWindow() {
  windowStart_ = windowEnd_ = 0;
  windowCells_.clear();
  windowBuffer_.clear();
  windowKeys_.clear();
  windowState_.clear();
}

RecordsetImpl::RawCell RecordsetImpl::capture(sqlite3_stmt* s, int column, std::int16_t daoType,
                                              std::string& buffer) {
  // What readColumn reads, kept without a variant.
  RawCell cell;
  cell.kind = sqlite3_column_type(s, column);
  if (cell.kind == SQLITE_NULL) return cell;
  auto bytes = [&](const void* p, int n) {
    cell.offset = buffer.size();
    cell.size = static_cast<std::size_t>(n);
    if (p && n > 0) buffer.append(static_cast<const char*>(p), cell.size);
  };
  switch (daoType) {
    case dbBoolean:
    case dbByte:
    case dbInteger:
    case dbLong: cell.integer = sqlite3_column_int64(s, column); return cell;
    case dbCurrency:
    case dbSingle:
    case dbDouble:
    case dbDate: cell.real = sqlite3_column_double(s, column); return cell;
    case dbText:
    case dbMemo:
    case dbGUID: {
      const unsigned char* p = sqlite3_column_text(s, column);
      bytes(p, sqlite3_column_bytes(s, column));
      cell.kind = SQLITE_TEXT;
      return cell;
    }
    case dbBinary:
    case dbLongBinary: {
      const void* p = sqlite3_column_blob(s, column);
      bytes(p, sqlite3_column_bytes(s, column));
      cell.kind = SQLITE_BLOB;
      return cell;
    }
    default: break;
  }
  switch (cell.kind) {
    case SQLITE_INTEGER: cell.integer = sqlite3_column_int64(s, column); break;
    case SQLITE_FLOAT: cell.real = sqlite3_column_double(s, column); break;
    case SQLITE_BLOB: bytes(sqlite3_column_blob(s, column), sqlite3_column_bytes(s, column)); break;
    default: {
      const unsigned char* p = sqlite3_column_text(s, column);
      bytes(p, sqlite3_column_bytes(s, column));
      cell.kind = SQLITE_TEXT;
      break;
    }
  }
  return cell;
}

dao::FieldValueView RecordsetImpl::viewOf(const RawCell& cell, const std::string& buffer, std::int16_t daoType) {
  // The kinds readColumn gives each field type.
  dao::FieldValueView v;
  if (cell.kind == SQLITE_NULL) {
    v.type = VT_NULL;
    return v;
  }
  const std::int64_t i = cell.integer;
  switch (daoType) {
    case dbBoolean: v.type = VT_BOOL; v.integer = i != 0 ? VARIANT_TRUE : VARIANT_FALSE; return v;
    case dbByte: v.type = VT_UI1; v.integer = static_cast<std::uint8_t>(static_cast<int>(i)); return v;
    case dbInteger: v.type = VT_I2; v.integer = static_cast<std::int16_t>(static_cast<int>(i)); return v;
    case dbLong: v.type = VT_I4; v.integer = static_cast<std::int32_t>(i); return v;
    case dbCurrency: v.type = VT_CY; v.integer = static_cast<std::int64_t>(std::llround(cell.real * 10000.0)); return v;
    case dbSingle: v.type = VT_R4; v.real = static_cast<float>(cell.real); return v;
    case dbDouble: v.type = VT_R8; v.real = cell.real; return v;
    case dbDate: v.type = VT_DATE; v.real = cell.real; return v;
    default: break;
  }
  switch (cell.kind) {
    case SQLITE_INTEGER:
      if (i >= INT32_MIN && i <= INT32_MAX) {
        v.type = VT_I4;
        v.integer = i;
      } else {
        v.type = VT_R8;
        v.real = static_cast<double>(i);
      }
      return v;
    case SQLITE_FLOAT: v.type = VT_R8; v.real = cell.real; return v;
    case SQLITE_BLOB: v.type = VT_UI1_ARRAY; break;
    default: v.type = VT_BSTR; break;
  }
  v.data = buffer.data() + cell.offset;
  v.size = cell.size;
  return v;
}

Variant RecordsetImpl::variantOf(const RawCell& cell, const std::string& buffer, std::int16_t daoType) {
  const dao::FieldValueView v = viewOf(cell, buffer, daoType);
  switch (v.type) {
    case VT_BOOL: return Variant::fromBool(v.integer != 0);
    case VT_UI1: return Variant::fromByte(static_cast<std::uint8_t>(v.integer));
    case VT_I2: return Variant(static_cast<std::int16_t>(v.integer));
    case VT_I4: return Variant(static_cast<std::int32_t>(v.integer));
    case VT_CY: return Variant(Currency{v.integer});
    case VT_R4: return Variant(static_cast<float>(v.real));
    case VT_R8: return Variant(v.real);
    case VT_DATE: return Variant::fromDate(v.real);
    case VT_BSTR: return Variant(std::string(v.data, v.size));
    case VT_UI1_ARRAY: {
      const auto* p = reinterpret_cast<const std::uint8_t*>(v.data);
      return Variant::fromBytes(std::vector<std::uint8_t>(p, p + v.size));
    }
    default: return Variant::null();
  }
}

const Variant& RecordsetImpl::currentValue(int c) {
  loadCurrent();
  if (currentDeleted_) fail(err::RecordDeleted);
  const auto i = static_cast<std::size_t>(c);
  if (!currentReady_.at(i)) {
    current_[i] = variantOf(currentCells_[i], currentBuffer_, columns_[i].def.type);
    currentReady_[i] = 1;
  }
  return current_[i];
}

namespace {

// A window starts small, as a grid's first screen needs few records, and
// doubles while the records are read on in the same direction.
constexpr std::size_t kFirstWindowRows = 16;
constexpr std::size_t kWindowRows = 256;

}  // namespace

bool RecordsetImpl::growsInStep() const {
  return source_ == Source::Keyset && !tableType_ && plan_.orderBy.empty() && !(options_ & dbAppendOnly);
}

std::string RecordsetImpl::keyRangeSql(const std::string& columns) const {
  const int base = static_cast<int>(plan_.params.size());
  const std::string key = quoteName(plan_.alias) + ".rowid";
  std::string sql = "SELECT " + key + columns + " FROM " + quoteName(plan_.table) + " AS " + quoteName(plan_.alias) +
                    " WHERE " + key + " BETWEEN ?" + std::to_string(base + 1) + " AND ?" + std::to_string(base + 2);
  if (!plan_.where.empty()) sql += " AND (" + plan_.where + ")";
  return sql + " ORDER BY " + key;
}

void RecordsetImpl::growKeyset(std::size_t index) {
  auto& ks = *keyset_;
  if (!growStmt_)
    growStmt_ = prepareWithParams(keyRangeSql(", " + plan_.selectList) + " LIMIT ?" +
                                  std::to_string(plan_.params.size() + 3));
  const int base = static_cast<int>(plan_.params.size());
  sqlite3_stmt* s = growStmt_;
  while (ks.growing && index >= ks.keys.size()) {
    // The next keys arrive with their records, which become the window.
    cacheGeneration_ = db_->changeGeneration();
    dropWindow();
    const std::size_t from = ks.keys.size();
    sqlite3_bind_int64(s, base + 1, ks.lastKey == INT64_MIN ? INT64_MIN : ks.lastKey + 1);
    sqlite3_bind_int64(s, base + 2, ks.maxKey);
    windowRows_ = from == 0 ? kFirstWindowRows : std::min(2 * windowRows_, kWindowRows);
    sqlite3_bind_int64(s, base + 3, static_cast<sqlite3_int64>(windowRows_));
    windowStart_ = windowEnd_ = from;
    std::size_t n = 0;
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
      const sqlite3_int64 key = sqlite3_column_int64(s, 0);
      ks.add(key);
      ks.lastKey = key;
      windowKeys_.push_back(key);
      windowState_.push_back(kRowRead);
      windowCells_.resize((n + 1) * columns_.size());
      RawCell* row = windowCells_.data() + n * columns_.size();
      for (std::size_t c = 0; c < columns_.size(); ++c)
        row[c] = capture(s, static_cast<int>(c + 1), columns_[c].def.type, windowBuffer_);
      ++n;
    }
    windowEnd_ = from + n;
    if (rc != SQLITE_DONE) {
      Failure f = failureFromSqlite(db_->handle(), rc);
      sqlite3_reset(s);
      dropWindow();
      throw f;
    }
    sqlite3_reset(s);
    if (n < windowRows_ || ks.lastKey >= ks.maxKey) ks.growing = false;
  }
}

void RecordsetImpl::completeKeyset() {
  auto& ks = *keyset_;
  if (!ks.growing) return;
  Statement s(db_->handle(), keyRangeSql(""));
  for (std::size_t i = 0; i < plan_.params.size(); ++i) s.bind(static_cast<int>(i + 1), plan_.params[i]);
  const int base = static_cast<int>(plan_.params.size());
  sqlite3_bind_int64(s.get(), base + 1, ks.lastKey == INT64_MIN ? INT64_MIN : ks.lastKey + 1);
  sqlite3_bind_int64(s.get(), base + 2, ks.maxKey);
  while (s.step()) ks.add(sqlite3_column_int64(s.get(), 0));
  ks.growing = false;
}

void RecordsetImpl::prepareWindowStatements() {
  if (rangeStmt_) return;
  const int base = static_cast<int>(plan_.params.size());
  const std::string alias = quoteName(plan_.alias);
  const std::string head = "SELECT " + alias + ".rowid, " + plan_.selectList + " FROM " + quoteName(plan_.table) +
                           " AS " + alias + " WHERE " + alias + ".rowid ";
  std::string range = head + "BETWEEN ?" + std::to_string(base + 1) + " AND ?" + std::to_string(base + 2) +
                      " ORDER BY " + alias + ".rowid";
  rangeStmt_ = prepareWithParams(range);
}

sqlite3_stmt* RecordsetImpl::prepareWithParams(const std::string& sql) {
  sqlite3_stmt* s = nullptr;
  int rc = sqlite3_prepare_v2(db_->handle(), sql.c_str(), static_cast<int>(sql.size()), &s, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_finalize(s);
    failFromSqlite(db_->handle(), rc);
  }
  for (std::size_t i = 0; i < plan_.params.size(); ++i) bindValue(s, static_cast<int>(i + 1), plan_.params[i], 0);
  return s;
}

sqlite3_stmt* RecordsetImpl::listStatement(std::size_t keys) {
  // Lists come in a few sizes, each prepared once for the connection; the
  // places past the keys stay Null (the cache clears bindings), which
  // matches nothing.
  std::size_t size = kFirstWindowRows;
  while (size < keys) size *= 2;
  const int base = static_cast<int>(plan_.params.size());
  const std::string alias = quoteName(plan_.alias);
  std::string sql = "SELECT " + alias + ".rowid, " + plan_.selectList + " FROM " + quoteName(plan_.table) + " AS " +
                    alias + " WHERE " + alias + ".rowid IN (";
  for (std::size_t i = 0; i < size; ++i) sql += (i ? ", ?" : "?") + std::to_string(base + 1 + static_cast<int>(i));
  sql += ")";
  sqlite3_stmt* s = db_->cached(sql);
  for (std::size_t i = 0; i < plan_.params.size(); ++i) bindValue(s, static_cast<int>(i + 1), plan_.params[i], 0);
  return s;
}

void RecordsetImpl::fetchWindow(std::size_t pos) {
  prepareWindowStatements();
  const auto& keys = keyset_->keys;
  // Going on from the window before reads onward, going back from it reads
  // backward, a jump reads a few records behind and mostly ahead.
  std::size_t from;
  const bool onward = windowEnd_ > windowStart_ && pos == windowEnd_;
  const bool back = windowEnd_ > windowStart_ && pos + 1 == windowStart_;
  windowRows_ = onward || back ? std::min(2 * windowRows_, kWindowRows) : kFirstWindowRows;
  if (onward) from = pos;
  else if (back) from = pos + 1 >= windowRows_ ? pos + 1 - windowRows_ : 0;
  else from = pos >= 2 ? pos - 2 : 0;
  const std::size_t to = std::min(keys.size(), from + windowRows_);
  windowStart_ = from;
  windowEnd_ = to;
  const std::size_t n = to - from;
  windowCells_.resize(n * columns_.size());
  windowBuffer_.clear();
  windowKeys_.assign(keys.begin() + static_cast<std::ptrdiff_t>(from), keys.begin() + static_cast<std::ptrdiff_t>(to));
  windowState_.assign(n, kRowNone);

  // The keys to read, sorted, each with its place in the window.
  std::vector<std::pair<sqlite3_int64, std::size_t>> wanted;
  wanted.reserve(n);
  bool ascending = true;
  for (std::size_t i = 0; i < n; ++i) {
    if (keyset_->deleted[from + i]) continue;
    if (!wanted.empty() && windowKeys_[i] <= wanted.back().first) ascending = false;
    wanted.emplace_back(windowKeys_[i], i);
  }
  if (wanted.empty()) return;
  if (!ascending) std::sort(wanted.begin(), wanted.end());
  // Absent from the result means deleted from the file.
  for (const auto& w : wanted) windowState_[w.second] = kRowGone;

  const int base = static_cast<int>(plan_.params.size());
  const sqlite3_int64 lo = wanted.front().first, hi = wanted.back().first;
  sqlite3_stmt* s;
  // A range walks the table's leaves in order; it pays where few rows
  // between the keys are outside the keyset.
  if (ascending && static_cast<std::uint64_t>(hi - lo) <= 2 * wanted.size() + 64) {
    s = rangeStmt_;
    sqlite3_bind_int64(s, base + 1, lo);
    sqlite3_bind_int64(s, base + 2, hi);
  } else {
    s = listStatement(wanted.size());
    for (std::size_t i = 0; i < wanted.size(); ++i) sqlite3_bind_int64(s, base + 1 + static_cast<int>(i), wanted[i].first);
  }
  int rc;
  while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
    const sqlite3_int64 key = sqlite3_column_int64(s, 0);
    auto it = std::lower_bound(wanted.begin(), wanted.end(), std::pair{key, std::size_t{0}});
    if (it == wanted.end() || it->first != key) continue;  // a row outside the keyset
    RawCell* row = windowCells_.data() + it->second * columns_.size();
    for (std::size_t c = 0; c < columns_.size(); ++c)
      row[c] = capture(s, static_cast<int>(c + 1), columns_[c].def.type, windowBuffer_);
    windowState_[it->second] = kRowRead;
  }
  if (rc != SQLITE_DONE) {
    Failure f = failureFromSqlite(db_->handle(), rc);
    sqlite3_reset(s);
    dropWindow();
    throw f;
  }
  sqlite3_reset(s);
}

std::vector<Variant>& RecordsetImpl::currentRow() {
  loadCurrent();
  if (currentDeleted_) fail(err::RecordDeleted);
  for (std::size_t c = 0; c < current_.size(); ++c) currentValue(static_cast<int>(c));
  return current_;
}

int RecordsetImpl::columnIndex(const Variant& index) const {
  if (index.type() == VT_I4 || index.type() == VT_I2) {
    std::int32_t n = index.type() == VT_I4 ? index.i4() : index.i2();
    if (n < 0 || n >= static_cast<std::int32_t>(columns_.size())) fail(err::ItemNotFound);
    return n;
  }
  if (index.type() == VT_BSTR) {
    for (std::size_t i = 0; i < columns_.size(); ++i)
      if (sameName(columns_[i].def.name, index.str())) return static_cast<int>(i);
    // A qualified name "Table.Field" also finds its column.
    auto dot = index.str().rfind('.');
    if (dot != std::string::npos) {
      std::string t = index.str().substr(0, dot), f = index.str().substr(dot + 1);
      for (std::size_t i = 0; i < columns_.size(); ++i)
        if (sameName(columns_[i].sourceTable, t) && sameName(columns_[i].sourceField, f)) return static_cast<int>(i);
    }
    fail(err::ItemNotFound);
  }
  Variant n;
  if (FAILED(index.changeType(VT_I4, n)) || n.i4() < 0 || n.i4() >= static_cast<std::int32_t>(columns_.size()))
    fail(err::ItemNotFound);
  return n.i4();
}

// ---- field access --------------------------------------------------------

FieldDef RecordsetImpl::columnDef(int c) const {
  FieldDef d = columns_.at(static_cast<std::size_t>(c)).def;
  if (d.type != 0) return d;
  // A computed column takes the type of its value in the current record,
  // or of the first record read; text when nothing tells.
  const auto i = static_cast<std::size_t>(c);
  VARTYPE kind = VT_BSTR;
  if (loaded_ && !currentDeleted_ && i < current_.size())
    kind = currentReady_[i] ? current_[i].type() : viewOf(currentCells_[i], currentBuffer_, d.type).type;
  else if (static_ && !static_->rows.empty())
    kind = static_->rows.front()[i].type();
  switch (kind) {
    case VT_I4: d.type = dbLong; break;
    case VT_R8: d.type = dbDouble; break;
    case VT_UI1_ARRAY: d.type = dbLongBinary; break;
    default: d.type = dbText; break;
  }
  d.size = d.type == dbText ? 255 : fixedSizeOf(d.type);
  return d;
}
bool RecordsetImpl::columnUpdatable(int c) const {
  return updatable_ && columns_.at(static_cast<std::size_t>(c)).updatable;
}
std::string RecordsetImpl::columnSourceTable(int c) const { return columns_.at(static_cast<std::size_t>(c)).sourceTable; }
std::string RecordsetImpl::columnSourceField(int c) const { return columns_.at(static_cast<std::size_t>(c)).sourceField; }

Variant RecordsetImpl::value(int c) { return valueRef(c); }

const Variant& RecordsetImpl::valueRef(int c) {
  requireOpen();
  if (editMode_ != dbEditNone) return buffer_.at(static_cast<std::size_t>(c));
  return currentValue(c);
}

Variant RecordsetImpl::coerce(int c, const Variant& v) const {
  const Column& col = columns_[static_cast<std::size_t>(c)];
  if (v.isNull() || v.isEmpty()) return Variant::null();
  static const VARTYPE kinds[] = {VT_EMPTY, VT_BOOL, VT_UI1, VT_I2, VT_I4, VT_CY, VT_R4, VT_R8, VT_DATE};
  std::int16_t t = col.def.type;
  if (t >= dbBoolean && t <= dbDate) {
    Variant out;
    HRESULT hr = v.changeType(kinds[t], out);
    if (hr == DISP_E_OVERFLOW) fail(err::NumericOverflow);
    if (FAILED(hr)) fail(err::ConversionError);
    return out;
  }
  if (t == dbText || t == dbMemo || t == dbGUID) {
    Variant out;
    if (v.isArray()) return Variant(std::string(v.bytes().begin(), v.bytes().end()));
    if (FAILED(v.changeType(VT_BSTR, out))) fail(err::ConversionError);
    if (t == dbText && col.def.size > 0) {
      // Text sizes count characters.
      std::size_t chars = 0;
      for (unsigned char ch : out.str())
        if ((ch & 0xC0) != 0x80) ++chars;
      if (chars > static_cast<std::size_t>(col.def.size)) fail(err::FieldTooSmall, col.def.name);
    }
    return out;
  }
  if (t == dbBinary || t == dbLongBinary) {
    if (v.isArray()) {
      if (t == dbBinary && col.def.size > 0 && v.bytes().size() > static_cast<std::size_t>(col.def.size))
        fail(err::FieldTooSmall, col.def.name);
      return v;
    }
    if (v.type() == VT_BSTR) return Variant::fromBytes(std::vector<std::uint8_t>(v.str().begin(), v.str().end()));
    fail(err::ConversionError);
  }
  return v;
}

void RecordsetImpl::setValue(int c, const Variant& v) {
  requireOpen();
  if (editMode_ == dbEditNone) fail(err::UpdateWithoutEdit);
  const Column& col = columns_.at(static_cast<std::size_t>(c));
  if (!col.updatable) fail(3164);  // field can't be updated
  buffer_[static_cast<std::size_t>(c)] = coerce(c, v);
  dirty_[static_cast<std::size_t>(c)] = true;
}

std::int32_t RecordsetImpl::fieldSize(int c) {
  Variant v = value(c);
  if (v.isNull() || v.isEmpty()) return 0;
  if (v.type() == VT_BSTR) return static_cast<std::int32_t>(v.str().size());
  if (v.isArray()) return static_cast<std::int32_t>(v.bytes().size());
  return 0;
}

// ---- properties ----------------------------------------------------------

HRESULT RecordsetImpl::get_Name(BSTR* out) {
  return guarded(errors(), [&] { requireOut(out); requireOpen(); *out = name_; });
}
HRESULT RecordsetImpl::get_Type(std::int16_t* out) {
  return guarded(errors(), [&] { requireOut(out); requireOpen(); *out = type_; });
}
HRESULT RecordsetImpl::get_BOF(VARIANT_BOOL* out) {
  return guarded(errors(), [&] {
    requireOut(out);
    requireOpen();
    bool empty = knownCount() == 0 && !fetchTo(0);
    *out = (pos_ < 0 || empty) ? VARIANT_TRUE : VARIANT_FALSE;
  });
}
HRESULT RecordsetImpl::get_EOF(VARIANT_BOOL* out) {
  return guarded(errors(), [&] {
    requireOut(out);
    requireOpen();
    bool empty = knownCount() == 0 && !fetchTo(0);
    *out = (atEnd_ || empty) ? VARIANT_TRUE : VARIANT_FALSE;
  });
}
HRESULT RecordsetImpl::get_NoMatch(VARIANT_BOOL* out) {
  return guarded(errors(), [&] { requireOut(out); requireOpen(); *out = noMatch_ ? VARIANT_TRUE : VARIANT_FALSE; });
}
HRESULT RecordsetImpl::get_Updatable(VARIANT_BOOL* out) {
  return guarded(errors(), [&] { requireOut(out); requireOpen(); *out = updatable_ ? VARIANT_TRUE : VARIANT_FALSE; });
}
HRESULT RecordsetImpl::get_Restartable(VARIANT_BOOL* out) {
  return guarded(errors(), [&] { requireOut(out); requireOpen(); *out = tableType_ ? VARIANT_FALSE : VARIANT_TRUE; });
}
HRESULT RecordsetImpl::get_Bookmarkable(VARIANT_BOOL* out) {
  return guarded(errors(), [&] { requireOut(out); requireOpen(); *out = forwardOnly_ ? VARIANT_FALSE : VARIANT_TRUE; });
}
HRESULT RecordsetImpl::get_EditMode(std::int16_t* out) {
  return guarded(errors(), [&] { requireOut(out); requireOpen(); *out = editMode_; });
}
HRESULT RecordsetImpl::get_RecordCount(std::int32_t* out) {
  return guarded(errors(), [&] {
    requireOut(out);
    requireOpen();
    if (tableType_) {
      rebuildKeysetOrder();
      std::size_t live = 0;
      for (bool d : keyset_->deleted)
        if (!d) ++live;
      *out = static_cast<std::int32_t>(live);
      return;
    }
    // Dynasets and snapshots count the records reached so far.
    std::size_t count = visited_;
    if (source_ == Source::Keyset) {
      std::size_t gone = 0;
      for (std::size_t i = 0; i < std::min(visited_, keyset_->keys.size()); ++i)
        if (keyset_->deleted[i]) ++gone;
      count -= gone;
    }
    *out = static_cast<std::int32_t>(count);
  });
}
HRESULT RecordsetImpl::get_AbsolutePosition(std::int32_t* out) {
  return guarded(errors(), [&] {
    requireOut(out);
    requireOpen();
    if (forwardOnly_) fail(err::OperationNotSupported);
    if (!hasCurrent()) {
      *out = -1;
      return;
    }
    long p = pos_;
    if (source_ == Source::Keyset)
      for (long i = 0; i < pos_; ++i)
        if (keyset_->deleted[static_cast<std::size_t>(i)]) --p;
    *out = static_cast<std::int32_t>(p);
  });
}
HRESULT RecordsetImpl::put_AbsolutePosition(std::int32_t value) {
  return guarded(errors(), [&] {
    requireOpen();
    if (forwardOnly_) fail(err::OperationNotSupported);
    if (value < 0) fail(err::InvalidArgument);
    cancelEdit();
    rebuildKeysetOrder();
    long p = -1;
    for (std::int32_t i = 0; i <= value; ++i) {
      p = stepFrom(p, 1);
      if (!fetchTo(static_cast<std::size_t>(p))) fail(err::InvalidArgument);
    }
    moveTo(p);
  });
}

Variant RecordsetImpl::bookmarkOf(std::size_t pos) const {
  if (source_ == Source::Keyset) return keyBookmark(keyset_->keys[pos]);
  return keyBookmark(static_cast<sqlite3_int64>(pos) + 1);
}

std::size_t RecordsetImpl::positionOfBookmark(const Variant& bookmark) {
  auto key = bookmarkKey(bookmark);
  if (!key) fail(err::NotValidBookmark);
  if (source_ == Source::Keyset) {
    rebuildKeysetOrder();
    auto at = keyset_->find(*key);
    if (!at && keyset_->growing) {
      completeKeyset();
      at = keyset_->find(*key);
    }
    if (!at) fail(err::NotValidBookmark);
    if (keyset_->deleted[*at]) fail(err::RecordDeleted);
    return *at;
  }
  if (*key < 1 || !fetchTo(static_cast<std::size_t>(*key - 1))) fail(err::NotValidBookmark);
  return static_cast<std::size_t>(*key - 1);
}

HRESULT RecordsetImpl::get_Bookmark(Variant* out) {
  return guarded(errors(), [&] {
    requireOut(out);
    if (forwardOnly_) fail(err::OperationNotSupported);
    requireCurrent();
    *out = bookmarkOf(static_cast<std::size_t>(pos_));
  });
}
HRESULT RecordsetImpl::put_Bookmark(const Variant& value) {
  return guarded(errors(), [&] {
    requireOpen();
    if (forwardOnly_) fail(err::OperationNotSupported);
    std::size_t p = positionOfBookmark(value);
    cancelEdit();
    moveTo(static_cast<long>(p));
  });
}
HRESULT RecordsetImpl::get_LastModified(Variant* out) {
  return guarded(errors(), [&] {
    requireOut(out);
    requireOpen();
    if (source_ == Source::Keyset && lastModified_) {
      *out = keyBookmark(*lastModified_);
      return;
    }
    fail(err::NoCurrentRecord);
  });
}
HRESULT RecordsetImpl::get_Index(BSTR* out) {
  return guarded(errors(), [&] {
    requireOut(out);
    requireOpen();
    if (!tableType_) fail(err::OperationNotSupported);
    *out = index_;
  });
}
HRESULT RecordsetImpl::put_Index(const BSTR& value) {
  return guarded(errors(), [&] {
    requireOpen();
    if (!tableType_) fail(err::OperationNotSupported);
    auto table = db_->requireTable(plan_.table);
    const IndexDef* ix = nullptr;
    for (const auto& i : table->indexes)
      if (sameName(i.name, value)) ix = &i;
    if (!ix && !value.empty()) fail(err::IndexNotFound, value);
    cancelEdit();
    index_ = ix ? ix->name : std::string();
    build();
    moveTo(stepFrom(-1, 1));
  });
}
HRESULT RecordsetImpl::get_LockEdits(VARIANT_BOOL* out) {
  return guarded(errors(), [&] { requireOut(out); requireOpen(); *out = lockEdits_ ? VARIANT_TRUE : VARIANT_FALSE; });
}
HRESULT RecordsetImpl::put_LockEdits(VARIANT_BOOL value) {
  return guarded(errors(), [&] {
    requireOpen();
    if (editMode_ != dbEditNone) fail(err::InvalidOperation);
    lockEdits_ = value != 0;
  });
}
HRESULT RecordsetImpl::get_Parent(dao::Database** out) {
  return guarded(errors(), [&] {
    requireOut(out);
    if (!parent_) fail(err::InvalidOperation);
    parent_->AddRef();
    *out = parent_.get();
  });
}
HRESULT RecordsetImpl::get_Fields(dao::Fields** out) {
  return guarded(errors(), [&] {
    requireOut(out);
    requireOpen();
    // A new collection each time: it holds the recordset, so the recordset
    // must not hold it back.
    *out = FieldsImpl::ofRecordset(this);
  });
}
HRESULT RecordsetImpl::get_Collect(const Variant& index, Variant* out) {
  return guarded(errors(), [&] {
    requireOut(out);
    requireOpen();
    const int c = columnIndex(index);
    if (editMode_ == dbEditNone) {
      loadCurrent();
      if (currentDeleted_) fail(err::RecordDeleted);
      const auto i = static_cast<std::size_t>(c);
      // A value read once goes straight from the record into the caller's variant.
      if (!currentReady_[i]) {
        *out = variantOf(currentCells_[i], currentBuffer_, columns_[i].def.type);
        return;
      }
    }
    *out = valueRef(c);
  });
}

HRESULT RecordsetImpl::ViewCurrentValues(dao::FieldValueView* out, std::int16_t count) {
  return guarded(errors(), [&] {
    requireOut(out);
    requireOpen();
    if (count < 0 || static_cast<std::size_t>(count) > columns_.size()) fail(err::InvalidArgument);
    const std::vector<Variant>* values = nullptr;
    if (editMode_ != dbEditNone) {
      values = &buffer_;
    } else {
      loadCurrent();
      if (currentDeleted_) fail(err::RecordDeleted);
    }
    for (std::size_t c = 0; c < static_cast<std::size_t>(count); ++c) {
      const Variant* v = values ? &(*values)[c] : (currentReady_[c] ? &current_[c] : nullptr);
      if (!v) {
        out[c] = viewOf(currentCells_[c], currentBuffer_, columns_[c].def.type);
        continue;
      }
      dao::FieldValueView& o = out[c];
      o = dao::FieldValueView{};
      o.type = v->type();
      switch (v->type()) {
        case VT_BOOL: o.integer = v->boolVal() ? VARIANT_TRUE : VARIANT_FALSE; break;
        case VT_UI1: o.integer = v->ui1(); break;
        case VT_I2: o.integer = v->i2(); break;
        case VT_I4: o.integer = v->i4(); break;
        case VT_CY: o.integer = v->cy().scaled; break;
        case VT_R4: o.real = v->r4(); break;
        case VT_R8: o.real = v->r8(); break;
        case VT_DATE: o.real = v->date(); break;
        case VT_BSTR: o.data = v->str().data(); o.size = v->str().size(); break;
        case VT_UI1_ARRAY:
          o.data = reinterpret_cast<const char*>(v->bytes().data());
          o.size = v->bytes().size();
          break;
        case VT_NULL:
        case VT_EMPTY: break;
        default: o.type = VT_EMPTY; break;  // no other kind is stored in a record
      }
    }
  });
}
HRESULT RecordsetImpl::put_Collect(const Variant& index, const Variant& v) {
  return guarded(errors(), [&] {
    requireOpen();
    setValue(columnIndex(index), v);
  });
}

// ---- changes -------------------------------------------------------------

void RecordsetImpl::checkUpdatable() const {
  requireOpen();
  if (!updatable_) fail(err::ReadOnly);
}

void RecordsetImpl::cancelEdit() {
  if (editMode_ == dbEditAdd) {
    pos_ = savedPos_;
    atEnd_ = savedAtEnd_;
    loaded_ = false;
  }
  if (locked_) {
    db_->unlockRecord(plan_.table, lockedKey_, this);
    locked_ = false;
  }
  editMode_ = dbEditNone;
  buffer_.clear();
  dirty_.clear();
  original_.clear();
}

HRESULT RecordsetImpl::AddNew() {
  return guarded(errors(), [&] {
    checkUpdatable();
    cancelEdit();
    buffer_.assign(columns_.size(), Variant::null());
    dirty_.assign(columns_.size(), false);
    // New records start with the fields' default values.
    for (std::size_t c = 0; c < columns_.size(); ++c) {
      const auto& col = columns_[c];
      if (!col.updatable || col.def.defaultValue.empty()) continue;
      Variant v = evaluateJetExpression(*db_, col.def.defaultValue);
      try {
        buffer_[c] = coerce(static_cast<int>(c), v);
        dirty_[c] = !buffer_[c].isNull();
      } catch (const Failure&) {
        // A default that does not fit the field leaves it empty.
      }
    }
    savedPos_ = pos_;
    savedAtEnd_ = atEnd_;
    editMode_ = dbEditAdd;
  });
}

HRESULT RecordsetImpl::Edit() {
  return guarded(errors(), [&] {
    checkUpdatable();
    if (editMode_ == dbEditAdd) cancelEdit();
    if (editMode_ == dbEditInProgress) return;
    requireCurrent();
    std::vector<Variant> row = currentRow();
    sqlite3_int64 key = currentKey();
    if (lockEdits_) {
      if (!db_->lockRecord(plan_.table, key, this)) fail(err::LockedByUser);
      locked_ = true;
      lockedKey_ = key;
    }
    buffer_ = row;
    original_ = row;
    dirty_.assign(columns_.size(), false);
    editMode_ = dbEditInProgress;
  });
}

HRESULT RecordsetImpl::Update(std::int32_t, VARIANT_BOOL) { return _30_Update(); }

HRESULT RecordsetImpl::_30_Update() {
  return guarded(errors(), [&] {
    requireOpen();
    if (editMode_ == dbEditNone) fail(err::UpdateWithoutEdit);
    checkUpdatable();
    std::string cols, vals;
    std::vector<std::size_t> set;
    for (std::size_t c = 0; c < columns_.size(); ++c) {
      if (!dirty_[c] || columns_[c].baseIndex < 0) continue;
      set.push_back(c);
    }
    sqlite3* h = db_->handle();
    if (editMode_ == dbEditAdd) {
      std::string sql = "INSERT INTO " + quoteName(plan_.table);
      if (set.empty()) {
        sql += " DEFAULT VALUES";
      } else {
        for (std::size_t i = 0; i < set.size(); ++i) {
          cols += (i ? ", " : "") + quoteName(columns_[set[i]].sourceField);
          vals += (i ? ", ?" : "?") + std::to_string(i + 1);
        }
        sql += " (" + cols + ") VALUES (" + vals + ")";
      }
      sqlite3_stmt* s = db_->cached(sql);
      for (std::size_t i = 0; i < set.size(); ++i)
        bindValue(s, static_cast<int>(i + 1), buffer_[set[i]], columns_[set[i]].def.type);
      int rc = sqlite3_step(s);
      if (rc != SQLITE_DONE) {
        Failure f = failureFromSqlite(h, rc);
        sqlite3_reset(s);
        throw f;
      }
      sqlite3_reset(s);
      sqlite3_int64 key = sqlite3_last_insert_rowid(h);
      lastModified_ = key;
      if (tableType_ && !index_.empty()) keyset_->dirty = true;
      // Added records join the end of the keyset.
      completeKeyset();
      keyset_->add(key);
      long keep = savedPos_;
      bool keepEnd = savedAtEnd_;
      editMode_ = dbEditNone;
      buffer_.clear();
      dirty_.clear();
      // The current record stays the one that was current before AddNew.
      if (keepEnd && keep >= 0) keep = static_cast<long>(keyset_->keys.size());
      pos_ = keep;
      atEnd_ = keepEnd;
      loaded_ = false;
      if (!tableType_) visited_ = std::max(visited_, visited_ + 0);
      ++visited_;
      return;
    }
    // Edit: the record must not have changed or gone since Edit began.
    sqlite3_int64 key = currentKey();
    // Read from the file itself, never from rows read ahead.
    loaded_ = false;
    readRowByKey();
    loaded_ = true;
    if (currentDeleted_) {
      cancelEdit();
      fail(err::RecordDeleted);
    }
    for (std::size_t c = 0; c < columns_.size(); ++c)
      if (!(current_[c] == original_[c])) {
        cancelEdit();
        fail(err::DataChanged);
      }
    if (!set.empty()) {
      std::string sql = "UPDATE " + quoteName(plan_.table) + " SET ";
      for (std::size_t i = 0; i < set.size(); ++i)
        sql += (i ? ", " : "") + quoteName(columns_[set[i]].sourceField) + " = ?" + std::to_string(i + 1);
      sql += " WHERE rowid = ?" + std::to_string(set.size() + 1);
      sqlite3_stmt* s = db_->cached(sql);
      for (std::size_t i = 0; i < set.size(); ++i)
        bindValue(s, static_cast<int>(i + 1), buffer_[set[i]], columns_[set[i]].def.type);
      sqlite3_bind_int64(s, static_cast<int>(set.size() + 1), key);
      int rc = sqlite3_step(s);
      if (rc != SQLITE_DONE) {
        Failure f = failureFromSqlite(h, rc);
        sqlite3_reset(s);
        throw f;
      }
      sqlite3_reset(s);
      if (tableType_ && !index_.empty()) keyset_->dirty = true;
    }
    lastModified_ = key;
    cancelEdit();
    loaded_ = false;
  });
}

HRESULT RecordsetImpl::CancelUpdate(std::int32_t) { return _30_CancelUpdate(); }

HRESULT RecordsetImpl::_30_CancelUpdate() {
  return guarded(errors(), [&] {
    requireOpen();
    if (editMode_ == dbEditNone) fail(err::UpdateWithoutEdit);
    cancelEdit();
  });
}

HRESULT RecordsetImpl::Delete() {
  return guarded(errors(), [&] {
    checkUpdatable();
    if (editMode_ != dbEditNone) cancelEdit();
    requireCurrent();
    sqlite3_int64 key = currentKey();
    if (!db_->lockRecord(plan_.table, key, this)) fail(err::LockedByUser);
    db_->unlockRecord(plan_.table, key, this);
    sqlite3_stmt* s = db_->cached("DELETE FROM " + quoteName(plan_.table) + " WHERE rowid = ?1");
    sqlite3_bind_int64(s, 1, key);
    int rc = sqlite3_step(s);
    if (rc != SQLITE_DONE) {
      Failure f = failureFromSqlite(db_->handle(), rc);
      sqlite3_reset(s);
      throw f;
    }
    sqlite3_reset(s);
    bool gone = sqlite3_changes(db_->handle()) > 0;
    keyset_->deleted[static_cast<std::size_t>(pos_)] = true;
    loaded_ = false;
    if (!gone) fail(err::RecordDeleted);
  });
}

// ---- navigation ----------------------------------------------------------

HRESULT RecordsetImpl::MoveFirst() {
  return guarded(errors(), [&] {
    requireOpen();
    if (forwardOnly_ && (forwardBase_ > 0 || pos_ > 0)) fail(err::OperationNotSupported);
    cancelEdit();
    rebuildKeysetOrder();
    long p = stepFrom(-1, 1);
    if (!fetchTo(static_cast<std::size_t>(p))) {
      moveTo(p);
      fail(err::NoCurrentRecord);
    }
    moveTo(p);
  });
}

HRESULT RecordsetImpl::MoveLast(std::int32_t) { return _30_MoveLast(); }

HRESULT RecordsetImpl::_30_MoveLast() {
  return guarded(errors(), [&] {
    requireOpen();
    if (forwardOnly_) fail(err::OperationNotSupported);
    cancelEdit();
    rebuildKeysetOrder();
    long n = static_cast<long>(rowCount());
    long p = stepFrom(n, -1);
    if (p < 0) {
      moveTo(-1);
      fail(err::NoCurrentRecord);
    }
    moveTo(p);
    visited_ = static_cast<std::size_t>(n);
  });
}

HRESULT RecordsetImpl::MoveNext() {
  return guarded(errors(), [&] {
    requireOpen();
    if (atEnd_ || (knownCount() == 0 && !fetchTo(0))) fail(err::NoCurrentRecord);
    cancelEdit();
    rebuildKeysetOrder();
    moveTo(stepFrom(pos_, 1));
  });
}

HRESULT RecordsetImpl::MovePrevious() {
  return guarded(errors(), [&] {
    requireOpen();
    if (forwardOnly_) fail(err::OperationNotSupported);
    if (pos_ < 0 || (knownCount() == 0 && !fetchTo(0))) fail(err::NoCurrentRecord);
    cancelEdit();
    rebuildKeysetOrder();
    long p = atEnd_ ? stepFrom(static_cast<long>(rowCount()), -1) : stepFrom(pos_, -1);
    moveTo(p < 0 ? -1 : p);
  });
}

HRESULT RecordsetImpl::Move(std::int32_t rows, const Variant& start) {
  return guarded(errors(), [&] {
    requireOpen();
    if (forwardOnly_ && rows < 0) fail(err::OperationNotSupported);
    long p = pos_;
    if (!isOmitted(start)) p = static_cast<long>(positionOfBookmark(start));
    else if (!hasCurrent()) fail(err::NoCurrentRecord);
    cancelEdit();
    rebuildKeysetOrder();
    int dir = rows < 0 ? -1 : 1;
    for (std::int32_t i = 0; i < std::abs(rows); ++i) {
      p = stepFrom(p, dir);
      if (p < 0) break;
      if (dir > 0 && !fetchTo(static_cast<std::size_t>(p))) break;
    }
    moveTo(p);
  });
}

const std::vector<bool>& RecordsetImpl::matchingRows(const std::string& criteria) {
  const std::size_t n = rowCount();
  const auto generation = db_->changeGeneration();
  if (found_ && found_->criteria == criteria && found_->generation == generation && found_->match.size() == n)
    return found_->match;
  found_.reset();
  std::string expr = jetCriteriaToSql(*db_, criteria);
  std::vector<bool> match(n, false);
  if (source_ == Source::Keyset) {
    std::string sql = "SELECT " + quoteName(plan_.alias) + ".rowid FROM " + quoteName(plan_.table) + " AS " +
                      quoteName(plan_.alias) + " WHERE (" + expr + ")";
    Statement s(db_->handle(), sql);
    while (s.step()) {
      if (auto at = keyset_->find(sqlite3_column_int64(s.get(), 0))) match[*at] = !keyset_->deleted[*at];
    }
  } else {
    // The result is read again in the same order with the criteria as a column.
    Statement s(db_->handle(), "SELECT (" + expr + ") FROM (" + plan_.sql + ")");
    for (std::size_t i = 0; i < plan_.params.size(); ++i) s.bind(static_cast<int>(i + 1), plan_.params[i]);
    std::size_t i = 0;
    while (i < n && s.step()) {
      match[i] = sqlite3_column_type(s.get(), 0) != SQLITE_NULL && sqlite3_column_double(s.get(), 0) != 0.0;
      ++i;
    }
  }
  found_ = FoundRows{criteria, generation, std::move(match)};
  return found_->match;
}

void RecordsetImpl::find(const std::string& criteria, int start, int dir) {
  requireOpen();
  if (forwardOnly_) fail(err::OperationNotSupported);
  cancelEdit();
  rebuildKeysetOrder();
  const std::vector<bool>& match = matchingRows(criteria);
  const std::size_t n = match.size();
  long p = start;
  while (p >= 0 && p < static_cast<long>(n)) {
    if (match[static_cast<std::size_t>(p)]) {
      noMatch_ = false;
      moveTo(p);
      return;
    }
    p += dir;
  }
  // No match: the current record stays where it was.
  noMatch_ = true;
}

HRESULT RecordsetImpl::FindFirst(const BSTR& criteria) {
  return guarded(errors(), [&] { find(criteria, 0, 1); });
}
HRESULT RecordsetImpl::FindLast(const BSTR& criteria) {
  return guarded(errors(), [&] { find(criteria, static_cast<int>(rowCount()) - 1, -1); });
}
HRESULT RecordsetImpl::FindNext(const BSTR& criteria) {
  return guarded(errors(), [&] { find(criteria, hasCurrent() ? static_cast<int>(pos_) + 1 : 0, 1); });
}
HRESULT RecordsetImpl::FindPrevious(const BSTR& criteria) {
  return guarded(errors(), [&] {
    int start = hasCurrent() ? static_cast<int>(pos_) - 1 : static_cast<int>(rowCount()) - 1;
    find(criteria, start, -1);
  });
}

HRESULT RecordsetImpl::Seek(const BSTR& comparison, const std::array<Variant, 13>& keys) {
  return guarded(errors(), [&] {
    requireOpen();
    if (!tableType_) fail(err::OperationNotSupported);
    if (index_.empty()) fail(err::NoCurrentIndex);
    static const char* const ops[] = {"=", ">=", ">", "<=", "<"};
    std::string op;
    for (const char* o : ops)
      if (comparison == o) op = o;
    if (op.empty()) fail(err::InvalidArgument);
    cancelEdit();
    rebuildKeysetOrder();
    auto table = db_->requireTable(plan_.table);
    const IndexDef* ix = nullptr;
    for (const auto& i : table->indexes)
      if (sameName(i.name, index_)) ix = &i;
    if (!ix) fail(err::IndexNotFound, index_);
    std::size_t n = 0;
    while (n < keys.size() && n < ix->fields.size() && !isOmitted(keys[n])) ++n;
    if (n == 0) fail(err::InvalidArgument);
    std::string lhs, rhs, order;
    bool backwards = op[0] == '<';
    for (std::size_t i = 0; i < n; ++i) {
      lhs += (i ? ", " : "") + quoteName(ix->fields[i].name);
      rhs += (i ? ", ?" : "?") + std::to_string(i + 1);
    }
    for (const auto& f : ix->fields) order += quoteName(f.name) + (backwards ? " DESC, " : ", ");
    std::string sql = "SELECT rowid FROM " + quoteName(table->name) + " WHERE (" + lhs + ") " + op + " (" + rhs +
                      ") ORDER BY " + order + "rowid" + (backwards ? " DESC" : "") + " LIMIT 1";
    Statement s(db_->handle(), sql);
    for (std::size_t i = 0; i < n; ++i) {
      const FieldDef* f = table->field(ix->fields[i].name);
      bindValue(s.get(), static_cast<int>(i + 1), keys[i], f ? f->type : 0);
    }
    if (s.step()) {
      auto at = keyset_->find(sqlite3_column_int64(s.get(), 0));
      if (at && !keyset_->deleted[*at]) {
        noMatch_ = false;
        moveTo(static_cast<long>(*at));
        return;
      }
    }
    noMatch_ = true;
    moveTo(static_cast<long>(knownCount()));
  });
}

HRESULT RecordsetImpl::Clone(dao::Recordset** out) {
  return guarded(errors(), [&] {
    requireOut(out);
    requireOpen();
    if (forwardOnly_) fail(err::OperationNotSupported);
    auto* c = new RecordsetImpl;
    ComPtr<RecordsetImpl> guard = ComPtr<RecordsetImpl>::adopt(c);
    c->db_ = db_;
    c->parent_ = parent_;
    c->plan_ = plan_;
    c->name_ = name_;
    c->type_ = type_;
    c->options_ = options_;
    c->source_ = source_;
    c->updatable_ = updatable_;
    c->tableType_ = tableType_;
    c->lockEdits_ = lockEdits_;
    c->index_ = index_;
    c->columns_ = columns_;
    c->keyset_ = keyset_;
    c->static_ = static_;
    c->schemaVersion_ = schemaVersion_;
    c->visited_ = visited_;
    // A clone starts without a current record.
    c->pos_ = -1;
    *out = guard.detach();
  });
}

HRESULT RecordsetImpl::Requery(const Variant&) {
  return guarded(errors(), [&] {
    requireOpen();
    if (tableType_) fail(err::OperationNotSupported);
    cancelEdit();
    if (source_ == Source::Keyset) keyset_ = std::make_shared<Keyset>();
    if (db_->schemaVersion() != schemaVersion_) describeColumns();
    build();
    moveTo(stepFrom(-1, 1));
  });
}

HRESULT RecordsetImpl::Close() {
  return guarded(errors(), [&] {
    if (closed_) fail(err::ObjectInvalid);
    cancelEdit();
    closed_ = true;
    keyset_.reset();
    static_.reset();
  });
}

}  // namespace kh::store
