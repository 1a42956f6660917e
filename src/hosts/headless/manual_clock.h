// Platform layer (tests): a clock the test sets by hand.
#pragma once
#include <atomic>
#include <mutex>

#include "platform/clock.h"

namespace kc {

class ManualClock : public Clock {
public:
    LocalTime local_time() override {
        std::lock_guard<std::mutex> lock(mutex_);
        return time_;
    }
    int64_t calendar_seconds() override { return seconds_.load(); }
    uint32_t tick_ms() override { return tick_.load(); }

    void set_local_time(const LocalTime& t) {
        std::lock_guard<std::mutex> lock(mutex_);
        time_ = t;
    }
    void set_calendar_seconds(int64_t s) { seconds_ = s; }
    void set_tick(uint32_t ms) { tick_ = ms; }
    // Moves calendar seconds and the tick count on together.
    void advance_seconds(int64_t s) {
        seconds_ += s;
        tick_ += static_cast<uint32_t>(s * 1000);
    }

private:
    std::mutex mutex_;
    LocalTime time_;
    std::atomic<int64_t> seconds_{1'700'000'000};
    std::atomic<uint32_t> tick_{1000};
};

}  // namespace kc
