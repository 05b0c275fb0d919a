// The engine binding against the real engine library, which the build puts
// next to this program. Scenarios that need a process of their own (no
// library anywhere, the library only on the registry's DLLPATH, a bound call
// before any initialisation) run in a child: a copy of this program started
// with KH_BINDING_CHILD naming the scenario. For "no library" and "DLLPATH"
// the copy sits in a staging directory that holds everything this program
// needs except the engine, so its RUNPATH ($ORIGIN) finds no engine either.
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QtTest>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "binding/Bde.h"
#include "platform/dirs.h"
#include "platform/module.h"
#include "platform/registry.h"
#include "platform/wintypes.h"

namespace fs = std::filesystem;
namespace win = kh::win;

namespace {

constexpr DBIResult kLibraryNotFound = 8456;
constexpr DBIResult kAttachFailed = 8458;
constexpr DBIResult kNotImplemented = 10063;
constexpr DBIResult kMultipleInit = 10759;
constexpr DBIResult kNotSupported = 0x3001;
constexpr DBIResult kInvalidParam = 0x2702;

// What the data-access layer passes: zeros, except the language "0009".
Bde::DBIEnv languageEnvironment() {
  Bde::DBIEnv env{};
  std::memcpy(env.szLang, "0009", 5);
  return env;
}

std::string makeTempDir(const char* tag) {
  std::string pattern = std::string("/tmp/") + tag + "XXXXXX";
  if (!mkdtemp(pattern.data())) return {};
  return pattern;
}

bool engineLoaded() { return win::GetModuleHandleA("KBE3235.DLL") != nullptr; }

// Waits for `done` (set by another thread) for at most ten seconds.
bool waitFor(const std::atomic<bool>& done) {
  for (int i = 0; i < 1000 && !done.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return done.load();
}

// ---- child scenarios -----------------------------------------------------------

#define CHILD_CHECK(condition)                                                           \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      return 1;                                                                          \
    }                                                                                    \
  } while (0)

// Nothing to find: not in the current directory, no DLLPATH, not beside the
// program. Initialisation reports the missing file without a dialog and with
// the error mode as it was; bound calls cannot attach, each time.
int childWithoutLibrary() {
  win::SetErrorMode(win::SEM_FAILCRITICALERRORS);
  Bde::DBIEnv env = languageEnvironment();
  for (int i = 0; i < 2; ++i) {
    CHILD_CHECK(Bde::DbiInitFn(400, &env) == kLibraryNotFound);
    CHILD_CHECK(win::GetErrorMode() == win::SEM_FAILCRITICALERRORS);
    CHILD_CHECK(Bde::initializationCount() == 0 && Bde::engineHandle() == nullptr);
  }
  kbe::hDBISes session = nullptr;
  for (int i = 0; i < 2; ++i) {
    CHILD_CHECK(Bde::DbiGetCurrSession(&session) == kAttachFailed);
    CHILD_CHECK(session == nullptr && !Bde::isBound(72));
    CHILD_CHECK(Bde::callByOrdinal(74) == kAttachFailed);
  }
  CHILD_CHECK(win::GetErrorMode() == win::SEM_FAILCRITICALERRORS);
  CHILD_CHECK(Bde::engineLibrary().module == nullptr);
  CHILD_CHECK(Bde::DbiExit() == kNotImplemented);
  return 0;
}

// The engine only in a directory named by DLLPATH (after one that does not
// exist): the second candidate finds it.
int childFromRegistryPath() {
  const char* engineDir = std::getenv("KH_BINDING_ENGINE_DIR");
  CHILD_CHECK(engineDir && *engineDir);
  win::HKEY key = nullptr;
  CHILD_CHECK(win::RegCreateKeyExA(win::HKEY_LOCAL_MACHINE, "Software\\Corvane\\Keelbase\\KBEPI", 0, nullptr,
                                   0, win::KEY_WRITE, nullptr, &key, nullptr) == win::ERROR_SUCCESS);
  const std::string path = std::string("/nonexistent/kh-binding;") + engineDir;
  CHILD_CHECK(win::RegSetValueExA(key, "DLLPATH", 0, win::REG_SZ,
                                  reinterpret_cast<const win::BYTE*>(path.c_str()),
                                  static_cast<win::DWORD>(path.size() + 1)) == win::ERROR_SUCCESS);
  win::RegCloseKey(key);

  Bde::DBIEnv env = languageEnvironment();
  CHILD_CHECK(Bde::DbiInitFn(400, &env) == 0);
  CHILD_CHECK(Bde::initializationCount() == 1);
  CHILD_CHECK(win::moduleFileName(Bde::engineHandle()) ==
              (fs::canonical(engineDir) / "libKBE3235.so").string());
  // The first bound call attaches the library DbiInitFn loaded.
  kbe::hDBISes session = nullptr;
  CHILD_CHECK(Bde::DbiGetCurrSession(&session) == 0 && session != nullptr);
  CHILD_CHECK(Bde::engineLibrary().module == Bde::engineHandle());
  CHILD_CHECK(Bde::DbiExit() == 0);
  CHILD_CHECK(!engineLoaded());
  return 0;
}

// A bound function called before any DbiInitFn attaches and loads the library
// by itself; the attach keeps its own reference, so the library stays loaded
// (and its bound functions usable) after the last DbiExit.
int childCallBeforeInit() {
  CHILD_CHECK(!engineLoaded());
  kbe::hDBISes session = nullptr;
  CHILD_CHECK(Bde::DbiGetCurrSession(&session) == 0 && session != nullptr);
  CHILD_CHECK(engineLoaded() && Bde::engineLibrary().module != nullptr);
  CHILD_CHECK(Bde::engineHandle() == nullptr && Bde::initializationCount() == 0);
  Bde::DBIEnv env = languageEnvironment();
  CHILD_CHECK(Bde::DbiInitFn(400, &env) == 0);
  CHILD_CHECK(Bde::engineHandle() == Bde::engineLibrary().module);
  CHILD_CHECK(Bde::DbiExit() == 0);
  CHILD_CHECK(Bde::initializationCount() == 0 && Bde::engineHandle() == nullptr);
  CHILD_CHECK(engineLoaded() && Bde::isBound(72));
  kbe::hDBISes again = nullptr;
  CHILD_CHECK(Bde::DbiGetCurrSession(&again) == 0 && again != nullptr);
  return 0;
}

int runChildScenario(const std::string& scenario) {
  if (scenario == "without-library") return childWithoutLibrary();
  if (scenario == "registry-path") return childFromRegistryPath();
  if (scenario == "call-before-init") return childCallBeforeInit();
  std::fprintf(stderr, "unknown scenario %s\n", scenario.c_str());
  return 2;
}

// ---- starting children ---------------------------------------------------------

fs::path ownProgram() { return fs::read_symlink("/proc/self/exe"); }

// Runs `program` in `directory` with scenario `scenario`, a fresh KBE_ROOT and
// the extra environment entries, without LD_LIBRARY_PATH. Returns its exit
// status, or -1 when it could not be run or did not end within two minutes.
int runChild(const fs::path& program, const std::string& directory, const std::string& scenario,
             const std::vector<std::string>& extra = {}) {
  const std::string root = makeTempDir("kh-binding-root");
  std::vector<std::string> environment;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    if (entry.starts_with("LD_LIBRARY_PATH=") || entry.starts_with("KBE_ROOT=") ||
        entry.starts_with("KH_BINDING_"))
      continue;
    environment.push_back(entry);
  }
  environment.push_back("KBE_ROOT=" + root);
  environment.push_back("KH_BINDING_CHILD=" + scenario);
  environment.insert(environment.end(), extra.begin(), extra.end());
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::string programPath = program.string();
  char* argv[] = {programPath.data(), nullptr};

  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    if (chdir(directory.c_str()) != 0) _exit(126);
    execve(programPath.c_str(), argv, envp.data());
    _exit(127);
  }
  int status = 0;
  for (int i = 0; i < 1200; ++i) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) {
      std::error_code ec;
      fs::remove_all(root, ec);
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

}  // namespace

class BindingTest : public QObject {
  Q_OBJECT

 private:
  std::string root_;     // KBE_ROOT of this process
  std::string empty_;    // an empty directory
  std::string staging_;  // this program and its libraries, without the engine

 private slots:
  void initTestCase() {
    root_ = makeTempDir("kh-binding-root");
    empty_ = makeTempDir("kh-binding-empty");
    QVERIFY(!root_.empty() && !empty_.empty());
    setenv("KBE_ROOT", root_.c_str(), 1);

    staging_ = makeTempDir("kh-binding-staging");
    QVERIFY(!staging_.empty());
    const fs::path self = ownProgram();
    fs::copy_file(self, fs::path(staging_) / self.filename());
    for (const fs::directory_entry& entry : fs::directory_iterator(self.parent_path())) {
      const std::string name = entry.path().filename().string();
      if (entry.is_regular_file() && name.starts_with("lib") && name.find(".so") != std::string::npos &&
          !name.starts_with("libKBE3235"))
        fs::copy_file(entry.path(), fs::path(staging_) / name);
    }
  }

  void cleanupTestCase() {
    std::error_code ec;
    for (const std::string& dir : {root_, empty_, staging_}) fs::remove_all(dir, ec);
  }

  void candidatePath_data() {
    QTest::addColumn<QString>("directory");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << "/opt/kh"
                           << "/opt/kh/KBE3235.DLL";
    QTest::newRow("trailing separator") << "/opt/kh/"
                                        << "/opt/kh/KBE3235.DLL";
    QTest::newRow("root") << "/"
                          << "/KBE3235.DLL";
    QTest::newRow("empty") << ""
                           << "KBE3235.DLL";
  }
  void candidatePath() {
    QFETCH(QString, directory);
    QFETCH(QString, expected);
    QCOMPARE(QString::fromStdString(Bde::candidatePath(directory.toStdString(), "KBE3235.DLL")), expected);
  }

  void withoutLibraryEveryPathFails() {
    QCOMPARE(runChild(fs::path(staging_) / ownProgram().filename(), empty_, "without-library"), 0);
  }

  void registryPathFindsLibrary() {
    QCOMPARE(runChild(fs::path(staging_) / ownProgram().filename(), empty_, "registry-path",
                      {"KH_BINDING_ENGINE_DIR=" + ownProgram().parent_path().string()}),
             0);
  }

  void boundCallBeforeInitLoadsLibrary() { QCOMPARE(runChild(ownProgram(), empty_, "call-before-init"), 0); }

  // From here on in this process, in order: the engine beside this program.

  void failedEngineInitLeavesNothing() {
    QVERIFY(!engineLoaded());
    Bde::DBIEnv env = languageEnvironment();
    QCOMPARE(Bde::DbiInitFn(299, &env), kNotSupported);  // the engine refuses versions below 300
    QCOMPARE(Bde::initializationCount(), std::uint16_t{0});
    QVERIFY(Bde::engineHandle() == nullptr);
    QVERIFY(!engineLoaded());
  }

  void initialiseOnceThenMultipleInit() {
    win::SetErrorMode(win::SEM_FAILCRITICALERRORS | win::SEM_NOGPFAULTERRORBOX);
    Bde::DBIEnv env = languageEnvironment();
    QCOMPARE(Bde::DbiInitFn(400, &env), DBIResult{0});
    QCOMPARE(win::GetErrorMode(), win::SEM_FAILCRITICALERRORS | win::SEM_NOGPFAULTERRORBOX);
    QCOMPARE(Bde::initializationCount(), std::uint16_t{1});
    QVERIFY(Bde::engineHandle() != nullptr);
    QVERIFY(Bde::engineHandle() == win::GetModuleHandleA("KBE3235.DLL"));

    QCOMPARE(Bde::DbiInitFn(400, &env), kMultipleInit);
    QCOMPARE(Bde::initializationCount(), std::uint16_t{1});

    // The loader lock is free: another thread binds and calls a function.
    std::atomic<bool> done{false};
    DBIResult result = 1;
    char copy[8] = {};
    std::thread other([&] {
      result = Bde::DbiNativeToAnsi(nullptr, copy, "abc", 0, nullptr);
      done = true;
    });
    if (!waitFor(done)) {
      other.detach();
      QFAIL("the loader lock is still held");
    }
    other.join();
    QCOMPARE(result, DBIResult{0});
    QCOMPARE(QByteArray(copy), QByteArray("abc"));
  }

  // A function binds on its first call, its arguments and its result (also a
  // non-zero one) pass through unchanged, and later calls go straight to it.
  void lazyBinding() {
    QVERIFY(!Bde::isBound(298));
    char message[128] = {};
    QCOMPARE(Bde::DbiGetErrorString(kNotImplemented, message), kNotSupported);  // the engine's fixed answer
    QCOMPARE(QByteArray(message), QByteArray("KBE Error: function not implemented"));
    QVERIFY(Bde::isBound(298));
    QCOMPARE(Bde::DbiGetErrorString(kMultipleInit, message), kNotSupported);
    QCOMPARE(QByteArray(message), QByteArray("KBE Error: multiple KBE initialization"));

    kbe::hDBISes first = nullptr, second = nullptr;
    QCOMPARE(Bde::DbiGetCurrSession(&first), DBIResult{0});
    QVERIFY(first != nullptr && Bde::isBound(72));
    QCOMPARE(Bde::DbiGetCurrSession(&second), DBIResult{0});
    QVERIFY(second == first);
    QVERIFY(Bde::engineLibrary().module == Bde::engineHandle());
  }

  void unexportedOrdinal_data() {
    QTest::addColumn<int>("ordinal");
    for (const int ordinal : {32, 74, 75, 120, 222, 224, 1162, 1163, 9006, 9011})
      QTest::newRow(QByteArray::number(ordinal).constData()) << ordinal;
  }
  // Each call answers 10063 without binding, and other functions keep working.
  void unexportedOrdinal() {
    QFETCH(int, ordinal);
    const auto o = static_cast<std::uint16_t>(ordinal);
    QCOMPARE(Bde::callByOrdinal(o), kNotImplemented);
    QCOMPARE(Bde::callByOrdinal(o), kNotImplemented);
    QVERIFY(!Bde::isBound(o));
    char message[128] = {};
    QCOMPARE(Bde::DbiGetErrorString(kNotImplemented, message), kNotSupported);
    QCOMPARE(QByteArray(message), QByteArray("KBE Error: function not implemented"));
  }

  void callByOrdinalRefusesOtherEntries() {
    QCOMPARE(Bde::callByOrdinal(298), kInvalidParam);  // a function with arguments
    QCOMPARE(Bde::callByOrdinal(2), kInvalidParam);    // no entry
  }

  // Threads making the first calls of two functions at the same moment each
  // reach their own function with their own arguments.
  void concurrentFirstCalls() {
    QVERIFY(!Bde::isBound(1070) && !Bde::isBound(789));
    constexpr int kThreads = 8;
    std::latch start(kThreads);
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        start.arrive_and_wait();
        if (t % 2 == 0) {
          const std::string text = "thread " + std::to_string(t);
          char copy[16] = {};
          if (Bde::DbiAnsiToNative(nullptr, copy, text.c_str(), 0, nullptr) == 0 && text == copy) ++good;
        } else {
          void* driver = nullptr;
          if (Bde::OsLdLoadBySymbName("DBWINUS0", &driver) == 0 && driver != nullptr) ++good;
        }
      });
    }
    for (std::thread& thread : threads) thread.join();
    QCOMPARE(good.load(), kThreads);
    QVERIFY(Bde::isBound(1070) && Bde::isBound(789));
  }

  void lastExitUnloads() {
    QCOMPARE(Bde::DbiExit(), DBIResult{0});
    QCOMPARE(Bde::initializationCount(), std::uint16_t{0});
    QVERIFY(Bde::engineHandle() == nullptr);
    QVERIFY(!engineLoaded());  // the second DbiInitFn took no reference of its own
    QVERIFY(!Bde::isBound(298) && !Bde::isBound(72));
    QVERIFY(Bde::engineLibrary().module == nullptr);
    QCOMPARE(Bde::DbiExit(), kNotImplemented);
  }

  // After the unload everything binds afresh to the library loaded again.
  void initialiseAgainAfterUnload() {
    Bde::DBIEnv env = languageEnvironment();
    QCOMPARE(Bde::DbiInitFn(400, &env), DBIResult{0});
    char message[128] = {};
    QCOMPARE(Bde::DbiGetErrorString(kMultipleInit, message), kNotSupported);
    QCOMPARE(QByteArray(message), QByteArray("KBE Error: multiple KBE initialization"));
    QVERIFY(Bde::engineLibrary().module == Bde::engineHandle());
    QCOMPARE(Bde::DbiExit(), DBIResult{0});
    QVERIFY(!engineLoaded());
  }
};

int main(int argc, char** argv) {
  if (const char* scenario = std::getenv("KH_BINDING_CHILD")) return runChildScenario(scenario);
  BindingTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "binding_test.moc"
