// Blob fields: Jet Memo and Long Binary values seen through a record buffer.
//
// A blob is opened on one field of one record buffer. Its whole value is read
// from DAO on first access into a blob object, read and written there at byte
// offsets, and written back to the DAO field as a whole by the next insert or
// modify of that buffer (writeBack below). The field's 4-byte slot in the
// record buffer holds the blob object's 32-bit identifier (never a pointer):
// the engine maps it back to the live object and checks that the object
// belongs to that cursor and field, so a stale or copied slot value is refused
// instead of followed. 0 means "no blob open".
//
// A memo's value is kept as Windows-1252 text (the engine's ANSI code page),
// so sizes and offsets count Windows-1252 bytes; it goes back to DAO as the
// store's UTF-8.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <string>

#include "CvDAO35.h"
#include "kbe/kbe.h"

namespace kbe {

// The base of the memo and long binary blob objects.
class TBlob {
 public:
  // `header` is the first 20 bytes (the record header) of the record buffer
  // the blob is opened on; `daoPosition` the field's index in the Fields
  // collection.
  TBlob(hDBICur cursor, const std::uint8_t* header, std::int16_t daoPosition, bool zeroLengthAllowed);
  virtual ~TBlob() = default;
  TBlob(const TBlob&) = delete;
  TBlob& operator=(const TBlob&) = delete;

  // The identifier stored in the buffer slot (never 0).
  std::uint32_t id() const noexcept { return id_; }
  hDBICur cursor() const noexcept { return cursor_; }
  std::int16_t daoPosition() const noexcept { return daoPosition_; }
  bool zeroLengthAllowed() const noexcept { return zeroLengthAllowed_ != 0; }

  // The size in bytes: determined once (0 with a Null value when the buffer
  // has no record), then cached. May throw (DAO failures while positioning).
  std::uint32_t size();
  // Reads the whole value from DAO once. May throw.
  void load();

  // The blob calls, on the loaded copy.
  // Copies up to `length` bytes from `offset` (cut at the end); the count copied.
  std::uint32_t get(std::uint32_t offset, std::uint32_t length, std::uint8_t* destination);
  // Writes `length` bytes at `offset`, lengthening the value when needed (a
  // gap before `offset` is filled with zero bytes).
  void put(std::uint32_t offset, std::uint32_t length, const std::uint8_t* source);
  // New length; 0 empties the value (see reset).
  void truncate(std::uint32_t length);

  // The value to assign to the DAO field at write-back, or Empty when there is
  // nothing to write (never loaded and never written).
  kh::Variant writeValue() const;

 protected:
  // The state of the value: not loaded, Null, or data held in `data_`.
  enum class State { Empty, Null, Data };

  // Slot 1: the size of the DAO field through the access recordset.
  virtual std::uint32_t daoFieldSize() = 0;
  // Slot 2: copies `length` bytes at `offset` (already cut to the size).
  virtual void read(std::uint8_t* destination, std::uint32_t offset, std::uint32_t length) = 0;
  // Slot 3: copies `length` bytes to `offset`.
  virtual void write(const std::uint8_t* source, std::uint32_t offset, std::uint32_t length) = 0;
  // Slot 4: sets the value's length (0: Null).
  virtual void setSize(std::uint32_t n) = 0;
  // Slot 5: the value of a blob truncated to nothing.
  virtual void reset();
  // Turns a DAO value read from the field into the state and data.
  virtual void takeDaoValue(const kh::Variant& value) = 0;
  // The DAO value of the state and data (State::Data only).
  virtual kh::Variant daoValueOfData() const = 0;

  // Positions the access recordset on the buffer's record: the cursor's own
  // recordset when the cursor still stands there, else its side recordset
  // moved to the header's bookmark. False when the buffer has no record.
  bool position();
  // Reads the field's current value through the access recordset.
  kh::Variant readDaoValue();

  hDBICur cursor_;
  DAORecordset* access_ = nullptr;  // set while positioned
  std::uint8_t header_[20];
  std::int16_t daoPosition_;
  std::uint8_t zeroLengthAllowed_;
  std::int32_t size_ = -1;  // -1: not known yet
  State state_ = State::Empty;
  std::string data_;  // Windows-1252 text (memo) or the bytes (long binary)

 private:
  friend class TBlobRegistry;
  std::uint32_t id_ = 0;
};

// A Memo field's blob.
class TStringBlob : public TBlob {
 public:
  using TBlob::TBlob;

 protected:
  std::uint32_t daoFieldSize() override;
  void read(std::uint8_t* destination, std::uint32_t offset, std::uint32_t length) override;
  void write(const std::uint8_t* source, std::uint32_t offset, std::uint32_t length) override;
  void setSize(std::uint32_t n) override;
  void reset() override;
  void takeDaoValue(const kh::Variant& value) override;
  kh::Variant daoValueOfData() const override;
};

// A Long Binary field's blob.
class TBinaryBlob : public TBlob {
 public:
  using TBlob::TBlob;

 protected:
  std::uint32_t daoFieldSize() override;
  void read(std::uint8_t* destination, std::uint32_t offset, std::uint32_t length) override;
  void write(const std::uint8_t* source, std::uint32_t offset, std::uint32_t length) override;
  void setSize(std::uint32_t n) override;
  void takeDaoValue(const kh::Variant& value) override;
  kh::Variant daoValueOfData() const override;
};

// Owns every live blob object under its 32-bit identifier.
class TBlobRegistry {
 public:
  // Outlives every static destructor that may still release a cursor.
  static TBlobRegistry& instance();

  // Takes `blob`, gives it a fresh identifier and returns it.
  TBlob* add(std::unique_ptr<TBlob> blob);
  TBlob* find(std::uint32_t id) noexcept;
  void remove(std::uint32_t id) noexcept;
  // Destroys every blob object of `cursor`.
  void removeCursor(hDBICur cursor) noexcept;
  std::size_t size() noexcept;

 private:
  std::mutex mutex_;
  std::unordered_map<std::uint32_t, std::unique_ptr<TBlob>> live_;
  std::uint32_t next_ = 0;
};

namespace blob {

// The live blob object that a blob field's 4-byte data area `slot` refers to,
// when it was opened through `cursor` on the field at `daoPosition`; null for
// 0, a stale identifier, or an object of another cursor or field.
TBlob* inSlot(hDBICur cursor, std::int16_t daoPosition, const std::uint8_t* slot) noexcept;

// Write-back by insert and modify (the recordset is in AddNew or Edit mode):
// assigns the blob's value to Collect of `rs` at `daoPosition`. A blob never
// loaded nor written writes nothing; an empty memo is written as Null unless
// the field allows zero length. DAO failures propagate.
void writeBack(TBlob* blob, DAORecordset* rs, std::int16_t daoPosition);

// Destroys every blob object still open on `cursor` (its handle is going
// away). Their slots keep identifiers that no longer resolve.
void releaseCursor(hDBICur cursor) noexcept;

// Number of live blob objects.
std::size_t liveBlobs() noexcept;

}  // namespace blob
}  // namespace kbe
