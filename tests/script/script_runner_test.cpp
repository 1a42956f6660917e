// Script runner tests: whole runs on the script thread, start and stop.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "script_fixture.h"

namespace kc::test {
namespace {

using Runner = ScriptTest;

TEST_F(Runner, start_fails_without_a_path_a_file_or_a_record) {
    host.type(kPanelWindow, kIdScriptPath, "");
    EXPECT_FALSE(start_script(*p));
    host.type(kPanelWindow, kIdScriptPath, (dir / "missing.txt").string());
    EXPECT_FALSE(start_script(*p));
    EXPECT_FALSE(record().script_running);
    EXPECT_EQ(record().script_thread_id, 0u);
    EXPECT_FALSE(record().script_thread.joinable());

    auto r = std::move(p->record);
    EXPECT_FALSE(start_script(*p));
    stop_script(*p);  // nothing to do without a record
    p->record = std::move(r);
}

TEST_F(Runner, empty_file_ends_at_once_without_a_command) {
    run_to_end("");
    for (int n = 3; n <= 7; ++n) EXPECT_FALSE(pending(n)) << n;
}

TEST_F(Runner, lines_go_to_the_price_slot_of_their_field) {
    run_to_end("21C1.00\r\n22M2.00\r\n# comment\r\n\r\n26C9.99\r\n05B1\r\n21C3.00");
    EXPECT_EQ(slot(3), "21C3.00");  // the later line replaced the pending one
    EXPECT_EQ(slot(4), "22M2.00");
    EXPECT_EQ(slot(7), "05B800000");
    EXPECT_FALSE(pending(5));
    EXPECT_FALSE(pending(6));
    EXPECT_TRUE(pending(3));
    EXPECT_EQ(p->state.slot_cursor, 0);
    EXPECT_EQ(p->state.slot_lock.value(), 0);
}

TEST_F(Runner, last_line_without_a_line_end_is_still_routed) {
    run_to_end("21C1.00\r\n23C4.56");
    EXPECT_EQ(slot(5), "23C4.56");
}

TEST_F(Runner, lf_only_cr_only_and_crlf_scripts) {
    run_to_end("21C1\n22C2\n23C3");
    EXPECT_EQ(slot(3), "21C1");
    EXPECT_EQ(slot(4), "22C2");
    EXPECT_EQ(slot(5), "23C3");

    clear_command_queue(*p);
    // After a CR the rest up to the next LF is skipped: a CR-only text is one line.
    run_to_end("24C4\r25C5\r21C6");
    EXPECT_EQ(slot(6), "24C4");
    EXPECT_FALSE(pending(7));
    EXPECT_FALSE(pending(3));

    clear_command_queue(*p);
    run_to_end("21C7\r\n22C8\r\n");
    EXPECT_EQ(slot(3), "21C7");
    EXPECT_EQ(slot(4), "22C8");
}

TEST_F(Runner, four_line_loop_alternates_the_price_until_stopped) {
    write_script("21C1.00\r\n{S1000}\r\n21C2.00\r\n{S1000}{G}\r\n");
    ASSERT_TRUE(start_script(*p));
    EXPECT_TRUE(record().script_running);
    EXPECT_NE(record().script_thread_id, 0u);
    ASSERT_TRUE(wait_until([&] { return slot(3) == "21C1.00"; }));
    ASSERT_TRUE(wait_until([&] { return slot(3) == "21C2.00"; }));
    ASSERT_TRUE(wait_until([&] { return slot(3) == "21C1.00"; }));  // back at the first line
    EXPECT_TRUE(record().script_running);

    within(2000, "stop_script", [&] { stop_script(*p); });
    EXPECT_FALSE(record().script_running);
    EXPECT_EQ(record().script_thread_id, 0u);
    EXPECT_FALSE(record().script_thread.joinable());
    EXPECT_EQ(p->state.slot_lock.value(), 0);
}

TEST_F(Runner, go_on_the_last_line_keeps_the_run_going) {
    write_script("21C1\r\n{S1}{G}");
    ASSERT_TRUE(start_script(*p));
    for (int pass = 0; pass < 3; ++pass) {
        ASSERT_TRUE(wait_until([&] { return pending(3); }));
        kc::slot(p->state, 3).pending->store(0);
    }
    EXPECT_TRUE(thread_alive());
    within(2000, "stop_script", [&] { stop_script(*p); });
    EXPECT_FALSE(record().script_running);
}

TEST_F(Runner, stop_cuts_a_very_long_pause_short) {
    write_script("21C1\r\n{S123456789012}\r\n22C2\r\n");
    ASSERT_TRUE(start_script(*p));
    ASSERT_TRUE(wait_until([&] { return pending(3); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(thread_alive());
    EXPECT_FALSE(pending(4));  // still in the pause

    within(2000, "stop_script", [&] { stop_script(*p); });
    EXPECT_FALSE(record().script_running);
    EXPECT_EQ(record().script_thread_id, 0u);
    EXPECT_FALSE(pending(4));  // nothing of the rest was sent
}

TEST_F(Runner, stop_is_safe_when_nothing_runs_and_after_the_run_ended) {
    stop_script(*p);
    stop_script(*p);
    run_to_end("21C1\r\n");
    EXPECT_TRUE(record().script_thread.joinable());  // ended, not yet joined
    stop_script(*p);
    EXPECT_FALSE(record().script_thread.joinable());
    stop_script(*p);
}

TEST_F(Runner, start_again_after_the_run_ended_loads_the_file_afresh) {
    run_to_end("21C1.00\r\n");
    EXPECT_EQ(slot(3), "21C1.00");
    run_to_end("21C2.00\r\n");  // joins the finished thread first
    EXPECT_EQ(slot(3), "21C2.00");
}

TEST_F(Runner, start_ends_a_previous_thread_still_pausing_on_its_last_line) {
    write_script("21C1\r\n{S100000000}");
    ASSERT_TRUE(start_script(*p));
    // The last line clears script_running before its pause begins.
    ASSERT_TRUE(wait_until([&] { return !record().script_running && pending(3); }));
    EXPECT_TRUE(thread_alive());
    write_script("22C2");
    within(2000, "start_script", [&] { EXPECT_TRUE(start_script(*p)); });
    ASSERT_TRUE(wait_until([&] { return !thread_alive(); }));
    EXPECT_EQ(slot(4), "22C2");
}

TEST_F(Runner, file_is_cut_at_29999_bytes) {
    // 29,996 bytes of comment, then a line whose digits straddle the limit.
    std::string text(29994, '#');
    text += "\r\n21C12345";
    run_to_end(text);
    EXPECT_EQ(slot(3), "21C");
}

TEST_F(Runner, routed_text_is_cut_to_what_a_slot_holds) {
    run_to_end("21C" + std::string(40, '7') + "\r\n");
    EXPECT_EQ(slot(3), "21C" + std::string(27, '7'));
}

// ---- bad input: no crash, no overrun, and stop still comes back at once ----------

TEST_F(Runner, binary_file_of_one_mebibyte) {
    std::mt19937 rng(1234);
    std::string bytes(1 << 20, '\0');
    for (char& c : bytes) c = static_cast<char>(1 + rng() % 255);  // no zero: all of it is read
    write_script(bytes);
    ASSERT_TRUE(start_script(*p));
    wait_until([&] { return !thread_alive(); }, 2000);
    within(2000, "stop_script", [&] { stop_script(*p); });
    for (int n = 3; n <= 7; ++n) EXPECT_LE(slot(n).size(), 30u);
    EXPECT_EQ(p->state.slot_lock.value(), 0);

    // A zero byte ends the text there.
    run_to_end(std::string("21C1\r\n") + '\0' + "22C2\r\n");
    EXPECT_FALSE(pending(4));
}

TEST_F(Runner, very_long_lines_and_many_groups) {
    host.type(kPanelWindow, kIdPrice1, "123456");
    std::string groups = "21C";
    for (int i = 0; i < 200; ++i) groups += "{P}";
    std::string text = "22C" + std::string(10000, 'x') + "\r\n" + groups + "\r\n" + std::string(5000, '{') +
                       "\r\n" + std::string(5000, '}') + "\n23C{{{{C\r\n24C}}{" + "\n" + std::string(5000, 'y');
    ASSERT_LT(text.size(), 29999u);
    run_to_end(text);
    EXPECT_EQ(slot(4), "22C" + std::string(27, 'x'));
    EXPECT_EQ(slot(3), "21C123456123456123456123456123");
    EXPECT_EQ(slot(5), "23C{{{{C");
    EXPECT_EQ(slot(6), "24C}}{");
}

TEST_F(Runner, stop_comes_back_at_once_in_a_looping_script_of_long_lines) {
    std::string text;
    for (int i = 0; i < 50; ++i) text += "21C" + std::string(5000, '{') + "{S5}\r\n";
    text += "{G}";
    write_script(text);
    ASSERT_TRUE(start_script(*p));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    within(2000, "stop_script", [&] { stop_script(*p); });
    EXPECT_FALSE(record().script_running);
}

// ---- the script thread against a thread taking slots ------------------------------

TEST_F(Runner, start_and_stop_race_with_a_thread_taking_slots) {
    clock.set_local_time(LocalTime{2026, 3, 7, 1, 2, 3});
    write_script("21C1.00\r\n22C{C}\r\n# pause\r\n23B1\r\n{S1}{G}");
    const std::set<std::string> valid = {"21C1.00", "22C01:02:03", "23B800000"};

    std::atomic<bool> run{true};
    std::atomic<int> taken{0};
    std::atomic<int> bad{0};
    // Takes pending price slots the way the polling thread does: only when slot_lock is free.
    std::thread taker([&] {
        while (run) {
            {
                TryLock lock(p->state.slot_lock);
                if (lock.held()) {
                    for (int n = 3; n <= 7; ++n) {
                        if (!slot_pending(p->state, n)) continue;
                        if (!valid.count(slot_text(p->state, n))) ++bad;
                        kc::slot(p->state, n).pending->store(0, std::memory_order_release);
                        ++taken;
                    }
                }
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });

    std::mt19937 rng(99);
    for (int i = 0; i < 40; ++i) {
        ASSERT_TRUE(start_script(*p));
        std::this_thread::sleep_for(std::chrono::microseconds(rng() % 3000));
        within(2000, "stop_script", [&] { stop_script(*p); });
        EXPECT_EQ(record().script_thread_id, 0u);
    }
    // The short runs may all end before a slot is taken on a loaded machine (or under
    // Wine, whose sleeps are coarse): one more run waits until the taker has had one.
    ASSERT_TRUE(start_script(*p));
    const bool took = wait_until([&] { return taken > 0; });
    within(2000, "stop_script", [&] { stop_script(*p); });
    run = false;
    taker.join();
    EXPECT_TRUE(took);
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(p->state.slot_lock.value(), 0);
}

}  // namespace
}  // namespace kc::test
