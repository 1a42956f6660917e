// Settings dialogs: dialog 101 "Ustawienia transmisji", the serial line settings and
// the traffic log switch.
#pragma once
#include <string>

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
    Program& p_;
};

// The port list entry: "COM1", followed by the device it reaches when known,
// "COM1  (/dev/ttyUSB0)".
std::string port_list_text(const Program& p, int port_number);

}  // namespace kc
