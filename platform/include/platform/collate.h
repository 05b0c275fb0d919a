// Locale-aware string comparison in the user's locale, as the system's
// CompareString does it: word sort by default, string sort on request.
#pragma once

#include <string>
#include <string_view>

namespace kh {

enum CollateFlags : unsigned {
  kIgnoreCase = 1,
  kIgnoreKanaType = 2,  // hiragana and katakana compare equal
  kIgnoreWidth = 4,     // full-width and half-width forms compare equal
  kStringSort = 8,      // hyphen and apostrophe sort as ordinary symbols
};

// Compares UTF-8 texts (malformed bytes read as U+FFFD); -1, 0 or 1.
// Without kStringSort (word sort) hyphen and apostrophe are passed over, so that
// "co-op" sorts next to "coop"; texts equal but for them are then ordered by
// string sort.
int compareStringLocale(std::string_view a, std::string_view b, unsigned flags);
// The same for Windows-1252 texts.
int compareStringLocaleAnsi(std::string_view a, std::string_view b, unsigned flags);
// The same for UTF-16 texts.
int compareStringLocale16(std::u16string_view a, std::u16string_view b, unsigned flags);

// The locale the comparisons use, taken once from LC_ALL, LC_COLLATE or LANG
// (the first one set); "C", "POSIX" or none at all mean "en_US".
std::string collationLocale();
// How a POSIX locale name maps to a collation locale ("de_DE.UTF-8@euro" -> "de_DE").
std::string collationLocaleFor(std::string_view posixName);

}  // namespace kh
