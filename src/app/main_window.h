// Application core: the main window's procedure (menu commands, close question,
// minimise to tray, terminal view messages) and start-up.
#pragma once
#include "app/connection.h"
#include "app/head_office_station.h"
#include "app/sign_watch.h"
#include "state/state.h"
#include "panel/control_panel.h"
#include "platform/window_procedure.h"

namespace kc {

class MainWindow : public WindowProcedure {
public:
    explicit MainWindow(Program& p) : p_(p), connection_(p), watch_(p) { connection_.set_sign_watch(&watch_); }
    int on_create() override;
    void on_command(int id) override;
    bool on_close() override;
    void on_destroy() override;
    void on_size(int client_width, int client_height, bool minimized) override;
    void on_scroll(Orientation orientation, int code, int position) override;
    void on_paint(Canvas& canvas, const Rect& update) override;
    void on_tray(TrayEvent event) override;
    void on_char(int character) override {}
    void on_timer(int timer_id) override;

    Connection& connection() { return connection_; }
    SignWatch& sign_watch() { return watch_; }
    // Start-up with "Łącz z wieżą przy starcie": connect, or leave test mode and wait
    // for the sign as after an unplug. Without the setting the program stays in test mode.
    void connect_at_start_if_set();

    // The link to head office: made by `factory` from the settings held now, and made
    // again from the new ones when the "Centrala" dialog changes them.
    void set_head_office(HeadOfficeFactory factory) { head_office_ = std::move(factory); }
    void start_head_office();
    void stop_head_office();
    bool head_office_running() const { return station_ != nullptr; }

private:
    Program& p_;
    Connection connection_;
    SignWatch watch_;
    HeadOfficeFactory head_office_;
    std::unique_ptr<HeadOfficeStation> station_;
};

// teardown(p, reset), shared with the panel's start, is declared in panel/control_panel.h.

// Start-up: main window, panel, show, message loop. Returns the exit code. A link to
// head office runs beside it when `head_office` makes one from the loaded settings.
int run_program(Program& p, const HeadOfficeFactory& head_office = {});

}  // namespace kc
