// "Restore previous version" on a real main window: an install over an existing module keeps
// it, the row's context menu puts it back, and a second restore undoes the first.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>

#include "core/ReplacedFiles.h"
#include "gui/MessDlgs.h"
#include "gui/Places.h"
#include "platform/FileMove.h"
#include "support/MainWindowHarness.h"
#include "support/PeWriter.h"
#include "support/RecordedDialogs.h"
#include "support/SignedFixtures.h"
#include "toolkit/Application.h"

namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

// Records what the window shows before the harness builds it.
struct Restore : ::testing::Test, testsupport::RecordedDialogs {
    MainWindowHarness h;
    const std::string base = "http://files.test/download/";
    const std::string signedBody = testsupport::SignedFixture("signed-primary.exe");
    std::string modules;
    std::string target;
    std::string oldModule;
    TForm1* form = nullptr;

    void SetUp() override {
        if (!testsupport::FixtureKeysTrusted()) GTEST_SKIP() << testsupport::kFixtureKeysUntrusted;
        const std::string appData = h.dir.path() + "/appdata ✓/";
        modules = appData + "Zelmarock/modules";
        target = modules + "/mod_模块.dll";
        fs::create_directories(fs::path(modules));
        WritePeFile(target, PeOptions{.fileVersion = {2, 1, 0, 7}});
        oldModule = h.dir.Read("appdata ✓/Zelmarock/modules/mod_模块.dll");
        h.SetString("\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                    "AppData", appData);
        form = &h.Create();
        form->ReplacedDir = h.dir.path() + "/kept/";
        form->DownloadDir = h.dir.path() + "/downloads";
        fs::create_directories(fs::path(form->DownloadDir));
        form->ServerPath = appData + "Zelmarock/corvalitesrv.exe";
        form->AutoUpdate = false;
        form->Online = false;
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form));
        form->Online = false;  // no catalogue here to refresh from
    }
    void TearDown() override { EXPECT_EQ(errors, Strings{}); }

    toolkit::TTreeNode* Row(const std::string& location, const std::string& link) {
        toolkit::TTreeNode* node = form->ProjectTree->AddChild(nullptr, "Module");
        node->SetTag(1);
        node->SetImageIndex(1);
        node->AppendColumnText(QString::fromStdString(location));
        for (int i = 0; i < 3; ++i) node->AppendColumnText("");
        node->AppendColumnText(QString::fromStdString(link));
        form->ProjectTree->setCurrentItem(node);
        FocusTree();
        return node;
    }
    // Keys go where the user's would: to the tree, in the active window, once a menu is gone.
    void FocusTree() {
        form->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form));
        form->ProjectTree->setFocus();
        EXPECT_TRUE(QTest::qWaitFor([&] { return form->ProjectTree->hasFocus(); }));
    }
    std::string Installed() const { return h.dir.Read("appdata ✓/Zelmarock/modules/mod_模块.dll"); }
};

// Once the row's menu is up, chooses the action of that name with the keyboard and tells what
// the menu offered; nothing when no menu came up.
struct MenuSeen {
    QString menuName;
    QStringList actions;
    bool shown = false;
};

void ChooseFromMenu(MenuSeen& seen, const QString& action) {
    auto* poll = new QTimer(qApp);
    auto tries = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, tries, &seen, action] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu && ++*tries < 200) return;
        poll->stop();
        poll->deleteLater();
        if (!menu) return;
        seen.shown = true;
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(menu);
        seen.menuName = accessible->text(QAccessible::Name);
        for (int i = 0; i < accessible->childCount(); ++i)
            seen.actions << accessible->child(i)->text(QAccessible::Name);
        for (QAction* a : menu->actions())
            if (a->objectName() == action) menu->setActiveAction(a);
        QTest::keyClick(menu, Qt::Key_Return);
    });
    poll->start(5);
}

}  // namespace

TEST_F(Restore, InstallOverAModuleThenRestoreAndRestoreAgain) {
    // Install over the existing module: the shell's question is answered yes.
    h.engine.files[base + "mod_模块.dll"] = signedBody;
    Row("", base + "mod_模块.dll");
    form->Button1->click();
    ASSERT_EQ(Installed(), signedBody);
    ASSERT_EQ(dialogs.size(), 0u) << dialogs[0].message;  // the recording shell does not ask
    EXPECT_EQ(form->TBXStatusBar1->Caption(2), "Version 5.2.1.300 in place");

    toolkit::TTreeNode* row = Row(target, base + "mod_模块.dll");
    const QPoint middle = form->ProjectTree->visualItemRect(row).center();
    // The mouse: the menu offers the restore; its answer "no" leaves the module alone.
    MenuSeen seen;
    confirmationAnswer = ModalResult::No;
    ChooseFromMenu(seen, "RestorePreviousVersion");
    emit form->ProjectTree->customContextMenuRequested(middle);
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(seen.menuName, "Component actions");
    EXPECT_EQ(seen.actions, QStringList{"Restore previous version"});
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].type, DialogType::Confirmation);
    EXPECT_EQ(dialogs[0].buttons, mbYesNo);
    EXPECT_NE(dialogs[0].message.find("version 2.1.0.7"), std::string::npos) << dialogs[0].message;
    EXPECT_NE(dialogs[0].message.find("mod_模块.dll"), std::string::npos);
    EXPECT_EQ(Installed(), signedBody);

    // The Menu key: yes puts the old module back and keeps the signed one.
    confirmationAnswer = ModalResult::Yes;
    MenuSeen byMenuKey;
    FocusTree();
    ChooseFromMenu(byMenuKey, "RestorePreviousVersion");
    QTest::keyClick(form->windowHandle(), Qt::Key_Menu);
    ASSERT_TRUE(byMenuKey.shown);
    EXPECT_EQ(Installed(), oldModule);
    EXPECT_EQ(form->TBXStatusBar1->Caption(2), "Version 2.1.0.7 in place");
    const auto kept = ReplacedFiles(form->ReplacedDir).Find(target);
    ASSERT_TRUE(kept);
    EXPECT_EQ(h.dir.Read(fs::relative(kept->copy, h.dir.path()).string()), signedBody);

    // Shift+F10: restoring again undoes the restore; the question names the kept version.
    dialogs.clear();
    MenuSeen byShiftF10;
    FocusTree();
    ChooseFromMenu(byShiftF10, "RestorePreviousVersion");
    QTest::keyClick(form->windowHandle(), Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_TRUE(byShiftF10.shown);
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_NE(dialogs[0].message.find("version 2.1.0.7"), std::string::npos) << dialogs[0].message;
    EXPECT_EQ(Installed(), signedBody);
    EXPECT_EQ(
        h.dir.Read(fs::relative(ReplacedFiles(form->ReplacedDir).Find(target)->copy, h.dir.path())
                       .string()),
        oldModule);
}

TEST_F(Restore, RowsWithoutAKeptCopyOfferNothingAndARunningServerRefuses) {
    toolkit::TTreeNode* row = Row(target, base + "mod_模块.dll");
    MenuSeen seen;
    ChooseFromMenu(seen, "RestorePreviousVersion");
    emit form->ProjectTree->customContextMenuRequested(
        form->ProjectTree->visualItemRect(row).center());
    EXPECT_FALSE(seen.shown) << "no menu without a kept copy";

    // A kept listener; the editor that uses it refuses the restore with the install's notice.
    const std::string editor = h.dir.path() + "/editor 编辑器";
    const std::string listener = editor + "/DbgListener.exe";
    h.dir.Write("editor 编辑器/DbgListener.exe", "old listener");
    form->EditorPath = editor + "/phped.exe";
    h.engine.files[base + "DbgListener.exe"] = signedBody;
    Row("", base + "DbgListener.exe");
    form->Button1->click();
    ASSERT_EQ(h.dir.Read("editor 编辑器/DbgListener.exe"), signedBody);
    h.desktop.AddWindow("TInstanceManager[{84E5590F-45D5-4688-BACC-5206DC9AC990}]",
                        "RAZE [{1966A98B-6E27-467D-A520-0C7061650A0A}]");
    form->RestorePreviousVersion(listener);
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].type, DialogType::Information);
    EXPECT_NE(dialogs[0].message.find("debuger listener is in use"), std::string::npos)
        << dialogs[0].message;
    EXPECT_EQ(h.dir.Read("editor 编辑器/DbgListener.exe"), signedBody);
}

TEST(RestoreAtStart, TheWindowPutsBackAModuleAnInterruptedInstallLeftMissing) {
    MainWindowHarness h;
    const std::string target = h.dir.Write("modules 模块/mod_x.dll", "old module");
    const std::string incoming = h.dir.Write("downloads/mod_x.dll", "new module");
    // Stopped once the old module was kept; the worst a stop could then find is no module.
    {
        ReplacedFiles store(ReplacedFilesFolder());
        store.onStep = [](ReplaceStep step) {
            if (step == ReplaceStep::OldFileKept) throw std::runtime_error("stopped here");
        };
        EXPECT_THROW(store.Replace(
                         target, [] { return true; }, 1000),
                     std::runtime_error);
    }
    fs::remove(fs::path(target));
    h.Create();
    EXPECT_EQ(h.dir.Read("modules 模块/mod_x.dll"), "old module");
    EXPECT_EQ(h.dir.Read("downloads/mod_x.dll"), "new module");

    // Stopped once the new module was placed: the window finishes the install instead.
    h.Destroy();
    {
        ReplacedFiles store(ReplacedFilesFolder());
        store.onStep = [](ReplaceStep step) {
            if (step == ReplaceStep::NewFilePlaced) throw std::runtime_error("stopped here");
        };
        const auto place = [&] {
            return platform::TransferFile(incoming, h.dir.path() + "/modules 模块",
                                          platform::TransferMode::Move, true)
                .ok();
        };
        EXPECT_THROW(store.Replace(target, place, 2000), std::runtime_error);
    }
    h.Create();
    EXPECT_EQ(h.dir.Read("modules 模块/mod_x.dll"), "new module");
    const auto kept = ReplacedFiles(ReplacedFilesFolder()).Find(target);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->replacedAt, 2000);
    EXPECT_EQ(h.dir.Read(fs::relative(kept->copy, h.dir.path()).string()), "old module");
}
