#include "platform/HeldFile.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cerrno>

#include "platform/win32/Wide.h"

namespace platform {

namespace {

int ErrnoOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_NETPATH:
            return ENOENT;
        // Someone else has it open for writing (or for deleting): what we would check could
        // still change under us.
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return EBUSY;
        case ERROR_ACCESS_DENIED:
            return EACCES;
        default:
            return EIO;
    }
}

// Only a file on a disk with this one name: through a second name or a link it could be
// changed by whoever holds that.
bool IsPlainFile(HANDLE handle, BY_HANDLE_FILE_INFORMATION& info) {
    return GetFileInformationByHandle(handle, &info) != 0 &&
           GetFileType(handle) == FILE_TYPE_DISK &&
           (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) ==
               0 &&
           info.nNumberOfLinks == 1;
}

}  // namespace

HeldFile::HeldFile(const std::string& pathUtf8, Use use) {
    // No FILE_SHARE_WRITE: while we hold it nobody can change the bytes we checked. Without
    // FILE_SHARE_DELETE nobody can rename or delete it either, which starting from where it
    // lies needs; a file we move ourselves must stay renamable.
    const DWORD share = use == Use::Start ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_DELETE;
    // FILE_FLAG_OPEN_REPARSE_POINT opens a symbolic link or junction itself, not its target.
    const HANDLE handle =
        CreateFileW(win32::Wide(pathUtf8).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        // A folder cannot be opened so; say what it is, as elsewhere.
        const DWORD attributes = GetFileAttributesW(win32::Wide(pathUtf8).c_str());
        error_ = error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
                         (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                     ? EISDIR
                     : ErrnoOf(error);
        return;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!IsPlainFile(handle, info)) {
        // A link or junction, a device or pipe, or a file that also has another name.
        error_ = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? ELOOP
                 : GetFileType(handle) != FILE_TYPE_DISK                     ? ENXIO
                                                                             : EMLINK;
        CloseHandle(handle);
        return;
    }
    volume_ = info.dwVolumeSerialNumber;
    fd_ = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd_ < 0) {
        CloseHandle(handle);
        error_ = EMFILE;
    }
}

HeldFile::~HeldFile() {
    close();
}

void HeldFile::close() {
    if (fd_ >= 0) _close(fd_);  // closes the handle too
    fd_ = -1;
}

bool HeldFile::isNamedBy(const std::string& pathUtf8) const {
    if (fd_ < 0) return false;
    const auto held = reinterpret_cast<HANDLE>(_get_osfhandle(fd_));
    // Attributes only, sharing everything: asking must not be refused because we hold it.
    const HANDLE named = CreateFileW(win32::Wide(pathUtf8).c_str(), FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (held == INVALID_HANDLE_VALUE || named == INVALID_HANDLE_VALUE) {
        if (named != INVALID_HANDLE_VALUE) CloseHandle(named);
        return false;
    }
    BY_HANDLE_FILE_INFORMATION a{};
    BY_HANDLE_FILE_INFORMATION b{};
    // The volume as it was at the open (see HeldFile.h): a file stays on its volume while open.
    const bool same = GetFileInformationByHandle(held, &a) != 0 && IsPlainFile(named, b) &&
                      volume_ == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
                      a.nFileIndexLow == b.nFileIndexLow;
    CloseHandle(named);
    return same;
}

}  // namespace platform
