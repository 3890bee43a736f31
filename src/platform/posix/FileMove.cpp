#include "platform/FileMove.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/posix/FileDescriptor.h"

namespace platform {
namespace {

TransferResult Failure(TransferError error, int code = 0) {
    return {error, code ? std::strerror(code) : std::string()};
}

bool IsSpaceError(int code) {
    return code == ENOSPC || code == EDQUOT;
}

bool IsPermissionError(int code) {
    return code == EACCES || code == EPERM || code == EROFS;
}

std::string FileName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Renames without replacing; where the file system cannot promise that, checks first.
int RenameNoReplace(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    struct stat st {};
    if (lstat(to.c_str(), &st) == 0) return EEXIST;
    return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int Place(const std::string& from, const std::string& to, bool replace) {
    if (replace) return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
    return RenameNoReplace(from, to);
}

TransferResult PlacementFailure(int code) {
    if (code == EEXIST) return Failure(TransferError::TargetExists);
    if (IsSpaceError(code)) return Failure(TransferError::DiskFull, code);
    if (code == EISDIR) return Failure(TransferError::TargetNotFile, code);
    if (IsPermissionError(code)) return Failure(TransferError::TargetFolderNotWritable, code);
    return Failure(TransferError::Other, code);
}

TransferResult CheckSource(const std::string& source, struct stat& st) {
    if (stat(source.c_str(), &st) != 0) {
        const int code = errno;
        if (code == ENOENT || code == ENOTDIR) return Failure(TransferError::SourceMissing);
        return Failure(TransferError::SourceUnreadable, code);
    }
    if (!S_ISREG(st.st_mode)) return Failure(TransferError::SourceNotFile);
    return {};
}

TransferResult CheckFolder(const std::string& folder) {
    struct stat st {};
    if (folder.empty() || stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return Failure(TransferError::TargetFolderMissing);
    if (access(folder.c_str(), W_OK | X_OK) != 0)
        return Failure(TransferError::TargetFolderNotWritable, errno);
    return {};
}

// What stands at the target already, and whether we may put our file in its place.
TransferResult CheckTarget(const std::string& target, const struct stat& source, bool replace) {
    struct stat st {};
    if (lstat(target.c_str(), &st) != 0) return {};
    if (st.st_dev == source.st_dev && st.st_ino == source.st_ino)
        return Failure(TransferError::SameFile);
    if (S_ISDIR(st.st_mode)) return Failure(TransferError::TargetNotFile);
    if (!replace) return Failure(TransferError::TargetExists);
    // Read-only as Windows sees it: no write bit at all, whoever we are.
    if (S_ISREG(st.st_mode) && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return Failure(TransferError::TargetReadOnly);
    return {};
}

// Copies every byte; 0 or the errno that stopped it.
int CopyBytes(int from, int to) {
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const ssize_t got = read(from, buffer.data(), buffer.size());
        if (got == 0) return 0;
        if (got < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = write(to, buffer.data() + done, static_cast<size_t>(got - done));
            if (put < 0) {
                if (errno == EINTR) continue;
                return errno;
            }
            done += put;
        }
    }
}

// A temporary file beside the target that vanishes unless it is kept.
class PartialFile {
  public:
    explicit PartialFile(const std::string& folder) : path_(folder + "/.corvalite-XXXXXX") {
        fd_.reset(mkostemp(path_.data(), O_CLOEXEC));
        if (!fd_) error_ = errno;
    }
    ~PartialFile() {
        if (!kept_ && !error_) unlink(path_.c_str());
    }
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    int error() const { return error_; }
    int fd() const { return fd_.get(); }
    const std::string& path() const { return path_; }
    int Close() { return fd_.close(); }
    void Keep() { kept_ = true; }

  private:
    std::string path_;
    FileDescriptor fd_;
    int error_ = 0;
    bool kept_ = false;
};

// The copy's content and its metadata reach the disk before it gets its real name.
int FillPartial(PartialFile& partial, int sourceFd, const struct stat& source) {
    if (const int code = CopyBytes(sourceFd, partial.fd())) return code;
    if (fchmod(partial.fd(), source.st_mode & 07777) != 0) return errno;
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    futimens(partial.fd(), times);  // only nice to have
    if (fsync(partial.fd()) != 0) return errno;
    return partial.Close();
}

void SyncFolder(const std::string& folder) {
    const FileDescriptor fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd) fsync(fd.get());
}

TransferResult CopyInto(const std::string& source, const struct stat& sourceStat,
                        const std::string& folder, const std::string& target, bool replace) {
    const FileDescriptor in(open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in) {
        const int code = errno;
        if (code == ENOENT) return Failure(TransferError::SourceMissing);
        return Failure(TransferError::SourceUnreadable, code);
    }
    PartialFile partial(folder);
    if (const int code = partial.error()) return PlacementFailure(code);
    if (const int code = FillPartial(partial, in.get(), sourceStat)) {
        if (IsSpaceError(code)) return Failure(TransferError::DiskFull, code);
        return Failure(TransferError::Other, code);
    }
    if (const int code = Place(partial.path(), target, replace)) return PlacementFailure(code);
    partial.Keep();
    SyncFolder(folder);
    return {};
}

TransferResult MoveInto(const std::string& source, const struct stat& sourceStat,
                        const std::string& folder, const std::string& target, bool replace) {
    if (access(FolderOf(source).c_str(), W_OK | X_OK) != 0)
        return Failure(TransferError::SourceFolderNotWritable, errno);
    const int code = Place(source, target, replace);
    if (code == 0) return {};
    if (code == ENOENT) return Failure(TransferError::SourceMissing);
    if (code != EXDEV) return PlacementFailure(code);
    // Another file system: the copy must be whole and on disk before the source goes.
    TransferResult copied = CopyInto(source, sourceStat, folder, target, replace);
    if (!copied.ok()) return copied;
    if (unlink(source.c_str()) != 0) return Failure(TransferError::SourceKept, errno);
    return {};
}

}  // namespace

namespace {

bool SameIgnoringAsciiCase(std::string_view a, std::string_view b) {
    const auto lower = [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

// The entry of folder whose name differs from name only in letter case, or name itself.
std::string NameInFolder(const std::string& folder, const std::string& name) {
    struct stat st {};
    if (lstat((folder + name).c_str(), &st) == 0) return name;
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
    if (!dir) return name;
    while (const dirent* entry = readdir(dir.get()))
        if (SameIgnoringAsciiCase(entry->d_name, name)) return entry->d_name;
    return name;
}

}  // namespace

std::string TransferTarget(const std::string& source, const std::string& folder) {
    const bool delimited = !folder.empty() && folder.back() == '/';
    const std::string prefix = folder + (delimited ? "" : "/");
    // The catalogue's names come from a system that ignores letter case: a file already here
    // under another casing is the one to replace, not one to put a second copy beside.
    return prefix + NameInFolder(prefix, FileName(source));
}

bool TransferTargetExists(const std::string& source, const std::string& folder) {
    struct stat st {};
    return lstat(TransferTarget(source, folder).c_str(), &st) == 0;
}

TransferResult TransferFile(const std::string& source, const std::string& folder, TransferMode mode,
                            bool replaceExisting) {
    struct stat sourceStat {};
    if (auto result = CheckSource(source, sourceStat); !result.ok()) return result;
    if (auto result = CheckFolder(folder); !result.ok()) return result;
    const std::string target = TransferTarget(source, folder);
    if (auto result = CheckTarget(target, sourceStat, replaceExisting); !result.ok()) return result;
    if (mode == TransferMode::Move)
        return MoveInto(source, sourceStat, folder, target, replaceExisting);
    return CopyInto(source, sourceStat, folder, target, replaceExisting);
}

}  // namespace platform
