// FreeImage's plugins are registered once for the whole test program, as the station does at start.
#include <FreeImage.h>
#include <gtest/gtest.h>

namespace {
class FreeImageEnvironment : public ::testing::Environment {
public:
  void SetUp() override { FreeImage_Initialise(TRUE); }
  void TearDown() override { FreeImage_DeInitialise(); }
};
const auto *const kEnvironment = ::testing::AddGlobalTestEnvironment(new FreeImageEnvironment);
} // namespace
