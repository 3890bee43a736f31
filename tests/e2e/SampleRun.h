#pragma once
// The whole program as update.cpp wires it (the user's hive file, the real Qt engine, the
// desktop shell), aimed at the sample vendor site on a local server and at the sample
// installation, as a newcomer's first run sets them up.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/Unit1Settings.h"
#include "demo/SampleData.h"
#include "demo/SampleSigning.h"
#include "download/QtDownloadEngine.h"
#include "download/ui/WidgetUi.h"
#include "gui/DesktopShell.h"
#include "gui/MessDlgs.h"
#include "gui/Services.h"
#include "gui/Unit1.h"
#include "platform/Registry.h"
#include "support/FakeDesktop.h"
#include "support/LocalHttpServer.h"
#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"

namespace e2e {

// The sample vendor's publisher for this test run: its keys are made once (RSA keys take a
// while) in a folder of the run's own, removed when the run ends.
inline const demo::SampleSigner& RunSigner() {
    static const TempDir keys;
    static const demo::SampleSigner signer = demo::MakeSampleSigner(keys.path() + "/keys");
    return signer;
}

// Whether the sample world pins its publisher in the machine-wide list.
enum class Pin { Publisher, Nothing };

// What the sample publisher's signature shows in the status bar once a file was placed.
inline std::string SamplePublisherCaption() {
    return "Signed by CN=Zelmarock Sample Site Signing, O=Zelmarock Société";
}

// Site, installation and hive on disk, and the vendor's server; they outlive a program run,
// so a second run finds what the first one left. The site's programs and libraries are
// signed by the run's publisher, whose key the machine-wide list pins.
struct SampleWorld {
    TempDir dir;
    std::string site = dir.path() + "/site";
    std::string install = dir.path() + "/install";
    std::string config = dir.path() + "/config";
    std::string hiveFile = config + "/corvalite-update/HKCU.reg";
    // The administrator's configuration folder, as /etc/xdg is on a real machine.
    std::string machineConfig = dir.path() + "/xdg";
    std::string programFolder = dir.folder() + "program/";
    ScopedEnvironment environment;
    testsupport::LocalHttpServer server;

    explicit SampleWorld(Pin pin = Pin::Publisher) {
        // The program finds its hive where every user's hive is, below XDG_CONFIG_HOME, and
        // the trusted publishers in the folders of XDG_CONFIG_DIRS: only the sandbox's here.
        environment.Set("XDG_CONFIG_HOME", config);
        environment.Set("XDG_CONFIG_DIRS", machineConfig);
        demo::WriteSampleSite(site);
        demo::SignSampleSite(site, RunSigner());
        if (pin == Pin::Publisher) demo::WriteTrustedPublishers(machineConfig, RunSigner());
        demo::WriteSampleInstallation(install);
        demo::WriteSampleHive(hiveFile, install, server.baseUrl());
        server.serveFolder("/", site);
        std::filesystem::create_directories(programFolder);
    }
    SampleWorld(const SampleWorld&) = delete;
    SampleWorld& operator=(const SampleWorld&) = delete;

    std::string DownloadFolder() const { return demo::DownloadFolder(install); }
    int CatalogueFetches() const { return server.requestCount("/download/utils/list_exe.php"); }
};

// Whether a message box during a run fails the test (none is expected on the sample) or is
// only kept for the test to look at.
enum class Messages { Fail, Keep };

// One run of the program: the services update.cpp builds, and the main window. Message boxes
// are answered at once (OK, else No, else Cancel) instead of waiting for a user.
class SampleProgram {
  public:
    explicit SampleProgram(const SampleWorld& world, Messages messages = Messages::Fail)
        : messagesFail_(messages == Messages::Fail) {
        ReadBaseAddress(*registry_, "CatalogueBase", catalogueBase_);
        ReadBaseAddress(*registry_, "DownloadBase", downloadBase_);
        QtDownloadOptions options;
        options.ui = download::WidgetUi();
        // A failure would wait for an answer in a message box; here it fails the test.
        options.ui.showFailures = [](OwnerWindow, const QString& title, const QString& text) {
            ADD_FAILURE() << title.toStdString() << ": " << text.toStdString();
        };
        engine_ = std::make_unique<QtDownloadEngine>(catalogueBase_, options);
        services_ = std::make_unique<Services>(Services{*registry_, desktop_, shell_, *engine_,
                                                        catalogueBase_, downloadBase_,
                                                        world.programFolder});
        window_ = std::make_unique<TForm1>(*services_);
    }
    ~SampleProgram() { window_.reset(); }
    SampleProgram(const SampleProgram&) = delete;
    SampleProgram& operator=(const SampleProgram&) = delete;

    TForm1& window() { return *window_; }
    const std::vector<std::string>& messages() const { return messages_; }
    FakeDesktop& desktop() { return desktop_; }
    const std::string& catalogueBase() const { return catalogueBase_; }

    // Shows the window and waits until the first showing has checked the connection (and,
    // with auto update on, built the tree).
    void ShowAndSettle() {
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        ASSERT_TRUE(QTest::qWaitFor([this] { return window_->Online; }, 20000))
            << "the program never came online";
        QApplication::processEvents();
    }

  private:
    int Answer(const MessageDialogRequest& request) {
        messages_.push_back(request.message);
        if (messagesFail_)
            ADD_FAILURE() << "message box: " << request.message
                          << (geteuid() == 0 ? ""
                                             : " (the sandbox's trusted-publishers list counts "
                                               "only when the tests run as root)");
        if (request.buttons & mbOK) return ModalResult::OK;
        if (request.buttons & mbNo) return ModalResult::No;
        return ModalResult::Cancel;
    }

    bool messagesFail_;
    std::vector<std::string> messages_;
    ScopedMessageDialogHook messageHook_{
        [this](const MessageDialogRequest& request) { return Answer(request); }};
    std::unique_ptr<platform::RegistryHive> registry_ = platform::OpenUserHive();
    std::string catalogueBase_ = CORVALITE_CATALOGUE_BASE;
    std::string downloadBase_ = CORVALITE_DOWNLOAD_BASE;
    FakeDesktop desktop_;
    gui::DesktopShell shell_;
    std::unique_ptr<QtDownloadEngine> engine_;
    std::unique_ptr<Services> services_;
    std::unique_ptr<TForm1> window_;
};

// The row reached by following texts from the top level; null when there is none.
inline toolkit::TTreeNode* FindRow(const toolkit::TTreeView& tree,
                                   std::initializer_list<const char*> texts) {
    toolkit::TTreeNode* found = nullptr;
    for (const char* text : texts) {
        const int count = found ? found->ChildCount() : tree.TopLevelCount();
        toolkit::TTreeNode* next = nullptr;
        for (int i = 0; i < count && !next; ++i) {
            toolkit::TTreeNode* candidate = found ? found->Child(i) : tree.TopLevel(i);
            if (candidate->Text() == QString::fromUtf8(text)) next = candidate;
        }
        if (!next) return nullptr;
        found = next;
    }
    return found;
}

// The column texts shown for a row: location, version, build, state.
inline std::vector<std::string> Shown(const toolkit::TTreeNode* row) {
    std::vector<std::string> texts;
    for (int i = 0; i < 4; ++i) texts.push_back(row->ColumnText(i).toStdString());
    return texts;
}

// A left click on the row, where the user would click: on its text.
inline void ClickRow(toolkit::TTreeView& tree, toolkit::TTreeNode* row) {
    tree.scrollToItem(row);
    const QRect rect = tree.visualItemRect(row);
    ASSERT_TRUE(rect.isValid()) << "row not visible: " << row->Text().toStdString();
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, rect.center());
}

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void PressKeyIn(QWidget& widget, Qt::Key key) {
    widget.setFocus();
    QTest::keyClick(&widget, key);
}

inline void ClickButton(QPushButton* button) {
    ASSERT_TRUE(button->isEnabled()) << button->text().toStdString() << " is disabled";
    QTest::mouseClick(button, Qt::LeftButton);
}

}  // namespace e2e
