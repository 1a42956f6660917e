// Operator panel tests: the text display model, its font, scrolling and paint.
#include "preview/display_model.h"

#include <atomic>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "preview/price_preview.h"
#include "panel_fixture.h"

namespace kc {
namespace {

using Matrix = std::vector<uint8_t>;

class DisplayModelTest : public PanelTest {
protected:
    Matrix matrix(int d) {
        const auto& m = p.state.displays[d - 1].matrix;
        return Matrix(&m[0][0], &m[0][0] + sizeof m);
    }
    int lit_count(int d) {
        int n = 0;
        for (int r = 0; r < kDisplayRows; ++r)
            for (int c = 0; c < kDisplayColumns; ++c) n += display_dot(p.state, d, r, c);
        return n;
    }
    void show(int d, const std::string& command) { rebuild_display_preview(p, d, command.c_str()); }
};

// Eleven 'A's (6 columns each) and two '|' (3 each) make exactly 72 columns.
const std::string k72Columns = "AAAAAAAAAAA||";
// '1' is 4 columns wide: one column more than the matrix.
const std::string k73Columns = "AAAAAAAAAAA|1";

TEST(DisplayFont, every_glyph_keeps_the_layout_and_the_width_rule) {
    std::set<std::vector<uint8_t>> shapes;
    for (int code = kDisplayFontFirst; code <= kDisplayFontLast; ++code) {
        SCOPED_TRACE(code);
        const uint8_t* rows = display_glyph(static_cast<uint8_t>(code));
        ASSERT_NE(rows, nullptr);
        uint8_t all = 0;
        for (int r = 0; r < 7; ++r) all = static_cast<uint8_t>(all | rows[r]);
        EXPECT_EQ(all & 0xC1, 0) << "bit 0 is the gap, bits 6 and 7 stay clear";
        int width = display_glyph_width(static_cast<uint8_t>(code));
        if (code == 0x20) {
            EXPECT_EQ(all, 0);
            EXPECT_EQ(width, 5);
        } else {
            ASSERT_NE(all, 0);
            int highest = 7;
            while (!(all & (1 << highest))) --highest;
            EXPECT_EQ(width, highest + 1);
            EXPECT_GE(width, 3);
            EXPECT_LE(width, 6);
        }
        // No two glyphs look alike, but for the two s-acute letters.
        if (code != 0x8D) {
            EXPECT_TRUE(shapes.insert(std::vector<uint8_t>(rows, rows + 7)).second);
        }
    }
    EXPECT_EQ(display_glyph(0x1F), nullptr);
    EXPECT_EQ(display_glyph(0x92), nullptr);
    EXPECT_EQ(display_glyph_width(0xFF), 0);
}

TEST(DisplayFont, fixed_glyphs_have_their_rows) {
    struct Fixed {
        uint8_t code;
        uint8_t rows[7];
        int width;
    } fixed[] = {
        {0x20, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, 5}, {0x31, {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}, 4},
        {0x41, {0x1C, 0x22, 0x22, 0x3E, 0x22, 0x22, 0x22}, 6}, {0x69, {0x04, 0x00, 0x0C, 0x04, 0x04, 0x04, 0x0E}, 4},
        {0x7C, {0x04, 0x04, 0x04, 0x00, 0x04, 0x04, 0x04}, 3}, {0x7F, {0x04, 0x0A, 0x04, 0x00, 0x00, 0x00, 0x00}, 4},
        {0x80, {0x00, 0x1C, 0x02, 0x1E, 0x22, 0x1E, 0x04}, 6}, {0x86, {0x0C, 0x04, 0x06, 0x04, 0x0C, 0x04, 0x0E}, 4},
        {0x8C, {0x04, 0x08, 0x1C, 0x20, 0x1C, 0x02, 0x3C}, 6}, {0x8D, {0x04, 0x08, 0x1C, 0x20, 0x1C, 0x02, 0x3C}, 6},
    };
    for (const Fixed& f : fixed) {
        SCOPED_TRACE(f.code);
        EXPECT_EQ(std::memcmp(display_glyph(f.code), f.rows, 7), 0);
        EXPECT_EQ(display_glyph_width(f.code), f.width);
    }
}

TEST_F(DisplayModelTest, glyph_columns_land_left_first_in_the_high_byte) {
    show(1, "000A");
    // Row 3 of 'A' is five dots and the gap: columns 0..4 lit, bit 7 of byte 8 first.
    EXPECT_EQ(p.state.displays[0].matrix[3][8], 0xF8);
    EXPECT_EQ(p.state.displays[0].matrix[0][8], 0x70);
    EXPECT_FALSE(display_dot(p.state, 1, 0, 0));
    EXPECT_TRUE(display_dot(p.state, 1, 0, 1));
    EXPECT_EQ(lit_count(1), 5 + 3 + 2 * 5);  // 'A' alone
    EXPECT_TRUE(invalidated(kDisplay1Rect));
    EXPECT_FALSE(host.timer_running(kPanelWindow, 1));

    // In negative the gap after the last '|' lights column 71: bit 0 of byte 0.
    show(2, "101" + k72Columns);
    EXPECT_EQ(p.state.displays[1].matrix[6][0] & 0x07, 0x03);  // columns 69 (the bar), 70, 71
    EXPECT_FALSE(display_dot(p.state, 2, 6, 69));
    EXPECT_TRUE(display_dot(p.state, 2, 6, 71));
}

TEST_F(DisplayModelTest, text_of_exactly_72_columns_fits_and_one_more_scrolls) {
    p.state.scroll_speed[1] = 35;
    show(2, "100" + k72Columns);
    EXPECT_FALSE(host.timer_running(kPanelWindow, 2));
    EXPECT_FALSE(rec().scroll2_timer_on.load());
    Matrix fitted = matrix(2);
    scroll_display_step(p, 2);  // a tick still queued does not move a fitting text
    EXPECT_EQ(matrix(2), fitted);

    show(2, "100" + k73Columns);
    EXPECT_EQ(host.timer_period(kPanelWindow, 2), 35);
    EXPECT_TRUE(rec().scroll2_timer_on.load());
    EXPECT_FALSE(host.timer_running(kPanelWindow, 1));

    show(2, "100");  // the reset's empty text
    EXPECT_EQ(lit_count(2), 0);
    EXPECT_FALSE(host.timer_running(kPanelWindow, 2));
    EXPECT_FALSE(rec().scroll2_timer_on.load());
}

TEST_F(DisplayModelTest, scrolling_wraps_around_the_text_without_a_gap) {
    const std::string text = "A|B1";  // 6 + 3 + 6 + 4 = 19 columns, repeated
    std::string command = "000";
    for (int i = 0; i < 4; ++i) command += text;  // 76 columns: scrolls
    show(1, command);
    Matrix start = matrix(1);
    // The text is 76 columns around: after 76 steps the matrix is back where it began.
    for (int i = 1; i < 76; ++i) {
        scroll_display_step(p, 1);
        if (i == 19 || i == 38 || i == 57) {
            EXPECT_EQ(matrix(1), start) << i;  // the text repeats every 19 columns
        }
        if (i == 1) {
            EXPECT_NE(matrix(1), start);
        }
    }
    scroll_display_step(p, 1);
    EXPECT_EQ(matrix(1), start);
    EXPECT_EQ(p.state.displays[0].scroll_index, 15);  // the render stopped before the last '1'
    EXPECT_EQ(p.state.displays[0].scroll_column, 0);
}

TEST_F(DisplayModelTest, negative_inverts_every_dot_and_every_column_scrolled_in) {
    show(1, "000" + k73Columns);
    show(2, "101" + k73Columns);
    for (int step = 0; step < 10; ++step) {
        for (int r = 0; r < kDisplayRows; ++r)
            for (int c = 0; c < kDisplayColumns; ++c)
                ASSERT_NE(display_dot(p.state, 1, r, c), display_dot(p.state, 2, r, c)) << step << " " << r << " " << c;
        scroll_display_step(p, 1);
        scroll_display_step(p, 2);
    }
}

TEST_F(DisplayModelTest, polish_letters_take_the_sign_codes_and_unknown_codes_show_blank) {
    show(1, "000\xB9\x8C\xB0");  // Windows-1250 a-ogonek, S-acute, degree
    const DisplayModel& m = p.state.displays[0];
    ASSERT_EQ(m.length, 3);
    EXPECT_EQ(m.text[0], 0x80);
    EXPECT_EQ(m.text[1], 0x8D);
    EXPECT_EQ(m.text[2], 0x7F);
    EXPECT_TRUE(display_dot(p.state, 1, 6, 3));  // the ogonek

    // A character without a glyph takes the space's five blank columns.
    show(1, "000\xE4" "A");
    EXPECT_EQ(p.state.displays[0].matrix[3][8], 0x07);  // 'A' row 3 starts at column 5
    EXPECT_EQ(p.state.displays[0].matrix[3][7], 0xC0);
}

TEST_F(DisplayModelTest, only_commands_for_the_display_fill_its_model) {
    show(1, "000HELLO");
    Matrix hello = matrix(1);
    show(1, "100WORLD");  // display 2's command
    show(1, "00E");
    show(1, "002");  // a read request carries no text
    EXPECT_EQ(matrix(1), hello);
    EXPECT_EQ(p.state.displays[0].length, 5);
}

TEST_F(DisplayModelTest, long_text_is_cut_to_the_model) {
    std::string command = "100" + std::string(300, 'W');
    show(2, command);
    EXPECT_EQ(p.state.displays[1].length, 128);
    EXPECT_TRUE(rec().scroll2_timer_on.load());
}

TEST_F(DisplayModelTest, scroll_speeds_restart_only_running_timers) {
    show(1, "000" + k73Columns);
    show(2, "100AB");
    p.state.scroll_speed[0] = 50;
    p.state.scroll_speed[1] = 60;
    apply_scroll_speeds(p);
    EXPECT_EQ(host.timer_period(kPanelWindow, 1), 50);
    EXPECT_FALSE(host.timer_running(kPanelWindow, 2));
    EXPECT_FALSE(rec().scroll2_timer_on.load());
}

TEST_F(DisplayModelTest, matrix_is_painted_only_while_the_display_holds_text) {
    show(1, "000A");
    MemoryCanvas c(700, 560, rgb(1, 2, 3));
    paint_displays(p, c);
    // Column 1 of row 0 is lit, column 0 is not; dots are spread over 359 x 34 pixels.
    Color lit = c.pixel(237 + 1 * 359 / 72, 118);
    Color unlit = c.pixel(237, 118);
    EXPECT_EQ(lit, rgb(255, 176, 0));
    EXPECT_NE(unlit, lit);
    EXPECT_NE(unlit, rgb(1, 2, 3));
    EXPECT_NE(c.pixel(595, 151), rgb(1, 2, 3));
    EXPECT_EQ(c.pixel(300, 180), rgb(1, 2, 3));  // display 2 holds no text

    reset_preview(p);
    MemoryCanvas after(700, 560, rgb(1, 2, 3));
    paint_displays(p, after);
    EXPECT_EQ(after.pixel(237 + 359 / 72, 118), rgb(1, 2, 3));
}

TEST_F(DisplayModelTest, rebuilds_on_worker_threads_and_scroll_steps_share_the_model) {
    std::atomic<bool> stop{false};
    std::thread worker([&] {
        for (int i = 0; i < 500; ++i) show(1 + i % 2, (i % 2 ? "101" : "000") + k73Columns + std::to_string(i));
        stop = true;
    });
    MemoryCanvas canvas(700, 560);
    while (!stop) {
        scroll_display_step(p, 1);
        scroll_display_step(p, 2);
        apply_scroll_speeds(p);
        paint_displays(p, canvas);
    }
    worker.join();
    EXPECT_TRUE(rec().scroll1_timer_on.load());
    EXPECT_TRUE(rec().scroll2_timer_on.load());
}

}  // namespace
}  // namespace kc
