// Serial link: what the operator is told about the connection: why an open failed,
// a sign that does not answer, a device that went away, and the devices present.
// Texts come from resources; the result is Windows-1250.
#pragma once
#include <string>
#include <vector>

#include "platform/port_discovery.h"
#include "platform/serial_device.h"
#include "state/state.h"
#include "text/format_text.h"

namespace kc {

// "FTDI FT232R USB UART, nr A1B2C3 (/dev/ttyUSB0)"; a built-in port gives
// "Port wbudowany ttyS0 (serial8250)".
std::string describe_device(const SerialPortInfo& port);

// The message for a failed "Połącz": the COM name, the device and the cause with
// what to do; a missing device also lists the serial devices present.
std::string open_failure_text(Program& p, int port_number, const OpenReport& report);
// Nothing answered the first queries: what was tried and what to check.
std::string no_answer_text(Program& p, const std::string& device);
// The device of a live link went away.
std::string link_lost_text(Program& p, const std::string& device, bool will_reconnect);

}  // namespace kc
