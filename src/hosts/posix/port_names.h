// Platform layer (POSIX): which device a port name "COM1".."COM10" reaches.
#pragma once
#include <string>

namespace kc {

// "COMn" → the target of the symlink $XDG_CONFIG_HOME/kavorcen/COMn (default
// ~/.config/kavorcen/COMn), else /dev/ttyS<n-1>. A name starting with '/' is a path
// already and comes back unchanged; any other name gives "".
std::string resolve_port_device(const std::string& com_name);
// The device "COM" n reaches, for the transmission dialog.
std::string describe_port(int n);
// The folder that holds the COMn links.
std::string port_link_directory();

}  // namespace kc
