// Application core: the sign watch, the confirmed prices it compares with, and the
// restores it makes.
#include "app/sign_watch.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <vector>

#include "app/station_events.h"
#include "panel/price_desk.h"
#include "resources/command_ids.h"
#include "resources/texts.h"
#include "storage/extra_settings_file.h"
#include "storage/file_report.h"
#include "storage/price_files.h"
#include "storage/safe_file.h"
#include "storage/work_path.h"
#include "text/cp1250.h"
#include "text/format_text.h"

namespace kc {
namespace {

// While a read is owed and the link is busy, it is tried again this often.
constexpr int kRetryMs = 1000;
// The longest tick: a watch switched on while connected starts within a minute.
constexpr int kMaxTickMs = 60000;

std::atomic<int> g_test_period_ms{0};

int period_ms(const Program& p) {
    const int minutes = sign_watch_period_minutes(p.extra);
    if (minutes <= 0) return 0;
    const int test = g_test_period_ms.load();
    return test > 0 ? test : minutes * 60000;
}

int64_t now_seconds(Program& p) { return p.clock ? p.clock->calendar_seconds() : 0; }

PriceSet price_set(const PriceBatch& b) { return PriceSet{b.prices, b.blink}; }

std::vector<int> field_numbers(const std::array<bool, kPriceFieldCount>& differs) {
    std::vector<int> out;
    for (int f = 0; f < kPriceFieldCount; ++f)
        if (differs[f]) out.push_back(f + 1);
    return out;
}

std::string joined(const std::vector<int>& fields) {
    std::string s;
    for (int f : fields) s += (s.empty() ? "" : ", ") + std::to_string(f);
    return s;
}

}  // namespace

std::string confirmed_prices_text(const PriceBatch& prices) {
    std::string s;
    for (bool b : prices.blink) s += b ? 'M' : '-';
    for (const auto& price : prices.prices) s += ";" + price;
    return s;
}

std::optional<PriceBatch> parse_confirmed_prices(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(';', start);
        parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    if (parts.size() != kPriceFieldCount + 1 || parts[0].size() != kPriceFieldCount) return std::nullopt;
    PriceBatch b;
    for (int f = 0; f < kPriceFieldCount; ++f) {
        const char c = parts[0][f];
        if (c != 'M' && c != '-') return std::nullopt;
        b.blink[f] = c == 'M';
        b.prices[f] = parts[f + 1];
    }
    if (!validate_price_batch(b)) return std::nullopt;
    return b;
}

std::optional<PriceBatch> last_confirmed_prices(const Program& p) {
    return parse_confirmed_prices(p.extra.get(extra_key::kConfirmedPrices));
}

bool RestoreLimit::allows(int64_t now) {
    // A restore "later" than now means the clock was set back: it no longer counts, so
    // a clock change never stops restores for longer than the hour.
    std::erase_if(times_, [now](int64_t t) { return t <= now - kWindowSeconds || t > now; });
    return static_cast<int>(times_.size()) < kMax;
}

void set_sign_watch_test_period(int ms) { g_test_period_ms = std::max(0, ms); }

// What the hooks and the posts reach; lives as long as the watch, or a post in flight.
struct SignWatch::Shared {
    explicit Shared(Program& program) : p(program) {}

    Program& p;
    std::optional<PriceBatch> reported;  // what the sign showed when last reported different
    RestoreLimit limit;
    bool limit_told = false;

    void save() {
        if (std::error_code ec = save_extra_settings(p)) {
            const std::string path = extra_settings_path(p);
            tell_write_failure(p, path, ec,
                               format_text(txt(Txt::ConnSaveFailed), utf8_to_cp1250(path), file_error_reason(ec)));
        }
    }

    // A confirmed batch sets the prices the watch keeps; one that reached the sign without
    // a confirmation withdraws them, since the program no longer knows what is meant.
    void on_batch(const BatchOutcome& o) {
        if (o.kind == OutcomeKind::confirmed) {
            p.extra.set(extra_key::kConfirmedPrices, confirmed_prices_text(PriceBatch{o.shown, o.shown_blink}));
            p.extra.set(extra_key::kConfirmedTime, std::to_string(o.time));
            reported.reset();
        } else {
            if (p.extra.get(extra_key::kConfirmedPrices).empty()) return;
            p.extra.erase(extra_key::kConfirmedPrices);
            p.extra.erase(extra_key::kConfirmedTime);
        }
        save();
    }

    void report(const PriceBatch& confirmed, const PriceBatch& shown, const std::array<bool, kPriceFieldCount>& differs,
                int64_t now) {
        const LocalTime when = p.clock ? p.clock->local_time() : LocalTime{};
        char hhmm[8];
        std::snprintf(hhmm, sizeof hhmm, "%02d:%02d", when.hour % 100, when.minute % 100);
        set_panel_text(p, kIdPriceOutcome, fill(Txt::WatchPanelDiffers, std::string(hhmm)));

        BatchOutcome o;
        o.source = BatchSource::watch;
        o.kind = OutcomeKind::mismatch;
        o.sent = confirmed;
        o.shown = shown.prices;
        o.shown_blink = shown.blink;
        o.differs = differs;
        o.time = now;
        if (auto ec = append_journal(p, journal_entry(o, when))) {
            const std::string path = work_file_path(p, kJournalName);
            tell_write_failure(p, path, ec,
                               format_text(txt(Txt::MsgJournalWriteFailed), shown_path(path), file_error_reason(ec)));
        }

        StationEvent e;
        e.kind = event_word::kSignDiffers;
        e.time = now;
        e.fields = field_numbers(differs);
        e.detail = fill(Txt::WatchEventDiffers, joined(e.fields));
        e.has_sign = true;
        e.sign = price_set(shown);
        emit_station_event(p, e);
    }

    void on_reading(const SignReading& reading) {
        const int64_t now = now_seconds(p);
        note_sign_watch(p, now);
        const std::optional<PriceBatch> confirmed = last_confirmed_prices(p);
        if (!confirmed) return;
        const auto differs = fields_differing(*confirmed, reading.places, reading.blink);
        if (std::none_of(differs.begin(), differs.end(), [](bool d) { return d; })) {
            reported.reset();
            return;
        }
        const PriceBatch shown{reading.shown(), reading.blink};
        // The same difference again is not news; a restore that fails is retried below.
        if (!reported || *reported != shown) {
            reported = shown;
            report(*confirmed, shown, differs, now);
        }
        if (!p.extra.get_bool(extra_key::kRestorePrices, false)) return;
        if (limit.allows(now)) {
            if (queue_price_batch(p, *confirmed, BatchSource::restore)) {
                limit.record(now);
                limit_told = false;
            }
        } else if (!limit_told) {
            limit_told = true;
            StationEvent e;
            e.kind = event_word::kRestoreLimit;
            e.time = now;
            e.detail = txt(Txt::WatchEventRestoreLimit);
            e.fields = field_numbers(differs);
            e.has_sign = true;
            e.sign = price_set(shown);
            emit_station_event(p, e);
        }
    }
};

SignWatch::SignWatch(Program& p) : p_(p), shared_(std::make_shared<Shared>(p)) {}

SignWatch::~SignWatch() { stop(); }

void SignWatch::start() {
    if (hook_ != 0 || !p_.ui) return;
    UiHost* ui = p_.ui;
    std::weak_ptr<Shared> weak = shared_;
    // On the port reader thread: events may go from here, everything else is posted.
    hook_ = add_batch_outcome_hook(p_, [ui, weak](Program& p, const BatchOutcome& o) {
        if (o.source == BatchSource::restore &&
            (o.kind == OutcomeKind::confirmed || o.kind == OutcomeKind::acknowledged)) {
            StationEvent e;
            e.kind = event_word::kPricesRestored;
            e.time = o.time;
            e.detail = txt(Txt::WatchEventRestored);
            const bool read = o.kind == OutcomeKind::confirmed;
            e.has_sign = true;
            e.sign = read ? PriceSet{o.shown, o.shown_blink} : PriceSet{o.sent.prices, o.sent.blink};
            emit_station_event(p, e);
        }
        const bool unconfirmed = o.kind == OutcomeKind::acknowledged || o.kind == OutcomeKind::mismatch ||
                                 o.kind == OutcomeKind::not_confirmed || o.kind == OutcomeKind::given_up;
        // A restore that fails keeps the prices it tried to put back.
        const bool withdraws = unconfirmed && o.source != BatchSource::restore;
        if (o.kind != OutcomeKind::confirmed && !withdraws) return;
        ui->post([weak, o] {
            if (auto s = weak.lock()) s->on_batch(o);
        });
    });
    set_sign_reading_hook(p_, [ui, weak](Program&, const SignReading& reading) {
        ui->post([weak, reading] {
            if (auto s = weak.lock()) s->on_reading(reading);
        });
    });
}

void SignWatch::stop() {
    if (hook_ == 0) return;
    remove_batch_outcome_hook(p_, hook_);
    hook_ = 0;
    set_sign_reading_hook(p_, {});
    connected_ = false;
    due_ = false;
    arm();
}

void SignWatch::link_up() {
    connected_ = true;
    due_ = true;
    elapsed_ms_ = 0;
    try_read();
    arm();
}

void SignWatch::link_down() {
    connected_ = false;
    due_ = false;
    arm();
}

void SignWatch::on_timer() {
    if (connected_ && !due_) {
        elapsed_ms_ += tick_ms_;
        const int period = period_ms(p_);
        if (period > 0 && elapsed_ms_ >= period) due_ = true;
    }
    if (connected_ && due_) try_read();
    arm();
}

void SignWatch::try_read() {
    // Switched off, or nothing to compare with: nothing is read.
    if (period_ms(p_) == 0 || !last_confirmed_prices(p_)) {
        due_ = false;
        elapsed_ms_ = 0;
        return;
    }
    if (queue_sign_reading(p_)) {
        due_ = false;
        elapsed_ms_ = 0;
    }
}

void SignWatch::arm() {
    int want = 0;
    if (connected_ && hook_ != 0) {
        const int period = period_ms(p_);
        want = due_ ? kRetryMs : period > 0 ? std::min(period, kMaxTickMs) : kMaxTickMs;
    }
    if (want == tick_ms_ || !p_.ui) return;
    if (want > 0)
        p_.ui->set_timer(kMainWindow, kTimerSignWatch, want);
    else
        p_.ui->kill_timer(kMainWindow, kTimerSignWatch);
    tick_ms_ = want;
}

}  // namespace kc
