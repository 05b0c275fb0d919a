// Directories and file look-ups: the Windows directory, the program directory,
// the current directory, and the file tests and path search of the library
// loader.
#pragma once

#include <string>

#include "platform/wintypes.h"

namespace kh::win {

// The Windows directory: $KBE_ROOT when it is set and not empty, otherwise
// ${XDG_CONFIG_HOME:-$HOME/.config}/keelbase. It holds the two registry hive
// files and the profile files named without a directory ("KBE.ini", "win.ini").
// Returned without a trailing '/'. Nothing is created by asking.
std::string windowsDirectory();

// Creates the Windows directory (and its parents, mode 0700) when it is
// missing. Returns ERROR_SUCCESS or the Windows error number of the failure.
DWORD createWindowsDirectory() noexcept;

// The program directory: $KEYHAVEN_HOME when it is set and not empty, otherwise
// the directory of the running executable. Without a trailing '/'.
std::string programDirectory();

// Windows conventions: when the path and its terminating zero fit into
// `bufferLength` characters the path is copied and its length (without the
// zero) is returned; otherwise the buffer is left alone and the size needed
// (with the zero) is returned. 0 with the last error set on failure.
DWORD GetCurrentDirectoryA(DWORD bufferLength, char* buffer) noexcept;

// The file a Windows file name stands for on this system. A module name
// ending in ".DLL" (any letter case) is the shared library "lib" + stem + ".so"
// in the same directory ("KBE3235.DLL" -> "libKBE3235.so",
// "/opt/kh/KBE3235.DLL" -> "/opt/kh/libKBE3235.so"); every other name is
// itself. fileExists, SearchPathA and LoadLibraryA all go through it, so the
// three agree on which file a module name means.
std::string hostFileName(const std::string& windowsName);

// Whether a directory entry of that name exists (file or directory), as
// FindFirstFileA finding it. Module names are mapped by hostFileName first.
bool fileExists(const std::string& path);

// Searches the directories of `path` (separated by ';' or ':'; empty entries
// are skipped; null means the program directory, then the current directory,
// then $PATH) for `fileName`, with `extension` (".xyz", may be null) appended
// when the file name has no extension of its own. A file name that begins
// with '/' is tested as it is. Module names are mapped by hostFileName, so
// searching for "KBE3235.DLL" finds ".../libKBE3235.so" and returns that path.
// Returns the length of the found path (without the zero) when it fits into
// `bufferLength`, else the size needed (with the zero) and the buffer is left
// alone; `filePart`, when not null, then points at the file name inside the
// buffer. 0 with ERROR_FILE_NOT_FOUND when nothing is found,
// ERROR_INVALID_PARAMETER for a null or empty file name.
DWORD SearchPathA(const char* path, const char* fileName, const char* extension,
                  DWORD bufferLength, char* buffer, char** filePart) noexcept;

// Creates `dir` and its missing parents with the given mode. Returns
// ERROR_SUCCESS or the Windows error number of the failure.
DWORD createDirectories(const std::string& dir, unsigned mode) noexcept;

// Windows error number for a C errno value of a file operation.
DWORD errorFromErrno(int err) noexcept;

}  // namespace kh::win
