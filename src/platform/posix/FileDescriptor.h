#pragma once
// An open file descriptor that closes itself.
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace platform {

class FileDescriptor {
  public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { close(); }
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            close();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }

    explicit operator bool() const { return fd_ >= 0; }
    int get() const { return fd_; }
    void reset(int fd) {
        close();
        fd_ = fd;
    }
    // 0, or the errno of a failed close (a late write error on some file systems).
    int close() {
        if (fd_ < 0) return 0;
        const int result = ::close(std::exchange(fd_, -1));
        return result == 0 ? 0 : errno;
    }

  private:
    int fd_ = -1;
};

}  // namespace platform
