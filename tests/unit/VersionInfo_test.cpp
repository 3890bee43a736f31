#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "core/verinfo.h"
#include "platform/VersionInfo.h"
#include "platform/posix/PeVersionResource.h"
#include "support/PeWriter.h"
#include "support/TempDir.h"

namespace {

bool HasRecord(const std::vector<std::uint8_t>& image, std::size_t size) {
    return platform::ReadVersionResource(platform::MemorySource(image.data(), size)).has_value();
}

bool HasRecord(const std::vector<std::uint8_t>& image) {
    return HasRecord(image, image.size());
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

void Put(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    Put(b, at, v, 4);
}

class PeFormats : public testing::TestWithParam<bool> {};

}  // namespace

TEST_P(PeFormats, ReadsTheFileVersionOfTheFixedBlock) {
    const TempDir dir;
    const std::string path = dir.path() + "/editor.exe";
    WritePeFile(path,
                PeOptions{.pe32Plus = GetParam(),
                          .fileVersion = {5, 2, 1, 300},
                          .productVersion = {9, 8, 7, 6},
                          .strings = {{"FileVersion", "7.7.7.7"}, {"ProductName", "Editor"}}});
    TrsFileVersion reader;
    ASSERT_TRUE(reader.GetVersion(path));
    EXPECT_EQ(reader.VersionText, "5.2.1");
    EXPECT_EQ(reader.Major, 5);
    EXPECT_EQ(reader.Minor, 2);
    EXPECT_EQ(reader.Release, 1);
    EXPECT_EQ(reader.Build, 300);
}

TEST_P(PeFormats, WidensWordsWithoutSignAndTakesANamedResource) {
    const TempDir dir;
    const std::string path = dir.path() + "/big.exe";
    WritePeFile(path, PeOptions{.pe32Plus = GetParam(),
                                .fileVersion = {65535, 0, 32768, 65535},
                                .namedVersionResource = true});
    TrsFileVersion reader;
    ASSERT_TRUE(reader.GetVersion(path));
    EXPECT_EQ(reader.VersionText, "65535.0.32768");
    EXPECT_EQ(reader.Build, 65535);
}

INSTANTIATE_TEST_SUITE_P(Pe32AndPe32Plus, PeFormats, testing::Bool());

TEST(TrsFileVersion, AFailedReadClearsWhatAnEarlierFileLeft) {
    const TempDir dir;
    const std::string good = dir.path() + "/good.exe";
    WritePeFile(good, PeOptions{.fileVersion = {3, 1, 0, 245}});
    const std::string bare = dir.Write("plain.exe", "MZ but nothing else");
    TrsFileVersion reader;
    ASSERT_TRUE(reader.GetVersion(good));
    EXPECT_FALSE(reader.GetVersion(bare));
    EXPECT_EQ(reader.VersionText, "");
    EXPECT_EQ(reader.Major + reader.Minor + reader.Release + reader.Build, 0);
    EXPECT_FALSE(reader.GetVersion(dir.path()));  // a folder has no version record
    EXPECT_FALSE(reader.GetVersion(dir.path() + "/missing.exe"));
}

TEST(TrsFileVersion, ReadVersionInfoWritesOnlyTheGivenOutputs) {
    const TempDir dir;
    const std::string path = dir.path() + "/a.exe";
    WritePeFile(path, PeOptions{.fileVersion = {4, 3, 2, 1}});
    TrsFileVersion reader;
    reader.Major = 77;
    std::uint16_t major = 0, minor = 111;
    ASSERT_TRUE(reader.ReadVersionInfo(path, &major));
    EXPECT_EQ(major, 4);
    EXPECT_EQ(minor, 111);
    EXPECT_EQ(reader.Major, 77);  // the fields are left alone
    ASSERT_TRUE(reader.ReadVersionInfo(path, nullptr, &minor, nullptr, nullptr));
    EXPECT_EQ(minor, 3);
    std::uint16_t untouched[4] = {9, 9, 9, 9};
    EXPECT_FALSE(reader.ReadVersionInfo(dir.path() + "/none.exe", &untouched[0], &untouched[1],
                                        &untouched[2], &untouched[3]));
    for (const auto word : untouched) EXPECT_EQ(word, 9);
}

TEST(VersionInfoFunctions, BehaveLikeTheWindowsTrio) {
    const TempDir dir;
    const std::string path = dir.path() + "/a.exe";
    WritePeFile(path, PeOptions{.fileVersion = {1, 2, 3, 4}});
    std::uint32_t handle = 99;
    const std::uint32_t size = platform::VersionRecordSize(path, &handle);
    EXPECT_EQ(handle, 0u);
    ASSERT_GT(size, platform::kVsFixedFileInfoSize);
    std::vector<std::uint8_t> record(size);
    ASSERT_TRUE(platform::ReadVersionRecord(path, handle, size, record.data()));
    const void* block = nullptr;
    std::uint32_t length = 0;
    ASSERT_TRUE(platform::QueryVersionRecord(record.data(), record.size(), "\\", &block, &length));
    EXPECT_EQ(length, platform::kVsFixedFileInfoSize);
    const auto info = platform::ReadFixedFileInfo(block);
    EXPECT_EQ(info.dwSignature, platform::kVsFixedFileInfoSignature);
    EXPECT_EQ(info.dwFileVersionMS, 0x00010002u);
    EXPECT_EQ(info.dwFileVersionLS, 0x00030004u);
    EXPECT_FALSE(platform::QueryVersionRecord(record.data(), record.size(), "\\StringFileInfo",
                                              &block, &length));
    // A record fetched into a buffer too small for it is not trusted.
    std::vector<std::uint8_t> shortRecord(size - 1);
    ASSERT_TRUE(platform::ReadVersionRecord(path, 0, size - 1, shortRecord.data()));
    EXPECT_FALSE(platform::QueryVersionRecord(shortRecord.data(), shortRecord.size(), "\\", &block,
                                              &length));
}

TEST(VersionInfoHostile, EveryFlawMeansNoVersionRecord) {
    for (const bool plus : {false, true}) {
        for (const PeFlaw flaw :
             {PeFlaw::kNoVersionResource, PeFlaw::kNoResourceDirectory, PeFlaw::kResourceLoop,
              PeFlaw::kDeepNesting, PeFlaw::kRvaOutsideSections, PeFlaw::kOverflowingSize,
              PeFlaw::kShortVersionInfo, PeFlaw::kWrongSignature}) {
            const auto image = BuildPeImage(PeOptions{.pe32Plus = plus, .flaw = flaw});
            EXPECT_FALSE(HasRecord(image))
                << "flaw " << static_cast<int>(flaw) << " pe32+ " << plus;
        }
        EXPECT_TRUE(HasRecord(BuildPeImage(PeOptions{.pe32Plus = plus})));
    }
}

TEST(VersionInfoHostile, TruncationAnywhereBeforeTheRecordsEndFails) {
    for (const bool plus : {false, true}) {
        const auto image = BuildPeImage(PeOptions{.pe32Plus = plus, .strings = {{"A", "b"}}});
        // The record ends where the file's trailing section padding begins.
        std::size_t end = image.size();
        while (end > 0 && image[end - 1] == 0) --end;
        for (std::size_t size = 0; size < image.size(); ++size)
            EXPECT_EQ(HasRecord(image, size), size >= end) << "truncated to " << size;
    }
}

TEST(VersionInfoHostile, CorruptHeadersAreRefused) {
    const auto good = BuildPeImage(PeOptions{});
    const auto patched = [&](std::size_t at, std::uint32_t value, int bytes = 4) {
        auto image = good;
        Put(image, at, value, bytes);
        return image;
    };
    EXPECT_FALSE(HasRecord(patched(0, 0)));                    // no "MZ"
    EXPECT_FALSE(HasRecord(patched(0x3C, 0xFFFFFFF0)));        // PE header past the end
    EXPECT_FALSE(HasRecord(patched(0x3C, good.size() - 2)));   // PE header cut short
    EXPECT_FALSE(HasRecord(patched(0x80, 0x00004551)));        // no "PE\0\0"
    EXPECT_FALSE(HasRecord(patched(0x84 + 20, 0x010C, 2)));    // unknown optional magic
    EXPECT_FALSE(HasRecord(patched(0x84 + 2, 0xFFFF, 2)));     // 65535 sections
    EXPECT_FALSE(HasRecord(patched(0x84 + 2, 0, 2)));          // no section
    EXPECT_FALSE(HasRecord(patched(0x84 + 20 + 96 + 16, 0)));  // no resource directory
    EXPECT_FALSE(HasRecord(patched(0x84 + 20 + 96 + 16, 0xFFFFFFFF)));
    // The resource directory claims 65535 + 65535 entries.
    EXPECT_FALSE(HasRecord(patched(0x400 + 12, 0xFFFFFFFF)));
}

TEST(VersionInfoHostile, OddFilesGiveNoRecordAndNeverBlock) {
    const TempDir dir;
    TrsFileVersion reader;
    EXPECT_FALSE(reader.GetVersion(dir.Write("empty.exe", "")));
    EXPECT_FALSE(reader.GetVersion(dir.Write("text.exe", "just some text\n")));
    const std::string fifo = dir.path() + "/pipe.exe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(reader.GetVersion(fifo));  // would block in open() without O_NONBLOCK
    EXPECT_FALSE(reader.GetVersion("/dev/zero"));
    EXPECT_FALSE(reader.GetVersion("/dev/null"));
    const std::string link = dir.path() + "/link.exe";
    WritePeFile(dir.path() + "/target.exe", PeOptions{.fileVersion = {2, 0, 0, 1}});
    std::filesystem::create_symlink(dir.path() + "/target.exe", link);
    EXPECT_TRUE(reader.GetVersion(link));
}

TEST(VersionInfoHostile, SparseTwoGigabyteFilesAreReadOnlyWhereNeeded) {
    const TempDir dir;
    constexpr off_t kTwoGiB = off_t{2} << 30;
    const std::string zeros = dir.path() + "/zeros.exe";
    const std::string real = dir.path() + "/real.exe";
    const std::string far = dir.path() + "/far.exe";
    WriteBytes(zeros, {});
    WritePeFile(real, PeOptions{.fileVersion = {6, 0, 0, 1}});
    // The PE header is said to lie just before the end of the file.
    auto header = BuildPeImage(PeOptions{});
    Put32(header, 0x3C, static_cast<std::uint32_t>(kTwoGiB - 16));
    WriteBytes(far, header);
    for (const auto& path : {zeros, real, far})
        if (truncate(path.c_str(), kTwoGiB) != 0)
            GTEST_SKIP() << "the file system refuses 2 GiB files";
    TrsFileVersion reader;
    EXPECT_FALSE(reader.GetVersion(zeros));
    EXPECT_FALSE(reader.GetVersion(far));
    ASSERT_TRUE(reader.GetVersion(real));
    EXPECT_EQ(reader.VersionText, "6.0.0");
}
