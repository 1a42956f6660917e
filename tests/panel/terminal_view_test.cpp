// Operator panel tests: the terminal view's scroll ranges, steps and paint.
#include "panel/terminal_view.h"

#include "preview/panel_fixture.h"

namespace kc {
namespace {

class TerminalViewTest : public PanelTest {
protected:
    TerminalViewTest() { make_terminal_font(p); }
    int vbar() const { return host.scroll_bar_position(Orientation::Vertical); }
    int vrange() const { return host.scroll_bar_range(Orientation::Vertical); }
    Rect panel() const { return host.window_position(kPanelWindow); }
};

TEST_F(TerminalViewTest, client_as_large_as_the_page_has_no_scroll_range) {
    terminal_size(p, 512, 623);
    EXPECT_EQ(rec().scroll_range_y, 0);
    EXPECT_EQ(rec().scroll_range_x, 0);
    EXPECT_EQ(vrange(), 0);
    EXPECT_EQ(host.scroll_bar_range(Orientation::Horizontal), 0);
    terminal_vscroll(p, kScrollPageDown, 0);
    terminal_hscroll(p, kScrollBottom, 0);
    MemoryCanvas c(623, 512);
    terminal_paint(p, c, Rect{0, 0, 623, 512});
    EXPECT_EQ(panel(), (Rect{0, 0, 2000, 1000}));
}

TEST_F(TerminalViewTest, vertical_steps_are_clipped_to_the_range_and_move_the_panel) {
    terminal_size(p, 400, 623);
    ASSERT_EQ(vrange(), 112);
    MemoryCanvas c(623, 400);
    terminal_paint(p, c, Rect{0, 0, 623, 400});  // places the panel at (0, 0)

    terminal_vscroll(p, kScrollPageDown, 0);
    EXPECT_EQ(rec().scroll_y, 112);
    EXPECT_EQ(vbar(), 112);
    EXPECT_EQ(panel().top, -112);
    terminal_vscroll(p, kScrollLineDown, 0);
    EXPECT_EQ(rec().scroll_y, 112);

    terminal_vscroll(p, kScrollTop, 0);
    EXPECT_EQ(rec().scroll_y, 0);
    EXPECT_EQ(panel().top, 0);
    terminal_vscroll(p, kScrollLineDown, 0);
    EXPECT_EQ(rec().scroll_y, 1);
    terminal_vscroll(p, kScrollThumbTrack, 90);  // followed only when released
    terminal_vscroll(p, kScrollEnd, 0);
    EXPECT_EQ(rec().scroll_y, 1);
    terminal_vscroll(p, kScrollThumbPosition, 90);
    EXPECT_EQ(rec().scroll_y, 90);
    terminal_vscroll(p, kScrollPageUp, 0);
    EXPECT_EQ(rec().scroll_y, 0);
    terminal_vscroll(p, kScrollBottom, 0);
    EXPECT_EQ(rec().scroll_y, 112);
    EXPECT_EQ(panel().top, -112);
    EXPECT_EQ(vbar(), 112);
}

TEST_F(TerminalViewTest, horizontal_steps_use_the_width) {
    terminal_size(p, 512, 500);
    EXPECT_EQ(rec().scroll_range_x, 123);
    terminal_hscroll(p, kScrollLineDown, 0);
    terminal_hscroll(p, kScrollPageDown, 0);
    EXPECT_EQ(rec().scroll_x, 123);
    EXPECT_EQ(host.scroll_bar_position(Orientation::Horizontal), 123);
    EXPECT_EQ(rec().scroll_y, 0);
}

TEST_F(TerminalViewTest, enlarging_pulls_the_offset_back_and_moves_the_panel_down) {
    terminal_size(p, 400, 623);
    terminal_vscroll(p, kScrollBottom, 0);
    const int top = panel().top;
    terminal_size(p, 450, 623);
    EXPECT_EQ(rec().scroll_y, 62);
    EXPECT_EQ(vrange(), 62);
    EXPECT_EQ(vbar(), 62);
    EXPECT_EQ(panel().top, top + 50);
    MemoryCanvas c(623, 450);
    terminal_paint(p, c, Rect{0, 0, 623, 450});
    EXPECT_EQ(panel(), (Rect{0, -62, 2000, 938}));
}

TEST_F(TerminalViewTest, font_change_takes_the_ranges_from_the_outer_size) {
    rec().char_width = 9;
    rec().char_height = 14;
    EXPECT_EQ(make_terminal_font(p), 1);
    const Rect outer = host.window_rect(kMainWindow);
    EXPECT_EQ(rec().char_width, 1);
    EXPECT_EQ(rec().char_height, 1);
    EXPECT_EQ(rec().client_height, outer.height());
    EXPECT_EQ(rec().client_width, outer.width());
    EXPECT_EQ(rec().scroll_range_y, std::max(0, 512 - outer.height()));
}

TEST_F(TerminalViewTest, paint_fills_only_the_cells_of_the_update) {
    terminal_size(p, 300, 300);
    terminal_vscroll(p, kScrollThumbPosition, 200);
    terminal_hscroll(p, kScrollThumbPosition, 100);
    MemoryCanvas c(300, 300, rgb(0, 0, 255));
    terminal_paint(p, c, Rect{10, 20, 60, 80});
    EXPECT_EQ(c.pixel(10, 20), rgb(255, 0, 0));
    EXPECT_EQ(c.pixel(59, 79), rgb(255, 0, 0));
    EXPECT_EQ(c.pixel(60, 50), rgb(0, 0, 255));
    EXPECT_EQ(c.pixel(30, 80), rgb(0, 0, 255));
    EXPECT_TRUE(c.texts().empty());  // a grid of blanks shows only its ground

    // Below the last row (511 - 200 = 311) nothing is drawn.
    terminal_size(p, 400, 300);
    EXPECT_EQ(rec().scroll_y, 112);
    MemoryCanvas low(300, 450, rgb(0, 0, 255));
    terminal_paint(p, low, Rect{0, 390, 300, 450});
    EXPECT_EQ(low.pixel(5, 399), rgb(255, 0, 0));
    EXPECT_EQ(low.pixel(5, 400), rgb(0, 0, 255));

    // Characters other than blanks are drawn in the text colour.
    rec().screen[static_cast<size_t>(150 * kScreenColumns + 120)] = 'X';
    rec().text_color = rgb(1, 2, 3);
    MemoryCanvas text(300, 450);
    terminal_paint(p, text, Rect{0, 0, 300, 450});
    ASSERT_EQ(text.texts().size(), 1u);
    EXPECT_EQ(text.texts()[0].rect, (Rect{0, 150 - 112, 300, 150 - 112 + 1}));
    EXPECT_EQ(text.texts()[0].text[20], 'X');
    EXPECT_EQ(text.texts()[0].color, rgb(1, 2, 3));
}

TEST_F(TerminalViewTest, without_a_record_every_call_returns_0) {
    p.record.reset();
    MemoryCanvas c(10, 10);
    EXPECT_EQ(make_terminal_font(p), 0);
    EXPECT_EQ(terminal_size(p, 100, 100), 0);
    EXPECT_EQ(terminal_vscroll(p, kScrollPageDown, 0), 0);
    EXPECT_EQ(terminal_hscroll(p, kScrollPageDown, 0), 0);
    EXPECT_EQ(terminal_paint(p, c, Rect{0, 0, 10, 10}), 0);
}

}  // namespace
}  // namespace kc
