// Tests (application core): the sign watch's pure parts: the confirmed prices as the
// extra settings file keeps them, the comparison with what the sign shows, and the
// rolling limit of restores.
#include <gtest/gtest.h>

#include <cstring>

#include "app/sign_watch.h"
#include "preview/price_preview.h"

namespace kc::test {
namespace {

TEST(SignWatch, confirmed_prices_text_round_trips_and_rejects_what_the_sign_cannot_show) {
    struct Case {
        const char* text;
        bool valid;
    };
    const Case cases[] = {
        {"M----;4.59;5.19;3.09;6.00;12", true},
        {"-----; 12;;-;1 2;6.", true},  // blanks inside and empty fields survive
        {"MMMMM;1;2;3;4;5", true},
        {"M----;4.59;5.19;3.09;6.00", false},       // four prices
        {"M----;4.59;5.19;3.09;6.00;12;1", false},  // seven fields
        {"M---;1;2;3;4;5", false},                  // four flags
        {"X----;1;2;3;4;5", false},
        {"-----;4a59;2;3;4;5", false},
        {"-----;1234567;2;3;4;5", false},
        {"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto parsed = parse_confirmed_prices(c.text);
        ASSERT_EQ(parsed.has_value(), c.valid);
        if (parsed) {
            EXPECT_EQ(confirmed_prices_text(*parsed), c.text);
        }
    }
    EXPECT_EQ(parse_confirmed_prices("M----;4.59;5.19;3.09;6.00;12")->blink, (std::array<bool, 5>{true}));
}

TEST(SignWatch, every_place_point_and_blink_flag_counts_as_a_difference) {
    PriceBatch confirmed;
    confirmed.prices = {"4.59", "12", "", "1.2", "-"};
    confirmed.blink = {true, false, false, false, false};
    uint8_t same[5][3] = {};
    for (int f = 0; f < 5; ++f) price_text_places(confirmed.prices[f].c_str(), same[f]);
    struct Case {
        const char* what;
        int field;     // 1..5 changed, 0 none
        const char* shown;
        bool blink;    // of the changed field
    };
    const Case cases[] = {
        {"as confirmed", 0, "", false},
        {"a digit", 1, "4.99", true},
        {"the point", 1, "459", true},
        {"the blink flag", 1, "4.59", false},
        {"a place the price does not reach", 2, "129", false},
        {"a blank field lit", 3, "0", false},
        {"the point moved", 4, "12.", false},
        {"blank", 5, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        uint8_t shown[5][3];
        std::memcpy(shown, same, sizeof shown);
        std::array<bool, 5> blink = confirmed.blink;
        if (c.field > 0) {
            std::memset(shown[c.field - 1], 0, 3);
            price_text_places(c.shown, shown[c.field - 1]);
            blink[c.field - 1] = c.blink;
        }
        const auto differs = fields_differing(confirmed, shown, blink);
        for (int f = 0; f < 5; ++f) EXPECT_EQ(differs[f], f + 1 == c.field) << f + 1;
    }
}

TEST(SignWatch, three_restores_in_any_hour) {
    // Each step: the time, and whether a restore is allowed (and made) then.
    struct Step {
        int64_t at;
        bool allowed;
    };
    const Step steps[] = {
        {0, true}, {10, true}, {3000, true}, {3599, false},  // three within the hour
        {3600, true},                                        // the first left the window
        {3605, false}, {3610, true},                         // and the second
        {6599, false}, {6600, true}, {20000, true},
        {20001, true}, {20002, true}, {20003, false}, {100, true},  // the clock set back

    };
    RestoreLimit limit;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.at);
        EXPECT_EQ(limit.allows(s.at), s.allowed);
        if (s.allowed) limit.record(s.at);
    }
}

}  // namespace
}  // namespace kc::test
