#include "platform/PlainFile.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <filesystem>

namespace platform {

namespace {

std::wstring Wide(const std::string& pathUtf8) {
    return std::filesystem::path(std::u8string(pathUtf8.begin(), pathUtf8.end())).wstring();
}

}  // namespace

OpenedPlainFile OpenPlainFile(const std::string& pathUtf8, bool create, PlainFileLock lock) {
    OpenedPlainFile opened;
    const std::wstring path = Wide(pathUtf8);
    // Without a lock nobody else may write while it is open. With one, others may open it,
    // to ask for the lock and be told who holds it, but the lock over every byte keeps their
    // reads and writes out just the same.
    const DWORD share =
        FILE_SHARE_READ | FILE_SHARE_DELETE | (lock == PlainFileLock::None ? 0 : FILE_SHARE_WRITE);
    // FILE_FLAG_OPEN_REPARSE_POINT opens a symbolic link or junction itself, not its target.
    const HANDLE handle =
        CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr,
                    create ? OPEN_ALWAYS : OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        opened.inTheWay = error == ERROR_ACCESS_DENIED &&
                          (GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                          GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
        opened.error =
            error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ENOENT : EACCES;
        return opened;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool plain =
        GetFileInformationByHandle(handle, &info) != 0 && GetFileType(handle) == FILE_TYPE_DISK &&
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0 &&
        info.nNumberOfLinks == 1;
    if (!plain) {
        CloseHandle(handle);
        opened.inTheWay = true;
        opened.error = EACCES;
        return opened;
    }
    if (lock != PlainFileLock::None) {
        // Held by this handle until it is closed.
        OVERLAPPED from{};
        const DWORD flags =
            LOCKFILE_EXCLUSIVE_LOCK | (lock == PlainFileLock::Try ? LOCKFILE_FAIL_IMMEDIATELY : 0);
        if (!LockFileEx(handle, flags, 0, MAXDWORD, MAXDWORD, &from)) {
            const DWORD error = GetLastError();
            CloseHandle(handle);
            opened.heldElsewhere = error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING;
            opened.error = opened.heldElsewhere ? EBUSY : EACCES;
            return opened;
        }
    }
    opened.fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
    if (opened.fd < 0) {
        CloseHandle(handle);
        opened.error = EMFILE;
    }
    return opened;
}

void ClosePlainFile(int fd) {
    _close(fd);
}

bool StillNamesPlainFile(int fd, const std::string& pathUtf8) {
    const auto opened = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    const HANDLE named = CreateFileW(Wide(pathUtf8).c_str(), FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (opened == INVALID_HANDLE_VALUE || named == INVALID_HANDLE_VALUE) {
        if (named != INVALID_HANDLE_VALUE) CloseHandle(named);
        return false;
    }
    BY_HANDLE_FILE_INFORMATION a{};
    BY_HANDLE_FILE_INFORMATION b{};
    const bool same =
        GetFileInformationByHandle(opened, &a) != 0 && GetFileInformationByHandle(named, &b) != 0 &&
        a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
        a.nFileIndexLow == b.nFileIndexLow &&
        (b.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 && b.nNumberOfLinks == 1;
    CloseHandle(named);
    return same;
}

}  // namespace platform
