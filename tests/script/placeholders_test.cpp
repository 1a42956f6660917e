// Script runner tests: placeholder expansion and the pause count.
#include <gtest/gtest.h>

#include <string>

#include "script/placeholders.h"
#include "script_fixture.h"

namespace kc::test {
namespace {

class Placeholders : public ScriptTest {
protected:
    std::string expand(const std::string& text) {
        ScriptLine line;
        line.length = text.size();
        text.copy(line.text, text.size());
        line.text[line.length] = '\0';
        ScriptRun run{*p, record(), 77};
        EXPECT_TRUE(expand_placeholders(run, line));
        read_position = run.read_position;
        EXPECT_EQ(line.text[line.length], '\0');
        EXPECT_LE(line.length, kLineMaxExpanded);
        return std::string(line.text, line.length);
    }
    size_t read_position = 0;
};

TEST_F(Placeholders, time_and_date_come_from_the_local_clock) {
    clock.set_local_time(LocalTime{2026, 3, 7, 9, 5, 3});
    EXPECT_EQ(expand("21C{C}"), "21C09:05:03");
    EXPECT_EQ(expand("{D}"), "07/03/2026");
    clock.set_local_time(LocalTime{2105, 12, 31, 23, 59, 58});
    EXPECT_EQ(expand("a{D}b{C}c"), "a31/12/2005b23:59:58c");
}

TEST_F(Placeholders, price_comes_from_the_edit_of_the_line_field) {
    host.type(kPanelWindow, kIdPrice3, "4.59");
    EXPECT_EQ(expand("23M{P}"), "23M4.59");
    host.type(kPanelWindow, kIdPrice5, "12345678");
    EXPECT_EQ(expand("25C{P}"), "25C123456");
    host.type(kPanelWindow, kIdPrice1, "1.11");
    EXPECT_EQ(expand("21C{P}|{P}"), "21C1.11|1.11");
    // A line without a field digit gets nothing.
    EXPECT_EQ(expand("2X{P}!"), "2X!");
    EXPECT_EQ(expand("{P}"), "");
}

TEST_F(Placeholders, temperature_is_followed_by_degree_and_c) {
    host.type(kPanelWindow, kIdTemperature, "21");
    EXPECT_EQ(expand("01C{T}"), std::string("01C21\x7F" "C"));
    host.type(kPanelWindow, kIdTemperature, "-12.5x");
    EXPECT_EQ(expand("{T} ok"), std::string("-12.5\x7F" "C ok"));
    host.type(kPanelWindow, kIdTemperature, "");
    EXPECT_EQ(expand("01C{T}"), std::string("01C\x7F" "C"));
}

TEST_F(Placeholders, empty_group_is_removed_and_scanning_resumes_behind_it) {
    EXPECT_EQ(expand("21C{}5"), "21C5");
    // The second {} moved onto the old positions of the first and is not scanned.
    EXPECT_EQ(expand("21C{}{}9"), "21C{}9");
}

TEST_F(Placeholders, groups_that_stay_in_the_line) {
    EXPECT_EQ(expand("21C{X}1"), "21C{X}1");
    EXPECT_EQ(expand("21C{CX"), "21C{CX");       // open at the end
    EXPECT_EQ(expand("}21C}"), "}21C}");         // no start
    EXPECT_EQ(expand("21C{S0}"), "21C{S0}");
    EXPECT_EQ(read_position, 77u);
    EXPECT_EQ(expand("21C{G}"), "21C{G}");
    EXPECT_EQ(read_position, 0u);
    EXPECT_TRUE(record().script_running);
}

TEST_F(Placeholders, a_later_brace_moves_the_start) {
    clock.set_local_time(LocalTime{2026, 1, 2, 3, 4, 5});
    EXPECT_EQ(expand("{x{C}"), "{x03:04:05");
    // After a group closes, a lone } has no start.
    EXPECT_EQ(expand("{C}}"), "03:04:05}");
}

TEST_F(Placeholders, inserted_text_is_not_rescanned_before_the_old_brace) {
    host.type(kPanelWindow, kIdPrice1, "{C}");
    EXPECT_EQ(expand("21C{P}"), "21C{C}");
    host.type(kPanelWindow, kIdTemperature, "{D}");
    EXPECT_EQ(expand("01C{T}"), std::string("01C{D}\x7F" "C"));
    // Past the old closing brace the line is scanned again, shifted text included.
    clock.set_local_time(LocalTime{2026, 1, 2, 3, 4, 5});
    EXPECT_EQ(expand("{}{C}"), "{C}");
    EXPECT_EQ(expand("{}x{C}"), "x{C}");
    EXPECT_EQ(expand("{}xx{C}"), "xx03:04:05");
}

TEST_F(Placeholders, growth_is_cut_at_the_line_buffer) {
    std::string many;
    for (int i = 0; i < 83; ++i) many += "{C}";
    clock.set_local_time(LocalTime{2026, 1, 2, 12, 34, 56});
    const std::string out = expand(many);
    ASSERT_EQ(out.size(), kLineMaxExpanded);
    EXPECT_EQ(out.substr(0, 16), "12:34:5612:34:56");

    host.type(kPanelWindow, kIdPrice1, "999999");
    std::string prices = "21C";
    for (int i = 0; i < 82; ++i) prices += "{P}";
    const std::string cut = expand(prices);
    ASSERT_EQ(cut.size(), kLineMaxExpanded);
    EXPECT_EQ(cut.find_first_not_of('9', 3), std::string::npos);
}

TEST(PauseCount, reads_at_most_ten_characters_as_a_decimal) {
    auto count = [](const std::string& s) { return pause_count(s.c_str(), s.size()); };
    EXPECT_EQ(count("123456789012}"), 1234567890u);
    EXPECT_EQ(count("1000}"), 1000u);
    EXPECT_EQ(count("}"), 0u);
    EXPECT_EQ(count(""), 0u);
    EXPECT_EQ(count("  +15}"), 15u);
    EXPECT_EQ(count("12ab34"), 12u);
    EXPECT_EQ(count(" x5"), 0u);
    EXPECT_EQ(count("         7"), 7u);
    EXPECT_EQ(count("          7"), 0u);  // the digit is the eleventh character
    EXPECT_EQ(count("-1}"), 4294967295u);
    EXPECT_EQ(count("4294967296"), 0u);  // taken modulo 2^32
    EXPECT_EQ(count("9999999999"), 1410065407u);
    EXPECT_EQ(pause_count("12345", 2), 12u);  // never reads past the line
}

}  // namespace
}  // namespace kc::test
