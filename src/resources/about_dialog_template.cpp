// Resources: dialog 100 "Kavor Cen", the About box.
#include "resources/dialog_ids.h"
#include "resources/command_ids.h"
#include "resources/templates.h"

namespace kc {
namespace {

// The icon on the left, the texts in a column beside it, "OK" at the bottom right.
// The maker has no web or mail address to give, so the box shows where the program's
// files are and the licence the package states instead. The display controller's line
// is hidden; it sits last so that the column shows no gap.
const ControlTemplate kControls[] = {
    {kNoId, ControlKind::Icon, "", Rect{16, 16, 48, 48}, 0, kIconProgram},
    {kIdAboutVersion, ControlKind::Static, "Kavor Cen :  ver.1.3.5", Rect{64, 18, 364, 38}},
    {kNoId, ControlKind::Static, "Sterownik Cen :", Rect{64, 46, 184, 66}},
    {kIdAboutPriceController, ControlKind::Static, "", Rect{188, 46, 364, 66}},
    {kNoId, ControlKind::Static, "Pliki programu :", Rect{64, 74, 364, 94}},
    {kIdAboutFiles, ControlKind::Static, "", Rect{64, 94, 364, 114}},
    {kNoId, ControlKind::Static, "Licencja własnościowa:\nwszelkie prawa zastrzeżone.", Rect{64, 122, 364, 158}},
    {kNoId, ControlKind::Static, "Sterownik Reklam :", Rect{64, 166, 184, 186}, kHidden},
    {kIdAboutDisplayController, ControlKind::Static, "", Rect{188, 166, 364, 186}, kHidden},
    {kIdOk, ControlKind::DefaultButton, "OK", Rect{276, 170, 364, 198}},
};

const DialogTemplate kDialog{kDialogAbout, "100", "Kavor Cen", 380, 210, kControls};

}  // namespace

const DialogTemplate& about_dialog_template() { return kDialog; }

}  // namespace kc
