// Controller exchange: queueing a price batch, following it through the sign's
// acknowledge, reading the prices back and telling every hook what became of it.
#include "link/price_batch.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "preview/price_preview.h"
#include "resources/texts.h"

namespace kc {

// queuing: marked as the batch in flight while its slots are filled; no answer counts
// for it yet.
enum class PriceStage { idle, queuing, sending, confirming };

struct PriceTracker {
    std::mutex mutex;  // a leaf: nothing waits for another lock while holding it
    std::vector<std::pair<int, BatchOutcomeHook>> hooks;
    int next_hook = 1;
    uint64_t next_id = 1;
    PriceStage stage = PriceStage::idle;
    BatchOutcome active;  // the batch being followed
    bool segments_taken = false;
    bool readback_pending = false;  // "Czytaj z wieży" queued its "20M"
    uint8_t shown_places[kPriceFieldCount][3] = {};
    std::function<void()> queue_test_hook;
    // The sign watch's own read: queued while idle, dropped when a batch takes the slots.
    bool watch_pending = false;
    bool watch_segments_taken = false;
    uint8_t watch_places[kPriceFieldCount][3] = {};
    SignReadingHook reading_hook;
};

namespace {

constexpr uint8_t kPoint = 0x80;

PriceTracker& tracker(Program& p) {
    std::call_once(p.price_tracker_once, [&p] { p.price_tracker = std::make_shared<PriceTracker>(); });
    return *p.price_tracker;
}

int64_t now_seconds(Program& p) { return p.clock ? p.clock->calendar_seconds() : 0; }

// Calls every hook with `outcome`, outside the tracker's lock.
void deliver(Program& p, BatchOutcome outcome) {
    outcome.time = now_seconds(p);
    std::vector<BatchOutcomeHook> hooks;
    {
        PriceTracker& t = tracker(p);
        std::lock_guard lock(t.mutex);
        for (auto& h : t.hooks) hooks.push_back(h.second);
    }
    for (auto& h : hooks) h(p, outcome);
}

std::string price_command(int field, const std::string& price, bool blink) {
    return std::string("2") + static_cast<char>('0' + field) + (blink ? 'M' : 'C') + price;
}

std::string trim_right(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

// Compares what the sign holds (segments read back, blink flags in the state) with what
// the operator meant.
void compare(Program& p, const uint8_t shown_places[kPriceFieldCount][3], BatchOutcome& o) {
    for (int f = 0; f < kPriceFieldCount; ++f) {
        o.shown[f] = trim_right(places_to_text(shown_places[f], 3));
        o.shown_blink[f] = p.state.price_blink[f].load() != 0;
    }
    o.differs = fields_differing(o.sent, shown_places, o.shown_blink);
    const bool all_equal = std::none_of(o.differs.begin(), o.differs.end(), [](bool d) { return d; });
    o.kind = all_equal ? OutcomeKind::confirmed : OutcomeKind::mismatch;
}

void read_segments(Program& p, uint8_t out[kPriceFieldCount][3]) {
    for (int f = 0; f < kPriceFieldCount; ++f)
        for (int i = 0; i < 3; ++i) out[f][i] = p.state.price_segments[f][i].load();
}

void fill_confirmation(ProgramState& s) {
    fill_slot(s, 3, "20C");
    fill_slot(s, 4, "20M");
    s.slot_cursor = 2;
}

void fill_close(ProgramState& s) { fill_slot(s, 46, "20E"); }

// On the reader thread, which never waits for slot_lock: a few tries (the polling
// thread holds it for a moment every pass); when it stays busy the UI thread fills the
// slots a moment later, if batch `id` is still at `stage`.
void queue_from_reader(Program& p, uint64_t id, PriceStage stage, void (*fill)(ProgramState&)) {
    for (int attempt = 0; attempt < 50; ++attempt) {
        TryLock slots(p.state.slot_lock);
        if (slots.held()) {
            fill(p.state);
            return;
        }
        std::this_thread::yield();
    }
    UiHost* ui = p.ui;
    if (!ui) return;
    ui->post([&p, id, stage, fill] {
        PriceTracker& t = tracker(p);
        LockGuard guard(p.state.slot_lock);
        {
            std::lock_guard lock(t.mutex);
            if (t.stage != stage || t.active.batch_id != id) return;
        }
        fill(p.state);
    });
}

}  // namespace

const char* batch_source_word(BatchSource source) {
    switch (source) {
        case BatchSource::panel: return "panel";
        case BatchSource::schedule: return "harmonogram";
        case BatchSource::readback: return "odczyt";
        case BatchSource::script: return "skrypt";
        case BatchSource::central: return "centrala";
        case BatchSource::watch: return "kontrola";
        case BatchSource::restore: return "przywr\xF3" "cenie";
    }
    return "";
}

const char* outcome_word(OutcomeKind kind) {
    switch (kind) {
        case OutcomeKind::acknowledged: return txt(Txt::OutcomeAcknowledged).c_str();
        case OutcomeKind::confirmed: return txt(Txt::OutcomeConfirmed).c_str();
        case OutcomeKind::mismatch: return txt(Txt::OutcomeMismatch).c_str();
        case OutcomeKind::not_confirmed: return txt(Txt::OutcomeNotConfirmed).c_str();
        case OutcomeKind::given_up: return txt(Txt::OutcomeGivenUp).c_str();
        case OutcomeKind::read_back: return txt(Txt::OutcomeReadBack).c_str();
        case OutcomeKind::script_started: return txt(Txt::OutcomeScriptStarted).c_str();
        case OutcomeKind::script_stopped: return txt(Txt::OutcomeScriptStopped).c_str();
    }
    return "";
}

bool is_price_character(char c) { return (c >= '0' && c <= '9') || c == '-' || c == '.' || c == ' '; }

std::string normalise_price_text(std::string text) {
    std::replace(text.begin(), text.end(), ',', '.');
    return text;
}

std::string whole_field_text(const std::string& price) {
    uint8_t places[3] = {};
    const int filled = price_text_places(price.c_str(), places);
    return price + std::string(static_cast<size_t>(3 - filled), ' ');
}

PriceCheck check_price_text(const std::string& text) {
    if (text.size() > kPriceTextMax) return {PriceProblem::too_long, 0};
    for (char c : normalise_price_text(text))
        if (!is_price_character(c)) return {PriceProblem::bad_character, 0};
    return {};
}

PriceCheck validate_price_batch(const PriceBatch& batch) {
    for (int f = 0; f < kPriceFieldCount; ++f) {
        PriceCheck c = check_price_text(batch.prices[f]);
        if (!c) {
            c.field = f + 1;
            return c;
        }
    }
    return {};
}

std::string describe_price_check(const PriceCheck& check) {
    if (check) return "";
    char buf[160];
    const Txt t = check.problem == PriceProblem::too_long ? Txt::PriceTooLong : Txt::PriceBadCharacter;
    std::snprintf(buf, sizeof buf, txt(t).c_str(), check.field);
    return buf;
}

std::string describe_refusal(const QueueResult& result) {
    switch (result.refusal) {
        case QueueRefusal::none: return "";
        case QueueRefusal::not_connected: return txt(Txt::PriceRefusedNotConnected);
        case QueueRefusal::test_mode: return txt(Txt::PriceRefusedTestMode);
        case QueueRefusal::script_running: return txt(Txt::PriceRefusedScript);
        case QueueRefusal::invalid: return describe_price_check(result.check);
    }
    return "";
}

QueueResult queue_price_batch(Program& p, const PriceBatch& batch, BatchSource source, QueueOptions options) {
    QueueResult result;
    MainRecord* r = get_record(p);
    if (!r) {
        result.refusal = QueueRefusal::not_connected;
        return result;
    }
    PriceBatch clean = batch;
    for (auto& price : clean.prices) price = normalise_price_text(price);
    const PriceCheck check = validate_price_batch(clean);
    if (!check) {
        result.refusal = QueueRefusal::invalid;
        result.check = check;
        return result;
    }
    const bool test = r->test_mode;
    if (test && !options.allow_test_mode) {
        result.refusal = QueueRefusal::test_mode;
        return result;
    }
    if (!test && !r->connected) {
        result.refusal = QueueRefusal::not_connected;
        return result;
    }
    if (r->script_running && !options.allow_while_script) {
        result.refusal = QueueRefusal::script_running;
        return result;
    }

    // Sources the program controls set the whole field; the panel sends what its edits hold.
    std::string texts[kPriceFieldCount];
    for (int f = 0; f < kPriceFieldCount; ++f)
        texts[f] = price_command(f + 1, source == BatchSource::panel ? clean.prices[f] : whole_field_text(clean.prices[f]),
                                 clean.blink[f]);

    // One step that no answer can get between: the replaced batch leaves the tracker,
    // the new one is marked (answers cannot settle it yet), its slots are filled, and
    // only then may its "20E" count. slot_lock is held throughout, so the polling
    // thread sends none of its frames before that; the reader only tries slot_lock.
    BatchOutcome superseded;
    bool had_active = false;
    std::function<void()> gap_hook;
    PriceTracker& t = tracker(p);
    {
        LockGuard guard(p.state.slot_lock);
        {
            std::lock_guard lock(t.mutex);
            result.batch_id = t.next_id++;
            if (t.stage != PriceStage::idle) {
                superseded = t.active;
                had_active = true;
            }
            // A batch that never reaches a sign (test mode) is not followed.
            t.stage = test ? PriceStage::idle : PriceStage::queuing;
            // The batch takes slots 3 and 4: a watch read queued there is dropped.
            t.watch_pending = false;
            t.active = BatchOutcome{};
            t.active.batch_id = result.batch_id;
            t.active.source = source;
            t.active.sent = clean;
            t.segments_taken = false;
            gap_hook = t.queue_test_hook;
        }
        if (gap_hook) gap_hook();
        for (int f = 0; f < kPriceFieldCount; ++f) fill_slot(p.state, f + 3, texts[f].c_str());
        fill_slot(p.state, 46, "20E");
        p.state.slot_cursor = 2;
        std::lock_guard lock(t.mutex);
        if (t.stage == PriceStage::queuing && t.active.batch_id == result.batch_id) t.stage = PriceStage::sending;
    }
    // Outside every lock: a hook may queue again.
    if (had_active) {
        superseded.kind = OutcomeKind::not_confirmed;
        superseded.reason = txt(Txt::PriceReasonSuperseded);
        deliver(p, superseded);
    }
    return result;
}

int add_batch_outcome_hook(Program& p, BatchOutcomeHook hook) {
    PriceTracker& t = tracker(p);
    std::lock_guard lock(t.mutex);
    const int id = t.next_hook++;
    t.hooks.emplace_back(id, std::move(hook));
    return id;
}

void remove_batch_outcome_hook(Program& p, int id) {
    PriceTracker& t = tracker(p);
    std::lock_guard lock(t.mutex);
    std::erase_if(t.hooks, [id](const auto& h) { return h.first == id; });
}

void set_price_queue_test_hook(Program& p, std::function<void()> hook) {
    PriceTracker& t = tracker(p);
    std::lock_guard lock(t.mutex);
    t.queue_test_hook = std::move(hook);
}

void set_price_confirmation(Program& p, bool on) { p.extra.set_bool(extra_key::kPriceConfirmation, on); }
bool price_confirmation(Program& p) { return p.extra.get_bool(extra_key::kPriceConfirmation, true); }

void price_batch_acknowledged(Program& p, int slot) {
    if (slot != 46 && (slot < 3 || slot > 7)) return;
    MainRecord* r = get_record(p);
    if (!r) return;
    PriceTracker& t = tracker(p);
    BatchOutcome done;
    uint64_t id = 0;
    bool confirm = false;
    bool close_again = false;
    {
        // The slots are looked at under the tracker's lock: a batch being queued is then
        // either not marked yet or already in its slots.
        std::lock_guard lock(t.mutex);
        if (t.stage != PriceStage::sending) return;
        id = t.active.batch_id;
        bool prices_pending = false;
        for (int n = 3; n <= 7; ++n)
            if (n != slot && slot_pending(p.state, n)) prices_pending = true;
        if (slot != 46) {
            // The batch's last price is in, but its "20E" is no longer queued: an older
            // batch's "20E", answered after this one refilled slot 46, freed it.
            close_again = !prices_pending && !slot_pending(p.state, 46) && !r->script_running;
        } else if (prices_pending) {
            return;  // price slots pending belong to a newer batch: an older "20E"
        } else {
            const bool skip_script = r->script_running;
            const bool off = !price_confirmation(p);
            if (!skip_script && !off && r->connected && !r->test_mode) {
                t.stage = PriceStage::confirming;
                t.segments_taken = false;
                confirm = true;
            } else {
                t.stage = PriceStage::idle;
                done = t.active;
                done.kind = OutcomeKind::acknowledged;
                done.reason = txt(skip_script ? Txt::PriceReasonScript : Txt::PriceReasonOff);
            }
        }
    }
    if (done.batch_id != 0) deliver(p, done);
    if (close_again) queue_from_reader(p, id, PriceStage::sending, fill_close);
    if (confirm) queue_from_reader(p, id, PriceStage::confirming, fill_confirmation);
}

void price_reply_taken(Program& p, char letter) {
    MainRecord* r = get_record(p);
    if (!r) return;
    PriceTracker& t = tracker(p);
    BatchOutcome done;
    std::optional<SignReading> reading;
    SignReadingHook reading_hook;
    {
        std::lock_guard lock(t.mutex);
        if (t.stage == PriceStage::confirming) {
            if (letter == 'C') {
                read_segments(p, t.shown_places);
                t.segments_taken = true;
                return;
            }
            if (!t.segments_taken) return;  // the "20C" was given up: already told
            done = t.active;
            compare(p, t.shown_places, done);
            t.stage = PriceStage::idle;
        } else {
            if (t.watch_pending && letter == 'C') {
                read_segments(p, t.watch_places);
                t.watch_segments_taken = true;
            } else if (t.watch_pending && letter == 'M' && t.watch_segments_taken) {
                t.watch_pending = false;
                reading.emplace();
                std::memcpy(reading->places, t.watch_places, sizeof reading->places);
                for (int f = 0; f < kPriceFieldCount; ++f) reading->blink[f] = p.state.price_blink[f].load() != 0;
                reading_hook = t.reading_hook;
            }
            // "Czytaj z wieży" (queued alone or beside a watch read): what the sign holds,
            // for the journal.
            if (letter == 'M' && t.readback_pending) {
                t.readback_pending = false;
                done.source = BatchSource::readback;
                done.kind = OutcomeKind::read_back;
                uint8_t places[kPriceFieldCount][3];
                read_segments(p, places);
                for (int f = 0; f < kPriceFieldCount; ++f) {
                    done.shown[f] = trim_right(places_to_text(places[f], 3));
                    done.shown_blink[f] = p.state.price_blink[f].load() != 0;
                    done.sent.prices[f] = done.shown[f];
                    done.sent.blink[f] = done.shown_blink[f];
                }
                done.batch_id = t.next_id++;
            }
        }
    }
    if (reading && reading_hook) reading_hook(p, *reading);
    if (done.batch_id != 0) deliver(p, done);
}

bool queue_sign_reading(Program& p) {
    MainRecord* r = get_record(p);
    if (!r || !r->connected || r->test_mode || r->script_running || r->readback_active) return false;
    PriceTracker& t = tracker(p);
    LockGuard guard(p.state.slot_lock);
    std::lock_guard lock(t.mutex);
    // A read marked pending whose slots are free was dropped unanswered: read again.
    if (t.stage != PriceStage::idle || t.readback_pending) return false;
    for (int n : {3, 4, 5, 6, 7, 46})
        if (slot_pending(p.state, n)) return false;
    // Marked before the slots are filled, so no answer of this read can come first.
    t.watch_pending = true;
    t.watch_segments_taken = false;
    fill_confirmation(p.state);
    return true;
}

void set_sign_reading_hook(Program& p, SignReadingHook hook) {
    PriceTracker& t = tracker(p);
    std::lock_guard lock(t.mutex);
    t.reading_hook = std::move(hook);
}

std::array<std::string, kPriceFieldCount> SignReading::shown() const {
    std::array<std::string, kPriceFieldCount> out;
    for (int f = 0; f < kPriceFieldCount; ++f) out[f] = trim_right(places_to_text(places[f], 3));
    return out;
}

std::array<bool, kPriceFieldCount> fields_differing(const PriceBatch& meant, const uint8_t shown[kPriceFieldCount][3],
                                                    const std::array<bool, kPriceFieldCount>& shown_blink) {
    std::array<bool, kPriceFieldCount> differs{};
    for (int f = 0; f < kPriceFieldCount; ++f) {
        uint8_t places[3] = {};
        price_text_places(meant.prices[f].c_str(), places);
        differs[f] = meant.blink[f] != shown_blink[f] || std::memcmp(places, shown[f], 3) != 0;
    }
    return differs;
}

void note_readback_queued(Program& p) {
    PriceTracker& t = tracker(p);
    std::lock_guard lock(t.mutex);
    t.readback_pending = true;
}

void price_slot_given_up(Program& p, int slot) {
    PriceTracker& t = tracker(p);
    BatchOutcome done;
    {
        std::lock_guard lock(t.mutex);
        if ((t.stage == PriceStage::sending || t.stage == PriceStage::queuing) && ((slot >= 3 && slot <= 7) || slot == 46)) {
            done = t.active;
            done.kind = OutcomeKind::given_up;
            done.reason = txt(Txt::PriceReasonSendFailed);
        } else if (t.stage == PriceStage::confirming && (slot == 3 || slot == 4)) {
            done = t.active;
            done.kind = OutcomeKind::not_confirmed;
            done.reason = txt(Txt::PriceReasonNoAnswer);
        } else {
            // An unanswered watch read is dropped; the next period tries again.
            if (slot == 3 || slot == 4) t.watch_pending = false;
            return;
        }
        t.stage = PriceStage::idle;
    }
    deliver(p, done);
}

void abandon_price_batches(Program& p, const std::string& reason) {
    PriceTracker& t = tracker(p);
    BatchOutcome done;
    {
        std::lock_guard lock(t.mutex);
        t.watch_pending = false;
        if (t.stage == PriceStage::idle) return;
        done = t.active;
        done.kind = t.stage != PriceStage::confirming ? OutcomeKind::given_up : OutcomeKind::not_confirmed;
        done.reason = reason;
        t.stage = PriceStage::idle;
    }
    deliver(p, done);
}

void note_script(Program& p, bool started) {
    BatchOutcome o;
    o.source = BatchSource::script;
    o.kind = started ? OutcomeKind::script_started : OutcomeKind::script_stopped;
    deliver(p, o);
}

std::string places_to_text(const uint8_t* places, int count) {
    static const char kCharacters[] = "0123456789- ";
    std::string out;
    for (int i = 0; i < count; ++i) {
        const uint8_t image = static_cast<uint8_t>(places[i] & ~kPoint);
        char c = '?';
        for (const char* k = kCharacters; *k; ++k)
            if (digit_image(*k) == image) c = *k;
        // A point alone in its place reads as the point only.
        if (!(image == 0 && (places[i] & kPoint))) out += c;
        if (places[i] & kPoint) out += '.';
    }
    return out;
}

}  // namespace kc
