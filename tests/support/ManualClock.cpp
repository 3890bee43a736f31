#include "support/ManualClock.h"

#include <algorithm>

namespace testsupport {

class ManualClock::ManualAlarm : public download::Alarm {
  public:
    explicit ManualAlarm(ManualClock& clock) : clock_(clock) { clock_.alarms_.push_back(this); }
    ~ManualAlarm() override { std::erase(clock_.alarms_, this); }
    void start(std::chrono::milliseconds delay) override {
        due_ = clock_.now_ + std::max(delay, std::chrono::milliseconds(0));
        active_ = true;
    }
    void stop() override { active_ = false; }
    bool isActive() const override { return active_; }
    std::chrono::milliseconds remaining() const override {
        return active_ ? due_ - clock_.now_ : std::chrono::milliseconds(0);
    }
    std::chrono::milliseconds due() const { return due_; }

  private:
    ManualClock& clock_;
    std::chrono::milliseconds due_{0};
    bool active_ = false;
};

std::unique_ptr<download::Alarm> ManualClock::alarm() {
    return std::make_unique<ManualAlarm>(*this);
}

void ManualClock::advance(std::chrono::milliseconds by) {
    const auto target = now_ + by;
    for (;;) {
        ManualAlarm* first = nullptr;
        for (ManualAlarm* alarm : alarms_)
            if (alarm->isActive() && alarm->due() <= target &&
                (!first || alarm->due() < first->due()))
                first = alarm;
        if (!first) break;
        now_ = first->due();
        // An alarm may be restarted or deleted by whoever it wakes.
        first->stop();
        emit first->fired();
    }
    now_ = target;
}

int ManualClock::running() const {
    return int(std::count_if(alarms_.begin(), alarms_.end(),
                             [](const ManualAlarm* alarm) { return alarm->isActive(); }));
}

std::chrono::milliseconds ManualClock::nextDue() const {
    std::chrono::milliseconds next(-1);
    for (const ManualAlarm* alarm : alarms_)
        if (alarm->isActive() && (next.count() < 0 || alarm->remaining() < next))
            next = alarm->remaining();
    return next;
}

}  // namespace testsupport
