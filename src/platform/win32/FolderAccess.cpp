#include "platform/FolderAccess.h"

#include <windows.h>

#include "platform/win32/Wide.h"

namespace platform {

bool CanWriteFolder(const std::string& folder) {
    // The folder's access list, its volume and the user's rights together decide; asking the
    // system to create (and at once drop) a file there is the one answer that covers them all.
    // The read-only attribute of a folder means nothing to Windows, so it is not looked at.
    std::string probe = folder;
    if (!probe.empty() && probe.back() != '\\' && probe.back() != '/') probe += '\\';
    probe += "~corvalite-write-probe.tmp";
    const HANDLE file =
        CreateFileW(win32::Wide(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_EXISTS;
    CloseHandle(file);
    return true;
}

}  // namespace platform
