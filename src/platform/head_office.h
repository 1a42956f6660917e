// Platform layer: the link to head office. The host that implements it (hosts/mqtt)
// speaks to a message broker; the core sees only a price change coming in and the
// answers going out. Texts for people are Windows-1250, like everything in the core.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kc {

// Five prices as the panel sends them, with their blink flags.
struct PriceSet {
    std::array<std::string, 5> prices;
    std::array<bool, 5> blink{};
};

// A price change from head office, already checked whole by the link.
struct CentralChange {
    std::string id;       // head office's message id, printable ASCII
    PriceSet set;
    bool has_at = false;  // a time to apply it at
    int64_t at = 0;       // calendar seconds
};

enum class CentralOutcome {
    Refused,       // not valid: nothing was queued
    Scheduled,     // waits for its time
    Acknowledged,  // the sign took every command; no confirmation ran
    Confirmed,     // the sign shows what was sent
    Mismatch,      // the sign shows something else in `fields`
    NotConfirmed,  // sent, but the sign could not be asked, or never sent; `reason` says why
    GivenUp,       // the sign did not take the batch
    Duplicate,     // the id was seen before; `previous` holds its outcome
    Held,          // the sign cannot take it now (`reason`); kept and applied once it can
    Superseded     // it was held and a newer change took its place; never applied
};

// Stable names used on the wire, shared by the station and kavor-centrala.
namespace central_word {
inline constexpr const char* kRefused = "refused";
inline constexpr const char* kScheduled = "scheduled";
inline constexpr const char* kAcknowledged = "acknowledged";
inline constexpr const char* kConfirmed = "confirmed";
inline constexpr const char* kMismatch = "mismatch";
inline constexpr const char* kNotConfirmed = "not_confirmed";
inline constexpr const char* kGivenUp = "given_up";
inline constexpr const char* kDuplicate = "duplicate";
inline constexpr const char* kHeld = "held";
inline constexpr const char* kSuperseded = "superseded";
// Not an outcome: an id taken whose outcome is not known yet.
inline constexpr const char* kPending = "pending";
}  // namespace central_word

const char* outcome_name(CentralOutcome outcome);
// True for an outcome name or "pending".
bool known_central_word(const std::string& word);

struct CentralResult {
    std::string id;
    CentralOutcome outcome = CentralOutcome::Refused;
    std::string reason;        // a stable code ("price_too_long", "sign_disconnected", ...)
    std::string detail;        // the same for people
    std::vector<int> fields;   // fields 1..5 that differ (Mismatch)
    bool has_sign = false;     // the sign's own values are known
    PriceSet sign;             // what the sign shows, in the panel's digit notation
    int64_t time = 0;          // calendar seconds of the outcome
    bool late = false;         // its time had passed when it came in
    int64_t at = 0;            // the time it carried, when late or scheduled
    std::string previous;      // Duplicate: outcome name of the first delivery
    bool queued = true;        // false: nothing was queued or scheduled, the id stays free
    int64_t arrived = 0;       // calendar seconds it came in, for a change that was held first
};

// What the sign last confirmed, published so head office always sees the truth.
struct StationState {
    PriceSet sign;
    int64_t time = 0;    // calendar seconds of the confirmation
    std::string source;  // "panel", "centrala", "harmonogram", ...
    bool matches = true; // the sign showed what was sent
};

// Something that happened at the station that head office wants to hear of, told on
// the events topic as it happens (not retained).
struct StationEvent {
    std::string kind;          // one of event_word
    int64_t time = 0;          // calendar seconds
    std::string detail;        // for people, Windows-1250
    std::vector<int> fields;   // fields 1..5 concerned (sign_differs)
    bool has_sign = false;     // `sign` holds what the sign shows
    PriceSet sign;
    std::string id;            // the change concerned (change_held, change_applied)
};

namespace event_word {
inline constexpr const char* kSignDiffers = "sign_differs";      // the watch found other prices
inline constexpr const char* kPricesRestored = "prices_restored";  // the confirmed ones sent back
inline constexpr const char* kRestoreLimit = "restore_limit";    // too many restores this hour
inline constexpr const char* kSignNoAnswer = "sign_no_answer";
inline constexpr const char* kSignAnswers = "sign_answers";      // answers again
inline constexpr const char* kSignLinkUp = "sign_link_up";
inline constexpr const char* kSignLinkDown = "sign_link_down";
inline constexpr const char* kChangeHeld = "change_held";
inline constexpr const char* kChangeApplied = "change_applied";  // a held change went to the sign
}  // namespace event_word

enum class SignAnswers { Answers, NoAnswer, Disconnected, TestMode };

// What the retained status says of the station besides online or offline.
struct StationStatus {
    SignAnswers sign = SignAnswers::Disconnected;
    bool test_mode = false;
    int64_t last_watch = 0;  // calendar seconds of the last sign watch, 0 before any
    bool operator==(const StationStatus&) const = default;
};

enum class LinkState {
    Connecting,   // trying (first time or after a loss)
    Connected,
    Unreachable,  // broker not reached; retrying with back-off
    Refused,      // broker refused the login or the certificate; retrying
    Misconfigured // settings unusable (password file readable by others, ...): not trying
};

struct LinkStatus {
    LinkState state = LinkState::Connecting;
    std::string why;  // Windows-1250, for the panel
};

class HeadOfficeLink {
public:
    struct Events {
        // Called on the link's own thread; the receiver posts to the UI thread.
        std::function<void(const CentralChange&)> on_change;
        std::function<void(const LinkStatus&)> on_status;
        // A change the link itself refused (bad message): shown on the panel.
        std::function<void(const CentralResult&)> on_refused;
        // Something for the panel's link line that is not a link state (ids file faults).
        std::function<void(const std::string&)> on_notice;
    };
    virtual ~HeadOfficeLink() = default;
    // Starts connecting out on a thread of its own; never blocks the caller for long.
    virtual void start(Events events) = 0;
    // Stops taking changes: once it returns no on_change comes, and what head office
    // sends from now stays with the broker. Results can still be published.
    virtual void stop_receiving() = 0;
    // Says goodbye (status offline) and joins its thread. No event runs after it returns.
    virtual void stop() = 0;
    // Any thread; kept and sent later when the broker is not reachable now.
    virtual void publish_result(const CentralResult& result) = 0;
    virtual void publish_state(const StationState& state) = 0;
    // Republished only when it differs from the last one.
    virtual void publish_sign(const StationStatus& status) = 0;
    virtual void publish_event(const StationEvent& event) = 0;
};

}  // namespace kc
