#include "platform/FileHolders.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "platform/Paths.h"

namespace platform {

namespace {

namespace fs = std::filesystem;

bool IsProcessFolder(const fs::directory_entry& entry) {
    const std::string name = entry.path().filename().string();
    return !name.empty() && std::all_of(name.begin(), name.end(),
                                        [](unsigned char c) { return std::isdigit(c) != 0; });
}

// An open descriptor of the file: the same device and inode behind /proc/PID/fd/N.
bool HoldsDescriptor(const fs::path& process, const struct stat& file) {
    std::error_code error;
    for (fs::directory_iterator it(process / "fd", error), end; !error && it != end;
         it.increment(error)) {
        struct stat held {};
        if (::stat(it->path().c_str(), &held) == 0 && held.st_dev == file.st_dev &&
            held.st_ino == file.st_ino)
            return true;
    }
    return false;
}

// A mapped library or program: its lines name the device as "major:minor" in hex and the inode.
bool HoldsMapping(const fs::path& process, const struct stat& file) {
    std::ifstream maps(process / "maps");
    std::string line;
    while (std::getline(maps, line)) {
        std::istringstream fields(line);
        std::string range, perms, offset, device;
        unsigned long long inode = 0;
        if (!(fields >> range >> perms >> offset >> device >> inode) || inode != file.st_ino)
            continue;
        unsigned major = 0, minor = 0;
        if (std::sscanf(device.c_str(), "%x:%x", &major, &minor) == 2 &&
            major == ::major(file.st_dev) && minor == ::minor(file.st_dev))
            return true;
    }
    return false;
}

std::string ProgramName(const fs::path& process) {
    std::error_code error;
    const fs::path exe = fs::read_symlink(process / "exe", error);
    if (!error && exe.has_filename()) return exe.filename().string();
    std::ifstream comm(process / "comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

}  // namespace

std::vector<std::string> ProgramsHolding(const std::string& pathUtf8) {
    struct stat file {};
    if (::stat(PathFromUtf8(pathUtf8).c_str(), &file) != 0) return {};
    const std::string self = std::to_string(::getpid());
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it("/proc", error), end; !error && it != end; it.increment(error)) {
        if (!IsProcessFolder(*it) || it->path().filename() == self) continue;
        if (!HoldsDescriptor(it->path(), file) && !HoldsMapping(it->path(), file)) continue;
        const std::string name = ProgramName(it->path());
        if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    }
    return names;
}

}  // namespace platform
