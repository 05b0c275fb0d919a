#include "KBEPI32_InfoCursor.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "KBEPI32_Handles.h"
#include "KBEPI32_Log.h"

namespace kbe {

namespace {

struct ColumnSpec {
  const char* name;
  std::uint16_t type;
  std::uint16_t length;
};

template <std::size_t N>
constexpr unsigned columnSum(const ColumnSpec (&columns)[N]) {
  unsigned sum = 0;
  for (const ColumnSpec& c : columns) sum += c.length;
  return sum;
}

// ---- column layouts of the catalogue lists --------------------------------

constexpr ColumnSpec kDatabases[] = {
    {"NAME", fld::ZSTRING, 32}, {"DESCRIPTION", fld::ZSTRING, 32},
    {"PHYNAME", fld::ZSTRING, 261}, {"DBTYPE", fld::ZSTRING, 32}};

constexpr ColumnSpec kDrivers[] = {{"DRIVERNAME", fld::ZSTRING, 32}};

constexpr ColumnSpec kConfigInfos[] = {
    {"NodeName", fld::ZSTRING, 32}, {"Description", fld::ZSTRING, 128}, {"DataType", fld::UINT16, 2},
    {"Value", fld::ZSTRING, 128}, {"HasSubnodes", fld::BOOL, 2}};

#define KBE_TABLE_COLUMNS                                                                            \
  {"NAME", fld::ZSTRING, 261}, {"FILENAME", fld::ZSTRING, 261}, {"EXTENSION", fld::ZSTRING, 4},     \
      {"TYPE", fld::ZSTRING, 32}, {"DATE", fld::DATE, 4}, {"TIME", fld::TIME, 4},                   \
      {"SIZE", fld::UINT32, 4}, {"VIEW", fld::BOOL, 2}, {"SYNONYM", fld::BOOL, 2}

constexpr ColumnSpec kTables[] = {KBE_TABLE_COLUMNS};

constexpr ColumnSpec kTablesExt[] = {
    KBE_TABLE_COLUMNS,           {"STRUCTURE", fld::ZSTRING, 32}, {"VERSION", fld::UINT16, 2},
    {"RECORDSIZE", fld::UINT16, 2}, {"FIELDS", fld::UINT16, 2},    {"INDEXES", fld::UINT16, 2},
    {"VALCHECKS", fld::UINT16, 2},  {"REFCHECKS", fld::UINT16, 2}, {"RECORDS", fld::UINT32, 4},
    {"PROTECTED", fld::BOOL, 2},    {"VALID", fld::BOOL, 2}};
#undef KBE_TABLE_COLUMNS

constexpr ColumnSpec kStoredProcs[] = {
    {"NAME", fld::ZSTRING, 65}, {"DATE", fld::DATE, 4}, {"TIME", fld::TIME, 4}};

constexpr ColumnSpec kFields[] = {
    {"FIELDNUM", fld::UINT16, 2},  {"NAME", fld::ZSTRING, 32},     {"TYPE", fld::UINT16, 2},
    {"SUBTYPE", fld::UINT16, 2},   {"UNITS1", fld::UINT16, 2},     {"UNITS2", fld::UINT16, 2},
    {"OFFSET", fld::UINT16, 2},    {"LENGTH", fld::UINT16, 2},     {"NULLOFFSET", fld::UINT16, 2},
    {"VALCHECKS", fld::UINT32, 4}, {"FLDRIGHTS", fld::UINT32, 4},  {"CALCULATED", fld::BOOL, 2},
    {"Unused", fld::UINT32, 4}};

constexpr ColumnSpec kValChecks[] = {
    {"FIELDNUM", fld::UINT16, 2},    {"REQUIRED", fld::BOOL, 2},     {"HASMINVALUE", fld::BOOL, 2},
    {"HASMAXVALUE", fld::BOOL, 2},   {"HASDEFAULT", fld::BOOL, 2},   {"MINVALUE", fld::ZSTRING, 256},
    {"MAXVALUE", fld::ZSTRING, 256}, {"DEFAULT", fld::ZSTRING, 256}, {"PICTURE", fld::ZSTRING, 176},
    {"LOOKUPTYPE", fld::UINT32, 4},  {"LOOKUPTABLE", fld::ZSTRING, 261}};

constexpr ColumnSpec kRefIntegChecks[] = {
    {"REFINTNUM", fld::UINT16, 2},  {"NAME", fld::ZSTRING, 32},       {"TYPE", fld::UINT32, 4},
    {"OTHERTABLE", fld::ZSTRING, 261}, {"MODIFYQUAL", fld::UINT32, 4}, {"DELETEQUAL", fld::UINT32, 4},
    {"FIELDCOUNT", fld::UINT16, 2}, {"FIELDS1", fld::UINT16, 32},     {"FIELDS2", fld::UINT16, 32}};

constexpr ColumnSpec kIndexes[] = {
    {"NAME", fld::ZSTRING, 261},       {"INDEXID", fld::UINT16, 2},       {"TAGNAME", fld::ZSTRING, 32},
    {"FORMAT", fld::ZSTRING, 32},      {"PRIMARY", fld::BOOL, 2},         {"UNIQUE", fld::BOOL, 2},
    {"DESCENDING", fld::BOOL, 2},      {"AUTO", fld::BOOL, 2},            {"SUBSET", fld::BOOL, 2},
    {"KEYISEXP", fld::BOOL, 2},        {"COST", fld::UINT16, 2},          {"FIELDS", fld::UINT16, 2},
    {"KEYLEN", fld::UINT16, 2},        {"OUTOFDATE", fld::BOOL, 2},       {"EXPTYPE", fld::UINT16, 2},
    {"KEYFIELD", fld::UINT16, 32},     {"EXPRESSION", fld::ZSTRING, 221}, {"CONDITION", fld::ZSTRING, 221},
    {"CASEINSENSITIVE", fld::BOOL, 2}, {"BLOCKSIZE", fld::UINT16, 2},     {"RESTRUCTURENUM", fld::UINT16, 2},
    {"DESCENDINGFLAGS", fld::BOOL, 32}, {"UNUSED", fld::ZSTRING, 32}};

constexpr ColumnSpec kParameters[] = {
    {"PARAMNUM", fld::UINT16, 2}, {"NAME", fld::ZSTRING, 32},   {"TYPE", fld::UINT32, 4},
    {"DATATYPE", fld::UINT16, 2}, {"DATASUBTYPE", fld::UINT16, 2}, {"UNITS1", fld::UINT16, 2},
    {"UNITS2", fld::UINT16, 2},   {"OFFSET", fld::UINT16, 2},   {"LENGTH", fld::UINT16, 2},
    {"NULLOFFSET", fld::UINT16, 2}};

constexpr ColumnSpec kTableTypes[] = {
    {"ID", fld::UINT16, 2},           {"NAME", fld::ZSTRING, 32},         {"DESCRIPTION", fld::ZSTRING, 32},
    {"FORMAT", fld::ZSTRING, 32},     {"READWRITE", fld::BOOL, 2},        {"CREATE", fld::BOOL, 2},
    {"RESTRUCTURE", fld::BOOL, 2},    {"VALCHECKS", fld::BOOL, 2},        {"SECURITY", fld::BOOL, 2},
    {"REFINTEGRITY", fld::BOOL, 2},   {"PRIMARYKEY", fld::BOOL, 2},       {"INDEXING", fld::BOOL, 2},
    {"FLDTYPES", fld::UINT16, 2},     {"MAXRECSIZE", fld::UINT16, 2},     {"MAXFLDSPERTBL", fld::UINT16, 2},
    {"MAXFLDNAMESIZE", fld::UINT16, 2}, {"TABLELEVEL", fld::UINT16, 2},   {"UNUSED", fld::ZSTRING, 32}};

constexpr ColumnSpec kFieldTypes[] = {
    {"ID", fld::UINT16, 2},          {"NAME", fld::ZSTRING, 32},        {"DESCRIPTION", fld::ZSTRING, 32},
    {"PHYSICALTYPE", fld::UINT16, 2}, {"XLTEDTYPE", fld::UINT16, 2},    {"XLTEDSUBTYPE", fld::UINT16, 2},
    {"MAXUNITS1", fld::UINT16, 2},   {"MAXUNITS2", fld::UINT16, 2},     {"UNITSIZE", fld::UINT16, 2},
    {"REQOPTION", fld::BOOL, 2},     {"DEFAULTVAL", fld::BOOL, 2},      {"MINVAL", fld::BOOL, 2},
    {"MAXVAL", fld::BOOL, 2},        {"REFINTEG", fld::BOOL, 2},        {"OTHERCHECKS", fld::BOOL, 2},
    {"CANBEINDEXED", fld::BOOL, 2},  {"MULTIPLE", fld::BOOL, 2},        {"MINUNITS1", fld::UINT16, 2},
    {"MINUNITS2", fld::UINT16, 2},   {"CREATABLE", fld::BOOL, 2},       {"NATIVE NAME", fld::ZSTRING, 32},
    {"UNUSED", fld::ZSTRING, 32}};

// The record sizes are part of the interface: rows of these lists are read as
// the engine's description records.
static_assert(columnSum(kDatabases) == 357 && sizeof(DBDesc) == 357);
static_assert(columnSum(kDrivers) == 32);
static_assert(columnSum(kConfigInfos) == 292 && sizeof(CFGDesc) == 292);
static_assert(columnSum(kTables) == 574);
static_assert(columnSum(kTablesExt) == 626);
static_assert(columnSum(kStoredProcs) == 73);
static_assert(columnSum(kFields) == 62 && sizeof(FLDDesc) == 62);
static_assert(columnSum(kValChecks) == 1219);
static_assert(columnSum(kRefIntegChecks) == 373);
static_assert(columnSum(kIndexes) == 893);
static_assert(columnSum(kParameters) == 52);
static_assert(columnSum(kTableTypes) == 156);
static_assert(columnSum(kFieldTypes) == 164);

// A descriptor in the making: the constant part (name, record size, columns)
// and the storage of the shared properties and column descriptions.
struct ListStorage {
  const char* name;
  std::uint16_t recordSize;
  const ColumnSpec* columns;
  std::uint16_t columnCount;
  CURProps props{};
  FLDDesc fields[23]{};
  TInfoListDesc desc{};
  bool sizeValid = false;
};

template <std::size_t N>
ListStorage list(const char* name, std::uint16_t recordSize, const ColumnSpec (&columns)[N]) {
  static_assert(N <= 23);
  return ListStorage{name, recordSize, columns, static_cast<std::uint16_t>(N)};
}

void copyName(char* dest, std::size_t capacity, const char* text) {
  copyZString(dest, capacity, text, std::strlen(text));
}

// Completes a descriptor: the cursor properties every information cursor
// reports and the column numbers, offsets and rights.
void complete(ListStorage& s) {
  CURProps& p = s.props;
  copyName(p.szName, sizeof p.szName, s.name);
  p.iRecSize = s.recordSize;
  p.iFNameSize = static_cast<std::uint16_t>(std::strlen(p.szName) + 1);
  std::memset(p.szTableType, 0, sizeof p.szTableType);
  copyName(p.szTableType, sizeof p.szTableType, "INMEMORY");
  p.iFields = s.columnCount;
  p.iBookMarkSize = 4;
  p.bBookMarkStable = -1;
  p.iSeqNums = -1;
  p.eOpenMode = 1;   // read-only
  p.eShareMode = 0;  // shared
  p.exltMode = 1;
  p.bUniDirectional = 0;
  p.eprvRights = 0x1F;
  p.iFmlRights = 15;

  unsigned offset = 0;
  for (std::uint16_t i = 0; i < s.columnCount; ++i) {
    const ColumnSpec& c = s.columns[i];
    FLDDesc& f = s.fields[i];
    f.iFldNum = static_cast<std::uint16_t>(i + 1);
    copyName(f.szName, sizeof f.szName, c.name);
    f.iFldType = c.type;
    f.iLen = c.length;
    f.iOffset = static_cast<std::uint16_t>(offset);
    f.iNullOffset = 0;
    f.efldrRights = 1;  // read-only
    if (c.type == fld::ZSTRING) f.iUnits1 = static_cast<std::int16_t>(c.length - 1);
    offset += c.length;
  }
  s.sizeValid = offset == s.recordSize;
  if (s.sizeValid) p.iRecBufSize = p.iRecSize;
  s.desc = TInfoListDesc{&s.props, s.fields, s.columnCount};
}

struct Descriptors {
  ListStorage lists[13] = {
      list("DATABASES", 357, kDatabases),     list("DRIVERS", 32, kDrivers),
      list("CONFIGINFOS", 292, kConfigInfos), list("TABLES", 574, kTables),
      list("TABLES(EXT)", 626, kTablesExt),   list("STOREDPROCS", 73, kStoredProcs),
      list("FIELDS", 62, kFields),            list("VALCHECKS", 1219, kValChecks),
      list("REFINTEGCHECKS", 373, kRefIntegChecks), list("INDEXES", 893, kIndexes),
      list("PARAMETERS", 52, kParameters),    list("TABLETYPES", 156, kTableTypes),
      list("FIELDTYPES", 164, kFieldTypes)};
  Descriptors() {
    for (ListStorage& s : lists) complete(s);
  }
};

// The descriptors are completed once; writing the same values again on every
// open would change nothing, and doing it once keeps the shared records
// untouched while cursors read them.
Descriptors& descriptors() {
  static Descriptors* d = new Descriptors;  // outlives every static destructor that may close a cursor
  return *d;
}

ListStorage& storage(InfoList list) {
  const auto index = static_cast<std::size_t>(list);
  if (index >= std::size(descriptors().lists)) throw EKBEError("unknown catalogue list");
  return descriptors().lists[index];
}

}  // namespace

void copyZString(char* dest, std::size_t capacity, const char* text, std::size_t length) noexcept {
  if (!dest || capacity == 0) return;
  const std::size_t n = text ? std::min(length, capacity - 1) : 0;
  if (n) std::memcpy(dest, text, n);
  dest[n] = '\0';
}

const TInfoListDesc& infoListDesc(InfoList list) { return storage(list).desc; }

// ---- TInfoCursor ------------------------------------------------------------

TInfoCursor::TInfoCursor(InfoList list) : props(nullptr), fieldDescs(nullptr) {
  const ListStorage& s = storage(list);
  if (!s.sizeValid) throw EKBEError("info cursor record size invalid");
  props = s.desc.props;
  fieldDescs = s.desc.fields;
  registerHandle(this, HandleKind::InfoCursor);
}

TInfoCursor::~TInfoCursor() {
  unregisterHandle(this);
  freeRecords();
}

TInfoCursor* TInfoCursor::fromHandle(void* handle) noexcept {
  return handleAs<TInfoCursor>(handle, HandleKind::InfoCursor);
}

void TInfoCursor::freeRecords() noexcept {
  if (records && !borrowedRecords) std::free(records);
  records = nullptr;
  borrowedRecords = false;
}

void TInfoCursor::SetRecordCount(std::int32_t n) {
  if (n < 0) throw EKBEError("info cursor record count invalid");
  const std::int64_t size = static_cast<std::int64_t>(n) * props->iRecSize;
  if (size > std::numeric_limits<std::int32_t>::max()) throw EKBEError("info cursor too large");
  freeRecords();
  recordCount = n;
  recordsSize = static_cast<std::int32_t>(size);
}

std::uint8_t* TInfoCursor::allocateRecords() {
  freeRecords();
  if (recordsSize <= 0) return nullptr;
  records = static_cast<std::uint8_t*>(std::calloc(static_cast<std::size_t>(recordsSize), 1));
  if (!records) throw std::bad_alloc();
  return records;
}

void TInfoCursor::borrowRecords(const void* table) noexcept {
  freeRecords();
  records = static_cast<std::uint8_t*>(const_cast<void*>(table));
  borrowedRecords = records != nullptr;
}

std::uint8_t* TInfoCursor::row(std::int32_t i) noexcept {
  if (!records || i < 0 || i >= recordCount) return nullptr;
  return records + static_cast<std::size_t>(i) * props->iRecSize;
}

// ---- operations ---------------------------------------------------------------

DBIResult TInfoCursor::getCursorProps(CURProps* out) const noexcept {
  if (!out) return rc::NotSupported;
  std::memcpy(out, props, sizeof *out);  // the whole record: nothing of the caller's is left
  return rc::OK;
}

DBIResult TInfoCursor::getFieldDescs(FLDDesc* out) const noexcept {
  if (!out) return rc::NotSupported;
  std::memcpy(out, fieldDescs, sizeof(FLDDesc) * fieldCount());
  return rc::OK;
}

DBIResult TInfoCursor::setToBegin() noexcept {
  position = -1;
  return rc::OK;
}

DBIResult TInfoCursor::setToEnd() noexcept {
  position = recordCount;
  return rc::OK;
}

DBIResult TInfoCursor::getRecord(std::uint8_t* record) const noexcept {
  if (position < 0) return rc::BOF;
  if (position >= recordCount) return rc::EOF_;
  if (record) {
    const std::uint8_t* source = records + static_cast<std::size_t>(position) * props->iRecSize;
    if (records) std::memcpy(record, source, props->iRecSize);
    else std::memset(record, 0, props->iRecSize);  // rows counted but never attached read as zero
  }
  return rc::OK;
}

DBIResult TInfoCursor::getNextRecord(std::uint8_t* record) noexcept {
  if (position < recordCount) ++position;
  return getRecord(record);
}

DBIResult TInfoCursor::getPriorRecord(std::uint8_t* record) noexcept {
  if (position >= 0) --position;
  return getRecord(record);
}

DBIResult TInfoCursor::getRelativeRecord(std::int32_t offset, std::uint8_t* record) noexcept {
  // Computed in 64 bits: a far offset must stop at the ends, not wrap around.
  const std::int64_t target = static_cast<std::int64_t>(position) + offset;
  position = static_cast<std::int32_t>(std::clamp<std::int64_t>(target, -1, recordCount));
  return getRecord(record);
}

DBIResult TInfoCursor::getBookMark(std::uint8_t* bookmark) const noexcept {
  if (!bookmark) return rc::NotSupported;
  if (position < 0) return rc::BOF;
  if (position >= recordCount) return rc::EOF_;
  const auto value = static_cast<std::uint32_t>(position);
  for (int i = 0; i < 4; ++i) bookmark[i] = static_cast<std::uint8_t>(value >> (8 * i));
  return rc::OK;
}

DBIResult TInfoCursor::setToBookMark(const std::uint8_t* bookmark) noexcept {
  if (!bookmark) return rc::NotSupported;
  std::uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(bookmark[i]) << (8 * i);
  const auto b = static_cast<std::int32_t>(value);
  if (b < 0 || b >= recordCount) return rc::InvalidBookmark;
  position = b;
  return rc::OK;
}

DBIResult TInfoCursor::getRecordCount(std::uint32_t* count) const noexcept {
  if (!count) return rc::NotSupported;
  *count = static_cast<std::uint32_t>(recordCount);
  return rc::OK;
}

DBIResult TInfoCursor::initRecord(std::uint8_t* record) const noexcept {
  if (!record) return rc::NotSupported;
  std::memset(record, 0, props->iRecSize);
  return rc::OK;
}

DBIResult TInfoCursor::getField(std::uint16_t field, const std::uint8_t* record, void* value,
                                std::int32_t* blank) const noexcept {
  if (!record || field < 1 || field > fieldCount()) return rc::NotSupported;
  const FLDDesc& f = fieldDescs[field - 1];
  if (value) std::memcpy(value, record + f.iOffset, f.iLen);
  if (blank) *blank = 0;
  return rc::OK;
}

}  // namespace kbe
