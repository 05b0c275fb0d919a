// Cursor-side state records and the internal cursor API.
//
// A recordset cursor handle is the address of a DAORecordset wrapper whose user
// data is a TCursorData. The wrapper is registered as a HandleKind::Cursor
// handle for as long as it lives. Record headers (bytes 16-19) cannot hold a
// 64-bit address, so every cursor also gets a 32-bit identifier that maps back
// to the live cursor (cursorFromId); 0 is never given out.
//
// A statement handle is a DAOQueryDef wrapper whose user data is a TQueryData.
// Result descriptions (TCursorDefData) are shared by reference count: every
// cursor made on one holds a reference, a statement holds one for itself.
// Destroy a statement wrapper with destroyStatement(), which hands the
// statement's reference back instead of deleting a description that clones
// may still use.
//
// Record buffer layout (every buffer the engine fills or reads):
//   0  4  position stamp of the owning cursor when the record was read
//   4  8  DAO bookmark bytes
//  12  2  lower bound of the DAO bookmark array (signed)
//  14  2  upper bound (lower + upper = 0: the buffer has no bookmark)
//  16  4  identifier of the cursor that filled the buffer (0: none)
//  20 ..  field slots: a status byte (and one spare byte) at iNullOffset, the
//         data at iOffset = iNullOffset + 2, iLen rounded up to even bytes.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "CvDAO35.h"
#include "KBEPI32_Conversions.h"
#include "KBEPI32_Log.h"
#include "KBEPI32_UserData.h"
#include "kbe/kbe.h"
#include "platform/variant.h"

namespace kbe {

class TCursorInfoData;
class TCursorData;

// Size of a record header, and of a bookmark.
constexpr std::size_t kRecordHeaderSize = 20;
constexpr std::uint16_t kBookmarkSize = 20;

// DAO field types.
namespace daotype {
constexpr std::int16_t Boolean = 1;
constexpr std::int16_t Byte = 2;
constexpr std::int16_t Integer = 3;
constexpr std::int16_t Long = 4;
constexpr std::int16_t Currency = 5;
constexpr std::int16_t Single = 6;
constexpr std::int16_t Double = 7;
constexpr std::int16_t Date = 8;
constexpr std::int16_t Binary = 9;
constexpr std::int16_t Text = 10;
constexpr std::int16_t LongBinary = 11;
constexpr std::int16_t Memo = 12;
constexpr std::int16_t GUID = 15;
}  // namespace daotype

// DAO recordset types and options used by cursors.
namespace daors {
constexpr std::int32_t Table = 1;
constexpr std::int32_t Dynaset = 2;
constexpr std::int32_t ForwardOnly = 8;
constexpr std::int32_t ReadOnly = 4;
constexpr std::int32_t SeeChanges = 512;
}  // namespace daors

// ---- field and index entries ------------------------------------------------

// One visible field of a cursor, in DAO field order.
struct TFieldEntry {
  std::int16_t daoPosition = 0;      // index in the Fields collection, from 0
  std::int16_t daoType = 0;          // DAO field type number
  std::int32_t accessCount = 0;      // adaptive prefetch statistic
  std::uint8_t required = 0;         // USE CONSTRAINTS on and the field Required
  std::uint8_t hasDefault = 0;       // USE DEFAULTS on and a usable default text
  std::uint8_t zeroLengthAllowed = 0;  // USE ALLOWZEROLENGTH on and AllowZeroLength
  FLDDesc desc{};                    // as DbiGetFieldDescs returns it
  std::uint32_t collatingOrder = 0;  // DAO CollatingOrder

  bool isBlob() const noexcept { return daoType == daotype::LongBinary || daoType == daotype::Memo; }
};

// One visible index of a table cursor.
struct TIndexEntry {
  std::int16_t daoPosition = 0;  // index in the table definition's Indexes, from 0
  IDXDesc desc{};
};

// ---- the class tree ---------------------------------------------------------------

// Cursor properties, field entries, index entries and default record of one
// result description.
class TCursorInfoData : public TBaseData {
 public:
  DAORecordset* recordset = nullptr;  // built from (not owned; may be gone later)
  std::vector<std::uint8_t> defaultRecord;  // empty until first built
  CURProps props{};                          // before the per-call adjustments
  std::uint32_t fieldCount = 0;
  std::vector<TFieldEntry> fields;
  std::uint32_t indexCount = 0;
  std::vector<TIndexEntry> indexes;
  std::uint32_t recordSize = 0;
  std::uint32_t valCheckCount = 0;
  // The DefaultValue text (ANSI) of each entry with hasDefault, by entry index;
  // kept so that the default record can be built without DAO.
  std::vector<std::string> defaultTexts;

  // The default record, built on first use.
  const std::vector<std::uint8_t>& getDefaultRecord();
};

// A cursor's internal record buffer and a record-properties block.
class TCursorBufferData : public TBaseData {
 public:
  explicit TCursorBufferData(TCursorInfoData* info) : info(info) {}
  std::vector<std::uint8_t> buffer;  // allocated on first use from the default record
  TCursorInfoData* info;
  RECProps recProps{};  // never filled: stays zero

  // The buffer, allocated (record size, initialised from the default record) on first use.
  std::uint8_t* get();
};

// Shared description of a result. Reference counted: addRef() per cursor (and
// for a statement's own reference); release() frees the object when it finds
// the count at 1 (or below).
class TCursorDefData : public TBaseData {
 public:
  std::unique_ptr<TCursorInfoData> info;        // built by the first cursor that needs it
  std::unique_ptr<TCursorBufferData> spareBuffer;  // parked by a closed cursor
  std::int32_t refCount = 0;

  void addRef() noexcept { ++refCount; }
  void release() noexcept;
};

// A statement: the description of its result plus the statement settings.
class TQueryData : public TCursorDefData {
 public:
  explicit TQueryData(const TDatabaseOptions& options) : options(options) { refCount = 1; }
  TDatabaseOptions options;
  const void* procParamBuffer = nullptr;  // the buffer given to DbiQPrepareProc; kept, not used
  std::int32_t openCursorCount = 0;       // cursors opened by DbiQExec not yet released
  std::int32_t markerCount = 0;           // "?" markers turned into Par_n by the last prepare
  std::int32_t recordsetType = daors::Dynaset;  // 2 dynaset or 8 forward-only
  std::int32_t recordsetOptions = 0;      // 4 read-only, 512 see changes
  std::uint8_t storedQuery = 0;           // opened by DbiQPrepareProc
};

// One filter of a cursor; the filter handle is its address.
struct aFilter {
  aFilter* next = nullptr;
  FilterCallback callback = nullptr;
  std::uint32_t clientData = 0;
  std::string criteria;                 // Jet criteria (ANSI) translated from the expression (query cursors)
  std::vector<std::uint8_t> expression;  // copy of the whole expression block (table cursors)
  std::uint8_t active = 0;
};

// One open recordset cursor; the user data of its recordset wrapper.
class TCursorData : public TBaseData {
 public:
  TCursorData() = default;
  // Leaves the workspace's notification list, frees the filters and the side
  // recordset, parks or frees the buffer object, releases the definition,
  // frees the table definition wrapper, and retires the handle and identifier.
  ~TCursorData() override;
  TCursorData(const TCursorData&) = delete;
  TCursorData& operator=(const TCursorData&) = delete;

  // Rollback: drops the side recordset when the workspace's depth fell below
  // the depth at which it was made.
  void notify(std::uint8_t code) override;

  // identity
  TCursorDefData* definition = nullptr;
  TWorkspaceData* workspace = nullptr;  // clones only (registered there)
  std::unique_ptr<DAOTableDef> tableDef;  // table cursors
  DAORecordset* recordset = nullptr;      // the wrapper this record hangs on
  DAOQueryDef* statement = nullptr;       // query cursors made by DbiQExec
  std::unique_ptr<TCursorBufferData> buffer;
  TDatabaseOptions options{};
  DAODatabase* database = nullptr;  // the database the cursor was opened in (not owned)
  std::uint32_t id = 0;             // the identifier written into record headers

  // The values of the record being read, lent by the store (see recordValues).
  std::vector<kh::dao::FieldValueView> values;

  // side recordset
  std::unique_ptr<DAORecordset> side;
  std::uint32_t sideStamp = 0;
  std::int32_t sideDepth = 0;

  // adaptive prefetch
  std::int16_t fetchedCount = 0;

  // active index
  bool indexActive = false;
  std::array<std::uint8_t, 32> keyFieldEntries{};    // field entry index, from 0
  std::array<std::uint8_t, 32> keyFieldPositions{};  // DAO position
  std::int32_t keyFieldCount = 0;

  // filters
  aFilter* filters = nullptr;
  std::int32_t activeFilters = 0;
  std::int32_t activeRecordFilters = 0;
  std::string criteria;  // active criteria text (ANSI) for the DAO Find methods

  // range
  bool lowRange = false;
  bool highRange = false;
  std::array<kh::Variant, 13> lowKey{};
  std::array<kh::Variant, 13> highKey{};
  std::int16_t lowKeyCount = 0;
  std::int16_t highKeyCount = 0;
  bool lowInclusive = false;
  bool highInclusive = false;
  std::array<std::uint8_t, 32> rangeKeyPositions{};
  std::int32_t rangeKeyCount = 0;

  // position
  std::uint32_t stamp = 0;
  std::array<std::uint8_t, kRecordHeaderSize> bookmark{};  // bytes 4-15 used, 16-19 zero
  bool onDeleted = false;
  bool forwardOnly = false;
  bool beforeFirst = false;
  bool exactCount = false;

  TCursorInfoData& info() const { return *definition->info; }
  bool isTableCursor() const noexcept { return tableDef != nullptr; }
};

// The type columns of a descriptor (iFldType, iSubType, iUnits1, iUnits2,
// iLen) for a DAO type and declared size.
void mapDaoType(FLDDesc& desc, std::int16_t daoType, std::int32_t size);

// The description a table cursor on `table` gets (fields, indexes, properties).
std::unique_ptr<TCursorInfoData> describeTable(DAOTableDef& table, const TDatabaseOptions& options);

// ---- making and finding cursors --------------------------------------------------

// What a new cursor is made with.
struct TCursorSpec {
  TCursorDefData* definition = nullptr;  // required; gets one more reference
  TDatabaseOptions options{};
  DAODatabase* database = nullptr;        // the database handle it was opened in
  std::unique_ptr<DAOTableDef> tableDef;  // table cursors (then owned by the cursor)
  DAOQueryDef* statement = nullptr;       // query cursors made from a statement
  bool forwardOnly = false;
};

// Makes a cursor on `recordset` (taking ownership): attaches a TCursorData,
// builds the definition's TCursorInfoData on first need (from the table
// definition when there is one, else from the recordset), puts the cursor
// before its first record (forward-only: marks it so), takes the
// definition's spare buffer object or makes one, and registers the handle.
// Returns the cursor handle. On failure the recordset wrapper is destroyed,
// the definition keeps its count, and the failure propagates.
DAORecordset* makeCursor(std::unique_ptr<DAORecordset> recordset, TCursorSpec setup);

// The record of a live recordset cursor handle, or null for anything else.
TCursorData* cursorDataFromHandle(void* handle) noexcept;
// The live recordset cursor with this header identifier, or null.
TCursorData* cursorFromId(std::uint32_t id) noexcept;
// The cursor record on a wrapper, or null.
TCursorData* cursorDataOf(const DAOBase* wrapper) noexcept;

// Makes a clone of a cursor (DAO Clone of its recordset) with the source's
// definition, options, active index, filters, range, forward-only and
// exact-count state; its own stamp, buffer object, no side recordset, no
// statement. It registers with the workspace of the source's database.
// On failure nothing is left behind and the failure propagates.
DAORecordset* cloneCursor(TCursorData& source);

// Runs `work(TCursorData&)` on a live recordset cursor, converting every
// failure into a result code; any other handle answers 0x3001.
template <class F>
DBIResult onCursor(void* handle, F&& work) noexcept;

// Destroys a statement wrapper: retires its handle, takes its TQueryData off
// and releases the statement's reference, then deletes the wrapper.
void destroyStatement(DAOQueryDef* statement) noexcept;

// ---- record buffers --------------------------------------------------------------

// The field entry with 1-based number `fieldNo`, or null when outside 1..count.
TFieldEntry* fieldEntry(TCursorData& cursor, unsigned fieldNo) noexcept;

inline std::uint8_t& slotStatus(std::uint8_t* record, const TFieldEntry& f) noexcept {
  return record[f.desc.iNullOffset];
}
inline std::uint8_t slotStatus(const std::uint8_t* record, const TFieldEntry& f) noexcept {
  return record[f.desc.iNullOffset];
}
inline std::uint8_t* slotData(std::uint8_t* record, const TFieldEntry& f) noexcept { return record + f.desc.iOffset; }
inline const std::uint8_t* slotData(const std::uint8_t* record, const TFieldEntry& f) noexcept {
  return record + f.desc.iOffset;
}
// The 4-byte blob slot of a blob field (the open blob object's identifier, 0 when none).
std::uint32_t blobSlot(const std::uint8_t* record, const TFieldEntry& f) noexcept;
void setBlobSlot(std::uint8_t* record, const TFieldEntry& f, std::uint32_t blobId) noexcept;

// Header fields.
std::uint32_t headerStamp(const std::uint8_t* header) noexcept;
std::uint32_t headerCursorId(const std::uint8_t* header) noexcept;
// False when lower + upper bound = 0 (a buffer without a record).
bool headerHasBookmark(const std::uint8_t* header) noexcept;
// Upper bound of the header's bookmark array.
std::int16_t headerBookmarkUpper(const std::uint8_t* header) noexcept;

// ---- positions -----------------------------------------------------------------------

// After every successful move: clears on-deleted, advances the stamp and,
// unless forward-only or at BOF/EOF/NoMatch, stores the recordset's Bookmark
// as the current bookmark.
void capturePosition(TCursorData& cursor);

// Runs a DAO move that may meet an empty recordset: "no current record"
// (3021) leaves the recordset at its end and is not a failure.
template <class F>
void tolerantMove(F&& step) {
  try {
    step();
  } catch (const EDAOError& e) {
    if (kh::DaoErrorNumber(e.errorCode()) != 3021) throw;
  }
}

// Writes stamp, current bookmark (unless forward-only) and identifier into a
// caller's buffer.
void writeRecordHeader(TCursorData& cursor, std::uint8_t* record);

// The cursor that filled a buffer: the one named by its header, this one when
// the header names none (or one that is gone).
TCursorData& owningCursor(TCursorData& cursor, const std::uint8_t* header) noexcept;

// Positions the side recordset on the header's record (making it on first
// need) and returns it.
DAORecordset& positionSideRecordset(TCursorData& cursor, const std::uint8_t* header);

// The recordset through which a buffer's record is reached: `cursor`'s own
// when the header's stamp equals its stamp, else its side recordset
// positioned on the header. `cursor` should be the owning cursor.
DAORecordset& recordsetForHeader(TCursorData& cursor, const std::uint8_t* header);

// ---- reading ---------------------------------------------------------------------------

// Plain read of the current record (lock, buffer may be null): edit-mode lock,
// header, adaptive prefetch. Returns 0, 0x2807 for a failed lock, 0x2204 for
// a deleted record; other failures propagate.
DBIResult readCurrentRecord(TCursorData& cursor, std::uint32_t lock, std::uint8_t* record);

// The read after a move: the filtered read when record-level filters are
// active (may answer 0x2205), else the plain read.
DBIResult readRecordAfterMove(TCursorData& cursor, std::uint32_t lock, std::uint8_t* record, void* recProps);

// Fetches one field of a buffer that the prefetch left unfetched (counting the
// access once per buffer); a failed read stores null.
void fetchField(TCursorData& cursor, TFieldEntry& field, std::uint8_t* record);

// ---- writing ---------------------------------------------------------------------------

// The status for a DAO error number met at Update; `fallback` for numbers the
// update table does not name.
DBIResult updateErrorStatus(std::int32_t daoErrorNumber, DBIResult fallback) noexcept;

template <class F>
DBIResult onCursor(void* handle, F&& work) noexcept {
  return trap([&]() -> DBIResult {
    TCursorData* c = cursorDataFromHandle(handle);
    if (!c) return rc::NotSupported;
    return work(*c);
  });
}

}  // namespace kbe
