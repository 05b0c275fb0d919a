// Value conversions between record buffer slots, DAO values and bookmarks.
#include "KBEPI32_Conversions.h"

#include <gtest/gtest.h>

#include <cstring>

#include "KBEPI32_Log.h"

using namespace kbe::conv;
using kh::Variant;

namespace {

template <class T>
T at(const std::uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Values lent by the store fill a slot exactly as the same values in variants do.
TEST(Conversions, LentValuesFillSlotsAsVariantsDo) {
  using kh::dao::FieldValueView;
  auto text = [](const char* s) {
    FieldValueView v;
    v.type = kh::VT_BSTR;
    v.data = s;
    v.size = std::strlen(s);
    return v;
  };
  auto number = [](kh::VARTYPE type, std::int64_t integer, double real) {
    FieldValueView v;
    v.type = type;
    v.integer = integer;
    v.real = real;
    return v;
  };
  FieldValueView null;
  null.type = kh::VT_NULL;
  const std::uint8_t bytes[] = {1, 2, 3, 4};
  FieldValueView binary;
  binary.type = kh::VT_UI1_ARRAY;
  binary.data = reinterpret_cast<const char*>(bytes);
  binary.size = sizeof bytes;
  struct Case {
    std::int16_t daoType;
    int limit;
    FieldValueView lent;
    Variant same;
  };
  const Case cases[] = {
      {10, 3, text("abcdef"), Variant("abcdef")},                       // cut to the field's size
      {10, 10, text("\xC3\xA9t\xC3\xA9"), Variant("\xC3\xA9t\xC3\xA9")},  // one byte each in the code page
      {10, 10, text("a\xE2\x82\xAC" "b\xE4\xB8\x80"), Variant("a\xE2\x82\xAC" "b\xE4\xB8\x80")},  // the euro sign; a character without a byte
      {10, 10, text("x\xFFy"), Variant("x\xFFy")},                     // malformed UTF-8
      {10, 10, text(""), Variant("")},
      {10, 10, null, Variant::null()},
      {12, 0, text("a memo"), Variant("a memo")},
      {12, 0, null, Variant::null()},
      {9, 3, binary, Variant::fromBytes({1, 2, 3, 4})},
      {1, 0, number(kh::VT_BOOL, -1, 0), Variant::fromBool(true)},
      {4, 0, number(kh::VT_I4, -123456, 0), Variant(std::int32_t{-123456})},
      {3, 0, number(kh::VT_I2, 42, 0), Variant(std::int16_t{42})},
      {7, 0, number(kh::VT_R8, 0, 2.5), Variant(2.5)},
      {8, 0, number(kh::VT_DATE, 0, 45000.25), Variant::fromDate(45000.25)},
      {5, 0, number(kh::VT_CY, 123457, 0), Variant(kh::Currency{123457})},
      {4, 0, text("17"), Variant("17")},  // text in a number field converts
  };
  for (const Case& c : cases) {
    std::uint8_t fromView[16], fromVariant[16];
    std::memset(fromView, 0xAA, sizeof fromView);
    std::memset(fromVariant, 0xAA, sizeof fromVariant);
    std::uint8_t viewStatus = kUnfetched | kCounted, variantStatus = kUnfetched | kCounted;
    valueIntoSlot(c.daoType, c.limit, c.lent, viewStatus, fromView);
    valueIntoSlot(c.daoType, c.limit, c.same, variantStatus, fromVariant);
    EXPECT_EQ(viewStatus, variantStatus) << c.daoType << " " << c.same.toString();
    EXPECT_EQ(std::memcmp(fromView, fromVariant, sizeof fromView), 0) << c.daoType << " " << c.same.toString();
  }
}

TEST(Conversions, ValuesIntoSlotsAndBack) {
  std::uint8_t slot[16] = {};
  std::uint8_t status = kUnfetched;
  valueIntoSlot(1, 0, Variant::fromBool(true), status, slot);
  EXPECT_EQ(status, kPresent);
  EXPECT_EQ(at<std::int16_t>(slot), 1);
  EXPECT_TRUE(slotIntoValue(1, status, false, 2, slot).boolVal());

  valueIntoSlot(6, 0, Variant(0.1f), status, slot);
  EXPECT_EQ(at<double>(slot), 0.1);

  valueIntoSlot(8, 0, Variant::fromDate(0.0), status, slot);
  EXPECT_EQ(at<double>(slot), 693594.0 * 86400000.0);
  Variant back = slotIntoValue(8, status, false, 8, slot);
  EXPECT_EQ(back.type(), kh::VT_DATE);
  EXPECT_EQ(back.date(), 0.0);

  valueIntoSlot(10, 3, Variant("abcdef"), status, slot);
  EXPECT_STREQ(reinterpret_cast<char*>(slot), "abc");
  valueIntoSlot(10, 10, Variant("\xC3\xA9t\xC3\xA9"), status, slot);  // été: one byte each in the code page
  EXPECT_STREQ(reinterpret_cast<char*>(slot), "\xE9t\xE9");
  EXPECT_EQ(slotIntoValue(10, status, false, 11, slot).str(), "\xC3\xA9t\xC3\xA9");

  valueIntoSlot(10, 10, Variant(""), status, slot);
  EXPECT_EQ(status & kPresent, kPresent);
  EXPECT_TRUE(slotIntoValue(10, status, false, 11, slot).isNull());
  EXPECT_EQ(slotIntoValue(10, status, true, 11, slot).str(), "");

  std::memset(slot, 0xAA, sizeof slot);
  valueIntoSlot(12, 0, Variant::null(), status, slot);
  EXPECT_EQ(status & kPresent, 0);
  EXPECT_EQ(at<std::uint32_t>(slot), 0u);
  EXPECT_TRUE(slotIntoValue(4, 0, false, 4, slot).isNull());

  double amount = 12.34567;
  std::memcpy(slot, &amount, 8);
  Variant cy = slotIntoValue(5, kPresent, false, 8, slot);
  EXPECT_EQ(cy.type(), kh::VT_CY);
  EXPECT_EQ(cy.cy().scaled, 123457);  // four decimal places
}

TEST(Conversions, DefaultTexts) {
  struct Case {
    std::int16_t type;
    const char* text;
    bool present;
  };
  const Case cases[] = {{1, "Yes", true},  {1, "No", true},     {1, "yes", false}, {3, "12", true},
                        {3, "12abc", false}, {4, "", false},    {4, "Null", false}, {8, "Now()", false},
                        {8, "#03/15/2002#", true}, {10, "\"abc\"", true}, {10, "abc", false}, {11, "x", true},
                        {9, "0x01", false}};
  for (const auto& c : cases) {
    std::uint8_t slot[16] = {};
    std::uint8_t status = 0;
    defaultIntoSlot(c.type, c.text, status, 11, slot);
    EXPECT_EQ((status & kPresent) != 0, c.present) << c.type << " " << c.text;
  }
  std::uint8_t slot[8] = {};
  std::uint8_t status = 0;
  defaultIntoSlot(1, "Yes", status, 2, slot);
  EXPECT_EQ(at<std::int16_t>(slot), -1);
  defaultIntoSlot(10, "'abcdefgh'", status, 4, slot);
  EXPECT_STREQ(reinterpret_cast<char*>(slot), "abc");
}

TEST(Conversions, ValueComparison) {
  EXPECT_EQ(compareValues(Variant::null(), Variant(std::int32_t{1}), false, 0), -1);
  EXPECT_EQ(compareValues(Variant::null(), Variant(), false, 0), 0);
  EXPECT_EQ(compareValues(Variant("abc"), Variant("ABD"), true, 0), -1);
  EXPECT_EQ(compareValues(Variant("abcd"), Variant("abce"), false, 3), 0);
  EXPECT_EQ(compareValues(Variant::fromBool(true), Variant::fromBool(false), false, 0), -1);
  EXPECT_EQ(compareValues(Variant(std::int32_t{2}), Variant(1.5), false, 0), 1);
}

TEST(Conversions, Bookmarks) {
  std::uint8_t form[12] = {};
  bookmarkFromDao(Variant::fromBytes({1, 2, 3, 4}), form);
  Variant back = daoFromBookmark(form);
  EXPECT_EQ(back.bytes(), (std::vector<std::uint8_t>{1, 2, 3, 4}));
  EXPECT_THROW(bookmarkFromDao(Variant::fromBytes(std::vector<std::uint8_t>(9, 0)), form), kbe::EKBEError);
  EXPECT_THROW(bookmarkFromDao(Variant("x"), form), kbe::EKBEError);

  std::int16_t r = 9;
  EXPECT_EQ(compareBookmarks(Variant::fromBytes({0, 0, 0, 0x80}), Variant::fromBytes({1, 0, 0, 0}), r), 0);
  EXPECT_EQ(r, -1);
  EXPECT_EQ(compareBookmarks(Variant::fromBytes({1, 2}), Variant::fromBytes({1, 2, 0}), r), 0);
  EXPECT_EQ(r, -1);
  EXPECT_EQ(compareBookmarks(Variant::fromBytes({1}), Variant("x"), r), 0x2702);
  EXPECT_EQ(compareBookmarks(Variant::fromBytes({1}), Variant::fromBytes({1}, 1), r), 0x2725);
}

TEST(Conversions, CriteriaTexts) {
  EXPECT_EQ(dateTimeCriteriaText(35861.0), "03/07/1998");
  EXPECT_EQ(dateTimeCriteriaText(35861.5), "03/07/1998 12:00:00");
  EXPECT_EQ(floatCriteriaText(2.5), "2.5");
  EXPECT_EQ(floatCriteriaText(42), "42");
  EXPECT_EQ(dateFromDayAndTime(693594 + 1, 43200000), 1.5);
  EXPECT_EQ(dateFromDayAndTime(693594 - 1, 21600000), -1.25);
}

}  // namespace
