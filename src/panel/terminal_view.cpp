// Operator panel: the main window's client area, a grid of 512 x 623 one-pixel cells
// whose scroll bars move the panel lying over it.
#include "panel/terminal_view.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace kc {

namespace {

constexpr Color kGridBackground = rgb(255, 0, 0);
constexpr int kPanelWidth = 2000;
constexpr int kPanelHeight = 1000;

// One axis of the view: the fields that terminal_size and the scroll handlers share.
struct Axis {
    Orientation orientation;
    int32_t& client;
    int32_t& range;
    int32_t& offset;
    int32_t cell;
    int cells;
};

Axis vertical(MainRecord& r) {
    return Axis{Orientation::Vertical, r.client_height, r.scroll_range_y, r.scroll_y, r.char_height, kScreenRows};
}
Axis horizontal(MainRecord& r) {
    return Axis{Orientation::Horizontal, r.client_width, r.scroll_range_x, r.scroll_x, r.char_width, kScreenColumns};
}

void scroll_contents(Program& p, Orientation o, int amount) {
    if (o == Orientation::Vertical)
        p.ui->scroll_window(kMainWindow, 0, amount);
    else
        p.ui->scroll_window(kMainWindow, amount, 0);
}

void resize_axis(Program& p, Axis a, int size) {
    a.client = size;
    a.range = std::max(0, a.cells * a.cell - size);
    if (a.offset > a.range) {
        int d = std::min(a.range, a.offset) - a.offset;
        if (p.ui) scroll_contents(p, a.orientation, -d);
        a.offset += d;
    }
    if (p.ui) {
        p.ui->set_scroll_position(kMainWindow, a.orientation, a.offset, false);
        p.ui->set_scroll_bar(kMainWindow, a.orientation, a.offset, a.range, true);
    }
}

void scroll_axis(Program& p, Axis a, int code, int position) {
    int step;
    switch (code) {
        case kScrollLineUp: step = -a.cell; break;
        case kScrollLineDown: step = a.cell; break;
        case kScrollPageUp: step = -a.client; break;
        case kScrollPageDown: step = a.client; break;
        case kScrollThumbPosition: step = position - a.offset; break;
        case kScrollTop: step = -a.offset; break;
        case kScrollBottom: step = a.range - a.offset; break;
        default: return;  // the thumb is followed only when it is released
    }
    step = std::clamp(a.offset + step, 0, std::max(0, a.range)) - a.offset;
    if (step == 0) return;
    if (p.ui) scroll_contents(p, a.orientation, -step);
    a.offset += step;
    if (p.ui) p.ui->set_scroll_position(kMainWindow, a.orientation, a.offset, true);
}

}  // namespace

int make_terminal_font(Program& p) {
    MainRecord* r = get_record(p);
    if (!r) return 0;
    // The host makes the font from font_spec; the grid keeps one-pixel cells whatever
    // the font measures, so the page stays the 623 x 512 that the panel needs.
    r->char_width = 1;
    r->char_height = 1;
    if (p.ui) {
        Rect outer = p.ui->window_rect(kMainWindow);
        terminal_size(p, outer.height(), outer.width());
    }
    return 1;
}

int terminal_size(Program& p, int client_height, int client_width) {
    MainRecord* r = get_record(p);
    if (!r) return 0;
    resize_axis(p, vertical(*r), client_height);
    resize_axis(p, horizontal(*r), client_width);
    if (p.ui) p.ui->invalidate_all(kMainWindow);
    return 1;
}

int terminal_vscroll(Program& p, int code, int position) {
    MainRecord* r = get_record(p);
    if (!r) return 0;
    scroll_axis(p, vertical(*r), code, position);
    return 1;
}

int terminal_hscroll(Program& p, int code, int position) {
    MainRecord* r = get_record(p);
    if (!r) return 0;
    scroll_axis(p, horizontal(*r), code, position);
    return 1;
}

int terminal_paint(Program& p, Canvas& canvas, const Rect& update) {
    MainRecord* r = get_record(p);
    if (!r) return 0;
    if (p.ui) p.ui->move_window(kPanelWindow, -r->scroll_x, -r->scroll_y, kPanelWidth, kPanelHeight);

    const int cw = std::max(1, r->char_width), ch = std::max(1, r->char_height);
    int first_row = std::clamp((update.top + r->scroll_y) / ch, 0, kScreenRows - 1);
    int last_row = std::min((update.bottom + r->scroll_y - 1) / ch, kScreenRows - 1);
    int first_col = std::clamp((update.left + r->scroll_x) / cw, 0, kScreenColumns - 1);
    int last_col = std::min((update.right + r->scroll_x - 1) / cw, kScreenColumns - 1);
    int n = last_col - first_col + 1;
    if (n <= 0) return 1;

    for (int row = first_row; row <= last_row; ++row) {
        int x = first_col * cw - r->scroll_x, y = row * ch - r->scroll_y;
        Rect cells{x, y, x + n * cw, y + ch};
        // Opaque background: the cells' red ground, then their characters.
        canvas.fill_rect(cells, kGridBackground);
        const char* chars = reinterpret_cast<const char*>(r->screen.data()) + row * kScreenColumns + first_col;
        std::string text(chars, static_cast<size_t>(n));
        // A run of blanks shows only its ground.
        if (text.find_first_not_of(std::string_view(" \0", 2)) != std::string::npos) canvas.draw_text(cells, text, r->text_color, TextAlign::Left);
    }
    return 1;
}

}  // namespace kc
