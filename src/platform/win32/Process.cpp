#include "platform/Process.h"

#include <windows.h>

namespace platform {

// The whole path in double quotes, so a folder with a blank ("C:\Program Files\...") is never
// read as a shorter program name followed by arguments. A Windows file name cannot hold a
// quote, so quoting cannot be broken out of.
bool StartProgram(const std::string& path) {
    if (path.empty() || path.find('"') != std::string::npos) return false;
    const std::string commandLine = '"' + path + '"';
    return WinExec(commandLine.c_str(), SW_SHOW) > 31;
}

}  // namespace platform
