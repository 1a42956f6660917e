// Tests (operator panel): the panel's buttons fill the command slots, its refusals,
// the script button, the file chooser, panel timers 4 to 7 and the caption colours.
#include <fstream>

#include "app_fixture.h"
#include "preview/price_preview.h"

namespace kc::test {
namespace {

using ControlPanelTest = AppTest;

constexpr uint8_t kPoint = 0x80;

TEST_F(ControlPanelTest, send_prices_queues_five_commands_and_20E) {
    host.type(kPanelWindow, kIdPrice1, "4.59");
    host.type(kPanelWindow, kIdPrice3, "12345678");  // only 6 characters are taken
    host.press(kPanelWindow, kIdBlink1 + 1);         // box ticked, price empty
    host.press(kPanelWindow, kIdSendPrices);
    ASSERT_TRUE(wait_slot_free(46));
    EXPECT_EQ(text_of(3), "21C4.59");
    EXPECT_EQ(text_of(4), "22M");
    EXPECT_EQ(text_of(5), "23C123456");
    EXPECT_EQ(text_of(6), "24C");
    EXPECT_EQ(text_of(7), "25C");
    EXPECT_EQ(text_of(46), "20E");
    EXPECT_TRUE(host.messages().empty());

    host.press(kPanelWindow, kIdBlink1);
    host.press(kPanelWindow, kIdSendPrices);
    ASSERT_TRUE(wait_slot_free(46));
    EXPECT_EQ(text_of(3), "21M4.59");
}

TEST_F(ControlPanelTest, test_mode_shows_sent_prices_in_the_preview_at_once) {
    host.type(kPanelWindow, kIdPrice1, "4.59");
    host.press(kPanelWindow, kIdBlink1);
    host.press(kPanelWindow, kIdSendPrices);
    ASSERT_TRUE(host.pump_until([&] { return p.state.price_segments[0][2] == digit_image('9'); }, 3000));
    EXPECT_EQ(p.state.price_segments[0][0], digit_image('4') | kPoint);
    EXPECT_EQ(p.state.price_segments[0][1], digit_image('5'));
    EXPECT_EQ(p.state.price_blink[0], 1);
    EXPECT_EQ(p.state.ilosc_transmisji, 0);
    EXPECT_TRUE(line->written().empty());
}

TEST_F(ControlPanelTest, connected_prices_go_out_on_the_line) {
    connect();
    host.type(kPanelWindow, kIdPrice2, "5.09");
    host.press(kPanelWindow, kIdSendPrices);
    EXPECT_TRUE(host.pump_until([&] { return line->written().find("21C") != std::string::npos; }, 3000));
    line->receive("\x06");
    EXPECT_TRUE(host.pump_until([&] { return line->written().find("22C5.09") != std::string::npos; }, 3000));
}

TEST_F(ControlPanelTest, sends_are_refused_while_disconnected) {
    host.menu(kCmdDisconnect);
    blank_slot(3);
    host.type(kPanelWindow, kIdPrice1, "4.59");
    for (int button : {kIdSendPrices, kIdSendDisplay1, kIdScriptButton}) host.press(kPanelWindow, button);
    ASSERT_EQ(host.messages().size(), 3u);
    for (const ShownMessage& m : host.messages()) {
        EXPECT_EQ(m.text, cp("Rozłączony !     "));
        EXPECT_EQ(m.caption, cp("Błąd"));
    }
    EXPECT_EQ(text_of(3), "");
    for (int n = kFirstSlot; n <= kLastSlot; ++n) EXPECT_FALSE(slot_pending(p.state, n)) << n;
    EXPECT_EQ(panel_text(p, kIdScriptButton), "Start");
}

TEST_F(ControlPanelTest, display_texts_fill_their_slots) {
    host.type(kPanelWindow, kIdDisplay1Text, "HELLO");
    host.press(kPanelWindow, kIdSendDisplay1);
    ASSERT_TRUE(wait_slot_free(15));
    EXPECT_EQ(text_of(1), "000HELLO");
    EXPECT_EQ(text_of(15), "00E");

    host.type(kPanelWindow, kIdDisplay2Text, std::string(100, 'x'));
    host.press(kPanelWindow, kIdNegative2);
    host.press(kPanelWindow, kIdSendDisplay2);
    ASSERT_TRUE(wait_slot_free(25));
    EXPECT_EQ(text_of(2), "101" + std::string(80, 'x'));
    EXPECT_EQ(text_of(25), "10E");
}

TEST_F(ControlPanelTest, backlight_buttons_need_a_real_link) {
    host.press(kPanelWindow, kIdBacklightOn);
    host.press(kPanelWindow, kIdBacklightOff);
    ASSERT_EQ(host.messages().size(), 2u);
    for (const ShownMessage& m : host.messages()) {
        EXPECT_EQ(m.text, cp("Nie połączony !   "));
        EXPECT_EQ(m.caption, cp("Błąd"));
        EXPECT_EQ(m.icon, MessageIcon::Exclamation);
    }
    EXPECT_EQ(text_of(43), "");
    EXPECT_EQ(text_of(44), "");
    EXPECT_EQ(text_of(45), "");
}

TEST_F(ControlPanelTest, backlight_buttons_queue_switch_and_query_when_connected) {
    connect();
    record().auto_backlight = true;
    host.press(kPanelWindow, kIdBacklightOn);
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(last_message().text, t(Txt::MsgAutoBacklight));
    EXPECT_EQ(text_of(43), "");

    record().auto_backlight = false;
    host.press(kPanelWindow, kIdBacklightOff);
    EXPECT_EQ(text_of(44), "20Z0");
    EXPECT_EQ(text_of(45), "20Z");
    EXPECT_EQ(text_of(43), "");
    EXPECT_TRUE(host.pump_until([&] { return line->written().find("20Z0") != std::string::npos; }, 3000));
}

TEST_F(ControlPanelTest, script_start_and_stop_in_test_mode) {
    {
        std::ofstream script(file("loop.txt"), std::ios::binary);
        script << "21C1.00\r\n{S60000}{G}\r\n";
    }
    host.type(kPanelWindow, kIdScriptPath, file("loop.txt").string());
    host.press(kPanelWindow, kIdScriptButton);
    ASSERT_TRUE(record().script_running);
    EXPECT_EQ(panel_text(p, kIdScriptButton), "Stop");
    EXPECT_EQ(status(), t(Txt::StatusTestModeScript));
    EXPECT_TRUE(host.pump_until([&] { return p.state.price_segments[0][1] == digit_image('0'); }, 3000));

    host.press(kPanelWindow, kIdScriptButton);
    EXPECT_FALSE(record().script_running);
    EXPECT_EQ(panel_text(p, kIdScriptButton), "Start");
    EXPECT_EQ(status(), t(Txt::StatusTestMode));
    EXPECT_TRUE(host.messages().empty());
}

TEST_F(ControlPanelTest, script_that_ended_by_itself_starts_again) {
    {
        std::ofstream script(file("once.txt"), std::ios::binary);
        script << "21C7.77\r\n";
    }
    host.type(kPanelWindow, kIdScriptPath, file("once.txt").string());
    host.press(kPanelWindow, kIdScriptButton);
    ASSERT_TRUE(host.pump_until([&] { return !record().script_running; }, 3000));
    EXPECT_EQ(panel_text(p, kIdScriptButton), "Stop");  // the run's end leaves the panel as it was

    ASSERT_TRUE(wait_slot_free(3));
    blank_slot(3);
    host.press(kPanelWindow, kIdScriptButton);
    EXPECT_TRUE(host.pump_until([&] { return text_of(3) == "21C7.77"; }, 3000));
    EXPECT_TRUE(host.messages().empty());
}

TEST_F(ControlPanelTest, script_that_cannot_be_opened_is_reported) {
    host.type(kPanelWindow, kIdScriptPath, file("missing.txt").string());
    host.press(kPanelWindow, kIdScriptButton);
    host.type(kPanelWindow, kIdScriptPath, "");
    host.press(kPanelWindow, kIdScriptButton);
    ASSERT_EQ(host.messages().size(), 2u);
    for (const ShownMessage& m : host.messages()) {
        EXPECT_EQ(m.text, cp("Błąd otwarcia skryptu"));
        EXPECT_EQ(m.caption, cp("Błąd"));
    }
    EXPECT_FALSE(record().script_running);
    EXPECT_EQ(panel_text(p, kIdScriptButton), "Start");
    EXPECT_EQ(status(), t(Txt::StatusTestMode));
}

TEST_F(ControlPanelTest, file_chooser_sets_the_path_and_cancel_keeps_it) {
    host.type(kPanelWindow, kIdScriptPath, "old.txt");
    host.next_file_choice(std::nullopt);
    host.press(kPanelWindow, kIdChooseScript);
    EXPECT_EQ(panel_text(p, kIdScriptPath), "old.txt");
    auto filters = host.last_file_filters();
    ASSERT_EQ(filters.size(), 2u);
    EXPECT_EQ(filters[0].name, "Pliki Tekstowe");
    EXPECT_EQ(filters[0].pattern, "*.txt");
    EXPECT_EQ(filters[1].name, "Wszystkie Pliki (*.*)");
    EXPECT_EQ(filters[1].pattern, "*.*");

    host.next_file_choice(std::string("/srv/skrypty/ceny.txt"));
    host.press(kPanelWindow, kIdChooseScript);
    EXPECT_EQ(panel_text(p, kIdScriptPath), "/srv/skrypty/ceny.txt");
}

TEST_F(ControlPanelTest, blink_timer_flashes_only_blinking_prices) {
    host.clear_invalidations();
    host.advance(1000);
    EXPECT_EQ(p.state.blink_phase, 0);
    EXPECT_TRUE(host.invalidations(kPanelWindow).empty());

    host.type(kPanelWindow, kIdPrice2, "1.23");
    host.press(kPanelWindow, kIdBlink1 + 1);
    host.press(kPanelWindow, kIdSendPrices);
    ASSERT_TRUE(host.pump_until([&] { return p.state.price_blink[1] == 1; }, 3000));
    ASSERT_TRUE(wait_slot_free(46));
    host.clear_invalidations();
    host.advance(330);
    EXPECT_EQ(p.state.blink_phase, 1);
    auto rects = host.invalidations(kPanelWindow);
    EXPECT_NE(std::find(rects.begin(), rects.end(), price_row_rect(2)), rects.end());
    EXPECT_EQ(std::find(rects.begin(), rects.end(), price_row_rect(1)), rects.end());
}

TEST_F(ControlPanelTest, automatic_backlight_timer_follows_the_thresholds) {
    p.state.light_settings[kPriceHighLevel] = 200;
    p.state.light_settings[kPriceLowLevel] = 40;
    auto tick = [&](int level) {
        blank_slot(36);
        blank_slot(37);
        p.state.light_level = level;
        panel.on_timer(kTimerAutoBacklight);
        return text_of(36) + "|" + text_of(37);
    };
    EXPECT_EQ(tick(250), "|");  // off: nothing
    record().auto_backlight = true;
    EXPECT_EQ(tick(-1), "|");   // no reading
    EXPECT_EQ(tick(200), "|20z");
    EXPECT_EQ(tick(40), "20Z|");
    EXPECT_EQ(tick(100), "|");
    p.state.light_settings[kPriceHighLevel] = 50;
    p.state.light_settings[kPriceLowLevel] = 60;
    EXPECT_EQ(tick(55), "20Z|20z");
}

TEST_F(ControlPanelTest, statistics_timer_writes_only_when_logging) {
    panel.on_timer(kTimerStatistics);
    EXPECT_FALSE(std::filesystem::exists(file("KavorCs.pod")));
    record().log_traffic = true;
    panel.on_timer(kTimerStatistics);
    EXPECT_TRUE(std::filesystem::exists(file("KavorCs.pod")));
}

TEST_F(ControlPanelTest, captions_are_drawn_in_their_colours_on_grey) {
    p.state.price_label_colors[2] = 0x123456;
    StaticColors colors;
    ASSERT_TRUE(panel.on_static_color(kIdCaption1, colors));
    EXPECT_EQ(colors.background, 0xB4B4B4u);
    EXPECT_EQ(colors.text, 0x00FF00u);
    ASSERT_TRUE(panel.on_static_color(kIdCaption1 + 2, colors));
    EXPECT_EQ(colors.text, 0x123456u);
    ASSERT_TRUE(panel.on_static_color(kIdLightLevel, colors));
    EXPECT_EQ(colors.background, 0xFFFFFFu);
    EXPECT_FALSE(panel.on_static_color(kIdStatus, colors));
    EXPECT_FALSE(panel.on_static_color(kIdCaption1 + 5, colors));
}

}  // namespace
}  // namespace kc::test
