// Persistence: the price journal "KavorCeny.csv" (append-only, rotated like the logs)
// and the price schedule "KavorHarmonogram.txt" (rewritten whole). Both are
// semicolon-separated Windows-1250 text, one record a line; docs/prices.md gives the
// formats byte for byte.
#pragma once
#include <array>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/clock.h"
#include "state/state.h"
#include "storage/work_path.h"

namespace kc {

inline constexpr const char* kJournalName = "KavorCeny.csv";
inline constexpr const char* kJournalRotatedName = "KavorCeny1.csv";
inline constexpr const char* kScheduleName = "KavorHarmonogram.txt";
// Appended to a file that cannot be read before it is moved out of the way.
inline constexpr const char* kSetAsideSuffix = ".nieczytelny";


// ---- journal ------------------------------------------------------------------------

struct JournalEntry {
    LocalTime when;
    std::string source;                   // "panel", "harmonogram", "odczyt", "skrypt", "centrala"
    std::array<std::string, 5> prices;    // as sent (empty for a script's start and stop)
    std::string blink;                    // five of 'M' (blinks) or '-'; empty with no prices
    std::string outcome;                  // "przyjęte", "potwierdzone", ...
    std::array<std::string, 5> shown;     // what the sign showed, when read
    std::string shown_blink;              // as `blink`, or empty
    std::string note;                     // why, or which fields differ

    bool operator==(const JournalEntry& o) const {
        const LocalTime& a = when;
        const LocalTime& b = o.when;
        return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
               a.minute == b.minute && a.second == b.second && source == o.source && prices == o.prices &&
               blink == o.blink && outcome == o.outcome && shown == o.shown && shown_blink == o.shown_blink &&
               note == o.note;
    }
};

// The first line of every journal file.
const std::string& journal_header();
// One entry as a line, CR LF included.
std::string journal_line(const JournalEntry& entry);
bool parse_journal_line(std::string_view line, JournalEntry& entry);

// Appends `entry`, rotating the journal past kLogRotateLimit and starting a new file
// with the header. A journal that exists but cannot be opened is set aside first.
std::error_code append_journal(const Program& p, const JournalEntry& entry);

struct FileRead {
    bool found = false;
    std::vector<int> bad_lines;  // 1-based line numbers skipped
    std::string set_aside_as;    // non-empty: the file could not be read and was renamed
    std::error_code open_error;  // the file is there but could not be opened; left alone
};
// The message telling the operator that `path` was set aside or had broken lines, or
// "" when there is nothing to tell.
std::string file_read_problem(const std::string& path, const FileRead& read);

// Reads a journal file: good entries in file order; the header and empty lines are
// not entries; every other line that does not parse is reported.
FileRead read_journal(const std::string& path, std::vector<JournalEntry>& entries);

// Renames `path` to "<path>.nieczytelny" (or ".nieczytelny2", ...) and returns the new
// name; empty when the rename failed.
std::string set_file_aside(const std::string& path);

// ---- schedule -----------------------------------------------------------------------

struct ScheduleEntry {
    bool daily = false;
    int year = 2026, month = 1, day = 1;  // ignored when daily
    int hour = 0, minute = 0, second = 0;
    std::array<std::string, 5> prices;
    std::array<bool, 5> blink{};

    // A daily entry has no date to compare.
    bool operator==(const ScheduleEntry& o) const {
        return daily == o.daily && (daily || (year == o.year && month == o.month && day == o.day)) &&
               hour == o.hour && minute == o.minute && second == o.second && prices == o.prices && blink == o.blink;
    }
};

struct Schedule {
    std::vector<ScheduleEntry> entries;
    // Lines that did not parse, kept as they were and written back at the end, so a
    // mistake made by hand is never lost by a save.
    std::vector<std::string> kept_lines;
    // Why a file that is there could not be opened: saving would lose it, so save
    // refuses with this error.
    std::error_code unread;
};

// One entry as a line (without the line end).
std::string schedule_line(const ScheduleEntry& entry);
bool parse_schedule_line(std::string_view line, ScheduleEntry& entry);
// A price the panel would send and the sign's digits can show: at most 6 of
// '0'..'9', '-', '.', ' '.
bool schedule_price_ok(std::string_view price);

FileRead load_schedule(const std::string& path, Schedule& schedule);
// The file's text (comment header, entries, kept lines) and its safe rewrite.
std::string schedule_text(const Schedule& schedule);
std::error_code save_schedule(const std::string& path, const Schedule& schedule);

}  // namespace kc
