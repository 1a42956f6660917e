// Persistence tests: record formats of the five logs and their rotation.
#include "storage/logs.h"

#include <gtest/gtest.h>

#include <functional>

#include "storage/test_program.h"

namespace kc {
namespace {

using test::make_program;
using test::read_file;
using test::TempDir;
using test::write_file;

const LocalTime kDecember7{2026, 12, 7, 7, 5, 9};

struct LogsTest : ::testing::Test {
    LogsTest() {
        clock.set_local_time(kDecember7);
        clock.set_tick(1000);
    }
    std::string traffic() { return read_file(dir / "KavorCb.pod"); }
    void log(const std::string& text) { log_traffic_text(*p, text); }

    TempDir dir;
    ManualClock clock;
    std::unique_ptr<Program> p = make_program(dir.path(), &clock);
};

TEST(LogFormat, date_is_day_first_with_two_digit_year) {
    EXPECT_EQ(log_date(kDecember7), "07/12/26");
    EXPECT_EQ(log_time(kDecember7), "07:05:09");
    EXPECT_EQ(log_date(LocalTime{2100, 1, 31, 0, 0, 0}), "31/01/00");
    EXPECT_EQ(log_date(LocalTime{1999, 10, 2, 0, 0, 0}), "02/10/99");
    EXPECT_EQ(log_time(LocalTime{2026, 1, 1, 23, 59, 0}), "23:59:00");
}

TEST_F(LogsTest, traffic_block_is_logged_byte_for_byte) {
    const uint8_t block[] = {0x02, '2', '1', 0x00, '\r', '\n', 0xFF, 0x03};
    log_traffic_block(*p, block, sizeof block);
    EXPECT_EQ(traffic(), std::string("\n 07/12/26 07:05:09\n<1000>") + std::string(reinterpret_cast<const char*>(block),
                                                                                  sizeof block));
}

TEST_F(LogsTest, header_is_written_at_most_once_a_minute) {
    log("A");
    clock.advance_seconds(30);
    log("B");
    clock.advance_seconds(30);  // exactly 60 s after the header
    log("C");
    clock.advance_seconds(1);
    clock.set_local_time(LocalTime{2026, 12, 7, 7, 6, 10});
    log("D");
    EXPECT_EQ(traffic(), "\n 07/12/26 07:05:09\n<1000>A<30000>B<30000>C\n 07/12/26 07:06:10\n<1000>D");
}

TEST_F(LogsTest, tick_delta_is_signed_and_wraps_at_32_bits) {
    clock.set_tick(0xFFFFFF00u);
    log("");
    clock.set_tick(0x100u);
    log("");
    clock.set_tick(0x80u);
    log("");
    EXPECT_EQ(traffic(), "\n 07/12/26 07:05:09\n<-256><512><-128>");
}

TEST_F(LogsTest, traffic_needs_the_record) {
    p->record.reset();
    log("A");
    EXPECT_FALSE(std::filesystem::exists(dir / "KavorCb.pod"));
}

TEST_F(LogsTest, statistics_record_holds_the_three_counters) {
    p->state.ilosc_transmisji = 1234;
    p->state.blad_transmisji = 5;
    p->state.blad_crc = -1;
    log_statistics(*p);
    log_statistics(*p);
    const std::string one = "07/12/26 07:05:09\nilosc_transmisji = 1234\nblad_transmisji = 5\nblad_crc = -1\n\n";
    EXPECT_EQ(read_file(dir / "KavorCs.pod"), one + one);
}

TEST_F(LogsTest, measurement_text_is_right_aligned_and_never_cut) {
    log_light_level(*p, "7");
    log_light_level(*p, "1234");
    log_display_light_level(*p, "255");
    log_temperature(*p, "5");
    log_temperature(*p, "-12.345");
    log_temperature(*p, nullptr);
    EXPECT_EQ(read_file(dir / "KavorSw.pod"), "07/12/26 07:05:09   7\n07/12/26 07:05:09 1234\n");
    EXPECT_EQ(read_file(dir / "KavorSwR.pod"), "07/12/26 07:05:09 255\n");
    EXPECT_EQ(read_file(dir / "KavorTemp.pod"),
              "07/12/26 07:05:09     5\n07/12/26 07:05:09 -12.345\n07/12/26 07:05:09      \n");
}

// A sparse file of `size` bytes, so that the limit is reached without writing 30 MB.
void make_sized_file(const std::filesystem::path& path, std::uintmax_t size) {
    write_file(path, "");
    std::filesystem::resize_file(path, size);
}

TEST_F(LogsTest, log_of_exactly_the_limit_is_not_rotated) {
    make_sized_file(dir / "KavorCb.pod", 30000000);
    log("A");
    const std::string record = "\n 07/12/26 07:05:09\n<1000>A";
    EXPECT_EQ(std::filesystem::file_size(dir / "KavorCb.pod"), 30000000u + record.size());
    EXPECT_FALSE(std::filesystem::exists(dir / "KavorCb.po1"));
}

TEST_F(LogsTest, every_log_past_the_limit_moves_to_its_po1_replacing_the_old_copy) {
    struct Log {
        const char* current;
        const char* rotated;
        std::function<void(Program&)> write;
    };
    const Log logs[] = {
        {"KavorCb.pod", "KavorCb.po1", [](Program& p) { log_traffic_text(p, "A"); }},
        {"KavorCs.pod", "KavorCs.po1", [](Program& p) { log_statistics(p); }},
        {"KavorTemp.pod", "KavorTemp.po1", [](Program& p) { log_temperature(p, "21.5"); }},
        {"KavorSw.pod", "KavorSw.po1", [](Program& p) { log_light_level(p, "12"); }},
        {"KavorSwR.pod", "KavorSwR.po1", [](Program& p) { log_display_light_level(p, "34"); }},
    };
    for (const Log& l : logs) {
        make_sized_file(dir / l.current, 30000001);
        write_file(dir / l.rotated, "older generation");
        l.write(*p);
        EXPECT_EQ(std::filesystem::file_size(dir / l.rotated), 30000001u) << l.current;
        std::string fresh = read_file(dir / l.current);
        EXPECT_LT(fresh.size(), 200u) << l.current;
        EXPECT_NE(fresh.find("07/12/26 07:05:09"), std::string::npos) << l.current;
    }
    // Nothing else was created beside them.
    size_t files = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path())) ++files;
    EXPECT_EQ(files, 10u);
}

TEST_F(LogsTest, missing_log_is_created_and_the_old_copy_left_alone) {
    write_file(dir / "KavorTemp.po1", "older generation");
    log_temperature(*p, "21.5");
    EXPECT_EQ(read_file(dir / "KavorTemp.po1"), "older generation");
    EXPECT_EQ(read_file(dir / "KavorTemp.pod"), "07/12/26 07:05:09  21.5\n");
}

TEST_F(LogsTest, log_that_cannot_be_opened_is_dropped_quietly) {
    std::filesystem::create_directory(dir / "KavorCb.pod");
    std::filesystem::create_directory(dir / "KavorTemp.pod");
    log("A");
    log_temperature(*p, "1");
    EXPECT_TRUE(std::filesystem::is_empty(dir / "KavorCb.pod"));
    // The dropped record did not use up the first header.
    std::filesystem::remove(dir / "KavorCb.pod");
    log("B");
    EXPECT_EQ(traffic(), "\n 07/12/26 07:05:09\n<1000>B");
}

}  // namespace
}  // namespace kc
