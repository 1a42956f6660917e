// Operator panel: the seven-segment preview of the five price fields, with its blink
// and the backlight bulbs. Place byte bits: 0 d, 1 e, 2 g, 3 f, 4 a, 5 b, 6 c, 7 point.
#pragma once
#include <cstdint>

#include "state/state.h"
#include "platform/canvas.h"

namespace kc {

inline constexpr Rect kPreviewDigitArea{436, 98, 614, 505};
inline constexpr Rect kPreviewBulbColumn{224, 112, 256, 500};
// Row of price field n (1..5).
constexpr Rect price_row_rect(int n) { return Rect{450, 112 + 81 * (n - 1), 600, 167 + 81 * (n - 1)}; }

// The place byte of a price character ('0'..'9', '-', '.', ' '); 0 for others.
uint8_t digit_image(char c);
// The place bytes a price text (what follows "2nC") sets, the way the preview reads
// it; returns how many places it sets (0..3).
int price_text_places(const char* price, uint8_t places[3]);
// A segment image byte as the sign sends it (a b c d e f g point, bit 7 first) as a place byte.
uint8_t wire_to_place(uint8_t wire);

// Applies a price command text to the preview model: 0 taken, -1 rejected.
int parse_price_command(ProgramState& s, const char* text);
// Applies `text` (normally current_command) and invalidates the field's row, or the
// whole digit area when the field digit is not 1..5.
void rebuild_price_preview(Program& p, const char* text);
// Blanks both displays and all prices, stops blinking, clears backlight_on.
void reset_preview(Program& p);
// Timer 6's period. The timer runs only while some price blinks.
inline constexpr int kBlinkPeriodMs = 330;
// Starts timer 6 when a price blinks and it is not running yet. Any thread.
void start_blink_timer_if_needed(Program& p);
// Timer 6: toggles blink_phase and invalidates blinking rows, when any price blinks;
// with none blinking it changes nothing and stops the timer.
void blink_tick(Program& p);
// The panel's paint: background, bulbs, digits (and the display matrices).
void paint_preview(Program& p, Canvas& canvas);

}  // namespace kc
