// Tests (controller exchange): slot order, test mode, reply time-outs and the read-back.
#include <thread>

#include "link_fixture.h"

namespace kc::test {
namespace {

class PollingTest : public LinkTest {};

TEST_F(PollingTest, price_batch_goes_in_slot_order_one_answer_at_a_time) {
    connect();
    queue(3, "21M4.59");
    queue(46, "20E");
    p.state.slot_cursor = 2;

    pass();
    EXPECT_EQ(rec().current_slot, 3);
    EXPECT_EQ(line->written(), frame("21M4.59"));
    EXPECT_FALSE(rec().query_pending);
    pass();  // nothing more goes out while slot 3 is in flight
    EXPECT_EQ(frames_written(), 1u);

    arrive(kAckByte);
    EXPECT_FALSE(slot_pending(p.state, 3));
    pass();
    EXPECT_EQ(rec().current_slot, 46);
    EXPECT_EQ(line->written(), frame("21M4.59") + frame("20E"));
    EXPECT_EQ(p.state.ilosc_transmisji, 2);
}

TEST_F(PollingTest, cursor_above_a_pending_slot_takes_it_only_after_a_reset) {
    connect();
    queue(5, "23C1.00");
    queue(30, "20l40");
    p.state.slot_cursor = 10;

    pass();
    EXPECT_EQ(rec().current_slot, 30);
    EXPECT_EQ(p.state.slot_cursor, 30);
    arrive(kAckByte);

    pass();  // nothing above 30: the cursor goes back to the start
    EXPECT_EQ(rec().current_slot, 0);
    EXPECT_EQ(p.state.slot_cursor, 0);

    pass();
    EXPECT_EQ(rec().current_slot, 5);
    EXPECT_EQ(line->written(), frame("20l40") + frame("23C1.00"));
}

TEST_F(PollingTest, taking_slot_47_resets_the_cursor_at_once) {
    connect();
    queue(47, "20V");
    pass();
    EXPECT_EQ(rec().current_slot, 47);
    EXPECT_EQ(p.state.slot_cursor, 0);
    EXPECT_TRUE(rec().query_pending);
}

TEST_F(PollingTest, query_pending_follows_the_rules_of_each_slot_range) {
    connect();
    struct Case {
        int slot;
        const char* text;
        bool query;
    } cases[] = {
        {1, "002", true},   {1, "001AB", false}, {3, "20C", true},  {4, "20M", true},
        {3, "21C", false},  {3, "21C4.59", false}, {30, "20l", true}, {30, "20l40", false},
        {45, "20Z", true},  {43, "20Z1", false},   {29, "20S", true},
    };
    for (const Case& c : cases) {
        queue(c.slot, c.text);
        pass();
        ASSERT_EQ(rec().current_slot, c.slot) << c.text;
        EXPECT_EQ(rec().query_pending.load(), c.query) << c.text;
        clear_command_queue(p);
        rec().reply_timer_on = false;
        p.state.slot_cursor = 0;
    }
}

TEST_F(PollingTest, test_mode_applies_commands_without_frames_or_counters) {
    rec().test_mode = true;
    set_panel_text(p, kIdLightLevel, "123");
    p.state.light_level = 123;
    queue(3, "21C4.59");
    queue(7, "25M 12");
    queue(29, "20S");
    queue(46, "20E");
    for (int i = 0; i < 6; ++i) pass();

    EXPECT_EQ(frames_written(), 0u);
    EXPECT_EQ(p.state.ilosc_transmisji, 0);
    EXPECT_EQ(p.state.blad_transmisji, 0);
    for (int n : {3, 7, 29, 46}) EXPECT_FALSE(slot_pending(p.state, n)) << n;
    EXPECT_EQ(rec().current_slot, 0);
    EXPECT_FALSE(rec().query_pending);
    EXPECT_FALSE(host.timer_running(kPanelWindow, kTimerReply));
    // The preview shows what was queued: 4 with its point, 5, 9; field 5 blank, 1, 2, blinking.
    EXPECT_EQ(p.state.price_segments[0][0], 0x6C | 0x80);
    EXPECT_EQ(p.state.price_segments[0][1], 0x5D);
    EXPECT_EQ(p.state.price_segments[0][2], 0x7D);
    EXPECT_EQ(p.state.price_segments[4][1], 0x60);
    EXPECT_EQ(p.state.price_blink[4], 1);
    EXPECT_EQ(panel_text(p, kIdLightLevel), "");
    EXPECT_EQ(p.state.light_level, -1);
}

TEST_F(PollingTest, command_neither_sent_nor_applied_stalls_until_the_queue_is_cleared) {
    queue(3, "21C1.00");
    queue(4, "22C2.00");
    ASSERT_EQ(start_polling(p), 1);
    ASSERT_TRUE(host.pump_until([&] { return rec().current_slot == 3; }, 2000));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(rec().current_slot, 3);
    EXPECT_TRUE(slot_pending(p.state, 4));
    EXPECT_EQ(p.state.ilosc_transmisji, 0);

    clear_command_queue(p);
    rec().test_mode = true;
    queue(5, "23C3.00");
    EXPECT_TRUE(host.pump_until([&] { return !slot_pending(p.state, 5); }, 2000));
    stop_polling(p);
    EXPECT_EQ(rec().poll_thread_id, 0u);
}

TEST_F(PollingTest, never_answered_command_is_sent_three_times_then_given_up) {
    connect();
    queue(3, "21C4.59");
    set_panel_text(p, kIdLightLevel, "88");
    p.state.light_level = 88;
    pass();
    ASSERT_TRUE(host.timer_running(kPanelWindow, kTimerReply));
    EXPECT_EQ(host.timer_period(kPanelWindow, kTimerReply), 100);

    host.advance(100);
    EXPECT_EQ(frames_written(), 2u);
    EXPECT_EQ(status(), txt(Txt::StatusTransmissionError));
    EXPECT_TRUE(slot_pending(p.state, 3));
    host.advance(100);
    EXPECT_EQ(frames_written(), 3u);
    host.advance(100);  // the third time-out gives up without sending again

    EXPECT_EQ(frames_written(), 3u);
    EXPECT_EQ(line->written(), frame("21C4.59") + frame("21C4.59") + frame("21C4.59"));
    EXPECT_EQ(p.state.blad_transmisji, 3);
    EXPECT_EQ(p.state.ilosc_transmisji, 3);
    EXPECT_FALSE(slot_pending(p.state, 3));
    EXPECT_EQ(rec().current_slot, 0);
    EXPECT_FALSE(rec().reply_timer_on);
    EXPECT_FALSE(host.timer_running(kPanelWindow, kTimerReply));
    EXPECT_EQ(status(), txt(Txt::StatusTransmissionError));
    EXPECT_EQ(panel_text(p, kIdLightLevel), "");
    EXPECT_EQ(p.state.light_level, -1);

    host.advance(500);  // nothing in flight: no more counting
    EXPECT_EQ(p.state.blad_transmisji, 3);
}

TEST_F(PollingTest, command_answered_after_one_timeout_was_sent_twice) {
    connect();
    queue(46, "20E");
    pass();
    EXPECT_EQ(host.timer_period(kPanelWindow, kTimerReply), 150);
    host.advance(150);
    arrive(kAckByte);

    EXPECT_EQ(frames_written(), 2u);
    EXPECT_EQ(p.state.blad_transmisji, 1);
    EXPECT_EQ(p.state.ilosc_transmisji, 2);
    EXPECT_EQ(status(), txt(Txt::StatusConnected));
    EXPECT_FALSE(host.timer_running(kPanelWindow, kTimerReply));
    EXPECT_EQ(rec().current_slot, 0);

    // The next command starts its own count of time-outs.
    queue(46, "20E");
    p.state.slot_cursor = 0;
    pass();
    EXPECT_EQ(rec().current_slot, 46);
    EXPECT_EQ(rec().timeout_count, 0);
}

TEST_F(PollingTest, script_running_answer_shows_the_script_status) {
    connect();
    rec().script_running = true;
    queue(3, "21C1");
    pass();
    arrive(kAckByte);
    EXPECT_EQ(status(), txt(Txt::StatusConnectedScript));
}

TEST_F(PollingTest, timeout_tick_is_skipped_while_the_reader_holds_link_lock) {
    connect();
    queue(46, "20E");
    pass();
    p.state.link_lock.acquire();
    host.advance(150);
    EXPECT_EQ(p.state.blad_transmisji, 0);
    EXPECT_EQ(frames_written(), 1u);
    p.state.link_lock.release();
    host.advance(150);
    EXPECT_EQ(p.state.blad_transmisji, 1);
    EXPECT_EQ(frames_written(), 2u);
    EXPECT_EQ(p.state.link_lock.value(), 0);
    EXPECT_EQ(p.state.reply_lock.value(), 0);
}

TEST_F(PollingTest, reply_timeout_periods_by_slot_and_line_speed) {
    EXPECT_EQ(reply_timeout_period(1, 19200), 150);
    EXPECT_EQ(reply_timeout_period(2, 9600), 300);
    EXPECT_EQ(reply_timeout_period(1, 2400), 1200);
    EXPECT_EQ(reply_timeout_period(3, 19200), 100);
    EXPECT_EQ(reply_timeout_period(7, 9600), 200);
    EXPECT_EQ(reply_timeout_period(5, 2400), 800);
    EXPECT_EQ(reply_timeout_period(3, 38400), 0);
    EXPECT_EQ(reply_timeout_period(15, 19200), 400);
    EXPECT_EQ(reply_timeout_period(25, 110), 400);
    for (int s : {16, 28, 46, 47}) EXPECT_EQ(reply_timeout_period(s, 19200), 150) << s;
    for (int s : {8, 14, 29, 30, 42, 45}) EXPECT_EQ(reply_timeout_period(s, 2400), 100) << s;

    // Above 19200 bit/s a price waits the host's shortest period.
    connect();
    rec().baud_rate = 57600;
    queue(3, "21C1");
    pass();
    EXPECT_EQ(host.timer_period(kPanelWindow, kTimerReply), 10);
}

TEST_F(PollingTest, giving_up_slot_40_during_readback_saves_and_ends_it) {
    connect();
    rec().readback_active = true;
    queue(40, "24O");
    pass();
    for (int i = 0; i < 3; ++i) host.advance(100);
    EXPECT_TRUE(settings_file_exists());
    EXPECT_FALSE(rec().readback_active);
}

TEST_F(PollingTest, giving_up_another_readback_slot_keeps_the_readback_open) {
    connect();
    rec().readback_active = true;
    queue(47, "20V");
    pass();
    for (int i = 0; i < 3; ++i) host.advance(150);
    EXPECT_FALSE(slot_pending(p.state, 47));
    EXPECT_FALSE(settings_file_exists());
    EXPECT_TRUE(rec().readback_active);
}

TEST_F(PollingTest, readback_needs_a_connection) {
    queue_readback(p);
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.messages()[0].text, txt(Txt::MsgNotConnected));
    EXPECT_EQ(host.messages()[0].caption, txt(Txt::CaptionError));
    EXPECT_EQ(host.messages()[0].icon, MessageIcon::Exclamation);
    EXPECT_FALSE(rec().readback_active);
    EXPECT_FALSE(slot_pending(p.state, 47));
}

TEST_F(PollingTest, readback_queues_every_query_and_keeps_the_cursor) {
    connect();
    p.state.slot_cursor = 9;
    queue_readback(p);
    EXPECT_TRUE(host.messages().empty());
    EXPECT_TRUE(rec().readback_active);
    EXPECT_EQ(p.state.slot_cursor, 9);
    EXPECT_EQ(slot_text(p.state, 3), "20C");
    EXPECT_EQ(slot_text(p.state, 4), "20M");
    EXPECT_EQ(slot_text(p.state, 30), "20l");
    EXPECT_EQ(slot_text(p.state, 33), "23o");
    EXPECT_EQ(slot_text(p.state, 36), "20L");
    EXPECT_EQ(slot_text(p.state, 41), "25O");
    EXPECT_EQ(slot_text(p.state, 42), "20A");
    EXPECT_EQ(slot_text(p.state, 47), "20V");
    int pending = 0;
    for (int n = 1; n <= 47; ++n) pending += slot_pending(p.state, n);
    EXPECT_EQ(pending, 16);
    EXPECT_EQ(p.state.slot_lock.value(), 0);
}

TEST_F(PollingTest, polling_thread_lives_between_start_and_stop) {
    EXPECT_EQ(start_polling(p), 1);
    EXPECT_TRUE(rec().poll_run);
    EXPECT_NE(rec().poll_thread_id, 0u);
    stop_polling(p);
    EXPECT_EQ(rec().poll_thread_id, 0u);
    EXPECT_FALSE(rec().poll_run);
    stop_polling(p);  // already ended: returns at once
    EXPECT_EQ(start_polling(p), 1);  // and can start again
    EXPECT_NE(rec().poll_thread_id, 0u);
    stop_polling(p);

    Program none;
    EXPECT_EQ(start_polling(none), 0);
}

TEST_F(PollingTest, polling_thread_skips_its_pass_while_a_producer_holds_slot_lock) {
    rec().test_mode = true;
    ASSERT_EQ(start_polling(p), 1);
    p.state.slot_lock.acquire();
    fill_slot(p.state, 3, "21C1");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(slot_pending(p.state, 3));
    p.state.slot_lock.release();
    EXPECT_TRUE(host.pump_until([&] { return !slot_pending(p.state, 3); }, 2000));
}


// The sleeping thread is woken by every change that lets it go on: here the time-out
// tick that finds the queue cleared under its command and stops the timer.
TEST_F(PollingTest, sleeping_thread_goes_on_when_the_timer_finds_the_queue_cleared) {
    connect();
    ASSERT_EQ(start_polling(p), 1);
    queue(46, "20E");
    ASSERT_TRUE(host.pump_until([&] { return frames_written() == 1 && rec().reply_timer_on; }, 2000));
    clear_command_queue(p);
    queue(3, "21C1.00");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(frames_written(), 1u);  // timer 3 still runs: nothing goes yet
    // Ticks until one finds nothing in flight (a tick that meets the thread's look at the
    // locks is skipped); the command it lets go starts a timer of its own.
    for (int i = 0; i < 100 && rec().reply_timer_on && rec().current_slot == 0; ++i) host.advance(150);
    EXPECT_TRUE(host.pump_until([&] { return frames_written() == 2; }, 2000));
    EXPECT_EQ(line->written(), frame("20E") + frame("21C1.00"));
}

}  // namespace
}  // namespace kc::test
