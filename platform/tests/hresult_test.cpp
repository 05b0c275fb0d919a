#include "platform/hresult.h"

#include <gtest/gtest.h>

TEST(HResult, DaoErrorsRoundTrip) {
  EXPECT_EQ(static_cast<std::uint32_t>(kh::DaoError(3044)), 0x800A0BE4u);
  EXPECT_EQ(kh::DaoErrorNumber(kh::DaoError(3044)), 3044u);
  EXPECT_EQ(kh::DaoErrorNumber(kh::E_FAIL), 0u);
  EXPECT_TRUE(kh::FAILED(kh::DaoError(1)));
}
