// One open database file: the SQLCipher connection, the catalogue of tables,
// fields, indexes, relations and stored queries, and the file lock.
#pragma once

#include <sqlcipher/sqlite3.h>

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "object.h"

namespace kh::store {

// ---- catalogue records ---------------------------------------------------

struct FieldDef {
  std::string name;
  std::int16_t type = dao::dbText;
  std::int32_t size = 0;        // Text: characters; fixed types: bytes
  std::int32_t attributes = 0;  // dbAutoIncrField, dbFixedField, dbVariableField, dbDescending (index fields)
  bool required = false;
  bool allowZeroLength = false;
  std::string defaultValue;     // Jet expression text; empty = none
  std::string validationRule;
  std::string validationText;
  std::string foreignName;      // relation fields
  std::int16_t ordinal = 0;
};

struct IndexDef {
  std::string name;
  std::vector<FieldDef> fields;  // name and dbDescending attribute
  bool unique = false;
  bool primary = false;
  bool required = false;
  bool ignoreNulls = false;
  bool foreign = false;
};

struct TableData {
  std::string name;
  std::int32_t attributes = 0;
  std::string validationRule;
  std::string validationText;
  std::vector<FieldDef> fields;
  std::vector<IndexDef> indexes;
  bool system = false;  // a catalogue table: shown, never changed through the model

  const FieldDef* field(const std::string& name) const;
  int fieldIndex(const std::string& name) const;
  const FieldDef* autoIncrement() const;
};

struct RelationData {
  std::string name;
  std::string table;
  std::string foreignTable;
  std::int32_t attributes = 0;
  std::vector<FieldDef> fields;  // name = primary field, foreignName = foreign field
};

struct QueryData {
  std::string name;
  std::string sql;
};

// Default size of a field of a fixed-size type (0 for Text, Memo and binary).
std::int32_t fixedSizeOf(std::int16_t type);
bool isTextType(std::int16_t type);
bool isValidFieldType(std::int16_t type);

// Double-quoted SQL identifier.
std::string quoteName(const std::string& name);

// ---- statements ----------------------------------------------------------

// A prepared statement, finalised on destruction.
class Statement {
 public:
  Statement() = default;
  Statement(sqlite3* db, const std::string& sql);
  Statement(Statement&& o) noexcept : stmt_(std::exchange(o.stmt_, nullptr)), db_(o.db_) {}
  Statement& operator=(Statement&& o) noexcept;
  ~Statement();

  sqlite3_stmt* get() const { return stmt_; }
  explicit operator bool() const { return stmt_ != nullptr; }
  // Steps once; true for a row, false when done. Failures raise DAO errors.
  bool step();
  void reset();
  void bind(int index, const Variant& value);
  void bindInt(int index, sqlite3_int64 value);
  void bindText(int index, const std::string& value);
  // Runs to completion.
  void run();

 private:
  sqlite3_stmt* stmt_ = nullptr;
  sqlite3* db_ = nullptr;
};

// Raises the DAO error that matches SQLite's failure on `db`.
[[noreturn]] void failFromSqlite(sqlite3* db, int rc);
// Maps an SQLite failure to a DAO error number and description.
Failure failureFromSqlite(sqlite3* db, int rc);

// A column value as a variant of the field's DAO type.
Variant readColumn(sqlite3_stmt* stmt, int column, std::int16_t daoType);
// A variant bound for storage in a column of the field's DAO type.
void bindValue(sqlite3_stmt* stmt, int index, const Variant& value, std::int16_t daoType);

// ---- the open file -------------------------------------------------------

struct OpenOptions {
  bool exclusive = false;
  bool readOnly = false;
  std::string password;
};

class DbState;

// The databases of one workspace share its transactions: a transaction begun
// through any of them covers all, and may be ended through any of them.
struct TransactionGroup {
  std::vector<std::weak_ptr<DbState>> members;
  int depth = 0;
  void begin();
  void commit();
  void rollback();
};

class DbState : public std::enable_shared_from_this<DbState> {
 public:
  ~DbState();

  static std::shared_ptr<DbState> open(const std::string& path, const OpenOptions& options,
                                       std::shared_ptr<ErrorStore> errors);
  static std::shared_ptr<DbState> create(const std::string& path, const std::string& locale,
                                         const std::string& password, std::shared_ptr<ErrorStore> errors);

  bool isOpen() const { return db_ != nullptr; }
  void requireOpen() const;
  void requireWritable() const;
  void close();

  sqlite3* handle() const { return db_; }
  const std::string& path() const { return path_; }
  const std::string& connect() const { return connect_; }
  bool readOnly() const { return readOnly_; }
  bool exclusive() const { return exclusive_; }
  ErrorStore* errors() const { return errors_.get(); }
  const std::shared_ptr<ErrorStore>& errorStore() const { return errors_; }

  // Runs SQL that returns no rows.
  void exec(const std::string& sql);
  // A cached prepared statement for SQL that the component issues repeatedly.
  sqlite3_stmt* cached(const std::string& sql);

  // Joins the transactions of a workspace.
  void joinGroup(const std::shared_ptr<TransactionGroup>& group);
  // The workspace's transactions (this database alone when it has none).
  void groupBegin();
  void groupCommit();
  void groupRollback();

  // Transactions nest; the outermost commit writes the file.
  void beginTrans();
  void commitTrans();
  void rollback();
  int transactionDepth() const { return transDepth_; }
  // Runs `work` atomically: inside a savepoint of its own.
  template <class F>
  void atomically(F&& work);

  // Catalogue.
  const std::vector<std::shared_ptr<TableData>>& tables() const { return tables_; }
  std::shared_ptr<TableData> findTable(const std::string& name) const;
  std::shared_ptr<TableData> requireTable(const std::string& name) const;
  const std::vector<std::shared_ptr<RelationData>>& relations() const { return relations_; }
  const std::vector<std::shared_ptr<QueryData>>& queries() const { return queries_; }
  std::shared_ptr<QueryData> findQuery(const std::string& name) const;

  void appendTable(const TableData& table);
  void deleteTable(const std::string& name);
  void renameTable(const std::string& oldName, const std::string& newName);
  void appendField(const std::string& table, const FieldDef& field);
  void deleteField(const std::string& table, const std::string& field);
  // Rewrites one field's changeable properties (Required, AllowZeroLength, rules, default).
  void updateField(const std::string& table, const FieldDef& field);
  void appendIndex(const std::string& table, const IndexDef& index);
  void deleteIndex(const std::string& table, const std::string& index);
  void appendRelation(const RelationData& relation);
  void deleteRelation(const std::string& name);
  void appendQuery(const QueryData& query);
  void updateQuery(const std::string& name, const std::string& sql);
  void deleteQuery(const std::string& name);
  // Reads the catalogue again from the file.
  void reloadCatalogue();

  // The database object that opened this file, while it lives: the parent
  // handed out by recordsets opened through table definitions.
  dao::Database* owner() const { return owner_; }
  void setOwner(dao::Database* owner) { owner_ = owner; }

  // Bumped by every schema change, so cursors can tell their metadata is stale.
  std::uint64_t schemaVersion() const { return schemaVersion_; }
  // Changes whenever this connection changed rows, schema or rolled back: rows
  // cached before then may be stale.
  std::pair<std::uint64_t, std::int64_t> changeGeneration() const {
    return {schemaVersion_, db_ ? static_cast<std::int64_t>(sqlite3_total_changes(db_)) : 0};
  }

  // Record locks held by recordsets of this process (pessimistic locking).
  bool lockRecord(const std::string& table, sqlite3_int64 rowid, const void* owner);
  void unlockRecord(const std::string& table, sqlite3_int64 rowid, const void* owner);

  // Changes the file's password: the file must be open exclusively.
  void newPassword(const std::string& oldPassword, const std::string& newPassword);
  // Writes a compacted copy of the file to `target` (which must not exist) with
  // `password` (empty: a plain file) and, when not empty, `locale`.
  void exportTo(const std::string& target, const std::string& password, const std::string& locale);

 private:
  DbState() = default;
  void configureConnection();
  void ensureCatalogue(const std::string& locale);
  void loadCatalogue();
  void writeTableCatalogue(const TableData& table);
  void rebuildTriggers(const std::string& table);
  void rebuildAllTriggers();
  std::string createTableSql(const TableData& table) const;
  std::string createIndexSql(const TableData& table, const IndexDef& index) const;
  void acquireFileLock(bool exclusive);
  // Records in the catalogue of `schema` how the file's key is derived.
  void recordKeyDerivation(const std::string& schema);

  sqlite3* db_ = nullptr;
  std::string path_;
  std::string connect_;
  std::string password_;
  bool readOnly_ = false;
  bool exclusive_ = false;
  int lockFd_ = -1;
  int transDepth_ = 0;
  int savepointSeq_ = 0;
  std::uint64_t schemaVersion_ = 1;
  std::shared_ptr<ErrorStore> errors_;
  std::shared_ptr<TransactionGroup> group_;
  dao::Database* owner_ = nullptr;
  std::vector<std::shared_ptr<TableData>> tables_;
  std::vector<std::shared_ptr<RelationData>> relations_;
  std::vector<std::shared_ptr<QueryData>> queries_;
  std::unordered_map<std::string, sqlite3_stmt*> cache_;
  std::map<std::pair<std::string, sqlite3_int64>, const void*> recordLocks_;
};

template <class F>
void DbState::atomically(F&& work) {
  requireOpen();
  std::string sp = "kh_sp" + std::to_string(++savepointSeq_);
  exec("SAVEPOINT " + sp);
  try {
    work();
  } catch (...) {
    try {
      exec("ROLLBACK TO " + sp);
      exec("RELEASE " + sp);
    } catch (...) {
    }
    --savepointSeq_;
    throw;
  }
  exec("RELEASE " + sp);
  --savepointSeq_;
}

// Names of the catalogue tables inside every file.
inline constexpr const char* kCatTables = "MSysKhTables";
inline constexpr const char* kCatFields = "MSysKhFields";
inline constexpr const char* kCatIndexes = "MSysKhIndexes";
inline constexpr const char* kCatRelations = "MSysKhRelations";
inline constexpr const char* kCatQueries = "MSysKhQueries";
inline constexpr const char* kCatInfo = "MSysKhInfo";
bool isCatalogueTable(const std::string& name);

}  // namespace kh::store
