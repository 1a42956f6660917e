// Settings dialogs: dialog 101 "Ustawienia transmisji".
#include "dialogs/transmission_dialog.h"

#include <cstdio>

#include "resources/dialog_ids.h"
#include "dialogs/dialogs.h"
#include "panel/terminal_view.h"
#include "resources/command_ids.h"
#include "resources/texts.h"
#include "serial/port.h"
#include "serial/connection_texts.h"
#include "storage/extra_settings_file.h"
#include "storage/safe_file.h"
#include "storage/settings_file.h"
#include "storage/work_path.h"
#include "text/cp1250.h"
#include "text/format_text.h"

namespace kc {
namespace {

constexpr WindowId kWindow = kDialogTransmission;
constexpr int kPortCount = 10;
constexpr int kFirstDataBits = 5;
constexpr int kLastDataBits = 8;

// Adds each choice with its value as item data and selects the one equal to `current`;
// none matching leaves the list without a selection.
void fill_list(ControlStore& c, int list, std::span<const SettingChoice> choices, uint32_t current) {
    c.clear_items(kWindow, list);
    for (const SettingChoice& choice : choices) {
        int index = c.add_item(kWindow, list, string_table(choice.string_id), choice.value);
        if (choice.value == current) c.set_selection(kWindow, list, index);
    }
}

constexpr uint32_t kBuiltInItem = 0;
constexpr uint32_t kKeptItem = 0xFFFF;  // a link to a device that is not here now

}  // namespace

std::string port_list_text(const Program& p, int port_number) {
    char name[96];
    std::snprintf(name, sizeof name, "%s%d", string_table(784).c_str(), port_number);
    std::string text = name;
    if (p.describe_port) {
        std::string device = p.describe_port(port_number);
        if (!device.empty()) text += "  (" + device + ")";
    }
    return text;
}

void TransmissionDialog::on_init() {
    MainRecord* r = get_record(p_);
    if (!r) return;
    ControlStore& c = p_.ui->controls();

    c.clear_items(kWindow, kIdPortList);
    for (int n = 1; n <= kPortCount; ++n) c.add_item(kWindow, kIdPortList, port_list_text(p_, n), static_cast<uint32_t>(n));
    int port = r->port_number;
    if (port >= 1 && port <= kPortCount) c.set_selection(kWindow, kIdPortList, port - 1);
    // The port cannot change under an open line.
    c.set_enabled(kWindow, kIdPortList, !r->connected);

    fill_list(c, kIdSpeedList, speed_choices(), r->baud_rate);

    c.clear_items(kWindow, kIdDataBitsList);
    for (int bits = kFirstDataBits; bits <= kLastDataBits; ++bits) {
        int index = c.add_item(kWindow, kIdDataBitsList, std::to_string(bits), static_cast<uint32_t>(bits));
        if (bits == r->data_bits) c.set_selection(kWindow, kIdDataBitsList, index);
    }

    fill_list(c, kIdParityList, parity_choices(), r->parity);
    fill_list(c, kIdStopBitsList, stop_bit_choices(), r->stop_bits);
    c.set_checked(kWindow, kIdLogTraffic, r->log_traffic);
    c.set_checked(kWindow, kIdReconnect, p_.extra.get_bool(extra_key::kReconnect, true));
    fill_devices(port >= 1 && port <= kPortCount ? port : 1);
    c.set_enabled(kWindow, kIdDeviceList, !r->connected && p_.discovery != nullptr);
}

// "Port wbudowany (/dev/ttyS0)", then every other serial device present (the built-in
// port is listed once); the one the port's link points at (by its by-id name or its
// node) is selected.
void TransmissionDialog::fill_devices(int port_number) {
    ControlStore& c = p_.ui->controls();
    c.clear_items(kWindow, kIdDeviceList);
    devices_port_ = port_number;
    devices_.clear();
    linked_.clear();
    if (!p_.discovery) return;
    PortDiscovery& d = *p_.discovery;
    const std::string builtin = d.builtin_device(port_number);
    c.add_item(kWindow, kIdDeviceList, txt(Txt::ConnBuiltIn) + " (" + builtin + ")", kBuiltInItem);
    linked_ = d.linked_device(port_number);
    int selected = 0;
    devices_ = d.list_ports();
    for (size_t i = 0; i < devices_.size(); ++i) {
        const SerialPortInfo& dev = devices_[i];
        // The built-in port is listed once; a device with an identity of its own on the
        // port's own number (Windows: the adapter now on COMn) can still be bound.
        if (dev.node == builtin && dev.by_id.empty()) continue;
        int index = c.add_item(kWindow, kIdDeviceList, describe_device(dev), static_cast<uint32_t>(i + 1));
        if (!linked_.empty() && (linked_ == dev.by_id || linked_ == dev.node)) selected = index;
    }
    // A link to an adapter that is unplugged now stays as it is unless another is picked.
    if (!linked_.empty() && selected == 0) selected = c.add_item(kWindow, kIdDeviceList, linked_, kKeptItem);
    c.set_selection(kWindow, kIdDeviceList, selected);
    devices_selected_ = selected;
}

// Writes the port's link when another device was picked; a by-id name survives
// replugging and reboots, so it is preferred to the node.
bool TransmissionDialog::apply_device() {
    if (!p_.discovery || devices_port_ == 0) return true;
    ControlStore& c = p_.ui->controls();
    int index = c.selection(kWindow, kIdDeviceList);
    if (index < 0 || index == devices_selected_) return true;
    uint32_t item = c.item_data(kWindow, kIdDeviceList, index);
    if (item == kKeptItem) return true;
    std::string target;
    if (item != kBuiltInItem && item <= devices_.size()) {
        const SerialPortInfo& dev = devices_[item - 1];
        target = dev.by_id.empty() ? dev.node : dev.by_id;
    }
    std::error_code e = p_.discovery->link_port(devices_port_, target);
    if (!e) return true;
    p_.ui->message_box(kWindow, format_text(txt(Txt::ConnLinkFailed), port_name(devices_port_), file_error_reason(e)),
                       txt(Txt::CaptionError), MessageButtons::Ok, MessageIcon::Exclamation);
    return false;
}

void TransmissionDialog::on_command(int id) {
    MainRecord* r = get_record(p_);
    switch (id) {
        case kIdOk:
            if (r) accept(*r);
            p_.ui->end_dialog(kWindow, 1);
            break;
        case kIdCancel:
            p_.ui->end_dialog(kWindow, 1);
            break;
        case kIdFontButton:
            if (r) choose_font(*r);
            break;
        case kIdPortList: {
            // The device list follows the port chosen.
            int port = p_.ui->controls().selection(kWindow, kIdPortList);
            if (port >= 0 && port < kPortCount && port + 1 != devices_port_) fill_devices(port + 1);
            break;
        }
        default:
            break;
    }
}

// A list left without a selection (its stored value matched no entry, which only an
// edited settings file can cause) keeps that stored value.
void TransmissionDialog::accept(MainRecord& r) {
    ControlStore& c = p_.ui->controls();
    int port = c.selection(kWindow, kIdPortList);
    if (port >= 0 && port < kPortCount) r.port_number = static_cast<uint8_t>(port + 1);
    int speed = c.selection(kWindow, kIdSpeedList);
    if (speed >= 0) r.baud_rate = c.item_data(kWindow, kIdSpeedList, speed);
    int bits = c.selection(kWindow, kIdDataBitsList);
    if (bits >= 0 && bits <= kLastDataBits - kFirstDataBits) r.data_bits = static_cast<uint8_t>(bits + kFirstDataBits);
    int parity = c.selection(kWindow, kIdParityList);
    if (parity >= 0) r.parity = static_cast<uint8_t>(c.item_data(kWindow, kIdParityList, parity));
    int stop = c.selection(kWindow, kIdStopBitsList);
    if (stop >= 0) r.stop_bits = static_cast<uint8_t>(c.item_data(kWindow, kIdStopBitsList, stop));
    r.log_traffic = c.checked(kWindow, kIdLogTraffic);
    save_settings_locked(p_);

    apply_device();
    bool reconnect = c.checked(kWindow, kIdReconnect);
    if (reconnect != p_.extra.get_bool(extra_key::kReconnect, true)) {
        p_.extra.set_bool(extra_key::kReconnect, reconnect);
        if (std::error_code e = save_extra_settings(p_))
            p_.ui->message_box(kWindow,
                               format_text(txt(Txt::ConnSaveFailed), shown_path(extra_settings_path(p_)), file_error_reason(e)),
                               txt(Txt::CaptionError), MessageButtons::Ok, MessageIcon::Exclamation);
    }
}

// The chooser works on copies, so that cancelling it changes nothing.
void TransmissionDialog::choose_font(MainRecord& r) {
    FontSpec font = r.font_spec;
    Color color = r.text_color;
    if (!p_.ui->choose_font(kWindow, font, color)) return;
    r.font_spec = font;
    r.text_color = color;
    make_terminal_font(p_);
}

void run_transmission_dialog(Program& p) {
    if (!p.ui || !get_record(p)) return;
    TransmissionDialog dialog(p);
    p.ui->run_dialog(kDialogTransmission, dialog);
}

}  // namespace kc
