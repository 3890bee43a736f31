#include "FirstPaint.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <ctime>

namespace bench {

namespace {

class FirstPaintFilter : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !seen_) {
            seen_ = true;
            // Queued, so the stamp is taken once this paint has finished.
            QTimer::singleShot(0, this, [] {
                timespec now{};
                clock_gettime(CLOCK_MONOTONIC, &now);
                std::printf("shown %lld\n",
                            static_cast<long long>(now.tv_sec) * 1'000'000'000LL + now.tv_nsec);
                std::fflush(stdout);
                QCoreApplication::quit();
            });
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    bool seen_ = false;
};

}  // namespace

void ReportFirstPaint(QWidget& window) {
    window.installEventFilter(new FirstPaintFilter(&window));  // owned by the window
}

}  // namespace bench
