// Tests (application core): start-up, the link states of the menu, the close question,
// minimising to the tray and the record's lifecycle.
#include <cerrno>
#include <fstream>

#include "app/record.h"
#include "app_fixture.h"
#include "resources/dialog_ids.h"
#include "resources/head_office_ids.h"
#include "preview/price_preview.h"
#include "storage/settings_file.h"

namespace kc::test {
namespace {

using MainWindowTest = AppTest;

TEST_F(MainWindowTest, start_up_enters_test_mode_with_its_menu_states) {
    EXPECT_TRUE(record().test_mode);
    EXPECT_FALSE(record().connected);
    EXPECT_EQ(status(), t(Txt::StatusTestMode));
    EXPECT_TRUE(host.menu_enabled(kCmdDisconnect));
    EXPECT_FALSE(host.menu_enabled(kCmdTest));
    EXPECT_TRUE(host.menu_enabled(kCmdConnect));
    EXPECT_EQ(panel_text(p, kIdScriptButton), "Start");
    EXPECT_FALSE(host.timer_running(kPanelWindow, kTimerBlink));  // no price blinks: nothing ticks
    EXPECT_FALSE(host.timer_running(kPanelWindow, kTimerStatus));
    EXPECT_TRUE(record().poll_run);
    EXPECT_TRUE(host.tray_shown());
    EXPECT_EQ(host.tray_tip(), "Kavor Cen");
    EXPECT_EQ(panel_text(p, kIdCaption1), "AAA");
    EXPECT_EQ(panel_text(p, kIdCaption1 + 4), "EEE");
    EXPECT_EQ(p.state.light_level, -1);
}

TEST_F(MainWindowTest, new_record_holds_defaults_and_writes_the_settings_file) {
    EXPECT_EQ(std::filesystem::path(p.state.work_directory), std::filesystem::current_path());
    EXPECT_TRUE(std::filesystem::exists(file("KavorCen.ini")));
    EXPECT_EQ(record().port_number, 1);
    EXPECT_EQ(record().baud_rate, 19200u);
    EXPECT_EQ(record().data_bits, 8);
    EXPECT_EQ(record().parity, kParityNone);
    EXPECT_EQ(record().stop_bits, kStopBits1);
    EXPECT_TRUE(record().show_line_errors);
    EXPECT_FALSE(record().log_traffic || record().auto_backlight || record().hide_on_minimize);
    EXPECT_EQ(record().font_spec.height, 55);
    EXPECT_EQ(record().font_spec.face, "Arial");
    for (uint8_t c : record().screen) ASSERT_EQ(c, 0x20);
}

TEST_F(MainWindowTest, an_existing_settings_file_is_loaded_not_replaced) {
    record().port_number = 7;
    record().baud_rate = 9600;
    copy_text(p.state.price_labels[1], sizeof p.state.price_labels[1], "ON");
    ASSERT_TRUE(save_settings_locked(p));
    host.destroy_main_window();
    ASSERT_EQ(p.record, nullptr);

    MainWindow again(p);
    ControlPanel panel_again(p);
    ASSERT_TRUE(host.create_main_window(again));
    ASSERT_TRUE(host.create_panel(panel_again));
    EXPECT_EQ(record().port_number, 7);
    EXPECT_EQ(record().baud_rate, 9600u);
    EXPECT_EQ(panel_text(p, kIdCaption1 + 1), "ON");
    host.destroy_main_window();
}

TEST_F(MainWindowTest, disconnect_in_test_mode_leaves_it) {
    host.menu(kCmdDisconnect);  // Shift+Page Down
    EXPECT_FALSE(record().test_mode);
    EXPECT_EQ(status(), t(Txt::StatusDisconnected));
    EXPECT_FALSE(host.menu_enabled(kCmdDisconnect));
    EXPECT_TRUE(host.menu_enabled(kCmdTest));
    EXPECT_TRUE(host.menu_enabled(kCmdConnect));

    host.menu(kCmdTest);
    EXPECT_TRUE(record().test_mode);
    EXPECT_EQ(status(), t(Txt::StatusTestMode));
    EXPECT_TRUE(host.menu_enabled(kCmdDisconnect));
    EXPECT_FALSE(host.menu_enabled(kCmdTest));
}

TEST_F(MainWindowTest, disconnect_again_clears_slots_and_fields_once_more) {
    host.menu(kCmdDisconnect);
    {
        LockGuard guard(p.state.slot_lock);
        fill_slot(p.state, 3, "21C1.00");
        fill_slot(p.state, 29, "20S");
        fill_slot(p.state, 47, "20V");
    }
    set_panel_text(p, kIdTemperature, "21");
    set_panel_text(p, kIdLightLevel, "123");
    p.state.light_level = 123;

    // Not through the menu: the item is greyed, the command still reaches the window.
    main_window.on_command(kCmdDisconnect);
    for (int n = kFirstSlot; n <= kLastSlot; ++n) EXPECT_FALSE(slot_pending(p.state, n)) << n;
    EXPECT_EQ(text_of(3), "21C1.00");
    EXPECT_EQ(panel_text(p, kIdTemperature), "");
    EXPECT_EQ(panel_text(p, kIdLightLevel), "");
    EXPECT_EQ(p.state.light_level, -1);
    EXPECT_EQ(status(), t(Txt::StatusDisconnected));
    EXPECT_FALSE(host.menu_enabled(kCmdDisconnect));
    EXPECT_TRUE(host.menu_enabled(kCmdTest));
}

TEST_F(MainWindowTest, test_mode_resets_the_preview) {
    host.type(kPanelWindow, kIdPrice1, "4.59");
    host.press(kPanelWindow, kIdBlink1);
    host.press(kPanelWindow, kIdSendPrices);
    ASSERT_TRUE(host.pump_until([&] { return p.state.price_segments[0][2] != 0; }, 3000));
    ASSERT_TRUE(wait_slot_free(46));

    host.menu(kCmdDisconnect);
    host.menu(kCmdTest);
    for (auto& field : p.state.price_segments)
        for (auto& place : field) EXPECT_EQ(place, 0);
    for (auto& blink : p.state.price_blink) EXPECT_EQ(blink, 0);
    EXPECT_FALSE(record().backlight_on);
}

TEST_F(MainWindowTest, connect_failure_names_the_port) {
    line->open_error = std::make_error_code(std::errc::no_such_file_or_directory);
    host.menu(kCmdConnect);
    ASSERT_EQ(host.messages().size(), 1u);
    // The port, the device (a fake knows none) and the cause from the error value.
    EXPECT_EQ(last_message().text.rfind(cp("Nie można otworzyć portu COM1 (urządzenie ?)."), 0), 0u);
    EXPECT_NE(last_message().text.find(t(Txt::ConnMissing)), std::string::npos);
    EXPECT_EQ(last_message().caption, cp("Błąd"));
    EXPECT_EQ(last_message().icon, MessageIcon::Exclamation);
    EXPECT_FALSE(record().connected);
    EXPECT_TRUE(record().test_mode);
    EXPECT_EQ(status(), t(Txt::StatusTestMode));
    EXPECT_FALSE(host.timer_running(kPanelWindow, kTimerStatus));
    EXPECT_TRUE(host.menu_enabled(kCmdConnect));

    record().port_number = 10;
    host.menu(kCmdConnect);
    EXPECT_EQ(last_message().text.rfind(cp("Nie można otworzyć portu COM10 "), 0), 0u);
}

TEST_F(MainWindowTest, connect_starts_the_status_timers_and_disconnect_stops_them) {
    connect();
    EXPECT_FALSE(record().test_mode);
    EXPECT_EQ(status(), t(Txt::StatusConnected));
    EXPECT_FALSE(host.menu_enabled(kCmdConnect));
    EXPECT_TRUE(host.menu_enabled(kCmdDisconnect));
    EXPECT_TRUE(host.menu_enabled(kCmdTest));
    EXPECT_EQ(host.timer_period(kPanelWindow, kTimerStatus), 1000);
    EXPECT_EQ(host.timer_period(kPanelWindow, kTimerStatistics), 60000);
    EXPECT_FALSE(host.timer_running(kPanelWindow, kTimerAutoBacklight));
    EXPECT_TRUE(record().status_timers_on);

    // A second connect (Shift+Page Up) while connected opens nothing.
    main_window.on_command(kCmdConnect);
    EXPECT_EQ(line->devices_made, 1);

    host.menu(kCmdDisconnect);
    EXPECT_FALSE(record().connected);
    EXPECT_FALSE(record().status_timers_on);
    EXPECT_FALSE(host.timer_running(kPanelWindow, kTimerStatus));
    EXPECT_FALSE(host.timer_running(kPanelWindow, kTimerStatistics));
    EXPECT_TRUE(line->called("close"));
    EXPECT_EQ(status(), t(Txt::StatusDisconnected));
    EXPECT_FALSE(host.menu_enabled(kCmdDisconnect));
    EXPECT_TRUE(host.menu_enabled(kCmdTest));
    EXPECT_TRUE(host.menu_enabled(kCmdConnect));
}

TEST_F(MainWindowTest, status_timer_queries_light_level_and_backlight) {
    connect();
    blank_slot(29);
    blank_slot(45);
    host.advance(1000);
    EXPECT_EQ(text_of(29), "20S");
    EXPECT_EQ(text_of(45), "20Z");
}

TEST_F(MainWindowTest, test_from_connected_closes_the_port_and_stops_the_script) {
    {
        std::ofstream script(file("loop.txt"), std::ios::binary);
        script << "{S60000}\r\n{G}\r\n";
    }
    connect();
    host.type(kPanelWindow, kIdScriptPath, file("loop.txt").string());
    host.press(kPanelWindow, kIdScriptButton);
    ASSERT_TRUE(record().script_running);
    EXPECT_EQ(status(), t(Txt::StatusConnectedScript));
    EXPECT_EQ(panel_text(p, kIdScriptButton), "Stop");

    host.menu(kCmdTest);
    EXPECT_FALSE(record().script_running);
    EXPECT_FALSE(record().script_thread.joinable());
    EXPECT_EQ(panel_text(p, kIdScriptButton), "Start");
    EXPECT_FALSE(record().connected);
    EXPECT_TRUE(line->called("close"));
    EXPECT_TRUE(record().test_mode);
    EXPECT_EQ(status(), t(Txt::StatusTestMode));
    EXPECT_FALSE(host.menu_enabled(kCmdTest));
    EXPECT_TRUE(host.menu_enabled(kCmdConnect));
}

TEST_F(MainWindowTest, settings_failed_is_shown_when_the_port_refuses_new_settings) {
    connect();
    line->configure_error = std::make_error_code(std::errc::invalid_argument);
    host.menu(kCmdTransmission);
    ASSERT_FALSE(host.messages().empty());
    EXPECT_EQ(last_message().text, "Settings failed!");
    EXPECT_EQ(last_message().caption, "Kavor Cen");
    EXPECT_EQ(last_message().icon, MessageIcon::Exclamation);
    EXPECT_TRUE(record().connected);

    // Not connected: nothing to reconfigure, nothing to report.
    host.menu(kCmdDisconnect);
    host.clear_messages();
    host.menu(kCmdTransmission);
    EXPECT_TRUE(host.messages().empty());
}

TEST_F(MainWindowTest, close_asks_and_ok_ends_the_program_with_0) {
    host.answer_next_message_box(MessageResult::Ok);
    host.close_main_window();
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(last_message().text, cp("Czy zamknąć program?"));
    EXPECT_EQ(last_message().caption, "Kavor Cen");
    EXPECT_EQ(last_message().buttons, MessageButtons::OkCancel);
    EXPECT_EQ(last_message().icon, MessageIcon::Question);
    EXPECT_EQ(p.record, nullptr);
    EXPECT_TRUE(host.quit_called());
    EXPECT_EQ(host.exit_code(), 0);
    EXPECT_FALSE(host.tray_shown());
    EXPECT_FALSE(host.timer_running(kPanelWindow, kTimerBlink));
}

TEST_F(MainWindowTest, close_cancel_keeps_everything) {
    rebuild_price_preview(p, "21M1");  // a blinking price keeps timer 6 running
    host.answer_next_message_box(MessageResult::Cancel);
    host.menu(kCmdExit);  // "Zakończ" asks the same question, through the posted close
    host.pump();
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(last_message().text, cp("Czy zamknąć program?"));
    ASSERT_NE(p.record, nullptr);
    EXPECT_FALSE(host.quit_called());
    EXPECT_TRUE(host.main_window_exists());
    EXPECT_TRUE(host.timer_running(kPanelWindow, kTimerBlink));
    EXPECT_TRUE(record().test_mode);
    EXPECT_TRUE(record().poll_run);
}

TEST_F(MainWindowTest, minimise_hides_only_with_the_option_and_a_tray) {
    main_window.on_size(0, 0, true);
    EXPECT_EQ(host.window_mode(kMainWindow), ShowMode::Normal);

    record().hide_on_minimize = true;
    main_window.on_size(0, 0, true);
    EXPECT_EQ(host.window_mode(kMainWindow), ShowMode::Hide);
    main_window.on_tray(TrayEvent::Other);
    EXPECT_EQ(host.window_mode(kMainWindow), ShowMode::Hide);
    main_window.on_tray(TrayEvent::RightPress);
    EXPECT_EQ(host.window_mode(kMainWindow), ShowMode::Normal);
    main_window.on_size(0, 0, true);
    main_window.on_tray(TrayEvent::LeftPress);
    EXPECT_EQ(host.window_mode(kMainWindow), ShowMode::Normal);

    // Without a tray the window could never come back, so it stays.
    host.set_tray_available(false);
    main_window.on_size(0, 0, true);
    EXPECT_EQ(host.window_mode(kMainWindow), ShowMode::Normal);
}

TEST_F(MainWindowTest, typed_characters_change_nothing) {
    auto screen = record().screen;
    for (int c : {97, 49, 13, 27}) main_window.on_char(c);
    EXPECT_EQ(record().screen, screen);
    EXPECT_TRUE(host.messages().empty());
    EXPECT_TRUE(record().test_mode);
    EXPECT_EQ(status(), t(Txt::StatusTestMode));
}

TEST_F(MainWindowTest, commands_without_a_record_do_nothing) {
    host.destroy_main_window();
    ASSERT_EQ(p.record, nullptr);
    host.clear_messages();
    for (int id : {kCmdConnect, kCmdDisconnect, kCmdTest, kCmdReadback, kCmdTransmission})
        main_window.on_command(id);
    panel.on_command(kIdSendPrices);
    panel.on_timer(kTimerStatus);
    EXPECT_TRUE(host.messages().empty());
    EXPECT_TRUE(host.dialogs_run().empty());
    EXPECT_FALSE(slot_pending(p.state, 29));
    EXPECT_EQ(destroy_record(p), 0);
}

TEST_F(MainWindowTest, destroying_the_record_kills_the_panel_timers) {
    connect();
    host.set_timer(kPanelWindow, kTimerScroll1, 20);
    record().scroll1_timer_on = true;
    EXPECT_EQ(destroy_record(p), 1);
    EXPECT_EQ(p.record, nullptr);
    for (int timer : {kTimerScroll1, kTimerReply, kTimerStatus, kTimerStatistics, kTimerBlink})
        EXPECT_FALSE(host.timer_running(kPanelWindow, timer)) << timer;
    EXPECT_TRUE(line->called("close"));
}

// A head-office link that only writes down when it is started and stopped.
class LoggedLink : public HeadOfficeLink {
public:
    LoggedLink(std::vector<std::string>& log, std::string station) : log_(log), station_(std::move(station)) {}
    void start(Events) override { log_.push_back("start " + station_); }
    void stop_receiving() override {}
    void stop() override { log_.push_back("stop " + station_); }
    void publish_result(const CentralResult&) override {}
    void publish_state(const StationState&) override {}
    void publish_sign(const StationStatus&) override {}
    void publish_event(const StationEvent&) override {}

private:
    std::vector<std::string>& log_;
    std::string station_;
};

TEST_F(MainWindowTest, centrala_settings_take_effect_at_ok_the_old_link_ending_first) {
    std::vector<std::string> log;
    main_window.set_head_office([&](Program& program) -> std::unique_ptr<HeadOfficeLink> {
        const std::string station = program.extra.get(extra_key::kHeadOfficeStation);
        if (station.empty()) return nullptr;
        return std::make_unique<LoggedLink>(log, station);
    });
    p.extra.set(extra_key::kHeadOfficeStation, "s1");
    main_window.start_head_office();
    std::ofstream(file("ca.crt")) << "CA\n";
    const struct {
        const char* station;
        std::vector<std::string> log;
        bool panel_lines;
    } steps[] = {
        {"s2", {"start s1", "stop s1", "start s2"}, true},
        {"", {"start s1", "stop s1", "start s2", "stop s2"}, false},  // no station: the link is off
    };
    for (const auto& step : steps) {
        host.on_dialog(kDialogCentrala, [&](WindowId w) {
            host.type(w, kIdHoBroker, "127.0.0.1:8883");
            host.type(w, kIdHoStation, step.station);
            host.type(w, kIdHoCaFile, file("ca.crt").string());
            host.press(w, kIdOk);
        });
        host.menu(kCmdCentrala);
        host.pump();
        EXPECT_EQ(log, step.log) << step.station;
        EXPECT_EQ(main_window.head_office_running(), step.panel_lines) << step.station;
        for (int id : {kIdHeadOfficeGroup, kIdHeadOfficeLink})
            EXPECT_EQ(host.controls().visible(kPanelWindow, id), step.panel_lines) << step.station << " " << id;
    }
    main_window.stop_head_office();
}

TEST(RunProgram, runs_until_the_close_question_is_answered) {
    HeadlessHost host;
    ManualClock clock;
    Program p;
    p.ui = &host;
    p.clock = &clock;
    auto old = std::filesystem::current_path();
    auto dir = std::filesystem::temp_directory_path() / "kc_app_run_program";
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);

    host.answer_next_message_box(MessageResult::Ok);
    host.post_close(kMainWindow);  // runs once the loop is going
    EXPECT_EQ(run_program(p), 0);
    EXPECT_EQ(host.window_mode(kMainWindow), ShowMode::Normal);
    EXPECT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(p.record, nullptr);
    EXPECT_FALSE(host.tray_shown());

    std::filesystem::current_path(old);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace kc::test
