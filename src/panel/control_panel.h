// Operator panel: the modeless panel DYSTRDLG: prices, blink boxes, script, backlight,
// status, and the preview it paints; owner of panel timers 1 to 7.
#pragma once
#include "panel/price_desk.h"
#include "state/state.h"
#include "platform/window_procedure.h"

namespace kc {

class ControlPanel : public WindowProcedure {
public:
    explicit ControlPanel(Program& p) : p_(p), prices_(p) {}
    void on_init() override;
    void on_command(int id) override;
    void on_timer(int timer_id) override;
    void on_paint(Canvas& canvas, const Rect& update) override;
    bool on_static_color(int control_id, StaticColors& colors) override;
    void on_destroy() override;

private:
    Program& p_;
    PriceDesk prices_;  // outcome line, journal and schedule
};

// The teardown shared by "Rozłącz" and "Test" (with the preview reset) and the panel's
// start (without): status and reply timers, port, script, command slots, temperature and
// light level. It lives with the panel, whose timers and fields it mostly clears.
void teardown(Program& p, bool reset);

}  // namespace kc
