// Operator panel: the main window's client area, a 623 x 512 page whose scroll bars
// move the panel.
#pragma once
#include "state/state.h"
#include "platform/canvas.h"

namespace kc {

int make_terminal_font(Program& p);
int terminal_size(Program& p, int client_height, int client_width);
int terminal_vscroll(Program& p, int code, int position);
int terminal_hscroll(Program& p, int code, int position);
int terminal_paint(Program& p, Canvas& canvas, const Rect& update);

}  // namespace kc
