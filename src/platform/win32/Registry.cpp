#include "platform/Registry.h"

#include <cstring>

#include "platform/win32/RegistryKey.h"
#include "platform/win32/Wide.h"

namespace platform {
namespace {

using win32::RegistryKey;

// Text the registry stores as UTF-16; our callers hand it over and get it back as UTF-8,
// terminating zero included exactly when the stored text has one, as the 8-bit calls do.
bool IsText(std::uint32_t type) {
    return type == kRegSz || type == kRegExpandSz || type == REG_MULTI_SZ;
}

std::vector<std::uint8_t> ToStored(const RegistryValue& value) {
    if (!IsText(value.type)) return value.data;
    const std::wstring wide = win32::Wide(
        std::string_view(reinterpret_cast<const char*>(value.data.data()), value.data.size()));
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(wide.data());
    return {bytes, bytes + wide.size() * sizeof(wchar_t)};
}

std::vector<std::uint8_t> FromStored(std::uint32_t type, const std::vector<std::uint8_t>& data) {
    if (!IsText(type)) return data;
    // An odd last byte is half a character: the 8-bit calls drop it too.
    std::wstring wide(data.size() / sizeof(wchar_t), L'\0');
    std::memcpy(wide.data(), data.data(), wide.size() * sizeof(wchar_t));
    const std::string utf8 = win32::Utf8(wide);
    return {utf8.begin(), utf8.end()};
}

// The settings key is opened for full access, as the program has always asked; reads and
// writes then ask only for what they do, which an open with full access already granted.
class UserRegistry final : public RegistryHive {
  public:
    bool KeyExists(std::string_view key) override {
        RegistryKey opened;
        return opened.Open(key, KEY_ALL_ACCESS);
    }

    bool CreateKey(std::string_view key) override {
        RegistryKey created;
        return created.Create(key, KEY_ALL_ACCESS);
    }

    std::optional<RegistryValue> ReadValue(std::string_view key, std::string_view name) override {
        RegistryKey opened;
        if (!opened.Open(key, KEY_QUERY_VALUE)) return std::nullopt;
        return Query(opened.get(), win32::Wide(name));
    }

    bool WriteValue(std::string_view key, std::string_view name,
                    const RegistryValue& value) override {
        RegistryKey opened;
        if (!opened.Open(key, KEY_SET_VALUE)) return false;
        const std::wstring valueName = win32::Wide(name);
        const std::vector<std::uint8_t> stored = ToStored(value);
        return RegSetValueExW(opened.get(), valueName.c_str(), 0, value.type, stored.data(),
                              static_cast<DWORD>(stored.size())) == ERROR_SUCCESS;
    }

    // The real registry keeps itself; it has nothing to tell the user.
    std::vector<std::string> TakeNotices() override { return {}; }

  private:
    // Type and bytes exactly as stored; the size is asked again when the value grew between
    // the two calls.
    static std::optional<RegistryValue> Query(HKEY key, const std::wstring& name) {
        std::vector<std::uint8_t> data;
        for (int attempt = 0; attempt < 4; ++attempt) {
            DWORD type = 0, size = 0;
            if (RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) !=
                ERROR_SUCCESS)
                return std::nullopt;
            data.resize(size);
            const LONG got =
                RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &size);
            if (got == ERROR_MORE_DATA) continue;
            if (got != ERROR_SUCCESS) return std::nullopt;
            data.resize(size);
            return RegistryValue{type, FromStored(type, data)};
        }
        return std::nullopt;
    }
};

}  // namespace

std::unique_ptr<RegistryHive> OpenUserHive() {
    return std::make_unique<UserRegistry>();
}

}  // namespace platform
