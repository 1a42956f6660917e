// Platform layer (tests): the in-memory canvas.
#include "hosts/headless/memory_canvas.h"

#include <algorithm>
#include <cstdio>

#include "resources/icons.h"

namespace kc {

MemoryCanvas::MemoryCanvas(int width, int height, Color background)
    : width_(width), height_(height), pixels_(static_cast<size_t>(width) * static_cast<size_t>(height), background) {}

void MemoryCanvas::fill_rect(const Rect& r, Color color) {
    int l = std::max(r.left, 0), t = std::max(r.top, 0);
    int rr = std::min(r.right, width_), b = std::min(r.bottom, height_);
    for (int y = t; y < b; ++y)
        for (int x = l; x < rr; ++x) pixels_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)] = color;
}

void MemoryCanvas::draw_icon(int icon_id, int x, int y) {
    const IconImage* icon = find_icon(icon_id, 32);
    if (!icon) return;
    for (int iy = 0; iy < icon->height; ++iy) {
        for (int ix = 0; ix < icon->width; ++ix) {
            uint32_t argb = icon->argb[static_cast<size_t>(iy * icon->width + ix)];
            if ((argb >> 24) < 0x80) continue;
            int px = x + ix, py = y + iy;
            if (px < 0 || py < 0 || px >= width_ || py >= height_) continue;
            pixels_[static_cast<size_t>(py) * static_cast<size_t>(width_) + static_cast<size_t>(px)] =
                rgb(static_cast<int>((argb >> 16) & 0xFF), static_cast<int>((argb >> 8) & 0xFF),
                    static_cast<int>(argb & 0xFF));
        }
    }
}

void MemoryCanvas::draw_text(const Rect& r, const std::string& text, Color color, TextAlign) {
    texts_.push_back(DrawnText{r, text, color});
}

Color MemoryCanvas::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
    return pixels_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)];
}

bool MemoryCanvas::save_ppm(const std::string& path) const {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    std::fprintf(f, "P6\n%d %d\n255\n", width_, height_);
    for (Color c : pixels_) {
        unsigned char px[3] = {static_cast<unsigned char>(red_of(c)), static_cast<unsigned char>(green_of(c)),
                               static_cast<unsigned char>(blue_of(c))};
        std::fwrite(px, 1, 3, f);
    }
    return std::fclose(f) == 0;
}

}  // namespace kc
