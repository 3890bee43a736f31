#include "gui/upd_utils.h"

#include <filesystem>
#include <system_error>

#include "gui/Shell.h"
#include "platform/BrowseFlags.h"
#include "platform/Paths.h"

namespace {

bool IsExistingFolder(const std::string& folder) {
    if (folder.empty()) return false;
    std::error_code error;
    return std::filesystem::is_directory(platform::PathFromUtf8(folder), error);
}

}  // namespace

bool BrowseForFolder(gui::Shell& shell, QWidget* owner, const std::string& caption,
                     const QString& /*rootPath*/, std::string& folder, bool ShowEditBox,
                     bool IncludeFiles, bool AllowNewFolder) {
    // A folder that is gone cannot be preselected; the picker then opens without one.
    if (!IsExistingFolder(folder)) folder.clear();
    const unsigned flags = platform::BrowseFlags(ShowEditBox, IncludeFiles, AllowNewFolder);
    std::string picked = folder;
    if (!shell.PickFolder(owner, caption, picked, flags)) return false;
    folder = picked;
    return true;
}

void ExploreFolder(gui::Shell& shell, const std::string& folder) {
    shell.ExploreFolder(folder);
}

bool ShellFileOperation(gui::Shell& shell, QWidget* owner, const std::vector<std::string>& files,
                        const std::string& destinationFolder, bool move) {
    if (files.empty()) return false;
    return shell.TransferFiles(owner, files, destinationFolder, move);
}
