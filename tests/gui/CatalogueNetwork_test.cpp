// Catalogue retrieval through the real engine against a real HTTP server.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <QString>
#include <filesystem>

#include "core/Errors.h"
#include "core/Unit1Catalogue.h"
#include "download/QtDownloadEngine.h"
#include "download/ui/WidgetUi.h"
#include "support/LocalHttpServer.h"
#include "support/TempDir.h"

namespace {

struct CatalogueNetwork : ::testing::Test {
    testsupport::LocalHttpServer server;
    TempDir dir;
    std::vector<QString> failures;
    QtDownloadEngine engine{server.url("/"), [this] {
                                QtDownloadOptions options;
                                options.ui = download::WidgetUi();
                                options.ui.showFailures = [this](OwnerWindow, const QString&,
                                                                 const QString& text) {
                                    failures.push_back(text);
                                };
                                return options;
                            }()};
    TCatalogue catalogue;

    void SetUp() override {
        server.serveFile("/download/php/list_dbg.php", "php_dbg.dll-5.2.17\r\n", "text/plain");
        server.serveFile("/download/php/list.php",
                         "setup_php-5.2.17.exe\r\nSETUP_php-4.4.9.exe\r\n", "text/plain");
        server.serveFile("/download/php/versions.php", "3.4.1.812\r\n2.2.9.140\r\n", "text/plain");
        server.serveFile("/download/utils/list_mod.php", "mod_ssl.dll\r\nmod_rewrite.dll\r\n",
                         "text/plain");
        server.serveFile("/download/utils/list_exe.php", "ab.exe\r\n", "text/plain");
    }
    void Fetch() { FetchCatalogue(engine, {}, dir.folder(), server.baseUrl(), catalogue); }
};

}  // namespace

TEST_F(CatalogueNetwork, FetchesTheFiveListsOnceEachAndLeavesNothingBehind) {
    Fetch();
    // The engine asks in queue order; over overlapping connections they arrive in any order.
    EXPECT_THAT(
        server.requestedTargets(),
        ::testing::UnorderedElementsAre(
            "/download/php/list_dbg.php", "/download/php/list.php", "/download/php/versions.php",
            "/download/utils/list_mod.php", "/download/utils/list_exe.php"));
    EXPECT_EQ(catalogue.PHP.Items(),
              (std::vector<std::string>{"SETUP_php-4.4.9.exe", "setup_php-5.2.17.exe"}));
    EXPECT_EQ(catalogue.Modules.Items(),
              (std::vector<std::string>{"mod_rewrite.dll", "mod_ssl.dll"}));
    EXPECT_EQ(catalogue.RemoteEditorVersion, "3.4.1.812");
    EXPECT_EQ(catalogue.RemoteServerVersion, "2.2.9.140");
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    EXPECT_TRUE(failures.empty());
}

TEST_F(CatalogueNetwork, AListAnsweredWith404FailsItsLoadAfterTheEngineExplains) {
    server.serveStatus("/download/utils/list_mod.php", 404);
    try {
        Fetch();
        FAIL() << "no error";
    } catch (const core::EFOpenError& error) {
        EXPECT_EQ(error.what(), "Datei " + dir.folder() + "list_m.txt kann nicht geöffnet werden");
    }
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_TRUE(failures[0].contains("list_m.txt")) << failures[0].toStdString();
    EXPECT_TRUE(failures[0].contains("404")) << failures[0].toStdString();
    EXPECT_EQ(catalogue.PHP.Count(), 2u);
    EXPECT_TRUE(dir.Exists("list.txt"));
}

TEST_F(CatalogueNetwork, AProgramFolderThatCannotBeWrittenFailsTheFirstLoad) {
    // Root writes into any folder whatever its permissions, so as root the program folder is
    // one no process can create files in.
    std::string folder = "/proc/";
    if (::geteuid() != 0) {
        folder = dir.folder();
        std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::remove);
    }
    try {
        FetchCatalogue(engine, {}, folder, server.baseUrl(), catalogue);
        FAIL() << "no error";
    } catch (const core::EFOpenError& error) {
        EXPECT_EQ(error.what(), "Datei " + folder + "list.txt kann nicht geöffnet werden");
    }
    EXPECT_EQ(failures.size(), 1u);  // the engine explained why nothing arrived
}
