// Who signed a program, on the files tests/platform/make-signed-fixtures.sh signs at build
// time (the same files on both backends), and the held file the check reads.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>

#include "PlatformTest.h"
#include "platform/HeldFile.h"
#include "platform/Paths.h"
#include "platform/Signature.h"
#include "support/TempDir.h"

namespace platform {
void PrintTo(SignatureStatus status, std::ostream* out) {
    static const char* const kNames[] = {"Valid",        "NotSigned",     "DigestMismatch",
                                         "BadSignature", "WrongKeyUsage", "DataOutsideImage",
                                         "Malformed",    "Unreadable"};
    *out << kNames[static_cast<int>(status)];
}
}  // namespace platform

namespace {

namespace fs = std::filesystem;
using platform::HeldFile;
using platform::SignatureStatus;
using platformtest::SignedFixture;

// The fixture script's subjects as CheckSignature reports them: the most specific RDN first,
// ", " between them, UTF-8. The impostor and the certificate without codeSigning have the
// primary's subject.
const std::string kPrimarySubject = "CN=Zelmarock Update Signing, O=Zelmarock Soci\u00e9t\u00e9";
const std::string kBackupSubject = "CN=Zelmarock Backup Signing, O=Zelmarock Soci\u00e9t\u00e9";

// "primary", "backup", "impostor": the SHA-256 of the signer's SubjectPublicKeyInfo, by openssl.
std::string KeyHash(const std::string& signer) {
    std::ifstream in(platform::PathFromUtf8(SignedFixture(signer + ".spki-sha256")));
    std::string hex;
    in >> hex;
    EXPECT_EQ(hex.size(), 64u) << signer;
    return hex;
}

platform::SignatureCheck Check(const std::string& path) {
    const HeldFile held(path, HeldFile::Use::Start);
    if (!held.isOpen()) {
        ADD_FAILURE() << path << " cannot be held: errno " << held.error();
        return {};
    }
    return platform::CheckSignature(held.fd(), path);
}

TEST(Signature, SaysWhoSignedAndWhyACheckFails) {
    struct Case {
        const char* file;
        SignatureStatus status;
        const char* signer;  // whose key hash is reported; "" none, "any" some
        const std::string* subject;
    };
    const std::string none;
    const Case cases[] = {
        {"signed-primary.exe", SignatureStatus::Valid, "primary", &kPrimarySubject},
        {"signed-primary-pe32.exe", SignatureStatus::Valid, "primary", &kPrimarySubject},
        {"signed-backup.exe", SignatureStatus::Valid, "backup", &kBackupSubject},
        // Valid as a signature: only the caller's pin of the key tells it from the primary.
        {"signed-impostor.exe", SignatureStatus::Valid, "impostor", &kPrimarySubject},
        {"tampered.exe", SignatureStatus::DigestMismatch, "primary", &kPrimarySubject},
        {"appended.exe", SignatureStatus::DataOutsideImage, "primary", &kPrimarySubject},
        {"signed-noeku.exe", SignatureStatus::WrongKeyUsage, "any", &kPrimarySubject},
        {"unsigned.exe", SignatureStatus::NotSigned, "", &none},
        {"not-pe.bin", SignatureStatus::Malformed, "", &none},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const auto check = Check(SignedFixture(c.file));
        EXPECT_EQ(check.status, c.status) << check.detail;
        EXPECT_EQ(check.valid(), c.status == SignatureStatus::Valid);
        const std::string signer = c.signer;
        if (signer == "any")
            EXPECT_EQ(check.signerKeySha256.size(), 64u);
        else
            EXPECT_EQ(check.signerKeySha256, signer.empty() ? "" : KeyHash(signer));
        EXPECT_EQ(check.signerSubject, *c.subject);
    }
    EXPECT_NE(KeyHash("impostor"), KeyHash("primary"));
}

TEST(Signature, IsCheckedInAFolderNamedOutsideTheCodePage) {
    TempDir dir;
    const std::string folder = dir.folder() + "jos\u00e9 \u4e0b\u8f7d \U0001F600";
    const std::string copy = platformtest::Join(folder, "signed-primary.exe");
    fs::create_directory(platform::PathFromUtf8(folder));
    fs::copy_file(platform::PathFromUtf8(SignedFixture("signed-primary.exe")),
                  platform::PathFromUtf8(copy));
    const auto check = Check(copy);
    EXPECT_EQ(check.status, SignatureStatus::Valid) << check.detail;
    EXPECT_EQ(check.signerKeySha256, KeyHash("primary"));
}

TEST(HeldFile, IsNamedByItsPathUntilAnotherFileTakesTheName) {
    TempDir dir;
    const std::string path = dir.Write("jos\u00e9 \U0001F600.exe", "checked");
    HeldFile held(path, HeldFile::Use::Move);
    ASSERT_TRUE(held.isOpen()) << held.error();
    EXPECT_GE(held.fd(), 0);
    EXPECT_TRUE(held.isNamedBy(path));
    // Swapped: the held file moves aside and another takes its name.
    fs::rename(platform::PathFromUtf8(path), platform::PathFromUtf8(path + ".aside"));
    dir.Write("jos\u00e9 \U0001F600.exe", "swapped");
    EXPECT_FALSE(held.isNamedBy(path));
    EXPECT_TRUE(held.isNamedBy(path + ".aside"));
    held.close();
    EXPECT_FALSE(held.isOpen());
    EXPECT_EQ(held.fd(), -1);
    EXPECT_FALSE(held.isNamedBy(path + ".aside"));

    const HeldFile absent(path + ".absent", HeldFile::Use::Start);
    EXPECT_FALSE(absent.isOpen());
    EXPECT_NE(absent.error(), 0);
    // A file with a second name is not held.
    fs::create_hard_link(platform::PathFromUtf8(path), platform::PathFromUtf8(path + ".link"));
    const HeldFile linked(path, HeldFile::Use::Start);
    EXPECT_FALSE(linked.isOpen());
    EXPECT_NE(linked.error(), 0);
}

}  // namespace
