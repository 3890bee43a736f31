// Folders and files named outside the code page, through the calls that take UTF-8 paths:
// the path built from UTF-8 names the same file the other calls see, the folder's
// writability, and opening a file.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "PlatformTest.h"
#include "platform/FolderAccess.h"
#include "platform/Paths.h"

namespace {

TEST(Paths, UnicodeFoldersAreFoundWrittenAndRead) {
    TempDir dir;
    for (const std::string& name : platformtest::kUnicodeNames) {
        const std::string file = dir.Write(platformtest::Join(name, name + ".txt"), name);
        const std::string folder = platformtest::Join(dir.path(), name);
        EXPECT_EQ(platform::Utf8FromPath(platform::PathFromUtf8(file)), file);
        EXPECT_TRUE(std::filesystem::is_directory(platform::PathFromUtf8(folder))) << name;
        EXPECT_TRUE(platform::CanWriteFolder(folder)) << name;
        EXPECT_EQ(testsupport::Entries(folder), std::vector<std::string>{name + ".txt"});

        const std::unique_ptr<std::FILE, int (*)(std::FILE*)> opened(platform::OpenFile(file, "rb"),
                                                                     &std::fclose);
        ASSERT_NE(opened, nullptr) << name;
        std::string content(name.size() + 1, '\0');
        content.resize(std::fread(content.data(), 1, content.size(), opened.get()));
        EXPECT_EQ(content, name);
    }
    EXPECT_FALSE(platform::CanWriteFolder(platformtest::Join(dir.path(), "missing \u4e0b")));
}

}  // namespace
