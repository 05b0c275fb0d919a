#include "platform/oledate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <limits>

namespace {

using namespace kh;

struct DateCase {
  DateTimeParts parts;
  double value;
};

TEST(OleDate, PartsAndValues) {
  const DateCase cases[] = {
      {{1899, 12, 30, 0, 0, 0, 0}, 0.0},
      {{1899, 12, 31, 0, 0, 0, 0}, 1.0},
      {{1899, 12, 30, 6, 0, 0, 0}, 0.25},
      {{1899, 12, 29, 0, 0, 0, 0}, -1.0},
      {{1899, 12, 29, 6, 0, 0, 0}, -1.25},  // before day 0 the time is subtracted
      {{1899, 12, 28, 18, 0, 0, 0}, -2.75},
      {{1900, 1, 1, 0, 0, 0, 0}, 2.0},
      {{1900, 3, 1, 0, 0, 0, 0}, 61.0},     // 1900 is no leap year
      {{2000, 2, 29, 12, 0, 0, 0}, 36585.5},
      {{1998, 3, 7, 0, 0, 0, 0}, 35861.0},
      {{100, 1, 1, 0, 0, 0, 0}, -657434.0},
      {{9999, 12, 31, 0, 0, 0, 0}, 2958465.0},
  };
  for (const DateCase& c : cases) {
    SCOPED_TRACE(c.value);
    double d = -99;
    ASSERT_TRUE(oleDateFromParts(c.parts, d));
    EXPECT_DOUBLE_EQ(d, c.value);
    DateTimeParts p;
    ASSERT_TRUE(oleDateToParts(c.value, p));
    EXPECT_EQ(p, c.parts);
  }
  // -0.25 is read like 0.25: the day part is zero either way.
  DateTimeParts p;
  ASSERT_TRUE(oleDateToParts(-0.25, p));
  EXPECT_EQ(p, (DateTimeParts{1899, 12, 30, 6, 0, 0, 0}));
}

TEST(OleDate, MillisecondsAndRounding) {
  double d = 0;
  ASSERT_TRUE(oleDateFromParts({2001, 6, 19, 22, 22, 59, 999}, d));
  DateTimeParts p;
  ASSERT_TRUE(oleDateToParts(d, p));
  EXPECT_EQ(p, (DateTimeParts{2001, 6, 19, 22, 22, 59, 999}));
  // Half a millisecond before midnight rounds into the next day, also before day 0.
  ASSERT_TRUE(oleDateToParts(2.0 - 0.4 / 86400000, p));
  EXPECT_EQ(p, (DateTimeParts{1900, 1, 1, 0, 0, 0, 0}));
  ASSERT_TRUE(oleDateToParts(-1.0 - (86400000 - 0.4) / 86400000, p));
  EXPECT_EQ(p, (DateTimeParts{1899, 12, 30, 0, 0, 0, 0}));
}

TEST(OleDate, InvalidPartsAndValues) {
  const DateTimeParts bad[] = {
      {2001, 2, 29, 0, 0, 0, 0},  {1900, 2, 29, 0, 0, 0, 0},  {2000, 13, 1, 0, 0, 0, 0},
      {2000, 0, 1, 0, 0, 0, 0},   {2000, 4, 31, 0, 0, 0, 0},  {2000, 1, 0, 0, 0, 0, 0},
      {99, 12, 31, 0, 0, 0, 0},   {10000, 1, 1, 0, 0, 0, 0},  {2000, 1, 1, 24, 0, 0, 0},
      {2000, 1, 1, 0, 60, 0, 0},  {2000, 1, 1, 0, 0, 60, 0},  {2000, 1, 1, 0, 0, 0, 1000},
      {2000, 1, 1, -1, 0, 0, 0},
  };
  for (const DateTimeParts& p : bad) {
    double d = 42;
    EXPECT_FALSE(oleDateFromParts(p, d)) << p.year << "-" << p.month << "-" << p.day << " "
                                         << p.hour << ":" << p.minute << ":" << p.second;
  }
  DateTimeParts p;
  for (double v : {-657435.0, 2958466.0, 1e300, std::numeric_limits<double>::quiet_NaN(),
                   std::numeric_limits<double>::infinity()}) {
    EXPECT_FALSE(oleDateToParts(v, p)) << v;
  }
  EXPECT_TRUE(oleDateToParts(2958465.9999, p));
  EXPECT_EQ(p.year, 9999);
  EXPECT_EQ(daysInMonth(2024, 2), 29);
  EXPECT_EQ(daysInMonth(2100, 2), 28);
  EXPECT_EQ(daysInMonth(2000, 2), 29);
  EXPECT_EQ(daysInMonth(2000, 13), 0);
}

TEST(OleDate, AccessLogTimeStamp) {
  struct Case {
    DateTimeParts parts;
    const char* text;
  };
  const Case cases[] = {
      {{2001, 6, 19, 22, 22, 0, 0}, "06/19/2001 10:22 PM"},
      {{2001, 6, 19, 9, 5, 59, 999}, "06/19/2001 09:05 AM"},  // seconds are dropped
      {{2001, 1, 2, 0, 7, 0, 0}, "01/02/2001 12:07 AM"},
      {{2001, 1, 2, 12, 0, 0, 0}, "01/02/2001 12:00 PM"},
      {{1899, 12, 29, 13, 30, 0, 0}, "12/29/1899 01:30 PM"},
  };
  for (const Case& c : cases) {
    double d = 0;
    ASSERT_TRUE(oleDateFromParts(c.parts, d));
    EXPECT_EQ(formatLocalDateTime(d), c.text);
  }
  EXPECT_EQ(formatLocalDateTime(std::numeric_limits<double>::quiet_NaN()), "");
}

TEST(OleDate, NowIsLocalTime) {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  DateTimeParts now;
  ASSERT_TRUE(oleDateToParts(oleDateNow(), now));
  EXPECT_EQ(now.year, tm.tm_year + 1900);
  EXPECT_EQ(now.month, tm.tm_mon + 1);
  double today = oleDateToday();
  EXPECT_EQ(today, std::floor(today));
  EXPECT_GE(oleDateNow(), today);
  EXPECT_LT(oleDateNow(), today + 1.0);
}

TEST(OleDate, BdeTimestamps) {
  EXPECT_EQ(oleDateToTimestamp(0.0), 693594.0 * 86400000.0);
  EXPECT_EQ(oleDateToTimestamp(1.5), (693595.0 + 0.5) * 86400000.0);
  EXPECT_EQ(timestampToOleDate(693594.0 * 86400000.0), 0.0);
  // Before 30 December 1899 the timestamp still names the same moment:
  // 29 December 1899 06:00 is one day minus 18 hours before day 0.
  EXPECT_EQ(oleDateToTimestamp(-1.25), 693593.0 * 86400000.0 + 6 * 3600000.0);
  EXPECT_EQ(timestampToOleDate(693593.0 * 86400000.0 + 6 * 3600000.0), -1.25);
  for (double d : {0.0, 0.25, 36585.5, 2958465.75, -1.0, -1.25, -657434.5, 35861.123456}) {
    EXPECT_NEAR(timestampToOleDate(oleDateToTimestamp(d)), d, 1e-9) << d;
  }
  // Timestamps stay in time order across day 0.
  EXPECT_LT(oleDateToTimestamp(-1.0), oleDateToTimestamp(-1.25));
  EXPECT_LT(oleDateToTimestamp(-1.75), oleDateToTimestamp(0.0));
}

}  // namespace
