// Operator panel: the panel's procedure: price, display, backlight and script buttons,
// the file chooser, panel timers 1 to 7, caption colours and the preview's paint.
#include "panel/control_panel.h"

#include <string>
#include <vector>

#include "link/polling.h"
#include "link/price_batch.h"
#include "preview/display_model.h"
#include "preview/price_preview.h"
#include "resources/command_ids.h"
#include "resources/texts.h"
#include "script/script_runner.h"
#include "serial/port.h"
#include "storage/logs.h"

namespace kc {
namespace {

constexpr size_t kPriceChars = 6;
constexpr size_t kDisplayChars = 80;
constexpr Color kCaptionBackground = 0xB4B4B4;
constexpr Color kWindowColor = 0xFFFFFF;

void show_error(Program& p, Txt text, MessageIcon icon = MessageIcon::Exclamation) {
    p.ui->message_box(kPanelWindow, txt(text), txt(Txt::CaptionError), MessageButtons::Ok, icon);
}

bool can_send(const MainRecord& r) { return r.connected || r.test_mode; }

void send_prices(Program& p, MainRecord& r) {
    if (!can_send(r)) {
        show_error(p, Txt::MsgDisconnected);
        return;
    }
    PriceBatch batch;
    for (int n = 1; n <= 5; ++n) {
        const std::string typed = panel_text(p, price_edit_id(n), kPriceChars);
        // A comma is the decimal point; the edit shows what goes to the sign.
        batch.prices[n - 1] = normalise_price_text(typed);
        if (batch.prices[n - 1] != typed) set_panel_text(p, price_edit_id(n), batch.prices[n - 1]);
        batch.blink[n - 1] = p.ui->controls().checked(kPanelWindow, kIdBlink1 + n - 1);
    }
    // The panel queues in test mode and beside a script as well, as it always has.
    QueueOptions options;
    options.allow_test_mode = true;
    options.allow_while_script = true;
    const QueueResult queued = queue_price_batch(p, batch, BatchSource::panel, options);
    if (queued.refusal == QueueRefusal::invalid)
        p.ui->message_box(kPanelWindow, describe_refusal(queued), txt(Txt::CaptionError), MessageButtons::Ok,
                          MessageIcon::Exclamation);
}

void send_display_text(Program& p, MainRecord& r, int display) {
    if (!can_send(r)) {
        show_error(p, Txt::MsgDisconnected);
        return;
    }
    const int edit = display == 1 ? kIdDisplay1Text : kIdDisplay2Text;
    const int negative = display == 1 ? kIdNegative1 : kIdNegative2;
    std::string text = std::string(display == 1 ? "00" : "10") +
                       (p.ui->controls().checked(kPanelWindow, negative) ? '1' : '0') +
                       panel_text(p, edit, kDisplayChars);
    LockGuard guard(p.state.slot_lock);
    fill_slot(p.state, display, text.c_str());
    fill_slot(p.state, display == 1 ? 15 : 25, display == 1 ? "00E" : "10E");
    p.state.slot_cursor = display - 1;
}

void send_backlight(Program& p, MainRecord& r, bool on) {
    // Test mode has no sign to switch, so only a real link counts here.
    if (!r.connected) {
        show_error(p, Txt::MsgNotConnectedPanel);
        return;
    }
    if (r.auto_backlight) {
        show_error(p, Txt::MsgAutoBacklight);
        return;
    }
    LockGuard guard(p.state.slot_lock);
    if (on)
        fill_slot(p.state, 43, "20Z1");
    else
        fill_slot(p.state, 44, "20Z0");
    fill_slot(p.state, 45, "20Z");
}

void script_button(Program& p, MainRecord& r) {
    if (!can_send(r)) {
        show_error(p, Txt::MsgDisconnected, MessageIcon::Warning);
        return;
    }
    if (r.script_running) {
        stop_script(p);
        set_panel_text(p, kIdScriptButton, txt(Txt::ButtonStart));
        set_panel_text(p, kIdStatus, txt(r.test_mode ? Txt::StatusTestMode : Txt::StatusConnected));
        return;
    }
    // start_script sets script_running itself before the thread exists: setting it
    // here, after a short script may already have ended, would leave it set for good.
    if (!start_script(p)) {
        show_error(p, Txt::MsgScriptOpenFailed, MessageIcon::Warning);
        return;
    }
    set_panel_text(p, kIdScriptButton, txt(Txt::ButtonStop));
    set_panel_text(p, kIdStatus, txt(r.test_mode ? Txt::StatusTestModeScript : Txt::StatusConnectedScript));
}

void choose_script(Program& p) {
    const std::vector<FileFilter> filters = {{txt(Txt::FilterText), "*.txt"}, {txt(Txt::FilterAll), "*.*"}};
    if (auto path = p.ui->choose_open_file(kPanelWindow, filters)) set_panel_text(p, kIdScriptPath, *path);
}

void status_query(Program& p) {
    LockGuard guard(p.state.slot_lock);
    fill_slot(p.state, 29, "20S");
    fill_slot(p.state, 45, "20Z");
}

void automatic_backlight(Program& p, MainRecord& r) {
    const int level = p.state.light_level;
    if (!r.auto_backlight || level < 0) return;
    LockGuard guard(p.state.slot_lock);
    if (level >= p.state.light_settings[kPriceHighLevel]) fill_slot(p.state, 37, "20z");
    if (level <= p.state.light_settings[kPriceLowLevel]) fill_slot(p.state, 36, "20Z");
}

}  // namespace

void teardown(Program& p, bool reset) {
    MainRecord* r = get_record(p);
    if (!r) return;
    UiHost& ui = *p.ui;

    if (r->status_timers_on) {
        ui.kill_timer(kPanelWindow, kTimerStatus);
        ui.kill_timer(kPanelWindow, kTimerStatistics);
        r->status_timers_on = false;
    }
    if (r->reply_timer_on) {
        ui.kill_timer(kPanelWindow, kTimerReply);
        r->reply_timer_on = false;
    }
    if (r->connected) close_port(p);
    abandon_price_batches(p, txt(Txt::PriceReasonLinkClosed));
    // A script that ended by itself still has a thread to join and a button reading "Stop".
    if (r->script_running || r->script_thread.joinable()) {
        stop_script(p);
        set_panel_text(p, kIdScriptButton, txt(Txt::ButtonStart));
    }
    {
        // Holding slot_lock keeps the polling thread out of a pass, so no command it
        // took before the clear reaches the preview after the reset.
        LockGuard guard(p.state.slot_lock);
        clear_command_queue(p);
        if (reset) reset_preview(p);
    }
    set_panel_text(p, kIdTemperature, "");
    set_panel_text(p, kIdLightLevel, "");
    p.state.light_level = -1;
    // Never connected after a teardown, so the connect command is offered again.
    ui.enable_menu_item(kCmdConnect, true);
}

void ControlPanel::on_init() {
    MainRecord* r = get_record(p_);
    if (!r) return;
    UiHost& ui = *p_.ui;
    set_panel_text(p_, kIdStatus, txt(Txt::StatusDisconnected));
    set_panel_text(p_, kIdScriptButton, txt(Txt::ButtonStart));
    for (int n = 0; n < 5; ++n) {
        set_panel_text(p_, kIdCaption1 + n, p_.state.price_labels[n]);
        ui.set_control_font(kPanelWindow, kIdCaption1 + n, r->font_spec);
    }
    start_polling(p_);
    // Timer 6 runs only while a price blinks: an idle panel does not tick.
    start_blink_timer_if_needed(p_);
    teardown(p_, false);
    ui.enable_menu_item(kCmdDisconnect, true);
    // This program's connect command: offered whenever the port is not open.
    ui.enable_menu_item(kCmdConnect, true);
    ui.enable_menu_item(kCmdTest, false);
    set_panel_text(p_, kIdStatus, txt(Txt::StatusTestMode));
    r->test_mode = true;
    prices_.start();
}

void ControlPanel::on_command(int id) {
    MainRecord* r = get_record(p_);
    if (!r) return;
    switch (id) {
        case kIdSendPrices: send_prices(p_, *r); break;
        case kIdSendDisplay1: send_display_text(p_, *r, 1); break;
        case kIdSendDisplay2: send_display_text(p_, *r, 2); break;
        case kIdBacklightOn: send_backlight(p_, *r, true); break;
        case kIdBacklightOff: send_backlight(p_, *r, false); break;
        case kIdScriptButton: script_button(p_, *r); break;
        case kIdChooseScript: choose_script(p_); break;
        case kCmdPriceLinkUp: prices_.link_up(); break;
        case kCmdPriceScheduleChanged: prices_.reload_schedule(false); break;
        default: break;
    }
}

void ControlPanel::on_timer(int timer_id) {
    MainRecord* r = get_record(p_);
    if (!r) return;
    switch (timer_id) {
        case kTimerScroll1:
            scroll_display_step(p_, 1);
            p_.ui->invalidate(kPanelWindow, kDisplay1Rect);
            break;
        case kTimerScroll2:
            scroll_display_step(p_, 2);
            p_.ui->invalidate(kPanelWindow, kDisplay2Rect);
            break;
        case kTimerReply: on_reply_timeout(p_); break;
        case kTimerStatus: status_query(p_); break;
        case kTimerStatistics:
            if (r->log_traffic) log_statistics(p_);
            break;
        case kTimerBlink: blink_tick(p_); break;
        case kTimerAutoBacklight: automatic_backlight(p_, *r); break;
        case kTimerPriceSchedule: prices_.on_timer(); break;
        default: break;
    }
}

void ControlPanel::on_paint(Canvas& canvas, const Rect& update) { paint_preview(p_, canvas); }

bool ControlPanel::on_static_color(int control_id, StaticColors& colors) {
    if (control_id >= kIdCaption1 && control_id < kIdCaption1 + 5) {
        colors.background = kCaptionBackground;
        colors.text = p_.state.price_label_colors[control_id - kIdCaption1];
        return true;
    }
    if (control_id == kIdLightLevel) {
        colors.background = kWindowColor;
        colors.text = 0;
        return true;
    }
    return false;
}

// The host makes and frees the brushes of the colours above; nothing is held here.
void ControlPanel::on_destroy() { prices_.stop(); }

}  // namespace kc
