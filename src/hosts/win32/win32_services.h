// Platform layer (Win32): hands a program the real serial backend and the port names
// of this machine, so every place that runs the real program wires them the same way.
#pragma once
#include "hosts/win32/port_names.h"
#include "hosts/win32/win32_serial.h"
#include "link/port_reader.h"
#include "state/state.h"

namespace kc {

inline void use_win32_serial(Program& p) {
    p.make_serial = make_win32_serial;
    p.describe_port = describe_win32_port;
    install_link(p);
}

}  // namespace kc
