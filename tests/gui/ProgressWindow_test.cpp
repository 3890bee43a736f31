// The progress window on its own: how often it repaints, and what it shows.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>

#include "download/OfflineEngine.h"
#include "download/ProgressWindow.h"

using download::ProgressWindow;

namespace {

QString text(const ProgressWindow& window, const char* name) {
    return window.findChild<QLabel*>(name)->text();
}

TEST(ProgressWindow, AFloodOfProgressRepaintsAtMostTenTimesASecond) {
    ProgressWindow window(nullptr, "File Download");
    window.show();
    window.beginFile(0, 1, "big.bin");
    QElapsedTimer clock;
    clock.start();
    const int before = window.refreshCount();
    for (qint64 done = 1; clock.elapsed() < 600; done += 1000) {
        window.setBytes(done, 100'000'000);
        QCoreApplication::processEvents();
    }
    const qint64 elapsed = clock.elapsed();
    EXPECT_GE(window.refreshCount() - before, 1);
    EXPECT_LE(window.refreshCount() - before, 1 + elapsed / ProgressWindow::kRefreshMs);
}

TEST(ProgressWindow, ShowsTheFileItsSizeAndItsPlaceInTheQueue) {
    ProgressWindow window(nullptr, "Receiving info");
    window.show();
    window.beginFile(2, 5, "list_v.txt");
    window.setBytes(1536, 3072);
    EXPECT_TRUE(QTest::qWaitFor([&] { return text(window, "BytesLabel") == "1.5 KB of 3.0 KB"; }));
    EXPECT_EQ(text(window, "FileLabel"), "list_v.txt");
    EXPECT_EQ(text(window, "FileCountLabel"), "File 3 of 5");
    EXPECT_EQ(window.findChild<QProgressBar*>("FileProgress")->value(), 500);
    // Two files done and half of the third.
    EXPECT_EQ(window.findChild<QProgressBar*>("OverallProgress")->value(), 500);

    window.beginFile(3, 5, "list_m.txt");
    window.setBytes(10, -1);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return text(window, "BytesLabel") == "10 bytes of unknown size"; }));
    EXPECT_EQ(window.findChild<QProgressBar*>("FileProgress")->maximum(), 0) << "a busy bar";
    EXPECT_EQ(text(window, "TimeLeftLabel"), "Time left: unknown");
}

TEST(ProgressWindow, EscapeAndTheCloseBoxAskToCancelButLeaveClosingToTheRun) {
    ProgressWindow window(nullptr, "File Download");
    window.show();
    QSignalSpy cancel(&window, &ProgressWindow::cancelRequested);
    QTest::keyClick(&window, Qt::Key_Escape);
    window.close();
    EXPECT_EQ(cancel.count(), 2);
}

TEST(OfflineEngine, IsNeverOnlineAndDeliversNothing) {
    OfflineEngine engine;
    EXPECT_EQ(engine.IsConnected(), 0);
    EXPECT_EQ(engine.SetOption("title", "File Download"), 1);
    engine.ClearFiles();
    engine.AddFile("http://127.0.0.1:1/x", "/nonexistent/x");
    EXPECT_EQ(engine.DownloadFiles(nullptr), 0);
}

}  // namespace
