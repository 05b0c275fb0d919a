// The basic Win32 types, error numbers and per-thread error state that the
// registry, profile, module, directory and synchronisation stand-ins share.
//
// Everything lives in namespace kh::win so that code written after a Win32
// algorithm keeps its shape: `kh::win::RegOpenKeyExA(...)` reads as the call
// it stands for. Handles are pointer-sized and opaque.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kh::win {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using UINT = unsigned int;
using INT = int;
using BOOL = int;
using INT_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using REGSAM = DWORD;
using LPSTR = char*;
using LPCSTR = const char*;

// Opaque handle kinds. Each is a distinct pointer type so that a registry key
// cannot be passed where a module is expected.
using HANDLE = void*;
struct HKEY__;
using HKEY = HKEY__*;
struct HMODULE__;
using HMODULE = HMODULE__*;
using HINSTANCE = HMODULE;

// Address of an exported function; cast it to the function's real type with
// reinterpret_cast. (The generic function pointer type, so such casts pass
// -Wcast-function-type.)
using FARPROC = void (*)();

#if !defined(TRUE)
constexpr BOOL TRUE = 1;
#endif
#if !defined(FALSE)
constexpr BOOL FALSE = 0;
#endif

constexpr DWORD MAX_PATH = 260;
constexpr DWORD INFINITE = 0xFFFFFFFFu;

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

// System error numbers, as GetLastError reports them.
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_BAD_FORMAT = 11;
constexpr DWORD ERROR_OUTOFMEMORY = 14;
constexpr DWORD ERROR_WRITE_FAULT = 29;
constexpr DWORD ERROR_READ_FAULT = 30;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;
constexpr DWORD ERROR_BAD_PATHNAME = 161;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_BAD_EXE_FORMAT = 193;
constexpr DWORD ERROR_FILE_TOO_LARGE = 223;
constexpr DWORD ERROR_MORE_DATA = 234;
constexpr DWORD ERROR_NO_MORE_ITEMS = 259;
constexpr DWORD ERROR_NOT_OWNER = 288;
// The registry's own: a hive file that cannot be parsed ("The configuration
// registry database is corrupt"), and a key deleted while a handle to it is open.
constexpr DWORD ERROR_BADDB = 1009;
constexpr DWORD ERROR_KEY_DELETED = 1018;

// The calling thread's last error. Every function of this layer that fails
// sets it; functions documented to do so also set it on success.
DWORD GetLastError() noexcept;
void SetLastError(DWORD error) noexcept;

// Process error mode. Nothing in this layer shows dialogs, so the mode is only
// stored; SetErrorMode returns the previous mode, as Windows does.
constexpr UINT SEM_FAILCRITICALERRORS = 0x0001;
constexpr UINT SEM_NOGPFAULTERRORBOX = 0x0002;
constexpr UINT SEM_NOOPENFILEERRORBOX = 0x8000;
UINT SetErrorMode(UINT mode) noexcept;
UINT GetErrorMode() noexcept;

// Letter case in the ANSI code page (Windows-1252), as the registry and the
// profile functions compare names: ASCII letters and the accented letters of
// Windows-1252 fold to their capitals; every other byte stays as it is.
constexpr char ansiUpper(char c) noexcept {
  const auto b = static_cast<unsigned char>(c);
  if (b >= 'a' && b <= 'z') return static_cast<char>(b - 0x20);
  if (b >= 0xE0 && b <= 0xFE && b != 0xF7) return static_cast<char>(b - 0x20);
  switch (b) {
    case 0x9A: return static_cast<char>(0x8A);  // s caron
    case 0x9C: return static_cast<char>(0x8C);  // oe
    case 0x9E: return static_cast<char>(0x8E);  // z caron
    case 0xFF: return static_cast<char>(0x9F);  // y diaeresis
    default: return c;
  }
}

inline std::string ansiUpperString(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = ansiUpper(c);
  return out;
}

constexpr bool ansiEqualNoCase(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (ansiUpper(a[i]) != ansiUpper(b[i])) return false;
  return true;
}

}  // namespace kh::win
