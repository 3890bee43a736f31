#include "platform/win32/RegistryKey.h"

#include "platform/win32/Wide.h"

namespace platform::win32 {

std::string RelativeKeyPath(std::string_view path) {
    while (!path.empty() && path.front() == '\\') path.remove_prefix(1);
    return std::string(path);
}

bool RegistryKey::Open(std::string_view path, REGSAM access) {
    Close();
    const std::wstring relative = Wide(RelativeKeyPath(path));
    return RegOpenKeyExW(HKEY_CURRENT_USER, relative.c_str(), 0, access, &key_) == ERROR_SUCCESS;
}

bool RegistryKey::Create(std::string_view path, REGSAM access) {
    Close();
    const std::wstring relative = Wide(RelativeKeyPath(path));
    DWORD disposition = 0;
    return RegCreateKeyExW(HKEY_CURRENT_USER, relative.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           access, nullptr, &key_, &disposition) == ERROR_SUCCESS;
}

void RegistryKey::Close() {
    if (key_ != nullptr) RegCloseKey(key_);
    key_ = nullptr;
}

}  // namespace platform::win32
