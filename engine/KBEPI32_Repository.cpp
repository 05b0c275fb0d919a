// Catalogue lists about a database (tables, fields, indexes, validity checks,
// stored procedures and their parameters) and about the engine's table and
// field types. Each opens an information cursor over its list's descriptor
// and fills the rows when it is opened; the lists do not follow later changes.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "KBEPI32_Conversions.h"
#include "KBEPI32_CursorData.h"
#include "KBEPI32_InfoCursor.h"
#include "KBEPI32_Log.h"
#include "KBEPI32_Session.h"
#include "KBEPI32_Table.h"
#include "kbe/kbe.h"

namespace kbe {
namespace {

using kh::Variant;

// Jet's system-object bits of a table definition's Attributes.
constexpr std::uint32_t kSystemObject = 0x80000002;

// Writes the columns of one row by their names in the list's descriptor.
class RowWriter {
 public:
  RowWriter(const TInfoListDesc& desc, std::uint8_t* row) : desc_(desc), row_(row) {}
  RowWriter(const TInfoCursor& cursor, std::uint8_t* row)
      : desc_{const_cast<CURProps*>(cursor.props), const_cast<FLDDesc*>(cursor.fieldDescs), cursor.fieldCount()},
        row_(row) {}

  RowWriter& text(const char* name, const std::string& value) {
    const FLDDesc& c = column(name);
    copyZString(reinterpret_cast<char*>(row_ + c.iOffset), c.iLen, value.data(), value.size());
    return *this;
  }
  RowWriter& u16(const char* name, std::uint16_t value) { return bytes(name, &value, 2); }
  RowWriter& u32(const char* name, std::uint32_t value) { return bytes(name, &value, 4); }
  RowWriter& flag(const char* name, bool value) { return u16(name, value ? 0xFFFF : 0); }

 private:
  const FLDDesc& column(const char* name) const {
    for (std::uint16_t i = 0; i < desc_.fieldCount; ++i)
      if (std::strcmp(desc_.fields[i].szName, name) == 0) return desc_.fields[i];
    throw EKBEError(std::string("catalogue list has no column ") + name);
  }
  RowWriter& bytes(const char* name, const void* value, std::size_t size) {
    const FLDDesc& c = column(name);
    if (c.iLen != size) throw EKBEError(std::string("catalogue column of another size: ") + name);
    std::memcpy(row_ + c.iOffset, value, size);
    return *this;
  }

  TInfoListDesc desc_;
  std::uint8_t* row_;
};

// ---- the constant tables ------------------------------------------------------------

struct FieldTypeRow {
  std::uint16_t id;
  const char* name;
  const char* description;
  std::uint16_t physical, translated, subType, maxUnits1, unitSize;
  bool required, defaultValue;
  const char* native;
};

constexpr FieldTypeRow kFieldTypeRows[] = {
    {1, "Boolean", "Logical value, Yes/No", 4, 4, 0, 0, 1, true, false, "Yes/No"},
    {2, "Smallint", "2-byte integer; -32767..32766", 5, 5, 0, 0, 2, false, true, "Integer"},
    {3, "Byte", "Unsigned byte; 0..255", 5, 5, 0, 0, 1, false, true, "Byte"},
    {4, "Longint", "4-byte integer; +/-2147483647", 6, 6, 0, 0, 4, false, true, "Long"},
    {5, "Double", "8-byte floating point value", 7, 7, 0, 0, 8, false, true, "Double"},
    {6, "Currency", "BCD value; precise to 4 decimals", 7, 7, 21, 0, 8, false, true, "Currency"},
    {7, "Single", "4-byte floating point value", 7, 7, 0, 0, 4, false, true, "Single"},
    {8, "Date/Time", "date/time value; timestamp value", 11, 11, 0, 0, 4, false, true, "Date"},
    {9, "Text", "Variable length text; max 255", 1, 1, 0, 255, 1, false, true, "Text"},
    {10, "Blob", "Binary large object; untyped", 3, 3, 23, 0, 1, false, true, "Blob"},
    {11, "Memo", "Variable length text field", 3, 3, 22, 0, 1, false, true, "Memo"},
};
constexpr std::size_t kFieldTypeCount = std::size(kFieldTypeRows);

// The rows of "FIELDTYPES", built once.
const std::vector<std::uint8_t>& fieldTypeRows() {
  static const std::vector<std::uint8_t> rows = [] {
    const TInfoListDesc& desc = infoListDesc(InfoList::FieldTypes);
    const std::size_t size = desc.props->iRecSize;
    std::vector<std::uint8_t> out(size * kFieldTypeCount, 0);
    for (std::size_t i = 0; i < kFieldTypeCount; ++i) {
      const FieldTypeRow& r = kFieldTypeRows[i];
      RowWriter(desc, out.data() + i * size)
          .u16("ID", r.id)
          .text("NAME", r.name)
          .text("DESCRIPTION", r.description)
          .u16("PHYSICALTYPE", r.physical)
          .u16("XLTEDTYPE", r.translated)
          .u16("XLTEDSUBTYPE", r.subType)
          .u16("MAXUNITS1", r.maxUnits1)
          .u16("UNITSIZE", r.unitSize)
          .flag("REQOPTION", r.required)
          .flag("DEFAULTVAL", r.defaultValue)
          .flag("REFINTEG", true)
          .flag("OTHERCHECKS", true)
          .flag("CANBEINDEXED", true)
          .flag("MULTIPLE", true)
          .text("NATIVE NAME", r.native);
    }
    return out;
  }();
  return rows;
}

// The one row of "TABLETYPES", built once.
const std::vector<std::uint8_t>& tableTypeRow() {
  static const std::vector<std::uint8_t> row = [] {
    const TInfoListDesc& desc = infoListDesc(InfoList::TableTypes);
    std::vector<std::uint8_t> out(desc.props->iRecSize, 0);
    RowWriter w(desc, out.data());
    w.u16("ID", 1).text("NAME", "DAO").text("DESCRIPTION", "DAO").text("FORMAT", "DATABASE");
    for (const char* name : {"READWRITE", "CREATE", "VALCHECKS", "SECURITY", "REFINTEGRITY", "PRIMARYKEY", "INDEXING"})
      w.flag(name, true);
    w.u16("FLDTYPES", 11).u16("MAXFLDSPERTBL", 255).u16("MAXFLDNAMESIZE", 255).u16("TABLELEVEL", 3);
    return out;
  }();
  return row;
}

// ---- opening ----------------------------------------------------------------------------

// Opens a list: the cursor goes to the caller as soon as it exists, so that
// it stays with the caller even when filling fails; failures are converted.
template <class Fill>
DBIResult openList(hDBICur* out, InfoList list, Fill&& fill) noexcept {
  return trap([&]() -> DBIResult {
    if (!out) return rc::InvalidParam;
    auto cursor = TInfoCursor::open(list);
    TInfoCursor& c = *cursor;
    *out = cursor.release();
    fill(c);
    return rc::OK;
  });
}

// A list about a database: not a database handle gives 0x3001 and no cursor.
template <class Fill>
DBIResult openDatabaseList(hDBIDb db, hDBICur* out, InfoList list, Fill&& fill) noexcept {
  DAODatabase* database = databaseFromHandle(db);
  if (!database) return rc::NotSupported;
  return openList(out, list, [&](TInfoCursor& c) { fill(*database, c); });
}

TDatabaseOptions optionsOf(DAODatabase& db) {
  const TDatabaseData* data = databaseDataOf(&db);
  return data ? data->options : TDatabaseOptions{};
}

// Fills `c` with one row per item of `items`, through `row`.
template <class Items, class Row>
void fillRows(TInfoCursor& c, const Items& items, Row&& row) {
  c.SetRecordCount(static_cast<std::int32_t>(items.size()));
  if (items.empty()) return;
  c.allocateRecords();
  for (std::size_t i = 0; i < items.size(); ++i) row(items[i], c.row(static_cast<std::int32_t>(i)));
}

// A list over the description of a table (empty when there is no such table).
template <class Fill>
DBIResult openTableList(hDBIDb db, const char* tableName, hDBICur* out, InfoList list, Fill&& fill) noexcept {
  return openDatabaseList(db, out, list, [&](DAODatabase& database, TInfoCursor& c) {
    std::unique_ptr<DAOTableDef> table = table::findTableDef(database, tableName);
    if (!table) return;
    std::unique_ptr<TCursorInfoData> info = describeTable(*table, optionsOf(database));
    fill(c, *table, *info);
  });
}

}  // namespace
}  // namespace kbe

using namespace kbe;

KBE_API DBIResult DbiOpenTableList(hDBIDb db, BOOL16 extended, BOOL16 system, const char* /*pattern*/,
                                   hDBICur* cursor) {
  return openDatabaseList(db, cursor, extended ? InfoList::TablesExt : InfoList::Tables,
                          [&](DAODatabase& database, TInfoCursor& c) {
                            DAOTableDefs& defs = *database.GetTableDefs();
                            std::vector<std::unique_ptr<DAOTableDef>> tables;
                            const std::int16_t count = defs.GetCount();
                            for (std::int16_t i = 0; i < count; ++i) {
                              std::unique_ptr<DAOTableDef> t = defs.GetItem(Variant(std::int32_t{i}));
                              if (system || (static_cast<std::uint32_t>(t->GetAttributes()) & kSystemObject) == 0)
                                tables.push_back(std::move(t));
                            }
                            const TDatabaseOptions options = optionsOf(database);
                            fillRows(c, tables, [&](const std::unique_ptr<DAOTableDef>& t, std::uint8_t* row) {
                              const std::string name = conv::ansiOf(t->GetName());
                              RowWriter w(c, row);
                              w.text("NAME", name).text("FILENAME", name).text("TYPE", "TABLE");
                              if (!extended) return;
                              std::unique_ptr<TCursorInfoData> info = describeTable(*t, options);
                              w.u16("FIELDS", static_cast<std::uint16_t>(info->fieldCount))
                                  .u16("INDEXES", static_cast<std::uint16_t>(info->indexCount));
                            });
                          });
}

KBE_API DBIResult DbiOpenFieldList(hDBIDb db, const char* tableName, const char* /*driverType*/,
                                   BOOL16 /*physicalTypes*/, hDBICur* cursor) {
  return openTableList(db, tableName, cursor, InfoList::Fields, [](TInfoCursor& c, DAOTableDef&, TCursorInfoData& info) {
    fillRows(c, info.fields, [](const TFieldEntry& f, std::uint8_t* row) { std::memcpy(row, &f.desc, sizeof f.desc); });
  });
}

KBE_API DBIResult DbiOpenIndexList(hDBIDb db, const char* tableName, const char* /*driverType*/, hDBICur* cursor) {
  return openTableList(db, tableName, cursor, InfoList::Indexes,
                       [](TInfoCursor& c, DAOTableDef&, TCursorInfoData& info) {
                         fillRows(c, info.indexes, [](const TIndexEntry& e, std::uint8_t* row) {
                           std::memcpy(row, &e.desc, sizeof e.desc);
                         });
                       });
}

KBE_API DBIResult DbiOpenVchkList(hDBIDb db, const char* tableName, const char* /*driverType*/, hDBICur* cursor) {
  return openTableList(db, tableName, cursor, InfoList::ValChecks,
                       [](TInfoCursor& c, DAOTableDef& table, TCursorInfoData& info) {
                         std::vector<const TFieldEntry*> checked;
                         for (const TFieldEntry& f : info.fields)
                           if (f.required || f.hasDefault) checked.push_back(&f);
                         fillRows(c, checked, [&](const TFieldEntry* f, std::uint8_t* row) {
                           RowWriter w(c, row);
                           w.u16("FIELDNUM", f->desc.iFldNum).flag("REQUIRED", f->required).flag("HASDEFAULT",
                                                                                               f->hasDefault);
                           if (!f->hasDefault) return;
                           const Variant value =
                               table.GetFields()->GetItem(Variant(std::int32_t{f->daoPosition}))->GetDefaultValue();
                           w.text("DEFAULT", conv::ansiOf(value.type() == kh::VT_BSTR ? value.str() : value.toString()));
                         });
                       });
}

KBE_API DBIResult DbiOpenRintList(hDBIDb db, const char* /*tableName*/, const char* /*driverType*/, hDBICur* cursor) {
  return openDatabaseList(db, cursor, InfoList::RefIntegChecks, [](DAODatabase&, TInfoCursor&) {});
}

KBE_API DBIResult DbiOpenSecurityList(hDBIDb db, const char* tableName, const char* /*driverType*/,
                                      hDBICur* cursor) {
  return openDatabaseList(db, cursor, InfoList::RefIntegChecks,
                          [&](DAODatabase& database, TInfoCursor&) { table::findTableDef(database, tableName); });
}

KBE_API DBIResult DbiOpenTableTypesList(const char* /*driverType*/, hDBICur* cursor) {
  return openList(cursor, InfoList::TableTypes, [](TInfoCursor& c) {
    c.SetRecordCount(1);
    c.borrowRecords(tableTypeRow().data());
  });
}

KBE_API DBIResult DbiOpenFieldTypesList(const char* /*driverType*/, const char* /*tableType*/, hDBICur* cursor) {
  return openList(cursor, InfoList::FieldTypes, [](TInfoCursor& c) {
    c.SetRecordCount(static_cast<std::int32_t>(kFieldTypeCount));
    c.borrowRecords(fieldTypeRows().data());
  });
}

KBE_API DBIResult DbiGetFieldTypeDesc(const char* /*driverType*/, const char* /*tableType*/, const char* fieldType,
                                      void* desc) {
  return trap([&]() -> DBIResult {
    if (!fieldType || !desc) return rc::NotSupported;
    const std::vector<std::uint8_t>& rows = fieldTypeRows();
    const std::size_t size = rows.size() / kFieldTypeCount;
    for (std::size_t i = 0; i < kFieldTypeCount; ++i) {
      if (std::strcmp(kFieldTypeRows[i].name, fieldType) != 0) continue;
      std::memcpy(desc, rows.data() + i * size, size);
      return rc::OK;
    }
    return rc::NotSupported;
  });
}

KBE_API DBIResult DbiOpenSPList(hDBIDb db, BOOL16 /*extended*/, BOOL16 /*system*/, const char* qualifier,
                                hDBICur* cursor) {
  return openDatabaseList(db, cursor, InfoList::StoredProcs, [&](DAODatabase& database, TInfoCursor& c) {
    if (qualifier && *qualifier) return;
    DAOQueryDefs& defs = *database.GetQueryDefs();
    std::vector<std::string> names;
    const std::int16_t count = defs.GetCount();
    for (std::int16_t i = 0; i < count; ++i) names.push_back(conv::ansiOf(defs.GetItem(Variant(std::int32_t{i}))->GetName()));
    fillRows(c, names, [&](const std::string& name, std::uint8_t* row) { RowWriter(c, row).text("NAME", name); });
  });
}

KBE_API DBIResult DbiOpenSPParamList(hDBIDb db, const char* procName, BOOL16 /*physicalTypes*/,
                                     std::uint16_t /*overload*/, hDBICur* cursor) {
  return openDatabaseList(db, cursor, InfoList::Parameters, [&](DAODatabase& database, TInfoCursor& c) {
    std::unique_ptr<DAOQueryDef> query;
    try {
      query = database.GetQueryDefs()->GetItem(Variant(conv::utf8Of(procName ? procName : "")));
    } catch (...) {
      convertCurrentFailure();
      return;
    }
    DAOParameters& params = *query->GetParameters();
    std::vector<std::unique_ptr<DAOParameter>> list;
    const std::int16_t count = params.GetCount();
    for (std::int16_t i = 0; i < count; ++i) list.push_back(params.GetItem(Variant(std::int32_t{i})));
    std::uint16_t offset = 0;
    std::uint16_t number = 0;
    fillRows(c, list, [&](const std::unique_ptr<DAOParameter>& p, std::uint8_t* row) {
      FLDDesc type{};
      mapDaoType(type, p->GetType(), 0);
      RowWriter(c, row)
          .u16("PARAMNUM", ++number)
          .text("NAME", conv::ansiOf(p->GetName()))
          .u32("TYPE", 1)
          .u16("DATATYPE", type.iFldType)
          .u16("DATASUBTYPE", type.iSubType)
          .u16("UNITS1", static_cast<std::uint16_t>(type.iUnits1))
          .u16("LENGTH", type.iLen)
          .u16("NULLOFFSET", offset)
          .u16("OFFSET", static_cast<std::uint16_t>(offset + 2));
      offset = static_cast<std::uint16_t>(offset + 2 + type.iLen);
    });
  });
}

// No session repository: the handle is cleared.
KBE_API DBIResult DbiOpenSessionRepository(void* /*unused*/, hDBICur* cursor) {
  if (cursor) *cursor = nullptr;
  return rc::OK;
}
