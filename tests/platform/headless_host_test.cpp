// Platform layer tests: the in-memory host's timers, posted work and modal answers.
#include "hosts/headless/headless_host.h"

#include <gtest/gtest.h>

#include <thread>
#include <utility>
#include <vector>

#include "resources/command_ids.h"

namespace kc {
namespace {

struct Recorder : WindowProcedure {
    explicit Recorder(HeadlessHost& h) : host(h) {}
    void on_timer(int id) override {
        fired.emplace_back(id, host.now_ms());
        if (id == kill_on_fire) host.kill_timer(kMainWindow, id);
    }
    void on_command(int id) override {
        commands.push_back(id);
        checked_at_command = host.controls().checked(kPanelWindow, id);
    }
    HeadlessHost& host;
    std::vector<std::pair<int, int64_t>> fired;
    std::vector<int> commands;
    bool checked_at_command = false;
    int kill_on_fire = -1;
};

struct HeadlessHostTest : ::testing::Test {
    HeadlessHostTest() { host.create_main_window(main); }
    HeadlessHost host;
    Recorder main{host};
};

using Fired = std::vector<std::pair<int, int64_t>>;

TEST_F(HeadlessHostTest, timers_fire_in_time_order_as_time_advances) {
    host.set_timer(kMainWindow, 1, 30);
    host.set_timer(kMainWindow, 2, 20);
    host.advance(50);
    EXPECT_EQ(main.fired, (Fired{{2, 20}, {1, 30}, {2, 40}}));
    EXPECT_EQ(host.now_ms(), 50);
    host.kill_timer(kMainWindow, 2);
    EXPECT_FALSE(host.timer_running(kMainWindow, 2));
    host.advance(40);
    EXPECT_EQ(main.fired, (Fired{{2, 20}, {1, 30}, {2, 40}, {1, 60}, {1, 90}}));
}

TEST_F(HeadlessHostTest, setting_a_running_timer_again_restarts_it) {
    host.set_timer(kMainWindow, 4, 30);
    host.advance(20);
    host.set_timer(kMainWindow, 4, 30);
    host.advance(40);
    EXPECT_EQ(main.fired, (Fired{{4, 50}}));
}

TEST_F(HeadlessHostTest, timer_killed_in_its_own_handler_fires_once) {
    main.kill_on_fire = 3;
    host.set_timer(kMainWindow, 3, 10);
    host.advance(100);
    EXPECT_EQ(main.fired, (Fired{{3, 10}}));
    EXPECT_EQ(host.timer_period(kMainWindow, 3), -1);
}

TEST_F(HeadlessHostTest, period_of_zero_becomes_ten_ms) {
    host.set_timer(kMainWindow, 5, 0);
    EXPECT_EQ(host.timer_period(kMainWindow, 5), 10);
    host.advance(25);
    EXPECT_EQ(main.fired, (Fired{{5, 10}, {5, 20}}));
}

TEST_F(HeadlessHostTest, work_posted_from_another_thread_runs_on_pump_in_order) {
    std::vector<int> ran;
    bool all_on_ui_thread = true;
    EXPECT_TRUE(host.is_ui_thread());
    std::thread worker([&] {
        EXPECT_FALSE(host.is_ui_thread());
        for (int i = 0; i < 100; ++i)
            host.post([&, i] {
                ran.push_back(i);
                all_on_ui_thread = all_on_ui_thread && host.is_ui_thread();
            });
    });
    worker.join();
    EXPECT_TRUE(ran.empty());
    EXPECT_EQ(host.pump(), 100u);
    ASSERT_EQ(ran.size(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(ran[i], i);
    EXPECT_TRUE(all_on_ui_thread);
    EXPECT_EQ(host.pump(), 0u);

    // Work that posts more work is run out in the same pump.
    host.post([&] { host.post([&] { ran.push_back(-1); }); });
    EXPECT_EQ(host.pump(), 2u);
    EXPECT_EQ(ran.back(), -1);
}

TEST_F(HeadlessHostTest, pump_until_waits_for_work_still_to_come_and_gives_up) {
    bool done = false;
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        host.post([&] { done = true; });
    });
    EXPECT_TRUE(host.pump_until([&] { return done; }, 5000));
    late.join();
    EXPECT_FALSE(host.pump_until([] { return false; }, 20));
}

TEST_F(HeadlessHostTest, message_box_answers_are_used_in_order_then_ok) {
    host.answer_next_message_box(MessageResult::Cancel);
    host.answer_next_message_box(MessageResult::Ok);
    host.answer_next_message_box(MessageResult::Cancel);
    auto ask = [&](const char* text) {
        return host.message_box(kMainWindow, text, "Kavor Cen", MessageButtons::OkCancel, MessageIcon::Question);
    };
    EXPECT_EQ(ask("1"), MessageResult::Cancel);
    EXPECT_EQ(ask("2"), MessageResult::Ok);
    EXPECT_EQ(ask("3"), MessageResult::Cancel);
    EXPECT_EQ(ask("4"), MessageResult::Ok);
    ASSERT_EQ(host.messages().size(), 4u);
    EXPECT_EQ(host.messages()[2].text, "3");
    EXPECT_EQ(host.messages()[2].caption, "Kavor Cen");
    EXPECT_EQ(host.messages()[2].buttons, MessageButtons::OkCancel);
    EXPECT_EQ(host.messages()[2].icon, MessageIcon::Question);
}

TEST_F(HeadlessHostTest, choosers_take_queued_answers_and_cancel_without_one) {
    host.next_file_choice(std::string("/tmp/a.txt"));
    host.next_file_choice(std::nullopt);
    const std::vector<FileFilter> filters = {{"Pliki Tekstowe", "*.txt"}};
    EXPECT_EQ(host.choose_open_file(kPanelWindow, filters), std::optional<std::string>("/tmp/a.txt"));
    EXPECT_EQ(host.choose_open_file(kPanelWindow, filters), std::nullopt);
    EXPECT_EQ(host.choose_open_file(kPanelWindow, filters), std::nullopt);
    EXPECT_EQ(host.last_file_filters()[0].pattern, "*.txt");

    CustomColors custom{};
    host.next_color_choice(Color{0x123456});
    EXPECT_EQ(host.choose_color(kPanelWindow, 0xFF, custom), std::optional<Color>(0x123456));
    EXPECT_EQ(host.last_color_initial(), std::optional<Color>(0xFF));
    EXPECT_EQ(host.choose_color(kPanelWindow, 0xFF, custom), std::nullopt);
}

TEST_F(HeadlessHostTest, panel_controls_come_from_the_template_and_a_check_box_toggles_before_its_command) {
    Recorder panel{host};
    host.create_panel(panel);
    EXPECT_EQ(host.controls().text(kPanelWindow, kIdBlink1), "Mrugaj");
    EXPECT_FALSE(host.controls().checked(kPanelWindow, kIdBlink1));
    host.press(kPanelWindow, kIdBlink1);
    EXPECT_EQ(panel.commands, std::vector<int>{kIdBlink1});
    EXPECT_TRUE(panel.checked_at_command);
    host.press(kPanelWindow, kIdBlink1);
    EXPECT_FALSE(host.controls().checked(kPanelWindow, kIdBlink1));
}

TEST_F(HeadlessHostTest, disabled_menu_item_sends_no_command) {
    host.enable_menu_item(301, false);
    host.menu(301);
    EXPECT_TRUE(main.commands.empty());
    host.enable_menu_item(301, true);
    host.menu(301);
    EXPECT_EQ(main.commands, std::vector<int>{301});
}

}  // namespace
}  // namespace kc
