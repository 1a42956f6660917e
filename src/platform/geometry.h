// Platform layer: pixel rectangles and colours shared by the core and every host.
#pragma once
#include <cstdint>

namespace kc {

// Left, top, right, bottom in window pixels; right and bottom are exclusive.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    constexpr int width() const { return right - left; }
    constexpr int height() const { return bottom - top; }
    constexpr bool empty() const { return right <= left || bottom <= top; }
    constexpr bool contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    constexpr bool operator==(const Rect&) const = default;
};

// A colour as the settings file keeps it: 0x00BBGGRR.
using Color = uint32_t;

constexpr Color rgb(int r, int g, int b) {
    return static_cast<Color>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int red_of(Color c) { return static_cast<int>(c & 0xFF); }
constexpr int green_of(Color c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int blue_of(Color c) { return static_cast<int>((c >> 16) & 0xFF); }

}  // namespace kc
