#include "platform/DurableFile.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/Paths.h"
#include "platform/PlainFile.h"
#include "platform/Writeback.h"
#include "platform/win32/Wide.h"

namespace platform {

namespace {

// A C runtime descriptor that closes itself.
class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    bool close() {
        if (fd_ < 0) return true;
        const bool ok = _close(fd_) == 0;
        fd_ = -1;
        return ok;
    }

  private:
    int fd_;
};

void Remove(const std::string& path) {
    DeleteFileW(win32::Wide(path).c_str());
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const unsigned chunk = size > (1u << 30) ? (1u << 30) : static_cast<unsigned>(size);
        const int written = _write(fd, data, chunk);
        if (written <= 0) return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

int OpenFresh(const std::string& path) {
    Remove(path);
    const OpenedPlainFile opened = OpenPlainFile(path, true);
    if (opened.fd >= 0 && _chsize_s(opened.fd, 0) != 0) {
        _close(opened.fd);
        return -1;
    }
    return opened.fd;
}

bool Finish(Descriptor& fd, const std::string& temp, const std::string& path) {
    const bool ok = SyncToDisk(fd.get()) && fd.close() && RenameOver(temp, path);
    if (!ok) Remove(temp);
    return ok;
}

}  // namespace

bool WriteFileDurably(const std::string& pathUtf8, const std::string& bytes) {
    const std::string temp = pathUtf8 + ".tmp";
    Descriptor fd(OpenFresh(temp));
    if (fd.get() < 0) return false;
    if (!WriteAll(fd.get(), bytes.data(), bytes.size())) {
        fd.close();
        Remove(temp);
        return false;
    }
    return Finish(fd, temp, pathUtf8);
}

bool CopyFileDurably(const std::string& fromUtf8, const std::string& toUtf8,
                     const std::string& tempUtf8) {
    std::FILE* from = OpenFile(fromUtf8, "rb");
    if (!from) return false;
    Descriptor to(OpenFresh(tempUtf8));
    bool ok = to.get() >= 0;
    char buffer[64 * 1024];
    while (ok) {
        const std::size_t got = std::fread(buffer, 1, sizeof buffer, from);
        if (got == 0) {
            ok = !std::ferror(from);
            break;
        }
        ok = WriteAll(to.get(), buffer, got);
    }
    std::fclose(from);
    if (!ok) {
        to.close();
        Remove(tempUtf8);
        return false;
    }
    return Finish(to, tempUtf8, toUtf8);
}

bool RenameOver(const std::string& fromUtf8, const std::string& toUtf8) {
    return MoveFileExW(win32::Wide(fromUtf8).c_str(), win32::Wide(toUtf8).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace platform
