// Databases opened by alias, workspaces and transactions, on real password
// database files made through the store in a temporary directory.
#include <cstring>
#include <fstream>
#include <iterator>
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

// ---- fixtures ---------------------------------------------------------------

// Makes a password database file with the table "Items" (Name: Text 50)
// through the store's own object model, as a DAO client would.
bool createPasswordDatabase(const std::string& path, const std::string& password) {
  kh::win::HMODULE store = kh::win::LoadLibraryA((std::string(KH_ENGINE_DIR) + "/libkhstore.so").c_str());
  if (!store) return false;
  using GetClassObject = kh::HRESULT (*)(const kh::GUID&, const kh::GUID&, void**);
  auto getClassObject = reinterpret_cast<GetClassObject>(kh::win::GetProcAddress(store, "khStoreGetClassObject"));
  bool ok = false;
  if (getClassObject) {
    const kh::GUID privateEngine = {0x00000011, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
    const kh::Variant missing = kh::Variant::missing();
    kh::ComPtr<dao::IClassFactory> factory;
    kh::ComPtr<dao::_DBEngine> engine;
    kh::ComPtr<dao::Workspaces> workspaces;
    kh::ComPtr<dao::Workspace> ws;
    kh::ComPtr<dao::Database> db;
    kh::ComPtr<dao::_TableDef> table;
    kh::ComPtr<dao::_Field> field;
    kh::ComPtr<dao::Fields> fields;
    kh::ComPtr<dao::TableDefs> tables;
    ok = kh::SUCCEEDED(getClassObject(privateEngine, dao::IClassFactory::kIID, reinterpret_cast<void**>(factory.put()))) &&
         kh::SUCCEEDED(factory->CreateInstance(nullptr, dao::_DBEngine::kIID, reinterpret_cast<void**>(engine.put()))) &&
         kh::SUCCEEDED(engine->get_Workspaces(workspaces.put())) &&
         kh::SUCCEEDED(workspaces->get_Item(kh::Variant(std::int32_t{0}), ws.put())) &&
         kh::SUCCEEDED(ws->CreateDatabase(path, std::string(dao::dbLangGeneral) + ";pwd=" + password,
                                          kh::Variant(std::int32_t{0}), db.put())) &&
         kh::SUCCEEDED(db->CreateTableDef(kh::Variant("Items"), missing, missing, missing, table.put())) &&
         kh::SUCCEEDED(table->CreateField(kh::Variant("Name"), kh::Variant(std::int32_t{dao::dbText}),
                                          kh::Variant(std::int32_t{50}), field.put())) &&
         kh::SUCCEEDED(table->get_Fields(fields.put())) && kh::SUCCEEDED(fields->Append(field.get())) &&
         kh::SUCCEEDED(db->get_TableDefs(tables.put())) && kh::SUCCEEDED(tables->Append(table.get())) &&
         kh::SUCCEEDED(db->Close());
  }
  kh::win::FreeLibrary(store);
  return ok;
}

// Records an alias in HKEY_LOCAL_MACHINE as the program does: string values
// under "...\Configuration\Aliases\<alias>".
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

std::vector<std::string> logLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> lines;
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t end = text.find("\r\n", pos);
    if (end == std::string::npos) {
      lines.push_back(text.substr(pos) + "<no CR LF>");
      break;
    }
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 2;
  }
  return lines;
}

class Databases : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(engine.loaded());
    // Start from an engine without a default session.
    restart();
    liveAtStart = liveObjects();
    ASSERT_TRUE(createPasswordDatabase(file, "secret"));
  }
  void TearDown() override {
    if (!engine.loaded()) return;
    debugLayer(0, nullptr);
    restart();
    // Everything the test opened is gone again.
    EXPECT_EQ(liveObjects(), liveAtStart);
  }

  // An engine without a default session, left uninitialised as it was found
  // (DbiExit acts on an initialised engine only).
  void restart() {
    init(400, nullptr);
    exit();
  }

  // An alias of the test's file: Path and Exclusive in the registry, the
  // database password added for the session as the host does.
  void defineAlias(const std::string& alias, const std::string& password = "secret",
                   std::vector<std::pair<std::string, std::string>> more = {}) {
    more.insert(more.begin(), {{"Path", file}, {"Exclusive", "False"}});
    storeAlias(alias, more);
    const std::string params = "CONNECT:\";PWD=" + password + "\"";
    ASSERT_EQ(addAlias(nullptr, alias.c_str(), nullptr, params.c_str(), 0), 0);
  }

  DBIResult open(const std::string& alias, hDBIDb* db, const char* password = nullptr, std::uint32_t shareMode = 0) {
    return openDatabase(alias.c_str(), nullptr, 0, shareMode, password, 0, nullptr, nullptr, db);
  }

  std::uint32_t liveObjects() {
    std::uint32_t n = 0;
    getProp(nullptr, 0x00010002, &n, 4, nullptr);
    return n;
  }

  XInfo tranInfo(hDBIDb db) {
    XInfo info;
    std::memset(&info, 0x5A, sizeof info);
    EXPECT_EQ(getTranInfo(db, nullptr, &info), 0);
    return info;
  }

  TempRoot root;
  Engine engine;
  std::uint32_t liveAtStart = 0;
  const std::string file = root.path() + "/store.pdb";
  const std::string logFile = root.path() + "/engine.log";

  decltype(&::DbiInitFn) init = KBE_FN(engine, DbiInitFn, 2);
  decltype(&::DbiExit) exit = KBE_FN(engine, DbiExit, 3);
  decltype(&::DbiOpenDatabase) openDatabase = KBE_FN(engine, DbiOpenDatabase, 4);
  decltype(&::DbiCloseDatabase) closeDatabase = KBE_FN(engine, DbiCloseDatabase, 5);
  decltype(&::DbiStartSession) startSession = KBE_FN(engine, DbiStartSession, 70);
  decltype(&::DbiSetCurrSession) setCurrSession = KBE_FN(engine, DbiSetCurrSession, 71);
  decltype(&::DbiGetCurrSession) getCurrSession = KBE_FN(engine, DbiGetCurrSession, 72);
  decltype(&::DbiCloseSession) closeSession = KBE_FN(engine, DbiCloseSession, 73);
  decltype(&::DbiGetErrorEntry) getErrorEntry = KBE_FN(engine, DbiGetErrorEntry, 300);
  decltype(&::DbiDebugLayerOptions) debugLayer = KBE_FN(engine, DbiDebugLayerOptions, 508);
  decltype(&::DbiBeginTran) beginTran = KBE_FN(engine, DbiBeginTran, 860);
  decltype(&::DbiEndTran) endTran = KBE_FN(engine, DbiEndTran, 861);
  decltype(&::DbiGetTranInfo) getTranInfo = KBE_FN(engine, DbiGetTranInfo, 862);
  decltype(&::DbiGetProp) getProp = KBE_FN(engine, DbiGetProp, 1071);
  decltype(&::DbiSetProp) setProp = KBE_FN(engine, DbiSetProp, 1072);
  decltype(&::DbiGetObjFromObj) objFromObj = KBE_FN(engine, DbiGetObjFromObj, 1086);
  decltype(&::DbiAddAlias) addAlias = KBE_FN(engine, DbiAddAlias, 1207);
};

// ---- tests -----------------------------------------------------------------------

TEST_F(Databases, OpenWithTheDatabasePasswordPropertiesCloseAndStaleHandle) {
  defineAlias("khOpen");
  hDBIDb db = nullptr;
  ASSERT_EQ(open("khOpen", &db), 0);
  ASSERT_NE(db, nullptr);

  char text[64] = "";
  std::uint16_t length = 0;
  EXPECT_EQ(getProp(db, 0x00040001, text, sizeof text, &length), 0);
  EXPECT_STREQ(text, "khOpen");
  EXPECT_EQ(length, 6);
  EXPECT_EQ(getProp(db, 0x00040002, text, sizeof text, &length), 0);
  EXPECT_STREQ(text, "KBE");
  std::int16_t flag = 7;
  EXPECT_EQ(getProp(db, 0x00040004, &flag, 2, &length), 0);
  EXPECT_EQ(flag, -1);
  EXPECT_EQ(length, 2);
  EXPECT_EQ(getProp(db, 0x00040005, &flag, 2, &length), 0);
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(getProp(db, 0x04040007, &flag, 2, &length), 0x3001);
  EXPECT_EQ(setProp(db, 0x00040004, 1), 0);
  EXPECT_EQ(setProp(db, 0x04040007, 1), 0);
  EXPECT_EQ(setProp(db, 0x00040001, 1), 0x3001);

  hDBIObj owner = nullptr;
  hDBISes current = nullptr;
  EXPECT_EQ(objFromObj(db, 2, &owner), 0);
  EXPECT_EQ(getCurrSession(&current), 0);
  EXPECT_EQ(owner, current);

  hDBIDb stale = db;
  EXPECT_EQ(closeDatabase(&db), 0);
  EXPECT_EQ(db, nullptr);
  EXPECT_EQ(closeDatabase(&db), 0x2706);  // a pointer to a null handle
  EXPECT_EQ(closeDatabase(nullptr), 0x2706);
  // The closed handle is refused everywhere, without touching freed memory.
  EXPECT_EQ(closeDatabase(&stale), 0x2706);
  EXPECT_EQ(beginTran(stale, 0, nullptr), 0x3001);
  EXPECT_EQ(endTran(stale, nullptr, 0), 0x3001);
  XInfo info{};
  EXPECT_EQ(getTranInfo(stale, nullptr, &info), 0x3001);
  EXPECT_EQ(getProp(stale, 0x00040001, text, sizeof text, &length), 0x3001);
  EXPECT_EQ(objFromObj(stale, 2, &owner), 0);
  EXPECT_EQ(owner, nullptr);
}

TEST_F(Databases, FailedOpensAnswerTheCodeOfTheirStage) {
  defineAlias("khRight");
  defineAlias("khWrong", "not the password");
  ASSERT_EQ(addAlias(nullptr, "khMissing", nullptr, ("PATH:\"" + root.path() + "/absent.pdb\"").c_str(), 0), 0);
  ASSERT_EQ(debugLayer(0x0B, logFile.c_str()), 0);

  struct Case {
    const char* what;
    const char* alias;
    const char* workspacePassword;
    std::uint32_t shareMode;
    DBIResult rc;
    std::uint32_t daoError;  // DAO error 1 afterwards (0: not checked)
    const char* failedMember;
  };
  const std::vector<Case> cases = {
      {"wrong database password", "khWrong", nullptr, 0, 0x271E, 3031, "DAOWorkspace.OpenDatabase"},
      {"rejected workspace user", "khRight", "not a workspace password", 0, 0x3101, 3029,
       "DAODBEngine.CreateWorkspace"},
      {"missing file", "khMissing", nullptr, 0, 0x271E, 3024, "DAOWorkspace.OpenDatabase"},
      {"no such alias, exclusive", "khNoSuchAlias", nullptr, 1, 0x271E, 0, "DAOWorkspace.OpenDatabase"},
      {"null alias", nullptr, nullptr, 0, 0x271E, 0, nullptr},
      {"empty alias", "", nullptr, 0, 0x271E, 0, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::size_t linesBefore = logLines(logFile).size();
    hDBIDb db = nullptr;
    EXPECT_EQ(openDatabase(c.alias, nullptr, 0, c.shareMode, c.workspacePassword, 0, nullptr, nullptr, &db), c.rc);
    EXPECT_EQ(db, nullptr);
    const std::vector<std::string> lines = logLines(logFile);
    if (c.failedMember) {
      ASSERT_GE(lines.size(), linesBefore + 2);
      EXPECT_EQ(lines[linesBefore], std::string("EXCEPTION EDAOError @00000000: ") + c.failedMember + " failed");
      EXPECT_EQ(lines[linesBefore + 1].rfind(">> ", 0), 0u) << lines[linesBefore + 1];
    } else {
      EXPECT_EQ(lines.size(), linesBefore);
    }
    if (c.daoError) {
      std::uint32_t native = 0;
      char message[127] = "";
      EXPECT_EQ(getErrorEntry(1, &native, message), 0x3303);
      EXPECT_EQ(native, c.daoError);
      EXPECT_EQ(">> " + std::string(message), lines[linesBefore + 1]);
    }
  }

  // The right password still opens.
  hDBIDb db = nullptr;
  ASSERT_EQ(open("khRight", &db), 0);
  EXPECT_EQ(closeDatabase(&db), 0);
}

TEST_F(Databases, OneWorkspaceSharesItsTransactionDepth) {
  defineAlias("khShared");
  hDBIDb first = nullptr, second = nullptr;
  ASSERT_EQ(open("khShared", &first), 0);
  const std::uint32_t liveWithOne = liveObjects();
  ASSERT_EQ(open("khShared", &second), 0);
  EXPECT_NE(first, second);
  EXPECT_EQ(liveObjects(), liveWithOne + 1);  // one more database, no new workspace

  hDBIXact xact = nullptr;
  EXPECT_EQ(beginTran(first, 0, &xact), 0);
  EXPECT_EQ(xact, first);
  XInfo info = tranInfo(second);
  EXPECT_EQ(info.exState, 1u);
  EXPECT_EQ(info.eXIL, 0u);
  EXPECT_EQ(info.uNests, 1);

  EXPECT_EQ(beginTran(first, 0, nullptr), 0);
  EXPECT_EQ(tranInfo(second).uNests, 2);
  EXPECT_EQ(endTran(first, xact, 0), 0);
  info = tranInfo(second);
  EXPECT_EQ(info.exState, 1u);
  EXPECT_EQ(info.uNests, 1);
  EXPECT_EQ(endTran(first, xact, 2), 0);  // roll back
  info = tranInfo(first);
  EXPECT_EQ(info.exState, 0u);
  EXPECT_EQ(info.uNests, 0);
  // A commit without a transaction still goes to DAO, which refuses it; the
  // depth stays at 0.
  EXPECT_EQ(endTran(first, xact, 0), 0x2B66);
  EXPECT_EQ(tranInfo(first).uNests, 0);

  EXPECT_EQ(closeDatabase(&first), 0);
  EXPECT_EQ(closeDatabase(&second), 0);
  EXPECT_EQ(liveObjects(), liveWithOne - 1);  // the shared workspace stays with the session
}

TEST_F(Databases, SeparateWorkspaceComesAndGoesWithItsDatabase) {
  defineAlias("khSeparate", "secret", {{"Separate Workspace", "TRUE"}});
  hDBISes current = nullptr;
  ASSERT_EQ(getCurrSession(&current), 0);
  const std::uint32_t before = liveObjects();
  hDBIDb first = nullptr, second = nullptr;
  ASSERT_EQ(open("khSeparate", &first), 0);
  EXPECT_EQ(liveObjects(), before + 2);  // a workspace and a database
  ASSERT_EQ(open("khSeparate", &second), 0);
  EXPECT_EQ(liveObjects(), before + 4);

  EXPECT_EQ(beginTran(first, 0, nullptr), 0);
  EXPECT_EQ(tranInfo(first).uNests, 1);
  EXPECT_EQ(tranInfo(second).uNests, 0);  // a workspace of its own
  EXPECT_EQ(endTran(first, nullptr, 0), 0);

  EXPECT_EQ(closeDatabase(&first), 0);
  EXPECT_EQ(liveObjects(), before + 2);
  EXPECT_EQ(closeDatabase(&second), 0);
  EXPECT_EQ(liveObjects(), before);
}

TEST_F(Databases, ExclusiveShareModeKeepsOtherOpenersOut) {
  defineAlias("khExclusive");
  hDBIDb owner = nullptr, other = nullptr;
  ASSERT_EQ(open("khExclusive", &owner, nullptr, 1), 0);
  EXPECT_EQ(open("khExclusive", &other), 0x271E);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(closeDatabase(&owner), 0);
  ASSERT_EQ(open("khExclusive", &other), 0);
  EXPECT_EQ(closeDatabase(&other), 0);
}

TEST_F(Databases, SystemDatabaseOfAnEngineInUseCannotChange) {
  defineAlias("khPlain");
  defineAlias("khSystem", "secret", {{"SystemDb", "/shared/system.mdw"}});
  hDBIDb db = nullptr;
  ASSERT_EQ(open("khPlain", &db), 0);
  const std::uint32_t live = liveObjects();
  hDBIDb refused = nullptr;
  EXPECT_EQ(open("khSystem", &refused), 0x3101);
  EXPECT_EQ(refused, nullptr);
  EXPECT_EQ(liveObjects(), live);
  EXPECT_EQ(closeDatabase(&db), 0);

  // A session whose engine uses that system database opens it.
  hDBISes session = nullptr;
  ASSERT_EQ(startSession("Sys", &session, "/shared/system.mdw"), 0);
  ASSERT_EQ(setCurrSession(session), 0);
  ASSERT_EQ(open("khSystem", &db), 0);
  EXPECT_EQ(closeDatabase(&db), 0);
  // A fresh engine takes the alias's system database.
  hDBISes fresh = nullptr;
  ASSERT_EQ(startSession("Fresh", &fresh, nullptr), 0);
  ASSERT_EQ(setCurrSession(fresh), 0);
  ASSERT_EQ(open("khSystem", &db), 0);
  char path[64] = "";
  EXPECT_EQ(getProp(fresh, 0x00020002, path, sizeof path, nullptr), 0);
  EXPECT_STREQ(path, "/shared/system.mdw");
  EXPECT_EQ(closeDatabase(&db), 0);
  EXPECT_EQ(closeSession(session), 0);
  EXPECT_EQ(closeSession(fresh), 0);
}

TEST_F(Databases, ClosingTheSessionReleasesItsDatabases) {
  defineAlias("khOrphan");
  hDBISes session = nullptr;
  ASSERT_EQ(startSession("Short", &session, nullptr), 0);
  ASSERT_EQ(setCurrSession(session), 0);
  hDBIDb db = nullptr;
  ASSERT_EQ(open("khOrphan", &db), 0);
  EXPECT_EQ(beginTran(db, 0, nullptr), 0);
  EXPECT_EQ(closeSession(session), 0);
  // The database went with its workspace; its handle is refused.
  EXPECT_EQ(getTranInfo(db, nullptr, nullptr), 0x3001);
  EXPECT_EQ(closeDatabase(&db), 0x2706);
}

}  // namespace
