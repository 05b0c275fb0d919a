// Export table of the engine library: every named export in its ordinal slot.
#include <array>

#include "kbe/kbe.h"

namespace {

// Slot n of the table holds the function exported at ordinal n (index 0 is
// unused). Slots without a function stay null and must never be bound.
struct OrdinalTable {
  std::array<void*, kbe::kOrdinalSlots + 1> slots{};
  OrdinalTable() {
#define KBE_EXPORT(name, ordinal) slots[ordinal] = reinterpret_cast<void*>(&name);
#include "KBEPI32_Exports.inc"
#undef KBE_EXPORT
  }
};

const OrdinalTable& ordinalTable() {
  static const OrdinalTable table;
  return table;
}

}  // namespace

KBE_API void* KBEProcByOrdinal(unsigned ordinal) {
  if (ordinal == 0 || ordinal > kbe::kOrdinalSlots) return nullptr;
  return ordinalTable().slots[ordinal];
}
