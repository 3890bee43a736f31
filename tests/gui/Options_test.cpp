// The "Options" command of a real main window over a temporary hive: what the dialog shows,
// what it changes, and what reaches the hive when.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "core/Unit1Settings.h"
#include "gui/Unit2.h"
#include "support/ChildRole.h"
#include "support/MainWindowHarness.h"
#include "support/ModalDriver.h"
#include "toolkit/Application.h"

namespace {

namespace fs = std::filesystem;

bool AnyOptionsDialogLeft() {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (qobject_cast<TForm2*>(window)) return true;
    return false;
}

// Runs the options command as the button does; `drive` acts on the open dialog.
void RunOptions(TForm1& form, std::function<void(TForm2&)> drive) {
    WhenModal<TForm2>(std::move(drive));
    form.Button4->click();
    EXPECT_FALSE(AnyOptionsDialogLeft()) << "the dialog is destroyed on every path";
}

void SetText(TForm2& dialog, const std::string& text) {
    dialog.Edit1->setText(QString::fromStdString(text));
}

struct Options : ::testing::Test {
    MainWindowHarness h;
    std::vector<std::string> errors;
    toolkit::ScopedErrorPresenter presenter{[this](const std::string& e) { errors.push_back(e); }};

    // What the hive file holds now, read afresh as the next start would read it.
    std::optional<platform::RegistryValue> Stored(const char* name) const {
        return platform::OpenHiveFile(h.hivePath)->ReadValue(kSettingsKey, name);
    }
    std::optional<std::string> StoredFolder() const {
        const auto value = Stored("DownloadDir");
        if (!value) return std::nullopt;
        EXPECT_EQ(value->type, platform::kRegSz);
        EXPECT_FALSE(value->data.empty());
        if (value->data.empty()) return std::string();
        EXPECT_EQ(value->data.back(), 0) << "written with its terminating zero";
        return std::string(value->data.begin(), value->data.end() - 1);
    }
    std::optional<std::uint32_t> StoredAutoUpdate() const {
        const auto value = Stored("AutoUpdate");
        if (!value || value->type != platform::kRegDword || value->data.size() != 4)
            return std::nullopt;
        return value->data[0] | value->data[1] << 8 | value->data[2] << 16 | value->data[3] << 24;
    }
    void StoreSettings(const std::string& folder, std::uint32_t autoUpdate) {
        h.SetString(kSettingsKey, "DownloadDir", folder);
        h.SetDword(kSettingsKey, "AutoUpdate", autoUpdate);
    }
    void TearDown() override { EXPECT_EQ(errors, std::vector<std::string>{}); }
};

}  // namespace

TEST_F(Options, ShowsTheSettingsAndOkWithAnEmptyEditStoresItEmptyAtShutDown) {
    StoreSettings(h.dir.path(), 5);
    TForm1& f = h.Create();
    std::string shown;
    bool checked = false;
    RunOptions(f, [&](TForm2& d) {
        shown = d.Edit1->text().toStdString();
        checked = d.CheckBox1->isChecked();
        d.Edit1->clear();
        PressKey(d, Qt::Key_Return);
    });
    EXPECT_EQ(shown, h.dir.path());
    EXPECT_TRUE(checked);
    EXPECT_EQ(f.DownloadDir, "");
    EXPECT_TRUE(f.AutoUpdate);
    EXPECT_EQ(StoredFolder(), h.dir.path()) << "the hive is touched only at shut-down";

    h.Destroy();
    EXPECT_EQ(StoredFolder(), "");
    EXPECT_EQ(StoredAutoUpdate(), 1u);
}

TEST_F(Options, CancelEscapeAndTheCloseBoxAfterEditingChangeNothing) {
    StoreSettings(h.dir.path(), 0);
    TForm1& f = h.Create();
    const std::vector<std::function<void(TForm2&)>> dismissals{
        [](TForm2& d) { PressKey(d, Qt::Key_Escape); },
        [](TForm2& d) { QTest::mouseClick(d.Button3, Qt::LeftButton); },
        [](TForm2& d) { d.close(); },
    };
    for (const auto& dismiss : dismissals) {
        RunOptions(f, [&](TForm2& d) {
            SetText(d, "/elsewhere");
            d.CheckBox1->setChecked(true);
            dismiss(d);
        });
        EXPECT_EQ(f.DownloadDir, h.dir.path());
        EXPECT_FALSE(f.AutoUpdate);
    }
    h.Destroy();
    EXPECT_EQ(StoredFolder(), h.dir.path());
    EXPECT_EQ(StoredAutoUpdate(), 0u);
}

TEST_F(Options, AStoredFolderThatIsGoneIsKeptAndNeverCreated) {
    const std::string gone = h.dir.path() + "/gone/download";
    StoreSettings(gone, 0);
    TForm1& f = h.Create();
    std::vector<std::string> preselected;
    h.shell.picker = [&](const std::string&, std::string& folder, unsigned) {
        preselected.push_back(folder);
        return false;
    };
    std::string shown;
    RunOptions(f, [&](TForm2& d) {
        QTest::mouseClick(d.Button1, Qt::LeftButton);
        shown = d.Edit1->text().toStdString();
        QTest::mouseClick(d.Button2, Qt::LeftButton);  // Enter would press the focused "..."
    });
    EXPECT_EQ(preselected, std::vector<std::string>{""}) << "the picker opens without one";
    EXPECT_EQ(shown, gone);
    EXPECT_EQ(f.DownloadDir, gone);
    h.Destroy();
    EXPECT_EQ(StoredFolder(), gone);
    EXPECT_FALSE(fs::exists(h.dir.path() + "/gone"));
}

TEST_F(Options, ThePickerPreselectsTheFolderAndItsPickIsTakenOnOk) {
    const std::string first = h.dir.path() + "/first";
    const std::string second = h.dir.path() + "/second";
    fs::create_directory(first);
    fs::create_directory(second);
    StoreSettings(first, 0);
    TForm1& f = h.Create();
    std::vector<std::string> preselected;
    bool pick = false;
    h.shell.picker = [&](const std::string& caption, std::string& folder, unsigned flags) {
        EXPECT_EQ(caption, "Download directory");
        EXPECT_EQ(flags, 0x0051u);
        preselected.push_back(folder);
        if (pick) folder = second;
        return pick;
    };
    RunOptions(f, [&](TForm2& d) {
        QTest::mouseClick(d.Button1, Qt::LeftButton);  // cancelled
        EXPECT_EQ(d.Edit1->text().toStdString(), first);
        pick = true;
        QTest::mouseClick(d.Button1, Qt::LeftButton);
        EXPECT_EQ(d.Edit1->text().toStdString(), second);
        QTest::mouseClick(d.Button2, Qt::LeftButton);
    });
    EXPECT_EQ(preselected, (std::vector<std::string>{first, first}));
    EXPECT_EQ(f.DownloadDir, second);
}

TEST_F(Options, UnusualFolderTextsAreStoredExactlyAndReadBackTheSame) {
    const std::string file = h.dir.Write("not a folder.txt", "x");
    std::string huge = "/" + std::string(32 * 1024 - 1, 'd');
    for (std::size_t i = 40; i < huge.size(); i += 41) huge[i] = '/';
    for (const std::string& text : {huge, "  " + h.dir.path() + "/with blanks  ",
                                    std::string("/srv/Zürich/загрузки/下载 ✓"), file}) {
        TForm1& f = h.Create();
        RunOptions(f, [&](TForm2& d) {
            SetText(d, text);
            d.CheckBox1->setChecked(!d.CheckBox1->isChecked());
            PressKey(d, Qt::Key_Return);
        });
        const bool autoUpdate = f.AutoUpdate;
        EXPECT_EQ(f.DownloadDir.size(), text.size());
        h.Destroy();
        EXPECT_EQ(StoredFolder(), text);

        TForm1& next = h.Create();
        EXPECT_EQ(next.DownloadDir, text) << "read back at the next start";
        EXPECT_EQ(next.AutoUpdate, autoUpdate);
        std::string shown;
        RunOptions(next, [&](TForm2& d) {
            shown = d.Edit1->text().toStdString();
            PressKey(d, Qt::Key_Escape);
        });
        EXPECT_EQ(shown, text);
        h.Destroy();
    }
}

TEST_F(Options, OkWithoutEditingKeepsAStoredTextThatIsNotUtf8) {
    const std::string latin1 = h.dir.path() +
                               "/T\xE9l\xE9"
                               "chargements";
    StoreSettings(latin1, 0);
    TForm1& f = h.Create();
    RunOptions(f, [](TForm2& d) {
        d.CheckBox1->setChecked(true);
        PressKey(d, Qt::Key_Return);
    });
    EXPECT_EQ(f.DownloadDir, latin1);
    EXPECT_TRUE(f.AutoUpdate);
    h.Destroy();
    EXPECT_EQ(StoredFolder(), latin1);
}

// The child half of the next test: runs the command in a process of its own and dies hard.
CORVALITE_CHILD_ROLE(OptionsOkThenKilled) {
    const char* hivePath = std::getenv("CORVALITE_OPTIONS_CHILD_HIVE");
    const char* folder = std::getenv("CORVALITE_OPTIONS_CHILD_FOLDER");
    const auto hive = platform::OpenHiveFile(hivePath);
    FakeDesktop desktop;
    RecordingShell shell;
    ScriptedEngine engine;
    Services services{*hive, desktop, shell, engine, "http://c.test", "http://f.test", folder};
    TForm1 form(services);
    RunOptions(form, [](TForm2& d) {
        SetText(d, "/changed");
        d.CheckBox1->setChecked(true);
        PressKey(d, Qt::Key_Return);
    });
    if (form.DownloadDir == "/changed" && form.AutoUpdate)
        std::ofstream(std::string(folder) + "accepted") << "yes";
    std::raise(SIGKILL);
}

TEST_F(Options, OkThenKilledKeepsTheOldValues) {
    StoreSettings(h.dir.path(), 0);
    h.hive.reset();  // the child is the only writer
    auto child = testsupport::StartChildRole(
        "OptionsOkThenKilled", {"CORVALITE_OPTIONS_CHILD_HIVE=" + h.hivePath,
                                "CORVALITE_OPTIONS_CHILD_FOLDER=" + h.services.programFolder});
    ASSERT_TRUE(child);
    const auto status = child->Wait();
    ASSERT_TRUE(status);
    ASSERT_TRUE(WIFSIGNALED(*status)) << "exit status " << WEXITSTATUS(*status);
    EXPECT_EQ(WTERMSIG(*status), SIGKILL);
    EXPECT_TRUE(h.dir.Exists("app/accepted")) << "the child took the new values before dying";
    EXPECT_EQ(StoredFolder(), h.dir.path());
    EXPECT_EQ(StoredAutoUpdate(), 0u);
}
