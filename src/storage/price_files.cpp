// Persistence: the price journal and the price schedule files.
#include "storage/price_files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "storage/logs.h"
#include "resources/texts.h"
#include "storage/safe_file.h"
#include "text/cp1250.h"

namespace kc {
namespace {

constexpr size_t kJournalFields = 17;
constexpr size_t kScheduleFields = 8;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Exactly `width` digits.
bool read_number(std::string_view s, size_t width, int& out) {
    if (s.size() != width) return false;
    int v = 0;
    for (char c : s) {
        if (!is_digit(c)) return false;
        v = v * 10 + (c - '0');
    }
    out = v;
    return true;
}

bool read_date(std::string_view s, int& y, int& m, int& d) {
    if (s.size() != 10 || s[4] != '-' || s[7] != '-') return false;
    if (!read_number(s.substr(0, 4), 4, y) || !read_number(s.substr(5, 2), 2, m) || !read_number(s.substr(8, 2), 2, d))
        return false;
    static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 1970 || m < 1 || m > 12 || d < 1 || d > kDays[m - 1]) return false;
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return !(m == 2 && d == 29 && !leap);
}

// "HH:MM:SS", or "HH:MM" when `seconds_optional`.
bool read_time(std::string_view s, int& h, int& mi, int& sec, bool seconds_optional) {
    sec = 0;
    if (s.size() == 5 && seconds_optional) {
        if (s[2] != ':') return false;
        if (!read_number(s.substr(0, 2), 2, h) || !read_number(s.substr(3, 2), 2, mi)) return false;
    } else {
        if (s.size() != 8 || s[2] != ':' || s[5] != ':') return false;
        if (!read_number(s.substr(0, 2), 2, h) || !read_number(s.substr(3, 2), 2, mi) ||
            !read_number(s.substr(6, 2), 2, sec))
            return false;
    }
    return h <= 23 && mi <= 59 && sec <= 59;
}

std::string two(int v) {
    char b[16];
    std::snprintf(b, sizeof b, "%02d", v);
    return b;
}

std::string date_text(int y, int m, int d) {
    char b[32];
    std::snprintf(b, sizeof b, "%04d-%02d-%02d", y, m, d);
    return b;
}

// A field as a spreadsheet reads it: quoted when it holds ';', '"' or a line break
// (line breaks become blanks so that an entry stays one line).
std::string csv_field(std::string s) {
    for (char& c : s)
        if (c == '\r' || c == '\n') c = ' ';
    if (s.find_first_of(";\"") == std::string::npos) return s;
    std::string out = "\"";
    for (char c : s) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

// Splits a line at ';' honouring quoted fields; false for an unterminated quote.
bool split_csv(std::string_view line, std::vector<std::string>& fields) {
    fields.clear();
    std::string current;
    bool quoted = false, was_quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (quoted) {
            if (c == '"') {
                if (i + 1 < line.size() && line[i + 1] == '"') {
                    current += '"';
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                current += c;
            }
        } else if (c == '"' && current.empty() && !was_quoted) {
            quoted = was_quoted = true;
        } else if (c == ';') {
            fields.push_back(std::move(current));
            current.clear();
            was_quoted = false;
        } else {
            if (was_quoted) return false;  // text after a closing quote
            current += c;
        }
        if (fields.size() > 64) return false;
    }
    if (quoted) return false;
    fields.push_back(std::move(current));
    return true;
}

bool blink_text_ok(const std::string& s) {
    if (s.size() != 5) return false;
    for (char c : s)
        if (c != 'M' && c != '-') return false;
    return true;
}

bool has_control_bytes(std::string_view s) {
    for (unsigned char c : s)
        if (c < 0x20) return true;
    return false;
}

// Splits bytes into lines. LF, CR LF, any run of CRs before an LF and a lone CR each
// end a line, so no line holds a CR: what a line says never depends on how an editor
// or a copy changed its line ends (a line reported broken cannot turn good by that).
std::vector<std::string_view> split_lines(std::string_view bytes) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = bytes.size();
        lines.push_back(bytes.substr(start, end - start));
        start = end;
        while (start < bytes.size() && bytes[start] == '\r') ++start;
        if (start < bytes.size() && bytes[start] == '\n') ++start;
        if (start == end) ++start;  // only at the end of the bytes
    }
    return lines;
}

// Reads the whole file. Only a file whose content cannot be read (a folder in its
// place, a read error) is set aside; one that could not be opened (no permission, too
// many open files) is left as it is and counts as not found.
bool read_bytes(const std::string& path, std::string& bytes, FileRead& result) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::exists(path, ec)) return false;
    result.found = true;
    if (fs::is_regular_file(path, ec)) {
        errno = 0;
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            result.open_error = std::error_code(errno ? errno : EIO, std::generic_category());
            return false;
        }
        std::ostringstream s;
        s << in.rdbuf();
        if (!in.bad()) {
            bytes = s.str();
            return true;
        }
    }
    result.set_aside_as = set_file_aside(path);
    return false;
}

// The logs' rotation: past the limit the file becomes the older generation, renamed
// over it (never removed first: the older one stays until the new one takes its place).
// Kept here rather than called from logs.cpp, so that this file links without the log
// writers.
void rotate_journal(const std::string& current, const std::string& rotated) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(current, ec);
    if (ec || size <= static_cast<std::uintmax_t>(kLogRotateLimit)) return;
    std::filesystem::rename(current, rotated, ec);
}

}  // namespace

std::string set_file_aside(const std::string& path) {
    for (int n = 1; n < 100; ++n) {
        std::string aside = path + kSetAsideSuffix + (n == 1 ? "" : std::to_string(n));
        std::error_code ec;
        if (std::filesystem::exists(aside, ec) || ec) continue;
        std::filesystem::rename(path, aside, ec);
        return ec ? "" : aside;
    }
    return "";
}

// ---- journal ------------------------------------------------------------------------

const std::string& journal_header() {
    static const std::string header = utf8_to_cp1250(
        "Data;Godzina;Źródło;Cena 1;Cena 2;Cena 3;Cena 4;Cena 5;Mruganie;Wynik;"
        "Wieża 1;Wieża 2;Wieża 3;Wieża 4;Wieża 5;Wieża mruganie;Uwagi\r\n");
    return header;
}

std::string journal_line(const JournalEntry& e) {
    std::string line = date_text(e.when.year, e.when.month, e.when.day) + ";" + two(e.when.hour) + ":" +
                       two(e.when.minute) + ":" + two(e.when.second) + ";" + csv_field(e.source);
    for (const auto& price : e.prices) line += ";" + csv_field(price);
    line += ";" + e.blink + ";" + csv_field(e.outcome);
    for (const auto& shown : e.shown) line += ";" + csv_field(shown);
    line += ";" + e.shown_blink + ";" + csv_field(e.note) + "\r\n";
    return line;
}

bool parse_journal_line(std::string_view line, JournalEntry& e) {
    std::vector<std::string> f;
    if (!split_csv(line, f) || f.size() != kJournalFields) return false;
    JournalEntry out;
    if (!read_date(f[0], out.when.year, out.when.month, out.when.day)) return false;
    if (!read_time(f[1], out.when.hour, out.when.minute, out.when.second, false)) return false;
    if (f[2].empty() || f[9].empty()) return false;
    for (const auto& field : f)
        if (has_control_bytes(field)) return false;
    out.source = f[2];
    for (int i = 0; i < 5; ++i) out.prices[i] = f[3 + i];
    out.blink = f[8];
    out.outcome = f[9];
    for (int i = 0; i < 5; ++i) out.shown[i] = f[10 + i];
    out.shown_blink = f[15];
    out.note = f[16];
    if (!out.blink.empty() && !blink_text_ok(out.blink)) return false;
    if (!out.shown_blink.empty() && !blink_text_ok(out.shown_blink)) return false;
    e = std::move(out);
    return true;
}

std::error_code append_journal(const Program& p, const JournalEntry& entry) {
    const std::string path = work_file_path(p, kJournalName);
    rotate_journal(path, work_file_path(p, kJournalRotatedName));
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        // Never write into what is no journal (a folder in its place): move it aside.
        if (set_file_aside(path).empty()) return std::make_error_code(std::errc::is_a_directory);
    }
    errno = 0;
    FILE* f = std::fopen(path.c_str(), "ab");
    // Any other failure (no permission, too many open files) leaves the file alone.
    if (!f) return std::error_code(errno ? errno : EIO, std::generic_category());
    // An empty file (a full disk cut its first write short) gets the header too.
    const bool empty = std::fseek(f, 0, SEEK_END) == 0 && std::ftell(f) == 0;
    std::string bytes = empty ? journal_header() : "";
    bytes += journal_line(entry);
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const int write_errno = errno;
    const bool closed = std::fclose(f) == 0;
    if (!ok || !closed) return std::error_code(ok ? errno : write_errno, std::generic_category());
    return {};
}

FileRead read_journal(const std::string& path, std::vector<JournalEntry>& entries) {
    FileRead result;
    std::string bytes;
    if (!read_bytes(path, bytes, result)) return result;
    std::string header = journal_header();
    header.resize(header.size() - 2);
    int number = 0;
    for (std::string_view line : split_lines(bytes)) {
        ++number;
        if (line.empty() || line == header) continue;
        JournalEntry e;
        if (parse_journal_line(line, e))
            entries.push_back(std::move(e));
        else
            result.bad_lines.push_back(number);
    }
    return result;
}

// ---- schedule -----------------------------------------------------------------------

bool schedule_price_ok(std::string_view price) {
    if (price.size() > 6) return false;
    for (char c : price)
        if (!(is_digit(c) || c == '-' || c == '.' || c == ',' || c == ' ')) return false;
    return true;
}

std::string schedule_line(const ScheduleEntry& e) {
    std::string line = e.daily ? std::string("codziennie") : date_text(e.year, e.month, e.day);
    line += ";" + two(e.hour) + ":" + two(e.minute) + ":" + two(e.second);
    for (const auto& price : e.prices) line += ";" + price;
    line += ";";
    for (bool b : e.blink) line += b ? 'M' : '-';
    return line;
}

bool parse_schedule_line(std::string_view line, ScheduleEntry& e) {
    std::vector<std::string> f;
    if (!split_csv(line, f) || f.size() != kScheduleFields) return false;
    ScheduleEntry out;
    if (f[0] == "codziennie")
        out.daily = true;
    else if (!read_date(f[0], out.year, out.month, out.day))
        return false;
    if (!read_time(f[1], out.hour, out.minute, out.second, true)) return false;
    for (int i = 0; i < 5; ++i) {
        if (!schedule_price_ok(f[2 + i])) return false;
        out.prices[i] = f[2 + i];
    }
    // A change with no price at all would blank the sign.
    if (std::all_of(out.prices.begin(), out.prices.end(), [](const std::string& s) { return s.empty(); })) return false;
    if (!blink_text_ok(f[7])) return false;
    for (int i = 0; i < 5; ++i) out.blink[i] = f[7][i] == 'M';
    e = std::move(out);
    return true;
}

FileRead load_schedule(const std::string& path, Schedule& schedule) {
    FileRead result;
    schedule = Schedule{};
    std::string bytes;
    if (!read_bytes(path, bytes, result)) {
        schedule.unread = result.open_error;
        return result;
    }
    int number = 0;
    for (std::string_view line : split_lines(bytes)) {
        ++number;
        if (line.empty() || line[0] == '#') continue;
        ScheduleEntry e;
        if (parse_schedule_line(line, e)) {
            schedule.entries.push_back(std::move(e));
        } else {
            result.bad_lines.push_back(number);
            schedule.kept_lines.emplace_back(line);
        }
    }
    return result;
}

std::string schedule_text(const Schedule& schedule) {
    // The comments are ASCII, so they read the same in any terminal; only a kept line
    // may hold Windows-1250.
    std::string text =
        "# Harmonogram cen programu Kavor Cen (Windows-1250).\n"
        "# kiedy;godzina;cena 1;cena 2;cena 3;cena 4;cena 5;mruganie\n"
        "# kiedy: RRRR-MM-DD albo codziennie; godzina: GG:MM:SS czasu lokalnego;\n"
        "# ceny: 0-9 . - i spacja (maks. 6); mruganie: M (mruga) lub - dla cen 1 do 5.\n";
    text = utf8_to_cp1250(text);
    for (const auto& e : schedule.entries) text += schedule_line(e) + "\n";
    for (const auto& kept : schedule.kept_lines) text += kept + "\n";
    return text;
}

std::error_code save_schedule(const std::string& path, const Schedule& schedule) {
    if (schedule.unread) return schedule.unread;
    return write_file_replacing(path, schedule_text(schedule), false);
}

std::string file_read_problem(const std::string& path, const FileRead& read) {
    if (!read.set_aside_as.empty()) return fill(Txt::MsgFileSetAside, path, read.set_aside_as);
    if (read.open_error) return fill(Txt::MsgFileNotOpened, path, read.open_error.message());
    if (read.bad_lines.empty()) return "";
    std::string lines;
    for (int n : read.bad_lines) {
        if (lines.size() > 200) {
            lines += ", ...";
            break;
        }
        lines += (lines.empty() ? "" : ", ") + std::to_string(n);
    }
    return fill(Txt::MsgBadLinesInFile, path, lines);
}

}  // namespace kc
