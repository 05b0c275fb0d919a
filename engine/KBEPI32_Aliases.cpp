// The configuration exports: aliases, database and driver descriptions, and
// the lists over the configuration tree (KBEPI32_Config.h).
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "KBEPI32_Config.h"
#include "KBEPI32_InfoCursor.h"
#include "KBEPI32_Log.h"
#include "KBEPI32_Session.h"
#include "kbe/kbe.h"
#include "platform/wintypes.h"

// ---- exports ----------------------------------------------------------------

namespace {

using namespace kbe;

std::string text(const char* s) { return s ? std::string(s) : std::string(); }

void copyText(char* dest, std::size_t capacity, const std::string& s) {
  copyZString(dest, capacity, s.data(), s.size());
}

// List functions: any failure is converted (for the log) and answered with
// 0x3001; the handle is written only on success.
template <class Fill>
DBIResult openList(hDBICur* out, InfoList list, Fill&& fill) noexcept {
  try {
    if (!out) throw EKBEError("no cursor handle to write");
    cfg::reload();
    auto cursor = TInfoCursor::open(list);
    fill(*cursor);
    *out = cursor.release();
    return rc::OK;
  } catch (...) {
    convertCurrentFailure();
    return rc::NotSupported;
  }
}

std::vector<const TCfgPath*> matchingNodes(const char* pattern) {
  std::vector<const TCfgPath*> nodes;
  for (const TCfgPath* n = cfg::firstMatch(pattern, cfg::kStored); n; n = cfg::nextMatch(n, pattern, cfg::kStored))
    nodes.push_back(n);
  return nodes;
}

}  // namespace

KBE_API DBIResult DbiAddAlias(hDBICfg cfg, const char* alias, const char* driverType, const char* params,
                              BOOL16 persist) {
  if (cfg) return rc::NotSupported;
  return trap([&]() -> DBIResult {
    if (!alias) return rc::InvalidParam;
    TCfgPath* node = cfg::findOrCreateNode(cfg::aliasPath(alias), cfg::kCreated);
    cfg::applyParameterString(node, text(params));
    return rc::OK;
  });
}

KBE_API DBIResult DbiDeleteAlias(hDBICfg cfg, const char* alias) {
  if (cfg) return rc::NotSupported;
  return trap([&]() -> DBIResult {
    if (!alias) return rc::InvalidParam;
    cfg::destroyNode(cfg::aliasPath(alias));
    return rc::OK;
  });
}

KBE_API DBIResult DbiGetDatabaseDesc(const char* alias, DBDesc* desc) {
  if (!desc) return rc::OK;
  return trap([&]() -> DBIResult {
    std::memset(desc, 0, sizeof *desc);
    copyText(desc->szName, sizeof desc->szName, text(alias));
    cfg::reload();
    if (const TCfgPath* node = cfg::findNode(cfg::aliasPath(text(alias))))
      copyText(desc->szPhyName, sizeof desc->szPhyName, cfg::getValue(node, "PATH"));
    copyText(desc->szDbType, sizeof desc->szDbType, "KBE");
    return rc::OK;
  });
}

KBE_API DBIResult DbiGetDriverDesc(const char* driverType, void* driverDesc) {
  if (!driverDesc) return rc::OK;
  auto* r = static_cast<std::uint8_t*>(driverDesc);
  std::memset(r, 0, 126);  // the record's fields end at byte 125; nothing beyond is written
  auto put16 = [r](std::size_t offset, std::uint16_t v) {
    r[offset] = static_cast<std::uint8_t>(v);
    r[offset + 1] = static_cast<std::uint8_t>(v >> 8);
  };
  copyText(reinterpret_cast<char*>(r), 32, "KBE");
  copyText(reinterpret_cast<char*>(r + 32), 32, "Version 3.0 Beta 3 for Jet/DAO 3.5");
  const std::uint32_t category = 3;  // server-based
  for (int i = 0; i < 4; ++i) r[64 + i] = static_cast<std::uint8_t>(category >> (8 * i));
  constexpr std::uint16_t kTrue = 0xFFFF;
  put16(68, kTrue);  // true databases
  copyText(reinterpret_cast<char*>(r + 70), 32, "KBE");
  put16(102, kTrue);  // multi-user
  put16(104, kTrue);  // read-write
  put16(106, kTrue);  // transactions
  put16(108, kTrue);  // pass-through SQL
  put16(110, kTrue);  // login
  put16(112, 0);      // create database
  put16(114, 0);      // delete database
  put16(116, kTrue);  // create table
  put16(118, kTrue);  // delete table
  put16(120, 0);      // multiple passwords
  put16(122, 120);    // version
  put16(124, 0);
  return rc::OK;
}

KBE_API DBIResult DbiOpenDatabaseList(hDBICur* cursor) {
  return openList(cursor, InfoList::Databases, [](TInfoCursor& c) {
    const std::vector<const TCfgPath*> nodes = matchingNodes(cfg::kAliasPattern);
    c.SetRecordCount(static_cast<std::int32_t>(nodes.size()));
    c.allocateRecords();
    for (std::size_t i = 0; i < nodes.size(); ++i) {
      auto* row = reinterpret_cast<DBDesc*>(c.row(static_cast<std::int32_t>(i)));
      copyText(row->szName, sizeof row->szName, cfg::getValue(nodes[i], "NAME"));
      copyText(row->szText, sizeof row->szText, cfg::getValue(nodes[i], "DESCRIPTION"));
      copyText(row->szPhyName, sizeof row->szPhyName, cfg::getValue(nodes[i], "PATH"));
      copyText(row->szDbType, sizeof row->szDbType, "KBE");
    }
  });
}

KBE_API DBIResult DbiOpenDriverList(hDBICur* cursor) {
  return openList(cursor, InfoList::Drivers, [](TInfoCursor& c) {
    const std::vector<const TCfgPath*> nodes = matchingNodes(cfg::kDriverPattern);
    c.SetRecordCount(static_cast<std::int32_t>(nodes.size()));
    c.allocateRecords();
    for (std::size_t i = 0; i < nodes.size(); ++i)
      copyText(reinterpret_cast<char*>(c.row(static_cast<std::int32_t>(i))), 32, cfg::getValue(nodes[i], "NAME"));
  });
}

KBE_API DBIResult DbiOpenCfgInfoList(hDBICfg cfg, std::uint32_t openMode, std::uint32_t configMode,
                                     const char* path, hDBICur* cursor) {
  return openList(cursor, InfoList::ConfigInfos, [&](TInfoCursor& c) {
    std::vector<const TCfgValue*> values;
    if (const TCfgPath* node = cfg::findNode(text(path)))
      for (const TCfgValue* v = node->first; v; v = v->next) values.push_back(v);
    c.SetRecordCount(static_cast<std::int32_t>(values.size()));
    c.allocateRecords();
    for (std::size_t i = 0; i < values.size(); ++i) {
      auto* row = reinterpret_cast<CFGDesc*>(c.row(static_cast<std::int32_t>(i)));
      copyText(row->szNodeName, sizeof row->szNodeName, values[i]->name);
      row->iDataType = 1;  // string
      copyText(row->szValue, sizeof row->szValue, values[i]->value);
      row->bHasSubnodes = 0;
    }
  });
}

KBE_API DBIResult DbiCfgAddRecord(hDBICfg cfg, const char* path, std::int16_t fieldCount, const FLDDesc* fields,
                                  const void* record) {
  return trap([&]() -> DBIResult {
    TCfgPath* node = cfg::findOrCreateNode(text(path), cfg::kCreated);
    if (fieldCount <= 0) return rc::OK;
    if (!fields || !record) return rc::InvalidParam;
    const auto* bytes = static_cast<const char*>(record);
    for (std::int16_t i = 0; i < fieldCount; ++i) {
      const FLDDesc& f = fields[i];
      const std::string name(f.szName, strnlen(f.szName, sizeof f.szName));
      cfg::setValue(node, name, std::string(bytes + f.iOffset));
    }
    return rc::OK;
  });
}

KBE_API DBIResult DbiCfgPosition(hDBICfg cfg, const char* path) {
  if (cfg) return rc::NotSupported;
  return trap([&]() -> DBIResult { return cfg::findNode(text(path)) ? rc::OK : rc::NotSupported; });
}

KBE_API DBIResult DbiCfgDropRecord(hDBICfg cfg, const char* path) {
  if (cfg) return rc::NotSupported;
  return trap([&]() -> DBIResult {
    cfg::destroyNode(text(path));
    return rc::OK;
  });
}

KBE_API DBIResult DbiCfgGetHelp(hDBICfg cfg, const char* path, const char* nodeName, void* help) {
  return engineInitialised() ? rc::NotSupported : rc::NotInitialized;
}
