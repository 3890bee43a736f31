// The application data folder comes from the registry value Windows keeps itself, and it is
// the folder the shell names for the current user.
#include <windows.h>
#include <gtest/gtest.h>
#include <shlobj.h>

#include "platform/Registry.h"
#include "platform/win32/Wide.h"

namespace {

TEST(AppData, ShellFoldersValueIsTheUsersRoamingFolder) {
    wchar_t folder[MAX_PATH] = {};
    ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder), S_OK);
    const std::string expected = platform::win32::Utf8(folder);
    const auto hive = platform::OpenUserHive();
    const auto value = hive->ReadValue(
        "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", "AppData");
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->type, platform::kRegSz);
    ASSERT_FALSE(value->data.empty());
    EXPECT_EQ(value->data.back(), 0u);
    EXPECT_STRCASEEQ(reinterpret_cast<const char*>(value->data.data()), expected.c_str());
    EXPECT_EQ(GetFileAttributesW(folder) & FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace
