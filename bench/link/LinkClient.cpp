// One start of the program inside the link benchmark's client namespace, wired as update.cpp
// wires it with the real engine; the hive (XDG_CONFIG_HOME) points it at the far side. It
// prints, as CLOCK_MONOTONIC nanoseconds, when the tree was first filled, then presses
// "Update info" on the warm connection and prints when that click began and when the tree
// was filled again; then it leaves. The parent takes the time just before the spawn.
//
// CORVALITE_BENCH_CA names the run's local CA, which this start trusts besides the system's.
// CORVALITE_BENCH_OVERLAP sets how many transfers the engine has in flight at once.
// CORVALITE_BENCH_SOAK="10 100 1000" keeps pressing "Update info" after that, each press from
// the event loop as a user's would be, and prints "rss <presses> <kB>" (VmRSS) after each
// listed count of presses, the timed one included.
#include <QApplication>
#include <QPushButton>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

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

std::vector<int> SoakCounts() {
    std::vector<int> counts;
    if (const char* text = std::getenv("CORVALITE_BENCH_SOAK")) {
        std::istringstream in(text);
        for (int count = 0; in >> count;) counts.push_back(count);
    }
    return counts;
}

// The resident size in kB, from the kernel's own account of this process.
long ResidentKb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmRSS:")) return std::atol(line.c_str() + 6);
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    TrustBenchCa();
    ProgramServices program;
    QtDownloadEngine::Options options;
    options.ui = download::WidgetUi();
    if (const char* overlap = std::getenv("CORVALITE_BENCH_OVERLAP"); overlap && *overlap)
        options.overlap = std::atoi(overlap);
    QtDownloadEngine engine(program.catalogueBase, std::move(options));
    Services services = program.With(engine);
    TForm1 window(services);

    // The refresh at the first showing blocks in the engine; this timer fires between the
    // events of that wait and at the latest right after it.
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    int status = 1;
    const std::vector<int> soak = SoakCounts();
    int presses = 1;
    std::size_t nextCount = 0;
    std::function<void()> press = [&] {
        window.Button3->click();
        ++presses;
        if (window.ProjectTree->TopLevelCount() == 0) {
            std::fprintf(stderr, "press %d left the tree empty\n", presses);
            status = 1;
            QApplication::quit();
            return;
        }
        for (; nextCount < soak.size() && soak[nextCount] <= presses; ++nextCount)
            std::printf("rss %d %ld\n", presses, ResidentKb());
        std::fflush(stdout);
        if (nextCount == soak.size()) {
            QApplication::quit();
            return;
        }
        QTimer::singleShot(0, press);
    };
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
        if (status == 0 && !soak.empty()) {
            QTimer::singleShot(0, press);
            return;
        }
        QApplication::quit();
    });
    poll.start(1);
    window.show();
    // A start that never fills the tree ends the run rather than the benchmark.
    QTimer::singleShot(soak.empty() ? 30'000 : 1'800'000, &app, &QApplication::quit);
    QApplication::exec();
    return status;
}
