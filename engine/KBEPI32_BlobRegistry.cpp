// The registry of live blob objects: the identifiers that blob slots of
// record buffers carry, and the lookups by slot and by cursor.
#include <cstring>
#include <vector>

#include "KBEPI32_Blob.h"

namespace kbe {

TBlobRegistry& TBlobRegistry::instance() {
  static TBlobRegistry* registry = new TBlobRegistry;
  return *registry;
}

TBlob* TBlobRegistry::add(std::unique_ptr<TBlob> blob) {
  std::lock_guard lock(mutex_);
  // Identifiers are not reused soon: a stale slot value then resolves to
  // nothing rather than to another buffer's blob.
  do {
    ++next_;
  } while (next_ == 0 || live_.count(next_));
  blob->id_ = next_;
  TBlob* p = blob.get();
  live_.emplace(next_, std::move(blob));
  return p;
}

TBlob* TBlobRegistry::find(std::uint32_t id) noexcept {
  if (id == 0) return nullptr;
  std::lock_guard lock(mutex_);
  auto it = live_.find(id);
  return it == live_.end() ? nullptr : it->second.get();
}

void TBlobRegistry::remove(std::uint32_t id) noexcept {
  std::unique_ptr<TBlob> gone;
  {
    std::lock_guard lock(mutex_);
    auto it = live_.find(id);
    if (it == live_.end()) return;
    gone = std::move(it->second);
    live_.erase(it);
  }
}

void TBlobRegistry::removeCursor(hDBICur cursor) noexcept {
  std::vector<std::unique_ptr<TBlob>> gone;
  std::lock_guard lock(mutex_);
  for (auto it = live_.begin(); it != live_.end();) {
    if (it->second->cursor() == cursor) {
      gone.push_back(std::move(it->second));
      it = live_.erase(it);
    } else {
      ++it;
    }
  }
}

std::size_t TBlobRegistry::size() noexcept {
  std::lock_guard lock(mutex_);
  return live_.size();
}

namespace blob {

TBlob* inSlot(hDBICur cursor, std::int16_t daoPosition, const std::uint8_t* slot) noexcept {
  if (!slot) return nullptr;
  std::uint32_t id = 0;
  std::memcpy(&id, slot, sizeof id);
  TBlob* b = TBlobRegistry::instance().find(id);
  if (!b || b->cursor() != cursor || b->daoPosition() != daoPosition) return nullptr;
  return b;
}

void releaseCursor(hDBICur cursor) noexcept { TBlobRegistry::instance().removeCursor(cursor); }

std::size_t liveBlobs() noexcept { return TBlobRegistry::instance().size(); }

}  // namespace blob

}  // namespace kbe
