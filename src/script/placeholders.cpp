// Script runner: expanding the placeholders {C} {D} {P} {T} {S...} {G} and {} of a
// line in place.
#include "script/placeholders.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "resources/command_ids.h"

namespace kc {

namespace {

// Replaces line[start, end) with `insert`. The line never grows past its buffer:
// whatever would land beyond character 259 is cut.
void replace_group(ScriptLine& line, size_t start, size_t end, const char* insert, size_t insert_length) {
    char rewritten[kLineBuffer];
    size_t n = 0;
    auto append = [&](const char* from, size_t count) {
        const size_t room = kLineMaxExpanded - n;
        if (count > room) count = room;
        std::memcpy(rewritten + n, from, count);
        n += count;
    };
    append(line.text, start);
    append(insert, insert_length);
    append(line.text + end, line.length - end);
    std::memcpy(line.text, rewritten, n);
    line.text[n] = '\0';
    line.length = n;
}

void replace_group(ScriptLine& line, size_t start, size_t end, const std::string& insert) {
    // Control texts are C strings to the line: a NUL ends them.
    replace_group(line, start, end, insert.c_str(), std::strlen(insert.c_str()));
}

LocalTime now(Program& p) { return p.clock ? p.clock->local_time() : LocalTime{}; }

std::string time_text(Program& p) {
    const LocalTime t = now(p);
    char text[48];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    return text;
}

std::string date_text(Program& p) {
    const LocalTime t = now(p);
    char text[48];
    std::snprintf(text, sizeof text, "%02d/%02d/20%02d", t.day, t.month, ((t.year % 100) + 100) % 100);
    return text;
}

// The price edit of the line's field; nothing for a line that names no field.
std::string price_text(Program& p, const ScriptLine& line) {
    if (line.length < 2 || line.text[1] < '1' || line.text[1] > '5') return {};
    return panel_text(p, price_edit_id(line.text[1] - '0'), 6);
}

std::string temperature_text(Program& p) {
    std::string t = panel_text(p, kIdTemperature, 5);
    t.resize(std::strlen(t.c_str()));
    t += '\x7F';  // the degree sign of the sign's character set
    t += 'C';
    return t;
}

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

}  // namespace

uint32_t pause_count(const char* after_s, size_t available) {
    const size_t n = available < 10 ? available : 10;
    size_t i = 0;
    while (i < n && is_blank(after_s[i])) ++i;
    bool negative = false;
    if (i < n && (after_s[i] == '+' || after_s[i] == '-')) {
        negative = after_s[i] == '-';
        ++i;
    }
    uint64_t value = 0;  // ten digits at most: no overflow
    while (i < n && after_s[i] >= '0' && after_s[i] <= '9') value = value * 10 + static_cast<uint64_t>(after_s[i++] - '0');
    if (negative) value = 0 - value;
    return static_cast<uint32_t>(value);
}

bool expand_placeholders(ScriptRun& run, ScriptLine& line) {
    Program& p = run.program;
    bool open = false;
    size_t start = 0;
    size_t i = 0;
    while (i < line.length) {
        const char c = line.text[i];
        if (c == '{') {
            open = true;
            start = i;
            ++i;
            continue;
        }
        if (c != '}' || !open) {
            ++i;
            continue;
        }
        // A group from `start` to the closing brace at `i`.
        const size_t close = i;
        open = false;
        if (close == start + 1) {
            replace_group(line, start, close + 1, "", 0);
        } else {
            switch (line.text[start + 1]) {
                case 'C': replace_group(line, start, close + 1, time_text(p)); break;
                case 'D': replace_group(line, start, close + 1, date_text(p)); break;
                case 'P': replace_group(line, start, close + 1, price_text(p, line)); break;
                case 'T': replace_group(line, start, close + 1, temperature_text(p)); break;
                case 'S': {
                    // The count may run past the closing brace, up to the line's end.
                    const size_t from = start + 2;
                    if (!script_pause(run.record, pause_count(line.text + from, line.length - from))) return false;
                    break;
                }
                case 'G':
                    run.read_position = 0;
                    run.record.script_running = true;
                    break;
                default: break;
            }
        }
        // Text put in by a replacement is not scanned before the old closing brace.
        i = close + 1;
    }
    return true;
}

}  // namespace kc
