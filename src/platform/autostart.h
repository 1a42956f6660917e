// Platform layer: starting the program when the user logs in. The Linux host keeps an
// XDG autostart entry; a host without one leaves Program::autostart empty.
#pragma once
#include <string>
#include <system_error>

namespace kc {

class Autostart {
public:
    virtual ~Autostart() = default;
    // Whether the desktop will start the program at the next login.
    virtual bool is_set() = 0;
    // Registers (true) or removes (false) the start at login; the error says why not.
    virtual std::error_code set(bool on) = 0;
    // Where the registration lives, for a message ("~/.config/autostart/…desktop").
    virtual std::string where() = 0;
};

}  // namespace kc
