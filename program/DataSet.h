// The data-access layer of keyhaven: a small data-set framework over the
// engine binding (Bde), in the classic shape the windows expect.
//
//  - TSession: the one engine session of the process. The first connect
//    starts it (DbiInitFn with version 400 and the language "0009"); Close
//    (at shutdown) ends it with DbiExit.
//  - TDatabase: a connection by alias ("kh"). Before every connect it hands
//    its parameters ("CONNECT=;PWD=...") to the engine as a session-only
//    definition of the alias (DbiAddAlias, entries NAME:"VALUE"), then opens
//    the alias (DbiOpenDatabase); a failed open takes the definition back
//    (DbiDeleteAlias). Disconnecting closes every data set on it first.
//  - TQuery: an SQL statement with :name parameters, live (editable) or
//    read-only, read through an engine cursor into record buffers.
//  - TField: a column of the current record, by name (case-insensitive).
//  - TDataSource: the notifications controls and other data sets listen to,
//    and the master side of a master-detail link.
//
// Every engine failure is raised as EDBEngineError (result code and the
// engine's message texts); the layer's own refusals as EDatabaseError. Text
// crosses to the engine in Windows-1252: a character that Windows-1252
// cannot hold is refused with a message naming the field or parameter,
// never replaced.
//
// Records: a data set keeps one bookmark per record it has reached (in the
// cursor's order) and record buffers for a window of them around the current
// one; a buffer that fell out of the window is read again through its
// bookmark. Moving and reading fields never re-run the statement; Refresh and
// the master-detail link do.
//
// Everything runs on the user-interface thread.
#pragma once

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "../engine/include/kbe/kbe.h"

class TDataSet;
class TDataSource;
class TDatabase;
class TField;
class TQuery;

// ---- errors -----------------------------------------------------------------

// A refusal of the data-access layer itself (no such field, wrong state, a
// value the field cannot hold). what() is the message in UTF-8.
class EDatabaseError : public std::runtime_error {
 public:
  explicit EDatabaseError(const QString& message);
  QString message() const { return QString::fromUtf8(what()); }
};

// A non-zero result of an engine call. messages() holds the engine's text for
// the code (DbiGetErrorString) followed by one line per entry of the engine's
// error list (DbiGetErrorEntry 1, 2, ...); what() joins them with line breaks.
class EDBEngineError : public EDatabaseError {
 public:
  EDBEngineError(kbe::DBIResult errorCode, QStringList messages, std::vector<std::uint32_t> nativeErrors);
  kbe::DBIResult errorCode() const noexcept { return errorCode_; }
  const QStringList& messages() const noexcept { return messages_; }
  // The native (DAO) error number of each entry, in the order of messages()
  // after its first line.
  const std::vector<std::uint32_t>& nativeErrors() const noexcept { return nativeErrors_; }

 private:
  kbe::DBIResult errorCode_;
  QStringList messages_;
  std::vector<std::uint32_t> nativeErrors_;
};

// Raises EDBEngineError for a non-zero result, reading the engine's texts at
// once (before any other engine call can replace them).
void CheckEngine(kbe::DBIResult result);
// The exception CheckEngine would raise, for callers that must clean up first.
EDBEngineError EngineError(kbe::DBIResult result);

// ---- session and database ---------------------------------------------------------

class TSession {
 public:
  static TSession& Instance();

  // Initialises the engine once (DbiInitFn 400, language "0009"); the
  // engine's "multiple KBE initialization" (10759) counts as success.
  void Open();
  // Disconnects every database, then DbiExit. Does nothing when not open.
  void Close();
  bool Active() const noexcept { return active_; }

 private:
  friend class TDatabase;
  TSession() = default;
  ~TSession();
  bool active_ = false;
  bool ownsInit_ = false;  // our DbiInitFn counted (not the engine's "already initialised")
  std::vector<TDatabase*> databases_;
};

class TDatabase {
 public:
  explicit TDatabase(const QString& databaseName = QStringLiteral("kh"));
  ~TDatabase();
  TDatabase(const TDatabase&) = delete;
  TDatabase& operator=(const TDatabase&) = delete;

  // The engine alias the connection opens.
  const QString& DatabaseName() const noexcept { return databaseName_; }
  void setDatabaseName(const QString& name);
  // Connection parameters, one "NAME=VALUE" a line (the value may itself hold
  // '=' characters: "CONNECT=;PWD=secret").
  const QStringList& Params() const noexcept { return params_; }
  void setParams(const QStringList& params) { params_ = params; }

  void Open();
  // Closes every data set on the database, then the database. Never throws.
  void Close();
  bool Connected() const noexcept { return handle_ != nullptr; }
  void setConnected(bool connected) { connected ? Open() : Close(); }

  // The engine's database handle (null while disconnected).
  kbe::hDBIDb Handle() const noexcept { return handle_; }
  const std::vector<TDataSet*>& DataSets() const noexcept { return dataSets_; }

  // The parameter string DbiAddAlias receives for `params`: NAME:"VALUE"
  // entries separated by ';', in Windows-1252. Refuses (EDatabaseError) a
  // parameter that the engine could not read back as given: a name with ':'
  // or '"', a value with '"', text outside Windows-1252. The message names the
  // parameter but never shows its value.
  static std::string AliasParameterString(const QStringList& params);

 private:
  friend class TDataSet;
  QString databaseName_;
  QStringList params_;
  kbe::hDBIDb handle_ = nullptr;
  std::vector<TDataSet*> dataSets_;
};

// ---- fields ------------------------------------------------------------------------

enum class TFieldType {
  ftUnknown,
  ftString,
  ftSmallint,
  ftInteger,
  ftBoolean,
  ftFloat,
  ftCurrency,
  ftDateTime,
  ftBytes,
  ftMemo,
  ftBlob,
};

// A column of a data set. Its value is the current record's (the record being
// edited while the data set is in edit or insert state); a data set that is
// closed or has no current record reads every field as null. Writing needs
// edit or insert state.
class TField {
 public:
  TField(const TField&) = delete;
  TField& operator=(const TField&) = delete;

  const QString& FieldName() const noexcept { return name_; }
  TFieldType DataType() const noexcept { return type_; }
  // Characters of a string field; 0 for the other types.
  int Size() const noexcept;
  // 1-based position in the current result.
  int FieldNo() const noexcept { return desc_.iFldNum; }
  TDataSet& DataSet() const noexcept { return *dataSet_; }
  bool ReadOnly() const noexcept;
  bool IsBlob() const noexcept { return type_ == TFieldType::ftMemo || type_ == TFieldType::ftBlob; }

  bool IsNull() const;
  // Null reads as "", 0, false, an invalid QDateTime.
  QString AsString() const;
  qint32 AsInteger() const;
  bool AsBoolean() const;
  QDateTime AsDateTime() const;
  double AsFloat() const;
  // Null is an invalid QVariant; otherwise QString, int, bool, double,
  // QDateTime or QByteArray by type.
  QVariant AsVariant() const;

  void setAsString(const QString& value);
  void setAsInteger(qint32 value);
  void setAsBoolean(bool value);
  void setAsDateTime(const QDateTime& value);
  void setAsFloat(double value);
  void setAsVariant(const QVariant& value);
  void Clear();

  // The text a control shows: AsString, or for a date-time or float field
  // with a display format, the value formatted with it (a Qt date-time or
  // printf-style number format).
  QString DisplayText() const;
  QString DisplayFormat() const;
  void setDisplayFormat(const QString& format);

  // The engine's descriptor of the column.
  const kbe::FLDDesc& Descriptor() const noexcept { return desc_; }

 private:
  friend class TDataSet;
  TField(TDataSet& dataSet, const kbe::FLDDesc& desc);
  void rebind(const kbe::FLDDesc& desc);

  TDataSet* dataSet_;
  kbe::FLDDesc desc_;
  QString name_;
  TFieldType type_;
};

// Formats and parses the texts of field values: dates "MM/dd/yyyy", with the
// time "h:mm:ss AP" when it is not midnight; booleans "True" and "False".
QString DateTimeToText(const QDateTime& value);
QDateTime TextToDateTime(const QString& text, bool* ok);

// BDE timestamps (milliseconds, day 1 = 1 January 0001) and Qt date-times
// (local wall-clock values).
double DateTimeToTimestamp(const QDateTime& value);
QDateTime TimestampToDateTime(double timestamp);

// ---- data sets ---------------------------------------------------------------------

enum class TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };

// What changed, as TDataSource reports it.
enum class TDataEvent {
  deDataSetChange,  // opened, re-run, posted, cancelled, deleted: any record may differ
  deRecordChange,   // the current record's values changed
  deFieldChange,    // one field of the current record was written
  deUpdateState,    // the state changed
  deScroll,         // another record became current
};

enum TLocateOption : unsigned { loCaseInsensitive = 1, loPartialKey = 2 };
using TLocateOptions = unsigned;

// A data set over an engine cursor. The cursor itself comes from the
// subclass (TQuery).
class TDataSet {
 public:
  using Hook = std::function<void(TDataSet&)>;

  explicit TDataSet(TDatabase* database = nullptr);
  virtual ~TDataSet();
  TDataSet(const TDataSet&) = delete;
  TDataSet& operator=(const TDataSet&) = delete;

  TDatabase* Database() const noexcept { return database_; }
  void setDatabase(TDatabase* database);

  // Opens at the first record. Needs a connected database.
  void Open();
  // Discards pending changes and closes. Never throws.
  void Close();
  bool Active() const noexcept { return state_ != TDataSetState::dsInactive; }
  void setActive(bool active) { active ? Open() : Close(); }
  TDataSetState State() const noexcept { return state_; }
  // Whether records can be changed (a live, updatable result).
  bool CanModify() const noexcept;

  // Moves post pending changes first (CheckBrowseMode), of this data set and
  // of the detail data sets linked to it.
  void First();
  void Last();
  void Next();
  void Prior();
  // Moves by `distance` records (backwards when negative); returns how far
  // it moved, negative backwards. Bof or Eof is set when it met the edge.
  int MoveBy(int distance);
  bool Bof() const noexcept { return bof_; }
  bool Eof() const noexcept { return eof_; }
  bool IsEmpty() const noexcept { return rows_.empty(); }
  // The number of records (0 while closed).
  int RecordCount();
  // The current record's position from 0; -1 without one.
  int RecNo() const noexcept { return current_; }
  void setRecNo(int recNo);

  // Makes the first record whose `keyFields` (names separated by ';') equal
  // `values` current and answers true; answers false and stays put when there
  // is none. loCaseInsensitive and loPartialKey (a text value matches the
  // start of the field) apply to text fields.
  bool Locate(const QString& keyFields, const QVariantList& values, TLocateOptions options = 0);
  bool Locate(const QString& keyField, const QVariant& value, TLocateOptions options = 0);

  // A new record (fields null, or the engine's defaults); Insert and Append
  // are the same: a posted record joins the end of the result, as the live
  // result itself keeps it, until the statement is run again.
  void Append();
  void Insert();
  // Edit state for the current record (read again from the file); on an
  // empty data set, Insert. Nothing in edit or insert state.
  void Edit();
  // Writes the record. A failure raises the engine's error and leaves the
  // data set in its edit or insert state with the values as they were.
  void Post();
  void Cancel();
  // Deletes the current record (after the linked detail data sets have
  // posted their changes); the next one (or the one before the last) becomes
  // current. In insert state: Cancel; in edit state the changes are dropped.
  void Delete();
  // Runs the statement again and goes back to the record that was current
  // (or the same position when it is gone).
  virtual void Refresh();
  // Posts pending changes that were made (cancels an untouched insert or
  // edit), here and in the linked detail data sets.
  void CheckBrowseMode();
  bool Modified() const noexcept { return modified_; }

  const std::vector<std::unique_ptr<TField>>& Fields() const noexcept { return fields_; }
  int FieldCount() const noexcept { return static_cast<int>(fields_.size()); }
  // Case-insensitive; FieldByName raises EDatabaseError when there is none.
  TField& FieldByName(const QString& name) const;
  TField* FindField(const QString& name) const;
  // The display format of the field called `fieldName` (see
  // TField::DisplayText); kept while the data set closes and opens again, and
  // may be set before the field exists.
  void setDisplayFormat(const QString& fieldName, const QString& format);
  QString DisplayFormat(const QString& fieldName) const;

  // The value of `field` on record `row` (from 0) without moving: what a grid
  // shows. Null for a row past the end.
  QVariant ValueAt(int row, const TField& field);
  QString DisplayTextAt(int row, const TField& field);

  // Notifications are held back while disabled; enabling again sends one
  // data-set change.
  void DisableControls() noexcept { ++disableCount_; }
  void EnableControls();
  bool ControlsDisabled() const noexcept { return disableCount_ > 0; }

  // Hooks. BeforePost may change fields or throw to stop the post.
  Hook AfterOpen;
  Hook AfterInsert;
  Hook BeforePost;
  Hook AfterPost;
  Hook AfterCancel;
  Hook BeforeDelete;
  Hook AfterDelete;
  Hook AfterScroll;

  // Buffers kept for records other than the current one.
  static constexpr int kBufferWindow = 100;

 protected:
  // The subclass's cursor for Open: a fresh execution of its statement.
  virtual kbe::hDBICur OpenCursor() = 0;
  // Releases what OpenCursor made besides the cursor (called after the
  // cursor is closed, by Close). Never throws.
  virtual void ReleaseStatement() noexcept {}
  // Closes the cursor and opens a new one on the same statement, keeping the
  // fields, then goes to `keepBookmark`'s record, else to row `fallbackRow`.
  void Reexecute(const std::array<std::uint8_t, 20>* keepBookmark, int fallbackRow);
  void CheckActive() const;
  void Notify(TDataEvent event, TField* field = nullptr);

 private:
  friend class TField;
  friend class TDataSource;
  friend class TDatabase;
  friend class TQuery;

  using Buffer = std::vector<std::uint8_t>;
  class OpenBlobs;
  struct Row {
    std::array<std::uint8_t, 20> bookmark{};
    std::unique_ptr<Buffer> buffer;  // null when out of the window
  };

  void attachCursor(kbe::hDBICur cursor);
  void closeCursor() noexcept;
  void resetRows() noexcept;
  bool fetchNext();
  void fetchAll();
  bool fetchTo(int row);
  void positionOn(Row& row);
  Buffer& rowBuffer(int row);
  void trimWindow();
  void setCurrent(int row, bool bof, bool eof);
  void checkDetailsBrowseMode();
  void checkEditing() const;
  void checkCanModify() const;
  void beginInsert();
  void writeMemos(OpenBlobs& blobs);
  int fieldIndex(const TField& field) const;
  bool fieldIsNull(const TField& field, Buffer* buffer);
  // The buffer fields read from now: the edit buffer, the current row's, or
  // none.
  Buffer* activeBuffer();
  QVariant readField(const TField& field, Buffer* buffer);
  void writeField(TField& field, const QVariant& value);
  void putSlot(TField& field, const void* value);
  bool matches(int row, const std::vector<TField*>& fields, const QVariantList& values, TLocateOptions options);
  void addSource(TDataSource* source);
  void removeSource(TDataSource* source) noexcept;
  void bindFields(const std::vector<kbe::FLDDesc>& descs);

  TDatabase* database_ = nullptr;
  TDataSetState state_ = TDataSetState::dsInactive;
  kbe::hDBICur cursor_ = nullptr;
  bool updatable_ = false;
  std::uint16_t recordSize_ = 0;
  std::vector<std::unique_ptr<TField>> fields_;
  std::map<QString, QString> displayFormats_;  // by upper-cased field name

  std::vector<Row> rows_;
  bool allFetched_ = false;
  int loaded_ = 0;  // rows with a buffer
  int current_ = -1;
  int lastTouched_ = -1;  // the row read last (a grid's), kept in the window too
  int runCount_ = 0;      // executions so far
  bool bof_ = true;
  bool eof_ = true;

  Buffer editBuffer_;
  std::map<int, std::optional<std::string>> pendingMemos_;  // field index → Windows-1252 text (none: null)
  bool modified_ = false;

  int disableCount_ = 0;
  std::vector<TDataSource*> sources_;
};

// ---- queries -----------------------------------------------------------------------

// A statement parameter: a name and a typed value (or null).
class TParam {
 public:
  explicit TParam(const QString& name = {}) : name_(name) {}

  const QString& Name() const noexcept { return name_; }
  TFieldType DataType() const noexcept { return type_; }
  bool IsNull() const noexcept { return !value_.isValid(); }
  // Set by the setters; a bound parameter keeps its value when the data
  // set's master changes record.
  bool Bound() const noexcept { return bound_; }
  void setBound(bool bound) noexcept { bound_ = bound; }
  const QVariant& Value() const noexcept { return value_; }

  void setAsInteger(qint32 value);
  void setAsString(const QString& value);
  void setAsDateTime(const QDateTime& value);
  void setAsBoolean(bool value);
  void setAsFloat(double value);
  // A value of the field's type, from a field (null stays null).
  void AssignField(const TField& field);
  // Null, of the type set so far.
  void Clear();

 private:
  friend class TQuery;
  void set(TFieldType type, QVariant value);
  QString name_;
  TFieldType type_ = TFieldType::ftUnknown;
  QVariant value_;
  bool bound_ = false;
  bool assigned_ = false;  // given a value (null included) at least once
};

class TQuery : public TDataSet {
 public:
  explicit TQuery(TDatabase* database = nullptr);
  ~TQuery() override;

  // Setting the text closes the query and makes its parameter list anew
  // (values of parameters of the same name are kept).
  const QString& SQL() const noexcept { return sql_; }
  void setSQL(const QString& sql);
  // The text the engine receives: each :name outside quoted text and
  // comments replaced by '?' ("::" stands for a colon).
  const QString& EngineSQL() const noexcept { return engineSql_; }

  // One parameter per distinct name (case-insensitive), in order of first use.
  std::vector<TParam>& Params() noexcept { return params_; }
  TParam& ParamByName(const QString& name);
  TParam* FindParam(const QString& name);

  // Asks for a live (editable) result; otherwise the result is read-only.
  bool RequestLive() const noexcept { return requestLive_; }
  void setRequestLive(bool live);

  // Master-detail: while the query is open, whenever the source's current
  // record changes the query runs again, each parameter that is not bound
  // taking the value of the master's field of the same name.
  TDataSource* DataSource() const noexcept { return master_; }
  void setDataSource(TDataSource* master);

  // Runs a statement without a result (an action query).
  void ExecSQL();
  int RowsAffected() const noexcept { return rowsAffected_; }

  void Refresh() override;

 protected:
  kbe::hDBICur OpenCursor() override;
  void ReleaseStatement() noexcept override;

 private:
  friend class TDataSource;
  void prepare();
  void bindParams();
  // Parameter values from the master; true when they differ from the last run.
  bool takeMasterValues();
  void masterChanged(TDataEvent event);

  QString sql_;
  QString engineSql_;
  std::vector<TParam> params_;
  std::vector<int> markers_;  // parameter index of each '?' in order
  bool requestLive_ = false;
  QPointer<TDataSource> master_;
  kbe::hDBIStmt statement_ = nullptr;
  QVariantList lastMasterValues_;
  int lastMasterRun_ = -1;
  int rowsAffected_ = 0;
};

// ---- data sources ------------------------------------------------------------------

class TDataSource : public QObject {
  Q_OBJECT

 public:
  explicit TDataSource(QObject* parent = nullptr);
  explicit TDataSource(TDataSet* dataSet, QObject* parent = nullptr);
  ~TDataSource() override;

  TDataSet* DataSet() const noexcept { return dataSet_; }
  void setDataSet(TDataSet* dataSet);
  TDataSetState State() const noexcept;

 signals:
  // The current record changed (field null), a field of it changed (field
  // set), or the state changed (field null).
  void dataChange(TField* field);
  void stateChange();
  // Every notification as it came, for controls that tell them apart.
  void dataEvent(TDataEvent event, TField* field);

 private:
  friend class TDataSet;
  friend class TQuery;
  void dispatch(TDataEvent event, TField* field);

  TDataSet* dataSet_ = nullptr;
  TDataSetState lastState_ = TDataSetState::dsInactive;
  std::vector<TQuery*> details_;
};
