// Table cursors and the table and index structure calls: DbiOpenTable opens a
// Jet table-type recordset on a table definition; DbiSwitchToIndex selects its
// index; key searches and ranges run on Seek (KBEPI32_Range.h); tables and
// indexes are created, renamed and deleted through the TableDefs and Indexes
// collections.
#include "KBEPI32_Conversions.h"
#include "KBEPI32_Table.h"

#include <cstring>
#include <string>
#include <vector>

#include "KBEPI32_CursorData.h"
#include "KBEPI32_Log.h"
#include "KBEPI32_Range.h"
#include "KBEPI32_Recordset.h"
#include "KBEPI32_Session.h"
#include "kbe/kbe.h"
#include "platform/wintypes.h"

namespace kbe::table {

std::string lookupName(const char* name) {
  std::string n = name ? name : "";
  if (n.size() >= 3 && n.compare(n.size() - 3, 3, ".DB") == 0) n.resize(n.size() - 3);
  return n;
}

std::unique_ptr<DAOTableDef> findTableDef(DAODatabase& db, const char* name) {
  try {
    return db.GetTableDefs()->GetItem(kh::Variant(conv::utf8Of(lookupName(name))));
  } catch (...) {
    convertCurrentFailure();
    return nullptr;
  }
}

}  // namespace kbe::table

namespace kbe {
namespace {

using kh::Variant;

// Status of the key and range calls when no index is active (no text of its own).
constexpr DBIResult kNoActiveIndex = 0x2A0C;

// DAO recordset options and attributes used here.
constexpr std::int32_t kOptionDenyRead = 2;
constexpr std::int32_t kOptionForwardOnly = 256;
constexpr std::int32_t kAttachedTable = 0x60000000;
constexpr std::int32_t kFailOnError = 128;
constexpr std::int32_t kAutoIncrement = 16;
constexpr std::int32_t kDescending = 1;
constexpr std::uint16_t kAutoIncrementSubType = 29;

// Whether a database's Connect string names an outside source ("ODBC;...",
// "dBASE III;..."). A Jet file opened with a password carries only its
// ";PWD=..." part, which leaves its tables local.
bool externalSource(const std::string& connect) { return !connect.empty() && connect[0] != ';'; }

// The text of a fixed-size character field that may lack its terminating zero.
std::string fixedText(const char* text, std::size_t capacity) { return std::string(text, strnlen(text, capacity)); }

std::string upper(const std::string& s) { return kh::win::ansiUpperString(s); }

// Runs `work(DAODatabase&)` on a database handle; anything else answers 0x3001.
template <class F>
DBIResult onDatabase(void* handle, F&& work) noexcept {
  return trap([&]() -> DBIResult {
    DAODatabase* db = databaseFromHandle(handle);
    if (!db) return rc::NotSupported;
    return work(*db);
  });
}

// The index entry named `given`: by its name first (letter case ignored,
// one leading '@' dropped), then as a list of leading key field names joined
// by '@'.
const TIndexEntry* findIndex(TCursorInfoData& info, const char* given) {
  std::string name = given;
  if (!name.empty() && name[0] == '@') name.erase(0, 1);
  name = upper(name);
  for (const TIndexEntry& e : info.indexes)
    if (upper(fixedText(e.desc.szName, sizeof e.desc.szName)) == name) return &e;
  std::vector<std::string> parts;
  for (std::size_t start = 0;;) {
    const std::size_t at = name.find('@', start);
    parts.push_back(name.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) break;
    start = at + 1;
  }
  for (const TIndexEntry& e : info.indexes) {
    const std::size_t keyCount = std::min<std::size_t>(e.desc.iFldsInKey, 16);
    if (parts.size() > keyCount) continue;
    bool match = true;
    for (std::size_t k = 0; k < parts.size() && match; ++k) {
      const unsigned fieldNo = e.desc.aiKeyFld[k];
      match = fieldNo >= 1 && fieldNo <= info.fields.size() && upper(info.fields[fieldNo - 1].desc.szName) == parts[k];
    }
    if (match) return &e;
  }
  return nullptr;
}

// A table cursor with an active index, for the key and range calls.
template <class F>
DBIResult onIndexedTable(void* handle, F&& work) noexcept {
  return onCursor(handle, [&](TCursorData& c) -> DBIResult {
    if (!c.isTableCursor()) return rc::NotSupported;
    if (!c.indexActive) return kNoActiveIndex;
    return work(c);
  });
}

void createIndex(DAOTableDef& table, const IDXDesc& d) {
  std::string name = fixedText(d.szName, sizeof d.szName);
  if (name == "_PrimaryKey") name = "PrimaryKey";
  std::unique_ptr<DAOIndex> index = table.CreateIndex(Variant(conv::utf8Of(name)));
  index->SetPrimary(d.bPrimary ? -1 : 0);
  index->SetUnique(d.bUnique ? -1 : 0);
  const std::uint16_t keyCount = std::min<std::uint16_t>(std::uint16_t{d.iFldsInKey}, 16);
  for (std::uint16_t k = 0; k < keyCount; ++k) {
    std::unique_ptr<DAOField> tableField =
        table.GetFields()->GetItem(Variant(static_cast<std::int32_t>(d.aiKeyFld[k]) - 1));
    std::unique_ptr<DAOField> keyField = index->CreateField(Variant(tableField->GetName()), DAOMissing(), DAOMissing());
    if (d.abDescending[k]) keyField->SetAttributes(keyField->GetAttributes() | kDescending);
    index->GetFields()->Append(*keyField);
  }
  table.GetIndexes()->Append(*index);
}

// The table definition for the index calls: the cursor's own when a cursor is
// given (`owned` stays empty), else the named one after a refresh.
DAOTableDef* indexTable(DAODatabase& db, void* cursor, const char* tableName, std::unique_ptr<DAOTableDef>& owned) {
  if (cursor) {
    TCursorData* c = cursorDataFromHandle(cursor);
    if (!c || !c->tableDef) throw EKBEError("Not a table cursor");
    return c->tableDef.get();
  }
  db.GetTableDefs()->Refresh();
  try {
    owned = db.GetTableDefs()->GetItem(Variant(conv::utf8Of(tableName ? tableName : "")));
  } catch (...) {
    convertCurrentFailure();
  }
  return owned.get();
}

}  // namespace
}  // namespace kbe

using namespace kbe;

KBE_API DBIResult DbiOpenTable(hDBIDb db, const char* tableName, const char* /*driverType*/, const char* indexName,
                               const char* indexTagName, std::uint16_t indexId, std::uint32_t openMode,
                               std::uint32_t shareMode, std::uint32_t /*translateMode*/, BOOL16 uniDirectional,
                               void* /*optParams*/, hDBICur* cursor) {
  hDBICur opened = nullptr;
  const DBIResult r = onDatabase(db, [&](DAODatabase& database) -> DBIResult {
    if (!cursor) return rc::InvalidParam;
    std::unique_ptr<DAOTableDef> def = table::findTableDef(database, tableName);
    if (!def) {
      logLine("DbiOpenTable: no such table " + std::string(tableName ? tableName : ""));
      return rc::NoSuchTable;
    }
    std::int32_t options = 0;
    if (openMode == 1) options |= daors::ReadOnly;
    if (shareMode == 1) options |= kOptionDenyRead;
    if (uniDirectional) options |= kOptionForwardOnly;
    std::int32_t type = daors::Table;
    if (externalSource(database.GetConnect()) || (def->GetAttributes() & kAttachedTable)) {
      type = daors::Dynaset;
      options |= daors::SeeChanges;
    }
    std::unique_ptr<DAORecordset> rs = def->OpenRecordset(Variant(type), Variant(options));
    const TDatabaseData* dbData = databaseDataOf(&database);
    const TDatabaseOptions dbOptions = dbData ? dbData->options : TDatabaseOptions{};
    if (rs->GetUpdatable()) {
      try {
        rs->SetLockEdits(dbOptions.lockEdits ? -1 : 0);
      } catch (...) {
        convertCurrentFailure();
      }
    }
    auto definition = std::make_unique<TCursorDefData>();
    TCursorSpec setup;
    setup.definition = definition.get();
    setup.options = dbOptions;
    setup.database = &database;
    setup.tableDef = std::move(def);
    setup.forwardOnly = (options & kOptionForwardOnly) != 0;
    opened = makeCursor(std::move(rs), std::move(setup));
    definition.release();  // the cursor holds the only reference now
    return rc::OK;
  });
  if (cursor) *cursor = opened;
  if (r != rc::OK || !opened || !indexName || !*indexName) return r;
  return DbiSwitchToIndex(cursor, indexName, indexTagName, indexId, 0);
}

KBE_API DBIResult DbiSwitchToIndex(hDBICur* cursor, const char* indexName, const char* /*tagName*/,
                                   std::uint16_t /*indexId*/, BOOL16 currentRecord) {
  if (!cursor) return rc::NotSupported;
  return onCursor(*cursor, [&](TCursorData& c) -> DBIResult {
    if (!c.isTableCursor()) return rc::NotSupported;
    DAORecordset& rs = *c.recordset;
    if (!indexName || !*indexName) {
      if (!c.indexActive) return rc::NotSupported;
      range::reset(c);
      rs.SetIndex("");
      c.indexActive = false;
      return rc::OK;
    }
    bool keep = currentRecord != 0;
    Variant saved;
    if (keep) {
      try {
        saved = rs.GetBookmark();
      } catch (...) {
        convertCurrentFailure();
        keep = false;
      }
    }
    TCursorInfoData& info = c.info();
    const TIndexEntry* entry = findIndex(info, indexName);
    if (!entry) return rc::NoSuchIndex;
    range::reset(c);
    std::string daoName = fixedText(entry->desc.szName, sizeof entry->desc.szName);
    if (c.options.renamePrimary && daoName == "_PrimaryKey") daoName = "PrimaryKey";
    rs.SetIndex(conv::utf8Of(daoName));
    c.indexActive = true;
    if (keep) {
      rs.SetBookmark(saved);
    } else if (!rs.GetBOF()) {
      // Choosing an index makes its first record current; the cursor goes
      // before it, so that the next DbiGetNextRecord reads that record.
      try {
        rs.MovePrevious();
      } catch (...) {
        convertCurrentFailure();
      }
    }
    capturePosition(c);
    const int keyCount = std::min<int>(entry->desc.iFldsInKey, 16);
    for (int i = 0; i < keyCount; ++i) {
      const unsigned fieldNo = entry->desc.aiKeyFld[i];
      if (fieldNo < 1 || fieldNo > info.fields.size()) throw EKBEError("Index key field outside the record");
      c.keyFieldEntries[i] = static_cast<std::uint8_t>(fieldNo - 1);
      c.keyFieldPositions[i] = static_cast<std::uint8_t>(info.fields[fieldNo - 1].daoPosition);
    }
    c.keyFieldCount = keyCount;
    return rc::OK;
  });
}

KBE_API DBIResult DbiSetToKey(hDBICur cursor, std::uint32_t condition, BOOL16 directKey, std::uint16_t fields,
                              std::uint16_t partialLength, const std::uint8_t* key) {
  return onIndexedTable(cursor, [&](TCursorData& c) -> DBIResult {
    if (directKey || !key) return rc::NotSupported;
    DAORecordset& rs = *c.recordset;
    const int count = range::keyFieldsGiven(c, fields, partialLength);
    const range::KeyValues values = range::keyValues(c, key, count);
    const char* comparison = condition == 1 ? ">" : condition == 2 ? ">=" : partialLength == 0 ? "=" : ">=";
    rs.Seek(comparison, values);
    capturePosition(c);
    if (range::acceptSeek(c, false, values, count, partialLength)) return rc::OK;
    if (condition != 1 && condition != 2) return rc::RecNotFound;
    if (rs.GetBOF() && rs.GetEOF()) return rc::EOF_;
    try {
      rs._30_MoveLast();
    } catch (const EDAOError& e) {
      // Every record deleted: as empty as BOF and EOF together.
      if (kh::DaoErrorNumber(e.errorCode()) != 3021) throw;
      convertCurrentFailure();
      return rc::EOF_;
    }
    capturePosition(c);
    return rc::OK;
  });
}

KBE_API DBIResult DbiGetRecordForKey(hDBICur cursor, BOOL16 directKey, std::uint16_t fields,
                                     std::uint16_t partialLength, const std::uint8_t* key, std::uint8_t* record) {
  const DBIResult r = onIndexedTable(cursor, [&](TCursorData& c) -> DBIResult {
    if (directKey || !key) return rc::NotSupported;
    const int count = range::keyFieldsGiven(c, fields, partialLength);
    const range::KeyValues values = range::keyValues(c, key, count);
    const bool whole = partialLength == 0 && fields == c.keyFieldCount;
    c.recordset->Seek(whole ? "=" : ">=", values);
    capturePosition(c);
    return range::acceptSeek(c, true, values, count, partialLength) ? rc::OK : rc::RecNotFound;
  });
  if (r != rc::OK) return r;
  return rs::getRecord(cursor, 0, record, nullptr);
}

KBE_API DBIResult DbiSetRange(hDBICur cursor, BOOL16 keyItself, std::uint16_t fields1, std::uint16_t partialLength1,
                              const std::uint8_t* key1, BOOL16 inclusive1, std::uint16_t fields2,
                              std::uint16_t partialLength2, const std::uint8_t* key2, BOOL16 inclusive2) {
  const DBIResult r = onIndexedTable(cursor, [&](TCursorData& c) -> DBIResult {
    c.rangeKeyPositions = c.keyFieldPositions;
    c.rangeKeyCount = c.keyFieldCount;
    if (keyItself) {
      if (fields1 == 0 && fields2 == 0) {
        range::reset(c);
        return rc::OK;
      }
      return rc::NotSupported;
    }
    c.highRange = false;
    c.highKeyCount = 0;
    c.highKey.fill(DAOMissing());
    if (key2 && fields2 > 0) {
      c.highKey = range::keyValues(c, key2, range::keyFieldsGiven(c, fields2, partialLength2));
      c.highKeyCount = static_cast<std::int16_t>(fields2);
      c.highInclusive = inclusive2 != 0;
      c.highRange = true;
    }
    c.lowRange = false;
    c.lowKeyCount = 0;
    c.lowKey.fill(DAOMissing());
    if (key1 && fields1 > 0) {
      c.lowKey = range::keyValues(c, key1, range::keyFieldsGiven(c, fields1, partialLength1));
      c.lowKeyCount = static_cast<std::int16_t>(fields1);
      c.lowInclusive = inclusive1 != 0;
      c.lowRange = true;
    }
    return rc::OK;
  });
  if (r != rc::OK || keyItself) return r;
  rs::setToBegin(cursor);
  return rc::OK;
}

KBE_API DBIResult DbiResetRange(hDBICur cursor) {
  return onCursor(cursor, [](TCursorData& c) {
    range::reset(c);
    return rc::OK;
  });
}

// Keys in an index's own format are not offered.
KBE_API DBIResult DbiExtractKey(hDBICur /*cursor*/, const std::uint8_t* /*record*/, std::uint8_t* /*key*/) {
  return rc::NotSupported;
}

KBE_API DBIResult DbiEmptyTable(hDBIDb db, hDBICur cursor, const char* tableName, const char* /*driverType*/) {
  return trap([&]() -> DBIResult {
    if (cursor) {
      TCursorData* c = cursorDataFromHandle(cursor);
      if (!c) return rc::NotSupported;
      DAORecordset& rs = *c->recordset;
      if (!(rs.GetBOF() && rs.GetEOF())) {
        rs.MoveFirst();
        while (!rs.GetEOF()) {
          rs.Delete();
          rs.MoveNext();
        }
      }
      capturePosition(*c);
      return rc::OK;
    }
    DAODatabase* database = databaseFromHandle(db);
    if (!database) return rc::NotSupported;
    const std::string name = tableName ? tableName : "";
    // A bracketed Jet name cannot hold a closing bracket; such a name names no table.
    if (name.empty() || name.find(']') != std::string::npos) return rc::NoSuchTable;
    database->Execute(conv::utf8Of("Delete * from [" + name + "]"), Variant(kFailOnError));
    return rc::OK;
  });
}

KBE_API DBIResult DbiCreateTable(hDBIDb db, BOOL16 overwrite, const CRTblDesc* desc) {
  return onDatabase(db, [&](DAODatabase& database) -> DBIResult {
    if (!desc || (desc->iFldCount && !desc->pfldDesc) || (desc->iIdxCount && !desc->pidxDesc))
      return rc::InvalidParam;
    const std::string name = conv::utf8Of(fixedText(desc->szTblName, sizeof desc->szTblName));
    DAOTableDefs& tables = *database.GetTableDefs();
    tables.Refresh();
    if (overwrite) {
      try {
        tables.Delete(name);
      } catch (...) {
        convertCurrentFailure();
      }
    }
    std::unique_ptr<DAOTableDef> table = database.CreateTableDef(Variant(name), DAOMissing(), DAOMissing(), DAOMissing());
    for (std::uint16_t i = 0; i < desc->iFldCount; ++i) {
      const FLDDesc& f = desc->pfldDesc[i];
      std::unique_ptr<DAOField> field =
          table->CreateField(Variant(conv::utf8Of(fixedText(f.szName, sizeof f.szName))),
                             Variant(static_cast<std::int16_t>(f.iFldType - 1024)), Variant(std::int32_t{f.iLen}));
      if (f.iSubType == kAutoIncrementSubType) field->SetAttributes(field->GetAttributes() | kAutoIncrement);
      table->GetFields()->Append(*field);
    }
    for (std::uint16_t i = 0; i < desc->iIdxCount; ++i) createIndex(*table, desc->pidxDesc[i]);
    tables.Append(*table);
    return rc::OK;
  });
}

KBE_API DBIResult DbiDeleteTable(hDBIDb db, const char* tableName, const char* /*driverType*/) {
  return onDatabase(db, [&](DAODatabase& database) {
    database.GetTableDefs()->Delete(conv::utf8Of(tableName ? tableName : ""));
    return rc::OK;
  });
}

KBE_API DBIResult DbiRenameTable(hDBIDb db, const char* oldName, const char* /*driverType*/, const char* newName) {
  return onDatabase(db, [&](DAODatabase& database) {
    database.GetTableDefs()->GetItem(Variant(conv::utf8Of(oldName ? oldName : "")))->SetName(conv::utf8Of(newName ? newName : ""));
    return rc::OK;
  });
}

KBE_API DBIResult DbiAddIndex(hDBIDb db, hDBICur cursor, const char* tableName, const char* /*driverType*/,
                              const IDXDesc* desc, const char* /*keyViolationTable*/) {
  return onDatabase(db, [&](DAODatabase& database) -> DBIResult {
    if (!desc) return rc::InvalidParam;
    std::unique_ptr<DAOTableDef> owned;
    DAOTableDef* table = indexTable(database, cursor, tableName, owned);
    if (!table) return rc::NoSuchTable;
    createIndex(*table, *desc);
    return rc::OK;
  });
}

KBE_API DBIResult DbiDeleteIndex(hDBIDb db, hDBICur cursor, const char* tableName, const char* /*driverType*/,
                                 const char* indexName, const char* /*tagName*/, std::uint16_t indexId) {
  return onDatabase(db, [&](DAODatabase& database) -> DBIResult {
    std::unique_ptr<DAOTableDef> owned;
    DAOTableDef* table = indexTable(database, cursor, tableName, owned);
    if (!table) return rc::NoSuchTable;
    DAOIndexes& indexes = *table->GetIndexes();
    std::string name = indexName && *indexName ? conv::utf8Of(indexName) : std::string();
    if (name.empty()) name = indexes.GetItem(Variant(static_cast<std::int32_t>(indexId) - 1))->GetName();
    indexes.Delete(name);
    return rc::OK;
  });
}
