// Resources: dialog 104 "Ustawienia programu".
#include "resources/command_ids.h"
#include "resources/templates.h"

namespace kc {
namespace {

const ControlTemplate kControls[] = {
    {kIdOk, ControlKind::DefaultButton, "Ok", Rect{10, 10, 90, 34}},
};

const DialogTemplate kDialog{kDialogProgramSettings, "104", "Ustawienia programu", 300, 200, kControls};

}  // namespace

const DialogTemplate& program_settings_dialog_template() { return kDialog; }

}  // namespace kc
