// Resources: dialog 100 "Kavor Cen".
#include "resources/command_ids.h"
#include "resources/templates.h"

namespace kc {
namespace {

const ControlTemplate kControls[] = {
    {kIdOk, ControlKind::DefaultButton, "Ok", Rect{10, 10, 90, 34}},
};

const DialogTemplate kDialog{kDialogAbout, "100", "Kavor Cen", 300, 200, kControls};

}  // namespace

const DialogTemplate& about_dialog_template() { return kDialog; }

}  // namespace kc
