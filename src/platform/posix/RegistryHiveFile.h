#pragma once
// The hive kept in one .reg file. Reads see the file as it is on disk now, so changes
// made by another running copy show at once; every change is a locked
// read-modify-write, so two copies never drop each other's keys.
#include <functional>
#include <set>
#include <string>

#include "platform/Registry.h"
#include "platform/posix/RegistryHiveIo.h"

namespace platform::posix {

class FileHive final : public RegistryHive {
  public:
    explicit FileHive(std::string path) : path_(std::move(path)) {}

    bool KeyExists(std::string_view key) override;
    bool CreateKey(std::string_view key) override;
    std::optional<RegistryValue> ReadValue(std::string_view key, std::string_view name) override;
    bool WriteValue(std::string_view key, std::string_view name,
                    const RegistryValue& value) override;
    std::vector<std::string> TakeNotices() override;

  private:
    enum class Change { kFailed, kNone, kMade };

    HiveModel Load();
    HiveModel Recover(const HiveFile& damaged);
    bool Modify(const std::function<Change(HiveModel&)>& change);
    bool PutAside(const HiveFile& damaged);
    void Tell(std::string notice);

    std::string path_;
    std::vector<std::string> notices_;
    std::set<std::string> told_;  // each notice once per run, however often we look
};

// Keys Windows keeps by itself: present whatever the file holds.
bool IsBuiltInKey(std::string_view fullPath);
// The value Windows would answer for a built-in key while the file does not hold it.
std::optional<RegistryValue> BuiltInValue(std::string_view fullPath, std::string_view name);

}  // namespace platform::posix
