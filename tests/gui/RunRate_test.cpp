// The slowest rate worth waiting for is judged on the whole run: six files trickling in
// together share one slow link, each getting less than the floor while the run gets more.
#include <gtest/gtest.h>

#include <QTimer>

#include "download/QtDownloadEngine.h"
#include "support/EngineOptions.h"
#include "support/FaultyHttpServer.h"
#include "support/LocalHttpServer.h"
#include "support/ManualClock.h"
#include "support/TempDir.h"

using namespace std::chrono_literals;
using testsupport::FaultyHttpServer;
using Fault = FaultyHttpServer::Fault;

namespace {

constexpr int kFiles = 6;
constexpr std::uint64_t kBytes = 300;

// Six files of 300 bytes, each sent a byte at a time; the manual clock moves a second for
// every six bytes the server sent, so each file gets about 1 byte/s and the run 6 bytes/s.
int runTrickles(qint64 floor, testsupport::ShownFailures& shown, TempDir& dir,
                std::vector<std::string>& ranges) {
    FaultyHttpServer server;
    server.setFile(testsupport::LocalHttpServer::generatedBytes(3, kBytes), "\"v1\"");
    server.script(std::vector<FaultyHttpServer::Step>(kFiles, {Fault::Trickle, kBytes}));
    testsupport::ManualClock clock;
    auto options = testsupport::EngineOptions(shown);
    options.clock = &clock;
    options.stallTimeout = 1h;
    options.slowestBytesPerSecond = floor;
    // A try that fails is final: the well-behaved server past the script would hide it.
    options.retry.mostTries = 1;
    QtDownloadEngine engine(server.url(), options);
    for (int file = 0; file < kFiles; ++file)
        engine.AddFile(server.url(), dir.folder() + "list-" + std::to_string(file) + ".txt");
    std::uint64_t counted = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        for (; server.bodyBytesSent() >= counted + kFiles; counted += kFiles) clock.advance(1s);
    });
    tick.start(1);
    const int result = engine.DownloadFiles({});
    ranges = server.ranges();
    return result;
}

}  // namespace

TEST(RunRateTest, OverlappedTricklesAreJudgedTogether) {
    {
        // 3 bytes/s each is more than any one file gets, less than all six together.
        testsupport::ShownFailures shown;
        TempDir dir;
        std::vector<std::string> ranges;
        EXPECT_EQ(runTrickles(3, shown, dir, ranges), 1) << shown.text.toStdString();
        EXPECT_EQ(ranges.size(), std::size_t(kFiles));
        for (int file = 0; file < kFiles; ++file)
            EXPECT_EQ(dir.Read("list-" + std::to_string(file) + ".txt").size(), kBytes);
        EXPECT_EQ(shown.count, 0);
    }
    {
        // Above what the six bring together, the floor still ends every one of them.
        testsupport::ShownFailures shown;
        TempDir dir;
        std::vector<std::string> ranges;
        EXPECT_EQ(runTrickles(8, shown, dir, ranges), 0);
        EXPECT_EQ(shown.text.count("too slow: less than 8 bytes a second for 60 s"), kFiles)
            << shown.text.toStdString();
        for (int file = 0; file < kFiles; ++file)
            EXPECT_FALSE(dir.Exists("list-" + std::to_string(file) + ".txt"));
    }
}
