#pragma once
// Time for the download engine that moves only when a test says so: a pause, a stall or a
// probe deadline then falls due exactly when the test advances past it, never because the
// shared machine was slow.
//
//   ManualClock clock;
//   options.clock = &clock;
//   clock.advance(30s);  // fires every alarm due on the way, in order
#include <chrono>
#include <vector>

#include "download/Clock.h"

namespace testsupport {

class ManualClock : public download::Clock {
  public:
    std::unique_ptr<download::Alarm> alarm() override;
    std::chrono::milliseconds sinceStart() const override { return now_; }
    QDateTime utcNow() const override { return start_.addMSecs(now_.count()); }

    void advance(std::chrono::milliseconds by);
    // Alarms running now, and the time left on the one due first (-1 ms: none).
    int running() const;
    std::chrono::milliseconds nextDue() const;

  private:
    class ManualAlarm;
    std::chrono::milliseconds now_{0};
    std::vector<ManualAlarm*> alarms_;
    const QDateTime start_ = QDateTime::currentDateTimeUtc();
};

}  // namespace testsupport
