// Databases opened by alias, with their workspaces, and transactions.
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "CvDAO35.h"
#include "KBEPI32_Config.h"
#include "KBEPI32_Conversions.h"
#include "KBEPI32_Handles.h"
#include "KBEPI32_Log.h"
#include "KBEPI32_Session.h"
#include "KBEPI32_UserData.h"
#include "kbe/kbe.h"
#include "platform/wintypes.h"

namespace kbe {
namespace {

// ---- alias settings -------------------------------------------------------------

std::string setting(const TCfgPath* node, const char* name, const char* fallback) {
  const TCfgValue* v = cfg::lookupValue(node, name);
  return v ? v->value : std::string(fallback);
}

bool flagSetting(const TCfgPath* node, const char* name) {
  return kh::win::ansiUpperString(setting(node, name, "False")) == "TRUE";
}

// A decimal (or "$" / "0x" hexadecimal) integer with an optional sign and
// leading blanks; false for anything else or a value outside 32 bits.
bool parseInteger(const std::string& text, std::int32_t& out) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  unsigned base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= text.size()) return false;
  std::int64_t value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else return false;
    value = value * base + digit;
    if (value > static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1) return false;
  }
  if (negative) value = -value;
  if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max()) return false;
  out = static_cast<std::int32_t>(value);
  return true;
}

// An integer setting kept in 16 bits.
std::int16_t numberSetting(const TCfgPath* node, const char* name, const char* fallback, std::int32_t notANumber) {
  std::int32_t value = 0;
  if (!parseInteger(setting(node, name, fallback), value)) value = notANumber;
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<std::uint32_t>(value) & 0xFFFFu));
}

struct AliasSettings {
  std::string path, userName, systemDb, connect;
  bool exclusive = false, readOnly = false, separateWorkspace = false;
  TDatabaseOptions options{};
};

AliasSettings readAliasSettings(const TCfgPath* node) {
  AliasSettings s;
  s.path = setting(node, "PATH", "");
  s.userName = setting(node, "USER NAME", "");
  if (s.userName.empty()) s.userName = "Admin";
  s.systemDb = setting(node, "SYSTEMDB", "");
  s.connect = setting(node, "CONNECT", "");
  s.exclusive = flagSetting(node, "EXCLUSIVE");
  s.readOnly = flagSetting(node, "READ ONLY");
  s.separateWorkspace = flagSetting(node, "SEPARATE WORKSPACE");
  TDatabaseOptions& o = s.options;
  o.prefetchThreshold = numberSetting(node, "PREFETCH THRESHOLD", "20", 20);
  o.prefetchResetInterval = numberSetting(node, "PREFETCH RESET EVERY", "25", 100);
  o.prefetchScale = numberSetting(node, "PREFETCH THRESHOLD SCALE", "100", 100);
  o.useDefaults = flagSetting(node, "USE DEFAULTS");
  o.useConstraints = flagSetting(node, "USE CONSTRAINTS");
  o.useZeroLength = flagSetting(node, "USE ALLOWZEROLENGTH");
  o.lockEdits = flagSetting(node, "LOCK EDITS");
  o.renamePrimary = flagSetting(node, "RENAME PRIMARY");
  o.showSystemFields = flagSetting(node, "SHOW GUIDS");
  o.disableRefresh = flagSetting(node, "DISABLE REFRESH");
  o.seeChanges = !flagSetting(node, "DISABLE SEECHANGES");
  return s;
}

// A workspace of the session for user and password: a shared one already
// there, else a new one (listed unless separate). `created` tells which.
DAOWorkspace* acquireWorkspace(DAOLocalEngine* session, const std::string& user, const std::string& password,
                               bool separate, bool& created) {
  created = false;
  TEngineData* s = engineDataOf(session);
  if (!s) throw EInvalidCast();
  if (!separate) {
    for (DAOWorkspace* ws = s->firstWorkspace; ws;) {
      TWorkspaceData* d = workspaceDataOf(ws);
      if (!d) break;
      if (!d->separate && kh::win::ansiEqualNoCase(d->userName, user) && d->password == password) return ws;
      ws = d->nextWorkspace;
    }
  }
  const std::string name = s->sessionName + "_" + std::to_string(s->workspaceCounter);
  auto ws = session->CreateWorkspace(conv::utf8Of(name), conv::utf8Of(user), conv::utf8Of(password),
                                     kh::Variant(std::int32_t{kh::dao::dbUseJet}));
  ++s->workspaceCounter;
  auto data = std::make_unique<TWorkspaceData>(user, password, separate);
  TWorkspaceData* d = data.get();
  ws->SetUserData(std::move(data));
  registerHandle(ws.get(), HandleKind::Workspace);
  if (!separate) {
    d->nextWorkspace = s->firstWorkspace;
    s->firstWorkspace = ws.get();
  }
  created = true;
  return ws.release();
}

}  // namespace
}  // namespace kbe

using namespace kbe;

// ---- databases -------------------------------------------------------------------------------

KBE_API DBIResult DbiOpenDatabase(const char* alias, const char* dbType, std::uint32_t openMode,
                                  std::uint32_t shareMode, const char* password, std::uint16_t optionalFields,
                                  const FLDDesc* optionalDescs, const void* optionalValues, hDBIDb* db) {
  DAOLocalEngine* session = nullptr;
  try {
    session = currentSession();
  } catch (...) {
    convertCurrentFailure();
    return rc::NotSupported;
  }
  if (!alias || !*alias) return rc::UnknownDb;
  if (!db) return rc::InvalidParam;

  // Settings of the alias, and the session's system database.
  AliasSettings s;
  const DBIResult checked = trap([&]() -> DBIResult {
    cfg::reload();
    s = readAliasSettings(cfg::findNode(cfg::aliasPath(alias)));
    if (openMode == 1) s.readOnly = true;
    if (shareMode == 1) s.exclusive = true;
    if (!s.systemDb.empty()) {
      // An engine that has made a workspace is initialised and keeps its
      // system database; only a fresh one takes the alias's.
      const TEngineData* data = engineDataOf(session);
      if (!data || data->workspaceCounter == 0) session->SetSystemDB(conv::utf8Of(s.systemDb));
      if (conv::ansiOf(session->GetSystemDB()) != s.systemDb) return rc::InvalidAlias;
    }
    return rc::OK;
  });
  if (checked != rc::OK) return checked;

  // Workspace.
  DAOWorkspace* ws = nullptr;
  bool created = false;
  try {
    ws = acquireWorkspace(session, s.userName, password ? password : "", s.separateWorkspace, created);
  } catch (...) {
    convertCurrentFailure();
    return rc::InvalidAlias;
  }

  // Database.
  try {
    TWorkspaceData* wsData = workspaceDataOf(ws);
    if (!wsData) throw EInvalidCast();
    auto database = ws->OpenDatabase(conv::utf8Of(s.path), kh::Variant::fromBool(s.exclusive),
                                     kh::Variant::fromBool(s.readOnly), kh::Variant(conv::utf8Of(s.connect)));
    database->SetUserData(std::make_unique<TDatabaseData>(alias, s.options));
    wsData->addDatabase(database.get());
    registerHandle(database.get(), HandleKind::Database);
    *db = database.release();
    return rc::OK;
  } catch (...) {
    convertCurrentFailure();
    // A workspace made for this database alone goes with the failed open.
    if (created && s.separateWorkspace) {
      try {
        releaseWorkspace(ws);
      } catch (...) {
        convertCurrentFailure();
      }
    }
    return rc::UnknownDb;
  }
}

KBE_API DBIResult DbiCloseDatabase(hDBIDb* db) {
  DAODatabase* database = db ? databaseFromHandle(*db) : nullptr;
  if (!database) return rc::InvalidHandle;
  return trap([&]() -> DBIResult {
    DAOWorkspace* ws = workspaceOf(database);
    TWorkspaceData* wsData = workspaceDataOf(ws);
    if (!wsData) throw EInvalidCast();
    // A separate workspace goes with its database; while cursors are still
    // registered with it, nothing is closed.
    const bool separate = wsData->separate;
    if (separate) wsData->checkReleasable();
    destroyDatabase(database);
    *db = nullptr;
    if (separate) releaseWorkspace(ws);
    return rc::OK;
  });
}

// ---- transactions ------------------------------------------------------------------------------

KBE_API DBIResult DbiBeginTran(hDBIDb db, std::uint32_t isolation, hDBIXact* transaction) {
  DAODatabase* database = databaseFromHandle(db);
  if (!database) return rc::NotSupported;
  return trap([&]() -> DBIResult {
    TWorkspaceData& ws = workspaceDataOfDatabase(database);
    if (database->GetTransactions()) {
      database->BeginTrans();
      ++ws.transactionDepth;
      ws.notifyAll(tran::kBegin);
    }
    if (transaction) *transaction = database;
    return rc::OK;
  });
}

KBE_API DBIResult DbiEndTran(hDBIDb db, hDBIXact transaction, std::uint32_t endType) {
  constexpr std::uint32_t kRollback = 2;
  DAODatabase* database = databaseFromHandle(db);
  if (!database) return rc::NotSupported;
  return trap([&]() -> DBIResult {
    TWorkspaceData& ws = workspaceDataOfDatabase(database);
    if (database->GetTransactions()) {
      if (endType == kRollback) database->Rollback();
      else database->CommitTrans(kh::dao::dbForceOSFlush);
      if (ws.transactionDepth > 0) --ws.transactionDepth;
      ws.notifyAll(endType == kRollback ? tran::kRollback : tran::kCommit);
    }
    return rc::OK;
  });
}

KBE_API DBIResult DbiGetTranInfo(hDBIDb db, hDBIXact transaction, XInfo* info) {
  DAODatabase* database = databaseFromHandle(db);
  if (!database) return rc::NotSupported;
  return trap([&]() -> DBIResult {
    const TWorkspaceData& ws = workspaceDataOfDatabase(database);
    if (info) {
      std::memset(info, 0, sizeof *info);
      info->exState = ws.transactionDepth > 0 ? 1 : 0;
      info->eXIL = 0;
      info->uNests = static_cast<std::uint16_t>(static_cast<std::uint32_t>(ws.transactionDepth) & 0xFFFFu);
    }
    return rc::OK;
  });
}
