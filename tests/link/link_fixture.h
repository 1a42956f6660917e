// Tests (controller exchange): a program on the headless host with a fake serial
// device, a panel procedure that routes timer 3 to the reply time-out, and frame
// builders of its own so that the bytes are checked independently of the protocol code.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "state/state.h"
#include "link/polling.h"
#include "link/port_reader.h"
#include "link/replies.h"
#include "hosts/headless/headless_host.h"
#include "resources/command_ids.h"
#include "resources/texts.h"
#include "support/fake_serial_device.h"

namespace kc::test {

// The panel as far as the link needs it: timer 3 is the reply time-out.
class ReplyTimerPanel : public WindowProcedure {
public:
    explicit ReplyTimerPanel(Program& p) : p_(p) {}
    void on_timer(int id) override {
        if (id == kTimerReply) on_reply_timeout(p_);
    }

private:
    Program& p_;
};

inline std::string checksum_hex(const std::string& payload) {
    unsigned x = 0x72;
    for (unsigned char c : payload) x ^= c;
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", x);
    return hex;
}

// STX, payload, checksum, ETX.
inline std::string frame(const std::string& payload) { return "\x02" + payload + checksum_hex(payload) + "\x03"; }
// The same with a checksum that does not match.
inline std::string bad_frame(const std::string& payload) {
    std::string f = frame(payload);
    f[f.size() - 2] = f[f.size() - 2] == '0' ? '1' : '0';
    return f;
}
inline const std::string kAckByte = "\x06";

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        p.ui = &host;
        p.record = std::make_unique<MainRecord>();
        install_link(p);
        host.create_panel(panel);
        dir = std::filesystem::temp_directory_path() /
              ("kc_link_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        copy_text(p.state.work_directory, sizeof p.state.work_directory, dir.string().c_str());
    }
    void TearDown() override {
        stop_polling(p);
        std::filesystem::remove_all(dir);
    }

    MainRecord& rec() { return *p.record; }

    // The port is open with the fake device (no reader thread unless a test starts one).
    void connect() {
        rec().port_handle = std::make_unique<FakeSerialDevice>(line);
        rec().connected = true;
        rec().test_mode = false;
    }

    void queue(int number, const char* text) {
        LockGuard g(p.state.slot_lock);
        fill_slot(p.state, number, text);
    }

    // One polling pass, as the polling thread runs it.
    void pass() {
        if (rec().current_slot == 0 && !rec().reply_timer_on) polling_pass(p);
    }

    // Bytes arriving in one read, handled as the reader does it.
    void arrive(const std::string& bytes) {
        LockGuard link(p.state.link_lock);
        LockGuard reply(p.state.reply_lock);
        if (rec().current_slot >= 1 && rec().current_slot <= 47)
            process_block(p, reader, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }

    size_t frames_written() const {
        std::lock_guard<std::mutex> lock(line->mutex);
        return line->writes.size();
    }
    std::string status() { return panel_text(p, kIdStatus); }
    bool settings_file_exists() const { return std::filesystem::exists(dir / "KavorCen.ini"); }

    HeadlessHost host;
    Program p;
    ReplyTimerPanel panel{p};
    std::shared_ptr<FakeLine> line = std::make_shared<FakeLine>();
    ReaderState reader;
    std::filesystem::path dir;
};

}  // namespace kc::test
