#include <sys/stat.h>
#include <sys/xattr.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>

#include "platform/FolderEnumeration.h"
#include "platform/posix/DosAttrib.h"
#include "support/TempDir.h"

using platform::FindEntries;
using platform::FindFilter;
using platform::MatchesMask;
using platform::ParseDosAttrib;

namespace {

std::map<std::string, std::uint32_t> Listing(const std::string& pattern,
                                             FindFilter filter = FindFilter::kEverything) {
    std::map<std::string, std::uint32_t> out;
    for (const auto& entry : FindEntries(pattern, filter))
        out.emplace(entry.name, entry.attributes);
    return out;
}

// Sets user.DOSATTRIB; false when the file system refuses user extended attributes.
bool SetDosAttrib(const std::string& path, std::string_view value) {
    return setxattr(path.c_str(), platform::kDosAttribName, value.data(), value.size(), 0) == 0;
}

std::string SambaBlob(std::uint16_t version, std::uint32_t validFlags, std::uint32_t attributes) {
    std::string blob(32, '\0');
    const auto put = [&](std::size_t at, std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) blob[at + i] = static_cast<char>(v >> (8 * i));
    };
    put(0, version, 2);
    put(2, version, 2);
    put(4, validFlags, 4);
    put(8, attributes, 4);
    return blob;
}

}  // namespace

TEST(MatchesMask, FollowsWindowsWildcardsIgnoringAsciiCase) {
    EXPECT_TRUE(MatchesMask("mod_ssl.dll", "*.dll"));
    EXPECT_TRUE(MatchesMask("MOD_SSL.DLL", "*.dll"));
    EXPECT_FALSE(MatchesMask("mod_ssl.dll.bak", "*.dll"));
    EXPECT_TRUE(MatchesMask(".dll", "*.dll"));
    EXPECT_TRUE(MatchesMask("a.dll.dll", "*.dll"));
    EXPECT_TRUE(MatchesMask("php_dbg.dll-4.3.x", "php_dbg.*"));
    EXPECT_TRUE(MatchesMask("php_dbg", "php_dbg.*"));  // ".*" also takes no extension
    EXPECT_FALSE(MatchesMask("php_dbgx", "php_dbg.*"));
    EXPECT_TRUE(MatchesMask("anything", "*.*"));
    EXPECT_TRUE(MatchesMask("a", "?"));
    EXPECT_FALSE(MatchesMask("ab", "?"));
    EXPECT_TRUE(MatchesMask("\xc3\xa9.exe", "?.exe"));          // one UTF-8 character
    EXPECT_FALSE(MatchesMask("\xc3\xa9.exe", "\xc3\x89.exe"));  // only ASCII folds
    EXPECT_TRUE(MatchesMask("a*b", "a*b"));
    EXPECT_TRUE(MatchesMask("xaaab", "*a*b"));
    EXPECT_FALSE(MatchesMask("anything", ""));
    EXPECT_FALSE(MatchesMask(std::string(200, 'a'), std::string(30, '*') + "b*"));
}

TEST(ParseDosAttrib, ReadsTextAndSambaBinaryForms) {
    EXPECT_EQ(ParseDosAttrib("0x80"), 0x80u);
    EXPECT_EQ(ParseDosAttrib(std::string_view("0x22\0", 5)), 0x22u);
    EXPECT_EQ(ParseDosAttrib("0X1"), 0x1u);
    EXPECT_EQ(ParseDosAttrib(std::string("0x20\0\0\3\0\3\0", 11)), 0x20u);  // text, then the blob
    EXPECT_EQ(ParseDosAttrib(SambaBlob(5, 0x11, 0x06)), 0x06u);
    EXPECT_EQ(ParseDosAttrib(SambaBlob(3, 0x01, 0x80)), 0x80u);
    EXPECT_EQ(ParseDosAttrib(SambaBlob(1, 0x04, 0)), 0x04u);  // version 1: the bits come first
    EXPECT_EQ(ParseDosAttrib(SambaBlob(5, 0x10, 0x06)), std::nullopt);  // attribute not valid
    EXPECT_EQ(ParseDosAttrib(SambaBlob(9, 0x01, 0x06)), std::nullopt);
    EXPECT_EQ(ParseDosAttrib("0x"), std::nullopt);
    EXPECT_EQ(ParseDosAttrib("0xZZ"), std::nullopt);
    EXPECT_EQ(ParseDosAttrib("0x123456789"), std::nullopt);
    EXPECT_EQ(ParseDosAttrib(std::string("\5\0\5\0\1\0", 6)), std::nullopt);  // cut short
    EXPECT_EQ(ParseDosAttrib(""), std::nullopt);
}

TEST(FindEntries, ComputesAttributesAsWineDoes) {
    const TempDir dir;
    dir.Write("app.exe", "x");
    dir.Write(".hidden.dll", "x");
    const std::string locked = dir.Write("locked.dll", "x");
    std::filesystem::create_directory(dir.path() + "/sub");
    std::filesystem::create_directory(dir.path() + "/locked dir");
    chmod(locked.c_str(), 0444);
    chmod((dir.path() + "/locked dir").c_str(), 0555);
    const auto all = Listing(dir.path() + "/*");
    EXPECT_EQ(all.at("app.exe"), 0x20u);
    EXPECT_EQ(all.at(".hidden.dll"), 0x22u);
    EXPECT_EQ(all.at("locked.dll"), 0x21u);
    EXPECT_EQ(all.at("sub"), 0x10u);
    EXPECT_EQ(all.at("locked dir"), 0x11u);
    EXPECT_EQ(all.at("."), 0x10u);  // "." and ".." are reported, never hidden
    EXPECT_EQ(all.count(".."), 1u);
    EXPECT_EQ(all.size(), 7u);
}

TEST(FindEntries, MasksAndTheDirectoryRequest) {
    const TempDir dir;
    dir.Write("a.dll", "x");
    dir.Write("B.DLL", "x");
    dir.Write(".c.dll", "x");
    dir.Write("d.exe", "x");
    std::filesystem::create_directory(dir.path() + "/folder.dll");
    const auto dlls = Listing(dir.path() + "/*.dll");
    EXPECT_EQ(dlls.size(), 4u);
    EXPECT_EQ(dlls.count("folder.dll"), 1u);
    // Hidden entries are left out of the directory request; plain files are not.
    const auto request = Listing(dir.path() + "/*", FindFilter::kDirectories);
    EXPECT_EQ(request.count(".c.dll"), 0u);
    EXPECT_EQ(request.count("d.exe"), 1u);
    EXPECT_EQ(request.count("folder.dll"), 1u);
    EXPECT_TRUE(Listing(dir.path() + "/missing/*").empty());
    EXPECT_TRUE(Listing(dir.path() + "/a.dll/*").empty());  // a file is no folder
    EXPECT_TRUE(Listing(dir.path() + "/").empty());
}

TEST(FindEntries, ListsAwkwardNamesExactly) {
    const TempDir dir;
    const std::vector<std::string> names = {"with space.dll", "caf\xc3\xa9.dll", "new\nline.dll",
                                            "-rf.dll",        "--.dll",          "tab\there.dll",
                                            "*.dll"};
    for (const auto& name : names) dir.Write(name, "x");
    const auto listed = Listing(dir.path() + "/*.dll");
    for (const auto& name : names) EXPECT_EQ(listed.count(name), 1u) << name;
    EXPECT_EQ(listed.size(), names.size());
}

TEST(FindEntries, DosAttribReplacesTheComputedBits) {
    const TempDir dir;
    const std::string normal = dir.Write("normal.dll", "x");
    const std::string system = dir.Write("system.dll", "x");
    const std::string blob = dir.Write("blob.dll", "x");
    const std::string stale = dir.Write("stale.dll", "x");
    const std::string shown = dir.Write(".shown.dll", "x");
    if (!SetDosAttrib(normal, "0x80"))
        GTEST_SKIP() << "this file system refuses user extended attributes: "
                     << std::strerror(errno);
    ASSERT_TRUE(SetDosAttrib(system, std::string_view("0x24\0", 5)));
    ASSERT_TRUE(SetDosAttrib(blob, SambaBlob(5, 0x11, 0x02)));
    ASSERT_TRUE(SetDosAttrib(stale, SambaBlob(5, 0x10, 0x02)));  // attribute not valid: ignored
    ASSERT_TRUE(SetDosAttrib(shown, "0x20"));                    // a dot name made visible
    const auto all = Listing(dir.path() + "/*.dll");
    EXPECT_EQ(all.at("normal.dll"), 0x80u);
    EXPECT_EQ(all.at("system.dll"), 0x24u);
    EXPECT_EQ(all.at("blob.dll"), 0x02u);
    EXPECT_EQ(all.at("stale.dll"), 0x20u);
    EXPECT_EQ(all.at(".shown.dll"), 0x20u);
    const auto request = Listing(dir.path() + "/*", FindFilter::kDirectories);
    EXPECT_EQ(request.count("system.dll"), 0u);
    EXPECT_EQ(request.count("blob.dll"), 0u);
    EXPECT_EQ(request.count("normal.dll"), 1u);
}

TEST(FindEntries, AStoredValueNeverDecidesWhatIsAFolder) {
    const TempDir dir;
    const std::string zero = dir.Write("zero.dll", "x");
    const std::string claimsFolder = dir.Write("claims-folder.dll", "x");
    const std::string folder = dir.path() + "/folder.dll";
    std::filesystem::create_directory(folder);
    if (!SetDosAttrib(zero, "0x0"))
        GTEST_SKIP() << "this file system refuses user extended attributes: "
                     << std::strerror(errno);
    ASSERT_TRUE(SetDosAttrib(claimsFolder, "0x12"));
    ASSERT_TRUE(SetDosAttrib(folder, "0x80"));  // "normal" on a folder: just a folder
    const auto all = Listing(dir.path() + "/*.dll");
    EXPECT_EQ(all.at("zero.dll"), 0x80u);
    EXPECT_EQ(all.at("claims-folder.dll"), 0x02u);
    EXPECT_EQ(all.at("folder.dll"), 0x10u);
    ASSERT_TRUE(SetDosAttrib(folder, "0x0"));
    EXPECT_EQ(Listing(dir.path() + "/*.dll").at("folder.dll"), 0x10u);
}
