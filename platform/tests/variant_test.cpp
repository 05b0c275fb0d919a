#include "platform/variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>

#include "platform/com.h"
#include "platform/oledate.h"

namespace kh {
void PrintTo(const Variant& v, std::ostream* os) {
  *os << "Variant(vt=" << v.type() << ", \"" << v.toString() << "\")";
}
}  // namespace kh

namespace {

using namespace kh;

// A dispatch object that counts its references and never frees itself.
class CountedObject : public IDispatch {
 public:
  HRESULT QueryInterface(const GUID& iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  std::uint32_t AddRef() override { return ++refs; }
  std::uint32_t Release() override { return --refs; }
  ~CountedObject() override = default;
  std::uint32_t refs = 1;
};

Variant i2(int v) { return Variant(static_cast<std::int16_t>(v)); }
Variant cy(std::int64_t scaled) { return Variant(Currency{scaled}); }
Variant bytes(std::vector<std::uint8_t> b, std::int32_t lb = 0) {
  return Variant::fromBytes(std::move(b), lb);
}

TEST(Variant, KindsAndAccessors) {
  EXPECT_EQ(Variant().type(), VT_EMPTY);
  EXPECT_TRUE(Variant().isEmpty());
  EXPECT_TRUE(Variant::null().isNull());
  EXPECT_EQ(i2(-5).i2(), -5);
  EXPECT_EQ(Variant(70000).i4(), 70000);
  EXPECT_EQ(Variant(1.5f).r4(), 1.5f);
  EXPECT_EQ(Variant(2.25).r8(), 2.25);
  EXPECT_EQ(cy(15000).cy().scaled, 15000);
  EXPECT_EQ(Variant::fromDate(36000.5).type(), VT_DATE);
  EXPECT_EQ(Variant::fromDate(36000.5).date(), 36000.5);
  EXPECT_EQ(Variant("abc").str(), "abc");
  EXPECT_EQ(Variant::fromByte(200).ui1(), 200);
  EXPECT_EQ(Variant::fromError(E_FAIL).scode(), E_FAIL);
  // A Boolean holds -1 / 0.
  Variant t = Variant::fromBool(true);
  EXPECT_EQ(t.type(), VT_BOOL);
  EXPECT_TRUE(t.boolVal());
  EXPECT_EQ(t.toString(), "True");
  Variant asI2;
  ASSERT_EQ(t.changeType(VT_I2, asI2), S_OK);
  EXPECT_EQ(asI2.i2(), -1);
  // Accessors of another kind read nothing.
  EXPECT_EQ(Variant(7).i2(), 0);
  EXPECT_EQ(Variant(7).str(), "");
  EXPECT_FALSE(Variant(7).boolVal());
}

TEST(Variant, MissingValue) {
  Variant m = Variant::missing();
  EXPECT_EQ(m.type(), VT_ERROR);
  EXPECT_EQ(static_cast<std::uint32_t>(m.scode()), 0x80020004u);
  EXPECT_TRUE(m.isMissing());
  EXPECT_FALSE(Variant::fromError(E_FAIL).isMissing());
  EXPECT_FALSE(Variant().isMissing());
  Variant out;
  EXPECT_EQ(m.changeType(VT_I4, out), DISP_E_TYPEMISMATCH);
}

TEST(Variant, ByteArrayBounds) {
  Variant a = bytes({1, 2, 3}, 5);
  EXPECT_EQ(a.type(), VT_ARRAY | VT_UI1);
  EXPECT_TRUE(a.isArray());
  EXPECT_EQ(a.lbound(), 5);
  EXPECT_EQ(a.ubound(), 7);
  EXPECT_EQ(a.bytes(), (std::vector<std::uint8_t>{1, 2, 3}));
  Variant empty = bytes({}, 1);
  EXPECT_EQ(empty.lbound(), 1);
  EXPECT_EQ(empty.ubound(), 0);
  Variant atZero = bytes({});
  EXPECT_EQ(atZero.ubound(), -1);
  EXPECT_NE(bytes({1}, 0), bytes({1}, 1));  // the bounds are part of the value
}

TEST(Variant, CopyAndMoveSemantics) {
  Variant a("text");
  Variant b = a;
  EXPECT_EQ(b.str(), "text");
  Variant c = std::move(a);
  EXPECT_EQ(c.str(), "text");
  EXPECT_TRUE(a.isEmpty());  // NOLINT(bugprone-use-after-move): moved-from is Empty
  b = bytes({9, 8}, 3);
  Variant d;
  d = b;
  EXPECT_EQ(d, b);
  d = d;  // self-assignment keeps the value
  EXPECT_EQ(d.bytes(), (std::vector<std::uint8_t>{9, 8}));
  EXPECT_EQ(d.lbound(), 3);
}

TEST(Variant, DispatchReferencesFollowCopies) {
  CountedObject obj;
  {
    Variant v = Variant::fromDispatch(&obj);
    EXPECT_EQ(obj.refs, 2u);
    EXPECT_EQ(v.dispatch(), &obj);
    Variant copy = v;
    EXPECT_EQ(obj.refs, 3u);
    Variant moved = std::move(copy);
    EXPECT_EQ(obj.refs, 3u);
    moved = Variant(1);  // overwriting gives the reference back
    EXPECT_EQ(obj.refs, 2u);
    Variant assigned;
    assigned = v;
    EXPECT_EQ(obj.refs, 3u);
    assigned = assigned;
    EXPECT_EQ(obj.refs, 3u);
    Variant asString;
    EXPECT_EQ(v.changeType(VT_BSTR, asString), DISP_E_TYPEMISMATCH);
    Variant same;
    EXPECT_EQ(v.changeType(VT_DISPATCH, same), S_OK);
    EXPECT_EQ(obj.refs, 4u);
  }
  EXPECT_EQ(obj.refs, 1u);
  Variant none = Variant::fromDispatch(nullptr);
  EXPECT_EQ(none.type(), VT_DISPATCH);
  Variant copy = none;  // no object to count
  EXPECT_EQ(copy.dispatch(), nullptr);
}

TEST(Com, GuidTextAndConstants) {
  GUID g{};
  ASSERT_TRUE(parseGuid("{00020400-0000-0000-c000-000000000046}", g));
  EXPECT_EQ(g, IID_IDispatch);
  EXPECT_EQ(guidToString(IID_IDispatch), "{00020400-0000-0000-C000-000000000046}");
  ASSERT_TRUE(parseGuid("12345678-9ABC-DEF0-1234-56789ABCDEF0", g));
  EXPECT_EQ(guidToString(g), "{12345678-9ABC-DEF0-1234-56789ABCDEF0}");
  EXPECT_FALSE(IID_IUnknown == IID_IDispatch);
  for (const char* bad : {"", "{00020400-0000-0000-C000-00000000004}", "{00020400-0000-0000-C000-0000000000467}",
                          "{00020400+0000-0000-C000-000000000046}", "{00020400-0000-0000-C000-00000000004G}",
                          "(00020400-0000-0000-C000-000000000046)"}) {
    GUID untouched = IID_IUnknown;
    EXPECT_FALSE(parseGuid(bad, untouched)) << bad;
    EXPECT_EQ(untouched, IID_IUnknown) << bad;
  }
}

TEST(Com, ComPtrOwnsOneReference) {
  CountedObject obj;
  {
    ComPtr<IDispatch> p(&obj);  // shares: takes its own reference
    EXPECT_EQ(obj.refs, 2u);
    ComPtr<IDispatch> q = p;
    EXPECT_EQ(obj.refs, 3u);
    q = p;  // same object: unchanged count
    EXPECT_EQ(obj.refs, 3u);
    ComPtr<IDispatch> r = std::move(q);
    EXPECT_FALSE(q);
    EXPECT_EQ(obj.refs, 3u);
    IDispatch* raw = r.detach();
    EXPECT_EQ(obj.refs, 3u);
    r.attach(raw);  // adopts without counting
    EXPECT_EQ(obj.refs, 3u);
    r.reset();
    EXPECT_EQ(obj.refs, 2u);

    ComPtr<IUnknown> unk;
    EXPECT_EQ(p.queryInterface(IID_IUnknown, unk), S_OK);
    EXPECT_EQ(obj.refs, 3u);
    GUID other{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    EXPECT_EQ(p.queryInterface(other, unk), E_NOINTERFACE);
    EXPECT_FALSE(unk);
    EXPECT_EQ(obj.refs, 2u);

    // put(): an out parameter filled by a callee that hands over a reference.
    ComPtr<IUnknown> out;
    void** slot = reinterpret_cast<void**>(out.put());
    EXPECT_EQ(obj.QueryInterface(IID_IUnknown, slot), S_OK);
    EXPECT_EQ(obj.refs, 3u);
    EXPECT_EQ(out.put(), out.put());  // put() releases what it held
    EXPECT_EQ(obj.refs, 2u);
    ComPtr<IDispatch> adopted = ComPtr<IDispatch>::adopt(&obj);
    obj.AddRef();
    EXPECT_EQ(obj.refs, 3u);
  }
  EXPECT_EQ(obj.refs, 1u);
}

struct ConversionCase {
  const char* name;
  Variant from;
  VARTYPE to;
  HRESULT hr;
  Variant expected;  // when hr is S_OK
};

TEST(Variant, ChangeType) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const ConversionCase cases[] = {
      // numbers among each other, rounding half to even
      {"2.5 to I2", Variant(2.5), VT_I2, S_OK, i2(2)},
      {"3.5 to I2", Variant(3.5), VT_I2, S_OK, i2(4)},
      {"-2.5 to I4", Variant(-2.5), VT_I4, S_OK, Variant(-2)},
      {"2.5000001 to I4", Variant(2.5000001), VT_I4, S_OK, Variant(3)},
      {"-32768.4 to I2", Variant(-32768.4), VT_I2, S_OK, i2(-32768)},
      {"32767.5 to I2", Variant(32767.5), VT_I2, DISP_E_OVERFLOW, {}},
      {"70000 to I2", Variant(70000), VT_I2, DISP_E_OVERFLOW, {}},
      {"1e10 to I4", Variant(1e10), VT_I4, DISP_E_OVERFLOW, {}},
      {"NaN to I4", Variant(nan), VT_I4, DISP_E_OVERFLOW, {}},
      {"256 to UI1", Variant(256), VT_UI1, DISP_E_OVERFLOW, {}},
      {"-1 to UI1", Variant(-1), VT_UI1, DISP_E_OVERFLOW, {}},
      {"255.4 to UI1", Variant(255.4), VT_UI1, S_OK, Variant::fromByte(255)},
      {"1e39 to R4", Variant(1e39), VT_R4, DISP_E_OVERFLOW, {}},
      {"I2 to R8", i2(-7), VT_R8, S_OK, Variant(-7.0)},
      {"UI1 to I2", Variant::fromByte(200), VT_I2, S_OK, i2(200)},
      // Booleans
      {"True to I4", Variant::fromBool(true), VT_I4, S_OK, Variant(-1)},
      {"True to R8", Variant::fromBool(true), VT_R8, S_OK, Variant(-1.0)},
      {"False to R8", Variant::fromBool(false), VT_R8, S_OK, Variant(0.0)},
      {"True to CY", Variant::fromBool(true), VT_CY, S_OK, cy(-10000)},
      {"True to UI1", Variant::fromBool(true), VT_UI1, S_OK, Variant::fromByte(255)},
      {"5 to Bool", Variant(5), VT_BOOL, S_OK, Variant::fromBool(true)},
      {"0.0 to Bool", Variant(0.0), VT_BOOL, S_OK, Variant::fromBool(false)},
      {"CY 0.0001 to Bool", cy(1), VT_BOOL, S_OK, Variant::fromBool(true)},
      {"True to text", Variant::fromBool(true), VT_BSTR, S_OK, Variant("True")},
      {"False to text", Variant::fromBool(false), VT_BSTR, S_OK, Variant("False")},
      // Empty and Null
      {"Empty to I4", Variant(), VT_I4, S_OK, Variant(0)},
      {"Empty to text", Variant(), VT_BSTR, S_OK, Variant("")},
      {"Empty to Bool", Variant(), VT_BOOL, S_OK, Variant::fromBool(false)},
      {"Empty to Date", Variant(), VT_DATE, S_OK, Variant::fromDate(0.0)},
      {"Empty to CY", Variant(), VT_CY, S_OK, cy(0)},
      {"Null to I4", Variant::null(), VT_I4, DISP_E_TYPEMISMATCH, {}},
      {"Null to text", Variant::null(), VT_BSTR, DISP_E_TYPEMISMATCH, {}},
      {"Null to Bool", Variant::null(), VT_BOOL, DISP_E_TYPEMISMATCH, {}},
      {"Null to Date", Variant::null(), VT_DATE, DISP_E_TYPEMISMATCH, {}},
      {"Null to Null", Variant::null(), VT_NULL, S_OK, Variant::null()},
      {"Null to Empty", Variant::null(), VT_EMPTY, S_OK, Variant()},
      {"I4 to Null", Variant(1), VT_NULL, DISP_E_TYPEMISMATCH, {}},
      // text to numbers
      {"'12.5' to R8", Variant("12.5"), VT_R8, S_OK, Variant(12.5)},
      {"' -3e2 ' to I4", Variant(" -3e2 "), VT_I4, S_OK, Variant(-300)},
      {"'2.5' to I4", Variant("2.5"), VT_I4, S_OK, Variant(2)},
      {"'.5' to R8", Variant(".5"), VT_R8, S_OK, Variant(0.5)},
      {"'1e-400' to R8", Variant("1e-400"), VT_R8, S_OK, Variant(0.0)},
      {"'abc' to R8", Variant("abc"), VT_R8, DISP_E_TYPEMISMATCH, {}},
      {"'1,5' to R8", Variant("1,5"), VT_R8, DISP_E_TYPEMISMATCH, {}},
      {"'12abc' to I4", Variant("12abc"), VT_I4, DISP_E_TYPEMISMATCH, {}},
      {"'' to I4", Variant(""), VT_I4, DISP_E_TYPEMISMATCH, {}},
      {"'.' to R8", Variant("."), VT_R8, DISP_E_TYPEMISMATCH, {}},
      {"'1e' to R8", Variant("1e"), VT_R8, DISP_E_TYPEMISMATCH, {}},
      {"'1e400' to R8", Variant("1e400"), VT_R8, DISP_E_OVERFLOW, {}},
      {"'99999' to I2", Variant("99999"), VT_I2, DISP_E_OVERFLOW, {}},
      // text to Booleans
      {"'yes' to Bool", Variant("yes"), VT_BOOL, S_OK, Variant::fromBool(true)},
      {"'OFF' to Bool", Variant("OFF"), VT_BOOL, S_OK, Variant::fromBool(false)},
      {"'True' to Bool", Variant("True"), VT_BOOL, S_OK, Variant::fromBool(true)},
      {"'false' to Bool", Variant(" false "), VT_BOOL, S_OK, Variant::fromBool(false)},
      {"'0' to Bool", Variant("0"), VT_BOOL, S_OK, Variant::fromBool(false)},
      {"'-2' to Bool", Variant("-2"), VT_BOOL, S_OK, Variant::fromBool(true)},
      {"'maybe' to Bool", Variant("maybe"), VT_BOOL, DISP_E_TYPEMISMATCH, {}},
      // numbers to text
      {"0.1 to text", Variant(0.1), VT_BSTR, S_OK, Variant("0.1")},
      {"1/3 to text", Variant(1.0 / 3.0), VT_BSTR, S_OK, Variant("0.333333333333333")},
      {"1e20 to text", Variant(1e20), VT_BSTR, S_OK, Variant("1E+20")},
      {"-0.0 to text", Variant(-0.0), VT_BSTR, S_OK, Variant("0")},
      {"R4 0.1 to text", Variant(0.1f), VT_BSTR, S_OK, Variant("0.1")},
      {"I4 to text", Variant(-7), VT_BSTR, S_OK, Variant("-7")},
      {"UI1 to text", Variant::fromByte(255), VT_BSTR, S_OK, Variant("255")},
      // Currency: four decimals, exact
      {"R8 to CY", Variant(1.23456), VT_CY, S_OK, cy(12346)},
      {"'0.00025' to CY", Variant("0.00025"), VT_CY, S_OK, cy(2)},
      {"'0.00035' to CY", Variant("0.00035"), VT_CY, S_OK, cy(4)},
      {"'-0.00025' to CY", Variant("-0.00025"), VT_CY, S_OK, cy(-2)},
      {"'0.000250001' to CY", Variant("0.000250001"), VT_CY, S_OK, cy(3)},
      {"'1.5e3' to CY", Variant("1.5e3"), VT_CY, S_OK, cy(15000000)},
      {"CY max text", Variant("922337203685477.5807"), VT_CY, S_OK, cy(std::numeric_limits<std::int64_t>::max())},
      {"CY min text", Variant("-922337203685477.5808"), VT_CY, S_OK, cy(std::numeric_limits<std::int64_t>::min())},
      {"CY above max text", Variant("922337203685477.5808"), VT_CY, DISP_E_OVERFLOW, {}},
      {"R8 1e16 to CY", Variant(1e16), VT_CY, DISP_E_OVERFLOW, {}},
      {"CY to text", cy(125000), VT_BSTR, S_OK, Variant("12.5")},
      {"small CY to text", cy(-1), VT_BSTR, S_OK, Variant("-0.0001")},
      {"CY min to text", cy(std::numeric_limits<std::int64_t>::min()), VT_BSTR, S_OK, Variant("-922337203685477.5808")},
      {"CY 2.5 to I4", cy(25000), VT_I4, S_OK, Variant(2)},
      {"CY 3.5 to I4", cy(35000), VT_I4, S_OK, Variant(4)},
      {"CY -2.5 to I4", cy(-25000), VT_I4, S_OK, Variant(-2)},
      {"CY -2.5001 to I4", cy(-25001), VT_I4, S_OK, Variant(-3)},
      {"CY to R8", cy(15000), VT_R8, S_OK, Variant(1.5)},
      {"I4 to CY", Variant(-3), VT_CY, S_OK, cy(-30000)},
      // dates and numbers
      {"Date to R8", Variant::fromDate(-1.25), VT_R8, S_OK, Variant(-1.25)},
      {"I4 to Date", Variant(36000), VT_DATE, S_OK, Variant::fromDate(36000.0)},
      {"R8 3e6 to Date", Variant(3e6), VT_DATE, DISP_E_OVERFLOW, {}},
      {"Date to I4", Variant::fromDate(36000.75), VT_I4, S_OK, Variant(36001)},
      {"'abc' to Date", Variant("abc"), VT_DATE, DISP_E_TYPEMISMATCH, {}},
      // byte arrays, errors, objects
      {"array to text", bytes({'a', 0, 0xFF}, 2), VT_BSTR, S_OK, Variant(std::string("a\0\xFF", 3))},
      {"text to array", Variant("hi"), VT_UI1_ARRAY, S_OK, bytes({'h', 'i'})},
      {"array to array", bytes({1}, 4), VT_UI1_ARRAY, S_OK, bytes({1}, 4)},
      {"array to I4", bytes({1}), VT_I4, DISP_E_TYPEMISMATCH, {}},
      {"I4 to array", Variant(1), VT_UI1_ARRAY, DISP_E_TYPEMISMATCH, {}},
      {"Error to I4", Variant::fromError(E_FAIL), VT_I4, DISP_E_TYPEMISMATCH, {}},
      {"Error to Error", Variant::fromError(E_FAIL), VT_ERROR, S_OK, Variant::fromError(E_FAIL)},
      {"unknown kind", Variant(1), static_cast<VARTYPE>(12), DISP_E_BADVARTYPE, {}},
  };
  for (const ConversionCase& c : cases) {
    SCOPED_TRACE(c.name);
    Variant out("untouched");
    HRESULT hr = c.from.changeType(c.to, out);
    EXPECT_EQ(hr, c.hr);
    if (c.hr == S_OK)
      EXPECT_EQ(out, c.expected);
    else
      EXPECT_EQ(out, Variant("untouched"));  // failures leave the target alone
  }
}

TEST(Variant, ChangeTypeInPlace) {
  Variant v("42");
  ASSERT_EQ(v.changeType(VT_I4, v), S_OK);
  EXPECT_EQ(v, Variant(42));
  EXPECT_EQ(v.changeType(VT_UI1_ARRAY, v), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(v, Variant(42));
  EXPECT_EQ(Variant::null().toString(), "");
  EXPECT_EQ(Variant(2.5).toString(), "2.5");
}

double date(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  double out = 0;
  EXPECT_TRUE(oleDateFromParts(DateTimeParts{y, mo, d, h, mi, s, 0}, out));
  return out;
}

TEST(DateText, ParsesTheEngineForms) {
  struct Case {
    const char* text;
    double expected;
  };
  const Case cases[] = {
      {"03/07/1998", date(1998, 3, 7)},
      {"3/7/1998 10:22 PM", date(1998, 3, 7, 22, 22)},
      {"3/7/1998 10:22PM", date(1998, 3, 7, 22, 22)},
      {"3/7/1998 pm 10:22:05", date(1998, 3, 7, 22, 22, 5)},
      {"03/07/1998 12:00 AM", date(1998, 3, 7, 0, 0)},
      {"03/07/1998 12:30 pm", date(1998, 3, 7, 12, 30)},
      {"03/07/1998 1 am", date(1998, 3, 7, 1)},
      {"03/07/1998 23", date(1998, 3, 7, 23)},
      {"03/07", date(2024, 3, 7)},            // no year: the current one
      {"03/07/98", date(2098, 3, 7)},         // below 100: the current century
      {"03/07/5", date(2005, 3, 7)},
      {"  02/29/2024   23:59:59  ", date(2024, 2, 29, 23, 59, 59)},
      {"10:30", 10.5 / 24},                   // a time alone is on day 0
      {"10 PM", 22.0 / 24},
      {"12/29/1899 06:00", -1.25},            // before day 0 the time is subtracted
      {"12/30/1899", 0.0},
      {"01/01/0100", static_cast<double>(kOleFirstDay)},
      {"12/31/9999 23:59:59", date(9999, 12, 31, 23, 59, 59)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::optional<double> got = parseDateText(c.text, 2024);
    ASSERT_TRUE(got.has_value());
    EXPECT_DOUBLE_EQ(*got, c.expected);
  }
}

TEST(DateText, RejectsWhatIsNoDate) {
  for (const char* text :
       {"02/29/2023", "13/01/2000", "00/10/2000", "01/00/2000", "01/32/2000", "04/31/2000",
        "01/01/2000 24:00", "01/01/2000 10:60", "01/01/2000 10:00:60", "01/01/2000 13 PM",
        "01/01/2000 0 AM", "01/01/2000 PM", "01/01/2000 AM 10:00 PM", "01/01/2000 10:00:00.5",
        "01/01/2000 10:", "01/01/10000", "01/01/", "01-01-2000", "abc", "", "   ", "10", "36000",
        "01/01/2000 x", "1234567890/1/2000"}) {
    EXPECT_FALSE(parseDateText(text, 2024).has_value()) << '"' << text << '"';
  }
}

TEST(DateText, FormatsAndRoundTrips) {
  struct Case {
    double value;
    const char* text;
  };
  const Case cases[] = {
      {date(1998, 3, 7), "03/07/1998"},
      {date(1998, 3, 7, 22, 22, 5), "03/07/1998 10:22:05 PM"},
      {date(2001, 12, 31, 0, 0, 1), "12/31/2001 12:00:01 AM"},
      {date(2001, 6, 19, 12, 5), "06/19/2001 12:05:00 PM"},
      {0.25, "6:00:00 AM"},   // day 0: the time only
      {0.0, "12:00:00 AM"},
      {-1.25, "12/29/1899 6:00:00 AM"},
      {date(1700, 2, 28, 18), "02/28/1700 6:00:00 PM"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(formatDateText(c.value), c.text);
    Variant asText;
    ASSERT_EQ(Variant::fromDate(c.value).changeType(VT_BSTR, asText), S_OK);
    EXPECT_EQ(asText.str(), c.text);
    Variant back;
    ASSERT_EQ(asText.changeType(VT_DATE, back), S_OK);
    EXPECT_DOUBLE_EQ(back.date(), c.value);
  }
  // Rounded to the second, carrying into the next day.
  EXPECT_EQ(formatDateText(date(2000, 1, 1, 23, 59, 59) + 0.6 / 86400), "01/02/2000");
  EXPECT_EQ(formatDateText(1e7), "");
  Variant out;
  EXPECT_EQ(Variant::fromDate(1e7).changeType(VT_BSTR, out), DISP_E_OVERFLOW);
}

TEST(DateText, CurrentYearFromTheClock) {
  std::optional<double> got = parseDateText("07/04");
  ASSERT_TRUE(got.has_value());
  DateTimeParts today, parsed;
  ASSERT_TRUE(oleDateToParts(oleDateToday(), today));
  ASSERT_TRUE(oleDateToParts(*got, parsed));
  EXPECT_EQ(parsed.year, today.year);
  EXPECT_EQ(parsed.month, 7);
}

struct CompareCase {
  const char* name;
  Variant a, b;
  bool ignoreCase;
  VarCmp expected;
};

TEST(Variant, Compare) {
  const CompareCase cases[] = {
      {"Null left", Variant::null(), Variant(1), false, VarCmp::Null},
      {"Null right", Variant("a"), Variant::null(), false, VarCmp::Null},
      {"Null both", Variant::null(), Variant::null(), false, VarCmp::Null},
      {"I2 = R8", i2(1), Variant(1.0), false, VarCmp::Equal},
      {"I4 < R8", Variant(2), Variant(2.5), false, VarCmp::Less},
      {"CY = R8", cy(15000), Variant(1.5), false, VarCmp::Equal},
      {"CY < I4", cy(15000), Variant(2), false, VarCmp::Less},
      {"CY exact", cy(std::numeric_limits<std::int64_t>::max()),
       cy(std::numeric_limits<std::int64_t>::max() - 1), false, VarCmp::Greater},
      {"R4 = R8", Variant(0.5f), Variant(0.5), false, VarCmp::Equal},
      {"True = -1", Variant::fromBool(true), Variant(-1), false, VarCmp::Equal},
      {"True < False", Variant::fromBool(true), Variant::fromBool(false), false, VarCmp::Less},
      {"UI1 > I2", Variant::fromByte(200), i2(-1), false, VarCmp::Greater},
      {"Date = I4", Variant::fromDate(2.0), Variant(2), false, VarCmp::Equal},
      {"Date calendar order", Variant::fromDate(-1.25), Variant::fromDate(-1.0), false, VarCmp::Greater},
      {"Date order", Variant::fromDate(-2.0), Variant::fromDate(-1.5), false, VarCmp::Less},
      {"text order", Variant("abc"), Variant("abd"), false, VarCmp::Less},
      {"text by bytes", Variant("B"), Variant("a"), false, VarCmp::Less},
      {"text prefix", Variant("ab"), Variant("abc"), false, VarCmp::Less},
      {"text no case", Variant("B"), Variant("a"), true, VarCmp::Greater},
      {"text no case equal", Variant("ABC"), Variant("abc"), true, VarCmp::Equal},
      {"text no case accents", Variant("\xC3\x89t\xC3\xA9"), Variant("\xC3\xA9T\xC3\x89"), true, VarCmp::Equal},
      {"text case", Variant("ABC"), Variant("abc"), false, VarCmp::Less},
      {"number vs numeric text", Variant(10), Variant("9"), false, VarCmp::Greater},
      {"numeric text vs number", Variant("10"), Variant(9), false, VarCmp::Greater},
      {"number = text", Variant(2.5), Variant(" 2.5"), false, VarCmp::Equal},
      {"number before text", Variant(5), Variant("abc"), false, VarCmp::Less},
      {"text after number", Variant("abc"), Variant(5), false, VarCmp::Greater},
      {"date vs date text", Variant::fromDate(date(2000, 1, 2)), Variant("01/02/2000"), false, VarCmp::Equal},
      {"Bool vs text", Variant::fromBool(true), Variant("yes"), false, VarCmp::Equal},
      {"Bool vs number text", Variant::fromBool(true), Variant("5"), false, VarCmp::Less},
      {"date vs number text", Variant::fromDate(2.0), Variant("2.5"), false, VarCmp::Less},
      {"Empty = 0", Variant(), Variant(0), false, VarCmp::Equal},
      {"Empty < 1", Variant(), Variant(1), false, VarCmp::Less},
      {"Empty = ''", Variant(), Variant(""), false, VarCmp::Equal},
      {"Empty < 'a'", Variant(), Variant("a"), false, VarCmp::Less},
      {"Empty = Empty", Variant(), Variant(), false, VarCmp::Equal},
      {"bytes prefix", bytes({1, 2}), bytes({1, 2, 0}), false, VarCmp::Less},
      {"bytes unsigned", bytes({0x80}), bytes({0x7F}), false, VarCmp::Greater},
      {"bytes equal", bytes({1}, 0), bytes({1}, 3), false, VarCmp::Equal},
  };
  for (const CompareCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(compareVariants(c.a, c.b, c.ignoreCase), c.expected);
    // The order is the same seen from the other side.
    VarCmp mirrored = c.expected == VarCmp::Less      ? VarCmp::Greater
                      : c.expected == VarCmp::Greater ? VarCmp::Less
                                                      : c.expected;
    EXPECT_EQ(compareVariants(c.b, c.a, c.ignoreCase), mirrored);
  }
}

}  // namespace
