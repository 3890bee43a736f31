#pragma once
// Shell helpers of the units: the folder picker and opening a folder in the file manager.
#include <QString>
#include <string>
#include <vector>

class QWidget;

namespace gui {
class Shell;
}

// Lets the user pick a folder. folder: in, the folder to preselect; a text that does not name
// an existing folder is emptied first, and the caller sees that even when the user cancels.
// out, the picked folder. True only when a folder was picked. The program's other windows
// take no input while the picker is open. rootPath is accepted for the callers' sake; the
// desktop's picker cannot confine browsing below a root, so it is not used here.
bool BrowseForFolder(gui::Shell& shell, QWidget* owner, const std::string& caption,
                     const QString& rootPath, std::string& folder, bool ShowEditBox,
                     bool IncludeFiles, bool AllowNewFolder);

// Opens the folder in the desktop's file manager; failures are silent.
void ExploreFolder(gui::Shell& shell, const std::string& folder);

// Moves (move true) or copies every file into destinationFolder through the shell, which asks
// before replacing a file and explains failures. True exactly when every file was done; an
// empty list does nothing and gives false.
bool ShellFileOperation(gui::Shell& shell, QWidget* owner, const std::vector<std::string>& files,
                        const std::string& destinationFolder, bool move);
