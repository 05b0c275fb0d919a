// The system's ANSI code page, Windows-1252, and its conversions to and from
// Unicode. Text Windows-1252 cannot hold is refused, never replaced.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kh {

// Every byte has a character: the five bytes Windows-1252 leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the control characters of the same
// number, so any byte string survives a round trip.
std::string ansiToUtf8(std::string_view ansi);
std::u16string ansiToUtf16(std::string_view ansi);

// The Windows-1252 byte of a character, or -1 when it has none.
int unicodeToAnsi(char32_t c);
bool isAnsiRepresentable(char32_t c);

// Convert to Windows-1252. On failure (a character without a Windows-1252 byte, or
// malformed input: an invalid, overlong or truncated UTF-8 sequence, an encoded
// surrogate, an unpaired UTF-16 surrogate) they return false, clear `out` and
// report where the offending character starts: a byte offset into the UTF-8 text,
// a code unit index into the UTF-16 text.
bool utf8ToAnsi(std::string_view utf8, std::string& out, std::size_t* badOffset = nullptr);
bool utf16ToAnsi(std::u16string_view utf16, std::string& out, std::size_t* badIndex = nullptr);

// Reads one code point of UTF-8 at `pos`; returns its length in bytes, or 0 when
// the bytes there are not well-formed UTF-8 (then `cp` is unspecified).
std::size_t decodeUtf8(std::string_view s, std::size_t pos, char32_t& cp);
void appendUtf8(std::string& out, char32_t cp);

}  // namespace kh
