#include <windows.h>
#include <shellapi.h>

#include "platform/win32/Shell.h"

namespace platform::win32 {
namespace {

HWND Handle(OwnerWindow owner) {
    return reinterpret_cast<HWND>(owner);
}

// The shell's name lists: each name ended by a zero, the list by another.
std::string NameList(const std::vector<std::string>& names) {
    std::string list;
    for (const auto& name : names) list.append(name).push_back('\0');
    list.push_back('\0');
    return list;
}

}  // namespace

void ExploreFolder(OwnerWindow owner, const std::string& folder) {
    ShellExecuteA(Handle(owner), "explore", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

bool ShellFileOperation(OwnerWindow owner, const std::vector<std::string>& files,
                        const std::string& folder, bool move) {
    if (files.empty()) return false;
    // An empty name would end the list early and leave the rest undone unseen.
    for (const auto& file : files)
        if (file.empty()) return false;
    const std::string from = NameList(files);
    const std::string to = NameList({folder});
    SHFILEOPSTRUCTA operation{};
    operation.hwnd = Handle(owner);
    operation.wFunc = move ? FO_MOVE : FO_COPY;
    operation.pFrom = from.c_str();
    operation.pTo = to.c_str();
    operation.fFlags = 0;  // none of the shell's confirmations or messages suppressed
    // A cancelled confirmation can still give 0; the shell says so in this flag.
    return SHFileOperationA(&operation) == 0 && !operation.fAnyOperationsAborted;
}

}  // namespace platform::win32
