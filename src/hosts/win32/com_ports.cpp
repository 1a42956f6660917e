// Platform layer (Win32): COM ports by name and the binding of a COM number to an adapter.
#include "hosts/win32/com_ports.h"

#include <algorithm>
#include <cctype>

#include "storage/extra_settings_file.h"

namespace kc {
namespace {

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// The hex digits after `tag` ("VID_") up to the next separator.
std::string field_after(const std::string& id, const char* tag) {
    size_t at = id.find(tag);
    if (at == std::string::npos) return {};
    at += std::char_traits<char>::length(tag);
    size_t end = id.find_first_of("&+\\", at);
    return id.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

// "USB Serial Port (COM3)" → "USB Serial Port": the list names the port already.
std::string without_port_suffix(const std::string& friendly, const std::string& port) {
    const std::string suffix = " (" + upper(port) + ")";
    if (friendly.size() > suffix.size() && upper(friendly.substr(friendly.size() - suffix.size())) == suffix)
        return friendly.substr(0, friendly.size() - suffix.size());
    return friendly;
}

}  // namespace

UsbIdentity usb_identity(const std::string& instance_id) {
    const std::string id = upper(instance_id);
    UsbIdentity u;
    u.vid = field_after(id, "VID_");
    u.pid = field_after(id, "PID_");
    if (u.vid.empty() || u.pid.empty()) return {};
    std::string serial;
    if (id.rfind("USB\\", 0) == 0) {
        // USB\VID_xxxx&PID_xxxx[&MI_xx]\<serial or a made-up id>
        size_t slash = instance_id.find('\\', 4);
        if (slash != std::string::npos) serial = instance_id.substr(slash + 1);
    } else {
        // FTDIBUS\VID_xxxx+PID_xxxx+<serial><port letter>\0000
        size_t plus = id.find('+', id.find("PID_"));
        if (plus != std::string::npos) {
            size_t end = instance_id.find('\\', plus);
            serial = instance_id.substr(plus + 1, end == std::string::npos ? std::string::npos : end - plus - 1);
        }
    }
    // Windows makes up an id with '&' for a device without a serial number of its own.
    if (serial.find('&') == std::string::npos) u.serial = serial;
    return u;
}

int com_port_number(const std::string& name) {
    if (name.size() < 4 || name.size() > 6 || upper(name.substr(0, 3)) != "COM") return 0;
    int n = 0;
    for (size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return 0;
        n = n * 10 + (name[i] - '0');
    }
    return n >= 1 && n <= 256 ? n : 0;
}

std::string com_binding_key(int port_number) { return "com" + std::to_string(port_number) + "_device"; }

bool same_adapter(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return false;
    if (upper(a) == upper(b)) return true;
    UsbIdentity x = usb_identity(a), y = usb_identity(b);
    return !x.serial.empty() && upper(x.vid) == upper(y.vid) && upper(x.pid) == upper(y.pid) &&
           x.serial == y.serial;
}

ComPortDiscovery::~ComPortDiscovery() { api_->watch({}); }

std::vector<SerialPortInfo> ComPortDiscovery::list_ports() {
    std::vector<std::pair<int, SerialPortInfo>> found;
    for (const ComDevice& d : api_->com_devices()) {
        int n = com_port_number(d.port_name);
        if (n == 0) continue;  // a printer port of the same class
        SerialPortInfo info;
        info.node = "COM" + std::to_string(n);
        info.by_id = d.instance_id;
        UsbIdentity usb = usb_identity(d.instance_id);
        if (!usb.vid.empty()) info.vendor = d.manufacturer;
        info.model = without_port_suffix(d.friendly, info.node);
        info.serial = usb.serial;
        info.driver = d.service;
        found.emplace_back(n, std::move(info));
    }
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<SerialPortInfo> ports;
    for (auto& [n, info] : found) ports.push_back(std::move(info));
    return ports;
}

void ComPortDiscovery::watch(std::function<void()> changed) { api_->watch(std::move(changed)); }

std::string ComPortDiscovery::builtin_device(int port_number) { return "COM" + std::to_string(port_number); }

std::string ComPortDiscovery::linked_device(int port_number) { return p_.extra.get(com_binding_key(port_number)); }

std::error_code ComPortDiscovery::link_port(int port_number, const std::string& device) {
    const std::string key = com_binding_key(port_number);
    if (p_.extra.get(key) == device) return {};
    if (device.empty())
        p_.extra.erase(key);
    else
        p_.extra.set(key, device);
    return save_extra_settings(p_);
}

bool ComPortDiscovery::device_present(const std::string& path) {
    if (path.empty()) return false;
    for (const SerialPortInfo& port : list_ports())
        if (upper(path) == upper(port.node) || same_adapter(path, port.by_id) || (!port.model.empty() && path == port.model))
            return true;
    return false;
}

int ComPortDiscovery::moved_port(int port_number) {
    const std::string bound = linked_device(port_number);
    if (bound.empty()) return 0;
    int elsewhere = 0;
    for (const ComDevice& d : api_->com_devices()) {
        if (!same_adapter(bound, d.instance_id)) continue;
        int n = com_port_number(d.port_name);
        if (n == port_number) return 0;  // still where it was
        if (n != 0 && elsewhere == 0) elsewhere = n;
    }
    return elsewhere;
}

}  // namespace kc
