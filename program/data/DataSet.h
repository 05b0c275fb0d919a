// A data set over an engine cursor: its record cache, moving, changes and fields.
#pragma once

#include <QString>
#include <QVariant>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "../../engine/include/kbe/kbe.h"
#include "DatabaseError.h"
#include "Field.h"

class TDatabase;
class TDataSource;
class TQuery;

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
  // In edit or insert state: a record with changes not yet posted.
  bool Editing() const noexcept { return state_ == TDataSetState::dsEdit || state_ == TDataSetState::dsInsert; }
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
  // Gives row `index` its buffer, which it did not have.
  void keepBuffer(int index, std::unique_ptr<Buffer> buffer);
  // Drops row `index`'s buffer, if it has one.
  void dropBuffer(int index) noexcept;
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
  // The rows that hold a buffer, by index (a trim visits these, not every
  // row fetched).
  std::vector<int> loadedRows_;
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
