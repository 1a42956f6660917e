// Platform layer (Win32): the painting surface over a GDI device context, and the
// program's icons as HICONs.
#pragma once
#include <windows.h>

#include "platform/canvas.h"

namespace kc {

class GdiCanvas : public Canvas {
public:
    // Draws with `font` (may be null: the context's own); restores the context after.
    GdiCanvas(HDC dc, HFONT font);
    ~GdiCanvas() override;
    GdiCanvas(const GdiCanvas&) = delete;
    GdiCanvas& operator=(const GdiCanvas&) = delete;

    void fill_rect(const Rect& r, Color color) override;
    void draw_icon(int icon_id, int x, int y) override;
    void draw_text(const Rect& r, const std::string& text, Color color, TextAlign align) override;

private:
    HDC dc_;
    int saved_;
};

// Icon resource `id` at `size` pixels, made once from resources/icons and kept for the
// program's life; null for an unknown id.
HICON program_icon(int id, int size = 32);

}  // namespace kc
