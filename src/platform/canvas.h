// Platform layer: the painting surface a window procedure draws on, in window pixels.
// The Qt host implements it over QPainter; tests use an in-memory RGB image.
#pragma once
#include <string>

#include "platform/geometry.h"

namespace kc {

enum class TextAlign { Left, Center, Right };

class Canvas {
public:
    virtual ~Canvas() = default;
    virtual void fill_rect(const Rect& r, Color color) = 0;
    // Draws icon resource `icon_id` (resources/icons.h) at its natural size, top-left at (x, y).
    virtual void draw_icon(int icon_id, int x, int y) = 0;
    // Text is Windows-1250.
    virtual void draw_text(const Rect& r, const std::string& text, Color color, TextAlign align) = 0;
};

}  // namespace kc
