// Platform layer (POSIX): line settings through termios2. Kept apart from
// posix_serial.cpp because <asm/termbits.h> clashes with <termios.h>.
#pragma once
#include <system_error>

#include "platform/serial_device.h"

namespace kc::posix {

// Raw 8-bit mode with the current speed: no echo, no translation, no flow control,
// reads that return at once (VMIN = VTIME = 0).
std::error_code set_raw_mode(int fd);
// Speed (any rate, through BOTHER), data bits 5..8, parity none/odd/even/mark/space,
// stop bits 1, 1.5 (sent as 2: the line has no 1.5) or 2, in raw mode, no parity
// checking on input, no flow control.
std::error_code apply_line_settings(int fd, const LineSettings& settings);

}  // namespace kc::posix
