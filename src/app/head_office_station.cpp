// Application core: the station's side of head office.
#include "app/head_office_station.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

#include "app/held_change.h"
#include "app/station_events.h"
#include "link/price_batch.h"
#include "resources/command_ids.h"
#include "resources/head_office_ids.h"
#include "resources/texts.h"
#include "storage/safe_file.h"
#include "storage/work_path.h"

namespace kc {
namespace {

constexpr int kTickMs = 1000;

std::string clock_text(const LocalTime& t) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    return text;
}

// Local "DD/MM/YYYY HH:MM:SS" of calendar seconds (UI thread only: std::localtime).
std::string date_time_text(int64_t seconds) {
    std::time_t t = static_cast<std::time_t>(seconds);
    const std::tm* local = std::localtime(&t);
    if (!local) return std::to_string(seconds);
    char text[32];
    std::strftime(text, sizeof text, "%d/%m/%Y %H:%M:%S", local);
    return text;
}

PriceSet to_set(const std::array<std::string, kPriceFieldCount>& prices, const std::array<bool, kPriceFieldCount>& blink) {
    PriceSet s;
    for (size_t i = 0; i < kPriceFieldCount; ++i) {
        s.prices[i] = prices[i];
        s.blink[i] = blink[i];
    }
    return s;
}

// The stable code head office reads for a refusal before queueing.
const char* refusal_code(QueueRefusal r) {
    switch (r) {
        case QueueRefusal::not_connected: return "sign_disconnected";
        case QueueRefusal::test_mode: return "test_mode";
        case QueueRefusal::script_running: return "script_running";
        case QueueRefusal::invalid: return "invalid_price";
        case QueueRefusal::none: break;
    }
    return "";
}

// The sign cannot take a change now, but will: the change waits instead of being lost.
bool waits_for_sign(QueueRefusal r) {
    return r == QueueRefusal::not_connected || r == QueueRefusal::test_mode || r == QueueRefusal::script_running;
}

std::string held_text(const std::string& reason) {
    const Txt why = reason == "test_mode"        ? Txt::HoHeldTestMode
                    : reason == "script_running" ? Txt::HoHeldScript
                                                 : Txt::HoHeldDisconnected;
    return fill(Txt::HoOutcomeHeld, txt(why));
}

std::string outcome_text(const CentralResult& r) {
    switch (r.outcome) {
        case CentralOutcome::Refused: return fill(Txt::HoOutcomeRefused, r.detail);
        case CentralOutcome::Scheduled: return fill(Txt::HoOutcomeScheduled, r.detail);
        case CentralOutcome::Acknowledged: return txt(Txt::HoOutcomeAcknowledged);
        case CentralOutcome::Confirmed: return txt(Txt::HoOutcomeConfirmed);
        case CentralOutcome::Mismatch: {
            std::string fields;
            for (int f : r.fields) fields += (fields.empty() ? "" : ", ") + std::to_string(f);
            return fill(Txt::HoOutcomeMismatch, fields);
        }
        case CentralOutcome::NotConfirmed: return fill(Txt::HoOutcomeNotConfirmed, r.detail);
        case CentralOutcome::GivenUp: return txt(Txt::HoOutcomeGivenUp);
        case CentralOutcome::Duplicate: return txt(Txt::HoOutcomeDuplicate);
        case CentralOutcome::Held: return held_text(r.reason);
        case CentralOutcome::Superseded: return r.detail;  // names the change that took its place
    }
    return "";
}

}  // namespace

struct HeadOfficeStation::Shared : std::enable_shared_from_this<HeadOfficeStation::Shared> {
    Shared(Program& program, std::unique_ptr<HeadOfficeLink> l) : p(program), link(std::move(l)) {}

    struct Sent {
        std::string id;
        bool late = false;
        int64_t at = 0;
        int64_t arrived = 0;  // set for a change that was held
    };
    struct Waiting {
        CentralChange change;
        int64_t arrived = 0;
    };

    Program& p;
    std::unique_ptr<HeadOfficeLink> link;
    int hook = -1;
    int event_hook = -1;

    std::mutex mutex;                       // guards sent, orphans, arriving, stopping
    std::map<uint64_t, Sent> sent;          // batch id → the change it carries
    std::vector<BatchOutcome> orphans;      // outcomes that came before their batch was noted
    std::vector<CentralChange> arriving;    // handed over by the link, not yet seen by the UI thread
    bool stopping = false;
    std::condition_variable wake;
    std::thread ticker;

    // UI thread only.
    std::vector<Waiting> scheduled;
    std::optional<HeldChange> held;
    std::optional<SignAnswers> last_answers;

    // ---- any thread ----------------------------------------------------------------
    // Runs `work` on the UI thread unless the station stopped in between.
    void post(std::function<void(Shared&)> work) {
        std::weak_ptr<Shared> weak = weak_from_this();
        p.ui->post([weak, work = std::move(work)] {
            auto s = weak.lock();
            if (!s) return;
            {
                std::lock_guard lock(s->mutex);
                if (s->stopping) return;
            }
            work(*s);
        });
    }

    // The link took it from the broker but the program is ending: head office sends it again.
    void refuse_at_shutdown(const CentralChange& c) {
        CentralResult r;
        r.id = c.id;
        r.outcome = CentralOutcome::Refused;
        r.reason = "shutting_down";
        r.detail = txt(Txt::HoReasonShuttingDown);
        r.time = std::time(nullptr);
        r.queued = false;
        link->publish_result(r);
    }

    // UI thread. The line keeps saying that a change waits, whatever else came since.
    void show_change(const std::string& id, const CentralResult& r) {
        std::string line = fill(Txt::HoChangeLine, clock_text(p.clock->local_time()), id, outcome_text(r));
        if (held && held->change.id != id) line += fill(Txt::HoChangeStillWaiting, held->change.id);
        set_panel_text(p, kIdHeadOfficeChange, line);
    }

    void answer(const CentralResult& r) {
        link->publish_result(r);
        post([r](Shared& s) { s.show_change(r.id, r); });
    }

    void on_outcome(const BatchOutcome& o) {
        if (o.kind == OutcomeKind::script_started || o.kind == OutcomeKind::script_stopped) return;
        const bool read = o.kind == OutcomeKind::confirmed || o.kind == OutcomeKind::mismatch ||
                          o.kind == OutcomeKind::read_back;
        if (read || o.kind == OutcomeKind::acknowledged) {
            // Whatever put the prices there, head office sees what the sign holds.
            StationState st;
            st.sign = read ? to_set(o.shown, o.shown_blink) : to_set(o.sent.prices, o.sent.blink);
            st.time = o.time;
            st.source = batch_source_word(o.source);
            st.matches = o.kind != OutcomeKind::mismatch;
            link->publish_state(st);
        }
        if (o.source != BatchSource::central) return;
        Sent change;
        {
            std::lock_guard lock(mutex);
            auto it = sent.find(o.batch_id);
            if (it == sent.end()) {
                orphans.push_back(o);
                return;
            }
            change = it->second;
            sent.erase(it);
        }
        const CentralResult r = result_of(change, o);
        answer(r);
        if (change.arrived != 0) {
            StationEvent e;
            e.kind = event_word::kChangeApplied;
            e.time = o.time;
            e.id = r.id;
            e.detail = outcome_text(r);
            emit_station_event(p, e);
        }
    }

    CentralResult result_of(const Sent& change, const BatchOutcome& o) {
        CentralResult r;
        r.id = change.id;
        r.late = change.late;
        r.at = change.at;
        r.arrived = change.arrived;
        r.time = o.time;
        switch (o.kind) {
            case OutcomeKind::acknowledged: r.outcome = CentralOutcome::Acknowledged; break;
            case OutcomeKind::confirmed: r.outcome = CentralOutcome::Confirmed; break;
            case OutcomeKind::mismatch: r.outcome = CentralOutcome::Mismatch; break;
            case OutcomeKind::given_up: r.outcome = CentralOutcome::GivenUp; r.reason = "sign_no_answer"; break;
            default: r.outcome = CentralOutcome::NotConfirmed; r.reason = "not_confirmed"; break;
        }
        if (o.kind == OutcomeKind::confirmed || o.kind == OutcomeKind::mismatch) {
            r.has_sign = true;
            r.sign = to_set(o.shown, o.shown_blink);
        }
        for (int i = 0; i < kPriceFieldCount; ++i)
            if (o.kind == OutcomeKind::mismatch && o.differs[static_cast<size_t>(i)]) r.fields.push_back(i + 1);
        r.detail = o.reason;
        return r;
    }

    // ---- UI thread -----------------------------------------------------------------
    void apply(const CentralChange& c) {
        if (!get_record(p)) return;
        const int64_t now = p.clock->calendar_seconds();
        if (c.has_at && c.at > now) {
            CentralResult r;
            r.id = c.id;
            r.time = now;
            r.at = c.at;
            if (c.at - now > kMaxScheduleAheadSeconds || scheduled.size() >= kMaxScheduledChanges) {
                const bool far = c.at - now > kMaxScheduleAheadSeconds;
                r.outcome = CentralOutcome::Refused;
                r.reason = far ? "too_far_ahead" : "queue_full";
                r.detail = txt(far ? Txt::HoReasonTooFarAhead : Txt::HoReasonQueueFull);
                r.queued = false;
            } else {
                r.outcome = CentralOutcome::Scheduled;
                r.detail = date_time_text(c.at);
                scheduled.push_back(Waiting{c, now});
                std::stable_sort(scheduled.begin(), scheduled.end(),
                                 [](const Waiting& a, const Waiting& b) { return a.change.at < b.change.at; });
            }
            answer(r);
            return;
        }
        queue(c, c.has_at && c.at < now, now, false);
    }

    // `from_held`: the change waited for the sign; it is not held again when the sign
    // still cannot take it, and its result tells when it arrived.
    void queue(const CentralChange& c, bool late, int64_t arrived, bool from_held) {
        PriceBatch batch;
        for (size_t i = 0; i < kPriceFieldCount; ++i) {
            batch.prices[i] = c.set.prices[i];
            batch.blink[i] = c.set.blink[i];
        }
        QueueResult q = queue_price_batch(p, batch, BatchSource::central);
        if (!q && waits_for_sign(q.refusal)) {
            if (!from_held) hold(HeldChange{c, arrived, refusal_code(q.refusal)});
            return;
        }
        // Whatever became of it, a change that waited waits no longer.
        if (from_held) drop_held();
        if (!q) {
            CentralResult r;
            r.id = c.id;
            r.outcome = q.refusal == QueueRefusal::invalid ? CentralOutcome::Refused : CentralOutcome::NotConfirmed;
            r.reason = refusal_code(q.refusal);
            r.detail = describe_refusal(q);
            r.time = p.clock->calendar_seconds();
            r.late = late;
            r.at = c.at;
            r.arrived = from_held ? arrived : 0;
            r.queued = false;
            answer(r);
            return;
        }
        // One that waited from before must not follow a newer one to the sign.
        if (held) {
            supersede(c.id);
            drop_held();
        }
        // The panel shows the prices now in force, so a later "Wyślij" sends them again.
        for (int n = 1; n <= kPriceFieldCount; ++n) {
            set_panel_text(p, price_edit_id(n), normalise_price_text(c.set.prices[static_cast<size_t>(n - 1)]));
            p.ui->controls().set_checked(kPanelWindow, kIdBlink1 + n - 1, c.set.blink[static_cast<size_t>(n - 1)]);
        }
        std::vector<BatchOutcome> early;
        {
            std::lock_guard lock(mutex);
            sent[q.batch_id] = Sent{c.id, late, c.has_at ? c.at : 0, from_held ? arrived : 0};
            for (auto it = orphans.begin(); it != orphans.end();)
                if (it->batch_id == q.batch_id) {
                    early.push_back(*it);
                    it = orphans.erase(it);
                } else {
                    ++it;
                }
        }
        for (const BatchOutcome& o : early) on_outcome(o);
    }

    // ---- the change that waits for the sign (UI thread) ------------------------
    std::string held_path() const { return work_file_path(p, kHeldChangeName); }

    // Empty, or why the file could not be written (for the result and the panel).
    std::string save_held() {
        const std::error_code ec = write_file_replacing(held_path(), held_change_text(*held), true);
        if (!ec) return "";
        const std::string why = fill(Txt::HoIdsFileWriteFailed, shown_path(held_path()), file_error_reason(ec));
        set_panel_text(p, kIdHeadOfficeLink, why);
        return why;
    }

    void drop_held() {
        held.reset();
        std::remove(held_path().c_str());
    }

    // The newest change waits; one that waited before it never goes.
    void hold(const HeldChange& h) {
        if (held && held->change.id != h.change.id) supersede(h.change.id);
        held = h;
        const std::string problem = save_held();
        CentralResult r;
        r.id = h.change.id;
        r.outcome = CentralOutcome::Held;
        r.reason = h.reason;
        r.detail = held_text(h.reason) + (problem.empty() ? "" : "; " + problem);
        r.time = p.clock->calendar_seconds();
        r.at = h.change.has_at ? h.change.at : 0;
        r.arrived = h.arrived;
        answer(r);
        StationEvent e;
        e.kind = event_word::kChangeHeld;
        e.time = r.time;
        e.id = r.id;
        e.detail = r.detail;
        emit_station_event(p, e);
    }

    // Answers the waiting change: it never goes. Its file stays for the caller to
    // replace or remove, so there is no moment without one.
    void supersede(const std::string& newer) {
        CentralResult r;
        r.id = held->change.id;
        r.outcome = CentralOutcome::Superseded;
        r.detail = fill(Txt::HoOutcomeSuperseded, newer);
        r.time = p.clock->calendar_seconds();
        r.arrived = held->arrived;
        held.reset();
        if (r.id != newer) answer(r);
    }

    // At start: the change that waited when the program ended waits again. It was
    // answered "held" then; head office hears of it next when it goes to the sign.
    void load_held() {
        std::ifstream in(held_path(), std::ios::binary);
        if (!in) return;
        std::ostringstream text;
        text << in.rdbuf();
        HeldChange h;
        if (!parse_held_change(text.str(), h)) {
            set_panel_text(p, kIdHeadOfficeChange, fill(Txt::HoHeldFileBad, shown_path(held_path())));
            return;
        }
        held = h;
        set_panel_text(p, kIdHeadOfficeChange,
                       fill(Txt::HoChangeLine, clock_text(p.clock->local_time()), h.change.id, held_text(h.reason)));
    }

    void tick() {
        MainRecord* r = get_record(p);
        if (!r) return;
        SignAnswers a = SignAnswers::Disconnected;
        if (r->connected)
            a = r->timeout_count == 0 && panel_text(p, kIdStatus) != txt(Txt::StatusTransmissionError)
                    ? SignAnswers::Answers
                    : SignAnswers::NoAnswer;
        else if (r->test_mode)
            a = SignAnswers::TestMode;
        const int64_t now = p.clock->calendar_seconds();
        // Told when it changes, not every tick; a sign that comes up is the link's news.
        if (last_answers && *last_answers != a &&
            (a == SignAnswers::NoAnswer || (a == SignAnswers::Answers && *last_answers == SignAnswers::NoAnswer))) {
            StationEvent e;
            e.kind = a == SignAnswers::NoAnswer ? event_word::kSignNoAnswer : event_word::kSignAnswers;
            e.time = now;
            e.detail = txt(a == SignAnswers::NoAnswer ? Txt::HoEventSignNoAnswer : Txt::HoEventSignAnswers);
            emit_station_event(p, e);
        }
        last_answers = a;
        link->publish_sign(StationStatus{a, r->test_mode.load(), last_sign_watch(p)});
        // The waiting change goes as soon as the sign can take it: after the link came
        // up, the script ended or test mode was left.
        if (held && r->connected && !r->script_running && !r->test_mode) {
            const HeldChange h = *held;
            queue(h.change, true, h.arrived, true);
        }
        // A change whose time came goes now, late when its time has passed by more
        // than a tick; when the sign cannot take it, it waits as a held change.
        if (!scheduled.empty() && scheduled.front().change.at <= now) {
            const Waiting w = scheduled.front();
            scheduled.erase(scheduled.begin());
            queue(w.change, now - w.change.at > 2, w.arrived, false);
        }
    }
};

HeadOfficeStation::HeadOfficeStation(Program& p, std::unique_ptr<HeadOfficeLink> link)
    : shared_(std::make_shared<Shared>(p, std::move(link))) {}

HeadOfficeStation::~HeadOfficeStation() { stop(); }

void HeadOfficeStation::start() {
    Shared& s = *shared_;
    if (s.ticker.joinable()) return;
    s.p.ui->controls().set_visible(kPanelWindow, kIdHeadOfficeGroup, true);
    s.p.ui->controls().set_visible(kPanelWindow, kIdHeadOfficeLink, true);
    s.p.ui->controls().set_visible(kPanelWindow, kIdHeadOfficeChange, true);
    std::weak_ptr<Shared> weak = shared_;
    s.hook = add_batch_outcome_hook(s.p, [weak](Program&, const BatchOutcome& o) {
        if (auto shared = weak.lock()) shared->on_outcome(o);
    });
    // Whatever the station notices goes to head office; the link keeps it while the
    // broker is out of reach.
    s.event_hook = add_station_event_hook(s.p, [weak](const StationEvent& e) {
        if (auto shared = weak.lock()) shared->link->publish_event(e);
    });
    s.load_held();
    HeadOfficeLink::Events events;
    events.on_change = [weak](const CentralChange& c) {
        auto shared = weak.lock();
        if (!shared) return;
        {
            std::lock_guard lock(shared->mutex);
            if (!shared->stopping) {
                shared->arriving.push_back(c);
                shared->post([c](Shared& s) {
                    {
                        std::lock_guard lock(s.mutex);
                        auto it = std::find_if(s.arriving.begin(), s.arriving.end(),
                                               [&](const CentralChange& a) { return a.id == c.id; });
                        if (it != s.arriving.end()) s.arriving.erase(it);
                    }
                    s.apply(c);
                });
                return;
            }
        }
        shared->refuse_at_shutdown(c);
    };
    // The panel is written on the UI thread only.
    events.on_status = [weak](const LinkStatus& status) {
        if (auto shared = weak.lock())
            shared->post([why = status.why](Shared& s) { set_panel_text(s.p, kIdHeadOfficeLink, why); });
    };
    events.on_notice = [weak](const std::string& text) {
        if (auto shared = weak.lock())
            shared->post([text](Shared& s) { set_panel_text(s.p, kIdHeadOfficeLink, text); });
    };
    events.on_refused = [weak](const CentralResult& r) {
        if (auto shared = weak.lock()) shared->post([r](Shared& s) { s.show_change(r.id, r); });
    };
    {
        std::lock_guard lock(s.mutex);
        s.stopping = false;
    }
    s.link->start(std::move(events));
    s.ticker = std::thread([weak] {
        for (;;) {
            auto shared = weak.lock();
            if (!shared) return;
            std::unique_lock lock(shared->mutex);
            if (shared->wake.wait_for(lock, std::chrono::milliseconds(kTickMs), [&] { return shared->stopping; }))
                return;
            lock.unlock();
            shared->post([](Shared& s) { s.tick(); });
        }
    });
}

void HeadOfficeStation::stop() {
    if (!shared_) return;
    Shared& s = *shared_;
    {
        std::lock_guard lock(s.mutex);
        s.stopping = true;
        s.wake.notify_all();
    }
    if (s.ticker.joinable()) s.ticker.join();
    if (s.hook >= 0) {
        remove_batch_outcome_hook(s.p, s.hook);
        s.hook = -1;
    }
    if (s.event_hook >= 0) {
        remove_station_event_hook(s.p, s.event_hook);
        s.event_hook = -1;
    }
    // What the broker still holds stays there; what the link already took is answered.
    s.link->stop_receiving();
    std::vector<CentralChange> left;
    {
        std::lock_guard lock(s.mutex);
        left.swap(s.arriving);
    }
    for (const CentralChange& c : left) s.refuse_at_shutdown(c);
    s.link->stop();
    s.scheduled.clear();
    // The waiting change stays in its file for the next start.
    s.held.reset();
    s.last_answers.reset();
}

}  // namespace kc
