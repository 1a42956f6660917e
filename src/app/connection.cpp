// Application core: connecting, telling why not, and reconnecting after a replug.
#include "app/connection.h"

#include "app/sign_watch.h"
#include "app/station_events.h"

#include "panel/control_panel.h"
#include "resources/command_ids.h"
#include "resources/texts.h"
#include "serial/connection_texts.h"
#include "serial/port.h"
#include "text/cp1250.h"
#include "text/format_text.h"

namespace kc {
namespace {

// Periods of the status query and the statistics record while connected.
constexpr int kStatusQueryPeriodMs = 1000;
constexpr int kStatisticsPeriodMs = 60000;
// The watch looks for silence and for a returned device this often: a reconnect comes
// well within 2 s, and two cheap checks a second cost nothing while waiting.
constexpr int kWatchPeriodMs = 500;
// A new link whose first exchanges failed this often without one byte coming back
// is silent: the first status query had its sends and resends unanswered.
constexpr int kSilentFailures = 3;
// Automatic reconnects that were lost again before one byte came back: a device that
// opens and drops at once is not retried for ever.
constexpr int kMaxFruitlessReconnects = 5;

}  // namespace

bool Connection::connect_by_operator() {
    MainRecord* r = get_record(p_);
    if (!r || r->connected) return false;
    operator_acted();
    OpenReport report;
    if (open_port(p_, &report) != 1) {
        p_.ui->message_box(kMainWindow, open_failure_text(p_, r->port_number, report), txt(Txt::CaptionError),
                           MessageButtons::Ok, MessageIcon::Exclamation);
        return false;
    }
    device_ = report.device;
    automatic_ = false;
    link_up();
    return true;
}

bool Connection::connect_at_start() {
    MainRecord* r = get_record(p_);
    if (!r || r->connected) return r != nullptr;
    OpenReport report;
    bool opened = open_port(p_, &report) == 1;
    device_ = report.device;
    // Counted as a reconnect: a device that drops at once is not retried for ever.
    automatic_ = true;
    if (opened) {
        link_up();
        return true;
    }
    std::string device = utf8_to_cp1250(report.device.empty() ? "?" : report.device);
    std::string port = port_name(r->port_number.load());
    set_panel_text(p_, kIdPriceOutcome,
                   report.cause == OpenFailCause::Missing ? format_text(txt(Txt::StartWaitMissing), device, port)
                                                          : format_text(txt(Txt::StartWaitRetrying), port, device));
    start_wait_shown_ = true;
    // Whatever "Łącz ponownie po odłączeniu" says: waiting is what was asked for.
    waiting_ = true;
    update_timer();
    return false;
}

void Connection::clear_start_wait() {
    if (!start_wait_shown_) return;
    start_wait_shown_ = false;
    set_panel_text(p_, kIdPriceOutcome, "");
}

void Connection::link_up() {
    MainRecord* r = get_record(p_);
    if (!r) return;
    clear_start_wait();
    // A script started in test mode goes on, now to the sign.
    if (r->script_running) set_panel_text(p_, kIdStatus, txt(Txt::StatusConnectedScript));
    p_.ui->enable_menu_item(kCmdConnect, false);
    p_.ui->set_timer(kPanelWindow, kTimerStatus, kStatusQueryPeriodMs);
    p_.ui->set_timer(kPanelWindow, kTimerStatistics, kStatisticsPeriodMs);
    r->status_timers_on = true;
    // Price schedule: a change that fell due while the link was down goes now.
    p_.ui->post_command(kPanelWindow, kCmdPriceLinkUp);

    bytes_at_connect_ = p_.state.bytes_received.load();
    errors_at_connect_ = p_.state.blad_transmisji.load();
    listening_ = true;
    update_timer();

    StationEvent e;
    e.kind = event_word::kSignLinkUp;
    e.time = p_.clock ? p_.clock->calendar_seconds() : 0;
    e.detail = fill(Txt::LinkEventUp, port_name(r->port_number.load()), utf8_to_cp1250(device_));
    emit_station_event(p_, e);
    if (watch_) watch_->link_up();
}

void Connection::link_down(const std::string& detail) {
    if (watch_) watch_->link_down();
    StationEvent e;
    e.kind = event_word::kSignLinkDown;
    e.time = p_.clock ? p_.clock->calendar_seconds() : 0;
    e.detail = detail;
    emit_station_event(p_, e);
}

void Connection::ended_by_operator(bool to_test_mode) {
    MainRecord* r = get_record(p_);
    if (!r || !r->connected) return;
    link_down(txt(to_test_mode ? Txt::LinkEventTestMode : Txt::LinkEventDisconnected));
}

void Connection::operator_acted() {
    clear_start_wait();
    fruitless_reconnects_ = 0;
    automatic_ = false;
    waiting_ = false;
    listening_ = false;
    loss_told_ = false;
    update_timer();
}

void Connection::link_lost() {
    MainRecord* r = get_record(p_);
    // The operator ended the link before the reader's news arrived.
    if (!r || !r->connected) return;
    if (r->port_handle) device_ = r->port_handle->open_report().device;
    // Ends the link as "Rozłącz" does: status "ROZŁĄCZONY", a running script stops.
    teardown(p_, true);
    link_down(fill(Txt::LinkEventLost, port_name(r->port_number.load()), utf8_to_cp1250(device_.empty() ? "?" : device_)));
    listening_ = false;
    if (automatic_ && p_.state.bytes_received.load() == bytes_at_connect_)
        ++fruitless_reconnects_;
    else
        fruitless_reconnects_ = 0;
    bool reconnect = p_.extra.get_bool(extra_key::kReconnect, true);
    waiting_ = reconnect && fruitless_reconnects_ < kMaxFruitlessReconnects;
    // A device that keeps dropping is told once, not at every drop.
    if (!loss_told_) {
        loss_told_ = true;
        show_once(lost_box_, link_lost_text(p_, device_, reconnect), true);
    }
    update_timer();
}

void Connection::ports_changed() {
    if (waiting_) try_reconnect();
}

void Connection::on_timer() {
    MainRecord* r = get_record(p_);
    if (!r) return;
    if (waiting_) try_reconnect();
    if (listening_) {
        if (!r->connected) {
            listening_ = false;
        } else if (p_.state.bytes_received.load() != bytes_at_connect_) {
            listening_ = false;
            loss_told_ = false;  // the sign answered: a later loss is news again
        } else if (p_.state.blad_transmisji.load() - errors_at_connect_ >= kSilentFailures) {
            listening_ = false;
            show_once(silent_box_, no_answer_text(p_, device_), false);
        }
    }
    update_timer();
}

void Connection::try_reconnect() {
    MainRecord* r = get_record(p_);
    if (!r || r->connected) {
        waiting_ = false;
        return;
    }
    // A COM name that reaches a device gone is not tried, so waiting costs a stat. One
    // that names no device (a Windows port SetupAPI does not describe, or whose adapter
    // has another number now) is tried: opening it is the check.
    if (p_.discovery && p_.describe_port) {
        std::string device = p_.describe_port(r->port_number);
        if (!device.empty() && !p_.discovery->device_present(device)) return;
    }
    OpenReport report;
    if (open_port(p_, &report) != 1) return;  // not ready yet (permissions come a moment later)
    waiting_ = false;
    device_ = report.device;
    automatic_ = true;
    link_up();
}

void Connection::update_timer() {
    bool want = waiting_ || listening_;
    if (want == timer_on_ || !p_.ui) return;
    if (want)
        p_.ui->set_timer(kMainWindow, kTimerConnection, kWatchPeriodMs);
    else
        p_.ui->kill_timer(kMainWindow, kTimerConnection);
    timer_on_ = want;
}

// Posted, so the watch goes on while the box is open; one box of a kind at a time.
void Connection::show_once(std::shared_ptr<std::atomic<bool>> open, const std::string& text, bool warning) {
    if (!p_.ui || open->exchange(true)) return;
    UiHost* ui = p_.ui;
    ui->post([ui, open, text, warning] {
        ui->message_box(kMainWindow, text, txt(Txt::CaptionProgram), MessageButtons::Ok,
                        warning ? MessageIcon::Warning : MessageIcon::Exclamation);
        *open = false;
    });
}

void Connection::start_watching_ports() {
    if (!p_.discovery || !p_.ui) return;
    UiHost* ui = p_.ui;
    p_.discovery->watch([ui] { ui->post_command(kMainWindow, kCmdPortsChanged); });
}

void Connection::stop_watching_ports() {
    if (p_.discovery) p_.discovery->watch({});
}

}  // namespace kc
