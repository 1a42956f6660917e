// Controller protocol: the command texts and the fixed command lists.
#include "protocol/commands.h"

#include <cstdio>

#include "state/state.h"

namespace kc {

namespace {

constexpr size_t kPriceRoom = 6;
constexpr size_t kDisplayTextRoom = 80;
// Text room of a 32-byte slot (flag and NUL excluded).
constexpr size_t kSlotTextRoom = sizeof(Slot::text) - 1;

char digit(int n) { return n >= 0 && n <= 9 ? static_cast<char>('0' + n) : '?'; }

// At most `room` bytes, and never past a NUL.
std::string_view cut(std::string_view s, size_t room) {
    size_t nul = s.find('\0');
    if (nul != std::string_view::npos) s = s.substr(0, nul);
    return s.substr(0, room);
}

}  // namespace

std::string price_command(int field, bool blink, std::string_view price) {
    std::string text = {'2', digit(field), blink ? 'M' : 'C'};
    text += cut(price, kPriceRoom);
    return text;
}

std::string display_text_command(int display, bool negative, std::string_view text) {
    std::string command = {display == 2 ? '1' : '0', '0', negative ? '1' : '0'};
    command += cut(text, kDisplayTextRoom);
    return command;
}

std::string segment_mask_command(char controller, char field, uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%c%c%c%06X", controller, field, 'B', static_cast<unsigned>(value & 0xFFFFFF));
    return text;
}

std::string number_command(std::string_view prefix, int value) {
    std::string text(cut(prefix, kSlotTextRoom));
    text += std::to_string(value);
    return text.substr(0, kSlotTextRoom);
}

std::string backlight_command(bool on) { return on ? "20Z1" : "20Z0"; }

std::string auto_backlight_command(bool on) { return on ? "20A1" : "20A0"; }

std::string scroll_speed_command(int display, int period_ms) {
    return number_command(display == 2 ? "10P" : "00P", period_ms);
}

std::span<const LightCommand> light_commands() {
    static constexpr LightCommand kList[] = {
        {"20l", 30, kPriceLowLevel},
        {"21o", 31, kPricePowerLow1 + 0},
        {"22o", 32, kPricePowerLow1 + 1},
        {"23o", 33, kPricePowerLow1 + 2},
        {"24o", 34, kPricePowerLow1 + 3},
        {"25o", 35, kPricePowerLow1 + 4},
        {"20L", 36, kPriceHighLevel},
        {"21O", 37, kPricePowerHigh1 + 0},
        {"22O", 38, kPricePowerHigh1 + 1},
        {"23O", 39, kPricePowerHigh1 + 2},
        {"24O", 40, kPricePowerHigh1 + 3},
        {"25O", 41, kPricePowerHigh1 + 4},
    };
    return kList;
}

std::span<const SlotCommand> readback_queries() {
    static constexpr SlotCommand kList[] = {
        {3, "20C"},  {4, "20M"},  {30, "20l"}, {31, "21o"}, {32, "22o"}, {33, "23o"},
        {34, "24o"}, {35, "25o"}, {36, "20L"}, {37, "21O"}, {38, "22O"}, {39, "23O"},
        {40, "24O"}, {41, "25O"}, {42, "20A"}, {47, "20V"},
    };
    return kList;
}

}  // namespace kc
