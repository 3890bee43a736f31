#include "platform/Process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <thread>

extern char** environ;

namespace platform {
namespace {

// Owns the attribute and file-action records posix_spawn needs, whatever way we leave.
class SpawnSetup {
  public:
    SpawnSetup() {
        posix_spawnattr_init(&attributes_);
        posix_spawn_file_actions_init(&actions_);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions_);
        posix_spawnattr_destroy(&attributes_);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    // The child starts with default signal handling and an empty mask (we may ignore or
    // block some), reads nothing from our terminal, and lives in its own session so it
    // outlasts us.
    void PrepareDetachedChild() {
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&attributes_, &none);
        sigset_t defaults;
        sigemptyset(&defaults);
        for (const int signal : {SIGPIPE, SIGCHLD, SIGINT, SIGTERM, SIGHUP, SIGQUIT})
            sigaddset(&defaults, signal);
        posix_spawnattr_setsigdefault(&attributes_, &defaults);
        short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
#ifdef POSIX_SPAWN_SETSID
        flags |= POSIX_SPAWN_SETSID;
#endif
        posix_spawnattr_setflags(&attributes_, flags);
        posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    }

    const posix_spawnattr_t* attributes() const {
        return &attributes_;
    }
    const posix_spawn_file_actions_t* actions() const {
        return &actions_;
    }

  private:
    posix_spawnattr_t attributes_{};
    posix_spawn_file_actions_t actions_{};
};

// Nobody waits for a started program, so a small thread does, and no zombie is left.
void ReapWhenDone(pid_t child) {
    std::thread([child] {
        while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

bool EndsWithExeIgnoringCase(const std::string& path) {
    if (path.size() < 4) return false;
    const std::string tail = path.substr(path.size() - 4);
    return tail[0] == '.' && (tail[1] | 0x20) == 'e' && (tail[2] | 0x20) == 'x' &&
           (tail[3] | 0x20) == 'e';
}

bool HasPeHeader(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    char dos[64] = {};
    if (!file.read(dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
    std::uint32_t peOffset = 0;
    for (int i = 3; i >= 0; --i)
        peOffset = (peOffset << 8) | static_cast<unsigned char>(dos[0x3C + i]);
    char signature[4] = {};
    file.seekg(peOffset);
    return file.read(signature, sizeof signature) && signature[0] == 'P' && signature[1] == 'E' &&
           signature[2] == 0 && signature[3] == 0;
}

bool IsExecutableFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

}  // namespace

bool SpawnDetached(const std::vector<std::string>& argv) {
    if (argv.empty() || argv.front().empty()) return false;
    std::vector<char*> pointers;
    pointers.reserve(argv.size() + 1);
    for (const auto& argument : argv) pointers.push_back(const_cast<char*>(argument.c_str()));
    pointers.push_back(nullptr);

    SpawnSetup setup;
    setup.PrepareDetachedChild();
    pid_t child = 0;
    // glibc reports a failed exec here (it spawns with CLONE_VFORK), so false is reliable.
    if (posix_spawnp(&child, pointers.front(), setup.actions(), setup.attributes(), pointers.data(),
                     environ) != 0)
        return false;
    ReapWhenDone(child);
    return true;
}

bool IsWindowsProgram(const std::string& path) {
    return EndsWithExeIgnoringCase(path) || HasPeHeader(path);
}

std::string FindOnPath(const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos) return {};
    const char* variable = std::getenv("PATH");
    const std::string path = variable ? variable : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(':', start);
        if (end == std::string::npos) end = path.size();
        const std::string folder = end > start ? path.substr(start, end - start) : ".";
        const std::string candidate = folder + "/" + name;
        if (IsExecutableFile(candidate)) return candidate;
        start = end + 1;
    }
    return {};
}

std::vector<std::string> StartArguments(const std::string& path, bool windowsProgram,
                                        const std::string& winePath,
                                        const std::string& openerPath) {
    const std::string target = !path.empty() && path.front() == '-' ? "./" + path : path;
    if (windowsProgram && !winePath.empty()) return {winePath, target};
    if (!openerPath.empty()) return {openerPath, target};
    return {};
}

bool StartProgram(const std::string& path) {
    // The starters would fail later and out of sight; a missing file is known now.
    struct stat st {};
    if (path.empty() || stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    const bool windowsProgram = IsWindowsProgram(path);
    const std::string wine = windowsProgram ? FindOnPath("wine") : std::string();
    return SpawnDetached(StartArguments(path, windowsProgram, wine, FindOnPath("xdg-open")));
}

}  // namespace platform
