// Platform layer: the serial devices present on this machine, hot-plug news, and the
// link that makes a port name "COMn" reach one of them. The POSIX host implements it
// with libudev and symlinks, the Win32 host with SetupAPI and a binding per COM number;
// tests fake the listing.
#pragma once
#include <functional>
#include <string>
#include <system_error>
#include <vector>

namespace kc {

struct SerialPortInfo {
    std::string node;    // "/dev/ttyUSB0"
    std::string by_id;   // "/dev/serial/by-id/usb-FTDI_..." or "" when it has none
    std::string vendor;  // USB vendor, "" for built-in ports
    std::string model;   // USB model
    std::string serial;  // USB serial number
    std::string driver;  // "ftdi_sio", "serial8250"...
};

class PortDiscovery {
public:
    virtual ~PortDiscovery() = default;

    // The serial devices present now, in a stable order.
    virtual std::vector<SerialPortInfo> list_ports() = 0;
    // Calls `changed` from a thread of its own whenever a serial device comes or goes;
    // an empty function stops the watch (and waits until no call is in progress).
    virtual void watch(std::function<void()> changed) = 0;

    // The device "COM" n reaches by default (the built-in port), and the one a link set
    // by the operator reaches ("" without a link).
    virtual std::string builtin_device(int port_number) = 0;
    virtual std::string linked_device(int port_number) = 0;
    // Makes "COM" n reach `device` through the link; "" removes the link.
    virtual std::error_code link_port(int port_number, const std::string& device) = 0;
    // Whether `path` names a device that is there now.
    virtual bool device_present(const std::string& path) = 0;
    // The number the system gives now to the device linked to "COM" n, when that is not
    // n (Windows numbers a replugged adapter after its socket); 0 when the device has not
    // moved or is not here. A link that names a device file follows it by itself.
    virtual int moved_port(int port_number) {
        (void)port_number;
        return 0;
    }
};

}  // namespace kc
