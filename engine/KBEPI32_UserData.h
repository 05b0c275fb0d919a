// The engine's state records. Each DAO wrapper the engine hands out carries
// one of them as its owned user data:
//   session engine wrapper (DAOLocalEngine)  TEngineData
//   workspace wrapper (DAOWorkspace)         TWorkspaceData
//   database wrapper (DAODatabase)           TDatabaseData
//   recordset / query wrappers               the cursor records (TBaseData descendants)
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "CvDAO35.h"

namespace kbe {

// Root of every engine state record.
class TBaseData : public DAOUserData {
 public:
  // Transaction notification from the workspace's notification list:
  // 0 after begin, 1 after commit, 2 after rollback (the depth is already
  // updated). Nothing happens in the root.
  virtual void notify(std::uint8_t code);
};

// Transaction notification codes.
namespace tran {
constexpr std::uint8_t kBegin = 0;
constexpr std::uint8_t kCommit = 1;
constexpr std::uint8_t kRollback = 2;
}  // namespace tran

#pragma pack(push, 1)
// The database open options that a database passes to its statements and
// cursors (they copy these 14 bytes).
struct TDatabaseOptions {
  std::int16_t prefetchThreshold;      // PREFETCH THRESHOLD
  std::int16_t prefetchResetInterval;  // PREFETCH RESET EVERY
  std::int16_t prefetchScale;          // PREFETCH THRESHOLD SCALE
  std::uint8_t useDefaults;            // USE DEFAULTS
  std::uint8_t useConstraints;         // USE CONSTRAINTS
  std::uint8_t useZeroLength;          // USE ALLOWZEROLENGTH
  std::uint8_t lockEdits;              // LOCK EDITS
  std::uint8_t renamePrimary;          // RENAME PRIMARY
  std::uint8_t showSystemFields;       // SHOW GUIDS
  std::uint8_t disableRefresh;         // DISABLE REFRESH
  std::uint8_t seeChanges;             // the opposite of DISABLE SEECHANGES
};
#pragma pack(pop)
static_assert(sizeof(TDatabaseOptions) == 14);

// On a session's engine wrapper.
class TEngineData : public TBaseData {
 public:
  explicit TEngineData(std::string sessionName) : sessionName(std::move(sessionName)) {}
  // Releases every workspace still in the list (see releaseWorkspaces).
  ~TEngineData() override;
  TEngineData(const TEngineData&) = delete;
  TEngineData& operator=(const TEngineData&) = delete;

  // Throws EKBEError "TWorkspaceData.Destroy: Still pending notifications"
  // when a listed workspace still has cursors registered; nothing changes.
  void checkWorkspacesReleasable() const;
  // Releases every listed workspace (head first). Call checkWorkspacesReleasable
  // before; a workspace that still has notifications is left alone.
  void releaseWorkspaces() noexcept;

  DAOWorkspace* firstWorkspace = nullptr;  // head of the list of shared workspaces
  std::int32_t workspaceCounter = 0;       // suffix of the next workspace name
  std::string sessionName;                 // ANSI
};

// On a workspace wrapper.
class TWorkspaceData : public TBaseData {
 public:
  TWorkspaceData(std::string userName, std::string password, bool separate)
      : separate(separate), userName(std::move(userName)), password(std::move(password)) {}
  // Destroys the databases still open in this workspace (their handles become
  // invalid). Must not be reached with pending notifications: use
  // checkReleasable() first.
  ~TWorkspaceData() override;
  TWorkspaceData(const TWorkspaceData&) = delete;
  TWorkspaceData& operator=(const TWorkspaceData&) = delete;

  // Throws EKBEError "TWorkspaceData.Destroy: Still pending notifications"
  // when cursor records are still registered.
  void checkReleasable() const;

  // The notification list. A record registers at most once; removing one
  // that is not there does nothing.
  void addNotification(TBaseData* record);
  void removeNotification(TBaseData* record) noexcept;
  bool hasNotifications() const noexcept { return !notifications.empty(); }
  // Tells every registered record, in list order, of a transaction step.
  void notifyAll(std::uint8_t code);

  // Databases opened in this workspace and not yet closed (not owned by the
  // list; the host holds them as handles).
  void addDatabase(DAODatabase* db);
  void removeDatabase(DAODatabase* db) noexcept;

  DAOWorkspace* nextWorkspace = nullptr;  // link in the session's list
  bool separate;                          // belongs to one database only
  std::string userName;                   // ANSI, as given to DAO
  std::string password;                   // ANSI, as given to DAO
  std::int32_t transactionDepth = 0;      // never below 0
  std::vector<TBaseData*> notifications;  // registered cursor records
  std::vector<DAODatabase*> databases;    // open databases of this workspace
};

// On a database wrapper.
class TDatabaseData : public TBaseData {
 public:
  TDatabaseData(std::string name, const TDatabaseOptions& options) : name(std::move(name)), options(options) {}

  std::string name;  // the alias exactly as passed to DbiOpenDatabase (ANSI)
  TDatabaseOptions options;
};

// The record on a wrapper, or null when it carries none (or another kind).
TEngineData* engineDataOf(const DAOBase* wrapper) noexcept;
TWorkspaceData* workspaceDataOf(const DAOBase* wrapper) noexcept;
TDatabaseData* databaseDataOf(const DAOBase* wrapper) noexcept;

// The workspace a database was opened in; EInvalidCast when the database's
// parent is not a live workspace.
DAOWorkspace* workspaceOf(const DAODatabase* db);
// Its state record; EInvalidCast when there is none.
TWorkspaceData& workspaceDataOfDatabase(const DAODatabase* db);

// Releases a workspace: refuses with EKBEError kPendingNotifications while
// cursor records are registered (nothing changes then); otherwise unlinks it
// from its session's list, destroys the databases still open in it and then
// the wrapper with its TWorkspaceData.
void releaseWorkspace(DAOWorkspace* ws);

// Destroys a database wrapper (and its TDatabaseData): it leaves its
// workspace's list and its handle becomes invalid.
void destroyDatabase(DAODatabase* db) noexcept;

// The message of a refused workspace destruction.
inline constexpr const char* kPendingNotifications = "TWorkspaceData.Destroy: Still pending notifications";

}  // namespace kbe
