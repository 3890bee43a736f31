// A newcomer's first run: the program starts on the sample hive with auto update on, fetches
// the sample catalogue over HTTP and fills the tree from the sample installation; the user
// walks the tree with the mouse and the keyboard.
#include <gtest/gtest.h>

#include <QFontInfo>
#include <QStyledItemDelegate>
#include <QTest>
#include <QTreeWidgetItemIterator>
#include <algorithm>
#include <filesystem>

#include "e2e/SampleRun.h"
#include "toolkit/DesignedFont.h"

namespace {

using e2e::FindRow;
using e2e::Shown;
using Strings = std::vector<std::string>;

class FirstRun : public ::testing::Test {
  protected:
    e2e::SampleWorld world;
    e2e::SampleProgram program{world};
    TForm1& form = program.window();
    toolkit::TTreeView& tree = *form.ProjectTree;

    void SetUp() override { program.ShowAndSettle(); }
    std::string Panel(int index) const { return form.TBXStatusBar1->Caption(index).toStdString(); }
};

TEST_F(FirstRun, StartsOnlineAndFetchesTheCatalogueFromTheHiveAddress) {
    EXPECT_EQ(program.catalogueBase(), world.server.baseUrl());
    EXPECT_EQ(Panel(0), "Online");
    Strings fetched;
    for (const auto& target : world.server.requestedTargets())
        if (target.starts_with("/download/")) fetched.push_back(target);
    // Asked in queue order, arriving in any order over overlapping connections.
    Strings expected = demo::CataloguePaths();
    std::sort(fetched.begin(), fetched.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(fetched, expected);
    // The five lists are gone from the program's folder once loaded.
    for (const char* list : {"list.txt", "list_d.txt", "list_v.txt", "list_m.txt", "list_u.txt"})
        EXPECT_FALSE(std::filesystem::exists(world.programFolder + list)) << list;
}

TEST_F(FirstRun, TreeShowsTheSampleInstallationAgainstTheCatalogue) {
    ASSERT_EQ(tree.TopLevelCount(), 2);
    const auto* editor = FindRow(tree, {"Corvalite Editor for PHP"});
    EXPECT_EQ(Shown(editor),
              (Strings{demo::EditorPath(world.install), "3.4.1", "790", "Obsolete"}));
    EXPECT_EQ(editor->ColumnText(4).toStdString(),
              world.server.url("/download/php_editor_php5.exe"));
    EXPECT_EQ(Shown(FindRow(tree, {"Corvalite Editor for PHP", "Debugger listener"})),
              (Strings{demo::ListenerPath(world.install), "2.13.4", "0", "Up to date"}));
    EXPECT_EQ(Shown(FindRow(tree, {"Corvalite Web Server"})),
              (Strings{demo::LauncherPath(world.install), "2.2.9", "140", "Up to date"}));

    const auto summary = [&](std::initializer_list<const char*> path) {
        return FindRow(tree, path)->ColumnText(3).toStdString();
    };
    EXPECT_EQ(summary({"Corvalite Editor for PHP", "PHP"}), "2 present, 3 available");
    EXPECT_EQ(summary({"Corvalite Editor for PHP", "Debugger"}), "2 present, 3 available");
    EXPECT_EQ(summary({"Corvalite Web Server", "Modules"}), "2 present, 4 available");
    EXPECT_EQ(summary({"Corvalite Web Server", "Utils"}), "2 present, 4 available");

    // The lower-case PHP folder counts as present; the missing setup reads "Not found".
    EXPECT_EQ(Shown(FindRow(tree, {"Corvalite Editor for PHP", "PHP", "PHP-4.4.9"}))[3], "Present");
    EXPECT_EQ(Shown(FindRow(tree, {"Corvalite Editor for PHP", "PHP", "PHP-5.3.29"})),
              (Strings{"", "", "", "Not found"}));
    const std::string modules = demo::ServerFolder(world.install) + "/modules/";
    EXPECT_EQ(Shown(FindRow(tree, {"Corvalite Web Server", "Modules", "mod_ssl.dll"})),
              (Strings{modules + "mod_ssl.dll", "2.2.9", "140", "OK"}));
}

// The test's own HOME has no font configuration of the sample run's kind: the program must
// bring the designed font itself, so every text the first view shows, but a location, fits
// its column.
TEST_F(FirstRun, TheDesignedColumnTextsFitTheirColumns) {
    if (std::filesystem::exists(toolkit::kWineTahoma)) {
        EXPECT_EQ(QFontInfo(tree.font()).family(), "Tahoma");
    }
    QStyleOptionViewItem option;
    option.initFrom(tree.viewport());
    option.font = tree.font();
    const int icon = tree.style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, &tree);
    option.decorationSize = tree.iconSize().isValid() ? tree.iconSize() : QSize(icon, icon);
    int checked = 0;
    for (QTreeWidgetItemIterator it(&tree); *it; ++it) {
        for (const int column : {0, 2, 3, 4}) {
            const QModelIndex index = tree.indexFromItem(*it, column);
            if (index.data().toString().isEmpty() || !tree.visualRect(index).isValid()) continue;
            const int needed = tree.itemDelegate()->sizeHint(option, index).width();
            EXPECT_LE(needed, tree.visualRect(index).width())
                << "cut: " << index.data().toString().toStdString();
            ++checked;
        }
    }
    EXPECT_GT(checked, 10);
    // Without Wine's Tahoma: the nearest installed stand-in, never a family that is missing.
    EXPECT_EQ(toolkit::ClosestToTahoma({"No Such Family", "DejaVu Sans"}), "DejaVu Sans");
    EXPECT_EQ(toolkit::ClosestToTahoma({"No Such Family"}), "");
}

TEST_F(FirstRun, TopRowsAreExpandedAndGroupsCollapsed) {
    for (const char* product : {"Corvalite Editor for PHP", "Corvalite Web Server"})
        EXPECT_TRUE(FindRow(tree, {product})->isExpanded()) << product;
    for (const char* group : {"PHP", "Debugger"})
        EXPECT_FALSE(FindRow(tree, {"Corvalite Editor for PHP", group})->isExpanded()) << group;
    for (const char* group : {"Modules", "Utils"})
        EXPECT_FALSE(FindRow(tree, {"Corvalite Web Server", group})->isExpanded()) << group;
}

TEST_F(FirstRun, MouseSelectionFollowsTheRowKind) {
    e2e::ClickRow(tree, FindRow(tree, {"Corvalite Editor for PHP"}));
    EXPECT_EQ(Panel(1), "Setup available");
    EXPECT_EQ(Panel(2), "Need update");
    EXPECT_TRUE(form.Button1->isEnabled());
    EXPECT_TRUE(form.Button2->isEnabled());

    e2e::ClickRow(tree, FindRow(tree, {"Corvalite Editor for PHP", "Debugger listener"}));
    EXPECT_EQ(Panel(1), "File available");
    EXPECT_EQ(Panel(2), "Up to date");

    // A group offers nothing to download.
    e2e::ClickRow(tree, FindRow(tree, {"Corvalite Web Server", "Modules"}));
    EXPECT_EQ(Panel(1), "");
    EXPECT_FALSE(form.Button1->isEnabled());
    EXPECT_FALSE(form.Button2->isEnabled());
}

TEST_F(FirstRun, KeyboardOpensAGroupAndWalksIntoIt) {
    auto* group = FindRow(tree, {"Corvalite Web Server", "Utils"});
    e2e::ClickRow(tree, group);
    e2e::PressKeyIn(tree, Qt::Key_Right);  // opens the group
    EXPECT_TRUE(group->isExpanded());
    e2e::PressKeyIn(tree, Qt::Key_Down);
    ASSERT_NE(tree.Selected(), nullptr);
    EXPECT_EQ(tree.Selected()->Text().toStdString(), "ab.exe");
    EXPECT_EQ(Panel(1), "File available");
    EXPECT_EQ(Panel(2), "Up to date");
    e2e::PressKeyIn(tree, Qt::Key_Down);
    EXPECT_EQ(tree.Selected()->Text().toStdString(), "htdigest.exe");
    EXPECT_EQ(Panel(2), "Need update");
    EXPECT_TRUE(form.Button1->isEnabled());
}

TEST_F(FirstRun, UpdateInfoFetchesAgainAndRebuildsTheSameTree) {
    const int before = world.CatalogueFetches();
    e2e::ClickButton(form.Button3);
    EXPECT_EQ(world.CatalogueFetches(), before + 1);
    ASSERT_EQ(tree.TopLevelCount(), 2);
    EXPECT_EQ(FindRow(tree, {"Corvalite Web Server", "Utils"})->ColumnText(3).toStdString(),
              "2 present, 4 available");
}

}  // namespace
