#include "platform/oledate.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace kh {
namespace {

constexpr double kMsPerDay = 86400000.0;
constexpr std::int64_t kMsPerDayInt = 86400000;
constexpr double kTimestampEpochDays = 693594.0;

// Days from 1 January 1970 of a proleptic Gregorian date (any int year).
constexpr std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

constexpr void civilFromDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2));
}

constexpr std::int64_t kOleEpoch = daysFromCivil(1899, 12, 30);
static_assert(daysFromCivil(100, 1, 1) - kOleEpoch == kOleFirstDay);
static_assert(daysFromCivil(9999, 12, 31) - kOleEpoch == kOleLastDay);

}  // namespace

bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

bool oleDateFromParts(const DateTimeParts& p, double& out) {
  if (p.year < 100 || p.year > 9999) return false;
  if (p.day < 1 || p.day > daysInMonth(p.year, p.month)) return false;
  if (p.hour < 0 || p.hour > 23 || p.minute < 0 || p.minute > 59 || p.second < 0 ||
      p.second > 59 || p.millisecond < 0 || p.millisecond > 999)
    return false;
  std::int64_t day = daysFromCivil(p.year, static_cast<unsigned>(p.month),
                                   static_cast<unsigned>(p.day)) -
                     kOleEpoch;
  std::int64_t ms = ((std::int64_t{p.hour} * 60 + p.minute) * 60 + p.second) * 1000 + p.millisecond;
  out = oleDateCombine(day, ms);
  return true;
}

bool oleDateSplit(double d, std::int64_t& dayNumber, std::int64_t& msOfDay) {
  if (!std::isfinite(d) || d <= static_cast<double>(kOleFirstDay - 1) ||
      d >= static_cast<double>(kOleLastDay + 1))
    return false;
  double whole = std::trunc(d);
  double frac = std::fabs(d - whole);
  std::int64_t day = static_cast<std::int64_t>(whole);
  std::int64_t ms = std::llround(frac * kMsPerDay);
  if (ms >= kMsPerDayInt) {  // rounded up to the next midnight
    ms -= kMsPerDayInt;
    ++day;
  }
  if (day < kOleFirstDay || day > kOleLastDay) return false;
  dayNumber = day;
  msOfDay = ms;
  return true;
}

double oleDateCombine(std::int64_t dayNumber, std::int64_t msOfDay) {
  double frac = static_cast<double>(msOfDay) / kMsPerDay;
  double day = static_cast<double>(dayNumber);
  return dayNumber >= 0 ? day + frac : day - frac;
}

bool oleDateToParts(double d, DateTimeParts& out) {
  std::int64_t day = 0, ms = 0;
  if (!oleDateSplit(d, day, ms)) return false;
  DateTimeParts p;
  civilFromDays(day + kOleEpoch, p.year, p.month, p.day);
  p.millisecond = static_cast<int>(ms % 1000);
  std::int64_t s = ms / 1000;
  p.second = static_cast<int>(s % 60);
  p.minute = static_cast<int>(s / 60 % 60);
  p.hour = static_cast<int>(s / 3600);
  out = p;
  return true;
}

double oleDateNow() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  std::tm tm{};
  localtime_r(&ts.tv_sec, &tm);
  DateTimeParts p{tm.tm_year + 1900, tm.tm_mon + 1,  tm.tm_mday,
                  tm.tm_hour,        tm.tm_min,      tm.tm_sec > 59 ? 59 : tm.tm_sec,
                  static_cast<int>(ts.tv_nsec / 1000000)};
  double d = 0;
  oleDateFromParts(p, d);
  return d;
}

double oleDateToday() {
  double now = oleDateNow();
  std::int64_t day = 0, ms = 0;
  return oleDateSplit(now, day, ms) ? static_cast<double>(day) : 0.0;
}

std::string formatLocalDateTime(double oleDate) {
  DateTimeParts p;
  if (!oleDateToParts(oleDate, p)) return {};
  int hour12 = p.hour % 12 == 0 ? 12 : p.hour % 12;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d/%02d/%04d %02d:%02d %s", p.month, p.day, p.year, hour12,
                p.minute, p.hour < 12 ? "AM" : "PM");
  return buf;
}

double oleDateToTimestamp(double d) {
  if (!(d < 0.0)) return (d + kTimestampEpochDays) * kMsPerDay;
  double whole = std::trunc(d);
  double frac = std::fabs(d - whole);
  return (whole + kTimestampEpochDays) * kMsPerDay + frac * kMsPerDay;
}

double timestampToOleDate(double ts) {
  if (!std::isfinite(ts)) return ts / kMsPerDay - kTimestampEpochDays;
  double days = std::floor(ts / kMsPerDay);
  double ms = ts - days * kMsPerDay;
  double day = days - kTimestampEpochDays;
  return day < 0.0 ? day - ms / kMsPerDay : ts / kMsPerDay - kTimestampEpochDays;
}

}  // namespace kh
