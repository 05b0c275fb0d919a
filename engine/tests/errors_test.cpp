// Result code texts, DAO error entries, the failure conversion's log lines
// and the diagnostic log switched by DbiDebugLayerOptions.
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "engine_fixture.h"

namespace {

using kbetest::Engine;
using kbetest::TempRoot;
using namespace kbe;

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The lines of a log file; every line must end in CR LF.
std::vector<std::string> logLines(const std::string& path) {
  const std::string text = readFile(path);
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

bool isStamped(const std::string& line, const std::string& head) {
  static const std::regex stamp(R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d)");
  return line.rfind(head, 0) == 0 && std::regex_match(line.substr(head.size()), stamp);
}

const std::string kActivated = "--------- log activated ";
const std::string kStopped = "--------- log stopped ";

class Errors : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(engine.loaded());
    debugLayer(0, nullptr);
    // A new default session, with an empty DAO error collection.
    init(400, nullptr);
    exit();
  }
  void TearDown() override {
    if (!engine.loaded()) return;
    debugLayer(0, nullptr);
    init(400, nullptr);
    exit();
  }

  std::string errorString(DBIResult code) {
    char text[128];
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(getErrorString(code, text), 0x3001);
    return text;
  }

  // Makes DAO fail once: opening a file that does not exist.
  void failOpeningMissingFile() {
    missing = root.path() + "/absent.pdb";
    ASSERT_EQ(addAlias(nullptr, "khAbsent", nullptr, ("PATH:\"" + missing + "\"").c_str(), 0), 0);
    hDBIDb db = nullptr;
    ASSERT_EQ(openDatabase("khAbsent", nullptr, 0, 0, nullptr, 0, nullptr, nullptr, &db), 0x271E);
  }

  TempRoot root;
  Engine engine;
  std::string missing;
  const std::string defaultLog = root.path() + "/KBE.Txt";

  decltype(&::DbiInitFn) init = KBE_FN(engine, DbiInitFn, 2);
  decltype(&::DbiExit) exit = KBE_FN(engine, DbiExit, 3);
  decltype(&::DbiOpenDatabase) openDatabase = KBE_FN(engine, DbiOpenDatabase, 4);
  decltype(&::DbiGetCurrSession) getCurrSession = KBE_FN(engine, DbiGetCurrSession, 72);
  decltype(&::DbiSetCurrSession) setCurrSession = KBE_FN(engine, DbiSetCurrSession, 71);
  decltype(&::DbiGetErrorInfo) getErrorInfo = KBE_FN(engine, DbiGetErrorInfo, 290);
  decltype(&::DbiGetErrorString) getErrorString = KBE_FN(engine, DbiGetErrorString, 298);
  decltype(&::DbiGetErrorEntry) getErrorEntry = KBE_FN(engine, DbiGetErrorEntry, 300);
  decltype(&::DbiDebugLayerOptions) debugLayer = KBE_FN(engine, DbiDebugLayerOptions, 508);
  decltype(&::DbiAddAlias) addAlias = KBE_FN(engine, DbiAddAlias, 1207);
};

TEST_F(Errors, MessageTextsWithoutAPendingDaoError) {
  const std::vector<std::pair<DBIResult, std::string>> cases = {
      {0, "KBE Error: "},
      {0x2208, "KBE Error: unspecified error 8712"},
      {0x2704, "KBE Error: no such table or file"},
      {0x271F, "KBE Error: invalid user name of password"},
      {0x2A07, "KBE Error: multiple KBE initialization"},
      {0x2B66, "KBE Error: unspecified DAO error"},
      {0x3101, "KBE Error: invalid alias specification, or different system db"},
      {0x3303, "KBE Error: unspecified error 13059"},
      {0xFFFF, "KBE Error: unspecified error 65535"},
  };
  for (const auto& [code, text] : cases) EXPECT_EQ(errorString(code), text) << code;
  EXPECT_EQ(getErrorString(0x2704, nullptr), 0x3001);

  DBIErrInfo info;
  std::memset(&info, 0x33, sizeof info);
  EXPECT_EQ(getErrorInfo(1, &info), 0x3001);
  EXPECT_EQ(info.iError, 0);
  EXPECT_STREQ(info.szErrCode, "KBE Error: ");
  for (const auto& context : info.szContext) EXPECT_EQ(context[0], 0);

  // No DAO error to hand out: nothing is written.
  std::uint32_t native = 99;
  char message[127] = "untouched";
  EXPECT_EQ(getErrorEntry(1, &native, message), 0);
  EXPECT_EQ(native, 99u);
  EXPECT_STREQ(message, "untouched");
  // Entry 0 asks DAO for position -1, which DAO refuses (DAO error 3265,
  // which has no code of its own).
  EXPECT_EQ(getErrorEntry(0, &native, message), 0x2B66);
  EXPECT_STREQ(message, "untouched");
}

TEST_F(Errors, PendingDaoErrorIsHandedOutByEntry) {
  failOpeningMissingFile();
  EXPECT_EQ(errorString(0x2704), "DAO Error");
  EXPECT_EQ(errorString(0), "DAO Error");
  DBIErrInfo info{};
  EXPECT_EQ(getErrorInfo(0, &info), 0x3001);
  EXPECT_STREQ(info.szErrCode, "DAO Error");

  std::uint32_t native = 0;
  char message[127] = "";
  EXPECT_EQ(getErrorEntry(1, &native, message), 0x3303);
  EXPECT_EQ(native, 3024u);
  EXPECT_EQ(std::string(message), "Couldn't find file '" + missing + "'.");
  EXPECT_EQ(getErrorEntry(1, nullptr, nullptr), 0x3303);
  native = 7;
  EXPECT_EQ(getErrorEntry(2, &native, message), 0);
  EXPECT_EQ(native, 7u);

  // A description longer than the buffer is cut to 126 characters.
  const std::string deep = root.path() + "/" + std::string(150, 'd') + ".pdb";
  ASSERT_EQ(addAlias(nullptr, "khDeep", nullptr, ("PATH:\"" + deep + "\"").c_str(), 0), 0);
  hDBIDb db = nullptr;
  ASSERT_EQ(openDatabase("khDeep", nullptr, 0, 0, nullptr, 0, nullptr, nullptr, &db), 0x271E);
  char cut[127];
  std::memset(cut, 'x', sizeof cut);
  EXPECT_EQ(getErrorEntry(1, &native, cut), 0x3303);
  EXPECT_EQ(std::strlen(cut), 126u);
}

TEST_F(Errors, FailureConversionWritesItsHeadLineAndTheDaoErrors) {
  const std::string log = root.path() + "/conversion.log";
  ASSERT_EQ(debugLayer(0x0B, log.c_str()), 0);  // debug, file, flush

  // No session yet: the conversion says so.
  int notASession = 0;
  EXPECT_EQ(setCurrSession(&notASession), 0x2B66);
  // With a session and no DAO error, only the head line.
  hDBISes session = nullptr;
  ASSERT_EQ(getCurrSession(&session), 0);
  EXPECT_EQ(setCurrSession(&notASession), 0x2B66);
  // A DAO failure: the head line names the member, then DAO's errors.
  failOpeningMissingFile();

  const std::vector<std::string> lines = logLines(log);
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_TRUE(isStamped(lines[0], kActivated)) << lines[0];
  EXPECT_EQ(lines[1], "EXCEPTION EInvalidCast @00000000: Invalid class typecast");
  EXPECT_EQ(lines[2], ">> (engine not started)");
  EXPECT_EQ(lines[3], "EXCEPTION EInvalidCast @00000000: Invalid class typecast");
  EXPECT_EQ(lines[4], "EXCEPTION EDAOError @00000000: DAOWorkspace.OpenDatabase failed");
  EXPECT_EQ(lines[5], ">> Couldn't find file '" + missing + "'.");
}

TEST_F(Errors, DebugLayerOptionsSwitchTheLogFile) {
  // 0x03 creates the default log and activates it; a second 0x03 activates
  // again without a stop line; 0x01 stops and closes.
  EXPECT_EQ(debugLayer(0x03, nullptr), 0);
  EXPECT_EQ(debugLayer(0x03, nullptr), 0);
  EXPECT_EQ(debugLayer(0x01, nullptr), 0);
  std::vector<std::string> lines = logLines(defaultLog);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_TRUE(isStamped(lines[0], kActivated)) << lines[0];
  EXPECT_TRUE(isStamped(lines[1], kActivated)) << lines[1];
  EXPECT_TRUE(isStamped(lines[2], kStopped)) << lines[2];

  // 0x13 extends the existing file, 0x03 replaces it.
  EXPECT_EQ(debugLayer(0x13, nullptr), 0);
  EXPECT_EQ(debugLayer(0x00, nullptr), 0);
  lines = logLines(defaultLog);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_TRUE(isStamped(lines[3], kActivated)) << lines[3];
  EXPECT_TRUE(isStamped(lines[4], kStopped)) << lines[4];
  EXPECT_EQ(debugLayer(0x03, nullptr), 0);
  EXPECT_EQ(debugLayer(0x00, nullptr), 0);
  EXPECT_EQ(logLines(defaultLog).size(), 2u);
  // The log can hold literals of failed statements: its owner alone reads it,
  // also when an older log was readable by others.
  namespace fs = std::filesystem;
  EXPECT_EQ(fs::status(defaultLog).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  fs::permissions(defaultLog, fs::perms::group_read | fs::perms::others_read, fs::perm_options::add);
  EXPECT_EQ(debugLayer(0x13, nullptr), 0);
  EXPECT_EQ(debugLayer(0x00, nullptr), 0);
  EXPECT_EQ(fs::status(defaultLog).permissions(), fs::perms::owner_read | fs::perms::owner_write);

  // 0x02 opens the file without activating logging: nothing is written, not
  // even for a failure.
  const std::string quiet = root.path() + "/quiet.log";
  EXPECT_EQ(debugLayer(0x02, quiet.c_str()), 0);
  int notASession = 0;
  EXPECT_EQ(setCurrSession(&notASession), 0x2B66);
  EXPECT_EQ(debugLayer(0x00, nullptr), 0);
  ASSERT_TRUE(std::filesystem::exists(quiet));
  EXPECT_EQ(readFile(quiet), "");

  // While the file stays open, a new name has no effect.
  const std::string other = root.path() + "/other.log";
  EXPECT_EQ(debugLayer(0x03, quiet.c_str()), 0);
  EXPECT_EQ(debugLayer(0x1B, other.c_str()), 0);
  EXPECT_EQ(debugLayer(0x00, nullptr), 0);
  EXPECT_FALSE(std::filesystem::exists(other));
  EXPECT_EQ(logLines(quiet).size(), 3u);

  // A log in a directory that does not exist leaves logging off.
  const std::string nowhere = root.path() + "/no/such/dir/kbe.log";
  EXPECT_EQ(debugLayer(0x03, nowhere.c_str()), 0);
  EXPECT_EQ(setCurrSession(&notASession), 0x2B66);
  EXPECT_EQ(debugLayer(0x00, nullptr), 0);
  EXPECT_FALSE(std::filesystem::exists(nowhere));
}

// Runs in a child process: ends it with logging active.
[[noreturn]] void endProcessWhileLogging(const std::string& log) {
  Engine engine;
  if (!engine.loaded()) std::exit(3);
  KBE_FN(engine, DbiDebugLayerOptions, 508)(0x03, log.c_str());
  std::exit(0);
}

TEST(ErrorsDeathTest, UnloadWritesLoggingTerminated) {
  TempRoot root;
  const std::string log = root.path() + "/final.log";
  EXPECT_EXIT(endProcessWhileLogging(log), ::testing::ExitedWithCode(0), "");
  const std::vector<std::string> lines = logLines(log);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(isStamped(lines[0], kActivated)) << lines[0];
  EXPECT_EQ(lines[1], "logging terminated");
}

}  // namespace
