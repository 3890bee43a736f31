// Expiry as Windows judges it: a timestamp made while the certificate was valid lets the
// signature outlive it; without one an expired certificate fails. Wine's WinVerifyTrust
// passes both, so the second holds only through our own look at the chain.
#include <windows.h>
#include <gtest/gtest.h>

#include "PlatformTest.h"
#include "platform/HeldFile.h"
#include "platform/Signature.h"

namespace {

using platform::SignatureStatus;

TEST(SignatureExpiry, OnlyATimestampLetsASignatureOutliveItsCertificate) {
    const struct {
        const char* file;
        SignatureStatus status;
    } cases[] = {{"expired-timestamped.exe", SignatureStatus::Valid},
                 {"expired.exe", SignatureStatus::BadSignature}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = platformtest::SignedFixture(c.file);
        const platform::HeldFile held(path, platform::HeldFile::Use::Start);
        ASSERT_TRUE(held.isOpen()) << held.error();
        const auto check = platform::CheckSignature(held.fd(), path);
        EXPECT_EQ(check.status, c.status) << check.detail;
        EXPECT_EQ(check.signerSubject, "CN=Zelmarock 2020 Signing, O=Zelmarock");
    }
}

}  // namespace
