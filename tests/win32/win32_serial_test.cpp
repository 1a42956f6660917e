// Tests (Win32, under Wine): the serial backend on "COM1", which run_wine_tests.sh links
// to a running kavor-signsim, and on a port that does not exist.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "hosts/win32/win32_serial.h"
#include "hosts/win32/port_names.h"
#include "resources/texts.h"
#include "serial/connection_texts.h"
#include "state/state.h"
#include "text/cp1250.h"

namespace kc {
namespace {

std::string frame(const std::string& payload) {
    unsigned x = 0x72;
    for (unsigned char c : payload) x ^= c;
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", x);
    return "\x02" + payload + hex + "\x03";
}

// Writes the whole text, waiting for a pending write.
size_t write_all(SerialDevice& d, const std::string& text) {
    IoStart s = d.start_write(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    if (s.state == IoStartState::Completed) return s.bytes;
    if (s.state == IoStartState::Failed) return 0;
    IoWait w = d.wait_write();
    return w.state == IoWaitState::Done ? w.bytes : 0;
}

class OnSign : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(port.open("COM1")) << "COM1 must lead to kavor-signsim";
        LineSettings s;
        ASSERT_FALSE(port.configure(s));
        ASSERT_FALSE(port.set_write_timeout(1));
    }
    Win32SerialDevice port;
};

TEST_F(OnSign, price_frame_is_acknowledged_through_event_wait_status_and_read) {
    ASSERT_EQ(write_all(port, frame("21C4.59")), 11u);
    ASSERT_EQ(port.wait_for_input(), InputEvent::Received);
    // The sign answers one byte; the status may lag the event by a moment.
    LineStatus st;
    for (int i = 0; i < 100 && (st = port.line_status()).bytes_waiting == 0; ++i) Sleep(10);
    ASSERT_FALSE(st.error);
    ASSERT_EQ(st.bytes_waiting, 1u);
    uint8_t buffer[16] = {};
    IoStart r = port.start_read(buffer, st.bytes_waiting);
    size_t got = r.bytes;
    if (r.state == IoStartState::Pending) got = port.wait_read().bytes;
    ASSERT_NE(r.state, IoStartState::Failed) << r.error.message();
    ASSERT_EQ(got, 1u);
    EXPECT_EQ(buffer[0], 0x06);
    EXPECT_EQ(port.line_status().bytes_waiting, 0u);
    port.set_dtr(true);
    port.set_dtr(false);
    port.purge();
}

TEST_F(OnSign, cancel_ends_a_pending_wait_and_an_early_cancel_the_next_one) {
    std::thread canceller([&] {
        Sleep(300);
        port.cancel_wait();
    });
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(port.wait_for_input(), InputEvent::Cancelled);
    canceller.join();
    // A liveness bound only: a missed cancel would block for ever.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));

    port.cancel_wait();
    EXPECT_EQ(port.wait_for_input(), InputEvent::Cancelled);
    // The wait still sees characters after a cancel.
    ASSERT_EQ(write_all(port, frame("22C5.19")), 11u);
    EXPECT_EQ(port.wait_for_input(), InputEvent::Received);
}

// Windows refuses a second open of a COM port (share mode 0); Wine does not emulate
// that for a device, so only the close and the open after it are checked here.
TEST_F(OnSign, closed_port_refuses_calls_and_opens_again) {
    Win32SerialDevice second;
    port.close();
    EXPECT_FALSE(port.is_open());
    EXPECT_EQ(port.line_status().error.value(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(port.start_write(reinterpret_cast<const uint8_t*>("x"), 1).state, IoStartState::Failed);
    EXPECT_FALSE(second.open("COM1"));
}

TEST(Win32Serial, absent_port_and_bad_settings_fail_with_their_codes_and_causes) {
    Win32SerialDevice port;
    std::error_code e = port.open("COM199");
    ASSERT_TRUE(e);
    EXPECT_TRUE(e.value() == ERROR_FILE_NOT_FOUND || e.value() == ERROR_PATH_NOT_FOUND) << e.value();
    OpenReport report = port.open_report();
    EXPECT_EQ(report.cause, OpenFailCause::Missing);
    EXPECT_EQ(report.advice, OpenAdvice::Windows);
    EXPECT_EQ(report.error, e);
    EXPECT_EQ(report.device, "COM199");
    // The operator gets Windows advice: another COM number, not a device or a group.
    auto program = std::make_unique<Program>();  // large: off the stack
    std::string message = cp1250_to_utf8(open_failure_text(*program, 199, report));
    EXPECT_NE(message.find(cp1250_to_utf8(txt(Txt::ConnMissingWin))), std::string::npos) << message;
    EXPECT_EQ(message.find(cp1250_to_utf8(txt(Txt::ConnNonePresent))), std::string::npos) << message;
    // Wine shares a device freely, so a held port is checked on its error value alone.
    EXPECT_EQ(open_fail_cause(ERROR_ACCESS_DENIED), OpenFailCause::Busy);
    EXPECT_EQ(open_fail_cause(ERROR_SHARING_VIOLATION), OpenFailCause::Busy);
    EXPECT_EQ(open_fail_cause(ERROR_GEN_FAILURE), OpenFailCause::Other);
    EXPECT_FALSE(port.is_open());
    EXPECT_EQ(port.wait_for_input(), InputEvent::Error);
    LineSettings s;
    EXPECT_EQ(port.configure(s).value(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(describe_win32_port(199), "");
}

}  // namespace
}  // namespace kc
