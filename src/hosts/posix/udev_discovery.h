// Platform layer (POSIX): serial devices through libudev, hot-plug through its monitor,
// and the COMn links under $XDG_CONFIG_HOME/kavorcen.
#pragma once
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/port_discovery.h"

namespace kc {

class UdevPortDiscovery : public PortDiscovery {
public:
    UdevPortDiscovery() = default;
    ~UdevPortDiscovery() override;
    UdevPortDiscovery(const UdevPortDiscovery&) = delete;
    UdevPortDiscovery& operator=(const UdevPortDiscovery&) = delete;

    std::vector<SerialPortInfo> list_ports() override;
    void watch(std::function<void()> changed) override;
    std::string builtin_device(int port_number) override;
    std::string linked_device(int port_number) override;
    std::error_code link_port(int port_number, const std::string& device) override;
    bool device_present(const std::string& path) override;

private:
    void stop_watch();
    std::mutex watch_mutex_;  // watch() callers
    std::thread watcher_;
    int stop_fd_ = -1;  // eventfd that ends the watcher
};

std::shared_ptr<PortDiscovery> make_udev_discovery();

}  // namespace kc
