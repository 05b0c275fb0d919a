#include "platform/sync.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace kh::win {

// ---------------------------------------------------------------------------
// Last error and error mode

namespace {
thread_local DWORD tLastError = ERROR_SUCCESS;
std::atomic<UINT> gErrorMode{0};
}  // namespace

DWORD GetLastError() noexcept { return tLastError; }
void SetLastError(DWORD error) noexcept { tLastError = error; }
UINT SetErrorMode(UINT mode) noexcept { return gErrorMode.exchange(mode); }
UINT GetErrorMode() noexcept { return gErrorMode.load(); }

// ---------------------------------------------------------------------------
// Mutexes

namespace {

struct MutexObject {
  std::mutex lock;
  std::condition_variable released;
  std::thread::id owner{};
  unsigned count = 0;
  bool abandoned = false;
  // Guarded by the object table's mutex.
  std::string name;
  std::size_t handles = 0;
};

struct ObjectTable {
  std::mutex mutex;
  std::map<UINT_PTR, std::shared_ptr<MutexObject>> handles;
  std::map<std::string, std::shared_ptr<MutexObject>> names;
  UINT_PTR nextHandle = 0x200;
};

ObjectTable& objects() {
  static ObjectTable* t = new ObjectTable;  // lives to the very end of the process
  return *t;
}

// Mutexes the current thread owns, released as abandoned when it ends.
struct OwnedMutexes {
  std::vector<std::weak_ptr<MutexObject>> owned;
  ~OwnedMutexes() {
    const auto me = std::this_thread::get_id();
    for (auto& w : owned) {
      if (auto m = w.lock()) {
        std::lock_guard lk(m->lock);
        if (m->owner == me) {
          m->owner = std::thread::id{};
          m->count = 0;
          m->abandoned = true;
          m->released.notify_one();
        }
      }
    }
  }
};
thread_local OwnedMutexes tOwned;

void noteOwned(const std::shared_ptr<MutexObject>& m) {
  try {
    tOwned.owned.push_back(m);
  } catch (const std::bad_alloc&) {
    // Only abandonment at thread end is lost; the mutex itself works.
  }
}

void noteReleased(const MutexObject* m) {
  auto& v = tOwned.owned;
  v.erase(std::remove_if(v.begin(), v.end(),
                         [m](const std::weak_ptr<MutexObject>& w) {
                           auto p = w.lock();
                           return !p || p.get() == m;
                         }),
          v.end());
}

HANDLE addHandle(ObjectTable& t, const std::shared_ptr<MutexObject>& m) {
  const UINT_PTR id = t.nextHandle;
  t.handles.emplace(id, m);
  t.nextHandle += 4;
  ++m->handles;
  return reinterpret_cast<HANDLE>(id);
}

std::shared_ptr<MutexObject> lookup(HANDLE h) {
  ObjectTable& t = objects();
  std::lock_guard lk(t.mutex);
  const auto it = t.handles.find(reinterpret_cast<UINT_PTR>(h));
  return it == t.handles.end() ? nullptr : it->second;
}

}  // namespace

HANDLE CreateMutexA(const void*, BOOL initialOwner, LPCSTR name) noexcept {
  try {
    ObjectTable& t = objects();
    std::lock_guard lk(t.mutex);
    const bool named = name && *name;
    if (named) {
      if (const auto it = t.names.find(name); it != t.names.end()) {
        HANDLE h = addHandle(t, it->second);
        SetLastError(ERROR_ALREADY_EXISTS);
        return h;
      }
    }
    auto m = std::make_shared<MutexObject>();
    if (named) m->name = name;
    if (initialOwner) {
      m->owner = std::this_thread::get_id();
      m->count = 1;
    }
    if (named) t.names.emplace(m->name, m);
    HANDLE h = addHandle(t, m);
    if (initialOwner) noteOwned(m);
    SetLastError(ERROR_SUCCESS);
    return h;
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

HANDLE CreateMutexA(LPCSTR name, BOOL initialOwner) noexcept { return CreateMutexA(nullptr, initialOwner, name); }

HANDLE OpenMutexA(DWORD, BOOL, LPCSTR name) noexcept {
  try {
    if (!name || !*name) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    ObjectTable& t = objects();
    std::lock_guard lk(t.mutex);
    const auto it = t.names.find(name);
    if (it == t.names.end()) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return nullptr;
    }
    return addHandle(t, it->second);
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) noexcept {
  try {
    const auto m = lookup(handle);
    if (!m) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    const auto me = std::this_thread::get_id();
    std::unique_lock lk(m->lock);
    if (m->owner == me) {
      ++m->count;
      return WAIT_OBJECT_0;
    }
    const auto free = [&] { return m->owner == std::thread::id{}; };
    if (milliseconds == INFINITE) {
      m->released.wait(lk, free);
    } else if (!m->released.wait_for(lk, std::chrono::milliseconds(milliseconds), free)) {
      return WAIT_TIMEOUT;
    }
    m->owner = me;
    m->count = 1;
    const bool abandoned = m->abandoned;
    m->abandoned = false;
    lk.unlock();
    noteOwned(m);
    return abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return WAIT_FAILED;
  }
}

BOOL ReleaseMutex(HANDLE handle) noexcept {
  try {
    const auto m = lookup(handle);
    if (!m) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    std::unique_lock lk(m->lock);
    if (m->owner != std::this_thread::get_id()) {
      SetLastError(ERROR_NOT_OWNER);
      return FALSE;
    }
    if (--m->count == 0) {
      m->owner = std::thread::id{};
      m->released.notify_one();
      lk.unlock();
      noteReleased(m.get());
    }
    return TRUE;
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
}

BOOL CloseHandle(HANDLE handle) noexcept {
  std::shared_ptr<MutexObject> last;  // destroyed after the table lock is left
  ObjectTable& t = objects();
  std::lock_guard lk(t.mutex);
  const auto it = t.handles.find(reinterpret_cast<UINT_PTR>(handle));
  if (it == t.handles.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  last = std::move(it->second);
  t.handles.erase(it);
  if (--last->handles == 0 && !last->name.empty()) t.names.erase(last->name);
  return TRUE;
}

// ---------------------------------------------------------------------------
// Critical sections

void InitializeCriticalSection(CRITICAL_SECTION*) noexcept {}
void EnterCriticalSection(CRITICAL_SECTION* section) noexcept { section->mutex.lock(); }
BOOL TryEnterCriticalSection(CRITICAL_SECTION* section) noexcept {
  return section->mutex.try_lock() ? TRUE : FALSE;
}
void LeaveCriticalSection(CRITICAL_SECTION* section) noexcept { section->mutex.unlock(); }
void DeleteCriticalSection(CRITICAL_SECTION*) noexcept {}

}  // namespace kh::win
