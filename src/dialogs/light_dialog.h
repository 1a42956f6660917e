// Settings dialogs: dialog 102 "Ustawienia mocy świecenia", the light thresholds and
// luminous powers of the price fields and the automatic backlight switch.
#pragma once
#include "state/state.h"
#include "platform/window_procedure.h"

namespace kc {

class LightDialog : public WindowProcedure {
public:
    explicit LightDialog(Program& p) : p_(p) {}
    void on_init() override;
    void on_command(int id) override;
    // The ten swatches are painted straight from price_label_colors, so the dialog
    // holds no drawing resources of its own.
    void on_draw_item(int control_id, Canvas& canvas, const Rect& item) override;

private:
    void send(MainRecord& r);
    void accept(MainRecord& r);
    // Stores the edit's value in light_settings[setting] when it lies in 0..255.
    void store_if_accepted(int edit_id, int setting);
    Program& p_;
};

}  // namespace kc
