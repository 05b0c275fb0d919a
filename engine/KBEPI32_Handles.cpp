#include "KBEPI32_Handles.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace kbe {

namespace {

struct Registry {
  std::mutex mutex;
  std::unordered_map<const void*, HandleKind> live;
  std::atomic<std::uint64_t> generation{0};  // bumped whenever a handle comes or goes
};

// The last handle asked about and what it was, good while no handle came or
// went: record reads ask about the same cursor many times in a row.
struct LastLookup {
  const void* handle = nullptr;
  bool live = false;
  HandleKind kind{};
  std::uint64_t generation = ~std::uint64_t{0};
};
thread_local LastLookup lastLookup;

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
    registry().generation.fetch_add(1, std::memory_order_acq_rel);
  } catch (...) {
  }
}

void unregisterHandle(const void* object) noexcept {
  std::lock_guard lock(registry().mutex);
  registry().live.erase(object);
  registry().generation.fetch_add(1, std::memory_order_acq_rel);
}

bool isHandle(const void* handle, HandleKind kind) noexcept {
  if (!handle) return false;
  LastLookup& last = lastLookup;
  if (last.handle == handle && last.generation == registry().generation.load(std::memory_order_acquire))
    return last.live && last.kind == kind;
  std::lock_guard lock(registry().mutex);
  auto it = registry().live.find(handle);
  last.handle = handle;
  last.live = it != registry().live.end();
  last.kind = last.live ? it->second : HandleKind{};
  last.generation = registry().generation.load(std::memory_order_acquire);
  return last.live && last.kind == kind;
}

}  // namespace kbe
