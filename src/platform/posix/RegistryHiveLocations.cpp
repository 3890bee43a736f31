#include "platform/posix/RegistryHiveLocations.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "platform/posix/RegistryHiveFile.h"

namespace platform::posix {

namespace {

// The XDG rules ignore relative paths in these variables.
std::string AbsoluteFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return (value != nullptr && value[0] == '/') ? value : "";
}

std::string HomeFolder() {
    if (auto home = AbsoluteFromEnvironment("HOME"); !home.empty()) return home;
    const passwd* entry = ::getpwuid(::getuid());
    return (entry != nullptr && entry->pw_dir != nullptr) ? entry->pw_dir : "";
}

std::string BaseFolder(const char* variable, const char* fallbackBelowHome) {
    if (auto folder = AbsoluteFromEnvironment(variable); !folder.empty()) return folder;
    const auto home = HomeFolder();
    return home.empty() ? "" : home + fallbackBelowHome;
}

}  // namespace

std::string UserDataFolder() {
    return BaseFolder("XDG_DATA_HOME", "/.local/share");
}

std::string UserHivePath() {
    auto config = BaseFolder("XDG_CONFIG_HOME", "/.config");
    if (config.empty()) config = ".config";  // no home at all: beside us rather than nowhere
    return config + "/corvalite-update/HKCU.reg";
}

}  // namespace platform::posix

namespace platform {

std::unique_ptr<RegistryHive> OpenUserHive() {
    return OpenHiveFile(posix::UserHivePath());
}

std::unique_ptr<RegistryHive> OpenHiveFile(std::string path) {
    return std::make_unique<posix::FileHive>(std::move(path));
}

}  // namespace platform
