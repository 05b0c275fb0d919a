#include "platform/module.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <unistd.h>

#include "platform/dirs.h"

using namespace kh::win;

namespace {

class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kh_module_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    setenv("KBE_ROOT", root_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("KBE_ROOT");
    std::filesystem::remove_all(root_);
  }
  template <class F>
  static F proc(HMODULE h, LPCSTR name) {
    return reinterpret_cast<F>(GetProcAddress(h, name));
  }

  std::string root_;
};

const std::string kModuleDir = KH_TESTMODULE_DIR;

TEST_F(ModuleTest, LoadsByPathAndFindsExportsByNameAndOrdinal) {
  HMODULE h = LoadLibraryA(KH_TESTMODULE_PATH);
  ASSERT_NE(h, nullptr) << GetLastError();
  char real[PATH_MAX];
  ASSERT_NE(realpath(KH_TESTMODULE_PATH, real), nullptr);
  EXPECT_EQ(moduleFileName(h), real);

  auto add = proc<int (*)(int, int)>(h, "khTestAdd");
  ASSERT_NE(add, nullptr);
  EXPECT_EQ(add(2, 3), 5);

  auto one = proc<int (*)()>(h, ordinalName(1));
  ASSERT_NE(one, nullptr);
  EXPECT_EQ(one(), 1);
  EXPECT_EQ(one, proc<int (*)()>(h, "khTestSlotOne"));
  auto seven = proc<int (*)()>(h, ordinalName(7));
  ASSERT_NE(seven, nullptr);
  EXPECT_EQ(seven(), 7);

  // Empty ordinal slots, unknown names and symbols that only a library the
  // module uses defines are not exports of the module.
  for (LPCSTR missing : {ordinalName(2), ordinalName(0), static_cast<LPCSTR>("noSuchExport"),
                         static_cast<LPCSTR>("malloc")}) {
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(h, missing), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
  }
  EXPECT_TRUE(FreeLibrary(h));
}

TEST_F(ModuleTest, DllNamesMapToSharedLibrariesAndShareOneReferenceCountedModule) {
  EXPECT_EQ(hostFileName("KBE3235.DLL"), "libKBE3235.so");
  EXPECT_EQ(hostFileName("/opt/kh/KBE3235.dll"), "/opt/kh/libKBE3235.so");
  EXPECT_EQ(hostFileName("notes.txt"), "notes.txt");

  SetLastError(0);
  EXPECT_EQ(GetModuleHandleA("kh_testmodule.DLL"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);

  HMODULE byDllPath = LoadLibraryA((kModuleDir + "/kh_testmodule.DLL").c_str());
  ASSERT_NE(byDllPath, nullptr) << GetLastError();
  HMODULE bySoPath = LoadLibraryA(KH_TESTMODULE_PATH);
  HMODULE byBareName = LoadLibraryA("kh_testmodule.dll");  // found beside the program
  EXPECT_EQ(bySoPath, byDllPath);
  EXPECT_EQ(byBareName, byDllPath);
  for (const char* name : {"kh_testmodule.DLL", "KH_TESTMODULE.dll", "libkh_testmodule.so", "/elsewhere/kh_testmodule.DLL"})
    EXPECT_EQ(GetModuleHandleA(name), byDllPath) << name;

  // Three references; GetModuleHandleA took none.
  EXPECT_TRUE(FreeLibrary(byDllPath));
  EXPECT_TRUE(FreeLibrary(byDllPath));
  EXPECT_EQ(GetModuleHandleA("kh_testmodule.DLL"), byDllPath);
  ASSERT_NE(GetProcAddress(byDllPath, "khTestAdd"), nullptr);
  EXPECT_TRUE(FreeLibrary(byDllPath));
  EXPECT_EQ(GetModuleHandleA("kh_testmodule.DLL"), nullptr);

  SetLastError(0);
  EXPECT_FALSE(FreeLibrary(byDllPath));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(GetProcAddress(byDllPath, "khTestAdd"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(moduleFileName(byDllPath), "");

  // Loading again gives a new handle: handles are never reused.
  HMODULE again = LoadLibraryA(KH_TESTMODULE_PATH);
  ASSERT_NE(again, nullptr);
  EXPECT_NE(again, byDllPath);
  EXPECT_TRUE(FreeLibrary(again));
}

TEST_F(ModuleTest, ModulesWithoutAnOrdinalTableHaveNoOrdinalExports) {
  HMODULE h = LoadLibraryA("libm.so.6");
  ASSERT_NE(h, nullptr) << GetLastError();
  EXPECT_NE(GetProcAddress(h, "cos"), nullptr);
  SetLastError(0);
  EXPECT_EQ(GetProcAddress(h, ordinalName(1)), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
  EXPECT_TRUE(FreeLibrary(h));
}

TEST_F(ModuleTest, EachLoadFailureHasItsWindowsErrorNumber) {
  std::ofstream(root_ + "/libnotes.so") << "just some text, not a library\n";
  std::filesystem::create_directory(root_ + "/libfolder.so");
  struct Case {
    std::string name;
    DWORD error;
  };
  const Case cases[] = {
      {root_ + "/missing.DLL", ERROR_FILE_NOT_FOUND},
      {root_ + "/libmissing.so", ERROR_FILE_NOT_FOUND},
      {root_ + "/no/such/dir/KBE3235.DLL", ERROR_PATH_NOT_FOUND},
      {root_ + "/libnotes.so/KBE3235.DLL", ERROR_PATH_NOT_FOUND},
      {"kh_no_such_module.DLL", ERROR_MOD_NOT_FOUND},
      {root_ + "/notes.DLL", ERROR_BAD_EXE_FORMAT},
      {root_ + "/folder.DLL", ERROR_ACCESS_DENIED},
      {"", ERROR_BAD_PATHNAME},
      {root_ + "/", ERROR_BAD_PATHNAME},
      {".DLL", ERROR_BAD_PATHNAME},
      {root_ + "/..", ERROR_BAD_PATHNAME},
      {std::string(PATH_MAX + 10, 'x') + ".DLL", ERROR_BAD_PATHNAME},
  };
  for (const Case& c : cases) {
    SetLastError(0);
    EXPECT_EQ(LoadLibraryA(c.name.c_str()), nullptr) << c.name;
    EXPECT_EQ(GetLastError(), c.error) << c.name;
  }
  SetLastError(0);
  EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(ModuleTest, FileLookupsFindModulesByTheirWindowsNames) {
  EXPECT_TRUE(fileExists(kModuleDir + "/kh_testmodule.DLL"));
  EXPECT_TRUE(fileExists(KH_TESTMODULE_PATH));
  EXPECT_TRUE(fileExists(root_));
  EXPECT_FALSE(fileExists(root_ + "/kh_testmodule.DLL"));
  EXPECT_FALSE(fileExists(""));

  char buf[MAX_PATH];
  char* part = nullptr;
  const std::string path = "/no/such/dir;" + root_ + ":" + kModuleDir;
  const std::string expected = kModuleDir + "/libkh_testmodule.so";
  DWORD n = SearchPathA(path.c_str(), "kh_testmodule.DLL", nullptr, MAX_PATH, buf, &part);
  ASSERT_EQ(n, expected.size());
  EXPECT_STREQ(buf, expected.c_str());
  EXPECT_STREQ(part, "libkh_testmodule.so");
  // The extension is added only to a name without one.
  EXPECT_EQ(SearchPathA(path.c_str(), "kh_testmodule", ".DLL", MAX_PATH, buf, nullptr), expected.size());
  SetLastError(0);
  EXPECT_EQ(SearchPathA(path.c_str(), "kh_testmodule.so", ".DLL", MAX_PATH, buf, nullptr), 0u);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

  // Too small a buffer: the size needed, with the zero, and the buffer untouched.
  std::strcpy(buf, "untouched");
  EXPECT_EQ(SearchPathA(path.c_str(), "kh_testmodule.DLL", nullptr, 5, buf, &part), expected.size() + 1);
  EXPECT_STREQ(buf, "untouched");

  SetLastError(0);
  EXPECT_EQ(SearchPathA(root_.c_str(), "KBE3235.DLL", nullptr, MAX_PATH, buf, &part), 0u);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(SearchPathA("", "KBE3235.DLL", nullptr, MAX_PATH, buf, &part), 0u);
  SetLastError(0);
  EXPECT_EQ(SearchPathA(path.c_str(), "", nullptr, MAX_PATH, buf, &part), 0u);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(ModuleTest, DirectoriesFollowTheEnvironment) {
  EXPECT_EQ(windowsDirectory(), root_);
  setenv("KBE_ROOT", (root_ + "/").c_str(), 1);
  EXPECT_EQ(windowsDirectory(), root_);
  unsetenv("KBE_ROOT");
  const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
  const std::string savedXdg = oldXdg ? oldXdg : "";
  setenv("XDG_CONFIG_HOME", (root_ + "/config").c_str(), 1);
  EXPECT_EQ(windowsDirectory(), root_ + "/config/keelbase");
  EXPECT_EQ(createWindowsDirectory(), ERROR_SUCCESS);
  EXPECT_TRUE(std::filesystem::is_directory(root_ + "/config/keelbase"));
  setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
  const char* home = std::getenv("HOME");
  if (home) {
    EXPECT_EQ(windowsDirectory(), std::string(home) + "/.config/keelbase");
  }
  if (oldXdg)
    setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
  else
    unsetenv("XDG_CONFIG_HOME");
  setenv("KBE_ROOT", root_.c_str(), 1);

  // The program directory is the test program's, unless KEYHAVEN_HOME says otherwise.
  EXPECT_EQ(programDirectory(), std::filesystem::canonical("/proc/self/exe").parent_path().string());
  setenv("KEYHAVEN_HOME", root_.c_str(), 1);
  EXPECT_EQ(programDirectory(), root_);
  unsetenv("KEYHAVEN_HOME");

  // GetCurrentDirectoryA: length without the zero, or the size needed with it.
  const std::string cwd = std::filesystem::current_path().string();
  char buf[MAX_PATH * 4];
  EXPECT_EQ(GetCurrentDirectoryA(sizeof buf, buf), cwd.size());
  EXPECT_EQ(buf, cwd);
  std::strcpy(buf, "untouched");
  EXPECT_EQ(GetCurrentDirectoryA(static_cast<DWORD>(cwd.size()), buf), cwd.size() + 1);
  EXPECT_STREQ(buf, "untouched");
  EXPECT_EQ(GetCurrentDirectoryA(0, nullptr), cwd.size() + 1);
}

TEST(ErrorState, LastErrorIsPerThreadAndErrorModeReturnsThePreviousMode) {
  SetLastError(ERROR_MORE_DATA);
  DWORD other = 1;
  std::thread([&] { other = GetLastError(); }).join();
  EXPECT_EQ(other, ERROR_SUCCESS);
  EXPECT_EQ(GetLastError(), ERROR_MORE_DATA);

  const UINT before = SetErrorMode(SEM_NOOPENFILEERRORBOX);
  EXPECT_EQ(SetErrorMode(before), SEM_NOOPENFILEERRORBOX);
  EXPECT_EQ(GetErrorMode(), before);
}

}  // namespace
