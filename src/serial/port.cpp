// Serial link: the settings tables, and opening, configuring and closing the port.
#include "serial/port.h"

#include "serial/moved_port.h"
#include <thread>

#include "resources/command_ids.h"
#include "resources/texts.h"

namespace kc {

namespace {

// The port reader has ended or is about to: join it, but never from itself.
void end_reader(MainRecord& r) {
    if (r.reader_thread.joinable()) {
        if (r.reader_thread.get_id() == std::this_thread::get_id())
            r.reader_thread.detach();
        else
            r.reader_thread.join();
    }
    r.reader_thread_id = 0;
}

// Drops the device. The polling thread writes only while it holds link_lock, so the
// device is never destroyed under a write in progress.
void release_port(Program& p, MainRecord& r) {
    LockGuard link(p.state.link_lock);
    if (r.port_handle) r.port_handle->close();
    r.port_handle.reset();
}

void set_link_menu(Program& p, bool connected) {
    if (!p.ui) return;
    p.ui->enable_menu_item(kCmdDisconnect, connected);
    p.ui->enable_menu_item(kCmdTest, true);
    p.ui->enable_menu_item(kCmdConnect, !connected);
}

}  // namespace

std::span<const SettingChoice> speed_choices() {
    static constexpr SettingChoice kList[] = {
        {800, 110},   {801, 300},   {802, 600},   {803, 1200},  {804, 2400},   {805, 4800},    {806, 9600},
        {807, 14400}, {808, 19200}, {809, 38400}, {810, 56000}, {811, 128000}, {812, 256000},
    };
    return kList;
}

std::span<const SettingChoice> parity_choices() {
    static constexpr SettingChoice kList[] = {
        {816, kParityNone}, {817, kParityEven}, {818, kParityOdd}, {819, kParityMark}, {820, kParitySpace},
    };
    return kList;
}

std::span<const SettingChoice> stop_bit_choices() {
    static constexpr SettingChoice kList[] = {{832, kStopBits1}, {833, kStopBits1_5}, {834, kStopBits2}};
    return kList;
}

std::string port_name(int port_number) { return string_table(784) + std::to_string(port_number); }

uint32_t write_timeout_multiplier(uint32_t baud_rate) { return baud_rate == 0 ? 0 : 19200 / baud_rate; }

int open_port(Program& p, OpenReport* report) {
    MainRecord* r = get_record(p);
    if (!r) return 0;
    OpenReport ignored;
    OpenReport& out = report ? *report : ignored;
    out = OpenReport{};
    // Opening over a live link would lose the device under the reader.
    if (r->connected.load()) return 0;
    // Windows may have given the port's adapter another number since.
    follow_moved_device(p);
    if (p.ui) p.ui->set_wait_cursor(true);

    // What a link that ended without a close left behind (a reader that saw a hang-up).
    if (r->port_handle) r->port_handle->cancel_wait();
    end_reader(*r);
    release_port(p, *r);

    int result = 0;
    std::unique_ptr<SerialDevice> device = p.make_serial ? p.make_serial() : nullptr;
    std::error_code opened = device ? device->open(port_name(r->port_number.load()))
                                    : std::make_error_code(std::errc::no_such_device);
    if (device) out = device->open_report();
    if (opened) {
        out.error = opened;
        // A backend that knows no more than the error value still gives a cause.
        if (out.cause == OpenFailCause::None) {
            out.cause = opened == std::errc::no_such_file_or_directory || opened == std::errc::no_such_device
                            ? OpenFailCause::Missing
                        : opened == std::errc::permission_denied   ? OpenFailCause::NoPermission
                        : opened == std::errc::device_or_resource_busy ? OpenFailCause::Busy
                                                                       : OpenFailCause::Other;
        }
    } else {
        {
            LockGuard link(p.state.link_lock);
            r->port_handle = std::move(device);
        }
        SerialDevice& port = *r->port_handle;
        port.set_write_timeout(write_timeout_multiplier(r->baud_rate.load()));
        port.purge();
        if (!configure_port(p)) {
            r->connected = false;
            release_port(p, *r);
            out.cause = OpenFailCause::Other;  // the line settings were refused
            out.error = std::make_error_code(std::errc::invalid_argument);
        } else {
            r->connected = true;
            if (!p.start_reader || !p.start_reader(p)) {
                r->connected = false;
                port.cancel_wait();
                end_reader(*r);
                release_port(p, *r);
                out.cause = OpenFailCause::Other;
                out.error = std::make_error_code(std::errc::resource_unavailable_try_again);
            } else {
                port.set_dtr(true);
                set_link_menu(p, true);
                r->test_mode = false;
                set_panel_text(p, kIdStatus, txt(Txt::StatusConnected));
                result = 1;
            }
        }
    }

    if (p.ui) p.ui->set_wait_cursor(false);
    return result;
}

int configure_port(Program& p) {
    MainRecord* r = get_record(p);
    if (!r || !r->port_handle || !r->port_handle->is_open()) return 0;
    LineSettings s;
    s.baud_rate = r->baud_rate.load();
    s.data_bits = r->data_bits.load();
    s.parity = r->parity.load();
    s.stop_bits = r->stop_bits.load();
    // A new speed needs its own write allowance, or slow lines cut every frame short.
    r->port_handle->set_write_timeout(write_timeout_multiplier(s.baud_rate));
    return r->port_handle->configure(s) ? 0 : 1;
}

int close_port(Program& p) {
    MainRecord* r = get_record(p);
    if (!r) return 0;
    r->connected = false;
    if (r->port_handle) r->port_handle->cancel_wait();
    end_reader(*r);
    {
        LockGuard link(p.state.link_lock);
        if (r->port_handle) {
            r->port_handle->set_dtr(false);
            r->port_handle->purge();
            r->port_handle->close();
            r->port_handle.reset();
        }
    }
    set_link_menu(p, false);
    r->test_mode = false;
    set_panel_text(p, kIdStatus, txt(Txt::StatusDisconnected));
    return 1;
}

}  // namespace kc
