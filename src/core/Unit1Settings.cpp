#include "core/Unit1Settings.h"

#include "core/Errors.h"
#include "core/TRegistry.h"
#include "core/TextUtils.h"

void LoadSettings(platform::RegistryHive& hive, std::string& downloadDir, bool& autoUpdate) {
    autoUpdate = false;
    core::TRegistry registry(hive);  // closes the key on every way out
    if (!registry.OpenKey(kSettingsKey, false)) return;
    if (registry.ValueExists("DownloadDir")) downloadDir = registry.ReadString("DownloadDir");
    if (registry.ValueExists("AutoUpdate")) autoUpdate = registry.ReadInteger("AutoUpdate") != 0;
}

void SaveSettings(platform::RegistryHive& hive, const std::string& downloadDir, bool autoUpdate) {
    core::TRegistry registry(hive);
    // Windows can always create a key below the user's hive; a hive file may not be
    // writable, and keeping quiet then would lose the user's settings unseen.
    if (!registry.OpenKey(kSettingsKey, true))
        throw core::ERegistryException(core::Format(core::kRegSetDataFailed, "DownloadDir"));
    registry.WriteString("DownloadDir", downloadDir);
    registry.WriteInteger("AutoUpdate", autoUpdate ? 1 : 0);
}

std::string GetAppDataFolder(platform::RegistryHive& hive) {
    core::TRegistry registry(hive);
    std::string folder;
    if (registry.OpenKey(kShellFoldersKey, true)) folder = registry.ReadString("AppData");
    if (!folder.empty() && folder.back() != PathDelim) folder += PathDelim;
    return folder;
}

void ReadBaseAddress(platform::RegistryHive& hive, const char* name, std::string& address) {
    core::TRegistry registry(hive);
    if (!registry.OpenKey(kSettingsKey, false)) return;
    // An empty address could never serve, so it counts as not set.
    if (auto stored = registry.ReadString(name); !stored.empty()) address = std::move(stored);
}
