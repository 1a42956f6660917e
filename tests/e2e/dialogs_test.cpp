// Tests (end to end): the light dialog and the About box against the virtual sign.
#include <string>
#include <vector>

#include "resources/dialog_ids.h"
#include "e2e_fixture.h"

namespace kc::test {
namespace {

TEST_F(EndToEnd, light_dialog_send_reaches_the_sign_and_a_readback_shows_it_again) {
    host.on_dialog(kDialogLight, [&](WindowId w) {
        host.type(w, kIdPriceLowLevel, "40");
        host.type(w, kIdPriceHighLevel, "200");
        for (int n = 1; n <= 5; ++n) {
            host.type(w, price_power_low_edit(n), std::to_string(20 + n));
            host.type(w, price_power_high_edit(n), std::to_string(240 + n));
        }
        host.set_check(w, kIdAutoBacklight, true);
        host.press(w, kIdSend);
    });
    host.menu(kCmdLight);
    ASSERT_TRUE(wait_idle(5000));
    ASSERT_TRUE(sign->wait_received(14, 2000));

    const char* expected[14] = {"20l40",  "21o21",  "22o22",  "23o23",  "24o24",  "25o25", "20L200",
                                "21O241", "22O242", "23O243", "24O244", "25O245", "20A1", "20E"};
    // The panel's status query (every second) may slip in between; it is not part of the batch.
    std::vector<ReceivedFrame> frames;
    for (const ReceivedFrame& f : sign->received())
        if (f.payload != "20S" && f.payload != "20Z") frames.push_back(f);
    ASSERT_EQ(frames.size(), 14u);
    for (int i = 0; i < 14; ++i) {
        EXPECT_EQ(frames[static_cast<size_t>(i)].payload, expected[i]) << i;
        EXPECT_EQ(std::string(frames[static_cast<size_t>(i)].bytes.begin(), frames[static_cast<size_t>(i)].bytes.end()),
                  expected_frame(expected[i]));
    }
    SignState s = sign->state();
    EXPECT_EQ(s.price_low_level, 40);
    EXPECT_EQ(s.price_high_level, 200);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(s.price_power_low[i], 21 + i);
        EXPECT_EQ(s.price_power_high[i], 241 + i);
    }
    EXPECT_TRUE(s.auto_backlight);

    // Forget the values here, read them back from the sign, and the dialog shows them.
    for (auto& v : p.state.light_settings) v = 255;
    record().auto_backlight = false;
    host.menu(kCmdReadback);
    ASSERT_TRUE(wait_idle(5000));
    std::string low, high, power3, auto_box;
    host.on_dialog(kDialogLight, [&](WindowId w) {
        low = host.controls().text(w, kIdPriceLowLevel);
        high = host.controls().text(w, kIdPriceHighLevel);
        power3 = host.controls().text(w, price_power_high_edit(3));
        auto_box = host.controls().checked(w, kIdAutoBacklight) ? "1" : "0";
        host.press(w, kIdCancel);
    });
    host.menu(kCmdLight);
    EXPECT_EQ(low, "40");
    EXPECT_EQ(high, "200");
    EXPECT_EQ(power3, "243");
    EXPECT_EQ(auto_box, "1");

    // The read-back also brought the firmware version, which the About box shows.
    std::string version;
    host.on_dialog(kDialogAbout, [&](WindowId w) {
        version = host.controls().text(w, kIdAboutPriceController);
        host.press(w, kIdOk);
    });
    host.menu(kCmdAbout);
    EXPECT_EQ(version, "ver." + sign->state().version);
}

}  // namespace
}  // namespace kc::test
