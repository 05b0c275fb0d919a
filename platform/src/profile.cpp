#include "platform/profile.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/dirs.h"

namespace kh::win {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

// One line of a profile file, as the reader sees it.
struct LineInfo {
  enum Kind { Other, Section, Entry } kind = Other;
  std::string_view name;   // section name or key
  std::string_view value;  // entry value, quotes removed
};

LineInfo classify(std::string_view raw) {
  LineInfo info;
  const std::string_view line = trim(raw);
  if (line.empty() || line.front() == ';') return info;
  if (line.front() == '[') {
    const auto close = line.find(']');
    info.kind = LineInfo::Section;
    info.name = trim(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
    return info;
  }
  const auto eq = line.find('=');
  if (eq == std::string_view::npos) return info;
  info.name = trim(line.substr(0, eq));
  if (info.name.empty()) return info;
  info.kind = LineInfo::Entry;
  std::string_view v = trim(line.substr(eq + 1));
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    v = v.substr(1, v.size() - 2);
  info.value = v;
  return info;
}

std::vector<std::string_view> splitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const auto nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (nl == std::string_view::npos) break;
    text.remove_prefix(nl + 1);
  }
  return lines;
}

// Reads a whole file. A missing file is empty; `err` receives errno of any
// other failure.
bool readFile(const std::string& path, std::string& out, int& err) {
  out.clear();
  err = 0;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return true;
    err = errno;
    return false;
  }
  char buf[16384];
  for (;;) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      close(fd);
      return false;
    }
    out.append(buf, static_cast<std::size_t>(n));
  }
  close(fd);
  return true;
}

struct Profile {
  std::string text;
  std::vector<std::string_view> lines;

  explicit Profile(const std::string& path) {
    int err = 0;
    if (readFile(path, text, err)) lines = splitLines(text);
  }

  // Index of the first header of `section`, or npos.
  std::size_t findSection(std::string_view section) const {
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const LineInfo info = classify(lines[i]);
      if (info.kind == LineInfo::Section && ansiEqualNoCase(info.name, section)) return i;
    }
    return std::string_view::npos;
  }
  // One past the last line of the section whose header is at `header`.
  std::size_t sectionEnd(std::size_t header) const {
    for (std::size_t i = header + 1; i < lines.size(); ++i)
      if (classify(lines[i]).kind == LineInfo::Section) return i;
    return lines.size();
  }
  std::optional<std::string_view> value(std::string_view section, std::string_view key) const {
    const std::size_t s = findSection(section);
    if (s == std::string_view::npos) return std::nullopt;
    const std::size_t end = sectionEnd(s);
    for (std::size_t i = s + 1; i < end; ++i) {
      const LineInfo info = classify(lines[i]);
      if (info.kind == LineInfo::Entry && ansiEqualNoCase(info.name, key)) return info.value;
    }
    return std::nullopt;
  }
  std::vector<std::string_view> sectionNames() const {
    std::vector<std::string_view> names;
    for (const auto& line : lines) {
      const LineInfo info = classify(line);
      if (info.kind != LineInfo::Section) continue;
      bool seen = false;
      for (const auto& n : names) seen = seen || ansiEqualNoCase(n, info.name);
      if (!seen) names.push_back(info.name);
    }
    return names;
  }
  std::vector<std::string_view> keyNames(std::string_view section) const {
    std::vector<std::string_view> names;
    const std::size_t s = findSection(section);
    if (s == std::string_view::npos) return names;
    const std::size_t end = sectionEnd(s);
    for (std::size_t i = s + 1; i < end; ++i) {
      const LineInfo info = classify(lines[i]);
      if (info.kind != LineInfo::Entry) continue;
      bool seen = false;
      for (const auto& n : names) seen = seen || ansiEqualNoCase(n, info.name);
      if (!seen) names.push_back(info.name);
    }
    return names;
  }
};

DWORD copyText(std::string_view s, LPSTR buffer, DWORD size) {
  const std::size_t n = s.size() < size ? s.size() : size - 1;
  if (n) std::memcpy(buffer, s.data(), n);
  buffer[n] = '\0';
  return static_cast<DWORD>(n);
}

DWORD copyList(const std::vector<std::string_view>& items, LPSTR buffer, DWORD size) {
  std::string all;
  for (const auto& item : items) {
    all += item;
    all += '\0';
  }
  if (size < 2) {
    buffer[0] = '\0';
    return 0;
  }
  if (all.size() + 1 <= size) {
    std::memcpy(buffer, all.data(), all.size());
    buffer[all.size()] = '\0';
    if (all.empty()) buffer[1] = '\0';
    return static_cast<DWORD>(all.size());
  }
  std::memcpy(buffer, all.data(), size - 2);
  buffer[size - 2] = '\0';
  buffer[size - 1] = '\0';
  return size - 2;
}

std::mutex& writeMutex() {
  static std::mutex m;
  return m;
}

bool hasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

// Writes `text` to `path` through a sibling file and a rename. Returns
// ERROR_SUCCESS or a Windows error number.
DWORD replaceFile(const std::string& target, std::string_view text) {
  std::string path = target;
  struct stat st {};
  bool exists = false;
  if (lstat(path.c_str(), &st) == 0) {
    if (S_ISLNK(st.st_mode)) {
      // Write through the link to the file it names, leaving the link in place.
      if (char* real = realpath(path.c_str(), nullptr)) {
        path = real;
        std::free(real);
      }
    }
    exists = stat(path.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) return ERROR_ACCESS_DENIED;
    if (exists && access(path.c_str(), W_OK) != 0) return ERROR_ACCESS_DENIED;
  }
  const auto slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  static std::atomic<unsigned> counter{0};
  const std::string tmp = path + ".tmp" + std::to_string(getpid()) + "." + std::to_string(counter++);
  const int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    const int err = errno;
    if (err == ENOENT || err == ENOTDIR) return ERROR_PATH_NOT_FOUND;
    return errorFromErrno(err);
  }
  bool ok = !exists || fchmod(fd, st.st_mode & 07777) == 0;
  std::string_view rest = text;
  while (ok && !rest.empty()) {
    const ssize_t n = write(fd, rest.data(), rest.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    rest.remove_prefix(static_cast<std::size_t>(n));
  }
  ok = ok && fsync(fd) == 0;
  int err = ok ? 0 : errno;
  if (close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && rename(tmp.c_str(), path.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    unlink(tmp.c_str());
    return errorFromErrno(err);
  }
  if (const int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dfd >= 0) {
    fsync(dfd);
    close(dfd);
  }
  return ERROR_SUCCESS;
}

std::string winIni() { return windowsDirectory() + "/win.ini"; }

DWORD getString(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer, DWORD size,
                const std::string& path) noexcept {
  try {
    if (!buffer || size == 0) return 0;
    const Profile p(path);
    if (!section) return copyList(p.sectionNames(), buffer, size);
    if (!key) return copyList(p.keyNames(section), buffer, size);
    if (const auto v = p.value(section, key)) return copyText(*v, buffer, size);
    std::string_view def = defaultValue ? defaultValue : "";
    while (!def.empty() && isBlank(def.back())) def.remove_suffix(1);
    return copyText(def, buffer, size);
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_OUTOFMEMORY);
    buffer[0] = '\0';
    return 0;
  }
}

UINT getInt(LPCSTR section, LPCSTR key, INT defaultValue, const std::string& path) noexcept {
  try {
    if (!section || !key) return static_cast<UINT>(defaultValue);
    const Profile p(path);
    const auto v = p.value(section, key);
    if (!v) return static_cast<UINT>(defaultValue);
    std::string_view s = *v;
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
      negative = s.front() == '-';
      s.remove_prefix(1);
    }
    if (s.empty() || s.front() < '0' || s.front() > '9') return static_cast<UINT>(defaultValue);
    UINT n = 0;
    while (!s.empty() && s.front() >= '0' && s.front() <= '9') {
      n = n * 10u + static_cast<UINT>(s.front() - '0');
      s.remove_prefix(1);
    }
    return negative ? 0u - n : n;
  } catch (const std::bad_alloc&) {
    return static_cast<UINT>(defaultValue);
  }
}

BOOL writeString(LPCSTR section, LPCSTR key, LPCSTR value, const std::string& path, bool inWindowsDirectory) noexcept {
  try {
    if (!section) {
      if (!key && !value) return TRUE;  // flush: every write is already on disk
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    const std::string_view sec(section);
    if (hasLineBreak(sec) || sec.find(']') != std::string_view::npos ||
        (key && (hasLineBreak(key) || std::strchr(key, '=') || trim(key).empty() || trim(key).front() == '[' ||
                 trim(key).front() == ';')) ||
        (value && hasLineBreak(value))) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }

    std::lock_guard lock(writeMutex());
    std::string text;
    int err = 0;
    if (!readFile(path, text, err)) {
      // An existing file that cannot be read must not be replaced by one
      // holding only the new line.
      SetLastError(err == EISDIR ? ERROR_ACCESS_DENIED : errorFromErrno(err));
      return FALSE;
    }
    std::vector<std::string> lines;
    for (const auto& l : splitLines(text)) lines.emplace_back(l);

    auto sectionOf = [&](std::size_t i) { return classify(lines[i]); };
    std::size_t header = std::string::npos;
    for (std::size_t i = 0; i < lines.size() && header == std::string::npos; ++i) {
      const LineInfo info = sectionOf(i);
      if (info.kind == LineInfo::Section && ansiEqualNoCase(info.name, sec)) header = i;
    }
    std::size_t end = lines.size();
    if (header != std::string::npos) {
      for (std::size_t i = header + 1; i < lines.size(); ++i)
        if (sectionOf(i).kind == LineInfo::Section) {
          end = i;
          break;
        }
    }

    if (!key) {
      if (header == std::string::npos) return TRUE;
      lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(header), lines.begin() + static_cast<std::ptrdiff_t>(end));
    } else {
      const std::string_view k = trim(key);
      std::size_t found = std::string::npos;
      std::string spelling;
      if (header != std::string::npos) {
        for (std::size_t i = header + 1; i < end && found == std::string::npos; ++i) {
          const LineInfo info = sectionOf(i);
          if (info.kind == LineInfo::Entry && ansiEqualNoCase(info.name, k)) {
            found = i;
            spelling = info.name;
          }
        }
      }
      if (!value) {
        if (found == std::string::npos) return TRUE;
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(found));
      } else if (found != std::string::npos) {
        std::string line = spelling + "=" + value;
        if (line == lines[found]) return TRUE;
        lines[found] = std::move(line);
      } else if (header != std::string::npos) {
        std::size_t at = header + 1;
        for (std::size_t i = header + 1; i < end; ++i)
          if (!trim(lines[i]).empty()) at = i + 1;
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), std::string(k) + "=" + value);
      } else {
        if (!lines.empty() && !trim(lines.back()).empty()) lines.emplace_back();
        lines.push_back("[" + std::string(sec) + "]");
        lines.push_back(std::string(k) + "=" + value);
      }
    }

    std::string out;
    for (const auto& l : lines) {
      out += l;
      out += "\r\n";
    }
    if (inWindowsDirectory) {
      if (const DWORD rc = createWindowsDirectory(); rc != ERROR_SUCCESS) {
        SetLastError(rc);
        return FALSE;
      }
    }
    if (const DWORD rc = replaceFile(path, out); rc != ERROR_SUCCESS) {
      SetLastError(rc);
      return FALSE;
    }
    return TRUE;
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_OUTOFMEMORY);
    return FALSE;
  }
}

bool isBareName(LPCSTR fileName) { return fileName && !std::strchr(fileName, '/'); }

}  // namespace

std::string profilePath(const char* fileName) {
  if (!fileName) return winIni();
  if (isBareName(fileName)) return windowsDirectory() + "/" + fileName;
  return fileName;
}

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer, DWORD size,
                               LPCSTR fileName) noexcept {
  try {
    return getString(section, key, defaultValue, buffer, size, profilePath(fileName));
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_OUTOFMEMORY);
    if (buffer && size) buffer[0] = '\0';
    return 0;
  }
}

UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT defaultValue, LPCSTR fileName) noexcept {
  try {
    return getInt(section, key, defaultValue, profilePath(fileName));
  } catch (const std::bad_alloc&) {
    return static_cast<UINT>(defaultValue);
  }
}

DWORD GetPrivateProfileSectionNamesA(LPSTR buffer, DWORD size, LPCSTR fileName) noexcept {
  return GetPrivateProfileStringA(nullptr, nullptr, nullptr, buffer, size, fileName);
}

BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR fileName) noexcept {
  try {
    if (!fileName || !*fileName) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    return writeString(section, key, value, profilePath(fileName), isBareName(fileName));
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_OUTOFMEMORY);
    return FALSE;
  }
}

DWORD GetProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer, DWORD size) noexcept {
  return GetPrivateProfileStringA(section, key, defaultValue, buffer, size, "win.ini");
}

UINT GetProfileIntA(LPCSTR section, LPCSTR key, INT defaultValue) noexcept {
  return GetPrivateProfileIntA(section, key, defaultValue, "win.ini");
}

BOOL WriteProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value) noexcept {
  return WritePrivateProfileStringA(section, key, value, "win.ini");
}

}  // namespace kh::win
