// Operator panel: the outcome of each price batch on the panel and in the journal, and
// the schedule of planned price changes.
#include "panel/price_desk.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "preview/price_preview.h"
#include "resources/command_ids.h"
#include "resources/texts.h"
#include "storage/extra_settings_file.h"
#include "storage/file_report.h"
#include "text/format_text.h"
#include "storage/safe_file.h"

namespace kc {
namespace {

constexpr const char* kDoneUntilKey = extra_key::kPriceScheduleDone;
constexpr int64_t kMaxTimerSeconds = 60;
constexpr int kGapSearchMinutes = 180;  // longer than any summer-time jump

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
int64_t days_from_civil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civil_from_days(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

// The instant at which local time reads exactly y-m-d h:mi:s with the given summer-time
// flag, when it ever does.
std::optional<int64_t> exact_local(int y, int mo, int d, int h, int mi, int s, int isdst) {
    std::tm t{};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = s;
    t.tm_isdst = isdst;
    const std::time_t e = std::mktime(&t);
    if (e == static_cast<std::time_t>(-1)) return std::nullopt;
    // mktime normalises the fields to the local time it chose: a wall time that the
    // flag does not fit comes back moved.
    if (t.tm_year != y - 1900 || t.tm_mon != mo - 1 || t.tm_mday != d || t.tm_hour != h || t.tm_min != mi ||
        t.tm_sec != s)
        return std::nullopt;
    return static_cast<int64_t>(e);
}

std::optional<int64_t> existing_local(int y, int mo, int d, int h, int mi, int s) {
    auto a = exact_local(y, mo, d, h, mi, s, 0);
    auto b = exact_local(y, mo, d, h, mi, s, 1);
    if (a && b) return std::min(*a, *b);
    return a ? a : b;
}

std::string local_text(int64_t instant) {
    std::time_t t = static_cast<std::time_t>(instant);
    std::tm* lt = std::localtime(&t);
    if (!lt) return "";
    char b[80];
    std::snprintf(b, sizeof b, "%04d-%02d-%02d %02d:%02d:%02d", lt->tm_year + 1900, lt->tm_mon + 1, lt->tm_mday,
                  lt->tm_hour, lt->tm_min, lt->tm_sec);
    return b;
}

std::string hms(const LocalTime& t) {
    char b[16];
    std::snprintf(b, sizeof b, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    return b;
}

std::string blink_text(const std::array<bool, kPriceFieldCount>& blink) {
    std::string s;
    for (bool b : blink) s += b ? 'M' : '-';
    return s;
}

// Instants at which `e` falls due on the local days around `now`.
template <typename F>
void for_each_instant(const ScheduleEntry& e, int64_t from, int64_t to, F f) {
    if (!e.daily) {
        f(local_instant(e.year, e.month, e.day, e.hour, e.minute, e.second));
        return;
    }
    int y, m, d;
    local_date(from, y, m, d);
    const int64_t first = days_from_civil(y, m, d) - 1;
    local_date(to, y, m, d);
    const int64_t last = days_from_civil(y, m, d) + 1;
    for (int64_t day = std::max(first, last - 3); day <= last; ++day) {
        civil_from_days(day, y, m, d);
        f(local_instant(y, m, d, e.hour, e.minute, e.second));
    }
}

// The panel line, the journal entry and, for a mismatch, the message naming each field.
void show_outcome(Program& p, const BatchOutcome& o, const LocalTime& when) {
    std::string line;
    std::string box;
    bool short_text = false;  // a differing field whose text reaches fewer than three places
    switch (o.kind) {
        case OutcomeKind::confirmed: line = fill(Txt::PricePanelConfirmed, hms(when)); break;
        case OutcomeKind::mismatch: {
            std::string fields;
            for (int f = 0; f < kPriceFieldCount; ++f) {
                if (!o.differs[f]) continue;
                std::string caption;
                {
                    LockGuard guard(p.state.settings_lock);
                    caption = p.state.price_labels[f];
                }
                fields += (fields.empty() ? "" : ", ") + std::to_string(f + 1) + " (" + caption + ")";
                auto blink_word = [](bool b) { return txt(b ? Txt::PriceBlinking : Txt::PriceSteady); };
                auto value = [](const std::string& v) { return v.empty() ? txt(Txt::PriceBlank) : v; };
                const std::string sent = value(sent_notation(o.sent.prices[f])) + " (" + blink_word(o.sent.blink[f]) + ")";
                const std::string shown = value(o.shown[f]) + " (" + blink_word(o.shown_blink[f]) + ")";
                char b[256];
                std::snprintf(b, sizeof b, txt(Txt::PriceMismatchLine).c_str(), f + 1, caption.c_str(), sent.c_str(),
                              shown.c_str());
                box += (box.empty() ? "" : "\n") + std::string(b);
                uint8_t places[3] = {};
                if (price_text_places(o.sent.prices[f].c_str(), places) < 3) short_text = true;
            }
            // Only the panel sends a text as typed; other sources set the whole field.
            if (short_text && o.source == BatchSource::panel) box += "\n" + txt(Txt::PriceMismatchAdvice);
            line = fill(Txt::PricePanelMismatch, fields);
            break;
        }
        case OutcomeKind::not_confirmed: line = txt(Txt::PricePanelNotConfirmed); break;
        case OutcomeKind::given_up: line = txt(Txt::PricePanelGivenUp); break;
        case OutcomeKind::acknowledged: line = fill(Txt::PricePanelAcknowledged, hms(when)); break;
        default: break;
    }
    if (!line.empty()) set_panel_text(p, kIdPriceOutcome, line);
    if (auto ec = append_journal(p, journal_entry(o, when))) {
        // Told with the logs that fail for the same cause, not again at every "Wyślij".
        const std::string path = work_file_path(p, kJournalName);
        tell_write_failure(p, path, ec,
                           format_text(txt(Txt::MsgJournalWriteFailed), shown_path(path), file_error_reason(ec)));
    }
    if (!box.empty())
        p.ui->message_box(kPanelWindow, box, txt(Txt::PriceMismatchCaption), MessageButtons::Ok, MessageIcon::Warning);
}

// Any thread: everything happens on the UI thread, posted.
void post_outcome(Program& p, const BatchOutcome& outcome) {
    if (!p.ui) return;
    const LocalTime when = p.clock ? p.clock->local_time() : LocalTime{};
    p.ui->post([&p, outcome, when] { show_outcome(p, outcome, when); });
}

}  // namespace

int64_t local_instant(int year, int month, int day, int hour, int minute, int second) {
    if (auto e = existing_local(year, month, day, hour, minute, second)) return *e;
    // Inside the spring gap: the first minute after it that the clock shows.
    const int64_t wall = days_from_civil(year, month, day) * 1440 + hour * 60 + minute;
    for (int k = 1; k <= kGapSearchMinutes; ++k) {
        const int64_t w = wall + k;
        int y, m, d;
        civil_from_days(w / 1440, y, m, d);
        const int mm = static_cast<int>(w % 1440);
        if (auto e = existing_local(y, m, d, mm / 60, mm % 60, 0)) return *e;
    }
    return days_from_civil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
}

void local_date(int64_t instant, int& year, int& month, int& day) {
    std::time_t t = static_cast<std::time_t>(instant);
    std::tm* lt = std::localtime(&t);
    if (!lt) {
        civil_from_days(instant / 86400, year, month, day);
        return;
    }
    year = lt->tm_year + 1900;
    month = lt->tm_mon + 1;
    day = lt->tm_mday;
}

std::optional<DueChange> latest_due(const Schedule& schedule, int64_t after, int64_t now) {
    std::optional<DueChange> best;
    int count = 0;
    for (size_t i = 0; i < schedule.entries.size(); ++i) {
        for_each_instant(schedule.entries[i], std::max(after, now - 2 * 86400), now, [&](int64_t instant) {
            if (instant <= after || instant > now) return;
            ++count;
            if (!best || instant >= best->instant) best = DueChange{i, instant, 0};
        });
    }
    if (best) best->overdue_skipped = count - 1;
    return best;
}

std::optional<int64_t> next_due(const Schedule& schedule, int64_t now) {
    std::optional<int64_t> best;
    for (const auto& e : schedule.entries)
        for_each_instant(e, now, now + 2 * 86400, [&](int64_t instant) {
            if (instant > now && (!best || instant < *best)) best = instant;
        });
    return best;
}

void show_batch_in_panel(Program& p, const PriceBatch& batch) {
    if (!p.ui) return;
    for (int n = 1; n <= kPriceFieldCount; ++n) {
        set_panel_text(p, price_edit_id(n), batch.prices[n - 1]);
        p.ui->controls().set_checked(kPanelWindow, kIdBlink1 + n - 1, batch.blink[n - 1]);
    }
}

PriceBatch batch_of(const ScheduleEntry& entry) {
    PriceBatch b;
    for (int f = 0; f < kPriceFieldCount; ++f) b.prices[f] = normalise_price_text(entry.prices[f]);
    b.blink = entry.blink;
    return b;
}

std::string sent_notation(const std::string& price) {
    uint8_t places[3] = {};
    const int filled = price_text_places(price.c_str(), places);
    std::string s = places_to_text(places, filled);
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

JournalEntry journal_entry(const BatchOutcome& o, const LocalTime& when) {
    JournalEntry e;
    e.when = when;
    e.source = batch_source_word(o.source);
    e.outcome = outcome_word(o.kind);
    const bool script_event = o.kind == OutcomeKind::script_started || o.kind == OutcomeKind::script_stopped;
    if (!script_event) {
        e.prices = o.sent.prices;
        e.blink = blink_text(o.sent.blink);
    }
    if (o.kind == OutcomeKind::confirmed || o.kind == OutcomeKind::mismatch || o.kind == OutcomeKind::read_back) {
        e.shown = o.shown;
        e.shown_blink = blink_text(o.shown_blink);
    }
    if (o.kind == OutcomeKind::mismatch) {
        std::string fields;
        for (int f = 0; f < kPriceFieldCount; ++f)
            if (o.differs[f]) fields += (fields.empty() ? "" : " ") + std::to_string(f + 1);
        e.note = fields;
    } else {
        e.note = o.reason;
    }
    return e;
}

PriceDesk::~PriceDesk() { stop(); }

void PriceDesk::start() {
    // The hook holds nothing of the desk: a reader thread may still call it while the
    // panel goes away.
    if (hook_ == 0) hook_ = add_batch_outcome_hook(p_, post_outcome);
    const std::string done = p_.extra.get(kDoneUntilKey);
    done_until_ = 0;
    if (!done.empty()) {
        try {
            done_until_ = std::stoll(done);
        } catch (...) {
            done_until_ = 0;
        }
    }
    // A first start owes nothing planned before it.
    if (done_until_ <= 0 && p_.clock) {
        done_until_ = p_.clock->calendar_seconds();
        save_done_until();
    }
    reload_schedule(true);
}

void PriceDesk::stop() {
    if (hook_ != 0) {
        remove_batch_outcome_hook(p_, hook_);
        hook_ = 0;
        if (p_.ui) p_.ui->kill_timer(kPanelWindow, kTimerPriceSchedule);
    }
}

void PriceDesk::reload_schedule(bool report) {
    const std::string path = work_file_path(p_, kScheduleName);
    FileRead read = load_schedule(path, schedule_);
    if (report && p_.ui) {
        const std::string problem = file_read_problem(path, read);
        if (!problem.empty())
            p_.ui->message_box(kPanelWindow, problem, txt(Txt::CaptionProgram), MessageButtons::Ok, MessageIcon::Warning);
    }
    arm_timer();
}

void PriceDesk::save_done_until() {
    p_.extra.set(kDoneUntilKey, std::to_string(done_until_));
    if (auto ec = save_extra_settings(p_); ec && p_.ui)
        p_.ui->message_box(kPanelWindow, fill(Txt::MsgScheduleWriteFailed, file_error_reason(ec)),
                           txt(Txt::CaptionError), MessageButtons::Ok, MessageIcon::Exclamation);
}

void PriceDesk::arm_timer() {
    if (!p_.ui || !p_.clock) return;
    if (schedule_.entries.empty()) {
        p_.ui->kill_timer(kPanelWindow, kTimerPriceSchedule);
        return;
    }
    const int64_t now = p_.clock->calendar_seconds();
    int64_t wait = kMaxTimerSeconds;
    if (auto next = next_due(schedule_, now)) wait = std::clamp<int64_t>(*next - now, 0, kMaxTimerSeconds);
    p_.ui->set_timer(kPanelWindow, kTimerPriceSchedule, static_cast<int>(wait * 1000));
}

void PriceDesk::on_timer() {
    apply_due(false);
    arm_timer();
}

void PriceDesk::link_up() {
    apply_due(true);
    arm_timer();
}

void PriceDesk::apply_due(bool at_link_up) {
    if (!p_.clock) return;
    const int64_t now = p_.clock->calendar_seconds();
    auto due = latest_due(schedule_, done_until_, now);
    if (!due) return;
    const PriceBatch batch = batch_of(schedule_.entries[due->index]);
    const QueueResult queued = queue_price_batch(p_, batch, BatchSource::schedule);
    // Not connected, in test mode or while a script runs: kept for the link's return.
    if (!queued && queued.refusal != QueueRefusal::invalid) return;
    done_until_ = now;
    save_done_until();
    if (!queued) {
        p_.ui->message_box(kPanelWindow, describe_refusal(queued), txt(Txt::CaptionError), MessageButtons::Ok,
                           MessageIcon::Exclamation);
        return;
    }
    // The panel shows the prices now in force, so a later "Wyślij" sends them again.
    show_batch_in_panel(p_, batch);
    // Late: fell due while the program was closed, the link down or in test mode.
    if (at_link_up || now - due->instant > kMaxTimerSeconds || due->overdue_skipped > 0) {
        std::string text = fill(Txt::MsgScheduleLateApplied, local_text(due->instant));
        if (due->overdue_skipped > 0) {
            char b[160];
            std::snprintf(b, sizeof b, txt(Txt::MsgScheduleLateSkipped).c_str(), due->overdue_skipped);
            text += "\n";
            text += b;
        }
        p_.ui->message_box(kPanelWindow, text, txt(Txt::CaptionProgram), MessageButtons::Ok, MessageIcon::Information);
    }
}

}  // namespace kc
