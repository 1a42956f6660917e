// Platform layer (POSIX): serial devices through libudev.
#include "hosts/posix/udev_discovery.h"

#include <errno.h>
#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "hosts/posix/port_names.h"

namespace kc {
namespace {

std::string property(udev_device* d, const char* name) {
    const char* v = udev_device_get_property_value(d, name);
    return v ? v : "";
}

// udev escapes blanks in names as "\x20".
std::string unescape(std::string s) {
    for (size_t at; (at = s.find("\\x20")) != std::string::npos;) s.replace(at, 4, " ");
    return s;
}

// Built-in 8250 ports are listed even when nothing is wired to them; keep only those
// the firmware announced (their "port type" is not 0), and every tty with a device
// behind it (USB, PCI). Virtual consoles and pseudo-terminals have none.
bool is_real_port(udev_device* tty) {
    if (!udev_device_get_parent(tty)) return false;
    const char* type = udev_device_get_sysattr_value(tty, "type");
    return !type || std::string(type) != "0";
}

// The driver of the nearest parent that has one, past the kernel's generic "port"
// and "ctrl" layers of newer kernels ("ftdi_sio", "serial", "8250_pci"...).
std::string driver_of(udev_device* tty) {
    for (udev_device* d = udev_device_get_parent(tty); d; d = udev_device_get_parent(d)) {
        const char* driver = udev_device_get_driver(d);
        if (driver && std::string(driver) != "port" && std::string(driver) != "ctrl") return driver;
    }
    return {};
}

}  // namespace

UdevPortDiscovery::~UdevPortDiscovery() { stop_watch(); }

std::vector<SerialPortInfo> UdevPortDiscovery::list_ports() {
    std::vector<SerialPortInfo> ports;
    udev* u = udev_new();
    if (!u) return ports;
    udev_enumerate* e = udev_enumerate_new(u);
    udev_enumerate_add_match_subsystem(e, "tty");
    udev_enumerate_scan_devices(e);
    udev_list_entry* entry;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(e)) {
        udev_device* d = udev_device_new_from_syspath(u, udev_list_entry_get_name(entry));
        if (!d) continue;
        const char* node = udev_device_get_devnode(d);
        if (node && is_real_port(d)) {
            SerialPortInfo info;
            info.node = node;
            udev_list_entry* link;
            udev_list_entry_foreach(link, udev_device_get_devlinks_list_entry(d)) {
                std::string name = udev_list_entry_get_name(link);
                if (name.rfind("/dev/serial/by-id/", 0) == 0) info.by_id = name;
            }
            info.vendor = unescape(property(d, "ID_VENDOR_FROM_DATABASE"));
            if (info.vendor.empty()) info.vendor = unescape(property(d, "ID_VENDOR_ENC"));
            info.model = unescape(property(d, "ID_MODEL_FROM_DATABASE"));
            if (info.model.empty()) info.model = unescape(property(d, "ID_MODEL_ENC"));
            info.serial = property(d, "ID_SERIAL_SHORT");
            info.driver = property(d, "ID_USB_DRIVER");
            if (info.driver.empty()) info.driver = driver_of(d);
            ports.push_back(std::move(info));
        }
        udev_device_unref(d);
    }
    udev_enumerate_unref(e);
    udev_unref(u);
    std::sort(ports.begin(), ports.end(),
              [](const SerialPortInfo& a, const SerialPortInfo& b) { return a.node < b.node; });
    return ports;
}

void UdevPortDiscovery::watch(std::function<void()> changed) {
    std::lock_guard<std::mutex> lock(watch_mutex_);
    stop_watch();
    if (!changed) return;
    udev* u = udev_new();
    if (!u) return;
    udev_monitor* m = udev_monitor_new_from_netlink(u, "udev");
    if (!m || udev_monitor_filter_add_match_subsystem_devtype(m, "tty", nullptr) < 0 ||
        udev_monitor_enable_receiving(m) < 0) {
        if (m) udev_monitor_unref(m);
        udev_unref(u);
        return;  // no udev here (a container): the reconnect watch still polls
    }
    stop_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stop_fd_ < 0) {
        // No way to stop a watcher later (too many open files): none is started, and
        // the reconnect watch still polls.
        udev_monitor_unref(m);
        udev_unref(u);
        return;
    }
    int stop = stop_fd_;
    watcher_ = std::thread([u, m, stop, changed = std::move(changed)] {
        int fd = udev_monitor_get_fd(m);
        for (;;) {
            pollfd fds[2] = {{fd, POLLIN, 0}, {stop, POLLIN, 0}};
            if (poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                break;
            }
            if (fds[1].revents) break;
            bool any = false;
            while (udev_device* d = udev_monitor_receive_device(m)) {
                any = true;
                udev_device_unref(d);
            }
            if (any) changed();
        }
        udev_monitor_unref(m);
        udev_unref(u);
    });
}

void UdevPortDiscovery::stop_watch() {
    if (watcher_.joinable()) {
        uint64_t one = 1;
        while (::write(stop_fd_, &one, sizeof one) < 0 && errno == EINTR) {
        }
        watcher_.join();
    }
    if (stop_fd_ >= 0) ::close(stop_fd_);
    stop_fd_ = -1;
}

std::string UdevPortDiscovery::builtin_device(int port_number) { return "/dev/ttyS" + std::to_string(port_number - 1); }

std::string UdevPortDiscovery::linked_device(int port_number) {
    std::string link = port_link_directory() + "/COM" + std::to_string(port_number);
    struct stat st;
    if (lstat(link.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return {};
    return resolve_port_device("COM" + std::to_string(port_number));
}

std::error_code UdevPortDiscovery::link_port(int port_number, const std::string& device) {
    namespace fs = std::filesystem;
    std::error_code e;
    std::string dir = port_link_directory();
    fs::path link = fs::path(dir) / ("COM" + std::to_string(port_number));
    if (device.empty()) {
        struct stat st;
        if (lstat(link.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) fs::remove(link, e);
        return e;
    }
    fs::create_directories(dir, e);
    if (e) return e;
    // A new link beside the old one, renamed over it: the old mapping stays until the
    // new one is complete.
    fs::path tmp = link;
    tmp += ".new";
    std::error_code ignored;
    fs::remove(tmp, ignored);
    fs::create_symlink(device, tmp, e);
    if (e) return e;
    // A folder named COMn in the way makes the rename fail: that error is the answer.
    fs::rename(tmp, link, e);
    if (e) fs::remove(tmp, ignored);
    return e;
}

bool UdevPortDiscovery::device_present(const std::string& path) {
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

std::shared_ptr<PortDiscovery> make_udev_discovery() { return std::make_shared<UdevPortDiscovery>(); }

}  // namespace kc
