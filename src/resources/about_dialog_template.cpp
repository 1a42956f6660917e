// Resources: dialog 100 "Kavor Cen", the About box.
#include "resources/dialog_ids.h"
#include "resources/command_ids.h"
#include "resources/templates.h"

namespace kc {
namespace {

// The icon on the left, the texts in a column beside it, "OK" at the bottom right.
// The display controller's line is hidden; it sits under the addresses so that the
// column shows no gap.
const ControlTemplate kControls[] = {
    {kNoId, ControlKind::Icon, "", Rect{16, 16, 48, 48}, 0, kIconProgram},
    {kIdAboutVersion, ControlKind::Static, "Kavor Cen :  ver.1.3.5", Rect{64, 18, 324, 38}},
    {kNoId, ControlKind::Static, "Sterownik Cen :", Rect{64, 46, 184, 66}},
    {kIdAboutPriceController, ControlKind::Static, "", Rect{188, 46, 324, 66}},
    {kNoId, ControlKind::Static, "www.example.com", Rect{64, 80, 324, 100}},
    {kNoId, ControlKind::Static, "biuro@example.com", Rect{64, 102, 324, 122}},
    {kNoId, ControlKind::Static, "Sterownik Reklam :", Rect{64, 126, 184, 146}, kHidden},
    {kIdAboutDisplayController, ControlKind::Static, "", Rect{188, 126, 324, 146}, kHidden},
    {kIdOk, ControlKind::DefaultButton, "OK", Rect{236, 160, 324, 188}},
};

const DialogTemplate kDialog{kDialogAbout, "100", "Kavor Cen", 340, 200, kControls};

}  // namespace

const DialogTemplate& about_dialog_template() { return kDialog; }

}  // namespace kc
