// The desktop shell's folder picker (Qt's own dialog, offscreen) and its file manager call.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>
#include <QUrl>
#include <cstdlib>
#include <filesystem>

#include "gui/DesktopShell.h"
#include "platform/BrowseFlags.h"
#include "support/ModalDriver.h"
#include "support/TempDir.h"

namespace {

constexpr unsigned kBrowseButtonFlags = 0x0051;

struct Picker : ::testing::Test {
    TempDir dir;
    gui::DesktopShell shell;
    QString title;
    QString openedIn;
    QFileDialog::Options options;
    Qt::WindowModality modality = Qt::NonModal;

    // Runs the picker for real; `answer` acts on Qt's dialog once it is up.
    bool Pick(std::string& folder, std::function<void(QFileDialog&)> answer,
              unsigned flags = kBrowseButtonFlags) {
        WhenModal<QFileDialog>([this, answer](QFileDialog& d) {
            title = d.windowTitle();
            openedIn = d.directory().absolutePath();
            options = d.options();
            modality = d.windowModality();
            answer(d);
        });
        return shell.PickFolder(nullptr, "Download directory", folder, flags);
    }
};

// A new folder below the temporary one, by the path the picker will answer with.
std::string MakeFolder(const TempDir& dir, const std::string& relative) {
    const std::filesystem::path path = std::filesystem::path(dir.path()) / relative;
    std::filesystem::create_directories(path);
    return std::filesystem::canonical(path).string();
}

}  // namespace

TEST_F(Picker, OpensInTheGivenFolderAndChoosingAtOnceReturnsIt) {
    const std::string start = MakeFolder(dir, "start");
    std::string folder = start;
    EXPECT_TRUE(Pick(folder, [](QFileDialog& d) { PressKey(d, Qt::Key_Return); }));
    EXPECT_EQ(folder, start);
    EXPECT_EQ(title, "Download directory");
    EXPECT_EQ(openedIn.toStdString(), start);
    EXPECT_TRUE(options & QFileDialog::ShowDirsOnly);
    EXPECT_FALSE(options & QFileDialog::ReadOnly) << "a new folder may be made";
    EXPECT_EQ(modality, Qt::ApplicationModal);
}

TEST_F(Picker, ReturnsAnotherFolderTypedIntoItsEditBox) {
    const std::string start = MakeFolder(dir, "start");
    const std::string other = MakeFolder(dir, "other ü");
    std::string folder = start;
    EXPECT_TRUE(Pick(folder, [&](QFileDialog& d) {
        auto* edit = d.findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(edit, nullptr);
        edit->setText(QString::fromStdString(other));
        PressKey(d, Qt::Key_Return);
    }));
    EXPECT_EQ(folder, other);
}

TEST_F(Picker, CancelKeepsTheFolderAndSaysSo) {
    std::string folder = dir.path();
    EXPECT_FALSE(Pick(folder, [](QFileDialog& d) { PressKey(d, Qt::Key_Escape); }));
    EXPECT_EQ(folder, dir.path());
}

TEST_F(Picker, WithoutAFolderOpensAtHomeWithNothingChosen) {
    std::string folder;
    EXPECT_FALSE(Pick(folder, [](QFileDialog& d) { static_cast<QDialog&>(d).reject(); }));
    EXPECT_EQ(folder, "");
    EXPECT_EQ(openedIn, QDir::homePath());
}

TEST_F(Picker, FlagsMapToTheDialogsOptions) {
    std::string folder = dir.path();
    Pick(
        folder, [](QFileDialog& d) { static_cast<QDialog&>(d).reject(); },
        platform::BrowseFlags(true, true, false));
    EXPECT_FALSE(options & QFileDialog::ShowDirsOnly) << "files are shown";
    EXPECT_TRUE(options & QFileDialog::ReadOnly) << "no new folder can be made";
}

TEST_F(Picker, AFolderThatCannotBeReadStillOpensAndCloses) {
    const std::string locked = MakeFolder(dir, "locked/inner") + "/..";
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    std::string folder = locked;
    EXPECT_FALSE(Pick(folder, [](QFileDialog& d) { PressKey(d, Qt::Key_Escape); }));
    EXPECT_EQ(folder, locked);
}

// Counts the blocked and unblocked notices a window gets while another is modal.
struct BlockWatch : QObject {
    int blocked = 0;
    int unblocked = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::WindowBlocked) ++blocked;
        if (event->type() == QEvent::WindowUnblocked) ++unblocked;
        return false;
    }
};

TEST_F(Picker, OtherWindowsTakeNoInputMeanwhile) {
    QWidget other;
    BlockWatch watch;
    other.installEventFilter(&watch);
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
    int blockedWhileOpen = 0;
    std::string folder = dir.path();
    Pick(folder, [&](QFileDialog& d) {
        blockedWhileOpen = watch.blocked;
        static_cast<QDialog&>(d).reject();
    });
    EXPECT_EQ(blockedWhileOpen, 1);
    EXPECT_EQ(watch.unblocked, 1);
}

// Receives the file manager's requests instead of a real file manager.
class UrlCatcher : public QObject {
    Q_OBJECT
  public:
    std::vector<QUrl> urls;
    Q_INVOKABLE void open(const QUrl& url) { urls.push_back(url); }
};

TEST(Explore, HandsTheFolderToTheFileManagerAsALocalUrl) {
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    gui::DesktopShell shell;
    shell.ExploreFolder("/tmp/with space/Zürich #1");
    QDesktopServices::unsetUrlHandler("file");
    ASSERT_EQ(catcher.urls.size(), 1u);
    EXPECT_TRUE(catcher.urls[0].isLocalFile());
    EXPECT_EQ(catcher.urls[0].toLocalFile().toStdString(), "/tmp/with space/Zürich #1");
}

TEST(Explore, WithoutAnOpenerReturnsQuietly) {
    TempDir empty;
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", empty.path().c_str(), 1);  // no xdg-open to be found
    // A message box about the missing opener would block here: note and close any that opens.
    bool asked = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            asked = true;
            modal->close();
        }
    });
    watch.start(0);
    gui::DesktopShell shell;
    shell.ExploreFolder(empty.path());
    shell.ExploreFolder("");
    QCoreApplication::processEvents();
    setenv("PATH", path.c_str(), 1);
    EXPECT_FALSE(asked) << "nothing to answer when there is no file manager";
}

#include "DesktopShellFolders_test.moc"
