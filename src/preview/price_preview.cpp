// Operator panel: the seven-segment preview of the five price fields, rebuilt from the
// price command texts, flashed by the blink timer and painted with the backlight bulbs.
#include "preview/price_preview.h"

#include <cstdlib>
#include <cstring>

#include "preview/display_model.h"
#include "resources/command_ids.h"

namespace kc {

namespace {

constexpr Color kPanelGrey = rgb(180, 180, 180);
constexpr Color kSegmentOff = rgb(20, 20, 20);
constexpr Color kSegmentOn = rgb(255, 255, 255);
constexpr Color kDigitBackground = rgb(0, 0, 0);

constexpr uint8_t kPoint = 0x80;
constexpr size_t kLongestPriceText = 83;
constexpr size_t kPriceCharactersWalked = 25;

// Segment rectangles relative to a place's origin, by place bit.
constexpr Rect kSegmentRects[8] = {
    {5, 50, 25, 55},   // 0 d
    {0, 30, 5, 50},    // 1 e
    {5, 25, 25, 30},   // 2 g
    {0, 5, 5, 25},     // 3 f
    {5, 0, 25, 5},     // 4 a
    {25, 5, 30, 25},   // 5 b
    {25, 30, 30, 50},  // 6 c
    {35, 50, 40, 55},  // 7 point
};

// A price character and its place byte.
struct DigitSegments {
    char character;
    uint8_t image;
};
constexpr DigitSegments digit_segments[] = {
    {'0', 0x7B}, {'1', 0x60}, {'2', 0x37}, {'3', 0x75}, {'4', 0x6C}, {'5', 0x5D}, {'6', 0x5F},
    {'7', 0x70}, {'8', 0x7F}, {'9', 0x7D}, {'-', 0x04}, {'.', kPoint}, {' ', 0x00},
};

// The place bit of each wire bit, wire bit 0 first (the wire carries a b c d e f g
// point, most significant bit first).
constexpr int wire_segment_bits[8] = {7, 2, 3, 1, 0, 6, 5, 4};

Rect offset(const Rect& r, int dx, int dy) { return Rect{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy}; }

// Two characters of a segment-mask text read the way strtol reads them in base 16.
uint8_t hex_pair(const char* two) {
    char buffer[3] = {two[0], two[1], '\0'};
    long value = std::strtol(buffer, nullptr, 16);
    return static_cast<uint8_t>(static_cast<unsigned long>(value) & 0xFF);
}

void apply_segment_mask(ProgramState& s, int field, const char* text) {
    s.price_blink[field] = 0;
    for (int place = 0; place < 3; ++place) s.price_segments[field][place] = wire_to_place(hex_pair(text + 3 + 2 * place));
}

void apply_price_text(ProgramState& s, int field, const char* text, bool blink) {
    uint8_t images[3] = {};
    const int filled = price_text_places(text + 3, images);
    for (int place = 0; place < filled; ++place) s.price_segments[field][place] = images[place];
    s.price_blink[field] = blink ? 1 : 0;
}

bool any_price_blinks(const ProgramState& s) {
    for (const auto& b : s.price_blink)
        if (b.load()) return true;
    return false;
}

}  // namespace

uint8_t digit_image(char c) {
    for (const DigitSegments& d : digit_segments)
        if (d.character == c) return d.image;
    return 0x00;
}

int price_text_places(const char* price, uint8_t places[3]) {
    int filled = 0;
    for (size_t i = 0; i < kPriceCharactersWalked && price[i] != '\0'; ++i) {
        char c = price[i];
        if ((c >= '0' && c <= '9') || c == '-' || c == ' ') {
            if (filled < 3) places[filled++] = digit_image(c);
        } else if (c == '.') {
            if (filled == 0) {
                places[filled++] = kPoint;
            } else if (places[filled - 1] & kPoint) {
                // A second point stands alone in the next place, when one is left.
                if (filled < 3) places[filled++] = kPoint;
            } else {
                places[filled - 1] = static_cast<uint8_t>(places[filled - 1] | kPoint);
            }
        }
        // Any other character is skipped.
    }
    return filled;
}

uint8_t wire_to_place(uint8_t wire) {
    uint8_t place = 0;
    for (int bit = 0; bit < 8; ++bit)
        if (wire & (1u << bit)) place = static_cast<uint8_t>(place | (1u << wire_segment_bits[bit]));
    return place;
}

int parse_price_command(ProgramState& s, const char* text) {
    if (!text) return -1;
    size_t length = strnlen(text, kLongestPriceText + 1);
    if (length < 3 || length > kLongestPriceText) return -1;
    if (text[0] < '0' || text[0] > '7') return -1;
    if (text[1] < '1' || text[1] > '5') return -1;
    int field = text[1] - '1';
    switch (text[2]) {
        case 'B':
            if (length != 9) return -1;
            apply_segment_mask(s, field, text);
            return 0;
        case 'C':
        case 'M':
            apply_price_text(s, field, text, text[2] == 'M');
            return 0;
        default:
            return -1;
    }
}

void rebuild_price_preview(Program& p, const char* text) {
    if (!get_record(p)) return;
    parse_price_command(p.state, text);
    if (!p.ui) return;
    start_blink_timer_if_needed(p);
    char field = text && text[0] != '\0' ? text[1] : '\0';
    if (field >= '1' && field <= '5')
        p.ui->invalidate(kPanelWindow, price_row_rect(field - '0'));
    else
        p.ui->invalidate(kPanelWindow, kPreviewDigitArea);
}

void reset_preview(Program& p) {
    MainRecord* r = get_record(p);
    if (!r) return;
    ProgramState& s = p.state;

    // current_command belongs to the command in flight: write it only in the order
    // its readers take the locks, so neither the polling thread nor the port reader
    // sees it change under them. Every rebuild runs inside the same locks.
    LockGuard link(s.link_lock);
    LockGuard reply(s.reply_lock);

    const char* display_resets[2] = {"000", "100"};
    for (int d = 1; d <= 2; ++d) {
        copy_text(s.current_command, sizeof s.current_command, display_resets[d - 1]);
        rebuild_display_preview(p, d, display_resets[d - 1]);
    }
    for (int n = 1; n <= 5; ++n) {
        char text[7] = {'2', static_cast<char>('0' + n), 'C', ' ', ' ', ' ', '\0'};
        copy_text(s.current_command, sizeof s.current_command, text);
        rebuild_price_preview(p, text);
    }

    r->backlight_on = false;
    if (s.shown_backlight.exchange(0) != 0 && p.ui) p.ui->invalidate(kPanelWindow, kPreviewBulbColumn);
}

void start_blink_timer_if_needed(Program& p) {
    MainRecord* r = get_record(p);
    if (!r || !p.ui) return;
    // The flags are set before this looks at them, and the tick below clears
    // blink_timer_on before it looks again: one of the two always starts the timer.
    if (any_price_blinks(p.state) && !r->blink_timer_on.exchange(true))
        p.ui->set_timer(kPanelWindow, kTimerBlink, kBlinkPeriodMs);
}

void blink_tick(Program& p) {
    MainRecord* r = get_record(p);
    if (!r) return;
    ProgramState& s = p.state;
    if (!any_price_blinks(s)) {
        // Nothing to flash: stop ticking until a price blinks again. Killed before the
        // flag is cleared, so a start from another thread always comes after the kill.
        if (p.ui) p.ui->kill_timer(kPanelWindow, kTimerBlink);
        r->blink_timer_on = false;
        start_blink_timer_if_needed(p);
        return;
    }
    s.blink_phase = s.blink_phase.load() ? 0 : 1;
    if (!p.ui) return;
    for (int n = 1; n <= 5; ++n)
        if (s.price_blink[n - 1].load()) p.ui->invalidate(kPanelWindow, price_row_rect(n));
}

void paint_preview(Program& p, Canvas& canvas) {
    MainRecord* r = get_record(p);
    if (!r) return;
    ProgramState& s = p.state;
    if (p.ui) p.ui->move_window(kPanelWindow, -r->scroll_x, -r->scroll_y, 2000, 1000);

    canvas.fill_rect(Rect{218, 98, 436, 505}, kPanelGrey);
    bool backlight = r->backlight_on.load();
    for (int k = 0; k < 5; ++k) {
        int y = 144 + 81 * k;
        if (backlight)
            canvas.draw_icon(kIconBulb, 224, y);
        else
            canvas.fill_rect(Rect{224, y, 224 + 32, y + 32}, kPanelGrey);
    }

    canvas.fill_rect(kPreviewDigitArea, kDigitBackground);
    bool dark_phase = s.blink_phase.load() != 0;
    for (int k = 0; k < 5; ++k) {
        bool hidden = dark_phase && s.price_blink[k].load() != 0;
        for (int place = 0; place < 3; ++place) {
            uint8_t image = s.price_segments[k][place].load();
            int x = 450 + 55 * place, y = 112 + 81 * k;
            for (int bit = 0; bit < 8; ++bit) {
                bool lit = (image & (1u << bit)) != 0 && !hidden;
                canvas.fill_rect(offset(kSegmentRects[bit], x, y), lit ? kSegmentOn : kSegmentOff);
            }
        }
    }

    paint_displays(p, canvas);
}

}  // namespace kc
