// The OLE automation value type: the kinds DAO values travel in, their
// conversions and their comparison. Strings are UTF-8.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com.h"
#include "platform/hresult.h"

namespace kh {

enum VARTYPE : std::uint16_t {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_UI1 = 17,
  VT_ARRAY = 0x2000,
  VT_UI1_ARRAY = VT_ARRAY | VT_UI1,  // a one-dimensional byte array, the only array kind in use
};

constexpr VARTYPE operator|(VARTYPE a, VARTYPE b) {
  return static_cast<VARTYPE>(static_cast<std::uint16_t>(a) | static_cast<std::uint16_t>(b));
}

// A currency amount scaled by 10000 (four decimal places).
struct Currency {
  std::int64_t scaled = 0;
  friend bool operator==(Currency, Currency) = default;
};

// Automation Boolean values.
inline constexpr std::int16_t VARIANT_TRUE = -1;
inline constexpr std::int16_t VARIANT_FALSE = 0;

class Variant {
 public:
  Variant() noexcept {}  // Empty
  Variant(std::int16_t v) noexcept : vt_(VT_I2) { u_.i2 = v; }
  Variant(std::int32_t v) noexcept : vt_(VT_I4) { u_.i4 = v; }
  Variant(float v) noexcept : vt_(VT_R4) { u_.r4 = v; }
  Variant(double v) noexcept : vt_(VT_R8) { u_.r8 = v; }
  Variant(Currency v) noexcept : vt_(VT_CY) { u_.cy = v.scaled; }
  Variant(std::string v) noexcept : vt_(VT_BSTR), str_(std::move(v)) {}
  Variant(std::string_view v) : vt_(VT_BSTR), str_(v) {}
  Variant(const char* v) : vt_(VT_BSTR), str_(v ? v : "") {}
  // Booleans and other integer widths must be made explicitly (fromBool, fromByte).
  Variant(bool) = delete;

  static Variant null() noexcept;
  static Variant fromI2(std::int16_t v) noexcept { return Variant(v); }
  static Variant fromI4(std::int32_t v) noexcept { return Variant(v); }
  static Variant fromR4(float v) noexcept { return Variant(v); }
  static Variant fromR8(double v) noexcept { return Variant(v); }
  static Variant fromCurrency(Currency v) noexcept { return Variant(v); }
  static Variant fromDate(double oleDate) noexcept;
  static Variant fromString(std::string v) noexcept { return Variant(std::move(v)); }
  static Variant fromBool(bool v) noexcept;
  static Variant fromByte(std::uint8_t v) noexcept;
  static Variant fromError(HRESULT scode) noexcept;
  // The value of an optional argument that was left out: Error DISP_E_PARAMNOTFOUND.
  static Variant missing() noexcept { return fromError(DISP_E_PARAMNOTFOUND); }
  // Takes a reference of its own on `p` (which may be null).
  static Variant fromDispatch(IDispatch* p) noexcept;
  // A byte array with bounds lowerBound .. lowerBound + size - 1.
  static Variant fromBytes(std::vector<std::uint8_t> bytes, std::int32_t lowerBound = 0) noexcept;

  Variant(const Variant& other);
  Variant(Variant&& other) noexcept;
  Variant& operator=(const Variant& other);
  Variant& operator=(Variant&& other) noexcept;
  ~Variant();

  VARTYPE type() const noexcept { return vt_; }
  bool isEmpty() const noexcept { return vt_ == VT_EMPTY; }
  bool isNull() const noexcept { return vt_ == VT_NULL; }
  bool isMissing() const noexcept { return vt_ == VT_ERROR && u_.scode == DISP_E_PARAMNOTFOUND; }
  bool isArray() const noexcept { return vt_ == VT_UI1_ARRAY; }
  void clear() noexcept;  // back to Empty

  // Typed access. Each reads only its own kind and answers 0 / empty otherwise;
  // use changeType to convert.
  std::int16_t i2() const noexcept { return vt_ == VT_I2 ? u_.i2 : 0; }
  std::int32_t i4() const noexcept { return vt_ == VT_I4 ? u_.i4 : 0; }
  float r4() const noexcept { return vt_ == VT_R4 ? u_.r4 : 0.0f; }
  double r8() const noexcept { return vt_ == VT_R8 ? u_.r8 : 0.0; }
  Currency cy() const noexcept { return Currency{vt_ == VT_CY ? u_.cy : 0}; }
  double date() const noexcept { return vt_ == VT_DATE ? u_.r8 : 0.0; }
  const std::string& str() const noexcept;
  bool boolVal() const noexcept { return vt_ == VT_BOOL && u_.i2 != 0; }
  std::uint8_t ui1() const noexcept { return vt_ == VT_UI1 ? u_.ui1 : 0; }
  HRESULT scode() const noexcept { return vt_ == VT_ERROR ? u_.scode : S_OK; }
  // Borrowed: the variant keeps its reference.
  IDispatch* dispatch() const noexcept { return vt_ == VT_DISPATCH ? u_.disp : nullptr; }
  // Byte arrays: bounds and contents (a non-array reads as an empty array at 0).
  std::int32_t lbound() const noexcept { return vt_ == VT_UI1_ARRAY ? lbound_ : 0; }
  std::int32_t ubound() const noexcept;
  const std::vector<std::uint8_t>& bytes() const noexcept;

  // Converts as VariantChangeType does with the engine's fixed text settings:
  // '.' as decimal separator, dates as "MM/DD/YYYY" with the time "h:mm:ss AM".
  // Fails with DISP_E_TYPEMISMATCH (no conversion, Null into a value, text that is
  // not a number/date/Boolean) or DISP_E_OVERFLOW (out of the target's range), and
  // leaves `out` untouched then. `out` may be this variant itself.
  HRESULT changeType(VARTYPE to, Variant& out) const;

  // The text form, or "" for Null and values that have none.
  std::string toString() const;

  // Same kind and same value (strings byte for byte, dispatch by identity).
  friend bool operator==(const Variant& a, const Variant& b) noexcept;

 private:
  VARTYPE vt_ = VT_EMPTY;
  union {
    std::int16_t i2;  // VT_I2, VT_BOOL
    std::int32_t i4;
    float r4;
    double r8;  // VT_R8, VT_DATE
    std::int64_t cy;
    std::uint8_t ui1;
    HRESULT scode;
    IDispatch* disp;
  } u_{};
  std::string str_;
  std::vector<std::uint8_t> bytes_;
  std::int32_t lbound_ = 0;
};

enum class VarCmp { Less, Equal, Greater, Null };

// Compares two values: Null on either side gives Null; numbers of any kind
// (I2, I4, R4, R8, CY, Bool as -1/0, Byte, Date as its day count) numerically;
// two dates in calendar order; strings by byte order, or by simple case folding
// when ignoreCase; a string against a number numerically when the string converts
// to the number's kind, otherwise the number sorts first; Empty as 0 against a
// number and as "" against a string; byte arrays byte by byte (unsigned; a prefix
// sorts first). Values that do not compare otherwise (objects, errors, arrays
// against scalars) are ordered by kind, then by identity / error code.
VarCmp compareVariants(const Variant& a, const Variant& b, bool ignoreCase = false);

// The engine's date and time text, in its fixed settings.
// Parsing: month "/" day ["/" year] (a missing year is the current one, a year
// below 100 is put in the current century), then an optional time: hour
// [":" minutes [":" seconds]] with an optional "AM"/"PM" before or after it
// (case-insensitive; with one the hour is 1..12). A time alone gives day 0.
// Blanks may surround the parts. Fails for hours above 23, minutes or seconds
// above 59, dates that do not exist and anything else left over.
std::optional<double> parseDateText(std::string_view text);
// As parseDateText, with `currentYear` in place of the clock's year.
std::optional<double> parseDateText(std::string_view text, int currentYear);
// "MM/DD/YYYY" at midnight, "MM/DD/YYYY h:mm:ss AM" otherwise, and only the time
// on day 0 (30 December 1899). Rounds to the second. Empty for an invalid date.
std::string formatDateText(double oleDate);

// Rounding to the nearest integer, ties to even, as automation conversions round.
double roundHalfEven(double v);

}  // namespace kh
