#pragma once
// The Windows shell itself: the explorer, the shell's folder picker and its file operation,
// each with the main window as owner so they stay in front of it.
#include "gui/Shell.h"

namespace gui {

class WindowsShell : public Shell {
  public:
    void ExploreFolder(const std::string& folder) override;
    bool StartProgram(const std::string& path) override;
    bool PickFolder(QWidget* owner, const std::string& caption, std::string& folder,
                    unsigned flags) override;
    bool TransferFiles(QWidget* owner, const std::vector<std::string>& files,
                       const std::string& folder, bool move) override;

    // Without a window (the unattended mode) the shell's own questions would wait for nobody.
    bool quiet = false;
};

}  // namespace gui
