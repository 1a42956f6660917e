// Script runner tests: taking lines from the script text and routing them to slots.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script/script_line.h"

namespace kc {
namespace {

struct Taken {
    std::vector<std::string> lines;
    bool ended = false;
};

// Takes lines the way the thread does until the text's last line.
Taken take_all(const std::string& text, int max_lines = 100) {
    Taken t;
    ScriptLine line;
    size_t pos = 0;
    for (int i = 0; i < max_lines; ++i) {
        bool last = false;
        pos = take_line(text.c_str(), pos, line, last);
        EXPECT_EQ(line.text[line.length], '\0');
        t.lines.emplace_back(line.text, line.length);
        if (last) {
            t.ended = true;
            break;
        }
    }
    return t;
}

std::string route(const std::string& text, int* slot_number = nullptr) {
    ScriptLine line;
    line.length = text.size();
    text.copy(line.text, text.size());
    line.text[line.length] = '\0';
    char command[kLineBuffer];
    const int n = route_line(line, command, sizeof command);
    if (slot_number) *slot_number = n;
    return n ? std::string(command) : std::string("<none>");
}

TEST(ScriptLine, crlf_lf_and_lone_cr_end_lines) {
    EXPECT_EQ(take_all("21C1\r\n22C2\r\n23C3").lines, (std::vector<std::string>{"21C1", "22C2", "23C3"}));
    EXPECT_EQ(take_all("21C1\n22C2\n23C3\n").lines, (std::vector<std::string>{"21C1", "22C2", "23C3", ""}));
    // After a CR everything up to and including the next LF is skipped.
    EXPECT_EQ(take_all("21C1\r22C2\r23C3").lines, (std::vector<std::string>{"21C1", ""}));
    EXPECT_EQ(take_all("A\rskipped\nB\r\nC").lines, (std::vector<std::string>{"A", "B", "C"}));
}

TEST(ScriptLine, cr_at_the_end_leaves_an_empty_last_line) {
    Taken t = take_all("21C1\r");
    EXPECT_TRUE(t.ended);
    EXPECT_EQ(t.lines, (std::vector<std::string>{"21C1", ""}));
}

TEST(ScriptLine, long_line_keeps_249_characters_and_drops_its_rest) {
    const std::string long_line = std::string(249, 'a') + "bcdef{G}";
    Taken t = take_all(long_line + "\r\n21C1");
    ASSERT_EQ(t.lines.size(), 2u);
    EXPECT_EQ(t.lines[0], std::string(249, 'a'));
    EXPECT_EQ(t.lines[1], "21C1");

    // Cut with no line end after it: the next line is the empty last one.
    t = take_all(std::string(10000, 'x'));
    ASSERT_EQ(t.lines.size(), 2u);
    EXPECT_EQ(t.lines[0].size(), 249u);
    EXPECT_EQ(t.lines[1], "");
}

TEST(ScriptLine, line_end_right_after_249_characters_loses_nothing) {
    const std::string a(249, 'a'), b(249, 'b');
    EXPECT_EQ(take_all(a + "\n" + b + "\r\nend").lines, (std::vector<std::string>{a, b, "end"}));
}

TEST(ScriptLine, segment_line_reads_24_flags_after_b) {
    EXPECT_EQ(route("21B1"), "21B800000");
    EXPECT_EQ(route("21B" + std::string(8, '1') + std::string(16, '0')), "21BFF0000");
    // Any character but '0' sets its bit; a short line leaves the rest clear.
    EXPECT_EQ(route("21BA0x"), "21BA00000");
    EXPECT_EQ(route("25B"), "25B000000");
    // Characters after the 24th flag are ignored.
    EXPECT_EQ(route("21B" + std::string(23, '0') + "1" + "111111"), "21B000001");
    EXPECT_EQ(route("21B" + std::string(24, '0') + "111111"), "21B000000");
    EXPECT_EQ(route("71B" + std::string(24, '1')), "71BFFFFFF");
}

TEST(ScriptLine, lines_route_by_controller_and_field_digit) {
    int n = 0;
    EXPECT_EQ(route("21C1.00", &n), "21C1.00");
    EXPECT_EQ(n, 3);
    EXPECT_EQ(route("05M7{S5}", &n), "05M7{S5}");
    EXPECT_EQ(n, 7);
    EXPECT_EQ(route("13", &n), "13");
    EXPECT_EQ(n, 5);
    EXPECT_EQ(route("26C1.00"), "<none>");
    EXPECT_EQ(route("20C"), "<none>");
    EXPECT_EQ(route("81C1.00"), "<none>");
    EXPECT_EQ(route("#21C1.00"), "<none>");
    EXPECT_EQ(route("2"), "<none>");
    EXPECT_EQ(route(""), "<none>");
}

}  // namespace
}  // namespace kc
