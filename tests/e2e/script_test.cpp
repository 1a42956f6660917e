// Tests (end to end): a looping script played against the virtual sign.
#include <chrono>
#include <fstream>
#include <string>

#include "e2e_fixture.h"
#include "script/script_runner.h"

namespace kc::test {
namespace {

TEST_F(EndToEnd, looping_script_switches_price_one_on_the_sign_until_stopped) {
    {
        std::ofstream f(file("loop.txt"), std::ios::binary);
        f << "21C1.00\r\n{S100}\r\n21C2.00\r\n{S100}{G}\r\n";
    }
    host.type(kPanelWindow, kIdScriptPath, file("loop.txt").string());
    host.press(kPanelWindow, kIdScriptButton);
    ASSERT_TRUE(record().script_running);
    EXPECT_EQ(status(), txt(Txt::StatusConnectedScript));

    // Four frames: 1.00, 2.00, 1.00, 2.00 in that order, each acknowledged.
    bool seen = host.pump_until(
        [&] {
            host.advance(1);
            int prices = 0;
            for (const ReceivedFrame& f : sign->received())
                if (f.payload.rfind("21C", 0) == 0) ++prices;
            return prices >= 4;
        },
        10000);
    ASSERT_TRUE(seen);
    host.press(kPanelWindow, kIdScriptButton);
    EXPECT_FALSE(record().script_running);
    EXPECT_EQ(panel_text(p, kIdScriptButton), txt(Txt::ButtonStart));
    EXPECT_EQ(status(), txt(Txt::StatusConnected));

    std::vector<std::string> prices;
    for (const ReceivedFrame& f : sign->received())
        if (f.payload.rfind("21C", 0) == 0) {
            EXPECT_TRUE(f.checksum_ok);
            EXPECT_EQ(std::string(f.bytes.begin(), f.bytes.end()), expected_frame(f.payload));
            prices.push_back(f.payload);
        }
    ASSERT_GE(prices.size(), 4u);
    for (size_t i = 0; i < prices.size(); ++i) EXPECT_EQ(prices[i], i % 2 == 0 ? "21C1.00" : "21C2.00") << i;
}

}  // namespace
}  // namespace kc::test
