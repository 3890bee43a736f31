// The units' shell requests handed to the Windows shell functions of the platform layer.
#include "gui/WindowsShell.h"

#include <QWidget>

#include "platform/Process.h"
#include "platform/win32/Shell.h"

namespace gui {

namespace {

// The top-level window's handle; 0 (no owner) when there is no window to own the dialog.
platform::win32::OwnerWindow OwnerOf(QWidget* widget) {
    if (widget == nullptr) return 0;
    return static_cast<platform::win32::OwnerWindow>(widget->window()->winId());
}

}  // namespace

void WindowsShell::ExploreFolder(const std::string& folder) {
    platform::win32::ExploreFolder(0, folder);
}

bool WindowsShell::StartProgram(const std::string& path) {
    return platform::StartProgram(path);
}

bool WindowsShell::PickFolder(QWidget* owner, const std::string& caption, std::string& folder,
                              unsigned flags) {
    return platform::win32::BrowseForFolder(OwnerOf(owner), caption, std::wstring(), folder, flags);
}

bool WindowsShell::TransferFiles(QWidget* owner, const std::vector<std::string>& files,
                                 const std::string& folder, bool move) {
    if (files.empty()) return false;
    return platform::win32::ShellFileOperation(OwnerOf(owner), files, folder, move, nullptr, quiet);
}

}  // namespace gui
