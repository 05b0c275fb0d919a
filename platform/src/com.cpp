#include "platform/com.h"

#include <cstdio>

namespace kh {

std::string guidToString(const GUID& g) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(g.Data1), unsigned{g.Data2}, unsigned{g.Data3},
                unsigned{g.Data4[0]}, unsigned{g.Data4[1]}, unsigned{g.Data4[2]},
                unsigned{g.Data4[3]}, unsigned{g.Data4[4]}, unsigned{g.Data4[5]},
                unsigned{g.Data4[6]}, unsigned{g.Data4[7]});
  return buf;
}

static_assert([] {
  GUID g{};
  return parseGuid("{00020400-0000-0000-C000-000000000046}", g) && g == IID_IDispatch;
}());

}  // namespace kh
