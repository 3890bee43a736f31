// The real engine against a real HTTP server on 127.0.0.1: queue order, blocking, the
// window, atomic destinations in every failure, the one failure message, and cancel.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "download/QtDownloadEngine.h"
#include "download/ui/ProgressWindow.h"
#include "download/ui/WidgetUi.h"
#include "support/EngineOptions.h"
#include "support/LocalHttpServer.h"
#include "support/ManualClock.h"
#include "support/ModalDriver.h"
#include "support/TempDir.h"

using namespace std::chrono_literals;
using download::ProgressWindow;
using testsupport::LocalHttpServer;

namespace {

constexpr auto kOldContent = "an older complete file";

using testsupport::ShownFailures;

QtDownloadEngine::Options testOptions(ShownFailures& shown) {
    auto options = testsupport::EngineOptions(shown);
    options.stallTimeout = 1500ms;
    options.probeTimeout = 1000ms;
    // One try per file: each waiting try holds one of the server's few threads. Retries
    // have their own tests against a server made for them.
    options.retry.retriesWithoutProgress = 0;
    return options;
}

// Runs the probe on `clock`, moving it to just before the deadline and then onto it from
// inside the probe's wait: true when the probe was still waiting at the first step and
// gave up offline at the second.
bool givesUpExactlyAtTheDeadline(QtDownloadEngine& engine, testsupport::ManualClock& clock,
                                 std::chrono::milliseconds deadline) {
    QObject context;
    bool stillWaiting = false;
    QTimer::singleShot(0, &context, [&] {
        clock.advance(deadline - 1ms);
        QTimer::singleShot(0, &context, [&] {
            stillWaiting = true;
            clock.advance(1ms);
        });
    });
    return engine.IsConnected() == 0 && stillWaiting;
}

std::vector<std::string> folderEntries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Compares block by block: reading 64 MiB byte by byte takes seconds in a debug build.
bool holdsGeneratedBytes(const std::string& file, std::uint64_t size) {
    std::ifstream in(file, std::ios::binary);
    std::string block(1 << 20, '\0');
    for (std::uint64_t offset = 0; offset < size; offset += block.size()) {
        block.resize(std::min<std::uint64_t>(block.size(), size - offset));
        if (!in.read(block.data(), static_cast<std::streamsize>(block.size())) ||
            block != LocalHttpServer::generatedBytes(offset, block.size()))
            return false;
    }
    return in.peek() == std::char_traits<char>::eof();
}

class DownloadEngineTest : public ::testing::Test {
  protected:
    LocalHttpServer server;
    TempDir dir;
    ShownFailures shown;
    QtDownloadEngine engine{server.url("/"), testOptions(shown)};

    std::string queue(const std::string& path, const std::string& name) {
        const std::string destination = dir.folder() + name;
        engine.AddFile(server.url(path), destination);
        return destination;
    }
};

TEST_F(DownloadEngineTest, FetchesEveryQueuedFileOnceAndReturnsOnlyWhenAllArrived) {
    server.serveFile("/few", "abc\r\n");
    server.serveFile("/empty", "");
    server.serveGenerated("/mib", 1 << 20);
    engine.SetOption("title", "Receiving info");
    engine.ClearFiles();
    queue("/mib", "z.bin");
    queue("/few", "a.txt");
    queue("/empty", "m.txt");

    EXPECT_EQ(engine.DownloadFiles({}), 1);

    // Asked in queue order, but over parallel connections they may arrive in any order.
    EXPECT_THAT(server.requestedTargets(),
                ::testing::UnorderedElementsAre("/mib", "/few", "/empty"));
    EXPECT_EQ(dir.Read("a.txt"), "abc\r\n");
    EXPECT_TRUE(dir.Exists("m.txt"));
    EXPECT_EQ(dir.Read("m.txt"), "");
    EXPECT_EQ(dir.Read("z.bin"), LocalHttpServer::generatedBytes(0, 1 << 20));
    EXPECT_EQ(shown.count, 0);
    EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string>{"a.txt", "m.txt", "z.bin"}));
}

TEST_F(DownloadEngineTest, ClearFilesEmptiesTheQueueAndAnotherRunStartsFresh) {
    server.serveFile("/one", "1");
    server.serveFile("/two", "2");
    queue("/one", "one.txt");
    EXPECT_EQ(engine.DownloadFiles({}), 1);
    engine.ClearFiles();
    queue("/two", "two.txt");
    EXPECT_EQ(engine.DownloadFiles({}), 1);
    EXPECT_EQ(server.requestedTargets(), (std::vector<std::string>{"/one", "/two"}));
}

TEST_F(DownloadEngineTest, OnlyTheTitleOptionIsKnown) {
    EXPECT_EQ(engine.SetOption("title", "File Download"), 1);
    EXPECT_EQ(engine.SetOption("resume", "1"), 0);
}

TEST_F(DownloadEngineTest, ShowsAModalWindowOwnedByTheOwnerWithTheCaption) {
    server.serveStall("/stalls", "abc", 1000);
    QWidget owner;
    owner.show();
    engine.SetOption("title", "File Download");
    queue("/stalls", "first.bin");
    queue("/stalls", "second.bin");
    QString caption, fileName, count, bytes;
    QWidget* parent = nullptr;
    Qt::WindowModality modality = Qt::NonModal;
    WhenModal<ProgressWindow>([&](ProgressWindow& window) {
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return window.findChild<QLabel*>("BytesLabel")->text().startsWith("3 bytes"); }));
        caption = window.windowTitle();
        parent = window.parentWidget();
        modality = window.windowModality();
        fileName = window.findChild<QLabel*>("FileLabel")->text();
        count = window.findChild<QLabel*>("FileCountLabel")->text();
        bytes = window.findChild<QLabel*>("BytesLabel")->text();
        QTest::mouseClick(window.findChild<QPushButton*>("CancelButton"), Qt::LeftButton);
    });

    EXPECT_EQ(engine.DownloadFiles(OwnerWindow{&owner}), 0);

    EXPECT_EQ(caption, "File Download");
    EXPECT_EQ(parent, &owner);
    EXPECT_EQ(modality, Qt::ApplicationModal);
    EXPECT_EQ(fileName, "first.bin");
    EXPECT_EQ(count, "File 1 of 2");
    EXPECT_EQ(bytes, "3 bytes of 1000 bytes");
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(DownloadEngineTest, EveryFailureLeavesNoFileAndKeepsTheOlderOne) {
    const std::string body(100'000, 'x');
    server.serveStatus("/missing", 404);
    server.serveStatus("/broken", 500);
    server.serveTruncated("/truncated", body, body.size() / 2);
    server.serveStall("/stalls", "abc");
    server.serveHang("/hangs");
    server.serveRedirect("/loop", "/loop");
    server.serveFile("/good", "good");
    const std::vector<std::pair<std::string, std::string>> failing{
        {"/missing", "missing.txt"}, {"/broken", "broken.txt"}, {"/truncated", "truncated.bin"},
        {"/stalls", "stalls.bin"},   {"/hangs", "hangs.bin"},   {"/loop", "loop.bin"}};
    for (const auto& [path, name] : failing) {
        dir.Write(name, kOldContent);
        queue(path, name);
    }
    const std::string refused = dir.Write("refused.bin", kOldContent);
    engine.AddFile(LocalHttpServer::refusedUrl("/x"), refused);
    queue("/good", "good.txt");
    engine.SetOption("title", "File Download");

    EXPECT_EQ(engine.DownloadFiles({}), 0);

    for (const auto& [path, name] : failing) EXPECT_EQ(dir.Read(name), kOldContent) << name;
    EXPECT_EQ(dir.Read("refused.bin"), kOldContent);
    EXPECT_EQ(dir.Read("good.txt"), "good");
    // No temporary file is left beside the destinations.
    EXPECT_EQ(folderEntries(dir.path()).size(), failing.size() + 2);

    ASSERT_EQ(shown.count, 1);
    EXPECT_EQ(shown.title, "File Download");
    const QString& text = shown.text;
    EXPECT_TRUE(
        text.contains("missing.txt\n    from " + QString::fromStdString(server.url("/missing"))))
        << text.toStdString();
    EXPECT_TRUE(text.contains("HTTP 404 Not Found")) << text.toStdString();
    EXPECT_TRUE(text.contains("broken.txt")) << text.toStdString();
    EXPECT_TRUE(text.contains("HTTP 500 Internal Server Error")) << text.toStdString();
    EXPECT_TRUE(text.contains("truncated.bin")) << text.toStdString();
    EXPECT_TRUE(text.contains("stalls.bin\n    from")) << text.toStdString();
    EXPECT_TRUE(text.contains("hangs.bin\n    from")) << text.toStdString();
    EXPECT_EQ(text.count("timed out"), 2) << text.toStdString();
    EXPECT_TRUE(text.contains("loop.bin")) << text.toStdString();
    EXPECT_TRUE(text.contains("too many redirects")) << text.toStdString();
    EXPECT_TRUE(text.contains("refused.bin")) << text.toStdString();
    EXPECT_TRUE(text.contains("connection refused")) << text.toStdString();
    EXPECT_FALSE(text.contains("good.txt")) << text.toStdString();
}

TEST_F(DownloadEngineTest, AFolderThatCannotBeWrittenFailsWithoutFetching) {
    server.serveFile("/file", "content");
    engine.AddFile(server.url("/file"), dir.folder() + "no such folder/file.txt");

    EXPECT_EQ(engine.DownloadFiles({}), 0);

    EXPECT_EQ(server.requestCount("/file"), 0);
    ASSERT_EQ(shown.count, 1);
    EXPECT_TRUE(shown.text.contains("cannot write to the folder")) << shown.text.toStdString();
}

TEST_F(DownloadEngineTest, FollowsTenRedirectsButNotEleven) {
    server.serveFile("/final", "arrived");
    for (int hop = 0; hop < 11; ++hop)
        server.serveRedirect("/hop" + std::to_string(hop),
                             hop == 10 ? "/final" : "/hop" + std::to_string(hop + 1));
    queue("/hop1", "ten.txt");
    dir.Write("eleven.txt", kOldContent);
    queue("/hop0", "eleven.txt");

    EXPECT_EQ(engine.DownloadFiles({}), 0);

    EXPECT_EQ(dir.Read("ten.txt"), "arrived");
    EXPECT_EQ(dir.Read("eleven.txt"), kOldContent);
    EXPECT_TRUE(shown.text.contains("eleven.txt")) << shown.text.toStdString();
    EXPECT_FALSE(shown.text.contains("ten.txt")) << shown.text.toStdString();
}

// Without a length or a digest nothing tells a whole body from one cut by the connection
// closing: such files arrive, are counted, and are named as unproven for the caller to check.
TEST_F(DownloadEngineTest, AnAnswerOfUntoldLengthArrivesButIsNamedUnproven) {
    const std::string body = LocalHttpServer::generatedBytes(0, 2 << 20);
    server.serveUnsized("/unsized", body);
    server.serveChunked("/chunked", body);
    server.serveUnsized("/cut", body.substr(0, 1 << 20));  // the connection closed mid-file
    server.serveFile("/sized", body);
    const std::string unsized = queue("/unsized", "unsized.bin");
    queue("/sized", "sized.bin");
    const std::string chunked = queue("/chunked", "chunked.bin");
    const std::string cut = queue("/cut", "setup.exe");

    EXPECT_EQ(engine.DownloadFiles({}), 1);

    EXPECT_TRUE(dir.Read("unsized.bin") == body);
    EXPECT_TRUE(dir.Read("chunked.bin") == body);
    EXPECT_TRUE(dir.Read("sized.bin") == body);
    EXPECT_EQ(dir.Read("setup.exe").size(), 1u << 20);
    EXPECT_EQ(engine.lastRunUnproven(), (std::vector<std::string>{unsized, chunked, cut}));
    EXPECT_EQ(shown.count, 1);
    for (const char* name : {"unsized.bin", "chunked.bin", "setup.exe"})
        EXPECT_TRUE(shown.text.contains(
            QStringLiteral("The server did not say how long %1 is, so it cannot be told whether "
                           "it arrived whole.")
                .arg(name)))
            << shown.text.toStdString();
    EXPECT_FALSE(shown.text.contains("long sized.bin")) << shown.text.toStdString();
    EXPECT_FALSE(shown.text.contains("could not be downloaded")) << shown.text.toStdString();

    // The next run starts with a clean list.
    engine.ClearFiles();
    queue("/sized", "again.bin");
    EXPECT_EQ(engine.DownloadFiles({}), 1);
    EXPECT_TRUE(engine.lastRunUnproven().empty());
    EXPECT_EQ(shown.count, 1);
}

TEST_F(DownloadEngineTest, A64MiBFileArrivesIntactAndTheWindowRepaintsAtMostTenTimesASecond) {
    constexpr std::uint64_t kSize = 64ull << 20;
    server.serveGenerated("/big", kSize);
    // The window's ticks come from a clock the test moves: one tick per step, however many
    // progress reports the transfer makes in between.
    testsupport::ManualClock clock;
    auto options = testOptions(shown);
    options.ui.showProgress = download::WidgetUi(&clock).showProgress;
    QtDownloadEngine engine(server.url("/"), options);
    engine.AddFile(server.url("/big"), dir.folder() + "big.bin");
    int refreshes = -1;
    int ticks = 0;
    WhenModal<ProgressWindow>([&](ProgressWindow& window) {
        auto* stepper = new QTimer(&window);
        QObject::connect(stepper, &QTimer::timeout, &window, [&] {
            clock.advance(std::chrono::milliseconds(ProgressWindow::kRefreshMs));
            ++ticks;
            refreshes = window.refreshCount();
        });
        stepper->start(5);
    });

    EXPECT_EQ(engine.DownloadFiles({}), 1);

    EXPECT_EQ(std::filesystem::file_size(dir.folder() + "big.bin"), kSize);
    EXPECT_TRUE(holdsGeneratedBytes(dir.folder() + "big.bin", kSize));
    // One refresh when the window opens, then at most one per tick.
    EXPECT_GT(ticks, 0);
    EXPECT_LE(refreshes, 1 + ticks);
}

// The stall timeout runs on a clock that moves only when told, and the server never
// answers more: nothing but Cancel can end this run.
TEST_F(DownloadEngineTest, CancelAnswersAtOnceWhileTheConnectionsHang) {
    testsupport::ManualClock clock;
    auto options = testOptions(shown);
    options.clock = &clock;
    QtDownloadEngine engine(server.url("/"), options);
    server.serveStall("/stalls", "abc");
    server.serveStall("/next");
    dir.Write("stalls.bin", kOldContent);
    engine.AddFile(server.url("/stalls"), dir.folder() + "stalls.bin");
    engine.AddFile(server.url("/next"), dir.folder() + "next.txt");
    WhenModal<ProgressWindow>([&](ProgressWindow& window) {
        // Both transfers are under way and hang; the first has shown its first bytes.
        EXPECT_TRUE(QTest::qWaitFor([&] {
            return server.requestCount("/next") == 1 &&
                   window.findChild<QLabel*>("BytesLabel")->text().startsWith("3 bytes");
        }));
        clock.advance(1400ms);
        QTest::mouseClick(window.findChild<QPushButton*>("CancelButton"), Qt::LeftButton);
    });

    const int result = engine.DownloadFiles({});

    EXPECT_EQ(result, 0);
    EXPECT_EQ(dir.Read("stalls.bin"), kOldContent);
    EXPECT_FALSE(dir.Exists("next.txt"));
    EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string>{"stalls.bin"}));
    EXPECT_EQ(shown.count, 0) << "a cancel is not a failure";
}

TEST_F(DownloadEngineTest, EscapeCancelsLikeTheButton) {
    server.serveStall("/stalls");
    queue("/stalls", "stalls.bin");
    WhenModal<ProgressWindow>([&](ProgressWindow& window) { PressKey(window, Qt::Key_Escape); });

    EXPECT_EQ(engine.DownloadFiles({}), 0);
    EXPECT_FALSE(dir.Exists("stalls.bin"));
}

TEST_F(DownloadEngineTest, IsConnectedWhenTheServerGivesAnyAnswer) {
    server.serveStatus("/", 403);
    EXPECT_EQ(engine.IsConnected(), 1);
    EXPECT_EQ(server.requestCount("/"), 1);
}

TEST(DownloadEngineProbe, IsNotConnectedWhenRefusedOrSilentAndWaitsBoundedTime) {
    ShownFailures shown;
    QtDownloadEngine refused(LocalHttpServer::refusedUrl(), testOptions(shown));
    EXPECT_EQ(refused.IsConnected(), 0);

    testsupport::SilentPort silent;
    testsupport::ManualClock clock;
    auto options = testOptions(shown);
    options.clock = &clock;
    QtDownloadEngine unanswered(silent.url(), options);
    EXPECT_TRUE(givesUpExactlyAtTheDeadline(unanswered, clock, 1000ms));

    QtDownloadEngine nowhere("", testOptions(shown));
    EXPECT_EQ(nowhere.IsConnected(), 0);
}

TEST(DownloadEngineProbe, TheDefaultProbeGivesUpAfterFiveSeconds) {
    testsupport::SilentPort silent;
    testsupport::ManualClock clock;
    ShownFailures shown;
    auto options = testsupport::EngineOptions(shown);
    options.clock = &clock;
    QtDownloadEngine engine(silent.url(), options);
    EXPECT_TRUE(givesUpExactlyAtTheDeadline(engine, clock, 5000ms));
}

}  // namespace
