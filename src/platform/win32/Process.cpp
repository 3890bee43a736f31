#include "platform/Process.h"

#include <windows.h>

#include "platform/win32/Wide.h"

namespace platform {

// The whole path in double quotes, so a folder with a blank ("C:\Program Files\...") is never
// read as a shorter program name followed by arguments. A Windows file name cannot hold a
// quote, so quoting cannot be broken out of. Started shown and not waited for, as WinExec
// would; CreateProcessW because WinExec has no wide form.
bool StartProgram(const std::string& path) {
    if (path.empty() || path.find('"') != std::string::npos) return false;
    std::wstring commandLine = L'"' + win32::Wide(path) + L'"';  // the call may write into it
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started))
        return false;
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return true;
}

}  // namespace platform
