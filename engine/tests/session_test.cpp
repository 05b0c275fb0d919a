// Library entry, initialisation, detach callbacks, sessions, object
// properties and the fixed-answer functions, called through the ordinal slots.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine_fixture.h"

namespace {

using kbetest::Engine;
using kbetest::TempRoot;
using namespace kbe;

// What the detach callbacks saw, kept outside the engine.
struct DetachCall {
  std::uint32_t type;
  std::uint32_t clientData;
  void* buffer;
};
std::vector<DetachCall> g_detachCalls;

std::uint32_t recordDetach(std::uint32_t type, std::uint32_t clientData, void* buffer) {
  g_detachCalls.push_back({type, clientData, buffer});
  return 0;
}
std::uint32_t otherDetach(std::uint32_t type, std::uint32_t clientData, void* buffer) {
  g_detachCalls.push_back({type, clientData + 1000, buffer});
  return 0;
}

// The functions of this file, bound once per loaded engine.
struct Api {
  explicit Api(const Engine& e)
      : init(KBE_FN(e, DbiInitFn, 2)),
        exit(KBE_FN(e, DbiExit, 3)),
        sysInfo(KBE_FN(e, DbiGetSysInfo, 122)),
        registerCallBack(KBE_FN(e, DbiRegisterCallBack, 206)),
        getCallBack(KBE_FN(e, DbiGetCallBack, 337)),
        startSession(KBE_FN(e, DbiStartSession, 70)),
        setCurrSession(KBE_FN(e, DbiSetCurrSession, 71)),
        getCurrSession(KBE_FN(e, DbiGetCurrSession, 72)),
        closeSession(KBE_FN(e, DbiCloseSession, 73)),
        setPrivateDir(KBE_FN(e, DbiSetPrivateDir, 78)),
        getSesInfo(KBE_FN(e, DbiGetSesInfo, 125)),
        getProp(KBE_FN(e, DbiGetProp, 1071)),
        setProp(KBE_FN(e, DbiSetProp, 1072)),
        objFromName(KBE_FN(e, DbiGetObjFromName, 1073)),
        objFromObj(KBE_FN(e, DbiGetObjFromObj, 1086)) {}

  std::string sessionName(hDBISes s) const {
    hDBISes before = nullptr;
    getCurrSession(&before);
    setCurrSession(s);
    SESInfo info{};
    EXPECT_EQ(getSesInfo(&info), 0);
    setCurrSession(before);
    return info.szName;
  }

  decltype(&::DbiInitFn) init;
  decltype(&::DbiExit) exit;
  decltype(&::DbiGetSysInfo) sysInfo;
  decltype(&::DbiRegisterCallBack) registerCallBack;
  decltype(&::DbiGetCallBack) getCallBack;
  decltype(&::DbiStartSession) startSession;
  decltype(&::DbiSetCurrSession) setCurrSession;
  decltype(&::DbiGetCurrSession) getCurrSession;
  decltype(&::DbiCloseSession) closeSession;
  decltype(&::DbiSetPrivateDir) setPrivateDir;
  decltype(&::DbiGetSesInfo) getSesInfo;
  decltype(&::DbiGetProp) getProp;
  decltype(&::DbiSetProp) setProp;
  decltype(&::DbiGetObjFromName) objFromName;
  decltype(&::DbiGetObjFromObj) objFromObj;
};

TEST(Initialisation, VersionCheckMultipleInitAndExit) {
  TempRoot root;
  Engine engine;
  ASSERT_TRUE(engine.loaded());
  Api api(engine);
  EXPECT_EQ(api.exit(), 0);  // without DbiInitFn: nothing to do
  EXPECT_EQ(api.init(299, nullptr), 0x3001);
  EXPECT_EQ(api.sysInfo(nullptr), 0x2A06);
  EXPECT_EQ(api.init(300, nullptr), 0);
  EXPECT_EQ(api.sysInfo(nullptr), 0);
  EXPECT_EQ(api.init(400, nullptr), 0x2A07);
  EXPECT_EQ(api.exit(), 0);
  EXPECT_EQ(api.sysInfo(nullptr), 0x2A06);
  EXPECT_EQ(api.init(400, nullptr), 0);
  EXPECT_EQ(api.exit(), 0);

  auto dllInit = engine.byName<std::uint32_t (*)(void*)>("DLLINITFUNCTION");
  auto dllExit = engine.byName<std::uint32_t (*)(void*)>("DLLEXITFUNCTION2");
  ASSERT_TRUE(dllInit && dllExit);
  EXPECT_EQ(dllInit(nullptr), 0u);
  EXPECT_EQ(dllExit(nullptr), 0u);
  engine.byOrdinal<void (*)()>(1)();  // ZZZ does nothing
}

TEST(Initialisation, DetachCallbacksKeepTheEngineInitialised) {
  TempRoot root;
  Engine engine;
  ASSERT_TRUE(engine.loaded());
  Api api(engine);
  auto asBuffer = [](DetachCallback f) { return reinterpret_cast<void*>(f); };
  api.exit();

  // Only type 29 is kept; unregistering something never registered is harmless.
  EXPECT_EQ(api.registerCallBack(nullptr, 3, 7, 0, nullptr, &recordDetach), 0);
  EXPECT_EQ(api.registerCallBack(nullptr, 29, 0, 0, asBuffer(&recordDetach), nullptr), 0);
  ASSERT_EQ(api.init(400, nullptr), 0);
  EXPECT_EQ(api.exit(), 0);
  EXPECT_EQ(api.init(400, nullptr), 0);  // nothing was registered: the exit took effect

  EXPECT_EQ(api.registerCallBack(nullptr, 29, 11, 0, nullptr, &recordDetach), 0);
  EXPECT_EQ(api.registerCallBack(nullptr, 29, 22, 0, nullptr, &otherDetach), 0);
  EXPECT_EQ(api.exit(), 0);
  EXPECT_EQ(api.init(400, nullptr), 0x2A07);  // still initialised

  // Unregistering one leaves the other holding the engine.
  EXPECT_EQ(api.registerCallBack(nullptr, 29, 0, 0, asBuffer(&otherDetach), nullptr), 0);
  EXPECT_EQ(api.exit(), 0);
  EXPECT_EQ(api.init(400, nullptr), 0x2A07);

  DetachCallback function = &recordDetach;
  std::uint32_t clientData = 5;
  EXPECT_EQ(api.getCallBack(nullptr, 29, &clientData, nullptr, nullptr, &function), 0);
  EXPECT_EQ(function, nullptr);
  EXPECT_EQ(clientData, 5u);
  EXPECT_TRUE(g_detachCalls.empty());

  EXPECT_EQ(api.registerCallBack(nullptr, 29, 0, 0, asBuffer(&recordDetach), nullptr), 0);
  EXPECT_EQ(api.exit(), 0);
  EXPECT_EQ(api.init(400, nullptr), 0);
  EXPECT_EQ(api.exit(), 0);
  EXPECT_TRUE(g_detachCalls.empty());
}

std::uint32_t printDetach(std::uint32_t type, std::uint32_t clientData, void* buffer) {
  std::fprintf(stderr, "detach %u %u %s\n", type, clientData, buffer ? "buffer" : "null");
  return 0;
}

// Runs in a child process: leaves a detach callback and an open session
// behind and ends the process with the engine still loaded.
[[noreturn]] void endProcessWithEngineInUse() {
  Engine engine;
  if (!engine.loaded()) std::exit(3);
  Api api(engine);
  api.registerCallBack(nullptr, 29, 11, 0, nullptr, &printDetach);
  api.init(400, nullptr);
  hDBISes current = nullptr;
  hDBISes leaked = nullptr;
  api.getCurrSession(&current);
  api.startSession("Leaked", &leaked, nullptr);
  std::exit(0);
}

TEST(InitialisationDeathTest, UnloadTellsTheCallbacksAndReportsLeakedWrappers) {
  TempRoot root;
  // The detach callbacks run first, the default session goes, and the one
  // session left open is reported.
  EXPECT_EXIT(endProcessWithEngineInUse(), ::testing::ExitedWithCode(0),
              "detach 29 11 null\n(.|\n)*DAO: There are still 1 objects allocated.");
}

TEST(Sessions, UnnamedSessionsAreNumberedAcrossExit) {
  TempRoot root;
  Engine engine;
  ASSERT_TRUE(engine.loaded());
  Api api(engine);
  ASSERT_EQ(api.init(400, nullptr), 0);
  hDBISes a = nullptr, b = nullptr, c = nullptr, named = nullptr, empty = nullptr;
  ASSERT_EQ(api.startSession(nullptr, &a, nullptr), 0);
  ASSERT_EQ(api.startSession(nullptr, &b, nullptr), 0);
  ASSERT_NE(a, b);
  const std::string first = api.sessionName(a);
  ASSERT_EQ(first.rfind("Unnamed_", 0), 0u) << first;
  const int n = std::stoi(first.substr(8));
  EXPECT_EQ(api.sessionName(b), "Unnamed_" + std::to_string(n + 1));

  // A new session does not become current.
  hDBISes current = nullptr;
  EXPECT_EQ(api.getCurrSession(&current), 0);
  EXPECT_NE(current, a);
  EXPECT_NE(current, b);

  EXPECT_EQ(api.exit(), 0);
  ASSERT_EQ(api.startSession(nullptr, &c, nullptr), 0);
  EXPECT_EQ(api.sessionName(c), "Unnamed_" + std::to_string(n + 2));
  ASSERT_EQ(api.startSession("Mine", &named, nullptr), 0);
  EXPECT_EQ(api.sessionName(named), "Mine");
  ASSERT_EQ(api.startSession("", &empty, nullptr), 0);
  EXPECT_EQ(api.sessionName(empty), "");
  EXPECT_EQ(api.startSession("nowhere to put it", nullptr, nullptr), 0x2510);

  for (hDBISes s : {a, b, c, named, empty}) EXPECT_EQ(api.closeSession(s), 0);
}

TEST(Sessions, DefaultSessionCurrentSessionAndClosing) {
  TempRoot root;
  Engine engine;
  ASSERT_TRUE(engine.loaded());
  Api api(engine);
  hDBISes def = nullptr;
  ASSERT_EQ(api.getCurrSession(&def), 0);
  ASSERT_NE(def, nullptr);
  EXPECT_EQ(api.sessionName(def), "Default");

  // The default session is never closed this way and stays usable.
  EXPECT_EQ(api.closeSession(def), 0x2706);
  EXPECT_EQ(api.setPrivateDir("/anywhere"), 0);
  SESInfo info{};
  EXPECT_EQ(api.getSesInfo(&info), 0);
  EXPECT_STREQ(info.szName, "Default");
  EXPECT_EQ(api.getSesInfo(nullptr), 0x3001);
  EXPECT_EQ(api.closeSession(nullptr), 0x3001);
  int notASession = 0;
  EXPECT_EQ(api.closeSession(&notASession), 0x3001);

  // A started session with a network directory, made current and back.
  hDBISes s = nullptr;
  ASSERT_EQ(api.startSession("Work", &s, "/data/system.mdw"), 0);
  EXPECT_EQ(api.setCurrSession(s), 0);
  hDBISes current = nullptr;
  EXPECT_EQ(api.getCurrSession(&current), 0);
  EXPECT_EQ(current, s);
  std::memset(&info, 0x55, sizeof info);
  EXPECT_EQ(api.getSesInfo(&info), 0);
  EXPECT_EQ(info.iSession, 0);
  EXPECT_STREQ(info.szName, "Work");
  EXPECT_STREQ(info.szNetDir, "/data/system.mdw");
  EXPECT_STREQ(info.szPrivDir, "");
  EXPECT_EQ(info.iDatabases, 0);
  EXPECT_EQ(info.iCursors, 0);

  EXPECT_EQ(api.setCurrSession(nullptr), 0);
  EXPECT_EQ(api.getCurrSession(&current), 0);
  EXPECT_EQ(current, def);

  // Switching to something that is not a session is a class-cast failure.
  EXPECT_EQ(api.setCurrSession(&notASession), 0x2B66);
  EXPECT_EQ(api.getCurrSession(&current), 0);
  EXPECT_EQ(current, def);

  // Closing the current session falls back to the default one; the closed
  // handle is refused from then on.
  EXPECT_EQ(api.setCurrSession(s), 0);
  EXPECT_EQ(api.closeSession(s), 0);
  EXPECT_EQ(api.getCurrSession(&current), 0);
  EXPECT_EQ(current, def);
  EXPECT_EQ(api.closeSession(s), 0x3001);
  EXPECT_EQ(api.setCurrSession(s), 0x2B66);
}

TEST(Properties, ValuesAndWritingRules) {
  TempRoot root;
  Engine engine;
  ASSERT_TRUE(engine.loaded());
  Api api(engine);
  hDBISes session = nullptr;
  ASSERT_EQ(api.startSession("Props", &session, "/sys/db.mdw"), 0);

  // A 32-bit value needs four bytes: a smaller buffer is left alone.
  unsigned char small[2] = {0xAB, 0xAB};
  std::uint16_t length = 77;
  EXPECT_EQ(api.getProp(nullptr, 0x00010002, small, 2, &length), 0);
  EXPECT_EQ(small[0], 0xAB);
  EXPECT_EQ(small[1], 0xAB);
  EXPECT_EQ(length, 77);

  struct Case {
    const char* what;
    hDBIObj object;
    std::uint32_t property;
    std::int16_t size;
    DBIResult rc;
    std::vector<unsigned char> bytes;  // expected start of the buffer (empty: untouched)
    int length;                        // expected out length (-1: untouched)
  };
  auto u32 = [](std::uint32_t v) {
    std::vector<unsigned char> b(4);
    std::memcpy(b.data(), &v, 4);
    return b;
  };
  auto text = [](const char* s) { return std::vector<unsigned char>(s, s + std::strlen(s) + 1); };
  const std::vector<Case> cases = {
      {"null 0xFF070002", nullptr, 0xFF070002, 8, 0x3001, {}, -1},
      {"null unknown", nullptr, 0x00010001, 8, 0x3001, {}, -1},
      {"session system db", session, 0x00020002, 64, 0, text("/sys/db.mdw"), 11},
      {"session system db cut", session, 0x00020002, 5, 0, text("/sys"), 4},
      {"session 0x00020003", session, 0x00020003, 4, 0, u32(2), 4},
      {"session 0x0002000C", session, 0x0002000C, 8, 0, u32(2), 4},
      {"session 0x00020009", session, 0x00020009, 8, 0, {0}, 1},
      {"session 0x0002000F", session, 0x0002000F, 4, 0, u32(0), 4},
      {"session unknown", session, 0x00040001, 8, 0x3001, {}, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<unsigned char> buffer(64, 0xEE);
    std::uint16_t len = 0xBEEF;
    EXPECT_EQ(api.getProp(c.object, c.property, buffer.data(), c.size, &len), c.rc);
    if (c.bytes.empty()) {
      EXPECT_EQ(buffer[0], 0xEE);
    } else {
      EXPECT_EQ(std::vector<unsigned char>(buffer.begin(), buffer.begin() + c.bytes.size()), c.bytes);
    }
    EXPECT_EQ(len, c.length < 0 ? 0xBEEF : c.length);
  }

  std::uint32_t live = 0;
  EXPECT_EQ(api.getProp(nullptr, 0x00010002, &live, 4, &length), 0);
  EXPECT_GE(live, 1u);  // at least the session's engine wrapper
  EXPECT_EQ(length, 4);

  // Setting.
  const char* newDir = "/other/system.mdw";
  EXPECT_EQ(api.setProp(session, 0x00020002, reinterpret_cast<std::uintptr_t>(newDir)), 0);
  char dir[64] = "";
  EXPECT_EQ(api.getProp(session, 0x00020002, dir, sizeof dir, nullptr), 0);
  EXPECT_STREQ(dir, newDir);
  EXPECT_EQ(api.setProp(session, 0x00020003, 1), 0);
  EXPECT_EQ(api.setProp(session, 0x0002000F, 1), 0);
  EXPECT_EQ(api.setProp(session, 0x00020009, 1), 0x3001);
  EXPECT_EQ(api.setProp(nullptr, 0xFF070002, 1), 0);
  EXPECT_EQ(api.setProp(nullptr, 0x00010002, 1), 0x3001);
  int notAHandle = 0;
  EXPECT_EQ(api.setProp(&notAHandle, 0x00020003, 1), 0x3001);
  EXPECT_EQ(api.getProp(&notAHandle, 0x00020003, &live, 4, nullptr), 0x3001);

  // Objects from objects and names.
  hDBIObj found = &notAHandle;
  EXPECT_EQ(api.objFromObj(nullptr, 2, nullptr), 0x3001);
  EXPECT_EQ(api.objFromObj(nullptr, 2, &found), 0);
  hDBISes current = nullptr;
  api.getCurrSession(&current);
  EXPECT_EQ(found, current);
  found = &notAHandle;
  EXPECT_EQ(api.objFromObj(session, 4, &found), 0);
  EXPECT_EQ(found, nullptr);
  found = &notAHandle;
  EXPECT_EQ(api.objFromName(7, "client", &found), 0);
  EXPECT_EQ(found, nullptr);
  EXPECT_EQ(api.objFromName(2, "Default", &found), 0x3001);

  EXPECT_EQ(api.closeSession(session), 0);
}

TEST(FixedAnswers, DateTimeFormatsAndDecoding) {
  TempRoot root;
  Engine engine;
  ASSERT_TRUE(engine.loaded());

  FMTDate date;
  std::memset(&date, 0x77, sizeof date);
  ASSERT_EQ(KBE_FN(engine, DbiGetDateFormat, 500)(&date), 0);
  const unsigned char expectDate[9] = {'/', 0, 0, 0, 0, 1, 0, 1, 1};
  EXPECT_EQ(std::memcmp(&date, expectDate, sizeof expectDate), 0);

  FMTTime time;
  std::memset(&time, 0x77, sizeof time);
  ASSERT_EQ(KBE_FN(engine, DbiGetTimeFormat, 502)(&time), 0);
  const unsigned char expectTime[16] = {':', 1, 'A', 'M', 0, 0, 0, 0, 'P', 'M', 0, 0, 0, 0, 1, 1};
  EXPECT_EQ(std::memcmp(&time, expectTime, sizeof expectTime), 0);

  std::uint16_t hour = 0, minute = 0, ms = 0;
  const std::int32_t t = ((1 * 60 + 2) * 60 + 3) * 1000 + 456;
  EXPECT_EQ(KBE_FN(engine, DbiTimeDecode, 243)(t, &hour, &minute, &ms), 0);
  EXPECT_EQ(hour, 1);
  EXPECT_EQ(minute, 2);
  EXPECT_EQ(ms, 3456);

  struct DateCase {
    std::int32_t days;
    int month, day, year;
  };
  const DateCase dates[] = {
      {0, 12, 30, 1899},       {1, 12, 31, 1899},   {-1, 12, 29, 1899}, {36526, 1, 1, 2000},
      {36585, 2, 29, 2000},    {-693593, 1, 1, 1},  {-693594, 0, 0, 0}, {2958465, 12, 31, 9999},
      {2958466, 0, 0, 0},
  };
  auto dateDecode = KBE_FN(engine, DbiDateDecode, 211);
  for (const DateCase& c : dates) {
    SCOPED_TRACE(c.days);
    std::uint16_t m = 99, d = 99;
    std::int16_t y = 99;
    EXPECT_EQ(dateDecode(c.days, &m, &d, &y), 0);
    EXPECT_EQ(m, c.month);
    EXPECT_EQ(d, c.day);
    EXPECT_EQ(y, c.year);
  }

  auto stampDecode = KBE_FN(engine, DbiTimeStampDecode, 245);
  std::int32_t day = 0, msOfDay = 0;
  EXPECT_EQ(stampDecode((36526.0 + 693594.0) * 86400000.0 + 43200000.0, &day, &msOfDay), 0);
  EXPECT_EQ(day, 36526);
  EXPECT_EQ(msOfDay, 43200000);
  EXPECT_EQ(stampDecode(693594.0 * 86400000.0, &day, &msOfDay), 0);
  EXPECT_EQ(day, 0);
  EXPECT_EQ(msOfDay, 0);
  // A stamp whose day count does not fit 32 bits is refused, not converted.
  EXPECT_EQ(stampDecode(1e300, &day, &msOfDay), 0x2702);
}

TEST(FixedAnswers, CharacterSetsAndLanguageDriver) {
  TempRoot root;
  Engine engine;
  ASSERT_TRUE(engine.loaded());
  auto toNative = KBE_FN(engine, DbiAnsiToNative, 1070);
  auto toAnsi = KBE_FN(engine, DbiNativeToAnsi, 1069);

  char same[] = "unchanged";
  BOOL16 loss = -1;
  EXPECT_EQ(toNative(nullptr, same, same, 0, &loss), 0);
  EXPECT_STREQ(same, "unchanged");
  EXPECT_EQ(loss, static_cast<BOOL16>(0xFF00));  // only its first byte is cleared

  char out[16];
  std::memset(out, 'x', sizeof out);
  EXPECT_EQ(toAnsi(nullptr, out, "abc", 0, nullptr), 0);
  EXPECT_STREQ(out, "abc");
  std::memset(out, 'x', sizeof out);
  EXPECT_EQ(toNative(nullptr, out, "abcdef", 2, nullptr), 0);
  EXPECT_EQ(std::string(out, 3), "abx");

  char name[32] = "";
  EXPECT_EQ(KBE_FN(engine, DbiGetLdName, 832)("KBE", "t", name), 0);
  EXPECT_STREQ(name, "KBE Ansi");
  std::memset(name, 0, sizeof name);
  EXPECT_EQ(KBE_FN(engine, DbiGetLdNameFromDb, 871)(nullptr, "t", name), 0);
  EXPECT_STREQ(name, "KBE Ansi");

  void* ld1 = nullptr;
  void* ld2 = nullptr;
  EXPECT_EQ(KBE_FN(engine, DbiGetLdObj, 293)(nullptr, &ld1), 0);
  EXPECT_EQ(KBE_FN(engine, OsLdLoadBySymbName, 789)("anything", &ld2), 0);
  ASSERT_NE(ld1, nullptr);
  EXPECT_EQ(ld1, ld2);
  const unsigned char zeros[16] = {};
  EXPECT_EQ(std::memcmp(ld1, zeros, sizeof zeros), 0);
  EXPECT_EQ(KBE_FN(engine, OsLdUnloadObj, 808)(&ld1), 0);

  char full[300];
  EXPECT_EQ(KBE_FN(engine, DbiFormFullName, 297)(nullptr, "Accounts", nullptr, full), 0);
  EXPECT_STREQ(full, "Accounts");
  const std::string longName(400, 'n');
  EXPECT_EQ(KBE_FN(engine, DbiFormFullName, 297)(nullptr, longName.c_str(), nullptr, full), 0);
  EXPECT_EQ(std::strlen(full), 260u);
}

}  // namespace
