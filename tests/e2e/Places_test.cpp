// Where the program writes: beside itself when its folder is writable, in the user's cache
// and download folders when it is not; and an empty download folder means the default one.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "e2e/SampleRun.h"
#include "support/OpenedUrls.h"
#include "support/ScopedEnvironment.h"

namespace {

namespace fs = std::filesystem;
using e2e::FindRow;

constexpr const char* kSetup = "setup_php-5.3.29.exe";

// With the download folder emptied (as the options dialog allows), "Download" on a setup row.
void DownloadWithEmptyFolder(TForm1& form) {
    form.DownloadDir.clear();
    toolkit::TTreeView& tree = *form.ProjectTree;
    e2e::ClickRow(tree, FindRow(tree, {"Corvalite Editor for PHP", "PHP"}));
    e2e::PressKeyIn(tree, Qt::Key_Right);
    e2e::ClickRow(tree, FindRow(tree, {"Corvalite Editor for PHP", "PHP", "PHP-5.3.29"}));
    e2e::ClickButton(form.Button2);
}

TEST(Places, AnEmptyDownloadFolderMeansTheDefaultOneBesideTheProgram) {
    OpenedUrls opened;
    e2e::SampleWorld world;
    {
        e2e::SampleProgram program{world};
        program.ShowAndSettle();
        const std::string folder = world.programFolder + "download";
        fs::remove_all(folder);  // made at start-up; made again when missing
        DownloadWithEmptyFolder(program.window());
        ASSERT_TRUE(fs::exists(fs::path(folder) / kSetup));
        EXPECT_TRUE(e2e::ReadFile(fs::path(folder) / kSetup) ==
                    e2e::ReadFile(fs::path(world.site) / "download/php" / kSetup));
        EXPECT_EQ(opened.LocalPaths(), std::vector<std::string>{folder});
        EXPECT_FALSE(fs::exists(fs::path("/") / kSetup));
    }
    // The choice itself is kept as it was.
    const std::string hive = e2e::ReadFile(world.hiveFile);
    EXPECT_NE(hive.find("\"DownloadDir\"=\"\""), std::string::npos) << hive;
}

TEST(Places, AReadOnlyProgramFolderUsesTheUsersCacheAndDownloadFolders) {
    OpenedUrls opened;
    e2e::SampleWorld world;
    ScopedEnvironment environment;
    environment.Set("XDG_CACHE_HOME", world.dir.path() + "/cache");
    const std::string lists = world.dir.path() + "/cache/corvalite-update/";
    const std::string downloads = world.dir.path() + "/Transfers";
    world.dir.Write("config/user-dirs.dirs", "XDG_DOWNLOAD_DIR=\"" + downloads + "\"\n");
    world.dir.Write("cache/corvalite-update/list.txt", "stale\n");
    fs::permissions(world.programFolder,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    // Root writes where the mode bits forbid it; below a plain file nobody can write.
    if (::geteuid() == 0) world.programFolder = world.dir.Write("plain", "") + "/program/";

    e2e::SampleProgram program{world};
    program.ShowAndSettle();
    TForm1& form = program.window();
    EXPECT_EQ(world.CatalogueFetches(), 1);
    EXPECT_EQ(form.ProjectTree->TopLevelCount(), 2);
    EXPECT_EQ(FindRow(*form.ProjectTree, {"Corvalite Web Server"})->ColumnText(3), "Up to date");
    EXPECT_EQ(testsupport::Entries(lists), std::vector<std::string>{});  // stale one cleared too
    EXPECT_EQ(testsupport::Entries(world.dir.path() + "/program"), std::vector<std::string>{});

    DownloadWithEmptyFolder(form);
    EXPECT_TRUE(fs::exists(fs::path(downloads) / "Corvalite" / kSetup));
    EXPECT_EQ(opened.LocalPaths(), std::vector<std::string>{downloads + "/Corvalite"});
}

}  // namespace
