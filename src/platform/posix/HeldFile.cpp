#include "platform/HeldFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

// Elsewhere than on Windows nobody can be kept from writing, renaming or deleting; the
// caller asks isNamedBy before it uses the name, and reads the bytes through fd() itself.
HeldFile::HeldFile(const std::string& pathUtf8, Use /*use*/) {
    // O_NONBLOCK: a planted FIFO must not hang the open; it is refused below.
    const int fd = ::open(pathUtf8.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error_ = errno;
        return;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        error_ = errno;
        ::close(fd);
        return;
    }
    if (!S_ISREG(status.st_mode) || status.st_nlink != 1) {
        // A folder, a device or FIFO, or a file that also has another name.
        error_ = S_ISDIR(status.st_mode) ? EISDIR : !S_ISREG(status.st_mode) ? ENXIO : EMLINK;
        ::close(fd);
        return;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    fd_ = fd;
}

HeldFile::~HeldFile() {
    close();
}

bool HeldFile::isNamedBy(const std::string& pathUtf8) const {
    struct stat held {};
    struct stat named {};
    return fd_ >= 0 && ::fstat(fd_, &held) == 0 && ::lstat(pathUtf8.c_str(), &named) == 0 &&
           S_ISREG(named.st_mode) && named.st_nlink == 1 && named.st_dev == held.st_dev &&
           named.st_ino == held.st_ino;
}

void HeldFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

}  // namespace platform
