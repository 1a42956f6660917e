// Tests (serial link): the settings tables and the link lifecycle of opening and
// closing the port, with the menu and status states that go with it.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "hosts/headless/headless_host.h"
#include "resources/command_ids.h"
#include "resources/texts.h"
#include "serial/connection_texts.h"
#include "serial/port.h"
#include "text/cp1250.h"
#include "support/fake_serial_device.h"

namespace kc {
namespace {

std::atomic<int> g_reader_starts{0};

// A reader that waits on the port until the link is closed, as the real one does.
bool start_waiting_reader(Program& p) {
    ++g_reader_starts;
    MainRecord& r = *p.record;
    r.reader_thread_id = 1;
    r.reader_thread = std::thread([&r] {
        while (r.connected.load()) r.port_handle->wait_for_input();
        r.reader_thread_id = 0;
    });
    return true;
}

// A reader that ends at once, as one whose start failed.
bool start_ending_reader(Program& p) {
    ++g_reader_starts;
    MainRecord& r = *p.record;
    r.reader_thread_id = 1;
    r.reader_thread = std::thread([] {});
    return true;
}

bool refuse_reader(Program&) {
    ++g_reader_starts;
    return false;
}

// The calls in `want` appear in `calls` in this order (others may come between).
bool in_order(const std::vector<std::string>& calls, const std::vector<std::string>& want) {
    auto it = calls.begin();
    for (const auto& w : want) {
        it = std::find(it, calls.end(), w);
        if (it == calls.end()) return false;
        ++it;
    }
    return true;
}

class Port : public ::testing::Test {
protected:
    void SetUp() override {
        g_reader_starts = 0;
        p.ui = &host;
        p.make_serial = test::fake_serial_factory(line);
        p.start_reader = start_waiting_reader;
        p.record = std::make_unique<MainRecord>();
        host.enable_menu_item(kCmdDisconnect, false);
    }
    void TearDown() override {
        if (p.record && p.record->connected) close_port(p);
    }
    std::string status() { return host.controls().text(kPanelWindow, kIdStatus); }

    HeadlessHost host;
    std::shared_ptr<test::FakeLine> line = std::make_shared<test::FakeLine>();
    Program p;
};

TEST(PortTables, choices_match_their_string_table_entries) {
    auto speeds = speed_choices();
    ASSERT_EQ(speeds.size(), 13u);
    const uint32_t rates[] = {110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 128000, 256000};
    for (size_t i = 0; i < speeds.size(); ++i) {
        EXPECT_EQ(speeds[i].string_id, 800 + static_cast<int>(i));
        EXPECT_EQ(speeds[i].value, rates[i]);
        EXPECT_FALSE(string_table(speeds[i].string_id).empty());
    }
    auto parities = parity_choices();
    ASSERT_EQ(parities.size(), 5u);
    const uint32_t codes[] = {0, 2, 1, 3, 4};
    for (size_t i = 0; i < parities.size(); ++i) {
        EXPECT_EQ(parities[i].string_id, 816 + static_cast<int>(i));
        EXPECT_EQ(parities[i].value, codes[i]);
    }
    EXPECT_EQ(string_table(parities[1].string_id), "Even");
    EXPECT_EQ(string_table(parities[2].string_id), "Odd");
    auto stops = stop_bit_choices();
    ASSERT_EQ(stops.size(), 3u);
    EXPECT_EQ(string_table(stops[1].string_id), "1.5");
    EXPECT_EQ(stops[1].value, kStopBits1_5);
    EXPECT_EQ(stops[2].value, kStopBits2);
}

// The dialog's lists keep their own names; a message written here says it in Polish,
// with the speed in full.
TEST(PortTables, the_no_answer_message_names_the_parity_in_polish_and_the_speed_in_full) {
    Program p;
    p.record = std::make_unique<MainRecord>();
    p.record->baud_rate = 14400;
    const char* names[] = {"brak", "nieparzysta", "parzysta", "znacznik", "odstęp"};
    for (uint8_t code = kParityNone; code <= kParitySpace; ++code) {
        p.record->parity = code;
        std::string m = cp1250_to_utf8(no_answer_text(p, "/dev/ttyUSB0"));
        EXPECT_NE(m.find(std::string("14400 bit/s, bity danych 8, parzystość ") + names[code] + ","), std::string::npos)
            << m;
    }
}

TEST(PortTables, port_names_and_write_multiplier) {
    EXPECT_EQ(port_name(1), "COM1");
    EXPECT_EQ(port_name(10), "COM10");
    EXPECT_EQ(write_timeout_multiplier(110), 174u);
    EXPECT_EQ(write_timeout_multiplier(300), 64u);
    EXPECT_EQ(write_timeout_multiplier(9600), 2u);
    EXPECT_EQ(write_timeout_multiplier(14400), 1u);
    EXPECT_EQ(write_timeout_multiplier(19200), 1u);
    EXPECT_EQ(write_timeout_multiplier(38400), 0u);
    EXPECT_EQ(write_timeout_multiplier(256000), 0u);
    EXPECT_EQ(write_timeout_multiplier(0), 0u);
}

TEST_F(Port, open_connects_with_every_step_in_order) {
    p.record->test_mode = true;
    p.record->baud_rate = 9600;
    p.record->data_bits = 7;
    p.record->parity = kParityEven;
    p.record->stop_bits = kStopBits2;
    ASSERT_EQ(open_port(p), 1);

    EXPECT_TRUE(in_order(line->call_list(), {"open COM1", "timeout 2", "purge", "configure", "dtr 1"}));
    ASSERT_TRUE(line->settings);
    EXPECT_EQ(line->settings->baud_rate, 9600u);
    EXPECT_EQ(line->settings->data_bits, 7);
    EXPECT_EQ(line->settings->parity, kParityEven);
    EXPECT_EQ(line->settings->stop_bits, kStopBits2);
    EXPECT_EQ(g_reader_starts, 1);
    EXPECT_TRUE(p.record->connected);
    EXPECT_FALSE(p.record->test_mode);
    EXPECT_TRUE(line->dtr);
    EXPECT_EQ(status(), txt(Txt::StatusConnected));
    EXPECT_TRUE(host.menu_enabled(kCmdDisconnect));
    EXPECT_TRUE(host.menu_enabled(kCmdTest));
    EXPECT_FALSE(host.menu_enabled(kCmdConnect));
    EXPECT_FALSE(host.wait_cursor());
    EXPECT_TRUE(host.messages().empty());
}

TEST_F(Port, write_multiplier_reaches_the_device) {
    const std::pair<uint32_t, std::string> cases[] = {{110, "timeout 174"}, {19200, "timeout 1"}, {38400, "timeout 0"}};
    for (const auto& [baud, call] : cases) {
        line->calls.clear();
        p.record->baud_rate = baud;
        ASSERT_EQ(open_port(p), 1);
        EXPECT_TRUE(line->called(call)) << baud;
        EXPECT_EQ(line->write_timeout, write_timeout_multiplier(baud));
        close_port(p);
    }
}

TEST_F(Port, port_10_opens_the_device_named_com10) {
    p.record->port_number = 10;
    ASSERT_EQ(open_port(p), 1);
    EXPECT_TRUE(line->called("open COM10"));
}

TEST_F(Port, missing_device_fails_quietly) {
    set_panel_text(p, kIdStatus, txt(Txt::StatusTestMode));
    line->open_error = std::make_error_code(std::errc::no_such_file_or_directory);
    EXPECT_EQ(open_port(p), 0);
    EXPECT_FALSE(p.record->connected);
    EXPECT_FALSE(p.record->port_handle);
    EXPECT_EQ(g_reader_starts, 0);
    EXPECT_EQ(status(), txt(Txt::StatusTestMode));
    EXPECT_FALSE(host.menu_enabled(kCmdDisconnect));
    EXPECT_TRUE(host.messages().empty());
    EXPECT_FALSE(host.wait_cursor());
}

TEST_F(Port, rejected_configuration_closes_the_port) {
    line->configure_error = std::make_error_code(std::errc::invalid_argument);
    EXPECT_EQ(open_port(p), 0);
    EXPECT_FALSE(p.record->connected);
    EXPECT_FALSE(p.record->port_handle);
    EXPECT_TRUE(line->called("close"));
    EXPECT_FALSE(line->called("dtr 1"));
    EXPECT_EQ(g_reader_starts, 0);
    EXPECT_FALSE(host.wait_cursor());
}

TEST_F(Port, reader_that_cannot_start_leaves_the_link_closed) {
    for (auto hook : {&refuse_reader, static_cast<bool (*)(Program&)>(nullptr)}) {
        line->calls.clear();
        p.start_reader = hook;
        EXPECT_EQ(open_port(p), 0);
        EXPECT_FALSE(p.record->connected);
        EXPECT_FALSE(p.record->port_handle);
        EXPECT_TRUE(line->called("close"));
        EXPECT_FALSE(line->called("dtr 1"));
        EXPECT_FALSE(host.menu_enabled(kCmdDisconnect));
    }
}

TEST_F(Port, close_stops_the_reader_and_leaves_the_disconnected_state) {
    ASSERT_EQ(open_port(p), 1);
    p.record->test_mode = true;  // whatever it was, close clears it
    EXPECT_EQ(close_port(p), 1);

    EXPECT_TRUE(in_order(line->call_list(), {"dtr 1", "cancel", "dtr 0", "purge", "close"}));
    EXPECT_FALSE(p.record->connected);
    EXPECT_FALSE(p.record->test_mode);
    EXPECT_FALSE(p.record->reader_thread.joinable());
    EXPECT_EQ(p.record->reader_thread_id, 0u);
    EXPECT_FALSE(p.record->port_handle);
    EXPECT_EQ(status(), txt(Txt::StatusDisconnected));
    EXPECT_FALSE(host.menu_enabled(kCmdDisconnect));
    EXPECT_TRUE(host.menu_enabled(kCmdTest));
    EXPECT_TRUE(host.menu_enabled(kCmdConnect));

    // And the link opens again.
    EXPECT_EQ(open_port(p), 1);
    EXPECT_EQ(line->devices_made, 2);
}

TEST_F(Port, close_does_not_wait_for_a_reader_that_already_ended) {
    p.start_reader = start_ending_reader;
    ASSERT_EQ(open_port(p), 1);
    EXPECT_EQ(close_port(p), 1);
    EXPECT_EQ(p.record->reader_thread_id, 0u);
    EXPECT_FALSE(p.record->reader_thread.joinable());
}

TEST_F(Port, open_while_connected_keeps_the_live_link) {
    ASSERT_EQ(open_port(p), 1);
    EXPECT_EQ(open_port(p), 0);
    EXPECT_EQ(line->devices_made, 1);
    EXPECT_TRUE(p.record->connected);
    EXPECT_TRUE(p.record->port_handle);
}

TEST_F(Port, reconfigure_applies_new_settings_and_their_write_allowance) {
    ASSERT_EQ(open_port(p), 1);
    p.record->baud_rate = 110;
    EXPECT_NE(configure_port(p), 0);
    EXPECT_EQ(line->settings->baud_rate, 110u);
    EXPECT_EQ(line->write_timeout, 174u);
    line->configure_error = std::make_error_code(std::errc::invalid_argument);
    EXPECT_EQ(configure_port(p), 0);
    EXPECT_TRUE(p.record->connected);  // a refused configuration leaves the link up
}

TEST_F(Port, without_a_record_nothing_happens) {
    p.record.reset();
    EXPECT_EQ(open_port(p), 0);
    EXPECT_EQ(configure_port(p), 0);
    EXPECT_EQ(close_port(p), 0);
    EXPECT_EQ(line->devices_made, 0);
}

}  // namespace
}  // namespace kc
