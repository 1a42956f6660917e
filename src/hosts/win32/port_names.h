// Platform layer (Win32): what a person recognises behind "COMn".
#pragma once
#include <string>

namespace kc {

// The friendly name Windows gives the device on "COM" n, without its own "(COMn)"
// ("USB Serial Port"), in Windows-1250; "" when the port has no device or name.
std::string describe_win32_port(int n);

}  // namespace kc
