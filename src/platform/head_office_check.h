// Platform layer: checking a head-office login before it is kept. The host that speaks
// to the broker connects once with the values given, subscribes to the station's
// changes and says how far it got. Also the syntax of a broker address and a station
// id, so the settings dialog refuses what the link would refuse.
#pragma once
#include <atomic>
#include <functional>
#include <string>

namespace kc {

inline constexpr int kDefaultBrokerPort = 8883;
// A check gives up after this long: the operator waits for it in the dialog.
inline constexpr int kHeadOfficeCheckSeconds = 8;

// "HOST:PORT" or "HOST" (port 8883); "[v6]:PORT" for an IPv6 address.
bool parse_broker_address(const std::string& text, std::string& host, int& port);
// 1..64 of [A-Za-z0-9_-]: one topic level and one broker user.
bool station_id_ok(const std::string& station);

struct HeadOfficeCheckRequest {
    std::string broker;  // as typed, for the texts
    std::string host;
    int port = kDefaultBrokerPort;
    std::string station;
    std::string user;
    std::string password;
    std::string ca_file;  // UTF-8 path
};

enum class HeadOfficeCheckOutcome {
    Subscribed,     // logged in and allowed to take the station's changes
    Unreachable,    // nothing answered at the address; `detail` says what the system said
    TlsUntrusted,   // the CA file does not vouch for the broker's certificate or name
    CaUnreadable,   // the CA file cannot be read or holds no certificate
    LoginRefused,   // bad user or password
    NotAuthorised,  // logged in, but the broker refuses the station's topic
    TimedOut,       // no answer within the check's time
    Failed          // anything else; `detail` says what
};

struct HeadOfficeCheckResult {
    HeadOfficeCheckOutcome outcome = HeadOfficeCheckOutcome::Failed;
    std::string detail;  // Windows-1250
};

// Runs on a worker thread and returns within its own time-out, or soon after `cancel`
// becomes true.
using HeadOfficeCheck =
    std::function<HeadOfficeCheckResult(const HeadOfficeCheckRequest&, const std::atomic<bool>& cancel)>;

}  // namespace kc
