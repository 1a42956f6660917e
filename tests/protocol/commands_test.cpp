// Tests (controller protocol): command texts and the fixed command lists.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "state/state.h"
#include "protocol/commands.h"

namespace kc {
namespace {

TEST(Commands, price_command_steady_blinking_empty_and_cut) {
    EXPECT_EQ(price_command(1, true, "4.59"), "21M4.59");
    EXPECT_EQ(price_command(1, false, "4.59"), "21C4.59");
    EXPECT_EQ(price_command(1, false, ""), "21C");
    EXPECT_EQ(price_command(5, false, "12345678"), "25C123456");
    // The edit's text ends at a NUL whatever the view holds behind it.
    EXPECT_EQ(price_command(3, true, std::string_view("4.5\0" "9", 5)), "23M4.5");
}

TEST(Commands, display_text_command_flag_and_room) {
    EXPECT_EQ(display_text_command(2, true, "ABC"), "101ABC");
    EXPECT_EQ(display_text_command(1, false, "Olej"), "000Olej");
    std::string longest = display_text_command(1, false, std::string(100, 'x'));
    EXPECT_EQ(longest.size(), 83u);
    EXPECT_LT(longest.size(), sizeof(DisplaySlot::text));
    // Windows-1250 bytes go out as they are.
    EXPECT_EQ(display_text_command(1, false, "\xA5\xB9"), "000\xA5\xB9");
}

TEST(Commands, segment_mask_is_six_upper_case_hex_digits) {
    EXPECT_EQ(segment_mask_command('2', '1', 0xFF0000), "21BFF0000");
    EXPECT_EQ(segment_mask_command('7', '5', 0x00000A), "75B00000A");
    // Only 24 bits exist; a wider value cannot stretch the text.
    EXPECT_EQ(segment_mask_command('2', '1', 0x1ABCDEF), "21BABCDEF");
}

TEST(Commands, number_commands_use_plain_decimal) {
    EXPECT_EQ(number_command("20l", 0), "20l0");
    EXPECT_EQ(number_command("21o", 7), "21o7");
    EXPECT_EQ(number_command("25O", 255), "25O255");
    EXPECT_EQ(number_command("20L", -1), "20L-1");
    EXPECT_EQ(scroll_speed_command(1, 20), "00P20");
    EXPECT_EQ(scroll_speed_command(2, 255), "10P255");
    EXPECT_EQ(backlight_command(true), "20Z1");
    EXPECT_EQ(backlight_command(false), "20Z0");
    EXPECT_EQ(auto_backlight_command(true), "20A1");
    EXPECT_EQ(auto_backlight_command(false), "20A0");
    // A prefix too long for a slot is cut to what the slot holds.
    EXPECT_LT(number_command(std::string(40, 'p'), 12345).size(), sizeof(Slot::text));
}

TEST(Commands, light_commands_follow_the_dialog_order) {
    auto list = light_commands();
    ASSERT_EQ(list.size(), 12u);
    const char* prefixes[] = {"20l", "21o", "22o", "23o", "24o", "25o", "20L", "21O", "22O", "23O", "24O", "25O"};
    for (size_t i = 0; i < list.size(); ++i) {
        EXPECT_STREQ(list[i].prefix, prefixes[i]);
        EXPECT_EQ(list[i].slot, 30 + static_cast<int>(i));
    }
    EXPECT_EQ(list[0].setting, kPriceLowLevel);
    EXPECT_EQ(list[6].setting, kPriceHighLevel);
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(list[1 + k].setting, kPricePowerLow1 + k);
        EXPECT_EQ(list[7 + k].setting, kPricePowerHigh1 + k);
    }
}

TEST(Commands, readback_queries_are_bare_queries_in_their_slots) {
    auto list = readback_queries();
    ASSERT_EQ(list.size(), 16u);
    std::set<int> slots;
    for (const auto& q : list) {
        EXPECT_EQ(std::string(q.text).size(), 3u) << q.text;
        slots.insert(q.slot);
    }
    EXPECT_EQ(slots.size(), list.size());
    EXPECT_EQ(list.front().slot, 3);
    EXPECT_STREQ(list.front().text, "20C");
    EXPECT_STREQ(list[1].text, "20M");
    EXPECT_EQ(list.back().slot, 47);
    EXPECT_STREQ(list.back().text, "20V");
    // The light queries share the slots of the light commands.
    auto light = light_commands();
    for (size_t i = 0; i < light.size(); ++i) {
        EXPECT_EQ(list[2 + i].slot, light[i].slot);
        EXPECT_STREQ(list[2 + i].text, light[i].prefix);
    }
    EXPECT_EQ(list[14].slot, 42);
    EXPECT_STREQ(list[14].text, "20A");
}

}  // namespace
}  // namespace kc
