// The real engine against a server that misbehaves on purpose: every transient fault is
// retried and resumed within one run, a changed or damaged file never arrives as a mix, and
// the bytes of a killed transfer are resumed by the next one.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <filesystem>

#include "download/PartialFile.h"
#include "download/QtDownloadEngine.h"
#include "download/ui/ProgressWindow.h"
#include "support/ChildRole.h"
#include "support/EngineOptions.h"
#include "support/FaultyHttpServer.h"
#include "support/LocalHttpServer.h"
#include "support/ManualClock.h"
#include "support/ModalDriver.h"
#include "support/TempDir.h"

using namespace std::chrono_literals;
using testsupport::FaultyHttpServer;
using Fault = FaultyHttpServer::Fault;

namespace {

constexpr auto kChildVariable = "CORVALITE_RESUME_CHILD";

using Shown = testsupport::ShownFailures;

QtDownloadEngine::Options quickOptions(Shown& shown) {
    auto options = testsupport::EngineOptions(shown);
    options.stallTimeout = 700ms;
    options.retry.pauses = {10ms, 20ms, 40ms};
    return options;
}

std::string fileBody(std::size_t size) {
    return testsupport::LocalHttpServer::generatedBytes(0, size);
}

class DownloadResumeTest : public ::testing::Test {
  protected:
    FaultyHttpServer server;
    TempDir dir;
    Shown shown;
    QtDownloadEngine engine{server.url(), quickOptions(shown)};
    std::string destination = dir.folder() + "php_dbg.dll";

    int run() {
        engine.ClearFiles();
        engine.AddFile(server.url(), destination);
        return engine.DownloadFiles({});
    }
    // Only the destination (when there is one) is left in the folder: no partial file.
    bool onlyDestinationLeft() const {
        std::size_t entries = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            if (entry.path().filename() != "php_dbg.dll") return false;
            ++entries;
        }
        return entries <= 1;
    }
};

}  // namespace

TEST_F(DownloadResumeTest, EveryTransientFaultIsRetriedAndResumedWithinOneRun) {
    const std::string body = fileBody(600'000);
    server.setFile(body, "\"v1\"");
    server.script({{Fault::CutAfter, 100'000},
                   {Fault::Stall, 50'000},
                   {Fault::Unavailable, 1},
                   {Fault::IgnoreRange, 300'000},
                   {Fault::Unavailable, 0},
                   {Fault::ShortBody, 10}});
    QStringList notices;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&notices] {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* label = widget->findChild<QLabel*>("RetryLabel"))
                if (!label->text().isEmpty()) notices << label->text();
    });
    poll.start(5);

    EXPECT_EQ(run(), 1) << shown.text.toStdString();

    EXPECT_TRUE(dir.Read("php_dbg.dll") == body);
    EXPECT_TRUE(onlyDestinationLeft());
    EXPECT_EQ(shown.count, 0);
    // Tries resumed where the last one ended. (Qt itself quietly resends a request after
    // some cuts, which shifts the script, so the exact sequence is not checked.)
    const auto ranges = server.ranges();
    EXPECT_GE(std::count_if(ranges.begin(), ranges.end(),
                            [](const std::string& range) { return range.starts_with("bytes="); }),
              3)
        << ::testing::PrintToString(ranges);
    EXPECT_GE(engine.lastRunBytesReceived(), static_cast<qint64>(body.size()));
    EXPECT_LE(engine.lastRunBytesReceived(), static_cast<qint64>(server.bodyBytesSent()));
    EXPECT_FALSE(notices.filter("Retrying in 1 s: HTTP 503").isEmpty())
        << notices.join('\n').toStdString();
}

TEST_F(DownloadResumeTest, GivesUpAfterThreeTriesWithoutProgressAndKeepsTheBytesForLater) {
    const std::string older = "an older complete file";
    dir.Write("php_dbg.dll", older);
    server.setFile(fileBody(200'000), "\"v1\"");
    std::vector<FaultyHttpServer::Step> steps(10, {Fault::Unavailable, 0});
    steps.front() = {Fault::CutAfter, 70'000};
    server.script(steps);

    EXPECT_EQ(run(), 0);
    EXPECT_EQ(server.ranges().size(), 5u) << ::testing::PrintToString(server.ranges());
    EXPECT_EQ(dir.Read("php_dbg.dll"), older);
    EXPECT_TRUE(shown.text.contains("HTTP 503")) << shown.text.toStdString();
    EXPECT_FALSE(onlyDestinationLeft());  // the 70 000 bytes wait, hidden, for the next run

    // Meanwhile the file changed: If-Range makes the server send all of the new one.
    const std::string newer = fileBody(250'000).substr(1000);
    server.setFile(newer, "\"v2\"");
    server.script({});
    EXPECT_EQ(run(), 1) << shown.text.toStdString();
    EXPECT_EQ(server.ranges().back(), "bytes=70000-");
    EXPECT_TRUE(dir.Read("php_dbg.dll") == newer);
    EXPECT_TRUE(onlyDestinationLeft());
}

TEST_F(DownloadResumeTest, AWrongDigestOrAWrongLengthNeverDelivers) {
    dir.Write("php_dbg.dll", "older");
    server.setFile(fileBody(300'000), "\"v1\"");
    // Damage found only at the end, after a resume: the resumed part counts too.
    server.script({{Fault::CutAfter, 120'000}, FaultyHttpServer::Step().corrupted()});
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(shown.text.contains("damaged in transfer: php_dbg.dll"))
        << shown.text.toStdString();
    EXPECT_EQ(server.ranges().size(), 2u);  // damage is not retried
    EXPECT_TRUE(dir.Read("php_dbg.dll") == "older");
    EXPECT_TRUE(onlyDestinationLeft());

    // Without a validator nothing is kept, and a body shorter than announced is no file.
    server.setFile(fileBody(5000), "W/\"weak\"", false);
    server.script(std::vector<FaultyHttpServer::Step>(10, {Fault::ShortBody, 100}));
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(shown.text.contains("php_dbg.dll")) << shown.text.toStdString();
    EXPECT_GE(server.ranges().size(), 2u + 5u);
    EXPECT_EQ(server.ranges().back(), "");
    EXPECT_TRUE(dir.Read("php_dbg.dll") == "older");
    EXPECT_TRUE(onlyDestinationLeft());
}

// The killed transfer of the test below.
CORVALITE_CHILD_ROLE(DownloadUntilKilled) {
    const std::string queued(std::getenv(kChildVariable));
    const auto bar = queued.find('|');
    Shown shown;
    auto options = quickOptions(shown);
    options.stallTimeout = 60s;  // it waits to be killed
    options.syncStretch = 256 * 1024;
    QtDownloadEngine engine{queued.substr(0, bar), options};
    engine.AddFile(queued.substr(0, bar), queued.substr(bar + 1));
    engine.DownloadFiles({});
}

TEST_F(DownloadResumeTest, AKilledTransferResumesWhereItsBytesEnded) {
    const std::string body = fileBody(2'000'000);
    server.setFile(body, "\"v1\"");
    server.script({{Fault::Stall, 1'500'000}});
    const std::string partial = dir.folder() + ".php_dbg.dll.partial";
    auto child = testsupport::StartChildRole(
        "DownloadUntilKilled",
        {std::string(kChildVariable) + "=" + server.url() + "|" + destination});
    ASSERT_TRUE(child);
    QTRY_VERIFY_WITH_TIMEOUT(
        std::filesystem::exists(partial) && std::filesystem::file_size(partial) >= 1'400'000,
        20000);
    child->Stop(SIGKILL);
    const auto kept = std::filesystem::file_size(partial);
    // The resume starts where the last sync before the kill ended, not at the file's size.
    const auto note = download::PartialFile(QString::fromStdString(destination)).readNote();
    ASSERT_TRUE(note);
    EXPECT_GE(note->synced, 1'400'000 - 2 * 256 * 1024);
    EXPECT_LE(note->synced, static_cast<qint64>(kept));

    EXPECT_EQ(run(), 1) << shown.text.toStdString();
    EXPECT_EQ(server.ranges().back(), "bytes=" + std::to_string(note->synced) + "-");
    EXPECT_TRUE(dir.Read("php_dbg.dll") == body);
    EXPECT_TRUE(onlyDestinationLeft());
}

// On a clock that moves only when told, the 30 s pause can never end by itself: the run
// returns because Cancel ended it, not because time passed.
TEST_F(DownloadResumeTest, CancelAnswersAtOnceDuringAPauseAndKeepsTheBytes) {
    testsupport::ManualClock clock;
    auto options = quickOptions(shown);
    options.clock = &clock;
    QtDownloadEngine engine{server.url(), options};
    engine.AddFile(server.url(), destination);
    server.setFile(fileBody(300'000), "\"v1\"");
    server.script({{Fault::CutAfter, 100'000}, {Fault::Unavailable, 30}});
    WhenModal<download::ProgressWindow>([&](download::ProgressWindow& window) {
        auto* const notice = window.findChild<QLabel*>("RetryLabel");
        // Past the short pause after the cut, to the server's 30 s Retry-After.
        EXPECT_TRUE(QTest::qWaitFor([&] {
            if (clock.nextDue() == 10ms) clock.advance(10ms);
            return notice->text().contains("Retrying in 30 s");
        }));
        clock.advance(29s);
        QTest::mouseClick(window.findChild<QPushButton*>("CancelButton"), Qt::LeftButton);
    });

    EXPECT_EQ(engine.DownloadFiles({}), 0);
    EXPECT_EQ(server.ranges().size(), 2u) << "no try after the cancel";
    EXPECT_EQ(shown.count, 0);
    EXPECT_FALSE(std::filesystem::exists(destination));
    EXPECT_EQ(std::filesystem::file_size(dir.folder() + ".php_dbg.dll.partial"), 100'000u);
}

// A power cut leaves the partial file longer than what reached the disk, its tail zeros or
// blocks of another file; the note, as the engine writes it, says how much was synced.
TEST_F(DownloadResumeTest, AfterAPowerCutOnlyTheSyncedBytesAreResumed) {
    constexpr qint64 kMiB = 1024 * 1024;
    const std::string body = fileBody(4 * kMiB);
    server.setFile(body, "\"v1\"", false);  // no digest: nothing else would catch a splice
    const download::PartialFile partial(QString::fromStdString(destination));
    const QUrl url(QString::fromStdString(server.url()));
    const std::string zeros(kMiB, '\0');
    const std::string otherFile = fileBody(5 * kMiB).substr(7);
    struct Case {
        const char* what;
        std::string tail;   // beyond the synced bytes
        qint64 synced;      // as the note records it
        const char* magic;  // of the note
        std::string expectedRange;
    };
    const std::vector<Case> cases{
        {"zeros after 2 MiB synced", zeros, 2 * kMiB, "partial download 3", "bytes=2097152-"},
        {"another file's blocks", otherFile.substr(0, kMiB + 5), 2 * kMiB, "partial download 3",
         "bytes=2097152-"},
        {"nothing synced yet", zeros, 0, "partial download 3", ""},
        {"a note of the version that knew no sync", zeros, 0, "partial download 2", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(destination);
        download::PartialNote note{url, url, "\"v1\"", 4 * kMiB, QString(), c.synced};
        QByteArray noteText = note.format();
        if (std::string(c.magic) != "partial download 3") {
            // The older note: the same lines without the synced length.
            noteText.replace("partial download 3", c.magic);
            noteText.chop(QByteArray::number(c.synced).size() + 1);
        }
        dir.Write(".php_dbg.dll.partial-note", noteText.toStdString());
        dir.Write(".php_dbg.dll.partial", body.substr(0, 2 * kMiB) + c.tail);
        ASSERT_EQ(partial.readNote().has_value(), c.magic == std::string("partial download 3"));

        EXPECT_EQ(run(), 1) << shown.text.toStdString();
        EXPECT_EQ(server.ranges().back(), c.expectedRange);
        EXPECT_TRUE(dir.Read("php_dbg.dll") == body);
        EXPECT_TRUE(onlyDestinationLeft());
    }
}
