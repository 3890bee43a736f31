#include "toolkit/Application.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QSocketNotifier>
#include <QWidget>
#ifndef _WIN32
#include <sys/socket.h>
#include <unistd.h>
#include <csignal>
#endif

namespace toolkit {

namespace {

ErrorPresenter& Presenter() {
    static ErrorPresenter presenter;
    return presenter;
}

#ifndef _WIN32
int g_signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    // Only async-signal-safe work here: the notifier does the rest in the event loop.
    [[maybe_unused]] auto ignored = ::write(g_signalPipe[1], &byte, 1);
}
#endif

}  // namespace

void ShowErrorText(const std::string& text) {
    if (Presenter()) {
        Presenter()(text);
        return;
    }
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8(kApplicationTitle),
                    QString::fromStdString(text), QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

void ShowException(const std::exception& error) {
    ShowErrorText(error.what());
}

ScopedErrorPresenter::ScopedErrorPresenter(ErrorPresenter presenter)
    : previous_(std::exchange(Presenter(), std::move(presenter))) {}

ScopedErrorPresenter::~ScopedErrorPresenter() {
    Presenter() = std::move(previous_);
}

#ifdef _WIN32
// Windows ends a program by WM_CLOSE to its window (a logout, the task manager), which
// closes it as the close box does; there are no signals to catch.
void CloseOnTerminationSignals(QWidget*) {}
#else
void CloseOnTerminationSignals(QWidget* window) {
    if (g_signalPipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, window);
    QObject::connect(notifier, &QSocketNotifier::activated, window,
                     [window = QPointer<QWidget>(window)] {
                         char byte;
                         [[maybe_unused]] auto ignored = ::read(g_signalPipe[0], &byte, 1);
                         if (window) window->close();
                     });
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &action, nullptr);
}
#endif

}  // namespace toolkit
