// Naming the programs that hold a file: another process of ours holding one file open and
// another one mapped (as a running program maps its libraries) is found by its program name,
// and is no longer named once it has ended.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <QTest>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/FileHolders.h"
#include "support/ChildRole.h"
#include "support/TempDir.h"

namespace {

constexpr char kFolderVariable[] = "CORVALITE_HOLDER_FOLDER";
const std::string kOpened = "opened \xe6\xa8\xa1\xe5\x9d\x97.dll";
const std::string kMapped = "mapped \xf0\x9f\x93\xa6.dll";

}  // namespace

CORVALITE_CHILD_ROLE(HoldFilesUntilKilled) {
    const std::string folder = std::getenv(kFolderVariable);
    const int opened = ::open((folder + kOpened).c_str(), O_RDONLY);
    const int mappedFd = ::open((folder + kMapped).c_str(), O_RDONLY);
    void* const mapped = ::mmap(nullptr, 4, PROT_READ, MAP_PRIVATE, mappedFd, 0);
    ::close(mappedFd);  // only the mapping holds it now
    if (opened < 0 || mapped == MAP_FAILED) std::exit(1);
    std::ofstream(folder + "ready") << "ready";
    for (;;) ::pause();
}

TEST(FileHoldersTest, AProcessHoldingAFileIsNamedUntilItEnds) {
    TempDir dir;
    for (const std::string& name : {kOpened, kMapped, std::string("idle.dll")})
        dir.Write(name, "MZ and some bytes");
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").filename().string();

    auto child = testsupport::StartChildRole("HoldFilesUntilKilled",
                                             {std::string(kFolderVariable) + "=" + dir.folder()});
    ASSERT_TRUE(child);
    QTRY_VERIFY_WITH_TIMEOUT(dir.Exists("ready"), 20000);
    EXPECT_EQ(platform::ProgramsHolding(dir.folder() + kOpened), std::vector<std::string>{self});
    EXPECT_EQ(platform::ProgramsHolding(dir.folder() + kMapped), std::vector<std::string>{self});
    EXPECT_TRUE(platform::ProgramsHolding(dir.folder() + "idle.dll").empty());
    EXPECT_TRUE(platform::ProgramsHolding(dir.folder() + "missing.dll").empty());

    child->Stop(SIGKILL);
    EXPECT_TRUE(platform::ProgramsHolding(dir.folder() + kOpened).empty());
    EXPECT_EQ(platform::ListOfNames({"httpd", "a scanner", "php-cgi"}),
              "httpd, a scanner and php-cgi");
}
