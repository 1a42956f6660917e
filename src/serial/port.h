// Serial link: port settings tables, and opening, configuring and closing the port.
#pragma once
#include <cstdint>
#include <span>
#include <string>

#include "state/state.h"

namespace kc {

struct SettingChoice {
    int string_id;   // string-table entry of the text shown
    uint32_t value;  // what is stored
};

// Speeds (strings 800..812), parities (816..820), stop bits (832..834), in list order.
std::span<const SettingChoice> speed_choices();
std::span<const SettingChoice> parity_choices();
std::span<const SettingChoice> stop_bit_choices();

// "COM" and the number: "COM1".
std::string port_name(int port_number);
// Write allowance in ms per byte: 19200 div baud_rate (0 at 38400 and above).
uint32_t write_timeout_multiplier(uint32_t baud_rate);

// Open: 1 when connected (reader running, DTR raised, status "POŁĄCZONY"), else 0.
// `report`, when given, receives why the open failed (or the device on success).
int open_port(Program& p, OpenReport* report = nullptr);
// Applies the record's line settings to the open port; non-zero when accepted.
int configure_port(Program& p);
// Close: stops the reader, lowers DTR, purges, closes; status "ROZŁĄCZONY". Returns 1.
int close_port(Program& p);

}  // namespace kc
