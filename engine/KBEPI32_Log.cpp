// The diagnostic log: a text file with CR LF line ends. DbiDebugLayerOptions
// opens and closes it; without a name it is "KBE.Txt" in the Windows
// directory. Lines are written only while logging is active (debug bit on
// and the file open).
#include "KBEPI32_Log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <string>

#include "KBEPI32_Conversions.h"
#include "kbe/kbe.h"
#include "platform/dirs.h"

namespace kbe {

namespace {

// ---- log state ------------------------------------------------------------------

// Plain data only: the state must stay usable until the very end of unload.
struct LogState {
  std::FILE* file = nullptr;
  bool active = false;  // debug bit set and the file open
  bool flush = false;   // flush after every line
};
LogState g_log;

void closeFile() noexcept {
  if (g_log.file) std::fclose(g_log.file);
  g_log.file = nullptr;
}

}  // namespace

// ---- log ----------------------------------------------------------------------------

bool loggingActive() noexcept { return g_log.active && g_log.file; }

void logLine(const std::string& text) noexcept {
  if (!loggingActive()) return;
  std::fwrite(text.data(), 1, text.size(), g_log.file);
  std::fwrite("\r\n", 1, 2, g_log.file);
  if (g_log.flush) std::fflush(g_log.file);
}

std::string logDateTime() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  // The engine's fixed settings: short date "MM/DD/YYYY" with '/', and the
  // long time format pinned to hours, minutes and seconds with ':' (24-hour),
  // as in every date text the engine writes.
  char text[64];
  std::snprintf(text, sizeof text, "%02d/%02d/%04d %02d:%02d:%02d", tm.tm_mon + 1, tm.tm_mday, tm.tm_year + 1900,
                tm.tm_hour, tm.tm_min, tm.tm_sec);
  return text;
}

void finishLog() noexcept {
  if (loggingActive()) logLine("logging terminated");
  g_log.active = false;
  closeFile();
}
}  // namespace kbe

using namespace kbe;

namespace {

// The log can carry the texts of failed statements, literals included: it is
// created readable by its owner only, and an existing log is made so.
std::FILE* openLogFile(const std::string& path, bool append) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC), 0600);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (fstat(fd, &st) != 0 || (S_ISREG(st.st_mode) && (st.st_mode & 077) && fchmod(fd, 0600) != 0)) {
    ::close(fd);
    return nullptr;
  }
  std::FILE* f = ::fdopen(fd, append ? "ab" : "wb");
  if (!f) ::close(fd);
  return f;
}

}  // namespace

KBE_API DBIResult DbiDebugLayerOptions(std::uint16_t options, const char* logFile) {
  constexpr std::uint16_t kDebug = 0x01, kToFile = 0x02, kFlush = 0x08, kAppend = 0x10;
  try {
    if (loggingActive() && (options & (kDebug | kToFile)) != (kDebug | kToFile))
      logLine("--------- log stopped " + logDateTime());
    const bool wantFile = (options & kToFile) != 0;
    if (wantFile != (g_log.file != nullptr)) {
      if (wantFile) {
        const std::string path = logFile ? conv::utf8Of(logFile) : kh::win::windowsDirectory() + "/KBE.Txt";
        g_log.file = openLogFile(path, (options & kAppend) != 0);
        g_log.flush = (options & kFlush) != 0;
      } else {
        closeFile();
      }
    }
    g_log.active = (options & kDebug) != 0 && g_log.file != nullptr;
    if (loggingActive()) logLine("--------- log activated " + logDateTime());
  } catch (...) {
    // The log is diagnostic only.
  }
  return rc::OK;
}
