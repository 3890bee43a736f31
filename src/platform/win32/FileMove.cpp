// Where the shell's file operation puts a file. The moving itself is the shell's
// (SHFileOperationW, win32/ShellFiles.cpp); the program only asks where the file landed.
#include <windows.h>

#include "platform/FileMove.h"
#include "platform/win32/Wide.h"

namespace platform {

// The file system ignores letter case, so the joined name already names a file that differs
// from it only in case.
std::string TransferTarget(const std::string& source, const std::string& folder) {
    const std::size_t cut = source.find_last_of("\\/:");
    const std::string name = cut == std::string::npos ? source : source.substr(cut + 1);
    const bool delimited = !folder.empty() && (folder.back() == '\\' || folder.back() == '/');
    return folder + (delimited ? "" : "\\") + name;
}

// Anything of that name counts, a folder or a link too: the caller asks before it is replaced.
bool TransferTargetExists(const std::string& source, const std::string& folder) {
    return GetFileAttributesW(win32::Wide(TransferTarget(source, folder)).c_str()) !=
           INVALID_FILE_ATTRIBUTES;
}

}  // namespace platform
