// The export table as a client binding by name and by ordinal sees it.

#include "engine_fixture.h"

namespace {

TEST(Exports, EveryNamedFunctionSitsInItsOrdinalSlot) {
  kbetest::Engine engine;
  ASSERT_TRUE(engine.loaded());
  int named = 0;
#define KBE_EXPORT(name, ordinal)                                                        \
  {                                                                                      \
    ++named;                                                                             \
    void* byName = reinterpret_cast<void*>(engine.byName<void (*)()>(#name));            \
    void* byOrdinal = reinterpret_cast<void*>(engine.byOrdinal<void (*)()>(ordinal));    \
    EXPECT_NE(byName, nullptr) << #name;                                                 \
    EXPECT_EQ(byName, byOrdinal) << #name << " at " << ordinal;                          \
  }
#include "../KBEPI32_Exports.inc"
#undef KBE_EXPORT
  EXPECT_EQ(named, 125);
}

TEST(Exports, EmptySlotsAndOrdinalsOutsideTheTableGiveNothing) {
  kbetest::Engine engine;
  ASSERT_TRUE(engine.loaded());
  auto byOrdinal = engine.byName<void* (*)(unsigned)>("KBEProcByOrdinal");
  ASSERT_NE(byOrdinal, nullptr);
  for (unsigned empty : {0u, 8u, 74u, 1162u, 1226u, 0xFFFFFFFFu}) EXPECT_EQ(byOrdinal(empty), nullptr) << empty;
  EXPECT_EQ(engine.byOrdinal<void (*)()>(74), nullptr);
}

}  // namespace
