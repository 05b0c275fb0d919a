#include "platform/profile.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <memory>
#include <optional>
#include <unordered_map>
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

// Settings files are small; anything larger is refused rather than read.
constexpr off_t kMaxProfileBytes = 16 * 1024 * 1024;

// Reads a whole file. A missing file is empty; `err` receives errno of any
// other failure: EINVAL for what is not a regular file (a device, a pipe),
// EFBIG for a file larger than the bound. `st` receives the file's status.
bool readFile(const std::string& path, std::string& out, int& err, struct stat* status = nullptr) {
  out.clear();
  err = 0;
  // Not blocking: a pipe put in the file's place must not hang the reader.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (status) *status = {};
    if (errno == ENOENT) return true;
    err = errno;
    return false;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxProfileBytes) {
    err = S_ISDIR(st.st_mode) ? EISDIR : !S_ISREG(st.st_mode) ? EINVAL : st.st_size > kMaxProfileBytes ? EFBIG : errno;
    close(fd);
    return false;
  }
  if (status) *status = st;
  out.reserve(static_cast<std::size_t>(st.st_size));
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
    if (out.size() > static_cast<std::size_t>(kMaxProfileBytes)) {
      err = EFBIG;
      close(fd);
      return false;
    }
  }
  close(fd);
  return true;
}

DWORD readError(int err) {
  switch (err) {
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EFBIG: return ERROR_FILE_TOO_LARGE;
    case EINVAL: return ERROR_BAD_FORMAT;
    default: return errorFromErrno(err);
  }
}

// A profile file read once and indexed: sections and keys are found by their
// upper-case names, so reading a file of n entries costs O(n) however many
// lookups follow. Only the first block of a section counts, and in it the
// first line of each key, as the readers always took them.
struct Profile {
  struct Section {
    std::string_view name;                                  // as first written
    std::vector<std::string_view> keys;                     // distinct, in order
    std::unordered_map<std::string, std::string_view> values;  // by upper-case key
  };
  std::string text;
  std::vector<Section> sections;
  std::unordered_map<std::string, std::size_t> sectionIndex;  // by upper-case name
  DWORD error = ERROR_SUCCESS;

  explicit Profile(std::string content) : text(std::move(content)) {
    constexpr std::size_t none = static_cast<std::size_t>(-1);
    std::size_t current = none;
    for (std::string_view line : splitLines(text)) {
      const LineInfo info = classify(line);
      if (info.kind == LineInfo::Section) {
        auto [it, fresh] = sectionIndex.emplace(ansiUpperString(info.name), sections.size());
        current = fresh ? sections.size() : none;  // a later block of a section already read is skipped
        if (fresh) sections.push_back(Section{info.name, {}, {}});
      } else if (info.kind == LineInfo::Entry && current != none) {
        Section& sec = sections[current];
        if (sec.values.emplace(ansiUpperString(info.name), info.value).second) sec.keys.push_back(info.name);
      }
    }
  }

  const Section* section(std::string_view name) const {
    auto it = sectionIndex.find(ansiUpperString(name));
    return it == sectionIndex.end() ? nullptr : &sections[it->second];
  }
  std::optional<std::string_view> value(std::string_view sectionName, std::string_view key) const {
    const Section* s = section(sectionName);
    if (!s) return std::nullopt;
    auto it = s->values.find(ansiUpperString(key));
    if (it == s->values.end()) return std::nullopt;
    return it->second;
  }
  std::vector<std::string_view> sectionNames() const {
    std::vector<std::string_view> names;
    names.reserve(sections.size());
    for (const auto& s : sections) names.push_back(s.name);
    return names;
  }
  std::vector<std::string_view> keyNames(std::string_view sectionName) const {
    const Section* s = section(sectionName);
    return s ? s->keys : std::vector<std::string_view>{};
  }
};

// The last file read, kept while it stays the same file with the same content
// stamp, so that a reader asking for one key after another does not read and
// index the file again each time.
std::shared_ptr<const Profile> loadProfile(const std::string& path) {
  static std::mutex m;
  static std::string cachedPath;
  static struct stat cachedStat {};
  static std::shared_ptr<const Profile> cached;
  struct stat st {};
  const bool present = stat(path.c_str(), &st) == 0;
  {
    std::lock_guard lock(m);
    if (cached && present && cachedPath == path && S_ISREG(st.st_mode) && st.st_dev == cachedStat.st_dev &&
        st.st_ino == cachedStat.st_ino && st.st_size == cachedStat.st_size &&
        st.st_mtim.tv_sec == cachedStat.st_mtim.tv_sec && st.st_mtim.tv_nsec == cachedStat.st_mtim.tv_nsec &&
        st.st_ctim.tv_sec == cachedStat.st_ctim.tv_sec && st.st_ctim.tv_nsec == cachedStat.st_ctim.tv_nsec)
      return cached;
  }
  std::string text;
  int err = 0;
  struct stat readStat {};
  if (!readFile(path, text, err, &readStat)) {
    auto failed = std::make_shared<Profile>(std::string());
    failed->error = readError(err);
    return failed;
  }
  auto p = std::make_shared<const Profile>(std::move(text));
  if (readStat.st_ino != 0) {
    std::lock_guard lock(m);
    cachedPath = path;
    cachedStat = readStat;
    cached = p;
  }
  return p;
}

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
  // Settings can hold user data (paths, names): readable by the owner only.
  const int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    const int err = errno;
    if (err == ENOENT || err == ENOTDIR) return ERROR_PATH_NOT_FOUND;
    return errorFromErrno(err);
  }
  bool ok = !exists || fchmod(fd, st.st_mode & 07700) == 0;
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
    const auto loaded = loadProfile(path);
    const Profile& p = *loaded;
    // A file that cannot be read (too large, not a regular file) reads as
    // empty, with the reason left for GetLastError.
    if (p.error != ERROR_SUCCESS) SetLastError(p.error);
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
    const auto loaded = loadProfile(path);
    if (loaded->error != ERROR_SUCCESS) SetLastError(loaded->error);
    const auto v = loaded->value(section, key);
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
      SetLastError(readError(err));
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
