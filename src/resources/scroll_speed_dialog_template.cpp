// Resources: dialog 103 "Ustawienia szybkości przewijania tekstu".
#include "resources/command_ids.h"
#include "resources/templates.h"

namespace kc {
namespace {

const ControlTemplate kControls[] = {
    {kIdOk, ControlKind::DefaultButton, "Ok", Rect{10, 10, 90, 34}},
};

const DialogTemplate kDialog{kDialogScrollSpeed, "103", "Ustawienia szybkości przewijania tekstu", 300, 200, kControls};

}  // namespace

const DialogTemplate& scroll_speed_dialog_template() { return kDialog; }

}  // namespace kc
