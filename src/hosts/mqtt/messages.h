// Head office link (MQTT host): topics and the JSON of every message, shared by the
// station bridge and kavor-centrala. A change is checked whole here; nothing half-valid
// gets past parse_change.
#pragma once
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "platform/head_office.h"

namespace kc::mqtt {

// Larger messages are refused unread.
inline constexpr size_t kMaxChangeBytes = 4096;
inline constexpr size_t kMaxIdLength = 64;

std::string set_topic(const std::string& station);     // kavorcen/<station>/prices/set
std::string result_topic(const std::string& station);  // kavorcen/<station>/prices/result
std::string state_topic(const std::string& station);   // kavorcen/<station>/state
std::string status_topic(const std::string& station);  // kavorcen/<station>/status
std::string events_topic(const std::string& station);  // kavorcen/<station>/events
// The station of a topic kavorcen/<station>/..., or empty.
std::string station_of_topic(const std::string& topic);

// A station id: 1..64 of [A-Za-z0-9_-], so it is one topic level and one broker user.
bool valid_station_id(const std::string& station);
// A change id: 1..64 printable ASCII characters other than '"' and '\\'.
bool valid_change_id(const std::string& id);

struct ParsedChange {
    bool ok = false;
    CentralChange change;
    std::string id;      // the id when one could be read, even for a refusal
    std::string reason;  // refusal code
    std::string where;   // the field it concerns ("prices[2]"), may be empty
};

// Checks a message of the set topic for `station`; `now` (calendar seconds) only
// decides nothing here, the caller judges lateness.
ParsedChange parse_change(const std::string& payload, const std::string& station);

// Result, state and status as JSON (UTF-8). `detail` and reasons come in Windows-1250.
std::string result_json(const std::string& station, const CentralResult& result);
std::string state_json(const std::string& station, const StationState& state);
// `since`: when the station went online (0: not told); `last_watch` 0 goes out as null.
std::string status_json(const std::string& station, bool online, const StationStatus& status, int64_t since,
                        int64_t time);
std::string offline_json(const std::string& station);
std::string event_json(const std::string& station, const StationEvent& event);

// What kavor-centrala sends.
std::string change_json(const std::string& station, const std::string& id, const PriceSet& set,
                        const std::string& at);

// "2026-12-08T00:00:00+01:00", "...Z" or without an offset (local time) → calendar
// seconds; false when it is not such a time.
bool parse_time(const std::string& text, int64_t& seconds);
// Local time with its offset, "2026-12-08T00:00:00+01:00".
std::string format_time(int64_t seconds);

// The Polish text for a refusal or other reason code, Windows-1250.
std::string reason_text(const std::string& code);

// `pattern` with each "%s" or "%d" replaced by the next of `args`, in order.
std::string fill(const std::string& pattern, std::initializer_list<std::string> args);

}  // namespace kc::mqtt
