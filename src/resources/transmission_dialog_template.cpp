// Resources: dialog 101 "Ustawienia transmisji".
#include "resources/command_ids.h"
#include "resources/templates.h"

namespace kc {
namespace {

const ControlTemplate kControls[] = {
    {kIdOk, ControlKind::DefaultButton, "Ok", Rect{10, 10, 90, 34}},
};

const DialogTemplate kDialog{kDialogTransmission, "101", "Ustawienia transmisji", 300, 200, kControls};

}  // namespace

const DialogTemplate& transmission_dialog_template() { return kDialog; }

}  // namespace kc
