// OLE automation dates: a day count from 30 December 1899 whose fraction is the
// time of day. Before that day the day part counts back while the fraction still
// gives the time of day, so -1.25 is 29 December 1899 06:00 (and -0.25 reads the
// same as 0.25). Valid dates run from 1 January 100 to 31 December 9999.
#pragma once

#include <cstdint>
#include <string>

namespace kh {

struct DateTimeParts {
  int year = 0, month = 0, day = 0;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
  friend bool operator==(const DateTimeParts&, const DateTimeParts&) = default;
};

// Day numbers (whole days from 30 December 1899) of the first and last valid day.
inline constexpr std::int64_t kOleFirstDay = -657434;  // 1 January 100
inline constexpr std::int64_t kOleLastDay = 2958465;   // 31 December 9999

// False for a date that does not exist, a year outside 100..9999, or a time
// outside 00:00:00.000..23:59:59.999.
bool oleDateFromParts(const DateTimeParts& parts, double& out);
// Rounds to the nearest millisecond. False for NaN, infinity and dates outside
// the years 100..9999.
bool oleDateToParts(double oleDate, DateTimeParts& out);

// Splits a date into the calendar day number (0 = 30 December 1899, -1 = the day
// before) and the milliseconds since that day's midnight, rounded to the nearest
// millisecond. False for NaN, infinity and dates outside the valid range.
bool oleDateSplit(double oleDate, std::int64_t& dayNumber, std::int64_t& msOfDay);
// The inverse: a day number and milliseconds since midnight (0..86399999) as an
// OLE date.
double oleDateCombine(std::int64_t dayNumber, std::int64_t msOfDay);

// Proleptic Gregorian calendar helpers.
bool isLeapYear(int year);
int daysInMonth(int year, int month);  // 0 for a month outside 1..12

// The current local date and time, and today's local date at midnight.
double oleDateNow();
double oleDateToday();

// The access log's time stamp "mm/dd/yyyy hh:mm AM" (12-hour clock, all fields
// zero padded, seconds dropped), e.g. "06/19/2001 10:22 PM". Empty for an
// invalid date.
std::string formatLocalDateTime(double oleDate);

// BDE timestamps count milliseconds from the engine's epoch:
// timestamp = (day number + 693594) * 86400000 + milliseconds of the day.
// From 30 December 1899 on this is (date + 693594) * 86400000; for earlier dates,
// whose OLE fraction runs the other way, the day and the time of day are carried
// over separately so that the timestamp still names the same moment.
double oleDateToTimestamp(double oleDate);
double timestampToOleDate(double timestamp);

}  // namespace kh
