#include <gtest/gtest.h>

#include <QAccessible>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "core/Errors.h"
#include "gui/MessDlgs.h"
#include "support/MainWindowHarness.h"
#include "support/PeWriter.h"
#include "toolkit/Application.h"

namespace {

using toolkit::TTreeNode;
namespace fs = std::filesystem;

const std::string kShellFolders =
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

struct Row {
    QString text;
    int tag;
    int mark;
    QStringList columns;
};

PeOptions Version(PeVersion version) {
    PeOptions options;
    options.fileVersion = version;
    return options;
}

void WritePe(const std::string& path, const PeOptions& options) {
    fs::create_directories(fs::path(path).parent_path());
    WritePeFile(path, options);
}

Row Describe(const TTreeNode* node) {
    return {node->Text(), node->Tag(), node->ImageIndex(), node->ColumnTexts()};
}

void ExpectRow(const TTreeNode* node, const Row& expected) {
    ASSERT_NE(node, nullptr);
    const Row actual = Describe(node);
    EXPECT_EQ(actual.text, expected.text);
    EXPECT_EQ(actual.tag, expected.tag) << expected.text.toStdString();
    EXPECT_EQ(actual.mark, expected.mark) << expected.text.toStdString();
    EXPECT_EQ(actual.columns, expected.columns) << expected.text.toStdString();
}

// A sample installation: editor with listener, PHP folders, debugger libraries, a web server
// with modules and utilities.
struct ComponentTree : ::testing::Test {
    MainWindowHarness h;
    std::vector<std::string> errors;
    toolkit::ScopedErrorPresenter presenter{[this](const std::string& e) { errors.push_back(e); }};
    std::string editor, appData, serverFolder;
    const QString base = "http://files.test";

    void SetUp() override {
        editor = h.dir.path() + "/editor/phped.exe";
        appData = h.dir.path() + "/appdata/";
        serverFolder = appData + "Zelmarock";
        h.SetString(kShellFolders, "AppData", appData);
    }
    void InstallEditor(PeVersion version = {3, 1, 0, 245}) {
        WritePe(editor, Version(version));
        h.SetString("\\Software\\Zelmarock\\modules", "PHP", editor);
    }
    void InstallListener(PeVersion version) {
        WritePe(h.dir.path() + "/editor/DbgListener.exe", Version(version));
    }
    void InstallServer(PeVersion version = {2, 0, 0, 0}) {
        WritePe(serverFolder + "/corvalitesrv.exe", Version(version));
    }
    TForm1& Refresh() {
        TForm1& f = h.form ? *h.form : h.CreateAndShow();
        f.RefreshComponentTree();
        return f;
    }
    TTreeNode* Top(int i) { return h.form->ProjectTree->TopLevel(i); }
};

}  // namespace

TEST_F(ComponentTree, AFullSampleShowsEveryRowWithItsHiddenProperties) {
    InstallEditor({3, 1, 0, 245});
    InstallListener({2, 13, 0, 0});
    fs::create_directories(h.dir.path() + "/editor/php/php-5.2.1");
    h.dir.Write("editor/bin/server/php_dbg.dll-5.2.1", "library");
    InstallServer({2, 0, 0, 0});
    WritePe(serverFolder + "/modules/mod_auth.dll", Version({1, 2, 3, 4}));
    WritePe(serverFolder + "/modules/utils/tool.exe", Version({2, 0, 0, 1}));
    h.ServeCatalogue("setup_php-5.2.1.exe\nsetup_php-4.4.4.exe\nphpsetup.exe\n",
                     "php_dbg.dll-5.2.1\nphp_dbg.dll-4.4.4\n", "3.1.0.245\n2.0.0.0\n",
                     "mod_auth.dll\nmod_zip.dll\n", "tool.exe\nother.exe\n");
    TForm1& f = Refresh();
    ASSERT_TRUE(errors.empty()) << errors.front();
    ASSERT_EQ(f.ProjectTree->TopLevelCount(), 2);
    const QString e = QString::fromStdString(editor);
    const QString ed = QString::fromStdString(h.dir.path() + "/editor");
    const QString sf = QString::fromStdString(serverFolder);

    TTreeNode* ed1 = Top(0);
    ExpectRow(ed1, {"Corvalite Editor for PHP",
                    2,
                    0,
                    {e, "3.1.0", "245", "Up to date", base + "/download/php_editor_php5.exe"}});
    ASSERT_EQ(ed1->ChildCount(), 3);
    ExpectRow(ed1->Child(0), {"Debugger listener",
                              1,
                              0,
                              {ed + "/DbgListener.exe", "2.13.0", "0", "Up to date",
                               base + "/download/DbgListener.exe"}});
    TTreeNode* php = ed1->Child(1);
    ExpectRow(php, {"PHP", 0, -1, {"", "", "", "1 present, 3 available"}});
    ASSERT_EQ(php->ChildCount(), 3);
    ExpectRow(php->Child(0),
              {"PHPSETUP", 2, 1, {"", "", "", "Not found", base + "/download/php/phpsetup.exe"}});
    ExpectRow(
        php->Child(1),
        {"PHP-4.4.4", 2, 1, {"", "", "", "Not found", base + "/download/php/setup_php-4.4.4.exe"}});
    ExpectRow(php->Child(2), {"PHP-5.2.1",
                              2,
                              0,
                              {ed + "/php/php-5.2.1", "", "0", "Present",
                               base + "/download/php/setup_php-5.2.1.exe"}});
    TTreeNode* dbg = ed1->Child(2);
    EXPECT_EQ(dbg->ColumnText(3), "1 present, 2 available");
    ExpectRow(dbg->Child(0), {"php_dbg.dll-4.4.4",
                              1,
                              1,
                              {"", "", "", "Not found", base + "/download/php/php_dbg.dll-4.4.4"}});
    ExpectRow(dbg->Child(1), {"php_dbg.dll-5.2.1",
                              1,
                              0,
                              {ed + "/bin/server/php_dbg.dll-5.2.1", "5.2.1", "0", "OK",
                               base + "/download/php/php_dbg.dll-5.2.1"}});

    TTreeNode* srv = Top(1);
    ExpectRow(srv, {"Corvalite Web Server",
                    2,
                    0,
                    {sf + "/corvalitesrv.exe", "2.0.0", "0", "Up to date",
                     base + "/download/websrv.exe"}});
    ASSERT_EQ(srv->ChildCount(), 2);
    TTreeNode* mods = srv->Child(0);
    EXPECT_EQ(mods->Text(), "Modules");
    EXPECT_EQ(mods->ColumnText(3), "1 present, 2 available");
    ExpectRow(mods->Child(0), {"mod_auth.dll",
                               1,
                               0,
                               {sf + "/modules/mod_auth.dll", "1.2.3", "4", "OK",
                                base + "/download/utils/mod_auth.dll"}});
    ExpectRow(
        mods->Child(1),
        {"mod_zip.dll", 1, 1, {"", "", "", "Not found", base + "/download/utils/mod_zip.dll"}});
    TTreeNode* utils = srv->Child(1);
    EXPECT_EQ(utils->Text(), "Utils");
    EXPECT_EQ(utils->ColumnText(3), "1 present, 2 available");
    ExpectRow(utils->Child(1), {"tool.exe",
                                1,
                                0,
                                {sf + "/modules/utils/tool.exe", "2.0.0", "1", "OK",
                                 base + "/download/utils/tool.exe"}});

    // Top rows expanded one level, groups collapsed.
    EXPECT_TRUE(ed1->isExpanded());
    EXPECT_TRUE(srv->isExpanded());
    EXPECT_FALSE(php->isExpanded());
    EXPECT_FALSE(mods->isExpanded());
    EXPECT_EQ(f.EditorPath, editor);
    EXPECT_EQ(f.ServerPath, serverFolder + "/corvalitesrv.exe");
    EXPECT_TRUE(f.EditorFound);
    EXPECT_TRUE(f.ProjectTree->updatesEnabled());
}

TEST_F(ComponentTree, WithoutTheEditorEveryEntryIsMissingAndNoListenerIsShown) {
    h.ServeCatalogue("setup_php-5.2.1.exe\n", "php_dbg.dll-5.2.1\n", "1.0.0.0\n1.0.0.0\n",
                     "m.dll\n", "");
    TForm1& f = Refresh();
    TTreeNode* ed = Top(0);
    ExpectRow(ed, {"Corvalite Editor for PHP",
                   2,
                   1,
                   {"", "", "", "Not found", base + "/download/php_editor_php5.exe"}});
    ASSERT_EQ(ed->ChildCount(), 2);
    EXPECT_EQ(ed->Child(0)->Text(), "PHP");
    EXPECT_EQ(ed->Child(0)->ColumnText(3), "0 present, 1 available");
    EXPECT_EQ(ed->Child(1)->ColumnText(3), "0 present, 1 available");
    EXPECT_EQ(ed->Child(1)->Child(0)->ColumnText(3), "Not found");
    // The web server launcher is absent too: no groups.
    ExpectRow(
        Top(1),
        {"Corvalite Web Server", 2, 1, {"", "", "", "Not found", base + "/download/websrv.exe"}});
    EXPECT_EQ(Top(1)->ChildCount(), 0);
    EXPECT_FALSE(f.EditorFound);
    EXPECT_EQ(f.EditorPath, "");
    EXPECT_EQ(f.ServerPath, "");
}

TEST_F(ComponentTree, AnEditorPathToADeletedFileCountsAsNotFound) {
    h.SetString("\\Software\\Zelmarock\\modules", "PHP", h.dir.path() + "/gone.exe");
    h.ServeCatalogue("", "", "", "", "");
    Refresh();
    EXPECT_EQ(Top(0)->ColumnText(3), "Not found");
}

TEST_F(ComponentTree, AMissingListenerIsNotFoundWithItsLink) {
    InstallEditor();
    h.ServeCatalogue("", "", "", "", "");
    Refresh();
    ExpectRow(
        Top(0)->Child(0),
        {"Debugger listener", 1, 1, {"", "", "", "Not found", base + "/download/DbgListener.exe"}});
}

TEST_F(ComponentTree, TheListenerIsCurrentFromVersionTwoThirteenOn) {
    InstallEditor();
    h.ServeCatalogue("", "", "", "", "");
    for (auto [version, current] :
         std::vector<std::pair<PeVersion, bool>>{{{2, 13, 0, 0}, true},
                                                 {{2, 12, 9, 9}, false},
                                                 {{3, 0, 0, 0}, true},
                                                 {{1, 20, 0, 0}, false}}) {
        InstallListener(version);
        Refresh();
        EXPECT_EQ(Top(0)->Child(0)->ColumnText(3), current ? "Up to date" : "Obsolete")
            << version.major << "." << version.minor;
        EXPECT_EQ(Top(0)->Child(0)->ImageIndex(), current ? 0 : 1);
    }
}

TEST_F(ComponentTree, VersionsAreComparedInOrder) {
    InstallEditor({2, 0, 0, 0});
    InstallServer({1, 0, 0, 0});
    h.ServeCatalogue("", "", "1.5.0.0\n1.0.0.1\n", "", "");
    Refresh();
    EXPECT_EQ(Top(0)->ColumnText(3), "Up to date");  // installed newer than the catalogue
    EXPECT_EQ(Top(1)->ColumnText(3), "Obsolete");
    EXPECT_EQ(Top(1)->ImageIndex(), 1);
}

TEST_F(ComponentTree, AnEmptyRemoteVersionLeavesTheEditorUpToDate) {
    InstallEditor();
    h.ServeCatalogue("", "", "only one line\n", "", "");
    Refresh();
    EXPECT_EQ(Top(0)->ColumnText(3), "Up to date");
}

TEST_F(ComponentTree, FilesFoundUnderAnotherLetterCaseAreReadUnderTheirOwnName) {
    InstallEditor();
    h.dir.Write("editor/bin/server/PHP_DBG.DLL-5.2.1", "library");
    InstallServer();
    WritePe(serverFolder + "/modules/MOD_A.DLL", Version({1, 2, 3, 4}));
    WritePe(serverFolder + "/modules/mod_b.dll", Version({5, 6, 7, 8}));
    h.ServeCatalogue("", "php_dbg.dll-5.2.1\n", "", "mod_a.dll\nmod_b.dll\n", "");
    Refresh();
    const QString sf = QString::fromStdString(serverFolder);
    TTreeNode* mods = Top(1)->Child(0);
    EXPECT_EQ(mods->Child(0)->ColumnTexts().mid(0, 4),
              QStringList({sf + "/modules/MOD_A.DLL", "1.2.3", "4", "OK"}));
    EXPECT_EQ(mods->Child(1)->ColumnTexts().mid(0, 4),
              QStringList({sf + "/modules/mod_b.dll", "5.6.7", "8", "OK"}));
    EXPECT_EQ(Top(0)->Child(2)->Child(0)->ColumnText(0),
              QString::fromStdString(h.dir.path() + "/editor/bin/server/PHP_DBG.DLL-5.2.1"));
}

TEST_F(ComponentTree, RepeatedEntriesGiveOneRowAndRefreshReplacesTheTree) {
    h.ServeCatalogue("setup_php-5.exe\nSETUP_PHP-5.EXE\n", "", "", "", "");
    TForm1& f = Refresh();
    EXPECT_EQ(Top(0)->Child(0)->ChildCount(), 1);
    f.RefreshComponentTree();
    EXPECT_EQ(f.ProjectTree->TopLevelCount(), 2);
}

TEST_F(ComponentTree, SelectionDrivesTheButtonsAndPanels) {
    InstallEditor();
    h.ServeCatalogue("setup_php-5.exe\n", "php_dbg.dll-5\n", "3.1.0.245\n1\n", "", "");
    TForm1& f = Refresh();
    auto click = [&](TTreeNode* node) {
        const QRect r = f.ProjectTree->visualItemRect(node);
        QTest::mouseClick(f.ProjectTree->viewport(), Qt::LeftButton, {}, r.center());
    };
    // The editor, found and current.
    click(Top(0));
    EXPECT_TRUE(f.Button1->isEnabled());
    EXPECT_TRUE(f.Button2->isEnabled());
    EXPECT_EQ(f.TBXStatusBar1->Caption(1), "Setup available");
    EXPECT_EQ(f.TBXStatusBar1->Caption(2), "Up to date");
    // A group row offers nothing.
    TTreeNode* php = Top(0)->Child(1);
    click(php);
    EXPECT_FALSE(f.Button1->isEnabled());
    EXPECT_FALSE(f.Button2->isEnabled());
    EXPECT_EQ(f.TBXStatusBar1->Caption(1), "");
    EXPECT_EQ(f.TBXStatusBar1->Caption(2), "");
    // Keyboard: down from the group row's expanded child.
    php->setExpanded(true);
    f.ProjectTree->setFocus();
    QTest::keyClick(f.ProjectTree, Qt::Key_Down);
    ASSERT_EQ(f.ProjectTree->Selected(), php->Child(0));
    EXPECT_EQ(f.TBXStatusBar1->Caption(1), "Setup available");
    EXPECT_EQ(f.TBXStatusBar1->Caption(2), "Need update");
    EXPECT_TRUE(f.Button2->isEnabled());
    // A row whose mark is neither 0 nor 1 reads as up to date.
    php->Child(0)->SetImageIndex(7);
    f.ProjectTreeClick();
    EXPECT_EQ(f.TBXStatusBar1->Caption(2), "Up to date");
    // A rebuild leaves nothing selected and the commands disabled.
    f.RefreshComponentTree();
    EXPECT_EQ(f.ProjectTree->Selected(), nullptr);
    EXPECT_FALSE(f.Button1->isEnabled());
    EXPECT_FALSE(f.Button2->isEnabled());
    EXPECT_EQ(f.TBXStatusBar1->Caption(1), "");
    EXPECT_EQ(f.TBXStatusBar1->Caption(0), "Online");  // panel 0 untouched
}

TEST_F(ComponentTree, TheStatusBarReadsAsAStatusBarWithOneChildPerPanel) {
    InstallEditor();
    h.ServeCatalogue("setup_php-5.exe\n", "", "3.1.0.245\n1\n", "", "");
    TForm1& f = Refresh();
    QAccessibleInterface* const bar = QAccessible::queryAccessibleInterface(f.TBXStatusBar1);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->role(), QAccessible::StatusBar);
    ASSERT_EQ(bar->childCount(), 1) << "only \"Online\" says something yet";
    EXPECT_EQ(bar->child(0)->text(QAccessible::Name), "Online");
    EXPECT_EQ(bar->child(0)->parent(), bar);

    f.ProjectTree->setCurrentItem(Top(0));

    ASSERT_EQ(bar->childCount(), 3);
    QStringList names;
    for (int i = 0; i < bar->childCount(); ++i) {
        EXPECT_EQ(bar->indexOfChild(bar->child(i)), i);
        EXPECT_EQ(bar->child(i)->role(), QAccessible::StaticText);
        names << bar->child(i)->text(QAccessible::Name);
    }
    EXPECT_EQ(names, (QStringList{"Online", "Setup available", "Up to date"}));
    EXPECT_EQ(bar->child(1)->rect().width(), 250);
}

TEST_F(ComponentTree, ReadingPastAGroupRowsColumnsRaisesTheListIndexError) {
    h.ServeCatalogue("", "", "", "", "");
    Refresh();
    TTreeNode* php = Top(0)->Child(0);
    try {
        (void)php->ColumnText(4);
        FAIL() << "no error";
    } catch (const core::EListError& error) {
        EXPECT_STREQ(error.what(), "Der Index der Liste überschreitet das Maximum (4)");
    }
}
