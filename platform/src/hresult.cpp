#include "platform/hresult.h"

namespace kh {
static_assert(DaoErrorNumber(DaoError(3021)) == 3021);
static_assert(FAILED(E_FAIL) && SUCCEEDED(S_FALSE));
}  // namespace kh
