// Export table of the engine library.
#include "kbe/kbe.h"

#include <array>

namespace {

// Slot n of the table holds the function exported at ordinal n (index 0 is
// unused). Slots without a function stay null and must never be bound.
struct OrdinalTable {
  std::array<void*, kbe::kOrdinalSlots + 1> slots{};
};

const OrdinalTable& ordinalTable() {
  static const OrdinalTable table{};
  return table;
}

}  // namespace

KBE_API void* KBEProcByOrdinal(unsigned ordinal) {
  if (ordinal == 0 || ordinal > kbe::kOrdinalSlots) return nullptr;
  return ordinalTable().slots[ordinal];
}
