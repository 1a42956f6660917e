// Settings dialog tests: dialog 103, the scroll periods of the two text displays.
#include "dialogs/scroll_speed_dialog.h"

#include "dialog_fixture.h"
#include "resources/dialog_ids.h"
#include "dialogs/dialogs.h"
#include "resources/command_ids.h"

namespace kc {
namespace {

constexpr WindowId W = kDialogScrollSpeed;

class ScrollSpeedTest : public DialogTest {
protected:
    int run(std::function<void(WindowId)> script) {
        ScrollSpeedDialog dialog(p);
        host.on_dialog(W, std::move(script));
        return host.run_dialog(W, dialog);
    }
    // Types both periods and presses `button`.
    int enter(const std::string& first, const std::string& second, int button) {
        return run([&](WindowId w) {
            host.type(w, kIdScrollSpeed1, first);
            host.type(w, kIdScrollSpeed2, second);
            host.press(w, button);
        });
    }
    int speed(int d) { return p.state.scroll_speed[d - 1]; }
    // The preview of display 1 scrolls; display 2 stands still.
    void scroll_display_1() {
        record().scroll1_timer_on = true;
        host.set_timer(kPanelWindow, kTimerScroll1, speed(1));
    }
};

TEST_F(ScrollSpeedTest, opening_shows_both_periods) {
    p.state.scroll_speed[1] = 77;
    run([&](WindowId w) {
        EXPECT_EQ(host.controls().text(w, kIdScrollSpeed1), "20");
        EXPECT_EQ(host.controls().text(w, kIdScrollSpeed2), "77");
    });
}

TEST_F(ScrollSpeedTest, ok_takes_1_to_255_and_keeps_the_old_speed_otherwise) {
    EXPECT_EQ(enter("1", "255", kIdOk), 1);
    EXPECT_EQ(speed(1), 1);
    EXPECT_EQ(speed(2), 255);
    enter("0", "256", kIdOk);
    EXPECT_EQ(speed(1), 1);
    EXPECT_EQ(speed(2), 255);
    enter("", "abc", kIdOk);
    EXPECT_EQ(speed(1), 1);
    EXPECT_EQ(speed(2), 255);
    enter("4294967297", "40", kIdOk);  // must not wrap round to 1
    EXPECT_EQ(speed(1), 1);
    EXPECT_EQ(speed(2), 40);
}

TEST_F(ScrollSpeedTest, ok_applies_to_the_running_preview_and_writes_the_file) {
    scroll_display_1();
    enter("50", "60", kIdOk);
    EXPECT_EQ(host.timer_period(kPanelWindow, kTimerScroll1), 50);
    EXPECT_FALSE(host.timer_running(kPanelWindow, kTimerScroll2)) << "a still preview must not start scrolling";
    auto lines = settings_lines();
    ASSERT_EQ(lines.size(), 41u);
    EXPECT_EQ(lines[11], "50");
    EXPECT_EQ(lines[16], "60");
    EXPECT_EQ(pending_count(1, 47), 0);
}

TEST_F(ScrollSpeedTest, send_in_test_mode_applies_without_saving_or_queuing) {
    record().test_mode = true;
    scroll_display_1();
    EXPECT_EQ(enter("50", "0", kIdSend), 1);
    EXPECT_EQ(speed(1), 50);
    EXPECT_EQ(speed(2), 20);
    EXPECT_EQ(host.timer_period(kPanelWindow, kTimerScroll1), 50);
    EXPECT_EQ(pending_count(1, 47), 0);
    EXPECT_FALSE(settings_written());
    EXPECT_TRUE(host.messages().empty());
}

TEST_F(ScrollSpeedTest, send_while_connected_queues_four_commands_and_saves) {
    record().connected = true;
    scroll_display_1();
    enter("50", "300", kIdSend);  // 300 is refused: display 2 gets its old 20 again
    EXPECT_EQ(slot_text(p.state, 14), "00P50");
    EXPECT_EQ(slot_text(p.state, 15), "00E");
    EXPECT_EQ(slot_text(p.state, 24), "10P20");
    EXPECT_EQ(slot_text(p.state, 25), "10E");
    EXPECT_EQ(pending_count(1, 47), 4);
    for (int s : {14, 15, 24, 25}) EXPECT_TRUE(slot_pending(p.state, s)) << s;
    EXPECT_EQ(p.state.slot_cursor, 13);
    EXPECT_EQ(p.state.slot_lock.value(), 0);
    EXPECT_EQ(host.timer_period(kPanelWindow, kTimerScroll1), 50);
    EXPECT_EQ(settings_lines().at(11), "50");
}

TEST_F(ScrollSpeedTest, send_neither_connected_nor_testing_warns_and_stores_nothing) {
    EXPECT_EQ(enter("50", "60", kIdSend), 1);
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.messages()[0].text, cp("Nie połączony !"));
    EXPECT_EQ(host.messages()[0].caption, cp("Błąd"));
    EXPECT_EQ(host.messages()[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(speed(1), 20);
    EXPECT_EQ(speed(2), 20);
    EXPECT_EQ(pending_count(1, 47), 0);
    EXPECT_FALSE(settings_written());
}

TEST_F(ScrollSpeedTest, cancel_stores_nothing) {
    record().connected = true;
    enter("50", "60", kIdCancel);
    EXPECT_EQ(speed(1), 20);
    EXPECT_EQ(pending_count(1, 47), 0);
    EXPECT_FALSE(settings_written());
}

}  // namespace
}  // namespace kc
