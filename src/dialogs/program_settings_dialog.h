// Settings dialogs: dialog 104 "Ustawienia programu", the captions and colours of the
// five price fields and hiding the window on minimise.
#pragma once
#include <array>
#include <string>

#include "state/state.h"
#include "platform/window_procedure.h"

namespace kc {

inline constexpr size_t kMaxCaptionChars = 15;

// A caption the settings file can carry back: not empty and without white space.
bool caption_fits_settings_file(const std::string& caption);

class ProgramSettingsDialog : public WindowProcedure {
public:
    explicit ProgramSettingsDialog(Program& p) : p_(p) {}
    void on_init() override;
    void on_command(int id) override;
    // The colour buttons are painted straight from the working colours, so the dialog
    // holds no drawing resources of its own.
    void on_draw_item(int control_id, Canvas& canvas, const Rect& item) override;

    Color working_color(int row) const { return working_colors_[static_cast<size_t>(row - 1)]; }

private:
    void choose_color(int row);
    // False (and the dialog stays open) when a caption is refused.
    bool accept(MainRecord& r);
    Program& p_;
    // The colours the buttons show; "Ok" takes them over, "Anuluj" drops them.
    std::array<Color, 5> working_colors_{};
};

}  // namespace kc
