// Value conversions between record buffer slots and DAO values, default texts,
// value comparison, and bookmarks between the 20-byte record-header form and
// DAO's byte arrays.
//
// Slot text is Windows-1252; DAO values carry UTF-8 strings.
#pragma once

#include <cstdint>
#include <string>

#include "platform/variant.h"
#include "store/dao.h"

namespace kbe::conv {

// Status byte bits of a field slot.
constexpr std::uint8_t kPresent = 1;
constexpr std::uint8_t kChanged = 2;
constexpr std::uint8_t kUnfetched = 4;
constexpr std::uint8_t kCounted = 8;

// BDE field types and subtypes.
constexpr std::uint16_t fldZSTRING = 1;
constexpr std::uint16_t fldDATE = 2;
constexpr std::uint16_t fldBLOB = 3;
constexpr std::uint16_t fldBOOL = 4;
constexpr std::uint16_t fldINT16 = 5;
constexpr std::uint16_t fldINT32 = 6;
constexpr std::uint16_t fldFLOAT = 7;
constexpr std::uint16_t fldBCD = 8;
constexpr std::uint16_t fldBYTES = 9;
constexpr std::uint16_t fldTIME = 10;
constexpr std::uint16_t fldTIMESTAMP = 11;
constexpr std::uint16_t fldstMONEY = 21;
constexpr std::uint16_t fldstMEMO = 22;
constexpr std::uint16_t fldstBINARY = 23;

// Days between 1 January 0001 and 30 December 1899: the BDE epoch offset.
constexpr double kBdeEpochDays = 693594.0;

// Reads a DAO value into a slot of the given DAO type; `textLimit` is the
// field's iUnits1. Writes the status byte's present bit and clears unfetched.
void valueIntoSlot(std::int16_t daoType, int textLimit, const kh::Variant& value, std::uint8_t& status,
                   std::uint8_t* slot);
// The same from a value the store lends: text goes into the slot without a copy.
void valueIntoSlot(std::int16_t daoType, int textLimit, const kh::dao::FieldValueView& value, std::uint8_t& status,
                   std::uint8_t* slot);

// Makes the DAO value a slot stands for; `zeroLengthAllowed` keeps an empty text
// as an empty string (otherwise it is Null). Memo and Long Binary give Empty:
// their values travel through blobs.
kh::Variant slotIntoValue(std::int16_t daoType, std::uint8_t status, bool zeroLengthAllowed, int slotLength,
                          const std::uint8_t* slot);

// Converts a field's DefaultValue text into a slot; sets the present bit on
// success, leaves the field null otherwise.
void defaultIntoSlot(std::int16_t daoType, const std::string& defaultText, std::uint8_t& status, int slotLength,
                     std::uint8_t* slot);

// The DAO type of a BDE parameter type, or 0 (the parameter is then Null).
std::int16_t bdeToDaoType(std::uint16_t fldType, std::uint16_t subType);

// -1, 0 or 1: A below, equal to or above B. Null and Empty sort first; texts
// compare by the user's locale (optionally ignoring case, cut to `partialLength`
// characters when that is 1 or more); True sorts below False.
int compareValues(const kh::Variant& a, const kh::Variant& b, bool caseInsensitive, int partialLength);

// Bookmark form: bytes 4-11 of a record header or bookmark hold the DAO
// bookmark bytes, bytes 12-13 and 14-15 the array's lower and upper bounds.
// `form` points at byte 4 of the header.
// Fails with EKBEError "Bookmark is not a byte array" / "Bookmark is too long".
void bookmarkFromDao(const kh::Variant& daoBookmark, std::uint8_t* form);
kh::Variant daoFromBookmark(const std::uint8_t* form);
// Compares two DAO bookmarks: status 0 with -1/0/1 in `result`, 0x2702 for
// differing kinds or no byte array, 0x2725 for mismatched bounds.
std::uint16_t compareBookmarks(const kh::Variant& a, const kh::Variant& b, std::int16_t& result);

// BDE timestamp (milliseconds from 1 January 0001) to and from a DAO date.
double timestampFromDate(double oleDate);
double dateFromTimestamp(double timestamp);
// A (day count, milliseconds) pair of the BDE date and time encodings as a DAO date.
double dateFromDayAndTime(std::int32_t dayCount, std::int32_t milliseconds);

// Texts for Jet criteria: "MM/DD/YYYY[ hh:mm:ss]" (the caller adds the '#'s)
// and a float in general format with 15 significant digits.
std::string dateTimeCriteriaText(double oleDate);
std::string floatCriteriaText(double value);

// Windows-1252 text of a DAO string (characters it cannot hold become '?'),
// and the DAO string of Windows-1252 text.
std::string ansiOf(const std::string& utf8);
std::string utf8Of(const std::string& ansi);

// Copies at most `limit` characters of `text` and a terminating zero to `out`
// (nothing when `out` is null).
void copyAnsi(char* out, const std::string& text, std::size_t limit) noexcept;

}  // namespace kbe::conv
