// Settings dialog tests: dialog 102, light thresholds, powers and automatic backlight.
#include "dialogs/light_dialog.h"

#include <atomic>
#include <thread>

#include "dialog_fixture.h"
#include "resources/dialog_ids.h"
#include "dialogs/dialogs.h"
#include "hosts/headless/memory_canvas.h"
#include "resources/command_ids.h"

namespace kc {
namespace {

constexpr WindowId W = kDialogLight;

class LightTest : public DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        // Distinct values, so that a field mixed up with another shows.
        for (int i = 0; i < kLightSettingCount; ++i) p.state.light_settings[i] = 100 + i;
    }
    int setting(int i) { return p.state.light_settings[i]; }
    int run(std::function<void(WindowId)> script) {
        LightDialog dialog(p);
        host.on_dialog(W, std::move(script));
        return host.run_dialog(W, dialog);
    }
};

TEST_F(LightTest, opening_fills_all_twenty_fields_and_the_check_box) {
    record().auto_backlight = true;
    run([](WindowId) {});
    ControlStore& c = host.controls();
    EXPECT_EQ(c.text(W, kIdPriceLowLevel), std::to_string(100 + kPriceLowLevel));
    EXPECT_EQ(c.text(W, kIdPriceHighLevel), std::to_string(100 + kPriceHighLevel));
    for (int n = 1; n <= 5; ++n) {
        EXPECT_EQ(c.text(W, price_power_low_edit(n)), std::to_string(100 + kPricePowerLow1 + n - 1)) << n;
        EXPECT_EQ(c.text(W, price_power_high_edit(n)), std::to_string(100 + kPricePowerHigh1 + n - 1)) << n;
    }
    EXPECT_EQ(c.text(W, kIdDisplay1LowLevel), std::to_string(100 + kDisplay1LowLevel));
    EXPECT_EQ(c.text(W, kIdDisplay1HighPower), std::to_string(100 + kDisplay1HighPower));
    EXPECT_EQ(c.text(W, kIdDisplay2LowPower), std::to_string(100 + kDisplay2LowPower));
    EXPECT_EQ(c.text(W, kIdDisplay2HighLevel), std::to_string(100 + kDisplay2HighLevel));
    EXPECT_TRUE(c.checked(W, kIdAutoBacklight));
}

TEST_F(LightTest, send_while_connected_queues_the_fourteen_commands) {
    record().connected = true;
    int result = run([&](WindowId w) {
        host.type(w, kIdPriceLowLevel, "10");
        host.type(w, price_power_low_edit(2), "300");   // out of range: the old value goes
        host.type(w, kIdPriceHighLevel, "");            // empty counts as 0
        host.type(w, price_power_high_edit(5), "99999999999");
        host.type(w, price_power_high_edit(3), "7x");
        host.press(w, kIdAutoBacklight);
        host.press(w, kIdSend);
    });
    EXPECT_EQ(result, 1);

    EXPECT_EQ(setting(kPriceLowLevel), 10);
    EXPECT_EQ(setting(kPricePowerLow1 + 1), 100 + kPricePowerLow1 + 1);
    EXPECT_EQ(setting(kPriceHighLevel), 0);
    EXPECT_EQ(setting(kPricePowerHigh1 + 4), 100 + kPricePowerHigh1 + 4);
    EXPECT_EQ(setting(kPricePowerHigh1 + 2), 7);
    EXPECT_TRUE(record().auto_backlight);

    const std::pair<int, std::string> expected[] = {
        {30, "20l10"},
        {31, "21o" + std::to_string(100 + kPricePowerLow1)},
        {32, "22o" + std::to_string(100 + kPricePowerLow1 + 1)},
        {33, "23o" + std::to_string(100 + kPricePowerLow1 + 2)},
        {34, "24o" + std::to_string(100 + kPricePowerLow1 + 3)},
        {35, "25o" + std::to_string(100 + kPricePowerLow1 + 4)},
        {36, "20L0"},
        {37, "21O" + std::to_string(100 + kPricePowerHigh1)},
        {38, "22O" + std::to_string(100 + kPricePowerHigh1 + 1)},
        {39, "23O7"},
        {40, "24O" + std::to_string(100 + kPricePowerHigh1 + 3)},
        {41, "25O" + std::to_string(100 + kPricePowerHigh1 + 4)},
        {42, "20A1"},
        {46, "20E"},
    };
    for (const auto& [s, text] : expected) {
        EXPECT_TRUE(slot_pending(p.state, s)) << "slot " << s;
        EXPECT_EQ(slot_text(p.state, s), text) << "slot " << s;
    }
    EXPECT_EQ(pending_count(1, 47), 14);
    EXPECT_EQ(p.state.slot_cursor, 8);
    EXPECT_EQ(p.state.slot_lock.value(), 0);

    auto lines = settings_lines();
    ASSERT_EQ(lines.size(), 41u);
    EXPECT_EQ(lines[17], "10");   // price_low_level
    EXPECT_EQ(lines[23], "0");    // price_high_level
    EXPECT_EQ(lines[29], "1");    // auto_backlight
}

TEST_F(LightTest, send_without_a_connection_warns_and_changes_nothing) {
    record().test_mode = true;  // test mode is not a connection here
    int result = run([&](WindowId w) {
        host.type(w, kIdPriceLowLevel, "1");
        host.press(w, kIdAutoBacklight);
        host.press(w, kIdSend);
    });
    EXPECT_EQ(result, 1) << "the dialog closes after the message";
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.messages()[0].text, cp("Nie połączony !"));
    EXPECT_EQ(host.messages()[0].caption, cp("Błąd"));
    EXPECT_EQ(host.messages()[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(setting(kPriceLowLevel), 100 + kPriceLowLevel);
    EXPECT_FALSE(record().auto_backlight);
    EXPECT_EQ(pending_count(1, 47), 0);
    EXPECT_FALSE(settings_written());
}

TEST_F(LightTest, enter_stores_only_the_listed_fields_and_sends_nothing) {
    record().connected = true;
    const int all_edits[] = {1073, 1074, 1075, 1076, 1077, 1078, 1079, 1080, 1081, 1082,
                             1083, 1084, 1086, 1087, 1088, 1089, 1090, 1091, 1092, 1093};
    run([&](WindowId w) {
        for (int id : all_edits) host.type(w, id, std::to_string(id - 1070));
        host.type(w, kIdDisplay2LowLevel, "256");  // refused: the old value stays
        host.press(w, kIdAutoBacklight);
        host.press(w, kIdOk);  // Enter reaches the hidden default button
    });
    EXPECT_EQ(setting(kDisplay1LowLevel), 3);
    EXPECT_EQ(setting(kDisplay1LowPower), 4);
    EXPECT_EQ(setting(kDisplay1HighLevel), 5);
    EXPECT_EQ(setting(kDisplay1HighPower), 6);
    EXPECT_EQ(setting(kDisplay2LowLevel), 100 + kDisplay2LowLevel);
    EXPECT_EQ(setting(kDisplay2LowPower), 8);
    EXPECT_EQ(setting(kDisplay2HighLevel), 9);
    EXPECT_EQ(setting(kDisplay2HighPower), 10);
    EXPECT_EQ(setting(kPriceLowLevel), 11);
    EXPECT_EQ(setting(kPricePowerLow1), 12);
    EXPECT_EQ(setting(kPriceHighLevel), 13);
    EXPECT_EQ(setting(kPricePowerHigh1), 14);
    for (int n = 2; n <= 5; ++n) {
        EXPECT_EQ(setting(kPricePowerLow1 + n - 1), 100 + kPricePowerLow1 + n - 1) << n;
        EXPECT_EQ(setting(kPricePowerHigh1 + n - 1), 100 + kPricePowerHigh1 + n - 1) << n;
    }
    EXPECT_TRUE(record().auto_backlight);
    EXPECT_EQ(pending_count(1, 47), 0);
    auto lines = settings_lines();
    ASSERT_EQ(lines.size(), 41u);
    EXPECT_EQ(lines[7], "3");    // display1_low_level
    EXPECT_EQ(lines[15], "10");  // display2_high_power
    EXPECT_EQ(lines[29], "1");
}

TEST_F(LightTest, cancel_stores_nothing) {
    record().connected = true;
    run([&](WindowId w) {
        host.type(w, kIdPriceLowLevel, "1");
        host.press(w, kIdAutoBacklight);
        host.press(w, kIdCancel);
    });
    EXPECT_EQ(setting(kPriceLowLevel), 100 + kPriceLowLevel);
    EXPECT_FALSE(record().auto_backlight);
    EXPECT_EQ(pending_count(1, 47), 0);
    EXPECT_FALSE(settings_written());
}

TEST_F(LightTest, swatches_show_the_current_colour_of_their_price_field) {
    LightDialog dialog(p);
    auto centre_of = [&](int id) {
        MemoryCanvas canvas(20, 20, 0x123456);
        dialog.on_draw_item(id, canvas, Rect{0, 0, 20, 20});
        return canvas.pixel(10, 10);
    };
    for (int n = 0; n < 5; ++n) {
        EXPECT_EQ(centre_of(kIdSwatchLow1 + n), p.state.price_label_colors[n].load()) << n;
        EXPECT_EQ(centre_of(kIdSwatchHigh1 + n), p.state.price_label_colors[n].load()) << n;
    }
    // Nothing is kept from an earlier paint: a changed colour shows at once.
    p.state.price_label_colors[2] = 0x00FF00FF;
    EXPECT_EQ(centre_of(kIdSwatchLow1 + 2), 0x00FF00FFu);
    EXPECT_EQ(centre_of(kIdSwatchHigh1 + 2), 0x00FF00FFu);
    // Other owner-drawn ids are not this dialog's swatches.
    EXPECT_EQ(centre_of(1098), 0x123456u);
    EXPECT_EQ(centre_of(1109), 0x123456u);
}

// The polling thread tries slot_lock before it scans; it must see either none or all of
// the fourteen commands.
TEST_F(LightTest, polling_thread_sees_none_or_all_of_the_commands) {
    record().connected = true;
    std::atomic<bool> stop{false};
    std::atomic<int> partial{0};
    std::atomic<int> scans{0};
    std::thread poller([&] {
        while (!stop) {
            {
                TryLock lock(p.state.slot_lock);
                if (lock.held()) {
                    int n = pending_count(30, 46);
                    if (n != 0 && n != 14) ++partial;
                    // Reading the texts lets the thread sanitizer see an unguarded write.
                    for (int s = 30; s <= 46; ++s)
                        if (slot_pending(p.state, s) && slot_text(p.state, s).empty()) ++partial;
                    ++scans;
                }
            }
            // Far more often than the real polling thread, to land inside a batch.
            std::this_thread::yield();
        }
    });
    for (int round = 0; round < 50; ++round) {
        run([&](WindowId w) { host.press(w, kIdSend); });
        LockGuard lock(p.state.slot_lock);
        clear_command_queue(p);
    }
    stop = true;
    poller.join();
    EXPECT_EQ(partial, 0);
    EXPECT_GT(scans, 0);
}

TEST_F(LightTest, without_a_record_the_dialog_does_not_open) {
    p.record.reset();
    run_light_dialog(p);
    EXPECT_TRUE(host.dialogs_run().empty());
}

}  // namespace
}  // namespace kc
