// Controller protocol: the command texts. Every builder cuts its argument so that the
// text fits the slot it is meant for.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kc {

// "2", field, "M" (blinking) or "C", and at most 6 characters of the price.
std::string price_command(int field, bool blink, std::string_view price);
// "00" (display 1) or "10" (display 2), "1" negative / "0", at most 80 characters.
std::string display_text_command(int display, bool negative, std::string_view text);
// "%c%c%c%06X" with letter B: the raw segment image of a field.
std::string segment_mask_command(char controller, char field, uint32_t value);
// A prefix such as "20l" or "21o" followed by the value with "%d".
std::string number_command(std::string_view prefix, int value);
std::string backlight_command(bool on);       // "20Z1" / "20Z0"
std::string auto_backlight_command(bool on);  // "20A1" / "20A0"
std::string scroll_speed_command(int display, int period_ms);  // "00P%d" / "10P%d"

inline constexpr const char* kPriceBatchEnd = "20E";
inline constexpr const char* kDisplay1BatchEnd = "00E";
inline constexpr const char* kDisplay2BatchEnd = "10E";
inline constexpr const char* kBacklightQuery = "20Z";
inline constexpr const char* kLightLevelQuery = "20S";
inline constexpr const char* kVersionQuery = "20V";

// The light settings "Wyślij" sends, in order: prefix, slot and light_settings entry.
struct LightCommand {
    const char* prefix;  // "20l", "21o".."25o", "20L", "21O".."25O"
    int slot;            // 30..41
    int setting;         // LightSetting entry
};
std::span<const LightCommand> light_commands();

// The read-back queries and their slots: 3 "20C", 4 "20M", 30 "20l", 31..35 "21o".."25o",
// 36 "20L", 37..41 "21O".."25O", 42 "20A", 47 "20V".
struct SlotCommand {
    int slot;
    const char* text;
};
std::span<const SlotCommand> readback_queries();

}  // namespace kc
