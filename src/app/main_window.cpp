// Application core: the main window's procedure (menu commands, close question, tray,
// terminal view messages) and start-up.
#include "app/main_window.h"

#include <filesystem>
#include <string>
#include <system_error>

#include "app/record.h"
#include "dialogs/dialogs.h"
#include "link/polling.h"
#include "panel/control_panel.h"
#include "preview/price_preview.h"
#include "panel/terminal_view.h"
#include "resources/command_ids.h"
#include "resources/head_office_ids.h"
#include "resources/texts.h"
#include "script/script_runner.h"
#include "serial/port.h"

namespace kc {
namespace {

// The folder of the settings file and the logs. A path that does not fit the field
// would name another folder once cut, so "." (the same folder, the program never
// changes directory) is kept instead.
void store_work_directory(Program& p) {
    std::error_code error;
    std::string path = std::filesystem::current_path(error).string();
    if (error || path.empty() || path.size() >= sizeof p.state.work_directory) path = ".";
    copy_text(p.state.work_directory, sizeof p.state.work_directory, path.c_str());
}

void disconnect(Program& p) {
    MainRecord* r = get_record(p);
    if (!r) return;
    teardown(p, true);
    if (r->test_mode) {
        p.ui->enable_menu_item(kCmdDisconnect, false);
        p.ui->enable_menu_item(kCmdTest, true);
        r->test_mode = false;
        set_panel_text(p, kIdStatus, txt(Txt::StatusDisconnected));
    }
}

void enter_test_mode(Program& p) {
    MainRecord* r = get_record(p);
    if (!r) return;
    teardown(p, true);
    p.ui->enable_menu_item(kCmdDisconnect, true);
    p.ui->enable_menu_item(kCmdTest, false);
    set_panel_text(p, kIdStatus, txt(Txt::StatusTestMode));
    r->test_mode = true;
}

void transmission_settings(Program& p) {
    run_transmission_dialog(p);
    MainRecord* r = get_record(p);
    if (r && r->connected && configure_port(p) == 0)
        p.ui->message_box(kMainWindow, txt(Txt::MsgSettingsFailed), txt(Txt::CaptionProgram), MessageButtons::Ok,
                          MessageIcon::Exclamation);
}

}  // namespace

int MainWindow::on_create() {
    p_.ui->tray_add(txt(Txt::TrayTip));
    store_work_directory(p_);
    int created = create_record(p_);
    if (created == 1) {
        connection_.start_watching_ports();
        watch_.start();
    }
    return created;
}

void MainWindow::connect_at_start_if_set() {
    if (!get_record(p_) || !p_.extra.get_bool(extra_key::kConnectAtStart, false)) return;
    if (!connection_.connect_at_start()) disconnect(p_);
}

void MainWindow::start_head_office() {
    if (station_ || !head_office_) return;
    if (auto link = head_office_(p_)) {
        station_ = std::make_unique<HeadOfficeStation>(p_, std::move(link));
        station_->start();
    }
}

void MainWindow::stop_head_office() {
    station_.reset();  // the station stops its link as it goes
}

void MainWindow::on_timer(int timer_id) {
    if (timer_id == kTimerConnection) connection_.on_timer();
    if (timer_id == kTimerSignWatch) watch_.on_timer();
}

void MainWindow::on_destroy() {
    watch_.stop();
    connection_.stop_watching_ports();
    connection_.operator_acted();
    destroy_record(p_);
    p_.ui->tray_remove();
    p_.ui->quit(0);
}

void MainWindow::on_size(int client_width, int client_height, bool minimized) {
    terminal_size(p_, client_height, client_width);
    MainRecord* r = get_record(p_);
    // Without a tray icon a hidden window could never be brought back.
    if (minimized && r && r->hide_on_minimize && p_.ui->has_tray()) p_.ui->show_window(kMainWindow, ShowMode::Hide);
}

void MainWindow::on_scroll(Orientation orientation, int code, int position) {
    if (orientation == Orientation::Vertical)
        terminal_vscroll(p_, code, position);
    else
        terminal_hscroll(p_, code, position);
}

void MainWindow::on_paint(Canvas& canvas, const Rect& update) { terminal_paint(p_, canvas, update); }

bool MainWindow::on_close() {
    return p_.ui->message_box(kMainWindow, txt(Txt::MsgCloseQuestion), txt(Txt::CaptionProgram),
                              MessageButtons::OkCancel, MessageIcon::Question) == MessageResult::Ok;
}

void MainWindow::on_tray(TrayEvent event) {
    if (event != TrayEvent::LeftPress && event != TrayEvent::RightPress) return;
    p_.ui->show_window(kMainWindow, ShowMode::Normal);
    p_.ui->bring_to_front(kMainWindow);
}

void MainWindow::on_command(int id) {
    if (id == kCmdExit) {
        p_.ui->post_close(kMainWindow);
        return;
    }
    if (id == kCmdAbout) {
        run_about_dialog(p_);
        return;
    }
    if (!get_record(p_)) return;
    switch (id) {
        // A successful connect, by the operator or after a replug, is signalled in
        // Connection::link_up (app/connection.cpp).
        case kCmdConnect: connection_.connect_by_operator(); break;
        case kCmdDisconnect:
            connection_.ended_by_operator(false);
            connection_.operator_acted();
            disconnect(p_);
            break;
        case kCmdLinkLost: connection_.link_lost(); break;
        case kCmdPortsChanged: connection_.ports_changed(); break;
        case kCmdTransmission: transmission_settings(p_); break;
        case kCmdLight: run_light_dialog(p_); break;
        case kCmdTest:
            connection_.ended_by_operator(true);
            connection_.operator_acted();
            enter_test_mode(p_);
            break;
        case kCmdScrollSpeed: run_scroll_speed_dialog(p_); break;
        case kCmdProgramSettings: run_program_settings_dialog(p_); break;
        case kCmdReadback: queue_readback(p_); break;
        case kCmdPriceHistory: run_price_history_dialog(p_); break;
        case kCmdPriceSchedule: run_price_schedule_dialog(p_); break;
        case kCmdUnattended: run_unattended_dialog(p_); break;
        case kCmdCentrala: run_centrala_dialog(p_); break;
        case kCmdHeadOfficeChanged:
            // The old link says goodbye first: one station id, one session at the broker.
            stop_head_office();
            for (int id : {kIdHeadOfficeGroup, kIdHeadOfficeLink, kIdHeadOfficeChange})
                p_.ui->controls().set_visible(kPanelWindow, id, false);
            start_head_office();
            break;
        default: break;
    }
}

int run_program(Program& p, const HeadOfficeFactory& head_office) {
    MainWindow main_window(p);
    ControlPanel panel(p);
    if (!p.ui->create_main_window(main_window)) return 0;
    if (!p.ui->create_panel(panel)) {
        p.ui->destroy_main_window();
        return 0;
    }
    p.ui->show_window(kMainWindow, ShowMode::Normal);
    main_window.connect_at_start_if_set();
    main_window.set_head_office(head_office);
    main_window.start_head_office();
    int code = p.ui->run_message_loop();
    main_window.stop_head_office();
    // A loop ended without the window's destruction still must stop the workers.
    if (get_record(p)) destroy_record(p);
    return code;
}

}  // namespace kc
