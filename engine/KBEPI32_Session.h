// Process-wide engine state and the session access every export uses.
//
// A session handle is the address of the session's private DAO engine
// wrapper (DAOLocalEngine) with a TEngineData as its user data. The engine
// keeps, per loaded library: the initialised flag, the current session, the
// default session (named "Default", created on first need), the counter of
// unnamed sessions and the list of detach callbacks. Nothing is locked: the
// engine is used from the thread that loaded it.
#pragma once

#include <cstdint>
#include <string>

#include "CvDAO35.h"
#include "KBEPI32_UserData.h"
#include "kbe/kbe.h"

namespace kbe {

// One detach callback registered by the host.
struct CallbackNode {
  CallbackNode* next;
  DetachCallback function;
  std::uint32_t clientData;
};

// Plain data only, so that it stays valid to the very end of unload whatever
// order the run-time tears the library's objects down in.
struct EngineState {
  bool initialised = false;
  DAOLocalEngine* current = nullptr;
  DAOLocalEngine* defaultSession = nullptr;
  std::int32_t unnamedCounter = 0;
  CallbackNode* callbacks = nullptr;  // newest first
  bool unloaded = false;
};

// The one engine state of the loaded library.
EngineState& engineState() noexcept;

// `hook` runs before every session is made (the entry code arms its exit
// handler there, once DAO objects exist).
void onNewSession(void (*hook)()) noexcept;

// A new session named `name`: a private DAO engine with its TEngineData,
// registered as a session handle.
DAOLocalEngine* newSession(const std::string& name);

// Destroys a session with its workspaces. Refuses (EKBEError) while cursor
// records are registered with one of its workspaces; nothing changes then.
void destroySession(DAOLocalEngine* session);

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

}  // namespace kbe
