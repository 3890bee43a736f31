// Where a signed PE file keeps its signature and which bytes its image hash covers, read by
// the layout reader both backends share, on the signed fixtures and hostile changes of them.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "PlatformTest.h"
#include "platform/Paths.h"
#include "platform/PeSignedImage.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ReadFixture(const std::string& name) {
    std::ifstream in(platform::PathFromUtf8(platformtest::SignedFixture(name)), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

platform::PeSignedImage Read(const Bytes& file) {
    return platform::ReadPeSignedImage(
        [&file](std::uint64_t offset, std::size_t size, std::uint8_t* out) {
            if (offset > file.size() || size > file.size() - offset) return false;
            std::memcpy(out, file.data() + offset, size);
            return true;
        },
        file.size());
}

std::uint32_t Le32(const Bytes& file, std::size_t at) {
    return file[at] | file[at + 1] << 8 | file[at + 2] << 16 |
           static_cast<std::uint32_t>(file[at + 3]) << 24;
}
void SetLe32(Bytes& file, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Where the certificate table's directory entry lies (PE32 or PE32+).
std::size_t CertificateEntryAt(const Bytes& file) {
    const std::size_t optional = Le32(file, 0x3C) + 24;
    return optional + (file[optional] == 0x0B && file[optional + 1] == 0x02 ? 112 : 96) + 4 * 8;
}

std::uint64_t HashedBytes(const platform::PeSignedImage& image) {
    std::uint64_t total = 0;
    for (const auto& range : image.hashed) total += range.size;
    return total;
}

TEST(PeSignedImage, NamesTheSignatureAndTheHashedBytes) {
    for (const char* name : {"signed-primary.exe", "signed-primary-pe32.exe"}) {
        SCOPED_TRACE(name);
        const Bytes file = ReadFixture(name);
        ASSERT_FALSE(file.empty());
        const auto image = Read(file);
        EXPECT_TRUE(image.isPe);
        EXPECT_TRUE(image.hasSignature);
        EXPECT_FALSE(image.dataOutsideImage);
        EXPECT_EQ(image.malformed, "");
        const std::size_t entry = CertificateEntryAt(file);
        const std::uint32_t tableAt = Le32(file, entry);
        EXPECT_EQ(tableAt + Le32(file, entry + 4), file.size());
        // All but the checksum, the directory entry and the table.
        EXPECT_EQ(HashedBytes(image), tableAt - 4 - 8);
        ASSERT_EQ(image.hashed.size(), 3u);
        EXPECT_EQ(image.hashed[1].offset + image.hashed[1].size, entry);
        EXPECT_EQ(image.hashed[2].offset, entry + 8);
        ASSERT_GT(image.signedData.size(), 2u);
        EXPECT_EQ(image.signedData[0], 0x30);
        EXPECT_EQ(0, std::memcmp(image.signedData.data(), file.data() + tableAt + 8,
                                 image.signedData.size()));
    }
    const Bytes unsignedFile = ReadFixture("unsigned.exe");
    const auto image = Read(unsignedFile);
    EXPECT_TRUE(image.isPe);
    EXPECT_FALSE(image.hasSignature);
    EXPECT_FALSE(image.dataOutsideImage);
    EXPECT_EQ(HashedBytes(image), unsignedFile.size() - 4 - 8);
    EXPECT_FALSE(Read(ReadFixture("not-pe.bin")).isPe);
}

TEST(PeSignedImage, RefusesBytesNoSignatureCovers) {
    const Bytes original = ReadFixture("signed-primary.exe");
    ASSERT_FALSE(original.empty());
    const std::size_t entry = CertificateEntryAt(original);
    const std::uint32_t tableAt = Le32(original, entry);
    const auto outside = [&](const char* what, const Bytes& file) {
        const auto image = Read(file);
        EXPECT_TRUE(image.dataOutsideImage) << what;
        EXPECT_EQ(image.malformed, "") << what;
    };
    outside("bytes after the table", ReadFixture("appended.exe"));

    // A second entry in the table, and the signature's entry grown by eight bytes after its
    // DER, zeros or not.
    Bytes second = original;
    const Bytes certificate = {16, 0, 0, 0, 0, 2, 1, 0, 'a', 'n', 'y', 't', 'h', 'i', 'n', 'g'};
    second.insert(second.end(), certificate.begin(), certificate.end());
    SetLe32(second, entry + 4, Le32(second, entry + 4) + 16);
    outside("a second entry", second);
    for (const std::uint8_t fill : {std::uint8_t{0}, std::uint8_t{'x'}}) {
        Bytes grown = original;
        grown.insert(grown.end(), 8, fill);
        SetLe32(grown, entry + 4, Le32(grown, entry + 4) + 8);
        SetLe32(grown, tableAt, Le32(grown, tableAt) + 8);
        outside(fill ? "text after the DER" : "eight zeros after the DER", grown);
    }

    const auto malformed = [&](const char* what, const Bytes& file) {
        const auto image = Read(file);
        EXPECT_TRUE(image.isPe) << what;
        EXPECT_NE(image.malformed, "") << what;
        EXPECT_FALSE(image.hasSignature) << what;
    };
    Bytes cut = original;
    cut.resize(cut.size() - 100);
    malformed("cut short", cut);
    Bytes shifted = original;
    SetLe32(shifted, entry, tableAt + 4);
    SetLe32(shifted, entry + 4, Le32(shifted, entry + 4) - 4);
    malformed("not aligned", shifted);
    Bytes overlapping = original;
    SetLe32(overlapping, entry, 0x100);
    SetLe32(overlapping, entry + 4, static_cast<std::uint32_t>(original.size() - 0x100));
    malformed("over the headers", overlapping);
    Bytes wrongLength = original;
    SetLe32(wrongLength, tableAt, Le32(wrongLength, entry + 4) + 8);
    malformed("an entry longer than the table", wrongLength);
}

}  // namespace
