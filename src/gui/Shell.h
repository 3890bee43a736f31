#pragma once
// What the units ask of the desktop shell: open a folder in the file manager, start a
// program, pick a folder, move or copy files into a folder. Tests record or script it.
#include <string>
#include <vector>

class QWidget;

namespace gui {

class Shell {
  public:
    virtual ~Shell() = default;
    // Opens the folder in the desktop's file manager; failures are silent.
    virtual void ExploreFolder(const std::string& folder) = 0;
    // Starts the program without waiting for it; false when it could not be started.
    virtual bool StartProgram(const std::string& path) = 0;
    // The modal folder picker. folder: in, the folder to preselect (may be empty);
    // out, the picked folder. True only when the user picked one.
    virtual bool PickFolder(QWidget* owner, const std::string& caption, std::string& folder,
                            unsigned flags) = 0;
    // Moves (or copies) every file into folder with a shell's manners: asks before
    // replacing, explains failures. True exactly when every file was done.
    virtual bool TransferFiles(QWidget* owner, const std::vector<std::string>& files,
                               const std::string& folder, bool move) = 0;
};

}  // namespace gui
