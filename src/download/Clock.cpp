#include "download/Clock.h"

#include <QElapsedTimer>
#include <QTimer>

namespace download {

namespace {

class QtAlarm : public Alarm {
  public:
    QtAlarm() {
        timer_.setSingleShot(true);
        // Deadlines are few and long; Qt's coarse default may fire them 5 % early.
        timer_.setTimerType(Qt::PreciseTimer);
        connect(&timer_, &QTimer::timeout, this, &Alarm::fired);
    }
    void start(std::chrono::milliseconds delay) override { timer_.start(delay); }
    void stop() override { timer_.stop(); }
    bool isActive() const override { return timer_.isActive(); }
    std::chrono::milliseconds remaining() const override {
        return std::chrono::milliseconds(std::max(0, timer_.remainingTime()));
    }

  private:
    QTimer timer_;
};

class SystemClock : public Clock {
  public:
    SystemClock() { started_.start(); }
    std::unique_ptr<Alarm> alarm() override { return std::make_unique<QtAlarm>(); }
    std::chrono::milliseconds sinceStart() const override {
        return std::chrono::milliseconds(started_.elapsed());
    }
    QDateTime utcNow() const override { return QDateTime::currentDateTimeUtc(); }

  private:
    QElapsedTimer started_;
};

}  // namespace

Clock& systemClock() {
    static SystemClock clock;
    return clock;
}

Clock& clockOr(Clock* injected) {
    return injected ? *injected : systemClock();
}

}  // namespace download
