#pragma once
// The two per-user settings in the registry, the per-user application data folder and
// the optional overrides of the two base addresses.
#include <string>

#include "platform/Registry.h"

inline constexpr const char* kSettingsKey = "\\Software\\Zelmarock\\Update";
inline constexpr const char* kShellFoldersKey =
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// downloadDir comes in holding the default and keeps it unless the store has one;
// autoUpdate is False unless stored. A value of the wrong type or size raises the
// toolkit's error after the key is closed, with downloadDir as far as it was read.
void LoadSettings(platform::RegistryHive& hive, std::string& downloadDir, bool& autoUpdate);
// Writes both values, changed or not; a failed write raises the toolkit's error.
void SaveSettings(platform::RegistryHive& hive, const std::string& downloadDir, bool autoUpdate);

// The "AppData" folder with its trailing delimiter; empty when not known.
std::string GetAppDataFolder(platform::RegistryHive& hive);

// A non-empty stored base address ("CatalogueBase", "DownloadBase") replaces the given
// default; never written. One value at a time, so a bad one cannot hide the other.
void ReadBaseAddress(platform::RegistryHive& hive, const char* name, std::string& address);
