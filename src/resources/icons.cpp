// Resources: the program's icons. Their pixels are made by tools/make_icons.sh from the
// hand-drawn sources in data/icons/, the same ones the installed desktop icons come from:
//   129: the program: a small price pylon, a dark board with three rows of lit digits.
//   135: a light bulb: a warm glass globe with a highlight over a grey screw base.
#include "resources/icons.h"

#include <iterator>

namespace kc {
namespace {

#include "resources/icon_pixels.inc"

template <size_t N>
IconImage make(int id, int size, const uint32_t (&pixels)[N]) {
    static_assert(N > 0);
    return IconImage{id, size, size, std::vector<uint32_t>(std::begin(pixels), std::end(pixels))};
}

}  // namespace

const IconImage* find_icon(int id, int size) {
    // Built on first use; C++ makes the initialisation thread-safe.
    static const IconImage bulb = make(135, 32, kBulb32);
    static const IconImage program16 = make(129, 16, kProgram16);
    static const IconImage program32 = make(129, 32, kProgram32);
    if (id == 135) return &bulb;
    if (id == 129) return size <= 16 ? &program16 : &program32;
    return nullptr;
}

}  // namespace kc
