// A download onto a full disk: a tiny tmpfs mounted in a private mount namespace of the
// test's main thread (the one that writes the files), so nothing outside this thread ever
// sees it. Skipped where mounting is not allowed. Its own binary, so no other test shares
// the namespace.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>

#include <filesystem>

#include "download/QtDownloadEngine.h"
#include "support/EngineOptions.h"
#include "support/LocalHttpServer.h"
#include "support/TempDir.h"

using testsupport::LocalHttpServer;

TEST(DownloadDiskFull, AFullDiskFailsTheFileWithAReasonAndKeepsTheOlderOne) {
    TempDir dir;
    const std::string small = dir.path() + "/small";
    std::filesystem::create_directory(small);
    if (unshare(CLONE_NEWNS) != 0 ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small file system here";
    const std::string older = dir.Write("small/big.bin", "older");
    LocalHttpServer server;
    server.serveGenerated("/big", 1 << 20);
    testsupport::ShownFailures shown;
    QtDownloadEngine engine(server.url("/"), testsupport::EngineOptions(shown));
    engine.AddFile(server.url("/big"), older);

    EXPECT_EQ(engine.DownloadFiles({}), 0);

    EXPECT_EQ(dir.Read("small/big.bin"), "older");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(small), {}), 1)
        << "no temporary file is left behind";
    EXPECT_TRUE(shown.text.contains("big.bin")) << shown.text.toStdString();
    // The announced length does not fit: refused before a byte is written.
    EXPECT_TRUE(shown.text.contains("not enough space")) << shown.text.toStdString();
    umount2(small.c_str(), MNT_DETACH);
}
