// Recordsets: table-type and dynaset recordsets over a keyset of one table's
// rows, and snapshot / forward-only recordsets over a query's result.
#pragma once

#include <optional>
#include <unordered_map>

#include "db.h"

namespace kh::store {

// What a recordset is opened on.
struct QueryPlan {
  std::string sql;              // the statement in SQLite's dialect
  std::vector<Variant> params;  // values of ?1..?n
  // Set for a select over one table that can be kept as a keyset of its rows.
  bool singleTable = false;
  std::string table;            // base table name
  std::string alias;            // name the statement uses for it (the table name when none)
  std::string selectList;       // the select list text
  std::string where;            // condition text, empty for none
  std::string orderBy;          // ORDER BY list text, empty for none
};

struct Column {
  FieldDef def;
  std::string sourceTable;
  std::string sourceField;
  int baseIndex = -1;       // field position in the base table, -1 for a computed column
  bool updatable = false;
};

// The rows of a keyset: shared between a recordset and its clones.
struct Keyset {
  std::vector<sqlite3_int64> keys;
  std::vector<bool> deleted;  // deleted through one of these recordsets
  bool dirty = false;         // order must be rebuilt (a table-type recordset added rows)
  // A dynaset in key order reads its keys in step with its records: while
  // `growing`, keys after `lastKey` up to `maxKey` (the last key when it was
  // opened) are still to come.
  bool growing = false;
  sqlite3_int64 lastKey = 0;
  sqlite3_int64 maxKey = 0;
  void add(sqlite3_int64 key) {
    if (indexed_) position_[key] = keys.size();
    keys.push_back(key);
    deleted.push_back(false);
  }
  void clear() {
    keys.clear();
    deleted.clear();
    position_.clear();
    indexed_ = false;
    growing = false;
  }
  // The position of a key. The index of positions is made on the first
  // look-up, so a keyset only read through never pays for it.
  std::optional<std::size_t> find(sqlite3_int64 key) {
    if (!indexed_) {
      position_.reserve(keys.size());
      for (std::size_t i = 0; i < keys.size(); ++i) position_[keys[i]] = i;
      indexed_ = true;
    }
    auto it = position_.find(key);
    if (it == position_.end()) return std::nullopt;
    return it->second;
  }

 private:
  std::unordered_map<sqlite3_int64, std::size_t> position_;
  bool indexed_ = false;
};

// Rows of a static result read so far.
struct StaticRows {
  std::unique_ptr<Statement> stmt;  // null once the result is read to its end
  std::vector<std::vector<Variant>> rows;
  bool done = false;
};

class RecordsetImpl : public ComObject<dao::Recordset> {
 public:
  enum class Source { Keyset, Static };

  static RecordsetImpl* open(std::shared_ptr<DbState> db, dao::Database* parent, QueryPlan plan, std::int16_t type,
                             std::int32_t options, std::int32_t lockEdit, bool tableType, const std::string& name);

  ErrorStore* errors() const { return db_->errors(); }
  const std::shared_ptr<ErrorStore>& errorStore() const { return db_->errorStore(); }

  // Column access for Field objects.
  int columnCount() const { return static_cast<int>(columns_.size()); }
  FieldDef columnDef(int c) const;
  bool columnUpdatable(int c) const;
  std::string columnSourceTable(int c) const;
  std::string columnSourceField(int c) const;
  Variant value(int c);
  void setValue(int c, const Variant& v);
  std::int32_t fieldSize(int c);

  HRESULT get_Name(BSTR* out) override;
  HRESULT get_Type(std::int16_t* out) override;
  HRESULT get_BOF(VARIANT_BOOL* out) override;
  HRESULT get_EOF(VARIANT_BOOL* out) override;
  HRESULT get_NoMatch(VARIANT_BOOL* out) override;
  HRESULT get_Updatable(VARIANT_BOOL* out) override;
  HRESULT get_Restartable(VARIANT_BOOL* out) override;
  HRESULT get_Bookmarkable(VARIANT_BOOL* out) override;
  HRESULT get_EditMode(std::int16_t* out) override;
  HRESULT get_RecordCount(std::int32_t* out) override;
  HRESULT get_AbsolutePosition(std::int32_t* out) override;
  HRESULT put_AbsolutePosition(std::int32_t value) override;
  HRESULT get_Bookmark(Variant* out) override;
  HRESULT put_Bookmark(const Variant& value) override;
  HRESULT get_LastModified(Variant* out) override;
  HRESULT get_Index(BSTR* out) override;
  HRESULT put_Index(const BSTR& value) override;
  HRESULT get_LockEdits(VARIANT_BOOL* out) override;
  HRESULT put_LockEdits(VARIANT_BOOL value) override;
  HRESULT get_Parent(dao::Database** out) override;
  HRESULT get_Fields(dao::Fields** out) override;
  HRESULT get_Collect(const Variant& index, Variant* out) override;
  HRESULT put_Collect(const Variant& index, const Variant& value) override;
  HRESULT AddNew() override;
  HRESULT Edit() override;
  HRESULT Update(std::int32_t updateType, VARIANT_BOOL force) override;
  HRESULT _30_Update() override;
  HRESULT CancelUpdate(std::int32_t updateType) override;
  HRESULT _30_CancelUpdate() override;
  HRESULT Delete() override;
  HRESULT MoveFirst() override;
  HRESULT MoveLast(std::int32_t options) override;
  HRESULT _30_MoveLast() override;
  HRESULT MoveNext() override;
  HRESULT MovePrevious() override;
  HRESULT Move(std::int32_t rows, const Variant& startBookmark) override;
  HRESULT FindFirst(const BSTR& criteria) override;
  HRESULT FindLast(const BSTR& criteria) override;
  HRESULT FindNext(const BSTR& criteria) override;
  HRESULT FindPrevious(const BSTR& criteria) override;
  HRESULT Seek(const BSTR& comparison, const std::array<Variant, 13>& keys) override;
  HRESULT Clone(dao::Recordset** out) override;
  HRESULT Requery(const Variant& newQueryDef) override;
  HRESULT Close() override;
  HRESULT ViewCurrentValues(dao::FieldValueView* out, std::int16_t count) override;

 private:
  RecordsetImpl() = default;
  ~RecordsetImpl() override;

  void requireOpen() const;
  void describeColumns();
  void build();              // reads the keyset or starts the static result
  void rebuildKeysetOrder();
  std::size_t knownCount();  // rows known so far (keyset: all)
  bool fetchTo(std::size_t index);  // static: reads rows up to `index`; false past the end
  std::size_t rowCount();    // reads everything
  void moveTo(long pos);     // pos -1 = BOF, >= count = EOF
  long stepFrom(long pos, int dir);  // next live position in a direction
  bool hasCurrent() const { return pos_ >= 0 && !atEnd_; }
  void requireCurrent();
  void loadCurrent();
  std::vector<Variant>& currentRow();
  sqlite3_int64 currentKey() const;
  void cancelEdit();
  int columnIndex(const Variant& index) const;
  Variant bookmarkOf(std::size_t pos) const;
  std::size_t positionOfBookmark(const Variant& bookmark);
  Variant coerce(int c, const Variant& v) const;
  void find(const std::string& criteria, int start, int dir);
  // Which rows of the result meet `criteria`, by position.
  const std::vector<bool>& matchingRows(const std::string& criteria);
  void checkUpdatable() const;
  std::string baseReadSql() const;
  const Variant& valueRef(int c);

  std::shared_ptr<DbState> db_;
  ComPtr<dao::Database> parent_;
  QueryPlan plan_;
  std::string name_;
  std::int16_t type_ = dao::dbOpenDynaset;
  std::int32_t options_ = 0;
  Source source_ = Source::Keyset;
  bool updatable_ = false;
  bool forwardOnly_ = false;
  bool tableType_ = false;
  bool closed_ = false;
  bool lockEdits_ = true;
  std::string index_;                 // table-type: current index name
  std::vector<Column> columns_;
  std::shared_ptr<Keyset> keyset_;
  std::shared_ptr<StaticRows> static_;
  std::size_t forwardBase_ = 0;       // forward-only: rows dropped before rows[0]

  long pos_ = -1;
  bool atEnd_ = false;                // positioned after the last record
  bool noMatch_ = false;
  std::size_t visited_ = 0;           // dynaset RecordCount: records reached so far
  bool loaded_ = false;
  bool currentDeleted_ = false;
  std::vector<Variant> current_;
  std::uint64_t schemaVersion_ = 0;

  std::int16_t editMode_ = dao::dbEditNone;
  std::vector<Variant> buffer_;
  std::vector<bool> dirty_;
  std::vector<Variant> original_;     // values when Edit began, to detect others' changes
  sqlite3_int64 lockedKey_ = 0;
  bool locked_ = false;
  std::optional<sqlite3_int64> lastModified_;
  std::optional<std::size_t> lastModifiedStatic_;
  long savedPos_ = -1;
  bool savedAtEnd_ = false;

  sqlite3_stmt* readStmt_ = nullptr;    // reads one row of the keyset by its key
  // Keyset rows are read ahead in windows: one statement reads the rows of a
  // stretch of the keyset (a range of keys where they ascend closely, a list
  // of keys otherwise), each SQLite read transaction serving many records.
  // A row is handed out once, so a record read again comes from the file and
  // shows what others changed since; any change through this connection
  // drops the window.
  //
  // Window rows, and the current record taken from one, keep the values as
  // SQLite gave them (numbers inline, text and bytes in one buffer); a
  // variant is made only for a value someone asks for.
  enum : std::uint8_t { kRowNone, kRowRead, kRowGone };
  struct RawCell {
    int kind = SQLITE_NULL;  // SQLite's storage class
    sqlite3_int64 integer = 0;
    double real = 0;
    std::size_t offset = 0;  // text or bytes in the buffer
    std::size_t size = 0;
  };
  static RawCell capture(sqlite3_stmt* s, int column, std::int16_t daoType, std::string& buffer);
  static Variant variantOf(const RawCell& cell, const std::string& buffer, std::int16_t daoType);
  static dao::FieldValueView viewOf(const RawCell& cell, const std::string& buffer, std::int16_t daoType);
  const Variant& currentValue(int c);
  void prepareWindowStatements();
  // A statement of this recordset's own, with the query's parameters bound.
  sqlite3_stmt* prepareWithParams(const std::string& sql);
  bool growsInStep() const;
  void growKeyset(std::size_t index);  // reads keys with their records until `index` is known
  void completeKeyset();
  std::string keyRangeSql(const std::string& columns) const;
  sqlite3_stmt* growStmt_ = nullptr;
  void fetchWindow(std::size_t pos);
  void readRowByKey();
  void dropWindow();
  sqlite3_stmt* rangeStmt_ = nullptr;
  sqlite3_stmt* listStatement(std::size_t keys);  // reads a list of keys, bound with the parameters
  std::vector<RawCell> windowCells_;      // rows x columns
  std::string windowBuffer_;
  std::vector<RawCell> currentCells_;
  std::string currentBuffer_;
  std::vector<char> currentReady_;        // per column: current_ holds its value
  std::vector<sqlite3_int64> windowKeys_;
  std::vector<std::uint8_t> windowState_;
  std::size_t windowStart_ = 0;
  std::size_t windowEnd_ = 0;             // positions [windowStart_, windowEnd_)
  std::size_t windowRows_ = 0;            // rows the last window asked for
  std::pair<std::uint64_t, std::int64_t> cacheGeneration_{0, -1};
  // The rows the last criteria matched: a run of FindNext calls with the same
  // criteria (a filtered scan) evaluates them once, until the rows, their
  // number or the result change.
  struct FoundRows {
    std::string criteria;
    std::pair<std::uint64_t, std::int64_t> generation;
    std::vector<bool> match;
  };
  std::optional<FoundRows> found_;
};

// Opens a table by name as a recordset of the given type.
dao::Recordset* openTableRecordset(std::shared_ptr<DbState> db, dao::Database* parent, const std::string& table,
                                   std::int16_t type, std::int32_t options, std::int32_t lockEdit);

}  // namespace kh::store
