// A file opened as a plain file of ours: created or reopened, never through a link, a
// second name or a folder planted under its name; what such a link points to stays as it
// was.
#include <gtest/gtest.h>

#include <filesystem>
#include <system_error>
#ifdef _WIN32
#include <io.h>
#define close _close
#else
#include <unistd.h>
#endif

#include "platform/Paths.h"
#include "platform/PlainFile.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

TEST(PlainFile, OnlyAPlainFileWithOneNameIsOpened) {
    TempDir dir;
    const std::string name = dir.folder() + "\xe6\x97\xa5\xf0\x9f\x93\xa6.partial";
    EXPECT_EQ(platform::OpenPlainFile(name, false).fd, -1) << "not there, not created";
    auto opened = platform::OpenPlainFile(name, true);
    ASSERT_GE(opened.fd, 0);
    EXPECT_TRUE(platform::StillNamesPlainFile(opened.fd, name));
    // Another file swapped in under the name while ours is open.
    fs::rename(platform::PathFromUtf8(name), platform::PathFromUtf8(name + ".moved"));
    dir.Write("\xe6\x97\xa5\xf0\x9f\x93\xa6.partial", "swapped");
    EXPECT_FALSE(platform::StillNamesPlainFile(opened.fd, name));
    close(opened.fd);
    fs::rename(platform::PathFromUtf8(name + ".moved"), platform::PathFromUtf8(name));
    opened = platform::OpenPlainFile(name, false);
    ASSERT_GE(opened.fd, 0);
    close(opened.fd);
    fs::remove(platform::PathFromUtf8(name));

    const std::string target = dir.Write("outside.txt", "precious");
    const auto refused = [&](const char* what) {
        const auto planted = platform::OpenPlainFile(name, true);
        EXPECT_EQ(planted.fd, -1) << what;
        EXPECT_TRUE(planted.inTheWay) << what;
        if (planted.fd >= 0) close(planted.fd);
        EXPECT_EQ(dir.Read("outside.txt"), "precious") << what;
        std::error_code ignored;
        fs::remove(platform::PathFromUtf8(name), ignored);
    };
    fs::create_directory(platform::PathFromUtf8(name));
    refused("a folder");
    fs::create_hard_link(platform::PathFromUtf8(target), platform::PathFromUtf8(name));
    refused("a second name");
    std::error_code error;
    fs::create_symlink(platform::PathFromUtf8(target), platform::PathFromUtf8(name), error);
    if (!error) refused("a link");  // Windows lets only some accounts make links
}
