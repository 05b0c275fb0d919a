// Mutexes, critical sections and interlocked counters.
//
// Mutexes are process-wide objects: recursive, owned by a thread, reached
// through handles. A named mutex is found again by its exact (case-sensitive)
// name while at least one handle to it is open; the name is forgotten when its
// last handle is closed. A thread that ends while it owns a mutex abandons it:
// the next thread that waits for it gets it with WAIT_ABANDONED.
//
// None of these functions throws.
#pragma once

#include <atomic>
#include <mutex>

#include "platform/wintypes.h"

namespace kh::win {

constexpr DWORD SYNCHRONIZE = 0x00100000;
constexpr DWORD MUTEX_MODIFY_STATE = 0x0001;
constexpr DWORD MUTEX_ALL_ACCESS = 0x001F0001;

constexpr DWORD WAIT_OBJECT_0 = 0x00000000;
constexpr DWORD WAIT_ABANDONED = 0x00000080;
constexpr DWORD WAIT_TIMEOUT = 0x00000102;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

// Creates a mutex, or opens the existing one of that name (then the last
// error is ERROR_ALREADY_EXISTS and `initialOwner` is ignored; otherwise it is
// ERROR_SUCCESS). With `initialOwner` the calling thread owns a new mutex.
// Security attributes are accepted and ignored. Null on failure.
HANDLE CreateMutexA(const void* securityAttributes, BOOL initialOwner, LPCSTR name) noexcept;
// The same without security attributes.
HANDLE CreateMutexA(LPCSTR name, BOOL initialOwner) noexcept;

// A new handle to the existing mutex of that name; null with
// ERROR_FILE_NOT_FOUND when there is none.
HANDLE OpenMutexA(DWORD desiredAccess, BOOL inheritHandle, LPCSTR name) noexcept;

// Waits until the calling thread owns the mutex (at once when it already
// does: ownership is counted) or `milliseconds` have passed (INFINITE: no
// limit). WAIT_OBJECT_0, WAIT_ABANDONED, WAIT_TIMEOUT, or WAIT_FAILED with
// ERROR_INVALID_HANDLE.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) noexcept;

// Gives up one level of ownership. FALSE with ERROR_NOT_OWNER when the
// calling thread does not own the mutex, ERROR_INVALID_HANDLE for an unknown
// handle.
BOOL ReleaseMutex(HANDLE handle) noexcept;

// Closes a handle (ownership is not affected). FALSE with
// ERROR_INVALID_HANDLE for an unknown handle. Handles are never reused.
BOOL CloseHandle(HANDLE handle) noexcept;

// A recursive lock within the process. The lock lives as long as the
// structure; Initialize and Delete mark the start and end of its use and
// cost nothing, so a section may be initialised again after deletion.
struct CRITICAL_SECTION {
  std::recursive_mutex mutex;
};
void InitializeCriticalSection(CRITICAL_SECTION* section) noexcept;
void EnterCriticalSection(CRITICAL_SECTION* section) noexcept;
BOOL TryEnterCriticalSection(CRITICAL_SECTION* section) noexcept;
void LeaveCriticalSection(CRITICAL_SECTION* section) noexcept;
void DeleteCriticalSection(CRITICAL_SECTION* section) noexcept;

// Atomic increment and decrement; return the new value.
inline LONG InterlockedIncrement(volatile LONG* target) noexcept {
  const LONG old = std::atomic_ref<LONG>(*const_cast<LONG*>(target)).fetch_add(1);
  return static_cast<LONG>(static_cast<ULONG>(old) + 1u);
}
inline LONG InterlockedDecrement(volatile LONG* target) noexcept {
  const LONG old = std::atomic_ref<LONG>(*const_cast<LONG*>(target)).fetch_sub(1);
  return static_cast<LONG>(static_cast<ULONG>(old) - 1u);
}

}  // namespace kh::win
