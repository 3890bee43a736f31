#include <gtest/gtest.h>

#include <QAccessible>
#include <QHeaderView>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidgetItemIterator>
#include <csignal>
#include <filesystem>

#include "core/srunner.h"
#include "gui/MessDlgs.h"
#include "support/MainWindowHarness.h"
#include "toolkit/Application.h"

namespace {

const std::string kUpdateKey = "\\Software\\Zelmarock\\Update";
const std::string kShellFolders =
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

struct MainWindow : ::testing::Test {
    MainWindowHarness h;
    std::vector<std::string> errors;
    toolkit::ScopedErrorPresenter presenter{[this](const std::string& e) { errors.push_back(e); }};
    std::vector<MessageDialogRequest> dialogs;
    ScopedMessageDialogHook hook{[this](const MessageDialogRequest& r) {
        dialogs.push_back(r);
        return ModalResult::OK;
    }};
};

QRect Geometry(QWidget* w) {
    return w->geometry();
}

// What the tree's columns take together; a fit moves room between them, never adds any.
int ColumnsTotal(const toolkit::TTreeView& tree) {
    int sum = 0;
    for (int column = 0; column < tree.columnCount(); ++column) sum += tree.columnWidth(column);
    return sum;
}

}  // namespace

TEST_F(MainWindow, ControlsAreLaidOutAsDesigned) {
    TForm1& f = h.Create();
    EXPECT_EQ(f.windowTitle(), "Corvalite Product Update Assistant");
    EXPECT_EQ(f.size(), QSize(792, 567));
    EXPECT_EQ(f.font().pixelSize(), 13);
    EXPECT_EQ(f.font().family(), "Tahoma");
    struct Expect {
        QPushButton* button;
        QRect rect;
        const char* caption;
        const char* hint;
        bool enabled;
    };
    for (const auto& e :
         {Expect{f.Button3, {12, 12, 125, 27}, "Update info", "Receive modules information", true},
          Expect{f.Button2, {140, 12, 125, 27}, "Download", "Download selected module", false},
          Expect{f.Button1,
                 {268, 12, 161, 27},
                 "Download and install",
                 "Download and install selected module",
                 false},
          Expect{f.Button4, {432, 12, 93, 27}, "Options", "", true}}) {
        EXPECT_EQ(Geometry(e.button), e.rect) << e.caption;
        EXPECT_EQ(e.button->text(), e.caption);
        EXPECT_EQ(e.button->toolTip(), e.hint);
        EXPECT_EQ(e.button->isEnabled(), e.enabled) << e.caption;
        EXPECT_EQ(e.button->accessibleName(), e.caption);
    }
    EXPECT_EQ(Geometry(f.ProjectTree), QRect(16, 48, 765, 483));
    EXPECT_EQ(Geometry(f.TBXStatusBar1), QRect(0, 544, 792, 23));
    EXPECT_EQ(f.findChild<QPushButton*>("Button3"), f.Button3);
    EXPECT_EQ(f.findChild<QWidget*>("ProjectTree"), f.ProjectTree);

    ASSERT_EQ(f.ProjectTree->columnCount(), 5);
    const QStringList captions{"Component", "Location", "Version", "Build", "State"};
    const int widths[] = {164, 347, 63, 41, 144};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(f.ProjectTree->headerItem()->text(i), captions[i]);
        EXPECT_EQ(f.ProjectTree->columnWidth(i), widths[i]);
    }
    ASSERT_EQ(f.TBXStatusBar1->PanelCount(), 3);
    EXPECT_EQ(f.TBXStatusBar1->Caption(0), "Offline");
    EXPECT_EQ(f.TBXStatusBar1->ImageIndex(0), 1);
    EXPECT_EQ(f.TBXStatusBar1->Caption(1), "");
    EXPECT_EQ(f.TBXStatusBar1->Caption(2), "");
}

TEST_F(MainWindow, TabOrderRunsFromTheTreeThroughTheCommands) {
    TForm1& f = h.Create();
    const std::vector<QWidget*> controls{f.ProjectTree, f.Button3, f.Button2, f.Button1, f.Button4};
    std::vector<QWidget*> order;
    QWidget* w = f.ProjectTree;
    do {
        if (std::find(controls.begin(), controls.end(), w) != controls.end()) order.push_back(w);
        w = w->nextInFocusChain();
    } while (w != f.ProjectTree && order.size() < controls.size());
    EXPECT_EQ(order, controls);
}

TEST_F(MainWindow, TheTreeFollowsTheWindowsEdges) {
    TForm1& f = h.CreateAndShow();
    f.resize(1000, 700);
    QCoreApplication::processEvents();
    EXPECT_EQ(Geometry(f.ProjectTree), QRect(16, 48, 1000 - 27, 700 - 84));
    EXPECT_EQ(Geometry(f.TBXStatusBar1), QRect(0, 677, 1000, 23));
}

TEST_F(MainWindow, CreationMakesTheDefaultDownloadFolderAndTheLauncherPath) {
    TForm1& f = h.Create();
    EXPECT_EQ(f.DownloadDir, h.services.programFolder + "download");
    EXPECT_TRUE(std::filesystem::is_directory(f.DownloadDir));
    EXPECT_FALSE(f.AutoUpdate);
    // Without a stored AppData the data folder comes from XDG_DATA_HOME.
    EXPECT_NE(f.ServerRunner->LauncherPath.find("Zelmarock/corvalitesrv.exe"), std::string::npos);
}

TEST_F(MainWindow, AStoredAppDataFolderPlacesTheLauncher) {
    h.SetString(kShellFolders, "AppData", "/srv/appdata");
    TForm1& f = h.Create();
    EXPECT_EQ(f.ServerRunner->LauncherPath, "/srv/appdata/Zelmarock/corvalitesrv.exe");
}

TEST_F(MainWindow, AStoredDownloadFolderIsUsedButNotCreated) {
    const std::string stored = h.dir.path() + "/gone/away";
    h.SetString(kUpdateKey, "DownloadDir", stored);
    h.SetDword(kUpdateKey, "AutoUpdate", 5);
    TForm1& f = h.Create();
    EXPECT_EQ(f.DownloadDir, stored);
    EXPECT_TRUE(f.AutoUpdate);
    EXPECT_FALSE(std::filesystem::exists(stored));
    EXPECT_TRUE(std::filesystem::is_directory(h.services.programFolder + "download"));
}

TEST_F(MainWindow, ASettingOfTheWrongTypeIsReportedAndStartUpGoesOn) {
    h.SetString(kUpdateKey, "AutoUpdate", "yes");
    TForm1& f = h.Create();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Ungültiger Datentyp für 'AutoUpdate'");
    EXPECT_FALSE(f.AutoUpdate);
    EXPECT_TRUE(f.isEnabled());
}

TEST_F(MainWindow, AWronglyTypedAppDataLeavesTheRestOfStartUpAndTheSettingsIntact) {
    h.SetDword(kShellFolders, "AppData", 7);
    h.SetString(kUpdateKey, "DownloadDir", "/my/downloads");
    h.SetDword(kUpdateKey, "AutoUpdate", 1);
    h.engine.connected = 1;
    h.ServeCatalogue("a\n", "b\n", "", "c\n", "d\n");
    TForm1& f = h.CreateAndShow();  // refreshes at once, reaching the probe
    ASSERT_EQ(errors.size(), 1u) << errors.back();
    EXPECT_EQ(errors[0], "Ungültiger Datentyp für 'AppData'");
    EXPECT_EQ(f.ProjectTree->TopLevelCount(), 2);
    ASSERT_NE(f.ServerRunner, nullptr);
    EXPECT_EQ(f.ServerRunner->LauncherPath, "Zelmarock/corvalitesrv.exe");
    EXPECT_EQ(f.DownloadDir, "/my/downloads");
    EXPECT_TRUE(f.AutoUpdate);
    EXPECT_TRUE(std::filesystem::is_directory(h.services.programFolder + "download"));
    h.Destroy();
    const auto stored = h.Read(kUpdateKey, "DownloadDir");
    ASSERT_TRUE(stored);
    EXPECT_EQ(std::string(stored->data.begin(), stored->data.end()),
              std::string("/my/downloads\0", 14));
}

TEST_F(MainWindow, ADamagedSettingsFileIsKeptAsideReportedAndReplacedAtClose) {
    h.dir.Write("HKCU.reg", std::string("\x7f\x00garbage[[[\n", 13));
    TForm1& f = h.Create();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("damaged"), std::string::npos) << errors[0];
    EXPECT_EQ(f.DownloadDir, h.services.programFolder + "download");
    f.close();
    const auto saved = h.Read(kUpdateKey, "AutoUpdate");
    ASSERT_TRUE(saved);
    int kept = 0;
    for (const auto& entry : std::filesystem::directory_iterator(h.dir.path()))
        if (entry.path().filename().string().find("HKCU.reg.damaged") == 0) ++kept;
    EXPECT_EQ(kept, 1);
}

TEST_F(MainWindow, ClosingSavesBothSettings) {
    TForm1& f = h.Create();
    f.DownloadDir = "/somewhere/else";
    f.AutoUpdate = true;
    f.close();
    const auto dir = h.Read(kUpdateKey, "DownloadDir");
    ASSERT_TRUE(dir);
    EXPECT_EQ(dir->type, platform::kRegSz);
    EXPECT_EQ(std::string(dir->data.begin(), dir->data.end()),
              std::string("/somewhere/else\0", 16));
    const auto autoUpdate = h.Read(kUpdateKey, "AutoUpdate");
    ASSERT_TRUE(autoUpdate);
    EXPECT_EQ(autoUpdate->type, platform::kRegDword);
    EXPECT_EQ(autoUpdate->data, (std::vector<std::uint8_t>{1, 0, 0, 0}));
}

TEST_F(MainWindow, ATerminationSignalClosesTheWindowAndSavesTheSettings) {
    TForm1& f = h.CreateAndShow();
    toolkit::CloseOnTerminationSignals(&f);
    f.AutoUpdate = true;
    std::raise(SIGTERM);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !f.isVisible(); }, 5000));
    ASSERT_TRUE(h.Read(kUpdateKey, "AutoUpdate"));
    std::signal(SIGTERM, SIG_DFL);
}

TEST_F(MainWindow, FirstShowingOnlineSetsThePanelAndRefreshesOnlyWithAutoUpdate) {
    h.engine.connected = 1;
    TForm1& f = h.CreateAndShow();
    EXPECT_TRUE(f.Online);
    EXPECT_EQ(f.TBXStatusBar1->Caption(0), "Online");
    EXPECT_EQ(f.TBXStatusBar1->ImageIndex(0), 0);
    EXPECT_EQ(f.ProjectTree->TopLevelCount(), 0);  // auto update off: the tree waits
    EXPECT_EQ(std::count(h.engine.calls.begin(), h.engine.calls.end(), "DownloadFiles"), 0);
}

TEST_F(MainWindow, FirstShowingWithAutoUpdateRefreshesAtOnce) {
    h.SetDword(kUpdateKey, "AutoUpdate", 1);
    h.ServeCatalogue("setup_php-5.2.1.exe\n", "", "1.0.0.0\n1.0.0.0\n", "", "");
    TForm1& f = h.CreateAndShow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.ProjectTree->TopLevelCount() == 2; }, 5000));
    EXPECT_TRUE(errors.empty()) << errors.front();
}

TEST_F(MainWindow, OfflineStartNeverRefreshesAndUpdateInfoExplains) {
    h.SetDword(kUpdateKey, "AutoUpdate", 1);
    h.engine.connected = 0;
    TForm1& f = h.CreateAndShow();
    EXPECT_FALSE(f.Online);
    EXPECT_EQ(f.TBXStatusBar1->Caption(0), "Offline");
    EXPECT_EQ(f.TBXStatusBar1->ImageIndex(0), 1);
    EXPECT_EQ(f.ProjectTree->TopLevelCount(), 0);

    QTest::mouseClick(f.Button3, Qt::LeftButton);
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].message, "Your are offline. Please connect to internet and try again");
    EXPECT_EQ(dialogs[0].type, mtInformation);
    EXPECT_EQ(dialogs[0].buttons, mbOK);
    EXPECT_EQ(dialogs[0].helpContext, 0);
    EXPECT_EQ(dialogs[0].language, 9);
    EXPECT_EQ(std::count(h.engine.calls.begin(), h.engine.calls.end(), "DownloadFiles"), 0);
}

TEST_F(MainWindow, UpdateInfoChecksAgainWhenTheMachineHasComeOnline) {
    h.engine.connected = 0;
    TForm1& f = h.CreateAndShow();
    h.engine.connected = 1;
    h.ServeCatalogue("", "", "", "", "");
    QTest::mouseClick(f.Button3, Qt::LeftButton);
    EXPECT_TRUE(dialogs.empty());
    EXPECT_TRUE(f.Online);
    EXPECT_EQ(f.TBXStatusBar1->Caption(0), "Online");
    EXPECT_EQ(f.TBXStatusBar1->ImageIndex(0), 0);
    EXPECT_EQ(f.ProjectTree->TopLevelCount(), 2);
}

TEST_F(MainWindow, AnErrorInACommandIsShownAndTheProgramGoesOn) {
    h.engine.connected = 1;
    TForm1& f = h.CreateAndShow();
    h.ServeCatalogue("a\n", "b\n", "", "c\n", "d\n");
    h.engine.files.erase(h.catalogueBase + "/download/php/list_dbg.php");
    QTest::mouseClick(f.Button3, Qt::LeftButton);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0],
              "Datei " + h.services.programFolder + "list_d.txt kann nicht geöffnet werden");
    EXPECT_EQ(f.ProjectTree->TopLevelCount(), 0);
    EXPECT_EQ(f.ProjectTree->UpdateCount(), 0);  // repainting resumed
    EXPECT_TRUE(f.ProjectTree->updatesEnabled());
    h.engine.files[h.catalogueBase + "/download/php/list_dbg.php"] = "b\n";
    QTest::mouseClick(f.Button3, Qt::LeftButton);
    EXPECT_EQ(f.ProjectTree->TopLevelCount(), 2);
}

TEST_F(MainWindow, EnterAndKeypadEnterPressTheFocusedButton) {
    h.engine.connected = 0;  // "Update info" explains through a dialog
    TForm1& f = h.CreateAndShow();
    f.Button2->setEnabled(true);  // with no row selected they fetch nothing
    f.Button1->setEnabled(true);
    for (QPushButton* button : {f.Button3, f.Button2, f.Button1}) {
        QSignalSpy clicked(button, &QPushButton::clicked);
        button->setFocus();
        QTest::keyClick(button, Qt::Key_Return);
        QTest::keyClick(button, Qt::Key_Enter, Qt::KeypadModifier);
        EXPECT_EQ(clicked.count(), 2) << button->text().toStdString();
    }
    EXPECT_EQ(dialogs.size(), 2u);
}

TEST_F(MainWindow, TheSmallestWindowFitsTheButtonsTheHeaderAndAFewRows) {
    TForm1& f = h.CreateAndShow();
    f.resize(250, 150);
    QCoreApplication::processEvents();
    EXPECT_EQ(f.size(), f.minimumSize());
    for (QWidget* control : {static_cast<QWidget*>(f.Button3), static_cast<QWidget*>(f.Button2),
                             static_cast<QWidget*>(f.Button1), static_cast<QWidget*>(f.Button4),
                             static_cast<QWidget*>(f.TBXStatusBar1)})
        EXPECT_TRUE(f.rect().contains(control->geometry())) << control->objectName().toStdString();
    EXPECT_FALSE(f.ProjectTree->geometry().intersects(f.TBXStatusBar1->geometry()));
    EXPECT_EQ(f.ProjectTree->header()->height(), 23);
    EXPECT_GE(f.ProjectTree->viewport()->height(), 4 * 19) << "room for four rows";
}

TEST_F(MainWindow, ColumnsFitAWiderWindowAndCutNamesStayDistinct) {
    const std::string names[] = {"mod_sample_extended_0092.dll",
                                 "mod_sample_extended_0192.dll",
                                 "mod_sample_extended_1092.dll",
                                 "Ölçü_モジュール_拡張_ライブラリ_0092.dll",
                                 "Ölçü_モジュール_拡張_ライブラリ_0093.dll",
                                 "🚀_rocket_extended_library_name_0092.dll",
                                 "🚀_rocket_extended_library_name_0093.dll",
                                 "php_dbg.dll-5.3.29",
                                 "php_dbg.dll-5.2.29"};
    std::string list;
    for (const auto& name : names) list += name + "\n";
    h.ServeCatalogue("", list, "1\n1\n", "", "");
    TForm1& f = h.CreateAndShow();
    f.RefreshComponentTree();
    toolkit::TTreeNode* debugger = f.ProjectTree->TopLevel(0)->Child(1);
    ASSERT_EQ(debugger->Text(), "Debugger");
    debugger->setExpanded(true);
    QAccessibleInterface* tree = QAccessible::queryAccessibleInterface(f.ProjectTree);
    const int widths[] = {164, 347, 63, 41, 144};

    for (const int width : {792, 1400}) {
        f.resize(width, 567);
        QCoreApplication::processEvents();
        const int extra = width - 792;
        EXPECT_GE(f.ProjectTree->columnWidth(0), widths[0] + extra / 4) << width;
        EXPECT_EQ(f.ProjectTree->columnWidth(0) + f.ProjectTree->columnWidth(1),
                  widths[0] + widths[1] + extra);
        for (int c = 2; c < 5; ++c) EXPECT_EQ(f.ProjectTree->columnWidth(c), widths[c]);

        QStringList shown;
        for (int i = 0; i < debugger->ChildCount(); ++i) {
            const QModelIndex cell = f.ProjectTree->indexFromItem(debugger->Child(i), 0);
            const QString text = f.ProjectTree->ShownText(cell);
            EXPECT_LE(f.ProjectTree->fontMetrics().horizontalAdvance(text),
                      f.ProjectTree->visualRect(cell).width());
            shown << text;
            const int row = f.ProjectTree->visualRect(cell).top() / 19;
            EXPECT_EQ(tree->tableInterface()->cellAt(row, 0)->text(QAccessible::Name),
                      debugger->Child(i)->Text());
        }
        EXPECT_EQ(shown.size(), QSet<QString>(shown.begin(), shown.end()).size())
            << shown.join(" | ").toStdString();
        if (width == 792) {
            EXPECT_TRUE(shown.join("").contains(QChar(0x2026))) << "some are cut";
        }
    }
}

TEST_F(MainWindow, TheNamesColumnFitsEveryShownRowFilledBeforeShowingAndAtANewFont) {
    // Rows filled and expanded while the window is still hidden, far more than its viewport
    // holds, the longest last; then shown, then at a larger font.
    std::string list;
    for (int i = 0; i < 40; ++i) list += "php_dbg.dll-5." + std::to_string(i) + "\n";
    list += "🚀_Ölçü_モジュール_extended_0093.dll\n";
    h.ServeCatalogue("", list, "1\n1\n", "", "");
    TForm1& f = h.Create();
    toolkit::TTreeView& tree = *f.ProjectTree;
    tree.SetFitsNames(true);
    f.RefreshComponentTree();
    toolkit::TTreeNode* debugger = tree.TopLevel(0)->Child(1);
    ASSERT_EQ(debugger->Text(), "Debugger");
    debugger->setExpanded(true);
    const auto total = [&tree] { return ColumnsTotal(tree); };
    const int designed = total();
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));

    for (const bool larger : {false, true}) {
        if (larger) {
            QFont font = tree.font();
            if (font.pointSizeF() > 0)
                font.setPointSizeF(font.pointSizeF() + 1.5);
            else
                font.setPixelSize(font.pixelSize() + 2);
            tree.setFont(font);
        }
        int cut = 0;
        for (QTreeWidgetItemIterator it(&tree); *it; ++it) {
            bool shown = true;
            for (QTreeWidgetItem* up = (*it)->parent(); up; up = up->parent())
                shown = shown && up->isExpanded();
            if (shown && tree.ShownText(tree.indexFromItem(*it, 0)) != (*it)->text(0)) ++cut;
        }
        EXPECT_EQ(cut, 0) << "larger font: " << larger;
        EXPECT_EQ(total(), designed);
    }
    // A location too long for its column, beside one that shares only the drive, keeps its
    // beginning and its end.
    tree.TopLevel(0)->SetColumnText(0, "C:\\Corvalite\\Editor\\Editor.exe");
    const QString server =
        "C:\\users\\josé\\AppData\\Roaming\\Zelmarock\\モジュール\\"
        "corvalitesrv\\bin\\x86\\release\\corvalitesrv.exe";
    tree.TopLevel(1)->SetColumnText(0, server);
    const QString shown = tree.ShownText(tree.indexFromItem(tree.TopLevel(1), 1));
    EXPECT_NE(shown, server) << "too long for the test";
    EXPECT_TRUE(shown.startsWith("C:\\users") && shown.endsWith("srv.exe")) << shown.toStdString();

    const int fitted = tree.columnWidth(0);
    tree.SetFitsNames(false);
    EXPECT_LT(tree.columnWidth(0), fitted) << "back to the design's width";
}

TEST_F(MainWindow, ALocationALittleTooWideTakesTheRoomTheShortColumnsSpare) {
    h.ServeCatalogue("setup_php-5.exe\n", "php_dbg.dll-5.2.17\n", "1\n1\n", "mod_ssl.dll\n", "");
    TForm1& f = h.CreateAndShow();
    toolkit::TTreeView& tree = *f.ProjectTree;
    tree.SetFitsNames(true);
    f.RefreshComponentTree();
    const auto total = [&tree] { return ColumnsTotal(tree); };
    const int designed = total();
    const int designedLocation = tree.columnWidth(1);
    // Just too wide for the designed column, as the web server's folder is on Windows.
    QString location = "C:\\users\\josé\\AppData\\Roaming\\Zelmarock\\下载\\";
    while (tree.fontMetrics().horizontalAdvance(location + "srv.exe") < designedLocation - 4)
        location += "x";
    location += "srv.exe";
    tree.TopLevel(1)->SetColumnText(0, location);
    const QModelIndex cell = tree.indexFromItem(tree.TopLevel(1), 1);
    tree.SetFitsNames(false);
    ASSERT_NE(tree.ShownText(cell), location) << "not too wide for the test";
    tree.SetFitsNames(true);

    EXPECT_EQ(tree.ShownText(cell), location);
    EXPECT_GT(tree.columnWidth(1), designedLocation);
    EXPECT_EQ(total(), designed);
    for (QTreeWidgetItemIterator it(&tree); *it; ++it) {
        if ((*it)->parent() && !(*it)->parent()->isExpanded()) continue;
        for (int column = 0; column < tree.columnCount(); ++column)
            EXPECT_EQ(tree.ShownText(tree.indexFromItem(*it, column)), (*it)->text(column))
                << (*it)->text(0).toStdString() << ", column " << column;
    }
}

TEST_F(MainWindow, TabbingIntoTheTreeShowsWhereTheFocusIs) {
    h.ServeCatalogue("setup_php-5.exe\n", "", "1\n1\n", "", "");
    TForm1& f = h.CreateAndShow();
    QApplication::setActiveWindow(&f);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    for (const bool filled : {false, true}) {
        if (filled) f.RefreshComponentTree();
        f.Button4->setFocus();
        const QImage unfocused = f.ProjectTree->grab().toImage();
        QTest::keyClick(f.Button4, Qt::Key_Tab);
        ASSERT_TRUE(f.ProjectTree->hasFocus());
        EXPECT_NE(f.ProjectTree->grab().toImage(), unfocused) << (filled ? "rows" : "empty");
        EXPECT_EQ(f.ProjectTree->Selected(), nullptr) << "focus alone selects nothing";
        EXPECT_FALSE(f.Button2->isEnabled());
    }
}
