// Controller exchange: a batch of five prices as the panel's "Wyślij" queues it, who
// sent it, and what became of it on the sign (acknowledged, confirmed by reading the
// sign back, shown differently, not confirmed, given up).
//
// Threads: queue_price_batch may be called on any thread; outcomes are delivered on
// the port reader thread (or the UI thread for a refusal at link loss) to every hook.
// A hook must not block and must not wait for the UI thread: post to it instead.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "state/state.h"

namespace kc {

inline constexpr int kPriceFieldCount = 5;
// The panel reads a price edit with room for 6 characters.
inline constexpr size_t kPriceTextMax = 6;

// Five price texts (Windows-1250 bytes, at most 6 each, as the panel sends them) and
// the five "Mrugaj" flags.
struct PriceBatch {
    std::array<std::string, kPriceFieldCount> prices;
    std::array<bool, kPriceFieldCount> blink{};

    bool operator==(const PriceBatch&) const = default;
};

// watch: the sign watch's report of a sign that shows other prices (journal only);
// restore: the last confirmed prices sent back by the watch.
enum class BatchSource { panel, schedule, readback, script, central, watch, restore };
// "panel", "harmonogram", "odczyt", "skrypt", "centrala", "kontrola", "przywrócenie"
// (Windows-1250).
const char* batch_source_word(BatchSource source);

// Why a batch would be refused before anything is queued.
enum class PriceProblem {
    none,
    too_long,       // more than 6 characters
    bad_character,  // a byte the sign's digits cannot show
};
struct PriceCheck {
    PriceProblem problem = PriceProblem::none;
    int field = 0;  // 1..5 of the first bad price; 0 when none
    explicit operator bool() const { return problem == PriceProblem::none; }
};
// The price characters: '0'..'9', '-', '.' and ' '.
bool is_price_character(char c);
// A comma is the decimal point: "6,29" becomes "6.29". Every source goes through this.
std::string normalise_price_text(std::string text);
// The text padded with blanks to all three places, so that the sign shows exactly this
// price and nothing of the one before ("12" -> "12 ", "" -> three blanks).
std::string whole_field_text(const std::string& price);
// Checks a price as it will be sent, after normalise_price_text.
PriceCheck check_price_text(const std::string& text);
PriceCheck validate_price_batch(const PriceBatch& batch);
// The operator's message for a refused check ("Cena 2: ..."), Windows-1250.
std::string describe_price_check(const PriceCheck& check);

enum class QueueRefusal { none, not_connected, test_mode, script_running, invalid };
struct QueueOptions {
    // The panel also queues in test mode and while a script runs, as it always has;
    // other sources are refused then.
    bool allow_test_mode = false;
    bool allow_while_script = false;
};
struct QueueResult {
    QueueRefusal refusal = QueueRefusal::none;
    PriceCheck check;      // for QueueRefusal::invalid
    uint64_t batch_id = 0;  // nonzero when queued
    explicit operator bool() const { return refusal == QueueRefusal::none; }
};
// The operator's message for a refusal, Windows-1250 (empty for none).
std::string describe_refusal(const QueueResult& result);

// Queues the batch as "Wyślij" does: "2<n>C|M<price>" into slots 3..7 and "20E" into
// slot 46 under slot_lock, slot_cursor 2. Commas become points first. The panel's
// prices go as typed; every other source's are padded to the whole field
// (whole_field_text). Marking the batch, telling the one it replaces and filling the
// slots is one step no answer gets between. A refusal queues nothing.
QueueResult queue_price_batch(Program& p, const PriceBatch& batch, BatchSource source, QueueOptions options = {});

enum class OutcomeKind {
    acknowledged,   // the sign took the batch; it was not read back (off, test mode, script)
    confirmed,      // read back: all three places of every field and every blink flag match
    mismatch,       // read back: at least one field differs (see `differs`, `shown`)
    not_confirmed,  // the sign took the batch but did not answer the read-back (see `reason`)
    given_up,       // a frame of the batch went unanswered three times
    read_back,      // "Czytaj z wieży" read the prices: `shown` (and `sent`) hold them
    script_started, // a script began writing the price slots (no prices in `sent`)
    script_stopped,
};
const char* outcome_word(OutcomeKind kind);

struct BatchOutcome {
    uint64_t batch_id = 0;
    BatchSource source = BatchSource::panel;
    PriceBatch sent;
    OutcomeKind kind = OutcomeKind::acknowledged;
    // The sign's fields in digit notation ("4.59"), for confirmed and mismatch; for a
    // read-back result (source readback) what the sign holds.
    std::array<std::string, kPriceFieldCount> shown;
    std::array<bool, kPriceFieldCount> shown_blink{};
    std::array<bool, kPriceFieldCount> differs{};
    std::string reason;  // why not confirmed / given up / not read back, Windows-1250
    int64_t time = 0;    // seconds since the epoch, from the program's clock
};

using BatchOutcomeHook = std::function<void(Program&, const BatchOutcome&)>;
// Adds a hook called with every outcome; returns an id for remove_batch_outcome_hook.
int add_batch_outcome_hook(Program& p, BatchOutcomeHook hook);
void remove_batch_outcome_hook(Program& p, int id);

// Read-back after the batch: on by default while connected, never in test mode.
void set_price_confirmation(Program& p, bool on);
bool price_confirmation(Program& p);

// The link's side, called by replies and the reply time-out (reader or UI thread).
void price_batch_acknowledged(Program& p, int slot);
void price_reply_taken(Program& p, char letter);
void price_slot_given_up(Program& p, int slot);
// "Czytaj z wieży" queued its queries: its "20M" answer is journaled as a read-back.
void note_readback_queued(Program& p);
// Queue cleared or link closed: whatever is in flight is not confirmed.
void abandon_price_batches(Program& p, const std::string& reason);
// A script started or stopped (for the journal; confirmation is skipped while it runs).
void note_script(Program& p, bool started);

// Which fields (all three places with their points, and the blink flag) of what the sign
// shows differ from `meant`, each text taken as the sign shows it on a blank field.
std::array<bool, kPriceFieldCount> fields_differing(const PriceBatch& meant, const uint8_t shown[kPriceFieldCount][3],
                                                    const std::array<bool, kPriceFieldCount>& shown_blink);

// What the sign showed to a watch read: its segment images and blink flags.
struct SignReading {
    uint8_t places[kPriceFieldCount][3] = {};
    std::array<bool, kPriceFieldCount> blink{};
    // Digit notation of each field ("4.59", trailing blanks dropped).
    std::array<std::string, kPriceFieldCount> shown() const;
};
using SignReadingHook = std::function<void(Program&, const SignReading&)>;
// The one receiver of watch reads (port reader thread; must not block). Empty to remove.
void set_sign_reading_hook(Program& p, SignReadingHook hook);
// Queues "20C" and "20M" for the sign watch when the link is idle: connected, not in test
// mode, no script, no batch in flight or being confirmed, no read-back of the operator's
// running. The answer goes to the reading hook only: no outcome, no journal. A batch
// queued meanwhile takes the slots and the read is dropped. False when not queued.
bool queue_sign_reading(Program& p);

// For tests: called inside queue_price_batch after the batch is marked as the one in
// flight and before its slots are filled (an answer arriving at that moment). Empty
// to remove.
void set_price_queue_test_hook(Program& p, std::function<void()> hook);

// The text a price segment image shows ("4.59"), by the digit table; '?' for an image
// that is no digit. `places` counts the places shown.
std::string places_to_text(const uint8_t* places, int count);

}  // namespace kc
