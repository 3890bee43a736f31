// A run's transfers overlap but are asked for in queue order; the catalogue's small scratch
// lists keep nothing for a resume, while a component's bytes wait for the next run.
#include <gtest/gtest.h>

#include <QNetworkAccessManager>
#include <algorithm>
#include <filesystem>
#include <optional>

#include "download/DownloadRun.h"
#include "download/QtDownloadEngine.h"
#include "download/ui/WidgetUi.h"
#include "support/EngineOptions.h"
#include "support/FaultyHttpServer.h"
#include "support/LocalHttpServer.h"
#include "support/TempDir.h"

using namespace std::chrono_literals;
using testsupport::FaultyHttpServer;
using Fault = FaultyHttpServer::Fault;

namespace {

// Notes every request as Qt is asked for it, with whether the first file had arrived by then.
class RecordingNetwork : public QNetworkAccessManager {
  public:
    explicit RecordingNetwork(std::string firstDestination)
        : firstDestination_(std::move(firstDestination)) {}
    std::vector<std::string> paths;
    std::vector<bool> firstHadArrived;

  protected:
    QNetworkReply* createRequest(Operation op, const QNetworkRequest& request,
                                 QIODevice* data) override {
        paths.push_back(request.url().path().toStdString());
        firstHadArrived.push_back(std::filesystem::exists(firstDestination_));
        return QNetworkAccessManager::createRequest(op, request, data);
    }

  private:
    std::string firstDestination_;
};

}  // namespace

TEST(DownloadOverlap, AsksInQueueOrderWhileTheTransfersOverlap) {
    testsupport::LocalHttpServer server;
    TempDir dir;
    server.serveThrottled("/slow", 400'000, 1'000'000);
    std::vector<download::QueuedFile> files{{QUrl(QString::fromStdString(server.url("/slow"))),
                                             QString::fromStdString(dir.folder() + "slow.bin")}};
    std::vector<std::string> expected{"/slow"};
    for (const char* name : {"列表一", "liste-ü", "📋", "d", "e", "f", "g"}) {
        const std::string path = std::string("/") + name;
        server.serveFile(path, name);
        files.push_back({QUrl(QString::fromStdString(server.url(path))),
                         QString::fromStdString(dir.folder() + name + ".txt"), true});
        expected.push_back(QUrl(QString::fromStdString(server.url(path))).path().toStdString());
    }
    RecordingNetwork network(dir.folder() + "slow.bin");
    download::DownloadRun run(network, files, {30s, 10, {}});

    const download::RunReport report = run.exec(nullptr);

    EXPECT_EQ(report.arrived, 8);
    EXPECT_EQ(network.paths, expected);
    // The five behind the slow file were asked for while it was still coming.
    ASSERT_EQ(network.firstHadArrived.size(), 8u);
    for (int i = 1; i <= 5; ++i) EXPECT_FALSE(network.firstHadArrived[i]) << i;
    EXPECT_EQ(dir.Read("📋.txt"), "📋");
}

TEST(DownloadOverlap, ScratchListsKeepNoBytesForAResumeButComponentsDo) {
    TempDir dir;
    for (const bool scratch : {true, false}) {
        FaultyHttpServer server;
        server.setFile(testsupport::LocalHttpServer::generatedBytes(0, 50'000), "\"v1\"");
        std::vector<FaultyHttpServer::Step> steps(10, {Fault::Unavailable, 0});
        steps.front() = {Fault::CutAfter, 20'000};
        server.script(steps);
        QtDownloadOptions options;
        options.ui = download::WidgetUi();
        options.proxyEnvironment = download::ProxyEnvironment{};
        options.retry.pauses = {1ms};
        options.retry.retriesWithoutProgress = 0;
        options.ui.showFailures = [](OwnerWindow, const QString&, const QString&) {};
        QtDownloadEngine engine(server.url(), options);
        const std::string destination = dir.folder() + (scratch ? "list_m.txt" : "mod_ß.dll");
        const auto queue = [&] {
            engine.ClearFiles();
            scratch ? engine.AddScratchFile(server.url(), destination)
                    : engine.AddFile(server.url(), destination);
        };

        queue();
        EXPECT_EQ(engine.DownloadFiles({}), 0) << scratch;
        server.script({});
        queue();
        EXPECT_EQ(engine.DownloadFiles({}), 1) << scratch;

        EXPECT_EQ(server.ranges().back(), scratch ? "" : "bytes=20000-") << scratch;
        EXPECT_EQ(std::filesystem::file_size(destination), 50'000u);
    }
    // Nothing hidden is left beside either.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

// The engine's overlap bounds the transfers under way at once: one at a time never has two
// answers open at the server, the default has several, and both bring every list in order.
TEST(DownloadOverlap, TheOverlapOptionBoundsTheAnswersUnderWay) {
    for (const std::optional<int> overlap : {std::optional<int>(1), std::optional<int>()}) {
        testsupport::LocalHttpServer server;
        TempDir dir;
        testsupport::ShownFailures shown;
        QtDownloadOptions options = testsupport::EngineOptions(shown);
        if (overlap) options.overlap = *overlap;
        QtDownloadEngine engine(server.baseUrl(), options);
        std::vector<std::string> asked;
        for (const char* name : {"列表一", "liste-ü", "📋", "d", "e"}) {
            const std::string path = std::string("/") + name;
            server.serveThrottled(path, 20'000, 200'000);
            engine.AddScratchFile(server.url(path), dir.folder() + name + ".txt");
            asked.push_back(QUrl(QString::fromStdString(server.url(path))).path().toStdString());
        }

        EXPECT_EQ(engine.DownloadFiles({}), 1);

        EXPECT_EQ(shown.count, 0) << shown.text.toStdString();
        EXPECT_EQ(std::filesystem::file_size(dir.folder() + "📋.txt"), 20'000u);
        std::vector<std::string> arrived = server.requestedTargets();
        if (overlap) {
            EXPECT_EQ(server.mostThrottledAtOnce(), 1);
            EXPECT_EQ(arrived, asked);
        } else {
            EXPECT_GE(server.mostThrottledAtOnce(), 2);
            // Parallel connections reach the server in any order.
            std::ranges::sort(arrived);
            std::ranges::sort(asked);
            EXPECT_EQ(arrived, asked);
        }
    }
}
