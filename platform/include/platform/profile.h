// Profile (INI) files with the Windows semantics: "[section]" lines and
// "key=value" lines, section and key names compared without regard to letter
// case (Windows-1252), blanks around names and values ignored, a value in
// matching quotes (" or ') read without them. Lines starting with ';' are
// comments. The first section of a name and the first key of a name count.
//
// A file name without '/' means that file in the Windows directory
// (windowsDirectory()), as Windows does for "KBE.ini"; any other name is used
// as given. Files are read as bytes (Windows-1252 text) on every call, with
// CR LF or LF line ends, and written with CR LF: every other line and comment
// is kept, and the new file replaces the old one atomically (a sibling file is
// written, synced and renamed over it). Writers in one process are
// serialised; writers in different processes are not locked against each
// other, as on Windows.
//
// None of these functions throws.
#pragma once

#include <string>

#include "platform/wintypes.h"

namespace kh::win {

// The path a profile file name stands for (see above).
std::string profilePath(const char* fileName);

// Copies the value of `key` in `section` into `buffer` (`size` characters)
// and returns its length. When the key is missing the default is copied (null
// means ""), without its trailing blanks. A text that does not fit is cut to
// size - 1 characters and size - 1 is returned.
// Lists: with `section` null the names of all sections, with `key` null the
// names of all keys of the section, are copied as strings that each end in a
// zero, followed by one more zero; the result counts every character but the
// last zero. A list that does not fit is cut and ends in two zeros; the result
// is then size - 2. A missing file reads as an empty file. With a null buffer
// or a size of 0 nothing is copied and 0 is returned.
DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer,
                               DWORD size, LPCSTR fileName) noexcept;

// The value read as a decimal whole number with an optional sign; the leading
// digits count ("12abc" reads 12). A missing key, an empty value or a value
// that does not begin with a number gives `defaultValue`.
UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT defaultValue, LPCSTR fileName) noexcept;

// The list of section names, as GetPrivateProfileStringA with a null section.
DWORD GetPrivateProfileSectionNamesA(LPSTR buffer, DWORD size, LPCSTR fileName) noexcept;

// Sets `key` in `section` to `value`, replacing the first line of that key
// (which keeps the key's spelling) or adding a line at the end of the section;
// a missing section is added at the end of the file. A null value deletes the
// key; a null key deletes the section with all its lines. The file is created
// when missing (and, for a bare file name, the Windows directory as well).
// Returns FALSE with the last error set when the file cannot be written (for
// example ERROR_PATH_NOT_FOUND when its directory does not exist,
// ERROR_ACCESS_DENIED when it or its directory is read-only, or when an
// existing file cannot be read and so would be lost), or when a name or value
// holds a line break, a section name holds ']', or a key begins with '[' or
// ';' or holds '=' (ERROR_INVALID_PARAMETER): such text would change the
// file's structure. All three null only flushes, which has nothing to do.
BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR fileName) noexcept;

// The same over "win.ini" in the Windows directory.
DWORD GetProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer,
                        DWORD size) noexcept;
UINT GetProfileIntA(LPCSTR section, LPCSTR key, INT defaultValue) noexcept;
BOOL WriteProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value) noexcept;

}  // namespace kh::win
