// Tests (controller exchange): acknowledges and reply frames for the slot in flight.
#include <future>
#include <thread>

#include "link_fixture.h"

namespace kc::test {
namespace {

class RepliesTest : public LinkTest {
protected:
    // Sends `text` from `number` and leaves it in flight.
    void in_flight(int number, const char* text) {
        connect();
        queue(number, text);
        p.state.slot_cursor = number - 1;
        pass();
        ASSERT_EQ(rec().current_slot, number);
    }
};

TEST_F(RepliesTest, ack_amid_noise_completes_a_price_and_shows_what_was_sent) {
    in_flight(3, "21C4.59");
    p.state.price_segments[0][0] = 0x7F;
    arrive("xy\x15" "\x06" "\x02zz");
    EXPECT_EQ(rec().current_slot, 0);
    EXPECT_FALSE(slot_pending(p.state, 3));
    EXPECT_EQ(p.state.price_segments[0][0], 0x6C | 0x80);
    EXPECT_EQ(p.state.price_segments[0][2], 0x7D);
    EXPECT_EQ(status(), txt(Txt::StatusConnected));
    EXPECT_FALSE(host.timer_running(kPanelWindow, kTimerReply));
}

TEST_F(RepliesTest, block_without_ack_leaves_the_command_in_flight) {
    in_flight(43, "20Z1");
    arrive("\x05\x07 garbage");
    EXPECT_EQ(rec().current_slot, 43);
    EXPECT_TRUE(host.timer_running(kPanelWindow, kTimerReply));
}

TEST_F(RepliesTest, ack_while_version_query_is_in_flight_does_nothing) {
    in_flight(47, "20V");
    arrive(kAckByte);
    EXPECT_EQ(rec().current_slot, 47);
    EXPECT_TRUE(slot_pending(p.state, 47));
    host.advance(150);
    EXPECT_EQ(frames_written(), 2u);  // retried on its time-out
}

TEST_F(RepliesTest, ack_for_a_data_slot_or_a_slot_without_handling_is_ignored) {
    for (int n : {29, 45}) {
        in_flight(n, n == 29 ? "20S" : "20Z");
        arrive(kAckByte);
        EXPECT_EQ(rec().current_slot, n);
        clear_command_queue(p);
        rec().reply_timer_on = false;
    }
    in_flight(8, "00X1");
    arrive(kAckByte + frame("X1"));
    EXPECT_EQ(rec().current_slot, 8);
}

TEST_F(RepliesTest, segment_reply_of_35_bytes_sets_all_fifteen_places) {
    in_flight(3, "20C");
    // Price 1: 0x80 (a), 0x01 (point), 0xFF; the rest counts up so every place is checked.
    std::string hex = "8001FF";
    const uint8_t wire[12] = {0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0xFC, 0x60, 0xDA, 0x00, 0xF6, 0x03};
    const uint8_t place[12] = {0x20, 0x40, 0x01, 0x02, 0x08, 0x04, 0x7B, 0x60, 0x37, 0x00, 0x7D, 0x84};
    char two[3];
    for (uint8_t b : wire) {
        std::snprintf(two, sizeof two, "%02X", b);
        hex += two;
    }
    std::string reply = frame("C" + hex);
    ASSERT_EQ(reply.size(), 35u);
    arrive(reply);

    EXPECT_EQ(p.state.price_segments[0][0], 0x10);
    EXPECT_EQ(p.state.price_segments[0][1], 0x80);
    EXPECT_EQ(p.state.price_segments[0][2], 0xFF);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(p.state.price_segments[1 + i / 3][i % 3], place[i]) << i;
    EXPECT_EQ(rec().current_slot, 0);
    EXPECT_FALSE(slot_pending(p.state, 3));
}

TEST_F(RepliesTest, segment_reply_of_34_or_36_bytes_is_ignored_and_retried) {
    in_flight(3, "20C");
    p.state.price_segments[0][0] = 0x55;
    arrive(frame("C" + std::string(29, '0')));  // 34 bytes
    arrive(frame("C" + std::string(31, '0')));  // 36 bytes: abandoned at the limit
    EXPECT_EQ(p.state.price_segments[0][0], 0x55);
    EXPECT_EQ(rec().current_slot, 3);
    EXPECT_EQ(p.state.blad_crc, 0);
    host.advance(100);
    EXPECT_EQ(frames_written(), 2u);
}

TEST_F(RepliesTest, blink_reply_sets_and_clears_each_price) {
    in_flight(4, "20M");
    p.state.price_blink[1] = 1;
    arrive(frame("M10101"));
    const uint8_t expected[5] = {1, 0, 1, 0, 1};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(p.state.price_blink[i], expected[i]) << i;
    EXPECT_EQ(rec().current_slot, 0);
}

TEST_F(RepliesTest, bad_checksum_counts_and_a_later_good_frame_completes) {
    in_flight(4, "20M");
    arrive(bad_frame("M11111"));
    EXPECT_EQ(p.state.blad_crc, 1);
    EXPECT_EQ(p.state.blad_transmisji, 1);
    EXPECT_EQ(rec().current_slot, 4);
    EXPECT_EQ(p.state.price_blink[0], 0);

    // Resent on the time-out; the second answer holds a bad and then a good frame.
    host.advance(100);
    arrive(bad_frame("M11111") + frame("M11000"));
    EXPECT_EQ(p.state.blad_crc, 2);
    EXPECT_EQ(p.state.blad_transmisji, 3);
    EXPECT_EQ(p.state.price_blink[0], 1);
    EXPECT_EQ(p.state.price_blink[2], 0);
    EXPECT_EQ(rec().current_slot, 0);
    EXPECT_EQ(status(), txt(Txt::StatusConnected));
}

TEST_F(RepliesTest, lower_case_checksum_is_accepted) {
    in_flight(29, "20S");
    ASSERT_EQ(checksum_hex("S28"), "2B");
    arrive(std::string("\x02S282b\x03"));
    EXPECT_EQ(p.state.light_level, 28);
    EXPECT_EQ(p.state.blad_crc, 0);
}

TEST_F(RepliesTest, right_checksum_with_the_wrong_letter_is_dropped_uncounted) {
    in_flight(29, "20S");
    arrive(frame("V123"));
    EXPECT_EQ(rec().current_slot, 29);
    EXPECT_EQ(p.state.blad_crc, 0);
    EXPECT_EQ(p.state.blad_transmisji, 0);
}

TEST_F(RepliesTest, reply_split_over_two_blocks_completes) {
    in_flight(29, "20S");
    std::string f = frame("S45");
    arrive("noise" + f.substr(0, 3));
    EXPECT_EQ(rec().current_slot, 29);
    arrive(f.substr(3));
    EXPECT_EQ(p.state.light_level, 45);
    EXPECT_EQ(rec().current_slot, 0);
}

TEST_F(RepliesTest, second_stx_restarts_the_frame) {
    in_flight(29, "20S");
    arrive("\x02S9" + frame("S12"));
    EXPECT_EQ(p.state.light_level, 12);
    EXPECT_EQ(p.state.blad_crc, 0);
}

TEST_F(RepliesTest, light_level_reply_is_shown_as_it_came) {
    in_flight(29, "20S");
    arrive(frame("S123"));
    EXPECT_EQ(panel_text(p, kIdLightLevel), "123");
    EXPECT_EQ(p.state.light_level, 123);

    in_flight(29, "20S");
    arrive(frame("Sxy"));  // not a number: shown, counts as 0
    EXPECT_EQ(panel_text(p, kIdLightLevel), "xy");
    EXPECT_EQ(p.state.light_level, 0);
}

TEST_F(RepliesTest, valid_frame_with_nothing_in_flight_changes_nothing) {
    connect();
    p.state.light_level = 5;
    arrive(frame("S123") + kAckByte);
    EXPECT_EQ(p.state.light_level, 5);
    EXPECT_EQ(panel_text(p, kIdLightLevel), "");
}

TEST_F(RepliesTest, light_setting_replies_fill_their_entries) {
    in_flight(36, "20L");
    arrive(frame("L200"));
    EXPECT_EQ(p.state.light_settings[kPriceHighLevel], 200);
    in_flight(30, "20l");
    arrive(frame("l7"));
    EXPECT_EQ(p.state.light_settings[kPriceLowLevel], 7);
    in_flight(38, "22O");
    arrive(frame("O99"));
    EXPECT_EQ(p.state.light_settings[kPricePowerHigh1 + 1], 99);
    in_flight(35, "25o");
    arrive(frame("o12"));
    EXPECT_EQ(p.state.light_settings[kPricePowerLow1 + 4], 12);

    // An O answer in an o slot stores nothing but still completes.
    in_flight(31, "21o");
    arrive(frame("O55"));
    EXPECT_EQ(rec().current_slot, 0);
    for (int i = kPricePowerHigh1; i < kPricePowerHigh1 + 5; ++i) EXPECT_NE(p.state.light_settings[i], 55);
    EXPECT_EQ(p.state.light_settings[kPricePowerLow1], 255);
}

TEST_F(RepliesTest, auto_backlight_reply_sets_the_flag) {
    in_flight(42, "20A");
    arrive(frame("A1"));
    EXPECT_TRUE(rec().auto_backlight);
    in_flight(42, "20A");
    arrive(frame("A10"));  // 7 bytes: not an answer here
    EXPECT_TRUE(rec().auto_backlight);
    EXPECT_EQ(rec().current_slot, 42);
}

TEST_F(RepliesTest, backlight_reply_repaints_the_bulbs_only_on_a_change) {
    in_flight(45, "20Z");
    arrive(frame("Z1"));
    EXPECT_TRUE(rec().backlight_on);
    EXPECT_EQ(p.state.shown_backlight, 1);
    auto rects = host.invalidations(kPanelWindow);
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_EQ(rects[0].left, 224);
    EXPECT_EQ(rects[0].top, 112);
    EXPECT_EQ(rects[0].right, 256);
    EXPECT_EQ(rects[0].bottom, 500);

    host.clear_invalidations();
    in_flight(45, "20Z");
    arrive(frame("Z1"));
    EXPECT_TRUE(host.invalidations(kPanelWindow).empty());
    EXPECT_EQ(rec().current_slot, 0);
}

TEST_F(RepliesTest, version_reply_during_readback_saves_once) {
    connect();
    queue_readback(p);
    clear_command_queue(p);
    in_flight(47, "20V");
    arrive(frame("V1.07") + frame("V1.07"));
    EXPECT_EQ(p.state.price_controller_version.get(), "ver.1.07");
    EXPECT_TRUE(settings_file_exists());
    EXPECT_FALSE(rec().readback_active);

    // A version answer outside a read-back writes nothing.
    std::filesystem::remove(dir / "KavorCen.ini");
    in_flight(47, "20V");
    arrive(frame("V2.00"));
    EXPECT_EQ(p.state.price_controller_version.get(), "ver.2.00");
    EXPECT_FALSE(settings_file_exists());
    EXPECT_EQ(p.state.settings_lock.value(), 0);
}

TEST_F(RepliesTest, temperature_reply_fills_the_temperature_field) {
    in_flight(28, "20T");
    arrive(frame("T-3.5"));
    EXPECT_EQ(panel_text(p, kIdTemperature), "-3.5");
    EXPECT_EQ(rec().current_slot, 0);
}

TEST_F(RepliesTest, display_replies_fill_versions_speeds_and_light_settings) {
    in_flight(16, "00V");
    arrive(frame("V2.03"));
    EXPECT_EQ(p.state.display_controller_version.get(), "ver.2.03");
    in_flight(14, "00P");
    arrive(frame("P35"));
    EXPECT_EQ(p.state.scroll_speed[0], 35);
    in_flight(21, "10O");
    arrive(frame("O17"));
    EXPECT_EQ(p.state.light_settings[kDisplay2HighPower], 17);
    in_flight(12, "00l");
    arrive(frame("l3"));
    EXPECT_EQ(p.state.light_settings[kDisplay1LowLevel], 3);
}

TEST_F(RepliesTest, display_text_read_back_is_converted_to_windows_1250) {
    in_flight(1, "002");
    arrive(frame("002"));  // the sign's echo of the request is not the answer
    EXPECT_EQ(rec().current_slot, 1);
    arrive(frame("1A\x80\x91\x95\x9F"));
    EXPECT_EQ(rec().current_slot, 0);
    EXPECT_STREQ(p.state.current_command, "001A\xB9\x8F\x95\xFF");
}

TEST_F(RepliesTest, price_rewritten_while_in_flight_is_sent_after_the_answer) {
    in_flight(3, "21C4.59");
    queue(3, "21C4.69");  // the operator sends again before the sign answered
    arrive(kAckByte);
    EXPECT_EQ(rec().current_slot, 0);
    ASSERT_TRUE(slot_pending(p.state, 3));
    p.state.slot_cursor = 0;
    pass();
    EXPECT_EQ(line->written(), frame("21C4.59") + frame("21C4.69"));

    // Given up, a rewritten slot keeps its new command too.
    queue(3, "21C4.79");
    for (int i = 0; i < 3; ++i) host.advance(100);
    EXPECT_EQ(rec().current_slot, 0);
    EXPECT_TRUE(slot_pending(p.state, 3));
}

// A producer (a script line, say) holds slot_lock at the moment the command ends: the
// end waits for it and frees the slot, so the polling thread never sends it again.
TEST_F(RepliesTest, end_of_a_command_while_a_producer_holds_slot_lock_frees_it_once) {
    connect();
    ASSERT_EQ(start_polling(p), 1);
    // Holds slot_lock on a thread of its own for 50 ms, starting now.
    auto producer_holds_slot_lock = [&] {
        std::promise<void> holding;
        std::thread producer([&] {
            LockGuard g(p.state.slot_lock);
            holding.set_value();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        });
        holding.get_future().wait();
        return producer;
    };
    auto settled = [&](size_t frames) {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));  // room for a wrong resend
        EXPECT_EQ(frames_written(), frames);
        EXPECT_FALSE(slot_pending(p.state, 46));
        EXPECT_EQ(rec().current_slot, 0);
        EXPECT_EQ(p.state.slot_lock.value(), 0);
    };

    // Acknowledged.
    queue(46, "20E");
    ASSERT_TRUE(host.pump_until([&] { return frames_written() == 1; }, 2000));
    std::thread producer = producer_holds_slot_lock();
    arrive(kAckByte);
    producer.join();
    settled(1);
    EXPECT_EQ(status(), txt(Txt::StatusConnected));

    // Given up at the third time-out. A tick that meets the polling thread's brief look
    // at the locks is skipped uncounted, so ticks go until the count is reached.
    queue(46, "20E");
    ASSERT_TRUE(host.pump_until([&] { return frames_written() == 2 && rec().reply_timer_on; }, 2000));
    for (int i = 0; i < 100 && frames_written() < 4; ++i) host.advance(150);
    ASSERT_EQ(frames_written(), 4u);
    producer = producer_holds_slot_lock();
    for (int i = 0; i < 100 && rec().current_slot != 0; ++i) host.advance(150);
    producer.join();
    settled(4);
    EXPECT_EQ(p.state.blad_transmisji, 3);
    EXPECT_EQ(p.state.ilosc_transmisji, 4);
}

TEST(ReplyKind, answer_modes_and_limits_by_slot) {
    EXPECT_EQ(reply_kind(3, false).mode, AnswerMode::Ack);
    EXPECT_EQ(reply_kind(3, true).mode, AnswerMode::Data);
    EXPECT_EQ(reply_kind(3, true).limit, 35);
    EXPECT_EQ(reply_kind(1, true).limit, 85);
    EXPECT_EQ(reply_kind(29, false).mode, AnswerMode::Data);
    EXPECT_EQ(reply_kind(29, false).limit, 8);
    EXPECT_EQ(reply_kind(47, false).mode, AnswerMode::Data);
    EXPECT_EQ(reply_kind(45, false).mode, AnswerMode::None);
    EXPECT_EQ(reply_kind(45, true).mode, AnswerMode::Data);
    EXPECT_EQ(reply_kind(28, false).limit, 10);
    for (int s : {8, 17, 18, 19, 26, 27, 0, 48}) EXPECT_EQ(reply_kind(s, true).mode, AnswerMode::None) << s;
    for (int s : {15, 25, 43, 44, 46}) EXPECT_EQ(reply_kind(s, true).mode, AnswerMode::Ack) << s;
}

}  // namespace
}  // namespace kc::test
