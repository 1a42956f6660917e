// Tests (POSIX serial): the termios backend on a real pseudo-terminal pair.
#include <gtest/gtest.h>

#include <future>
#include <string>
#include <vector>

#include "hosts/posix/posix_serial.h"
#include "posix/pty_pair.h"

namespace kc {
namespace {

using test::PtyPair;

class PosixSerial : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty.ok());
        ASSERT_FALSE(dev.open(pty.slave_path()));
    }
    // Reads everything waiting, in blocks of at most `block` bytes.
    std::string read_waiting(size_t block) {
        std::string got;
        for (;;) {
            size_t n = std::min(block, dev.line_status().bytes_waiting);
            if (n == 0) return got;
            std::vector<uint8_t> buffer(n);
            IoStart s = dev.start_read(buffer.data(), n);
            EXPECT_EQ(s.state, IoStartState::Completed);
            if (s.state != IoStartState::Completed) return got;
            got.append(buffer.begin(), buffer.begin() + static_cast<long>(s.bytes));
        }
    }
    IoStart write(const std::string& s) { return dev.start_write(reinterpret_cast<const uint8_t*>(s.data()), s.size()); }

    PtyPair pty;
    PosixSerialDevice dev;
};

TEST_F(PosixSerial, every_line_setting_is_accepted) {
    const uint32_t speeds[] = {110,   300,   600,   1200,  2400,  4800,   9600,   14400,
                               19200, 38400, 56000, 57600, 115200, 128000, 256000};
    for (uint32_t baud : speeds) {
        for (uint8_t bits = 5; bits <= 8; ++bits) {
            for (uint8_t parity = kParityNone; parity <= kParitySpace; ++parity) {
                for (uint8_t stop = kStopBits1; stop <= kStopBits2; ++stop) {
                    LineSettings s{baud, bits, parity, stop};
                    EXPECT_FALSE(dev.configure(s)) << baud << " " << int(bits) << int(parity) << int(stop);
                }
            }
        }
    }
    EXPECT_TRUE(dev.configure(LineSettings{19200, 9, kParityNone, kStopBits1}));
    EXPECT_TRUE(dev.configure(LineSettings{19200, 8, 5, kStopBits1}));
    EXPECT_TRUE(dev.configure(LineSettings{19200, 8, kParityNone, 3}));
    EXPECT_TRUE(dev.configure(LineSettings{0, 8, kParityNone, kStopBits1}));
}

TEST_F(PosixSerial, frame_goes_out_byte_for_byte_and_answer_comes_back_in_blocks) {
    ASSERT_FALSE(dev.configure(LineSettings{}));
    const std::string frame = "\x02" "20V26\x03";
    IoStart s = write(frame);
    EXPECT_EQ(s.state, IoStartState::Completed);
    EXPECT_EQ(s.bytes, frame.size());
    EXPECT_EQ(pty.read(frame.size()), frame);

    // Raw mode: CR, LF, zero bytes and high bytes pass unchanged in both directions.
    const std::string answer = std::string("\x06\x02V1.0\r\n\0\xE5", 10) + "xx\x03";
    pty.write(answer);
    EXPECT_EQ(dev.wait_for_input(), InputEvent::Received);
    ASSERT_TRUE(test::eventually([&] { return dev.line_status().bytes_waiting == answer.size(); }));
    EXPECT_EQ(read_waiting(4), answer);
    EXPECT_EQ(dev.line_status().bytes_waiting, 0u);

    const std::string raw = std::string("a\r\nb\0", 5);
    write(raw);
    EXPECT_EQ(pty.read(raw.size()), raw);
}

TEST_F(PosixSerial, line_status_on_a_pty_is_no_error) {
    LineStatus st = dev.line_status();
    EXPECT_FALSE(st.error);
    EXPECT_EQ(st.errors, 0u);
    dev.set_dtr(true);  // a pty has no DTR; nothing may fail
    dev.set_dtr(false);
    pty.write("abc");
    ASSERT_TRUE(test::eventually([&] { return dev.line_status().bytes_waiting == 3; }));
    dev.purge();
    EXPECT_EQ(dev.line_status().bytes_waiting, 0u);
}

TEST_F(PosixSerial, pending_read_takes_what_arrives_or_ends_empty) {
    uint8_t buffer[16];
    IoStart s = dev.start_read(buffer, sizeof buffer);
    ASSERT_EQ(s.state, IoStartState::Pending);
    IoWait w = dev.wait_read();  // nothing comes: an empty read, as a read time-out gives
    EXPECT_EQ(w.state, IoWaitState::Done);
    EXPECT_EQ(w.bytes, 0u);

    ASSERT_EQ(dev.start_read(buffer, sizeof buffer).state, IoStartState::Pending);
    std::thread sender([&] { pty.write("Z1"); });
    w = dev.wait_read();
    sender.join();
    EXPECT_EQ(w.state, IoWaitState::Done);
    ASSERT_GE(w.bytes, 1u);
    std::string got(reinterpret_cast<char*>(buffer), w.bytes);
    got += read_waiting(16);
    EXPECT_EQ(got, "Z1");
}

TEST_F(PosixSerial, second_open_of_the_same_line_is_refused) {
    PosixSerialDevice other;
    EXPECT_TRUE(other.open(pty.slave_path()));
    EXPECT_FALSE(other.is_open());
    dev.close();
    EXPECT_FALSE(other.open(pty.slave_path()));
}

TEST_F(PosixSerial, open_refuses_what_is_not_a_terminal) {
    PosixSerialDevice other;
    EXPECT_EQ(other.open("/dev/null"), std::errc::inappropriate_io_control_operation);
    EXPECT_EQ(other.open("/nonexistent/tty"), std::errc::no_such_file_or_directory);
    EXPECT_TRUE(other.open("LPT1"));
    EXPECT_FALSE(other.is_open());
}

TEST_F(PosixSerial, cancel_from_another_thread_ends_a_pending_wait) {
    auto waiting = std::async(std::launch::async, [&] { return dev.wait_for_input(); });
    // Whether the cancel lands before or during the wait, the wait returns.
    dev.cancel_wait();
    ASSERT_EQ(waiting.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(waiting.get(), InputEvent::Cancelled);
}

TEST_F(PosixSerial, cancel_before_the_wait_is_consumed_by_it) {
    dev.cancel_wait();
    EXPECT_EQ(dev.wait_for_input(), InputEvent::Cancelled);
    // Consumed: the next wait waits for data.
    auto waiting = std::async(std::launch::async, [&] { return dev.wait_for_input(); });
    EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    pty.write("\x06");
    ASSERT_EQ(waiting.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(waiting.get(), InputEvent::Received);
}

TEST_F(PosixSerial, hang_up_of_the_master_is_reported_every_time_without_blocking) {
    pty.close_master();
    for (int i = 0; i < 3; ++i) {
        auto waiting = std::async(std::launch::async, [&] { return dev.wait_for_input(); });
        ASSERT_EQ(waiting.wait_for(std::chrono::seconds(5)), std::future_status::ready);
        EXPECT_EQ(waiting.get(), InputEvent::HangUp);
    }
    uint8_t buffer[8];
    IoStart s = dev.start_read(buffer, sizeof buffer);
    if (s.state == IoStartState::Pending) EXPECT_EQ(dev.wait_read().state, IoWaitState::Failed);
    else EXPECT_EQ(s.state, IoStartState::Failed);
    EXPECT_EQ(write("x").state, IoStartState::Failed);
}

TEST_F(PosixSerial, full_output_queue_ends_a_write_at_its_deadline) {
    ASSERT_FALSE(dev.set_write_timeout(1));
    ASSERT_TRUE(test::fill_output(dev));
    std::string frame = "\x02" "20V26\x03";
    IoStart s = write(frame);
    ASSERT_EQ(s.state, IoStartState::Pending);
    IoWait w = dev.wait_write();  // 7 bytes at 1 ms each
    EXPECT_EQ(w.state, IoWaitState::Done);
    EXPECT_LT(w.bytes, frame.size());
}

TEST_F(PosixSerial, pending_write_without_a_time_out_finishes_when_the_line_drains) {
    ASSERT_FALSE(dev.set_write_timeout(0));
    std::string big(1 << 18, 'y');
    ASSERT_EQ(write(big).state, IoStartState::Pending);
    std::thread reader([&] { EXPECT_EQ(pty.read(big.size(), 15000).size(), big.size()); });
    IoWait w = dev.wait_write();
    reader.join();
    EXPECT_EQ(w.state, IoWaitState::Done);
    EXPECT_EQ(w.bytes, big.size());
}

}  // namespace
}  // namespace kc
