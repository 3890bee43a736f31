// The progress window on its own: how often it repaints, what it shows, that its texts fit
// at the desktop's font, and what assistive tools read from it.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLayout>
#include <QProgressBar>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include "download/QtDownloadEngine.h"
#include "download/ui/ProgressWindow.h"
#include "download/ui/WidgetUi.h"
#include "support/LocalHttpServer.h"
#include "support/ManualClock.h"
#include "support/OfflineEngine.h"
#include "support/TempDir.h"

using download::ProgressWindow;

namespace {

using testsupport::ManualClock;
using namespace std::chrono_literals;

QLabel* label(const ProgressWindow& window, const char* name) {
    return window.findChild<QLabel*>(name);
}
QString text(const ProgressWindow& window, const char* name) {
    return label(window, name)->text();
}

TEST(ProgressWindow, AFloodOfProgressRepaintsOncePerTick) {
    ManualClock clock;
    ProgressWindow window(nullptr, "File Download", &clock);
    window.show();
    window.beginFile(0, 1, "big.bin");
    const int before = window.refreshCount();
    for (qint64 done = 1; done < 100'000; done += 1000) window.setBytes(done, 100'000'000);
    QCoreApplication::processEvents();
    EXPECT_EQ(window.refreshCount(), before) << "nothing repaints between ticks";
    clock.advance(std::chrono::milliseconds(ProgressWindow::kRefreshMs));
    clock.advance(std::chrono::milliseconds(ProgressWindow::kRefreshMs));
    EXPECT_EQ(window.refreshCount(), before + 1) << "a tick with nothing new repaints nothing";
    EXPECT_EQ(text(window, "BytesLabel"), "96.7 KB of 95.4 MB");
}

TEST(ProgressWindow, ShowsTheFileItsSizeSpeedAndPlaceInTheQueue) {
    ManualClock clock;
    ProgressWindow window(nullptr, "Receiving info", &clock);
    window.show();
    window.beginFile(2, 5, "list_v.txt");
    window.setBytes(0, 3072);
    clock.advance(100ms);
    window.setBytes(1536, 3072);
    clock.advance(1000ms);
    EXPECT_EQ(text(window, "BytesLabel"), "1.5 KB of 3.0 KB");
    EXPECT_EQ(text(window, "FileLabel"), "list_v.txt");
    EXPECT_EQ(text(window, "FileCountLabel"), "File 3 of 5");
    EXPECT_EQ(text(window, "SpeedLabel"), "Speed: 1.5 KB/s");
    EXPECT_EQ(text(window, "TimeLeftLabel"), "Time left: 0:01");
    EXPECT_EQ(window.findChild<QProgressBar*>("FileProgress")->value(), 500);
    // Two files done and half of the third.
    EXPECT_EQ(window.findChild<QProgressBar*>("OverallProgress")->value(), 500);

    window.beginFile(3, 5, "list_m.txt");
    window.setBytes(10, -1);
    clock.advance(100ms);
    EXPECT_EQ(text(window, "BytesLabel"), "10 bytes of unknown size");
    EXPECT_EQ(window.findChild<QProgressBar*>("FileProgress")->maximum(), 0) << "a busy bar";
    EXPECT_EQ(text(window, "TimeLeftLabel"), "Time left: unknown");
}

// Every label's text fits inside it, inside the window, and no two texts overlap.
void ExpectTextsFit(ProgressWindow& window, const std::string& state) {
    window.layout()->activate();
    QCoreApplication::processEvents();
    const auto labels = window.findChildren<QLabel*>();
    for (QLabel* l : labels) {
        const std::string where = state + ", " + l->objectName().toStdString();
        EXPECT_TRUE(window.rect().contains(l->geometry())) << where;
        if (l->wordWrap()) {
            EXPECT_LE(l->heightForWidth(l->width()), l->height()) << where;
            // Every piece a line can end after fits on a line.
            static const QRegularExpression breaks(QStringLiteral("[\\s\\x{200B}]"));
            for (const QString& piece : l->text().split(breaks, Qt::SkipEmptyParts))
                EXPECT_LE(l->fontMetrics().horizontalAdvance(piece), l->contentsRect().width())
                    << where << ": " << piece.toStdString();
        } else {
            EXPECT_LE(l->fontMetrics().horizontalAdvance(l->text()), l->contentsRect().width())
                << where << ": " << l->text().toStdString();
        }
        for (QLabel* other : labels) {
            if (other == l || l->text().isEmpty() || other->text().isEmpty()) continue;
            EXPECT_FALSE(l->geometry().intersects(other->geometry()))
                << where << " overlaps " << other->objectName().toStdString();
        }
    }
}

TEST(ProgressWindow, ItsTextsFitAtTheDesktopFontInEveryState) {
    if (const QByteArray scale = qgetenv("QT_SCALE_FACTOR"); !scale.isEmpty()) {
        ProgressWindow probe(nullptr, "File Download");
        probe.show();
        EXPECT_EQ(probe.devicePixelRatio(), scale.toDouble()) << "the scale reached the window";
    }
    const QFont desktop = QApplication::font();
    const QString longName =
        QString::fromUtf8("Ölçü_データ_") + QString(180, QChar(u'Z')) + QString::fromUtf8("_🚀.zip");
    const QString longWhy = "Host http://127.0.0.1:1/download/utils/" + QString(120, QChar(u'x')) +
                            "/mod_sample_0092.dll refused the connection";
    for (const int points : {10, 14}) {
        QFont font = desktop;
        font.setPointSize(points);
        QApplication::setFont(font);
        ManualClock clock;
        ProgressWindow window(nullptr, "File Download", &clock);
        window.show();
        const std::string at = std::to_string(points) + " pt";
        window.beginFile(0, 12, "mod_sample_0092.dll");
        window.setBytes(768, -1);
        clock.advance(100ms);
        ExpectTextsFit(window, at + ", unknown size");
        window.setBytes(1023 * 1024 * 1024 + 1000, 1023LL * 1024 * 1024 * 1024);
        clock.advance(3000ms);
        ExpectTextsFit(window, at + ", known size and speed");
        window.setRetrying(longWhy, std::chrono::seconds(30));
        ExpectTextsFit(window, at + ", retry countdown with a long address");
        EXPECT_GE(window.width(), 460);
        EXPECT_LT(window.width(), 1000) << "a long notice wraps instead of widening the window";
        window.beginFile(11, 12, longName);
        clock.advance(100ms);
        ExpectTextsFit(window, at + ", long file name");
        QLabel* name = label(window, "FileLabel");
        EXPECT_NE(name->text(), longName) << "cut to fit";
        EXPECT_EQ(name->toolTip(), longName);
        EXPECT_EQ(QAccessible::queryAccessibleInterface(name)->text(QAccessible::Name), longName);
    }
    QApplication::setFont(desktop);
}

TEST(ProgressWindow, AssistiveToolsTellTheBarsApartAndReadTheCaptionAsTheNamesLabel) {
    ProgressWindow window(nullptr, "File Download");
    window.show();
    window.beginFile(0, 1, "setup_php-5.2.1.exe");
    const auto name = [](QObject* o) {
        return QAccessible::queryAccessibleInterface(o)->text(QAccessible::Name);
    };
    const QString fileBar = name(window.findChild<QProgressBar*>("FileProgress"));
    const QString overallBar = name(window.findChild<QProgressBar*>("OverallProgress"));
    EXPECT_FALSE(fileBar.isEmpty());
    EXPECT_FALSE(overallBar.isEmpty());
    EXPECT_NE(fileBar, overallBar);
    const auto labelledBy = QAccessible::queryAccessibleInterface(label(window, "FileLabel"))
                                ->relations(QAccessible::Label);
    ASSERT_EQ(labelledBy.size(), 1);
    EXPECT_EQ(labelledBy.front().first->object(), label(window, "FileCaption"));
    EXPECT_EQ(labelledBy.front().first->text(QAccessible::Name), "Downloading:");
}

TEST(ProgressWindow, EscapeAndTheCloseBoxAskToCancelButLeaveClosingToTheRun) {
    ProgressWindow window(nullptr, "File Download");
    window.show();
    QSignalSpy cancel(&window, &ProgressWindow::cancelRequested);
    QTest::keyClick(&window, Qt::Key_Escape);
    window.close();
    EXPECT_EQ(cancel.count(), 2);
}

QStringList TopLevelNames() {
    QStringList names;
    QAccessibleInterface* app = QAccessible::queryAccessibleInterface(qApp);
    for (int i = 0; i < app->childCount(); ++i) names << app->child(i)->text(QAccessible::Name);
    return names;
}

TEST(ProgressWindow, AfterAFailedRunNoHiddenWindowIsLeftForAssistiveTools) {
    TempDir dir;
    QStringList whileReporting;
    QtDownloadEngine::Options options;
    options.ui = download::WidgetUi();
    options.retry.retriesWithoutProgress = 0;
    options.proxyEnvironment = download::ProxyEnvironment{};
    options.ui.showFailures = [&](OwnerWindow, const QString&, const QString&) {
        whileReporting = TopLevelNames();
    };
    QtDownloadEngine engine(testsupport::LocalHttpServer::refusedUrl(), options);
    engine.SetOption("title", "File Download");
    engine.AddFile(testsupport::LocalHttpServer::refusedUrl("/x"), dir.path() + "/x");
    EXPECT_EQ(engine.DownloadFiles({}), 0);
    EXPECT_FALSE(whileReporting.contains("File Download"))
        << whileReporting.join(", ").toStdString();
    EXPECT_FALSE(TopLevelNames().contains("File Download"));
}

TEST(OfflineEngine, IsNeverOnlineAndDeliversNothing) {
    OfflineEngine engine;
    EXPECT_EQ(engine.IsConnected(), 0);
    EXPECT_EQ(engine.SetOption("title", "File Download"), 1);
    engine.ClearFiles();
    engine.AddFile("http://127.0.0.1:1/x", "/nonexistent/x");
    EXPECT_EQ(engine.DownloadFiles({}), 0);
}

}  // namespace
