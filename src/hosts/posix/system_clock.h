// Platform layer (POSIX): the clock of the running system.
#pragma once
#include "platform/clock.h"

namespace kc {

class SystemClock : public Clock {
public:
    // Local time of the machine's time zone.
    LocalTime local_time() override;
    // time(), whole seconds since the epoch.
    int64_t calendar_seconds() override;
    // Milliseconds since boot, suspend included where the system counts it, cut to
    // 32 bits so that it wraps like a tick count does.
    uint32_t tick_ms() override;
};

}  // namespace kc
