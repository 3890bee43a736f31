// "Download" and "Download and install" through the whole program: real HTTP transfers from
// the sample site, real moves into the sample installation, the tree rebuilt afterwards.
#include <gtest/gtest.h>

#include <QTest>
#include <filesystem>

#include "e2e/SampleRun.h"
#include "support/OpenedUrls.h"

namespace {

namespace fs = std::filesystem;
using e2e::FindRow;
using e2e::ReadFile;
using e2e::Shown;
using Strings = std::vector<std::string>;

class Commands : public ::testing::Test {
  protected:
    Commands() = default;
    // A sample world whose machine-wide list pins nothing, and a program whose messages are
    // kept for the test to read.
    explicit Commands(e2e::Pin pin) : world(pin), program(world, e2e::Messages::Keep) {}

    OpenedUrls opened;
    e2e::SampleWorld world;
    e2e::SampleProgram program{world};
    TForm1& form = program.window();
    toolkit::TTreeView& tree = *form.ProjectTree;

    void SetUp() override { program.ShowAndSettle(); }

    // Opens the group with the keyboard and selects the entry with the mouse.
    void SelectEntry(const char* product, const char* group, const char* entry) {
        e2e::ClickRow(tree, FindRow(tree, {product, group}));
        e2e::PressKeyIn(tree, Qt::Key_Right);
        auto* row = FindRow(tree, {product, group, entry});
        ASSERT_NE(row, nullptr) << entry;
        e2e::ClickRow(tree, row);
        ASSERT_EQ(tree.Selected(), row);
    }
    std::string Site(const std::string& relative) const {
        return ReadFile(fs::path(world.site) / "download" / relative);
    }
    fs::path Downloaded(const std::string& name) const {
        return fs::path(world.DownloadFolder()) / name;
    }
    std::string Panel(int panel) const { return form.TBXStatusBar1->Caption(panel).toStdString(); }
};

class UnpinnedCommands : public Commands {
  protected:
    UnpinnedCommands() : Commands(e2e::Pin::Nothing) {}
};

TEST_F(Commands, DownloadSavesTheSetupAndOpensTheDownloadFolder) {
    SelectEntry("Corvalite Editor for PHP", "PHP", "PHP-5.3.29");
    e2e::ClickButton(form.Button2);

    ASSERT_TRUE(fs::exists(Downloaded("setup_php-5.3.29.exe")));
    EXPECT_EQ(ReadFile(Downloaded("setup_php-5.3.29.exe")), Site("php/setup_php-5.3.29.exe"));
    EXPECT_EQ(opened.LocalPaths(), Strings{world.DownloadFolder()});
    // "Download" installs nothing and leaves the tree as it was.
    EXPECT_FALSE(fs::exists(fs::path(demo::EditorFolder(world.install)) / "php" / "PHP-5.3.29"));
    EXPECT_EQ(world.CatalogueFetches(), 1);
}

TEST_F(Commands, DownloadAndInstallMovesAModuleIntoPlaceAndRefreshes) {
    SelectEntry("Corvalite Web Server", "Modules", "mod_headers.dll");
    e2e::ClickButton(form.Button1);

    const fs::path installed =
        fs::path(demo::ServerFolder(world.install)) / "modules" / "mod_headers.dll";
    ASSERT_TRUE(fs::exists(installed));
    EXPECT_EQ(ReadFile(installed), Site("utils/mod_headers.dll"));
    EXPECT_FALSE(fs::exists(Downloaded("mod_headers.dll")));
    EXPECT_TRUE(opened.urls.empty());

    EXPECT_EQ(world.CatalogueFetches(), 2);
    EXPECT_EQ(Shown(FindRow(tree, {"Corvalite Web Server", "Modules", "mod_headers.dll"})),
              (Strings{installed.string(), "2.2.9", "140", "OK"}));
    EXPECT_EQ(FindRow(tree, {"Corvalite Web Server", "Modules"})->ColumnText(3).toStdString(),
              "3 present, 4 available");
    EXPECT_EQ(Panel(1), e2e::SamplePublisherCaption());
}

TEST_F(Commands, DownloadAndInstallPutsADebuggerLibraryIntoBinServer) {
    SelectEntry("Corvalite Editor for PHP", "Debugger", "php_dbg.dll-5.3.29");
    e2e::ClickButton(form.Button1);

    const fs::path installed =
        fs::path(demo::EditorFolder(world.install)) / "bin" / "server" / "php_dbg.dll-5.3.29";
    ASSERT_TRUE(fs::exists(installed));
    EXPECT_EQ(ReadFile(installed), Site("php/php_dbg.dll-5.3.29"));
    EXPECT_FALSE(fs::exists(Downloaded("php_dbg.dll-5.3.29")));

    EXPECT_EQ(Shown(FindRow(tree, {"Corvalite Editor for PHP", "Debugger", "php_dbg.dll-5.3.29"})),
              (Strings{installed.string(), "5.3.29", "0", "OK"}));
    EXPECT_EQ(FindRow(tree, {"Corvalite Editor for PHP", "Debugger"})->ColumnText(3).toStdString(),
              "3 present, 3 available");
    EXPECT_EQ(Panel(1), e2e::SamplePublisherCaption());
}

// The same signed site, but nobody pinned its publisher: the signature holds, and still
// nothing is placed or kept, and the user is told who signed it.
TEST_F(UnpinnedCommands, ASignedButUnpinnedModuleIsRefusedAndRemoved) {
    SelectEntry("Corvalite Web Server", "Modules", "mod_headers.dll");
    e2e::ClickButton(form.Button1);

    EXPECT_EQ(world.server.requestCount("/download/utils/mod_headers.dll"), 1);
    EXPECT_FALSE(
        fs::exists(fs::path(demo::ServerFolder(world.install)) / "modules" / "mod_headers.dll"));
    EXPECT_FALSE(fs::exists(Downloaded("mod_headers.dll")));
    ASSERT_EQ(program.messages().size(), 1u);
    const std::string& message = program.messages().front();
    EXPECT_NE(message.find("mod_headers.dll"), std::string::npos) << message;
    EXPECT_NE(message.find("Zelmarock Sample Site Signing"), std::string::npos) << message;
    EXPECT_NE(Panel(1), e2e::SamplePublisherCaption());
}

}  // namespace
