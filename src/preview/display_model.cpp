// Operator panel: the model of the two scrolling text displays: filled from display
// commands, rendered in the sign's font, scrolled by panel timers 1 and 2, painted
// as a dot matrix over the preview.
#include "preview/display_model.h"

#include <cstring>
#include <mutex>

#include "preview/price_preview.h"

namespace kc {

namespace {

constexpr Color kMatrixBackground = rgb(16, 16, 16);
constexpr Color kDotOff = rgb(56, 36, 0);
constexpr Color kDotOn = rgb(255, 176, 0);

// A code without a glyph shows as a blank as wide as the space.
constexpr uint8_t kBlankCode = 0x20;
constexpr size_t kDisplayTextStart = 3;

struct Glyph {
    const uint8_t* rows;
    int width;
};

Glyph glyph_of(uint8_t code) {
    if (!display_glyph(code)) code = kBlankCode;
    return Glyph{display_glyph(code), display_glyph_width(code)};
}

// Column c of a 72-dot row: byte 8 holds columns 0..7, bit 7 first.
uint8_t& column_byte(uint8_t (&row)[9], int column) { return row[8 - column / 8]; }
uint8_t column_mask(int column) { return static_cast<uint8_t>(0x80u >> (column % 8)); }

bool glyph_dot(const Glyph& g, int row, int c) { return (g.rows[row] >> (g.width - 1 - c)) & 1u; }

void put_column(DisplayModel& m, int column, const Glyph& g, int c, bool invert) {
    for (int r = 0; r < kDisplayRows; ++r) {
        bool lit = glyph_dot(g, r, c) != invert;
        uint8_t& b = column_byte(m.matrix[r], column);
        b = static_cast<uint8_t>(lit ? (b | column_mask(column)) : (b & ~column_mask(column)));
    }
}

void shift_left(DisplayModel& m) {
    for (auto& row : m.matrix) {
        for (int i = 8; i > 0; --i) row[i] = static_cast<uint8_t>((row[i] << 1) | (row[i - 1] >> 7));
        row[0] = static_cast<uint8_t>(row[0] << 1);
    }
}

// Renders the model's text from its start; true when it did not fit and must scroll.
bool render(DisplayModel& m) {
    std::memset(m.matrix, 0, sizeof m.matrix);
    int index = 0, c = 0, column = 0;
    while (index < m.length && column < kDisplayColumns) {
        Glyph g = glyph_of(m.text[index]);
        while (c < g.width && column < kDisplayColumns) put_column(m, column++, g, c++, false);
        if (c >= g.width) {
            ++index;
            c = 0;
        }
    }
    if (m.negative)
        for (auto& row : m.matrix)
            for (auto& b : row) b = static_cast<uint8_t>(~b);
    m.scroll_index = static_cast<uint8_t>(index);
    m.scroll_column = static_cast<uint8_t>(c);
    return index < m.length;
}

std::atomic<bool>& timer_flag(MainRecord& r, int d) { return d == 1 ? r.scroll1_timer_on : r.scroll2_timer_on; }

// Starts or stops timer d after a render. The caller holds display_mutex, so the
// timer and its flag always follow the model they were set for.
void set_scroll_timer(Program& p, MainRecord& r, int d, bool scrolls) {
    if (scrolls) {
        if (p.ui) p.ui->set_timer(kPanelWindow, d, p.state.scroll_speed[d - 1].load());
        timer_flag(r, d) = true;
    } else {
        if (p.ui) p.ui->kill_timer(kPanelWindow, d);
        timer_flag(r, d) = false;
    }
}

const Rect& display_rect(int d) { return d == 1 ? kDisplay1Rect : kDisplay2Rect; }

bool valid_display(int d) { return d == 1 || d == 2; }

// A display command for display d: its controller digit, "0", the negative digit.
bool is_display_command(const char* text, int d) {
    if (!text || strnlen(text, kDisplayTextStart) < kDisplayTextStart) return false;
    return text[0] == static_cast<char>('0' + d - 1) && text[1] == '0' && (text[2] == '0' || text[2] == '1');
}

void fill_model(DisplayModel& m, const char* text) {
    m.negative = text[2] == '1' ? 1 : 0;
    const char* chars = text + kDisplayTextStart;
    size_t n = strnlen(chars, sizeof m.text);
    for (size_t i = 0; i < n; ++i) m.text[i] = sign_code(static_cast<uint8_t>(chars[i]));
    m.length = static_cast<uint8_t>(n);
}

void paint_matrix(Canvas& canvas, const Rect& area, const uint8_t (&matrix)[7][9]) {
    canvas.fill_rect(area, kMatrixBackground);
    // Dots are spread evenly over the rectangle with a one-pixel gap.
    int dot_w = area.width() / kDisplayColumns - 1, dot_h = area.height() / kDisplayRows - 1;
    if (dot_w < 1) dot_w = 1;
    if (dot_h < 1) dot_h = 1;
    for (int r = 0; r < kDisplayRows; ++r) {
        int y = area.top + r * area.height() / kDisplayRows;
        for (int c = 0; c < kDisplayColumns; ++c) {
            int x = area.left + c * area.width() / kDisplayColumns;
            uint8_t b = matrix[r][8 - c / 8];
            bool lit = (b & column_mask(c)) != 0;
            canvas.fill_rect(Rect{x, y, x + dot_w, y + dot_h}, lit ? kDotOn : kDotOff);
        }
    }
}

}  // namespace

uint8_t sign_code(uint8_t c) {
    if (c >= 0x20 && c <= 0x7E) return c;
    switch (c) {
        case 0xB9: return 0x80;  // ą
        case 0xA5: return 0x81;  // Ą
        case 0xE6: return 0x82;  // ć
        case 0xC6: return 0x83;  // Ć
        case 0xEA: return 0x84;  // ę
        case 0xCA: return 0x85;  // Ę
        case 0xB3: return 0x86;  // ł
        case 0xA3: return 0x87;  // Ł
        case 0xF1: return 0x88;  // ń
        case 0xD1: return 0x89;  // Ń
        case 0xF3: return 0x8A;  // ó
        case 0xD3: return 0x8B;  // Ó
        case 0x9C: return 0x8C;  // ś
        case 0x8C: return 0x8D;  // Ś
        case 0xBF: return 0x8E;  // ż
        case 0xAF: return 0x8F;  // Ż
        case 0x9F: return 0x90;  // ź
        case 0x8F: return 0x91;  // Ź
        case 0xB0: return 0x7F;  // degree sign
        default: return 0x00;    // no glyph: shown as a blank
    }
}

void render_display_text(Program& p, int d) {
    MainRecord* r = get_record(p);
    if (!r || !valid_display(d)) return;
    std::lock_guard<std::mutex> lock(p.state.display_mutex);
    set_scroll_timer(p, *r, d, render(p.state.displays[d - 1]));
}

void scroll_display_step(Program& p, int d) {
    if (!get_record(p) || !valid_display(d)) return;
    // The panel's timer handler invalidates the display's rectangle after the step.
    std::lock_guard<std::mutex> lock(p.state.display_mutex);
    DisplayModel& m = p.state.displays[d - 1];
    // An index at the end means the text fits: a tick still queued from a longer text
    // neither moves it nor reads past it.
    if (m.length == 0 || m.scroll_index >= m.length) return;
    Glyph g = glyph_of(m.text[m.scroll_index]);
    if (m.scroll_column >= g.width) m.scroll_column = 0;

    shift_left(m);
    put_column(m, kDisplayColumns - 1, g, m.scroll_column, m.negative != 0);
    if (++m.scroll_column >= g.width) {
        m.scroll_column = 0;
        if (++m.scroll_index >= m.length) m.scroll_index = 0;
    }
}

void rebuild_display_preview(Program& p, int d, const char* text) {
    MainRecord* r = get_record(p);
    if (!r || !valid_display(d)) return;
    // Display texts are rejected here; the call keeps one path for every command.
    parse_price_command(p.state, text);
    {
        std::lock_guard<std::mutex> lock(p.state.display_mutex);
        DisplayModel& m = p.state.displays[d - 1];
        if (is_display_command(text, d)) fill_model(m, text);
        set_scroll_timer(p, *r, d, render(m));
    }
    if (p.ui) p.ui->invalidate(kPanelWindow, display_rect(d));
}

void apply_scroll_speeds(Program& p) {
    MainRecord* r = get_record(p);
    if (!r || !p.ui) return;
    std::lock_guard<std::mutex> lock(p.state.display_mutex);
    for (int d = 1; d <= 2; ++d) {
        if (!timer_flag(*r, d)) continue;
        p.ui->kill_timer(kPanelWindow, d);
        p.ui->set_timer(kPanelWindow, d, p.state.scroll_speed[d - 1].load());
    }
}

bool display_dot(const ProgramState& s, int d, int row, int column) {
    if (!valid_display(d) || row < 0 || row >= kDisplayRows || column < 0 || column >= kDisplayColumns) return false;
    // The mutex guards the models; locking it does not change the state's value.
    std::lock_guard<std::mutex> lock(const_cast<std::mutex&>(s.display_mutex));
    return (s.displays[d - 1].matrix[row][8 - column / 8] & column_mask(column)) != 0;
}

void paint_displays(Program& p, Canvas& canvas) {
    if (!get_record(p)) return;
    uint8_t matrices[2][7][9];
    bool shown[2];
    {
        std::lock_guard<std::mutex> lock(p.state.display_mutex);
        for (int i = 0; i < 2; ++i) {
            std::memcpy(matrices[i], p.state.displays[i].matrix, sizeof matrices[i]);
            shown[i] = p.state.displays[i].length > 0;
        }
    }
    // A display without a text draws nothing, so the price preview beneath stays whole.
    for (int i = 0; i < 2; ++i)
        if (shown[i]) paint_matrix(canvas, display_rect(i + 1), matrices[i]);
}

}  // namespace kc
