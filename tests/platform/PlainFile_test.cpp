// A file opened as a plain file of ours: created or reopened, never through a link, a
// second name or a folder planted under its name; what such a link points to stays as it
// was.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#ifdef _WIN32
#include <windows.h>
#include <io.h>
#define close _close
#define popen _popen
#define pclose _pclose
#else
#include <unistd.h>
#endif

#include "platform/Paths.h"
#include "platform/PlainFile.h"
#include "support/ScopedEnvironment.h"
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

namespace {

constexpr char kLockFolderVariable[] = "CORVALITE_LOCK_FOLDER";
const std::string kHeldName = "\xe6\x97\xa5\xf0\x9f\x93\xa6.partial";
const std::string kGateName = "gate.lock";

std::string ThisProgram() {
#ifdef _WIN32
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return platform::Utf8FromPath(fs::path(std::wstring(path, length)));
#else
    return fs::read_symlink("/proc/self/exe").string();
#endif
}

}  // namespace

// The other process of the test below: it holds the file, says so, and lets go only once the
// test opens the gate.
TEST(PlainFileLock, DISABLED_HolderInAnotherProcess) {
    const char* folder = std::getenv(kLockFolderVariable);
    ASSERT_NE(folder, nullptr);
    const auto held =
        platform::OpenPlainFile(folder + kHeldName, true, platform::PlainFileLock::Try);
    ASSERT_GE(held.fd, 0);
    std::printf("held\n");
    std::fflush(stdout);
    const auto gate =
        platform::OpenPlainFile(folder + kGateName, true, platform::PlainFileLock::Wait);
    EXPECT_GE(gate.fd, 0);
    platform::ClosePlainFile(gate.fd);
    platform::ClosePlainFile(held.fd);
}

TEST(PlainFileLock, AnotherProcessHoldingTheFileKeepsItUntouchedUntilItLetsGo) {
    TempDir dir;
    const std::string held = dir.Write(kHeldName, "the first copy's bytes");
    const auto gate =
        platform::OpenPlainFile(dir.folder() + kGateName, true, platform::PlainFileLock::Try);
    ASSERT_GE(gate.fd, 0);
    ScopedEnvironment environment;
    environment.Set(kLockFolderVariable, dir.folder());
    const std::string command = ThisProgram() +
                                " --gtest_also_run_disabled_tests"
                                " --gtest_filter=PlainFileLock.DISABLED_HolderInAnotherProcess";
    std::FILE* child = popen(command.c_str(), "r");
    ASSERT_NE(child, nullptr);
    // Its first line comes once it holds the file (gtest's own lines come before it).
    char line[512] = {};
    while (std::fgets(line, sizeof line, child) && std::string(line) != "held\n") {
    }
    ASSERT_EQ(std::string(line), "held\n");

    const auto second = platform::OpenPlainFile(held, true, platform::PlainFileLock::Try);
    EXPECT_EQ(second.fd, -1);
    EXPECT_TRUE(second.heldElsewhere);
    EXPECT_FALSE(second.inTheWay);
    if (second.fd >= 0) platform::ClosePlainFile(second.fd);
    // Within one process too, each open is a holder of its own.
    const auto gateAgain =
        platform::OpenPlainFile(dir.folder() + kGateName, false, platform::PlainFileLock::Try);
    EXPECT_TRUE(gateAgain.heldElsewhere);

    platform::ClosePlainFile(gate.fd);  // the child takes the gate, lets go of both and ends
    while (std::fgets(line, sizeof line, child)) {
    }
    EXPECT_EQ(pclose(child), 0);
    const auto after = platform::OpenPlainFile(held, false, platform::PlainFileLock::Try);
    ASSERT_GE(after.fd, 0);
    EXPECT_FALSE(after.heldElsewhere);
    // Its holder renames it into place while still holding it, as a download is delivered.
    std::error_code renamed;
    fs::rename(platform::PathFromUtf8(held), platform::PathFromUtf8(dir.folder() + "done.dll"),
               renamed);
    EXPECT_FALSE(renamed) << renamed.message();
    platform::ClosePlainFile(after.fd);
    EXPECT_EQ(dir.Read("done.dll"), "the first copy's bytes");
}
