// The engine's configuration tree: aliases and driver settings read from the
// registry (HKEY_LOCAL_MACHINE, then HKEY_CURRENT_USER) and the INI file
// "KBE.ini", kept as nodes addressed by paths such as
// "\DATABASES\<alias>\DB OPEN", each holding named string values.
#pragma once

#include <cstdint>
#include <string>

namespace kbe {

struct TCfgPath;

// One named string value of a node.
struct TCfgValue {
  TCfgPath* owner = nullptr;
  TCfgValue* next = nullptr;  // values in insertion order
  std::string name;           // stored upper-cased
  std::string value;          // stored as given
};

// One node of the tree.
struct TCfgPath {
  TCfgPath* next = nullptr;   // nodes in creation order
  TCfgValue* first = nullptr; // first value
  std::string path;           // stored upper-cased
  std::uint8_t kind = 0;      // 1 = read from the store, 0 = created otherwise
};

namespace cfg {

// Node kinds.
constexpr std::uint8_t kCreated = 0;
constexpr std::uint8_t kStored = 1;

// Path of the built-in driver node.
inline constexpr const char* kDriverPath = "\\DRIVERS\\KBE\\DB OPEN";

// Patterns of every alias node and every driver node.
inline constexpr const char* kAliasPattern = "\\DATABASES\\*\\DB OPEN";
inline constexpr const char* kDriverPattern = "\\DRIVERS\\*\\DB OPEN";

// Path of the node of `alias`: "\DATABASES\" + alias + "\DB OPEN".
std::string aliasPath(const std::string& alias);

// Reads the three sources (HKLM hive, KBE.ini, HKCU hive) into the tree and
// merges the driver defaults into every stored alias node. Never removes
// anything. Missing keys, sections and files contribute nothing.
void reload();

// The node with exactly this path (case-insensitive), or null.
const TCfgPath* findNode(const std::string& path);
TCfgPath* findNodeMutable(const std::string& path);
// The node with this path, created with `kind` when absent.
TCfgPath* findOrCreateNode(const std::string& path, std::uint8_t kind = kCreated);
// Destroys the node with this path and its values; false when absent.
bool destroyNode(const std::string& path);

// The value `name` of `node` (case-insensitive), empty when absent or when
// `node` is null.
std::string getValue(const TCfgPath* node, const std::string& name);
// The same value as an entry, null when absent or when `node` is null.
const TCfgValue* lookupValue(const TCfgPath* node, const std::string& name);
// Replaces the text of value `name`, or appends the value when absent.
void setValue(TCfgPath* node, const std::string& name, const std::string& value);

// Pattern matching with "*" (see matches()); iteration over nodes of `kind`.
bool matches(const TCfgPath* node, const std::string& pattern, std::uint8_t kind);
const TCfgPath* firstMatch(const std::string& pattern, std::uint8_t kind);
const TCfgPath* nextMatch(const TCfgPath* after, const std::string& pattern, std::uint8_t kind);

// Sets the values of a DbiAddAlias parameter string (entries NAME:"VALUE"
// separated by blanks or semicolons) on `node`.
void applyParameterString(TCfgPath* node, const std::string& params);

// Creates the tree with the driver defaults node only, dropping whatever it
// held (called at library load).
void initDefaults();
// Destroys every node with its values (called at library unload). Safe to
// call more than once.
void destroyTree();

}  // namespace cfg
}  // namespace kbe
