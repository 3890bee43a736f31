#include <gtest/gtest.h>

#include <filesystem>

#include "core/Errors.h"
#include "core/Unit1Catalogue.h"
#include "platform/PlainFile.h"
#include "support/ScriptedEngine.h"
#include "support/TempDir.h"
#include "support/WithoutRoot.h"

namespace {

const std::string kBase = "http://catalogue.test";

struct CatalogueFixture : ::testing::Test {
    TempDir dir;
    ScriptedEngine engine;
    TCatalogue catalogue;

    void Serve(const std::string& path, const std::string& body) {
        engine.files[kBase + path] = body;
    }
    void ServeAll() {
        Serve("/download/php/list_dbg.php", "php_dbg.dll-5.2.1\nphp_dbg.dll-4.4.4\n");
        Serve("/download/php/list.php", "setup_php-5.2.1.exe\r\nSetup_PHP-4.4.4.exe\r\n");
        Serve("/download/php/versions.php", "3.1.0.245\r\n2.0.1.7\r\n");
        Serve("/download/utils/list_mod.php", "mod_rewrite.dll\nMOD_Auth.dll\nmod_auth.DLL\n");
        Serve("/download/utils/list_exe.php", "tool.exe\n");
    }
    void Fetch() { FetchCatalogue(engine, {}, dir.folder(), kBase, catalogue); }
};

}  // namespace

TEST_F(CatalogueFixture, AsksTheEngineInOrderAndLoadsSortedLists) {
    ServeAll();
    Fetch();
    const std::string f = dir.folder();
    EXPECT_EQ(engine.calls,
              (std::vector<std::string>{
                  "SetOption(title,Receiving info)", "ClearFiles",
                  "AddFile(" + kBase + "/download/php/list_dbg.php," + f + "list_d.txt)",
                  "AddFile(" + kBase + "/download/php/list.php," + f + "list.txt)",
                  "AddFile(" + kBase + "/download/php/versions.php," + f + "list_v.txt)",
                  "AddFile(" + kBase + "/download/utils/list_mod.php," + f + "list_m.txt)",
                  "AddFile(" + kBase + "/download/utils/list_exe.php," + f + "list_u.txt)",
                  "DownloadFiles"}));
    EXPECT_EQ(catalogue.Debugger.Items(),
              (std::vector<std::string>{"php_dbg.dll-4.4.4", "php_dbg.dll-5.2.1"}));
    EXPECT_EQ(catalogue.PHP.Items(),
              (std::vector<std::string>{"Setup_PHP-4.4.4.exe", "setup_php-5.2.1.exe"}));
    EXPECT_EQ(catalogue.Modules.Items(),
              (std::vector<std::string>{"MOD_Auth.dll", "mod_rewrite.dll"}));
    EXPECT_EQ(catalogue.Utils.Items(), (std::vector<std::string>{"tool.exe"}));
    EXPECT_EQ(catalogue.RemoteEditorVersion, "3.1.0.245");
    EXPECT_EQ(catalogue.RemoteServerVersion, "2.0.1.7");
    for (const char* name : {"list.txt", "list_d.txt", "list_v.txt", "list_m.txt", "list_u.txt"})
        EXPECT_FALSE(dir.Exists(name)) << name;
}

TEST_F(CatalogueFixture, RemoteVersionsNeedTwoLinesAndOtherwiseKeepTheirValues) {
    ServeAll();
    Fetch();
    Serve("/download/php/versions.php", "9.9.9.9\n");
    Fetch();
    EXPECT_EQ(catalogue.RemoteEditorVersion, "3.1.0.245");
    EXPECT_EQ(catalogue.RemoteServerVersion, "2.0.1.7");
    Serve("/download/php/versions.php", "garbage line\n\n4.0.0.0\n");
    Fetch();
    EXPECT_EQ(catalogue.RemoteEditorVersion, "garbage line");
    EXPECT_EQ(catalogue.RemoteServerVersion, "");
}

TEST_F(CatalogueFixture, EmptyFilesAndEmptyLinesLoadAsTheyAre) {
    ServeAll();
    Serve("/download/php/list.php", "");
    Serve("/download/utils/list_exe.php", "a.exe\n\nb.exe\n");
    Fetch();
    EXPECT_EQ(catalogue.PHP.Count(), 0u);
    EXPECT_EQ(catalogue.Utils.Items(), (std::vector<std::string>{"", "a.exe", "b.exe"}));
}

TEST_F(CatalogueFixture, AListNotDeliveredFailsWithItsPathAndKeepsEarlierLoads) {
    ServeAll();
    engine.files.erase(kBase + "/download/utils/list_mod.php");
    try {
        Fetch();
        FAIL() << "no error";
    } catch (const core::EFOpenError& error) {
        EXPECT_EQ(error.what(), "Datei " + dir.folder() + "list_m.txt kann nicht geöffnet werden");
    }
    EXPECT_EQ(catalogue.PHP.Count(), 2u);  // loaded before the failing one
    EXPECT_EQ(catalogue.Debugger.Count(), 2u);
    EXPECT_EQ(catalogue.Utils.Count(), 0u);  // never reached
    EXPECT_TRUE(dir.Exists("list.txt"));     // this run's files stay for inspection
    EXPECT_TRUE(dir.Exists("list_u.txt"));
}

TEST_F(CatalogueFixture, AStaleFileFromAnEarlierFailedRunIsNeverLoadedAsFresh) {
    dir.Write("list_m.txt", "mod_stale.dll\n");
    dir.Write("list.txt", "setup_php-old.exe\n");
    ServeAll();
    engine.files.erase(kBase + "/download/utils/list_mod.php");
    EXPECT_THROW(Fetch(), core::EFOpenError);
    EXPECT_FALSE(catalogue.Modules.Contains("mod_stale.dll"));
    EXPECT_FALSE(catalogue.PHP.Contains("setup_php-old.exe"));
}

TEST_F(CatalogueFixture, AStaleFileThatCannotBeRemovedFailsBeforeTheEngineRuns) {
    dir.Write("list.txt", "setup_php-old.exe\n");
    ServeAll();
    bool engineRan = false;
    engine.onDownload = [&] { engineRan = true; };
    const auto check = [&]() noexcept {
        try {
            Fetch();
        } catch (const core::EFOpenError& error) {
            return error.what() ==
                       "Datei " + dir.folder() + "list.txt kann nicht geöffnet werden" &&
                   !engineRan && !catalogue.PHP.Contains("setup_php-old.exe");
        } catch (...) {
        }
        return false;
    };
    // A folder this process may not change.
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    const CheckOutcome outcome = CheckWithoutRoot(check);
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    if (outcome == CheckOutcome::Skipped) GTEST_SKIP() << "cannot give up root here";
    EXPECT_EQ(outcome, CheckOutcome::Passed);
    EXPECT_EQ(dir.Read("list.txt"), "setup_php-old.exe\n");
}

TEST_F(CatalogueFixture, StaleFilesAreClearedBeforeTheEngineRuns) {
    dir.Write("list_v.txt", "1\n2\n");
    bool staleSeen = true;
    engine.onDownload = [&] { staleSeen = dir.Exists("list_v.txt"); };
    ServeAll();
    Fetch();
    EXPECT_FALSE(staleSeen);
}

TEST_F(CatalogueFixture, ARefreshWhileAnotherWindowRefreshesLeavesItsListsAlone) {
    ServeAll();
    // Another copy of the program is receiving its lists into the same folder.
    dir.Write("list.txt", "setup_php-9.9.9.exe\n");
    const auto other =
        platform::OpenPlainFile(dir.folder() + ".lists.lock", true, platform::PlainFileLock::Try);
    ASSERT_GE(other.fd, 0);
    try {
        Fetch();
        ADD_FAILURE() << "refreshed beside another window's refresh";
    } catch (const core::Error& error) {
        EXPECT_STREQ(error.what(),
                     "The product lists are being received by another window of this program; "
                     "refresh again when it is done.");
    }
    EXPECT_TRUE(engine.calls.empty());
    EXPECT_EQ(dir.Read("list.txt"), "setup_php-9.9.9.exe\n");
    EXPECT_EQ(catalogue.PHP.Count(), 0u);

    platform::ClosePlainFile(other.fd);  // its refresh is done; ours goes ahead
    Fetch();
    EXPECT_EQ(catalogue.PHP.Items(),
              (std::vector<std::string>{"Setup_PHP-4.4.4.exe", "setup_php-5.2.1.exe"}));
    EXPECT_FALSE(dir.Exists("list.txt"));
}
