#include "platform/PlainFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

OpenedPlainFile OpenPlainFile(const std::string& pathUtf8, bool create, PlainFileLock lock) {
    OpenedPlainFile opened;
    // O_NONBLOCK: a planted FIFO must not hang the open; it is refused below.
    const int flags = O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | (create ? O_CREAT : 0);
    const int fd = ::open(pathUtf8.c_str(), flags, 0644);
    if (fd < 0) {
        opened.error = errno;
        opened.inTheWay = errno == ELOOP || errno == EISDIR || errno == ENXIO;
        return opened;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_nlink != 1) {
        opened.error = errno;
        opened.inTheWay = true;
        ::close(fd);
        return opened;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    // flock belongs to this open file description: it goes with the last close of `fd`, and
    // a child started later never inherits it (O_CLOEXEC).
    if (lock != PlainFileLock::None) {
        int locked = 0;
        do {
            locked = ::flock(fd, LOCK_EX | (lock == PlainFileLock::Try ? LOCK_NB : 0));
        } while (locked != 0 && errno == EINTR);
        if (locked != 0) {
            opened.error = errno;
            opened.heldElsewhere = errno == EWOULDBLOCK;
            ::close(fd);
            return opened;
        }
    }
    opened.fd = fd;
    return opened;
}

void ClosePlainFile(int fd) {
    ::close(fd);
}

bool StillNamesPlainFile(int fd, const std::string& pathUtf8) {
    struct stat opened {};
    struct stat named {};
    return ::fstat(fd, &opened) == 0 && ::lstat(pathUtf8.c_str(), &named) == 0 &&
           S_ISREG(named.st_mode) && named.st_dev == opened.st_dev &&
           named.st_ino == opened.st_ino && named.st_nlink == 1;
}

}  // namespace platform
