// The real engine against a server that lies: malformed and disagreeing parts, parts of
// another file, planted links, empty and encoded answers, trickles, absurd Retry-After
// values, obstacles in the folder. Whatever it sends, the destination ends as the older
// file or as the true file, never as anything else, and nothing is written outside.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QLabel>
#include <QTest>
#include <filesystem>
#include <iostream>

#include "download/QtDownloadEngine.h"
#include "download/ui/ProgressWindow.h"
#include "support/EngineOptions.h"
#include "support/FaultyHttpServer.h"
#include "support/LocalHttpServer.h"
#include "support/ManualClock.h"
#include "support/ModalDriver.h"
#include "support/TempDir.h"

using namespace std::chrono_literals;
using testsupport::FaultyHttpServer;
using Fault = FaultyHttpServer::Fault;
using Step = FaultyHttpServer::Step;
namespace fs = std::filesystem;

namespace {

constexpr auto kOlder = "an older complete file";
int injected = 0;  // every lie told and obstacle planted, over all tests

std::string reprDigest(const std::string& bytes) {
    return "sha-256=:" +
           QCryptographicHash::hash(QByteArray::fromStdString(bytes), QCryptographicHash::Sha256)
               .toBase64()
               .toStdString() +
           ":";
}

class DownloadHostileTest : public ::testing::Test {
  protected:
    FaultyHttpServer server;
    TempDir dir;
    TempDir outside;
    testsupport::ShownFailures shown;
    testsupport::ManualClock clock;
    const std::string body = testsupport::LocalHttpServer::generatedBytes(0, 200'000);
    std::string name = "php_dbg.dll";

    void SetUp() override {
        server.setFile(body, "\"v1\"");
        server.setOtherFile(testsupport::LocalHttpServer::generatedBytes(7, 200'000));
        outside.Write("precious.txt", "precious");
    }
    static void TearDownTestSuite() { std::cout << "faults injected: " << injected << "\n"; }

    QtDownloadEngine::Options options(bool manualTime = false) {
        auto options = testsupport::EngineOptions(shown);
        options.stallTimeout = manualTime ? 1h : 2s;
        options.retry.pauses = {10ms};
        options.retry.retriesWithoutProgress = 2;
        if (manualTime) options.clock = &clock;
        return options;
    }
    void script(std::vector<Step> steps) {
        for (const Step& step : steps)
            injected += step.fault != Fault::None || step.noDigest || step.noValidator ||
                        step.corrupt || !step.reprDigest.empty();
        server.script(std::move(steps));
    }
    int run(QtDownloadEngine& engine) {
        engine.ClearFiles();
        engine.AddFile(server.url(), dir.folder() + name);
        return engine.DownloadFiles({});
    }
    int run() {
        QtDownloadEngine engine(server.url(), options());
        return run(engine);
    }
    std::string partial() const { return dir.folder() + "." + name + ".partial"; }
    // The destination holds exactly `expected` as a plain file, nothing else is left in
    // the folder, and nothing outside it changed.
    void expectOnly(const std::string& expected) {
        EXPECT_FALSE(fs::is_symlink(dir.folder() + name));
        EXPECT_TRUE(dir.Read(name) == expected) << "size " << dir.Read(name).size();
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1);
        EXPECT_EQ(outside.Read("precious.txt"), "precious");
    }
};

// Cuts the first answer so that the next try resumes, and lets the lie answer the resume.
std::vector<Step> afterCut(Step lie) {
    return {{Fault::CutAfter, 50'000}, std::move(lie)};
}

}  // namespace

TEST_F(DownloadHostileTest, APartMustFitWhatWasAskedAndWhatWasKnown) {
    for (const Step& lie : {Step{Fault::PartShort, 50'000}, Step{Fault::PartOtherTotal, 150'000},
                            Step{Fault::PartOpenCut, 100'000}, Step{Fault::PartMalformed}}) {
        SCOPED_TRACE(static_cast<int>(lie.fault));
        script(afterCut(lie));
        EXPECT_EQ(run(), 1) << shown.text.toStdString();
        expectOnly(body);
        fs::remove(dir.folder() + name);
    }
    // A digest of the first answer binds a part that carries none, in this run and the next.
    dir.Write(name, kOlder);
    script(afterCut(Step().withoutDigest().corrupted()));
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(shown.text.contains("damaged in transfer")) << shown.text.toStdString();
    expectOnly(kOlder);
    script({{Fault::CutAfter, 50'000},
            {Fault::Unavailable},
            {Fault::Unavailable},
            {Fault::Unavailable}});
    EXPECT_EQ(run(), 0);
    script({Step().withoutDigest().corrupted()});
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(shown.text.contains("damaged in transfer")) << shown.text.toStdString();
    expectOnly(kOlder);
}

TEST_F(DownloadHostileTest, APartThatNeverFitsIsRefusedForWhatItBroke) {
    const std::pair<Step, const char*> lies[] = {
        {Step{Fault::PartOtherTotal, 150'000}, "size of 150000 bytes instead of 200000"},
        {Step{Fault::PartMalformed}, "without a readable range"},
        {Step{Fault::PartShort, 50'000}, "ends at byte 100000, before the end"},
    };
    for (const auto& [lie, cause] : lies) {
        SCOPED_TRACE(cause);
        dir.Write(name, kOlder);
        script(afterCut(lie));
        // The resume is the last try, so its failure is the one reported.
        auto lastTry = options();
        lastTry.retry.mostTries = 2;
        QtDownloadEngine engine(server.url(), lastTry);
        EXPECT_EQ(run(engine), 0);
        EXPECT_TRUE(shown.text.contains("does not fit: ") && shown.text.contains(cause))
            << shown.text.toStdString();
        expectOnly(kOlder);
    }
}

TEST_F(DownloadHostileTest, PartsOfDifferentFilesAreNeverSpliced) {
    // No validator; a redirect to another host that claims the same ETag; another digest.
    for (const Step& lie :
         {Step().withoutValidator(), Step{Fault::RedirectElsewhere}, Step{Fault::WrongDigest}}) {
        SCOPED_TRACE(static_cast<int>(lie.fault));
        script(afterCut(lie));
        EXPECT_EQ(run(), 1) << shown.text.toStdString();
        expectOnly(body);
        fs::remove(dir.folder() + name);
    }
}

TEST_F(DownloadHostileTest, APlantedLinkNeverLeadsOutsideTheFolder) {
    const std::string precious = outside.folder() + "precious.txt";
    // A link in place of the partial file, on a whole answer.
    fs::create_symlink(precious, partial());
    ++injected;
    EXPECT_EQ(run(), 1) << shown.text.toStdString();
    expectOnly(body);

    // A link or a second name in place of bytes kept for a resume.
    for (const bool hard : {false, true}) {
        script({{Fault::CutAfter, 50'000},
                {Fault::Unavailable},
                {Fault::Unavailable},
                {Fault::Unavailable}});
        EXPECT_EQ(run(), 0);
        ASSERT_EQ(fs::file_size(partial()), 50'000u);
        fs::remove(partial());
        if (hard)
            fs::create_hard_link(precious, partial());
        else
            fs::create_symlink(precious, partial());
        ++injected;
        EXPECT_EQ(run(), 1) << shown.text.toStdString();
        expectOnly(body);
        EXPECT_EQ(server.ranges().back(), "");
    }
    // The destination itself a link: replaced, never written through.
    fs::remove(dir.folder() + name);
    fs::create_symlink(precious, dir.folder() + name);
    ++injected;
    EXPECT_EQ(run(), 1) << shown.text.toStdString();
    expectOnly(body);
}

// The note carries the server's validator verbatim: a link planted at its name, or at the
// name the next note is written under, must neither carry it outside nor stay in its place.
TEST_F(DownloadHostileTest, ANoteIsNeverWrittenThroughAPlantedLink) {
    server.setFile(body, "\"precious-overwritten\"");
    const std::string precious = outside.folder() + "precious.txt";
    const std::string note = dir.folder() + "." + name + ".partial-note";
    for (const std::string& planted : {note, dir.folder() + "." + name + ".partial-new"}) {
        for (const bool hard : {false, true}) {
            SCOPED_TRACE(planted + (hard ? " (hard link)" : " (symbolic link)"));
            fs::remove(dir.folder() + name);
            if (hard)
                fs::create_hard_link(precious, planted);
            else
                fs::create_symlink(precious, planted);
            ++injected;
            script({{Fault::CutAfter, 50'000},
                    {Fault::Unavailable},
                    {Fault::Unavailable},
                    {Fault::Unavailable}});
            EXPECT_EQ(run(), 0);
            EXPECT_EQ(outside.Read("precious.txt"), "precious");
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(note)));
            EXPECT_EQ(fs::hard_link_count(note), 1u);
            EXPECT_NE(dir.Read("." + name + ".partial-note").find("precious-overwritten"),
                      std::string::npos);
            EXPECT_FALSE(fs::exists(fs::symlink_status(planted)) && planted != note);

            // The note written so is the one the next run resumes by.
            EXPECT_EQ(run(), 1) << shown.text.toStdString();
            EXPECT_EQ(server.ranges().back(), "bytes=50000-");
            expectOnly(body);
        }
    }
}

TEST_F(DownloadHostileTest, AnAnswerWithoutAFileKeepsTheOlderOne) {
    dir.Write(name, kOlder);
    for (const Step& lie :
         {Step{Fault::Status, 204}, Step{Fault::Status, 205}, Step{Fault::Gzip}}) {
        SCOPED_TRACE(lie.bytes);
        script({lie});
        EXPECT_EQ(run(), 0);
        expectOnly(kOlder);
    }
    EXPECT_TRUE(shown.text.contains("encoded (gzip)")) << shown.text.toStdString();
    script({{Fault::Status, 204}});
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(shown.text.contains("HTTP 204")) << shown.text.toStdString();
}

// The server's reason phrase reaches every retry notice and the failure message: a phrase of
// a hundred thousand characters without a blank is cut to its first two hundred.
TEST_F(DownloadHostileTest, AnEndlessReasonPhraseIsCutBeforeItIsShown) {
    std::string reason;
    for (int i = 0; i < 100'000; ++i) reason += char('a' + i % 26);
    script(std::vector<Step>(4, Step{Fault::Unavailable}.withReason(reason)));
    EXPECT_EQ(run(), 0);
    const QString shownReason = QString::fromStdString("HTTP 503 " + reason.substr(0, 200));
    EXPECT_TRUE(shown.text.contains(shownReason + QChar(0x2026))) << shown.text.size();
    EXPECT_LT(shown.text.size(), 1000);
    // A short phrase is shown whole.
    script(std::vector<Step>(4, Step{Fault::Unavailable}.withReason("Back at noon")));
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(shown.text.contains("HTTP 503 Back at noon\n") ||
                shown.text.endsWith("HTTP 503 Back at noon"))
        << shown.text.toStdString();
}

TEST_F(DownloadHostileTest, TheLengthIsTheFinalAnswersAndACutChunkIsACut) {
    for (const auto& steps : {std::vector<Step>{{Fault::RedirectHere}, {Fault::DoubledLength}},
                              std::vector<Step>{{Fault::DoubledLength}},
                              std::vector<Step>{{Fault::ChunkedCut, 100'000}}}) {
        script(steps);
        EXPECT_EQ(run(), 1) << shown.text.toStdString();
        expectOnly(body);
        fs::remove(dir.folder() + name);
    }
}

// Time is the manual clock's: the window and the tries end only when the test moves it.
TEST_F(DownloadHostileTest, ATrickleEndsAndSoDoTheTriesOfOneFile) {
    auto options = this->options(true);
    options.retry.mostTries = 3;
    options.retry.pauses = {1s};
    QtDownloadEngine engine(server.url(), options);
    script(std::vector<Step>(20, {Fault::Trickle, 100}));
    // Each byte that arrives is a second of the trickle: 60 bytes in the 60 s window.
    QObject driver;
    std::uint64_t seen = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &driver, [&] {
        if (server.bodyBytesSent() > seen || clock.nextDue() <= 1s) clock.advance(1s);
        seen = server.bodyBytesSent();
    });
    tick.start(1);

    EXPECT_EQ(run(engine), 0);

    EXPECT_EQ(server.ranges().size(), 3u) << ::testing::PrintToString(server.ranges());
    EXPECT_TRUE(shown.text.contains("too slow")) << shown.text.toStdString();
    EXPECT_FALSE(dir.Exists(name));
}

TEST_F(DownloadHostileTest, AnAbsurdRetryAfterWaitsTheLongestPauseOnly) {
    QtDownloadEngine engine(server.url(), options(true));
    for (const std::uint64_t seconds : {9'223'372'036'854'776ull, 18'446'744'073'709'552ull}) {
        script({{Fault::Unavailable, seconds}});
        WhenModal<download::ProgressWindow>([&](download::ProgressWindow& window) {
            auto* const notice = window.findChild<QLabel*>("RetryLabel");
            EXPECT_TRUE(QTest::qWaitFor([&] { return !notice->text().isEmpty(); }));
            EXPECT_TRUE(notice->text().contains("Retrying in 30 s"))
                << notice->text().toStdString();
            EXPECT_EQ(clock.nextDue(), 30s);
            clock.advance(30s);
        });
        EXPECT_EQ(run(engine), 1) << shown.text.toStdString();
        expectOnly(body);
    }
}

TEST_F(DownloadHostileTest, AnObstacleIsClearedOrNamedAndALongNameStillFits) {
    fs::create_directory(partial());
    ++injected;
    EXPECT_EQ(run(), 1) << shown.text.toStdString();
    expectOnly(body);

    fs::remove(dir.folder() + name);
    dir.Write("." + name + ".partial/someone else's.txt", "theirs");
    ++injected;
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(shown.text.contains(".php_dbg.dll.partial is in the way"))
        << shown.text.toStdString();
    EXPECT_EQ(dir.Read("." + name + ".partial/someone else's.txt"), "theirs");
    fs::remove_all(partial());

    // 82 CJK characters and ".bin": 250 bytes, a legal name whose partial name is not.
    name.clear();
    for (int i = 0; i < 82; ++i) name += "\xe6\x97\xa5";
    name += ".bin";
    script({{Fault::CutAfter, 50'000}});
    EXPECT_EQ(run(), 1) << shown.text.toStdString();
    expectOnly(body);
    EXPECT_EQ(server.ranges().back(), "bytes=50000-");
}

TEST_F(DownloadHostileTest, LeftoversGoAndDigestsThatCannotBeTrustedFail) {
    const auto age = [this](const std::string& file, std::chrono::hours hours) {
        const std::string path = dir.Write(file, "x");
        fs::last_write_time(path, fs::file_time_type::clock::now() - hours);
    };
    age(".abandoned.exe.partial", 24h * 8);
    age(".abandoned.exe.partial-note", 24h * 8);
    age(".\xf0\x9f\x93\xa6.exe.partial", 24h * 6);
    age("not ours.partial", 24h * 30);
    injected += 2;
    EXPECT_EQ(run(), 1) << shown.text.toStdString();
    EXPECT_FALSE(dir.Exists(".abandoned.exe.partial"));
    EXPECT_FALSE(dir.Exists(".abandoned.exe.partial-note"));
    EXPECT_TRUE(dir.Exists(".\xf0\x9f\x93\xa6.exe.partial"));
    EXPECT_TRUE(dir.Exists("not ours.partial"));

    dir.Write(name, kOlder);
    const std::string right = reprDigest(body);
    const std::string bare = right.substr(9, right.size() - 10);
    for (const std::string& digest :
         {right + ", " + reprDigest(body + "x"), "sha-256=" + bare, "sha-256=\"" + bare + "\"",
          "sha-256=:" + bare.substr(0, 10) + " " + bare.substr(10) + ":"}) {
        SCOPED_TRACE(digest);
        script({Step().withDigest(digest)});
        EXPECT_EQ(run(), 0);
        EXPECT_TRUE(shown.text.contains("digest")) << shown.text.toStdString();
        EXPECT_EQ(dir.Read(name), kOlder);
    }
}

// A whole, checked download whose rename into place fails (a folder at its name here; on
// Windows an old setup still running or a scanner) is tried again shortly on the engine's
// clock, then kept: the next run puts it in place without asking the server. Kept bytes that
// no longer agree with their note are fetched anew.
TEST_F(DownloadHostileTest, AWholeDownloadThatCannotBePutInPlaceIsKept) {
    name = "php_\xe6\xa8\xa1\xe5\x9d\x97_\xf0\x9f\x93\xa6.dll";
    QtDownloadEngine engine(server.url(), options(true));
    const auto block = [&] { dir.Write(name + "/theirs.txt", "theirs"); };
    bool clearWhileWaiting = true;
    int waits = 0;
    QObject driver;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &driver, [&] {
        if (clock.running() == 0 || clock.nextDue() > 1s) return;
        ++waits;
        if (clearWhileWaiting) fs::remove_all(dir.folder() + name);
        clock.advance(clock.nextDue());
    });
    tick.start(1);
    ++injected;

    block();
    EXPECT_EQ(run(engine), 1) << shown.text.toStdString();
    EXPECT_EQ(waits, 1);
    expectOnly(body);

    fs::remove(dir.folder() + name);
    block();
    clearWhileWaiting = false;
    waits = 0;
    EXPECT_EQ(run(engine), 0);
    EXPECT_EQ(waits, 3);
    EXPECT_TRUE(shown.text.contains("cannot put") && shown.text.contains("kept"))
        << shown.text.toStdString();
    EXPECT_TRUE(dir.Read("." + name + ".partial") == body);
    fs::remove_all(dir.folder() + name);
    const std::size_t requests = server.ranges().size();
    EXPECT_EQ(run(engine), 1) << shown.text.toStdString();
    EXPECT_EQ(server.ranges().size(), requests);
    expectOnly(body);

    // Kept bytes that do not match their note's digest any more are not used.
    fs::remove(dir.folder() + name);
    block();
    EXPECT_EQ(run(engine), 0);
    fs::remove_all(dir.folder() + name);
    std::string damaged = body;
    damaged[1000] ^= 1;
    dir.Write("." + name + ".partial", damaged);
    ++injected;
    EXPECT_EQ(run(engine), 1) << shown.text.toStdString();
    EXPECT_EQ(server.ranges().size(), requests + 2);
    EXPECT_EQ(server.ranges().back(), "");
    expectOnly(body);
}

// A length that cannot fit on the disk fails before the body is written, and leaves no partial
// to be resumed into a full disk later; an older file stays.
TEST_F(DownloadHostileTest, ALengthBeyondTheFreeSpaceFailsEarly) {
    dir.Write(name, kOlder);
    script({{Fault::ShortBody, 1ull << 52}});
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(shown.text.contains("not enough space") && shown.text.contains("MB are free"))
        << shown.text.toStdString();
    EXPECT_EQ(server.ranges().size(), 1u);
    expectOnly(kOlder);
}
