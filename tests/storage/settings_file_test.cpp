// Persistence tests: KavorCen.ini, written byte for byte and read back by its rules.
#include "storage/settings_file.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "storage/test_program.h"
#include "storage/work_path.h"

namespace kc {
namespace {

using test::make_program;
using test::read_file;
using test::TempDir;
using test::write_file;

const char kDefaultFile[] =
    "1\n19200\n8\n0\n0\n0\n"
    "255\n255\n255\n255\n20\n255\n255\n255\n255\n20\n"
    "255\n255\n255\n255\n255\n255\n255\n255\n255\n255\n255\n255\n"
    "0\n0\n"
    "AAA\n65280\nBBB\n65535\nCCC\n255\nDDD\n16777215\nEEE\n16711680\n";

std::vector<std::string> default_lines() {
    std::vector<std::string> lines;
    std::string text = kDefaultFile, line;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    return lines;
}

std::string join(const std::vector<std::string>& lines, const char* separator = "\n") {
    std::string out;
    for (const auto& l : lines) out += l + separator;
    return out;
}

// The setting each of lines 1..30 holds, read from memory.
int line_value(Program& p, int line) {
    MainRecord& r = *p.record;
    ProgramState& s = p.state;
    const int light_of_line[31] = {-1, -1, -1, -1, -1, -1, -1,
                                   kDisplay1LowLevel, kDisplay1LowPower, kDisplay1HighLevel, kDisplay1HighPower, -1,
                                   kDisplay2LowLevel, kDisplay2LowPower, kDisplay2HighLevel, kDisplay2HighPower, -1,
                                   kPriceLowLevel, kPricePowerLow1, kPricePowerLow1 + 1, kPricePowerLow1 + 2,
                                   kPricePowerLow1 + 3, kPricePowerLow1 + 4, kPriceHighLevel, kPricePowerHigh1,
                                   kPricePowerHigh1 + 1, kPricePowerHigh1 + 2, kPricePowerHigh1 + 3,
                                   kPricePowerHigh1 + 4, -1, -1};
    switch (line) {
        case 1: return r.port_number;
        case 2: return static_cast<int>(r.baud_rate.load());
        case 3: return r.data_bits;
        case 4: return r.parity;
        case 5: return r.stop_bits;
        case 6: return r.log_traffic;
        case 11: return s.scroll_speed[0];
        case 16: return s.scroll_speed[1];
        case 29: return r.auto_backlight;
        case 30: return r.hide_on_minimize;
        default: return s.light_settings[light_of_line[line]];
    }
}

// Loads `contents` as the settings file into a fresh program.
std::unique_ptr<Program> load_text(const TempDir& dir, const std::string& contents) {
    write_file(dir / "KavorCen.ini", contents);
    auto p = make_program(dir.path());
    EXPECT_TRUE(load_settings(*p));
    return p;
}

void expect_defaults(Program& p, int from_line = 1) {
    auto lines = default_lines();
    for (int line = from_line; line <= 30; ++line)
        EXPECT_EQ(line_value(p, line), std::stoi(lines[line - 1])) << "line " << line;
}

// Every setting within the rule of its line.
void expect_within_rules(Program& p) {
    static const int rates[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                19200, 38400, 56000, 57600, 115200, 128000, 256000};
    EXPECT_GE(line_value(p, 1), 1);
    EXPECT_NE(std::find(std::begin(rates), std::end(rates), line_value(p, 2)), std::end(rates));
    EXPECT_GE(line_value(p, 3), 4);
    EXPECT_LE(line_value(p, 3), 8);
    EXPECT_LE(line_value(p, 4), 4);
    EXPECT_LE(line_value(p, 5), 2);
    for (int line = 7; line <= 28; ++line) {
        int low = (line == 11 || line == 16) ? 1 : 0;
        EXPECT_GE(line_value(p, line), low) << "line " << line;
        EXPECT_LE(line_value(p, line), 255) << "line " << line;
    }
    for (auto& label : p.state.price_labels) EXPECT_LE(strnlen(label, sizeof label), 31u);
}

TEST(SettingsFile, fresh_defaults_save_exactly_the_forty_default_lines) {
    TempDir dir;
    auto p = make_program(dir.path());
    EXPECT_FALSE(load_settings(*p));
    expect_defaults(*p);
    ASSERT_TRUE(save_settings(*p));
    EXPECT_EQ(read_file(dir / "KavorCen.ini"), kDefaultFile);
}

TEST(SettingsFile, without_a_record_neither_operation_touches_the_file) {
    TempDir dir;
    write_file(dir / "KavorCen.ini", "7\n");
    auto p = make_program(dir.path());
    p->record.reset();
    EXPECT_FALSE(load_settings(*p));
    EXPECT_FALSE(save_settings(*p));
    EXPECT_FALSE(save_settings_locked(*p));
    EXPECT_EQ(read_file(dir / "KavorCen.ini"), "7\n");
}

TEST(SettingsFile, each_setting_is_written_on_its_own_line_and_loads_back) {
    TempDir dir;
    auto p = make_program(dir.path());
    MainRecord& r = *p->record;
    r.port_number = 7;
    r.baud_rate = 57600;
    r.data_bits = 7;
    r.parity = 2;
    r.stop_bits = 1;
    r.log_traffic = true;
    r.auto_backlight = true;
    r.hide_on_minimize = true;
    for (int i = 0; i < kLightSettingCount; ++i) p->state.light_settings[i] = 100 + i;
    p->state.scroll_speed[0] = 5;
    p->state.scroll_speed[1] = 250;
    const char* labels[5] = {"Pb95", "ON", "LPG", "E85", "\xA3\xB9ka"};  // "Łąka"
    const Color colors[5] = {1, 0, 123456, 4294967295u, 16711680};
    for (int i = 0; i < 5; ++i) {
        copy_text(p->state.price_labels[i], 32, labels[i]);
        p->state.price_label_colors[i] = colors[i];
    }
    ASSERT_TRUE(save_settings_locked(*p));
    EXPECT_EQ(p->state.settings_lock.value(), 0);

    std::string text = read_file(dir / "KavorCen.ini");
    std::vector<std::string> lines;
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    ASSERT_EQ(lines.size(), 40u);
    for (int line = 1; line <= 30; ++line)
        EXPECT_EQ(lines[line - 1], std::to_string(line_value(*p, line))) << "line " << line;
    EXPECT_EQ(lines[14], std::to_string(100 + kDisplay2HighPower));
    EXPECT_EQ(lines[29], "1");
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(lines[30 + 2 * i], labels[i]);
        EXPECT_EQ(lines[31 + 2 * i], std::to_string(colors[i]));
    }

    auto q = make_program(dir.path());
    ASSERT_TRUE(load_settings(*q));
    for (int line = 1; line <= 30; ++line) EXPECT_EQ(line_value(*q, line), line_value(*p, line)) << "line " << line;
    for (int i = 0; i < 5; ++i) {
        EXPECT_STREQ(q->state.price_labels[i], labels[i]);
        EXPECT_EQ(q->state.price_label_colors[i].load(), colors[i]);
    }
}

TEST(SettingsFile, numbers_separated_by_spaces_or_crlf_load_the_same) {
    TempDir dir;
    auto lines = default_lines();
    lines[0] = "3";
    lines[10] = "77";
    lines[36] = "ZZZ";
    lines[39] = "42";
    for (const char* separator : {" ", "\t", "\r\n", "  \n \n"}) {
        auto p = load_text(dir, join(lines, separator));
        EXPECT_EQ(p->record->port_number, 3) << "separator '" << separator << "'";
        EXPECT_EQ(p->state.scroll_speed[0], 77);
        EXPECT_STREQ(p->state.price_labels[3], "ZZZ");
        EXPECT_EQ(p->state.price_label_colors[4].load(), 42u);
    }
}

TEST(SettingsFile, values_outside_their_rule_are_ignored) {
    struct Case {
        int line;
        const char* text;
        int expected;
    };
    const Case cases[] = {
        {1, "0", 1},       {1, "255", 255},       {1, "256", 1},
        {2, "57600", 57600}, {2, "115200", 115200}, {2, "256000", 256000}, {2, "110", 110},
        {2, "19201", 19200}, {2, "0", 19200},      {2, "-19200", 19200},
        {3, "4", 4},       {3, "9", 8},           {3, "3", 8},
        {4, "4", 4},       {4, "5", 0},           {5, "2", 2},            {5, "3", 0},
        {6, "1", 1},       {6, "2", 0},
        {7, "0", 0},       {10, "0", 0},          {15, "0", 0},           {28, "0", 0},
        {7, "256", 255},   {17, "-1", 255},
        {11, "0", 20},     {16, "0", 20},         {11, "1", 1},           {16, "255", 255}, {16, "256", 20},
        {29, "1", 1},      {29, "2", 0},          {30, "1", 1},           {30, "2", 0},   {30, "-1", 0},
        {2, "99999999999999999999", 19200},       {7, "+12", 12},
    };
    TempDir dir;
    for (const Case& c : cases) {
        auto lines = default_lines();
        lines[c.line - 1] = c.text;
        auto p = load_text(dir, join(lines));
        EXPECT_EQ(line_value(*p, c.line), c.expected) << "line " << c.line << " holding " << c.text;
        // The lines after it are still read in their places.
        EXPECT_STREQ(p->state.price_labels[4], "EEE");
        EXPECT_EQ(p->state.price_label_colors[4].load(), 16711680u);
    }
}

TEST(SettingsFile, early_end_or_non_number_keeps_every_later_setting) {
    TempDir dir;
    auto lines = default_lines();
    for (int i = 0; i < 30; ++i) lines[i] = (i == 0) ? "5" : (i == 1) ? "9600" : (i == 2) ? "7" : "1";
    lines[30] = "XXX";
    lines[31] = "7";

    // The file ends after line 10.
    auto p = load_text(dir, join({lines.begin(), lines.begin() + 10}));
    EXPECT_EQ(line_value(*p, 1), 5);
    EXPECT_EQ(line_value(*p, 2), 9600);
    EXPECT_EQ(line_value(*p, 10), 1);
    expect_defaults(*p, 11);
    EXPECT_STREQ(p->state.price_labels[0], "AAA");

    // Line 4 holds a word: lines 1..3 stay as read, nothing later is taken.
    auto broken = lines;
    broken[3] = "abc";
    p = load_text(dir, join(broken));
    EXPECT_EQ(line_value(*p, 3), 7);
    expect_defaults(*p, 4);
    EXPECT_STREQ(p->state.price_labels[0], "AAA");
    EXPECT_EQ(p->state.price_label_colors[0].load(), 65280u);

    // A number followed by letters is read up to the letters, which end the numbers.
    broken = lines;
    broken[5] = "1x";
    p = load_text(dir, join(broken));
    EXPECT_EQ(line_value(*p, 6), 1);
    expect_defaults(*p, 7);

    // An empty file opens and changes nothing.
    p = load_text(dir, "");
    expect_defaults(*p);

    // The pairs stop at the first colour that is not a number: the label read stays.
    broken = lines;
    broken[33] = "red";
    p = load_text(dir, join(broken));
    EXPECT_EQ(line_value(*p, 30), 1);
    EXPECT_STREQ(p->state.price_labels[0], "XXX");
    EXPECT_EQ(p->state.price_label_colors[0].load(), 7u);
    EXPECT_STREQ(p->state.price_labels[1], "BBB");
    EXPECT_EQ(p->state.price_label_colors[1].load(), 65535u);
    EXPECT_STREQ(p->state.price_labels[2], "CCC");

    // A colour too large for 32 bits is not a colour.
    broken = lines;
    broken[31] = "4294967296";
    p = load_text(dir, join(broken));
    EXPECT_STREQ(p->state.price_labels[0], "XXX");
    EXPECT_EQ(p->state.price_label_colors[0].load(), 65280u);
}

TEST(SettingsFile, long_label_word_is_cut_to_31_characters) {
    TempDir dir;
    auto lines = default_lines();
    lines[30] = std::string(200, 'Q');
    lines[32] = "x";
    auto p = load_text(dir, join(lines));
    EXPECT_EQ(std::string(p->state.price_labels[0]), std::string(31, 'Q'));
    // The rest of the word is passed over: the pairs after it are read in place.
    EXPECT_EQ(p->state.price_label_colors[0].load(), 65280u);
    EXPECT_STREQ(p->state.price_labels[1], "x");
    EXPECT_EQ(p->state.price_label_colors[4].load(), 16711680u);
}

TEST(SettingsFile, random_bytes_and_huge_files_only_give_values_within_the_rules) {
    TempDir dir;
    std::mt19937 rng(12345);
    for (int round = 0; round < 200; ++round) {
        std::string bytes(static_cast<size_t>(rng() % 600), '\0');
        // Half the rounds draw from digits and blanks, so that many numbers are read.
        const char alphabet[] = "0123456789 \n-+";
        for (char& b : bytes)
            b = (round % 2) ? alphabet[rng() % (sizeof alphabet - 1)] : static_cast<char>(rng() % 256);
        auto p = load_text(dir, bytes);
        expect_within_rules(*p);
    }

    std::string huge(1 << 20, '\0');
    for (char& b : huge) b = static_cast<char>(rng() % 256);
    expect_within_rules(*load_text(dir, huge));

    // One mebibyte of digits is one very long number: rejected everywhere it could land.
    expect_defaults(*load_text(dir, std::string(1 << 20, '7')));
    // One label word of a mebibyte.
    auto lines = default_lines();
    auto p = load_text(dir, join({lines.begin(), lines.begin() + 30}) + std::string(1 << 20, 'L'));
    EXPECT_EQ(std::string(p->state.price_labels[0]), std::string(31, 'L'));
    EXPECT_STREQ(p->state.price_labels[1], "BBB");
}

TEST(SettingsFile, save_that_cannot_create_the_file_writes_nothing_and_succeeds) {
    TempDir dir;
    // A folder of that name stands where the file would go.
    std::filesystem::create_directory(dir / "KavorCen.ini");
    auto p = make_program(dir.path());
    EXPECT_TRUE(save_settings(*p));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "KavorCen.ini"));
    EXPECT_TRUE(std::filesystem::is_empty(dir / "KavorCen.ini"));

    auto gone = make_program(dir / "no-such-folder");
    EXPECT_TRUE(save_settings(*gone));
    EXPECT_FALSE(std::filesystem::exists(dir / "no-such-folder"));
}

TEST(SettingsFile, save_writes_into_the_stored_folder_whatever_the_current_directory) {
    TempDir dir, elsewhere;
    auto before = std::filesystem::current_path();
    std::filesystem::current_path(elsewhere.path());
    auto p = make_program(dir.path());
    p->record->port_number = 9;
    bool saved = save_settings(*p);
    std::filesystem::current_path(before);
    EXPECT_TRUE(saved);
    EXPECT_FALSE(std::filesystem::exists(elsewhere / "KavorCen.ini"));
    auto q = make_program(dir.path());
    ASSERT_TRUE(load_settings(*q));
    EXPECT_EQ(q->record->port_number, 9);
}

TEST(SettingsFile, save_replaces_a_longer_old_file_whole) {
    TempDir dir;
    write_file(dir / "KavorCen.ini", std::string(5000, '9'));
    auto p = make_program(dir.path());
    ASSERT_TRUE(save_settings(*p));
    EXPECT_EQ(read_file(dir / "KavorCen.ini"), kDefaultFile);
}

// Messages show these paths: one separator, never "//".
TEST(WorkPath, a_file_is_joined_to_its_folder_by_one_separator) {
    struct Case {
        const char* folder;
        const char* expected;
    } cases[] = {
        {"/home/op/t4ro", "/home/op/t4ro/KavorCen.ini"},
        {"/home/op/t4ro/", "/home/op/t4ro/KavorCen.ini"},
        {"/", "/KavorCen.ini"},
        {"C:\\Stacja", "C:\\Stacja\\KavorCen.ini"},
        {"C:\\", "C:\\KavorCen.ini"},
        {".", "./KavorCen.ini"},
        {"", "KavorCen.ini"},
    };
    for (const Case& c : cases) EXPECT_EQ(join_path(c.folder, "KavorCen.ini"), c.expected) << c.folder;
}

}  // namespace
}  // namespace kc
