#include "platform/FileMove.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "support/TempDir.h"
#include "support/WithoutRoot.h"

namespace fs = std::filesystem;
using platform::TransferError;
using platform::TransferFile;
using platform::TransferMode;

namespace {

// A folder on a tmpfs, so a move from it crosses file systems.
class ShmDir {
  public:
    ShmDir() {
        std::string pattern = "/dev/shm/corvalite-move-XXXXXX";
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    ~ShmDir() {
        std::error_code ignored;
        if (!path_.empty()) fs::remove_all(path_, ignored);
    }
    ShmDir(const ShmDir&) = delete;
    ShmDir& operator=(const ShmDir&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

bool SameDevice(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev;
}

using testsupport::Entries;

void MakeReadOnly(const std::string& path) {
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
}

const char* const kAwkwardName = "-mod_ it's \"odd\" & ; $(rm x) \xc3\xa9t\xc3\xa9.dll";

}  // namespace

TEST(FileMove, RenamesWithinOneFileSystemKeepingTheFullName) {
    TempDir dir;
    const std::string source = dir.Write(std::string("download/") + kAwkwardName, "new");
    fs::create_directory(dir.path() + "/modules");
    const auto result = TransferFile(source, dir.path() + "/modules", TransferMode::Move, false);
    ASSERT_TRUE(result.ok()) << result.detail;
    EXPECT_EQ(dir.Read(std::string("modules/") + kAwkwardName), "new");
    EXPECT_FALSE(fs::exists(source));
}

TEST(FileMove, CopyKeepsTheSourceAndItsPermissions) {
    TempDir dir;
    const std::string source = dir.Write("download/tool.exe", "binary");
    fs::permissions(source, fs::perms::owner_all | fs::perms::group_read);
    fs::create_directory(dir.path() + "/utils");
    ASSERT_TRUE(TransferFile(source, dir.path() + "/utils/", TransferMode::Copy, false).ok());
    EXPECT_EQ(dir.Read("download/tool.exe"), "binary");
    EXPECT_EQ(dir.Read("utils/tool.exe"), "binary");
    EXPECT_EQ(fs::status(dir.path() + "/utils/tool.exe").permissions(),
              fs::perms::owner_all | fs::perms::group_read);
    EXPECT_EQ(Entries(dir.path() + "/utils"), std::vector<std::string>{"tool.exe"});
}

TEST(FileMove, ExistingTargetIsReplacedOnlyWhenAllowed) {
    TempDir dir;
    const std::string source = dir.Write("download/a.dll", "new");
    dir.Write("modules/a.dll", "old");
    const std::string folder = dir.path() + "/modules";
    EXPECT_TRUE(platform::TransferTargetExists(source, folder));

    EXPECT_EQ(TransferFile(source, folder, TransferMode::Move, false).error,
              TransferError::TargetExists);
    EXPECT_EQ(dir.Read("download/a.dll"), "new");
    EXPECT_EQ(dir.Read("modules/a.dll"), "old");

    ASSERT_TRUE(TransferFile(source, folder, TransferMode::Move, true).ok());
    EXPECT_EQ(dir.Read("modules/a.dll"), "new");
    EXPECT_FALSE(dir.Exists("download/a.dll"));
}

TEST(FileMove, AFileDifferingOnlyInLetterCaseIsTheOneReplaced) {
    TempDir dir;
    const std::string source = dir.Write("download/mod_a.dll", "new");
    dir.Write("modules/MOD_A.DLL", "old");
    const std::string folder = dir.path() + "/modules";
    EXPECT_EQ(platform::TransferTarget(source, folder), folder + "/MOD_A.DLL");
    EXPECT_TRUE(platform::TransferTargetExists(source, folder));
    EXPECT_EQ(TransferFile(source, folder, TransferMode::Move, false).error,
              TransferError::TargetExists);

    ASSERT_TRUE(TransferFile(source, folder, TransferMode::Move, true).ok());
    EXPECT_EQ(Entries(folder), std::vector<std::string>{"MOD_A.DLL"});  // no second copy
    EXPECT_EQ(dir.Read("modules/MOD_A.DLL"), "new");

    // Where the exact name is there too, that one is meant.
    dir.Write("modules/mod_a.dll", "exact");
    EXPECT_EQ(platform::TransferTarget(source, folder), folder + "/mod_a.dll");
}

TEST(FileMove, ReadOnlyTargetFileIsNeverReplaced) {
    TempDir dir;
    const std::string source = dir.Write("download/a.dll", "new");
    const std::string old = dir.Write("modules/a.dll", "old");
    MakeReadOnly(old);
    for (const auto mode : {TransferMode::Move, TransferMode::Copy}) {
        EXPECT_EQ(TransferFile(source, dir.path() + "/modules", mode, true).error,
                  TransferError::TargetReadOnly);
        EXPECT_EQ(dir.Read("download/a.dll"), "new");
        EXPECT_EQ(dir.Read("modules/a.dll"), "old");
    }
}

TEST(FileMove, FailuresNameTheirCauseAndLoseNothing) {
    TempDir dir;
    const std::string source = dir.Write("download/a.dll", "new");
    const std::string modules = dir.path() + "/modules";
    fs::create_directory(modules);

    EXPECT_EQ(
        TransferFile(dir.path() + "/download/gone.dll", modules, TransferMode::Move, true).error,
        TransferError::SourceMissing);
    EXPECT_EQ(TransferFile(source, dir.path() + "/missing", TransferMode::Move, true).error,
              TransferError::TargetFolderMissing);
    EXPECT_EQ(TransferFile(source, "", TransferMode::Move, true).error,
              TransferError::TargetFolderMissing);
    EXPECT_EQ(TransferFile(source, source, TransferMode::Move, true).error,
              TransferError::TargetFolderMissing);  // a file is no folder
    EXPECT_EQ(TransferFile(dir.path() + "/download", modules, TransferMode::Move, true).error,
              TransferError::SourceNotFile);
    EXPECT_EQ(TransferFile(source, dir.path() + "/download", TransferMode::Move, true).error,
              TransferError::SameFile);
    fs::create_directory(modules + "/a.dll");
    EXPECT_EQ(TransferFile(source, modules, TransferMode::Move, true).error,
              TransferError::TargetNotFile);

    EXPECT_EQ(dir.Read("download/a.dll"), "new");
    EXPECT_TRUE(fs::is_directory(modules + "/a.dll"));
}

// Root writes into read-only folders anyway, so as root the check runs in a child that has
// given up its privileges.
TEST(FileMove, ReadOnlyFoldersAreReported) {
    TempDir dir;
    const std::string source = dir.Write("download/a.dll", "new");
    const std::string locked = dir.Write("locked/b.dll", "b");
    const std::string modules = dir.path() + "/modules";
    const std::string open = dir.path() + "/open";
    fs::create_directory(modules);
    fs::create_directory(open);
    const auto readOnly = fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                          fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec;
    for (const auto& path : {dir.path(), dir.path() + "/download", open, source, locked})
        fs::permissions(path, fs::perms::all);
    fs::permissions(modules, readOnly);
    fs::permissions(dir.path() + "/locked", readOnly);
    const auto check = [&]() noexcept {
        return TransferFile(source, modules, TransferMode::Move, true).error ==
                   TransferError::TargetFolderNotWritable &&
               TransferFile(locked, open, TransferMode::Move, true).error ==
                   TransferError::SourceFolderNotWritable;
    };
    const CheckOutcome outcome = CheckWithoutRoot(check);
    if (outcome == CheckOutcome::Skipped) GTEST_SKIP() << "cannot give up root here";
    EXPECT_EQ(outcome, CheckOutcome::Passed);
    EXPECT_EQ(dir.Read("download/a.dll"), "new");
    EXPECT_EQ(dir.Read("locked/b.dll"), "b");
    EXPECT_TRUE(fs::is_empty(modules));
    EXPECT_TRUE(fs::is_empty(open));
}

class CrossDevice : public ::testing::Test {
  protected:
    void SetUp() override {
        if (shm.path().empty() || SameDevice(shm.path(), dir.path()))
            GTEST_SKIP() << "no second file system (/dev/shm) to move across";
    }
    std::string Source(const std::string& name, const std::string& content) {
        const std::string path = shm.path() + "/" + name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    ShmDir shm;
    TempDir dir;
};

TEST_F(CrossDevice, MoveCopiesThenRemovesTheSourceLeavingNoTemporaryFile) {
    const std::string content(300000, 'x');  // several copy rounds
    const std::string source = Source(kAwkwardName, content);
    chmod(source.c_str(), 0750);
    fs::create_directory(dir.path() + "/modules");
    const auto result = TransferFile(source, dir.path() + "/modules", TransferMode::Move, false);
    ASSERT_TRUE(result.ok()) << result.detail;
    EXPECT_FALSE(fs::exists(source));
    EXPECT_EQ(dir.Read(std::string("modules/") + kAwkwardName), content);
    EXPECT_EQ(Entries(dir.path() + "/modules"), std::vector<std::string>{kAwkwardName});
    struct stat st {};
    stat((dir.path() + "/modules/" + kAwkwardName).c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0750u);
}

TEST_F(CrossDevice, RefusedReplacementKeepsBothFilesAndLeavesNoTemporaryFile) {
    const std::string source = Source("a.dll", "new");
    const std::string old = dir.Write("modules/a.dll", "old");
    EXPECT_EQ(TransferFile(source, dir.path() + "/modules", TransferMode::Move, false).error,
              TransferError::TargetExists);
    MakeReadOnly(old);
    EXPECT_EQ(TransferFile(source, dir.path() + "/modules", TransferMode::Move, true).error,
              TransferError::TargetReadOnly);
    EXPECT_EQ(dir.Read("modules/a.dll"), "old");
    EXPECT_TRUE(fs::exists(source));
    EXPECT_EQ(Entries(dir.path() + "/modules"), std::vector<std::string>{"a.dll"});

    fs::permissions(old, fs::perms::owner_write, fs::perm_options::add);
    ASSERT_TRUE(TransferFile(source, dir.path() + "/modules", TransferMode::Move, true).ok());
    EXPECT_EQ(dir.Read("modules/a.dll"), "new");
    EXPECT_FALSE(fs::exists(source));
}

TEST(FileMove, TargetPathJoinsWithOneDelimiter) {
    EXPECT_EQ(platform::TransferTarget("/d/x/a b.dll", "/m"), "/m/a b.dll");
    EXPECT_EQ(platform::TransferTarget("/d/x/a b.dll", "/m/"), "/m/a b.dll");
    EXPECT_EQ(platform::TransferTarget("plain.dll", "/"), "/plain.dll");
}

// A full disk, made real: a tiny tmpfs mounted in a private mount namespace of a child
// process, so nothing outside the child ever sees it. Skipped where that is not allowed.
TEST(FileMove, FullDiskIsReportedAndLeavesNoPartialFile) {
    TempDir dir;
    const std::string source = dir.Write("download/big.dll", std::string(512 * 1024, 'x'));
    const std::string small = dir.path() + "/small";
    fs::create_directory(small);
    enum : int { kPassed = 0, kSkipped = 77, kFailed = 1 };
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0)
            _exit(kSkipped);
        // Never back into the test runner from here: an escaping error ends the child.
        const auto check = [&]() noexcept {
            const auto result = TransferFile(source, small, TransferMode::Move, false);
            return result.error == TransferError::DiskFull && fs::is_empty(small) &&
                   fs::file_size(source) == 512 * 1024;
        };
        _exit(check() ? kPassed : kFailed);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == kSkipped) GTEST_SKIP() << "cannot mount a small file system here";
    EXPECT_EQ(WEXITSTATUS(status), kPassed);
    EXPECT_EQ(dir.Read("download/big.dll").size(), 512u * 1024u);
}
