// Resources: dialog 100 "Kavor Cen", the About box.
#include "dialogs/dialog_ids.h"
#include "resources/command_ids.h"
#include "resources/templates.h"

namespace kc {
namespace {

// The icon on the left, the texts in a column beside it, "OK" at the bottom right.
const ControlTemplate kControls[] = {
    {kNoId, ControlKind::Icon, "", Rect{16, 16, 48, 48}, 0, kIconProgram},
    {kIdAboutVersion, ControlKind::Static, "Kavor Cen :  ver.1.3.5", Rect{64, 18, 324, 38}},
    {kNoId, ControlKind::Static, "Sterownik Cen :", Rect{64, 46, 184, 66}},
    {kIdAboutPriceController, ControlKind::Static, "", Rect{188, 46, 324, 66}},
    {kNoId, ControlKind::Static, "Sterownik Reklam :", Rect{64, 70, 184, 90}, kHidden},
    {kIdAboutDisplayController, ControlKind::Static, "", Rect{188, 70, 324, 90}, kHidden},
    {kNoId, ControlKind::Static, "www.example.com", Rect{64, 100, 324, 120}},
    {kNoId, ControlKind::Static, "biuro@example.com", Rect{64, 122, 324, 142}},
    {kIdOk, ControlKind::DefaultButton, "OK", Rect{236, 160, 324, 188}},
};

const DialogTemplate kDialog{kDialogAbout, "100", "Kavor Cen", 340, 200, kControls};

}  // namespace

const DialogTemplate& about_dialog_template() { return kDialog; }

}  // namespace kc
