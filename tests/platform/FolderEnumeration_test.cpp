// A folder's entries as the find functions report them, the same on both backends: masks
// ignore case and take a missing extension for ".*", and the attribute bits are Windows'.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "PlatformTest.h"
#include "platform/FolderEnumeration.h"
#include "platform/Paths.h"

namespace {

using platformtest::Join;

std::map<std::string, std::uint32_t> Find(const std::string& pattern, platform::FindFilter filter) {
    std::map<std::string, std::uint32_t> found;
    for (const auto& entry : platform::FindEntries(pattern, filter))
        EXPECT_TRUE(found.emplace(entry.name, entry.attributes).second) << entry.name;
    return found;
}

std::vector<std::string> Names(const std::map<std::string, std::uint32_t>& found) {
    std::vector<std::string> names;
    for (const auto& [name, attributes] : found) names.push_back(name);
    return names;
}

TEST(FolderEnumeration, MasksAndAttributesAsWindowsReportsThem) {
    TempDir dir;
    for (const char* name : {"php_dbg.dll", "PHP_DBG.so", "php_dbg", "php_dbgx.dll", "readme.txt"})
        dir.Write(name, "x");
    const std::string locked = dir.Write("locked.exe", "x");
    dir.Write(Join("php5", "inside.txt"), "x");
    namespace fs = std::filesystem;
    fs::permissions(platform::PathFromUtf8(locked),
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);

    using platform::FindFilter;
    EXPECT_EQ(Names(Find(Join(dir.path(), "php_dbg.*"), FindFilter::kEverything)),
              (std::vector<std::string>{"PHP_DBG.so", "php_dbg", "php_dbg.dll"}));
    EXPECT_EQ(Names(Find(Join(dir.path(), "*.DLL"), FindFilter::kEverything)),
              (std::vector<std::string>{"php_dbg.dll", "php_dbgx.dll"}));

    const auto all = Find(Join(dir.path(), "*"), FindFilter::kDirectories);
    EXPECT_EQ(all.size(), 9u);  // ".", ".." and the seven entries: files are reported too
    EXPECT_EQ(all.at("."), platform::kFileAttributeDirectory);
    EXPECT_EQ(all.at("php5"), platform::kFileAttributeDirectory);
    EXPECT_EQ(all.at("readme.txt"), platform::kFileAttributeArchive);
    EXPECT_EQ(all.at("locked.exe"),
              platform::kFileAttributeArchive | platform::kFileAttributeReadOnly);
    EXPECT_EQ(Find(Join(dir.path(), "php?"), FindFilter::kEverything).at("php5"),
              platform::kFileAttributeDirectory);

    EXPECT_TRUE(Find(Join(dir.path(), "*.zip"), FindFilter::kEverything).empty());
    EXPECT_TRUE(Find(Join(Join(dir.path(), "missing"), "*"), FindFilter::kEverything).empty());
    fs::permissions(platform::PathFromUtf8(locked), fs::perms::owner_write, fs::perm_options::add);
}

TEST(FolderEnumeration, NamesOutsideTheCodePageComeBackAsGiven) {
    TempDir dir;
    std::vector<std::string> expected{".", ".."};
    for (const std::string& name : platformtest::kUnicodeNames) {
        dir.Write(Join(name, name + ".dll"), "x");
        dir.Write(Join(name, "readme.txt"), "x");
        EXPECT_EQ(
            Names(Find(Join(Join(dir.path(), name), "*.dll"), platform::FindFilter::kEverything)),
            std::vector<std::string>{name + ".dll"});
        expected.push_back(name);
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Names(Find(Join(dir.path(), "*"), platform::FindFilter::kDirectories)), expected);
    // "?" takes one whole character, however many bytes it has.
    EXPECT_TRUE(platform::MatchesMask("\u4e0b\u8f7d.exe", "\u4e0b?.EXE"));
    EXPECT_TRUE(platform::MatchesMask("emoji \U0001F600", "emoji ?"));
    EXPECT_FALSE(platform::MatchesMask("emoji \U0001F600", "emoji ??"));
}

}  // namespace
