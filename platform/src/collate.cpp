#include "platform/collate.h"

#include <unicode/ucol.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <array>
#include <cstdlib>
#include <mutex>

#include "platform/ansi.h"

namespace kh {

std::string collationLocaleFor(std::string_view name) {
  std::size_t cut = name.find_first_of(".@");
  std::string base(name.substr(0, cut));
  if (base.empty() || base == "C" || base == "POSIX") return "en_US";
  return base;
}

std::string collationLocale() {
  static const std::string locale = [] {
    for (const char* var : {"LC_ALL", "LC_COLLATE", "LANG"}) {
      const char* v = std::getenv(var);
      if (v && *v) return collationLocaleFor(v);
    }
    return std::string("en_US");
  }();
  return locale;
}

namespace {

// One collator per flag set, made on first use and kept for the process.
UCollator* collatorFor(unsigned flags) {
  static std::array<std::once_flag, 16> once;
  static std::array<UCollator*, 16> collators{};
  const unsigned slot = flags & 15u;
  std::call_once(once[slot], [slot] {
    UErrorCode status = U_ZERO_ERROR;
    UCollator* c = ucol_open(collationLocale().c_str(), &status);
    if (U_FAILURE(status)) {
      if (c) ucol_close(c);
      status = U_ZERO_ERROR;
      c = ucol_open("", &status);
      if (U_FAILURE(status)) {
        if (c) ucol_close(c);
        return;
      }
    }
    // Case, width and kana differences are removed from the texts beforehand
    // (see prepare) when they are to be ignored; every difference left must then
    // count. Some locales (Japanese) weigh kana type and width only at the last
    // levels, hence the identical strength: texts equal at every level but for
    // code points (such as ignorable control characters) are still ordered.
    ucol_setAttribute(c, UCOL_STRENGTH, UCOL_IDENTICAL, &status);
    ucol_setAttribute(c, UCOL_NORMALIZATION_MODE, UCOL_ON, &status);
    ucol_setAttribute(c, UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
    if (U_FAILURE(status)) {
      ucol_close(c);
      return;
    }
    collators[slot] = c;
  });
  return collators[slot];
}

std::u16string fromUtf8(std::string_view s) {
  std::u16string out(s.size(), u'\0');
  if (s.empty()) return out;
  UErrorCode status = U_ZERO_ERROR;
  int32_t len = 0;
  u_strFromUTF8WithSub(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()), &len,
                       s.data(), static_cast<int32_t>(s.size()), 0xFFFD, nullptr, &status);
  if (U_FAILURE(status)) return {};
  out.resize(static_cast<std::size_t>(len));
  return out;
}

bool isWidthForm(UChar32 c) { return c == 0x3000 || (c >= 0xFF01 && c <= 0xFFEE); }

// Half-width and full-width forms become their ordinary characters, joined with
// a following voiced sound mark where one exists (half-width ｶﾞ becomes ガ).
std::u16string foldWidth(const std::u16string& s) {
  UErrorCode status = U_ZERO_ERROR;
  const UNormalizer2* nfkc = unorm2_getNFKCInstance(&status);
  const UNormalizer2* nfc = unorm2_getNFCInstance(&status);
  if (U_FAILURE(status)) return s;
  std::u16string out;
  out.reserve(s.size());
  bool changed = false;
  for (std::size_t i = 0; i < s.size();) {
    UChar32 c;
    std::size_t start = i;
    U16_NEXT(s.data(), i, s.size(), c);
    if (isWidthForm(c)) {
      UChar buf[8];
      UErrorCode st = U_ZERO_ERROR;
      int32_t n = unorm2_getDecomposition(nfkc, c, buf, 8, &st);
      if (U_SUCCESS(st) && n > 0) {
        out.append(reinterpret_cast<const char16_t*>(buf), static_cast<std::size_t>(n));
        changed = true;
        continue;
      }
    }
    out.append(s, start, i - start);
  }
  if (!changed) return out;
  std::u16string composed(out.size() + 8, u'\0');
  status = U_ZERO_ERROR;
  int32_t n = unorm2_normalize(nfc, reinterpret_cast<const UChar*>(out.data()),
                               static_cast<int32_t>(out.size()),
                               reinterpret_cast<UChar*>(composed.data()),
                               static_cast<int32_t>(composed.size()), &status);
  if (U_FAILURE(status)) return out;
  composed.resize(static_cast<std::size_t>(n));
  return composed;
}

// Katakana become the hiragana of the same sound.
void foldKana(std::u16string& s) {
  for (char16_t& c : s) {
    if (c >= 0x30A1 && c <= 0x30F6) c = static_cast<char16_t>(c - 0x60);
    else if (c == 0x30FD || c == 0x30FE) c = static_cast<char16_t>(c - 0x60);
  }
}

std::u16string foldCase(const std::u16string& s) {
  if (s.empty()) return s;
  std::u16string out(s.size() * 3 + 1, u'\0');
  UErrorCode status = U_ZERO_ERROR;
  int32_t n = u_strFoldCase(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()),
                            reinterpret_cast<const UChar*>(s.data()), static_cast<int32_t>(s.size()),
                            U_FOLD_CASE_DEFAULT, &status);
  if (U_FAILURE(status)) return s;
  out.resize(static_cast<std::size_t>(n));
  return out;
}

std::u16string prepare(std::u16string_view text, unsigned flags) {
  std::u16string s(text);
  if (flags & kIgnoreWidth) s = foldWidth(s);
  if (flags & kIgnoreKanaType) foldKana(s);
  if (flags & kIgnoreCase) s = foldCase(s);
  return s;
}

std::u16string withoutHyphens(const std::u16string& s) {
  std::u16string out;
  out.reserve(s.size());
  for (char16_t c : s)
    if (c != u'-' && c != u'\'') out.push_back(c);
  return out;
}

int collate(UCollator* c, const std::u16string& a, const std::u16string& b) {
  if (!c) {  // no collator at all: code point order
    int r = a.compare(b);
    return r < 0 ? -1 : r > 0 ? 1 : 0;
  }
  UCollationResult r = ucol_strcoll(c, reinterpret_cast<const UChar*>(a.data()),
                                    static_cast<int32_t>(a.size()),
                                    reinterpret_cast<const UChar*>(b.data()),
                                    static_cast<int32_t>(b.size()));
  return r == UCOL_LESS ? -1 : r == UCOL_GREATER ? 1 : 0;
}

}  // namespace

int compareStringLocale16(std::u16string_view a, std::u16string_view b, unsigned flags) {
  UCollator* c = collatorFor(flags);
  std::u16string x = prepare(a, flags), y = prepare(b, flags);
  if (!(flags & kStringSort)) {
    int r = collate(c, withoutHyphens(x), withoutHyphens(y));
    if (r != 0) return r;
  }
  return collate(c, x, y);
}

int compareStringLocale(std::string_view a, std::string_view b, unsigned flags) {
  return compareStringLocale16(fromUtf8(a), fromUtf8(b), flags);
}

int compareStringLocaleAnsi(std::string_view a, std::string_view b, unsigned flags) {
  return compareStringLocale16(ansiToUtf16(a), ansiToUtf16(b), flags);
}

}  // namespace kh
