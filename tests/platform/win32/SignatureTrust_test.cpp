// A signature whose chain ends at a root nobody trusts is refused. Wine's WinVerifyTrust
// passes such a file, so this holds only through the chain check of our own.
#include <windows.h>
#include <gtest/gtest.h>

#include <fstream>

#include "PlatformTest.h"
#include "platform/HeldFile.h"
#include "platform/Paths.h"
#include "platform/Signature.h"
#include "win32/TestRoot.h"

namespace {

using platform::SignatureStatus;

TEST(SignatureTrust, IsRefusedWithoutATrustedRootAndStillNamesTheSigner) {
    // Before this process checks anything: Wine's chain engine reads the store only once.
    ASSERT_TRUE(platformtest::RemoveTestRoot()) << GetLastError();
    std::ifstream hashFile(
        platform::PathFromUtf8(platformtest::SignedFixture("primary.spki-sha256")));
    std::string primaryKey;
    hashFile >> primaryKey;
    for (const char* file : {"signed-primary.exe", "signed-primary-pe32.exe"}) {
        SCOPED_TRACE(file);
        const std::string path = platformtest::SignedFixture(file);
        const platform::HeldFile held(path, platform::HeldFile::Use::Start);
        ASSERT_TRUE(held.isOpen()) << held.error();
        const auto check = platform::CheckSignature(held.fd(), path);
        EXPECT_EQ(check.status, SignatureStatus::BadSignature) << check.detail;
        EXPECT_FALSE(check.valid());
        EXPECT_EQ(check.signerKeySha256, primaryKey);
    }
}

}  // namespace
