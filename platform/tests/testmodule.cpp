// A module for the loader tests: two named exports and an ordinal table.
#include <cstdint>

#define KH_TEST_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
int slotSeven() { return 7; }
}  // namespace

KH_TEST_EXPORT int khTestAdd(int a, int b) { return a + b; }

KH_TEST_EXPORT int khTestSlotOne() { return 1; }

// Slot 1 is also exported by name; slot 7 only by ordinal; every other slot
// is empty.
KH_TEST_EXPORT void* KBEProcByOrdinal(unsigned ordinal) {
  switch (ordinal) {
    case 1: return reinterpret_cast<void*>(&khTestSlotOne);
    case 7: return reinterpret_cast<void*>(&slotSeven);
    default: return nullptr;
  }
}
