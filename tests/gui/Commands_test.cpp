// "Download" and "Download and install" on a real main window with scripted surroundings.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>

#include "core/ReplacedFiles.h"
#include "core/srunner.h"
#include "gui/MessDlgs.h"
#include "support/ChildRole.h"
#include "support/MainWindowHarness.h"
#include "support/PeWriter.h"
#include "support/RecordedDialogs.h"
#include "support/SignedFixtures.h"
#include "toolkit/Application.h"

namespace {

namespace fs = std::filesystem;
using toolkit::TTreeNode;
using Strings = std::vector<std::string>;

const char* const kEditorClass = "TInstanceManager[{84E5590F-45D5-4688-BACC-5206DC9AC990}]";
const char* const kEditorTitle = "RAZE [{1966A98B-6E27-467D-A520-0C7061650A0A}]";
const std::string kPrimarySubject = "CN=Zelmarock Update Signing, O=Zelmarock Soci\u00e9t\u00e9";
const std::string kBackupSubject = "CN=Zelmarock Backup Signing, O=Zelmarock Soci\u00e9t\u00e9";
const std::string kShellFolders =
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const std::string kNotice1 =
    "Option you requested can't be processed while Corvalite Editor for PHP is currently "
    "running. Please exit application and try again";
const std::string kNotice2 =
    "Option you requested can't be processed while Corvalite Webserver is currently running. "
    "Please shutdown server and try again";
const std::string kNotice3 =
    "Option you requested can't be processed while Corvalite Editor for PHP is currently "
    "running and debuger listener is in use. Please exit application and try again";

// Records what the window shows before the harness builds it.
struct Commands : ::testing::Test, testsupport::RecordedDialogs {
    MainWindowHarness h;
    std::string downloads, editorFolder, serverFolder;
    const std::string base = "http://files.test/download/";
    // What the vendor's server sends: signed by a key every test trusts.
    const std::string signedBody = testsupport::SignedFixture("signed-primary.exe");
    TForm1* form = nullptr;

    void SetUp() override {
        downloads = h.dir.path() + "/down load";
        editorFolder = h.dir.path() + "/editor";
        serverFolder = h.dir.path() + "/appdata/Zelmarock";
        for (const auto& folder :
             {downloads, editorFolder + "/bin/server", serverFolder + "/modules/utils"})
            fs::create_directories(folder);
        h.SetString(kShellFolders, "AppData", h.dir.path() + "/appdata/");
        form = &h.Create();
        form->DownloadDir = downloads;
        form->EditorPath = editorFolder + "/phped.exe";
        form->ServerPath = serverFolder + "/corvalitesrv.exe";
        form->AutoUpdate = false;
        form->Online = true;
    }

    // A row as the tree builds them: four shown column texts, then the link.
    TTreeNode* AddRow(const std::string& link, int tag = 1, int mark = 1,
                      const char* text = "Component") {
        TTreeNode* node = form->ProjectTree->AddChild(nullptr, text);
        node->SetTag(tag);
        node->SetImageIndex(mark);
        for (int i = 0; i < 4; ++i) node->AppendColumnText("");
        node->AppendColumnText(QString::fromStdString(link));
        return node;
    }
    TTreeNode* SelectRow(const std::string& link, int tag = 1, int mark = 1) {
        TTreeNode* node = AddRow(link, tag, mark);
        form->ProjectTree->setCurrentItem(node);
        return node;
    }
    // Offers the file on the scripted server and selects its row.
    std::string Offer(const std::string& name, int tag = 1) {
        h.engine.files[base + name] = signedBody;
        SelectRow(base + name, tag);
        return downloads + "/" + name;
    }
    void Click(QPushButton* button) {
        ASSERT_TRUE(button->isEnabled());
        button->click();
    }
    Strings Messages() const {
        Strings texts;
        for (const auto& d : dialogs) texts.push_back(d.message);
        return texts;
    }
    Strings DownloadCalls(const std::string& url, const std::string& destination) const {
        return {"SetOption(title,File Download)", "ClearFiles",
                "AddFile(" + url + "," + destination + ")", "DownloadFiles"};
    }
    bool Refreshed() const {
        return std::any_of(h.engine.calls.begin(), h.engine.calls.end(), [](const auto& call) {
            return call.find("list.php") != std::string::npos;
        });
    }
    std::string Publisher() const { return form->TBXStatusBar1->Caption(1).toStdString(); }
    bool PublisherShown() const { return Publisher().rfind("Signed by ", 0) == 0; }
    void RunEditor() { h.desktop.AddWindow(kEditorClass, kEditorTitle); }
    void RunServer() { h.desktop.AddWindow("TMainForm", "Corvalite Webserver"); }
    void TearDown() override { EXPECT_EQ(errors, Strings{}); }
};

// Commands whose download must pass the signature check: its keys have to be trusted here.
struct TrustedCommands : Commands {
    void SetUp() override {
        if (!testsupport::FixtureKeysTrusted()) GTEST_SKIP() << testsupport::kFixtureKeysUntrusted;
        Commands::SetUp();
    }
};

}  // namespace

TEST_F(Commands, CurrentComponentAnsweredNoDownloadsNothing) {
    confirmationAnswer = ModalResult::No;
    h.engine.files[base + "websrv.exe"] = "x";
    AddRow(base + "websrv.exe", 2, 0, "Corvalite Web Server");
    form->ProjectTree->setCurrentItem(form->ProjectTree->TopLevel(0));
    for (QPushButton* button : {form->Button2, form->Button1}) {
        dialogs.clear();
        Click(button);
        ASSERT_EQ(dialogs.size(), 1u);
        EXPECT_EQ(dialogs[0].message,
                  "Selected component: Corvalite Web Server is installed and up to date, "
                  "continue anyway?");
        EXPECT_EQ(dialogs[0].type, DialogType::Confirmation);
        EXPECT_EQ(dialogs[0].buttons, mbYes | mbNo);
        EXPECT_EQ(dialogs[0].language, 9);
    }
    EXPECT_TRUE(h.engine.calls.empty());
    EXPECT_TRUE(h.shell.explored.empty());
}

TEST_F(TrustedCommands, CurrentComponentAnsweredYesOrClosedGoesOn) {
    const std::string url = base + "tool.exe";
    h.engine.files[url] = signedBody;
    form->ProjectTree->setCurrentItem(AddRow(url, 1, 0));
    Click(form->Button2);
    confirmationAnswer = ModalResult::Cancel;  // the close box
    Click(form->Button2);
    EXPECT_EQ(dialogs.size(), 2u);
    EXPECT_EQ(h.shell.explored, (Strings{downloads, downloads}));
}

TEST_F(TrustedCommands, DownloadFetchesIntoTheDownloadFolderAndOpensIt) {
    const std::string destination = Offer("setup_php-5.2.exe", 2);
    Click(form->Button2);
    EXPECT_TRUE(dialogs.empty());  // a component needing an update asks nothing
    EXPECT_EQ(h.engine.calls, DownloadCalls(base + "setup_php-5.2.exe", destination));
    EXPECT_EQ(h.shell.explored, Strings{downloads});
    EXPECT_TRUE(fs::exists(destination));
    EXPECT_TRUE(h.shell.started.empty());
    EXPECT_TRUE(h.shell.transfers.empty());
}

TEST_F(TrustedCommands, DownloadNeverInstallsNorAsksAboutRunningProducts) {
    RunServer();
    RunEditor();
    for (const char* name : {"websrv.exe", "DbgListener.exe", "mod_a.dll"}) {
        Offer(name);
        Click(form->Button2);
    }
    EXPECT_TRUE(dialogs.empty());
    EXPECT_EQ(h.shell.explored.size(), 3u);
    EXPECT_TRUE(h.shell.started.empty());
    EXPECT_TRUE(h.shell.transfers.empty());
    EXPECT_EQ(h.desktop.TopLevelLookups(), 0);
}

TEST_F(Commands, FailedDownloadStillOpensTheFolder) {
    SelectRow(base + "gone.exe");  // the server has no such file
    Click(form->Button2);
    EXPECT_EQ(h.shell.explored, Strings{downloads});
}

TEST_F(Commands, DestinationJoinsWithOneDelimiter) {
    form->DownloadDir = downloads + "/";
    const std::string destination = Offer("a.txt");
    Click(form->Button2);
    EXPECT_EQ(h.engine.calls, DownloadCalls(base + "a.txt", downloads + "/a.txt"));
    EXPECT_EQ(destination, downloads + "/a.txt");
}

TEST_F(Commands, UrlWithoutSlashIsTheFileName) {
    h.engine.files["plain name.txt"] = signedBody;
    SelectRow("plain name.txt");
    Click(form->Button2);
    EXPECT_EQ(h.engine.calls, DownloadCalls("plain name.txt", downloads + "/plain name.txt"));
}

TEST_F(Commands, UnsafeFileNamesAreRefusedBeforeAnyDownload) {
    const Strings links = {base + "bad\nname.exe", base + "..", base,
                           "http://files.test/a\\..\\..\\evil.exe", base + "C:evil.exe"};
    Strings notices;
    for (const auto& link : links) {
        SelectRow(link);
        for (QPushButton* button : {form->Button2, form->Button1}) {
            dialogs.clear();
            Click(button);
            ASSERT_EQ(dialogs.size(), 1u) << link;
            EXPECT_EQ(dialogs[0].type, DialogType::Information);
            EXPECT_EQ(dialogs[0].buttons, mbOK);
            notices.push_back(dialogs[0].message);
        }
    }
    for (const auto& notice : notices)
        EXPECT_NE(notice.find("cannot be used in the download folder"), std::string::npos);
    EXPECT_EQ(notices[0].rfind("The file name \"bad?name.exe\"", 0), 0u);
    EXPECT_TRUE(h.engine.calls.empty());
    EXPECT_TRUE(h.shell.explored.empty());
}

TEST_F(Commands, NothingSelectedOrAGroupRowDoesNothing) {
    form->Button1Click();
    form->Button2Click();
    AddRow("", 0, -1, "PHP");
    TTreeNode* group = form->ProjectTree->TopLevel(0);
    group->SetColumnText(4, "");  // a group row holds no link; make sure none is read
    form->ProjectTree->setCurrentItem(group);
    form->Button1Click();
    form->Button2Click();
    EXPECT_TRUE(dialogs.empty());
    EXPECT_TRUE(h.engine.calls.empty());
    EXPECT_TRUE(h.shell.explored.empty());
}

TEST_F(Commands, GuardsStopBeforeTheDownload) {
    RunEditor();
    Offer("php_editor_php5.exe", 2);
    Click(form->Button1);
    Offer("DbgListener.exe");
    Click(form->Button1);
    EXPECT_EQ(Messages(), (Strings{kNotice1, kNotice3}));
    for (const auto& d : dialogs) {
        EXPECT_EQ(d.type, DialogType::Information);
        EXPECT_EQ(d.buttons, mbOK);
    }
    EXPECT_TRUE(h.engine.calls.empty());
    EXPECT_TRUE(h.shell.explored.empty());
}

TEST_F(TrustedCommands, ServerGuardProbesAfreshEachTime) {
    Offer("websrv.exe", 2);
    form->ServerRunner->Running = true;  // stale: the server has stopped since
    Click(form->Button1);
    EXPECT_TRUE(dialogs.empty());
    EXPECT_EQ(h.shell.started, Strings{downloads + "/websrv.exe"});

    RunServer();
    EXPECT_FALSE(form->ServerRunner->Running);
    h.engine.calls.clear();
    Click(form->Button1);
    EXPECT_EQ(Messages(), Strings{kNotice2});
    EXPECT_TRUE(h.engine.calls.empty());
}

TEST_F(TrustedCommands, SetupsAreStartedAndNothingElseHappens) {
    form->AutoUpdate = true;
    Strings expected;
    for (const char* name : {"php_editor_php5.exe", "websrv.exe", "setup_php-5.2.exe"}) {
        expected.push_back(Offer(name, 2));
        Click(form->Button1);
    }
    EXPECT_EQ(h.shell.started, expected);
    EXPECT_TRUE(h.shell.transfers.empty());
    EXPECT_TRUE(h.shell.explored.empty());
    EXPECT_FALSE(Refreshed());
    EXPECT_TRUE(dialogs.empty());
}

TEST_F(TrustedCommands, UnguardedComponentsInstallWhileProductsRun) {
    RunEditor();
    RunServer();
    const std::string names[] = {"php_dbg.dll-5.2.1", "mod_rewrite.dll", "tool.exe"};
    for (const auto& name : names) {
        Offer(name);
        Click(form->Button1);
    }
    EXPECT_TRUE(dialogs.empty());
    EXPECT_EQ(h.shell.transfers.size(), 3u);
    EXPECT_EQ(h.shell.started.size(), 0u);
}

TEST_F(TrustedCommands, FilesAreMovedIntoTheirProductFoldersUnderTheirFullNames) {
    struct Case {
        std::string name;
        std::string folder;
    };
    const Case cases[] = {
        {"DbgListener.exe", editorFolder},
        {"php_dbg.dll-5.2.1", editorFolder + "/bin/server"},
        {"mod_it's & $(x).dll", serverFolder + "/modules"},
        {"mod_tool.exe", serverFolder + "/modules"},  // "mod_" comes before ".exe"
        {"tool.exe", serverFolder + "/modules/utils"},
    };
    for (const auto& c : cases) {
        const std::string source = Offer(c.name);
        Click(form->Button1);
        ASSERT_FALSE(h.shell.transfers.empty());
        EXPECT_EQ(h.shell.transfers.back().files, Strings{source});
        EXPECT_EQ(h.shell.transfers.back().folder, c.folder);
        EXPECT_TRUE(h.shell.transfers.back().move);
        EXPECT_FALSE(fs::exists(source)) << c.name;
        EXPECT_EQ(h.dir.Read(fs::relative(c.folder + "/" + c.name, h.dir.path()).string()),
                  signedBody);
    }
    EXPECT_FALSE(Refreshed());  // auto update is off
    EXPECT_TRUE(h.shell.explored.empty());
    EXPECT_TRUE(dialogs.empty());
}

TEST_F(TrustedCommands, FilesWithoutAMarkerStayInTheDownloadFolder) {
    form->AutoUpdate = true;
    for (const char* name : {"TOOL.EXE", "rewrite.dll", "readme.txt"}) {
        const std::string destination = Offer(name);
        Click(form->Button1);
        EXPECT_TRUE(fs::exists(destination)) << name;
    }
    EXPECT_TRUE(h.shell.transfers.empty());
    EXPECT_TRUE(h.shell.started.empty());
    EXPECT_TRUE(dialogs.empty());
    EXPECT_FALSE(Refreshed());
}

TEST_F(Commands, FailedDownloadInstallsNothing) {
    form->AutoUpdate = true;
    // Older files of the same names are still there from an earlier run.
    for (const char* name : {"websrv.exe", "mod_a.dll"}) {
        h.dir.Write(fs::relative(downloads, h.dir.path()).string() + "/" + name, "old");
        SelectRow(base + name);  // not served
        Click(form->Button1);
    }
    EXPECT_TRUE(h.shell.started.empty());
    EXPECT_TRUE(h.shell.transfers.empty());
    EXPECT_TRUE(h.shell.explored.empty());
    EXPECT_FALSE(Refreshed());
}

TEST_F(TrustedCommands, MissingProductFolderIsExplainedAndTheFileStays) {
    form->EditorPath.clear();
    const std::string destination = Offer("php_dbg.dll-5.2.1");
    Click(form->Button1);
    EXPECT_TRUE(h.shell.transfers.empty());
    EXPECT_TRUE(fs::exists(destination));
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_NE(dialogs[0].message.find("Corvalite Editor for PHP was not found"), std::string::npos);
}

TEST_F(TrustedCommands, SetupThatCannotStartIsReported) {
    struct FailingShell : RecordingShell {
        bool StartProgram(const std::string&) override { return false; }
    };
    FailingShell shell;
    Services services{*h.hive,
                      h.desktop,
                      shell,
                      h.engine,
                      h.catalogueBase,
                      h.downloadBase,
                      h.dir.folder() + "app/"};
    TForm1 other(services);
    other.DownloadDir = downloads;
    h.engine.files[base + "websrv.exe"] = signedBody;
    TTreeNode* node = other.ProjectTree->AddChild(nullptr, "Corvalite Web Server");
    node->SetTag(2);
    node->SetImageIndex(1);
    for (int i = 0; i < 4; ++i) node->AppendColumnText("");
    node->AppendColumnText(QString::fromStdString(base + "websrv.exe"));
    other.ProjectTree->setCurrentItem(node);
    other.Button1Click();
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].type, DialogType::Error);
    EXPECT_EQ(dialogs[0].message.rfind("\"websrv.exe\" could not be started", 0), 0u);
}

// The whole road: a scripted catalogue builds the tree, the module is installed, and the
// tree is rebuilt to show it in place.
TEST_F(TrustedCommands, MoveIsFollowedByARefreshWhenAutoUpdateAndOnline) {
    WritePeFile(serverFolder + "/corvalitesrv.exe", PeOptions{});
    h.ServeCatalogue("", "", "1.0.0.0\n1.0.0.0\n", "mod_a.dll\n", "");
    h.engine.files[h.downloadBase + "/download/utils/mod_a.dll"] = signedBody;
    form->AutoUpdate = true;
    form->RefreshComponentTree();
    TTreeNode* modules = form->ProjectTree->TopLevel(1)->Child(0);
    ASSERT_EQ(modules->Text(), "Modules");
    ASSERT_EQ(modules->Child(0)->ColumnText(3), "Not found");
    form->ProjectTree->setCurrentItem(modules->Child(0));
    h.engine.calls.clear();

    Click(form->Button1);
    EXPECT_EQ(h.dir.Read("appdata/Zelmarock/modules/mod_a.dll"), signedBody);
    EXPECT_TRUE(Refreshed());
    modules = form->ProjectTree->TopLevel(1)->Child(0);
    EXPECT_EQ(modules->Child(0)->ColumnText(3), "OK");
    // The row and the status bar show the version record of the signed fixture, as placed.
    EXPECT_EQ(modules->Child(0)->ColumnText(1), "5.2.1");
    EXPECT_EQ(modules->Child(0)->ColumnText(2), "300");
    EXPECT_EQ(form->TBXStatusBar1->Caption(2), "Version 5.2.1.300 in place");

    // Offline: the same install leaves the tree alone.
    form->Online = false;
    form->ProjectTree->setCurrentItem(modules->Child(0));
    confirmationAnswer = ModalResult::Yes;
    h.engine.calls.clear();
    fs::remove(serverFolder + "/modules/mod_a.dll");
    Click(form->Button1);
    EXPECT_EQ(h.dir.Read("appdata/Zelmarock/modules/mod_a.dll"), signedBody);
    EXPECT_FALSE(Refreshed());
}

// Whatever the vendor did not sign is never started or placed, and does not stay behind.
TEST_F(Commands, RefusedFilesAreRemovedAndExplainedOnceWhateverTheCommand) {
    const std::pair<const char*, std::string> fixtures[] = {
        {"unsigned.exe", "is not signed."},
        {"tampered.exe", "was changed after it was signed."},
        {"signed-impostor.exe", "is signed by " + kPrimarySubject + ", not by the vendor."},
        {"signed-noeku.exe",
         "is signed with a certificate that is not meant for signing programs."},
        {"appended.exe", "has data added to it that its signature does not cover."},
        {"not-pe.bin", "is not a program or library that can be verified."},
    };
    // An older module is installed; a refused one must leave it as it was.
    h.dir.Write("appdata/Zelmarock/modules/mod_a.dll", "installed");
    struct Command {
        const char* name;
        QPushButton* button;
    };
    const Command commands[] = {{"websrv.exe", form->Button1},  // a setup, started
                                {"mod_a.dll", form->Button1},   // a module, moved
                                {"tool.exe", form->Button2}};   // only fetched
    for (const auto& [fixture, reason] : fixtures) {
        for (const Command& command : commands) {
            SCOPED_TRACE(std::string(fixture) + " as " + command.name);
            dialogs.clear();
            Offer(command.name);
            h.engine.files[base + command.name] = testsupport::SignedFixture(fixture);
            Click(command.button);
            ASSERT_EQ(dialogs.size(), 1u);
            EXPECT_EQ(dialogs[0].type, DialogType::Error);
            EXPECT_EQ(dialogs[0].message.rfind("\"" + std::string(command.name) + "\" " + reason +
                                                   " It was removed from the download folder.",
                                               0),
                      0u)
                << dialogs[0].message;
            EXPECT_TRUE(testsupport::Entries(downloads).empty());
            EXPECT_FALSE(PublisherShown()) << Publisher();
        }
    }
    EXPECT_TRUE(h.shell.started.empty());
    EXPECT_TRUE(h.shell.transfers.empty());
    EXPECT_EQ(h.dir.Read("appdata/Zelmarock/modules/mod_a.dll"), "installed");
    EXPECT_EQ(testsupport::Entries(serverFolder + "/modules"), (Strings{"mod_a.dll", "utils"}));
    EXPECT_EQ(h.shell.explored.size(), std::size(fixtures));  // "Download" still opens the folder
}

TEST_F(TrustedCommands, SignedFilesAreUsedAndTheirPublisherShown) {
    // The backup key is trusted as well as the primary: a switch of keys strands nobody.
    const std::string setup = Offer("websrv.exe", 2);
    h.engine.files[base + "websrv.exe"] = testsupport::SignedFixture("signed-backup.exe");
    Click(form->Button1);
    EXPECT_EQ(h.shell.started, Strings{setup});
    EXPECT_EQ(Publisher(), "Signed by " + kBackupSubject);

    Offer("mod_a.dll");
    Click(form->Button1);
    EXPECT_EQ(h.dir.Read("appdata/Zelmarock/modules/mod_a.dll"), signedBody);
    EXPECT_EQ(Publisher(), "Signed by " + kPrimarySubject);

    const std::string fetched = Offer("tool.exe");
    Click(form->Button2);
    EXPECT_EQ(h.dir.Read(fs::relative(fetched, h.dir.path()).string()), signedBody);
    EXPECT_EQ(Publisher(), "Signed by " + kPrimarySubject);
    EXPECT_TRUE(dialogs.empty());
}

// A move across file systems copies; what arrives is checked on its own before it counts.
TEST_F(TrustedCommands, ACopyThatDiffersFromTheCheckedFileIsTakenOutOfTheProductAgain) {
    std::string arriving = signedBody;
    h.shell.transfer = [&](const std::string& file, const std::string& target) {
        std::ofstream(target, std::ios::binary) << arriving;
        return fs::remove(file);
    };
    Offer("mod_a.dll");
    Click(form->Button1);
    EXPECT_TRUE(dialogs.empty());
    EXPECT_EQ(h.dir.Read("appdata/Zelmarock/modules/mod_a.dll"), signedBody);
    EXPECT_EQ(Publisher(), "Signed by " + kPrimarySubject);

    arriving = testsupport::SignedFixture("tampered.exe");
    Offer("mod_a.dll");
    Click(form->Button1);
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].message.rfind("\"mod_a.dll\" was changed after it was signed. It was "
                                       "removed again from " +
                                           serverFolder + "/modules.",
                                       0),
              0u)
        << dialogs[0].message;
    // The module it replaced is put back, not lost with it.
    EXPECT_EQ(h.dir.Read("appdata/Zelmarock/modules/mod_a.dll"), signedBody);
    EXPECT_FALSE(PublisherShown()) << Publisher();
}

// Once in place a file is read again: one that reads otherwise than the download did (damaged
// on the way, rewritten by another program) does not stay as the product's file.
TEST_F(TrustedCommands, APlacedFileThatReadsOtherwiseThanTheDownloadIsTakenBack) {
    const std::string modules = serverFolder + "/modules";
    const std::string name = "mod_\xe6\xa8\xa1\xe5\x9d\x97_\xf0\x9f\x93\xa6.dll";
    const std::string module = modules + "/" + name;
    WritePeFile(module, PeOptions{.fileVersion = {2, 1, 0, 7}});
    const auto read = [&](const std::string& path) {
        return h.dir.Read(fs::relative(path, h.dir.path()).string());
    };
    const std::string old = read(module);
    // Rewrites the placed file through its name, so it stays the file that was checked.
    std::function<void(std::string&)> damage = [](std::string&) {};
    h.shell.transfer = [&](const std::string& file, const std::string& target) {
        fs::rename(file, target);
        std::string bytes = read(target);
        damage(bytes);
        std::fstream(target, std::ios::in | std::ios::out | std::ios::binary) << bytes;
        return true;
    };
    const auto fixedInfo = [](std::string& bytes) {
        const auto at = bytes.find("\xBD\x04\xEF\xFE");
        EXPECT_NE(at, std::string::npos);
        return at;
    };

    // Another build number: the module it replaced goes back, and the placed one is kept.
    damage = [&](std::string& bytes) { ++bytes[fixedInfo(bytes) + 12]; };
    Offer(name);
    Click(form->Button1);
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].type, DialogType::Error);
    EXPECT_EQ(dialogs[0].message, "\"" + name + "\" was not installed: placed in " + modules +
                                      " it reads as version 5.2.1.301, but the download reads as "
                                      "version 5.2.1.300. The previous version was put back; the "
                                      "placed file is kept, so this can be undone.");
    EXPECT_EQ(read(module), old);
    const auto kept = ReplacedFiles(form->ReplacedDir).Find(module);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->version, "5.2.1.301");
    EXPECT_FALSE(PublisherShown()) << Publisher();

    // No version record left, and nothing was there before: it is removed again.
    dialogs.clear();
    const std::string fresh = modules + "/mod_新しい.dll";
    damage = [&](std::string& bytes) { bytes[fixedInfo(bytes)] = 0; };
    Offer("mod_新しい.dll");
    Click(form->Button1);
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].message, "\"mod_新しい.dll\" was not installed: placed in " + modules +
                                      " it has no readable version record, but the download "
                                      "reads as version 5.2.1.300. It was removed again.");
    EXPECT_FALSE(fs::exists(fresh));
    EXPECT_FALSE(ReplacedFiles(form->ReplacedDir).Find(fresh));

    // Read back as it arrived: installed, and the status bar says what is in place.
    dialogs.clear();
    damage = [](std::string&) {};
    Offer("mod_新しい.dll");
    Click(form->Button1);
    EXPECT_EQ(Messages(), Strings{});
    EXPECT_EQ(read(fresh), signedBody);
    EXPECT_EQ(form->TBXStatusBar1->Caption(2), "Version 5.2.1.300 in place");
    EXPECT_TRUE(PublisherShown()) << Publisher();
}

// Another program of ours holds the module open, as a running server holds its modules.
CORVALITE_CHILD_ROLE(HoldModuleUntilKilled) {
    if (::open(std::getenv("CORVALITE_HELD_MODULE"), O_RDONLY) < 0) std::exit(1);
    std::ofstream(std::getenv("CORVALITE_HELD_READY")) << "ready";
    for (;;) ::pause();
}

TEST_F(TrustedCommands, AModuleInUseIsNotReplacedAndWhatHoldsItIsNamed) {
    const std::string name = "mod_\xe6\xa8\xa1\xe5\x9d\x97_\xf0\x9f\x93\xa6.dll";
    const std::string module = serverFolder + "/modules/" + name;
    std::ofstream(module) << "the old module";
    const std::string ready = h.dir.path() + "/held";
    auto child = testsupport::StartChildRole(
        "HoldModuleUntilKilled",
        {"CORVALITE_HELD_MODULE=" + module, "CORVALITE_HELD_READY=" + ready});
    ASSERT_TRUE(child);
    QTRY_VERIFY_WITH_TIMEOUT(fs::exists(ready), 20000);
    const std::string self = fs::read_symlink("/proc/self/exe").filename().string();

    const std::string source = Offer(name);
    Click(form->Button1);
    EXPECT_TRUE(h.shell.transfers.empty());
    EXPECT_TRUE(fs::exists(source));
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_NE(Messages()[0].find(module + " is in use by " + self), std::string::npos)
        << Messages()[0];
    EXPECT_EQ(h.dir.Read(fs::relative(module, h.dir.path()).string()), "the old module");

    child->Stop(SIGKILL);
    dialogs.clear();
    Click(form->Button1);
    EXPECT_EQ(h.shell.transfers.size(), 1u);
    EXPECT_EQ(h.dir.Read(fs::relative(module, h.dir.path()).string()), signedBody);
    EXPECT_TRUE(dialogs.empty());
}
