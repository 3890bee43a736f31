#include "platform/Registry.h"

#include "platform/win32/RegistryKey.h"

namespace platform {
namespace {

using win32::RegistryKey;

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
        return Query(opened.get(), std::string(name));
    }

    bool WriteValue(std::string_view key, std::string_view name,
                    const RegistryValue& value) override {
        RegistryKey opened;
        if (!opened.Open(key, KEY_SET_VALUE)) return false;
        const std::string valueName(name);
        return RegSetValueExA(opened.get(), valueName.c_str(), 0, value.type, value.data.data(),
                              static_cast<DWORD>(value.data.size())) == ERROR_SUCCESS;
    }

    // The real registry keeps itself; it has nothing to tell the user.
    std::vector<std::string> TakeNotices() override { return {}; }

  private:
    // Type and bytes exactly as stored; the size is asked again when the value grew between
    // the two calls.
    static std::optional<RegistryValue> Query(HKEY key, const std::string& name) {
        RegistryValue value;
        for (int attempt = 0; attempt < 4; ++attempt) {
            DWORD type = 0, size = 0;
            if (RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) !=
                ERROR_SUCCESS)
                return std::nullopt;
            value.data.resize(size);
            const LONG got =
                RegQueryValueExA(key, name.c_str(), nullptr, &type, value.data.data(), &size);
            if (got == ERROR_MORE_DATA) continue;
            if (got != ERROR_SUCCESS) return std::nullopt;
            value.type = type;
            value.data.resize(size);
            return value;
        }
        return std::nullopt;
    }
};

}  // namespace

std::unique_ptr<RegistryHive> OpenUserHive() {
    return std::make_unique<UserRegistry>();
}

}  // namespace platform
