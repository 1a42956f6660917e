// Settings dialogs: dialog 101 "Ustawienia transmisji", the serial line settings and
// the traffic log switch.
#pragma once
#include <string>
#include <vector>

#include "state/state.h"
#include "platform/window_procedure.h"

namespace kc {

class TransmissionDialog : public WindowProcedure {
public:
    explicit TransmissionDialog(Program& p) : p_(p) {}
    void on_init() override;
    void on_command(int id) override;

private:
    void accept(MainRecord& r);
    void choose_font(MainRecord& r);
    void fill_devices(int port_number);
    bool apply_device();
    Program& p_;
    int devices_port_ = 0;                 // the COM number the device list shows
    std::vector<SerialPortInfo> devices_;  // item data n is devices_[n - 1]
    std::string linked_;                   // that port's link target when filled
    int devices_selected_ = -1;            // the entry selected when filled
};

// The port list entry: "COM1", followed by the device it reaches when known,
// "COM1  (/dev/ttyUSB0)".
std::string port_list_text(const Program& p, int port_number);

}  // namespace kc
