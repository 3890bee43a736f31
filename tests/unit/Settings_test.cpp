// The registry access object's rules and the settings store built on it, against a
// real hive file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "core/Errors.h"
#include "core/TRegistry.h"
#include "core/Unit1Settings.h"
#include "platform/Registry.h"
#include "platform/posix/RegistryHiveIo.h"
#include "support/RegistryValues.h"
#include "support/TempDir.h"

using platform::RegistryValue;
using testsupport::Dword;
using testsupport::Text;
using testsupport::Value;

namespace {

// Runs f and returns the registry error's text, or "" when none was raised.
template <typename F>
std::string ErrorOf(F&& f) {
    try {
        f();
    } catch (const core::ERegistryException& error) {
        return error.what();
    }
    return "";
}

class SettingsTest : public ::testing::Test {
  protected:
    void TearDown() override { platform::posix::SetHiveWriteHook({}); }

    void Store(const std::string& name, const RegistryValue& value) {
        ASSERT_TRUE(hive->CreateKey(kSettingsKey));
        ASSERT_TRUE(hive->WriteValue(kSettingsKey, name, value));
    }
    std::optional<RegistryValue> Stored(const std::string& name) {
        return platform::OpenHiveFile(path)->ReadValue(kSettingsKey, name);
    }
    void FailWrites() {
        platform::posix::SetHiveWriteHook([](platform::posix::HiveWriteStep) { return false; });
    }

    TempDir dir;
    std::string path = dir.path() + "/HKCU.reg";
    std::unique_ptr<platform::RegistryHive> hive = platform::OpenHiveFile(path);
};

TEST_F(SettingsTest, ReadStringTakesBothTextTypesRawAndRefusesOthers) {
    Store("sz", Value(platform::kRegSz, std::string_view("a\0b", 3)));
    Store("expand", Text(platform::kRegExpandSz, "%TEMP%\\x"));
    Store("empty binary", Value(platform::kRegBinary, ""));
    Store("number", Dword(1));
    core::TRegistry registry(*hive);
    ASSERT_TRUE(registry.OpenKey(kSettingsKey, false));
    EXPECT_EQ(registry.ReadString("sz"), "a");
    EXPECT_EQ(registry.ReadString("EXPAND"), "%TEMP%\\x");
    EXPECT_EQ(registry.ReadString("absent"), "");
    EXPECT_EQ(registry.ReadString("empty binary"), "");
    EXPECT_EQ(ErrorOf([&] { registry.ReadString("number"); }), "Ungültiger Datentyp für 'number'");
}

TEST_F(SettingsTest, ReadIntegerChecksSizeBeforeType) {
    Store("dword", Dword(0xFFFFFFFE));
    Store("qword", Value(11, std::string(8, '\1')));
    Store("long binary", Value(platform::kRegBinary, "12345"));
    Store("short binary", Value(platform::kRegBinary, "1234"));
    Store("text", Text(platform::kRegSz, "1"));
    core::TRegistry registry(*hive);
    ASSERT_TRUE(registry.OpenKey(kSettingsKey, false));
    EXPECT_EQ(registry.ReadInteger("dword"), -2);
    EXPECT_EQ(ErrorOf([&] { registry.ReadInteger("absent"); }),
              "Konnte Daten für 'absent' nicht holen");
    EXPECT_EQ(ErrorOf([&] { registry.ReadInteger("qword"); }),
              "Konnte Daten für 'qword' nicht holen");
    EXPECT_EQ(ErrorOf([&] { registry.ReadInteger("long binary"); }),
              "Konnte Daten für 'long binary' nicht holen");
    EXPECT_EQ(ErrorOf([&] { registry.ReadInteger("short binary"); }),
              "Ungültiger Datentyp für 'short binary'");
    EXPECT_EQ(ErrorOf([&] { registry.ReadInteger("text"); }), "Ungültiger Datentyp für 'text'");
}

TEST_F(SettingsTest, OpenKeyAndFailedWrites) {
    core::TRegistry registry(*hive);
    EXPECT_FALSE(registry.OpenKey(kSettingsKey, false));
    EXPECT_EQ(ErrorOf([&] { registry.WriteString("x", "y"); }),
              "Konnte Daten für 'x' nicht setzen");
    ASSERT_TRUE(registry.OpenKey(kSettingsKey, true));
    EXPECT_EQ(registry.CurrentPath(), kSettingsKey);
    registry.WriteInteger("n", -1);
    EXPECT_EQ(Stored("n")->data, Dword(0xFFFFFFFF).data);
    FailWrites();
    EXPECT_EQ(ErrorOf([&] { registry.WriteInteger("n", 2); }), "Konnte Daten für 'n' nicht setzen");
    registry.CloseKey();
    EXPECT_FALSE(registry.ValueExists("n"));
}

TEST_F(SettingsTest, FirstRunKeepsTheDefaultsAndShutDownCreatesTheKey) {
    std::string folder = "/opt/update/download";
    bool autoUpdate = true;
    LoadSettings(*hive, folder, autoUpdate);
    EXPECT_EQ(folder, "/opt/update/download");
    EXPECT_FALSE(autoUpdate);
    EXPECT_FALSE(hive->KeyExists(kSettingsKey));  // loading creates nothing

    SaveSettings(*hive, folder, false);
    EXPECT_EQ(Stored("DownloadDir")->type, platform::kRegSz);
    EXPECT_EQ(Stored("DownloadDir")->data, Text(platform::kRegSz, folder).data);
    EXPECT_EQ(Stored("AutoUpdate")->data, Dword(0).data);
}

TEST_F(SettingsTest, StoredValuesAreReadAndWrittenBackInTheirOwnTypes) {
    Store("DownloadDir", Text(platform::kRegExpandSz, "%USERPROFILE%\\dl"));
    Store("AutoUpdate", Dword(5));
    std::string folder = "default";
    bool autoUpdate = false;
    LoadSettings(*hive, folder, autoUpdate);
    EXPECT_EQ(folder, "%USERPROFILE%\\dl");  // raw, nothing expanded
    EXPECT_TRUE(autoUpdate);

    SaveSettings(*hive, folder, autoUpdate);
    EXPECT_EQ(Stored("DownloadDir")->type, platform::kRegSz);
    EXPECT_EQ(Stored("DownloadDir")->data, Text(platform::kRegSz, "%USERPROFILE%\\dl").data);
    EXPECT_EQ(Stored("AutoUpdate")->data, Dword(1).data);
}

TEST_F(SettingsTest, EmptyStoredFolderIsUsedAndStoredEmpty) {
    Store("DownloadDir", Text(platform::kRegSz, ""));
    std::string folder = "default";
    bool autoUpdate = true;
    LoadSettings(*hive, folder, autoUpdate);
    EXPECT_EQ(folder, "");
    EXPECT_FALSE(autoUpdate);
    SaveSettings(*hive, folder, autoUpdate);
    EXPECT_EQ(Stored("DownloadDir")->data, Text(platform::kRegSz, "").data);
}

TEST_F(SettingsTest, WrongTypesRaiseAfterKeepingWhatWasRead) {
    Store("DownloadDir", Dword(7));
    std::string folder = "default";
    bool autoUpdate = true;
    EXPECT_EQ(ErrorOf([&] { LoadSettings(*hive, folder, autoUpdate); }),
              "Ungültiger Datentyp für 'DownloadDir'");
    EXPECT_EQ(folder, "default");
    EXPECT_FALSE(autoUpdate);

    Store("DownloadDir", Text(platform::kRegSz, "/stored"));
    Store("AutoUpdate", Text(platform::kRegSz, "1"));
    autoUpdate = true;
    EXPECT_EQ(ErrorOf([&] { LoadSettings(*hive, folder, autoUpdate); }),
              "Ungültiger Datentyp für 'AutoUpdate'");
    EXPECT_EQ(folder, "/stored");
    EXPECT_FALSE(autoUpdate);

    Store("AutoUpdate", Value(platform::kRegDword, std::string(8, '\0')));
    EXPECT_EQ(ErrorOf([&] { LoadSettings(*hive, folder, autoUpdate); }),
              "Konnte Daten für 'AutoUpdate' nicht holen");
}

TEST_F(SettingsTest, UnwritableHiveRaisesTheWriteError) {
    Store("AutoUpdate", Dword(1));
    FailWrites();
    EXPECT_EQ(ErrorOf([&] { SaveSettings(*hive, "/x", true); }),
              "Konnte Daten für 'DownloadDir' nicht setzen");

    // Nowhere to create the key at all: still reported, not silently dropped.
    const std::string blocker = dir.Write("file", "x");
    auto nowhere = platform::OpenHiveFile(blocker + "/HKCU.reg");
    EXPECT_EQ(ErrorOf([&] { SaveSettings(*nowhere, "/x", true); }),
              "Konnte Daten für 'DownloadDir' nicht setzen");
}

TEST_F(SettingsTest, AppDataFolderGetsItsDelimiter) {
    const char* saved = std::getenv("XDG_DATA_HOME");
    const std::string restore = saved ? saved : "";
    ::setenv("XDG_DATA_HOME", "/xdg/data", 1);
    EXPECT_EQ(GetAppDataFolder(*hive), "/xdg/data/");

    ASSERT_TRUE(hive->WriteValue(kShellFoldersKey, "AppData", Text(platform::kRegSz, "/roaming/")));
    EXPECT_EQ(GetAppDataFolder(*hive), "/roaming/");
    ASSERT_TRUE(hive->WriteValue(kShellFoldersKey, "AppData", Text(platform::kRegSz, "")));
    EXPECT_EQ(GetAppDataFolder(*hive), "");
    if (saved)
        ::setenv("XDG_DATA_HOME", restore.c_str(), 1);
    else
        ::unsetenv("XDG_DATA_HOME");
}

TEST_F(SettingsTest, BaseAddressesAreOnlyReplacedByStoredText) {
    std::string catalogue = "https://www.zelmarock.example";
    std::string download = "https://zelmarock.example";
    ReadBaseAddress(*hive, "CatalogueBase", catalogue);
    EXPECT_EQ(catalogue, "https://www.zelmarock.example");
    EXPECT_FALSE(std::filesystem::exists(path));  // never creates the key

    Store("CatalogueBase", Text(platform::kRegSz, "http://127.0.0.1:8080"));
    Store("DownloadBase", Text(platform::kRegSz, ""));
    ReadBaseAddress(*hive, "CatalogueBase", catalogue);
    ReadBaseAddress(*hive, "DownloadBase", download);
    EXPECT_EQ(catalogue, "http://127.0.0.1:8080");
    EXPECT_EQ(download, "https://zelmarock.example");

    Store("DownloadBase", Dword(1));
    EXPECT_EQ(ErrorOf([&] { ReadBaseAddress(*hive, "DownloadBase", download); }),
              "Ungültiger Datentyp für 'DownloadBase'");
    EXPECT_EQ(download, "https://zelmarock.example");
}

}  // namespace
