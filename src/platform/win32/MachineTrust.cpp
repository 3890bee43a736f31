#include <windows.h>

#include "platform/MachineTrust.h"
#include "platform/win32/Wide.h"

namespace platform {
namespace {

// Below HKLM\SOFTWARE\Policies, which only administrators may write; always the 64-bit view,
// so a 32-bit build reads what the administrator's tools wrote.
constexpr const wchar_t* kPolicyKey = L"SOFTWARE\\Policies\\Zelmarock\\Update";
constexpr const wchar_t* kPolicyValue = L"TrustedPublishers";
// A list of hashes is small; a larger value is not one and is not read at all.
constexpr DWORD kMaxValueBytes = 1 << 20;

class PolicyKey {
  public:
    PolicyKey() {
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPolicyKey, 0, KEY_READ | KEY_WOW64_64KEY, &key_) !=
            ERROR_SUCCESS)
            key_ = nullptr;
    }
    ~PolicyKey() {
        if (key_ != nullptr) RegCloseKey(key_);
    }
    PolicyKey(const PolicyKey&) = delete;
    PolicyKey& operator=(const PolicyKey&) = delete;
    HKEY get() const { return key_; }

  private:
    HKEY key_ = nullptr;
};

// The value's text, REG_SZ or REG_MULTI_SZ (its strings apart by NULs); empty when absent or
// of another type. The size is asked again when the value grew between the two calls.
std::wstring PolicyText(HKEY key) {
    const DWORD types = RRF_RT_REG_SZ | RRF_RT_REG_MULTI_SZ;
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD size = 0;
        if (RegGetValueW(key, nullptr, kPolicyValue, types, nullptr, nullptr, &size) !=
                ERROR_SUCCESS ||
            size > kMaxValueBytes)
            return {};
        std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
        DWORD got = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        const LONG result =
            RegGetValueW(key, nullptr, kPolicyValue, types, nullptr, text.data(), &got);
        if (result == ERROR_MORE_DATA) continue;
        if (result != ERROR_SUCCESS) return {};
        text.resize(got / sizeof(wchar_t));
        return text;
    }
    return {};
}

}  // namespace

std::vector<std::string> MachineTrustedPublisherKeys() {
    const PolicyKey key;
    if (key.get() == nullptr) return {};
    // NULs, blanks and semicolons all part hashes, so both types read alike.
    return KeyHashesFromList(win32::Utf8(PolicyText(key.get())));
}

}  // namespace platform
