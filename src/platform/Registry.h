#pragma once
// The current user's registry hive. Keys are paths below HKEY_CURRENT_USER written with
// backslashes ("\Software\Zelmarock\Update"; the leading backslash is optional). Keys and
// value names compare ignoring case and keep the case they were created with.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum RegistryType : std::uint32_t {
    kRegNone = 0,
    kRegSz = 1,
    kRegExpandSz = 2,
    kRegBinary = 3,
    kRegDword = 4,
};

// Value data as the program holds it: text types are UTF-8 bytes (UTF-16 only inside Windows)
// with their terminating zero, REG_DWORD is four little-endian bytes, others are raw.
struct RegistryValue {
    std::uint32_t type = kRegNone;
    std::vector<std::uint8_t> data;
};

// A text value as the registry stores it: the UTF-8 bytes and the terminating zero.
inline RegistryValue TextValue(std::string_view text, std::uint32_t type = kRegSz) {
    RegistryValue value{type, {text.begin(), text.end()}};
    value.data.push_back(0);
    return value;
}

inline RegistryValue DwordValue(std::uint32_t number) {
    return {kRegDword,
            {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
             static_cast<std::uint8_t>(number >> 16), static_cast<std::uint8_t>(number >> 24)}};
}

class RegistryHive {
  public:
    virtual ~RegistryHive() = default;
    virtual bool KeyExists(std::string_view key) = 0;
    // Creates the key and any missing parent; false when the hive cannot be written.
    virtual bool CreateKey(std::string_view key) = 0;
    virtual std::optional<RegistryValue> ReadValue(std::string_view key, std::string_view name) = 0;
    // The key must exist; false when it does not or the hive cannot be written.
    virtual bool WriteValue(std::string_view key, std::string_view name,
                            const RegistryValue& value) = 0;
    // Things the user must hear about (a damaged hive kept aside); each is returned once.
    virtual std::vector<std::string> TakeNotices() = 0;
};

// This user's hive: HKEY_CURRENT_USER on Windows; elsewhere the hive file
// $XDG_CONFIG_HOME/corvalite-update/HKCU.reg.
std::unique_ptr<RegistryHive> OpenUserHive();
#ifndef _WIN32
std::unique_ptr<RegistryHive> OpenHiveFile(std::string path);
#endif

}  // namespace platform
