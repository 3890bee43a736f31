#include "platform/posix/RegistryHiveFile.h"

#include <utility>

#include "platform/posix/RegistryHiveLocations.h"
#include "platform/posix/RegistryHiveText.h"

namespace platform::posix {

namespace {

constexpr std::string_view kShellFolders =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

bool IsRoot(std::string_view fullPath) {
    return SameName(fullPath, kUserRoot);
}

}  // namespace

bool IsBuiltInKey(std::string_view fullPath) {
    if (fullPath.size() > kShellFolders.size()) return false;
    return SameName(fullPath, kShellFolders.substr(0, fullPath.size())) &&
           (fullPath.size() == kShellFolders.size() || kShellFolders[fullPath.size()] == '\\');
}

std::optional<RegistryValue> BuiltInValue(std::string_view fullPath, std::string_view name) {
    if (!SameName(fullPath, kShellFolders) || !SameName(name, "AppData")) return std::nullopt;
    const auto folder = UserDataFolder();
    if (folder.empty()) return std::nullopt;
    return TextValue(folder);
}

bool FileHive::KeyExists(std::string_view key) {
    const auto full = UserKeyPath(key);
    if (full.empty()) return false;
    return IsRoot(full) || IsBuiltInKey(full) || Load().Exists(full);
}

bool FileHive::CreateKey(std::string_view key) {
    const auto full = UserKeyPath(key);
    if (full.empty()) return false;
    if (KeyExists(key)) return true;  // no write, so an existing key opens on a read-only disk
    return Modify([&](HiveModel& model) {
        if (model.Exists(full)) return Change::kNone;
        model.Create(full);
        return Change::kMade;
    });
}

std::optional<RegistryValue> FileHive::ReadValue(std::string_view key, std::string_view name) {
    const auto full = UserKeyPath(key);
    if (full.empty()) return std::nullopt;
    const auto model = Load();
    if (const HiveKey* stored = model.Find(full))
        if (const RegistryValue* value = stored->Find(name)) return *value;
    return BuiltInValue(full, name);
}

bool FileHive::WriteValue(std::string_view key, std::string_view name, const RegistryValue& value) {
    const auto full = UserKeyPath(key);
    if (full.empty() || !IsStorableName(name)) return false;
    return Modify([&](HiveModel& model) {
        if (!IsRoot(full) && !IsBuiltInKey(full) && !model.Exists(full)) return Change::kFailed;
        return model.Create(full).Set(name, value) ? Change::kMade : Change::kNone;
    });
}

std::vector<std::string> FileHive::TakeNotices() {
    return std::exchange(notices_, {});
}

HiveModel FileHive::Load() {
    HiveFile file = ReadHiveFile(path_);
    switch (file.state) {
        case HiveFile::kOk:
            return std::move(file.model);
        case HiveFile::kDamaged:
            return Recover(file);
        case HiveFile::kUnreadable:
            Tell("The settings file \"" + path_ + "\" cannot be read (" + file.detail +
                 "); settings are neither loaded nor saved.");
            return {};
        case HiveFile::kMissing:
            break;
    }
    return {};
}

HiveModel FileHive::Recover(const HiveFile& damaged) {
    const HiveLock lock(path_);
    if (!lock.Held()) {
        Tell("The settings file \"" + path_ + "\" is damaged (" + damaged.detail +
             ") and could not be kept aside; it is left as it is and no settings are saved.");
        return {};
    }
    // Look again under the lock: another running copy may have dealt with it meanwhile.
    HiveFile again = ReadHiveFile(path_);
    if (again.state == HiveFile::kOk) return std::move(again.model);
    if (again.state == HiveFile::kDamaged) PutAside(again);
    return {};
}

bool FileHive::Modify(const std::function<Change(HiveModel&)>& change) {
    const HiveLock lock(path_);
    if (!lock.Held()) return false;
    HiveFile file = ReadHiveFile(path_);
    if (file.state == HiveFile::kUnreadable) return false;
    // A damaged file is never written over: it goes aside first, or nothing is written.
    if (file.state == HiveFile::kDamaged && !PutAside(file)) return false;
    switch (change(file.model)) {
        case Change::kFailed:
            return false;
        case Change::kNone:
            return true;
        case Change::kMade:
            break;
    }
    return ReplaceHiveFile(path_, FormatHiveText(file.model));
}

bool FileHive::PutAside(const HiveFile& damaged) {
    const auto aside = MoveHiveAside(path_);
    if (aside.empty()) {
        Tell("The settings file \"" + path_ + "\" is damaged (" + damaged.detail +
             ") and could not be kept aside; it is left as it is and no settings are saved.");
        return false;
    }
    Tell("The settings file \"" + path_ + "\" is damaged (" + damaged.detail +
         ") and has been kept as \"" + aside + "\". The program goes on with empty settings.");
    return true;
}

void FileHive::Tell(std::string notice) {
    if (told_.insert(notice).second) notices_.push_back(std::move(notice));
}

}  // namespace platform::posix
