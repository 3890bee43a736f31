#include "platform/FolderEnumeration.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <memory>
#include <optional>

#include "platform/posix/DosAttrib.h"

namespace platform {
namespace {

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

// Wine's view of a POSIX entry.
std::uint32_t ComputedAttributes(const struct stat& st, std::string_view name) {
    std::uint32_t attributes =
        S_ISDIR(st.st_mode) ? kFileAttributeDirectory : kFileAttributeArchive;
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attributes |= kFileAttributeReadOnly;
    if (name.size() > 1 && name[0] == '.' && name != "..") attributes |= kFileAttributeHidden;
    return attributes;
}

std::optional<std::uint32_t> StoredAttributes(const std::string& path) {
    char buffer[256];
    const ssize_t got = getxattr(path.c_str(), kDosAttribName, buffer, sizeof buffer);
    if (got < 0) return std::nullopt;
    return ParseDosAttrib(std::string_view(buffer, static_cast<std::size_t>(got)));
}

std::optional<std::uint32_t> AttributesOf(int folderFd, const std::string& folder,
                                          std::string_view name) {
    const std::string plain(name);
    struct stat st {};
    // A dangling link is still an entry; describe the link itself then.
    if (fstatat(folderFd, plain.c_str(), &st, 0) != 0 &&
        fstatat(folderFd, plain.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return std::nullopt;
    const std::string path = folder.back() == '/' ? folder + plain : folder + '/' + plain;
    return StoredAttributes(path).value_or(ComputedAttributes(st, name));
}

}  // namespace

std::vector<FolderEntry> FindEntries(std::string_view pattern, FindFilter filter) {
    const auto slash = pattern.rfind('/');
    const std::string folder = slash == std::string_view::npos ? std::string(".")
                               : slash == 0                    ? std::string("/")
                                            : std::string(pattern.substr(0, slash));
    const std::string_view mask =
        slash == std::string_view::npos ? pattern : pattern.substr(slash + 1);
    std::vector<FolderEntry> entries;
    if (mask.empty()) return entries;
    const std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
    if (!dir) return entries;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string_view name(entry->d_name);
        if (!MatchesMask(name, mask)) continue;
        const auto attributes = AttributesOf(dirfd(dir.get()), folder, name);
        if (!attributes || LeftOutBy(filter, *attributes)) continue;
        entries.push_back({std::string(name), *attributes});
    }
    return entries;
}

}  // namespace platform
