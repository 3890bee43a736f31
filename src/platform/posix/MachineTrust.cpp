#include "platform/MachineTrust.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "platform/posix/FileDescriptor.h"

namespace platform {
namespace {

constexpr const char* kListFolder = "corvalite-update";
constexpr const char* kListFile = "trusted-publishers";
// A list of hashes is small; anything larger is not one and is not read at all.
constexpr std::size_t kMaxListBytes = 1 << 20;

// The system configuration folders, most important first; the XDG default when none is set.
// Relative entries would depend on where the program was started and are left out.
std::vector<std::string> ConfigFolders() {
    const char* value = std::getenv("XDG_CONFIG_DIRS");
    const std::string list = value && *value ? value : "/etc/xdg";
    std::vector<std::string> folders;
    std::size_t at = 0;
    while (at <= list.size()) {
        const std::size_t end = std::min(list.find(':', at), list.size());
        const std::string folder = list.substr(at, end - at);
        if (!folder.empty() && folder.front() == '/') folders.push_back(folder);
        at = end + 1;
    }
    return folders;
}

// Whether this user could change the entry `name` of the folder open as `folder` (".": the
// folder itself), whose status is `status`: by its permissions, or as its owner, who may
// change those. Root may change anything, but is trusted with everything anyway.
bool UserCouldWrite(int folder, const char* name, const struct stat& status) {
    const uid_t user = ::geteuid();
    if (user == 0) return false;
    return status.st_uid == user || ::faccessat(folder, name, W_OK, AT_EACCESS) == 0;
}

bool ReadWhole(int fd, std::string& text) {
    char buffer[8192];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) return true;
        text.append(buffer, static_cast<std::size_t>(got));
        if (text.size() > kMaxListBytes) return false;
    }
}

// The hashes of one folder's list. Neither the list's folder nor the list may be a link, nor
// this user's or writable by them: a list the user could change is the user's, not the
// machine's. The folder is checked first and then only used through its descriptor, so the
// file's name cannot be swapped between its check and its reading.
std::vector<std::string> ListOf(const std::string& configFolder) {
    const std::string folderPath = configFolder + "/" + kListFolder;
    const FileDescriptor folder(
        ::open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat status {};
    if (!folder || ::fstat(folder.get(), &status) != 0 || UserCouldWrite(folder.get(), ".", status))
        return {};
    // O_NONBLOCK: a FIFO in its place must not hang the program; it is refused below.
    const FileDescriptor file(
        ::openat(folder.get(), kListFile, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) return {};
    if (UserCouldWrite(folder.get(), kListFile, status)) return {};
    std::string text;
    if (!ReadWhole(file.get(), text)) return {};
    return KeyHashesFromLines(text);
}

}  // namespace

std::vector<std::string> MachineTrustedPublisherKeys() {
    std::vector<std::string> keys;
    for (const auto& folder : ConfigFolders()) {
        auto found = ListOf(folder);
        keys.insert(keys.end(), found.begin(), found.end());
    }
    return keys;
}

}  // namespace platform
