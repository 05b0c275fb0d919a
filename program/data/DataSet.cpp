// Data sets: lifetime, the record cache, moving, changes, fields, notifications.
#include "DataSet.h"

#include "DataSource.h"
#include "Database.h"
#include "Query.h"
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "DataSetSupport.h"
#include "binding/Bde.h"

using namespace keyhaven::data;

TDataSet::TDataSet(TDatabase* database) { setDatabase(database); }

TDataSet::~TDataSet() {
  Close();
  setDatabase(nullptr);
  for (TDataSource* source : sources_) source->dataSet_ = nullptr;
}

void TDataSet::setDatabase(TDatabase* database) {
  if (database == database_) return;
  Close();
  if (database_) {
    auto& list = database_->dataSets_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
  database_ = database;
  if (database_) database_->dataSets_.push_back(this);
}

void TDataSet::CheckActive() const {
  if (!Active()) throw EDatabaseError(QStringLiteral("Cannot perform this operation on a closed data set"));
}

void TDataSet::checkEditing() const {
  if (state_ != TDataSetState::dsEdit && state_ != TDataSetState::dsInsert)
    throw EDatabaseError(QStringLiteral("The data set is not in edit or insert mode"));
}

bool TDataSet::CanModify() const noexcept { return Active() && updatable_; }

void TDataSet::checkCanModify() const {
  if (!CanModify()) throw EDatabaseError(QStringLiteral("Cannot modify a read-only data set"));
}

void TDataSet::attachCursor(kbe::hDBICur cursor) {
  cursor_ = cursor;
  kbe::CURProps props{};
  CheckEngine(Bde::DbiGetCursorProps(cursor_, &props));
  std::vector<kbe::FLDDesc> descs(props.iFields);
  if (!descs.empty()) CheckEngine(Bde::DbiGetFieldDescs(cursor_, descs.data()));
  recordSize_ = props.iRecBufSize;
  updatable_ = props.eOpenMode == 0;
  bindFields(descs);
  resetRows();
  CheckEngine(Bde::DbiSetToBegin(cursor_));
  fetchNext();
}

void TDataSet::bindFields(const std::vector<kbe::FLDDesc>& descs) {
  // Fields of the same name live on (with their display formats and the
  // pointers others hold), the others are made anew.
  std::vector<std::unique_ptr<TField>> next;
  next.reserve(descs.size());
  for (const kbe::FLDDesc& d : descs) {
    const QString name = fromAnsi(d.szName);
    auto it = std::find_if(fields_.begin(), fields_.end(), [&](const std::unique_ptr<TField>& f) {
      return f && f->FieldName().compare(name, Qt::CaseInsensitive) == 0;
    });
    if (it != fields_.end()) {
      (*it)->rebind(d);
      next.push_back(std::move(*it));
    } else {
      next.push_back(std::unique_ptr<TField>(new TField(*this, d)));
    }
  }
  fields_ = std::move(next);
}

void TDataSet::closeCursor() noexcept {
  if (cursor_) {
    Bde::DbiCloseCursor(&cursor_);
    cursor_ = nullptr;
  }
  resetRows();
}

void TDataSet::resetRows() noexcept {
  rows_.clear();
  allFetched_ = false;
  loadedRows_.clear();
  current_ = -1;
  lastTouched_ = -1;
  bof_ = eof_ = true;
}

void TDataSet::Open() {
  if (Active()) return;
  if (!database_ || !database_->Connected())
    throw EDatabaseError(QStringLiteral("The database %1 is not connected")
                             .arg(database_ ? database_->DatabaseName() : QStringLiteral("(none)")));
  kbe::hDBICur cursor = OpenCursor();
  try {
    attachCursor(cursor);
  } catch (...) {
    closeCursor();
    ReleaseStatement();
    throw;
  }
  ++runCount_;
  current_ = rows_.empty() ? -1 : 0;
  bof_ = true;
  eof_ = rows_.empty();
  state_ = TDataSetState::dsBrowse;
  Notify(TDataEvent::deDataSetChange);
  if (AfterOpen) AfterOpen(*this);
}

void TDataSet::Close() {
  if (!Active()) return;
  editBuffer_.clear();
  pendingMemos_.clear();
  modified_ = false;
  closeCursor();
  ReleaseStatement();
  state_ = TDataSetState::dsInactive;
  try {
    Notify(TDataEvent::deUpdateState);
  } catch (...) {
    // A listener's failure does not keep the data set open.
  }
}

void TDataSet::Reexecute(const std::array<std::uint8_t, 20>* keepBookmark, int fallbackRow) {
  closeCursor();
  try {
    attachCursor(OpenCursor());
  } catch (...) {
    Close();
    throw;
  }
  ++runCount_;
  int row = -1;
  if (keepBookmark) {
    for (int i = 0; fetchTo(i); ++i)
      if (std::memcmp(rows_[static_cast<std::size_t>(i)].bookmark.data() + 4, keepBookmark->data() + 4, 12) == 0) {
        row = i;
        break;
      }
  }
  if (row < 0) {
    row = std::max(fallbackRow, 0);
    if (!fetchTo(row)) row = static_cast<int>(rows_.size()) - 1;
  }
  current_ = row;
  bof_ = keepBookmark == nullptr || rows_.empty();
  eof_ = rows_.empty();
  Notify(TDataEvent::deDataSetChange);
}

void TDataSet::Refresh() {
  CheckActive();
  CheckBrowseMode();
  if (current_ >= 0) {
    const std::array<std::uint8_t, 20> bookmark = rows_[static_cast<std::size_t>(current_)].bookmark;
    Reexecute(&bookmark, current_);
  } else {
    Reexecute(nullptr, 0);
  }
}

// ---- data sets: the record cache ----------------------------------------------------------

void TDataSet::positionOn(Row& row) {
  CheckEngine(Bde::DbiSetToBookMark(cursor_, row.bookmark.data()));
  // The engine falls back to the first record for a bookmark it cannot use;
  // only the record itself will do.
  std::array<std::uint8_t, 20> here{};
  if (Bde::DbiGetBookMark(cursor_, here.data()) != 0 || std::memcmp(here.data() + 4, row.bookmark.data() + 4, 12) != 0)
    throw EDatabaseError(QStringLiteral("The record was deleted or cannot be found again"));
}

bool TDataSet::fetchNext() {
  if (allFetched_ || !cursor_) return false;
  if (rows_.empty())
    CheckEngine(Bde::DbiSetToBegin(cursor_));
  else
    positionOn(rows_.back());
  auto buffer = std::make_unique<Buffer>(recordSize_);
  for (;;) {
    const kbe::DBIResult result = Bde::DbiGetNextRecord(cursor_, 0, buffer->data(), nullptr);
    if (result == 0) break;
    if (result == kRecordDeleted) continue;  // deleted under the result: passed over
    if (result == kEndOfFile) {
      allFetched_ = true;
      return false;
    }
    throw EngineError(result);
  }
  Row row;
  std::memcpy(row.bookmark.data(), buffer->data(), 16);
  rows_.push_back(std::move(row));
  lastTouched_ = static_cast<int>(rows_.size()) - 1;
  keepBuffer(lastTouched_, std::move(buffer));
  trimWindow();
  return true;
}

void TDataSet::fetchAll() {
  while (fetchNext()) {
  }
}

bool TDataSet::fetchTo(int row) {
  if (row < 0) return false;
  while (static_cast<int>(rows_.size()) <= row)
    if (!fetchNext()) return false;
  return true;
}

TDataSet::Buffer& TDataSet::rowBuffer(int index) {
  Row& row = rows_[static_cast<std::size_t>(index)];
  if (!row.buffer) {
    positionOn(row);
    auto buffer = std::make_unique<Buffer>(recordSize_);
    CheckEngine(Bde::DbiGetRecord(cursor_, 0, buffer->data(), nullptr));
    std::memcpy(row.bookmark.data(), buffer->data(), 16);
    keepBuffer(index, std::move(buffer));
    lastTouched_ = index;
    trimWindow();
  }
  return *row.buffer;
}

void TDataSet::keepBuffer(int index, std::unique_ptr<Buffer> buffer) {
  Row& row = rows_[static_cast<std::size_t>(index)];
  if (!row.buffer) loadedRows_.push_back(index);
  row.buffer = std::move(buffer);
}

void TDataSet::dropBuffer(int index) noexcept {
  Row& row = rows_[static_cast<std::size_t>(index)];
  if (!row.buffer) return;
  row.buffer.reset();
  loadedRows_.erase(std::find(loadedRows_.begin(), loadedRows_.end(), index));
}

void TDataSet::trimWindow() {
  if (static_cast<int>(loadedRows_.size()) <= 2 * kBufferWindow) return;
  const int half = kBufferWindow / 2;
  std::vector<int> kept;
  kept.reserve(loadedRows_.size());
  for (int i : loadedRows_) {
    if (std::abs(i - current_) <= half || std::abs(i - lastTouched_) <= half)
      kept.push_back(i);
    else
      rows_[static_cast<std::size_t>(i)].buffer.reset();
  }
  loadedRows_ = std::move(kept);
}

TDataSet::Buffer* TDataSet::activeBuffer() {
  if (!Active()) return nullptr;
  if (state_ == TDataSetState::dsEdit || state_ == TDataSetState::dsInsert) return &editBuffer_;
  if (current_ < 0) return nullptr;
  return &rowBuffer(current_);
}

// ---- data sets: moving ----------------------------------------------------------------------

void TDataSet::setCurrent(int row, bool bof, bool eof) {
  const bool moved = row != current_;
  current_ = row;
  bof_ = bof;
  eof_ = eof;
  if (moved) {
    Notify(TDataEvent::deScroll);
    if (AfterScroll) AfterScroll(*this);
  }
}

void TDataSet::CheckBrowseMode() {
  if (!Active()) return;
  if (state_ == TDataSetState::dsEdit || state_ == TDataSetState::dsInsert) {
    if (modified_)
      Post();
    else
      Cancel();
  }
  checkDetailsBrowseMode();
}

void TDataSet::checkDetailsBrowseMode() {
  // The detail data sets will follow a move of this one: their changes go first.
  const std::vector<TDataSource*> sources = sources_;
  for (TDataSource* source : sources)
    for (TQuery* detail : std::vector<TQuery*>(source->details_)) detail->CheckBrowseMode();
}

void TDataSet::First() {
  CheckActive();
  CheckBrowseMode();
  if (rows_.empty()) fetchNext();
  setCurrent(rows_.empty() ? -1 : 0, true, rows_.empty());
}

void TDataSet::Last() {
  CheckActive();
  CheckBrowseMode();
  fetchAll();
  setCurrent(static_cast<int>(rows_.size()) - 1, rows_.empty(), true);
}

void TDataSet::Next() { MoveBy(1); }
void TDataSet::Prior() { MoveBy(-1); }

int TDataSet::MoveBy(int distance) {
  CheckActive();
  CheckBrowseMode();
  int moved = 0;
  if ((distance > 0 && !eof_) || (distance < 0 && !bof_)) {
    bool bof = false;
    bool eof = false;
    int row = current_;
    for (; distance > 0; --distance, ++moved) {
      if (row + 1 >= static_cast<int>(rows_.size()) && !fetchNext()) {
        eof = true;
        break;
      }
      ++row;
    }
    for (; distance < 0; ++distance, --moved) {
      if (row <= 0) {
        bof = true;
        break;
      }
      --row;
    }
    setCurrent(row, bof, eof);
  }
  return moved;
}

int TDataSet::RecordCount() {
  if (!Active()) return 0;
  if (allFetched_) return static_cast<int>(rows_.size());
  std::uint32_t count = 0;
  CheckEngine(Bde::DbiGetExactRecordCount(cursor_, &count));
  return std::max(static_cast<int>(std::min<std::uint32_t>(count, std::numeric_limits<int>::max())),
                  static_cast<int>(rows_.size()));
}

void TDataSet::setRecNo(int recNo) {
  CheckActive();
  if (recNo == current_) return;
  CheckBrowseMode();
  if (fetchTo(recNo)) setCurrent(recNo, false, false);
}

bool TDataSet::Locate(const QString& keyField, const QVariant& value, TLocateOptions options) {
  if (keyField.contains(QLatin1Char(';')) && value.typeId() == QMetaType::QVariantList)
    return Locate(keyField, value.toList(), options);
  return Locate(keyField, QVariantList{value}, options);
}

bool TDataSet::Locate(const QString& keyFields, const QVariantList& values, TLocateOptions options) {
  CheckActive();
  CheckBrowseMode();
  std::vector<TField*> fields;
  for (const QString& name : keyFields.split(QLatin1Char(';'), Qt::SkipEmptyParts))
    fields.push_back(&FieldByName(name.trimmed()));
  if (fields.empty() || static_cast<qsizetype>(fields.size()) != values.size())
    throw EDatabaseError(QStringLiteral("Locate needs one value for each of the fields %1").arg(keyFields));
  for (int row = 0; fetchTo(row); ++row)
    if (matches(row, fields, values, options)) {
      setCurrent(row, false, false);
      return true;
    }
  return false;
}

bool TDataSet::matches(int row, const std::vector<TField*>& fields, const QVariantList& values,
                       TLocateOptions options) {
  lastTouched_ = row;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const TField& field = *fields[i];
    const QVariant value = readField(field, &rowBuffer(row));
    const QVariant& wanted = values[static_cast<qsizetype>(i)];
    if (!wanted.isValid()) {
      if (value.isValid()) return false;
      continue;
    }
    if (!value.isValid()) return false;
    switch (field.DataType()) {
      case TFieldType::ftString:
      case TFieldType::ftMemo: {
        const Qt::CaseSensitivity cs = (options & loCaseInsensitive) ? Qt::CaseInsensitive : Qt::CaseSensitive;
        const QString text = value.toString();
        const QString key = wanted.toString();
        if ((options & loPartialKey) ? !text.startsWith(key, cs) : text.compare(key, cs) != 0) return false;
        break;
      }
      case TFieldType::ftSmallint:
      case TFieldType::ftInteger: {
        bool ok = false;
        const qlonglong key = wanted.toLongLong(&ok);
        if (!ok || key != value.toLongLong()) return false;
        break;
      }
      case TFieldType::ftBoolean: {
        bool key = false;
        if (wanted.typeId() == QMetaType::QString ? !parseBoolean(wanted.toString(), key) : false) return false;
        if (wanted.typeId() != QMetaType::QString) key = wanted.toBool();
        if (key != value.toBool()) return false;
        break;
      }
      case TFieldType::ftFloat:
      case TFieldType::ftCurrency: {
        bool ok = false;
        const double key = wanted.toDouble(&ok);
        if (!ok || key != value.toDouble()) return false;
        break;
      }
      case TFieldType::ftDateTime: {
        QDateTime key = wanted.toDateTime();
        if (wanted.typeId() == QMetaType::QString) key = TextToDateTime(wanted.toString(), nullptr);
        if (wanted.typeId() == QMetaType::QDate) key = QDateTime(wanted.toDate(), QTime(0, 0));
        if (!key.isValid() || key != value.toDateTime()) return false;
        break;
      }
      default:
        if (value != wanted) return false;
        break;
    }
  }
  return true;
}

// ---- data sets: changes ---------------------------------------------------------------------

void TDataSet::Append() { beginInsert(); }
void TDataSet::Insert() { beginInsert(); }

void TDataSet::beginInsert() {
  CheckActive();
  CheckBrowseMode();
  checkCanModify();
  Buffer buffer(recordSize_);
  CheckEngine(Bde::DbiInitRecord(cursor_, buffer.data()));
  editBuffer_ = std::move(buffer);
  pendingMemos_.clear();
  modified_ = false;
  state_ = TDataSetState::dsInsert;
  Notify(TDataEvent::deDataSetChange);
  if (AfterInsert) {
    try {
      AfterInsert(*this);
    } catch (...) {
      Cancel();
      throw;
    }
  }
}

void TDataSet::Edit() {
  CheckActive();
  if (state_ == TDataSetState::dsEdit || state_ == TDataSetState::dsInsert) return;
  checkCanModify();
  if (rows_.empty()) {
    Insert();
    return;
  }
  positionOn(rows_[static_cast<std::size_t>(current_)]);
  Buffer buffer(recordSize_);
  CheckEngine(Bde::DbiGetRecord(cursor_, 0, buffer.data(), nullptr));
  editBuffer_ = std::move(buffer);
  pendingMemos_.clear();
  modified_ = false;
  state_ = TDataSetState::dsEdit;
  Notify(TDataEvent::deUpdateState);
}

// Frees the blobs opened on a record buffer, whatever happens.
class TDataSet::OpenBlobs {
 public:
  OpenBlobs(kbe::hDBICur cursor, std::vector<std::uint8_t>& buffer) : cursor_(cursor), buffer_(buffer) {}
  ~OpenBlobs() {
    for (std::uint16_t field : fields_) Bde::DbiFreeBlob(cursor_, buffer_.data(), field);
  }
  OpenBlobs(const OpenBlobs&) = delete;
  OpenBlobs& operator=(const OpenBlobs&) = delete;
  void open(std::uint16_t field, std::uint32_t mode) {
    CheckEngine(Bde::DbiOpenBlob(cursor_, buffer_.data(), field, mode));
    fields_.push_back(field);
  }

 private:
  kbe::hDBICur cursor_;
  std::vector<std::uint8_t>& buffer_;
  std::vector<std::uint16_t> fields_;
};

void TDataSet::Post() {
  CheckActive();
  checkEditing();
  if (BeforePost) BeforePost(*this);
  if (state_ == TDataSetState::dsInsert) {
    // The new record joins the end of the result: everything before it is
    // read first, so that it is not met again.
    fetchAll();
    {
      OpenBlobs blobs(cursor_, editBuffer_);
      writeMemos(blobs);
      const kbe::DBIResult result = Bde::DbiInsertRecord(cursor_, 0, editBuffer_.data());
      if (result != 0) throw EngineError(result);
    }
    // The record is in the file now; whatever follows must not fail the post.
    Row row;
    std::memcpy(row.bookmark.data(), editBuffer_.data(), 16);
    auto buffer = std::make_unique<Buffer>(recordSize_);
    const bool read = Bde::DbiGetRecord(cursor_, 0, buffer->data(), nullptr) == 0;
    if (read) std::memcpy(row.bookmark.data(), buffer->data(), 16);
    rows_.push_back(std::move(row));
    current_ = static_cast<int>(rows_.size()) - 1;
    if (read) keepBuffer(current_, std::move(buffer));
  } else {
    Row& row = rows_[static_cast<std::size_t>(current_)];
    positionOn(row);
    {
      OpenBlobs blobs(cursor_, editBuffer_);
      writeMemos(blobs);
      const kbe::DBIResult result = Bde::DbiModifyRecord(cursor_, editBuffer_.data(), kTrue16);
      if (result != 0) {
        EDBEngineError error = EngineError(result);
        // The engine keeps the failed edit pending; a later post starts afresh.
        Bde::DbiRelRecordLock(cursor_, 0);
        throw error;
      }
    }
    // Read the record as stored (the cursor stands on it).
    auto buffer = std::make_unique<Buffer>(recordSize_);
    if (Bde::DbiGetRecord(cursor_, 0, buffer->data(), nullptr) == 0) {
      std::memcpy(row.bookmark.data(), buffer->data(), 16);
      keepBuffer(current_, std::move(buffer));
    } else {
      dropBuffer(current_);
    }
  }
  editBuffer_.clear();
  pendingMemos_.clear();
  modified_ = false;
  state_ = TDataSetState::dsBrowse;
  bof_ = eof_ = false;
  Notify(TDataEvent::deDataSetChange);
  if (AfterPost) AfterPost(*this);
}

void TDataSet::writeMemos(OpenBlobs& blobs) {
  for (const auto& [index, value] : pendingMemos_) {
    const std::uint16_t field = fields_[static_cast<std::size_t>(index)]->desc_.iFldNum;
    blobs.open(field, 0);  // read-write: the insert or modify writes it back
    CheckEngine(Bde::DbiTruncateBlob(cursor_, editBuffer_.data(), field, 0));
    if (value && !value->empty())
      CheckEngine(Bde::DbiPutBlob(cursor_, editBuffer_.data(), field, 0, static_cast<std::uint32_t>(value->size()),
                                  reinterpret_cast<const std::uint8_t*>(value->data())));
  }
}

void TDataSet::Cancel() {
  if (state_ != TDataSetState::dsEdit && state_ != TDataSetState::dsInsert) return;
  editBuffer_.clear();
  pendingMemos_.clear();
  modified_ = false;
  state_ = TDataSetState::dsBrowse;
  Notify(TDataEvent::deDataSetChange);
  if (AfterCancel) AfterCancel(*this);
}

void TDataSet::Delete() {
  CheckActive();
  if (state_ == TDataSetState::dsInsert) {
    Cancel();
    return;
  }
  checkCanModify();
  if (rows_.empty()) throw EDatabaseError(QStringLiteral("Cannot delete from an empty data set"));
  // The details' changes are stored first (deleting a group may take its
  // accounts with it).
  checkDetailsBrowseMode();
  if (BeforeDelete) BeforeDelete(*this);
  positionOn(rows_[static_cast<std::size_t>(current_)]);
  CheckEngine(Bde::DbiDeleteRecord(cursor_, nullptr));
  // The record is gone; from here on nothing fails the delete.
  editBuffer_.clear();
  pendingMemos_.clear();
  modified_ = false;
  state_ = TDataSetState::dsBrowse;
  dropBuffer(current_);
  rows_.erase(rows_.begin() + current_);
  // The rows after it move up by one.
  for (int& i : loadedRows_)
    if (i > current_) --i;
  int row = current_;
  if (row >= static_cast<int>(rows_.size())) {
    bool more = false;
    try {
      more = fetchNext();
    } catch (const EDatabaseError&) {
      allFetched_ = true;
    }
    if (!more) row = static_cast<int>(rows_.size()) - 1;
  }
  current_ = row;
  bof_ = eof_ = rows_.empty();
  Notify(TDataEvent::deDataSetChange);
  if (AfterDelete) AfterDelete(*this);
}

// ---- data sets: fields ----------------------------------------------------------------------

TField* TDataSet::FindField(const QString& name) const {
  for (const auto& f : fields_)
    if (f->FieldName().compare(name, Qt::CaseInsensitive) == 0) return f.get();
  return nullptr;
}

TField& TDataSet::FieldByName(const QString& name) const {
  if (TField* f = FindField(name)) return *f;
  throw EDatabaseError(QStringLiteral("Field '%1' not found").arg(name));
}

void TDataSet::setDisplayFormat(const QString& fieldName, const QString& format) {
  displayFormats_[fieldName.toUpper()] = format;
}

QString TDataSet::DisplayFormat(const QString& fieldName) const {
  const auto it = displayFormats_.find(fieldName.toUpper());
  return it == displayFormats_.end() ? QString() : it->second;
}

QVariant TDataSet::ValueAt(int row, const TField& field) {
  if (!Active() || row < 0 || &field.DataSet() != this) return {};
  if (row == current_ && state_ == TDataSetState::dsEdit) return readField(field, &editBuffer_);
  if (!fetchTo(row)) return {};
  lastTouched_ = row;
  return readField(field, &rowBuffer(row));
}

QString TDataSet::DisplayTextAt(int row, const TField& field) { return displayText(field, ValueAt(row, field)); }

int TDataSet::fieldIndex(const TField& field) const {
  for (std::size_t i = 0; i < fields_.size(); ++i)
    if (fields_[i].get() == &field) return static_cast<int>(i);
  return -1;
}

bool TDataSet::fieldIsNull(const TField& field, Buffer* buffer) {
  if (!buffer || !cursor_) return true;
  if (field.IsBlob()) {
    if (buffer == &editBuffer_) {
      const auto it = pendingMemos_.find(fieldIndex(field));
      if (it != pendingMemos_.end()) return !it->second || it->second->empty();
    }
    std::int32_t blank = 0;
    CheckEngine(Bde::DbiGetField(cursor_, field.desc_.iFldNum, buffer->data(), nullptr, &blank));
    return blank != 0;
  }
  return !readField(field, buffer).isValid();
}

QVariant TDataSet::readField(const TField& field, Buffer* buffer) {
  if (!buffer || !cursor_) return {};
  const kbe::FLDDesc& d = field.desc_;
  if (field.IsBlob()) {
    std::string bytes;
    if (buffer == &editBuffer_) {
      const auto it = pendingMemos_.find(fieldIndex(field));
      if (it != pendingMemos_.end()) {
        if (!it->second || it->second->empty()) return {};
        bytes = *it->second;
      }
    }
    if (bytes.empty()) {
      if (fieldIsNull(field, buffer)) return {};
      OpenBlobs blob(cursor_, *buffer);
      blob.open(d.iFldNum, 1);  // read-only
      std::uint32_t size = 0;
      CheckEngine(Bde::DbiGetBlobSize(cursor_, buffer->data(), d.iFldNum, &size));
      bytes.resize(size);
      std::uint32_t read = 0;
      if (size > 0) {
        const kbe::DBIResult result = Bde::DbiGetBlob(cursor_, buffer->data(), d.iFldNum, 0, size,
                                                      reinterpret_cast<std::uint8_t*>(bytes.data()), &read);
        if (result != 0 && result != kEndOfBlob) throw EngineError(result);
      }
      bytes.resize(read);
      if (bytes.empty()) return {};
    }
    if (field.DataType() == TFieldType::ftMemo) return fromAnsi(bytes);
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
  }
  std::vector<std::uint8_t> value(d.iLen + 2u, 0);
  std::int32_t blank = 0;
  CheckEngine(Bde::DbiGetField(cursor_, d.iFldNum, buffer->data(), value.data(), &blank));
  if (blank) return {};
  switch (field.DataType()) {
    case TFieldType::ftString:
      return fromAnsi(std::string(reinterpret_cast<const char*>(value.data()),
                                  strnlen(reinterpret_cast<const char*>(value.data()), d.iLen)));
    case TFieldType::ftSmallint: {
      std::int16_t n;
      std::memcpy(&n, value.data(), 2);
      return static_cast<int>(n);
    }
    case TFieldType::ftInteger: {
      std::int32_t n;
      std::memcpy(&n, value.data(), 4);
      return static_cast<int>(n);
    }
    case TFieldType::ftBoolean: {
      std::int16_t n;
      std::memcpy(&n, value.data(), 2);
      return n != 0;
    }
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency: {
      double x;
      std::memcpy(&x, value.data(), 8);
      return x;
    }
    case TFieldType::ftDateTime: {
      double x;
      std::memcpy(&x, value.data(), 8);
      const QDateTime dt = TimestampToDateTime(x);
      return dt.isValid() ? QVariant(dt) : QVariant();
    }
    case TFieldType::ftBytes:
      return QByteArray(reinterpret_cast<const char*>(value.data()), d.iLen);
    default:
      return {};
  }
}

void TDataSet::putSlot(TField& field, const void* value) {
  CheckEngine(Bde::DbiPutField(cursor_, field.desc_.iFldNum, editBuffer_.data(), value));
}

void TDataSet::writeField(TField& field, const QVariant& value) {
  CheckActive();
  checkEditing();
  if (field.ReadOnly()) throw EDatabaseError(QStringLiteral("Field '%1' cannot be modified").arg(field.FieldName()));
  const kbe::FLDDesc& d = field.desc_;
  const QString& name = field.FieldName();
  const bool isText = value.typeId() == QMetaType::QString;
  // An empty text for a field that is not text means null.
  const bool null =
      !value.isValid() || (isText && field.DataType() != TFieldType::ftString &&
                           field.DataType() != TFieldType::ftMemo && value.toString().trimmed().isEmpty());
  auto invalid = [&](const char* what) {
    return EDatabaseError(QStringLiteral("'%1' is not a valid %2 for field '%3'").arg(value.toString(), what, name));
  };
  if (field.IsBlob()) {
    std::optional<std::string> bytes;
    if (!null) {
      if (field.DataType() == TFieldType::ftMemo) {
        const QString text =
            value.typeId() == QMetaType::QDateTime ? DateTimeToText(value.toDateTime()) : value.toString();
        bytes = ansiForField(text, name);
      } else {
        const QByteArray raw = value.toByteArray();
        bytes = std::string(raw.constData(), static_cast<std::size_t>(raw.size()));
      }
    }
    pendingMemos_[fieldIndex(field)] = std::move(bytes);
  } else if (null) {
    putSlot(field, nullptr);
  } else {
    std::vector<std::uint8_t> slot(d.iLen, 0);
    switch (field.DataType()) {
      case TFieldType::ftString: {
        QString text;
        if (value.typeId() == QMetaType::QDateTime)
          text = DateTimeToText(value.toDateTime());
        else if (value.typeId() == QMetaType::Bool)
          text = value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
        else
          text = value.toString();
        const std::string ansi = ansiForField(text, name);
        if (ansi.find('\0') != std::string::npos)
          throw EDatabaseError(QStringLiteral("Field '%1' cannot hold a null character").arg(name));
        if (ansi.size() > static_cast<std::size_t>(std::max<int>(d.iUnits1, 0)))
          throw EDatabaseError(
              QStringLiteral("The text is too long for field '%1' (at most %2 characters)").arg(name).arg(d.iUnits1));
        std::memcpy(slot.data(), ansi.data(), ansi.size());
        break;
      }
      case TFieldType::ftSmallint:
      case TFieldType::ftInteger: {
        bool ok = false;
        qlonglong n = 0;
        if (isText)
          n = value.toString().trimmed().toLongLong(&ok);
        else if (value.typeId() == QMetaType::Bool) {
          n = value.toBool() ? 1 : 0;
          ok = true;
        } else if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float) {
          const double x = value.toDouble();
          ok = std::isfinite(x) && x == std::floor(x) && std::fabs(x) < 9.2e18;
          n = ok ? static_cast<qlonglong>(x) : 0;
        } else
          n = value.toLongLong(&ok);
        const bool small = field.DataType() == TFieldType::ftSmallint;
        const qlonglong low = small ? -32768 : std::numeric_limits<std::int32_t>::min();
        const qlonglong high = small ? 32767 : std::numeric_limits<std::int32_t>::max();
        if (!ok || n < low || n > high) throw invalid("integer");
        if (small) {
          const auto v = static_cast<std::int16_t>(n);
          std::memcpy(slot.data(), &v, 2);
        } else {
          const auto v = static_cast<std::int32_t>(n);
          std::memcpy(slot.data(), &v, 4);
        }
        break;
      }
      case TFieldType::ftBoolean: {
        bool b = false;
        if (isText ? !parseBoolean(value.toString(), b) : false) throw invalid("Boolean value");
        if (!isText) b = value.toBool();
        const std::int16_t v = b ? 1 : 0;
        std::memcpy(slot.data(), &v, 2);
        break;
      }
      case TFieldType::ftFloat:
      case TFieldType::ftCurrency: {
        bool ok = false;
        const double x = isText ? value.toString().trimmed().toDouble(&ok) : value.toDouble(&ok);
        if (!ok || !std::isfinite(x)) throw invalid("number");
        std::memcpy(slot.data(), &x, 8);
        break;
      }
      case TFieldType::ftDateTime: {
        QDateTime dt;
        if (isText)
          dt = TextToDateTime(value.toString(), nullptr);
        else if (value.typeId() == QMetaType::QDate)
          dt = QDateTime(value.toDate(), QTime(0, 0));
        else
          dt = value.toDateTime();
        if (!dt.isValid()) throw invalid("date");
        const double x = DateTimeToTimestamp(dt);
        std::memcpy(slot.data(), &x, 8);
        break;
      }
      case TFieldType::ftBytes: {
        const QByteArray raw = value.toByteArray();
        if (raw.size() > d.iLen) throw EDatabaseError(QStringLiteral("The value is too long for field '%1'").arg(name));
        std::memcpy(slot.data(), raw.constData(), static_cast<std::size_t>(raw.size()));
        break;
      }
      default:
        throw EDatabaseError(QStringLiteral("Field '%1' is of a type that cannot be written").arg(name));
    }
    putSlot(field, slot.data());
  }
  modified_ = true;
  Notify(TDataEvent::deFieldChange, &field);
}

// ---- data sets: notifications ---------------------------------------------------------------

void TDataSet::addSource(TDataSource* source) {
  if (std::find(sources_.begin(), sources_.end(), source) == sources_.end()) sources_.push_back(source);
}

void TDataSet::removeSource(TDataSource* source) noexcept {
  sources_.erase(std::remove(sources_.begin(), sources_.end(), source), sources_.end());
}

void TDataSet::Notify(TDataEvent event, TField* field) {
  if (disableCount_ > 0) return;
  std::vector<QPointer<TDataSource>> sources;
  for (TDataSource* s : sources_) sources.emplace_back(s);
  for (const QPointer<TDataSource>& s : sources)
    if (s && s->dataSet_ == this) s->dispatch(event, field);
}

void TDataSet::EnableControls() {
  if (disableCount_ > 0 && --disableCount_ == 0)
    Notify(Active() ? TDataEvent::deDataSetChange : TDataEvent::deUpdateState);
}

