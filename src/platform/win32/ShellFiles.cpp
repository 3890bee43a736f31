#include <windows.h>
#include <shellapi.h>

#include "platform/win32/Shell.h"
#include "platform/win32/Wide.h"

namespace platform::win32 {
namespace {

HWND Handle(OwnerWindow owner) {
    return reinterpret_cast<HWND>(owner);
}

// The shell's name lists: each name ended by a zero, the list by another.
std::wstring NameList(const std::vector<std::string>& names) {
    std::wstring list;
    for (const auto& name : names) list.append(Wide(name)).push_back(L'\0');
    list.push_back(L'\0');
    return list;
}

}  // namespace

void ExploreFolder(OwnerWindow owner, const std::string& folder) {
    ShellExecuteW(Handle(owner), L"explore", Wide(folder).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

bool ShellFileOperation(OwnerWindow owner, const std::vector<std::string>& files,
                        const std::string& folder, bool move, FileOperation operate, bool quiet) {
    if (files.empty()) return false;
    // An empty name would end the list early and leave the rest undone unseen.
    for (const auto& file : files)
        if (file.empty()) return false;
    const std::wstring from = NameList(files);
    const std::wstring to = NameList({folder});
    SHFILEOPSTRUCTW operation{};
    operation.hwnd = Handle(owner);
    operation.wFunc = move ? FO_MOVE : FO_COPY;
    operation.pFrom = from.c_str();
    operation.pTo = to.c_str();
    // None of the shell's confirmations or messages suppressed, unless nobody could answer.
    operation.fFlags =
        quiet ? FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI | FOF_SILENT : 0;
    // A cancelled confirmation can still give 0; the shell says so in this flag.
    const int result = operate ? operate(&operation) : SHFileOperationW(&operation);
    return result == 0 && !operation.fAnyOperationsAborted;
}

}  // namespace platform::win32
