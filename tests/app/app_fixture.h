// Tests (application core): the program started on the headless host in a
// temporary work directory, with a fake serial line behind "COM1".
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/main_window.h"
#include "state/state.h"
#include "link/port_reader.h"
#include "panel/control_panel.h"
#include "hosts/headless/headless_host.h"
#include "hosts/headless/manual_clock.h"
#include "resources/command_ids.h"
#include "resources/texts.h"
#include "support/fake_serial_device.h"
#include "text/cp1250.h"

namespace kc::test {

class AppTest : public ::testing::Test {
protected:
    void SetUp() override {
        old_directory_ = std::filesystem::current_path();
        directory_ = std::filesystem::temp_directory_path() /
                     ("kc_app_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(directory_);
        std::filesystem::create_directories(directory_);
        std::filesystem::current_path(directory_);
        before_start();

        p.ui = &host;
        p.clock = &clock;
        p.make_serial = fake_serial_factory(line);
        install_link(p);
        ASSERT_TRUE(host.create_main_window(main_window));
        ASSERT_TRUE(host.create_panel(panel));
        host.show_window(kMainWindow, ShowMode::Normal);
    }

    void TearDown() override {
        if (host.main_window_exists()) host.destroy_main_window();
        std::filesystem::current_path(old_directory_);
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
    }

    // Runs in the empty work directory before the main window is made.
    virtual void before_start() {}

    MainRecord& record() { return *p.record; }
    std::string status() { return panel_text(p, kIdStatus); }
    static std::string t(Txt id) { return txt(id); }
    static std::string cp(const char* utf8) { return utf8_to_cp1250(utf8); }

    // Waits for the polling thread to free a slot (bounded).
    bool wait_slot_free(int number) {
        return host.pump_until([&] { return !slot_pending(p.state, number); }, 3000);
    }
    void connect() {
        host.menu(kCmdConnect);
        ASSERT_TRUE(record().connected.load());
    }
    // Writes a text into a slot without marking it, so a later look can tell a new fill.
    void blank_slot(int number) {
        LockGuard guard(p.state.slot_lock);
        SlotRef r = slot(p.state, number);
        r.text[0] = '\0';
    }
    // A slot's text, read under slot_lock because a script thread may be writing it.
    std::string text_of(int number) {
        LockGuard guard(p.state.slot_lock);
        return slot_text(p.state, number);
    }
    const ShownMessage& last_message() { return host.messages().back(); }
    std::filesystem::path file(const std::string& name) const { return directory_ / name; }

    HeadlessHost host;
    ManualClock clock;
    std::shared_ptr<FakeLine> line = std::make_shared<FakeLine>();
    Program p;
    MainWindow main_window{p};
    ControlPanel panel{p};

private:
    std::filesystem::path old_directory_;
    std::filesystem::path directory_;
};

}  // namespace kc::test
