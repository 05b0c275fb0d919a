#include "platform/registry.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/dirs.h"

namespace kh::win {

namespace {

// ---------------------------------------------------------------------------
// In-memory hive

struct Value {
  std::string name;
  DWORD type = REG_NONE;
  std::string data;  // raw bytes
};

struct Key {
  std::string name;
  std::vector<Value> values;
  std::vector<std::unique_ptr<Key>> subkeys;
  // The subkeys by upper-case name: a key with many subkeys (an alias per
  // database) is searched in constant time, and a hive reads in linear time.
  std::unordered_map<std::string, Key*> subkeyIndex;

  Key* findSubkey(std::string_view n) const {
    auto it = subkeyIndex.find(ansiUpperString(n));
    return it == subkeyIndex.end() ? nullptr : it->second;
  }
  void removeSubkey(std::vector<std::unique_ptr<Key>>::iterator it) {
    subkeyIndex.erase(ansiUpperString((*it)->name));
    subkeys.erase(it);
  }
  Value* findValue(std::string_view n) {
    for (auto& v : values)
      if (ansiEqualNoCase(v.name, n)) return &v;
    return nullptr;
  }
  Key& subkey(std::string_view n) {
    if (Key* k = findSubkey(n)) return *k;
    subkeys.push_back(std::make_unique<Key>());
    subkeys.back()->name = std::string(n);
    subkeyIndex.emplace(ansiUpperString(n), subkeys.back().get());
    return *subkeys.back();
  }
};

using KeyPath = std::vector<std::string>;

Key* findKey(Key& root, const KeyPath& path, std::size_t count) {
  Key* k = &root;
  for (std::size_t i = 0; i < count && k; ++i) k = k->findSubkey(path[i]);
  return k;
}
Key* findKey(Key& root, const KeyPath& path) { return findKey(root, path, path.size()); }

// ---------------------------------------------------------------------------
// Text form

constexpr char kHex[] = "0123456789abcdef";

void appendHexByte(std::string& out, unsigned char b) {
  out += kHex[b >> 4];
  out += kHex[b & 15];
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void appendQuoted(std::string& out, std::string_view s) {
  out += '"';
  for (char ch : s) {
    const auto b = static_cast<unsigned char>(ch);
    switch (ch) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (b < 0x20 || b > 0x7E) {
          out += "\\x";
          appendHexByte(out, b);
        } else {
          out += ch;
        }
    }
  }
  out += '"';
}

void appendHeaderName(std::string& out, std::string_view s) {
  for (char ch : s) {
    const auto b = static_cast<unsigned char>(ch);
    if (b < 0x20 || b > 0x7E || ch == '%' || ch == '[' || ch == ']') {
      out += '%';
      appendHexByte(out, b);
    } else {
      out += ch;
    }
  }
}

bool isCanonicalString(const std::string& d) {
  return !d.empty() && d.back() == '\0' && d.find('\0') == d.size() - 1;
}

// Items of well-formed REG_MULTI_SZ data: non-empty strings, each ended by a
// zero, then one more zero ("\0\0" alone is the empty list).
bool multiStringItems(const std::string& d, std::vector<std::string_view>& items) {
  items.clear();
  if (d == std::string("\0\0", 2)) return true;
  if (d.size() < 3 || d[d.size() - 1] != '\0' || d[d.size() - 2] != '\0') return false;
  std::string_view body(d.data(), d.size() - 1);
  while (!body.empty()) {
    const auto z = body.find('\0');
    if (z == 0) return false;
    items.push_back(body.substr(0, z));
    body.remove_prefix(z + 1);
  }
  return true;
}

void appendHexData(std::string& out, const std::string& d) {
  for (std::size_t i = 0; i < d.size(); ++i) {
    if (i) out += ',';
    appendHexByte(out, static_cast<unsigned char>(d[i]));
  }
}

void appendValue(std::string& out, const Value& v) {
  if (v.name.empty())
    out += '@';
  else
    appendQuoted(out, v.name);
  out += '=';
  std::vector<std::string_view> items;
  if ((v.type == REG_SZ || v.type == REG_EXPAND_SZ) && isCanonicalString(v.data)) {
    out += v.type == REG_SZ ? "sz:" : "expand_sz:";
    appendQuoted(out, std::string_view(v.data.data(), v.data.size() - 1));
  } else if (v.type == REG_MULTI_SZ && multiStringItems(v.data, items)) {
    out += "multi_sz:";
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (i) out += ',';
      appendQuoted(out, items[i]);
    }
  } else if (v.type == REG_DWORD && v.data.size() == 4) {
    DWORD n = 0;
    for (int i = 3; i >= 0; --i) n = (n << 8) | static_cast<unsigned char>(v.data[static_cast<std::size_t>(i)]);
    char buf[16];
    std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(n));
    out += buf;
  } else if (v.type == REG_BINARY) {
    out += "hex:";
    appendHexData(out, v.data);
  } else {
    char buf[24];
    std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(v.type));
    out += buf;
    appendHexData(out, v.data);
  }
  out += '\n';
}

void appendKey(std::string& out, const Key& k, std::string& path) {
  const std::size_t mark = path.size();
  if (!path.empty()) path += '\\';
  appendHeaderName(path, k.name);
  out += '[';
  out += path;
  out += "]\n";
  for (const Value& v : k.values) appendValue(out, v);
  for (const auto& sub : k.subkeys) appendKey(out, *sub, path);
  path.resize(mark);
}

std::string serialize(const Key& root) {
  std::string out = "; Keyhaven registry hive\n";
  for (const Value& v : root.values) appendValue(out, v);
  std::string path;
  for (const auto& sub : root.subkeys) appendKey(out, *sub, path);
  return out;
}

// Parses one line's worth of text with a cursor; every reader returns false
// on malformed input and leaves a reason.
struct LineParser {
  std::string_view s;
  std::size_t pos = 0;
  const char* error = nullptr;

  bool fail(const char* why) {
    error = why;
    return false;
  }
  bool atEnd() const { return pos >= s.size(); }
  void skipBlanks() {
    while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t')) ++pos;
  }
  bool expect(char c) {
    skipBlanks();
    if (pos >= s.size() || s[pos] != c) return fail("unexpected character");
    ++pos;
    return true;
  }
  bool quoted(std::string& out) {
    skipBlanks();
    if (pos >= s.size() || s[pos] != '"') return fail("expected a quoted string");
    ++pos;
    out.clear();
    while (pos < s.size()) {
      const char c = s[pos++];
      if (c == '"') return true;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (pos >= s.size()) break;
      const char e = s[pos++];
      switch (e) {
        case '\\': out += '\\'; break;
        case '"': out += '"'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'x': {
          if (pos + 2 > s.size()) return fail("bad \\x escape");
          const int hi = hexDigit(s[pos]), lo = hexDigit(s[pos + 1]);
          if (hi < 0 || lo < 0) return fail("bad \\x escape");
          out += static_cast<char>(hi * 16 + lo);
          pos += 2;
          break;
        }
        default: return fail("unknown escape");
      }
    }
    return fail("unterminated string");
  }
  bool hexList(std::string& out) {
    out.clear();
    skipBlanks();
    if (atEnd()) return true;
    for (;;) {
      skipBlanks();
      if (pos + 2 > s.size()) return fail("bad hex byte");
      const int hi = hexDigit(s[pos]), lo = hexDigit(s[pos + 1]);
      if (hi < 0 || lo < 0) return fail("bad hex byte");
      out += static_cast<char>(hi * 16 + lo);
      pos += 2;
      skipBlanks();
      if (atEnd()) return true;
      if (s[pos] != ',') return fail("expected ','");
      ++pos;
    }
  }
};

bool parseHeader(std::string_view inner, KeyPath& path, const char*& error) {
  path.clear();
  if (inner.empty()) return true;
  std::string name;
  for (std::size_t i = 0; i <= inner.size(); ++i) {
    if (i == inner.size() || inner[i] == '\\') {
      if (name.empty()) {
        error = "empty key name";
        return false;
      }
      path.push_back(name);
      name.clear();
      continue;
    }
    if (inner[i] == '%') {
      const int hi = i + 1 < inner.size() ? hexDigit(inner[i + 1]) : -1;
      const int lo = i + 2 < inner.size() ? hexDigit(inner[i + 2]) : -1;
      if (hi < 0 || lo < 0) {
        error = "bad % escape";
        return false;
      }
      name += static_cast<char>(hi * 16 + lo);
      i += 2;
      continue;
    }
    name += inner[i];
  }
  return true;
}

bool parseValueLine(std::string_view line, Value& v, const char*& error) {
  LineParser p{line};
  v = Value{};
  if (line.front() == '@') {
    p.pos = 1;
  } else if (!p.quoted(v.name)) {
    error = p.error;
    return false;
  }
  if (!p.expect('=')) {
    error = "expected '='";
    return false;
  }
  p.skipBlanks();
  const auto colon = line.find(':', p.pos);
  if (colon == std::string_view::npos) {
    error = "expected a type";
    return false;
  }
  const std::string_view type = line.substr(p.pos, colon - p.pos);
  p.pos = colon + 1;
  bool ok = true;
  if (type == "sz" || type == "expand_sz") {
    v.type = type == "sz" ? REG_SZ : REG_EXPAND_SZ;
    ok = p.quoted(v.data);
    if (ok && v.data.find('\0') != std::string::npos) return (error = "zero byte in a string"), false;
    v.data += '\0';
  } else if (type == "multi_sz") {
    v.type = REG_MULTI_SZ;
    p.skipBlanks();
    std::string item;
    bool any = false;
    while (ok && !p.atEnd()) {
      if (any && !p.expect(',')) break;
      ok = p.quoted(item);
      if (ok && item.find('\0') != std::string::npos) return (error = "zero byte in a string"), false;
      v.data += item;
      v.data += '\0';
      any = true;
      p.skipBlanks();
    }
    if (p.error) ok = false;
    v.data += '\0';
    if (!any) v.data = std::string("\0\0", 2);
  } else if (type == "dword") {
    p.skipBlanks();
    DWORD n = 0;
    std::size_t digits = 0;
    while (!p.atEnd() && hexDigit(line[p.pos]) >= 0 && digits < 9) {
      n = (n << 4) | static_cast<DWORD>(hexDigit(line[p.pos++]));
      ++digits;
    }
    if (digits == 0 || digits > 8) return (error = "bad dword"), false;
    v.type = REG_DWORD;
    for (int i = 0; i < 4; ++i) v.data += static_cast<char>((n >> (8 * i)) & 0xFF);
  } else if (type == "hex") {
    v.type = REG_BINARY;
    ok = p.hexList(v.data);
  } else if (type.size() > 5 && type.substr(0, 4) == "hex(" && type.back() == ')') {
    DWORD n = 0;
    const std::string_view digits = type.substr(4, type.size() - 5);
    if (digits.empty() || digits.size() > 8) return (error = "bad value type"), false;
    for (char c : digits) {
      if (hexDigit(c) < 0) return (error = "bad value type"), false;
      n = (n << 4) | static_cast<DWORD>(hexDigit(c));
    }
    v.type = n;
    ok = p.hexList(v.data);
  } else {
    error = "unknown value type";
    return false;
  }
  if (!ok) {
    error = p.error ? p.error : "bad data";
    return false;
  }
  p.skipBlanks();
  if (!p.atEnd()) {
    error = "text after the value";
    return false;
  }
  return true;
}

// Parses a hive file. On failure `errorLine` and `error` say where and why.
bool parseHive(std::string_view text, Key& root, std::size_t& errorLine, std::string& error) {
  Key* current = &root;
  std::size_t lineNo = 0;
  KeyPath path;
  // Where each value already read stands, so that a later line for the same
  // name replaces it without a search through the key's values.
  std::unordered_map<const Key*, std::unordered_map<std::string, std::size_t>> valueAt;
  while (!text.empty()) {
    ++lineNo;
    auto nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
      line.remove_suffix(1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    const char* why = nullptr;
    if (line.front() == '[') {
      if (line.back() != ']') {
        why = "unterminated key header";
      } else if (parseHeader(line.substr(1, line.size() - 2), path, why)) {
        current = &root;
        for (const auto& n : path) current = &current->subkey(n);
        continue;
      }
    } else if (line.front() == '"' || line.front() == '@') {
      Value v;
      if (parseValueLine(line, v, why)) {
        auto [it, fresh] = valueAt[current].emplace(ansiUpperString(v.name), current->values.size());
        if (fresh) {
          current->values.push_back(std::move(v));
        } else {
          Value& old = current->values[it->second];
          old.type = v.type;
          old.data = std::move(v.data);
        }
        continue;
      }
    } else {
      why = "not a key header or a value";
    }
    errorLine = lineNo;
    error = why ? why : "malformed line";
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// Hive files and their cache

struct FileId {
  bool exists = false;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  long long mtimeSec = 0;
  long mtimeNsec = 0;

  bool operator==(const FileId& o) const {
    return exists == o.exists && dev == o.dev && ino == o.ino && size == o.size &&
           mtimeSec == o.mtimeSec && mtimeNsec == o.mtimeNsec;
  }
  static FileId of(const struct stat& st) {
    FileId id;
    id.exists = true;
    id.dev = st.st_dev;
    id.ino = st.st_ino;
    id.size = st.st_size;
    id.mtimeSec = st.st_mtim.tv_sec;
    id.mtimeNsec = st.st_mtim.tv_nsec;
    return id;
  }
};

struct Hive {
  bool loaded = false;
  FileId id;
  bool corrupt = false;
  Key root;
};

struct OpenKey {
  std::string hivePath;
  KeyPath path;
  REGSAM access = 0;
};

struct Registry {
  std::mutex mutex;
  std::map<std::string, Hive> hives;
  std::map<UINT_PTR, OpenKey> handles;
  UINT_PTR nextHandle = 0x1000;
};

Registry& registry() {
  static Registry* r = new Registry;  // lives to the very end of the process
  return *r;
}

const char* hiveFileName(HKEY root) {
  if (root == HKEY_LOCAL_MACHINE) return "HKLM.reg";
  if (root == HKEY_CURRENT_USER) return "HKCU.reg";
  return nullptr;
}

bool readAll(int fd, std::string& out) {
  out.clear();
  char buf[65536];
  for (;;) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    out.append(buf, static_cast<std::size_t>(n));
  }
}

bool writeAll(int fd, std::string_view s) {
  while (!s.empty()) {
    const ssize_t n = write(fd, s.data(), s.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    s.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Brings the cached hive up to date with its file. Caller holds the mutex.
// Hives hold a few keys per database; a file beyond this is no hive of ours.
constexpr off_t kMaxHiveBytes = 16 * 1024 * 1024;

LONG loadHive(const std::string& path, Hive& h) {
  // Not blocking: a pipe put in the hive's place must not hang the reader.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (errno != ENOENT) return static_cast<LONG>(errorFromErrno(errno));
    if (!h.loaded || h.id.exists) {
      h.root = Key{};
      h.corrupt = false;
      h.id = FileId{};
      h.loaded = true;
    }
    return ERROR_SUCCESS;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    const int err = errno;
    close(fd);
    return static_cast<LONG>(errorFromErrno(err));
  }
  const FileId id = FileId::of(st);
  if (h.loaded && h.id == id) {
    close(fd);
    return h.corrupt ? static_cast<LONG>(ERROR_BADDB) : static_cast<LONG>(ERROR_SUCCESS);
  }
  // A device, a pipe or an oversized file in the hive's place is refused
  // before anything of it is read, and reported once like a damaged hive.
  if (!S_ISDIR(st.st_mode) && (!S_ISREG(st.st_mode) || st.st_size > kMaxHiveBytes)) {
    close(fd);
    h.root = Key{};
    h.corrupt = true;
    h.loaded = true;
    h.id = id;
    std::fprintf(stderr,
                 "keyhaven: the registry hive %s is %s; it is left untouched and its keys are unavailable until it "
                 "is replaced\n",
                 path.c_str(), S_ISREG(st.st_mode) ? "larger than 16 MiB" : "not a regular file");
    return ERROR_BADDB;
  }
  std::string text;
  const bool ok = readAll(fd, text);
  const int err = errno;
  close(fd);
  if (!ok) {
    h.loaded = false;
    return static_cast<LONG>(err == EISDIR ? ERROR_ACCESS_DENIED : ERROR_READ_FAULT);
  }
  Key root;
  std::size_t line = 0;
  std::string why;
  h.loaded = true;
  h.id = id;
  if (!parseHive(text, root, line, why)) {
    h.root = Key{};
    h.corrupt = true;
    std::fprintf(stderr,
                 "keyhaven: the registry hive %s cannot be read (line %zu: %s); "
                 "it is left untouched and its keys are unavailable until it is repaired\n",
                 path.c_str(), line, why.c_str());
    return ERROR_BADDB;
  }
  h.root = std::move(root);
  h.corrupt = false;
  return ERROR_SUCCESS;
}

// The key an HKEY stands for, before the hive is consulted.
struct Target {
  std::string hivePath;
  KeyPath path;
  REGSAM access = 0;
  bool isRoot = false;
};

LONG resolve(Registry& r, HKEY key, Target& t) {
  if (const char* file = hiveFileName(key)) {
    t.hivePath = windowsDirectory() + "/" + file;
    t.path.clear();
    t.access = KEY_ALL_ACCESS;
    t.isRoot = true;
    return ERROR_SUCCESS;
  }
  const auto it = r.handles.find(reinterpret_cast<UINT_PTR>(key));
  if (it == r.handles.end()) return ERROR_INVALID_HANDLE;
  t.hivePath = it->second.hivePath;
  t.path = it->second.path;
  t.access = it->second.access;
  t.isRoot = false;
  return ERROR_SUCCESS;
}

// Splits a subkey path at '\'. A trailing '\' is allowed; a leading one or an
// empty name in the middle is not.
LONG splitSubKey(LPCSTR subKey, KeyPath& out) {
  out.clear();
  if (!subKey || !*subKey) return ERROR_SUCCESS;
  std::string_view s(subKey);
  if (s.front() == '\\') return ERROR_BAD_PATHNAME;
  if (s.back() == '\\') s.remove_suffix(1);
  while (!s.empty()) {
    const auto bs = s.find('\\');
    const std::string_view name = s.substr(0, bs);
    if (name.empty() || name.size() > 255) return ERROR_BAD_PATHNAME;
    out.emplace_back(name);
    if (bs == std::string_view::npos) break;
    s.remove_prefix(bs + 1);
    if (s.empty()) return ERROR_BAD_PATHNAME;
  }
  return ERROR_SUCCESS;
}

// Looks up the key of a target in its (freshly checked) hive.
LONG targetKey(Registry& r, const Target& t, Key*& key) {
  Hive& h = r.hives[t.hivePath];
  const LONG rc = loadHive(t.hivePath, h);
  if (rc != ERROR_SUCCESS) return rc;
  key = findKey(h.root, t.path);
  return key ? ERROR_SUCCESS : static_cast<LONG>(ERROR_KEY_DELETED);
}

HKEY newHandle(Registry& r, const std::string& hivePath, KeyPath path, REGSAM access) {
  UINT_PTR id = r.nextHandle;
  r.nextHandle += 4;
  r.handles.emplace(id, OpenKey{hivePath, std::move(path), access});
  return reinterpret_cast<HKEY>(id);
}

REGSAM grantedAccess(REGSAM desired) {
  constexpr REGSAM kMaximumAllowed = 0x02000000;
  if (desired & kMaximumAllowed) return KEY_ALL_ACCESS;
  return desired & KEY_ALL_ACCESS;
}

std::string directoryOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// Applies a change to a hive file under its lock: re-read, change, write a
// sibling, sync, rename. `apply(root, changed)` returns an error number and
// sets `changed` when there is something to write. Caller holds the mutex.
template <class Apply>
LONG mutateHive(Registry& r, const std::string& hivePath, Apply&& apply) {
  const std::string dir = directoryOf(hivePath);
  if (const DWORD rc = createDirectories(dir, 0700); rc != ERROR_SUCCESS) return static_cast<LONG>(rc);
  const std::string lockPath = hivePath + ".lock";
  const int lockFd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (lockFd < 0) return static_cast<LONG>(errorFromErrno(errno));
  while (flock(lockFd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      const int err = errno;
      close(lockFd);
      return static_cast<LONG>(errorFromErrno(err));
    }
  }
  // Closing the descriptor releases the lock.
  struct LockGuard {
    int fd;
    ~LockGuard() { close(fd); }
  } guard{lockFd};

  Hive& h = r.hives[hivePath];
  LONG rc = loadHive(hivePath, h);
  if (rc != ERROR_SUCCESS) return rc;
  bool changed = false;
  rc = apply(h.root, changed);
  if (rc != ERROR_SUCCESS || !changed) return rc;

  // From here on the cached tree holds the change; any failure drops the
  // cache so that the next access reads the file as it really is.
  h.loaded = false;
  const std::string text = serialize(h.root);
  const std::string tmpPath = hivePath + ".tmp";
  const int fd = open(tmpPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return static_cast<LONG>(errorFromErrno(errno));
  struct stat st {};
  if (!writeAll(fd, text) || fsync(fd) != 0 || fstat(fd, &st) != 0) {
    const int err = errno;
    close(fd);
    unlink(tmpPath.c_str());
    return static_cast<LONG>(errorFromErrno(err));
  }
  if (close(fd) != 0 || rename(tmpPath.c_str(), hivePath.c_str()) != 0) {
    const int err = errno;
    unlink(tmpPath.c_str());
    return static_cast<LONG>(errorFromErrno(err));
  }
  if (const int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dfd >= 0) {
    fsync(dfd);
    close(dfd);
  }
  h.id = FileId::of(st);
  h.corrupt = false;
  h.loaded = true;
  return ERROR_SUCCESS;
}

FILETIME fileTimeOf(const Hive& h) {
  FILETIME ft{0, 0};
  if (!h.id.exists) return ft;
  const unsigned long long t = (static_cast<unsigned long long>(h.id.mtimeSec) + 11644473600ull) * 10000000ull +
                               static_cast<unsigned long long>(h.id.mtimeNsec) / 100;
  ft.dwLowDateTime = static_cast<DWORD>(t & 0xFFFFFFFFu);
  ft.dwHighDateTime = static_cast<DWORD>(t >> 32);
  return ft;
}

// Copies `data` to a caller's buffer following the RegQueryValueEx rules.
LONG copyData(const Value& v, DWORD* type, BYTE* data, DWORD* dataSize) {
  if (type) *type = v.type;
  const auto size = static_cast<DWORD>(v.data.size());
  if (!data) {
    if (dataSize) *dataSize = size;
    return ERROR_SUCCESS;
  }
  if (!dataSize) return ERROR_INVALID_PARAMETER;
  if (*dataSize < size) {
    *dataSize = size;
    return ERROR_MORE_DATA;
  }
  if (size) std::memcpy(data, v.data.data(), size);
  *dataSize = size;
  return ERROR_SUCCESS;
}

// Copies a name into a buffer of *size characters (with the zero).
LONG copyName(const std::string& name, LPSTR buf, DWORD* size) {
  if (!buf || !size) return ERROR_INVALID_PARAMETER;
  if (name.size() + 1 > *size) return ERROR_MORE_DATA;
  std::memcpy(buf, name.c_str(), name.size() + 1);
  *size = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

std::string normalizedData(DWORD type, const BYTE* data, DWORD size) {
  std::string d(reinterpret_cast<const char*>(data), size);
  if (type == REG_SZ || type == REG_EXPAND_SZ) {
    const auto z = d.find('\0');
    if (z != std::string::npos) d.resize(z);
    d += '\0';
  } else if (type == REG_MULTI_SZ && !d.empty()) {
    if (d.back() != '\0') d += '\0';
    if (d.size() < 2 || d[d.size() - 2] != '\0') d += '\0';
  }
  return d;
}

template <class F>
LONG guarded(F&& f) noexcept {
  try {
    return f();
  } catch (const std::bad_alloc&) {
    return ERROR_OUTOFMEMORY;
  } catch (...) {
    return ERROR_INVALID_PARAMETER;
  }
}

}  // namespace

std::string registryHivePath(HKEY root) {
  const char* file = hiveFileName(root);
  return file ? windowsDirectory() + "/" + file : std::string();
}

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM samDesired, HKEY* result) noexcept {
  return guarded([&]() -> LONG {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    Target t;
    KeyPath sub;
    if (LONG rc = resolve(r, key, t); rc != ERROR_SUCCESS) return rc;
    if (LONG rc = splitSubKey(subKey, sub); rc != ERROR_SUCCESS) return rc;
    Key* base = nullptr;
    if (LONG rc = targetKey(r, t, base); rc != ERROR_SUCCESS) return rc;
    Key* k = findKey(*base, sub);
    if (!k) return ERROR_FILE_NOT_FOUND;
    KeyPath full = t.path;
    full.insert(full.end(), sub.begin(), sub.end());
    *result = newHandle(r, t.hivePath, std::move(full), grantedAccess(samDesired));
    return ERROR_SUCCESS;
  });
}

LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM samDesired, const void*,
                     HKEY* result, DWORD* disposition) noexcept {
  return guarded([&]() -> LONG {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    Target t;
    KeyPath sub;
    if (LONG rc = resolve(r, key, t); rc != ERROR_SUCCESS) return rc;
    if (LONG rc = splitSubKey(subKey, sub); rc != ERROR_SUCCESS) return rc;
    Key* base = nullptr;
    if (LONG rc = targetKey(r, t, base); rc != ERROR_SUCCESS) return rc;
    bool created = false;
    if (!findKey(*base, sub)) {
      if (!(t.access & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
      const LONG rc = mutateHive(r, t.hivePath, [&](Key& root, bool& changed) -> LONG {
        Key* k = findKey(root, t.path);
        if (!k) return ERROR_KEY_DELETED;
        for (const auto& n : sub) {
          Key* next = k->findSubkey(n);
          if (!next) {
            next = &k->subkey(n);
            changed = true;
          }
          k = next;
        }
        created = changed;
        return ERROR_SUCCESS;
      });
      if (rc != ERROR_SUCCESS) return rc;
    }
    KeyPath full = t.path;
    full.insert(full.end(), sub.begin(), sub.end());
    *result = newHandle(r, t.hivePath, std::move(full), grantedAccess(samDesired));
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
  });
}

LONG RegCloseKey(HKEY key) noexcept {
  return guarded([&]() -> LONG {
    if (hiveFileName(key)) return ERROR_SUCCESS;
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return r.handles.erase(reinterpret_cast<UINT_PTR>(key)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
  });
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* dataSize) noexcept {
  return guarded([&]() -> LONG {
    if (reserved) return ERROR_INVALID_PARAMETER;
    if (data && !dataSize) return ERROR_INVALID_PARAMETER;
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    Target t;
    if (LONG rc = resolve(r, key, t); rc != ERROR_SUCCESS) return rc;
    if (!(t.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    Key* k = nullptr;
    if (LONG rc = targetKey(r, t, k); rc != ERROR_SUCCESS) return rc;
    const Value* v = k->findValue(valueName ? valueName : "");
    if (!v) return ERROR_FILE_NOT_FOUND;
    return copyData(*v, type, data, dataSize);
  });
}

LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data,
                    DWORD dataSize) noexcept {
  return guarded([&]() -> LONG {
    if (!data && dataSize) return ERROR_INVALID_PARAMETER;
    const std::string name = valueName ? valueName : "";
    const std::string bytes = normalizedData(type, data, data ? dataSize : 0);
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    Target t;
    if (LONG rc = resolve(r, key, t); rc != ERROR_SUCCESS) return rc;
    if (!(t.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    return mutateHive(r, t.hivePath, [&](Key& root, bool& changed) -> LONG {
      Key* k = findKey(root, t.path);
      if (!k) return ERROR_KEY_DELETED;
      if (Value* v = k->findValue(name)) {
        if (v->type == type && v->data == bytes) return ERROR_SUCCESS;
        v->type = type;
        v->data = bytes;
      } else {
        k->values.push_back(Value{name, type, bytes});
      }
      changed = true;
      return ERROR_SUCCESS;
    });
  });
}

LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, DWORD* nameSize, DWORD* reserved, LPSTR keyClass,
                   DWORD* classSize, FILETIME* lastWriteTime) noexcept {
  return guarded([&]() -> LONG {
    if (reserved || !name || !nameSize) return ERROR_INVALID_PARAMETER;
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    Target t;
    if (LONG rc = resolve(r, key, t); rc != ERROR_SUCCESS) return rc;
    if (!(t.access & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
    Key* k = nullptr;
    if (LONG rc = targetKey(r, t, k); rc != ERROR_SUCCESS) return rc;
    if (index >= k->subkeys.size()) return ERROR_NO_MORE_ITEMS;
    if (LONG rc = copyName(k->subkeys[index]->name, name, nameSize); rc != ERROR_SUCCESS) return rc;
    if (keyClass && classSize && *classSize > 0) keyClass[0] = '\0';
    if (classSize) *classSize = 0;
    if (lastWriteTime) *lastWriteTime = fileTimeOf(r.hives[t.hivePath]);
    return ERROR_SUCCESS;
  });
}

LONG RegEnumValueA(HKEY key, DWORD index, LPSTR valueName, DWORD* valueNameSize, DWORD* reserved,
                   DWORD* type, BYTE* data, DWORD* dataSize) noexcept {
  return guarded([&]() -> LONG {
    if (reserved || !valueName || !valueNameSize) return ERROR_INVALID_PARAMETER;
    if (data && !dataSize) return ERROR_INVALID_PARAMETER;
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    Target t;
    if (LONG rc = resolve(r, key, t); rc != ERROR_SUCCESS) return rc;
    if (!(t.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    Key* k = nullptr;
    if (LONG rc = targetKey(r, t, k); rc != ERROR_SUCCESS) return rc;
    if (index >= k->values.size()) return ERROR_NO_MORE_ITEMS;
    const Value& v = k->values[index];
    if (LONG rc = copyName(v.name, valueName, valueNameSize); rc != ERROR_SUCCESS) {
      if (dataSize) *dataSize = static_cast<DWORD>(v.data.size());
      return rc;
    }
    return copyData(v, type, data, dataSize);
  });
}

LONG RegDeleteValueA(HKEY key, LPCSTR valueName) noexcept {
  return guarded([&]() -> LONG {
    const std::string name = valueName ? valueName : "";
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    Target t;
    if (LONG rc = resolve(r, key, t); rc != ERROR_SUCCESS) return rc;
    if (!(t.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    return mutateHive(r, t.hivePath, [&](Key& root, bool& changed) -> LONG {
      Key* k = findKey(root, t.path);
      if (!k) return ERROR_KEY_DELETED;
      for (auto it = k->values.begin(); it != k->values.end(); ++it) {
        if (ansiEqualNoCase(it->name, name)) {
          k->values.erase(it);
          changed = true;
          return ERROR_SUCCESS;
        }
      }
      return ERROR_FILE_NOT_FOUND;
    });
  });
}

LONG RegDeleteKeyA(HKEY key, LPCSTR subKey) noexcept {
  return guarded([&]() -> LONG {
    if (!subKey) return ERROR_INVALID_PARAMETER;
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    Target t;
    KeyPath sub;
    if (LONG rc = resolve(r, key, t); rc != ERROR_SUCCESS) return rc;
    if (LONG rc = splitSubKey(subKey, sub); rc != ERROR_SUCCESS) return rc;
    KeyPath full = t.path;
    full.insert(full.end(), sub.begin(), sub.end());
    if (full.empty()) return ERROR_ACCESS_DENIED;  // a predefined root stays
    return mutateHive(r, t.hivePath, [&](Key& root, bool& changed) -> LONG {
      if (!findKey(root, t.path)) return ERROR_KEY_DELETED;
      Key* parent = findKey(root, full, full.size() - 1);
      if (!parent) return ERROR_FILE_NOT_FOUND;
      for (auto it = parent->subkeys.begin(); it != parent->subkeys.end(); ++it) {
        if (!ansiEqualNoCase((*it)->name, full.back())) continue;
        if (!(*it)->subkeys.empty()) return ERROR_ACCESS_DENIED;
        parent->removeSubkey(it);
        changed = true;
        return ERROR_SUCCESS;
      }
      return ERROR_FILE_NOT_FOUND;
    });
  });
}

LONG RegQueryInfoKeyA(HKEY key, LPSTR keyClass, DWORD* classSize, DWORD* reserved, DWORD* subKeys,
                      DWORD* maxSubKeyLen, DWORD* maxClassLen, DWORD* values, DWORD* maxValueNameLen,
                      DWORD* maxValueLen, DWORD* securityDescriptor, FILETIME* lastWriteTime) noexcept {
  return guarded([&]() -> LONG {
    if (reserved) return ERROR_INVALID_PARAMETER;
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    Target t;
    if (LONG rc = resolve(r, key, t); rc != ERROR_SUCCESS) return rc;
    if (!(t.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    Key* k = nullptr;
    if (LONG rc = targetKey(r, t, k); rc != ERROR_SUCCESS) return rc;
    DWORD maxSub = 0, maxName = 0, maxData = 0;
    for (const auto& s : k->subkeys) maxSub = std::max(maxSub, static_cast<DWORD>(s->name.size()));
    for (const auto& v : k->values) {
      maxName = std::max(maxName, static_cast<DWORD>(v.name.size()));
      maxData = std::max(maxData, static_cast<DWORD>(v.data.size()));
    }
    if (keyClass && classSize && *classSize > 0) keyClass[0] = '\0';
    if (classSize) *classSize = 0;
    if (subKeys) *subKeys = static_cast<DWORD>(k->subkeys.size());
    if (maxSubKeyLen) *maxSubKeyLen = maxSub;
    if (maxClassLen) *maxClassLen = 0;
    if (values) *values = static_cast<DWORD>(k->values.size());
    if (maxValueNameLen) *maxValueNameLen = maxName;
    if (maxValueLen) *maxValueLen = maxData;
    if (securityDescriptor) *securityDescriptor = 0;
    if (lastWriteTime) *lastWriteTime = fileTimeOf(r.hives[t.hivePath]);
    return ERROR_SUCCESS;
  });
}

}  // namespace kh::win
