// Tests (end to end): the whole program on the headless host, talking through the real
// POSIX serial backend to the virtual sign on a pseudo-terminal behind "COM1".
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/main_window.h"
#include "state/state.h"
#include "panel/control_panel.h"
#include "hosts/headless/headless_host.h"
#include "hosts/headless/manual_clock.h"
#include "hosts/posix/posix_services.h"
#include "resources/command_ids.h"
#include "resources/texts.h"
#include "signsim/sign_simulator.h"

namespace kc::test {

inline std::string expected_frame(const std::string& payload) {
    unsigned x = 0x72;
    for (unsigned char c : payload) x ^= c;
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", x);
    return "\x02" + payload + hex + "\x03";
}

class EndToEnd : public ::testing::Test {
protected:
    // Faults and state of the sign for this test, before it starts.
    virtual SignOptions sign_options() { return {}; }
    // False: the program stays as it starts, in test mode.
    virtual bool connect_in_setup() { return true; }

    void SetUp() override {
        old_directory_ = std::filesystem::current_path();
        directory_ = std::filesystem::temp_directory_path() /
                     ("kc_e2e_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(directory_);
        std::filesystem::create_directories(directory_ / "config" / "kavorcen");
        std::filesystem::current_path(directory_);

        sign = std::make_unique<SignSimulator>(sign_options());
        ASSERT_FALSE(sign->start());
        std::filesystem::create_symlink(sign->path(), directory_ / "config" / "kavorcen" / "COM1");
        ::setenv("XDG_CONFIG_HOME", (directory_ / "config").c_str(), 1);

        p.ui = &host;
        p.clock = &clock;
        use_posix_serial(p);
        ASSERT_TRUE(host.create_main_window(main_window));
        ASSERT_TRUE(host.create_panel(panel));
        if (!connect_in_setup()) return;
        host.menu(kCmdConnect);
        ASSERT_TRUE(p.record->connected.load());
    }

    void TearDown() override {
        if (host.main_window_exists()) host.destroy_main_window();
        if (sign) sign->stop();
        std::filesystem::current_path(old_directory_);
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
    }

    MainRecord& record() { return *p.record; }
    std::string status() { return panel_text(p, kIdStatus); }
    bool idle() {
        for (int n = 1; n <= 47; ++n)
            if (slot_pending(p.state, n)) return false;
        return record().current_slot == 0;
    }
    // Pumps until `done`; the timers run `speedup` times faster than real time.
    template <typename Done>
    bool pump_with_timers(Done done, int timeout_ms, int speedup = 1) {
        auto last = std::chrono::steady_clock::now();
        return host.pump_until(
            [&] {
                auto now = std::chrono::steady_clock::now();
                int ms = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(now - last).count());
                if (ms > 0) {
                    host.advance(ms * speedup);
                    last = now;
                }
                return done();
            },
            timeout_ms);
    }
    // Pumps until the queue is idle; the reply timer runs `speedup` times faster than real time.
    bool wait_idle(int timeout_ms, int speedup = 1) {
        return pump_with_timers([&] { return idle(); }, timeout_ms, speedup);
    }
    std::filesystem::path file(const std::string& name) const { return directory_ / name; }

    HeadlessHost host;
    ManualClock clock;
    Program p;
    MainWindow main_window{p};
    ControlPanel panel{p};
    std::unique_ptr<SignSimulator> sign;

private:
    std::filesystem::path old_directory_;
    std::filesystem::path directory_;
};

}  // namespace kc::test
