// Tests (application): the file of the change that waits for the sign.
#include <gtest/gtest.h>

#include "app/held_change.h"

namespace kc {
namespace {

TEST(HeldChangeFile, what_is_written_is_read_back_exactly_and_a_damaged_file_is_refused) {
    HeldChange h;
    h.change.id = "20261208-0600-a;1";
    h.change.set.prices = {"4.59", "12 ", "", "-.-", "5,19"};  // blanks at the ends count
    h.change.set.blink = {true, false, false, true, false};
    h.arrived = 1796688000;
    h.reason = "script_running";
    for (bool has_at : {false, true}) {
        h.change.has_at = has_at;
        h.change.at = has_at ? 1796691600 : 0;
        HeldChange back;
        ASSERT_TRUE(parse_held_change(held_change_text(h), back)) << held_change_text(h);
        EXPECT_EQ(back.change.id, h.change.id);
        EXPECT_EQ(back.change.set.prices, h.change.set.prices);
        EXPECT_EQ(back.change.set.blink, h.change.set.blink);
        EXPECT_EQ(back.change.has_at, has_at);
        EXPECT_EQ(back.change.at, h.change.at);
        EXPECT_EQ(back.arrived, h.arrived);
        EXPECT_EQ(back.reason, h.reason);
    }
    // Each damage on its own: nothing half-read is applied.
    const std::string good = held_change_text(h);
    auto with = [&](const std::string& from, const std::string& to) {
        std::string t = good;
        t.replace(t.find(from), from.size(), to);
        return t;
    };
    const std::string damaged[] = {
        with("id=", "ident="),
        with("reason=script_running", "reason=bored"),
        with("arrived=1796688000", "arrived=soon"),
        with("price2=\"12 \"", "price2=12"),
        with("price3=\"\"", "price3=\"abc\""),
        with("price5=\"5,19\"\n", ""),
        good + "id=again\n",
    };
    for (const std::string& text : damaged) {
        HeldChange back;
        EXPECT_FALSE(parse_held_change(text, back)) << text;
    }
}

}  // namespace
}  // namespace kc
