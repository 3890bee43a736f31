// Version records of PE files built by the MinGW binutils, read the same on both backends:
// the numbers of the fixed block, and no record where there is none.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "PlatformTest.h"
#include "platform/Paths.h"
#include "platform/VersionInfo.h"

namespace {

std::optional<platform::VsFixedFileInfo> FixedInfo(const std::string& path) {
    std::uint32_t handle = 77;
    const std::uint32_t size = platform::VersionRecordSize(path, &handle);
    EXPECT_EQ(handle, 0u) << path;
    if (size == 0) return std::nullopt;
    std::vector<unsigned char> record(size);
    if (!platform::ReadVersionRecord(path, handle, size, record.data())) return std::nullopt;
    const void* block = nullptr;
    std::uint32_t length = 0;
    if (!platform::QueryVersionRecord(record.data(), record.size(), "\\", &block, &length))
        return std::nullopt;
    EXPECT_GE(length, platform::kVsFixedFileInfoSize);
    return platform::ReadFixedFileInfo(block);
}

TEST(VersionInfo, RecordsOfRealPeFiles) {
    for (const char* name : {"mingw_pe32.exe", "mingw_pe32plus.exe"}) {
        const auto info = FixedInfo(platformtest::PeFixture(name));
        ASSERT_TRUE(info.has_value()) << name;
        EXPECT_EQ(info->dwSignature, platform::kVsFixedFileInfoSignature);
        EXPECT_EQ(info->dwFileVersionMS, (5u << 16) | 2u) << name;
        EXPECT_EQ(info->dwFileVersionLS, (1u << 16) | 300u) << name;
        EXPECT_EQ(info->dwProductVersionMS, (9u << 16) | 8u) << name;
        EXPECT_EQ(info->dwProductVersionLS, (7u << 16) | 6u) << name;
    }
}

TEST(VersionInfo, RecordsBelowFoldersOutsideTheCodePage) {
    TempDir dir;
    const std::string fixture = platformtest::PeFixture("mingw_pe32plus.exe");
    for (const std::string& name : platformtest::kUnicodeNames) {
        const std::string copy = dir.Write(platformtest::Join(name, name + ".exe"), "");
        std::filesystem::copy_file(platform::PathFromUtf8(fixture), platform::PathFromUtf8(copy),
                                   std::filesystem::copy_options::overwrite_existing);
        const auto info = FixedInfo(copy);
        ASSERT_TRUE(info.has_value()) << name;
        EXPECT_EQ(info->dwFileVersionLS, (1u << 16) | 300u) << name;
    }
}

TEST(VersionInfo, NoRecordWithoutAPeFileThatHasOne) {
    TempDir dir;
    EXPECT_FALSE(FixedInfo(dir.Write("notes.exe", "MZ but nothing after it")));
    EXPECT_FALSE(FixedInfo(platformtest::Join(dir.path(), "missing.exe")));
    EXPECT_FALSE(FixedInfo(dir.path()));
    std::uint32_t handle = 0;
    EXPECT_EQ(platform::VersionRecordSize(dir.path(), &handle), 0u);
}

}  // namespace
