// Information cursors: small read-only result tables (catalogue lists) built
// completely in memory when they are opened and read with the ordinary cursor
// operations. Each list kind has one constant descriptor (cursor properties
// and column descriptions) shared by every cursor over it.
#pragma once

#include <cstdint>
#include <memory>

#include "kbe/kbe.h"

namespace kbe {

// Logical field type codes of the engine interface.
namespace fld {
constexpr std::uint16_t UNKNOWN = 0;
constexpr std::uint16_t ZSTRING = 1;
constexpr std::uint16_t DATE = 2;
constexpr std::uint16_t BLOB = 3;
constexpr std::uint16_t BOOL = 4;
constexpr std::uint16_t INT16 = 5;
constexpr std::uint16_t INT32 = 6;
constexpr std::uint16_t FLOAT = 7;
constexpr std::uint16_t BCD = 8;
constexpr std::uint16_t BYTES = 9;
constexpr std::uint16_t TIME = 10;
constexpr std::uint16_t TIMESTAMP = 11;
constexpr std::uint16_t UINT16 = 12;
constexpr std::uint16_t UINT32 = 13;
}  // namespace fld

// The catalogue lists; each has its own constant descriptor.
enum class InfoList : std::uint8_t {
  Databases,       // "DATABASES", rows laid out as DBDesc
  Drivers,         // "DRIVERS", one 32-byte driver name
  ConfigInfos,     // "CONFIGINFOS", rows laid out as CFGDesc
  Tables,          // "TABLES"
  TablesExt,       // "TABLES(EXT)"
  StoredProcs,     // "STOREDPROCS"
  Fields,          // "FIELDS", rows laid out as FLDDesc
  ValChecks,       // "VALCHECKS"
  RefIntegChecks,  // "REFINTEGCHECKS"
  Indexes,         // "INDEXES"
  Parameters,      // "PARAMETERS"
  TableTypes,      // "TABLETYPES"
  FieldTypes,      // "FIELDTYPES"
};

// A list's constant descriptor: its properties record (name and record size
// fixed, the rest completed when the first cursor is created over it) and its
// column descriptions.
struct TInfoListDesc {
  CURProps* props;
  FLDDesc* fields;
  std::uint16_t fieldCount;
};

// The descriptor of `list` (completed on first use).
const TInfoListDesc& infoListDesc(InfoList list);

// One open information cursor. Its address is the cursor handle the caller
// receives; it is recorded as a live handle of kind InfoCursor for its whole
// life. Rows are `recordCount` records of `iRecSize` bytes each, laid end to
// end; a row's columns lie end to end without padding or null indicators.
class TInfoCursor {
 public:
  // Sets up an empty cursor over `list`'s descriptor (position -1, no rows).
  // Throws EKBEError "info cursor record size invalid" when the descriptor's
  // column lengths do not add up to its record size.
  explicit TInfoCursor(InfoList list);
  ~TInfoCursor();
  TInfoCursor(const TInfoCursor&) = delete;
  TInfoCursor& operator=(const TInfoCursor&) = delete;

  // Creates a cursor over `list`; the usual way for a list function to start.
  static std::unique_ptr<TInfoCursor> open(InfoList list) { return std::make_unique<TInfoCursor>(list); }

  // The cursor behind a live information-cursor handle, or null.
  static TInfoCursor* fromHandle(void* handle) noexcept;

  // recordCount := n; recordsSize := n * iRecSize. Throws EKBEError for a
  // negative count or one whose storage would not fit 32 bits. Frees rows
  // attached before.
  void SetRecordCount(std::int32_t n);
  // Attaches `recordsSize` bytes of zero-filled storage owned by the cursor
  // and returns it (null when there are no rows).
  std::uint8_t* allocateRecords();
  // Points the rows at a constant table the cursor does not own.
  void borrowRecords(const void* table) noexcept;

  std::uint16_t recordSize() const noexcept { return props->iRecSize; }
  std::uint16_t fieldCount() const noexcept { return props->iFields; }
  // Row `i` (0-based) of attached storage; null when out of range or none.
  std::uint8_t* row(std::int32_t i) noexcept;

  // Cursor operations served from memory (result codes of the interface).
  DBIResult getCursorProps(CURProps* out) const noexcept;
  DBIResult getFieldDescs(FLDDesc* out) const noexcept;
  DBIResult setToBegin() noexcept;
  DBIResult setToEnd() noexcept;
  DBIResult getRecord(std::uint8_t* record) const noexcept;
  DBIResult getNextRecord(std::uint8_t* record) noexcept;
  DBIResult getPriorRecord(std::uint8_t* record) noexcept;
  DBIResult getRelativeRecord(std::int32_t offset, std::uint8_t* record) noexcept;
  DBIResult getBookMark(std::uint8_t* bookmark) const noexcept;
  DBIResult setToBookMark(const std::uint8_t* bookmark) noexcept;
  DBIResult getRecordCount(std::uint32_t* count) const noexcept;
  DBIResult initRecord(std::uint8_t* record) const noexcept;
  DBIResult getField(std::uint16_t field, const std::uint8_t* record, void* value,
                     std::int32_t* blank) const noexcept;

  // Fields, in this order.
  const CURProps* props;        // the descriptor's properties record (shared)
  const FLDDesc* fieldDescs;    // the descriptor's column descriptions (shared)
  std::uint8_t* records = nullptr;  // recordCount * iRecSize bytes, or null
  bool borrowedRecords = false;     // records points at a constant table
  std::int32_t recordsSize = 0;     // bytes of row storage
  std::int32_t position = -1;       // current row; -1 before the first, recordCount after the last
  std::int32_t recordCount = 0;

 private:
  void freeRecords() noexcept;
};

// Copies at most `capacity` - 1 bytes of `text` to `dest` and ends it with a
// zero byte (the rest of `dest` is left as it is).
void copyZString(char* dest, std::size_t capacity, const char* text, std::size_t length) noexcept;

}  // namespace kbe
