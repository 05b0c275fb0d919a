// The engine state of the loaded library and the sessions in it.
#include "KBEPI32_Session.h"

#include <memory>

#include "KBEPI32_Handles.h"

namespace kbe {

namespace {

constexpr const char* kDefaultSessionName = "Default";

EngineState g_state;
void (*g_newSessionHook)() = nullptr;

}  // namespace

EngineState& engineState() noexcept { return g_state; }

void onNewSession(void (*hook)()) noexcept { g_newSessionHook = hook; }

DAOLocalEngine* newSession(const std::string& name) {
  if (g_newSessionHook) g_newSessionHook();
  auto engine = std::make_unique<DAOLocalEngine>(true);
  engine->SetUserData(std::make_unique<TEngineData>(name));
  registerHandle(engine.get(), HandleKind::Session);
  return engine.release();
}

void destroySession(DAOLocalEngine* session) {
  TEngineData* data = engineDataOf(session);
  if (data) data->checkWorkspacesReleasable();
  if (g_state.current == session) g_state.current = nullptr;
  if (g_state.defaultSession == session) g_state.defaultSession = nullptr;
  if (data) data->releaseWorkspaces();
  unregisterHandle(session);
  delete session;
}

bool engineInitialised() noexcept { return g_state.initialised; }

DAOLocalEngine* currentSession() {
  if (g_state.current) return g_state.current;
  if (!g_state.defaultSession) g_state.defaultSession = newSession(kDefaultSessionName);
  g_state.current = g_state.defaultSession;
  return g_state.current;
}

DAOLocalEngine* existingSession() noexcept { return g_state.current ? g_state.current : g_state.defaultSession; }

DAOLocalEngine* sessionFromHandle(void* handle) noexcept {
  return handleAs<DAOLocalEngine>(handle, HandleKind::Session);
}

DAODatabase* databaseFromHandle(void* handle) noexcept { return handleAs<DAODatabase>(handle, HandleKind::Database); }

}  // namespace kbe
