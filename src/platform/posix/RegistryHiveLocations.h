#pragma once
// Where the XDG base directory rules put our hive and the user's application data.
#include <string>

namespace platform::posix {

// $XDG_DATA_HOME, else ~/.local/share; empty when not even a home folder is known.
std::string UserDataFolder();
// $XDG_CONFIG_HOME/corvalite-update/HKCU.reg, else under ~/.config.
std::string UserHivePath();

}  // namespace platform::posix
