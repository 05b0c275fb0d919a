// Defaults for the cursor hooks of the range and filter modules.
//
// Navigation consults ranges and stored filter expressions through these
// functions. Each default behaves as if nothing of its kind were set. They
// are weak: the module that carries a feature out defines the same function,
// and its definition is the one linked.
#include "KBEPI32_CursorData.h"

#define KBE_WEAK __attribute__((weak))

namespace kbe {

KBE_WEAK bool recordBelowLowRange(TCursorData&) { return false; }
KBE_WEAK bool recordAboveHighRange(TCursorData&) { return false; }
KBE_WEAK void setToLowRange(TCursorData&) {}
KBE_WEAK void setToHighRange(TCursorData&) {}
KBE_WEAK bool filterExpressionAccepts(TCursorData&, aFilter&) { return true; }

}  // namespace kbe
