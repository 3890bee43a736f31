#include "platform/posix/RegistryHiveIo.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <utility>

#include "platform/posix/RegistryHiveText.h"

namespace platform::posix {

namespace {

std::function<bool(HiveWriteStep)>& WriteHook() {
    static std::function<bool(HiveWriteStep)> hook;
    return hook;
}

bool StepAllowed(HiveWriteStep step) {
    return !WriteHook() || WriteHook()(step);
}

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    // close() reports late write errors, so the caller checks it.
    bool Close() { return ::close(std::exchange(fd_, -1)) == 0; }

  private:
    int fd_;
};

std::string Folder(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool MakeFolders(const std::string& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    if (errno != ENOENT) return false;
    const auto parent = Folder(folder);
    if (parent != folder && !MakeFolders(parent)) return false;
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool WriteTemp(const std::string& temp, const std::string& contents, mode_t mode) {
    Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, mode));
    if (fd.get() < 0 || ::fchmod(fd.get(), mode) != 0) return false;
    if (!StepAllowed(HiveWriteStep::kTempOpened)) return false;
    const std::size_t half = contents.size() / 2;
    if (!WriteAll(fd.get(), contents.data(), half)) return false;
    if (!StepAllowed(HiveWriteStep::kHalfWritten)) return false;
    if (!WriteAll(fd.get(), contents.data() + half, contents.size() - half)) return false;
    if (!StepAllowed(HiveWriteStep::kWritten)) return false;
    if (::fsync(fd.get()) != 0 || !StepAllowed(HiveWriteStep::kSynced)) return false;
    return fd.Close();
}

void SyncFolder(const std::string& path) {
    const Fd dir(::open(Folder(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) ::fsync(dir.get());
}

std::string TimeStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

bool RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // File systems without RENAME_NOREPLACE: we hold the lock, so the check is enough.
    if (::access(to.c_str(), F_OK) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
}

// A hive kept as a symbolic link (dotfile managers do that) stays one: the file it
// points to is what gets replaced.
std::string WriteTarget(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr),
                                                           &std::free);
    return real ? std::string(real.get()) : path;
}

}  // namespace

HiveFile ReadHiveFile(const std::string& path) {
    HiveFile file;
    // Non-blocking, so a FIFO planted at the path cannot hang us.
    const Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return file;
        file.state = HiveFile::kUnreadable;
        file.detail = std::strerror(errno);
        return file;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        file.state = HiveFile::kUnreadable;
        file.detail = "not a regular file";
        return file;
    }
    file.state = HiveFile::kDamaged;
    if (st.st_size > kMaxHiveFileSize) {
        file.detail = "larger than " + std::to_string(kMaxHiveFileSize >> 20) + " MiB";
        return file;
    }
    std::string text(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t got = 0;
    for (;;) {
        if (got == text.size()) {
            if (text.size() >= static_cast<std::size_t>(kMaxHiveFileSize)) break;
            text.resize(text.size() + 4096);  // the file grew since fstat
        }
        const ssize_t n = ::read(fd.get(), text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            file.state = HiveFile::kUnreadable;
            file.detail = std::strerror(errno);
            return file;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    text.resize(got);
    auto parsed = ParseHiveText(text);
    if (!parsed.ok) {
        file.detail = parsed.error;
        return file;
    }
    file.state = HiveFile::kOk;
    file.model = std::move(parsed.model);
    return file;
}

HiveLock::HiveLock(const std::string& hivePath) {
    if (!MakeFolders(Folder(hivePath))) return;
    fd_ = ::open((hivePath + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) return;
    while (::flock(fd_, LOCK_EX) != 0) {
        if (errno == EINTR) continue;
        ::close(std::exchange(fd_, -1));
        return;
    }
}

HiveLock::~HiveLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
}

bool ReplaceHiveFile(const std::string& hivePath, const std::string& contents) {
    const std::string path = WriteTarget(hivePath);
    struct stat st {};
    const mode_t mode = ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0600;
    const std::string temp = path + ".tmp";
    if (!WriteTemp(temp, contents, mode)) {
        ::unlink(temp.c_str());
        return false;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    StepAllowed(HiveWriteStep::kRenamed);  // done by now; a test may only crash here
    SyncFolder(path);
    return true;
}

std::string MoveHiveAside(const std::string& path) {
    const std::string base = path + ".damaged-" + TimeStamp();
    for (int n = 1; n < 1000; ++n) {
        const std::string aside = n == 1 ? base : base + "-" + std::to_string(n);
        if (RenameNoReplace(path, aside)) {
            SyncFolder(path);
            return aside;
        }
        if (errno != EEXIST) return {};
    }
    return {};
}

void SetHiveWriteHook(std::function<bool(HiveWriteStep)> hook) {
    WriteHook() = std::move(hook);
}

}  // namespace platform::posix
