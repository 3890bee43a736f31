#include <sys/stat.h>
#include <sys/xattr.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "core/Errors.h"
#include "core/Unit1Inventory.h"
#include "platform/Registry.h"
#include "platform/posix/DosAttrib.h"
#include "support/TempDir.h"

namespace {

using V = std::vector<std::string>;

V Sorted(const core::TStringList& list) {
    V items = list.Items();
    std::sort(items.begin(), items.end());
    return items;
}

void SetEditorValue(platform::RegistryHive& hive, const platform::RegistryValue& value) {
    ASSERT_TRUE(hive.CreateKey("\\Software\\Zelmarock\\modules"));
    ASSERT_TRUE(hive.WriteValue("\\Software\\Zelmarock\\modules", "PHP", value));
}

}  // namespace

TEST(GetEditorPath, NamesAnExistingFileOrNothing) {
    const TempDir dir;
    const auto hive = platform::OpenHiveFile(dir.path() + "/HKCU.reg");
    EXPECT_EQ(GetEditorPath(*hive), "");                              // no key
    EXPECT_FALSE(hive->KeyExists("\\Software\\Zelmarock\\modules"));  // and none was created
    ASSERT_TRUE(hive->CreateKey("\\Software\\Zelmarock\\modules"));
    EXPECT_EQ(GetEditorPath(*hive), "");  // no value
    const std::string editor = dir.Write("Editor Folder/editor.exe", "x");
    SetEditorValue(*hive, platform::TextValue(editor));
    EXPECT_EQ(GetEditorPath(*hive), editor);
    std::filesystem::remove(editor);
    EXPECT_EQ(GetEditorPath(*hive), "");  // deleted since
    SetEditorValue(*hive, platform::TextValue(dir.path() + "/Editor Folder"));
    EXPECT_EQ(GetEditorPath(*hive), "");  // a folder is not a file
    SetEditorValue(*hive, platform::RegistryValue{platform::kRegDword, {1, 0, 0, 0}});
    EXPECT_THROW(GetEditorPath(*hive), core::ERegistryException);
}

TEST(FolderPart, EndsAtTheLastDelimiterAndARootKeepsIt) {
    EXPECT_EQ(ExtractFileDir("/opt/editor/editor.exe"), "/opt/editor");
    EXPECT_EQ(ExtractFileDir("/editor.exe"), "/");
    EXPECT_EQ(ExtractFileDir("editor.exe"), "");
    EXPECT_EQ(ExtractFileDir("/opt/editor/"), "/opt/editor");
    EXPECT_EQ(ExtractFileDir("C:\\a\\editor.exe"), "");  // backslashes are no delimiter here
    EXPECT_EQ(ExtractFilePath("/opt/editor/editor.exe"), "/opt/editor/");
    EXPECT_EQ(ExtractFilePath("editor.exe"), "");
}

TEST(Locations, DerivedFromTheTwoAnchors) {
    const std::string editor = "/opt/Corvalite Editor/editor.exe";
    EXPECT_EQ(EditorFolder(editor), "/opt/Corvalite Editor");
    EXPECT_EQ(DebuggerListenerPath(editor), "/opt/Corvalite Editor/DbgListener.exe");
    EXPECT_EQ(PhpFolder(editor), "/opt/Corvalite Editor/php");
    EXPECT_EQ(DebuggerLibraryFolder(editor), "/opt/Corvalite Editor/bin/server");
    EXPECT_EQ(PhpFolder("/editor.exe"), "//php");  // a root keeps its delimiter
    EXPECT_EQ(DebuggerListenerPath(""), "DbgListener.exe");
    const std::string server = "/home/u/.local/share/Zelmarock/corvalitesrv.exe";
    EXPECT_EQ(ServerFolder(server), "/home/u/.local/share/Zelmarock");
    EXPECT_EQ(ModulesFolder(server), "/home/u/.local/share/Zelmarock/modules");
    EXPECT_EQ(UtilitiesFolder(server), "/home/u/.local/share/Zelmarock/modules/utils");
    EXPECT_EQ(ModulesFolder("Zelmarock/corvalitesrv.exe"), "Zelmarock/modules");
    EXPECT_EQ(DebuggerLibraryMask(), "/php_dbg.*");
    EXPECT_EQ(ModulesMask(), "/*.dll");
    EXPECT_EQ(UtilitiesMask(), "/*.exe");
}

TEST(ListSubfolders, KeepsOnlyPlainVisibleFolders) {
    const TempDir dir;
    namespace fs = std::filesystem;
    for (const char* name : {"php_4.4.9", "PHP 5 \xc3\xa9", "-dash", "locked", ".hidden"})
        fs::create_directory(dir.path() + "/" + name);
    dir.Write("file.txt", "x");
    chmod((dir.path() + "/locked").c_str(), 0555);
    core::TStringList list;
    list.Add("stale");
    ListSubfolders(dir.path(), list);
    EXPECT_EQ(Sorted(list), (V{"-dash", "PHP 5 \xc3\xa9", "php_4.4.9"}));
    ListSubfolders(dir.path() + "/missing", list);
    EXPECT_TRUE(list.Empty());
}

TEST(ListFiles, FiltersByMaskAttributesAndDotNames) {
    const TempDir dir;
    for (const char* name : {"mod_a.dll", "MOD_B.DLL", ".mod_c.dll", "readme.txt", "new\nline.dll"})
        dir.Write(name, "x");
    const std::string locked = dir.Write("locked.dll", "x");
    chmod(locked.c_str(), 0444);
    std::filesystem::create_directory(dir.path() + "/folder.dll");
    core::TStringList list(true);  // sorted: fast membership ignoring case
    ListFiles(dir.path(), ModulesMask(), list);
    EXPECT_EQ(Sorted(list),
              (V{"MOD_B.DLL", "folder.dll", "locked.dll", "mod_a.dll", "new\nline.dll"}));
    EXPECT_TRUE(list.Contains("mod_b.dll"));
    ListFiles(dir.path() + "/missing", ModulesMask(), list);
    EXPECT_TRUE(list.Empty());
}

TEST(ListFiles, SkipsEntriesCarryingBitsBeyondTheClassicSix) {
    const TempDir dir;
    const std::string normal = dir.Write("normal.dll", "x");
    const std::string compressed = dir.Write("compressed.dll", "x");
    const std::string system = dir.Write("system.dll", "x");
    const std::string plainFolder = dir.path() + "/plain";
    const std::string archivedFolder = dir.path() + "/archived";
    std::filesystem::create_directory(plainFolder);
    std::filesystem::create_directory(archivedFolder);
    if (setxattr(normal.c_str(), platform::kDosAttribName, "0x80", 4, 0) != 0)
        GTEST_SKIP() << "this file system refuses user extended attributes";
    ASSERT_EQ(setxattr(compressed.c_str(), platform::kDosAttribName, "0x820", 5, 0), 0);
    ASSERT_EQ(setxattr(system.c_str(), platform::kDosAttribName, "0x24", 4, 0), 0);
    ASSERT_EQ(setxattr(archivedFolder.c_str(), platform::kDosAttribName, "0x30", 4, 0), 0);
    core::TStringList list;
    ListFiles(dir.path(), ModulesMask(), list);
    EXPECT_EQ(Sorted(list), (V{"system.dll"}));
    ListSubfolders(dir.path(), list);
    EXPECT_EQ(Sorted(list), (V{"plain"}));
}

// A file carrying a stored value of 0, named like a PHP folder and a module, is neither.
TEST(ListSubfolders, AFileWithAZeroStoredValueIsNoFolderAndNoModule) {
    const TempDir dir;
    const std::string php = dir.Write("php-5.2.1", "x");
    const std::string module = dir.Write("mod_a.dll", "x");
    std::filesystem::create_directory(dir.path() + "/php-4.4.4");
    if (setxattr(php.c_str(), platform::kDosAttribName, "0x0", 3, 0) != 0)
        GTEST_SKIP() << "this file system refuses user extended attributes";
    ASSERT_EQ(setxattr(module.c_str(), platform::kDosAttribName, "0x0", 3, 0), 0);
    core::TStringList list;
    ListSubfolders(dir.path(), list);
    EXPECT_EQ(Sorted(list), (V{"php-4.4.4"}));
    ListFiles(dir.path(), ModulesMask(), list);
    EXPECT_TRUE(list.Empty());
}
