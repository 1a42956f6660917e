// Tests (POSIX serial): the whole link on a pseudo-terminal: open "COM1" through its
// link, send a frame, take an answer in blocks, close while the reader waits, and end
// the reader on a hang-up.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>

#include "hosts/headless/headless_host.h"
#include "hosts/headless/manual_clock.h"
#include "hosts/posix/posix_serial.h"
#include "posix/pty_pair.h"
#include "protocol/frame.h"
#include "resources/command_ids.h"
#include "resources/texts.h"
#include "serial/block_io.h"
#include "serial/port.h"

namespace kc {
namespace {

namespace fs = std::filesystem;

std::mutex g_mutex;
std::string g_received;     // what the reader took in, guarded by g_mutex
InputEvent g_last_event{};  // why it stopped, guarded by g_mutex

// A reader as the link runs it: wait, read a block, until the link is closed or gone.
bool start_block_reader(Program& p) {
    MainRecord& r = *p.record;
    r.reader_thread_id = 1;
    r.reader_thread = std::thread([&p, &r] {
        while (r.connected.load()) {
            InputEvent e = r.port_handle->wait_for_input();
            if (e == InputEvent::HangUp || e == InputEvent::Error) {
                std::lock_guard<std::mutex> lock(g_mutex);
                g_last_event = e;
                break;
            }
            uint8_t buffer[256];
            size_t n = read_block(p, buffer, sizeof buffer);
            std::lock_guard<std::mutex> lock(g_mutex);
            g_received.append(reinterpret_cast<char*>(buffer), n);
            g_last_event = e;
        }
        r.reader_thread_id = 0;
    });
    return true;
}

std::string received() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_received;
}

class LinkOnPty : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty.ok());
        char tmpl[] = "/tmp/kc-link-XXXXXX";
        ASSERT_TRUE(mkdtemp(tmpl));
        root = tmpl;
        fs::create_directories(root / "kavorcen");
        fs::create_symlink(pty.slave_path(), root / "kavorcen" / "COM1");
        if (const char* old = getenv("XDG_CONFIG_HOME")) old_xdg = old;
        setenv("XDG_CONFIG_HOME", root.c_str(), 1);

        {
            std::lock_guard<std::mutex> lock(g_mutex);
            g_received.clear();
            g_last_event = InputEvent::Error;
        }
        p.ui = &host;
        p.clock = &clock;
        p.make_serial = make_posix_serial;
        p.start_reader = start_block_reader;
        p.record = std::make_unique<MainRecord>();
        copy_text(p.state.work_directory, sizeof p.state.work_directory, root.c_str());
    }
    void TearDown() override {
        if (p.record && (p.record->connected || p.record->reader_thread.joinable())) close_port(p);
        if (old_xdg.empty()) unsetenv("XDG_CONFIG_HOME");
        else setenv("XDG_CONFIG_HOME", old_xdg.c_str(), 1);
        fs::remove_all(root);
    }

    test::PtyPair pty;
    fs::path root;
    std::string old_xdg;
    HeadlessHost host;
    ManualClock clock;
    Program p;
};

TEST_F(LinkOnPty, frame_out_and_answer_in_through_the_real_port) {
    p.record->log_traffic = true;
    ASSERT_EQ(open_port(p), 1);
    EXPECT_EQ(host.controls().text(kPanelWindow, kIdStatus), txt(Txt::StatusConnected));

    ASSERT_EQ(send_frame(p, "21M4.59"), 1);
    uint8_t expected[kFrameBufferSize];
    size_t n = build_frame("21M4.59", expected);
    EXPECT_EQ(pty.read(n), std::string(reinterpret_cast<char*>(expected), n));

    // An answer split over two writes arrives whole.
    pty.write("\x06\x02V1.");
    pty.write("0" "11\x03");
    ASSERT_TRUE(test::eventually([] { return received().size() == 9; }));
    EXPECT_EQ(received(), "\x06\x02V1.011\x03");

    EXPECT_EQ(close_port(p), 1);
    EXPECT_FALSE(p.record->connected);
    EXPECT_EQ(p.record->reader_thread_id, 0u);
    EXPECT_EQ(host.controls().text(kPanelWindow, kIdStatus), txt(Txt::StatusDisconnected));

    // Both directions went to the traffic log.
    std::ifstream log(root / "KavorCb.pod", std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_NE(all.find(std::string(reinterpret_cast<char*>(expected), n)), std::string::npos);
    EXPECT_NE(all.find("V1."), std::string::npos);
}

TEST_F(LinkOnPty, close_while_the_reader_waits_returns_and_the_line_opens_again) {
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(open_port(p), 1) << round;
        ASSERT_TRUE(test::eventually([&] { return p.record->reader_thread_id.load() != 0; }));
        EXPECT_EQ(close_port(p), 1);
        EXPECT_FALSE(p.record->reader_thread.joinable());
        EXPECT_FALSE(p.record->port_handle);
    }
}

TEST_F(LinkOnPty, short_write_on_a_full_line_is_logged_as_a_write_timeout) {
    p.record->log_traffic = true;
    p.record->baud_rate = 9600;  // 2 ms per byte
    ASSERT_EQ(open_port(p), 1);
    ASSERT_TRUE(test::fill_output(*p.record->port_handle));
    EXPECT_EQ(send_frame(p, "20V"), 1);
    close_port(p);

    std::ifstream log(root / "KavorCb.pod", std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_NE(all.find("\nProbable Write Timeout: Total of 0 bytes sent"), std::string::npos);
    EXPECT_NE(all.find("\x02" "20V26\x03"), std::string::npos);
}

TEST_F(LinkOnPty, hang_up_ends_the_reader_and_close_joins_it_at_once) {
    ASSERT_EQ(open_port(p), 1);
    pty.close_master();
    ASSERT_TRUE(test::eventually([&] { return p.record->reader_thread_id.load() == 0; }));
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        EXPECT_EQ(g_last_event, InputEvent::HangUp);
    }
    EXPECT_EQ(close_port(p), 1);
    EXPECT_FALSE(p.record->reader_thread.joinable());
}

}  // namespace
}  // namespace kc
