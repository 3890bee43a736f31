// Linked into the shared signature test on Windows: the fixtures' CA is trusted for the
// whole run, as the system's roots are for a vendor's real certificate, and removed after.
#include <windows.h>
#include <gtest/gtest.h>

#include "win32/TestRoot.h"

namespace {

class TrustedTestRoot : public testing::Environment {
  public:
    void SetUp() override { ASSERT_TRUE(platformtest::InstallTestRoot()) << GetLastError(); }
    void TearDown() override { EXPECT_TRUE(platformtest::RemoveTestRoot()) << GetLastError(); }
};

[[maybe_unused]] testing::Environment* const kTrustedTestRoot =
    testing::AddGlobalTestEnvironment(new TrustedTestRoot);

}  // namespace
