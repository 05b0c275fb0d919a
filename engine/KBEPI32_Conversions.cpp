#include "KBEPI32_Conversions.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "KBEPI32_Log.h"
#include "platform/ansi.h"
#include "platform/collate.h"
#include "platform/oledate.h"

namespace kbe::conv {

using kh::Variant;

namespace {

// DAO field types.
enum : std::int16_t {
  dBoolean = 1,
  dByte = 2,
  dInteger = 3,
  dLong = 4,
  dCurrency = 5,
  dSingle = 6,
  dDouble = 7,
  dDate = 8,
  dBinary = 9,
  dText = 10,
  dLongBinary = 11,
  dMemo = 12,
  dGUID = 15,
};

template <class T>
void store(std::uint8_t* slot, T v) {
  std::memcpy(slot, &v, sizeof v);
}

template <class T>
T load(const std::uint8_t* slot) {
  T v;
  std::memcpy(&v, slot, sizeof v);
  return v;
}

bool number(const Variant& v, double& out) {
  // The kinds record values arrive in are read directly; others convert.
  switch (v.type()) {
    case kh::VT_I4: out = v.i4(); return true;
    case kh::VT_I2: out = v.i2(); return true;
    case kh::VT_R8: out = v.r8(); return true;
    case kh::VT_UI1: out = v.ui1(); return true;
    case kh::VT_BOOL: out = v.boolVal() ? -1.0 : 0.0; return true;
    default: break;
  }
  Variant d;
  if (kh::FAILED(v.changeType(kh::VT_R8, d))) return false;
  out = d.r8();
  return true;
}

// Parses the whole text as a decimal integer (blanks around it allowed).
bool parseInteger(const std::string& text, long long& out) {
  const char* s = text.c_str();
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(s, &end, 10);
  if (end == s || errno == ERANGE) return false;
  while (*end == ' ') ++end;
  if (*end) return false;
  out = v;
  return true;
}

bool parseNumber(const std::string& text, double& out) {
  const char* s = text.c_str();
  char* end = nullptr;
  double v = std::strtod(s, &end);
  if (end == s) return false;
  while (*end == ' ') ++end;
  if (*end) return false;
  out = v;
  return true;
}

std::string slotText(const std::uint8_t* slot, int slotLength) {
  const char* p = reinterpret_cast<const char*>(slot);
  std::size_t n = 0;
  while (static_cast<int>(n) < slotLength && p[n]) ++n;
  return std::string(p, n);
}

// Writes the Windows-1252 form of UTF-8 text straight into a slot, at most
// `limit` bytes and a terminating zero; as ansiOf, characters the code page
// lacks and malformed bytes become '?'.
void textIntoSlot(std::string_view utf8, int limit, std::uint8_t* slot) {
  const std::size_t cap = limit < 0 ? 0 : static_cast<std::size_t>(limit);
  std::size_t n = 0;
  std::size_t pos = 0;
  while (pos < utf8.size() && n < cap) {
    const auto b = static_cast<unsigned char>(utf8[pos]);
    if (b < 0x80) {
      slot[n++] = b;
      ++pos;
      continue;
    }
    char32_t cp = 0;
    const std::size_t len = kh::decodeUtf8(utf8, pos, cp);
    const int a = len ? kh::unicodeToAnsi(cp) : -1;
    slot[n++] = a < 0 ? static_cast<std::uint8_t>('?') : static_cast<std::uint8_t>(a);
    pos += len ? len : 1;
  }
  slot[n] = 0;
}

// Code points of a UTF-8 text, cut to `count` of them.
std::string firstCharacters(const std::string& utf8, int count) {
  std::size_t pos = 0;
  for (int i = 0; i < count && pos < utf8.size(); ++i) {
    char32_t cp;
    std::size_t len = kh::decodeUtf8(utf8, pos, cp);
    pos += len ? len : 1;
  }
  return utf8.substr(0, pos);
}

bool truth(const Variant& v) {
  double d = 0;
  return number(v, d) && d != 0.0;
}

}  // namespace

std::string ansiOf(const std::string& utf8) {
  std::string out;
  if (kh::utf8ToAnsi(utf8, out)) return out;
  // Text written by another client may hold characters the code page lacks.
  out.clear();
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    char32_t cp = 0;
    std::size_t len = kh::decodeUtf8(utf8, pos, cp);
    if (len == 0) {
      out += '?';
      ++pos;
      continue;
    }
    int b = kh::unicodeToAnsi(cp);
    out += b < 0 ? '?' : static_cast<char>(b);
    pos += len;
  }
  return out;
}

std::string utf8Of(const std::string& ansi) { return kh::ansiToUtf8(ansi); }

void copyAnsi(char* out, const std::string& text, std::size_t limit) noexcept {
  if (!out) return;
  const std::size_t n = text.size() < limit ? text.size() : limit;
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

double timestampFromDate(double oleDate) { return kh::oleDateToTimestamp(oleDate); }
double dateFromTimestamp(double timestamp) { return kh::timestampToOleDate(timestamp); }

double dateFromDayAndTime(std::int32_t dayCount, std::int32_t milliseconds) {
  double day = static_cast<double>(dayCount) - kBdeEpochDays;
  double fraction = static_cast<double>(milliseconds) / 86400000.0;
  return day < 0 ? day - fraction : day + fraction;
}

void valueIntoSlot(std::int16_t daoType, int textLimit, const Variant& value, std::uint8_t& status,
                   std::uint8_t* slot) {
  bool present = !(value.isNull() || value.isEmpty());
  status = static_cast<std::uint8_t>((status & ~(kPresent | kUnfetched)) | (present ? kPresent : 0));
  if (!present) {
    if (daoType == dLongBinary || daoType == dMemo) store<std::uint32_t>(slot, 0);
    return;
  }
  double d = 0;
  switch (daoType) {
    case dBoolean: store<std::int16_t>(slot, truth(value) ? 1 : 0); return;
    case dByte:
    case dInteger:
      if (!number(value, d)) break;
      store<std::int16_t>(slot, static_cast<std::int16_t>(std::lround(d)));
      return;
    case dLong:
      if (!number(value, d)) break;
      store<std::int32_t>(slot, static_cast<std::int32_t>(std::llround(d)));
      return;
    case dCurrency:
    case dDouble:
      if (!number(value, d)) break;
      store<double>(slot, d);
      return;
    case dSingle: {
      if (!number(value, d)) break;
      // A Single reads as the shortest decimal of its seven digits.
      char text[32];
      std::snprintf(text, sizeof text, "%.7g", d);
      store<double>(slot, std::strtod(text, nullptr));
      return;
    }
    case dDate: {
      if (value.type() == kh::VT_DATE) {
        store<double>(slot, timestampFromDate(value.date()));
        return;
      }
      Variant dt;
      if (kh::FAILED(value.changeType(kh::VT_DATE, dt))) break;
      store<double>(slot, timestampFromDate(dt.date()));
      return;
    }
    case dBinary: {
      if (!value.isArray()) break;
      const auto& b = value.bytes();
      std::size_t n = std::min<std::size_t>(b.size(), textLimit < 0 ? 0 : static_cast<std::size_t>(textLimit));
      std::memcpy(slot, b.data(), n);
      return;
    }
    case dText:
    case dGUID: {
      if (value.type() == kh::VT_BSTR) {
        textIntoSlot(value.str(), textLimit, slot);
        return;
      }
      Variant s;
      if (kh::FAILED(value.changeType(kh::VT_BSTR, s))) break;
      textIntoSlot(s.str(), textLimit, slot);
      return;
    }
    case dLongBinary:
    case dMemo: store<std::uint32_t>(slot, 0); return;
    default: break;
  }
  status = static_cast<std::uint8_t>(status & ~kPresent);
}

void valueIntoSlot(std::int16_t daoType, int textLimit, const kh::dao::FieldValueView& value, std::uint8_t& status,
                   std::uint8_t* slot) {
  const bool present = value.type != kh::VT_NULL && value.type != kh::VT_EMPTY;
  if (present && value.type == kh::VT_BSTR && (daoType == dText || daoType == dGUID)) {
    status = static_cast<std::uint8_t>((status & ~kUnfetched) | kPresent);
    textIntoSlot(std::string_view(value.data, value.size), textLimit, slot);
    return;
  }
  if (present && value.type == kh::VT_UI1_ARRAY && daoType == dBinary) {
    status = static_cast<std::uint8_t>((status & ~kUnfetched) | kPresent);
    std::memcpy(slot, value.data, std::min<std::size_t>(value.size, textLimit < 0 ? 0 : static_cast<std::size_t>(textLimit)));
    return;
  }
  // Memo and Long Binary slots hold blob handles: the value itself is not needed.
  if (daoType == dMemo || daoType == dLongBinary) {
    valueIntoSlot(daoType, textLimit, present ? Variant::fromI4(0) : Variant::null(), status, slot);
    return;
  }
  Variant v;
  switch (value.type) {
    case kh::VT_NULL: v = Variant::null(); break;
    case kh::VT_BOOL: v = Variant::fromBool(value.integer != 0); break;
    case kh::VT_UI1: v = Variant::fromByte(static_cast<std::uint8_t>(value.integer)); break;
    case kh::VT_I2: v = Variant(static_cast<std::int16_t>(value.integer)); break;
    case kh::VT_I4: v = Variant(static_cast<std::int32_t>(value.integer)); break;
    case kh::VT_CY: v = Variant(kh::Currency{value.integer}); break;
    case kh::VT_R4: v = Variant(static_cast<float>(value.real)); break;
    case kh::VT_R8: v = Variant(value.real); break;
    case kh::VT_DATE: v = Variant::fromDate(value.real); break;
    case kh::VT_BSTR: v = Variant(std::string_view(value.data, value.size)); break;
    case kh::VT_UI1_ARRAY: {
      const auto* p = reinterpret_cast<const std::uint8_t*>(value.data);
      v = Variant::fromBytes(std::vector<std::uint8_t>(p, p + value.size));
      break;
    }
    default: break;
  }
  valueIntoSlot(daoType, textLimit, v, status, slot);
}

Variant slotIntoValue(std::int16_t daoType, std::uint8_t status, bool zeroLengthAllowed, int slotLength,
                      const std::uint8_t* slot) {
  if (!(status & kPresent)) return Variant::null();
  switch (daoType) {
    case dBoolean: return Variant::fromBool(load<std::int16_t>(slot) != 0);
    case dByte:
    case dInteger: return Variant(load<std::int16_t>(slot));
    case dLong: return Variant(load<std::int32_t>(slot));
    case dCurrency: {
      double d = load<double>(slot);
      return Variant(kh::Currency{static_cast<std::int64_t>(std::llround(d * 10000.0))});
    }
    case dSingle:
    case dDouble: return Variant(load<double>(slot));
    case dDate: return Variant::fromDate(dateFromTimestamp(load<double>(slot)));
    case dBinary: return Variant::fromBytes(std::vector<std::uint8_t>(slot, slot + std::max(slotLength, 0)));
    case dText:
    case dGUID: {
      std::string text = slotText(slot, slotLength);
      if (text.empty() && !zeroLengthAllowed) return Variant::null();
      return Variant(utf8Of(text));
    }
    case dLongBinary:
    case dMemo: return Variant();
    default: return Variant::null();
  }
}

void defaultIntoSlot(std::int16_t daoType, const std::string& defaultText, std::uint8_t& status, int slotLength,
                     std::uint8_t* slot) {
  auto setNull = [&] { status = static_cast<std::uint8_t>(status & ~kPresent); };
  if (defaultText.empty() || defaultText == "Null") {
    setNull();
    return;
  }
  status = static_cast<std::uint8_t>(status | kPresent);
  long long i = 0;
  double d = 0;
  switch (daoType) {
    case dBoolean:
      if (defaultText == "Yes") store<std::int16_t>(slot, -1);
      else if (defaultText == "No") store<std::int16_t>(slot, 0);
      else setNull();
      return;
    case dByte:
      if (parseInteger(defaultText, i)) slot[0] = static_cast<std::uint8_t>(i & 0xFF);
      else setNull();
      return;
    case dInteger:
      if (parseInteger(defaultText, i) && i >= INT16_MIN && i <= INT16_MAX) store<std::int16_t>(slot, static_cast<std::int16_t>(i));
      else setNull();
      return;
    case dLong:
      if (parseInteger(defaultText, i) && i >= INT32_MIN && i <= INT32_MAX) store<std::int32_t>(slot, static_cast<std::int32_t>(i));
      else setNull();
      return;
    case dCurrency:
    case dSingle:
    case dDouble:
      if (parseNumber(defaultText, d)) store<double>(slot, d);
      else setNull();
      return;
    case dDate: {
      if (defaultText.size() < 2 || defaultText.front() != '#') {
        setNull();
        return;
      }
      auto date = kh::parseDateText(defaultText.substr(1, defaultText.size() - 2));
      if (date) store<double>(slot, timestampFromDate(*date));
      else setNull();
      return;
    }
    case dText: {
      char q = defaultText.front();
      if ((q != '"' && q != '\'') || defaultText.size() < 2) {
        setNull();
        return;
      }
      textIntoSlot(std::string_view(defaultText).substr(1, defaultText.size() - 2), slotLength - 1, slot);
      return;
    }
    case dLongBinary:
    case dMemo: store<std::uint32_t>(slot, 0); return;
    default: setNull(); return;
  }
}

std::int16_t bdeToDaoType(std::uint16_t fldType, std::uint16_t subType) {
  switch (fldType) {
    case fldZSTRING: return dText;
    case fldBLOB: return subType == fldstMEMO ? dMemo : dLongBinary;
    case fldBOOL: return dBoolean;
    case fldINT16: return dInteger;
    case fldINT32: return dLong;
    case fldFLOAT: return dDouble;
    case fldBCD: return dCurrency;
    case fldBYTES: return dBinary;
    case fldTIMESTAMP: return dDate;
    default: return 0;
  }
}

int compareValues(const Variant& a, const Variant& b, bool caseInsensitive, int partialLength) {
  bool aNull = a.isNull() || a.isEmpty();
  bool bNull = b.isNull() || b.isEmpty();
  if (aNull || bNull) return aNull && bNull ? 0 : (aNull ? -1 : 1);
  if (a.type() == kh::VT_BSTR || b.type() == kh::VT_BSTR) {
    std::string ta = a.type() == kh::VT_BSTR ? a.str() : a.toString();
    std::string tb = b.type() == kh::VT_BSTR ? b.str() : b.toString();
    if (partialLength >= 1) {
      ta = firstCharacters(ta, partialLength);
      tb = firstCharacters(tb, partialLength);
    }
    unsigned flags = kh::kIgnoreKanaType | kh::kIgnoreWidth | kh::kStringSort;
    if (caseInsensitive) flags |= kh::kIgnoreCase;
    return kh::compareStringLocale(ta, tb, flags);
  }
  if (a.type() == kh::VT_BOOL || b.type() == kh::VT_BOOL) {
    bool ta = truth(a), tb = truth(b);
    if (ta == tb) return 0;
    return ta ? -1 : 1;  // True (-1) sorts below False (0)
  }
  switch (kh::compareVariants(a, b)) {
    case kh::VarCmp::Less: return -1;
    case kh::VarCmp::Greater: return 1;
    default: return 0;
  }
}

void bookmarkFromDao(const Variant& daoBookmark, std::uint8_t* form) {
  if (!daoBookmark.isArray()) throw EKBEError("Bookmark is not a byte array");
  std::int32_t lower = daoBookmark.lbound(), upper = daoBookmark.ubound();
  store<std::int16_t>(form + 8, static_cast<std::int16_t>(lower));
  store<std::int16_t>(form + 10, static_cast<std::int16_t>(upper));
  if (upper - lower + 1 > 8) throw EKBEError("Bookmark is too long");
  const auto& b = daoBookmark.bytes();
  std::memset(form, 0, 8);
  std::memcpy(form, b.data(), b.size());
}

Variant daoFromBookmark(const std::uint8_t* form) {
  std::int16_t lower = load<std::int16_t>(form + 8);
  std::int16_t upper = load<std::int16_t>(form + 10);
  int n = upper - lower + 1;
  if (n < 0) n = 0;
  if (n > 8) n = 8;
  return Variant::fromBytes(std::vector<std::uint8_t>(form, form + n), lower);
}

std::uint16_t compareBookmarks(const Variant& a, const Variant& b, std::int16_t& result) {
  if (a.type() != b.type() || !a.isArray()) return 0x2702;
  if (a.lbound() != b.lbound()) return 0x2725;
  const auto& x = a.bytes();
  const auto& y = b.bytes();
  if (x.size() == 4 && y.size() == 4) {
    std::int32_t p = load<std::int32_t>(x.data()), q = load<std::int32_t>(y.data());
    result = static_cast<std::int16_t>(p < q ? -1 : p > q ? 1 : 0);
    return 0;
  }
  std::size_t n = std::min(x.size(), y.size());
  for (std::size_t i = 0; i < n; ++i)
    if (x[i] != y[i]) {
      result = static_cast<std::int16_t>(x[i] < y[i] ? -1 : 1);
      return 0;
    }
  result = static_cast<std::int16_t>(x.size() < y.size() ? -1 : x.size() > y.size() ? 1 : 0);
  return 0;
}

std::string dateTimeCriteriaText(double oleDate) {
  kh::DateTimeParts p{};
  if (!kh::oleDateToParts(oleDate, p)) return {};
  char text[40];
  if (p.hour == 0 && p.minute == 0 && p.second == 0 && p.millisecond == 0)
    std::snprintf(text, sizeof text, "%02d/%02d/%04d", p.month, p.day, p.year);
  else
    std::snprintf(text, sizeof text, "%02d/%02d/%04d %02d:%02d:%02d", p.month, p.day, p.year, p.hour, p.minute,
                  p.second);
  return text;
}

std::string floatCriteriaText(double value) {
  char text[40];
  if (value == std::floor(value) && std::fabs(value) < 1e15) {
    std::snprintf(text, sizeof text, "%.0f", value);
  } else {
    std::snprintf(text, sizeof text, "%.15g", value);
  }
  return text;
}

}  // namespace kbe::conv
