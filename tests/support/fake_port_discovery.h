// Tests: serial devices "present" as the test says, and the COMn links kept in memory.
#pragma once
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/port_discovery.h"

namespace kc::test {

class FakePortDiscovery : public PortDiscovery {
public:
    std::vector<SerialPortInfo> ports;
    std::map<int, std::string> links;  // COM number → target
    std::error_code link_error;

    std::vector<SerialPortInfo> list_ports() override { return ports; }
    void watch(std::function<void()>) override {}
    std::string builtin_device(int n) override { return "/dev/ttyS" + std::to_string(n - 1); }
    std::string linked_device(int n) override {
        auto it = links.find(n);
        return it == links.end() ? "" : it->second;
    }
    std::error_code link_port(int n, const std::string& device) override {
        if (link_error) return link_error;
        if (device.empty())
            links.erase(n);
        else
            links[n] = device;
        return {};
    }
    bool device_present(const std::string& path) override {
        for (const SerialPortInfo& p : ports)
            if (p.node == path || p.by_id == path) return true;
        return false;
    }
};

inline SerialPortInfo usb_adapter() {
    return {"/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0", "FTDI",
            "FT232R USB UART", "A1B2C3", "ftdi_sio"};
}
inline SerialPortInfo builtin_port() { return {"/dev/ttyS0", "", "", "", "", "serial8250"}; }

}  // namespace kc::test
