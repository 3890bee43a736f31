// The desktop shell's file transfer on real files, with its questions and explanations.
#include <gtest/gtest.h>

#include <filesystem>

#include "gui/DesktopShell.h"
#include "gui/MessDlgs.h"
#include "gui/upd_utils.h"
#include "support/RecordingShell.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

struct DesktopShellFiles : ::testing::Test {
    TempDir dir;
    gui::DesktopShell shell;
    std::vector<MessageDialogRequest> dialogs;
    int replaceAnswer = ModalResult::Yes;
    ScopedMessageDialogHook hook{[this](const MessageDialogRequest& r) {
        dialogs.push_back(r);
        return r.type == DialogType::Confirmation ? replaceAnswer : ModalResult::OK;
    }};
    std::string target = dir.path() + "/modules";
    std::string source = dir.Write("download/mod_a.dll", "new");

    void SetUp() override { fs::create_directories(target); }
    bool Move(const Strings& files) { return shell.TransferFiles(nullptr, files, target, true); }
};

}  // namespace

TEST_F(DesktopShellFiles, MovesEveryFileWithoutAsking) {
    const std::string second = dir.Write("download/mod_b c.dll", "b");
    EXPECT_TRUE(Move({source, second}));
    EXPECT_EQ(dir.Read("modules/mod_a.dll"), "new");
    EXPECT_EQ(dir.Read("modules/mod_b c.dll"), "b");
    EXPECT_FALSE(fs::exists(source));
    EXPECT_TRUE(dialogs.empty());
}

TEST_F(DesktopShellFiles, CopyKeepsTheSource) {
    EXPECT_TRUE(shell.TransferFiles(nullptr, {source}, target, false));
    EXPECT_EQ(dir.Read("modules/mod_a.dll"), "new");
    EXPECT_EQ(dir.Read("download/mod_a.dll"), "new");
}

TEST_F(DesktopShellFiles, AsksBeforeReplacingAndNoKeepsTheOldFile) {
    dir.Write("modules/mod_a.dll", "old");
    replaceAnswer = ModalResult::No;
    EXPECT_FALSE(Move({source}));
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].type, DialogType::Confirmation);
    EXPECT_EQ(dialogs[0].buttons, mbYes | mbNo);
    EXPECT_EQ(dialogs[0].message, "The folder \"" + target +
                                      "\" already contains a file named \"mod_a.dll\". Do you "
                                      "want to replace it?");
    EXPECT_EQ(dir.Read("modules/mod_a.dll"), "old");
    EXPECT_EQ(dir.Read("download/mod_a.dll"), "new");

    replaceAnswer = ModalResult::Yes;
    EXPECT_TRUE(Move({source}));
    EXPECT_EQ(dir.Read("modules/mod_a.dll"), "new");
    EXPECT_FALSE(fs::exists(source));
}

TEST_F(DesktopShellFiles, ReadOnlyFileIsNotReplacedAndTheUserIsTold) {
    const std::string old = dir.Write("modules/mod_a.dll", "old");
    fs::permissions(old, fs::perms::owner_read);
    EXPECT_FALSE(Move({source}));
    ASSERT_EQ(dialogs.size(), 2u);
    EXPECT_EQ(dialogs[1].type, DialogType::Error);
    EXPECT_EQ(dialogs[1].buttons, mbOK);
    EXPECT_EQ(dialogs[1].message, "Cannot move \"mod_a.dll\" into \"" + target +
                                      "\": the file of that name in the destination folder is "
                                      "read-only.");
    EXPECT_EQ(dir.Read("modules/mod_a.dll"), "old");
    EXPECT_EQ(dir.Read("download/mod_a.dll"), "new");
}

TEST_F(DesktopShellFiles, EachFailureIsExplainedAndTheRestStillMoves) {
    const std::string later = dir.Write("download/mod_c.dll", "c");
    EXPECT_FALSE(Move({dir.path() + "/download/vanished.dll", later}));
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].message, "Cannot move \"vanished.dll\" into \"" + target +
                                      "\": the file does not exist (any more).");
    EXPECT_EQ(dir.Read("modules/mod_c.dll"), "c");

    dialogs.clear();
    EXPECT_FALSE(shell.TransferFiles(nullptr, {source}, dir.path() + "/nowhere", true));
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_NE(dialogs[0].message.find("the destination folder does not exist"), std::string::npos);
    EXPECT_EQ(dir.Read("download/mod_a.dll"), "new");
}

TEST_F(DesktopShellFiles, StartingAMissingProgramFails) {
    EXPECT_FALSE(shell.StartProgram(dir.path() + "/download/missing.exe"));
}

TEST(ShellFileOperation, EmptyListDoesNothing) {
    RecordingShell recording;
    EXPECT_FALSE(ShellFileOperation(recording, nullptr, {}, "/tmp", true));
    EXPECT_TRUE(recording.transfers.empty());
}

TEST(ShellFileOperation, PassesTheListAndFlagThrough) {
    RecordingShell recording;
    recording.performTransfers = false;
    EXPECT_TRUE(ShellFileOperation(recording, nullptr, {"/d/a", "/d/b"}, "/m", false));
    ASSERT_EQ(recording.transfers.size(), 1u);
    EXPECT_EQ(recording.transfers[0].files, (Strings{"/d/a", "/d/b"}));
    EXPECT_EQ(recording.transfers[0].folder, "/m");
    EXPECT_FALSE(recording.transfers[0].move);
}
