// A password database as the program keeps it (groups, accounts with their
// notes, the options row and two stored queries), made through the store in a
// temporary directory and opened through the engine by alias, as the
// program's data module does. Shared by the query and blob tests.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "../../store/include/store/dao.h"
#include "engine_fixture.h"
#include "platform/registry.h"

namespace kbetest {

// Forty bytes of notes, and a memo that is 5 bytes of UTF-8 but 4 of Windows-1252.
inline const std::string kWorkNotes = "Forty bytes of notes for the work mail.!";
inline const std::string kHomeNotesUtf8 = "caf\xC3\xA9";
inline const std::string kHomeNotesAnsi = "caf\xE9";

// Builds the file through the store's object model with the statements a DAO
// client would run. Groups get the IDs 1 to 4 in the order of the sample groups.
// `extend`, when given, adds more to the file before it is closed.
inline bool createProgramDatabase(const std::string& path, const std::string& password,
                                  const std::function<bool(kh::dao::Database&)>& extend = {}) {
  namespace dao = kh::dao;
  kh::win::HMODULE store = kh::win::LoadLibraryA((std::string(KH_ENGINE_DIR) + "/libkhstore.so").c_str());
  if (!store) return false;
  using GetClassObject = kh::HRESULT (*)(const kh::GUID&, const kh::GUID&, void**);
  auto getClassObject = reinterpret_cast<GetClassObject>(kh::win::GetProcAddress(store, "khStoreGetClassObject"));
  bool ok = getClassObject != nullptr;
  if (ok) {
    const kh::GUID privateEngine = {0x00000011, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
    kh::ComPtr<dao::IClassFactory> factory;
    kh::ComPtr<dao::_DBEngine> engine;
    kh::ComPtr<dao::Workspaces> workspaces;
    kh::ComPtr<dao::Workspace> ws;
    kh::ComPtr<dao::Database> db;
    ok = kh::SUCCEEDED(
             getClassObject(privateEngine, dao::IClassFactory::kIID, reinterpret_cast<void**>(factory.put()))) &&
         kh::SUCCEEDED(
             factory->CreateInstance(nullptr, dao::_DBEngine::kIID, reinterpret_cast<void**>(engine.put()))) &&
         kh::SUCCEEDED(engine->get_Workspaces(workspaces.put())) &&
         kh::SUCCEEDED(workspaces->get_Item(kh::Variant(std::int32_t{0}), ws.put())) &&
         kh::SUCCEEDED(ws->CreateDatabase(path, std::string(dao::dbLangGeneral) + ";pwd=" + password,
                                          kh::Variant(std::int32_t{0}), db.put()));
    const std::vector<std::string> statements = {
        "CREATE TABLE Groups (GroupID COUNTER CONSTRAINT Groups PRIMARY KEY, Name TEXT(50))",
        "CREATE TABLE Passwords (GroupID LONG, PasswordID COUNTER, Description TEXT(100), ID TEXT(100), "
        "[Password] TEXT(100), ExpireDate DATETIME, AssignDate DATETIME, URL TEXT(100), KeySequence TEXT(100), "
        "ShowAccount BIT, Notes MEMO, CONSTRAINT PrimaryKey PRIMARY KEY (GroupID, PasswordID))",
        "CREATE TABLE Options ([Group] TEXT(50), style TEXT(12), pwdsystray BIT, DBMaintCount LONG, "
        "DBMaintFreq LONG, showpassword LONG, promptpassword BIT)",
        "CREATE TABLE Files (FileID COUNTER CONSTRAINT FilesKey PRIMARY KEY, Title TEXT(20), Data LONGBINARY)",
        "INSERT INTO Groups (Name) VALUES ('Email Accounts')",
        "INSERT INTO Groups (Name) VALUES ('Web Discussion Boards')",
        "INSERT INTO Groups (Name) VALUES ('Misc Accounts')",
        "INSERT INTO Groups (Name) VALUES ('Web Subscriptions')",
        "INSERT INTO Passwords (GroupID, Description, ID, URL, Notes) VALUES (1, 'Work mail', 'jo', 'a', '" +
            kWorkNotes + "')",
        "INSERT INTO Passwords (GroupID, Description, ID, URL, Notes) VALUES (1, 'Home mail', 'jo', 'b', '" +
            kHomeNotesUtf8 + "')",
        "INSERT INTO Passwords (GroupID, Description, ID, URL) VALUES (3, 'Bank', 'jo', 'c')",
        "INSERT INTO Options ([Group], style, pwdsystray, DBMaintCount, DBMaintFreq, showpassword, promptpassword) "
        "VALUES ('Email Accounts', 'None', True, 100, 100, 1, True)",
    };
    for (const std::string& sql : statements) {
      if (!ok) break;
      ok = kh::SUCCEEDED(db->Execute(sql, kh::Variant(std::int32_t{dao::dbFailOnError})));
      EXPECT_TRUE(ok) << sql;
    }
    const std::vector<std::pair<std::string, std::string>> queries = {
        {"GroupNames", "SELECT Name FROM Groups ORDER BY Name"},
        {"GroupByName", "PARAMETERS Wanted Text; SELECT * FROM Groups WHERE Name = Wanted"},
    };
    for (const auto& [name, sql] : queries) {
      kh::ComPtr<dao::_QueryDef> q;
      ok = ok && kh::SUCCEEDED(db->CreateQueryDef(kh::Variant(name), kh::Variant(sql), q.put()));
    }
    if (ok && extend) ok = extend(*db);
    ok = ok && kh::SUCCEEDED(db->Close());
  }
  kh::win::FreeLibrary(store);
  return ok;
}

// Records an alias in HKEY_LOCAL_MACHINE as the program does.
inline void storeAlias(const std::string& alias, const std::vector<std::pair<std::string, std::string>>& values) {
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

// One test's engine, file and open database; everything the test opened must
// be gone again at the end (the engine's count of live DAO wrappers).
class ProgramDb : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(engine.loaded());
    init(400, nullptr);
    exit();
    liveAtStart = liveObjects();
    ASSERT_TRUE(createProgramDatabase(file, "secret", [this](kh::dao::Database& d) { return extendDatabase(d); }));
    ASSERT_NO_FATAL_FAILURE(db = openAlias(aliasName(), {}));
  }
  void TearDown() override {
    for (hDBICur& c : cursors) {
      if (c) {
        EXPECT_EQ(closeCursor(&c), 0);
      }
    }
    for (hDBIDb& d : opened) {
      if (d) {
        EXPECT_EQ(closeDatabase(&d), 0);
      }
    }
    init(400, nullptr);
    exit();
    EXPECT_EQ(liveObjects(), liveAtStart);
  }

  // Adds a test's own objects to the file while it is being made.
  virtual bool extendDatabase(kh::dao::Database&) { return true; }

  using hDBIDb = kbe::hDBIDb;
  using hDBICur = kbe::hDBICur;
  using hDBIStmt = kbe::hDBIStmt;

  // A fresh alias name per test: the configuration tree outlives a test.
  std::string aliasName(const std::string& suffix = "") const {
    return std::string("kh_") + ::testing::UnitTest::GetInstance()->current_test_info()->name() + suffix;
  }

  // Opens the file under a new alias carrying `more` registry values (such as
  // "USE ALLOWZEROLENGTH"), with the master password added for the session.
  hDBIDb openAlias(const std::string& alias, std::vector<std::pair<std::string, std::string>> more) {
    more.insert(more.begin(), {{"Path", file}, {"Exclusive", "False"}});
    storeAlias(alias, more);
    EXPECT_EQ(addAlias(nullptr, alias.c_str(), nullptr, "CONNECT:\";PWD=secret\"", 0), 0);
    hDBIDb handle = nullptr;
    EXPECT_EQ(openDatabase(alias.c_str(), nullptr, 0, 0, nullptr, 0, nullptr, nullptr, &handle), 0);
    EXPECT_NE(handle, nullptr);
    if (handle) opened.push_back(handle);
    return handle;
  }

  std::uint32_t liveObjects() {
    std::uint32_t n = 0;
    getProp(nullptr, 0x00010002, &n, 4, nullptr);
    return n;
  }

  // Allocates and prepares a statement on `on` (the test's database by default).
  hDBIStmt prepare(const std::string& sql, hDBIDb on = nullptr) {
    hDBIStmt s = nullptr;
    EXPECT_EQ(qAlloc(on ? on : db, 0, &s), 0);
    EXPECT_EQ(qPrepare(s, sql.c_str()), 0) << sql;
    return s;
  }

  // Field descriptors by name.
  std::map<std::string, kbe::FLDDesc> fields(hDBICur cursor) {
    kbe::CURProps props{};
    EXPECT_EQ(getCursorProps(cursor, &props), 0);
    std::vector<kbe::FLDDesc> descs(props.iFields);
    EXPECT_EQ(getFieldDescs(cursor, descs.data()), 0);
    std::map<std::string, kbe::FLDDesc> byName;
    for (const kbe::FLDDesc& d : descs) byName[d.szName] = d;
    return byName;
  }

  std::vector<std::uint8_t> recordBuffer(hDBICur cursor) {
    kbe::CURProps props{};
    EXPECT_EQ(getCursorProps(cursor, &props), 0);
    return std::vector<std::uint8_t>(props.iRecBufSize);
  }

  // The text of a string field, or "<null>".
  std::string text(hDBICur cursor, const kbe::FLDDesc& field, const std::vector<std::uint8_t>& record) {
    std::vector<char> value(field.iLen + 1u, '\0');
    std::int32_t blank = 0;
    EXPECT_EQ(getField(cursor, field.iFldNum, record.data(), value.data(), &blank), 0);
    return blank ? "<null>" : std::string(value.data());
  }

  // The values of one string field over the remaining records of a cursor.
  std::vector<std::string> column(hDBICur cursor, const std::string& name) {
    const kbe::FLDDesc field = fields(cursor).at(name);
    std::vector<std::uint8_t> record = recordBuffer(cursor);
    std::vector<std::string> values;
    while (getNext(cursor, 0, record.data(), nullptr) == 0) values.push_back(text(cursor, field, record));
    return values;
  }

  // The values of a string column of a query run through a fresh statement.
  std::vector<std::string> select(const std::string& sql, const std::string& name) {
    hDBICur cursor = nullptr;
    EXPECT_EQ(qExecDirect(db, 0, sql.c_str(), &cursor), 0) << sql;
    if (!cursor) return {};
    std::vector<std::string> values = column(cursor, name);
    EXPECT_EQ(closeCursor(&cursor), 0);
    return values;
  }

  TempRoot root;
  Engine engine;
  std::uint32_t liveAtStart = 0;
  const std::string file = root.path() + "/keyhaven.pdb";
  hDBIDb db = nullptr;
  std::vector<hDBIDb> opened;
  std::vector<hDBICur> cursors;  // closed at the end of the test

  decltype(&::DbiInitFn) init = KBE_FN(engine, DbiInitFn, 2);
  decltype(&::DbiExit) exit = KBE_FN(engine, DbiExit, 3);
  decltype(&::DbiOpenDatabase) openDatabase = KBE_FN(engine, DbiOpenDatabase, 4);
  decltype(&::DbiCloseDatabase) closeDatabase = KBE_FN(engine, DbiCloseDatabase, 5);
  decltype(&::DbiGetCursorProps) getCursorProps = KBE_FN(engine, DbiGetCursorProps, 7);
  decltype(&::DbiGetFieldDescs) getFieldDescs = KBE_FN(engine, DbiGetFieldDescs, 9);
  decltype(&::DbiCloseCursor) closeCursor = KBE_FN(engine, DbiCloseCursor, 12);
  decltype(&::DbiSetToBegin) setToBegin = KBE_FN(engine, DbiSetToBegin, 13);
  decltype(&::DbiGetNextRecord) getNext = KBE_FN(engine, DbiGetNextRecord, 16);
  decltype(&::DbiGetRecord) getRecord = KBE_FN(engine, DbiGetRecord, 18);
  decltype(&::DbiInsertRecord) insertRecord = KBE_FN(engine, DbiInsertRecord, 22);
  decltype(&::DbiModifyRecord) modifyRecord = KBE_FN(engine, DbiModifyRecord, 23);
  decltype(&::DbiOpenBlob) openBlob = KBE_FN(engine, DbiOpenBlob, 100);
  decltype(&::DbiGetBlobSize) getBlobSize = KBE_FN(engine, DbiGetBlobSize, 101);
  decltype(&::DbiGetBlob) getBlob = KBE_FN(engine, DbiGetBlob, 102);
  decltype(&::DbiPutBlob) putBlob = KBE_FN(engine, DbiPutBlob, 103);
  decltype(&::DbiTruncateBlob) truncateBlob = KBE_FN(engine, DbiTruncateBlob, 104);
  decltype(&::DbiFreeBlob) freeBlob = KBE_FN(engine, DbiFreeBlob, 105);
  decltype(&::DbiQExecDirect) qExecDirect = KBE_FN(engine, DbiQExecDirect, 130);
  decltype(&::DbiQPrepare) qPrepare = KBE_FN(engine, DbiQPrepare, 131);
  decltype(&::DbiQExec) qExec = KBE_FN(engine, DbiQExec, 132);
  decltype(&::DbiQSetParams) qSetParams = KBE_FN(engine, DbiQSetParams, 133);
  decltype(&::DbiQFree) qFree = KBE_FN(engine, DbiQFree, 136);
  decltype(&::DbiQAlloc) qAlloc = KBE_FN(engine, DbiQAlloc, 137);
  decltype(&::DbiGetField) getField = KBE_FN(engine, DbiGetField, 207);
  decltype(&::DbiPutField) putField = KBE_FN(engine, DbiPutField, 208);
  decltype(&::DbiGetBookMark) getBookMark = KBE_FN(engine, DbiGetBookMark, 217);
  decltype(&::DbiInitRecord) initRecord = KBE_FN(engine, DbiInitRecord, 221);
  decltype(&::DbiGetProp) getProp = KBE_FN(engine, DbiGetProp, 1071);
  decltype(&::DbiSetProp) setProp = KBE_FN(engine, DbiSetProp, 1072);
  decltype(&::DbiQPrepareProc) qPrepareProc = KBE_FN(engine, DbiQPrepareProc, 1122);
  decltype(&::DbiQSetProcParams) qSetProcParams = KBE_FN(engine, DbiQSetProcParams, 1123);
  decltype(&::DbiQExecProcDirect) qExecProcDirect = KBE_FN(engine, DbiQExecProcDirect, 1124);
  decltype(&::DbiAddAlias) addAlias = KBE_FN(engine, DbiAddAlias, 1207);
};

}  // namespace kbetest
