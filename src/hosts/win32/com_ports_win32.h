// Platform layer (Win32): SetupAPI's COM ports and device notifications for the port
// discovery (com_ports.h).
#pragma once
#include <memory>

#include "hosts/win32/com_ports.h"

namespace kc {

std::shared_ptr<SetupApi> make_win32_setupapi();
// The port discovery of this machine, its bindings kept in p.extra.
std::shared_ptr<PortDiscovery> make_win32_discovery(Program& p);

}  // namespace kc
