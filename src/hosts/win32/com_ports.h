// Platform layer (Win32): the COM ports SetupAPI lists, and the binding of a COM number
// to one adapter. Windows has no links from a name to a device: the binding is the
// adapter's device instance id per COM number, kept in the extra settings file
// ("com3_device=USB\VID_0403&PID_6001\A10KZ3P5"). The Win32 calls sit behind SetupApi
// (com_ports_win32.cpp); this part has none, so its tests run anywhere.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/port_discovery.h"
#include "state/state.h"

namespace kc {

// One device of the Ports class, as SetupAPI gives it; texts in UTF-8.
struct ComDevice {
    std::string port_name;     // "COM3": the PortName value of the device's key
    std::string friendly;      // "USB Serial Port (COM3)"
    std::string instance_id;   // "USB\VID_0403&PID_6001\A10KZ3P5"
    std::string manufacturer;  // "FTDI"
    std::string service;       // "FTDIBUS", "Serial"
};

class SetupApi {
public:
    virtual ~SetupApi() = default;
    // The devices of the Ports class present now, in any order.
    virtual std::vector<ComDevice> com_devices() = 0;
    // Calls `changed` from a thread of its own when a COM port comes or goes; an empty
    // function stops the watch and waits until no call is in progress.
    virtual void watch(std::function<void()> changed) = 0;
};

// What a USB device instance id tells: "USB\VID_0403&PID_6001\A10KZ3P5" and
// "FTDIBUS\VID_0403+PID_6001+A10KZ3P5A\0000" give vendor, product and serial number. A
// last part that Windows made up from the socket ("6&2c4e1ad&0&2") is no serial number.
struct UsbIdentity {
    std::string vid, pid, serial;
};
UsbIdentity usb_identity(const std::string& instance_id);
// "COM3" → 3 (any case); 0 for anything else.
int com_port_number(const std::string& name);
// The extra settings key of the binding of "COM" n: "com3_device".
std::string com_binding_key(int port_number);
// Whether two instance ids name one adapter: equal, or the same USB vendor, product and
// serial number.
bool same_adapter(const std::string& a, const std::string& b);

class ComPortDiscovery : public PortDiscovery {
public:
    ComPortDiscovery(Program& p, std::shared_ptr<SetupApi> api) : p_(p), api_(std::move(api)) {}
    ~ComPortDiscovery() override;

    // node "COM3", by_id the instance id, vendor the manufacturer (USB only), model the
    // friendly name without its "(COM3)", serial from the instance id, driver the service.
    std::vector<SerialPortInfo> list_ports() override;
    void watch(std::function<void()> changed) override;
    std::string builtin_device(int port_number) override;  // "COM3"
    std::string linked_device(int port_number) override;   // the bound instance id
    // Binds "COM" n to the device with that instance id ("" unbinds) and saves the file.
    std::error_code link_port(int port_number, const std::string& device) override;
    // A port name, an instance id or a friendly name of a device present.
    bool device_present(const std::string& path) override;
    int moved_port(int port_number) override;

private:
    Program& p_;
    std::shared_ptr<SetupApi> api_;
};

}  // namespace kc
