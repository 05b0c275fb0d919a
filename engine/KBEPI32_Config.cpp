// The configuration tree (its exports: KBEPI32_Aliases.cpp).
//
// Sources, read in this order on every reload (a value read later replaces
// the same value read earlier):
//   1. HKEY_LOCAL_MACHINE  "Software\Corvane\Keelbase\Configuration"
//   2. "KBE.ini" in the Windows directory
//   3. HKEY_CURRENT_USER   "Software\Corvane\Keelbase\Configuration"
// Registry: "Aliases\<alias>" gives node "\DATABASES\<alias>\DB OPEN" with
// NAME = <alias> and the key's string values; every leaf key below
// "Direct Mapping" gives the node named by its chain of key names.
// INI: each key K=V of [Aliases] gives node K (when K begins with '\') or the
// alias node of K (with NAME = K), PATH = V, and every key of section [K].
// Reload never removes anything; the engine never writes to the store.
#include "KBEPI32_Config.h"

#include <array>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "KBEPI32_InfoCursor.h"
#include "KBEPI32_Log.h"
#include "KBEPI32_Session.h"
#include "kbe/kbe.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/wintypes.h"


namespace kbe {
namespace cfg {
namespace {

using namespace kh::win;

constexpr const char* kConfigurationKey = "Software\\Corvane\\Keelbase\\Configuration";
constexpr const char* kIniFile = "KBE.ini";

// Buffer sizes of the store readers (with the terminating zero).
constexpr DWORD kKeyNameChars = 128;     // alias and mapping key names: 127 characters
constexpr DWORD kValueNameChars = 256;   // value names: 255 characters
constexpr DWORD kValueDataBytes = 255;   // value data: 255 bytes
constexpr DWORD kIniListBytes = 512;     // key lists of the INI file
constexpr DWORD kIniValueChars = 129;    // INI values: 128 characters

// The driver defaults, in the order they are created and merged.
constexpr std::array<std::array<const char*, 2>, 18> kDriverDefaults = {{
    {"Name", "KBE"},
    {"Path", ""},
    {"User Name", "Admin"},
    {"Password", ""},
    {"SystemDb", ""},
    {"Connect", ""},
    {"Exclusive", "False"},
    {"Read Only", "False"},
    {"Lock Edits", "False"},
    {"Separate Workspace", "False"},
    {"Prefetch Threshold", "20"},
    {"Prefetch Threshold Scale", "100"},
    {"Prefetch Reset Every", "25"},
    {"Use Defaults", "False"},
    {"Use Constraints", "False"},
    {"Disable Refresh", "False"},
    {"Rename Primary", "False"},
    {"Show GUIDs", "False"},
}};


// The tree: one list of nodes in creation order, and the nodes by their
// upper-case path, so that reading many aliases takes linear time.
TCfgPath* g_first = nullptr;
TCfgPath* g_last = nullptr;
// Built on first use and never destroyed: the tree is used from the library's
// own start and end, outside the order of static construction.
std::unordered_map<std::string, TCfgPath*>& byPath() {
  static auto* index = new std::unordered_map<std::string, TCfgPath*>;
  return *index;
}

std::string upper(const std::string& s) { return ansiUpperString(s); }

TCfgValue* findValue(const TCfgPath* node, const std::string& upperName) {
  for (TCfgValue* v = node ? node->first : nullptr; v; v = v->next)
    if (v->name == upperName) return v;
  return nullptr;
}

void destroyValues(TCfgPath* node) noexcept {
  TCfgValue* v = node->first;
  while (v) {
    TCfgValue* next = v->next;
    delete v;
    v = next;
  }
  node->first = nullptr;
}

// An open registry key, closed when it goes out of scope.
class Key {
 public:
  Key() = default;
  ~Key() {
    if (key_) RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  bool open(HKEY parent, const char* subKey, REGSAM access) {
    return RegOpenKeyExA(parent, subKey, 0, access, &key_) == ERROR_SUCCESS;
  }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

// The names of the subkeys of `key` that fit the name buffer, in enumeration
// order; longer names are skipped.
std::vector<std::string> subkeyNames(HKEY key) {
  std::vector<std::string> names;
  char name[kKeyNameChars];
  for (DWORD index = 0;; ++index) {
    DWORD size = kKeyNameChars;
    const LONG r = RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
    if (r == ERROR_MORE_DATA) continue;
    if (r != ERROR_SUCCESS) break;
    names.emplace_back(name, size);
  }
  return names;
}

bool hasSubkeys(HKEY key) {
  char name[kKeyNameChars];
  DWORD size = kKeyNameChars;
  const LONG r = RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr);
  return r == ERROR_SUCCESS || r == ERROR_MORE_DATA;
}

// Every string value of `key` whose name and data fit the buffers becomes a
// value of `node`; values of other types are skipped.
void readStringValues(HKEY key, TCfgPath* node) {
  char name[kValueNameChars];
  BYTE data[kValueDataBytes];
  for (DWORD index = 0;; ++index) {
    DWORD nameSize = kValueNameChars;
    DWORD dataSize = kValueDataBytes;
    DWORD type = REG_NONE;
    const LONG r = RegEnumValueA(key, index, name, &nameSize, nullptr, &type, data, &dataSize);
    if (r == ERROR_MORE_DATA) continue;
    if (r != ERROR_SUCCESS) break;
    if (type != REG_SZ) continue;
    const auto* text = reinterpret_cast<const char*>(data);
    const std::size_t length = strnlen(text, dataSize);
    setValue(node, std::string(name, nameSize), std::string(text, length));
  }
}

void readAliases(HKEY configuration) {
  Key aliases;
  if (!aliases.open(configuration, "Aliases", KEY_READ)) return;
  for (const std::string& alias : subkeyNames(aliases.get())) {
    Key key;
    if (!key.open(aliases.get(), alias.c_str(), KEY_READ)) continue;
    TCfgPath* node = findOrCreateNode(aliasPath(alias), kStored);
    node->kind = kStored;
    setValue(node, "NAME", alias);
    readStringValues(key.get(), node);
  }
}

// A key with subkeys contributes only through its subkeys; a leaf key becomes
// the node named by the chain of key names below "Direct Mapping".
void readMapping(HKEY key, const std::string& path) {
  for (const std::string& name : subkeyNames(key)) {
    Key sub;
    if (!sub.open(key, name.c_str(), KEY_READ)) continue;
    const std::string subPath = path + "\\" + name;
    if (hasSubkeys(sub.get())) {
      readMapping(sub.get(), subPath);
    } else {
      TCfgPath* node = findOrCreateNode(subPath, kStored);
      node->kind = kStored;
      readStringValues(sub.get(), node);
    }
  }
}

void readRegistry(HKEY root) {
  Key configuration;
  if (!configuration.open(root, kConfigurationKey, KEY_ENUMERATE_SUB_KEYS)) return;
  readAliases(configuration.get());
  Key mapping;
  if (mapping.open(configuration.get(), "Direct Mapping", KEY_READ)) readMapping(mapping.get(), "");
}

// The zero-separated list a profile key-list read returns.
std::vector<std::string> splitList(const char* buffer, DWORD length) {
  std::vector<std::string> items;
  const char* p = buffer;
  const char* end = buffer + length;
  while (p < end && *p) {
    const std::size_t n = strnlen(p, static_cast<std::size_t>(end - p));
    items.emplace_back(p, n);
    p += n + 1;
  }
  return items;
}

std::vector<std::string> iniKeys(const char* section) {
  char buffer[kIniListBytes];
  const DWORD length = GetPrivateProfileStringA(section, nullptr, "", buffer, kIniListBytes, kIniFile);
  return splitList(buffer, length);
}

std::string iniValue(const char* section, const char* key) {
  char buffer[kIniValueChars];
  const DWORD length = GetPrivateProfileStringA(section, key, "", buffer, kIniValueChars, kIniFile);
  return std::string(buffer, strnlen(buffer, length));
}

void readIni() {
  for (const std::string& key : iniKeys("Aliases")) {
    const std::string path = key.front() == '\\' ? key : aliasPath(key);
    TCfgPath* node = findOrCreateNode(path, kStored);
    node->kind = kStored;
    if (key.front() != '\\') setValue(node, "NAME", key);
    setValue(node, "PATH", iniValue("Aliases", key.c_str()));
    for (const std::string& entry : iniKeys(key.c_str())) setValue(node, entry, iniValue(key.c_str(), entry.c_str()));
  }
}

void mergeDefaults() {
  for (const TCfgPath* n = firstMatch(kAliasPattern, kStored); n; n = nextMatch(n, kAliasPattern, kStored)) {
    auto* node = const_cast<TCfgPath*>(n);
    for (const auto& d : kDriverDefaults) {
      if (!findValue(node, upper(d[0]))) setValue(node, d[0], d[1]);
    }
  }
}

}  // namespace

std::string aliasPath(const std::string& alias) { return "\\DATABASES\\" + alias + "\\DB OPEN"; }

void reload() {
  readRegistry(HKEY_LOCAL_MACHINE);
  readIni();
  readRegistry(HKEY_CURRENT_USER);
  mergeDefaults();
}

TCfgPath* findNodeMutable(const std::string& path) {
  auto it = byPath().find(upper(path));
  return it == byPath().end() ? nullptr : it->second;
}

const TCfgPath* findNode(const std::string& path) { return findNodeMutable(path); }

TCfgPath* findOrCreateNode(const std::string& path, std::uint8_t kind) {
  if (TCfgPath* n = findNodeMutable(path)) return n;
  auto* n = new TCfgPath;
  n->path = upper(path);
  n->kind = kind;
  if (g_last) g_last->next = n;
  else g_first = n;
  g_last = n;
  byPath()[n->path] = n;
  return n;
}

bool destroyNode(const std::string& path) {
  const std::string key = upper(path);
  TCfgPath* previous = nullptr;
  for (TCfgPath* n = g_first; n; previous = n, n = n->next) {
    if (n->path != key) continue;
    (previous ? previous->next : g_first) = n->next;
    if (g_last == n) g_last = previous;
    byPath().erase(n->path);
    destroyValues(n);
    delete n;
    return true;
  }
  return false;
}

std::string getValue(const TCfgPath* node, const std::string& name) {
  const TCfgValue* v = findValue(node, upper(name));
  return v ? v->value : std::string();
}

const TCfgValue* lookupValue(const TCfgPath* node, const std::string& name) { return findValue(node, upper(name)); }

void setValue(TCfgPath* node, const std::string& name, const std::string& value) {
  if (!node) return;
  const std::string key = upper(name);
  if (TCfgValue* v = findValue(node, key)) {
    v->value = value;
    return;
  }
  auto* v = new TCfgValue;
  v->owner = node;
  v->name = key;
  v->value = value;
  TCfgValue** tail = &node->first;
  while (*tail) tail = &(*tail)->next;
  *tail = v;
}

// The pattern is compared with the path character by character (both
// upper-cased); "*" takes the shortest run of path characters up to the first
// occurrence of the pattern character that follows it (the rest of the path
// when it ends the pattern). No backtracking.
bool matches(const TCfgPath* node, const std::string& pattern, std::uint8_t kind) {
  if (!node || node->kind != kind) return false;
  const std::string p = upper(pattern);
  const std::string& s = node->path;
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < p.size()) {
    if (p[i] == '*') {
      if (i + 1 == p.size()) return true;
      const std::size_t stop = s.find(p[i + 1], j);
      if (stop == std::string::npos) return false;
      j = stop;
      ++i;
      continue;
    }
    if (j >= s.size() || s[j] != p[i]) return false;
    ++i;
    ++j;
  }
  return j == s.size();
}

const TCfgPath* nextMatch(const TCfgPath* after, const std::string& pattern, std::uint8_t kind) {
  for (const TCfgPath* n = after ? after->next : nullptr; n; n = n->next)
    if (matches(n, pattern, kind)) return n;
  return nullptr;
}

const TCfgPath* firstMatch(const std::string& pattern, std::uint8_t kind) {
  for (const TCfgPath* n = g_first; n; n = n->next)
    if (matches(n, pattern, kind)) return n;
  return nullptr;
}

void applyParameterString(TCfgPath* node, const std::string& params) {
  std::string rest = params;
  while (!rest.empty()) {
    const std::size_t colon = rest.find(':');
    if (colon == std::string::npos) break;
    const std::string name = rest.substr(0, colon);
    rest.erase(0, std::min(colon + 2, rest.size()));  // the name, ':' and the opening quote
    const std::size_t quote = rest.find('"');
    if (quote == std::string::npos) break;
    const std::string value = rest.substr(0, quote);
    std::size_t next = quote + 1;
    while (next < rest.size() && (rest[next] == ' ' || rest[next] == ';')) ++next;
    rest.erase(0, next);
    setValue(node, name, value);
  }
}

void initDefaults() {
  destroyTree();
  TCfgPath* driver = findOrCreateNode(kDriverPath, kCreated);
  for (const auto& d : kDriverDefaults) setValue(driver, d[0], d[1]);
}

void destroyTree() {
  TCfgPath* n = g_first;
  while (n) {
    TCfgPath* next = n->next;
    destroyValues(n);
    delete n;
    n = next;
  }
  g_first = g_last = nullptr;
  byPath().clear();
}

}  // namespace cfg
}  // namespace kbe
