#include "jetfunctions.h"

#include <sqlcipher/sqlite3.h>
#include <unicode/uchar.h>
#include <unicode/ucol.h>
#include <unicode/uset.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "platform/ansi.h"
#include "platform/collate.h"
#include "platform/oledate.h"

namespace kh::store::jet {

// ===========================================================================
// Text helpers
// ===========================================================================

namespace {

// The code point at byte `i` of `s` and its length in bytes; a malformed
// byte reads as U+FFFD, one byte long.
std::size_t codePointAt(std::string_view s, std::size_t i, char32_t& cp) {
  const auto byte = static_cast<unsigned char>(s[i]);
  if (byte < 0x80) {
    cp = byte;
    return 1;
  }
  const std::size_t n = kh::decodeUtf8(s, i, cp);
  if (n != 0) return n;
  cp = 0xFFFD;
  return 1;
}

// Decodes UTF-8 into code points; a malformed byte becomes U+FFFD.
std::u32string decode(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    char32_t cp = 0;
    i += codePointAt(s, i, cp);
    out.push_back(cp);
  }
  return out;
}

std::string encode(std::u32string_view s) {
  std::string out;
  out.reserve(s.size());
  for (char32_t c : s) kh::appendUtf8(out, c);
  return out;
}

char32_t upperCase(char32_t c) { return static_cast<char32_t>(u_toupper(static_cast<UChar32>(c))); }
char32_t lowerCase(char32_t c) { return static_cast<char32_t>(u_tolower(static_cast<UChar32>(c))); }

bool asciiIEquals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view trimBlanks(std::string_view s) {
  while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
  return s;
}

// Round half to even, as Jet's conversions and Round do.
double roundHalfEven(double x) {
  double r = std::floor(x);
  double diff = x - r;
  if (diff > 0.5 || (diff == 0.5 && std::fmod(r, 2.0) != 0.0)) r += 1.0;
  return r;
}

constexpr double kInt64Limit = 9223372036854775808.0;  // 2^63

bool fitsInt64(double x) { return x >= -kInt64Limit && x < kInt64Limit; }

}  // namespace

char32_t foldCase(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
  return static_cast<char32_t>(u_foldCase(static_cast<UChar32>(c), U_FOLD_CASE_DEFAULT));
}

std::string foldCase(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t cp = 0;
    std::size_t n = kh::decodeUtf8(utf8, i, cp);
    if (n == 0) {
      out.push_back(utf8[i]);
      ++i;
      continue;
    }
    kh::appendUtf8(out, foldCase(cp));
    i += n;
  }
  return out;
}

std::string numberText(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-Inf" : "Inf";
  if (value == 0.0) return "0";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15G", value);
  return buf;
}

// ===========================================================================
// Date text
// ===========================================================================

namespace {

int monthFromName(std::string_view w) {
  static const char* const names[12] = {"january", "february", "march",     "april",   "may",      "june",
                                        "july",    "august",   "september", "october", "november", "december"};
  if (w.size() < 3) return 0;
  for (int m = 0; m < 12; ++m) {
    std::string_view full = names[m];
    if (w.size() > full.size()) continue;
    if (asciiIEquals(w, full.substr(0, w.size())) && (w.size() == 3 || w.size() == full.size() ||
                                                       (m == 8 && w.size() == 4)))  // "Sept"
      return m + 1;
  }
  return 0;
}

int currentYear() {
  DateTimeParts p;
  if (kh::oleDateToParts(kh::oleDateToday(), p)) return p.year;
  return 2000;
}

int expandYear(int year, int digits) {
  if (digits <= 2 && year < 100) return year < 30 ? 2000 + year : 1900 + year;
  return year;
}

}  // namespace

bool parseDateText(std::string_view text, double& oleDate) {
  struct Tok {
    enum Kind { Num, Word, Sep, Colon } kind;
    int value = 0;
    int digits = 0;
    std::string_view word;
  };
  std::vector<Tok> toks;
  for (std::size_t i = 0; i < text.size();) {
    char c = text[i];
    if (c == ' ' || c == ',' || c == '\t') {
      ++i;
    } else if (c >= '0' && c <= '9') {
      std::size_t j = i;
      int v = 0;
      while (j < text.size() && text[j] >= '0' && text[j] <= '9') {
        if (j - i >= 9) return false;
        v = v * 10 + (text[j] - '0');
        ++j;
      }
      toks.push_back({Tok::Num, v, static_cast<int>(j - i), {}});
      i = j;
    } else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
      std::size_t j = i;
      while (j < text.size() && ((text[j] >= 'A' && text[j] <= 'Z') || (text[j] >= 'a' && text[j] <= 'z'))) ++j;
      toks.push_back({Tok::Word, 0, 0, text.substr(i, j - i)});
      i = j;
    } else if (c == '/' || c == '-' || c == '.') {
      toks.push_back({Tok::Sep, 0, 0, {}});
      ++i;
    } else if (c == ':') {
      toks.push_back({Tok::Colon, 0, 0, {}});
      ++i;
    } else {
      return false;
    }
  }

  struct DateNum {
    int value, digits;
  };
  std::vector<DateNum> nums;
  int monthName = 0;
  bool haveTime = false;
  int hour = 0, minute = 0, second = 0, ampm = 0;  // ampm: 1 AM, 2 PM
  auto ampmOf = [](std::string_view w) {
    if (asciiIEquals(w, "am") || asciiIEquals(w, "a")) return 1;
    if (asciiIEquals(w, "pm") || asciiIEquals(w, "p")) return 2;
    return 0;
  };
  for (std::size_t i = 0; i < toks.size(); ++i) {
    const Tok& t = toks[i];
    bool colonNext = i + 1 < toks.size() && toks[i + 1].kind == Tok::Colon;
    bool ampmNext = i + 1 < toks.size() && toks[i + 1].kind == Tok::Word && ampmOf(toks[i + 1].word) != 0;
    if (t.kind == Tok::Num && (colonNext || ampmNext)) {
      if (haveTime) return false;
      haveTime = true;
      hour = t.value;
      if (colonNext) {
        if (i + 2 >= toks.size() || toks[i + 2].kind != Tok::Num) return false;
        minute = toks[i + 2].value;
        i += 2;
        if (i + 1 < toks.size() && toks[i + 1].kind == Tok::Colon) {
          if (i + 2 >= toks.size() || toks[i + 2].kind != Tok::Num) return false;
          second = toks[i + 2].value;
          i += 2;
        }
      }
      if (i + 1 < toks.size() && toks[i + 1].kind == Tok::Word && ampmOf(toks[i + 1].word) != 0) {
        ampm = ampmOf(toks[i + 1].word);
        ++i;
      }
    } else if (t.kind == Tok::Num) {
      nums.push_back({t.value, t.digits});
    } else if (t.kind == Tok::Word) {
      int m = monthFromName(t.word);
      if (m == 0 || monthName != 0) return false;
      monthName = m;
    } else if (t.kind == Tok::Colon) {
      return false;
    }
  }

  int year = 0, month = 0, day = 0;
  auto isYear = [](const DateNum& n) { return n.digits >= 3 || n.value > 31; };
  if (monthName != 0) {
    month = monthName;
    if (nums.size() == 2) {
      if (isYear(nums[0]) && !isYear(nums[1])) {
        year = expandYear(nums[0].value, nums[0].digits);
        day = nums[1].value;
      } else {
        day = nums[0].value;
        year = expandYear(nums[1].value, nums[1].digits);
      }
    } else if (nums.size() == 1) {
      if (isYear(nums[0])) {
        year = expandYear(nums[0].value, nums[0].digits);
        day = 1;
      } else {
        day = nums[0].value;
        year = currentYear();
      }
    } else {
      return false;
    }
  } else if (nums.size() == 3) {
    if (isYear(nums[0])) {
      year = expandYear(nums[0].value, nums[0].digits);
      month = nums[1].value;
      day = nums[2].value;
    } else {
      month = nums[0].value;
      day = nums[1].value;
      year = expandYear(nums[2].value, nums[2].digits);
      if (month > 12 && day <= 12) std::swap(month, day);
    }
  } else if (nums.size() == 2) {
    if (isYear(nums[1])) {
      month = nums[0].value;
      year = expandYear(nums[1].value, nums[1].digits);
      day = 1;
    } else if (isYear(nums[0])) {
      year = expandYear(nums[0].value, nums[0].digits);
      month = nums[1].value;
      day = 1;
    } else {
      month = nums[0].value;
      day = nums[1].value;
      year = currentYear();
      if (month > 12 && day <= 12) std::swap(month, day);
    }
  } else if (nums.empty() && haveTime) {
    year = 1899;
    month = 12;
    day = 30;
  } else {
    return false;
  }

  if (haveTime) {
    if (ampm != 0) {
      if (hour > 12) return false;
      if (ampm == 2 && hour < 12) hour += 12;
      if (ampm == 1 && hour == 12) hour = 0;
    }
    if (hour > 23 || minute > 59 || second > 59) return false;
  }
  DateTimeParts parts;
  parts.year = year;
  parts.month = month;
  parts.day = day;
  parts.hour = hour;
  parts.minute = minute;
  parts.second = second;
  return kh::oleDateFromParts(parts, oleDate);
}

// ===========================================================================
// Like
// ===========================================================================

namespace {

struct LikeElem {
  enum Kind { Star, One, Digit, Literal, Class } kind;
  explicit LikeElem(Kind k, char32_t c = 0) : kind(k), ch(c) {}
  char32_t ch = 0;  // Literal: folded character
  bool negate = false;
  std::vector<std::pair<char32_t, char32_t>> ranges;
};

bool compileLike(std::string_view pattern, std::vector<LikeElem>& out) {
  std::u32string p = decode(pattern);
  for (std::size_t i = 0; i < p.size(); ++i) {
    char32_t c = p[i];
    if (c == '*') {
      if (out.empty() || out.back().kind != LikeElem::Star) out.emplace_back(LikeElem::Star);
    } else if (c == '?') {
      out.emplace_back(LikeElem::One);
    } else if (c == '#') {
      out.emplace_back(LikeElem::Digit);
    } else if (c == '[') {
      LikeElem e(LikeElem::Class);
      std::size_t j = i + 1;
      if (j < p.size() && p[j] == '!') {
        e.negate = true;
        ++j;
      }
      bool closed = false;
      bool any = false;
      while (j < p.size()) {
        char32_t x = p[j];
        if (x == ']') {
          closed = true;
          break;
        }
        any = true;
        if (j + 2 < p.size() && p[j + 1] == '-' && p[j + 2] != ']') {
          char32_t hi = p[j + 2];
          if (hi < x) return false;
          e.ranges.emplace_back(x, hi);
          j += 3;
        } else {
          e.ranges.emplace_back(x, x);
          ++j;
        }
      }
      if (!closed) return false;
      i = j;
      if (!any) {
        // "[]" stands for the empty string; "[!]" for any one character.
        if (e.negate) out.emplace_back(LikeElem::One);
        continue;
      }
      out.push_back(std::move(e));
    } else {
      out.emplace_back(LikeElem::Literal, foldCase(c));
    }
  }
  return true;
}

bool inRanges(const LikeElem& e, char32_t c) {
  const char32_t variants[3] = {c, foldCase(c), upperCase(c)};
  for (const auto& [lo, hi] : e.ranges) {
    if (lo == hi) {
      if (foldCase(lo) == variants[1]) return true;
      continue;
    }
    for (char32_t v : variants)
      if (v >= lo && v <= hi) return true;
  }
  return false;
}

bool elemMatches(const LikeElem& e, char32_t c, char32_t folded) {
  switch (e.kind) {
    case LikeElem::One: return true;
    case LikeElem::Digit: return c >= '0' && c <= '9';
    case LikeElem::Literal: return e.ch == folded;
    case LikeElem::Class: return inRanges(e, c) != e.negate;
    case LikeElem::Star: break;
  }
  return false;
}

// Every element but the star matches exactly one character, so the classic
// greedy match that backtracks only to the most recent star is complete. It
// runs once per row of a filtered scan, so it reads the value in place
// instead of decoding it into a buffer first.
bool matchLike(const std::vector<LikeElem>& pat, std::string_view value) {
  const std::size_t npos = static_cast<std::size_t>(-1);
  std::size_t p = 0, s = 0, starP = npos, starS = 0;
  while (s < value.size()) {
    if (p < pat.size() && pat[p].kind == LikeElem::Star) {
      starP = p++;
      starS = s;
      continue;
    }
    if (p < pat.size()) {
      char32_t c = 0;
      const std::size_t n = codePointAt(value, s, c);
      if (elemMatches(pat[p], c, foldCase(c))) {
        ++p;
        s += n;
        continue;
      }
    }
    if (starP != npos) {
      char32_t skipped = 0;
      starS += codePointAt(value, starS, skipped);
      p = starP + 1;
      s = starS;
      continue;
    }
    return false;
  }
  while (p < pat.size() && pat[p].kind == LikeElem::Star) ++p;
  return p == pat.size();
}

}  // namespace

bool jetLike(std::string_view value, std::string_view pattern) {
  std::vector<LikeElem> pat;
  if (!compileLike(pattern, pat)) return false;
  return matchLike(pat, value);
}

bool isValidLikePattern(std::string_view pattern) {
  std::vector<LikeElem> pat;
  return compileLike(pattern, pat);
}

// ===========================================================================
// JETTEXT collation
// ===========================================================================

namespace {

constexpr unsigned kTextFlags = kh::kIgnoreCase | kh::kStringSort;

// For texts of printable ASCII (and the blanks tab to carriage return) the
// locale collation, after case folding, comes down to comparing one weight per
// character, as long as no contraction or expansion involves ASCII and no two
// characters share a primary weight while differing otherwise. Control
// characters are left out: the collation passes over them at the first level
// but not at the others. The weights are read off the collation itself once, and
// checked; when any check fails every comparison takes the full path.
struct AsciiOrder {
  bool usable = false;
  std::array<std::uint8_t, 128> weight{};  // 0: not on the fast path
};

bool fastEligible(const AsciiOrder& o, std::string_view s) {
  for (char c : s) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u >= 0x80 || o.weight[u] == 0) return false;
  }
  return true;
}

bool asciiTailored() {
  UErrorCode status = U_ZERO_ERROR;
  UCollator* coll = ucol_open(kh::collationLocale().c_str(), &status);
  if (U_FAILURE(status) || !coll) {
    if (coll) ucol_close(coll);
    return true;
  }
  USet* contractions = uset_openEmpty();
  USet* expansions = uset_openEmpty();
  ucol_getContractionsAndExpansions(coll, contractions, expansions, false, &status);
  bool tailored = U_FAILURE(status);
  if (!tailored) {
    for (UChar32 c = 0; c < 0x80 && !tailored; ++c)
      if (uset_contains(expansions, c)) tailored = true;
    int32_t items = uset_getItemCount(contractions);
    for (int32_t i = 0; i < items && !tailored; ++i) {
      UChar32 start = 0, end = 0;
      UChar str[64];
      UErrorCode st = U_ZERO_ERROR;
      int32_t len = uset_getItem(contractions, i, &start, &end, str, 64, &st);
      if (U_FAILURE(st)) {
        tailored = true;
        break;
      }
      if (len == 0) {
        if (start < 0x80) tailored = true;  // a range of single code points
        continue;
      }
      bool allAscii = true;
      for (int32_t k = 0; k < len; ++k)
        if (str[k] >= 0x80) allAscii = false;
      if (allAscii) tailored = true;
    }
  }
  uset_close(contractions);
  uset_close(expansions);
  ucol_close(coll);
  return tailored;
}

int fastCompare(const AsciiOrder& o, std::string_view a, std::string_view b) {
  std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    std::uint8_t x = o.weight[static_cast<unsigned char>(a[i])];
    std::uint8_t y = o.weight[static_cast<unsigned char>(b[i])];
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

AsciiOrder deriveAsciiOrder() {
  AsciiOrder o;
  if (asciiTailored()) return o;
  auto cmp = [](std::string_view a, std::string_view b) { return kh::compareStringLocale(a, b, kTextFlags); };
  std::vector<char> chars;
  for (int c = 0; c < 128; ++c) {
    if (c >= 'A' && c <= 'Z') continue;
    if (c < '\t' || (c > '\r' && c < ' ') || c == 0x7F) continue;
    std::string s(1, static_cast<char>(c));
    if (cmp(s, "") == 0) continue;  // ignored altogether: left to the full path
    chars.push_back(static_cast<char>(c));
  }
  std::stable_sort(chars.begin(), chars.end(), [&](char x, char y) {
    return cmp(std::string_view(&x, 1), std::string_view(&y, 1)) < 0;
  });
  std::uint8_t w = 0;
  for (std::size_t k = 0; k < chars.size(); ++k) {
    if (k == 0 || cmp(std::string_view(&chars[k - 1], 1), std::string_view(&chars[k], 1)) != 0) ++w;
    o.weight[static_cast<unsigned char>(chars[k])] = w;
  }
  for (int c = 'A'; c <= 'Z'; ++c) o.weight[c] = o.weight[c + 32];
  if (chars.empty()) return o;

  // The first differing character decides, whatever follows it.
  const char lowest = chars.front(), highest = chars.back();
  for (std::size_t x = 0; x < chars.size(); ++x) {
    for (std::size_t y = x + 1; y < chars.size(); ++y) {
      if (o.weight[static_cast<unsigned char>(chars[x])] == o.weight[static_cast<unsigned char>(chars[y])])
        continue;
      const char a[2] = {chars[x], highest}, b[2] = {chars[y], lowest};
      if (cmp(std::string_view(a, 2), std::string_view(b, 2)) >= 0) return o;
    }
  }
  // A few whole words, letter case and ignored characters included.
  static const char* const samples[] = {"abc",   "ABC",     "abd",  "ab",      "a-b",   "a b",  "a\tbc",
                                        "Zebra", "zebra1",  "10",   "9",       "a_b",   "A.B",  "co-op",
                                        "coop",  "O'Brien", "Obr",  "x~y",     "x$y",   "",     "\t",
                                        "aa",    "ch",      "cz",   "ll",      "lz",    "Bank", "bankrott"};
  o.usable = true;
  for (const char* s : samples)
    for (const char* t : samples) {
      if (!fastEligible(o, s) || !fastEligible(o, t)) continue;
      int expected = cmp(s, t);
      if (fastCompare(o, s, t) != expected) {
        o.usable = false;
        return o;
      }
    }
  return o;
}

const AsciiOrder& asciiOrder() {
  static std::once_flag once;
  static AsciiOrder order;
  std::call_once(once, [] { order = deriveAsciiOrder(); });
  return order;
}

int collateJetText(void*, int na, const void* a, int nb, const void* b) {
  std::string_view x(static_cast<const char*>(a), static_cast<std::size_t>(na));
  std::string_view y(static_cast<const char*>(b), static_cast<std::size_t>(nb));
  return compareJetText(x, y);
}

}  // namespace

int compareJetText(std::string_view a, std::string_view b) {
  const AsciiOrder& o = asciiOrder();
  if (o.usable && fastEligible(o, a) && fastEligible(o, b)) return fastCompare(o, a, b);
  int r = kh::compareStringLocale(a, b, kTextFlags);
  return r < 0 ? -1 : r > 0 ? 1 : 0;
}

bool asciiFastPathAvailable() { return asciiOrder().usable; }

// ===========================================================================
// SQL values
// ===========================================================================

namespace {

using Ctx = sqlite3_context;
using Val = sqlite3_value;

bool isNull(Val* v) { return sqlite3_value_type(v) == SQLITE_NULL; }

bool anyNull(int argc, Val** argv) {
  for (int i = 0; i < argc; ++i)
    if (isNull(argv[i])) return true;
  return false;
}

void fail(Ctx* c, const char* message) { sqlite3_result_error(c, message, -1); }
constexpr const char* kTypeMismatch = "Type mismatch";
constexpr const char* kInvalidCall = "Invalid procedure call or argument";
constexpr const char* kInvalidNull = "Invalid use of Null";
constexpr const char* kOverflow = "Overflow";
constexpr const char* kDivisionByZero = "Division by zero";

std::string_view rawText(Val* v) {
  const unsigned char* t = sqlite3_value_text(v);
  int n = sqlite3_value_bytes(v);
  if (!t) return {};
  return {reinterpret_cast<const char*>(t), static_cast<std::size_t>(n)};
}

// The text of a value as Jet converts it (Null gives "").
std::string textOf(Val* v) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_NULL: return {};
    case SQLITE_INTEGER: return std::to_string(sqlite3_value_int64(v));
    case SQLITE_FLOAT: return numberText(sqlite3_value_double(v));
    case SQLITE_BLOB: {
      const void* b = sqlite3_value_blob(v);
      int n = sqlite3_value_bytes(v);
      return b ? std::string(static_cast<const char*>(b), static_cast<std::size_t>(n)) : std::string();
    }
    default: return std::string(rawText(v));
  }
}

void resultText(Ctx* c, const std::string& s) {
  sqlite3_result_text(c, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

void resultBool(Ctx* c, bool b) { sqlite3_result_int(c, b ? -1 : 0); }

// A text read as a number the way Jet's conversions read it: blanks around,
// a sign, a currency sign, thousands separators, a decimal point, an exponent
// (E or D), or &H / &O integers.
bool textToNumber(std::string_view s, double& out) {
  s = trimBlanks(s);
  if (s.empty()) return false;
  bool negative = false;
  bool parens = false;
  if (s.front() == '(' && s.back() == ')') {
    parens = true;
    s = trimBlanks(s.substr(1, s.size() - 2));
  }
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
    negative = s.front() == '-';
    s = trimBlanks(s.substr(1));
  }
  if (!s.empty() && s.front() == '$') s = trimBlanks(s.substr(1));
  if (s.size() >= 2 && s[0] == '&' && (s[1] == 'H' || s[1] == 'h' || s[1] == 'O' || s[1] == 'o')) {
    int base = (s[1] == 'H' || s[1] == 'h') ? 16 : 8;
    std::string_view digits = s.substr(2);
    if (digits.empty() || digits.size() > 11) return false;
    std::uint64_t v = 0;
    for (char c : digits) {
      int d = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : 99;
      if (d >= base) return false;
      v = v * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
    }
    if (v > 0xFFFFFFFFull) return false;
    // Like Jet, 16- and 32-bit hex literals with the top bit set are negative.
    double r = digits.size() <= 4 && v >= 0x8000 ? static_cast<double>(static_cast<std::int64_t>(v) - 0x10000)
               : v >= 0x80000000ull ? static_cast<double>(static_cast<std::int64_t>(v) - 0x100000000ll)
                                    : static_cast<double>(v);
    out = negative != parens ? -r : r;
    return true;
  }
  std::string clean;
  bool digit = false, point = false, exponent = false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (c >= '0' && c <= '9') {
      digit = true;
      clean.push_back(c);
    } else if (c == ',' && !point && !exponent && digit) {
      continue;
    } else if (c == '.' && !point && !exponent) {
      point = true;
      clean.push_back(c);
    } else if ((c == 'e' || c == 'E' || c == 'd' || c == 'D') && digit && !exponent) {
      exponent = true;
      clean.push_back('e');
      if (i + 1 < s.size() && (s[i + 1] == '+' || s[i + 1] == '-')) clean.push_back(s[++i]);
      if (i + 1 >= s.size() || s[i + 1] < '0' || s[i + 1] > '9') return false;
    } else {
      return false;
    }
  }
  if (!digit) return false;
  char* end = nullptr;
  double r = std::strtod(clean.c_str(), &end);
  if (!end || *end != '\0' || !std::isfinite(r)) return false;
  out = (negative != parens) ? -r : r;
  return true;
}

// A number of either SQLite kind.
struct Number {
  bool isInt = false;
  std::int64_t i = 0;
  double d = 0;
  double real() const { return isInt ? static_cast<double>(i) : d; }
};

// Converts a non-null value to a number; on failure sets the error.
bool numberOf(Ctx* c, Val* v, Number& out) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
      out.isInt = true;
      out.i = sqlite3_value_int64(v);
      return true;
    case SQLITE_FLOAT:
      out.isInt = false;
      out.d = sqlite3_value_double(v);
      return true;
    case SQLITE_NULL: fail(c, kInvalidNull); return false;
    default: {
      double d = 0;
      if (!textToNumber(textOf(v), d)) {
        fail(c, kTypeMismatch);
        return false;
      }
      out.isInt = false;
      out.d = d;
      if (std::floor(d) == d && std::fabs(d) < 9007199254740992.0) {
        out.isInt = true;
        out.i = static_cast<std::int64_t>(d);
      }
      return true;
    }
  }
}

bool realOf(Ctx* c, Val* v, double& out) {
  Number n;
  if (!numberOf(c, v, n)) return false;
  out = n.real();
  return true;
}

// A non-null value rounded (half to even) to a whole number within [lo, hi].
bool wholeOf(Ctx* c, Val* v, std::int64_t& out, double lo = -kInt64Limit, double hi = kInt64Limit - 1024) {
  Number n;
  if (!numberOf(c, v, n)) return false;
  if (n.isInt) {
    if (static_cast<double>(n.i) < lo || static_cast<double>(n.i) > hi) {
      fail(c, kOverflow);
      return false;
    }
    out = n.i;
    return true;
  }
  double r = roundHalfEven(n.d);
  if (!std::isfinite(r) || r < lo || r > hi || !fitsInt64(r)) {
    fail(c, kOverflow);
    return false;
  }
  out = static_cast<std::int64_t>(r);
  return true;
}

// A non-null value as an OLE date: numbers as they are, text read as a date
// (or, failing that, as a number).
bool dateOf(Ctx* c, Val* v, double& out) {
  int t = sqlite3_value_type(v);
  if (t == SQLITE_INTEGER || t == SQLITE_FLOAT) {
    out = sqlite3_value_double(v);
    return true;
  }
  if (t == SQLITE_NULL) {
    fail(c, kInvalidNull);
    return false;
  }
  std::string s = textOf(v);
  if (parseDateText(trimBlanks(s), out)) return true;
  if (textToNumber(s, out)) return true;
  fail(c, kTypeMismatch);
  return false;
}

bool partsOf(Ctx* c, double d, DateTimeParts& p) {
  if (!kh::oleDateToParts(d, p)) {
    fail(c, kInvalidCall);
    return false;
  }
  return true;
}

bool splitOf(Ctx* c, double d, std::int64_t& day, std::int64_t& ms) {
  if (!kh::oleDateSplit(d, day, ms)) {
    fail(c, kInvalidCall);
    return false;
  }
  return true;
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

bool validDay(std::int64_t day) { return day >= kh::kOleFirstDay && day <= kh::kOleLastDay; }

// Day number of a calendar date, the month and day allowed to run over (month 13
// is January of the next year, day 0 the last day of the month before).
bool serialDay(std::int64_t year, std::int64_t month, std::int64_t day, std::int64_t& out) {
  std::int64_t m0 = year * 12 + (month - 1);
  std::int64_t y = floorDiv(m0, 12);
  std::int64_t m = m0 - y * 12 + 1;
  if (y < 100 || y > 9999) return false;
  DateTimeParts p;
  p.year = static_cast<int>(y);
  p.month = static_cast<int>(m);
  p.day = 1;
  double first = 0;
  if (!kh::oleDateFromParts(p, first)) return false;
  out = static_cast<std::int64_t>(first) + (day - 1);
  return validDay(out);
}

// 1 = Sunday ... 7 = Saturday; day 0 (30 December 1899) was a Saturday.
int weekdayOf(std::int64_t day) { return static_cast<int>(((day + 6) % 7 + 7) % 7) + 1; }

int weekdayFrom(std::int64_t day, int firstDay) {
  if (firstDay < 1 || firstDay > 7) firstDay = 1;
  return (weekdayOf(day) - firstDay + 7) % 7 + 1;
}

// The index of the week (starting on firstDay) a day lies in.
std::int64_t weekIndex(std::int64_t day, int firstDay) {
  if (firstDay < 1 || firstDay > 7) firstDay = 1;
  std::int64_t start = 1 + (firstDay - 1);  // day 1 (31 December 1899) was a Sunday
  return floorDiv(day - start, 7);
}

std::int64_t dayOfYear(const DateTimeParts& p) {
  std::int64_t jan1 = 0, day = 0;
  serialDay(p.year, 1, 1, jan1);
  serialDay(p.year, p.month, p.day, day);
  return day - jan1 + 1;
}

int optionalInt(Ctx* c, int argc, Val** argv, int index, int fallback, bool& ok) {
  ok = true;
  if (index >= argc || isNull(argv[index])) return fallback;
  std::int64_t v = 0;
  if (!wholeOf(c, argv[index], v, -1e9, 1e9)) {
    ok = false;
    return fallback;
  }
  return static_cast<int>(v);
}

// ---------------------------------------------------------------------------
// Operators

void fnCat(Ctx* c, int argc, Val** argv) {
  bool all = true;
  std::string out;
  for (int i = 0; i < argc; ++i) {
    if (isNull(argv[i])) continue;
    all = false;
    out += textOf(argv[i]);
  }
  if (all) sqlite3_result_null(c);
  else resultText(c, out);
}

bool isText(Val* v) { return sqlite3_value_type(v) == SQLITE_TEXT; }

void fnAdd(Ctx* c, int, Val** argv) {
  if (isNull(argv[0]) || isNull(argv[1])) return sqlite3_result_null(c);
  if (isText(argv[0]) && isText(argv[1])) return resultText(c, textOf(argv[0]) + textOf(argv[1]));
  Number a, b;
  if (!numberOf(c, argv[0], a) || !numberOf(c, argv[1], b)) return;
  std::int64_t r = 0;
  if (a.isInt && b.isInt && !__builtin_add_overflow(a.i, b.i, &r)) return sqlite3_result_int64(c, r);
  sqlite3_result_double(c, a.real() + b.real());
}

void fnDiv(Ctx* c, int, Val** argv) {
  if (isNull(argv[0]) || isNull(argv[1])) return sqlite3_result_null(c);
  double a = 0, b = 0;
  if (!realOf(c, argv[0], a) || !realOf(c, argv[1], b)) return;
  if (b == 0) return fail(c, kDivisionByZero);
  sqlite3_result_double(c, a / b);
}

void fnIntDiv(Ctx* c, int, Val** argv) {
  if (isNull(argv[0]) || isNull(argv[1])) return sqlite3_result_null(c);
  std::int64_t a = 0, b = 0;
  if (!wholeOf(c, argv[0], a) || !wholeOf(c, argv[1], b)) return;
  if (b == 0) return fail(c, kDivisionByZero);
  if (a == std::numeric_limits<std::int64_t>::min() && b == -1) return fail(c, kOverflow);
  sqlite3_result_int64(c, a / b);
}

void fnMod(Ctx* c, int, Val** argv) {
  if (isNull(argv[0]) || isNull(argv[1])) return sqlite3_result_null(c);
  std::int64_t a = 0, b = 0;
  if (!wholeOf(c, argv[0], a) || !wholeOf(c, argv[1], b)) return;
  if (b == 0) return fail(c, kDivisionByZero);
  if (b == -1) return sqlite3_result_int64(c, 0);
  sqlite3_result_int64(c, a % b);
}

void fnPow(Ctx* c, int, Val** argv) {
  if (isNull(argv[0]) || isNull(argv[1])) return sqlite3_result_null(c);
  double a = 0, b = 0;
  if (!realOf(c, argv[0], a) || !realOf(c, argv[1], b)) return;
  double r = std::pow(a, b);
  if (std::isnan(r)) return fail(c, kInvalidCall);
  if (std::isinf(r)) return fail(c, kOverflow);
  sqlite3_result_double(c, r);
}

void freePattern(void* p) { delete static_cast<std::vector<LikeElem>*>(p); }

void fnLike(Ctx* c, int, Val** argv) {
  // like(pattern, value): SQLite's own argument order for "value LIKE pattern".
  if (isNull(argv[0]) || isNull(argv[1])) return sqlite3_result_null(c);
  // A constant pattern is compiled once per statement.
  auto* cached = static_cast<std::vector<LikeElem>*>(sqlite3_get_auxdata(c, 0));
  if (cached) {
    sqlite3_result_int(c, matchLike(*cached, textOf(argv[1])) ? 1 : 0);
    return;
  }
  auto* pat = new (std::nothrow) std::vector<LikeElem>;
  if (!pat) return sqlite3_result_error_nomem(c);
  if (!compileLike(textOf(argv[0]), *pat)) {
    delete pat;
    return fail(c, "Invalid pattern string");
  }
  sqlite3_result_int(c, matchLike(*pat, textOf(argv[1])) ? 1 : 0);
  sqlite3_set_auxdata(c, 0, pat, freePattern);  // frees it at once when it cannot be kept
}

// ---------------------------------------------------------------------------
// Date and time

void fnNow(Ctx* c, int, Val**) { sqlite3_result_double(c, kh::oleDateNow()); }
void fnDate(Ctx* c, int, Val**) { sqlite3_result_double(c, kh::oleDateToday()); }
void fnTime(Ctx* c, int, Val**) {
  double now = kh::oleDateNow();
  sqlite3_result_double(c, now - std::floor(now));
}

template <int Part>
void fnDatePartOf(Ctx* c, int, Val** argv) {
  if (isNull(argv[0])) return sqlite3_result_null(c);
  double d = 0;
  DateTimeParts p;
  if (!dateOf(c, argv[0], d) || !partsOf(c, d, p)) return;
  const int values[6] = {p.year, p.month, p.day, p.hour, p.minute, p.second};
  sqlite3_result_int(c, values[Part]);
}

void fnWeekday(Ctx* c, int argc, Val** argv) {
  if (isNull(argv[0])) return sqlite3_result_null(c);
  double d = 0;
  std::int64_t day = 0, ms = 0;
  bool ok = true;
  int first = optionalInt(c, argc, argv, 1, 1, ok);
  if (!ok || !dateOf(c, argv[0], d) || !splitOf(c, d, day, ms)) return;
  sqlite3_result_int(c, weekdayFrom(day, first));
}

void fnDateSerial(Ctx* c, int, Val** argv) {
  if (anyNull(3, argv)) return sqlite3_result_null(c);
  std::int64_t y = 0, m = 0, d = 0;
  if (!wholeOf(c, argv[0], y, -1e6, 1e6) || !wholeOf(c, argv[1], m, -1e7, 1e7) || !wholeOf(c, argv[2], d, -1e8, 1e8))
    return;
  if (y >= 0 && y < 100) y = y < 30 ? 2000 + y : 1900 + y;
  std::int64_t day = 0;
  if (!serialDay(y, m, d, day)) return fail(c, kInvalidCall);
  sqlite3_result_double(c, static_cast<double>(day));
}

void fnTimeSerial(Ctx* c, int, Val** argv) {
  if (anyNull(3, argv)) return sqlite3_result_null(c);
  std::int64_t h = 0, m = 0, s = 0;
  if (!wholeOf(c, argv[0], h, -1e8, 1e8) || !wholeOf(c, argv[1], m, -1e9, 1e9) || !wholeOf(c, argv[2], s, -1e10, 1e10))
    return;
  std::int64_t total = h * 3600 + m * 60 + s;
  std::int64_t day = floorDiv(total, 86400);
  std::int64_t rest = total - day * 86400;
  if (!validDay(day)) return fail(c, kInvalidCall);
  sqlite3_result_double(c, kh::oleDateCombine(day, rest * 1000));
}

void fnDateValue(Ctx* c, int, Val** argv) {
  if (isNull(argv[0])) return sqlite3_result_null(c);
  double d = 0;
  std::int64_t day = 0, ms = 0;
  if (!dateOf(c, argv[0], d) || !splitOf(c, d, day, ms)) return;
  sqlite3_result_double(c, static_cast<double>(day));
}

void fnTimeValue(Ctx* c, int, Val** argv) {
  if (isNull(argv[0])) return sqlite3_result_null(c);
  double d = 0;
  std::int64_t day = 0, ms = 0;
  if (!dateOf(c, argv[0], d) || !splitOf(c, d, day, ms)) return;
  sqlite3_result_double(c, kh::oleDateCombine(0, ms));
}

// The interval argument of DateAdd, DateDiff and DatePart.
enum class Interval { Year, Quarter, Month, DayOfYear, Day, Weekday, Week, Hour, Minute, Second, Bad };

Interval intervalOf(Val* v) {
  std::string s = textOf(v);
  std::string_view t = trimBlanks(s);
  struct {
    const char* name;
    Interval i;
  } const table[] = {{"yyyy", Interval::Year}, {"q", Interval::Quarter},   {"m", Interval::Month},
                     {"y", Interval::DayOfYear}, {"d", Interval::Day},     {"w", Interval::Weekday},
                     {"ww", Interval::Week},     {"h", Interval::Hour},    {"n", Interval::Minute},
                     {"s", Interval::Second}};
  for (const auto& e : table)
    if (asciiIEquals(t, e.name)) return e.i;
  return Interval::Bad;
}

void fnDateAdd(Ctx* c, int, Val** argv) {
  if (anyNull(3, argv)) return sqlite3_result_null(c);
  Interval iv = intervalOf(argv[0]);
  if (iv == Interval::Bad) return fail(c, kInvalidCall);
  std::int64_t n = 0;
  double d = 0;
  std::int64_t day = 0, ms = 0;
  if (!wholeOf(c, argv[1], n, -1e9, 1e9) || !dateOf(c, argv[2], d) || !splitOf(c, d, day, ms)) return;
  switch (iv) {
    case Interval::Year:
    case Interval::Quarter:
    case Interval::Month: {
      DateTimeParts p;
      if (!partsOf(c, kh::oleDateCombine(day, 0), p)) return;
      std::int64_t months = iv == Interval::Year ? n * 12 : iv == Interval::Quarter ? n * 3 : n;
      std::int64_t m0 = static_cast<std::int64_t>(p.year) * 12 + (p.month - 1) + months;
      std::int64_t y = floorDiv(m0, 12);
      int m = static_cast<int>(m0 - y * 12 + 1);
      if (y < 100 || y > 9999) return fail(c, kInvalidCall);
      int dd = std::min(p.day, kh::daysInMonth(static_cast<int>(y), m));
      if (!serialDay(y, m, dd, day)) return fail(c, kInvalidCall);
      break;
    }
    case Interval::DayOfYear:
    case Interval::Day:
    case Interval::Weekday: day += n; break;
    case Interval::Week: day += n * 7; break;
    case Interval::Hour:
    case Interval::Minute:
    case Interval::Second: {
      std::int64_t unit = iv == Interval::Hour ? 3600000 : iv == Interval::Minute ? 60000 : 1000;
      std::int64_t total = day * 86400000 + ms + n * unit;
      day = floorDiv(total, 86400000);
      ms = total - day * 86400000;
      break;
    }
    case Interval::Bad: break;
  }
  if (!validDay(day)) return fail(c, kInvalidCall);
  sqlite3_result_double(c, kh::oleDateCombine(day, ms));
}

void fnDateDiff(Ctx* c, int argc, Val** argv) {
  if (anyNull(3, argv)) return sqlite3_result_null(c);
  Interval iv = intervalOf(argv[0]);
  if (iv == Interval::Bad) return fail(c, kInvalidCall);
  double d1 = 0, d2 = 0;
  std::int64_t day1 = 0, ms1 = 0, day2 = 0, ms2 = 0;
  bool ok = true;
  int first = optionalInt(c, argc, argv, 3, 1, ok);
  if (!ok || !dateOf(c, argv[1], d1) || !dateOf(c, argv[2], d2) || !splitOf(c, d1, day1, ms1) ||
      !splitOf(c, d2, day2, ms2))
    return;
  DateTimeParts p1, p2;
  if (!partsOf(c, d1, p1) || !partsOf(c, d2, p2)) return;
  std::int64_t r = 0;
  switch (iv) {
    case Interval::Year: r = p2.year - p1.year; break;
    case Interval::Quarter:
      r = (static_cast<std::int64_t>(p2.year) * 4 + (p2.month - 1) / 3) -
          (static_cast<std::int64_t>(p1.year) * 4 + (p1.month - 1) / 3);
      break;
    case Interval::Month:
      r = (static_cast<std::int64_t>(p2.year) * 12 + p2.month) - (static_cast<std::int64_t>(p1.year) * 12 + p1.month);
      break;
    case Interval::DayOfYear:
    case Interval::Day: r = day2 - day1; break;
    case Interval::Weekday: r = (day2 - day1) / 7; break;
    case Interval::Week: r = weekIndex(day2, first) - weekIndex(day1, first); break;
    case Interval::Hour:
    case Interval::Minute:
    case Interval::Second: {
      std::int64_t unit = iv == Interval::Hour ? 3600000 : iv == Interval::Minute ? 60000 : 1000;
      r = floorDiv(day2 * 86400000 + ms2, unit) - floorDiv(day1 * 86400000 + ms1, unit);
      break;
    }
    case Interval::Bad: break;
  }
  sqlite3_result_int64(c, r);
}

void fnDatePart(Ctx* c, int argc, Val** argv) {
  if (isNull(argv[0]) || isNull(argv[1])) return sqlite3_result_null(c);
  Interval iv = intervalOf(argv[0]);
  if (iv == Interval::Bad) return fail(c, kInvalidCall);
  double d = 0;
  std::int64_t day = 0, ms = 0;
  DateTimeParts p;
  bool ok = true;
  int first = optionalInt(c, argc, argv, 2, 1, ok);
  if (!ok || !dateOf(c, argv[1], d) || !splitOf(c, d, day, ms) || !partsOf(c, d, p)) return;
  std::int64_t r = 0;
  switch (iv) {
    case Interval::Year: r = p.year; break;
    case Interval::Quarter: r = (p.month - 1) / 3 + 1; break;
    case Interval::Month: r = p.month; break;
    case Interval::DayOfYear: r = dayOfYear(p); break;
    case Interval::Day: r = p.day; break;
    case Interval::Weekday: r = weekdayFrom(day, first); break;
    case Interval::Week: {
      std::int64_t jan1 = 0;
      serialDay(p.year, 1, 1, jan1);
      r = weekIndex(day, first) - weekIndex(jan1, first) + 1;
      break;
    }
    case Interval::Hour: r = p.hour; break;
    case Interval::Minute: r = p.minute; break;
    case Interval::Second: r = p.second; break;
    case Interval::Bad: break;
  }
  sqlite3_result_int64(c, r);
}

// ---------------------------------------------------------------------------
// Text

void fnUCase(Ctx* c, int, Val** argv) {
  if (isNull(argv[0])) return sqlite3_result_null(c);
  std::u32string s = decode(textOf(argv[0]));
  for (char32_t& ch : s) ch = upperCase(ch);
  resultText(c, encode(s));
}

void fnLCase(Ctx* c, int, Val** argv) {
  if (isNull(argv[0])) return sqlite3_result_null(c);
  std::u32string s = decode(textOf(argv[0]));
  for (char32_t& ch : s) ch = lowerCase(ch);
  resultText(c, encode(s));
}

void fnLen(Ctx* c, int, Val** argv) {
  if (isNull(argv[0])) return sqlite3_result_null(c);
  sqlite3_result_int64(c, static_cast<std::int64_t>(decode(textOf(argv[0])).size()));
}

bool lengthArg(Ctx* c, Val* v, std::int64_t& n) {
  if (isNull(v)) {
    fail(c, kInvalidNull);
    return false;
  }
  if (!wholeOf(c, v, n, -2147483648.0, 2147483647.0)) return false;
  if (n < 0) {
    fail(c, kInvalidCall);
    return false;
  }
  return true;
}

void fnLeft(Ctx* c, int, Val** argv) {
  std::int64_t n = 0;
  if (!lengthArg(c, argv[1], n)) return;
  if (isNull(argv[0])) return sqlite3_result_null(c);
  std::u32string s = decode(textOf(argv[0]));
  resultText(c, encode(std::u32string_view(s).substr(0, static_cast<std::size_t>(n))));
}

void fnRight(Ctx* c, int, Val** argv) {
  std::int64_t n = 0;
  if (!lengthArg(c, argv[1], n)) return;
  if (isNull(argv[0])) return sqlite3_result_null(c);
  std::u32string s = decode(textOf(argv[0]));
  std::size_t k = std::min(s.size(), static_cast<std::size_t>(n));
  resultText(c, encode(std::u32string_view(s).substr(s.size() - k)));
}

void fnMid(Ctx* c, int argc, Val** argv) {
  std::int64_t start = 0, len = -1;
  if (!lengthArg(c, argv[1], start)) return;
  if (start < 1) return fail(c, kInvalidCall);
  if (argc > 2 && !isNull(argv[2]) && !lengthArg(c, argv[2], len)) return;
  if (isNull(argv[0])) return sqlite3_result_null(c);
  std::u32string s = decode(textOf(argv[0]));
  std::size_t from = static_cast<std::size_t>(start - 1);
  if (from >= s.size()) return resultText(c, std::string());
  std::size_t count = len < 0 ? std::u32string::npos : static_cast<std::size_t>(len);
  resultText(c, encode(std::u32string_view(s).substr(from, count)));
}

template <bool Left, bool Right>
void fnTrim(Ctx* c, int, Val** argv) {
  if (isNull(argv[0])) return sqlite3_result_null(c);
  std::string s = textOf(argv[0]);
  std::size_t b = 0, e = s.size();
  if (Left)
    while (b < e && s[b] == ' ') ++b;
  if (Right)
    while (e > b && s[e - 1] == ' ') --e;
  resultText(c, s.substr(b, e - b));
}

void fnInStr(Ctx* c, int argc, Val** argv) {
  std::int64_t start = 1;
  int base = 0;
  if (argc >= 3) {
    if (!lengthArg(c, argv[0], start)) return;
    if (start < 1) return fail(c, kInvalidCall);
    base = 1;
  }
  bool ok = true;
  int compare = optionalInt(c, argc, argv, 3, 1, ok);
  if (!ok) return;
  if (isNull(argv[base]) || isNull(argv[base + 1])) return sqlite3_result_null(c);
  std::u32string s = decode(textOf(argv[base])), t = decode(textOf(argv[base + 1]));
  if (compare != 0) {
    for (char32_t& ch : s) ch = foldCase(ch);
    for (char32_t& ch : t) ch = foldCase(ch);
  }
  std::size_t from = static_cast<std::size_t>(start - 1);
  if (from > s.size()) return sqlite3_result_int(c, 0);
  if (t.empty()) return sqlite3_result_int64(c, start);
  std::size_t pos = s.find(t, from);
  sqlite3_result_int64(c, pos == std::u32string::npos ? 0 : static_cast<std::int64_t>(pos) + 1);
}

void fnSpace(Ctx* c, int, Val** argv) {
  if (isNull(argv[0])) return sqlite3_result_null(c);
  std::int64_t n = 0;
  if (!lengthArg(c, argv[0], n)) return;
  if (n > 1000000000) return fail(c, kOverflow);
  resultText(c, std::string(static_cast<std::size_t>(n), ' '));
}

// The character of a code in Windows-1252, as Chr gives it.
bool charOfCode(std::int64_t code, std::string& out) {
  if (code < 0 || code > 255) return false;
  const char b = static_cast<char>(code);
  out = kh::ansiToUtf8(std::string_view(&b, 1));
  return true;
}

void fnString(Ctx* c, int, Val** argv) {
  std::int64_t n = 0;
  if (!lengthArg(c, argv[0], n)) return;
  if (isNull(argv[1])) return sqlite3_result_null(c);
  std::string ch;
  int t = sqlite3_value_type(argv[1]);
  if (t == SQLITE_INTEGER || t == SQLITE_FLOAT) {
    std::int64_t code = 0;
    if (!wholeOf(c, argv[1], code)) return;
    if (!charOfCode(((code % 256) + 256) % 256, ch)) return fail(c, kInvalidCall);
  } else {
    std::u32string s = decode(textOf(argv[1]));
    if (s.empty()) return fail(c, kInvalidCall);
    kh::appendUtf8(ch, s[0]);
  }
  if (static_cast<std::uint64_t>(n) * ch.size() > 1000000000u) return fail(c, kOverflow);
  std::string out;
  out.reserve(static_cast<std::size_t>(n) * ch.size());
  for (std::int64_t i = 0; i < n; ++i) out += ch;
  resultText(c, out);
}

void fnAsc(Ctx* c, int, Val** argv) {
  if (isNull(argv[0])) return fail(c, kInvalidNull);
  std::u32string s = decode(textOf(argv[0]));
  if (s.empty()) return fail(c, kInvalidCall);
  int b = kh::unicodeToAnsi(s[0]);
  sqlite3_result_int64(c, b >= 0 ? b : static_cast<std::int64_t>(s[0]));
}

void fnChr(Ctx* c, int, Val** argv) {
  if (isNull(argv[0])) return fail(c, kInvalidNull);
  std::int64_t code = 0;
  std::string ch;
  if (!wholeOf(c, argv[0], code)) return;
  if (!charOfCode(code, ch)) return fail(c, kInvalidCall);
  resultText(c, ch);
}

void fnStrComp(Ctx* c, int argc, Val** argv) {
  bool ok = true;
  int compare = optionalInt(c, argc, argv, 2, 1, ok);
  if (!ok) return;
  if (isNull(argv[0]) || isNull(argv[1])) return sqlite3_result_null(c);
  std::string a = textOf(argv[0]), b = textOf(argv[1]);
  int r = compare == 0 ? a.compare(b) : compareJetText(a, b);
  sqlite3_result_int(c, r < 0 ? -1 : r > 0 ? 1 : 0);
}

// ---------------------------------------------------------------------------
// Conversions and numbers

void fnCStr(Ctx* c, int, Val** argv) {
  if (isNull(argv[0])) return fail(c, kInvalidNull);
  resultText(c, textOf(argv[0]));
}

template <long long Lo, long long Hi>
void fnCWhole(Ctx* c, int, Val** argv) {
  if (isNull(argv[0])) return fail(c, kInvalidNull);
  std::int64_t v = 0;
  if (!wholeOf(c, argv[0], v, static_cast<double>(Lo), static_cast<double>(Hi))) return;
  sqlite3_result_int64(c, v);
}

void fnCDbl(Ctx* c, int, Val** argv) {
  if (isNull(argv[0])) return fail(c, kInvalidNull);
  double d = 0;
  if (!realOf(c, argv[0], d)) return;
  sqlite3_result_double(c, d);
}

void fnCSng(Ctx* c, int, Val** argv) {
  if (isNull(argv[0])) return fail(c, kInvalidNull);
  double d = 0;
  if (!realOf(c, argv[0], d)) return;
  if (std::fabs(d) > static_cast<double>(std::numeric_limits<float>::max())) return fail(c, kOverflow);
  sqlite3_result_double(c, static_cast<double>(static_cast<float>(d)));
}

void fnCCur(Ctx* c, int, Val** argv) {
  if (isNull(argv[0])) return fail(c, kInvalidNull);
  double d = 0;
  if (!realOf(c, argv[0], d)) return;
  if (std::fabs(d) > 922337203685477.5807) return fail(c, kOverflow);
  sqlite3_result_double(c, roundHalfEven(d * 10000.0) / 10000.0);
}

void fnCDate(Ctx* c, int, Val** argv) {
  if (isNull(argv[0])) return fail(c, kInvalidNull);
  double d = 0;
  DateTimeParts p;
  if (!dateOf(c, argv[0], d)) return;
  if (!kh::oleDateToParts(d, p)) return fail(c, kOverflow);
  sqlite3_result_double(c, d);
}

void fnCBool(Ctx* c, int, Val** argv) {
  if (isNull(argv[0])) return fail(c, kInvalidNull);
  if (isText(argv[0])) {
    std::string s = textOf(argv[0]);
    std::string_view t = trimBlanks(s);
    if (asciiIEquals(t, "true")) return resultBool(c, true);
    if (asciiIEquals(t, "false")) return resultBool(c, false);
  }
  double d = 0;
  if (!realOf(c, argv[0], d)) return;
  resultBool(c, d != 0);
}

void fnIsNumeric(Ctx* c, int, Val** argv) {
  switch (sqlite3_value_type(argv[0])) {
    case SQLITE_INTEGER:
    case SQLITE_FLOAT: return resultBool(c, true);
    case SQLITE_TEXT: {
      double d = 0;
      return resultBool(c, textToNumber(textOf(argv[0]), d));
    }
    default: return resultBool(c, false);
  }
}

void fnIsDate(Ctx* c, int, Val** argv) {
  if (!isText(argv[0])) return resultBool(c, false);
  double d = 0;
  std::string s = textOf(argv[0]);
  resultBool(c, parseDateText(trimBlanks(s), d));
}

void fnAbs(Ctx* c, int, Val** argv) {
  if (isNull(argv[0])) return sqlite3_result_null(c);
  Number n;
  if (!numberOf(c, argv[0], n)) return;
  if (n.isInt && n.i != std::numeric_limits<std::int64_t>::min()) return sqlite3_result_int64(c, n.i < 0 ? -n.i : n.i);
  sqlite3_result_double(c, std::fabs(n.real()));
}

template <bool Floor>
void fnIntFix(Ctx* c, int, Val** argv) {
  if (isNull(argv[0])) return sqlite3_result_null(c);
  Number n;
  if (!numberOf(c, argv[0], n)) return;
  if (n.isInt) return sqlite3_result_int64(c, n.i);
  sqlite3_result_double(c, Floor ? std::floor(n.d) : std::trunc(n.d));
}

void fnRound(Ctx* c, int argc, Val** argv) {
  if (isNull(argv[0])) return sqlite3_result_null(c);
  bool ok = true;
  int places = optionalInt(c, argc, argv, 1, 0, ok);
  if (!ok) return;
  if (places < 0 || places > 15) return fail(c, kInvalidCall);
  Number n;
  if (!numberOf(c, argv[0], n)) return;
  if (n.isInt) return sqlite3_result_int64(c, n.i);
  double scale = std::pow(10.0, places);
  double r = roundHalfEven(n.d * scale) / scale;
  if (!std::isfinite(r)) r = n.d;
  sqlite3_result_double(c, r);
}

void fnSgn(Ctx* c, int, Val** argv) {
  if (isNull(argv[0])) return sqlite3_result_null(c);
  double d = 0;
  if (!realOf(c, argv[0], d)) return;
  sqlite3_result_int(c, d > 0 ? 1 : d < 0 ? -1 : 0);
}

template <int Which>
void fnMath(Ctx* c, int, Val** argv) {
  if (isNull(argv[0])) return sqlite3_result_null(c);
  double d = 0;
  if (!realOf(c, argv[0], d)) return;
  double r = 0;
  switch (Which) {
    case 0:
      if (d < 0) return fail(c, kInvalidCall);
      r = std::sqrt(d);
      break;
    case 1: r = std::exp(d); break;
    case 2:
      if (d <= 0) return fail(c, kInvalidCall);
      r = std::log(d);
      break;
    case 3: r = std::sin(d); break;
    case 4: r = std::cos(d); break;
    case 5: r = std::tan(d); break;
    default: r = std::atan(d); break;
  }
  if (!std::isfinite(r)) return fail(c, kOverflow);
  sqlite3_result_double(c, r);
}

// Val: the number at the start of a text, blanks anywhere passed over.
void fnVal(Ctx* c, int, Val** argv) {
  if (isNull(argv[0])) return fail(c, kInvalidNull);
  std::string s;
  for (char ch : textOf(argv[0]))
    if (ch != ' ' && ch != '\t' && ch != '\n' && ch != '\r') s.push_back(ch);
  if (s.size() >= 2 && s[0] == '&' && (s[1] == 'H' || s[1] == 'h' || s[1] == 'O' || s[1] == 'o')) {
    std::size_t k = 2;
    int base = (s[1] == 'H' || s[1] == 'h') ? 16 : 8;
    while (k < s.size() && std::strchr(base == 16 ? "0123456789abcdefABCDEF" : "01234567", s[k])) ++k;
    double r = 0;
    if (k > 2 && textToNumber(s.substr(0, k), r)) return sqlite3_result_double(c, r);
    return sqlite3_result_double(c, 0);
  }
  std::size_t k = 0;
  std::string num;
  if (k < s.size() && (s[k] == '-' || s[k] == '+')) num.push_back(s[k++]);
  bool digits = false, point = false;
  while (k < s.size()) {
    if (s[k] >= '0' && s[k] <= '9') {
      digits = true;
      num.push_back(s[k++]);
    } else if (s[k] == '.' && !point) {
      point = true;
      num.push_back(s[k++]);
    } else {
      break;
    }
  }
  if (digits && k < s.size() && (s[k] == 'e' || s[k] == 'E' || s[k] == 'd' || s[k] == 'D')) {
    std::size_t e = k + 1;
    std::string ex = "e";
    if (e < s.size() && (s[e] == '+' || s[e] == '-')) ex.push_back(s[e++]);
    std::size_t firstDigit = e;
    while (e < s.size() && s[e] >= '0' && s[e] <= '9') ex.push_back(s[e++]);
    if (e > firstDigit) num += ex;
  }
  double r = digits ? std::strtod(num.c_str(), nullptr) : 0.0;
  if (!std::isfinite(r)) return fail(c, kOverflow);
  sqlite3_result_double(c, r);
}

void fnStr(Ctx* c, int, Val** argv) {
  if (isNull(argv[0])) return sqlite3_result_null(c);
  Number n;
  if (!numberOf(c, argv[0], n)) return;
  std::string s = n.isInt ? std::to_string(n.i) : numberText(n.d);
  if (s[0] != '-') s.insert(s.begin(), ' ');
  resultText(c, s);
}

template <int Base>
void fnHexOct(Ctx* c, int, Val** argv) {
  if (isNull(argv[0])) return sqlite3_result_null(c);
  std::int64_t v = 0;
  if (!wholeOf(c, argv[0], v, -2147483648.0, 4294967295.0)) return;
  std::uint64_t u = v >= 0 ? static_cast<std::uint64_t>(v)
                   : v >= -32768 ? static_cast<std::uint64_t>(v + 65536)
                                 : static_cast<std::uint64_t>(v + 4294967296ll);
  char buf[32];
  std::snprintf(buf, sizeof buf, Base == 16 ? "%llX" : "%llo", static_cast<unsigned long long>(u));
  resultText(c, buf);
}

// ---------------------------------------------------------------------------
// Format

const char* const kDayNames[7] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
const char* const kMonthNames[12] = {"January", "February", "March",     "April",   "May",      "June",
                                     "July",    "August",   "September", "October", "November", "December"};

std::string two(int v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d", v);
  return buf;
}

std::string formatDateCustom(double d, std::string_view fmt);

std::string shortDate(const DateTimeParts& p) {
  return std::to_string(p.month) + "/" + std::to_string(p.day) + "/" + std::to_string(p.year);
}

std::string longTime(const DateTimeParts& p) {
  int h = p.hour % 12 == 0 ? 12 : p.hour % 12;
  return std::to_string(h) + ":" + two(p.minute) + ":" + two(p.second) + (p.hour < 12 ? " AM" : " PM");
}

std::string generalDate(double d, const DateTimeParts& p) {
  std::int64_t day = 0, ms = 0;
  kh::oleDateSplit(d, day, ms);
  if (ms == 0) return shortDate(p);
  if (day == 0) return longTime(p);
  return shortDate(p) + " " + longTime(p);
}

std::string formatDateCustom(double d, std::string_view fmt) {
  DateTimeParts p;
  std::int64_t day = 0, ms = 0;
  if (!kh::oleDateToParts(d, p) || !kh::oleDateSplit(d, day, ms)) return numberText(d);
  auto lower = [](char ch) { return static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch + 32 : ch); };
  auto startsWithI = [&](std::size_t i, std::string_view w) {
    return i + w.size() <= fmt.size() && asciiIEquals(fmt.substr(i, w.size()), w);
  };
  bool twelveHour = false;
  for (std::size_t i = 0; i < fmt.size(); ++i)
    if (startsWithI(i, "am/pm") || startsWithI(i, "a/p") || startsWithI(i, "ampm")) twelveHour = true;
  std::string out;
  bool afterHour = false;
  for (std::size_t i = 0; i < fmt.size();) {
    char ch = fmt[i];
    char lc = lower(ch);
    std::size_t run = 1;
    while (i + run < fmt.size() && lower(fmt[i + run]) == lc) ++run;
    if (ch == '"') {
      std::size_t e = fmt.find('"', i + 1);
      if (e == std::string_view::npos) e = fmt.size();
      out.append(fmt.substr(i + 1, e - i - 1));
      i = e + 1;
      continue;
    }
    if (ch == '\\' && i + 1 < fmt.size()) {
      out.push_back(fmt[i + 1]);
      i += 2;
      continue;
    }
    if (startsWithI(i, "am/pm") || startsWithI(i, "a/p") || startsWithI(i, "ampm")) {
      bool pm = p.hour >= 12;
      std::size_t len = startsWithI(i, "am/pm") ? 5 : startsWithI(i, "ampm") ? 4 : 3;
      bool upper = ch == 'A' || ch == 'P';
      if (len == 3) out += upper ? (pm ? "P" : "A") : (pm ? "p" : "a");
      else out += upper ? (pm ? "PM" : "AM") : (pm ? "pm" : "am");
      i += len;
      continue;
    }
    // An "m" right after an hour, or right before seconds, means minutes.
    auto secondsFollow = [&](std::size_t from) {
      for (std::size_t k = from; k < fmt.size(); ++k) {
        char x = lower(fmt[k]);
        if (x == 's') return true;
        if (std::strchr("dmyhnwq", x)) return false;
      }
      return false;
    };
    switch (lc) {
      case 'c': out += generalDate(d, p); afterHour = false; break;
      case 'd':
        if (run == 1) out += std::to_string(p.day);
        else if (run == 2) out += two(p.day);
        else if (run == 3) out += std::string(kDayNames[weekdayOf(day) - 1]).substr(0, 3);
        else if (run == 4) out += kDayNames[weekdayOf(day) - 1];
        else if (run == 5) out += shortDate(p);
        else out += formatDateCustom(d, "dddd, mmmm d, yyyy");
        afterHour = false;
        break;
      case 'w':
        if (run == 1) out += std::to_string(weekdayOf(day));
        else {
          std::int64_t jan1 = 0;
          serialDay(p.year, 1, 1, jan1);
          out += std::to_string(weekIndex(day, 1) - weekIndex(jan1, 1) + 1);
        }
        afterHour = false;
        break;
      case 'm':
        if (run <= 2 && (afterHour || secondsFollow(i + run))) out += run == 1 ? std::to_string(p.minute) : two(p.minute);
        else if (run == 1) out += std::to_string(p.month);
        else if (run == 2) out += two(p.month);
        else if (run == 3) out += std::string(kMonthNames[p.month - 1]).substr(0, 3);
        else out += kMonthNames[p.month - 1];
        afterHour = false;
        break;
      case 'q': out += std::to_string((p.month - 1) / 3 + 1); afterHour = false; break;
      case 'y':
        if (run == 1) out += std::to_string(dayOfYear(p));
        else if (run == 2) out += two(p.year % 100);
        else out += std::to_string(p.year);
        afterHour = false;
        break;
      case 'h': {
        int h = twelveHour ? (p.hour % 12 == 0 ? 12 : p.hour % 12) : p.hour;
        out += run == 1 ? std::to_string(h) : two(h);
        afterHour = true;
        break;
      }
      case 'n': out += run == 1 ? std::to_string(p.minute) : two(p.minute); afterHour = false; break;
      case 's': out += run == 1 ? std::to_string(p.second) : two(p.second); afterHour = false; break;
      default: out.append(fmt.substr(i, run)); break;
    }
    i += run;
  }
  return out;
}

// Digits of |value| rounded to `decimals` places, split at the decimal point.
void fixedDigits(double value, int decimals, std::string& whole, std::string& fraction) {
  char buf[400];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, std::fabs(value));
  std::string s = buf;
  std::size_t dot = s.find('.');
  whole = dot == std::string::npos ? s : s.substr(0, dot);
  fraction = dot == std::string::npos ? std::string() : s.substr(dot + 1);
}

std::string groupThousands(const std::string& whole) {
  std::string out;
  int n = static_cast<int>(whole.size());
  for (int i = 0; i < n; ++i) {
    out.push_back(whole[static_cast<std::size_t>(i)]);
    int left = n - 1 - i;
    if (left > 0 && left % 3 == 0) out.push_back(',');
  }
  return out;
}

std::string formatNumberSection(double value, std::string_view fmt) {
  std::string prefix, suffix;
  int intZeros = 0, fracZeros = 0, fracHashes = 0;
  bool seenPlaceholder = false, afterPoint = false, thousands = false, percent = false, ended = false;
  for (std::size_t i = 0; i < fmt.size(); ++i) {
    char ch = fmt[i];
    std::string lit;
    if (ch == '"') {
      std::size_t e = fmt.find('"', i + 1);
      if (e == std::string_view::npos) e = fmt.size();
      lit = std::string(fmt.substr(i + 1, e - i - 1));
      i = e;
    } else if (ch == '\\' && i + 1 < fmt.size()) {
      lit = std::string(1, fmt[++i]);
    } else if ((ch == '0' || ch == '#') && !ended) {
      seenPlaceholder = true;
      if (afterPoint) (ch == '0' ? fracZeros : fracHashes)++;
      else if (ch == '0') intZeros++;
      continue;
    } else if (ch == '.' && !afterPoint && !ended) {
      afterPoint = true;
      seenPlaceholder = true;
      continue;
    } else if (ch == ',' && seenPlaceholder && !afterPoint && !ended) {
      thousands = true;
      continue;
    } else {
      if (ch == '%') percent = true;
      lit = std::string(1, ch);
    }
    if (!seenPlaceholder) prefix += lit;
    else {
      ended = true;
      suffix += lit;
    }
  }
  if (!seenPlaceholder) return prefix;
  if (percent) value *= 100;
  std::string whole, fraction;
  fixedDigits(value, fracZeros + fracHashes, whole, fraction);
  while (static_cast<int>(fraction.size()) > fracZeros && !fraction.empty() && fraction.back() == '0') fraction.pop_back();
  if (whole == "0" && intZeros == 0) whole.clear();
  while (static_cast<int>(whole.size()) < intZeros) whole.insert(whole.begin(), '0');
  if (thousands) whole = groupThousands(whole);
  std::string out = prefix + whole;
  // As in Jet, a format with a decimal point always shows it ("#.##" gives "5.").
  if (afterPoint) out += "." + fraction;
  return out + suffix;
}

std::vector<std::string_view> splitSections(std::string_view fmt) {
  std::vector<std::string_view> out;
  std::size_t start = 0;
  bool quoted = false;
  for (std::size_t i = 0; i < fmt.size(); ++i) {
    if (fmt[i] == '"') quoted = !quoted;
    else if (fmt[i] == '\\') ++i;
    else if (fmt[i] == ';' && !quoted) {
      out.push_back(fmt.substr(start, i - start));
      start = i + 1;
    }
  }
  out.push_back(fmt.substr(start));
  return out;
}

std::string formatNumber(double value, std::string_view fmt) {
  std::vector<std::string_view> sections = splitSections(fmt);
  if (value < 0 && sections.size() >= 2 && !sections[1].empty()) return formatNumberSection(-value, sections[1]);
  if (value == 0 && sections.size() >= 3 && !sections[2].empty()) return formatNumberSection(0, sections[2]);
  std::string s = formatNumberSection(std::fabs(value), sections[0]);
  bool nonZero = s.find_first_of("123456789") != std::string::npos;
  return value < 0 && nonZero ? "-" + s : s;
}

bool isDateFormat(std::string_view fmt) {
  bool quoted = false;
  bool date = false;
  for (std::size_t i = 0; i < fmt.size(); ++i) {
    char ch = fmt[i];
    if (ch == '"') {
      quoted = !quoted;
      continue;
    }
    if (quoted) continue;
    if (ch == '\\') {
      ++i;
      continue;
    }
    if (ch == '0' || ch == '#') return false;
    if (std::strchr("dDmMyYhHnNsSwWqQcC", ch)) date = true;
  }
  return date;
}

void fnFormat(Ctx* c, int argc, Val** argv) {
  if (isNull(argv[0])) return sqlite3_result_null(c);
  if (argc < 2 || isNull(argv[1]) || textOf(argv[1]).empty()) return resultText(c, textOf(argv[0]));
  std::string fmtText = textOf(argv[1]);
  std::string_view fmt = fmtText;
  struct Named {
    const char* name;
    int kind;
  } const named[] = {{"general number", 1}, {"currency", 2},   {"fixed", 3},         {"standard", 4},
                     {"percent", 5},        {"scientific", 6}, {"yes/no", 7},        {"true/false", 8},
                     {"on/off", 9},         {"general date", 10}, {"long date", 11}, {"medium date", 12},
                     {"short date", 13},    {"long time", 14},    {"medium time", 15}, {"short time", 16}};
  int kind = 0;
  for (const auto& n : named)
    if (asciiIEquals(fmt, n.name)) kind = n.kind;
  if (kind >= 10 || (kind == 0 && isDateFormat(fmt))) {
    double d = 0;
    if (!dateOf(c, argv[0], d)) return;
    DateTimeParts p;
    if (!kh::oleDateToParts(d, p)) return fail(c, kInvalidCall);
    switch (kind) {
      case 10: return resultText(c, generalDate(d, p));
      case 11: return resultText(c, formatDateCustom(d, "dddd, mmmm d, yyyy"));
      case 12: return resultText(c, formatDateCustom(d, "dd-mmm-yy"));
      case 13: return resultText(c, shortDate(p));
      case 14: return resultText(c, longTime(p));
      case 15: return resultText(c, formatDateCustom(d, "hh:nn AM/PM"));
      case 16: return resultText(c, formatDateCustom(d, "hh:nn"));
      default: return resultText(c, formatDateCustom(d, fmt));
    }
  }
  if (kind == 0 && isText(argv[0])) {
    double probe = 0;
    std::string s = textOf(argv[0]);
    if (!textToNumber(s, probe)) {
      // Text formats: ">" upper case, "<" lower case; anything else leaves the text.
      std::u32string u = decode(s);
      if (fmt.find('>') != std::string_view::npos)
        for (char32_t& ch : u) ch = upperCase(ch);
      else if (fmt.find('<') != std::string_view::npos)
        for (char32_t& ch : u) ch = lowerCase(ch);
      return resultText(c, encode(u));
    }
  }
  double v = 0;
  if (!realOf(c, argv[0], v)) return;
  switch (kind) {
    case 1: return resultText(c, numberText(v));
    case 2: {
      std::string s = "$" + formatNumberSection(std::fabs(v), "#,##0.00");
      return resultText(c, v < 0 ? "(" + s + ")" : s);
    }
    case 3: return resultText(c, formatNumber(v, "0.00"));
    case 4: return resultText(c, formatNumber(v, "#,##0.00"));
    case 5: return resultText(c, formatNumber(v, "0.00%"));
    case 6: {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.2E", v);
      std::string s = buf;
      // C writes at least two exponent digits, as Jet does.
      return resultText(c, s);
    }
    case 7: return resultText(c, v != 0 ? "Yes" : "No");
    case 8: return resultText(c, v != 0 ? "True" : "False");
    case 9: return resultText(c, v != 0 ? "On" : "Off");
    default: return resultText(c, formatNumber(v, fmt));
  }
}

// ---------------------------------------------------------------------------
// Aggregates

// A copy of an SQLite value that outlives the step call.
struct SavedValue {
  int type = SQLITE_NULL;
  std::int64_t i = 0;
  double d = 0;
  std::string bytes;
};

struct FirstLastState {
  SavedValue* value;  // allocated on the first step, freed by the final call
};

void saveValue(SavedValue& s, Val* v) {
  s.type = sqlite3_value_type(v);
  s.bytes.clear();
  switch (s.type) {
    case SQLITE_INTEGER: s.i = sqlite3_value_int64(v); break;
    case SQLITE_FLOAT: s.d = sqlite3_value_double(v); break;
    case SQLITE_TEXT: s.bytes = std::string(rawText(v)); break;
    case SQLITE_BLOB: {
      const void* b = sqlite3_value_blob(v);
      int n = sqlite3_value_bytes(v);
      if (b) s.bytes.assign(static_cast<const char*>(b), static_cast<std::size_t>(n));
      break;
    }
    default: break;
  }
}

template <bool Last>
void firstLastStep(Ctx* c, int, Val** argv) {
  auto* st = static_cast<FirstLastState*>(sqlite3_aggregate_context(c, sizeof(FirstLastState)));
  if (!st) return sqlite3_result_error_nomem(c);
  if (!st->value) {
    st->value = new (std::nothrow) SavedValue;
    if (!st->value) return sqlite3_result_error_nomem(c);
    saveValue(*st->value, argv[0]);
  } else if (Last) {
    saveValue(*st->value, argv[0]);
  }
}

void firstLastFinal(Ctx* c) {
  auto* st = static_cast<FirstLastState*>(sqlite3_aggregate_context(c, 0));
  if (!st || !st->value) return sqlite3_result_null(c);
  const SavedValue& s = *st->value;
  switch (s.type) {
    case SQLITE_INTEGER: sqlite3_result_int64(c, s.i); break;
    case SQLITE_FLOAT: sqlite3_result_double(c, s.d); break;
    case SQLITE_TEXT: sqlite3_result_text(c, s.bytes.data(), static_cast<int>(s.bytes.size()), SQLITE_TRANSIENT); break;
    case SQLITE_BLOB: sqlite3_result_blob(c, s.bytes.data(), static_cast<int>(s.bytes.size()), SQLITE_TRANSIENT); break;
    default: sqlite3_result_null(c); break;
  }
  delete st->value;
  st->value = nullptr;
}

struct VarianceState {
  std::int64_t n;
  double mean;
  double m2;
  bool failed;
};

void varianceStep(Ctx* c, int, Val** argv) {
  auto* st = static_cast<VarianceState*>(sqlite3_aggregate_context(c, sizeof(VarianceState)));
  if (!st) return sqlite3_result_error_nomem(c);
  if (isNull(argv[0]) || st->failed) return;
  double x = 0;
  if (!realOf(c, argv[0], x)) {
    st->failed = true;
    return;
  }
  st->n += 1;
  double delta = x - st->mean;
  st->mean += delta / static_cast<double>(st->n);
  st->m2 += delta * (x - st->mean);
}

template <bool Sample, bool Root>
void varianceFinal(Ctx* c) {
  auto* st = static_cast<VarianceState*>(sqlite3_aggregate_context(c, 0));
  if (!st) return sqlite3_result_null(c);
  if (st->failed) return fail(c, kTypeMismatch);
  std::int64_t minimum = Sample ? 2 : 1;
  if (st->n < minimum) return sqlite3_result_null(c);
  double v = st->m2 / static_cast<double>(Sample ? st->n - 1 : st->n);
  if (v < 0) v = 0;
  sqlite3_result_double(c, Root ? std::sqrt(v) : v);
}

// ---------------------------------------------------------------------------
// The function table

using ScalarFn = void (*)(Ctx*, int, Val**);
using FinalFn = void (*)(Ctx*);

struct Entry {
  FunctionInfo info;
  ScalarFn scalar;  // or the step function of an aggregate
  FinalFn final;    // aggregates only
  bool deterministic;
};

constexpr bool T = true, F = false;

const Entry kEntries[] = {
    // Date and time.
    {{"now", "kh_now", 0, 0, F, F}, fnNow, nullptr, F},
    {{"date", "kh_date", 0, 0, F, F}, fnDate, nullptr, F},
    {{"time", "kh_time", 0, 0, F, F}, fnTime, nullptr, F},
    {{"year", "kh_year", 1, 1, F, F}, fnDatePartOf<0>, nullptr, T},
    {{"month", "kh_month", 1, 1, F, F}, fnDatePartOf<1>, nullptr, T},
    {{"day", "kh_day", 1, 1, F, F}, fnDatePartOf<2>, nullptr, T},
    {{"hour", "kh_hour", 1, 1, F, F}, fnDatePartOf<3>, nullptr, T},
    {{"minute", "kh_minute", 1, 1, F, F}, fnDatePartOf<4>, nullptr, T},
    {{"second", "kh_second", 1, 1, F, F}, fnDatePartOf<5>, nullptr, T},
    {{"weekday", "kh_weekday", 1, 2, F, F}, fnWeekday, nullptr, T},
    {{"dateserial", "kh_dateserial", 3, 3, F, F}, fnDateSerial, nullptr, T},
    {{"timeserial", "kh_timeserial", 3, 3, F, F}, fnTimeSerial, nullptr, T},
    {{"datevalue", "kh_datevalue", 1, 1, F, F}, fnDateValue, nullptr, T},
    {{"timevalue", "kh_timevalue", 1, 1, F, F}, fnTimeValue, nullptr, T},
    {{"dateadd", "kh_dateadd", 3, 3, F, F}, fnDateAdd, nullptr, T},
    {{"datediff", "kh_datediff", 3, 5, F, F}, fnDateDiff, nullptr, T},
    {{"datepart", "kh_datepart", 2, 4, F, F}, fnDatePart, nullptr, T},
    // Text.
    {{"ucase", "kh_ucase", 1, 1, F, T}, fnUCase, nullptr, T},
    {{"lcase", "kh_lcase", 1, 1, F, T}, fnLCase, nullptr, T},
    {{"len", "kh_len", 1, 1, F, F}, fnLen, nullptr, T},
    {{"left", "kh_left", 2, 2, F, T}, fnLeft, nullptr, T},
    {{"right", "kh_right", 2, 2, F, T}, fnRight, nullptr, T},
    {{"mid", "kh_mid", 2, 3, F, T}, fnMid, nullptr, T},
    {{"trim", "kh_trim", 1, 1, F, T}, fnTrim<true, true>, nullptr, T},
    {{"ltrim", "kh_ltrim", 1, 1, F, T}, fnTrim<true, false>, nullptr, T},
    {{"rtrim", "kh_rtrim", 1, 1, F, T}, fnTrim<false, true>, nullptr, T},
    {{"instr", "kh_instr", 2, 4, F, F}, fnInStr, nullptr, T},
    {{"space", "kh_space", 1, 1, F, T}, fnSpace, nullptr, T},
    {{"string", "kh_string", 2, 2, F, T}, fnString, nullptr, T},
    {{"asc", "kh_asc", 1, 1, F, F}, fnAsc, nullptr, T},
    {{"chr", "kh_chr", 1, 1, F, T}, fnChr, nullptr, T},
    {{"strcomp", "kh_strcomp", 2, 3, F, F}, fnStrComp, nullptr, T},
    {{"format", "kh_format", 1, 4, F, T}, fnFormat, nullptr, T},
    // Conversions.
    {{"cstr", "kh_cstr", 1, 1, F, T}, fnCStr, nullptr, T},
    {{"clng", "kh_clng", 1, 1, F, F}, fnCWhole<-2147483648ll, 2147483647ll>, nullptr, T},
    {{"cint", "kh_cint", 1, 1, F, F}, fnCWhole<-32768, 32767>, nullptr, T},
    {{"cbyte", "kh_cbyte", 1, 1, F, F}, fnCWhole<0, 255>, nullptr, T},
    {{"cdbl", "kh_cdbl", 1, 1, F, F}, fnCDbl, nullptr, T},
    {{"csng", "kh_csng", 1, 1, F, F}, fnCSng, nullptr, T},
    {{"ccur", "kh_ccur", 1, 1, F, F}, fnCCur, nullptr, T},
    {{"cdate", "kh_cdate", 1, 1, F, F}, fnCDate, nullptr, T},
    {{"cvdate", "kh_cdate", 1, 1, F, F}, fnCDate, nullptr, T},
    {{"cbool", "kh_cbool", 1, 1, F, F}, fnCBool, nullptr, T},
    {{"isnumeric", "kh_isnumeric", 1, 1, F, F}, fnIsNumeric, nullptr, T},
    {{"isdate", "kh_isdate", 1, 1, F, F}, fnIsDate, nullptr, T},
    {{"val", "kh_val", 1, 1, F, F}, fnVal, nullptr, T},
    {{"str", "kh_str", 1, 1, F, T}, fnStr, nullptr, T},
    {{"hex", "kh_hex", 1, 1, F, T}, fnHexOct<16>, nullptr, T},
    {{"oct", "kh_oct", 1, 1, F, T}, fnHexOct<8>, nullptr, T},
    // Numbers.
    {{"abs", "kh_abs", 1, 1, F, F}, fnAbs, nullptr, T},
    {{"int", "kh_int", 1, 1, F, F}, fnIntFix<true>, nullptr, T},
    {{"fix", "kh_fix", 1, 1, F, F}, fnIntFix<false>, nullptr, T},
    {{"round", "kh_round", 1, 2, F, F}, fnRound, nullptr, T},
    {{"sgn", "kh_sgn", 1, 1, F, F}, fnSgn, nullptr, T},
    {{"sqr", "kh_sqr", 1, 1, F, F}, fnMath<0>, nullptr, T},
    {{"exp", "kh_exp", 1, 1, F, F}, fnMath<1>, nullptr, T},
    {{"log", "kh_log", 1, 1, F, F}, fnMath<2>, nullptr, T},
    {{"sin", "kh_sin", 1, 1, F, F}, fnMath<3>, nullptr, T},
    {{"cos", "kh_cos", 1, 1, F, F}, fnMath<4>, nullptr, T},
    {{"tan", "kh_tan", 1, 1, F, F}, fnMath<5>, nullptr, T},
    {{"atn", "kh_atn", 1, 1, F, F}, fnMath<6>, nullptr, T},
    // Aggregates: SQLite's own where they behave as Jet's.
    {{"count", "count", 1, 1, T, F}, nullptr, nullptr, T},
    {{"sum", "sum", 1, 1, T, F}, nullptr, nullptr, T},
    {{"avg", "avg", 1, 1, T, F}, nullptr, nullptr, T},
    {{"min", "min", 1, 1, T, F}, nullptr, nullptr, T},
    {{"max", "max", 1, 1, T, F}, nullptr, nullptr, T},
    {{"first", "kh_first", 1, 1, T, F}, firstLastStep<false>, firstLastFinal, T},
    {{"last", "kh_last", 1, 1, T, F}, firstLastStep<true>, firstLastFinal, T},
    {{"stdev", "kh_stdev", 1, 1, T, F}, varianceStep, varianceFinal<true, true>, T},
    {{"stdevp", "kh_stdevp", 1, 1, T, F}, varianceStep, varianceFinal<false, true>, T},
    {{"var", "kh_var", 1, 1, T, F}, varianceStep, varianceFinal<true, false>, T},
    {{"varp", "kh_varp", 1, 1, T, F}, varianceStep, varianceFinal<false, false>, T},
};

struct Internal {
  const char* name;
  int args;
  ScalarFn fn;
};

const Internal kInternal[] = {
    {"kh_cat", -1, fnCat}, {"kh_add", 2, fnAdd}, {"kh_div", 2, fnDiv},   {"kh_idiv", 2, fnIntDiv},
    {"kh_mod", 2, fnMod},  {"kh_pow", 2, fnPow}, {"like", 2, fnLike},
};

}  // namespace

const FunctionInfo* findJetFunction(std::string_view name) {
  if (!name.empty() && name.back() == '$') name.remove_suffix(1);
  for (const Entry& e : kEntries)
    if (asciiIEquals(name, e.info.jetName)) return &e.info;
  return nullptr;
}

int registerJetFunctions(sqlite3* db) {
  if (!db) return SQLITE_MISUSE;
  const int utf8 = SQLITE_UTF8;
  for (const Entry& e : kEntries) {
    if (!e.scalar) continue;
    // Several Jet names share one implementation; register each SQL name once.
    if (&e != kEntries && std::strcmp(e.info.sqlName, (&e - 1)->info.sqlName) == 0) continue;
    int flags = utf8 | (e.deterministic ? SQLITE_DETERMINISTIC : 0);
    for (int n = e.info.minArgs; n <= e.info.maxArgs; ++n) {
      int rc = e.info.aggregate
                   ? sqlite3_create_function_v2(db, e.info.sqlName, n, flags, nullptr, nullptr, e.scalar, e.final, nullptr)
                   : sqlite3_create_function_v2(db, e.info.sqlName, n, flags, nullptr, e.scalar, nullptr, nullptr,
                                                nullptr);
      if (rc != SQLITE_OK) return rc;
    }
  }
  for (const Internal& f : kInternal) {
    int rc = sqlite3_create_function_v2(db, f.name, f.args, utf8 | SQLITE_DETERMINISTIC, nullptr, f.fn, nullptr,
                                        nullptr, nullptr);
    if (rc != SQLITE_OK) return rc;
  }
  return sqlite3_create_collation_v2(db, kTextCollation, SQLITE_UTF8, nullptr, collateJetText, nullptr);
}

}  // namespace kh::store::jet
