// Platform layer (Win32): the clock of the running system.
#include "hosts/win32/system_clock.h"

#include <windows.h>

#include <ctime>

namespace kc {

LocalTime Win32Clock::local_time() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    LocalTime t;
    t.year = st.wYear;
    t.month = st.wMonth;
    t.day = st.wDay;
    t.hour = st.wHour;
    t.minute = st.wMinute;
    t.second = st.wSecond;
    return t;
}

int64_t Win32Clock::calendar_seconds() { return static_cast<int64_t>(std::time(nullptr)); }

uint32_t Win32Clock::tick_ms() { return static_cast<uint32_t>(GetTickCount()); }

}  // namespace kc
