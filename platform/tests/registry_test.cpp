#include "platform/registry.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kh::win;

namespace {

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kh_registry_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    setenv("KBE_ROOT", root_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("KBE_ROOT");
    std::filesystem::remove_all(root_);
  }

  HKEY create(HKEY parent, const char* path, REGSAM sam = KEY_ALL_ACCESS, DWORD* disposition = nullptr) {
    HKEY k = nullptr;
    EXPECT_EQ(RegCreateKeyExA(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE, sam, nullptr, &k, disposition),
              ERROR_SUCCESS)
        << path;
    return k;
  }
  static LONG setString(HKEY k, const char* name, const std::string& text) {
    return RegSetValueExA(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1));
  }
  static std::string getString(HKEY k, const char* name) {
    char buf[512];
    DWORD size = sizeof buf, type = 0;
    if (RegQueryValueExA(k, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size) != ERROR_SUCCESS)
      return "<missing>";
    return std::string(buf, size ? size - 1 : 0);
  }
  std::string readFile(const std::string& name) const {
    std::ifstream in(root_ + "/" + name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  void writeFile(const std::string& name, const std::string& text) const {
    // A new inode each time, as an editor that saves by rename does.
    const std::string tmp = root_ + "/" + name + ".edit";
    std::ofstream(tmp, std::ios::binary) << text;
    std::filesystem::rename(tmp, root_ + "/" + name);
  }

  std::string root_;
};

TEST_F(RegistryTest, CreatesOpensAndReadsKeysWithoutRegardToCase) {
  DWORD disposition = 0;
  HKEY k = create(HKEY_LOCAL_MACHINE, "Software\\Corvane\\Keelbase\\KBEPI", KEY_ALL_ACCESS, &disposition);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  ASSERT_EQ(setString(k, "DLLPATH", "/opt/kh/lib;/usr/lib/kh"), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(k), ERROR_SUCCESS);

  HKEY again = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\corvane\\KEELBASE\\kbepi\\", KEY_ALL_ACCESS, &disposition);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  EXPECT_EQ(getString(again, "dllpath"), "/opt/kh/lib;/usr/lib/kh");
  RegCloseKey(again);

  // Intermediate keys exist and keep the case they were created with.
  HKEY corvane = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\CORVANE", 0, KEY_READ, &corvane), ERROR_SUCCESS);
  char name[32];
  DWORD size = sizeof name;
  ASSERT_EQ(RegEnumKeyExA(corvane, 0, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_STREQ(name, "Keelbase");
  EXPECT_EQ(size, 8u);
  // A subkey opened through a handle, and "" for the key itself.
  HKEY kbepi = nullptr, self = nullptr;
  ASSERT_EQ(RegOpenKeyExA(corvane, "Keelbase\\KBEPI", 0, KEY_READ, &kbepi), ERROR_SUCCESS);
  EXPECT_EQ(getString(kbepi, "DLLPATH"), "/opt/kh/lib;/usr/lib/kh");
  ASSERT_EQ(RegOpenKeyExA(kbepi, "", 0, KEY_READ, &self), ERROR_SUCCESS);
  EXPECT_EQ(getString(self, "DLLPATH"), "/opt/kh/lib;/usr/lib/kh");
  for (HKEY h : {corvane, kbepi, self}) EXPECT_EQ(RegCloseKey(h), ERROR_SUCCESS);

  // The two roots are separate hive files.
  HKEY cu = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Corvane", 0, KEY_READ, &cu), ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(std::filesystem::exists(root_ + "/HKLM.reg"));
  EXPECT_FALSE(std::filesystem::exists(root_ + "/HKCU.reg"));
  EXPECT_EQ(registryHivePath(HKEY_CURRENT_USER), root_ + "/HKCU.reg");
}

TEST_F(RegistryTest, FailuresGiveWindowsErrorNumbers) {
  HKEY k = create(HKEY_CURRENT_USER, "Software\\Test");
  HKEY out = nullptr;
  struct Case {
    const char* subKey;
    LONG expected;
  };
  for (const Case& c : {Case{"Software\\Missing", ERROR_FILE_NOT_FOUND}, Case{"Nothing", ERROR_FILE_NOT_FOUND},
                        Case{"\\Software", ERROR_BAD_PATHNAME}, Case{"Software\\\\Test", ERROR_BAD_PATHNAME}}) {
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, c.subKey, 0, KEY_READ, &out), c.expected) << c.subKey;
    EXPECT_EQ(out, nullptr);
  }
  for (const char* bad : {"\\Software", "Software\\\\Test"})
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, bad, 0, nullptr, 0, KEY_READ, nullptr, &out, nullptr),
              ERROR_BAD_PATHNAME)
        << bad;
  EXPECT_EQ(getString(k, "NoValue"), "<missing>");
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(k, "NoValue", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueA(k, "NoValue"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(k, "NoKey"), ERROR_FILE_NOT_FOUND);

  // Unknown and closed handles.
  HKEY bogus = reinterpret_cast<HKEY>(static_cast<UINT_PTR>(0x1234567));
  EXPECT_EQ(RegQueryValueExA(bogus, "x", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(k), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(k), ERROR_INVALID_HANDLE);
  EXPECT_EQ(setString(k, "x", "y"), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryTest, AccessRightsAreChecked) {
  HKEY w = create(HKEY_LOCAL_MACHINE, "Software\\Rights", KEY_WRITE);
  EXPECT_EQ(setString(w, "v", "1"), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(w, "v", nullptr, nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
  char name[16];
  DWORD nameSize = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(w, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_ACCESS_DENIED);
  RegCloseKey(w);

  HKEY r = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Rights", 0, KEY_READ, &r), ERROR_SUCCESS);
  EXPECT_EQ(getString(r, "v"), "1");
  EXPECT_EQ(setString(r, "v", "2"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueA(r, "v"), ERROR_ACCESS_DENIED);
  HKEY sub = nullptr;
  EXPECT_EQ(RegCreateKeyExA(r, "Sub", 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr), ERROR_ACCESS_DENIED);
  RegCloseKey(r);

  HKEY q = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_ENUMERATE_SUB_KEYS, &q), ERROR_SUCCESS);
  nameSize = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(q, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  DWORD valueSize = sizeof name;
  EXPECT_EQ(RegEnumValueA(q, 0, name, &valueSize, nullptr, nullptr, nullptr, nullptr), ERROR_ACCESS_DENIED);
  RegCloseKey(q);
}

TEST_F(RegistryTest, SmallBuffersGetMoreDataAndTheSizeNeeded) {
  HKEY k = create(HKEY_LOCAL_MACHINE, "Software\\Sizes");
  ASSERT_EQ(setString(k, "Greeting", "hello"), ERROR_SUCCESS);
  RegCloseKey(create(k, "LongSubkeyName"));
  RegCloseKey(k);
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Sizes", 0, KEY_READ, &k), ERROR_SUCCESS);

  BYTE data[16];
  DWORD type = 0, size = 0;
  // Size only, with no buffer: REG_SZ counts its terminating zero.
  EXPECT_EQ(RegQueryValueExA(k, "Greeting", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 6u);
  size = 5;
  std::memset(data, 'x', sizeof data);
  EXPECT_EQ(RegQueryValueExA(k, "Greeting", nullptr, &type, data, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 6u);
  size = 6;
  EXPECT_EQ(RegQueryValueExA(k, "Greeting", nullptr, &type, data, &size), ERROR_SUCCESS);
  EXPECT_STREQ(reinterpret_cast<char*>(data), "hello");
  EXPECT_EQ(RegQueryValueExA(k, "Greeting", nullptr, &type, data, nullptr), ERROR_INVALID_PARAMETER);

  // Enumeration: the name buffer counts the zero; too small is ERROR_MORE_DATA.
  char name[16];
  DWORD nameSize = 14;  // "LongSubkeyName" is 14 characters
  EXPECT_EQ(RegEnumKeyExA(k, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  nameSize = 15;
  EXPECT_EQ(RegEnumKeyExA(k, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(nameSize, 14u);
  nameSize = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(k, 1, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);

  nameSize = 8;  // "Greeting" needs 9
  size = sizeof data;
  EXPECT_EQ(RegEnumValueA(k, 0, name, &nameSize, nullptr, &type, data, &size), ERROR_MORE_DATA);
  nameSize = 9;
  size = 3;
  EXPECT_EQ(RegEnumValueA(k, 0, name, &nameSize, nullptr, &type, data, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 6u);
  nameSize = 9;
  size = sizeof data;
  EXPECT_EQ(RegEnumValueA(k, 0, name, &nameSize, nullptr, &type, data, &size), ERROR_SUCCESS);
  EXPECT_STREQ(name, "Greeting");
  EXPECT_EQ(nameSize, 8u);
  EXPECT_EQ(size, 6u);
  nameSize = sizeof name;
  EXPECT_EQ(RegEnumValueA(k, 1, name, &nameSize, nullptr, &type, data, &size), ERROR_NO_MORE_ITEMS);
  RegCloseKey(k);
}

TEST_F(RegistryTest, ValuesOfEveryTypeSurviveAFreshReadOfTheFile) {
  struct Case {
    const char* name;
    DWORD type;
    std::string given;
    std::string stored;
  };
  using namespace std::string_literals;
  const std::vector<Case> cases = {
      {"Path", REG_SZ, "C:/data/\"quoted\" \\ back\tslash\r\nline\xE9\x7F\x01\0"s,
       "C:/data/\"quoted\" \\ back\tslash\r\nline\xE9\x7F\x01\0"s},
      {"", REG_SZ, "default value\0"s, "default value\0"s},
      {"NoTerminator", REG_SZ, "abc"s, "abc\0"s},
      {"JunkAfterZero", REG_SZ, "abc\0garbage"s, "abc\0"s},
      {"Empty", REG_SZ, ""s, "\0"s},
      {"Expand", REG_EXPAND_SZ, "%HOME%/kh\0"s, "%HOME%/kh\0"s},
      {"Count", REG_DWORD, "\x2a\x00\x00\x80"s, "\x2a\x00\x00\x80"s},
      {"ShortDword", REG_DWORD, "\x01\x02\x03"s, "\x01\x02\x03"s},
      {"Blob", REG_BINARY, "\x00\xff\x10\x00"s, "\x00\xff\x10\x00"s},
      {"EmptyBlob", REG_BINARY, ""s, ""s},
      {"List", REG_MULTI_SZ, "one\0two \"2\"\0\0"s, "one\0two \"2\"\0\0"s},
      {"EmptyList", REG_MULTI_SZ, "\0"s, "\0\0"s},
      {"Unterminated", REG_MULTI_SZ, "a\0b"s, "a\0b\0\0"s},
      {"Quad", REG_QWORD, "\x01\x02\x03\x04\x05\x06\x07\x08"s, "\x01\x02\x03\x04\x05\x06\x07\x08"s},
      {"We\"ird\\Name\n", REG_SZ, "x\0"s, "x\0"s},
  };
  HKEY k = create(HKEY_LOCAL_MACHINE, "Software\\Types\\K%e[y]");
  for (const Case& c : cases)
    ASSERT_EQ(RegSetValueExA(k, c.name, 0, c.type, reinterpret_cast<const BYTE*>(c.given.data()),
                             static_cast<DWORD>(c.given.size())),
              ERROR_SUCCESS)
        << c.name;
  // Replacing a value keeps its place.
  ASSERT_EQ(setString(k, "PATH", "first"), ERROR_SUCCESS);
  ASSERT_EQ(setString(k, "Path", std::string(cases[0].given.c_str(), cases[0].given.size() - 1)), ERROR_SUCCESS);
  RegCloseKey(k);

  const std::string text = readFile("HKLM.reg");
  EXPECT_NE(text.find("[Software\\Types\\K%25e%5by%5d]\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"Count\"=dword:8000002a\n"), std::string::npos) << text;
  EXPECT_NE(text.find("@=sz:\"default value\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"List\"=multi_sz:\"one\",\"two \\\"2\\\"\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"Blob\"=hex:00,ff,10,00\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"ShortDword\"=hex(4):01,02,03\n"), std::string::npos) << text;

  // The same text under a new file identity is parsed afresh.
  writeFile("HKLM.reg", text);
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\types\\k%E[Y]", 0, KEY_READ, &k), ERROR_SUCCESS);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    BYTE buf[64];
    DWORD type = 0, size = sizeof buf;
    ASSERT_EQ(RegQueryValueExA(k, c.name, nullptr, &type, buf, &size), ERROR_SUCCESS) << c.name;
    EXPECT_EQ(type, c.type) << c.name;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), size), c.stored) << c.name;
    char name[64];
    DWORD nameSize = sizeof name;
    ASSERT_EQ(RegEnumValueA(k, static_cast<DWORD>(i), name, &nameSize, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_STREQ(name, c.name) << "enumeration keeps creation order";
  }
  RegCloseKey(k);
}

TEST_F(RegistryTest, EnumeratesInCreationOrderAndDeletes) {
  HKEY k = create(HKEY_CURRENT_USER, "Software\\Order");
  for (const char* sub : {"zeta", "Alpha", "mid"}) RegCloseKey(create(k, sub));
  RegCloseKey(create(k, "Alpha\\Child"));
  for (const char* v : {"b", "a", "LongestValueName"}) ASSERT_EQ(setString(k, v, v), ERROR_SUCCESS);

  std::vector<std::string> names;
  char name[64];
  DWORD size = sizeof name;
  for (DWORD i = 0; RegEnumKeyExA(k, i, name, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS; ++i) {
    names.emplace_back(name);
    size = sizeof name;
  }
  EXPECT_EQ(names, (std::vector<std::string>{"zeta", "Alpha", "mid"}));

  DWORD subKeys = 0, maxSub = 0, values = 0, maxName = 0, maxData = 0;
  ASSERT_EQ(RegQueryInfoKeyA(k, nullptr, nullptr, nullptr, &subKeys, &maxSub, nullptr, &values, &maxName, &maxData,
                             nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subKeys, 3u);
  EXPECT_EQ(maxSub, 5u);
  EXPECT_EQ(values, 3u);
  EXPECT_EQ(maxName, 16u);
  EXPECT_EQ(maxData, 17u);

  EXPECT_EQ(RegDeleteKeyA(k, "Alpha"), ERROR_ACCESS_DENIED) << "only a key without subkeys is deleted";
  HKEY child = nullptr;
  ASSERT_EQ(RegOpenKeyExA(k, "Alpha\\Child", 0, KEY_ALL_ACCESS, &child), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(k, "alpha\\CHILD"), ERROR_SUCCESS);
  EXPECT_EQ(setString(child, "x", "y"), ERROR_KEY_DELETED);
  RegCloseKey(child);
  EXPECT_EQ(RegDeleteKeyA(k, "Alpha"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueA(k, "A"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, ""), ERROR_ACCESS_DENIED);

  ASSERT_EQ(RegQueryInfoKeyA(k, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr,
                             nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subKeys, 2u);
  EXPECT_EQ(values, 2u);
  size = sizeof name;
  ASSERT_EQ(RegEnumKeyExA(k, 1, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_STREQ(name, "mid");
  RegCloseKey(k);
}

TEST_F(RegistryTest, ReadsTheFileAsItIsNow) {
  // A hand-written hive: comments, blank lines, CR LF, blanks around lines,
  // a key without its parents' headers.
  writeFile("HKLM.reg",
            "; written by hand\r\n\r\n"
            "  [Software\\Corvane\\Keelbase\\Configuration\\Aliases\\kh]  \r\n"
            "\"Path\"=sz:\"/home/u/a.pdb\"\r\n"
            "\"Exclusive\" = sz:\"True\"\r\n"
            "\"Bytes\"=hex: 01 , 02\r\n");
  HKEY k = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Corvane\\Keelbase\\Configuration\\Aliases\\kh", 0,
                          KEY_READ, &k),
            ERROR_SUCCESS);
  EXPECT_EQ(getString(k, "Path"), "/home/u/a.pdb");
  EXPECT_EQ(getString(k, "Exclusive"), "True");

  // Another writer replaces the file: the next read sees it.
  writeFile("HKLM.reg",
            "[Software\\Corvane\\Keelbase\\Configuration\\Aliases\\kh]\n"
            "\"Path\"=sz:\"/home/u/b.pdb\"\n");
  EXPECT_EQ(getString(k, "Path"), "/home/u/b.pdb");
  EXPECT_EQ(getString(k, "Exclusive"), "<missing>");

  // The file disappears: the key is gone.
  std::filesystem::remove(root_ + "/HKLM.reg");
  EXPECT_EQ(getString(k, "Path"), "<missing>");
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(k, "Path", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
  RegCloseKey(k);
}

TEST_F(RegistryTest, CorruptHiveIsReportedAndNeverOverwritten) {
  const std::string corrupt =
      "[Software\\Keep]\n"
      "\"Good\"=sz:\"value\"\n"
      "\"Broken\"=sz:\"no end\n";
  writeFile("HKLM.reg", corrupt);
  HKEY k = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Keep", 0, KEY_READ, &k), ERROR_BADDB);
  EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                            nullptr),
            ERROR_BADDB);
  EXPECT_EQ(setString(HKEY_LOCAL_MACHINE, "Top", "x"), ERROR_BADDB);
  EXPECT_EQ(readFile("HKLM.reg"), corrupt);

  // The other root is unaffected.
  RegCloseKey(create(HKEY_CURRENT_USER, "Software\\Fine"));

  // Each kind of damage is caught.
  for (const char* bad : {"garbage line\n", "[Unclosed\n", "\"v\"=dword:xyz\n", "\"v\"=hex:0g\n",
                          "\"v\"=sz:\"bad \\q escape\"\n", "\"v\"=nosuchtype:1\n", "[A\\\\B]\n",
                          "\"v\"=sz:\"x\" trailing\n", "[Bad%zz]\n"}) {
    writeFile("HKLM.reg", bad);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, KEY_READ, &k), ERROR_BADDB) << bad;
  }

  // Once repaired, the hive works again.
  writeFile("HKLM.reg", "[Software\\Keep]\n\"Good\"=sz:\"value\"\n");
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Keep", 0, KEY_ALL_ACCESS, &k), ERROR_SUCCESS);
  EXPECT_EQ(getString(k, "Good"), "value");
  EXPECT_EQ(setString(k, "More", "yes"), ERROR_SUCCESS);
  RegCloseKey(k);
}

TEST_F(RegistryTest, ConcurrentWritersInTwoProcessesLoseNothing) {
  // Warm the cache in the parent so that its view must be refreshed later.
  RegCloseKey(create(HKEY_LOCAL_MACHINE, "Software\\Shared"));
  constexpr int kPerWriter = 100;
  std::vector<pid_t> children;
  for (int writer = 0; writer < 2; ++writer) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int failures = 0;
      for (int i = 0; i < kPerWriter; ++i) {
        HKEY k = nullptr;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Shared", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                            nullptr) != ERROR_SUCCESS) {
          ++failures;
          continue;
        }
        const std::string name = "w" + std::to_string(writer) + "_" + std::to_string(i);
        const DWORD value = static_cast<DWORD>(writer * 1000 + i);
        if (RegSetValueExA(k, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4) !=
            ERROR_SUCCESS)
          ++failures;
        RegCloseKey(k);
      }
      _exit(failures == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }

  HKEY k = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Shared", 0, KEY_READ, &k), ERROR_SUCCESS);
  DWORD values = 0;
  ASSERT_EQ(RegQueryInfoKeyA(k, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                             nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(values, 2u * kPerWriter);
  for (int writer = 0; writer < 2; ++writer)
    for (int i = 0; i < kPerWriter; ++i) {
      const std::string name = "w" + std::to_string(writer) + "_" + std::to_string(i);
      DWORD value = 0, size = sizeof value, type = 0;
      ASSERT_EQ(RegQueryValueExA(k, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
                ERROR_SUCCESS)
          << name;
      EXPECT_EQ(type, REG_DWORD);
      EXPECT_EQ(value, static_cast<DWORD>(writer * 1000 + i));
    }
  RegCloseKey(k);
  EXPECT_FALSE(std::filesystem::exists(root_ + "/HKLM.reg.tmp"));
}

TEST_F(RegistryTest, ManyKeysReadInOnePassAndDevicesAreRefused) {
  // 20000 alias keys: every one opens by name and enumerates in file order.
  std::string text;
  for (int i = 0; i < 20000; ++i)
    text += "[Software\\Aliases\\a" + std::to_string(i) + "]\n\"Path\"=sz:\"/p/" + std::to_string(i) + "\"\n";
  writeFile("HKLM.reg", text);
  HKEY aliases = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Aliases", 0, KEY_READ, &aliases), ERROR_SUCCESS);
  for (DWORD i = 0; i < 20000; ++i) {
    char name[64];
    DWORD size = sizeof name;
    ASSERT_EQ(RegEnumKeyExA(aliases, i, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    ASSERT_EQ(std::string(name), "a" + std::to_string(i));
    HKEY k = nullptr;
    ASSERT_EQ(RegOpenKeyExA(aliases, name, 0, KEY_READ, &k), ERROR_SUCCESS);
    ASSERT_EQ(getString(k, "PATH"), "/p/" + std::to_string(i));
    RegCloseKey(k);
  }
  RegCloseKey(aliases);

  // A hive that is a device, a pipe or far too large is refused at once.
  const std::string hive = root_ + "/HKLM.reg";
  std::filesystem::remove(hive);
  std::filesystem::create_symlink("/dev/zero", hive);
  HKEY k = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, KEY_READ, &k), ERROR_BADDB);
  std::filesystem::remove(hive);
  ASSERT_EQ(mkfifo(hive.c_str(), 0600), 0);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, KEY_READ, &k), ERROR_BADDB);
  std::filesystem::remove(hive);
  writeFile("HKLM.reg", "");
  std::filesystem::resize_file(hive, 17u << 20);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, KEY_READ, &k), ERROR_BADDB);

  // Hives written here are readable by their owner only.
  RegCloseKey(create(HKEY_CURRENT_USER, "Software\\Mine"));
  struct stat st {};
  ASSERT_EQ(stat((root_ + "/HKCU.reg").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

}  // namespace
