// Handle validation. Every handle the engine gives out is the address of a
// live engine object; besides its class, the engine records each live handle
// with its kind, so a stale or foreign pointer is refused instead of followed.
#pragma once

namespace kbe {

enum class HandleKind { Session, Workspace, Database, Cursor, Statement, InfoCursor };

// Records `object` as a live handle of `kind` (replacing any earlier kind).
void registerHandle(const void* object, HandleKind kind) noexcept;
// Forgets `object`; called when the object behind a handle is destroyed.
void unregisterHandle(const void* object) noexcept;
// True when `handle` is a live handle of `kind`.
bool isHandle(const void* handle, HandleKind kind) noexcept;

// The object behind a live handle of `kind`, or null.
template <class T>
T* handleAs(void* handle, HandleKind kind) noexcept {
  return isHandle(handle, kind) ? static_cast<T*>(handle) : nullptr;
}

}  // namespace kbe
