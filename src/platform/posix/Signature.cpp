#include "platform/Signature.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/Authenticode.h"

namespace platform {

SignatureCheck CheckSignature(int fd, const std::string& /*pathUtf8*/) {
    struct stat status {};
    if (fd < 0 || ::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        SignatureCheck check;
        check.status = SignatureStatus::Unreadable;
        check.detail = "not a plain file open for reading";
        return check;
    }
    const ReadAt read = [fd](std::uint64_t offset, std::size_t size, std::uint8_t* out) {
        while (size > 0) {
            const ssize_t got = ::pread(fd, out, size, static_cast<off_t>(offset));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return false;
            out += got;
            size -= static_cast<std::size_t>(got);
            offset += static_cast<std::uint64_t>(got);
        }
        return true;
    };
    return CheckAuthenticode(read, static_cast<std::uint64_t>(status.st_size));
}

}  // namespace platform
