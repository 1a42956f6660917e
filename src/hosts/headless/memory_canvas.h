// Platform layer (tests): a canvas that paints into an in-memory RGB image, so tests
// check pixels. Text is not rasterised; draw_text calls are recorded.
#pragma once
#include <string>
#include <vector>

#include "platform/canvas.h"

namespace kc {

struct DrawnText {
    Rect rect;
    std::string text;
    Color color;
};

class MemoryCanvas : public Canvas {
public:
    MemoryCanvas(int width, int height, Color background = 0);
    void fill_rect(const Rect& r, Color color) override;
    void draw_icon(int icon_id, int x, int y) override;
    void draw_text(const Rect& r, const std::string& text, Color color, TextAlign align) override;

    Color pixel(int x, int y) const;
    int width() const { return width_; }
    int height() const { return height_; }
    const std::vector<DrawnText>& texts() const { return texts_; }
    // Writes the image as a binary PPM (for looking at it).
    bool save_ppm(const std::string& path) const;

private:
    int width_, height_;
    std::vector<Color> pixels_;
    std::vector<DrawnText> texts_;
};

}  // namespace kc
