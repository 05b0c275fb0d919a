// The configuration store (registry hives and KBE.ini under a temporary
// KBE_ROOT), the in-memory tree built from it, and the configuration exports.

#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "engine_fixture.h"
#include "platform/profile.h"
#include "platform/registry.h"

namespace {

using Values = std::vector<std::pair<std::string, std::string>>;

constexpr const char* kConfigKey = "Software\\Corvane\\Keelbase\\Configuration";

// The driver defaults as an alias node reports them after the merge (names
// upper-case), in their order.
const Values kDefaults = {{"NAME", "KBE"},
                          {"PATH", ""},
                          {"USER NAME", "Admin"},
                          {"PASSWORD", ""},
                          {"SYSTEMDB", ""},
                          {"CONNECT", ""},
                          {"EXCLUSIVE", "False"},
                          {"READ ONLY", "False"},
                          {"LOCK EDITS", "False"},
                          {"SEPARATE WORKSPACE", "False"},
                          {"PREFETCH THRESHOLD", "20"},
                          {"PREFETCH THRESHOLD SCALE", "100"},
                          {"PREFETCH RESET EVERY", "25"},
                          {"USE DEFAULTS", "False"},
                          {"USE CONSTRAINTS", "False"},
                          {"DISABLE REFRESH", "False"},
                          {"RENAME PRIMARY", "False"},
                          {"SHOW GUIDS", "False"}};

// `head` followed by every default whose name `head` does not have.
Values withDefaults(Values head) {
  Values out = head;
  for (const auto& d : kDefaults) {
    bool present = false;
    for (const auto& h : head) present = present || h.first == d.first;
    if (!present) out.push_back(d);
  }
  return out;
}

std::string aliasNode(const std::string& alias) { return "\\DATABASES\\" + alias + "\\DB OPEN"; }

class Config : public ::testing::Test {
 public:
  kbetest::TempRoot root;
  kbetest::Engine engine;

  decltype(&DbiAddAlias) addAlias = KBE_FN(engine, DbiAddAlias, 1207);
  decltype(&DbiDeleteAlias) deleteAlias = KBE_FN(engine, DbiDeleteAlias, 1211);
  decltype(&DbiGetDatabaseDesc) getDatabaseDesc = KBE_FN(engine, DbiGetDatabaseDesc, 83);
  decltype(&DbiGetDriverDesc) getDriverDesc = KBE_FN(engine, DbiGetDriverDesc, 81);
  decltype(&DbiOpenDatabaseList) openDatabaseList = KBE_FN(engine, DbiOpenDatabaseList, 82);
  decltype(&DbiOpenDriverList) openDriverList = KBE_FN(engine, DbiOpenDriverList, 80);
  decltype(&DbiOpenCfgInfoList) openCfgInfoList = KBE_FN(engine, DbiOpenCfgInfoList, 1063);
  decltype(&DbiCfgAddRecord) cfgAddRecord = KBE_FN(engine, DbiCfgAddRecord, 405);
  decltype(&DbiCfgPosition) cfgPosition = KBE_FN(engine, DbiCfgPosition, 402);
  decltype(&DbiCfgDropRecord) cfgDropRecord = KBE_FN(engine, DbiCfgDropRecord, 407);
  decltype(&DbiCfgGetHelp) cfgGetHelp = KBE_FN(engine, DbiCfgGetHelp, 409);
  decltype(&DbiGetNextRecord) getNextRecord = KBE_FN(engine, DbiGetNextRecord, 16);
  decltype(&DbiCloseCursor) closeCursor = KBE_FN(engine, DbiCloseCursor, 12);

  void SetUp() override { ASSERT_TRUE(engine.loaded()); }

  // The tree outlives a test while the library stays loaded: every alias a
  // test names is dropped again, and the driver node is put back as the
  // library creates it (not from the store, so not listed).
  std::vector<std::string> aliases;
  const char* alias(const char* name) {
    aliases.emplace_back(name);
    return name;
  }
  void TearDown() override {
    if (!engine.loaded()) return;
    for (const std::string& a : aliases) deleteAlias(nullptr, a.c_str());
    cfgDropRecord(nullptr, "\\DRIVERS\\PARADOX\\DB OPEN");
    cfgDropRecord(nullptr, "\\DRIVERS\\KBE\\DB OPEN");
    std::vector<kbe::FLDDesc> descs(kDefaults.size());
    std::string record;
    for (std::size_t i = 0; i < kDefaults.size(); ++i) {
      std::strcpy(descs[i].szName, kDefaults[i].first.c_str());
      descs[i].iOffset = static_cast<std::uint16_t>(record.size());
      record += kDefaults[i].second;
      record += '\0';
    }
    cfgAddRecord(nullptr, "\\DRIVERS\\KBE\\DB OPEN", static_cast<std::int16_t>(descs.size()), descs.data(),
                 record.data());
  }

  static void regValue(kh::win::HKEY rootKey, const std::string& subKey, const char* name, kh::win::DWORD type,
                       const void* data, kh::win::DWORD size) {
    kh::win::HKEY key = nullptr;
    ASSERT_EQ(kh::win::RegCreateKeyExA(rootKey, (std::string(kConfigKey) + "\\" + subKey).c_str(), 0, nullptr, 0,
                                       kh::win::KEY_ALL_ACCESS, nullptr, &key, nullptr),
              0);
    if (name) {
      EXPECT_EQ(kh::win::RegSetValueExA(key, name, 0, type, static_cast<const kh::win::BYTE*>(data), size), 0);
    }
    kh::win::RegCloseKey(key);
  }
  static void regString(kh::win::HKEY rootKey, const std::string& subKey, const char* name,
                        const std::string& value) {
    regValue(rootKey, subKey, name, kh::win::REG_SZ, value.c_str(), static_cast<kh::win::DWORD>(value.size() + 1));
  }
  static void ini(const std::string& section, const std::string& key, const std::string& value) {
    ASSERT_TRUE(kh::win::WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), "KBE.ini"));
  }

  // Every row of an open list, each `size` bytes; the cursor is closed.
  std::vector<std::vector<std::uint8_t>> rows(kbe::hDBICur cursor, std::size_t size) {
    std::vector<std::vector<std::uint8_t>> out;
    std::vector<std::uint8_t> row(size);
    kbe::DBIResult r;
    while ((r = getNextRecord(cursor, 0, row.data(), nullptr)) == 0) out.push_back(row);
    EXPECT_EQ(r, kbe::rc::EOF_);
    EXPECT_EQ(closeCursor(&cursor), 0);
    return out;
  }

  // The values of a node as DbiOpenCfgInfoList lists them.
  Values cfgValues(const std::string& path) {
    kbe::hDBICur cursor = nullptr;
    EXPECT_EQ(openCfgInfoList(nullptr, 0, 0, path.c_str(), &cursor), 0);
    Values out;
    if (!cursor) return out;
    for (const auto& row : rows(cursor, sizeof(kbe::CFGDesc))) {
      kbe::CFGDesc d;
      std::memcpy(&d, row.data(), sizeof d);
      EXPECT_EQ(+d.iDataType, 1);
      EXPECT_EQ(+d.bHasSubnodes, 0);
      EXPECT_EQ(d.szDescription[0], '\0');
      out.emplace_back(d.szNodeName, d.szValue);
    }
    return out;
  }

  // Alias name -> path, as DbiOpenDatabaseList lists them.
  Values databaseList() {
    kbe::hDBICur cursor = nullptr;
    EXPECT_EQ(openDatabaseList(&cursor), 0);
    Values out;
    if (!cursor) return out;
    for (const auto& row : rows(cursor, sizeof(kbe::DBDesc))) {
      kbe::DBDesc d;
      std::memcpy(&d, row.data(), sizeof d);
      EXPECT_STREQ(d.szDbType, "KBE");
      out.emplace_back(d.szName, d.szPhyName);
    }
    return out;
  }

  bool listed(const std::string& alias) {
    for (const auto& [name, path] : databaseList())
      if (name == alias) return true;
    return false;
  }

  std::vector<std::string> driverList() {
    kbe::hDBICur cursor = nullptr;
    EXPECT_EQ(openDriverList(&cursor), 0);
    std::vector<std::string> out;
    if (!cursor) return out;
    for (const auto& row : rows(cursor, 32)) out.emplace_back(reinterpret_cast<const char*>(row.data()));
    return out;
  }

  kbe::DBDesc databaseDesc(const char* alias) {
    kbe::DBDesc d;
    std::memset(&d, 0x5A, sizeof d);
    EXPECT_EQ(getDatabaseDesc(alias, &d), 0);
    return d;
  }
};

// A later source replaces what an earlier one gave: HKLM, then KBE.ini, then HKCU.
TEST_F(Config, LaterSourcesWinInTheOrderMachineIniUser) {
  struct Case {
    const char* alias;
    const char* machine;
    const char* ini;
    const char* user;
    const char* expected;
  } cases[] = {
      {"both", "/lm/both.pdb", nullptr, "/cu/both.pdb", "/cu/both.pdb"},
      {"all3", "/lm/all3.pdb", "/ini/all3.pdb", "/cu/all3.pdb", "/cu/all3.pdb"},
      {"lmini", "/lm/lmini.pdb", "/ini/lmini.pdb", nullptr, "/ini/lmini.pdb"},
      {"inicu", nullptr, "/ini/inicu.pdb", "/cu/inicu.pdb", "/cu/inicu.pdb"},
      {"lmonly", "/lm/lmonly.pdb", nullptr, nullptr, "/lm/lmonly.pdb"},
  };
  for (const Case& c : cases) {
    alias(c.alias);
    if (c.machine) regString(kh::win::HKEY_LOCAL_MACHINE, std::string("Aliases\\") + c.alias, "Path", c.machine);
    if (c.ini) ini("Aliases", c.alias, c.ini);
    if (c.user) regString(kh::win::HKEY_CURRENT_USER, std::string("Aliases\\") + c.alias, "Path", c.user);
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.alias);
    const kbe::DBDesc d = databaseDesc(c.alias);
    EXPECT_STREQ(d.szName, c.alias);
    EXPECT_STREQ(d.szPhyName, c.expected);
    EXPECT_STREQ(d.szDbType, "KBE");
    EXPECT_EQ(d.szText[0], '\0');
  }
  // One node per alias, however many sources name it.
  int both = 0;
  for (const auto& [name, path] : databaseList())
    if (name == "both") {
      ++both;
      EXPECT_EQ(path, "/cu/both.pdb");
    }
  EXPECT_EQ(both, 1);
}

// A stored alias node lists NAME first, then its stored values in store order,
// then the merged driver defaults; names are upper-case, values keep their case.
TEST_F(Config, StoredAliasListsNameStoredValuesThenDefaults) {
  {
    SCOPED_TRACE("registry");
    regString(kh::win::HKEY_LOCAL_MACHINE, std::string("Aliases\\") + alias("RegAlias"), "Path", "/Data/Mixed Case.pdb");
    regString(kh::win::HKEY_LOCAL_MACHINE, "Aliases\\RegAlias", "Exclusive", "True");
    const kh::win::DWORD number = 7;
    regValue(kh::win::HKEY_LOCAL_MACHINE, "Aliases\\RegAlias", "Numeric", kh::win::REG_DWORD, &number, 4);
    const std::string longData(300, 'x');  // more than the 255-byte data buffer: skipped
    regString(kh::win::HKEY_LOCAL_MACHINE, "Aliases\\RegAlias", "Too Long", longData);
    regString(kh::win::HKEY_LOCAL_MACHINE, "Aliases\\RegAlias", "Lock Edits", "True");
    EXPECT_EQ(cfgValues(aliasNode("regalias")),
              withDefaults({{"NAME", "RegAlias"},
                            {"PATH", "/Data/Mixed Case.pdb"},
                            {"EXCLUSIVE", "True"},
                            {"LOCK EDITS", "True"}}));
  }
  {
    SCOPED_TRACE("ini");
    ini("Aliases", alias("IniAlias"), "/data/ini.pdb");
    ini("IniAlias", "Exclusive", "True");
    EXPECT_EQ(cfgValues(aliasNode("IniAlias")),
              withDefaults({{"NAME", "IniAlias"}, {"PATH", "/data/ini.pdb"}, {"EXCLUSIVE", "True"}}));
  }
}

// Thousands of aliases in a hive and in KBE.ini are read in one pass each.
TEST_F(Config, ManyStoredAliasesLoad) {
  {
    std::string hive;
    for (int i = 0; i < 20000; ++i)
      hive += "[Software\\Corvane\\Keelbase\\Configuration\\Aliases\\reg" + std::to_string(i) +
              "]\n\"Path\"=sz:\"/r/" + std::to_string(i) + "\"\n";
    std::ofstream(root.path() + "/HKLM.reg", std::ios::binary) << hive;
    std::string text = "[Aliases]\n";
    for (int i = 0; i < 50000; ++i) text += "ini" + std::to_string(i) + "=/i/" + std::to_string(i) + "\n";
    std::ofstream(root.path() + "/KBE.ini", std::ios::binary) << text;
  }
  EXPECT_EQ(cfgValues(aliasNode("REG19999")), withDefaults({{"NAME", "reg19999"}, {"PATH", "/r/19999"}}));
  EXPECT_EQ(cfgValues(aliasNode("ini0")), withDefaults({{"NAME", "ini0"}, {"PATH", "/i/0"}}));
}

// An INI value is cut to 128 characters (the path field holds up to 260).
TEST_F(Config, IniValuesAreCutTo128Characters) {
  const std::string longPath = "/" + std::string(200, 'p');
  ini("Aliases", alias("longini"), longPath);
  EXPECT_EQ(std::string(databaseDesc("longini").szPhyName), longPath.substr(0, 128));
}

// The built-in driver node is listed only once the store supplies a node of that shape.
TEST_F(Config, DriverListShowsOnlyDriversFromTheStore) {
  EXPECT_EQ(driverList(), std::vector<std::string>{});
  ini("Aliases", "\\DRIVERS\\KBE\\DB OPEN", "/drivers/default");
  EXPECT_EQ(driverList(), std::vector<std::string>{"KBE"});
  const Values driver = cfgValues("\\drivers\\kbe\\db open");
  ASSERT_GE(driver.size(), 2u);
  EXPECT_EQ(driver[0], (std::pair<std::string, std::string>{"NAME", "KBE"}));
  EXPECT_EQ(driver[1], (std::pair<std::string, std::string>{"PATH", "/drivers/default"}));
  // A driver path is not an alias: the alias list stays without it.
  for (const auto& [name, path] : databaseList()) EXPECT_NE(path, "/drivers/default");
}

// Leaf keys below "Direct Mapping" become nodes named by their key chain;
// keys with subkeys contribute nothing of their own.
TEST_F(Config, DirectMappingLeavesBecomeNodes) {
  regString(kh::win::HKEY_LOCAL_MACHINE, "Direct Mapping\\System", "Ignored", "x");
  regString(kh::win::HKEY_LOCAL_MACHINE, "Direct Mapping\\System\\Init", "Local Share", "False");
  regString(kh::win::HKEY_CURRENT_USER, "Direct Mapping\\Drivers\\Paradox\\DB Open", "Name", "PARADOX");
  EXPECT_EQ(cfgValues("\\SYSTEM\\INIT"), (Values{{"LOCAL SHARE", "False"}}));
  EXPECT_EQ(cfgPosition(nullptr, "\\SYSTEM"), kbe::rc::NotSupported);
  EXPECT_EQ(driverList(), std::vector<std::string>{"PARADOX"});
}

// A session-only alias lives in the tree but not in the store's alias list.
TEST_F(Config, AddAliasDefinesASessionAliasThatTheListDoesNotShow) {
  ASSERT_EQ(addAlias(nullptr, alias("session1"), "KBE", "PATH:\"/tmp/s.pdb\";EXCLUSIVE:\"True\"", 0), 0);
  EXPECT_EQ(cfgValues(aliasNode("SESSION1")), (Values{{"PATH", "/tmp/s.pdb"}, {"EXCLUSIVE", "True"}}));
  EXPECT_EQ(cfgPosition(nullptr, aliasNode("session1").c_str()), 0);
  EXPECT_STREQ(databaseDesc("session1").szPhyName, "/tmp/s.pdb");
  EXPECT_FALSE(listed("session1"));
  EXPECT_EQ(deleteAlias(nullptr, "session1"), 0);
  EXPECT_EQ(cfgPosition(nullptr, aliasNode("session1").c_str()), kbe::rc::NotSupported);
  EXPECT_EQ(deleteAlias(nullptr, "session1"), 0);  // absent: still 0
}

// The program's connect: the stored alias plus the session's CONNECT. A
// reload brings back the stored values and keeps what only the session set.
TEST_F(Config, SessionValuesOnAStoredAliasSurviveReloadUntilTheStoreNamesThem) {
  alias("kh");
  regString(kh::win::HKEY_LOCAL_MACHINE, "Aliases\\kh", "Path", "/home/u/pw.pdb");
  regString(kh::win::HKEY_LOCAL_MACHINE, "Aliases\\kh", "Exclusive", "True");
  ASSERT_TRUE(listed("kh"));
  ASSERT_EQ(addAlias(nullptr, "kh", nullptr, "PATH:\"/elsewhere.pdb\" CONNECT:\";PWD=se:cret\"", 0), 0);
  EXPECT_STREQ(databaseDesc("kh").szPhyName, "/home/u/pw.pdb");
  EXPECT_EQ(cfgValues(aliasNode("kh")), withDefaults({{"NAME", "kh"},
                                                      {"PATH", "/home/u/pw.pdb"},
                                                      {"EXCLUSIVE", "True"},
                                                      {"USER NAME", "Admin"},
                                                      {"PASSWORD", ""},
                                                      {"SYSTEMDB", ""},
                                                      {"CONNECT", ";PWD=se:cret"}}));

  // Deleting the stored alias drops the session's values; the list reloads it.
  EXPECT_EQ(deleteAlias(nullptr, "kh"), 0);
  EXPECT_EQ(cfgPosition(nullptr, aliasNode("kh").c_str()), kbe::rc::NotSupported);
  EXPECT_TRUE(listed("kh"));
  EXPECT_EQ(cfgValues(aliasNode("kh")),
            withDefaults({{"NAME", "kh"}, {"PATH", "/home/u/pw.pdb"}, {"EXCLUSIVE", "True"}}));
}

TEST_F(Config, DatabaseDescOfAnUnknownAliasHasTheNameAndNoPath) {
  kbe::DBDesc d = databaseDesc("nosuchalias");
  EXPECT_STREQ(d.szName, "nosuchalias");
  EXPECT_STREQ(d.szText, "");
  EXPECT_STREQ(d.szPhyName, "");
  EXPECT_STREQ(d.szDbType, "KBE");
  const kbe::DBDesc zero{};
  EXPECT_EQ(std::memcmp(d.szPhyName, zero.szPhyName, sizeof d.szPhyName), 0);  // zeroed, not just terminated

  d = databaseDesc(std::string(40, 'n').c_str());
  EXPECT_EQ(std::string(d.szName), std::string(31, 'n'));
  EXPECT_EQ(getDatabaseDesc("x", nullptr), 0);
}

TEST_F(Config, ParameterStringEntriesAreNameColonQuotedValue) {
  struct Case {
    const char* alias;
    const char* params;
    Values expected;
  } cases[] = {
      {"p_nocolon", "PATH=/x.pdb", {}},
      {"p_empty", "", {}},
      {"p_null", nullptr, {}},
      {"p_two", "PATH:\"/a b.pdb\" ; ;EXCLUSIVE:\"True\"", {{"PATH", "/a b.pdb"}, {"EXCLUSIVE", "True"}}},
      {"p_connect", "CONNECT:\";PWD=a:b;c\"", {{"CONNECT", ";PWD=a:b;c"}}},
      {"p_same", "Path:\"/1\";PATH:\"/2\";path:\"\"", {{"PATH", ""}}},
      {"p_unclosed", "PATH:\"/ok\";EXCLUSIVE:\"True", {{"PATH", "/ok"}}},
      {"p_trailing", "PATH:", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.alias);
    ASSERT_EQ(addAlias(nullptr, alias(c.alias), "KBE", c.params, 0), 0);
    EXPECT_EQ(cfgPosition(nullptr, aliasNode(c.alias).c_str()), 0);  // the node exists, with or without values
    EXPECT_EQ(cfgValues(aliasNode(c.alias)), c.expected);
    EXPECT_FALSE(listed(c.alias));
  }
}

TEST_F(Config, ConfigurationHandlesMustBeNull) {
  int handle = 0;
  void* cfg = &handle;
  EXPECT_EQ(addAlias(cfg, "h1", "KBE", "PATH:\"/x\"", 0), kbe::rc::NotSupported);
  EXPECT_EQ(cfgPosition(nullptr, aliasNode("h1").c_str()), kbe::rc::NotSupported);  // nothing was added
  ASSERT_EQ(addAlias(nullptr, alias("h1"), "KBE", "PATH:\"/x\"", 0), 0);
  EXPECT_EQ(deleteAlias(cfg, "h1"), kbe::rc::NotSupported);
  EXPECT_EQ(cfgPosition(cfg, aliasNode("h1").c_str()), kbe::rc::NotSupported);
  EXPECT_EQ(cfgDropRecord(cfg, aliasNode("h1").c_str()), kbe::rc::NotSupported);
  EXPECT_EQ(cfgPosition(nullptr, aliasNode("h1").c_str()), 0);  // still there
  // A null alias name is refused instead of followed.
  EXPECT_EQ(addAlias(nullptr, nullptr, "KBE", "PATH:\"/x\"", 0), kbe::rc::InvalidParam);
  EXPECT_EQ(deleteAlias(nullptr, nullptr), kbe::rc::InvalidParam);
}

TEST_F(Config, CfgRecordsAddPositionAndDrop) {
  const char* path = "\\Custom\\Node";
  struct {
    kbe::FLDDesc desc[2];
    char record[64];
  } in{};
  std::strcpy(in.desc[0].szName, "First Setting");
  in.desc[0].iOffset = 0;
  std::strcpy(in.desc[1].szName, "second");
  in.desc[1].iOffset = 20;
  std::strcpy(in.record, "one");
  std::strcpy(in.record + 20, "Two");

  EXPECT_EQ(cfgPosition(nullptr, path), kbe::rc::NotSupported);
  EXPECT_EQ(cfgAddRecord(nullptr, path, 0, nullptr, nullptr), 0);  // creates the node, sets nothing
  EXPECT_EQ(cfgPosition(nullptr, "\\CUSTOM\\NODE"), 0);
  EXPECT_EQ(cfgValues(path), Values{});
  EXPECT_EQ(cfgAddRecord(nullptr, path, 2, in.desc, in.record), 0);
  EXPECT_EQ(cfgAddRecord(nullptr, path, 1, in.desc, "uno"), 0);  // replaces, keeps its place
  EXPECT_EQ(cfgValues(path), (Values{{"FIRST SETTING", "uno"}, {"SECOND", "Two"}}));
  EXPECT_EQ(cfgAddRecord(nullptr, path, 2, nullptr, nullptr), kbe::rc::InvalidParam);

  EXPECT_EQ(cfgDropRecord(nullptr, path), 0);
  EXPECT_EQ(cfgPosition(nullptr, path), kbe::rc::NotSupported);
  EXPECT_EQ(cfgDropRecord(nullptr, path), 0);
  EXPECT_EQ(cfgValues(path), Values{});
}

TEST_F(Config, DriverDescriptionRecord) {
  std::uint8_t r[160];
  std::memset(r, 0xCC, sizeof r);
  ASSERT_EQ(getDriverDesc("anything", r), 0);
  auto u16 = [&](int o) { return static_cast<std::uint16_t>(r[o] | r[o + 1] << 8); };
  EXPECT_STREQ(reinterpret_cast<char*>(r), "KBE");
  EXPECT_STREQ(reinterpret_cast<char*>(r + 32), "Version 3.0 Beta 3 for Jet/DAO ");
  EXPECT_EQ(r[64] | r[65] << 8 | r[66] << 16 | r[67] << 24, 3);
  EXPECT_EQ(u16(68), 0xFFFF);
  EXPECT_STREQ(reinterpret_cast<char*>(r + 70), "KBE");
  const std::uint16_t flags[] = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0, 0, 0xFFFF, 0xFFFF, 0};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(u16(102 + 2 * i), flags[i]) << "offset " << 102 + 2 * i;
  EXPECT_EQ(u16(122), 120);
  EXPECT_EQ(u16(124), 0);
  for (int i = 126; i < 160; ++i) EXPECT_EQ(r[i], 0xCC) << i;
  EXPECT_EQ(getDriverDesc(nullptr, nullptr), 0);
}

TEST_F(Config, ListFunctionsRefuseANullCursorPointer) {
  EXPECT_EQ(openDatabaseList(nullptr), kbe::rc::NotSupported);
  EXPECT_EQ(openDriverList(nullptr), kbe::rc::NotSupported);
  EXPECT_EQ(openCfgInfoList(nullptr, 0, 0, "\\DRIVERS\\KBE\\DB OPEN", nullptr), kbe::rc::NotSupported);
}

TEST_F(Config, CfgGetHelpDependsOnInitialisation) {
  auto initFn = engine.byName<decltype(&DbiInitFn)>("DbiInitFn");
  auto exitFn = engine.byName<decltype(&DbiExit)>("DbiExit");
  EXPECT_EQ(cfgGetHelp(nullptr, "\\DRIVERS", "X", nullptr), kbe::rc::NotInitialized);
  ASSERT_EQ(initFn(300, nullptr), 0);
  EXPECT_EQ(cfgGetHelp(nullptr, "\\DRIVERS", "X", nullptr), kbe::rc::NotSupported);
  EXPECT_EQ(exitFn(), 0);
  EXPECT_EQ(cfgGetHelp(nullptr, "\\DRIVERS", "X", nullptr), kbe::rc::NotInitialized);
}

}  // namespace
