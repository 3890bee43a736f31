// The publishers an administrator pins on Windows: the policy value below HKLM, as a list of
// strings or one string; the same value in the user's own hive adds nothing.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/MachineTrust.h"
#include "platform/win32/Wide.h"

namespace {

using Strings = std::vector<std::string>;

const wchar_t* const kKey = L"SOFTWARE\\Policies\\Zelmarock\\Update";
const wchar_t* const kValue = L"TrustedPublishers";

std::string Digits(char digit) {
    return std::string(64, digit);
}

// The value written as an administrator's tools write it (the 64-bit view), and deleted again.
class PolicyValue {
  public:
    explicit PolicyValue(HKEY root) {
        EXPECT_EQ(RegCreateKeyExW(root, kKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key_, nullptr),
                  ERROR_SUCCESS);
    }
    ~PolicyValue() {
        RegDeleteValueW(key_, kValue);
        RegCloseKey(key_);
    }
    PolicyValue(const PolicyValue&) = delete;
    PolicyValue& operator=(const PolicyValue&) = delete;

    void Set(DWORD type, const std::wstring& data) {
        const auto size = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
        ASSERT_EQ(RegSetValueExW(key_, kValue, 0, type, reinterpret_cast<const BYTE*>(data.c_str()),
                                 size),
                  ERROR_SUCCESS);
    }

    void SetNumber(DWORD number) {
        ASSERT_EQ(RegSetValueExW(key_, kValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                                 sizeof number),
                  ERROR_SUCCESS);
    }

  private:
    HKEY key_ = nullptr;
};

TEST(MachineTrust, ThePolicyValueIsReadAsAListOfStringsOrAsOneString) {
    EXPECT_EQ(platform::MachineTrustedPublisherKeys(), Strings{});
    PolicyValue policy(HKEY_LOCAL_MACHINE);

    // One hash a string, blanks around ignored; what is not a hash is skipped.
    using namespace std::string_literals;
    const std::wstring strings =
        platform::win32::Wide(" " + std::string(64, 'A') + " \0"s + "not a hash\0"s + Digits('1') +
                              "\0"s + Digits('2') + "\u4e0b\0\0"s);
    policy.Set(REG_MULTI_SZ, strings);
    EXPECT_EQ(platform::MachineTrustedPublisherKeys(), (Strings{Digits('a'), Digits('1')}));

    policy.Set(REG_SZ, platform::win32::Wide(Digits('b') + ";" + Digits('C') + " \t" + Digits('3') +
                                             "0;;" + Digits('4')));
    EXPECT_EQ(platform::MachineTrustedPublisherKeys(),
              (Strings{Digits('b'), Digits('c'), Digits('4')}));

    // A number is no list of hashes.
    policy.SetNumber(1);
    EXPECT_EQ(platform::MachineTrustedPublisherKeys(), Strings{});
}

TEST(MachineTrust, TheUsersOwnPolicyValueAddsNothing) {
    PolicyValue user(HKEY_CURRENT_USER);
    user.Set(REG_SZ, platform::win32::Wide(Digits('d')));
    EXPECT_EQ(platform::MachineTrustedPublisherKeys(), Strings{});
}

}  // namespace
