// Operator panel: the model of each scrolling text display, 7 rows of 72 dots written
// in the sign's proportional 5 x 7 font.
#pragma once
#include <cstdint>

#include "state/state.h"
#include "platform/canvas.h"

namespace kc {

inline constexpr Rect kDisplay1Rect{237, 118, 596, 152};
inline constexpr Rect kDisplay2Rect{237, 171, 596, 205};
inline constexpr int kDisplayColumns = 72;
inline constexpr int kDisplayRows = 7;

// The font covers the sign's codes 0x20..0x91: ASCII, a degree sign (0x7F) and the
// Polish letters (0x80..0x91). Row 0 first; bits 5..1 the dot columns, left first.
inline constexpr uint8_t kDisplayFontFirst = 0x20;
inline constexpr uint8_t kDisplayFontLast = 0x91;
inline constexpr int kDisplayFontGlyphs = kDisplayFontLast - kDisplayFontFirst + 1;
extern const uint8_t display_font[kDisplayFontGlyphs][7];

// Glyph rows of a sign code 0x20..0x91 (seven bytes, bits 5..1 the dot columns);
// nullptr for any other code.
const uint8_t* display_glyph(uint8_t code);
// 5 for the space, else one more than the highest bit set; 0 without a glyph.
int display_glyph_width(uint8_t code);

// The sign's code of a Windows-1250 byte of a display text: printable ASCII as it is,
// Polish letters to 0x80..0x91, the degree sign to 0x7F; 0 (no glyph) for the rest.
uint8_t sign_code(uint8_t cp1250);

// Renders display d (1, 2) from its model's text; starts or stops timer d.
void render_display_text(Program& p, int d);
// One scroll step of display d (timers 1 and 2).
void scroll_display_step(Program& p, int d);
// A display command took effect: fills the model from `text` (controller "0"/"1",
// "0", negative digit, text from the fourth character), renders, invalidates.
void rebuild_display_preview(Program& p, int d, const char* text);
// Restarts the running preview scroll timers with the current scroll speeds.
void apply_scroll_speeds(Program& p);
// Is dot (row, column) of display d lit?
bool display_dot(const ProgramState& s, int d, int row, int column);
void paint_displays(Program& p, Canvas& canvas);

}  // namespace kc
