// One start of the program inside the link benchmark's client namespace, wired as update.cpp
// wires it with the real engine; the hive (XDG_CONFIG_HOME) points it at the far side. It
// prints, as CLOCK_MONOTONIC nanoseconds, when the tree was first filled, then presses
// "Update info" on the warm connection and prints when that click began and when the tree
// was filled again; then it leaves. The parent takes the time just before the spawn.
//
// CORVALITE_BENCH_CA names the run's local CA, which this start trusts besides the system's.
#include <QApplication>
#include <QPushButton>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "download/QtDownloadEngine.h"
#include "download/ui/WidgetUi.h"
#include "gui/Services.h"
#include "gui/Unit1.h"

namespace {

long long Now() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
}

void TrustBenchCa() {
    const char* file = std::getenv("CORVALITE_BENCH_CA");
    if (file == nullptr || *file == '\0') return;
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.addCaCertificates(QSslCertificate::fromPath(QString::fromLocal8Bit(file)));
    QSslConfiguration::setDefaultConfiguration(configuration);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    TrustBenchCa();
    ProgramServices program;
    QtDownloadEngine::Options options;
    options.ui = download::WidgetUi();
    QtDownloadEngine engine(program.catalogueBase, std::move(options));
    Services services = program.With(engine);
    TForm1 window(services);

    // The refresh at the first showing blocks in the engine; this timer fires between the
    // events of that wait and at the latest right after it.
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    int status = 1;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (window.ProjectTree->TopLevelCount() == 0) return;
        poll.stop();
        std::printf("filled %lld\n", Now());
        // The refresh empties the tree first and fills it again only when it succeeds.
        const long long click = Now();
        window.Button3->click();
        const long long refilled = Now();
        if (window.ProjectTree->TopLevelCount() > 0) {
            std::printf("update %lld %lld\n", click, refilled);
            status = 0;
        }
        std::fflush(stdout);
        QApplication::quit();
    });
    poll.start(1);
    window.show();
    // A start that never fills the tree ends the run rather than the benchmark.
    QTimer::singleShot(30'000, &app, &QApplication::quit);
    QApplication::exec();
    return status;
}
