#include "platform/VersionInfo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/posix/PeVersionResource.h"

namespace platform {
namespace {

class FileSource final : public ByteSource {
  public:
    // Opening never blocks (a FIFO would), and only regular files are read: a device or
    // a folder has no version record.
    explicit FileSource(const std::string& path)
        : fd_(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)) {
        struct stat st {};
        if (fd_ >= 0 && fstat(fd_, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 0)
            size_ = static_cast<std::uint64_t>(st.st_size);
        else
            Close();
    }
    ~FileSource() override { Close(); }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    std::uint64_t Size() const override { return size_; }

    bool ReadAt(std::uint64_t offset, void* out, std::size_t size) const override {
        auto* bytes = static_cast<char*>(out);
        while (size > 0) {
            const ssize_t got = pread(fd_, bytes, size, static_cast<off_t>(offset));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return false;
            bytes += got;
            offset += static_cast<std::uint64_t>(got);
            size -= static_cast<std::size_t>(got);
        }
        return true;
    }

  private:
    void Close() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }

    int fd_;
    std::uint64_t size_ = 0;
};

std::optional<std::vector<std::uint8_t>> ReadRecordOf(const std::string& fileName) {
    const FileSource file(fileName);
    if (!file.IsOpen()) return std::nullopt;
    return ReadVersionResource(file);
}

}  // namespace

std::uint32_t VersionRecordSize(const std::string& fileName, std::uint32_t* handle) {
    if (handle) *handle = 0;
    const auto record = ReadRecordOf(fileName);
    return record ? static_cast<std::uint32_t>(record->size()) : 0;
}

bool ReadVersionRecord(const std::string& fileName, std::uint32_t /*handle*/, std::uint32_t size,
                       void* data) {
    if (data == nullptr || size == 0) return false;
    const auto record = ReadRecordOf(fileName);
    if (!record) return false;
    std::memcpy(data, record->data(), std::min<std::size_t>(size, record->size()));
    return true;
}

bool QueryVersionRecord(const void* block, std::size_t blockSize, std::string_view subBlock,
                        const void** buffer, std::uint32_t* length) {
    if (subBlock != "\\" || buffer == nullptr) return false;
    const auto* bytes = static_cast<const std::uint8_t*>(block);
    const auto offset = FixedFileInfoOffset(bytes, blockSize);
    if (!offset) return false;
    *buffer = bytes + *offset;
    if (length) *length = kVsFixedFileInfoSize;
    return true;
}

}  // namespace platform
