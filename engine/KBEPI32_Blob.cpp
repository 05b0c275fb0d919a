// Blob objects and the blob exports.
#include "KBEPI32_Blob.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "KBEPI32_Conversions.h"
#include "KBEPI32_CursorData.h"
#include "KBEPI32_Log.h"
#include "kbe/kbe.h"

namespace kbe {

namespace {

// The largest blob the 32-bit size can describe (-1 means "not known").
constexpr std::uint64_t kMaxBlobSize = static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());

// Clears the access recordset when a DAO access ends, however it ends.
class AccessScope {
 public:
  explicit AccessScope(DAORecordset*& access) noexcept : access_(access) {}
  ~AccessScope() { access_ = nullptr; }
  AccessScope(const AccessScope&) = delete;
  AccessScope& operator=(const AccessScope&) = delete;

 private:
  DAORecordset*& access_;
};

// The Windows-1252 text of a memo value read from DAO.
std::string memoText(const kh::Variant& value) {
  return conv::ansiOf(value.type() == kh::VT_BSTR ? value.str() : value.toString());
}

std::int16_t load16(const std::uint8_t* p) noexcept {
  std::int16_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

}  // namespace

// ---- TBlob ---------------------------------------------------------------------------

TBlob::TBlob(hDBICur cursor, const std::uint8_t* header, std::int16_t daoPosition, bool zeroLengthAllowed)
    : cursor_(cursor), daoPosition_(daoPosition), zeroLengthAllowed_(zeroLengthAllowed ? 1 : 0) {
  std::memcpy(header_, header, sizeof header_);
}

bool TBlob::position() {
  access_ = nullptr;
  TCursorData* cursor = cursorDataFromHandle(cursor_);
  if (!cursor) throw EKBEError("The cursor of the blob is closed");
  const std::int16_t lower = load16(header_ + 12);
  const std::int16_t upper = load16(header_ + 14);
  if (cursor->forwardOnly) {
    // No bookmarks in this mode: a buffer read by the cursor is reachable
    // while the cursor still stands on its record.
    if (headerCursorId(header_) == 0) return false;
    if (headerStamp(header_) == cursor->stamp) {
      access_ = cursor->recordset;
      return access_ != nullptr;
    }
  } else if (upper == 0 || lower + upper == 0) {
    return false;  // a buffer without a record
  }
  access_ = &recordsetForHeader(*cursor, header_);
  return true;
}

kh::Variant TBlob::readDaoValue() { return access_->GetCollect(kh::Variant(static_cast<std::int32_t>(daoPosition_))); }

std::uint32_t TBlob::size() {
  if (size_ < 0) {
    AccessScope scope(access_);
    if (position()) {
      const std::uint32_t n = daoFieldSize();
      size_ = static_cast<std::int32_t>(std::min<std::uint64_t>(n, kMaxBlobSize));
    } else {
      size_ = 0;
      state_ = State::Null;
      data_.clear();
    }
  }
  return static_cast<std::uint32_t>(size_);
}

void TBlob::load() {
  if (state_ != State::Empty) return;
  AccessScope scope(access_);
  if (position()) {
    if (size_ < 0) size_ = static_cast<std::int32_t>(std::min<std::uint64_t>(daoFieldSize(), kMaxBlobSize));
    if (state_ == State::Empty) takeDaoValue(readDaoValue());
  } else {
    state_ = State::Null;
    data_.clear();
    size_ = 0;
  }
  // The copy is what the calls work on: its length is the size.
  if (state_ == State::Null) data_.clear();
  size_ = static_cast<std::int32_t>(std::min<std::uint64_t>(data_.size(), kMaxBlobSize));
}

std::uint32_t TBlob::get(std::uint32_t offset, std::uint32_t length, std::uint8_t* destination) {
  load();
  const std::uint32_t n = size();
  if (offset >= n || length == 0) return 0;
  length = std::min(length, n - offset);
  read(destination, offset, length);
  return length;
}

void TBlob::put(std::uint32_t offset, std::uint32_t length, const std::uint8_t* source) {
  if (static_cast<std::uint64_t>(offset) + length > kMaxBlobSize) throw EKBEError("Blob too large");
  load();
  const std::uint32_t end = offset + length;
  if (size() < end) {
    setSize(end);
    size_ = static_cast<std::int32_t>(end);
  }
  write(source, offset, length);
}

void TBlob::truncate(std::uint32_t length) {
  if (static_cast<std::int32_t>(length) <= 0) {
    setSize(0);
    size_ = 0;
    reset();
    return;
  }
  load();
  if (length != size()) {
    setSize(length);
    size_ = static_cast<std::int32_t>(length);
  }
}

void TBlob::reset() {
  state_ = State::Null;
  data_.clear();
}

kh::Variant TBlob::writeValue() const {
  switch (state_) {
    case State::Empty: return kh::Variant();
    case State::Null: return kh::Variant::null();
    case State::Data: return daoValueOfData();
  }
  return kh::Variant();
}

// ---- TStringBlob ------------------------------------------------------------------

// The store reports a memo's FieldSize in UTF-8 bytes; the caller sees
// Windows-1252 text, so the value is read, converted and measured (and kept,
// which is the one load of this blob).
std::uint32_t TStringBlob::daoFieldSize() {
  const kh::Variant v = readDaoValue();
  if (state_ == State::Empty) takeDaoValue(v);
  if (v.isNull() || v.isEmpty()) return 0;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(memoText(v).size(), kMaxBlobSize));
}

void TStringBlob::takeDaoValue(const kh::Variant& value) {
  if (value.isNull() || value.isEmpty()) {
    state_ = State::Null;
    data_.clear();
    return;
  }
  state_ = State::Data;
  data_ = memoText(value);
}

kh::Variant TStringBlob::daoValueOfData() const {
  // An empty memo is Null unless the field takes zero-length strings.
  if (data_.empty()) return zeroLengthAllowed() ? kh::Variant(std::string()) : kh::Variant::null();
  return kh::Variant(conv::utf8Of(data_));
}

void TStringBlob::read(std::uint8_t* destination, std::uint32_t offset, std::uint32_t length) {
  if (state_ != State::Data) {
    destination[0] = 0;
    return;
  }
  if (offset >= data_.size()) return;
  const std::size_t n = std::min<std::size_t>(length, data_.size() - offset);
  std::memcpy(destination, data_.data() + offset, n);
}

void TStringBlob::write(const std::uint8_t* source, std::uint32_t offset, std::uint32_t length) {
  if (length == 0) return;
  if (state_ != State::Data) {
    state_ = State::Data;
    data_.clear();
  }
  const std::size_t end = static_cast<std::size_t>(offset) + length;
  if (data_.size() < end) data_.resize(end, '\0');
  std::memcpy(data_.data() + offset, source, length);
}

void TStringBlob::setSize(std::uint32_t n) {
  if (n == 0) {
    state_ = State::Null;
    data_.clear();
    return;
  }
  if (state_ != State::Data) {
    state_ = State::Data;
    data_.clear();
  }
  data_.resize(n, '\0');
}

void TStringBlob::reset() {
  data_.clear();
  state_ = zeroLengthAllowed() ? State::Data : State::Null;
}

// ---- TBinaryBlob ------------------------------------------------------------------

std::uint32_t TBinaryBlob::daoFieldSize() {
  DAOFields* fields = access_->GetFields();
  std::unique_ptr<DAOField> field = fields->GetItem(kh::Variant(static_cast<std::int32_t>(daoPosition_)));
  const std::int32_t n = field->GetFieldSize();
  return n > 0 ? static_cast<std::uint32_t>(n) : 0;
}

void TBinaryBlob::takeDaoValue(const kh::Variant& value) {
  if (value.isArray()) {
    state_ = State::Data;
    const std::vector<std::uint8_t>& bytes = value.bytes();
    data_.assign(bytes.begin(), bytes.end());
  } else if (value.type() == kh::VT_BSTR) {
    state_ = State::Data;
    data_ = value.str();
  } else {
    state_ = State::Null;
    data_.clear();
  }
}

kh::Variant TBinaryBlob::daoValueOfData() const {
  return kh::Variant::fromBytes(std::vector<std::uint8_t>(data_.begin(), data_.end()), 0);
}

void TBinaryBlob::read(std::uint8_t* destination, std::uint32_t offset, std::uint32_t length) {
  if (state_ != State::Data || offset >= data_.size()) return;
  const std::size_t n = std::min<std::size_t>(length, data_.size() - offset);
  std::memcpy(destination, data_.data() + offset, n);
}

void TBinaryBlob::write(const std::uint8_t* source, std::uint32_t offset, std::uint32_t length) {
  if (length == 0) return;
  if (state_ != State::Data) {
    state_ = State::Data;
    data_.clear();
  }
  const std::size_t end = static_cast<std::size_t>(offset) + length;
  if (data_.size() < end) data_.resize(end, '\0');
  std::memcpy(data_.data() + offset, source, length);
}

void TBinaryBlob::setSize(std::uint32_t n) {
  if (n == 0) {
    state_ = State::Null;
    data_.clear();
    return;
  }
  if (state_ != State::Data) {
    state_ = State::Data;
    data_.clear();
  }
  data_.resize(n, '\0');
}

// ---- lookups and write-back ----------------------------------------------------------

namespace blob {

void writeBack(TBlob* blob, DAORecordset* rs, std::int16_t daoPosition) {
  if (!blob || !rs) return;
  const kh::Variant value = blob->writeValue();
  if (value.isEmpty()) return;  // never loaded, never written
  rs->SetCollect(kh::Variant(static_cast<std::int32_t>(daoPosition)), value);
}

}  // namespace blob

}  // namespace kbe

// ---- exports ---------------------------------------------------------------------------

namespace {

using namespace kbe;

// Runs `work` on the field `fieldNo` of a record buffer of a recordset cursor.
// Information cursors and other handles give 0x3001; a field that is not a
// Memo or Long Binary field (or no field at all) 0x2A01.
template <class F>
DBIResult onBlobField(hDBICur cursor, const std::uint8_t* record, std::uint16_t fieldNo, F&& work) noexcept {
  return trap([&]() -> DBIResult {
    TCursorData* c = cursorDataFromHandle(cursor);
    if (!c) return rc::NotSupported;
    if (!record) return rc::NotSupported;
    TFieldEntry* field = fieldEntry(*c, fieldNo);
    if (!field || !field->isBlob()) return rc::NotABlob;
    return work(*c, *field);
  });
}

// The open blob of the slot, or null.
TBlob* openBlob(hDBICur cursor, const std::uint8_t* record, const TFieldEntry& field) noexcept {
  return blob::inSlot(cursor, field.daoPosition, slotData(record, field));
}

}  // namespace

KBE_API DBIResult DbiOpenBlob(hDBICur cursor, std::uint8_t* record, std::uint16_t field, std::uint32_t openMode) {
  return onBlobField(cursor, record, field, [&](TCursorData&, TFieldEntry& f) -> DBIResult {
    if (openBlob(cursor, record, f)) return rc::BlobOpened;
    std::unique_ptr<TBlob> b;
    if (f.daoType == daotype::Memo) {
      b = std::make_unique<TStringBlob>(cursor, record, f.daoPosition, f.zeroLengthAllowed != 0);
    } else {
      b = std::make_unique<TBinaryBlob>(cursor, record, f.daoPosition, f.zeroLengthAllowed != 0);
    }
    TBlob* opened = TBlobRegistry::instance().add(std::move(b));
    setBlobSlot(record, f, opened->id());
    // Read-write: the next insert or modify writes the blob back.
    if (openMode == 0) slotStatus(record, f) |= conv::kChanged;
    return rc::OK;
  });
}

KBE_API DBIResult DbiFreeBlob(hDBICur cursor, std::uint8_t* record, std::uint16_t field) {
  return onBlobField(cursor, record, field, [&](TCursorData&, TFieldEntry& f) -> DBIResult {
    TBlob* b = openBlob(cursor, record, f);
    if (!b) return rc::BlobNotOpened;
    TBlobRegistry::instance().remove(b->id());
    setBlobSlot(record, f, 0);
    return rc::OK;
  });
}

KBE_API DBIResult DbiGetBlobSize(hDBICur cursor, const std::uint8_t* record, std::uint16_t field, std::uint32_t* size) {
  return onBlobField(cursor, record, field, [&](TCursorData&, TFieldEntry& f) -> DBIResult {
    TBlob* b = openBlob(cursor, record, f);
    if (!b) return rc::BlobNotOpened;
    if (!size) return rc::InvalidParam;
    *size = b->size();
    return rc::OK;
  });
}

KBE_API DBIResult DbiGetBlob(hDBICur cursor, std::uint8_t* record, std::uint16_t field, std::uint32_t offset,
                             std::uint32_t length, std::uint8_t* destination, std::uint32_t* read) {
  return onBlobField(cursor, record, field, [&](TCursorData&, TFieldEntry& f) -> DBIResult {
    TBlob* b = openBlob(cursor, record, f);
    if (!b) return rc::BlobNotOpened;
    if (!destination && length > 0) return rc::InvalidParam;
    const std::uint32_t count = b->get(offset, length, destination);
    if (read) *read = count;
    return count == length ? rc::OK : rc::EndOfBlob;
  });
}

KBE_API DBIResult DbiPutBlob(hDBICur cursor, std::uint8_t* record, std::uint16_t field, std::uint32_t offset,
                             std::uint32_t length, const std::uint8_t* source) {
  return onBlobField(cursor, record, field, [&](TCursorData&, TFieldEntry& f) -> DBIResult {
    TBlob* b = openBlob(cursor, record, f);
    if (!b) return rc::BlobNotOpened;
    if (!source && length > 0) return rc::InvalidParam;
    if (static_cast<std::uint64_t>(offset) + length > kMaxBlobSize) return rc::InvalidParam;
    slotStatus(record, f) |= conv::kPresent | conv::kChanged;
    b->put(offset, length, source);
    return rc::OK;
  });
}

KBE_API DBIResult DbiTruncateBlob(hDBICur cursor, std::uint8_t* record, std::uint16_t field, std::uint32_t length) {
  return onBlobField(cursor, record, field, [&](TCursorData&, TFieldEntry& f) -> DBIResult {
    TBlob* b = openBlob(cursor, record, f);
    if (!b) return rc::BlobNotOpened;
    std::uint8_t& status = slotStatus(record, f);
    status |= conv::kChanged;
    if (static_cast<std::int32_t>(length) <= 0) {
      status = static_cast<std::uint8_t>(status & ~conv::kPresent);
    } else {
      status |= conv::kPresent;
    }
    b->truncate(length);
    return rc::OK;
  });
}
