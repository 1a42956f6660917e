// Resources: dialog 102 "Ustawienia mocy świecenia".
#include "resources/command_ids.h"
#include "resources/templates.h"

namespace kc {
namespace {

const ControlTemplate kControls[] = {
    {kIdOk, ControlKind::DefaultButton, "Ok", Rect{10, 10, 90, 34}},
};

const DialogTemplate kDialog{kDialogLight, "102", "Ustawienia mocy świecenia", 300, 200, kControls};

}  // namespace

const DialogTemplate& light_dialog_template() { return kDialog; }

}  // namespace kc
