#include "platform/variant.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <compare>
#include <cstdio>
#include <ctime>
#include <functional>
#include <limits>

#include "platform/ansi.h"
#include "platform/oledate.h"

namespace kh {
namespace {
__extension__ typedef __int128 Int128;
__extension__ typedef unsigned __int128 UInt128;
}  // namespace

// ---------------------------------------------------------------------------
// Value semantics

Variant Variant::null() noexcept {
  Variant v;
  v.vt_ = VT_NULL;
  return v;
}

Variant Variant::fromDate(double oleDate) noexcept {
  Variant v;
  v.vt_ = VT_DATE;
  v.u_.r8 = oleDate;
  return v;
}

Variant Variant::fromBool(bool b) noexcept {
  Variant v;
  v.vt_ = VT_BOOL;
  v.u_.i2 = b ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

Variant Variant::fromByte(std::uint8_t b) noexcept {
  Variant v;
  v.vt_ = VT_UI1;
  v.u_.ui1 = b;
  return v;
}

Variant Variant::fromError(HRESULT scode) noexcept {
  Variant v;
  v.vt_ = VT_ERROR;
  v.u_.scode = scode;
  return v;
}

Variant Variant::fromDispatch(IDispatch* p) noexcept {
  Variant v;
  v.vt_ = VT_DISPATCH;
  v.u_.disp = p;
  if (p) p->AddRef();
  return v;
}

Variant Variant::fromBytes(std::vector<std::uint8_t> bytes, std::int32_t lowerBound) noexcept {
  Variant v;
  v.vt_ = VT_UI1_ARRAY;
  v.bytes_ = std::move(bytes);
  v.lbound_ = lowerBound;
  return v;
}

Variant::Variant(const Variant& o)
    : vt_(o.vt_), u_(o.u_), str_(o.str_), bytes_(o.bytes_), lbound_(o.lbound_) {
  if (vt_ == VT_DISPATCH && u_.disp) u_.disp->AddRef();
}

Variant::Variant(Variant&& o) noexcept
    : vt_(o.vt_), u_(o.u_), str_(std::move(o.str_)), bytes_(std::move(o.bytes_)), lbound_(o.lbound_) {
  o.vt_ = VT_EMPTY;
  o.u_.disp = nullptr;
  o.str_.clear();
  o.bytes_.clear();
  o.lbound_ = 0;
}

Variant& Variant::operator=(const Variant& o) {
  if (this != &o) {
    Variant copy(o);
    *this = std::move(copy);
  }
  return *this;
}

Variant& Variant::operator=(Variant&& o) noexcept {
  if (this != &o) {
    clear();
    vt_ = o.vt_;
    u_ = o.u_;
    str_ = std::move(o.str_);
    bytes_ = std::move(o.bytes_);
    lbound_ = o.lbound_;
    o.vt_ = VT_EMPTY;
    o.u_.disp = nullptr;
    o.str_.clear();
    o.bytes_.clear();
    o.lbound_ = 0;
  }
  return *this;
}

Variant::~Variant() { clear(); }

void Variant::clear() noexcept {
  if (vt_ == VT_DISPATCH && u_.disp) u_.disp->Release();
  vt_ = VT_EMPTY;
  u_.disp = nullptr;
  u_.cy = 0;
  str_.clear();
  bytes_.clear();
  lbound_ = 0;
}

const std::string& Variant::str() const noexcept {
  static const std::string kEmpty;
  return vt_ == VT_BSTR ? str_ : kEmpty;
}

std::int32_t Variant::ubound() const noexcept {
  if (vt_ != VT_UI1_ARRAY) return -1;
  return static_cast<std::int32_t>(static_cast<std::int64_t>(lbound_) +
                                   static_cast<std::int64_t>(bytes_.size()) - 1);
}

const std::vector<std::uint8_t>& Variant::bytes() const noexcept {
  static const std::vector<std::uint8_t> kNone;
  return vt_ == VT_UI1_ARRAY ? bytes_ : kNone;
}

bool operator==(const Variant& a, const Variant& b) noexcept {
  if (a.vt_ != b.vt_) return false;
  switch (a.vt_) {
    case VT_EMPTY:
    case VT_NULL: return true;
    case VT_I2:
    case VT_BOOL: return a.u_.i2 == b.u_.i2;
    case VT_I4: return a.u_.i4 == b.u_.i4;
    case VT_R4: return a.u_.r4 == b.u_.r4;
    case VT_R8:
    case VT_DATE: return a.u_.r8 == b.u_.r8;
    case VT_CY: return a.u_.cy == b.u_.cy;
    case VT_UI1: return a.u_.ui1 == b.u_.ui1;
    case VT_ERROR: return a.u_.scode == b.u_.scode;
    case VT_DISPATCH: return a.u_.disp == b.u_.disp;
    case VT_BSTR: return a.str_ == b.str_;
    case VT_UI1_ARRAY: return a.lbound_ == b.lbound_ && a.bytes_ == b.bytes_;
    default: return false;
  }
}

// ---------------------------------------------------------------------------
// Numbers

double roundHalfEven(double v) {
  if (!std::isfinite(v)) return v;
  double f = std::floor(v);
  double diff = v - f;
  if (diff > 0.5) return f + 1.0;
  if (diff < 0.5) return f;
  return std::fmod(f, 2.0) == 0.0 ? f : f + 1.0;
}

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

// A decimal number as written: sign, significant digits (no leading zeros; empty
// for zero) and the power of ten of the last digit.
struct Decimal {
  bool negative = false;
  std::string digits;
  long exponent = 0;
};

// [blanks] [+|-] digits [. digits] [e|E [+|-] digits] [blanks], with at least one
// mantissa digit.
bool parseDecimal(std::string_view text, Decimal& out) {
  std::string_view s = trim(text);
  std::size_t i = 0;
  Decimal d;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) d.negative = s[i++] == '-';
  bool anyDigit = false;
  long fractionDigits = 0;
  bool inFraction = false;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (c >= '0' && c <= '9') {
      anyDigit = true;
      if (!(d.digits.empty() && c == '0')) d.digits.push_back(c);
      if (inFraction) ++fractionDigits;
    } else if (c == '.' && !inFraction) {
      inFraction = true;
    } else {
      break;
    }
  }
  if (!anyDigit) return false;
  long exp = 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    bool expNegative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) expNegative = s[i++] == '-';
    bool expDigit = false;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
      expDigit = true;
      if (exp < 100000) exp = exp * 10 + (s[i] - '0');
    }
    if (!expDigit) return false;
    if (expNegative) exp = -exp;
  }
  if (i != s.size()) return false;
  d.exponent = exp - fractionDigits;
  out = std::move(d);
  return true;
}

HRESULT decimalToDouble(const Decimal& d, double& out) {
  if (d.digits.empty()) {
    out = 0.0;
    return S_OK;
  }
  std::string text = d.digits + "e" + std::to_string(d.exponent);
  double v = 0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec == std::errc::result_out_of_range) {
    // Too small rounds to zero; too large does not fit.
    if (static_cast<long>(d.digits.size()) + d.exponent > 0) return DISP_E_OVERFLOW;
    v = 0.0;
  } else if (ec != std::errc() || ptr != text.data() + text.size()) {
    return DISP_E_TYPEMISMATCH;
  }
  out = d.negative ? -v : v;
  return S_OK;
}

HRESULT parseDouble(std::string_view text, double& out) {
  Decimal d;
  if (!parseDecimal(text, d)) return DISP_E_TYPEMISMATCH;
  return decimalToDouble(d, out);
}

// Decimal digits (no leading zeros) as an unsigned value; false above 2^64 - 1.
bool digitsToU64(std::string_view digits, UInt128& out) {
  if (digits.size() > 20) return false;
  UInt128 v = 0;
  for (char c : digits) v = v * 10 + static_cast<unsigned>(c - '0');
  out = v;
  return true;
}

HRESULT decimalToCurrency(const Decimal& d, std::int64_t& out) {
  if (d.digits.empty()) {
    out = 0;
    return S_OK;
  }
  const long shift = d.exponent + 4;  // power of ten of the last digit, in 1/10000
  UInt128 magnitude = 0;
  if (shift >= 0) {
    if (static_cast<long>(d.digits.size()) + shift > 20) return DISP_E_OVERFLOW;
    if (!digitsToU64(d.digits, magnitude)) return DISP_E_OVERFLOW;
    for (long k = 0; k < shift; ++k) magnitude *= 10;
  } else {
    const std::size_t drop = static_cast<std::size_t>(-shift);
    std::string_view all = d.digits;
    std::string_view kept, dropped;
    std::string padded;
    if (drop >= all.size()) {
      padded.assign(drop - all.size(), '0');
      padded += all;
      dropped = padded;
    } else {
      kept = all.substr(0, all.size() - drop);
      dropped = all.substr(all.size() - drop);
    }
    if (!digitsToU64(kept, magnitude)) return DISP_E_OVERFLOW;
    // Round half to even on the dropped digits.
    char first = dropped.front();
    bool restNonZero = dropped.find_first_not_of('0', 1) != std::string_view::npos;
    if (first > '5' || (first == '5' && (restNonZero || (magnitude & 1)))) ++magnitude;
  }
  const UInt128 limit =
      static_cast<UInt128>(std::numeric_limits<std::int64_t>::max()) + (d.negative ? 1 : 0);
  if (magnitude > limit) return DISP_E_OVERFLOW;
  out = d.negative ? static_cast<std::int64_t>(-static_cast<Int128>(magnitude))
                   : static_cast<std::int64_t>(magnitude);
  return S_OK;
}

HRESULT doubleToCurrency(double v, std::int64_t& out) {
  double scaled = roundHalfEven(v * 10000.0);
  if (!(scaled >= -9223372036854775808.0 && scaled < 9223372036854775808.0)) return DISP_E_OVERFLOW;
  out = static_cast<std::int64_t>(scaled);
  return S_OK;
}

// A currency amount rounded half to even to a whole number.
std::int64_t currencyToWhole(std::int64_t scaled) {
  std::int64_t q = scaled / 10000, r = scaled % 10000;
  if (r > 5000 || (r == 5000 && (q & 1))) ++q;
  if (r < -5000 || (r == -5000 && (q & 1))) --q;
  return q;
}

std::string currencyText(std::int64_t scaled) {
  UInt128 m = scaled < 0 ? static_cast<UInt128>(-static_cast<Int128>(scaled))
                                   : static_cast<UInt128>(scaled);
  std::uint64_t whole = static_cast<std::uint64_t>(m / 10000);
  unsigned frac = static_cast<unsigned>(m % 10000);
  std::string text = scaled < 0 ? "-" : "";
  text += std::to_string(whole);
  if (frac) {
    char buf[8];
    std::snprintf(buf, sizeof buf, ".%04u", frac);
    std::string f = buf;
    while (f.back() == '0') f.pop_back();
    text += f;
  }
  return text;
}

template <class F>
std::string floatText(F v, int precision) {
  if (v == 0) return "0";  // also for -0
  char buf[64];
  auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, precision);
  if (ec != std::errc()) return {};
  std::string s(buf, ptr);
  for (char& c : s)
    if (c == 'e') c = 'E';
  return s;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

bool isNumberKind(VARTYPE vt) {
  switch (vt) {
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BOOL:
    case VT_UI1: return true;
    default: return false;
  }
}

bool isValidTarget(VARTYPE vt) {
  return vt == VT_EMPTY || vt == VT_NULL || vt == VT_BSTR || vt == VT_DISPATCH || vt == VT_ERROR ||
         vt == VT_UI1_ARRAY || isNumberKind(vt);
}

bool dateInRange(double d) {
  return d > static_cast<double>(kOleFirstDay - 1) && d < static_cast<double>(kOleLastDay + 1);
}

int currentYear() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return tm.tm_year + 1900;
}

}  // namespace

// ---------------------------------------------------------------------------
// Date text

namespace {

struct TextCursor {
  std::string_view s;
  std::size_t i = 0;

  bool atEnd() const { return i >= s.size(); }
  bool peekDigit() const { return i < s.size() && s[i] >= '0' && s[i] <= '9'; }
  bool skipBlanks() {
    std::size_t start = i;
    while (i < s.size() && isBlank(s[i])) ++i;
    return i != start;
  }
  bool take(char c) {
    if (i < s.size() && s[i] == c) {
      ++i;
      return true;
    }
    return false;
  }
  // Up to 9 digits; more is never a valid date part.
  bool number(int& out) {
    if (!peekDigit()) return false;
    long v = 0;
    int n = 0;
    while (peekDigit()) {
      if (++n > 9) return false;
      v = v * 10 + (s[i++] - '0');
    }
    out = static_cast<int>(v);
    return true;
  }
  // 0 none, 1 "AM", 2 "PM" (any case).
  int designator() {
    if (s.size() - i < 2) return 0;
    std::string_view two = s.substr(i, 2);
    int kind = equalsNoCase(two, "AM") ? 1 : equalsNoCase(two, "PM") ? 2 : 0;
    if (kind) i += 2;
    return kind;
  }
};

}  // namespace

std::optional<double> parseDateText(std::string_view text, int thisYear) {
  TextCursor c{text};
  c.skipBlanks();
  bool haveDate = false;
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0;
  bool haveTime = false;
  bool timeHasColon = false;
  int designator = 0;

  std::size_t mark = c.i;
  int first = 0;
  if (c.number(first) && c.take('/')) {
    haveDate = true;
    month = first;
    if (!c.number(day)) return std::nullopt;
    year = thisYear;
    if (c.take('/')) {
      if (!c.number(year)) return std::nullopt;
      if (year < 100) year += thisYear / 100 * 100;
    }
    c.skipBlanks();
  } else {
    c.i = mark;
  }

  designator = c.designator();
  if (designator) c.skipBlanks();
  if (c.number(hour)) {
    haveTime = true;
    if (c.take(':')) {
      timeHasColon = true;
      if (!c.number(minute)) return std::nullopt;
      if (c.take(':') && !c.number(second)) return std::nullopt;
    }
    c.skipBlanks();
    if (!designator) {
      designator = c.designator();
      c.skipBlanks();
    }
  }
  if (!c.atEnd()) return std::nullopt;
  if (designator && !haveTime) return std::nullopt;
  if (!haveDate && !haveTime) return std::nullopt;
  // A bare number is not a time; a time alone needs a ':' or a designator.
  if (!haveDate && !timeHasColon && !designator) return std::nullopt;

  if (designator) {
    if (hour < 1 || hour > 12) return std::nullopt;
    if (hour == 12) hour = 0;
    if (designator == 2) hour += 12;
  }
  if (hour > 23 || minute > 59 || second > 59) return std::nullopt;
  double out = 0;
  if (!oleDateFromParts(DateTimeParts{year, month, day, hour, minute, second, 0}, out))
    return std::nullopt;
  return out;
}

std::optional<double> parseDateText(std::string_view text) {
  return parseDateText(text, currentYear());
}

std::string formatDateText(double oleDate) {
  std::int64_t day = 0, ms = 0;
  if (!oleDateSplit(oleDate, day, ms)) return {};
  std::int64_t sec = (ms + 500) / 1000;
  if (sec >= 86400) {
    sec -= 86400;
    if (++day > kOleLastDay) return {};
  }
  DateTimeParts p;
  if (!oleDateToParts(static_cast<double>(day), p)) return {};
  int hour = static_cast<int>(sec / 3600);
  int minute = static_cast<int>(sec / 60 % 60);
  int second = static_cast<int>(sec % 60);
  char date[16], time[24];
  std::snprintf(date, sizeof date, "%02d/%02d/%04d", p.month, p.day, p.year);
  std::snprintf(time, sizeof time, "%d:%02d:%02d %s", hour % 12 == 0 ? 12 : hour % 12, minute,
                second, hour < 12 ? "AM" : "PM");
  if (day == 0) return time;
  if (sec == 0) return date;
  return std::string(date) + " " + time;
}

// ---------------------------------------------------------------------------
// Conversions

namespace {

// The value of a number kind (or Empty) as a double.
double numberAsDouble(const Variant& v) {
  switch (v.type()) {
    case VT_I2: return v.i2();
    case VT_I4: return v.i4();
    case VT_R4: return v.r4();
    case VT_R8: return v.r8();
    case VT_CY: return static_cast<double>(v.cy().scaled) / 10000.0;
    case VT_DATE: return v.date();
    case VT_BOOL: return v.boolVal() ? -1.0 : 0.0;
    case VT_UI1: return v.ui1();
    default: return 0.0;
  }
}

// The value of a source as a double, for targets other than Currency and text.
HRESULT sourceAsDouble(const Variant& v, double& out) {
  if (v.type() == VT_BSTR) return parseDouble(v.str(), out);
  if (v.type() == VT_EMPTY || isNumberKind(v.type())) {
    out = numberAsDouble(v);
    return S_OK;
  }
  return DISP_E_TYPEMISMATCH;
}

HRESULT toWhole(const Variant& v, double lo, double hi, double& out) {
  if (v.type() == VT_CY) {
    out = static_cast<double>(currencyToWhole(v.cy().scaled));
  } else if (v.type() == VT_BOOL) {
    out = v.boolVal() ? -1.0 : 0.0;
  } else {
    double d = 0;
    if (HRESULT hr = sourceAsDouble(v, d); FAILED(hr)) return hr;
    out = roundHalfEven(d);
  }
  if (!(out >= lo && out <= hi)) return DISP_E_OVERFLOW;  // NaN included
  return S_OK;
}

HRESULT toText(const Variant& v, std::string& out) {
  switch (v.type()) {
    case VT_EMPTY: out.clear(); return S_OK;
    case VT_I2: out = std::to_string(v.i2()); return S_OK;
    case VT_I4: out = std::to_string(v.i4()); return S_OK;
    case VT_UI1: out = std::to_string(v.ui1()); return S_OK;
    case VT_R4: out = floatText(v.r4(), 7); return S_OK;
    case VT_R8: out = floatText(v.r8(), 15); return S_OK;
    case VT_CY: out = currencyText(v.cy().scaled); return S_OK;
    case VT_BOOL: out = v.boolVal() ? "True" : "False"; return S_OK;
    case VT_BSTR: out = v.str(); return S_OK;
    case VT_DATE: {
      std::string s = formatDateText(v.date());
      if (s.empty()) return DISP_E_OVERFLOW;
      out = std::move(s);
      return S_OK;
    }
    case VT_UI1_ARRAY:
      out.assign(v.bytes().begin(), v.bytes().end());
      return S_OK;
    default: return DISP_E_TYPEMISMATCH;
  }
}

HRESULT toBool(const Variant& v, bool& out) {
  switch (v.type()) {
    case VT_CY: out = v.cy().scaled != 0; return S_OK;
    case VT_BOOL: out = v.boolVal(); return S_OK;
    case VT_BSTR: {
      std::string_view s = trim(v.str());
      if (equalsNoCase(s, "True") || equalsNoCase(s, "Yes") || equalsNoCase(s, "On")) {
        out = true;
        return S_OK;
      }
      if (equalsNoCase(s, "False") || equalsNoCase(s, "No") || equalsNoCase(s, "Off")) {
        out = false;
        return S_OK;
      }
      double d = 0;
      if (HRESULT hr = parseDouble(s, d); FAILED(hr)) return DISP_E_TYPEMISMATCH;
      out = d != 0.0;
      return S_OK;
    }
    default: {
      double d = 0;
      if (HRESULT hr = sourceAsDouble(v, d); FAILED(hr)) return hr;
      out = d != 0.0;
      return S_OK;
    }
  }
}

HRESULT toCurrency(const Variant& v, std::int64_t& out) {
  switch (v.type()) {
    case VT_CY: out = v.cy().scaled; return S_OK;
    case VT_I2: out = std::int64_t{v.i2()} * 10000; return S_OK;
    case VT_I4: out = std::int64_t{v.i4()} * 10000; return S_OK;
    case VT_UI1: out = std::int64_t{v.ui1()} * 10000; return S_OK;
    case VT_BOOL: out = v.boolVal() ? -10000 : 0; return S_OK;
    case VT_BSTR: {
      Decimal d;
      if (!parseDecimal(v.str(), d)) return DISP_E_TYPEMISMATCH;
      return decimalToCurrency(d, out);
    }
    default: {
      double d = 0;
      if (HRESULT hr = sourceAsDouble(v, d); FAILED(hr)) return hr;
      return doubleToCurrency(d, out);
    }
  }
}

HRESULT convert(const Variant& v, VARTYPE to, Variant& out) {
  const VARTYPE from = v.type();
  if (!isValidTarget(to)) return DISP_E_BADVARTYPE;
  if (from == to) {
    out = v;
    return S_OK;
  }
  if (to == VT_EMPTY || to == VT_NULL) {
    if (from != VT_EMPTY && from != VT_NULL) return DISP_E_TYPEMISMATCH;
    out = to == VT_NULL ? Variant::null() : Variant();
    return S_OK;
  }
  if (from == VT_NULL || from == VT_ERROR || from == VT_DISPATCH) return DISP_E_TYPEMISMATCH;
  if (from == VT_UI1_ARRAY && to != VT_BSTR) return DISP_E_TYPEMISMATCH;

  switch (to) {
    case VT_I2: {
      double d = 0;
      if (HRESULT hr = toWhole(v, -32768.0, 32767.0, d); FAILED(hr)) return hr;
      out = Variant(static_cast<std::int16_t>(d));
      return S_OK;
    }
    case VT_I4: {
      double d = 0;
      if (HRESULT hr = toWhole(v, -2147483648.0, 2147483647.0, d); FAILED(hr)) return hr;
      out = Variant(static_cast<std::int32_t>(d));
      return S_OK;
    }
    case VT_UI1: {
      // True is all bits set, so it converts to 255.
      if (from == VT_BOOL) {
        out = Variant::fromByte(v.boolVal() ? 255 : 0);
        return S_OK;
      }
      double d = 0;
      if (HRESULT hr = toWhole(v, 0.0, 255.0, d); FAILED(hr)) return hr;
      out = Variant::fromByte(static_cast<std::uint8_t>(d));
      return S_OK;
    }
    case VT_R4: {
      double d = 0;
      if (HRESULT hr = sourceAsDouble(v, d); FAILED(hr)) return hr;
      if (std::isfinite(d) && std::fabs(d) > std::numeric_limits<float>::max()) return DISP_E_OVERFLOW;
      out = Variant(static_cast<float>(d));
      return S_OK;
    }
    case VT_R8: {
      double d = 0;
      if (HRESULT hr = sourceAsDouble(v, d); FAILED(hr)) return hr;
      out = Variant(d);
      return S_OK;
    }
    case VT_CY: {
      std::int64_t cy = 0;
      if (HRESULT hr = toCurrency(v, cy); FAILED(hr)) return hr;
      out = Variant(Currency{cy});
      return S_OK;
    }
    case VT_DATE: {
      double d = 0;
      if (from == VT_BSTR) {
        std::optional<double> parsed = parseDateText(v.str());
        if (!parsed) return DISP_E_TYPEMISMATCH;
        d = *parsed;
      } else {
        if (HRESULT hr = sourceAsDouble(v, d); FAILED(hr)) return hr;
        if (!dateInRange(d)) return DISP_E_OVERFLOW;
      }
      out = Variant::fromDate(d);
      return S_OK;
    }
    case VT_BOOL: {
      bool b = false;
      if (HRESULT hr = toBool(v, b); FAILED(hr)) return hr;
      out = Variant::fromBool(b);
      return S_OK;
    }
    case VT_BSTR: {
      std::string s;
      if (HRESULT hr = toText(v, s); FAILED(hr)) return hr;
      out = Variant(std::move(s));
      return S_OK;
    }
    case VT_UI1_ARRAY: {
      if (from != VT_BSTR) return DISP_E_TYPEMISMATCH;
      const std::string& s = v.str();
      out = Variant::fromBytes(std::vector<std::uint8_t>(s.begin(), s.end()), 0);
      return S_OK;
    }
    case VT_DISPATCH: {
      if (from != VT_EMPTY) return DISP_E_TYPEMISMATCH;
      out = Variant::fromDispatch(nullptr);
      return S_OK;
    }
    default: return DISP_E_TYPEMISMATCH;
  }
}

}  // namespace

HRESULT Variant::changeType(VARTYPE to, Variant& out) const {
  Variant result;
  HRESULT hr = convert(*this, to, result);
  if (SUCCEEDED(hr)) out = std::move(result);
  return hr;
}

std::string Variant::toString() const {
  Variant s;
  if (FAILED(changeType(VT_BSTR, s))) return {};
  return s.str();
}

// ---------------------------------------------------------------------------
// Comparison

namespace {

template <class T>
VarCmp order(const T& a, const T& b) {
  if (a < b) return VarCmp::Less;
  if (b < a) return VarCmp::Greater;
  return VarCmp::Equal;
}

VarCmp flip(VarCmp c) {
  return c == VarCmp::Less ? VarCmp::Greater : c == VarCmp::Greater ? VarCmp::Less : c;
}

bool isExactKind(VARTYPE vt) {
  return vt == VT_I2 || vt == VT_I4 || vt == VT_UI1 || vt == VT_BOOL || vt == VT_CY;
}

Int128 exactScaled(const Variant& v) {
  switch (v.type()) {
    case VT_I2: return Int128{v.i2()} * 10000;
    case VT_I4: return Int128{v.i4()} * 10000;
    case VT_UI1: return Int128{v.ui1()} * 10000;
    case VT_BOOL: return v.boolVal() ? -10000 : 0;
    case VT_CY: return v.cy().scaled;
    default: return 0;
  }
}

// A date on a line that runs with the calendar: before day 0 the OLE fraction
// counts the time of day forward from the start of the (negative) day.
double chronological(double d) {
  double whole = std::trunc(d);
  return whole + std::fabs(d - whole);
}

VarCmp compareNumbers(const Variant& a, const Variant& b) {
  if (isExactKind(a.type()) && isExactKind(b.type())) return order(exactScaled(a), exactScaled(b));
  if (a.type() == VT_DATE && b.type() == VT_DATE)
    return order(chronological(a.date()), chronological(b.date()));
  return order(numberAsDouble(a), numberAsDouble(b));
}

// Code points for case-insensitive order; bytes that are not UTF-8 sort after
// every character, by their value.
std::u32string foldedCodePoints(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    char32_t cp = 0;
    std::size_t len = decodeUtf8(s, i, cp);
    if (len == 0) {
      out.push_back(0x110000u + static_cast<unsigned char>(s[i]));
      ++i;
      continue;
    }
    out.push_back(static_cast<char32_t>(u_foldCase(static_cast<UChar32>(cp), U_FOLD_CASE_DEFAULT)));
    i += len;
  }
  return out;
}

VarCmp compareStrings(const std::string& a, const std::string& b, bool ignoreCase) {
  if (!ignoreCase) {
    int c = a.compare(b);
    return c < 0 ? VarCmp::Less : c > 0 ? VarCmp::Greater : VarCmp::Equal;
  }
  return order(foldedCodePoints(a), foldedCodePoints(b));
}

// A string against a number: numerically when the string reads as a number (a
// date text against a date, True/Yes/On... against a Boolean), otherwise the
// number sorts first.
VarCmp compareNumberWithString(const Variant& number, const Variant& text) {
  VARTYPE tries[2] = {VT_R8, VT_EMPTY};
  if (number.type() == VT_DATE) {
    tries[0] = VT_DATE;
    tries[1] = VT_R8;
  } else if (number.type() == VT_BOOL) {
    tries[1] = VT_BOOL;
  }
  for (VARTYPE as : tries) {
    Variant converted;
    if (as != VT_EMPTY && SUCCEEDED(text.changeType(as, converted)))
      return compareNumbers(number, converted);
  }
  return VarCmp::Less;
}

int kindRank(VARTYPE vt) {
  if (vt == VT_EMPTY) return 0;
  if (isNumberKind(vt)) return 1;
  switch (vt) {
    case VT_BSTR: return 2;
    case VT_UI1_ARRAY: return 3;
    case VT_DISPATCH: return 4;
    default: return 5;  // VT_ERROR
  }
}

}  // namespace

VarCmp compareVariants(const Variant& a, const Variant& b, bool ignoreCase) {
  const VARTYPE ta = a.type(), tb = b.type();
  if (ta == VT_NULL || tb == VT_NULL) return VarCmp::Null;
  if (ta == VT_EMPTY && tb == VT_EMPTY) return VarCmp::Equal;
  // Empty takes the value of nothing in the other value's kind.
  if (ta == VT_EMPTY && (tb == VT_BSTR || isNumberKind(tb)))
    return compareVariants(tb == VT_BSTR ? Variant("") : Variant(0), b, ignoreCase);
  if (tb == VT_EMPTY && (ta == VT_BSTR || isNumberKind(ta)))
    return compareVariants(a, ta == VT_BSTR ? Variant("") : Variant(0), ignoreCase);

  const bool na = isNumberKind(ta), nb = isNumberKind(tb);
  if (na && nb) return compareNumbers(a, b);
  if (ta == VT_BSTR && tb == VT_BSTR) return compareStrings(a.str(), b.str(), ignoreCase);
  if (na && tb == VT_BSTR) return compareNumberWithString(a, b);
  if (ta == VT_BSTR && nb) return flip(compareNumberWithString(b, a));
  if (ta == VT_UI1_ARRAY && tb == VT_UI1_ARRAY) {
    const auto &x = a.bytes(), &y = b.bytes();
    auto c = std::lexicographical_compare_three_way(x.begin(), x.end(), y.begin(), y.end());
    return c < 0 ? VarCmp::Less : c > 0 ? VarCmp::Greater : VarCmp::Equal;
  }
  if (ta == VT_DISPATCH && tb == VT_DISPATCH) {
    std::less<const IDispatch*> less;
    return less(a.dispatch(), b.dispatch())   ? VarCmp::Less
           : less(b.dispatch(), a.dispatch()) ? VarCmp::Greater
                                              : VarCmp::Equal;
  }
  if (ta == tb && ta == VT_ERROR)
    return order(static_cast<std::uint32_t>(a.scode()), static_cast<std::uint32_t>(b.scode()));
  return order(kindRank(ta), kindRank(tb));
}

}  // namespace kh
