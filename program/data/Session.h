// The one engine session of the process.
#pragma once

#include <vector>

class TDatabase;

class TSession {
 public:
  static TSession& Instance();

  // Initialises the engine once (DbiInitFn 400, language "0009"); the
  // engine's "multiple KBE initialization" (10759) counts as success.
  void Open();
  // Disconnects every database, then DbiExit. Does nothing when not open.
  void Close();
  bool Active() const noexcept { return active_; }

 private:
  friend class TDatabase;
  TSession() = default;
  ~TSession();
  bool active_ = false;
  bool ownsInit_ = false;  // our DbiInitFn counted (not the engine's "already initialised")
  std::vector<TDatabase*> databases_;
};
