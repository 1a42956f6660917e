// Tests (end to end): the sign's line going away and coming back, a sign that does not
// answer, and a connect that fails, through the main window.
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <thread>

#include "e2e_fixture.h"
#include "link/polling.h"
#include "text/cp1250.h"

namespace kc::test {
namespace {

std::filesystem::path com1_link() { return std::filesystem::path(std::getenv("XDG_CONFIG_HOME")) / "kavorcen" / "COM1"; }

void relink_com1(const std::string& target) {
    std::filesystem::remove(com1_link());
    std::filesystem::create_symlink(target, com1_link());
}

bool contains(const std::string& text, Txt part) { return text.find(txt(part)) != std::string::npos; }

TEST_F(EndToEnd, device_gone_is_told_once_and_its_return_reconnects_by_itself) {
    std::string old_path = sign->path();
    sign->stop();  // the pseudo-terminal behind COM1 closes, as a pulled adapter
    ASSERT_TRUE(host.pump_until([&] { return status() == txt(Txt::StatusDisconnected); }, 5000));
    host.pump();
    ASSERT_EQ(host.messages().size(), 1u);
    const std::string& told = host.messages()[0].text;
    EXPECT_TRUE(told.find("COM1") != std::string::npos && told.find(old_path) != std::string::npos) << told;
    EXPECT_TRUE(contains(told, Txt::ConnLostWillReconnect)) << told;

    // Waiting for the device costs nothing: no thread spins.
    std::clock_t cpu = std::clock();
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    double cpu_ms = 1000.0 * static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC;
    EXPECT_LT(cpu_ms, 10.0);  // 1 % of a core
    host.advance(2000);
    EXPECT_FALSE(record().connected);

    // The device returns at the same link; within 2 s of (virtual) time the link is back.
    sign = std::make_unique<SignSimulator>(SignOptions{});
    ASSERT_FALSE(sign->start());
    relink_com1(sign->path());
    for (int ms = 0; ms < 2000 && !record().connected; ms += 100) host.advance(100);
    ASSERT_TRUE(record().connected);
    EXPECT_EQ(status(), txt(Txt::StatusConnected));
    host.pump();
    EXPECT_EQ(host.messages().size(), 1u);

    host.type(kPanelWindow, kIdPrice1, "4.59");
    host.press(kPanelWindow, kIdSendPrices);
    ASSERT_TRUE(wait_idle(5000));
    bool found = false;
    for (const ReceivedFrame& f : sign->received())
        found = found || std::string(f.bytes.begin(), f.bytes.end()) == expected_frame("21C4.59");
    EXPECT_TRUE(found);
}

TEST_F(EndToEnd, reconnect_switched_off_waits_for_the_operator) {
    p.extra.set_bool(extra_key::kReconnect, false);
    std::string path = sign->path();
    sign->stop();
    ASSERT_TRUE(host.pump_until([&] { return status() == txt(Txt::StatusDisconnected); }, 5000));
    host.pump();
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_TRUE(contains(host.messages()[0].text, Txt::ConnLostReconnectOff));
    sign = std::make_unique<SignSimulator>(SignOptions{});
    ASSERT_FALSE(sign->start());
    relink_com1(sign->path());
    host.advance(3000);
    EXPECT_FALSE(record().connected);
    host.menu(kCmdConnect);
    EXPECT_TRUE(record().connected);
}

TEST_F(EndToEnd, failed_connect_names_port_device_and_cause) {
    host.menu(kCmdDisconnect);
    relink_com1("/dev/kavorcen-no-such-adapter");
    host.menu(kCmdConnect);
    ASSERT_EQ(host.messages().size(), 1u);
    const std::string& m = host.messages()[0].text;
    EXPECT_NE(m.find("COM1"), std::string::npos);
    EXPECT_NE(m.find("/dev/kavorcen-no-such-adapter"), std::string::npos);
    EXPECT_TRUE(contains(m, Txt::ConnMissing)) << m;
    EXPECT_EQ(status(), txt(Txt::StatusDisconnected));
}

class StartWithoutOperator : public EndToEnd {
protected:
    bool connect_in_setup() override { return false; }
};

TEST_F(StartWithoutOperator, a_fresh_install_starts_in_test_mode) {
    main_window.connect_at_start_if_set();
    EXPECT_TRUE(record().test_mode);
    EXPECT_FALSE(record().connected);
    EXPECT_EQ(status(), txt(Txt::StatusTestMode));
}

TEST_F(StartWithoutOperator, connect_at_start_finds_the_sign_at_once) {
    p.extra.set_bool(extra_key::kConnectAtStart, true);
    main_window.connect_at_start_if_set();
    ASSERT_TRUE(record().connected);
    EXPECT_FALSE(record().test_mode);
    EXPECT_EQ(status(), txt(Txt::StatusConnected));
    ASSERT_TRUE(pump_with_timers([&] { return sign->received_count() > 0; }, 5000, 10));
    host.pump();
    EXPECT_TRUE(host.messages().empty());
}

TEST_F(StartWithoutOperator, connect_at_start_waits_for_a_missing_device_without_a_box) {
    p.extra.set_bool(extra_key::kConnectAtStart, true);
    // Even with reconnecting after an unplug switched off: waiting is what was asked for.
    p.extra.set_bool(extra_key::kReconnect, false);
    sign->stop();
    relink_com1("/dev/kavorcen-not-yet");
    main_window.connect_at_start_if_set();
    EXPECT_FALSE(record().connected);
    EXPECT_FALSE(record().test_mode) << "waiting for the sign is not test mode";
    EXPECT_EQ(status(), txt(Txt::StatusDisconnected));
    const std::string line = panel_text(p, kIdPriceOutcome);
    EXPECT_NE(line.find("/dev/kavorcen-not-yet"), std::string::npos) << line;
    EXPECT_NE(line.find("COM1"), std::string::npos) << line;
    host.advance(3000);
    host.pump();
    EXPECT_TRUE(host.messages().empty()) << host.messages()[0].text;
    EXPECT_FALSE(record().connected);

    sign = std::make_unique<SignSimulator>(SignOptions{});
    ASSERT_FALSE(sign->start());
    relink_com1(sign->path());
    for (int ms = 0; ms < 2000 && !record().connected; ms += 100) host.advance(100);
    ASSERT_TRUE(record().connected);
    EXPECT_EQ(status(), txt(Txt::StatusConnected));
    EXPECT_EQ(panel_text(p, kIdPriceOutcome), "") << "the wait is over";
    ASSERT_TRUE(pump_with_timers([&] { return sign->received_count() > 0; }, 5000, 10))
        << "the status query reaches the sign";
    host.pump();
    EXPECT_TRUE(host.messages().empty());
}

class SilentSign : public EndToEnd {
protected:
    SignOptions sign_options() override {
        SignOptions o;
        o.drop = 1.0;
        return o;
    }
};

TEST_F(SilentSign, no_answer_is_told_once_with_what_was_tried) {
    for (int i = 0; i < 400 && host.messages().empty(); ++i) {
        host.advance(50);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_EQ(host.messages().size(), 1u);
    const std::string m = cp1250_to_utf8(host.messages()[0].text);
    for (const std::string& part : {std::string("COM1"), sign->path(), std::string("19200"), std::string("parzystość brak")})
        EXPECT_NE(m.find(part), std::string::npos) << part << " in " << m;
    for (int i = 0; i < 100; ++i) host.advance(50);
    EXPECT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(status(), txt(Txt::StatusTransmissionError));
}

}  // namespace
}  // namespace kc::test
