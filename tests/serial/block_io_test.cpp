// Tests (serial link): every branch of the block reader and writer, with the exact
// texts they leave in the traffic log.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "serial/block_io.h"
#include "serial/traffic_log_capture.h"
#include "support/fake_serial_device.h"

namespace kc {
namespace {

using test::block_record;
using test::text_record;
using test::TrafficRecord;

std::error_code sys(int e) { return {e, std::system_category()}; }

class BlockIo : public ::testing::Test {
protected:
    void SetUp() override {
        test::clear_traffic_records();
        p.record = std::make_unique<MainRecord>();
        p.record->port_handle = std::make_unique<test::FakeSerialDevice>(line);
        p.record->log_traffic = true;
    }
    std::vector<TrafficRecord> log() { return test::traffic_records(); }
    std::string read(size_t max) {
        uint8_t buffer[256] = {};
        size_t n = read_block(p, buffer, max);
        return std::string(reinterpret_cast<char*>(buffer), n);
    }
    int write(const std::string& s) { return write_block(p, reinterpret_cast<const uint8_t*>(s.data()), s.size()); }

    std::shared_ptr<test::FakeLine> line = std::make_shared<test::FakeLine>();
    Program p;
};

// ---- read block ----------------------------------------------------------------

TEST_F(BlockIo, empty_input_queue_reads_and_logs_nothing) {
    EXPECT_EQ(read(256), "");
    EXPECT_EQ(line->start_reads, 0);
    EXPECT_TRUE(log().empty());
}

TEST_F(BlockIo, read_takes_at_most_the_maximum_and_leaves_the_rest_queued) {
    line->receive("\x02V1.0xx\x03");
    EXPECT_EQ(read(4), "\x02V1.");
    EXPECT_EQ(line->incoming.size(), 4u);
    EXPECT_EQ(read(256), "0xx\x03");
    EXPECT_EQ(log(), (std::vector<TrafficRecord>{block_record("\x02V1."), block_record("0xx\x03")}));
}

TEST_F(BlockIo, read_logs_zero_bytes_and_carriage_returns_as_they_are) {
    line->receive(std::string("a\0\r\n", 4));
    EXPECT_EQ(read(256), std::string("a\0\r\n", 4));
    EXPECT_EQ(log(), (std::vector<TrafficRecord>{block_record(std::string("a\0\r\n", 4))}));
}

TEST_F(BlockIo, pending_read_logs_one_ce_per_incomplete_report_then_the_bytes) {
    line->receive("\x06\x06\x06");
    line->read_starts.push_back({IoStartState::Pending, 0, {}});
    line->read_waits.push_back({IoWaitState::Incomplete, 0, {}});
    line->read_waits.push_back({IoWaitState::Incomplete, 1, {}});
    line->read_waits.push_back({IoWaitState::Done, 3, {}});
    EXPECT_EQ(read(256), "\x06\x06\x06");
    EXPECT_EQ(log(), (std::vector<TrafficRecord>{text_record("<CE>"), text_record("<CE>"), block_record("\x06\x06\x06")}));
}

TEST_F(BlockIo, failed_read_wait_logs_the_error_code_then_the_line_flags) {
    line->receive("abcdef");
    line->line_errors = {0, kLineFrame | kLineOverrun};
    line->read_starts.push_back({IoStartState::Pending, 0, {}});
    line->read_waits.push_back({IoWaitState::Failed, 2, sys(5)});
    EXPECT_EQ(read(256), "ab");
    EXPECT_EQ(log(), (std::vector<TrafficRecord>{text_record("<CE-5>"), text_record("<CE-10>"), block_record("ab")}));
}

TEST_F(BlockIo, line_flags_need_show_line_errors_but_error_codes_do_not) {
    p.record->show_line_errors = false;
    line->receive("abc");
    line->line_errors = {0, kLineParity};
    line->read_starts.push_back({IoStartState::Pending, 0, {}});
    line->read_waits.push_back({IoWaitState::Incomplete, 0, {}});
    line->read_waits.push_back({IoWaitState::Failed, 0, sys(110)});
    EXPECT_EQ(read(256), "");
    EXPECT_EQ(log(), (std::vector<TrafficRecord>{text_record("<CE>"), text_record("<CE-110>"), block_record("")}));
}

TEST_F(BlockIo, read_that_fails_to_start_reports_only_nonzero_line_flags) {
    line->receive("abc");
    line->line_errors = {0, kLineBreak};
    line->read_starts.push_back({IoStartState::Failed, 0, sys(5)});
    EXPECT_EQ(read(256), "");
    EXPECT_EQ(log(), (std::vector<TrafficRecord>{text_record("<CE-16>"), block_record("")}));

    test::clear_traffic_records();
    line->read_starts.push_back({IoStartState::Failed, 0, sys(5)});
    EXPECT_EQ(read(256), "");
    EXPECT_EQ(log(), (std::vector<TrafficRecord>{block_record("")}));
}

TEST_F(BlockIo, a_device_that_stays_incomplete_does_not_hold_the_reader_for_ever) {
    line->receive("abc");
    line->read_starts.push_back({IoStartState::Pending, 0, {}});
    for (int i = 0; i < 100000; ++i) line->read_waits.push_back({IoWaitState::Incomplete, 0, {}});
    EXPECT_EQ(read(256), "");
    EXPECT_LT(line->read_waits_done, 100000);
    auto records = log();
    ASSERT_EQ(records.size(), static_cast<size_t>(line->read_waits_done) + 1);
    EXPECT_EQ(records.front(), text_record("<CE>"));
}

// ---- write block ---------------------------------------------------------------

TEST_F(BlockIo, write_that_completes_at_once_is_logged_once) {
    EXPECT_EQ(write("\x02" "20V26\x03"), 1);
    EXPECT_EQ(line->written(), "\x02" "20V26\x03");
    EXPECT_EQ(line->write_waits_done, 0);
    EXPECT_EQ(line->line_status_calls, 1);  // cleared before the write
    EXPECT_EQ(log(), (std::vector<TrafficRecord>{block_record("\x02" "20V26\x03")}));
}

TEST_F(BlockIo, pending_write_that_completes_is_logged_once_after_its_texts) {
    line->write_starts.push_back({IoStartState::Pending, 0, {}});
    line->write_waits.push_back({IoWaitState::Incomplete, 4, {}});
    line->write_waits.push_back({IoWaitState::Done, 10, {}});
    EXPECT_EQ(write("0123456789"), 1);
    // The device reports the running total, so 4 and then 10 is a whole write.
    EXPECT_EQ(log(), (std::vector<TrafficRecord>{text_record("<CE>"), block_record("0123456789")}));
}

TEST_F(BlockIo, short_pending_write_logs_the_write_timeout_then_the_whole_buffer) {
    line->write_starts.push_back({IoStartState::Pending, 0, {}});
    line->write_waits.push_back({IoWaitState::Done, 7, {}});
    EXPECT_EQ(write("0123456789"), 1);
    EXPECT_EQ(log(), (std::vector<TrafficRecord>{text_record("\nProbable Write Timeout: Total of 7 bytes sent"),
                                                 block_record("0123456789")}));
}

TEST_F(BlockIo, failed_write_wait_logs_code_flags_and_the_bytes_sent) {
    line->line_errors = {kLineFrame, kLineOverrun};  // the first is cleared before the write
    line->write_starts.push_back({IoStartState::Pending, 0, {}});
    line->write_waits.push_back({IoWaitState::Failed, 3, sys(5)});
    EXPECT_EQ(write("\x02" "21C32\x03"), 1);
    EXPECT_EQ(log(), (std::vector<TrafficRecord>{text_record("<CE-5>"), text_record("<CE-2>"),
                                                 text_record("\nProbable Write Timeout: Total of 3 bytes sent"),
                                                 block_record("\x02" "21C32\x03")}));

    test::clear_traffic_records();
    p.record->show_line_errors = false;
    line->line_errors = {0, kLineOverrun};
    line->write_starts.push_back({IoStartState::Pending, 0, {}});
    line->write_waits.push_back({IoWaitState::Failed, 0, sys(110)});
    EXPECT_EQ(write("abc"), 1);
    EXPECT_EQ(log(), (std::vector<TrafficRecord>{text_record("<CE-110>"),
                                                 text_record("\nProbable Write Timeout: Total of 0 bytes sent"),
                                                 block_record("abc")}));
}

TEST_F(BlockIo, write_that_fails_to_start_returns_0_and_logs_only_line_flags) {
    line->line_errors = {0, kLineParity};
    line->write_starts.push_back({IoStartState::Failed, 0, sys(5)});
    EXPECT_EQ(write("abc"), 0);
    EXPECT_EQ(log(), (std::vector<TrafficRecord>{text_record("<CE-4>")}));

    test::clear_traffic_records();
    line->write_starts.push_back({IoStartState::Failed, 0, sys(5)});
    EXPECT_EQ(write("abc"), 0);
    EXPECT_TRUE(log().empty());
}

TEST_F(BlockIo, with_log_traffic_off_nothing_is_logged) {
    p.record->log_traffic = false;
    line->receive("abcdef");
    line->line_errors = {0, kLineFrame, 0, kLineFrame, 0, kLineFrame, 0, kLineFrame};
    line->read_starts.push_back({IoStartState::Pending, 0, {}});
    line->read_waits.push_back({IoWaitState::Incomplete, 0, {}});
    line->read_waits.push_back({IoWaitState::Failed, 1, sys(5)});
    EXPECT_EQ(read(256), "a");
    line->read_starts.push_back({IoStartState::Failed, 0, sys(5)});
    read(256);
    EXPECT_EQ(read(256), "bcdef");
    line->write_starts.push_back({IoStartState::Pending, 0, {}});
    line->write_waits.push_back({IoWaitState::Incomplete, 1, {}});
    line->write_waits.push_back({IoWaitState::Failed, 2, sys(5)});
    EXPECT_EQ(write("0123456789"), 1);
    line->write_starts.push_back({IoStartState::Failed, 0, sys(5)});
    EXPECT_EQ(write("x"), 0);
    EXPECT_EQ(write("y"), 1);
    EXPECT_TRUE(log().empty());
}

TEST_F(BlockIo, without_a_record_or_a_port_nothing_moves) {
    uint8_t buffer[8];
    p.record->port_handle.reset();
    EXPECT_EQ(read_block(p, buffer, sizeof buffer), 0u);
    EXPECT_EQ(write_block(p, buffer, sizeof buffer), 0);
    p.record.reset();
    EXPECT_EQ(read_block(p, buffer, sizeof buffer), 0u);
    EXPECT_EQ(write_block(p, buffer, sizeof buffer), 0);
    EXPECT_TRUE(log().empty());
}

}  // namespace
}  // namespace kc
