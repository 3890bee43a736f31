#include "core/Unit1Install.h"

#include <gtest/gtest.h>

namespace {

ComponentMarker MarkerOfFile(const std::string& name) {
    return FindComponentMarker(DownloadDestination("/home/u/download", name));
}

}  // namespace

TEST(Install, MarkersAreTriedInTableOrderCaseSensitively) {
    EXPECT_EQ(MarkerOfFile("php_editor_php5.exe"), ComponentMarker::EditorSetup);
    EXPECT_EQ(MarkerOfFile("websrv.exe"), ComponentMarker::ServerSetup);
    EXPECT_EQ(MarkerOfFile("setup_php-5.2.1.exe"), ComponentMarker::PhpSetup);
    EXPECT_EQ(MarkerOfFile("DbgListener.exe"), ComponentMarker::DebuggerListener);
    EXPECT_EQ(MarkerOfFile("php_dbg.dll-5.2.1"), ComponentMarker::DebuggerLibrary);
    EXPECT_EQ(MarkerOfFile("mod_rewrite.dll"), ComponentMarker::ServerModule);
    EXPECT_EQ(MarkerOfFile("tool.exe"), ComponentMarker::ServerUtility);
    // Earlier markers win where several match.
    EXPECT_EQ(MarkerOfFile("mod_tool.exe"), ComponentMarker::ServerModule);
    EXPECT_EQ(MarkerOfFile("setup_php-mod_x.exe"), ComponentMarker::PhpSetup);
    // Letter case counts.
    EXPECT_EQ(MarkerOfFile("TOOL.EXE"), ComponentMarker::None);
    EXPECT_EQ(MarkerOfFile("dbglistener.exe"), ComponentMarker::ServerUtility);
    EXPECT_EQ(MarkerOfFile("WEBSRV.EXE"), ComponentMarker::None);
    EXPECT_EQ(MarkerOfFile("rewrite.dll"), ComponentMarker::None);
}

TEST(Install, MarkersAreSearchedInTheWholePathFolderIncluded) {
    EXPECT_EQ(FindComponentMarker("/home/u/mod_stuff/readme.txt"), ComponentMarker::ServerModule);
    EXPECT_EQ(FindComponentMarker("/home/u/x.exe.d/readme.txt"), ComponentMarker::ServerUtility);
}

TEST(Install, SetupsStartKnownFilesMoveTheRestStays) {
    for (const auto marker :
         {ComponentMarker::EditorSetup, ComponentMarker::ServerSetup, ComponentMarker::PhpSetup}) {
        EXPECT_TRUE(IsSetupMarker(marker));
        EXPECT_FALSE(IsMovedMarker(marker));
    }
    for (const auto marker : {ComponentMarker::DebuggerListener, ComponentMarker::DebuggerLibrary,
                              ComponentMarker::ServerModule, ComponentMarker::ServerUtility}) {
        EXPECT_FALSE(IsSetupMarker(marker));
        EXPECT_TRUE(IsMovedMarker(marker));
    }
    EXPECT_FALSE(IsSetupMarker(ComponentMarker::None));
    EXPECT_FALSE(IsMovedMarker(ComponentMarker::None));
}

TEST(Install, GuardsAndTheirNotices) {
    EXPECT_EQ(GuardFor(ComponentMarker::EditorSetup), RunningGuard::Editor);
    EXPECT_EQ(GuardFor(ComponentMarker::ServerSetup), RunningGuard::Server);
    EXPECT_EQ(GuardFor(ComponentMarker::DebuggerListener), RunningGuard::EditorListener);
    for (const auto marker :
         {ComponentMarker::None, ComponentMarker::PhpSetup, ComponentMarker::DebuggerLibrary,
          ComponentMarker::ServerModule, ComponentMarker::ServerUtility})
        EXPECT_EQ(GuardFor(marker), RunningGuard::None);
    EXPECT_EQ(RunningNotice(RunningGuard::EditorListener),
              "Option you requested can't be processed while Corvalite Editor for PHP is "
              "currently running and debuger listener is in use. Please exit application and "
              "try again");
    EXPECT_EQ(RunningNotice(RunningGuard::Server),
              "Option you requested can't be processed while Corvalite Webserver is currently "
              "running. Please shutdown server and try again");
    EXPECT_EQ(RunningNotice(RunningGuard::None), "");
}

TEST(Install, FileNameIsWhatFollowsTheLastSlash) {
    EXPECT_EQ(DownloadFileName("https://h.example/download/php/setup_php-5.exe"),
              "setup_php-5.exe");
    EXPECT_EQ(DownloadFileName("websrv.exe"), "websrv.exe");
    EXPECT_EQ(DownloadFileName("https://h.example/download/"), "");
    EXPECT_EQ(DownloadFileName(""), "");
    EXPECT_EQ(DownloadFileName("https://h.example/get/mod_x.dll?from=/mirror/evil.exe#a/b"),
              "mod_x.dll");
}

TEST(Install, DestinationHasOneDelimiterAtTheJoin) {
    EXPECT_EQ(JoinDownloadPath("/d/download", "a.exe", '/'), "/d/download/a.exe");
    EXPECT_EQ(JoinDownloadPath("/d/download/", "a.exe", '/'), "/d/download/a.exe");
    EXPECT_EQ(JoinDownloadPath("", "a.exe", '/'), "/a.exe");
    // Windows: a network share keeps its two leading delimiters.
    EXPECT_EQ(JoinDownloadPath("\\\\server\\share\\", "a.exe", '\\'), "\\\\server\\share\\a.exe");
    EXPECT_EQ(JoinDownloadPath("C:\\dl", "a.exe", '\\'), "C:\\dl\\a.exe");
}

TEST(Install, OnlyPlainNamesAreSafe) {
    for (const char* name : {"setup_php-5.2.exe", "mod_x.dll", "two words & 'q' $(x);.exe",
                             "-leading.exe", "\xc3\xa9t\xc3\xa9.dll", "a.b.c", "CONSOLE.exe",
                             "com10.dll", "\xe6\x97\xa5\xe6\x9c\xac\xf0\x9f\x93\xa6.exe"})
        EXPECT_TRUE(IsSafeDownloadName(name)) << name;
    for (const char* name :
         {"",    ".",         "..",       "a..exe",      "a\\b.exe",  "C:x.exe",
          "a/b", "tab\t.exe", "nl\n.exe", "del\x7f.exe", "a?.exe",    "a*.exe",
          "a|b", "a<b",       "a>b",      "\"q\".exe",   "trailing.", "blank.exe ",
          "CON", "nul.txt",   "Com1.dll", "lpt9 .exe",   "aux"})
        EXPECT_FALSE(IsSafeDownloadName(name)) << name;
    EXPECT_FALSE(IsSafeDownloadName(std::string("nul\0.exe", 8)));
    EXPECT_EQ(UnsafeNameNotice("..\nx"),
              "The file name \"..?x\" of the selected component cannot be used in the download "
              "folder. Nothing was downloaded.");
}

TEST(Install, MovedFilesGoIntoTheirProductsFolders) {
    const std::string editor = "/opt/ed/editor.exe";
    const std::string server = "/srv/web/corvalitesrv.exe";
    EXPECT_EQ(InstallFolder(ComponentMarker::DebuggerListener, editor, server), "/opt/ed");
    EXPECT_EQ(InstallFolder(ComponentMarker::DebuggerLibrary, editor, server),
              "/opt/ed/bin/server");
    EXPECT_EQ(InstallFolder(ComponentMarker::ServerModule, editor, server), "/srv/web/modules");
    EXPECT_EQ(InstallFolder(ComponentMarker::ServerUtility, editor, server),
              "/srv/web/modules/utils");
    EXPECT_EQ(InstallFolder(ComponentMarker::EditorSetup, editor, server), "");
    // A product not found leaves no folder rather than one below the root.
    EXPECT_EQ(InstallFolder(ComponentMarker::DebuggerLibrary, "", server), "");
    EXPECT_EQ(InstallFolder(ComponentMarker::ServerModule, editor, ""), "");
    EXPECT_EQ(ProductMissingNotice(ComponentMarker::ServerModule, "mod_x.dll"),
              "\"mod_x.dll\" cannot be installed because Corvalite Web Server was not found at "
              "the last update. The file stays in the download folder.");
}
