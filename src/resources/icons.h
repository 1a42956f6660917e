// Resources: icons 129 (the program) and 135 (the light bulb), drawn for this project
// as pixel images so that every host and the tests paint the same pixels.
#pragma once
#include <cstdint>
#include <vector>

namespace kc {

struct IconImage {
    int id = 0;
    int width = 0;
    int height = 0;
    std::vector<uint32_t> argb;  // row-major, 0xAARRGGBB
};

// The icon at the given size (129 at 16 and 32, 135 at 32); nullptr for an unknown id.
const IconImage* find_icon(int id, int size = 32);

}  // namespace kc
