// Keys and ranges of table cursors.
//
// Key searches and ranges are emulated on top of DAO's Seek with the engine's
// own key comparisons (text compared without regard to case). Navigation asks
// the range checks whether the current record lies inside the range, and
// positions a ranged cursor at its ends through them.
#pragma once

#include <array>
#include <cstdint>

#include "KBEPI32_CursorData.h"
#include "platform/variant.h"

namespace kbe::range {

using KeyValues = std::array<kh::Variant, 13>;

// The number of key fields a key buffer gives: fields + 1 with a partial
// length (the last one partial), the active index's key field count when both
// are 0, else `fields`; never more than the index has.
int keyFieldsGiven(const TCursorData& cursor, std::uint16_t fields, std::uint16_t partialLength) noexcept;

// Key values read from the key fields' slots of a key buffer, converted as for
// a field being written (null when the present bit is clear); the values
// after `count` are left out (DAO's omitted argument).
KeyValues keyValues(TCursorData& cursor, const std::uint8_t* key, int count);

// Whether the current record equals the key in its first `count` key fields
// (text without regard to case; only `partialLength` characters of the last
// field when that is above 0). A null on either side never matches.
bool currentMatchesKey(TCursorData& cursor, const KeyValues& key, int count, std::uint16_t partialLength);

// After a Seek: false when it found nothing. Otherwise, for an exact search a
// record that does not match the key fails; records outside the range are
// skipped forward (failing at the end); any other record is accepted.
bool acceptSeek(TCursorData& cursor, bool exact, const KeyValues& key, int count, std::uint16_t partialLength);

// Range checks on the current record (false when that end has no bound).
bool recordBelowLowRange(TCursorData& cursor);
bool recordAboveHighRange(TCursorData& cursor);

// Positioning for DbiSetToBegin / DbiSetToEnd when a bound is set.
void setToLowRange(TCursorData& cursor);
void setToHighRange(TCursorData& cursor);

// Clears both bounds.
void reset(TCursorData& cursor) noexcept;

}  // namespace kbe::range
