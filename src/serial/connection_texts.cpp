// Serial link: the connection messages.
#include "serial/connection_texts.h"

#include <vector>

#include "resources/texts.h"
#include "serial/port.h"
#include "text/cp1250.h"

namespace kc {
namespace {

// Strings from the system (udev, the group database) are UTF-8.
std::string sys(const std::string& s) { return utf8_to_cp1250(s); }

std::string with_line(std::string text, const std::string& line) {
    if (line.empty()) return text;
    return text + "\n" + line;
}

std::string choice_text(std::span<const SettingChoice> choices, uint32_t value) {
    for (const SettingChoice& c : choices)
        if (c.value == value) return string_table(c.string_id);
    return std::to_string(value);
}

// The dialog's list keeps its own names; a message says it in Polish.
std::string parity_name(uint32_t parity) {
    switch (parity) {
        case kParityNone: return txt(Txt::ParityNameNone);
        case kParityOdd: return txt(Txt::ParityNameOdd);
        case kParityEven: return txt(Txt::ParityNameEven);
        case kParityMark: return txt(Txt::ParityNameMark);
        case kParitySpace: return txt(Txt::ParityNameSpace);
        default: return std::to_string(parity);
    }
}

}  // namespace

std::string describe_device(const SerialPortInfo& port) {
    std::string name;
    if (!port.vendor.empty() || !port.model.empty()) {
        name = port.vendor;
        if (!port.model.empty()) name += (name.empty() ? "" : " ") + port.model;
        if (!port.serial.empty()) name += ", " + txt(Txt::ConnSerialNumber) + " " + sys(port.serial);
        return sys(name) + " (" + port.node + ")";
    }
    std::string node = port.node;
    if (auto slash = node.rfind('/'); slash != std::string::npos) node.erase(0, slash + 1);
    name = txt(Txt::ConnBuiltIn) + " " + node;
    if (!port.driver.empty()) name += " (" + sys(port.driver) + ")";
    return name;
}

std::string open_failure_text(Program& p, int port_number, const OpenReport& report) {
    std::string device = report.device.empty() ? "?" : report.device;
    std::string text = format_text(txt(Txt::ConnOpenFailed), port_name(port_number), sys(device));
    bool windows = report.advice == OpenAdvice::Windows;
    switch (report.cause) {
        case OpenFailCause::Missing: {
            text = with_line(text, txt(windows ? Txt::ConnMissingWin : Txt::ConnMissing));
            // Without a listing, "none present" would be a guess.
            if (windows && !p.discovery) break;
            std::vector<SerialPortInfo> present;
            if (p.discovery) present = p.discovery->list_ports();
            if (present.empty()) {
                text = with_line(text, txt(Txt::ConnNonePresent));
            } else {
                text = with_line(text, txt(Txt::ConnPresentList));
                for (const SerialPortInfo& port : present) text = with_line(text, "  - " + describe_device(port));
                text = with_line(text, txt(windows ? Txt::ConnPickPortWin : Txt::ConnPickDevice));
            }
            break;
        }
        case OpenFailCause::NoPermission:
            text = with_line(text, txt(Txt::ConnNoPermission));
            if (report.group.empty()) break;
            if (report.access == GroupAccess::NotMember)
                text = with_line(text, format_text(txt(Txt::ConnNotInGroup), sys(report.group), sys(report.user),
                                                   sys(report.group), sys(report.user)));
            else if (report.access == GroupAccess::NeedsRelogin)
                text = with_line(text, format_text(txt(Txt::ConnRelogin), sys(report.user), sys(report.group)));
            else if (report.access == GroupAccess::OwnerOnly)
                text = with_line(text, format_text(txt(Txt::ConnOwnerOnly), sys(report.device),
                                                   sys(report.owner.empty() ? "?" : report.owner), sys(report.group),
                                                   sys(report.kernel_name), sys(report.user)));
            else if (report.access == GroupAccess::Member)
                text = with_line(text, format_text(txt(Txt::ConnInGroup), sys(report.group)));
            break;
        case OpenFailCause::Busy:
            if (windows && report.holder.empty()) {
                text = with_line(text, txt(Txt::ConnBusyWin));
                break;
            }
            text = with_line(text, report.holder.empty() ? txt(Txt::ConnBusy)
                                                         : format_text(txt(Txt::ConnBusyBy), sys(report.holder)));
            break;
        case OpenFailCause::NotSerial: text = with_line(text, txt(Txt::ConnNotSerial)); break;
        case OpenFailCause::Other:
        case OpenFailCause::None:
            if (!report.error) break;
            if (windows)  // Windows messages are localised: the number is what a technician searches for
                text = with_line(text, format_text(txt(Txt::ConnOther),
                                                   format_text(txt(Txt::ConnErrorCode), sys(report.error.message()),
                                                               std::to_string(report.error.value()))));
            else
                text = with_line(text, format_text(txt(Txt::ConnOther), sys(report.error.message())));
            break;
    }
    return text;
}

std::string no_answer_text(Program& p, const std::string& device) {
    MainRecord* r = get_record(p);
    if (!r) return {};
    return format_text(txt(Txt::ConnNoAnswer), port_name(r->port_number), sys(device.empty() ? "?" : device),
                       std::to_string(r->baud_rate.load()), std::to_string(r->data_bits.load()),
                       parity_name(r->parity), choice_text(stop_bit_choices(), r->stop_bits));
}

std::string link_lost_text(Program& p, const std::string& device, bool will_reconnect) {
    MainRecord* r = get_record(p);
    std::string text =
        format_text(txt(Txt::ConnLost), sys(device.empty() ? "?" : device), port_name(r ? r->port_number.load() : 1));
    return with_line(text, txt(will_reconnect ? Txt::ConnLostWillReconnect : Txt::ConnLostReconnectOff));
}

}  // namespace kc
