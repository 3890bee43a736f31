#include "platform/DurableFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/PlainFile.h"
#include "platform/posix/FileDescriptor.h"

namespace platform {

namespace {

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A rename is durable only once its folder is synced.
bool SyncFolder(const std::string& path) {
    FileDescriptor folder(::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return folder && ::fsync(folder.get()) == 0;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// A fresh, empty plain file of ours under `path`: whatever a stop left there goes first.
FileDescriptor OpenFresh(const std::string& path) {
    ::unlink(path.c_str());
    const OpenedPlainFile opened = OpenPlainFile(path, true);
    FileDescriptor fd(opened.fd);
    if (fd && ::ftruncate(fd.get(), 0) != 0) fd.reset(-1);
    return fd;
}

bool Finish(FileDescriptor& fd, const std::string& temp, const std::string& path) {
    const bool ok = ::fsync(fd.get()) == 0 && fd.close() == 0 &&
                    ::rename(temp.c_str(), path.c_str()) == 0 && SyncFolder(path);
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

}  // namespace

bool WriteFileDurably(const std::string& pathUtf8, const std::string& bytes) {
    const std::string temp = pathUtf8 + ".tmp";
    FileDescriptor fd = OpenFresh(temp);
    if (!fd) return false;
    if (!WriteAll(fd.get(), bytes.data(), bytes.size())) {
        ::unlink(temp.c_str());
        return false;
    }
    return Finish(fd, temp, pathUtf8);
}

bool CopyFileDurably(const std::string& fromUtf8, const std::string& toUtf8,
                     const std::string& tempUtf8) {
    FileDescriptor from(::open(fromUtf8.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!from) return false;
    FileDescriptor to = OpenFresh(tempUtf8);
    if (!to) return false;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(from.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got == 0) break;
        if (got < 0 || !WriteAll(to.get(), buffer, static_cast<std::size_t>(got))) {
            ::unlink(tempUtf8.c_str());
            return false;
        }
    }
    return Finish(to, tempUtf8, toUtf8);
}

bool RenameOver(const std::string& fromUtf8, const std::string& toUtf8) {
    return ::rename(fromUtf8.c_str(), toUtf8.c_str()) == 0 && SyncFolder(toUtf8);
}

}  // namespace platform
