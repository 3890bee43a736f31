// The .reg-file hive: exact types, case rules, hand-written files, damaged files kept
// aside, writes that survive a crash at any step, and two processes writing at once.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/Registry.h"
#include "platform/posix/RegistryHiveIo.h"
#include "platform/posix/RegistryHiveText.h"
#include "support/RegistryValues.h"
#include "support/TempDir.h"

using platform::RegistryValue;
using testsupport::Text;
using testsupport::Value;
namespace fs = std::filesystem;
namespace posix = platform::posix;

namespace {

using testsupport::Entries;

class HiveTest : public ::testing::Test {
  protected:
    void TearDown() override { posix::SetHiveWriteHook({}); }

    std::unique_ptr<platform::RegistryHive> Open() { return platform::OpenHiveFile(path); }

    TempDir dir;
    std::string path = dir.path() + "/cfg/HKCU.reg";
};

TEST_F(HiveTest, EveryTypeComesBackExactlyFromAFreshReader) {
    const std::vector<std::pair<std::string, RegistryValue>> values = {
        {"plain", Text(platform::kRegSz, "C:\\Program Files\\\"quoted\"")},
        {"unicode", Text(platform::kRegSz, "Grüße \xF0\x9F\x98\x80")},
        {"empty", Text(platform::kRegSz, "")},
        {"no zero", Value(platform::kRegSz, "abc")},
        {"no data", Value(platform::kRegSz, "")},
        {"inner zero", Value(platform::kRegSz, std::string_view("a\0b\0", 4))},
        {"line break", Text(platform::kRegSz, "one\r\ntwo")},
        {"not utf-8", Text(platform::kRegSz, "caf\xE9 \xED\xA0\x80")},
        {"expand", Text(platform::kRegExpandSz, "%USERPROFILE%\\Zelmarock \xE2\x82\xAC")},
        {"dword", Value(platform::kRegDword, std::string_view("\x05\x00\x00\x80", 4))},
        {"short dword", Value(platform::kRegDword, std::string_view("\x01\x02", 2))},
        {"binary", Value(platform::kRegBinary, std::string(300, '\xAB'))},
        {"empty binary", Value(platform::kRegBinary, "")},
        {"none", Value(platform::kRegNone, "\x01")},
        {"multi", Value(7, std::string_view("a\0b\0\0", 5))},
        {"qword", Value(11, std::string_view("\x01\x00\x00\x00\x00\x00\x00\x02", 8))},
        {"", Text(platform::kRegSz, "default value")},
    };
    auto writer = Open();
    ASSERT_TRUE(writer->CreateKey("\\Software\\Test"));
    for (const auto& [name, value] : values)
        ASSERT_TRUE(writer->WriteValue("Software\\Test", name, value)) << name;

    auto reader = Open();
    for (const auto& [name, value] : values) {
        const auto read = reader->ReadValue("\\Software\\Test", name);
        ASSERT_TRUE(read.has_value()) << name;
        EXPECT_EQ(read->type, value.type) << name;
        EXPECT_EQ(read->data, value.data) << name;
    }
    EXPECT_TRUE(reader->TakeNotices().empty());
}

TEST_F(HiveTest, FileUsesTheFormsWindowsExports) {
    auto hive = Open();
    ASSERT_TRUE(hive->CreateKey("\\Software\\Zelmarock\\Update"));
    ASSERT_TRUE(hive->WriteValue("\\Software\\Zelmarock\\Update", "DownloadDir",
                                 Text(platform::kRegSz, "C:\\dl")));
    ASSERT_TRUE(hive->WriteValue("\\Software\\Zelmarock\\Update", "AutoUpdate",
                                 Value(platform::kRegDword, std::string_view("\x01\0\0\0", 4))));
    ASSERT_TRUE(hive->WriteValue("\\Software\\Zelmarock\\Update", "Path",
                                 Text(platform::kRegExpandSz, "%A%")));
    ASSERT_TRUE(hive->WriteValue("\\Software\\Zelmarock\\Update", "Blob",
                                 Value(platform::kRegBinary, "\x01\xFF")));
    EXPECT_EQ(dir.Read("cfg/HKCU.reg"),
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_CURRENT_USER\\Software\\Zelmarock\\Update]\n"
              "\"DownloadDir\"=\"C:\\\\dl\"\n"
              "\"AutoUpdate\"=dword:00000001\n"
              "\"Path\"=hex(2):25,00,41,00,25,00,00,00\n"
              "\"Blob\"=hex:01,ff\n\n");
}

TEST_F(HiveTest, KeysAndNamesIgnoreCaseAndKeepTheirFirstSpelling) {
    auto hive = Open();
    ASSERT_TRUE(hive->CreateKey("\\Software\\Zelmarock"));
    EXPECT_TRUE(hive->KeyExists("\\SOFTWARE\\zelmarock\\"));
    EXPECT_TRUE(hive->KeyExists("software"));  // a parent exists with its child
    EXPECT_TRUE(hive->KeyExists(""));          // the root always does
    EXPECT_FALSE(hive->KeyExists("\\Software\\Zelmarock\\Update"));
    ASSERT_TRUE(hive->WriteValue("\\SOFTWARE\\ZELMAROCK", "MyValue", Text(platform::kRegSz, "1")));
    ASSERT_TRUE(hive->WriteValue("\\software\\zelmarock", "MYVALUE", Text(platform::kRegSz, "2")));
    const auto read = hive->ReadValue("Software\\ZelmaRock", "myvalue");
    ASSERT_TRUE(read);
    EXPECT_EQ(read->data, Text(platform::kRegSz, "2").data);
    const auto text = dir.Read("cfg/HKCU.reg");
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Zelmarock]\n\"MyValue\"=\"2\"\n"),
              std::string::npos)
        << text;
}

TEST_F(HiveTest, WritesNeedAnExistingKeyAndNamesTheFileCanHold) {
    auto hive = Open();
    EXPECT_FALSE(hive->WriteValue("\\Software\\Missing", "x", Text(platform::kRegSz, "")));
    EXPECT_FALSE(hive->CreateKey("\\Software\\\\Empty"));
    ASSERT_TRUE(hive->CreateKey("\\Software"));
    EXPECT_FALSE(hive->WriteValue("\\Software", "two\nlines", Text(platform::kRegSz, "")));
    EXPECT_FALSE(hive->ReadValue("\\Software", "absent"));
}

TEST(HiveText, ReadsHandWrittenFiles) {
    const std::string text =
        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
        "\r\n"
        "; a comment\r\n"
        "[HKEY_CURRENT_USER\\Software\\A]\r\n"
        "  \"Name\" = \"say \\\"hi\\\"\"\r\n"
        "@=\"default\"\r\n"
        "\"Gone\"=\"soon\"\r\n"
        "\"Gone\"=-\r\n"
        "\"Long\"=hex(2):41,00,\\\r\n"
        "    42,00,\\\r\n"
        "  00,00\r\n"
        "\"Num\"=dword:0000002A\r"
        "[HKEY_CURRENT_USER\\Software\\A\\Sub]\n"
        "[-HKEY_CURRENT_USER\\Software\\A\\Sub]\n"
        "[HKEY_LOCAL_MACHINE\\Kept]\n";
    const auto parsed = posix::ParseHiveText(text);
    ASSERT_TRUE(parsed.ok) << parsed.error;
    const auto* key = parsed.model.Find("hkey_current_user\\software\\a");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->Find("NAME")->data, Text(platform::kRegSz, "say \"hi\"").data);
    EXPECT_EQ(key->Find("")->data, Text(platform::kRegSz, "default").data);
    EXPECT_EQ(key->Find("Gone"), nullptr);
    EXPECT_EQ(key->Find("Long")->type, platform::kRegExpandSz);
    EXPECT_EQ(key->Find("Long")->data, Text(platform::kRegSz, "AB").data);
    EXPECT_EQ(key->Find("Num")->data,
              Value(platform::kRegDword, std::string_view("\x2A\0\0\0", 4)).data);
    EXPECT_FALSE(parsed.model.Exists("HKEY_CURRENT_USER\\Software\\A\\Sub"));
    // Keys of other roots are nobody's business here, but rewriting keeps them.
    EXPECT_NE(posix::FormatHiveText(parsed.model).find("[HKEY_LOCAL_MACHINE\\Kept]"),
              std::string::npos);
}

TEST(HiveText, ReadsAUtf16FileAsRegeditSavesIt) {
    const std::string utf8 =
        "Windows Registry Editor Version "
        "5.00\r\n\r\n[HKEY_CURRENT_USER\\S]\r\n\"V\"=\"\xC3\xA4\"\r\n";
    std::string utf16 = "\xFF\xFE";
    for (const char c : std::string(
             "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\S]\r\n\"V\"=\""))
        utf16 += {c, '\0'};
    utf16 += std::string("\xE4\0\"\0\r\0\n\0", 8);
    const auto a = posix::ParseHiveText(utf8);
    const auto b = posix::ParseHiveText(utf16);
    ASSERT_TRUE(a.ok && b.ok) << a.error << b.error;
    EXPECT_TRUE(a.model == b.model);
}

TEST(HiveText, RefusesWhatItDoesNotUnderstand) {
    const std::string header = "Windows Registry Editor Version 5.00\n";
    for (const std::string& body : {
             std::string("REGEDIT4\n"),
             header + "\"v\"=\"outside a key\"\n",
             header + "[HKEY_CURRENT_USER\\K]\n\"v\"=\"C:\\dir\"\n",
             header + "[HKEY_CURRENT_USER\\K]\n\"v\"=\"open\n",
             header + "[HKEY_CURRENT_USER\\K]\n\"v\"=dword:123456789\n",
             header + "[HKEY_CURRENT_USER\\K]\n\"v\"=hex:1,zz\n",
             header + "[HKEY_CURRENT_USER\\K]\n\"v\"=hex:01,\\",  // continued past the end
             header + "[HKEY_CURRENT_USER\\\\K]\n",
             header + "[HKEY_CURRENT_USER\\K\n",
             header + "garbage\n",
             std::string("\0\0\0\0", 4),
         }) {
        const auto parsed = posix::ParseHiveText(body);
        EXPECT_FALSE(parsed.ok) << body;
        EXPECT_TRUE(parsed.error.starts_with("line ")) << parsed.error;
    }
    EXPECT_TRUE(posix::ParseHiveText("").ok);
    EXPECT_TRUE(posix::ParseHiveText("\n \r\n").ok);
}

TEST_F(HiveTest, DamagedFileIsKeptAsideAndNamedAndTheNextWriteStartsAfresh) {
    const std::string garbage =
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\K]\n\"v\"=\"C:\\x\"\n";
    dir.Write("cfg/HKCU.reg", garbage);
    auto hive = Open();
    EXPECT_FALSE(hive->KeyExists("\\K"));
    const auto notices = hive->TakeNotices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_TRUE(hive->TakeNotices().empty());
    auto names = Entries(dir.path() + "/cfg");
    ASSERT_EQ(names.size(), 2u);  // the lock file and the damaged copy
    EXPECT_EQ(names[0], "HKCU.reg.damaged-" + names[0].substr(17));
    EXPECT_EQ(names[1], "HKCU.reg.lock");
    const std::string aside = dir.path() + "/cfg/" + names[0];
    EXPECT_NE(notices[0].find('"' + path + '"'), std::string::npos) << notices[0];
    EXPECT_NE(notices[0].find('"' + aside + '"'), std::string::npos) << notices[0];
    EXPECT_EQ(dir.Read("cfg/" + names[0]), garbage);

    ASSERT_TRUE(hive->CreateKey("\\New"));
    EXPECT_TRUE(Open()->KeyExists("\\New"));
    EXPECT_EQ(dir.Read("cfg/" + names[0]), garbage);

    // Damaged again within the same second: the first copy is not replaced.
    dir.Write("cfg/HKCU.reg", "second");
    EXPECT_FALSE(Open()->KeyExists("\\New"));
    EXPECT_EQ(Entries(dir.path() + "/cfg").size(), 3u);
    EXPECT_EQ(dir.Read("cfg/" + names[0]), garbage);
}

TEST_F(HiveTest, DamagedFileIsNeverWrittenOverWhenItCannotBeMoved) {
    // A hive below a read-only bind is out of reach in a test running as root, so the
    // unreachable case is a damaged file whose folder refuses the lock file.
    dir.Write("cfg/HKCU.reg", "not a hive");
    fs::permissions(dir.path() + "/cfg", fs::perms::owner_read | fs::perms::owner_exec);
    if (::access((dir.path() + "/cfg").c_str(), W_OK) == 0) {
        fs::permissions(dir.path() + "/cfg", fs::perms::owner_all);
        GTEST_SKIP() << "running as root: folder permissions do not stop us";
    }
    auto hive = Open();
    EXPECT_FALSE(hive->CreateKey("\\K"));
    EXPECT_EQ(hive->TakeNotices().size(), 1u);
    fs::permissions(dir.path() + "/cfg", fs::perms::owner_all);
    EXPECT_EQ(dir.Read("cfg/HKCU.reg"), "not a hive");
}

TEST_F(HiveTest, HugeFileCountsAsDamagedWithoutBeingRead) {
    fs::create_directories(dir.path() + "/cfg");
    {
        std::ofstream out(path, std::ios::binary);
        out << "Windows Registry Editor Version 5.00\n";
    }
    fs::resize_file(path, 100LL * 1024 * 1024);  // sparse: 100 MB of zero bytes
    auto hive = Open();
    EXPECT_FALSE(hive->ReadValue("\\K", "v"));
    ASSERT_EQ(hive->TakeNotices().size(), 1u);
    EXPECT_FALSE(fs::exists(path));
    ASSERT_TRUE(hive->CreateKey("\\K"));
    EXPECT_LT(fs::file_size(path), 1000u);
}

TEST_F(HiveTest, SomethingElseAtThePathIsReportedAndLeftAlone) {
    fs::create_directories(dir.path() + "/cfg");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);  // opening must not hang on it
    auto hive = Open();
    EXPECT_FALSE(hive->ReadValue("\\K", "v"));
    EXPECT_FALSE(hive->CreateKey("\\K"));
    EXPECT_EQ(hive->TakeNotices().size(), 1u);
    EXPECT_TRUE(fs::is_fifo(path));
}

TEST_F(HiveTest, UnwritableLocationFailsWritesAndReadsEmpty) {
    const std::string blocker = dir.Write("not-a-folder", "x");
    auto hive = platform::OpenHiveFile(blocker + "/HKCU.reg");
    EXPECT_FALSE(hive->KeyExists("\\Zelmarock"));
    EXPECT_FALSE(hive->CreateKey("\\Zelmarock"));
    EXPECT_TRUE(hive->TakeNotices().empty());
}

TEST_F(HiveTest, HiveKeptAsASymlinkStaysOne) {
    const std::string target = dir.Write("dotfiles/HKCU.reg", "");
    fs::create_directories(dir.path() + "/cfg");
    fs::create_symlink(target, path);
    ASSERT_TRUE(Open()->CreateKey("\\K"));
    EXPECT_TRUE(fs::is_symlink(path));
    EXPECT_NE(dir.Read("dotfiles/HKCU.reg").find("[HKEY_CURRENT_USER\\K]"), std::string::npos);
}

TEST_F(HiveTest, FailedWriteStepLeavesTheOldFileAndNoTemporary) {
    auto hive = Open();
    ASSERT_TRUE(hive->CreateKey("\\K"));
    const auto before = dir.Read("cfg/HKCU.reg");
    for (const auto failing :
         {posix::HiveWriteStep::kTempOpened, posix::HiveWriteStep::kHalfWritten,
          posix::HiveWriteStep::kWritten, posix::HiveWriteStep::kSynced}) {
        posix::SetHiveWriteHook([failing](posix::HiveWriteStep step) { return step != failing; });
        EXPECT_FALSE(hive->WriteValue("\\K", "v", Text(platform::kRegSz, "new")));
        EXPECT_EQ(dir.Read("cfg/HKCU.reg"), before);
        EXPECT_FALSE(dir.Exists("cfg/HKCU.reg.tmp"));
    }
}

// A child process dies at each step of a write; the file is then the old hive or the
// new one, whole, and the next write goes through.
TEST_F(HiveTest, CrashAtAnyStepLeavesTheOldOrTheNewHive) {
    for (const auto crashAt : {posix::HiveWriteStep::kTempOpened,
                               posix::HiveWriteStep::kHalfWritten, posix::HiveWriteStep::kWritten,
                               posix::HiveWriteStep::kSynced, posix::HiveWriteStep::kRenamed}) {
        fs::remove_all(dir.path() + "/cfg");
        auto hive = Open();
        ASSERT_TRUE(hive->CreateKey("\\K"));
        ASSERT_TRUE(hive->WriteValue("\\K", "old", Text(platform::kRegSz, std::string(5000, 'o'))));
        const auto before = dir.Read("cfg/HKCU.reg");

        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            posix::SetHiveWriteHook([crashAt](posix::HiveWriteStep step) {
                if (step == crashAt) ::_exit(3);
                return true;
            });
            Open()->WriteValue("\\K", "new", Text(platform::kRegSz, std::string(5000, 'n')));
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_EQ(WEXITSTATUS(status), 3);

        const auto after = Open();
        const bool isNew = after->ReadValue("\\K", "new").has_value();
        EXPECT_EQ(isNew, crashAt == posix::HiveWriteStep::kRenamed);
        if (!isNew) {
            EXPECT_EQ(dir.Read("cfg/HKCU.reg"), before);
        }
        EXPECT_TRUE(after->ReadValue("\\K", "old").has_value());
        EXPECT_TRUE(after->TakeNotices().empty());
        ASSERT_TRUE(after->WriteValue("\\K", "later", Text(platform::kRegSz, "x")));
        EXPECT_FALSE(dir.Exists("cfg/HKCU.reg.tmp"));
    }
}

TEST_F(HiveTest, TwoProcessesWritingAtOnceKeepEveryKey) {
    constexpr int kKeys = 60;
    std::vector<pid_t> children;
    for (const char* who : {"a", "b"}) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            auto hive = Open();
            bool ok = true;
            for (int i = 0; i < kKeys; ++i) {
                const std::string key = std::string("\\Software\\") + who + std::to_string(i);
                ok = hive->CreateKey(key) &&
                     hive->WriteValue(key, "n", Text(platform::kRegSz, key)) && ok;
            }
            ::_exit(ok ? 0 : 1);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    auto hive = Open();
    for (const char* who : {"a", "b"})
        for (int i = 0; i < kKeys; ++i) {
            const std::string key = std::string("\\Software\\") + who + std::to_string(i);
            const auto value = hive->ReadValue(key, "n");
            ASSERT_TRUE(value) << key;
            EXPECT_EQ(value->data, Text(platform::kRegSz, key).data);
        }
}

class AppDataTest : public HiveTest {
  protected:
    static constexpr const char* kShellFolders =
        "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

    void SetUp() override {
        for (const char* name : {"XDG_DATA_HOME", "HOME"})
            if (const char* value = std::getenv(name)) saved_.emplace_back(name, value);
    }
    void TearDown() override {
        ::unsetenv("XDG_DATA_HOME");
        for (const auto& [name, value] : saved_) ::setenv(name.c_str(), value.c_str(), 1);
        HiveTest::TearDown();
    }

    std::string AppData() {
        const auto value = Open()->ReadValue(kShellFolders, "appdata");
        if (!value) return "<absent>";
        EXPECT_EQ(value->type, platform::kRegSz);
        return std::string(value->data.begin(), value->data.end());
    }

  private:
    std::vector<std::pair<std::string, std::string>> saved_;
};

TEST_F(AppDataTest, AnsweredFromTheDataHomeUntilTheHiveHoldsIt) {
    ::setenv("XDG_DATA_HOME", "/data/home", 1);
    EXPECT_EQ(AppData(), std::string("/data/home\0", 11));
    EXPECT_TRUE(Open()->KeyExists(kShellFolders));
    EXPECT_TRUE(Open()->CreateKey(kShellFolders));
    EXPECT_FALSE(fs::exists(path));  // nothing to write for a key Windows keeps itself

    ::setenv("XDG_DATA_HOME", "relative/ignored", 1);
    ::setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(AppData(), std::string("/home/someone/.local/share\0", 27));

    ASSERT_TRUE(Open()->WriteValue(kShellFolders, "AppData", Text(platform::kRegSz, "/stored")));
    EXPECT_EQ(AppData(), std::string("/stored\0", 8));
}

}  // namespace
