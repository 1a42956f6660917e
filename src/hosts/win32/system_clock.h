// Platform layer (Win32): the clock of the running system.
#pragma once
#include "platform/clock.h"

namespace kc {

class Win32Clock : public Clock {
public:
    // GetLocalTime.
    LocalTime local_time() override;
    // time(), whole seconds since the epoch.
    int64_t calendar_seconds() override;
    // GetTickCount: milliseconds since start-up, wrapping at 32 bits.
    uint32_t tick_ms() override;
};

}  // namespace kc
