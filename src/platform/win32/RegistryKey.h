#pragma once
// One open registry key below HKEY_CURRENT_USER, closed with the object.
#include <windows.h>

#include <string>
#include <string_view>

namespace platform::win32 {

class RegistryKey {
  public:
    RegistryKey() = default;
    ~RegistryKey() { Close(); }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // False (and no key) when it does not exist or the rights are refused.
    bool Open(std::string_view path, REGSAM access);
    // Creates the key and any missing parent; false when that fails.
    bool Create(std::string_view path, REGSAM access);
    void Close();
    HKEY get() const { return key_; }

  private:
    HKEY key_ = nullptr;
};

// Our key paths start with a delimiter; the registry functions want them relative to the root.
std::string RelativeKeyPath(std::string_view path);

}  // namespace platform::win32
