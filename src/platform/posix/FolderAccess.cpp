#include "platform/FolderAccess.h"

#include <unistd.h>

namespace platform {

bool CanWriteFolder(const std::string& folder) {
    // Creating an entry needs both write and search permission on the folder.
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

}  // namespace platform
