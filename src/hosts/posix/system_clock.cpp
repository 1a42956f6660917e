// Platform layer (POSIX): the clock of the running system.
#include "hosts/posix/system_clock.h"

#include <time.h>

namespace kc {

LocalTime SystemClock::local_time() {
    time_t now = ::time(nullptr);
    struct tm tm {};
    LocalTime t;
    if (!::localtime_r(&now, &tm)) return t;
    t.year = tm.tm_year + 1900;
    t.month = tm.tm_mon + 1;
    t.day = tm.tm_mday;
    t.hour = tm.tm_hour;
    t.minute = tm.tm_min;
    t.second = tm.tm_sec;
    return t;
}

int64_t SystemClock::calendar_seconds() { return static_cast<int64_t>(::time(nullptr)); }

uint32_t SystemClock::tick_ms() {
    struct timespec ts {};
#ifdef CLOCK_BOOTTIME
    if (::clock_gettime(CLOCK_BOOTTIME, &ts) != 0)
#endif
        ::clock_gettime(CLOCK_MONOTONIC, &ts);
    uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

}  // namespace kc
