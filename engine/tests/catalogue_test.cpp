// Catalogue lists through the exports: tables, fields, indexes, validity
// checks, stored procedures and parameters of a real password file, and the
// constant lists of table and field types.
#include <cstring>
#include <string>
#include <vector>

#include "program_db.h"

namespace {

using kbetest::ProgramDb;
using Row = std::vector<std::uint8_t>;

class Catalogue : public ProgramDb {
 protected:
  // A table with a required field and a default value, and a stored query
  // with three text parameters.
  bool extendDatabase(kh::dao::Database& d) override {
    using kh::Variant;
    kh::ComPtr<kh::dao::TableDefs> tables;
    kh::ComPtr<kh::dao::_TableDef> table;
    kh::ComPtr<kh::dao::Fields> fields;
    kh::ComPtr<kh::dao::_Field> field;
    kh::ComPtr<kh::dao::_QueryDef> query;
    return kh::SUCCEEDED(d.Execute("CREATE TABLE Checked (A TEXT(10) NOT NULL, B LONG, C TEXT(10))",
                                   Variant(std::int32_t{kh::dao::dbFailOnError}))) &&
           kh::SUCCEEDED(d.get_TableDefs(tables.put())) &&
           kh::SUCCEEDED(tables->get_Item(Variant("Checked"), table.put())) &&
           kh::SUCCEEDED(table->get_Fields(fields.put())) && kh::SUCCEEDED(fields->get_Item(Variant("B"), field.put())) &&
           kh::SUCCEEDED(field->put_DefaultValue(Variant("5"))) &&
           kh::SUCCEEDED(d.CreateQueryDef(Variant("ThreeTexts"),
                                          Variant("PARAMETERS A Text, B Text, C Text; SELECT * FROM Groups WHERE Name IN (A, B, C)"),
                                          query.put()));
  }


  // Every row of a list cursor, and its descriptors by name.
  std::vector<Row> rows(hDBICur c) {
    kbe::CURProps props{};
    EXPECT_EQ(getCursorProps(c, &props), 0);
    descs.assign(props.iFields, kbe::FLDDesc{});
    EXPECT_EQ(getFieldDescs(c, descs.data()), 0);
    std::vector<Row> out;
    Row row(props.iRecBufSize);
    while (getNext(c, 0, row.data(), nullptr) == 0) out.push_back(row);
    return out;
  }
  const kbe::FLDDesc& col(const char* name) {
    for (const kbe::FLDDesc& d : descs)
      if (std::strcmp(d.szName, name) == 0) return d;
    ADD_FAILURE() << "no column " << name;
    return descs.at(0);
  }
  std::string str(const Row& r, const char* name) { return reinterpret_cast<const char*>(r.data() + col(name).iOffset); }
  std::uint16_t u16(const Row& r, const char* name) {
    std::uint16_t v;
    std::memcpy(&v, r.data() + col(name).iOffset, 2);
    return v;
  }
  hDBICur keep(hDBICur c) {
    cursors.push_back(c);
    return c;
  }
  std::vector<std::string> names(const std::vector<Row>& rs) {
    std::vector<std::string> out;
    for (const Row& r : rs) out.push_back(str(r, "NAME"));
    return out;
  }

  std::vector<kbe::FLDDesc> descs;
  decltype(&::DbiOpenTable) openTable = KBE_FN(engine, DbiOpenTable, 6);
  decltype(&::DbiOpenTableList) openTableList = KBE_FN(engine, DbiOpenTableList, 33);
  decltype(&::DbiOpenIndexList) openIndexList = KBE_FN(engine, DbiOpenIndexList, 35);
  decltype(&::DbiOpenFieldList) openFieldList = KBE_FN(engine, DbiOpenFieldList, 36);
  decltype(&::DbiOpenVchkList) openVchkList = KBE_FN(engine, DbiOpenVchkList, 38);
  decltype(&::DbiOpenRintList) openRintList = KBE_FN(engine, DbiOpenRintList, 39);
  decltype(&::DbiOpenSecurityList) openSecurityList = KBE_FN(engine, DbiOpenSecurityList, 46);
  decltype(&::DbiOpenTableTypesList) openTableTypesList = KBE_FN(engine, DbiOpenTableTypesList, 84);
  decltype(&::DbiOpenFieldTypesList) openFieldTypesList = KBE_FN(engine, DbiOpenFieldTypesList, 86);
  decltype(&::DbiGetFieldTypeDesc) getFieldTypeDesc = KBE_FN(engine, DbiGetFieldTypeDesc, 87);
  decltype(&::DbiGetIndexDescs) getIndexDescs = KBE_FN(engine, DbiGetIndexDescs, 1067);
  decltype(&::DbiOpenSPList) openSPList = KBE_FN(engine, DbiOpenSPList, 1120);
  decltype(&::DbiOpenSPParamList) openSPParamList = KBE_FN(engine, DbiOpenSPParamList, 1121);
  decltype(&::DbiOpenSessionRepository) openSessionRepository = KBE_FN(engine, DbiOpenSessionRepository, 1225);
};

TEST_F(Catalogue, TablesWithAndWithoutSystemTables) {
  hDBICur c = nullptr;
  ASSERT_EQ(openTableList(db, 0, 0, nullptr, &c), 0);
  keep(c);
  std::vector<Row> plain = rows(c);
  kbe::CURProps props{};
  ASSERT_EQ(getCursorProps(c, &props), 0);
  EXPECT_STREQ(props.szName, "TABLES");
  EXPECT_EQ(+props.iRecSize, 574);
  EXPECT_EQ(names(plain), (std::vector<std::string>{"Groups", "Passwords", "Options", "Files", "Checked"}));
  for (const Row& r : plain) {
    EXPECT_EQ(str(r, "FILENAME"), str(r, "NAME"));
    EXPECT_EQ(str(r, "TYPE"), "TABLE");
  }
  ASSERT_EQ(openTableList(db, 0, 1, nullptr, &c), 0);
  keep(c);
  const std::vector<Row> withSystem = rows(c);
  EXPECT_GT(withSystem.size(), plain.size());
  EXPECT_EQ(openTableList(nullptr, 0, 0, nullptr, &c), 0x3001);

  // The extended list counts fields and indexes as a table cursor reports them.
  ASSERT_EQ(openTableList(db, 1, 0, nullptr, &c), 0);
  keep(c);
  ASSERT_EQ(getCursorProps(c, &props), 0);
  EXPECT_STREQ(props.szName, "TABLES(EXT)");
  for (const Row& r : rows(c)) {
    SCOPED_TRACE(str(r, "NAME"));
    hDBICur t = nullptr;
    ASSERT_EQ(openTable(db, str(r, "NAME").c_str(), nullptr, nullptr, nullptr, 0, 0, 0, 0, 0, nullptr, &t), 0);
    kbe::CURProps tp{};
    EXPECT_EQ(getCursorProps(t, &tp), 0);
    EXPECT_EQ(u16(r, "FIELDS"), +tp.iFields);
    EXPECT_EQ(u16(r, "INDEXES"), +tp.iIndexes);
    EXPECT_EQ(closeCursor(&t), 0);
  }
}

TEST_F(Catalogue, FieldsAndIndexesAsTheCursorReportsThem) {
  hDBICur t = nullptr;
  ASSERT_EQ(openTable(db, "Passwords", nullptr, nullptr, nullptr, 0, 0, 0, 0, 0, nullptr, &t), 0);
  keep(t);
  kbe::CURProps tp{};
  ASSERT_EQ(getCursorProps(t, &tp), 0);
  std::vector<kbe::FLDDesc> fieldDescs(tp.iFields);
  ASSERT_EQ(getFieldDescs(t, fieldDescs.data()), 0);
  std::vector<kbe::IDXDesc> indexDescs(tp.iIndexes);
  ASSERT_EQ(getIndexDescs(t, indexDescs.data()), 0);

  for (const char* name : {"Passwords", "Passwords.DB"}) {
    SCOPED_TRACE(name);
    hDBICur c = nullptr;
    ASSERT_EQ(openFieldList(db, name, nullptr, 0, &c), 0);
    keep(c);
    const std::vector<Row> fields = rows(c);
    ASSERT_EQ(fields.size(), fieldDescs.size());
    for (std::size_t i = 0; i < fields.size(); ++i)
      EXPECT_EQ(std::memcmp(fields[i].data(), &fieldDescs[i], sizeof(kbe::FLDDesc)), 0) << i;
    ASSERT_EQ(openIndexList(db, name, nullptr, &c), 0);
    keep(c);
    const std::vector<Row> indexes = rows(c);
    ASSERT_EQ(indexes.size(), indexDescs.size());
    for (std::size_t i = 0; i < indexes.size(); ++i)
      EXPECT_EQ(std::memcmp(indexes[i].data(), &indexDescs[i], sizeof(kbe::IDXDesc)), 0) << i;
  }
  // An ending in small letters is part of the name; a missing table gives an empty list.
  for (const char* name : {"Passwords.db", "Nowhere"}) {
    SCOPED_TRACE(name);
    hDBICur c = nullptr;
    ASSERT_EQ(openFieldList(db, name, nullptr, 0, &c), 0);
    keep(c);
    std::vector<std::uint8_t> row(62);
    EXPECT_EQ(getNext(c, 0, row.data(), nullptr), 0x2202);
    ASSERT_EQ(openIndexList(db, name, nullptr, &c), 0);
    keep(c);
    EXPECT_EQ(rows(c).size(), 0u);
  }
  hDBICur c = nullptr;
  EXPECT_EQ(openFieldList(t, "Passwords", nullptr, 0, &c), 0x3001);
  EXPECT_EQ(openIndexList(nullptr, "Passwords", nullptr, &c), 0x3001);
}

TEST_F(Catalogue, ValidityChecksRequiredAndDefaults) {
  hDBIDb checked = openAlias(aliasName("2"), {{"USE DEFAULTS", "TRUE"}, {"USE CONSTRAINTS", "TRUE"}});
  hDBICur c = nullptr;
  ASSERT_EQ(openVchkList(checked, "Checked", nullptr, &c), 0);
  keep(c);
  const std::vector<Row> checks = rows(c);
  ASSERT_EQ(checks.size(), 2u);
  EXPECT_EQ(u16(checks[0], "FIELDNUM"), 1);
  EXPECT_EQ(u16(checks[0], "REQUIRED"), 0xFFFF);
  EXPECT_EQ(u16(checks[0], "HASDEFAULT"), 0);
  EXPECT_EQ(u16(checks[1], "FIELDNUM"), 2);
  EXPECT_EQ(u16(checks[1], "REQUIRED"), 0);
  EXPECT_EQ(u16(checks[1], "HASDEFAULT"), 0xFFFF);
  EXPECT_EQ(str(checks[1], "DEFAULT"), "5");
  ASSERT_EQ(openVchkList(checked, "Nowhere", nullptr, &c), 0);
  keep(c);
  EXPECT_EQ(rows(c).size(), 0u);
  EXPECT_EQ(openVchkList(nullptr, "Checked", nullptr, &c), 0x3001);

  // Referential integrity and security lists are always empty.
  for (auto open : {openRintList, openSecurityList}) {
    ASSERT_EQ(open(db, "Passwords", nullptr, &c), 0);
    keep(c);
    kbe::CURProps props{};
    ASSERT_EQ(getCursorProps(c, &props), 0);
    EXPECT_STREQ(props.szName, "REFINTEGCHECKS");
    EXPECT_EQ(rows(c).size(), 0u);
    EXPECT_EQ(open(nullptr, "Passwords", nullptr, &c), 0x3001);
  }
}

TEST_F(Catalogue, StoredProceduresAndParameters) {
  hDBICur c = nullptr;
  ASSERT_EQ(openSPList(db, 0, 0, nullptr, &c), 0);
  keep(c);
  EXPECT_EQ(names(rows(c)), (std::vector<std::string>{"GroupNames", "GroupByName", "ThreeTexts"}));
  ASSERT_EQ(openSPList(db, 0, 0, "dbo", &c), 0);
  keep(c);
  EXPECT_EQ(rows(c).size(), 0u);

  ASSERT_EQ(openSPParamList(db, "ThreeTexts", 0, 0, &c), 0);
  keep(c);
  const std::vector<Row> params = rows(c);
  ASSERT_EQ(params.size(), 3u);
  const std::uint16_t nulls[] = {0, 513, 1026}, values[] = {2, 515, 1028};
  for (std::size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(u16(params[i], "PARAMNUM"), i + 1);
    EXPECT_EQ(u16(params[i], "DATATYPE"), 1);
    EXPECT_EQ(u16(params[i], "UNITS1"), 510);
    EXPECT_EQ(u16(params[i], "LENGTH"), 511);
    EXPECT_EQ(u16(params[i], "NULLOFFSET"), nulls[i]);
    EXPECT_EQ(u16(params[i], "OFFSET"), values[i]);
  }
  EXPECT_EQ(str(params[1], "NAME"), "B");
  ASSERT_EQ(openSPParamList(db, "Nothing", 0, 0, &c), 0);
  keep(c);
  EXPECT_EQ(rows(c).size(), 0u);
  EXPECT_EQ(openSPParamList(nullptr, "ThreeTexts", 0, 0, &c), 0x3001);
  EXPECT_EQ(openSPList(nullptr, 0, 0, nullptr, &c), 0x3001);
  c = reinterpret_cast<hDBICur>(1);
  EXPECT_EQ(openSessionRepository(nullptr, &c), 0);
  EXPECT_EQ(c, nullptr);
}

TEST_F(Catalogue, TableAndFieldTypes) {
  hDBICur c = nullptr;
  ASSERT_EQ(openTableTypesList(nullptr, &c), 0);
  keep(c);
  const std::vector<Row> types = rows(c);
  ASSERT_EQ(types.size(), 1u);
  EXPECT_EQ(str(types[0], "NAME"), "DAO");
  EXPECT_EQ(str(types[0], "FORMAT"), "DATABASE");
  EXPECT_EQ(u16(types[0], "INDEXING"), 0xFFFF);
  EXPECT_EQ(u16(types[0], "RESTRUCTURE"), 0);
  EXPECT_EQ(u16(types[0], "FLDTYPES"), 11);
  EXPECT_EQ(u16(types[0], "MAXFLDSPERTBL"), 255);
  EXPECT_EQ(u16(types[0], "TABLELEVEL"), 3);

  ASSERT_EQ(openFieldTypesList(nullptr, nullptr, &c), 0);
  keep(c);
  const std::vector<Row> fieldTypes = rows(c);
  ASSERT_EQ(fieldTypes.size(), 11u);
  EXPECT_EQ(names(fieldTypes), (std::vector<std::string>{"Boolean", "Smallint", "Byte", "Longint", "Double",
                                                         "Currency", "Single", "Date/Time", "Text", "Blob",
                                                         "Memo"}));
  const Row& currency = fieldTypes[5];
  EXPECT_EQ(u16(currency, "XLTEDSUBTYPE"), 21);
  EXPECT_EQ(str(currency, "DESCRIPTION"), "BCD value; precise to 4 decimal");  // 31 characters fit
  EXPECT_EQ(str(currency, "NATIVE NAME"), "Currency");
  EXPECT_EQ(u16(fieldTypes[0], "REQOPTION"), 0xFFFF);
  EXPECT_EQ(u16(fieldTypes[0], "DEFAULTVAL"), 0);
  EXPECT_EQ(u16(fieldTypes[8], "MAXUNITS1"), 255);
  EXPECT_EQ(u16(fieldTypes[8], "CREATABLE"), 0);
  EXPECT_EQ(u16(fieldTypes[8], "CANBEINDEXED"), 0xFFFF);

  Row desc(164, 0xEE);
  ASSERT_EQ(getFieldTypeDesc(nullptr, nullptr, "Text", desc.data()), 0);
  EXPECT_EQ(desc, fieldTypes[8]);
  Row untouched(164, 0xEE);
  EXPECT_EQ(getFieldTypeDesc(nullptr, nullptr, "TEXT", untouched.data()), 0x3001);
  EXPECT_EQ(untouched, Row(164, 0xEE));
}

}  // namespace
