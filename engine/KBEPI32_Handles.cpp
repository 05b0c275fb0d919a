#include "KBEPI32_Handles.h"

#include <mutex>
#include <unordered_map>

namespace kbe {

namespace {

struct Registry {
  std::mutex mutex;
  std::unordered_map<const void*, HandleKind> live;
};

Registry& registry() {
  static Registry* r = new Registry;  // outlives every static destructor that may unregister
  return *r;
}

}  // namespace

void registerHandle(const void* object, HandleKind kind) noexcept {
  if (!object) return;
  try {
    std::lock_guard lock(registry().mutex);
    registry().live[object] = kind;
  } catch (...) {
  }
}

void unregisterHandle(const void* object) noexcept {
  std::lock_guard lock(registry().mutex);
  registry().live.erase(object);
}

bool isHandle(const void* handle, HandleKind kind) noexcept {
  if (!handle) return false;
  std::lock_guard lock(registry().mutex);
  auto it = registry().live.find(handle);
  return it != registry().live.end() && it->second == kind;
}

}  // namespace kbe
