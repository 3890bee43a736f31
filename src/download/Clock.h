#pragma once
// Where the engine's time comes from: Qt's timers and the system clock in the program, a
// clock that moves only when told in tests, so that no test waits on the wall clock.
#include <QDateTime>
#include <QObject>
#include <chrono>
#include <memory>

namespace download {

// A one-shot timer.
class Alarm : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;
    virtual void start(std::chrono::milliseconds delay) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
    // Time left before it fires; 0 when not active.
    virtual std::chrono::milliseconds remaining() const = 0;

  signals:
    void fired();
};

class Clock {
  public:
    virtual ~Clock() = default;
    virtual std::unique_ptr<Alarm> alarm() = 0;
    // Monotonic time since some start, for rates.
    virtual std::chrono::milliseconds sinceStart() const = 0;
    // For the server's dates (Retry-After).
    virtual QDateTime utcNow() const = 0;
};

// Qt's timers and the system clock; lives as long as the program.
Clock& systemClock();

// The clock a test handed in, or the system's when none was.
Clock& clockOr(Clock* injected);

}  // namespace download
