// Process-wide engine state and the session access every export uses.
//
// A session handle is the address of the session's private DAO engine
// wrapper (DAOLocalEngine) with a TEngineData as its user data. The engine
// keeps, per loaded library: the initialised flag, the current session, the
// default session (named "Default", created on first need), the counter of
// unnamed sessions and the list of detach callbacks. Nothing is locked: the
// engine is used from the thread that loaded it.
#pragma once

#include <string>

#include "CvDAO35.h"
#include "KBEPI32_UserData.h"

namespace kbe {

// Whether DbiInitFn has run (and no DbiExit or process detach since).
bool engineInitialised() noexcept;

// The current session: the one made current, else the default session,
// created (and made current) when there is none. Throws when the default
// session cannot be created.
DAOLocalEngine* currentSession();

// The current session without creating anything: the one made current, else
// the default session if it exists, else null.
DAOLocalEngine* existingSession() noexcept;

// The object behind a live handle of that kind, or null.
DAOLocalEngine* sessionFromHandle(void* handle) noexcept;
DAODatabase* databaseFromHandle(void* handle) noexcept;

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

// Text across the boundary: the engine's ANSI (Windows-1252) strings become
// the store's UTF-8 and back. Characters without a Windows-1252 byte (and
// malformed UTF-8) come back as '?'.
std::string daoText(const std::string& ansi);
std::string ansiText(const std::string& utf8);

// Copies at most `limit` characters of `text` and a terminating zero to `out`.
void copyAnsi(char* out, const std::string& text, std::size_t limit) noexcept;

}  // namespace kbe
