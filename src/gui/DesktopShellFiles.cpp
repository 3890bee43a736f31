// Programs and file moves of the desktop shell: the platform does the work, the shell asks
// before replacing and says plainly what went wrong.
#include <string>

#include "gui/DesktopShell.h"
#include "gui/MessDlgs.h"
#include "platform/FileMove.h"
#include "platform/Process.h"

namespace gui {

namespace {

using platform::TransferError;

std::string NameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Reason(const platform::TransferResult& result) {
    switch (result.error) {
        case TransferError::SourceMissing:
            return "the file does not exist (any more)";
        case TransferError::SourceNotFile:
            return "it is a folder, not a file";
        case TransferError::SourceUnreadable:
            return "the file cannot be read";
        case TransferError::SourceFolderNotWritable:
            return "it cannot be taken out of its folder, which is not writable";
        case TransferError::TargetFolderMissing:
            return "the destination folder does not exist";
        case TransferError::TargetFolderNotWritable:
            return "the destination folder is not writable";
        case TransferError::TargetExists:
            return "a file of that name is already there";
        case TransferError::TargetReadOnly:
            return "the file of that name in the destination folder is read-only";
        case TransferError::TargetNotFile:
            return "a folder of that name is in the destination folder";
        case TransferError::SameFile:
            return "source and destination are the same file";
        case TransferError::DiskFull:
            return "there is not enough space on the disk";
        case TransferError::SourceKept:
            return "it was copied, but the original could not be removed";
        case TransferError::None:
        case TransferError::Other:
            break;
    }
    return result.detail.empty() ? "of an unknown error" : result.detail;
}

bool AskToReplace(const std::string& name, const std::string& folder) {
    const std::string question = "The folder \"" + folder + "\" already contains a file named \"" +
                                 name + "\". Do you want to replace it?";
    return MessageDialog(question, mtConfirmation, mbYesNo, 0, kEnglish) == ModalResult::Yes;
}

void ShowFailure(const std::string& name, const std::string& folder, bool move,
                 const platform::TransferResult& result) {
    std::string text = std::string("Cannot ") + (move ? "move" : "copy") + " \"" + name +
                       "\" into \"" + folder + "\": " + Reason(result) + ".";
    if (result.error != TransferError::Other && !result.detail.empty())
        text += " (" + result.detail + ")";
    MessageDialog(text, mtError, mbOK, 0, kEnglish);
}

// One file: tried without replacing first, so a file that turns up meanwhile is asked about too.
bool TransferOne(const std::string& file, const std::string& folder, bool move) {
    const auto mode = move ? platform::TransferMode::Move : platform::TransferMode::Copy;
    auto result = platform::TransferFile(file, folder, mode, false);
    if (result.error == TransferError::TargetExists) {
        // Named as it is on disk, which may differ from the new file's name in letter case.
        if (!AskToReplace(NameOf(platform::TransferTarget(file, folder)), folder))
            return false;  // the old file stays
        result = platform::TransferFile(file, folder, mode, true);
    }
    if (result.ok()) return true;
    ShowFailure(NameOf(file), folder, move, result);
    return false;
}

}  // namespace

bool DesktopShell::StartProgram(const std::string& path) {
    return platform::StartProgram(path);
}

bool DesktopShell::TransferFiles(QWidget* /*owner*/, const std::vector<std::string>& files,
                                 const std::string& folder, bool move) {
    bool all = !files.empty();
    for (const auto& file : files) all = TransferOne(file, folder, move) && all;
    return all;
}

}  // namespace gui
