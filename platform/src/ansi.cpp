#include "platform/ansi.h"

#include <cstdint>
#include <utility>

namespace kh {
namespace {

// Windows-1252 bytes 0x80-0x9F; the undefined ones map to the C1 control of the
// same number. Every other byte is its own Unicode code point.
constexpr char16_t kHighTable[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

char16_t ansiChar(unsigned char b) {
  return (b >= 0x80 && b <= 0x9F) ? kHighTable[b - 0x80] : char16_t{b};
}

}  // namespace

int unicodeToAnsi(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
  for (int i = 0; i < 32; ++i)
    if (kHighTable[i] == c) return 0x80 + i;
  return -1;
}

bool isAnsiRepresentable(char32_t c) { return unicodeToAnsi(c) >= 0; }

std::string ansiToUtf8(std::string_view ansi) {
  std::string out;
  out.reserve(ansi.size());
  for (char ch : ansi) appendUtf8(out, ansiChar(static_cast<unsigned char>(ch)));
  return out;
}

std::u16string ansiToUtf16(std::string_view ansi) {
  std::u16string out;
  out.reserve(ansi.size());
  for (char ch : ansi) out.push_back(ansiChar(static_cast<unsigned char>(ch)));
  return out;
}

std::size_t decodeUtf8(std::string_view s, std::size_t pos, char32_t& cp) {
  if (pos >= s.size()) return 0;
  auto at = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  unsigned char b0 = at(pos);
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  std::size_t len;
  char32_t min;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2;
    min = 0x80;
    cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3;
    min = 0x800;
    cp = b0 & 0x0F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4;
    min = 0x10000;
    cp = b0 & 0x07;
  } else {
    return 0;
  }
  if (s.size() - pos < len) return 0;
  for (std::size_t i = 1; i < len; ++i) {
    unsigned char b = at(pos + i);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

bool utf8ToAnsi(std::string_view utf8, std::string& out, std::size_t* badOffset) {
  std::string result;
  result.reserve(utf8.size());
  for (std::size_t pos = 0; pos < utf8.size();) {
    char32_t cp = 0;
    std::size_t len = decodeUtf8(utf8, pos, cp);
    int b = len ? unicodeToAnsi(cp) : -1;
    if (b < 0) {
      if (badOffset) *badOffset = pos;
      out.clear();
      return false;
    }
    result.push_back(static_cast<char>(b));
    pos += len;
  }
  out = std::move(result);
  return true;
}

bool utf16ToAnsi(std::u16string_view utf16, std::string& out, std::size_t* badIndex) {
  std::string result;
  result.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char16_t u = utf16[i];
    // Surrogates are never representable, paired or not; any lone one is malformed.
    int b = (u >= 0xD800 && u <= 0xDFFF) ? -1 : unicodeToAnsi(u);
    if (b < 0) {
      if (badIndex) *badIndex = i;
      out.clear();
      return false;
    }
    result.push_back(static_cast<char>(b));
  }
  out = std::move(result);
  return true;
}

}  // namespace kh
