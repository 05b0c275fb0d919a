// Loading shared libraries as Windows loads modules.
//
// Names: a name ending in ".DLL" (any letter case) stands for the shared
// library "lib" + stem + ".so" (see hostFileName in dirs.h): "KBE3235.DLL" is
// "libKBE3235.so", "/opt/kh/KBE3235.DLL" is "/opt/kh/libKBE3235.so". A name
// with a '/' loads that file; a bare name goes through the system search of
// shared libraries (the calling program's RUNPATH, LD_LIBRARY_PATH, the
// system directories).
//
// Every loaded module is kept in one process-wide table with a reference
// count, under its Windows name: the file name of the library with the
// mapping undone ("libKBE3235.so" is "KBE3235.DLL"). Loading a module that is
// already loaded (by any name or path that reaches the same file) takes one
// more reference to the same handle. Handles are never reused, so a freed
// handle is reported as unknown.
//
// Failures set the last error:
//   ERROR_FILE_NOT_FOUND   the file of a path does not exist
//   ERROR_PATH_NOT_FOUND   a directory on the path does not exist
//   ERROR_MOD_NOT_FOUND    a bare name that the search does not find, or a
//                          library that a module needs is missing
//   ERROR_BAD_PATHNAME     an empty or malformed name (ending in '/', an empty
//                          stem as in ".DLL", too long)
//   ERROR_ACCESS_DENIED    the file cannot be read, or is a directory
//   ERROR_BAD_EXE_FORMAT   the file is no loadable library
//   ERROR_PROC_NOT_FOUND   a module needs a symbol that nothing provides
//   ERROR_OUTOFMEMORY      memory ran out
//   ERROR_INVALID_PARAMETER a null name
//
// None of these functions throws.
#pragma once

#include <string>

#include "platform/wintypes.h"

namespace kh::win {

HMODULE LoadLibraryA(LPCSTR name) noexcept;

// The module already loaded under that Windows name (its directory, if any,
// is ignored; "libX.so" and "X.DLL" are the same name), without taking a
// reference; null with ERROR_MOD_NOT_FOUND when none is.
HMODULE GetModuleHandleA(LPCSTR name) noexcept;

// An export of the module. By name: the function of that name defined by the
// module itself (symbols of the libraries it uses do not count). By ordinal,
// when `name` is a value below 0x10000 (made with ordinalName): the module's
// own `extern "C" void* KBEProcByOrdinal(unsigned ordinal)` is asked for the
// address in that slot. Null with ERROR_PROC_NOT_FOUND when there is no such
// export (or no KBEProcByOrdinal, or it answers null), ERROR_INVALID_HANDLE
// for an unknown module.
FARPROC GetProcAddress(HMODULE module, LPCSTR name) noexcept;

// Drops one reference; the library is unloaded with the last one. FALSE with
// ERROR_INVALID_HANDLE for a handle that is not (or no longer) loaded.
BOOL FreeLibrary(HMODULE module) noexcept;

// Full path of the library file of a loaded module; empty for an unknown one.
std::string moduleFileName(HMODULE module);

// The "name" that asks GetProcAddress for an ordinal (MAKEINTRESOURCE).
inline LPCSTR ordinalName(unsigned ordinal) noexcept {
  return reinterpret_cast<LPCSTR>(static_cast<UINT_PTR>(ordinal & 0xFFFFu));
}
inline bool isOrdinalName(LPCSTR name) noexcept {
  return reinterpret_cast<UINT_PTR>(name) < 0x10000u;
}

}  // namespace kh::win
