// Persistence: the five append-only logs and their rotation past 30,000,000 bytes.
// Callers test log_traffic before calling.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "state/state.h"
#include "platform/clock.h"

namespace kc {

inline constexpr long long kLogRotateLimit = 30000000;

// "DD/MM/YY" and "HH:MM:SS".
std::string log_date(const LocalTime& t);
std::string log_time(const LocalTime& t);

// Moves `current` to `rotated` (replacing it) when `current` is over the limit.
void rotate_log(const std::string& current, const std::string& rotated);

// KavorCb.pod: optional header "\n DATE TIME\n", "<ms since previous>", the bytes.
void log_traffic_block(Program& p, const uint8_t* bytes, size_t length);
void log_traffic_text(Program& p, const std::string& text);
// KavorCs.pod: date and time, the three counters, an empty line.
void log_statistics(Program& p);
// KavorTemp.pod, KavorSw.pod, KavorSwR.pod: "DATE TIME text" right-aligned in 5 or 3.
void log_temperature(Program& p, const char* text);
void log_light_level(Program& p, const char* text);
void log_display_light_level(Program& p, const char* text);

}  // namespace kc
