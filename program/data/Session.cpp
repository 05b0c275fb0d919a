// The engine session: DbiInitFn once, DbiExit at the end.
#include "Session.h"

#include "Database.h"
#include "DatabaseError.h"
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "DataSetSupport.h"
#include "binding/Bde.h"

using namespace keyhaven::data;

TSession& TSession::Instance() {
  // Never destroyed: by the time static objects go, the engine library's own
  // objects may be gone, so the engine is ended by Close, at shutdown.
  static TSession* session = new TSession;
  return *session;
}

TSession::~TSession() = default;

void TSession::Open() {
  if (active_) return;
  Bde::DBIEnv env{};
  std::memcpy(env.szLang, "0009", 5);
  const kbe::DBIResult result = Bde::DbiInitFn(400, &env);
  if (result != 0 && result != kMultipleInit) throw EngineError(result);
  active_ = true;
  ownsInit_ = result == 0;
}

void TSession::Close() {
  if (!active_) return;
  const std::vector<TDatabase*> databases = databases_;
  for (TDatabase* db : databases) db->Close();
  // Only an initialisation of our own is taken back.
  if (ownsInit_) Bde::DbiExit();
  active_ = false;
  ownsInit_ = false;
}

