// Persistence tests: the price journal's bytes, the schedule file, and files spoilt by
// hand or by chance.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "storage/price_files.h"
#include "text/cp1250.h"

namespace kc {
namespace {

namespace fs = std::filesystem;

class PriceFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("kc_price_files_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string path(const char* name) const { return (dir_ / name).string(); }
    static std::string random_bytes(size_t n, uint32_t seed) {
        std::mt19937 rng(seed);
        std::string s(n, '\0');
        for (char& c : s) c = static_cast<char>(rng() & 0xFF);
        return s;
    }
    fs::path dir_;
};

JournalEntry sample() {
    JournalEntry e;
    e.when = LocalTime{2026, 12, 8, 0, 0, 5};
    e.source = "harmonogram";
    e.prices = {"4.59", "5.19", "", "6;1", "-"};
    e.blink = "M----";
    e.outcome = utf8_to_cp1250("niezgodne");
    e.shown = {"4.59", "4.99", "", "6", "-"};
    e.shown_blink = "M----";
    e.note = "2 \"x\"";
    return e;
}

TEST_F(PriceFiles, journal_line_is_byte_for_byte_and_reads_back) {
    const JournalEntry e = sample();
    EXPECT_EQ(journal_line(e),
              "2026-12-08;00:00:05;harmonogram;4.59;5.19;;\"6;1\";-;M----;niezgodne;4.59;4.99;;6;-;M----;\"2 \"\"x\"\"\"\r\n");
    EXPECT_EQ(journal_header(), utf8_to_cp1250("Data;Godzina;Źródło;Cena 1;Cena 2;Cena 3;Cena 4;Cena 5;Mruganie;Wynik;"
                                               "Wieża 1;Wieża 2;Wieża 3;Wieża 4;Wieża 5;Wieża mruganie;Uwagi\r\n"));
    std::string line = journal_line(e);
    line.resize(line.size() - 2);
    JournalEntry back;
    ASSERT_TRUE(parse_journal_line(line, back));
    EXPECT_EQ(back, e);
    for (const char* bad : {"", "2026-12-08;00:00:05", "2026-13-08;00:00:05;panel;;;;;;;x;;;;;;;",
                            "2026-12-08;24:00:05;panel;;;;;;;x;;;;;;;", "2026-02-30;00:00:00;panel;;;;;;;x;;;;;;;",
                            "2026-12-08;00:00:05;panel;;;;;;XXXXX;x;;;;;;;", "2026-12-08;00:00:05;panel;\"a;;;;;;x;;;;;;;"})
        EXPECT_FALSE(parse_journal_line(bad, back)) << bad;
}

TEST_F(PriceFiles, journal_appends_with_one_header_and_sets_an_unreadable_file_aside) {
    Program p;
    copy_text(p.state.work_directory, sizeof p.state.work_directory, dir_.string().c_str());
    ASSERT_FALSE(append_journal(p, sample()));
    ASSERT_FALSE(append_journal(p, sample()));
    std::ifstream in(path(kJournalName), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    EXPECT_EQ(s.str(), journal_header() + journal_line(sample()) + journal_line(sample()));
    in.close();  // Windows removes no file that is open

    // A folder where the journal should be is moved aside, never written into.
    fs::remove(path(kJournalName));
    fs::create_directories(path(kJournalName));
    std::vector<JournalEntry> entries;
    FileRead read = read_journal(path(kJournalName), entries);
    EXPECT_EQ(read.set_aside_as, path(kJournalName) + kSetAsideSuffix);
    EXPECT_TRUE(fs::is_directory(read.set_aside_as));
    ASSERT_FALSE(append_journal(p, sample()));
    EXPECT_TRUE(fs::is_regular_file(path(kJournalName)));
}

TEST_F(PriceFiles, an_empty_journal_gets_its_header_with_the_first_line) {
    Program p;
    copy_text(p.state.work_directory, sizeof p.state.work_directory, dir_.string().c_str());
    { std::ofstream empty(path(kJournalName)); }  // a full disk cut the first write short
    ASSERT_FALSE(append_journal(p, sample()));
    std::ifstream in(path(kJournalName), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    EXPECT_EQ(s.str(), journal_header() + journal_line(sample()));
}

TEST_F(PriceFiles, a_schedule_line_means_the_same_after_a_save_whatever_its_line_end) {
    const std::string good = "codziennie;06:00:00;4.59;;;;;-----";
    const std::string broken = "codziennie;25:00:00;4.59;;;;;-----";
    for (const std::string& line : {good, broken})
        for (const char* end : {"\n", "\r\n", "\r\r\n", "\r", "\r\r"}) {
            SCOPED_TRACE(line + " ending in " + std::to_string(std::string(end).size()) + " bytes " +
                         (std::string(end).find('\n') == std::string::npos ? "without LF" : "with LF"));
            std::ofstream(path(kScheduleName), std::ios::binary) << "#\n" << line << end << "#\n";
            Schedule first, second;
            const FileRead read = load_schedule(path(kScheduleName), first);
            ASSERT_FALSE(save_schedule(path(kScheduleName), first));
            const FileRead again = load_schedule(path(kScheduleName), second);
            EXPECT_EQ(first.entries.size(), line == good ? 1u : 0u);
            EXPECT_EQ(second.entries.size(), first.entries.size());
            EXPECT_EQ(again.bad_lines.size(), read.bad_lines.size());
        }
}

TEST_F(PriceFiles, random_mebibyte_reports_bad_lines_and_loses_no_good_one) {
    // Good lines stand between blocks of random bytes, in both files.
    ScheduleEntry planned;
    planned.year = 2027;
    planned.month = 2;
    planned.day = 28;
    planned.hour = 23;
    planned.minute = 59;
    planned.prices = {"4.59", "", " 5.1", "-", "12345."};
    planned.blink = {true, false, false, true, false};
    ScheduleEntry daily = planned;
    daily.daily = true;

    std::string journal_bytes, schedule_bytes;
    std::string journal_good = journal_line(sample());
    for (int block = 0; block < 16; ++block) {
        journal_bytes += random_bytes(64 * 1024, block) + "\n" + journal_good;
        schedule_bytes += random_bytes(64 * 1024, 100 + block) + "\n" + schedule_line(block % 2 ? daily : planned) + "\n";
    }
    std::ofstream(path(kJournalName), std::ios::binary) << journal_bytes;
    std::ofstream(path(kScheduleName), std::ios::binary) << schedule_bytes;

    std::vector<JournalEntry> entries;
    FileRead jr = read_journal(path(kJournalName), entries);
    EXPECT_EQ(entries.size(), 16u);
    for (const auto& e : entries) EXPECT_EQ(e, sample());
    EXPECT_FALSE(jr.bad_lines.empty());

    Schedule schedule;
    FileRead sr = load_schedule(path(kScheduleName), schedule);
    ASSERT_EQ(schedule.entries.size(), 16u);
    EXPECT_EQ(schedule.entries[0], planned);
    EXPECT_EQ(schedule.entries[1], daily);
    EXPECT_EQ(sr.bad_lines.size(), schedule.kept_lines.size());

    // A save keeps the broken lines, so a hand edit is never lost; loading again gives
    // the same plan.
    ASSERT_FALSE(save_schedule(path(kScheduleName), schedule));
    Schedule again;
    FileRead ar = load_schedule(path(kScheduleName), again);
    EXPECT_EQ(again.entries, schedule.entries);
    EXPECT_EQ(again.kept_lines, schedule.kept_lines);
    EXPECT_EQ(ar.bad_lines.size(), sr.bad_lines.size());
}

// A UTF-8 terminal shows the schedule's comments as they are meant.
TEST(ScheduleFile, comments_are_ascii) {
    const std::string text = schedule_text(Schedule{});
    ASSERT_FALSE(text.empty());
    for (char c : text) EXPECT_LT(static_cast<unsigned char>(c), 0x80u) << text;
}

TEST_F(PriceFiles, schedule_lines_refuse_what_the_panel_would_not_send) {
    ScheduleEntry e;
    EXPECT_TRUE(parse_schedule_line("codziennie;06:30;4.59;;;;;-----", e));
    EXPECT_TRUE(e.daily);
    EXPECT_EQ(e.hour * 60 + e.minute, 390);
    EXPECT_EQ(schedule_line(e), "codziennie;06:30:00;4.59;;;;;-----");
    EXPECT_TRUE(parse_schedule_line("codziennie;06:30;4,59;;;;;-----", e));  // a hand-typed comma
    for (const char* bad : {"codziennie;06:30;1234567;;;;;-----", "codziennie;06:30;4a59;;;;;-----",
                            "codziennie;06:30;;;;;;-----",
                            "codziennie;6:30;4.59;;;;;-----", "2026-01-01;06:30;4.59;;;;;----",
                            "2026-01-01;06:30;4.59;;;;;-----;", "jutro;06:30;4.59;;;;;-----"})
        EXPECT_FALSE(parse_schedule_line(bad, e)) << bad;
}

}  // namespace
}  // namespace kc
