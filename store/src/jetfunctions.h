// The SQL functions, aggregates and the text collation that translated Jet SQL
// relies on, registered on every SQLite connection of the store.
//
// Values follow Jet's conventions: Booleans are the integers -1 and 0, dates are
// OLE dates stored as REAL (days since 30 December 1899, fraction = time of day,
// local time), and Null propagates through functions as in Jet's expression
// service. Errors Jet raises at run time (type mismatch, overflow, invalid use of
// Null, invalid procedure call) fail the statement with that message.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

struct sqlite3;

namespace kh::store::jet {

// Name of the collation every Text and Memo column is declared with: Jet's
// case-insensitive, locale-aware text order.
inline constexpr const char* kTextCollation = "JETTEXT";

// Registers on `db` the functions listed by jetFunctionTable(), the internal
// operator functions (kh_cat, kh_add, kh_div, kh_idiv, kh_mod, kh_pow), the
// custom aggregates, the JETTEXT collation, and an override of SQLite's two-argument
// like(pattern, value) that applies Jet's wildcards. Returns an SQLite result code
// (SQLITE_OK on success).
int registerJetFunctions(sqlite3* db);

// Jet's Like, ignoring letter case (Unicode simple case folding): "*" any run of
// characters, "?" one character, "#" one digit, "[abc]" one of a list, "[!abc]"
// one not in it, "[a-z]" a range, "[*]" a literal wildcard character, "[]" the
// empty string. False for a malformed pattern (an unclosed "[").
bool jetLike(std::string_view value, std::string_view pattern);
// Whether `pattern` is well formed for jetLike.
bool isValidLikePattern(std::string_view pattern);

// The JETTEXT order of two UTF-8 texts: -1, 0 or 1. Texts of printable ASCII
// and blanks take a fast path whose order is the locale collation's own;
// everything else goes through kh::compareStringLocale(kIgnoreCase | kStringSort).
int compareJetText(std::string_view a, std::string_view b);
// Whether the ASCII fast path is in use: it is switched off for a locale whose
// collation treats ASCII letters other than one by one (a contraction such as
// Danish "aa", or two letters of one primary weight).
bool asciiFastPathAvailable();

// Unicode simple case folding of one code point and of a UTF-8 text (malformed
// bytes are kept as they are).
char32_t foldCase(char32_t c);
std::string foldCase(std::string_view utf8);

// A number as Jet turns it into text (CStr, & and Like): at most 15 significant
// digits, no trailing zeros, "1E+16" style exponents, "-0" written as "0".
std::string numberText(double value);

// Reads the text of a date or date-time as Jet's #...# literals and CDate do:
// "3/15/2002", "3/15/2002 2:30:00 PM", "1998-03-07", "2002/3/15 14:30",
// "15-Mar-2002", "March 15, 2002", "3/15" (this year), "14:30" (time only, on
// 30 December 1899). Month/day/year order; a first number above 12 with a second
// of at most 12 is read day/month. Two-digit years 00-29 are 2000-2029, 30-99 are
// 1930-1999. False for anything else or a date that does not exist.
bool parseDateText(std::string_view text, double& oleDate);

// What the SQL translator needs to know about a Jet function.
struct FunctionInfo {
  const char* jetName;  // lower case, without a trailing "$"
  const char* sqlName;  // the registered (or built-in) SQLite function
  int minArgs;
  int maxArgs;          // -1: any number
  bool aggregate;
  bool returnsText;     // the result is text (so "+" on it concatenates)
};

// The Jet function of that name (any letter case, a trailing "$" ignored), or null
// when Jet has none. IIf, Nz and IsNull are not in the table: the translator
// writes them as CASE, ifnull() and IS NULL.
const FunctionInfo* findJetFunction(std::string_view name);

}  // namespace kh::store::jet
