// The registry: HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER, each kept as a hive
// file in the Windows directory (windowsDirectory()): "HKLM.reg" and
// "HKCU.reg".
//
// Keys are addressed by paths of names separated by '\'. Names compare without
// regard to letter case (Windows-1252) and keep the case they were created
// with. Subkeys and values enumerate in creation order.
//
// Hive file format (plain ASCII text, lines end in LF, CR LF is accepted):
//
//   ; comment
//   [Software\Corvane\Keelbase\KBEPI]
//   "DLLPATH"=sz:"/opt/keyhaven/lib;/usr/lib/keyhaven"
//   "Count"=dword:0000002a
//   "Blob"=hex:01,ff,00
//   "Home"=expand_sz:"%HOME%\\data"
//   "List"=multi_sz:"one","two"
//   @=sz:"the key's default value"
//   "Other"=hex(11):01,00,00,00,00,00,00,00
//
// Every key has its own header line, parents before children, so empty keys
// and the order of subkeys survive. In a header a byte outside printable ASCII
// and the characters '%', '[' and ']' are written %HH. Value names and string
// data are quoted; in them '\\', '\"', '\n', '\r', '\t' and '\xHH' (any other
// control byte and every byte above 0x7E) are escapes. Data that is not a
// well-formed instance of its type is written as hex(type), so every value
// keeps its bytes exactly.
//
// Files are replaced atomically: a writer takes an exclusive flock on the
// sibling "<hive>.lock", reads the current file again, applies its change,
// writes "<hive>.tmp", syncs it, renames it over the hive and unlocks, so
// concurrent writers (threads or processes) never lose each other's changes.
// Readers see the current file: it is parsed again whenever its identity
// (device, inode, size, modification time) has changed.
//
// A hive file that cannot be parsed is never overwritten: every operation on
// that root fails with ERROR_BADDB (and one line naming the file and the
// offending line goes to standard error) until the file is repaired or removed.
//
// Access rights are checked as Windows checks them: querying or enumerating
// values needs KEY_QUERY_VALUE, setting or deleting values KEY_SET_VALUE,
// enumerating subkeys KEY_ENUMERATE_SUB_KEYS, creating subkeys
// KEY_CREATE_SUB_KEY; otherwise ERROR_ACCESS_DENIED. The predefined roots have
// every right. Open the key with KEY_READ | KEY_WRITE (or KEY_ALL_ACCESS) to
// both read and write through one handle.
//
// Every function returns ERROR_SUCCESS or a Windows error number (LONG), and
// never throws.
#pragma once

#include <string>

#include "platform/wintypes.h"

namespace kh::win {

inline const HKEY HKEY_CURRENT_USER = reinterpret_cast<HKEY>(static_cast<UINT_PTR>(0x80000001u));
inline const HKEY HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(static_cast<UINT_PTR>(0x80000002u));

// Access rights.
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_CREATE_LINK = 0x0020;
constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
constexpr REGSAM KEY_READ = 0x00020019;
constexpr REGSAM KEY_WRITE = 0x00020006;
constexpr REGSAM KEY_EXECUTE = KEY_READ;
constexpr REGSAM KEY_ALL_ACCESS = 0x000F003F;

// Value types.
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
constexpr DWORD REG_LINK = 6;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_QWORD = 11;

// RegCreateKeyExA options and dispositions. Volatile keys are kept like
// every other key.
constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_OPTION_VOLATILE = 1;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Opens `subKey` (null or "" opens a new handle to `key` itself) below an open
// key or a predefined root. A missing key gives ERROR_FILE_NOT_FOUND; a path
// that begins with '\' or holds an empty name gives ERROR_BAD_PATHNAME.
LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM samDesired, HKEY* result) noexcept;

// Opens `subKey`, creating it and every missing key on its path. `disposition`
// (may be null) tells whether the key was created. Class and security
// attributes are accepted and ignored. Creating needs KEY_CREATE_SUB_KEY on
// `key`.
LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options,
                     REGSAM samDesired, const void* securityAttributes, HKEY* result,
                     DWORD* disposition) noexcept;

// Closes a handle. Closing a predefined root does nothing and succeeds.
LONG RegCloseKey(HKEY key) noexcept;

// Reads a value (null or "" names the key's default value). `type` and `data`
// may be null. With `data` null and `dataSize` not null, the size is returned.
// When the buffer is smaller than the data, *dataSize receives the size needed
// and the result is ERROR_MORE_DATA. The size of REG_SZ and REG_EXPAND_SZ data
// counts their terminating zero. A missing value gives ERROR_FILE_NOT_FOUND.
LONG RegQueryValueExA(HKEY key, LPCSTR valueName, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* dataSize) noexcept;

// Writes a value, replacing one of the same name (which keeps its place and
// the case of its name). REG_SZ and REG_EXPAND_SZ data are stored up to their
// first zero byte plus one terminating zero, so a reader always finds a
// terminated string; REG_MULTI_SZ data is given its closing zeros when they
// are missing. Other data is stored as given.
LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD dataSize) noexcept;

// Enumerates subkeys by index in creation order. `nameSize` holds the size of
// `name` in characters (with the terminating zero) and receives the name's
// length (without it). A name that does not fit gives ERROR_MORE_DATA; an
// index past the end ERROR_NO_MORE_ITEMS. The class is always empty and the
// write time is the hive file's modification time.
LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, DWORD* nameSize, DWORD* reserved,
                   LPSTR keyClass, DWORD* classSize, FILETIME* lastWriteTime) noexcept;

// Enumerates values by index in creation order. Name buffer as in
// RegEnumKeyExA; data as in RegQueryValueExA. A name or data buffer that is
// too small gives ERROR_MORE_DATA (with *dataSize set to the size needed).
LONG RegEnumValueA(HKEY key, DWORD index, LPSTR valueName, DWORD* valueNameSize, DWORD* reserved,
                   DWORD* type, BYTE* data, DWORD* dataSize) noexcept;

// Deletes a value; a missing one gives ERROR_FILE_NOT_FOUND.
LONG RegDeleteValueA(HKEY key, LPCSTR valueName) noexcept;

// Deletes a key that has no subkeys (ERROR_ACCESS_DENIED otherwise). "" deletes
// the key of `key` itself; a predefined root cannot be deleted.
LONG RegDeleteKeyA(HKEY key, LPCSTR subKey) noexcept;

// Counts and maximum lengths of a key (any pointer may be null). Name lengths
// are in characters without the zero, data lengths in bytes.
LONG RegQueryInfoKeyA(HKEY key, LPSTR keyClass, DWORD* classSize, DWORD* reserved,
                      DWORD* subKeys, DWORD* maxSubKeyLen, DWORD* maxClassLen, DWORD* values,
                      DWORD* maxValueNameLen, DWORD* maxValueLen, DWORD* securityDescriptor,
                      FILETIME* lastWriteTime) noexcept;

// Path of the hive file behind a predefined root in the current Windows
// directory; empty for anything else.
std::string registryHivePath(HKEY root);

}  // namespace kh::win
