// Operator panel: what the operator sees of price batches (the line under the preview,
// the mismatch message), the journal of every batch, and the schedule of planned
// changes with its timer. Owned by the panel; lives on the UI thread, except for the
// outcome hook, which only posts.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "link/price_batch.h"
#include "state/state.h"
#include "storage/price_files.h"

namespace kc {

// ---- local time of schedule entries (UI thread: uses the C library's TZ rules) ----
// The instant a change planned at local y-m-d h:mi:s falls due. A wall time that occurs
// twice (summer time ends) gives the first; one that does not exist (summer time
// starts) gives the first existing minute after it.
int64_t local_instant(int year, int month, int day, int hour, int minute, int second);
// Local calendar date of an instant.
void local_date(int64_t instant, int& year, int& month, int& day);

struct DueChange {
    size_t index = 0;  // into schedule.entries
    int64_t instant = 0;
    int overdue_skipped = 0;  // other due instants in the window left out
};
// The latest instant in (after, now] at which an entry falls due.
std::optional<DueChange> latest_due(const Schedule& schedule, int64_t after, int64_t now);
// The first instant after `now` at which an entry falls due.
std::optional<int64_t> next_due(const Schedule& schedule, int64_t now);

// A planned change's batch, commas already points.
PriceBatch batch_of(const ScheduleEntry& entry);
// Puts a batch's prices and "Mrugaj" flags into the panel's edits (UI thread).
void show_batch_in_panel(Program& p, const PriceBatch& batch);
// One journal entry for an outcome, at local time `when`.
JournalEntry journal_entry(const BatchOutcome& outcome, const LocalTime& when);
// The value a field was sent as, in the digit notation the sign's answer is shown in.
std::string sent_notation(const std::string& price);

class PriceDesk {
public:
    explicit PriceDesk(Program& p) : p_(p) {}
    ~PriceDesk();
    // Panel start: hooks, the schedule file, the timer.
    void start();
    void stop();
    // The link came up: a change that fell due meanwhile is applied (the latest only).
    void link_up();
    void on_timer();
    // The schedule file changed (the schedule window saved it).
    void reload_schedule(bool report);

    const Schedule& schedule() const { return schedule_; }

private:
    void apply_due(bool late_allowed);
    void arm_timer();
    void save_done_until();

    Program& p_;
    int hook_ = 0;
    Schedule schedule_;
    int64_t done_until_ = 0;
};

}  // namespace kc
