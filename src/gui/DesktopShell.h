#pragma once
// The shell of a Linux desktop: the file manager through QDesktopServices, the folder picker
// through QFileDialog, programs and file moves through the platform's services.
#include "gui/Shell.h"

namespace gui {

class DesktopShell : public Shell {
  public:
    void ExploreFolder(const std::string& folder) override;  // DesktopShellFolders.cpp
    bool PickFolder(QWidget* owner, const std::string& caption, std::string& folder,
                    unsigned flags) override;             // DesktopShellFolders.cpp
    bool StartProgram(const std::string& path) override;  // DesktopShellFiles.cpp
    bool TransferFiles(QWidget* owner, const std::vector<std::string>& files,
                       const std::string& folder, bool move) override;  // DesktopShellFiles.cpp
};

}  // namespace gui
