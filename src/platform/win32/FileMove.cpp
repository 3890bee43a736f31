// Where the shell's file operation puts a file. The moving itself is the shell's
// (SHFileOperationW, win32/ShellFiles.cpp); the program only asks where the file landed.
#include "platform/FileMove.h"

namespace platform {

// The file system ignores letter case, so the joined name already names a file that differs
// from it only in case.
std::string TransferTarget(const std::string& source, const std::string& folder) {
    const std::size_t cut = source.find_last_of("\\/:");
    const std::string name = cut == std::string::npos ? source : source.substr(cut + 1);
    const bool delimited = !folder.empty() && (folder.back() == '\\' || folder.back() == '/');
    return folder + (delimited ? "" : "\\") + name;
}

}  // namespace platform
