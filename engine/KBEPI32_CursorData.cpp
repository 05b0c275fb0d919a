// Cursor-side state records, the description of a result (field and index
// entries, cursor properties, default record) and the internal cursor
// operations shared by navigation, record changes, blobs and tables.
#include "KBEPI32_CursorData.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <unordered_map>

#include "KBEPI32_Blob.h"
#include "KBEPI32_CanExpr.h"
#include "KBEPI32_Handles.h"
#include "KBEPI32_Log.h"
#include "KBEPI32_Session.h"

namespace kbe {

using kh::Variant;

namespace {

template <class T>
T load(const std::uint8_t* p) noexcept {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <class T>
void store(std::uint8_t* p, T v) noexcept {
  std::memcpy(p, &v, sizeof v);
}

Variant position(std::int16_t daoPosition) { return Variant(std::int32_t{daoPosition}); }

// The DAO error number of a failure of the wrapper layer, 0 for anything else.
// Call inside a catch block.
unsigned currentDaoError() noexcept {
  try {
    throw;
  } catch (const EDAOError& e) {
    return kh::DaoErrorNumber(e.errorCode());
  } catch (...) {
    return 0;
  }
}

void copyName(char* out, std::size_t size, const std::string& text) noexcept {
  std::size_t n = std::min(text.size(), size - 1);
  std::memcpy(out, text.data(), n);
  out[n] = 0;
}

bool sameTextIgnoringCase(const std::string& a, const std::string& b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

// ---- cursor identifiers ------------------------------------------------------------

struct IdRegistry {
  std::unordered_map<std::uint32_t, TCursorData*> live;
  std::uint32_t next = 1;
};

IdRegistry& ids() {
  static IdRegistry* r = new IdRegistry;  // outlives every static destructor
  return *r;
}

std::uint32_t assignId(TCursorData* cursor) {
  IdRegistry& r = ids();
  while (r.next == 0 || r.live.count(r.next)) ++r.next;
  std::uint32_t id = r.next++;
  r.live[id] = cursor;
  return id;
}

// ---- building the description ---------------------------------------------------------

}  // namespace

// Fills the descriptor's type columns from the DAO type and size.
void mapDaoType(FLDDesc& d, std::int16_t daoType, std::int32_t size) {
  d.iUnits2 = 0;
  switch (daoType) {
    case daotype::Boolean: d.iFldType = conv::fldBOOL; d.iLen = 2; break;
    case daotype::Byte:
    case daotype::Integer: d.iFldType = conv::fldINT16; d.iLen = 2; break;
    case daotype::Long: d.iFldType = conv::fldINT32; d.iLen = 4; break;
    case daotype::Currency: d.iFldType = conv::fldFLOAT; d.iSubType = conv::fldstMONEY; d.iLen = 8; break;
    case daotype::Single:
    case daotype::Double: d.iFldType = conv::fldFLOAT; d.iLen = 8; break;
    case daotype::Date: d.iFldType = conv::fldTIMESTAMP; d.iLen = 8; break;
    case daotype::Binary: {
      std::int32_t n = std::clamp<std::int32_t>(size, 0, SHRT_MAX);
      d.iFldType = conv::fldBYTES;
      d.iUnits1 = static_cast<std::int16_t>(n);
      d.iLen = static_cast<std::uint16_t>(n);
      break;
    }
    case daotype::Text: {
      std::int32_t n = size == 0 ? 510 : std::clamp<std::int32_t>(size, 0, 8191);
      d.iFldType = conv::fldZSTRING;
      d.iUnits1 = static_cast<std::int16_t>(n);
      d.iLen = static_cast<std::uint16_t>(n + 1);
      break;
    }
    case daotype::LongBinary: d.iFldType = conv::fldBLOB; d.iSubType = conv::fldstBINARY; d.iUnits1 = -1; d.iLen = 4; break;
    case daotype::Memo: d.iFldType = conv::fldBLOB; d.iSubType = conv::fldstMEMO; d.iUnits1 = -1; d.iLen = 4; break;
    case daotype::GUID: d.iFldType = conv::fldZSTRING; d.iUnits1 = 45; d.iLen = 46; break;
    default: d.iFldType = 0; d.iLen = 0; break;
  }
}

namespace {

// Replication system fields carry this attribute.
constexpr std::int32_t kSystemFieldAttribute = 0x2000;

void buildFields(TCursorInfoData& info, DAOFields& fields, bool queryCursor, const TDatabaseOptions& options,
                 std::vector<std::string>& hidden) {
  const std::int16_t count = fields.GetCount();
  info.fields.reserve(count > 0 ? static_cast<std::size_t>(count) : 0);
  std::uint32_t offset = kRecordHeaderSize;
  for (std::int16_t i = 0; i < count; ++i) {
    std::unique_ptr<DAOField> f = fields.GetItem(Variant(std::int32_t{i}));
    const std::string name = conv::ansiOf(f->GetName());
    if ((f->GetAttributes() & kSystemFieldAttribute) && !options.showSystemFields) {
      hidden.push_back(name);
      continue;
    }
    TFieldEntry e;
    e.daoPosition = i;
    e.desc.iFldNum = static_cast<std::uint16_t>(info.fields.size() + 1);
    copyName(e.desc.szName, sizeof e.desc.szName, name);
    e.daoType = f->GetType();
    mapDaoType(e.desc, e.daoType, f->GetSize());
    e.desc.iNullOffset = static_cast<std::uint16_t>(offset);
    e.desc.iOffset = static_cast<std::uint16_t>(offset + 2);
    e.desc.efldrRights = f->GetDataUpdatable() ? 0 : 1;
    e.desc.bCalcField = queryCursor && f->GetSourceTable().empty() ? -1 : 0;
    if (options.useConstraints) {
      e.desc.efldvVchk = f->GetValidationRule().empty() ? 0 : 1;
      e.required = f->GetRequired() ? 1 : 0;
    }
    std::string defaultText;
    if (options.useDefaults) {
      const Variant dv = f->GetDefaultValue();
      if (dv.type() == kh::VT_BSTR && !dv.str().empty() && dv.str().find("GetUniqueID()") == std::string::npos) {
        e.hasDefault = 1;
        defaultText = conv::ansiOf(dv.str());
      }
    }
    if (e.required || e.hasDefault) ++info.valCheckCount;
    e.collatingOrder = static_cast<std::uint32_t>(f->GetCollatingOrder());
    e.zeroLengthAllowed = options.useZeroLength && f->GetAllowZeroLength() ? 1 : 0;
    offset += ((e.desc.iLen + 1u) & ~1u) + 2u;
    // Offsets are 16-bit in the descriptors.
    if (offset > 0xFFFF) throw EKBEError("Record size exceeds 65535 bytes");
    info.fields.push_back(e);
    info.defaultTexts.push_back(std::move(defaultText));
  }
  info.fields.shrink_to_fit();
  info.fieldCount = static_cast<std::uint32_t>(info.fields.size());
  info.recordSize = offset;
}

template <class F>
std::int16_t readOrZero(F&& read) noexcept {
  try {
    return read();
  } catch (...) {
    return 0;
  }
}

void buildIndexes(TCursorInfoData& info, DAOTableDef& table, const TDatabaseOptions& options,
                  const std::vector<std::string>& hidden) {
  DAOIndexes* indexes = table.GetIndexes();
  const std::int16_t count = indexes->GetCount();
  for (std::int16_t j = 0; j < count; ++j) {
    std::unique_ptr<DAOIndex> ix = indexes->GetItem(Variant(std::int32_t{j}));
    DAOIndexFields* keyFields = ix->GetFields();
    const std::int16_t keyCount = keyFields->GetCount();
    std::vector<std::pair<std::string, std::int32_t>> keys;  // name, attributes
    bool offered = true;
    for (std::int16_t k = 0; k < keyCount; ++k) {
      std::unique_ptr<DAOField> kf = keyFields->GetItem(Variant(std::int32_t{k}));
      std::string name = conv::ansiOf(kf->GetName());
      for (const std::string& h : hidden)
        if (sameTextIgnoringCase(h, name)) offered = false;
      keys.emplace_back(std::move(name), kf->GetAttributes());
    }
    if (!offered) continue;
    TIndexEntry e;
    e.daoPosition = j;
    IDXDesc& d = e.desc;
    std::string name = conv::ansiOf(ix->GetName());
    if (options.renamePrimary && name == "PrimaryKey") name = "_PrimaryKey";
    copyName(d.szName, sizeof d.szName, name);
    d.iIndexId = static_cast<std::uint16_t>(info.indexes.size() + 1);
    copyName(d.szFormat, sizeof d.szFormat, "Jet Index");
    d.bPrimary = readOrZero([&] { return ix->GetPrimary(); });
    d.bUnique = readOrZero([&] { return ix->GetUnique(); });
    d.bSubset = readOrZero([&] { return ix->GetIgnoreNulls(); });
    d.bMaintained = -1;
    d.iKeyExpType = 513;
    d.bCaseInsensitive = -1;
    d.iFldsInKey = static_cast<std::uint16_t>(keyCount);
    for (std::size_t k = 0; k < keys.size() && k < 16; ++k) {
      for (const TFieldEntry& f : info.fields) {
        if (keys[k].first != f.desc.szName) continue;
        d.aiKeyFld[k] = f.desc.iFldNum;
        d.abDescending[k] = (keys[k].second & 1) ? -1 : 0;
        d.iKeyLen = static_cast<std::uint16_t>(d.iKeyLen + f.desc.iLen + 2);
        break;
      }
    }
    info.indexes.push_back(e);
  }
  info.indexCount = static_cast<std::uint32_t>(info.indexes.size());
}

// The description of a recordset (`rs`) or, given, of a table definition.
std::unique_ptr<TCursorInfoData> buildInfo(DAORecordset* rs, DAOTableDef* table, const TDatabaseOptions& options) {
  auto info = std::make_unique<TCursorInfoData>();
  info->recordset = rs;
  std::vector<std::string> hidden;
  buildFields(*info, table ? *table->GetFields() : *rs->GetFields(), table == nullptr, options, hidden);
  if (table) buildIndexes(*info, *table, options, hidden);
  CURProps& p = info->props;
  if (table) copyName(p.szName, sizeof p.szName, conv::ansiOf(table->GetName()));
  copyName(p.szTableType, sizeof p.szTableType, "KBE");
  p.iFields = static_cast<std::uint16_t>(info->fieldCount);
  p.iRecSize = p.iRecBufSize = static_cast<std::uint16_t>(info->recordSize);
  p.iIndexes = static_cast<std::uint16_t>(info->indexCount);
  p.iValChecks = static_cast<std::uint16_t>(info->valCheckCount);
  p.iBookMarkSize = kBookmarkSize;
  p.bBookMarkStable = -1;
  p.iSeqNums = -1;
  copyName(p.szLangDriver, sizeof p.szLangDriver, "KBE Ansi");
  p.iBlockSize = 1024;
  return info;
}

}  // namespace

std::unique_ptr<TCursorInfoData> describeTable(DAOTableDef& table, const TDatabaseOptions& options) {
  return buildInfo(nullptr, &table, options);
}

// ---- the records -----------------------------------------------------------------------

const std::vector<std::uint8_t>& TCursorInfoData::getDefaultRecord() {
  if (defaultRecord.empty()) {
    std::vector<std::uint8_t> record(recordSize, 0);
    for (std::size_t i = 0; i < fields.size(); ++i) {
      const TFieldEntry& f = fields[i];
      if (!f.hasDefault) continue;
      conv::defaultIntoSlot(f.daoType, defaultTexts[i], slotStatus(record.data(), f), f.desc.iLen,
                            slotData(record.data(), f));
    }
    defaultRecord = std::move(record);
  }
  return defaultRecord;
}

std::uint8_t* TCursorBufferData::get() {
  if (buffer.empty()) buffer = info->getDefaultRecord();
  return buffer.data();
}

void TCursorDefData::release() noexcept {
  if (refCount <= 1) {
    delete this;
    return;
  }
  --refCount;
}

TCursorData::~TCursorData() {
  if (recordset) blob::releaseCursor(recordset);
  if (workspace) workspace->removeNotification(this);
  while (filters) {
    aFilter* next = filters->next;
    delete filters;
    filters = next;
  }
  side.reset();
  if (definition) {
    if (buffer && !definition->spareBuffer) definition->spareBuffer = std::move(buffer);
    buffer.reset();
    definition->release();
    definition = nullptr;
  }
  buffer.reset();
  tableDef.reset();
  if (id) ids().live.erase(id);
  if (recordset) unregisterHandle(recordset);
}

void TCursorData::notify(std::uint8_t code) {
  if (code == tran::kRollback && side && workspace && workspace->transactionDepth < sideDepth) side.reset();
}

// ---- making and finding cursors ------------------------------------------------------

DAORecordset* makeCursor(std::unique_ptr<DAORecordset> recordset, TCursorSpec setup) {
  if (!recordset || !setup.definition) throw EKBEError("Cursor without recordset or definition");
  auto data = std::make_unique<TCursorData>();
  TCursorData& c = *data;
  c.recordset = recordset.get();
  c.options = setup.options;
  c.database = setup.database;
  // Without a database named, find it up the parent chain (all alive now).
  for (DAOBase* p = recordset->ParentWrapper(); !c.database && p; p = p->ParentWrapper())
    if (isHandle(p, HandleKind::Database)) c.database = static_cast<DAODatabase*>(p);
  c.statement = setup.statement;
  c.forwardOnly = setup.forwardOnly;
  c.tableDef = std::move(setup.tableDef);
  TCursorDefData& def = *setup.definition;
  if (!def.info) def.info = buildInfo(recordset.get(), c.tableDef.get(), c.options);
  // A new cursor stands before its first record, so that a plain loop of
  // DbiGetNextRecord reads the first record first. DAO opens a recordset on
  // its first record; a forward-only one cannot step back and is marked
  // instead.
  if (c.forwardOnly) c.beforeFirst = true;
  else if (!recordset->GetBOF()) recordset->MovePrevious();
  def.addRef();
  c.definition = &def;
  if (def.spareBuffer) {
    c.buffer = std::move(def.spareBuffer);
    c.buffer->info = def.info.get();
  } else {
    c.buffer = std::make_unique<TCursorBufferData>(def.info.get());
  }
  c.id = assignId(&c);
  recordset->SetUserData(std::move(data));
  registerHandle(recordset.get(), HandleKind::Cursor);
  return recordset.release();
}

DAORecordset* cloneCursor(TCursorData& source) {
  std::unique_ptr<DAORecordset> rs = source.recordset->Clone();
  if (source.isTableCursor()) {
    try {
      rs->SetIndex(source.recordset->GetIndex());
    } catch (...) {
    }
  }
  TCursorSpec setup;
  setup.definition = source.definition;
  setup.options = source.options;
  setup.database = source.database;
  if (source.tableDef) setup.tableDef = std::make_unique<DAOTableDef>(*source.tableDef);
  setup.forwardOnly = source.forwardOnly;
  DAORecordset* handle = makeCursor(std::move(rs), std::move(setup));
  try {
    TCursorData& c = *cursorDataOf(handle);
    c.fetchedCount = source.fetchedCount;
    c.indexActive = source.indexActive;
    c.keyFieldEntries = source.keyFieldEntries;
    c.keyFieldPositions = source.keyFieldPositions;
    c.keyFieldCount = source.keyFieldCount;
    aFilter** tail = &c.filters;
    for (const aFilter* f = source.filters; f; f = f->next) {
      auto* copy = new aFilter(*f);
      copy->next = nullptr;
      *tail = copy;
      tail = &copy->next;
    }
    c.activeFilters = source.activeFilters;
    c.activeRecordFilters = source.activeRecordFilters;
    c.criteria = source.criteria;
    c.lowRange = source.lowRange;
    c.highRange = source.highRange;
    c.lowKey = source.lowKey;
    c.highKey = source.highKey;
    c.lowKeyCount = source.lowKeyCount;
    c.highKeyCount = source.highKeyCount;
    c.lowInclusive = source.lowInclusive;
    c.highInclusive = source.highInclusive;
    c.rangeKeyPositions = source.rangeKeyPositions;
    c.rangeKeyCount = source.rangeKeyCount;
    c.exactCount = source.exactCount;
    if (DAODatabase* db = databaseFromHandle(c.database)) {
      TWorkspaceData& ws = workspaceDataOfDatabase(db);
      ws.addNotification(&c);
      c.workspace = &ws;
    }
  } catch (...) {
    delete handle;
    throw;
  }
  return handle;
}

TCursorData* cursorDataOf(const DAOBase* wrapper) noexcept {
  return wrapper ? dynamic_cast<TCursorData*>(wrapper->UserData()) : nullptr;
}

TCursorData* cursorDataFromHandle(void* handle) noexcept {
  auto* rs = handleAs<DAORecordset>(handle, HandleKind::Cursor);
  return rs ? cursorDataOf(rs) : nullptr;
}

TCursorData* cursorFromId(std::uint32_t id) noexcept {
  if (id == 0) return nullptr;
  auto& live = ids().live;
  auto it = live.find(id);
  return it == live.end() ? nullptr : it->second;
}

void destroyStatement(DAOQueryDef* statement) noexcept {
  if (!statement) return;
  unregisterHandle(statement);
  std::unique_ptr<DAOUserData> data = statement->TakeUserData();
  if (auto* def = dynamic_cast<TCursorDefData*>(data.get())) {
    data.release();
    def->release();
  }
  delete statement;
}

// ---- record buffers ---------------------------------------------------------------------

TFieldEntry* fieldEntry(TCursorData& cursor, unsigned fieldNo) noexcept {
  if (!cursor.definition || !cursor.definition->info) return nullptr;
  auto& fields = cursor.definition->info->fields;
  if (fieldNo < 1 || fieldNo > fields.size()) return nullptr;
  return &fields[fieldNo - 1];
}

std::uint32_t blobSlot(const std::uint8_t* record, const TFieldEntry& f) noexcept {
  return load<std::uint32_t>(slotData(record, f));
}

void setBlobSlot(std::uint8_t* record, const TFieldEntry& f, std::uint32_t blobId) noexcept {
  store<std::uint32_t>(slotData(record, f), blobId);
}

std::uint32_t headerStamp(const std::uint8_t* header) noexcept { return load<std::uint32_t>(header); }
std::uint32_t headerCursorId(const std::uint8_t* header) noexcept { return load<std::uint32_t>(header + 16); }
std::int16_t headerBookmarkUpper(const std::uint8_t* header) noexcept { return load<std::int16_t>(header + 14); }
bool headerHasBookmark(const std::uint8_t* header) noexcept {
  return load<std::int16_t>(header + 12) + load<std::int16_t>(header + 14) != 0;
}

// ---- positions --------------------------------------------------------------------------

void capturePosition(TCursorData& cursor) {
  cursor.onDeleted = false;
  ++cursor.stamp;
  if (cursor.forwardOnly) return;
  DAORecordset& rs = *cursor.recordset;
  if (rs.GetBOF() || rs.GetEOF() || rs.GetNoMatch()) return;
  try {
    conv::bookmarkFromDao(rs.GetBookmark(), cursor.bookmark.data() + 4);
  } catch (...) {
    // A record deleted under the cursor has no bookmark of its own any more;
    // the one taken before stays, so it still names the deleted record.
    if (currentDaoError() != 3167) throw;
  }
}

void writeRecordHeader(TCursorData& cursor, std::uint8_t* record) {
  if (!cursor.forwardOnly) std::memcpy(record, cursor.bookmark.data(), kRecordHeaderSize);
  store<std::uint32_t>(record, cursor.stamp);
  store<std::uint32_t>(record + 16, cursor.id);
}

TCursorData& owningCursor(TCursorData& cursor, const std::uint8_t* header) noexcept {
  TCursorData* owner = cursorFromId(headerCursorId(header));
  return owner ? *owner : cursor;
}

DAORecordset& positionSideRecordset(TCursorData& cursor, const std::uint8_t* header) {
  const std::uint32_t stamp = headerStamp(header);
  if (!cursor.side) {
    std::unique_ptr<DAORecordset> side = cursor.recordset->Clone();
    side->SetBookmark(conv::daoFromBookmark(header + 4));
    cursor.side = std::move(side);
    cursor.sideDepth = cursor.workspace ? cursor.workspace->transactionDepth : 0;
    cursor.sideStamp = stamp;
  } else if (cursor.sideStamp != stamp) {
    try {
      cursor.side->SetBookmark(conv::daoFromBookmark(header + 4));
    } catch (...) {
      // Where a failed move leaves it is unknown: the next use makes a new one.
      cursor.side.reset();
      throw;
    }
    cursor.sideStamp = stamp;
  }
  return *cursor.side;
}

DAORecordset& recordsetForHeader(TCursorData& cursor, const std::uint8_t* header) {
  if (headerStamp(header) == cursor.stamp) return *cursor.recordset;
  return positionSideRecordset(cursor, header);
}

// ---- reading ------------------------------------------------------------------------------

namespace {

// The current record's values up to the field at `lastPosition`, read in one
// call without variants; valid until the recordset moves or changes.
const kh::dao::FieldValueView* recordValues(TCursorData& cursor, DAORecordset& rs, std::int16_t lastPosition) {
  const auto count = static_cast<std::size_t>(lastPosition) + 1;
  if (cursor.values.size() < count) cursor.values.resize(count);
  rs.ViewCurrentValues(cursor.values.data(), static_cast<std::int16_t>(count));
  return cursor.values.data();
}

}  // namespace

DBIResult readCurrentRecord(TCursorData& cursor, std::uint32_t lock, std::uint8_t* record) {
  DAORecordset& rs = *cursor.recordset;
  try {
    if (lock != 0 && rs.GetEditMode() != kh::dao::dbEditInProgress) {
      try {
        if (!cursor.forwardOnly) rs.SetBookmark(rs.GetBookmark());
        rs.Edit();
      } catch (...) {
        const bool deleted = currentDaoError() == 3167;
        convertCurrentFailure();
        return deleted ? rc::KeyOrRecDeleted : rc::RecordAlreadyLocked;
      }
    }
    if (!record) return rc::OK;
    writeRecordHeader(cursor, record);

    auto& fields = cursor.info().fields;
    const std::int16_t threshold = cursor.options.prefetchThreshold;
    if (cursor.fetchedCount > 0 && cursor.fetchedCount > cursor.options.prefetchResetInterval) {
      for (TFieldEntry& f : fields)
        f.accessCount = f.accessCount / cursor.fetchedCount >= threshold ? cursor.options.prefetchScale : 0;
      cursor.fetchedCount = 1;
    }
    // The fields read often enough come along with the record, all in one read.
    std::int16_t last = -1;
    if (cursor.fetchedCount > 0)
      for (const TFieldEntry& f : fields)
        if (!f.isBlob() && f.accessCount / cursor.fetchedCount >= threshold) last = std::max(last, f.daoPosition);
    const kh::dao::FieldValueView* values = nullptr;
    if (last >= 0) {
      try {
        values = recordValues(cursor, rs, last);
      } catch (...) {
        if (currentDaoError() == 3167) throw;
      }
    }
    for (TFieldEntry& f : fields) {
      std::uint8_t& status = slotStatus(record, f);
      status = conv::kUnfetched;
      if (f.isBlob()) {
        setBlobSlot(record, f, 0);
        continue;
      }
      if (cursor.fetchedCount > 0 && f.accessCount / cursor.fetchedCount >= threshold) {
        if (!values) {
          status = 0;
          continue;
        }
        conv::valueIntoSlot(f.daoType, f.desc.iUnits1, values[f.daoPosition], status, slotData(record, f));
      }
    }
    if (cursor.fetchedCount < SHRT_MAX) ++cursor.fetchedCount;
    return rc::OK;
  } catch (...) {
    if (currentDaoError() != 3167) throw;
    convertCurrentFailure();
    return rc::KeyOrRecDeleted;
  }
}

namespace {

// The current record of a cursor as a filter expression reads it.
class CursorFields : public canexpr::FieldSource {
 public:
  explicit CursorFields(TCursorData& cursor) : cursor_(cursor) {}
  std::uint16_t find(const std::string& name) override {
    for (const TFieldEntry& f : cursor_.info().fields)
      if (sameTextIgnoringCase(name, f.desc.szName)) return f.desc.iFldNum;
    return 0;
  }
  Variant value(std::uint16_t number) override {
    const TFieldEntry* f = fieldEntry(cursor_, number);
    if (!f) return Variant::null();
    try {
      return cursor_.recordset->GetCollect(position(f->daoPosition));
    } catch (...) {
      return Variant::null();
    }
  }

 private:
  TCursorData& cursor_;
};

// Whether every active record-level filter accepts the record in `buffer`.
bool filtersAccept(TCursorData& cursor, std::uint8_t* buffer) {
  for (aFilter* f = cursor.filters; f; f = f->next) {
    if (!f->active) continue;
    bool accepted = true;
    try {
      if (f->callback) {
        accepted = (f->callback(f->clientData, buffer, 0) & 0xFF) != 0;
      } else if (!f->expression.empty()) {
        CursorFields fields(cursor);
        accepted = canexpr::accepts(canexpr::evaluate(f->expression, fields));
      }
    } catch (...) {
      convertCurrentFailure();
      accepted = false;
    }
    if (!accepted) return false;
  }
  return true;
}

}  // namespace

DBIResult readRecordAfterMove(TCursorData& cursor, std::uint32_t lock, std::uint8_t* record, void* recProps) {
  if (cursor.activeRecordFilters <= 0) return readCurrentRecord(cursor, lock, record);
  std::uint8_t* internal = cursor.buffer->get();
  DBIResult r = readCurrentRecord(cursor, 0, internal);
  if (r != rc::OK) return r;
  if (!filtersAccept(cursor, internal)) return rc::NoCurrRec;
  if (lock != 0) return readCurrentRecord(cursor, lock, record);
  if (record) std::memcpy(record, internal, cursor.info().recordSize);
  if (recProps) std::memcpy(recProps, &cursor.buffer->recProps, sizeof(RECProps));
  return rc::OK;
}

void fetchField(TCursorData& cursor, TFieldEntry& field, std::uint8_t* record) {
  std::uint8_t& status = slotStatus(record, field);
  if (!(status & conv::kCounted)) {
    field.accessCount += cursor.options.prefetchScale;
    status |= conv::kCounted;
  }
  if (!(status & conv::kUnfetched)) return;
  // An open blob object in the slot stays there: only the present bit is read.
  const std::uint32_t blobId = field.isBlob() ? blobSlot(record, field) : 0;
  try {
    TCursorData& owner = owningCursor(cursor, record);
    DAORecordset& rs = recordsetForHeader(owner, record);
    conv::valueIntoSlot(field.daoType, field.desc.iUnits1, recordValues(owner, rs, field.daoPosition)[field.daoPosition],
                        status, slotData(record, field));
  } catch (...) {
    status = static_cast<std::uint8_t>(status & ~(conv::kPresent | conv::kUnfetched));
  }
  if (field.isBlob()) setBlobSlot(record, field, blobId);
}

// ---- writing ------------------------------------------------------------------------------

DBIResult updateErrorStatus(std::int32_t n, DBIResult fallback) noexcept {
  switch (n) {
    case 3001: return 0x2702;
    case 3008: case 3189: case 3261: return 0x2805;
    case 3009: case 3158: case 3186: case 3187: case 3188: case 3202: case 3211: case 3212: case 3218: case 3260:
    case 3262: case 3330: return 0x3303;
    case 3021: return 0x2205;
    case 3022: case 3058: case 3200: case 3332: return 0x2601;
    case 3026: case 3036: return 0x2503;
    case 3027: case 3033: case 3107: case 3108: case 3109: return 0x2902;
    case 3073: case 3086: case 3326: case 3328: case 3347: case 3348: return 0x2A0B;
    case 3100: case 3101: case 3201: return 0x2605;
    case 3113: case 3164: case 3327: return 0x2906;
    case 3162: case 3415: return 0x2604;
    case 3167: case 3329: return 0x2204;
    case 3175: case 3349: return 0x2701;
    case 3197: return 0x2813;
    case 3333: return 0x2606;
    default:
      if (n >= 3396 && n <= 3404) return 0x2605;
      return fallback;
  }
}

}  // namespace kbe
