// The engine's state records and the release of workspaces and databases.
#include "KBEPI32_UserData.h"

#include <algorithm>

#include "KBEPI32_Handles.h"
#include "KBEPI32_Log.h"
#include "KBEPI32_Session.h"

namespace kbe {

void TBaseData::notify(std::uint8_t) {}

// ---- TEngineData ------------------------------------------------------------

TEngineData::~TEngineData() { releaseWorkspaces(); }

void TEngineData::checkWorkspacesReleasable() const {
  for (DAOWorkspace* ws = firstWorkspace; ws;) {
    const TWorkspaceData* data = workspaceDataOf(ws);
    if (!data) break;
    data->checkReleasable();
    ws = data->nextWorkspace;
  }
}

void TEngineData::releaseWorkspaces() noexcept {
  while (DAOWorkspace* ws = firstWorkspace) {
    try {
      releaseWorkspace(ws);
    } catch (const std::exception& e) {
      // Still in use by cursors: leave it (and everything after it) alone
      // rather than pull it away from under them.
      logLine(std::string("EXCEPTION EKBEError @00000000: ") + e.what());
      return;
    } catch (...) {
      return;
    }
  }
}

// ---- TWorkspaceData ---------------------------------------------------------

TWorkspaceData::~TWorkspaceData() {
  while (!databases.empty()) {
    DAODatabase* db = databases.back();
    databases.pop_back();
    destroyDatabase(db);
  }
}

void TWorkspaceData::checkReleasable() const {
  if (hasNotifications()) throw EKBEError(kPendingNotifications);
}

void TWorkspaceData::addNotification(TBaseData* record) {
  if (!record || std::find(notifications.begin(), notifications.end(), record) != notifications.end()) return;
  notifications.push_back(record);
}

void TWorkspaceData::removeNotification(TBaseData* record) noexcept {
  notifications.erase(std::remove(notifications.begin(), notifications.end(), record), notifications.end());
}

void TWorkspaceData::notifyAll(std::uint8_t code) {
  // A record may leave the list while it is told; tell the ones registered
  // when the step happened, skipping any that left in between.
  const std::vector<TBaseData*> listed = notifications;
  for (TBaseData* record : listed) {
    if (std::find(notifications.begin(), notifications.end(), record) != notifications.end()) record->notify(code);
  }
}

void TWorkspaceData::addDatabase(DAODatabase* db) {
  if (std::find(databases.begin(), databases.end(), db) == databases.end()) databases.push_back(db);
}

void TWorkspaceData::removeDatabase(DAODatabase* db) noexcept {
  databases.erase(std::remove(databases.begin(), databases.end(), db), databases.end());
}

// ---- lookups ------------------------------------------------------------------

TEngineData* engineDataOf(const DAOBase* wrapper) noexcept {
  return wrapper ? dynamic_cast<TEngineData*>(wrapper->UserData()) : nullptr;
}

TWorkspaceData* workspaceDataOf(const DAOBase* wrapper) noexcept {
  return wrapper ? dynamic_cast<TWorkspaceData*>(wrapper->UserData()) : nullptr;
}

TDatabaseData* databaseDataOf(const DAOBase* wrapper) noexcept {
  return wrapper ? dynamic_cast<TDatabaseData*>(wrapper->UserData()) : nullptr;
}

DAOWorkspace* workspaceOf(const DAODatabase* db) {
  DAOBase* parent = db ? db->ParentWrapper() : nullptr;
  auto* ws = handleAs<DAOWorkspace>(parent, HandleKind::Workspace);
  if (!ws) throw EInvalidCast();
  return ws;
}

TWorkspaceData& workspaceDataOfDatabase(const DAODatabase* db) {
  TWorkspaceData* data = workspaceDataOf(workspaceOf(db));
  if (!data) throw EInvalidCast();
  return *data;
}

// ---- release ------------------------------------------------------------------

void releaseWorkspace(DAOWorkspace* ws) {
  if (!ws) return;
  TWorkspaceData* data = workspaceDataOf(ws);
  if (data) {
    data->checkReleasable();
    // Unlink it from its session's list.
    if (TEngineData* session = engineDataOf(ws->ParentWrapper())) {
      DAOWorkspace** link = &session->firstWorkspace;
      while (link && *link && *link != ws) {
        TWorkspaceData* d = workspaceDataOf(*link);
        link = d ? &d->nextWorkspace : nullptr;
      }
      if (link && *link == ws) *link = data->nextWorkspace;
    }
    data->nextWorkspace = nullptr;
    while (!data->databases.empty()) {
      DAODatabase* db = data->databases.back();
      data->databases.pop_back();
      destroyDatabase(db);
    }
  }
  unregisterHandle(ws);
  delete ws;
}

void destroyDatabase(DAODatabase* db) noexcept {
  if (!db) return;
  if (auto* ws = handleAs<DAOWorkspace>(db->ParentWrapper(), HandleKind::Workspace)) {
    if (TWorkspaceData* data = workspaceDataOf(ws)) data->removeDatabase(db);
  }
  unregisterHandle(db);
  delete db;
}

}  // namespace kbe
