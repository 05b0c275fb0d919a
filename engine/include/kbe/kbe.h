// Public interface of the KBE3235 database engine library.
//
// Every named function is exported with C linkage; callers that bind by
// ordinal look each slot up through KBEProcByOrdinal.
#pragma once

#include <cstdint>

#define KBE_API extern "C" __attribute__((visibility("default")))

namespace kbe {

// Result code of every Dbi* function: 0 is success, the high byte is the
// error category and the low byte the code.
using DBIResult = std::uint16_t;

// Number of ordinal slots in the export table (1 to KBE_ORDINAL_SLOTS).
constexpr unsigned kOrdinalSlots = 1225;

}  // namespace kbe

// Address of the function in ordinal slot `ordinal`, or null when the slot is
// empty or out of range.
KBE_API void* KBEProcByOrdinal(unsigned ordinal);
