// Two copies of the program downloading the same file at once, as a double start makes them:
// the one that began owns the partial bytes until it is done, and the other leaves them be.
#include <gtest/gtest.h>

#include <QTest>
#include <cstdlib>
#include <filesystem>

#include "download/PartialFile.h"
#include "download/QtDownloadEngine.h"
#include "support/ChildRole.h"
#include "support/EngineOptions.h"
#include "support/FaultyHttpServer.h"
#include "support/LocalHttpServer.h"
#include "support/TempDir.h"

using namespace std::chrono_literals;
using testsupport::FaultyHttpServer;
using Fault = FaultyHttpServer::Fault;

namespace {

constexpr auto kQueuedVariable = "CORVALITE_FIRST_COPY";
// Outside the code page, as users' names are.
const std::string kName = "\xe6\x97\xa5\xe6\x9c\xac-\xf0\x9f\x93\xa6.dll";

QtDownloadEngine::Options options(testsupport::ShownFailures& shown) {
    auto options = testsupport::EngineOptions(shown);
    options.stallTimeout = 60s;  // the first copy waits for the test to let its server go on
    options.syncStretch = 256 * 1024;
    options.retry.pauses = {10ms};
    return options;
}

}  // namespace

// The first copy: it downloads the file and ends 0 only when it arrived.
CORVALITE_CHILD_ROLE(FirstCopyDownloads) {
    const std::string queued(std::getenv(kQueuedVariable));
    const auto bar = queued.find('|');
    testsupport::ShownFailures shown;
    QtDownloadEngine engine{queued.substr(0, bar), options(shown)};
    engine.AddFile(queued.substr(0, bar), queued.substr(bar + 1));
    if (engine.DownloadFiles({}) != 1) std::exit(3);
}

TEST(TwoCopies, TheSecondLeavesTheFirstsPartialAloneAndTheFirstDeliversItWhole) {
    FaultyHttpServer server;
    TempDir dir;
    const std::string body = testsupport::LocalHttpServer::generatedBytes(0, 2'000'000);
    server.setFile(body, "\"v1\"");
    server.script({{Fault::Hold, 1'500'000}});
    const std::string destination = dir.folder() + kName;
    const download::PartialFile partial(QString::fromStdString(destination));
    const auto partialPath = std::filesystem::path(partial.dataPath().toStdU16String());

    auto first = testsupport::StartChildRole(
        "FirstCopyDownloads",
        {std::string(kQueuedVariable) + "=" + server.url() + "|" + destination});
    ASSERT_TRUE(first);
    QTRY_VERIFY_WITH_TIMEOUT(std::filesystem::exists(partialPath) &&
                                 std::filesystem::file_size(partialPath) >= 1'400'000,
                             20000);
    const auto heldSize = std::filesystem::file_size(partialPath);
    const auto heldNote = partial.readNote();
    ASSERT_TRUE(heldNote);

    // The second copy, here: it neither truncates nor removes nor asks the server.
    testsupport::ShownFailures shown;
    QtDownloadEngine second{server.url(), options(shown)};
    second.AddFile(server.url(), destination);
    EXPECT_EQ(second.DownloadFiles({}), 0);
    EXPECT_TRUE(shown.text.contains(QString::fromStdString(kName) +
                                    " is being downloaded by another window of this program"))
        << shown.text.toStdString();
    EXPECT_EQ(server.ranges().size(), 1u) << ::testing::PrintToString(server.ranges());
    ASSERT_TRUE(std::filesystem::exists(partialPath));
    EXPECT_EQ(std::filesystem::file_size(partialPath), heldSize);
    EXPECT_EQ(partial.readNote(), heldNote);
    EXPECT_FALSE(std::filesystem::exists(
        std::filesystem::path(QString::fromStdString(destination).toStdU16String())));

    server.release();
    EXPECT_EQ(first->Wait(), 0);  // it delivered
    EXPECT_EQ(server.ranges().size(), 1u) << "the first copy's one transfer was not disturbed";
    EXPECT_TRUE(dir.Read(kName) == body);
    EXPECT_EQ(testsupport::Entries(dir.path()), std::vector<std::string>{kName});
}
