#include "platform/profile.h"

#include <gtest/gtest.h>

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

class ProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kh_profile_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    setenv("KBE_ROOT", root_.c_str(), 1);
    file_ = root_ + "/kh.ini";
  }
  void TearDown() override {
    unsetenv("KBE_ROOT");
    std::filesystem::permissions(root_, std::filesystem::perms::owner_all);
    std::filesystem::remove_all(root_);
  }
  void write(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
  std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }

  // Runs `body` directly, or, for the superuser, in a child process with the
  // temporary directory handed to an unprivileged user.
  template <class F>
  void asUnprivileged(F body) {
    if (geteuid() != 0) {
      body();
      return;
    }
    constexpr uid_t kNobody = 65534;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root_))
      ASSERT_EQ(chown(entry.path().c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(chown(root_.c_str(), kNobody, kNobody), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      if (setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(2);
      body();
      _exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the unprivileged checks failed";
  }

  std::string root_;
  std::string file_;
};

const char* const kSample =
    "; settings\r\n"
    "[Options]\r\n"
    "  maximized = 1  \r\n"
    "Title=\"  Quoted  \"\n"
    "single='x'\r\n"
    "empty=\r\n"
    "long=abcdefghij\r\n"
    "no equals sign here\r\n"
    "[options]\r\n"
    "other=2\r\n"
    "[ Second ]\r\n"
    "Key=v2\r\n";

TEST_F(ProfileTest, ReadsValuesWithDefaultsAndTruncation) {
  write(file_, kSample);
  struct Case {
    const char* section;
    const char* key;
    const char* def;
    DWORD size;
    std::string expected;
  };
  const Case cases[] = {
      {"OPTIONS", "MAXIMIZED", "0", 64, "1"},
      {"Options", "title", nullptr, 64, "  Quoted  "},
      {"Options", "single", nullptr, 64, "x"},
      {"Options", "empty", "def", 64, ""},
      {"Options", "long", nullptr, 64, "abcdefghij"},
      {"Options", "long", nullptr, 5, "abcd"},
      {"Options", "long", nullptr, 11, "abcdefghij"},
      {"Options", "long", nullptr, 10, "abcdefghi"},
      {"Options", "missing", "fallback  ", 64, "fallback"},
      {"Options", "missing", "fallback", 4, "fal"},
      {"Options", "missing", nullptr, 64, ""},
      {"Options", "other", "none", 64, "none"},  // only the first [Options] counts
      {"second", "key", nullptr, 64, "v2"},
      {"Nowhere", "key", "d", 64, "d"},
  };
  for (const Case& c : cases) {
    char buf[64];
    std::memset(buf, '#', sizeof buf);
    const DWORD n = GetPrivateProfileStringA(c.section, c.key, c.def, buf, c.size, file_.c_str());
    EXPECT_EQ(std::string(buf), c.expected) << c.section << "/" << c.key << " size " << c.size;
    EXPECT_EQ(n, c.expected.size()) << c.section << "/" << c.key << " size " << c.size;
  }
  char buf[8] = "unset";
  EXPECT_EQ(GetPrivateProfileStringA("Options", "long", nullptr, buf, 0, file_.c_str()), 0u);
  EXPECT_STREQ(buf, "unset");
  EXPECT_EQ(GetPrivateProfileStringA("Options", "long", "d", buf, 8, (root_ + "/none.ini").c_str()), 1u);
  EXPECT_STREQ(buf, "d");
}

TEST_F(ProfileTest, ListsSectionsAndKeysWithinTheBuffer) {
  write(file_, kSample);
  using namespace std::string_literals;
  struct Case {
    const char* section;
    DWORD size;
    std::string bytes;  // the buffer up to and with the list's last zero
    DWORD result;
  };
  const std::string sections = "Options\0Second\0"s;
  const std::string keys = "maximized\0Title\0single\0empty\0long\0"s;
  const Case cases[] = {
      {nullptr, 64, sections + '\0', 15},
      {nullptr, 16, sections + '\0', 15},
      {nullptr, 15, "Options\0Secon\0\0"s, 13},
      {nullptr, 10, "Options\0\0\0"s, 8},
      {nullptr, 2, "\0\0"s, 0},
      {"options", 64, keys + '\0', 34},
      {"options", 12, "maximized\0\0\0"s, 10},
      {"Nowhere", 64, "\0\0"s, 0},
  };
  for (const Case& c : cases) {
    char buf[64];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(GetPrivateProfileStringA(c.section, nullptr, "ignored", buf, c.size, file_.c_str()), c.result)
        << c.size;
    EXPECT_EQ(std::string(buf, c.bytes.size()), c.bytes) << c.size;
  }
  char buf[64];
  EXPECT_EQ(GetPrivateProfileSectionNamesA(buf, sizeof buf, file_.c_str()), sections.size());
  EXPECT_EQ(std::string(buf, sections.size()), sections);
  EXPECT_EQ(GetPrivateProfileSectionNamesA(buf, sizeof buf, (root_ + "/none.ini").c_str()), 0u);
  EXPECT_EQ(buf[0], '\0');
}

TEST_F(ProfileTest, ReadsWholeNumbersAsWindowsDoes) {
  write(file_,
        "[N]\r\nplain=42\r\nsuffix=12abc\r\nword=abc\r\nneg=-5\r\nplus=+7\r\nempty=\r\n"
        "blanks=  9  \r\nquoted=\"3\"\r\nsign=-\r\n");
  struct Case {
    const char* key;
    UINT expected;
  };
  for (const Case& c : {Case{"plain", 42}, Case{"suffix", 12}, Case{"word", 77}, Case{"neg", static_cast<UINT>(-5)},
                        Case{"plus", 7}, Case{"empty", 77}, Case{"blanks", 9}, Case{"quoted", 3}, Case{"sign", 77},
                        Case{"missing", 77}})
    EXPECT_EQ(GetPrivateProfileIntA("n", c.key, 77, file_.c_str()), c.expected) << c.key;
  EXPECT_EQ(GetPrivateProfileIntA("N", "plain", -1, (root_ + "/none.ini").c_str()), static_cast<UINT>(-1));
}

TEST_F(ProfileTest, WritesAndDeletesKeepingTheRestOfTheFile) {
  write(file_, "; keep me\n[Options]\nmaximized=0\n; inner comment\n\n[Other]\nx=1\n");
  EXPECT_TRUE(WritePrivateProfileStringA("options", "MAXIMIZED", "1", file_.c_str()));
  EXPECT_TRUE(WritePrivateProfileStringA("Options", "autocase", "0", file_.c_str()));
  EXPECT_TRUE(WritePrivateProfileStringA("Generator", "Length", "6", file_.c_str()));
  EXPECT_EQ(read(file_),
            "; keep me\r\n[Options]\r\nmaximized=1\r\n; inner comment\r\nautocase=0\r\n\r\n[Other]\r\nx=1\r\n"
            "\r\n[Generator]\r\nLength=6\r\n");
  char buf[16];
  EXPECT_EQ(GetPrivateProfileStringA("OPTIONS", "maximized", "", buf, sizeof buf, file_.c_str()), 1u);
  EXPECT_STREQ(buf, "1");

  EXPECT_TRUE(WritePrivateProfileStringA("Options", "maximized", nullptr, file_.c_str()));
  EXPECT_TRUE(WritePrivateProfileStringA("Other", nullptr, nullptr, file_.c_str()));
  EXPECT_TRUE(WritePrivateProfileStringA("Nowhere", "k", nullptr, file_.c_str()));
  EXPECT_TRUE(WritePrivateProfileStringA("Nowhere", nullptr, nullptr, file_.c_str()));
  EXPECT_EQ(read(file_),
            "; keep me\r\n[Options]\r\n; inner comment\r\nautocase=0\r\n\r\n[Generator]\r\nLength=6\r\n");

  // A new file is created; a bare name lives in the Windows directory, which
  // is created on demand.
  const std::string fresh = root_ + "/new.ini";
  EXPECT_TRUE(WritePrivateProfileStringA("S", "k", "v", fresh.c_str()));
  EXPECT_EQ(read(fresh), "[S]\r\nk=v\r\n");
  const std::string winDir = root_ + "/windows";
  setenv("KBE_ROOT", winDir.c_str(), 1);
  EXPECT_TRUE(WritePrivateProfileStringA("Aliases", "kh", "/home/u/a.pdb", "KBE.ini"));
  EXPECT_EQ(read(winDir + "/KBE.ini"), "[Aliases]\r\nkh=/home/u/a.pdb\r\n");
  EXPECT_EQ(profilePath("KBE.ini"), winDir + "/KBE.ini");
  EXPECT_TRUE(WriteProfileStringA("windows", "load", "x"));
  EXPECT_EQ(GetProfileStringA("Windows", "LOAD", "", buf, sizeof buf), 1u);
  EXPECT_EQ(GetProfileIntA("Windows", "none", 5), 5u);
  EXPECT_TRUE(std::filesystem::exists(winDir + "/win.ini"));
  for (const auto& entry : std::filesystem::directory_iterator(winDir))
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
}

TEST_F(ProfileTest, UnwritableFilesFailWithTheReason) {
  const std::string missingDir = root_ + "/no/such/dir/kh.ini";
  SetLastError(0);
  EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "v", missingDir.c_str()));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);

  // Text that would change the file's structure is refused.
  write(file_, "[S]\r\nk=v\r\n");
  struct Bad {
    const char* section;
    const char* key;
    const char* value;
  };
  for (const Bad& b : {Bad{"S", "k", "two\nlines"}, Bad{"S]", "k", "v"}, Bad{"S", "a=b", "v"}, Bad{"S", "  ", "v"},
                       Bad{"S", "[x", "v"}, Bad{"S", ";x", "v"}, Bad{"S\r", "k", "v"}, Bad{nullptr, "k", "v"}}) {
    SetLastError(0);
    EXPECT_FALSE(WritePrivateProfileStringA(b.section, b.key, b.value, file_.c_str()));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  }
  EXPECT_EQ(read(file_), "[S]\r\nk=v\r\n");

  // Permissions do not bind the superuser: then the rest runs in a child
  // process as an unprivileged user.
  asUnprivileged([&] {
    chmod(file_.c_str(), 0444);
    SetLastError(0);
    EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "changed", file_.c_str()));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(read(file_), "[S]\r\nk=v\r\n");

    chmod(file_.c_str(), 0000);
    SetLastError(0);
    EXPECT_FALSE(WritePrivateProfileStringA("S", "new", "v", file_.c_str()))
        << "an unreadable file must not be replaced";
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    chmod(file_.c_str(), 0644);

    const std::string roDir = root_ + "/ro";
    std::filesystem::create_directory(roDir);
    chmod(roDir.c_str(), 0555);
    SetLastError(0);
    EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "v", (roDir + "/kh.ini").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    chmod(roDir.c_str(), 0755);
  });
}

TEST_F(ProfileTest, LargeFilesReadInOnePassAndOddFilesAreRefused) {
  // 50000 aliases listed and read one by one, as the engine reads KBE.ini.
  std::string text = "[Aliases]\r\n";
  for (int i = 0; i < 50000; ++i) text += "a" + std::to_string(i) + "=/p/" + std::to_string(i) + "\r\n";
  text += "[aliases]\r\nlater=ignored\r\n";
  write(file_, text);
  std::vector<char> list(1 << 20);
  const DWORD n = GetPrivateProfileStringA("ALIASES", nullptr, "", list.data(), static_cast<DWORD>(list.size()),
                                           file_.c_str());
  int count = 0;
  for (const char* p = list.data(); p < list.data() + n && *p; p += std::strlen(p) + 1) {
    char value[64];
    GetPrivateProfileStringA("Aliases", p, "", value, sizeof value, file_.c_str());
    ASSERT_EQ(std::string(value), "/p/" + std::string(p + 1)) << p;
    ++count;
  }
  EXPECT_EQ(count, 50000);
  char value[64];
  EXPECT_EQ(GetPrivateProfileStringA("Aliases", "later", "none", value, sizeof value, file_.c_str()), 4u);
  // A change is seen at once.
  ASSERT_TRUE(WritePrivateProfileStringA("Aliases", "a7", "/changed", file_.c_str()));
  GetPrivateProfileStringA("Aliases", "A7", "", value, sizeof value, file_.c_str());
  EXPECT_STREQ(value, "/changed");

  // Devices, pipes and oversized files read as empty with the reason, and are
  // never replaced.
  const std::string odd = root_ + "/odd.ini";
  struct Case {
    const char* what;
    DWORD error;
  };
  for (const Case& c : {Case{"device", ERROR_BAD_FORMAT}, Case{"pipe", ERROR_BAD_FORMAT},
                        Case{"large", ERROR_FILE_TOO_LARGE}}) {
    std::filesystem::remove(odd);
    if (std::string(c.what) == "device") std::filesystem::create_symlink("/dev/zero", odd);
    if (std::string(c.what) == "pipe") {
      ASSERT_EQ(mkfifo(odd.c_str(), 0600), 0);
    }
    if (std::string(c.what) == "large") {
      write(odd, "[s]\nk=v\n");
      std::filesystem::resize_file(odd, 17u << 20);
    }
    SetLastError(0);
    EXPECT_EQ(GetPrivateProfileStringA("s", "k", "dflt", value, sizeof value, odd.c_str()), 4u) << c.what;
    EXPECT_EQ(GetLastError(), c.error) << c.what;
    EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "v", odd.c_str())) << c.what;
  }

  // New settings files are readable by their owner only, and a rewrite takes
  // the rights of others away from an older one.
  const std::string fresh = root_ + "/fresh.ini";
  ASSERT_TRUE(WritePrivateProfileStringA("s", "k", "v", fresh.c_str()));
  struct stat st {};
  ASSERT_EQ(stat(fresh.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_EQ(chmod(fresh.c_str(), 0644), 0);
  ASSERT_TRUE(WritePrivateProfileStringA("s", "k", "w", fresh.c_str()));
  ASSERT_EQ(stat(fresh.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

}  // namespace
