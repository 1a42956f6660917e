// Persistence: reading and writing KavorCen.ini.
#include "storage/settings_file.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "storage/file_report.h"
#include "storage/safe_file.h"
#include "storage/work_path.h"

namespace kc {
namespace {

constexpr int kNumberLines = 30;
constexpr int kLabelRoom = 31;  // characters of price_labels[i] before its terminator

// ---- the file as a stream of words ----------------------------------------------
// The loader reads like "%d", "%s" and "%u" would: white space, line ends included,
// separates the values, so numbers separated by spaces load the same.
class Reader {
public:
    explicit Reader(FILE* f) : f_(f) {}

    // A signed decimal. False when no number stands here (end of file or other text).
    // A number too long for 32 bits comes back as a value no rule accepts.
    bool read_int(int64_t& out) {
        skip_space();
        int c = std::getc(f_);
        bool negative = false;
        if (c == '-' || c == '+') {
            negative = c == '-';
            c = std::getc(f_);
        }
        if (!is_digit(c)) {
            if (c != EOF) std::ungetc(c, f_);
            return false;
        }
        int64_t value = 0;
        for (; is_digit(c); c = std::getc(f_))
            if (value <= INT32_MAX) value = value * 10 + (c - '0');
        if (c != EOF) std::ungetc(c, f_);
        out = negative ? -value : value;
        return true;
    }

    // An unsigned decimal that fits in 32 bits; false for anything else.
    bool read_uint32(uint32_t& out) {
        skip_space();
        int c = std::getc(f_);
        if (c == '+') c = std::getc(f_);
        if (!is_digit(c)) {
            if (c != EOF) std::ungetc(c, f_);
            return false;
        }
        uint64_t value = 0;
        for (; is_digit(c); c = std::getc(f_))
            if (value <= UINT32_MAX) value = value * 10 + static_cast<uint64_t>(c - '0');
        if (c != EOF) std::ungetc(c, f_);
        if (value > UINT32_MAX) return false;
        out = static_cast<uint32_t>(value);
        return true;
    }

    // One word up to the next white space, cut to `room` characters; the rest of a
    // longer word is skipped so that the next value is read from the right place.
    bool read_word(char* dst, size_t room) {
        skip_space();
        int c = std::getc(f_);
        if (c == EOF) return false;
        size_t n = 0;
        for (; c != EOF && !is_space(c); c = std::getc(f_))
            if (n < room) dst[n++] = static_cast<char>(c);
        dst[n] = '\0';
        return true;
    }

private:
    static bool is_digit(int c) { return c >= '0' && c <= '9'; }
    static bool is_space(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
    void skip_space() {
        int c;
        while ((c = std::getc(f_)) != EOF && is_space(c)) {
        }
        if (c != EOF) std::ungetc(c, f_);
    }

    FILE* f_;
};

bool in_range(int64_t v, int64_t low, int64_t high) { return v >= low && v <= high; }

bool valid_baud_rate(int64_t v) {
    static constexpr int64_t kRates[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                         19200, 38400, 56000, 57600, 115200, 128000, 256000};
    for (int64_t r : kRates)
        if (v == r) return true;
    return false;
}

// Index into light_settings of the setting on lines 7..28, or -1 for a scroll speed.
int light_index_of_line(int line) {
    switch (line) {
        case 7: return kDisplay1LowLevel;
        case 8: return kDisplay1LowPower;
        case 9: return kDisplay1HighLevel;
        case 10: return kDisplay1HighPower;
        case 12: return kDisplay2LowLevel;
        case 13: return kDisplay2LowPower;
        case 14: return kDisplay2HighLevel;
        case 15: return kDisplay2HighPower;
        case 17: return kPriceLowLevel;
        case 23: return kPriceHighLevel;
        default: break;
    }
    if (line >= 18 && line <= 22) return kPricePowerLow1 + (line - 18);
    if (line >= 24 && line <= 28) return kPricePowerHigh1 + (line - 24);
    return -1;
}

// Stores the value read for `line` if its rule accepts it.
void apply_number(Program& p, MainRecord& r, int line, int64_t v) {
    ProgramState& s = p.state;
    switch (line) {
        case 1:
            if (in_range(v, 1, 255)) r.port_number = static_cast<uint8_t>(v);
            return;
        case 2:
            if (valid_baud_rate(v)) r.baud_rate = static_cast<uint32_t>(v);
            return;
        case 3:
            if (in_range(v, 4, 8)) r.data_bits = static_cast<uint8_t>(v);
            return;
        case 4:
            if (in_range(v, 0, 4)) r.parity = static_cast<uint8_t>(v);
            return;
        case 5:
            if (in_range(v, 0, 2)) r.stop_bits = static_cast<uint8_t>(v);
            return;
        case 6:
            if (in_range(v, 0, 1)) r.log_traffic = v == 1;
            return;
        case 11:
        case 16:
            if (in_range(v, 1, 255)) s.scroll_speed[line == 11 ? 0 : 1] = static_cast<int32_t>(v);
            return;
        case 29:
            if (in_range(v, 0, 1)) r.auto_backlight = v == 1;
            return;
        case 30:
            if (in_range(v, 0, 1)) r.hide_on_minimize = v == 1;
            return;
        default:
            break;
    }
    int index = light_index_of_line(line);
    if (index >= 0 && in_range(v, 0, 255)) s.light_settings[index] = static_cast<int32_t>(v);
}

// The value that `line` (1..30) holds in memory.
int number_of_line(const Program& p, const MainRecord& r, int line) {
    const ProgramState& s = p.state;
    switch (line) {
        case 1: return r.port_number;
        case 2: return static_cast<int>(r.baud_rate.load());
        case 3: return r.data_bits;
        case 4: return r.parity;
        case 5: return r.stop_bits;
        case 6: return r.log_traffic ? 1 : 0;
        case 11: return s.scroll_speed[0];
        case 16: return s.scroll_speed[1];
        case 29: return r.auto_backlight ? 1 : 0;
        case 30: return r.hide_on_minimize ? 1 : 0;
        default: return s.light_settings[light_index_of_line(line)];
    }
}

}  // namespace

std::string settings_path(const Program& p) {
    // Without a stored folder the name stands alone, relative to the current directory.
    return work_file_path(p, "KavorCen.ini");
}

bool load_settings(Program& p) {
    MainRecord* r = get_record(p);
    if (!r) return false;
    FILE* f = std::fopen(settings_path(p).c_str(), "r");
    if (!f) return false;
    Reader in(f);

    // From the first value that is not a number on, every later setting keeps what it
    // held: past that point the lines can no longer be matched to their settings.
    bool readable = true;
    for (int line = 1; line <= kNumberLines && readable; ++line) {
        int64_t v = 0;
        readable = in.read_int(v);
        if (readable) apply_number(p, *r, line, v);
    }
    for (int i = 0; i < 5 && readable; ++i) {
        char label[kLabelRoom + 1];
        readable = in.read_word(label, kLabelRoom);
        if (!readable) break;
        copy_text(p.state.price_labels[i], sizeof p.state.price_labels[i], label);
        uint32_t color = 0;
        readable = in.read_uint32(color);
        if (readable) p.state.price_label_colors[i] = color;
    }
    std::fclose(f);
    return true;
}

std::string settings_text(Program& p) {
    MainRecord* r = get_record(p);
    if (!r) return {};
    std::string text;
    char line[64];
    for (int n = 1; n <= kNumberLines; ++n) {
        std::snprintf(line, sizeof line, "%d\n", number_of_line(p, *r, n));
        text += line;
    }
    for (int i = 0; i < 5; ++i) {
        char label[sizeof p.state.price_labels[i]];
        copy_text(label, sizeof label, p.state.price_labels[i]);
        std::snprintf(line, sizeof line, "\n%u\n", static_cast<unsigned>(p.state.price_label_colors[i].load()));
        text += label;
        text += line;
    }
    return text;
}

bool save_settings(Program& p, std::error_code* error) {
    if (error) error->clear();
    if (!get_record(p)) return false;
    // Through a temporary file: a full disk or a folder in the way never leaves a
    // truncated KavorCen.ini, and the caller learns why.
    std::error_code e = write_file_replacing(settings_path(p), settings_text(p), true);
    if (error) *error = e;
    return true;
}

bool save_settings_locked(Program& p) {
    std::error_code error;
    bool has_record;
    {
        LockGuard lock(p.state.settings_lock);
        has_record = save_settings(p, &error);
    }
    if (error) tell_settings_not_saved(p, settings_path(p), error);
    return has_record;
}

}  // namespace kc
