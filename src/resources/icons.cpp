// Resources: the program's icons, drawn here in code.
//   135: a light bulb, 32 x 32: a warm glass globe with a highlight over a grey screw base.
//   129: the program: a small price pylon, a dark board with three lit digit bars.
#include "resources/icons.h"

#include <cmath>
#include <mutex>

namespace kc {
namespace {

constexpr uint32_t argb(int a, int r, int g, int b) {
    return (static_cast<uint32_t>(a) << 24) | (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) |
           static_cast<uint32_t>(b);
}

void put(IconImage& img, int x, int y, uint32_t c) {
    if (x >= 0 && y >= 0 && x < img.width && y < img.height) img.argb[static_cast<size_t>(y * img.width + x)] = c;
}

IconImage make_bulb() {
    IconImage img{135, 32, 32, std::vector<uint32_t>(32 * 32, 0)};
    // Globe: centre (16, 12), radius 10.5, warm yellow shading towards the rim.
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            double dx = x + 0.5 - 16.0, dy = y + 0.5 - 12.0;
            double d = std::sqrt(dx * dx + dy * dy);
            if (d <= 10.5) {
                double rim = d / 10.5;
                int r = 255, g = static_cast<int>(236 - 60 * rim), b = static_cast<int>(120 - 100 * rim);
                put(img, x, y, argb(255, r, g, b));
            } else if (d <= 11.5) {
                put(img, x, y, argb(255, 150, 110, 20));  // outline
            }
        }
    }
    // Neck between globe and base.
    for (int y = 21; y < 24; ++y)
        for (int x = 11; x < 21; ++x) put(img, x, y, argb(255, 255, 190, 60));
    // Highlight.
    for (int y = 6; y < 11; ++y)
        for (int x = 10; x < 13; ++x) put(img, x, y, argb(255, 255, 255, 235));
    // Screw base: grey bands with dark grooves, and the contact at the bottom.
    for (int y = 24; y < 30; ++y) {
        bool groove = (y == 26 || y == 28);
        for (int x = 11; x < 21; ++x)
            put(img, x, y, groove ? argb(255, 90, 90, 90) : argb(255, 175, 175, 175));
    }
    for (int x = 14; x < 18; ++x) {
        put(img, x, 30, argb(255, 60, 60, 60));
        put(img, x, 31, argb(255, 60, 60, 60));
    }
    return img;
}

IconImage make_program(int size) {
    IconImage img{129, size, size, std::vector<uint32_t>(static_cast<size_t>(size * size), 0)};
    auto s = [size](int v) { return v * size / 32; };
    // Pylon post.
    for (int y = s(24); y < size; ++y)
        for (int x = s(14); x < s(18); ++x) put(img, x, y, argb(255, 110, 110, 120));
    // Board.
    for (int y = s(2); y < s(25); ++y)
        for (int x = s(3); x < s(29); ++x) {
            bool frame = y == s(2) || y == s(25) - 1 || x == s(3) || x == s(29) - 1;
            put(img, x, y, frame ? argb(255, 180, 180, 180) : argb(255, 20, 20, 20));
        }
    // Three rows of price bars: green, yellow, red.
    const uint32_t colors[3] = {argb(255, 0, 230, 0), argb(255, 255, 220, 0), argb(255, 255, 40, 40)};
    for (int row = 0; row < 3; ++row) {
        int top = s(5 + row * 7);
        for (int y = top; y < top + std::max(1, s(4)); ++y)
            for (int x = s(6); x < s(26); ++x)
                if ((x - s(6)) % std::max(2, s(7)) < std::max(1, s(5))) put(img, x, y, colors[row]);
    }
    return img;
}

}  // namespace

const IconImage* find_icon(int id, int size) {
    static std::once_flag once;
    static IconImage bulb, program16, program32;
    std::call_once(once, [] {
        bulb = make_bulb();
        program16 = make_program(16);
        program32 = make_program(32);
    });
    if (id == 135) return &bulb;
    if (id == 129) return size <= 16 ? &program16 : &program32;
    return nullptr;
}

}  // namespace kc
