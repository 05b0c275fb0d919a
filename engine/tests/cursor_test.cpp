// Recordset cursors over query results: descriptors and record buffers,
// navigation and bookmarks, and record changes, on a real password database
// file made through the store in a temporary directory.
#include <cstring>
#include <string>
#include <vector>

#include "../../store/include/store/dao.h"
#include "engine_fixture.h"
#include "platform/registry.h"

namespace {

using kbetest::Engine;
using kbetest::TempRoot;
using namespace kbe;
namespace dao = kh::dao;

// ---- the database -------------------------------------------------------------------

// The program's schema (Groups, Passwords) and a table Items with a required,
// unique field and defaults, with rows: Groups 1 and 2; accounts "Acct 1" to
// "Acct 5" in group 1 (PasswordID 1 to 5) and "Other" in group 2.
bool createStore(const std::string& path, const std::string& password) {
  kh::win::HMODULE store = kh::win::LoadLibraryA((std::string(KH_ENGINE_DIR) + "/libkhstore.so").c_str());
  if (!store) return false;
  using GetClassObject = kh::HRESULT (*)(const kh::GUID&, const kh::GUID&, void**);
  auto getClassObject = reinterpret_cast<GetClassObject>(kh::win::GetProcAddress(store, "khStoreGetClassObject"));
  bool ok = getClassObject != nullptr;
  {
    const kh::GUID privateEngine = {0x00000011, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
    kh::ComPtr<dao::IClassFactory> factory;
    kh::ComPtr<dao::_DBEngine> engine;
    kh::ComPtr<dao::Workspaces> workspaces;
    kh::ComPtr<dao::Workspace> ws;
    kh::ComPtr<dao::Database> db;
    ok = ok &&
         kh::SUCCEEDED(getClassObject(privateEngine, dao::IClassFactory::kIID, reinterpret_cast<void**>(factory.put()))) &&
         kh::SUCCEEDED(factory->CreateInstance(nullptr, dao::_DBEngine::kIID, reinterpret_cast<void**>(engine.put()))) &&
         kh::SUCCEEDED(engine->get_Workspaces(workspaces.put())) &&
         kh::SUCCEEDED(workspaces->get_Item(kh::Variant(std::int32_t{0}), ws.put())) &&
         kh::SUCCEEDED(ws->CreateDatabase(path, std::string(dao::dbLangGeneral) + ";pwd=" + password,
                                          kh::Variant(std::int32_t{0}), db.put()));
    const char* statements[] = {
        "CREATE TABLE Groups (GroupID COUNTER, Name TEXT(50), CONSTRAINT Groups PRIMARY KEY (GroupID))",
        "CREATE TABLE Passwords (GroupID LONG, PasswordID COUNTER, Description TEXT(100), ID TEXT(100), "
        "Password TEXT(100), ExpireDate DATETIME, AssignDate DATETIME, URL TEXT(100), KeySequence TEXT(100), "
        "ShowAccount BIT, Notes MEMO, CONSTRAINT PrimaryKey PRIMARY KEY (GroupID, PasswordID))",
        "CREATE INDEX GroupKey ON Passwords (GroupID)",
        "CREATE INDEX PasswordKey ON Passwords (PasswordID)",
        "CREATE TABLE Items (ItemID COUNTER, Code TEXT(10) NOT NULL, Label TEXT(20), Flag BIT, "
        "CONSTRAINT PK PRIMARY KEY (ItemID))",
        "CREATE UNIQUE INDEX CodeKey ON Items (Code)",
        "INSERT INTO Groups (Name) VALUES ('Email')",
        "INSERT INTO Groups (Name) VALUES ('Banks')",
        "INSERT INTO Passwords (GroupID, Description, ID, ShowAccount, Notes) "
        "VALUES (1, 'Acct 1', 'user1', True, 'first notes')",
        "INSERT INTO Passwords (GroupID, Description, ID, ShowAccount) VALUES (1, 'Acct 2', 'user2', False)",
        "INSERT INTO Passwords (GroupID, Description, ID, ExpireDate) VALUES (1, 'Acct 3', 'user3', #01/15/2024#)",
        "INSERT INTO Passwords (GroupID, Description, ID) VALUES (1, 'Acct 4', 'user4')",
        "INSERT INTO Passwords (GroupID, Description, ID) VALUES (1, 'Acct 5', 'user5')",
        "INSERT INTO Passwords (GroupID, Description, ID) VALUES (2, 'Other', 'other')",
    };
    for (const char* sql : statements) ok = ok && kh::SUCCEEDED(db->Execute(sql, kh::Variant(std::int32_t{0})));
    // Field properties that the DDL does not carry.
    auto field = [&](const char* table, const char* name, auto&& set) {
      kh::ComPtr<dao::TableDefs> tables;
      kh::ComPtr<dao::_TableDef> t;
      kh::ComPtr<dao::Fields> fields;
      kh::ComPtr<dao::_Field> f;
      ok = ok && kh::SUCCEEDED(db->get_TableDefs(tables.put())) &&
           kh::SUCCEEDED(tables->get_Item(kh::Variant(table), t.put())) && kh::SUCCEEDED(t->get_Fields(fields.put())) &&
           kh::SUCCEEDED(fields->get_Item(kh::Variant(name), f.put())) && kh::SUCCEEDED(set(*f));
    };
    for (const char* name : {"ID", "Password", "URL", "KeySequence", "Notes"})
      field("Passwords", name, [](dao::_Field& f) { return f.put_AllowZeroLength(-1); });
    field("Passwords", "Description", [](dao::_Field& f) { return f.put_AllowZeroLength(0); });
    field("Items", "Label", [](dao::_Field& f) { return f.put_DefaultValue(kh::Variant("\"abc\"")); });
    field("Items", "Flag", [](dao::_Field& f) { return f.put_DefaultValue(kh::Variant("Yes")); });
    ok = ok && kh::SUCCEEDED(db->Close());
  }
  kh::win::FreeLibrary(store);
  return ok;
}

void storeAlias(const std::string& alias, const std::vector<std::pair<std::string, std::string>>& values) {
  using namespace kh::win;
  HKEY key = nullptr;
  const std::string path = "Software\\Corvane\\Keelbase\\Configuration\\Aliases\\" + alias;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  for (const auto& [name, data] : values)
    EXPECT_EQ(RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                             static_cast<DWORD>(data.size() + 1)),
              ERROR_SUCCESS);
  RegCloseKey(key);
}

// Field numbers of "select * from Passwords".
enum : std::uint16_t {
  fGroupID = 1, fPasswordID, fDescription, fID, fPassword, fExpireDate, fAssignDate, fURL, fKeySequence,
  fShowAccount, fNotes
};

constexpr DBIResult kBOF = 0x2201, kEOF = 0x2202, kDeleted = 0x2204, kNotSupported = 0x3001;

std::uint32_t u32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

class Cursors : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(engine.loaded());
    init(400, nullptr);
    exit();
    liveAtStart = liveObjects();
    ASSERT_TRUE(createStore(file, "secret"));
    ASSERT_EQ(init(400, nullptr), 0);
    db = openAlias("khCursor", {{"USE CONSTRAINTS", "TRUE"}, {"USE DEFAULTS", "TRUE"}, {"USE ALLOWZEROLENGTH", "TRUE"}});
    ASSERT_NE(db, nullptr);
  }
  void TearDown() override {
    if (db) {
      EXPECT_EQ(closeDatabase(&db), 0);
    }
    exit();
    // Every cursor, statement and database is gone again.
    EXPECT_EQ(liveObjects(), liveAtStart);
  }

  hDBIDb openAlias(const std::string& alias, std::vector<std::pair<std::string, std::string>> settings) {
    settings.insert(settings.begin(), {{"Path", file}, {"Exclusive", "False"}});
    storeAlias(alias, settings);
    EXPECT_EQ(addAlias(nullptr, alias.c_str(), nullptr, "CONNECT:\";PWD=secret\"", 0), 0);
    hDBIDb handle = nullptr;
    EXPECT_EQ(openDatabase(alias.c_str(), nullptr, 0, 0, nullptr, 0, nullptr, nullptr, &handle), 0);
    return handle;
  }

  // A cursor on `sql`; the statement is released at once, so closing the
  // cursor frees it. `statementProps` are set on the statement before it runs.
  hDBICur query(const std::string& sql, std::vector<std::pair<std::uint32_t, std::uintptr_t>> statementProps = {},
                hDBIDb on = nullptr) {
    hDBIStmt stmt = nullptr;
    EXPECT_EQ(qAlloc(on ? on : db, 0, &stmt), 0);
    for (auto [prop, value] : statementProps) EXPECT_EQ(setProp(stmt, prop, value), 0);
    EXPECT_EQ(qPrepare(stmt, sql.c_str()), 0);
    hDBICur cur = nullptr;
    EXPECT_EQ(qExec(stmt, &cur), 0);
    EXPECT_EQ(qFree(&stmt), 0);
    return cur;
  }

  std::vector<std::uint8_t> buffer(hDBICur cur) {
    CURProps props{};
    EXPECT_EQ(getCursorProps(cur, &props), 0);
    return std::vector<std::uint8_t>(props.iRecBufSize, 0xEE);
  }

  // The text of a field, "<null>" when blank.
  std::string text(hDBICur cur, std::uint16_t field, const std::vector<std::uint8_t>& rec) {
    char value[512] = "";
    std::int32_t blank = 7;
    EXPECT_EQ(getField(cur, field, rec.data(), value, &blank), 0);
    return blank ? std::string("<null>") : std::string(value);
  }
  std::int32_t number(hDBICur cur, std::uint16_t field, const std::vector<std::uint8_t>& rec) {
    std::int32_t value = -12345;
    EXPECT_EQ(getField(cur, field, rec.data(), &value, nullptr), 0);
    return value;
  }

  std::vector<std::string> descriptions(const std::string& sql) {
    hDBICur cur = query(sql);
    std::vector<std::uint8_t> rec = buffer(cur);
    std::vector<std::string> out;
    EXPECT_EQ(setToBegin(cur), 0);
    while (getNextRecord(cur, 0, rec.data(), nullptr) == 0) out.push_back(text(cur, 1, rec));
    EXPECT_EQ(closeCursor(&cur), 0);
    return out;
  }

  std::uint32_t liveObjects() {
    std::uint32_t n = 0;
    getProp(nullptr, 0x00010002, &n, 4, nullptr);
    return n;
  }

  TempRoot root;
  Engine engine;
  std::uint32_t liveAtStart = 0;
  const std::string file = root.path() + "/store.pdb";
  hDBIDb db = nullptr;

  decltype(&::DbiInitFn) init = KBE_FN(engine, DbiInitFn, 2);
  decltype(&::DbiExit) exit = KBE_FN(engine, DbiExit, 3);
  decltype(&::DbiOpenDatabase) openDatabase = KBE_FN(engine, DbiOpenDatabase, 4);
  decltype(&::DbiCloseDatabase) closeDatabase = KBE_FN(engine, DbiCloseDatabase, 5);
  decltype(&::DbiGetCursorProps) getCursorProps = KBE_FN(engine, DbiGetCursorProps, 7);
  decltype(&::DbiGetFieldDescs) getFieldDescs = KBE_FN(engine, DbiGetFieldDescs, 9);
  decltype(&::DbiCloseCursor) closeCursor = KBE_FN(engine, DbiCloseCursor, 12);
  decltype(&::DbiSetToBegin) setToBegin = KBE_FN(engine, DbiSetToBegin, 13);
  decltype(&::DbiSetToEnd) setToEnd = KBE_FN(engine, DbiSetToEnd, 14);
  decltype(&::DbiGetNextRecord) getNextRecord = KBE_FN(engine, DbiGetNextRecord, 16);
  decltype(&::DbiGetPriorRecord) getPriorRecord = KBE_FN(engine, DbiGetPriorRecord, 17);
  decltype(&::DbiGetRecord) getRecord = KBE_FN(engine, DbiGetRecord, 18);
  decltype(&::DbiGetRelativeRecord) getRelativeRecord = KBE_FN(engine, DbiGetRelativeRecord, 19);
  decltype(&::DbiGetRecordCount) getRecordCount = KBE_FN(engine, DbiGetRecordCount, 21);
  decltype(&::DbiInsertRecord) insertRecord = KBE_FN(engine, DbiInsertRecord, 22);
  decltype(&::DbiModifyRecord) modifyRecord = KBE_FN(engine, DbiModifyRecord, 23);
  decltype(&::DbiDeleteRecord) deleteRecord = KBE_FN(engine, DbiDeleteRecord, 24);
  decltype(&::DbiGetSeqNo) getSeqNo = KBE_FN(engine, DbiGetSeqNo, 25);
  decltype(&::DbiRelRecordLock) relRecordLock = KBE_FN(engine, DbiRelRecordLock, 62);
  decltype(&::DbiQPrepare) qPrepare = KBE_FN(engine, DbiQPrepare, 131);
  decltype(&::DbiQExec) qExec = KBE_FN(engine, DbiQExec, 132);
  decltype(&::DbiQFree) qFree = KBE_FN(engine, DbiQFree, 136);
  decltype(&::DbiQAlloc) qAlloc = KBE_FN(engine, DbiQAlloc, 137);
  decltype(&::DbiGetField) getField = KBE_FN(engine, DbiGetField, 207);
  decltype(&::DbiPutField) putField = KBE_FN(engine, DbiPutField, 208);
  decltype(&::DbiGetBookMark) getBookMark = KBE_FN(engine, DbiGetBookMark, 217);
  decltype(&::DbiSetToBookMark) setToBookMark = KBE_FN(engine, DbiSetToBookMark, 218);
  decltype(&::DbiCompareBookMarks) compareBookMarks = KBE_FN(engine, DbiCompareBookMarks, 219);
  decltype(&::DbiCloneCursor) cloneCursor = KBE_FN(engine, DbiCloneCursor, 220);
  decltype(&::DbiInitRecord) initRecord = KBE_FN(engine, DbiInitRecord, 221);
  decltype(&::DbiGetExactRecordCount) getExactRecordCount = KBE_FN(engine, DbiGetExactRecordCount, 883);
  decltype(&::DbiGetProp) getProp = KBE_FN(engine, DbiGetProp, 1071);
  decltype(&::DbiSetProp) setProp = KBE_FN(engine, DbiSetProp, 1072);
  decltype(&::DbiAddAlias) addAlias = KBE_FN(engine, DbiAddAlias, 1207);
  // Looked up by name: their ordinals are not needed elsewhere in the tests.
  decltype(&::DbiGetIndexDesc) getIndexDesc = engine.byName<decltype(&::DbiGetIndexDesc)>("DbiGetIndexDesc");
  decltype(&::DbiGetVchkDesc) getVchkDesc = engine.byName<decltype(&::DbiGetVchkDesc)>("DbiGetVchkDesc");
  decltype(&::DbiSetToCursor) setToCursor = engine.byName<decltype(&::DbiSetToCursor)>("DbiSetToCursor");
  decltype(&::DbiTranslateRecordStructure) translate =
      engine.byName<decltype(&::DbiTranslateRecordStructure)>("DbiTranslateRecordStructure");
};

// ---- descriptors and record layout ------------------------------------------------------

TEST_F(Cursors, PasswordsQueryDescribesItsFieldsAndSlots) {
  hDBICur cur = query("select * from Passwords");
  ASSERT_NE(cur, nullptr);
  CURProps props;
  std::memset(&props, 0x5A, sizeof props);
  ASSERT_EQ(getCursorProps(cur, &props), 0);
  EXPECT_EQ(+props.iFields, 11);
  EXPECT_EQ(+props.iRecSize, 582);
  EXPECT_EQ(+props.iRecBufSize, 582);
  EXPECT_EQ(+props.iBookMarkSize, 20);
  EXPECT_EQ(+props.bBookMarkStable, -1);
  EXPECT_STREQ(props.szTableType, "KBE");
  EXPECT_STREQ(props.szLangDriver, "KBE Ansi");
  EXPECT_EQ(+props.iIndexes, 0);
  EXPECT_EQ(+props.iSeqNums, -1);
  EXPECT_EQ(+props.eOpenMode, 0u);  // a live result
  EXPECT_EQ(+props.bTempTable, 0);

  struct Expected {
    const char* name;
    std::uint16_t type, subType;
    std::int16_t units1;
    std::uint16_t len, nullOffset;
  };
  const Expected expected[] = {
      {"GroupID", 6, 0, 0, 4, 20},         {"PasswordID", 6, 0, 0, 4, 26},  {"Description", 1, 0, 100, 101, 32},
      {"ID", 1, 0, 100, 101, 136},         {"Password", 1, 0, 100, 101, 240}, {"ExpireDate", 11, 0, 0, 8, 344},
      {"AssignDate", 11, 0, 0, 8, 354},    {"URL", 1, 0, 100, 101, 364},    {"KeySequence", 1, 0, 100, 101, 468},
      {"ShowAccount", 4, 0, 0, 2, 572},    {"Notes", 3, 22, -1, 4, 576},
  };
  std::vector<FLDDesc> descs(props.iFields);
  ASSERT_EQ(getFieldDescs(cur, descs.data()), 0);
  for (std::size_t i = 0; i < descs.size(); ++i) {
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(descs[i].iFldNum + std::size_t{0}, i + 1);
    EXPECT_STREQ(descs[i].szName, expected[i].name);
    EXPECT_EQ(+descs[i].iFldType, expected[i].type);
    EXPECT_EQ(+descs[i].iSubType, expected[i].subType);
    EXPECT_EQ(+descs[i].iUnits1, expected[i].units1);
    EXPECT_EQ(+descs[i].iLen, expected[i].len);
    EXPECT_EQ(+descs[i].iNullOffset, expected[i].nullOffset);
    EXPECT_EQ(+descs[i].iOffset, expected[i].nullOffset + 2);
    EXPECT_EQ(+descs[i].bCalcField, 0);
  }
  EXPECT_EQ(getFieldDescs(cur, nullptr), kNotSupported);
  EXPECT_EQ(getCursorProps(cur, nullptr), kNotSupported);

  // Cursor properties, and the index and check descriptions of a query cursor.
  char type[32] = "";
  std::uint16_t length = 0;
  EXPECT_EQ(getProp(cur, 0x00050002, type, sizeof type, &length), 0);
  EXPECT_STREQ(type, "TABLE");
  EXPECT_EQ(length, 6);
  std::uint32_t lockMode = 9;
  EXPECT_EQ(getProp(cur, 0x04050000, &lockMode, 4, &length), 0);
  EXPECT_EQ(lockMode, 0u);
  EXPECT_EQ(getProp(cur, 0x04050000, &lockMode, 2, &length), kNotSupported);
  EXPECT_EQ(getProp(cur, 0x00050003, type, sizeof type, &length), kNotSupported);
  EXPECT_EQ(setProp(cur, 0x04050000, 2), 0);
  EXPECT_EQ(setProp(cur, 0x04050000, 3), kNotSupported);
  IDXDesc idx;
  std::memset(&idx, 0x5A, sizeof idx);
  EXPECT_EQ(getIndexDesc(cur, 1, &idx), 0);
  EXPECT_EQ(std::vector<std::uint8_t>(reinterpret_cast<std::uint8_t*>(&idx), reinterpret_cast<std::uint8_t*>(&idx + 1)),
            std::vector<std::uint8_t>(sizeof idx, 0));
  VCHKDesc vchk;
  EXPECT_EQ(getVchkDesc(cur, 1, &vchk), kNotSupported);  // no required field, no default
  EXPECT_EQ(closeCursor(&cur), 0);

  // A computed column is a calculated, read-only field; a canned result is read-only.
  cur = query("select Description, GroupID + 1 as Next from Passwords", {{0x00060021, 2}});
  ASSERT_EQ(getCursorProps(cur, &props), 0);
  EXPECT_EQ(+props.eOpenMode, 1u);
  EXPECT_EQ(+props.bTempTable, -1);
  FLDDesc two[2];
  ASSERT_EQ(getFieldDescs(cur, two), 0);
  EXPECT_EQ(+two[0].bCalcField, 0);
  EXPECT_EQ(+two[1].bCalcField, -1);
  EXPECT_EQ(+two[1].efldrRights, 1u);
  EXPECT_EQ(closeCursor(&cur), 0);

  // A stale handle is refused without touching freed memory.
  EXPECT_EQ(getCursorProps(cur, &props), kNotSupported);
  EXPECT_EQ(getNextRecord(cur, 0, nullptr, nullptr), kNotSupported);
  EXPECT_EQ(closeCursor(&cur), kNotSupported);
}

TEST_F(Cursors, ChecksDefaultsAndTheDefaultRecord) {
  hDBICur cur = query("select Code, Label, Flag from Items");
  CURProps props{};
  ASSERT_EQ(getCursorProps(cur, &props), 0);
  EXPECT_EQ(+props.iValChecks, 3);
  struct Check {
    std::uint16_t seq;
    DBIResult result;
    std::uint16_t field;
    BOOL16 required, hasDefault;
  };
  for (const Check& c : {Check{1, 0, 1, -1, 0}, Check{2, 0, 2, 0, -1}, Check{3, 0, 3, 0, -1},
                         Check{0, kNotSupported, 0, 0, 0}, Check{4, kNotSupported, 0, 0, 0}}) {
    SCOPED_TRACE(c.seq);
    VCHKDesc d;
    std::memset(&d, 0x5A, sizeof d);
    EXPECT_EQ(getVchkDesc(cur, c.seq, &d), c.result);
    EXPECT_EQ(+d.iFldNum, c.field);
    EXPECT_EQ(+d.bRequired, c.required);
    EXPECT_EQ(+d.bHasDefVal, c.hasDefault);
  }

  // Defaults are shown but not marked changed; the header names no cursor.
  std::vector<std::uint8_t> rec = buffer(cur);
  ASSERT_EQ(initRecord(cur, rec.data()), 0);
  EXPECT_EQ(std::vector<std::uint8_t>(rec.begin(), rec.begin() + 20), std::vector<std::uint8_t>(20, 0));
  EXPECT_EQ(text(cur, 1, rec), "<null>");
  EXPECT_EQ(text(cur, 2, rec), "abc");
  std::int16_t flag = 0;
  EXPECT_EQ(getField(cur, 3, rec.data(), &flag, nullptr), 0);
  EXPECT_EQ(flag, -1);
  FLDDesc descs[3];
  ASSERT_EQ(getFieldDescs(cur, descs), 0);
  for (const FLDDesc& d : descs) EXPECT_EQ(rec[d.iNullOffset] & 2, 0) << d.szName;
  EXPECT_EQ(initRecord(cur, nullptr), kNotSupported);
  EXPECT_EQ(closeCursor(&cur), 0);
}

TEST(CursorStructures, TranslateToPhysicalTypes) {
  Engine engine;
  ASSERT_TRUE(engine.loaded());
  auto translate = engine.byName<decltype(&::DbiTranslateRecordStructure)>("DbiTranslateRecordStructure");
  struct Case {
    std::uint16_t type, subType;
    std::int16_t units1;
    std::uint16_t len, newType, newLen;
  };
  const Case cases[] = {
      {1, 0, 100, 101, 1034, 100}, {3, 22, 0, 4, 1036, 0}, {3, 23, 0, 4, 1035, 0},    {4, 0, 0, 2, 1025, 0},
      {5, 0, 0, 2, 1027, 0},       {6, 0, 0, 4, 1028, 0},  {7, 21, 0, 8, 1029, 0},    {7, 0, 0, 8, 1031, 0},
      {8, 0, 0, 8, 1029, 0},       {9, 0, 16, 16, 1033, 16}, {11, 0, 0, 8, 1032, 8},  {2, 0, 0, 4, 1032, 4},
  };
  std::vector<FLDDesc> src;
  for (const Case& c : cases) {
    FLDDesc d{};
    d.iFldType = c.type;
    d.iSubType = c.subType;
    d.iUnits1 = c.units1;
    d.iLen = c.len;
    src.push_back(d);
  }
  std::vector<FLDDesc> dst(src.size());
  ASSERT_EQ(translate("KBE", static_cast<std::uint16_t>(src.size()), src.data(), "KBE", nullptr, dst.data(), 0), 0);
  for (std::size_t i = 0; i < dst.size(); ++i) {
    EXPECT_EQ(+dst[i].iFldType, cases[i].newType) << i;
    EXPECT_EQ(+dst[i].iLen, cases[i].newLen) << i;
  }
  // A type without a physical form is kept and reported after the others are done.
  src[0].iFldType = 12;
  ASSERT_EQ(translate("KBE", static_cast<std::uint16_t>(src.size()), src.data(), "KBE", nullptr, dst.data(), 0),
            0x2710);
  EXPECT_EQ(+dst[0].iFldType, 12);
  EXPECT_EQ(+dst[1].iFldType, 1036);
  EXPECT_EQ(translate("KBE", 0, nullptr, "KBE", nullptr, nullptr, 0), 0);
}

// ---- navigation -------------------------------------------------------------------------------

TEST_F(Cursors, ReadsForwardAndBackwardWithCrackStatesAndPrefetch) {
  hDBICur cur = query("select * from Passwords where GroupID = 1 order by Description");
  std::vector<std::uint8_t> rec = buffer(cur);
  ASSERT_EQ(setToBegin(cur), 0);
  EXPECT_EQ(getRecord(cur, 0, rec.data(), nullptr), kBOF);
  EXPECT_EQ(getPriorRecord(cur, 0, rec.data(), nullptr), kBOF);

  FLDDesc descs[11];
  ASSERT_EQ(getFieldDescs(cur, descs), 0);
  std::uint32_t lastStamp = 0;
  for (int i = 1; i <= 5; ++i) {
    SCOPED_TRACE(i);
    ASSERT_EQ(getNextRecord(cur, 0, rec.data(), nullptr), 0);
    // The header: a fresh stamp, a 4-byte bookmark, the cursor.
    EXPECT_GT(u32(rec.data()), lastStamp);
    lastStamp = u32(rec.data());
    EXPECT_EQ(rec[12] | rec[13] << 8, 0);
    EXPECT_EQ(rec[14] | rec[15] << 8, 3);
    EXPECT_NE(u32(rec.data() + 16), 0u);
    // The first record comes with every field unfetched; the description,
    // asked for in every record, is fetched with the record from the second on.
    EXPECT_EQ(rec[descs[fDescription - 1].iNullOffset], i == 1 ? 4 : 1);
    EXPECT_EQ(rec[descs[fID - 1].iNullOffset], 4);
    EXPECT_EQ(text(cur, fDescription, rec), "Acct " + std::to_string(i));
  }
  EXPECT_EQ(getNextRecord(cur, 0, rec.data(), nullptr), kEOF);
  EXPECT_EQ(getRecord(cur, 0, rec.data(), nullptr), kEOF);
  EXPECT_EQ(getNextRecord(cur, 0, rec.data(), nullptr), kEOF);
  for (int i = 5; i >= 1; --i) {
    ASSERT_EQ(getPriorRecord(cur, 0, rec.data(), nullptr), 0);
    EXPECT_EQ(text(cur, fDescription, rec), "Acct " + std::to_string(i));
  }
  EXPECT_EQ(getPriorRecord(cur, 0, rec.data(), nullptr), kBOF);

  // Relative moves: 0 is refused without reading; running past the end stops at EOF.
  ASSERT_EQ(getRelativeRecord(cur, 3, 0, rec.data(), nullptr), 0);
  EXPECT_EQ(text(cur, fDescription, rec), "Acct 3");
  std::uint32_t seq = 99;
  EXPECT_EQ(getSeqNo(cur, &seq), 0);
  EXPECT_EQ(seq, 2u);
  std::vector<std::uint8_t> untouched(rec.size(), 0x11);
  EXPECT_EQ(getRelativeRecord(cur, 0, 0, untouched.data(), nullptr), kNotSupported);
  EXPECT_EQ(untouched, std::vector<std::uint8_t>(rec.size(), 0x11));
  EXPECT_EQ(getRelativeRecord(cur, -2, 0, rec.data(), nullptr), 0);
  EXPECT_EQ(text(cur, fDescription, rec), "Acct 1");
  ASSERT_EQ(getRelativeRecord(cur, 2, 0, rec.data(), nullptr), 0);  // two from the end
  EXPECT_EQ(getRelativeRecord(cur, 3, 0, rec.data(), nullptr), kEOF);
  EXPECT_EQ(getRecord(cur, 0, rec.data(), nullptr), kEOF);

  // Counts: the exact count is the whole result; set to end and read back.
  std::uint32_t count = 0;
  EXPECT_EQ(getExactRecordCount(cur, &count), 0);
  EXPECT_EQ(count, 5u);
  EXPECT_EQ(getRecordCount(cur, &count), 0);
  EXPECT_EQ(count, 5u);
  ASSERT_EQ(setToEnd(cur), 0);
  ASSERT_EQ(getPriorRecord(cur, 0, rec.data(), nullptr), 0);
  EXPECT_EQ(text(cur, fDescription, rec), "Acct 5");
  EXPECT_EQ(closeCursor(&cur), 0);

  // An empty result.
  cur = query("select * from Passwords where GroupID = 99");
  ASSERT_EQ(setToBegin(cur), 0);
  EXPECT_EQ(getNextRecord(cur, 0, rec.data(), nullptr), kEOF);
  EXPECT_EQ(getExactRecordCount(cur, &count), 0);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(closeCursor(&cur), 0);
}

TEST_F(Cursors, FetchesAnEarlierBufferThroughTheSideRecordset) {
  hDBICur cur = query("select * from Passwords where GroupID = 1 order by Description");
  std::vector<std::uint8_t> a = buffer(cur), b = buffer(cur), fresh = buffer(cur);
  ASSERT_EQ(setToBegin(cur), 0);
  ASSERT_EQ(getNextRecord(cur, 0, a.data(), nullptr), 0);
  ASSERT_EQ(getNextRecord(cur, 0, b.data(), nullptr), 0);
  ASSERT_EQ(getNextRecord(cur, 0, b.data(), nullptr), 0);
  // Buffer a's fields were never fetched; they come from a's record, not the current one.
  EXPECT_EQ(text(cur, fID, a), "user1");
  EXPECT_EQ(text(cur, fID, b), "user3");
  EXPECT_EQ(text(cur, fDescription, a), "Acct 1");
  std::int16_t show = 7;
  EXPECT_EQ(getField(cur, fShowAccount, a.data(), &show, nullptr), 0);
  EXPECT_EQ(show, 1);  // a Yes/No read from the store holds 1
  EXPECT_EQ(text(cur, fURL, a), "<null>");

  // The blank test of a memo reads only its size.
  std::int32_t blank = 7;
  EXPECT_EQ(getField(cur, fNotes, a.data(), nullptr, &blank), 0);
  EXPECT_EQ(blank, 0);
  EXPECT_EQ(getField(cur, fNotes, b.data(), nullptr, &blank), 0);
  EXPECT_EQ(blank, -1);
  ASSERT_EQ(initRecord(cur, fresh.data()), 0);
  EXPECT_EQ(getField(cur, fNotes, fresh.data(), nullptr, &blank), 0);
  EXPECT_EQ(blank, -1);

  // Field numbers outside 1..11 and null buffers are refused.
  char value[128];
  for (std::uint16_t field : {0, 12}) EXPECT_EQ(getField(cur, field, a.data(), value, &blank), kNotSupported);
  EXPECT_EQ(getField(cur, 1, nullptr, value, &blank), kNotSupported);
  EXPECT_EQ(putField(cur, 0, a.data(), value), kNotSupported);
  EXPECT_EQ(closeCursor(&cur), 0);
}

TEST_F(Cursors, BookmarksMoveCompareAndSurviveDeletion) {
  hDBICur cur = query("select * from Passwords where GroupID = 1 order by Description");
  std::vector<std::uint8_t> rec = buffer(cur);
  std::uint8_t bm[20], bm2[20], bm3[20], bm4[20];
  ASSERT_EQ(setToBegin(cur), 0);
  EXPECT_EQ(getBookMark(cur, bm), kBOF);
  ASSERT_EQ(getNextRecord(cur, 0, rec.data(), nullptr), 0);
  ASSERT_EQ(getNextRecord(cur, 0, rec.data(), nullptr), 0);
  ASSERT_EQ(getBookMark(cur, bm2), 0);
  EXPECT_EQ(std::memcmp(bm2, rec.data(), 16), 0);  // the header's stamp and bookmark
  EXPECT_EQ(u32(bm2 + 16), 0u);
  ASSERT_EQ(getNextRecord(cur, 0, rec.data(), nullptr), 0);
  ASSERT_EQ(getBookMark(cur, bm3), 0);
  ASSERT_EQ(getNextRecord(cur, 0, rec.data(), nullptr), 0);
  ASSERT_EQ(getBookMark(cur, bm4), 0);

  // Back to record 2; the bookmark takes the new stamp, so setting it again does not move.
  ASSERT_EQ(setToBookMark(cur, bm2), 0);
  ASSERT_EQ(getRecord(cur, 0, rec.data(), nullptr), 0);
  EXPECT_EQ(text(cur, fDescription, rec), "Acct 2");
  EXPECT_EQ(u32(bm2), u32(rec.data()));
  ASSERT_EQ(setToBookMark(cur, bm2), 0);
  std::vector<std::uint8_t> again = buffer(cur);
  ASSERT_EQ(getRecord(cur, 0, again.data(), nullptr), 0);
  EXPECT_EQ(u32(again.data()), u32(rec.data()));

  // Comparisons: by record order, nulls first, 4-byte bookmarks as integers.
  std::int32_t cmp = 7;
  EXPECT_EQ(compareBookMarks(cur, bm2, bm4, &cmp), 0);
  EXPECT_EQ(cmp, -1);
  EXPECT_EQ(compareBookMarks(cur, bm4, bm2, &cmp), 0);
  EXPECT_EQ(cmp, 1);
  EXPECT_EQ(compareBookMarks(cur, bm3, bm3, &cmp), 0);
  EXPECT_EQ(cmp, 0);
  EXPECT_EQ(compareBookMarks(nullptr, nullptr, bm2, &cmp), 0);
  EXPECT_EQ(cmp, -1);
  EXPECT_EQ(compareBookMarks(nullptr, bm2, nullptr, &cmp), 0);
  EXPECT_EQ(cmp, 1);
  EXPECT_EQ(compareBookMarks(nullptr, nullptr, nullptr, &cmp), 0);
  EXPECT_EQ(cmp, 0);
  EXPECT_EQ(compareBookMarks(nullptr, bm2, bm3, &cmp), kNotSupported);
  std::uint8_t low[20] = {}, high[20] = {};
  low[4] = 0xFF;
  high[5] = 0x01;
  low[14] = high[14] = 3;  // bounds 0..3
  EXPECT_EQ(compareBookMarks(cur, high, low, &cmp), 0);
  EXPECT_EQ(cmp, 1);

  // Deleting record 3: the cursor rests on the deleted record, moves on from it,
  // and its bookmark leads to the first record.
  ASSERT_EQ(setToBookMark(cur, bm3), 0);
  std::vector<std::uint8_t> gone = buffer(cur);
  ASSERT_EQ(deleteRecord(cur, gone.data()), 0);
  EXPECT_EQ(text(cur, fDescription, gone), "Acct 3");
  EXPECT_EQ(getRecord(cur, 0, rec.data(), nullptr), kDeleted);
  ASSERT_EQ(getNextRecord(cur, 0, rec.data(), nullptr), 0);
  EXPECT_EQ(text(cur, fDescription, rec), "Acct 4");
  ASSERT_EQ(setToBookMark(cur, bm3), 0);
  ASSERT_EQ(getRecord(cur, 0, rec.data(), nullptr), 0);
  EXPECT_EQ(text(cur, fDescription, rec), "Acct 1");
  EXPECT_EQ(closeCursor(&cur), 0);
  EXPECT_EQ(descriptions("select Description from Passwords where GroupID = 1 order by Description"),
            (std::vector<std::string>{"Acct 1", "Acct 2", "Acct 4", "Acct 5"}));
}

TEST_F(Cursors, ForwardOnlyReadsTheFirstRecordAfterSetToBegin) {
  hDBICur cur = query("select Description from Passwords order by PasswordID", {{0x00060010, 1}});
  std::vector<std::uint8_t> rec = buffer(cur);
  ASSERT_EQ(setToBegin(cur), 0);
  ASSERT_EQ(getNextRecord(cur, 0, rec.data(), nullptr), 0);
  EXPECT_EQ(text(cur, 1, rec), "Acct 1");
  std::uint8_t bm[20];
  std::memset(bm, 0x77, sizeof bm);
  EXPECT_EQ(getBookMark(cur, bm), 0);
  EXPECT_EQ(std::vector<std::uint8_t>(bm, bm + 20), std::vector<std::uint8_t>(20, 0x77));
  ASSERT_EQ(getNextRecord(cur, 0, rec.data(), nullptr), 0);
  EXPECT_EQ(text(cur, 1, rec), "Acct 2");
  EXPECT_EQ(closeCursor(&cur), 0);
}

TEST_F(Cursors, ClonesMoveOnTheirOwn) {
  hDBICur cur = query("select Description from Passwords where GroupID = 1 order by Description");
  std::vector<std::uint8_t> rec = buffer(cur);
  ASSERT_EQ(setToBegin(cur), 0);
  ASSERT_EQ(getNextRecord(cur, 0, rec.data(), nullptr), 0);
  ASSERT_EQ(getNextRecord(cur, 0, rec.data(), nullptr), 0);
  hDBICur clone = nullptr;
  ASSERT_EQ(cloneCursor(cur, 1, 0, &clone), 0);
  ASSERT_NE(clone, nullptr);
  EXPECT_NE(clone, cur);
  std::vector<std::uint8_t> other = buffer(clone);
  ASSERT_EQ(setToBegin(clone), 0);
  ASSERT_EQ(getNextRecord(clone, 0, other.data(), nullptr), 0);
  EXPECT_EQ(text(clone, 1, other), "Acct 1");
  ASSERT_EQ(getRecord(cur, 0, rec.data(), nullptr), 0);
  EXPECT_EQ(text(cur, 1, rec), "Acct 2");
  // Setting one cursor to the other's record.
  ASSERT_EQ(setToCursor(clone, cur), 0);
  ASSERT_EQ(getRecord(clone, 0, other.data(), nullptr), 0);
  EXPECT_EQ(text(clone, 1, other), "Acct 2");
  ASSERT_EQ(setToEnd(cur), 0);
  EXPECT_EQ(setToCursor(clone, cur), 0x2205);
  EXPECT_EQ(setToCursor(clone, nullptr), kNotSupported);
  ASSERT_EQ(setToBegin(clone), 0);
  ASSERT_EQ(getNextRecord(clone, 0, other.data(), nullptr), 0);
  ASSERT_EQ(getRecord(cur, 0, rec.data(), nullptr), kEOF);
  ASSERT_EQ(getPriorRecord(cur, 0, rec.data(), nullptr), 0);
  ASSERT_EQ(getPriorRecord(cur, 0, rec.data(), nullptr), 0);
  ASSERT_EQ(getPriorRecord(cur, 0, rec.data(), nullptr), 0);
  ASSERT_EQ(getPriorRecord(cur, 0, rec.data(), nullptr), 0);  // on Acct 2

  // The source closes first; the clone keeps the shared description.
  EXPECT_EQ(closeCursor(&cur), 0);
  ASSERT_EQ(getNextRecord(clone, 0, other.data(), nullptr), 0);
  EXPECT_EQ(text(clone, 1, other), "Acct 2");
  CURProps props{};
  EXPECT_EQ(getCursorProps(clone, &props), 0);
  EXPECT_EQ(+props.iFields, 1);
  EXPECT_EQ(closeCursor(&clone), 0);
}

// ---- record changes ---------------------------------------------------------------------------

TEST_F(Cursors, InsertModifyAndLocks) {
  hDBICur cur = query("select * from Passwords order by PasswordID");
  std::vector<std::uint8_t> rec = buffer(cur);
  ASSERT_EQ(setToBegin(cur), 0);
  ASSERT_EQ(getNextRecord(cur, 0, rec.data(), nullptr), 0);
  ASSERT_EQ(getNextRecord(cur, 0, rec.data(), nullptr), 0);  // on Acct 2

  // A new account: only the fields put are written.
  std::vector<std::uint8_t> add = buffer(cur);
  ASSERT_EQ(initRecord(cur, add.data()), 0);
  const std::int32_t group = 2;
  char description[101] = "Added";
  ASSERT_EQ(putField(cur, fGroupID, add.data(), &group), 0);
  ASSERT_EQ(putField(cur, fDescription, add.data(), description), 0);
  ASSERT_EQ(insertRecord(cur, 0, add.data()), 0);
  EXPECT_NE(u32(add.data() + 16), 0u);
  EXPECT_EQ(add[32] & 2, 2);  // Description's status byte keeps its changed bit
  ASSERT_EQ(getRecord(cur, 0, rec.data(), nullptr), 0);
  EXPECT_EQ(text(cur, fDescription, rec), "Added");
  const std::int32_t addedId = number(cur, fPasswordID, rec);
  EXPECT_GT(addedId, 6);

  ASSERT_EQ(setToBegin(cur), 0);
  ASSERT_EQ(getNextRecord(cur, 0, rec.data(), nullptr), 0);  // on Acct 1

  // Modify with the lock kept, then release it; no pending edit is 0x3001.
  ASSERT_EQ(getRecord(cur, 1, rec.data(), nullptr), 0);
  char changed[101] = "Changed";
  ASSERT_EQ(putField(cur, fDescription, rec.data(), changed), 0);
  ASSERT_EQ(putField(cur, fID, rec.data(), nullptr), 0);  // blank: Null
  ASSERT_EQ(modifyRecord(cur, rec.data(), 0), 0);
  EXPECT_EQ(relRecordLock(cur, 0), 0);
  EXPECT_EQ(relRecordLock(cur, 0), kNotSupported);
  ASSERT_EQ(getRecord(cur, 0, rec.data(), nullptr), 0);
  EXPECT_EQ(text(cur, fDescription, rec), "Changed");
  EXPECT_EQ(text(cur, fID, rec), "<null>");
  EXPECT_EQ(text(cur, fURL, rec), "<null>");  // untouched
  ASSERT_EQ(modifyRecord(cur, rec.data(), 1), 0);
  EXPECT_EQ(relRecordLock(cur, 0), kNotSupported);  // freed by the modify
  ASSERT_EQ(setToEnd(cur), 0);
  EXPECT_EQ(modifyRecord(cur, rec.data(), 1), kEOF);
  EXPECT_EQ(relRecordLock(cur, 0), kEOF);
  EXPECT_EQ(closeCursor(&cur), 0);

  EXPECT_EQ(descriptions("select Description from Passwords order by PasswordID"),
            (std::vector<std::string>{"Changed", "Acct 2", "Acct 3", "Acct 4", "Acct 5", "Other", "Added"}));

  // Items: a missing required value; Jet's own defaults for the fields not put;
  // a duplicate key leaves the cursor where it stood.
  cur = query("select * from Items");
  std::vector<std::uint8_t> item = buffer(cur);
  ASSERT_EQ(initRecord(cur, item.data()), 0);
  EXPECT_EQ(insertRecord(cur, 0, item.data()), 0x2604);
  for (const char* code : {"C1", "C2"}) {
    ASSERT_EQ(initRecord(cur, item.data()), 0);
    char value[11] = "";
    std::strcpy(value, code);
    ASSERT_EQ(putField(cur, 2, item.data(), value), 0);
    ASSERT_EQ(insertRecord(cur, 0, item.data()), 0);
  }
  ASSERT_EQ(getRecord(cur, 0, item.data(), nullptr), 0);
  EXPECT_EQ(text(cur, 2, item), "C2");
  EXPECT_EQ(text(cur, 3, item), "abc");
  std::int16_t flag = 0;
  EXPECT_EQ(getField(cur, 4, item.data(), &flag, nullptr), 0);
  EXPECT_EQ(flag, 1);
  std::vector<std::uint8_t> dup = buffer(cur);
  ASSERT_EQ(initRecord(cur, dup.data()), 0);
  char c1[11] = "C1";
  ASSERT_EQ(putField(cur, 2, dup.data(), c1), 0);
  EXPECT_EQ(insertRecord(cur, 0, dup.data()), 0x2601);
  ASSERT_EQ(getRecord(cur, 0, item.data(), nullptr), 0);
  EXPECT_EQ(text(cur, 2, item), "C2");
  std::uint32_t count = 0;
  EXPECT_EQ(getExactRecordCount(cur, &count), 0);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(closeCursor(&cur), 0);
}

// Empty strings reach the store as Null unless the field allows zero length and
// the alias turns the zero-length flags on.
TEST_F(Cursors, EmptyStringsFollowTheZeroLengthFlag) {
  hDBIDb plain = openAlias("khPlain", {});
  ASSERT_NE(plain, nullptr);
  struct Case {
    bool flagsOn;
    std::uint16_t field;
    const char* stored;
  };
  const Case cases[] = {{true, fID, ""}, {true, fDescription, "<null>"}, {false, fID, "<null>"},
                        {false, fDescription, "<null>"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.flagsOn) + " " + std::to_string(c.field));
    hDBICur cur = query("select * from Passwords where PasswordID = 4", {}, c.flagsOn ? db : plain);
    std::vector<std::uint8_t> rec = buffer(cur);
    ASSERT_EQ(setToBegin(cur), 0);
    ASSERT_EQ(getNextRecord(cur, 0, rec.data(), nullptr), 0);
    char empty[101] = "";
    ASSERT_EQ(putField(cur, c.field, rec.data(), empty), 0);
    ASSERT_EQ(modifyRecord(cur, rec.data(), 1), 0);
    ASSERT_EQ(getRecord(cur, 0, rec.data(), nullptr), 0);
    EXPECT_EQ(text(cur, c.field, rec), c.stored);
    EXPECT_EQ(closeCursor(&cur), 0);
  }
  EXPECT_EQ(closeDatabase(&plain), 0);
}

}  // namespace
