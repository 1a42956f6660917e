// Operator panel tests: the price preview model, its blink, reset and paint.
#include "preview/price_preview.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <string>
#include <thread>

#include "preview/display_model.h"
#include "panel_fixture.h"
#include "resources/command_ids.h"
#include "resources/icons.h"

namespace kc {
namespace {

constexpr Color kWhite = rgb(255, 255, 255);
constexpr Color kDark = rgb(20, 20, 20);
constexpr Color kGrey = rgb(180, 180, 180);
enum Bit { D = 0, E = 1, G = 2, F = 3, A = 4, B = 5, C = 6, POINT = 7 };

class PricePreviewTest : public PanelTest {
protected:
    std::array<uint8_t, 3> places(int field) {
        auto& f = p.state.price_segments[field - 1];
        return {f[0].load(), f[1].load(), f[2].load()};
    }
    bool blinks(int field) { return p.state.price_blink[field - 1].load() != 0; }
    void apply(const char* text) { rebuild_price_preview(p, text); }

    MemoryCanvas paint() {
        MemoryCanvas canvas(700, 560);
        paint_preview(p, canvas);
        return canvas;
    }
    // The colour in the middle of segment `bit` of a place.
    static Color segment(const MemoryCanvas& c, int field, int place, int bit) {
        static const int mid[8][2] = {{15, 52}, {2, 40}, {15, 27}, {2, 15}, {15, 2}, {27, 15}, {27, 40}, {37, 52}};
        return c.pixel(450 + 55 * place + mid[bit][0], 112 + 81 * (field - 1) + mid[bit][1]);
    }
};

using Places = std::array<uint8_t, 3>;

TEST_F(PricePreviewTest, price_with_point_shows_digits_steady_and_paints_segments) {
    apply("21C4.59");
    EXPECT_EQ(places(1), (Places{0x6C | 0x80, 0x5D, 0x7D}));
    EXPECT_FALSE(blinks(1));
    EXPECT_TRUE(invalidated(price_row_rect(1)));

    MemoryCanvas c = paint();
    EXPECT_EQ(segment(c, 1, 0, A), kDark);  // a 4 has no top
    EXPECT_EQ(segment(c, 1, 0, B), kWhite);
    EXPECT_EQ(segment(c, 1, 0, POINT), kWhite);
    EXPECT_EQ(segment(c, 1, 1, POINT), kDark);
    EXPECT_EQ(segment(c, 1, 2, A), kWhite);
    EXPECT_EQ(segment(c, 1, 2, E), kDark);  // a 9 has no lower left
    EXPECT_EQ(c.pixel(440, 110), rgb(0, 0, 0));  // digit area between segments
    EXPECT_EQ(c.pixel(300, 120), kGrey);
}

TEST_F(PricePreviewTest, blinking_price_alternates_dark_and_lit_on_each_tick) {
    apply("25M 12");
    EXPECT_EQ(places(5), (Places{0x00, 0x60, 0x37}));
    EXPECT_TRUE(blinks(5));

    EXPECT_EQ(segment(paint(), 5, 1, B), kWhite);
    host.clear_invalidations();
    blink_tick(p);
    EXPECT_TRUE(invalidated(price_row_rect(5)));
    EXPECT_FALSE(invalidated(price_row_rect(1)));
    MemoryCanvas dark = paint();
    EXPECT_EQ(segment(dark, 5, 1, B), kDark);
    EXPECT_EQ(segment(dark, 5, 2, A), kDark);
    blink_tick(p);
    EXPECT_EQ(segment(paint(), 5, 1, B), kWhite);
}

TEST_F(PricePreviewTest, blink_tick_without_blinking_price_changes_nothing) {
    apply("21C1");
    blink_tick(p);
    EXPECT_EQ(p.state.blink_phase.load(), 0);
    EXPECT_TRUE(host.invalidations(kPanelWindow).size() == 1);  // only the rebuild's
}

TEST_F(PricePreviewTest, steady_price_after_blinking_one_stops_blinking_at_once) {
    EXPECT_FALSE(host.timer_running(kPanelWindow, kTimerBlink));
    apply("23M8");
    EXPECT_EQ(host.timer_period(kPanelWindow, kTimerBlink), 330);
    blink_tick(p);  // now in the dark half
    apply("23C8");
    EXPECT_FALSE(blinks(3));
    EXPECT_EQ(segment(paint(), 3, 0, G), kWhite);

    // Timer 6 ticks only while something blinks, and starts again from any thread.
    blink_tick(p);
    EXPECT_FALSE(host.timer_running(kPanelWindow, kTimerBlink));
    std::thread([&] { apply("24M1"); }).join();
    EXPECT_EQ(host.timer_period(kPanelWindow, kTimerBlink), 330);
}

TEST_F(PricePreviewTest, shorter_price_keeps_the_places_it_does_not_fill) {
    apply("21C4.59");
    apply("21C12");
    EXPECT_EQ(places(1), (Places{0x60, 0x37, 0x7D}));
    apply("21CA1B2");  // letters are skipped
    EXPECT_EQ(places(1), (Places{0x60, 0x37, 0x7D}));
    apply("22C-8");
    EXPECT_EQ(places(2), (Places{0x04, 0x7F, 0x00}));
}

TEST_F(PricePreviewTest, points_fill_places_by_their_rules) {
    apply("21C.5");
    EXPECT_EQ(places(1), (Places{0x80, 0x5D, 0x00}));
    apply("21C1..2");
    EXPECT_EQ(places(1), (Places{0xE0, 0x80, 0x37}));
    apply("22C1.2.3.");  // a point may follow the third place
    EXPECT_EQ(places(2), (Places{0xE0, 0xB7, 0xF5}));
    apply("23C123..4");  // no fourth place for a point or a digit
    EXPECT_EQ(places(3), (Places{0x60, 0x37, 0xF5}));
}

TEST_F(PricePreviewTest, only_25_characters_after_the_letter_are_walked) {
    std::string text = "21C" + std::string(24, 'x') + "12";
    apply(text.c_str());
    EXPECT_EQ(places(1), (Places{0x60, 0x00, 0x00}));
}

TEST_F(PricePreviewTest, segment_mask_sets_wire_bits_and_clears_blink) {
    apply("21M888");
    apply("21BFF0000");
    EXPECT_EQ(places(1), (Places{0xFF, 0x00, 0x00}));
    EXPECT_FALSE(blinks(1));
    MemoryCanvas c = paint();
    EXPECT_EQ(segment(c, 1, 0, POINT), kWhite);
    EXPECT_EQ(segment(c, 1, 0, G), kWhite);
    EXPECT_EQ(segment(c, 1, 1, G), kDark);

    // Wire order a b c d e f g point, most significant first.
    apply("22B801002");
    EXPECT_EQ(places(2), (Places{1u << A, 1u << D, 1u << G}));
    EXPECT_EQ(wire_to_place(0x01), 1u << POINT);
    EXPECT_EQ(wire_to_place(0x40), 1u << B);
    EXPECT_EQ(wire_to_place(0x04), 1u << F);
    // Pairs read as a base-16 conversion reads them: blanks skipped, stop at a non-hex.
    apply("23B1Z 8zz");
    EXPECT_EQ(places(3), (Places{1u << POINT, 1u << E, 0x00}));
}

TEST_F(PricePreviewTest, rejected_texts_change_nothing_but_still_repaint) {
    apply("21C4.59");
    apply("24M1");
    const Places before = places(1);
    host.clear_invalidations();
    std::string too_long = "21C" + std::string(81, '1');
    for (const char* text : {"21BFF000", "21BFF00000", "26C1.00", "81C1.00", "001HELLO", "21X123", "21", "",
                             too_long.c_str()}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(parse_price_command(p.state, text), -1);
        apply(text);
        EXPECT_EQ(places(1), before);
        EXPECT_TRUE(blinks(4));
    }
    EXPECT_TRUE(invalidated(price_row_rect(1)));  // 21BFF000 names field 1
    EXPECT_TRUE(invalidated(kPreviewDigitArea));  // 26C1.00 and 001HELLO name none
    EXPECT_EQ(parse_price_command(p.state, nullptr), -1);
    rebuild_price_preview(p, nullptr);
    EXPECT_EQ(parse_price_command(p.state, "71C1"), 0);  // any controller 0..7
}

TEST_F(PricePreviewTest, reset_blanks_every_place_and_hides_the_bulbs) {
    for (const char* t : {"21M888", "22C1.2.3", "23M---", "24BFFFFFF", "25M9.99"}) apply(t);
    rec().backlight_on = true;
    p.state.shown_backlight = 1;
    MemoryCanvas lit = paint();
    host.clear_invalidations();

    reset_preview(p);
    for (int n = 1; n <= 5; ++n) {
        EXPECT_EQ(places(n), (Places{0, 0, 0}));
        EXPECT_FALSE(blinks(n));
    }
    EXPECT_FALSE(rec().backlight_on.load());
    EXPECT_EQ(p.state.shown_backlight.load(), 0);
    EXPECT_TRUE(invalidated(kPreviewBulbColumn));
    EXPECT_STREQ(p.state.current_command, "25C   ");
    EXPECT_EQ(p.state.link_lock.value(), 0);
    EXPECT_EQ(p.state.reply_lock.value(), 0);

    MemoryCanvas c = paint();
    for (int n = 1; n <= 5; ++n)
        for (int place = 0; place < 3; ++place)
            for (int bit = 0; bit < 8; ++bit) ASSERT_EQ(segment(c, n, place, bit), kDark);
    // The bulb squares are plain grey again where the icon was drawn.
    const IconImage* bulb = find_icon(kIconBulb);
    ASSERT_NE(bulb, nullptr);
    int opaque = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            uint32_t argb = bulb->argb[static_cast<size_t>(y * 32 + x)];
            if ((argb >> 24) < 0x80) continue;
            ++opaque;
            Color icon = rgb(static_cast<int>((argb >> 16) & 0xFF), static_cast<int>((argb >> 8) & 0xFF),
                             static_cast<int>(argb & 0xFF));
            ASSERT_EQ(lit.pixel(224 + x, 144 + 81 * 2 + y), icon);
            ASSERT_EQ(c.pixel(224 + x, 144 + 81 * 2 + y), kGrey);
        }
    EXPECT_GT(opaque, 0);

    // A second reset finds the bulbs already hidden and leaves their column alone.
    host.clear_invalidations();
    reset_preview(p);
    EXPECT_FALSE(invalidated(kPreviewBulbColumn));
}

TEST_F(PricePreviewTest, reset_waits_for_the_link_lock_before_touching_the_command) {
    copy_text(p.state.current_command, sizeof p.state.current_command, "21C4.59");
    p.state.link_lock.acquire();
    auto done = std::async(std::launch::async, [&] { reset_preview(p); });
    EXPECT_EQ(done.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    EXPECT_STREQ(p.state.current_command, "21C4.59");
    p.state.link_lock.release();
    ASSERT_EQ(done.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_STREQ(p.state.current_command, "25C   ");
}

TEST_F(PricePreviewTest, paint_moves_the_panel_with_the_scroll_offsets) {
    rec().scroll_x = 7;
    rec().scroll_y = 112;
    paint();
    EXPECT_EQ(host.window_position(kPanelWindow), (Rect{-7, -112, 1993, 888}));
}

TEST_F(PricePreviewTest, operations_without_a_record_do_nothing) {
    p.record.reset();
    rebuild_price_preview(p, "21C888");
    reset_preview(p);
    blink_tick(p);
    MemoryCanvas c(700, 560, rgb(1, 2, 3));
    paint_preview(p, c);
    EXPECT_EQ(places(1), (Places{0, 0, 0}));
    EXPECT_EQ(c.pixel(300, 300), rgb(1, 2, 3));
    EXPECT_TRUE(host.invalidations(kPanelWindow).empty());
}

TEST_F(PricePreviewTest, rebuilds_on_a_worker_thread_race_no_paint) {
    std::atomic<bool> stop{false};
    std::thread worker([&] {
        const char* texts[] = {"21C1.23", "21M4.56", "22B00FF00", "25M 9"};
        for (int i = 0; i < 2000; ++i) rebuild_price_preview(p, texts[i % 4]);
        stop = true;
    });
    MemoryCanvas canvas(700, 560);
    while (!stop) {
        paint_preview(p, canvas);
        blink_tick(p);
    }
    worker.join();
    EXPECT_EQ(places(2), (Places{0x00, wire_to_place(0xFF), 0x00}));
}

}  // namespace
}  // namespace kc
