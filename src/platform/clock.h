// Platform layer: local time, calendar seconds and the millisecond tick count.
// Tests set them; the POSIX clock reads the system.
#pragma once
#include <cstdint>

namespace kc {

struct LocalTime {
    int year = 2026;  // four digits
    int month = 1;    // 1..12
    int day = 1;      // 1..31
    int hour = 0;     // 0..23
    int minute = 0;
    int second = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalTime local_time() = 0;
    // Whole seconds of the calendar clock (time(NULL)).
    virtual int64_t calendar_seconds() = 0;
    // Milliseconds since the system started, 32 bits, wrapping.
    virtual uint32_t tick_ms() = 0;
};

}  // namespace kc
