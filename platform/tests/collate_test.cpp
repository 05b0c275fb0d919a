#include "platform/collate.h"

#include <gtest/gtest.h>

namespace {

using namespace kh;

struct CollateCase {
  const char* a;
  const char* b;
  unsigned flags;
  int expected;
};

TEST(Collate, Table) {
  const CollateCase cases[] = {
      {"abc", "ABD", kIgnoreCase, -1},
      {"abc", "ABD", kIgnoreCase | kStringSort, -1},
      {"ABC", "abc", kIgnoreCase | kStringSort, 0},
      {"abc", "abc", 0, 0},
      {"a", "B", kStringSort, -1},  // letters alphabetically, not by code
      {"A", "b", kStringSort, -1},
      {"\xC3\xA9", "f", kStringSort, -1},  // é sorts with e
      {"", "a", kStringSort, -1},
      // Hyphen and apostrophe: symbols in string sort, passed over in word sort.
      {"co-op", "coo", kStringSort, -1},
      {"co-op", "coo", 0, 1},
      {"co-op", "cop", 0, -1},
      {"it's", "its", 0, -1},
      {"it's", "itr", 0, 1},
      {"it's", "itr", kStringSort, -1},
      // Width: full-width Latin, half-width katakana with a voiced mark.
      {"\xEF\xBC\xA1\xEF\xBC\xA2\xEF\xBC\xA3", "ABC", kIgnoreWidth, 0},
      {"\xEF\xBD\xB6\xEF\xBE\x9E", "\xE3\x82\xAC", kIgnoreWidth, 0},
      {"\xE3\x80\x80", " ", kIgnoreWidth | kStringSort, 0},
      // Kana type: hiragana against katakana.
      {"\xE3\x81\xB2\xE3\x82\x89\xE3\x81\x8C\xE3\x81\xAA", "\xE3\x83\x92\xE3\x83\xA9\xE3\x82\xAC\xE3\x83\x8A",
       kIgnoreKanaType, 0},
      // Half-width katakana against hiragana needs both.
      {"\xEF\xBD\xB6\xEF\xBE\x9E", "\xE3\x81\x8C", kIgnoreWidth | kIgnoreKanaType, 0},
      {"\xEF\xBD\xB6", "\xE3\x81\x8B\xE3\x81\x8B", kIgnoreWidth | kIgnoreKanaType, -1},
  };
  for (const CollateCase& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " / " + c.b + " flags " + std::to_string(c.flags));
    EXPECT_EQ(compareStringLocale(c.a, c.b, c.flags), c.expected);
    EXPECT_EQ(compareStringLocale(c.b, c.a, c.flags), -c.expected);
  }
}

TEST(Collate, DifferencesKeptUnlessIgnored) {
  const CollateCase kept[] = {
      {"co-op", "coop", kStringSort, 0},
      {"co-op", "coop", 0, 0},  // passed over first, then told apart
      {"\xEF\xBC\xA1\xEF\xBC\xA2\xEF\xBC\xA3", "ABC", kIgnoreCase | kIgnoreKanaType, 0},
      {"\xE3\x81\xB2", "\xE3\x83\x92", kIgnoreCase | kIgnoreWidth, 0},
      {"abc", "ABC", kIgnoreWidth | kIgnoreKanaType, 0},
      {"e", "\xC3\xA9", kIgnoreCase | kIgnoreWidth | kIgnoreKanaType, 0},  // accents stay
  };
  for (const CollateCase& c : kept) {
    SCOPED_TRACE(std::string(c.a) + " / " + c.b + " flags " + std::to_string(c.flags));
    EXPECT_NE(compareStringLocale(c.a, c.b, c.flags), 0);
  }
}

TEST(Collate, CaseOrderIsConsistent) {
  for (unsigned flags : {0u, unsigned{kStringSort}}) {
    int aA = compareStringLocale("a", "A", flags);
    EXPECT_NE(aA, 0);
    EXPECT_EQ(compareStringLocale("A", "a", flags), -aA);
    EXPECT_EQ(compareStringLocale("b", "B", flags), aA);  // same case first every time
    EXPECT_EQ(compareStringLocale("a", "a", flags), 0);
    // Case decides only between otherwise equal texts.
    EXPECT_EQ(compareStringLocale("A", "b", flags), -1);
    EXPECT_EQ(compareStringLocale("Ab", "aC", flags), -1);
  }
}

TEST(Collate, AnsiText) {
  EXPECT_EQ(compareStringLocaleAnsi("\xC9T\xC9", "\xE9t\xE9", kIgnoreCase | kStringSort), 0);
  EXPECT_EQ(compareStringLocaleAnsi("abc", "ABD", kIgnoreCase | kStringSort), -1);
  EXPECT_EQ(compareStringLocaleAnsi("\xE9", "f", kStringSort), -1);
  // The euro sign byte reads as U+20AC, as in the UTF-8 form.
  EXPECT_EQ(compareStringLocaleAnsi("\x80", "a", kStringSort),
            compareStringLocale("\xE2\x82\xAC", "a", kStringSort));
  EXPECT_EQ(compareStringLocale16(u"co-op", u"coo", kStringSort), -1);
  // Malformed UTF-8 still compares (as a replacement character), without failing.
  EXPECT_EQ(compareStringLocale("a\xFF", "a\xFF", kStringSort), 0);
  EXPECT_EQ(compareStringLocale("a\xFF", "a", kStringSort), 1);
}

TEST(Collate, LocaleNames) {
  struct Case {
    const char* posix;
    const char* locale;
  };
  for (Case c : {Case{"de_DE.UTF-8@euro", "de_DE"}, Case{"en_GB.UTF-8", "en_GB"}, Case{"fr_CA", "fr_CA"},
                 Case{"C", "en_US"}, Case{"C.UTF-8", "en_US"}, Case{"POSIX", "en_US"}, Case{"", "en_US"}}) {
    EXPECT_EQ(collationLocaleFor(c.posix), c.locale) << c.posix;
  }
  EXPECT_FALSE(collationLocale().empty());
}

}  // namespace
