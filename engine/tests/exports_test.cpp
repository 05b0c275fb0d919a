// Loads the engine library the way the program does and checks its export table.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

namespace {

using ProcByOrdinal = void* (*)(unsigned);

class EngineLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    handle_ = dlopen((std::string(KH_ENGINE_DIR) + "/libKBE3235.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle_, nullptr) << dlerror();
    byOrdinal_ = reinterpret_cast<ProcByOrdinal>(dlsym(handle_, "KBEProcByOrdinal"));
    ASSERT_NE(byOrdinal_, nullptr);
  }
  void TearDown() override {
    if (handle_) dlclose(handle_);
  }
  void* handle_ = nullptr;
  ProcByOrdinal byOrdinal_ = nullptr;
};

TEST_F(EngineLibrary, OrdinalsOutsideTheTableAreEmpty) {
  EXPECT_EQ(byOrdinal_(0), nullptr);
  EXPECT_EQ(byOrdinal_(1226), nullptr);
  EXPECT_EQ(byOrdinal_(0xFFFFFFFFu), nullptr);
}

}  // namespace
