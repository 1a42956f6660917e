// Platform layer (Win32): the painting surface over a GDI device context.
#include "hosts/win32/gdi_canvas.h"

#include <map>
#include <utility>

#include "hosts/win32/win32_text.h"
#include "resources/icons.h"

namespace kc {

GdiCanvas::GdiCanvas(HDC dc, HFONT font) : dc_(dc), saved_(SaveDC(dc)) {
    if (font) SelectObject(dc_, font);
    SetBkMode(dc_, TRANSPARENT);
}

GdiCanvas::~GdiCanvas() { RestoreDC(dc_, saved_); }

void GdiCanvas::fill_rect(const Rect& r, Color color) {
    if (r.empty()) return;
    RECT box{r.left, r.top, r.right, r.bottom};
    // The core's colours are 0x00BBGGRR, as a COLORREF is.
    SetDCBrushColor(dc_, static_cast<COLORREF>(color));
    FillRect(dc_, &box, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

void GdiCanvas::draw_icon(int icon_id, int x, int y) {
    const IconImage* image = find_icon(icon_id);
    if (HICON icon = program_icon(icon_id)) DrawIconEx(dc_, x, y, icon, image->width, image->height, 0, nullptr, DI_NORMAL);
}

void GdiCanvas::draw_text(const Rect& r, const std::string& text, Color color, TextAlign align) {
    if (r.empty()) return;
    RECT box{r.left, r.top, r.right, r.bottom};
    UINT flags = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;
    flags |= align == TextAlign::Center ? DT_CENTER : align == TextAlign::Right ? DT_RIGHT : DT_LEFT;
    SetTextColor(dc_, static_cast<COLORREF>(color));
    std::wstring wide = wide_text(text);
    DrawTextW(dc_, wide.c_str(), static_cast<int>(wide.size()), &box, flags);
}

HICON program_icon(int id, int size) {
    // UI thread only, like every painting.
    static std::map<std::pair<int, int>, HICON> cache;
    auto key = std::make_pair(id, size);
    if (auto it = cache.find(key); it != cache.end()) return it->second;
    HICON icon = nullptr;
    if (const IconImage* image = find_icon(id, size)) {
        BITMAPV5HEADER h{};
        h.bV5Size = sizeof h;
        h.bV5Width = image->width;
        h.bV5Height = -image->height;  // top-down rows, as the image keeps them
        h.bV5Planes = 1;
        h.bV5BitCount = 32;
        h.bV5Compression = BI_BITFIELDS;
        h.bV5RedMask = 0x00FF0000;
        h.bV5GreenMask = 0x0000FF00;
        h.bV5BlueMask = 0x000000FF;
        h.bV5AlphaMask = 0xFF000000;
        void* bits = nullptr;
        HDC screen = GetDC(nullptr);
        HBITMAP colour = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&h), DIB_RGB_COLORS, &bits, nullptr, 0);
        ReleaseDC(nullptr, screen);
        HBITMAP mask = CreateBitmap(image->width, image->height, 1, 1, nullptr);
        if (colour && bits && mask) {
            std::copy(image->argb.begin(), image->argb.end(), static_cast<uint32_t*>(bits));
            ICONINFO info{};
            info.fIcon = TRUE;
            info.hbmColor = colour;
            info.hbmMask = mask;
            icon = CreateIconIndirect(&info);
        }
        if (colour) DeleteObject(colour);
        if (mask) DeleteObject(mask);
    }
    cache.emplace(key, icon);
    return icon;
}

}  // namespace kc
