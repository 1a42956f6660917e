// Resources: dialog 103 "Ustawienia szybkości przewijania tekstu".
#include "resources/dialog_ids.h"
#include "resources/command_ids.h"
#include "resources/templates.h"

namespace kc {
namespace {

// Two rows in an untitled group: the display's name, its period and the unit; the
// buttons at the bottom right.
const ControlTemplate kControls[] = {
    {kNoId, ControlKind::GroupBox, "", Rect{12, 8, 388, 104}},
    {kNoId, ControlKind::Static, "Wyświetlacz 1", Rect{28, 33, 136, 53}},
    {kIdScrollSpeed1, ControlKind::Edit, "", Rect{144, 30, 204, 54}, kRightAligned},
    {kNoId, ControlKind::Static, "ms (1 - 255 ms) ", Rect{212, 33, 376, 53}},
    {kNoId, ControlKind::Static, "Wyświetlacz 2", Rect{28, 67, 136, 87}},
    {kIdScrollSpeed2, ControlKind::Edit, "", Rect{144, 64, 204, 88}, kRightAligned},
    {kNoId, ControlKind::Static, "ms (1 - 255 ms) ", Rect{212, 67, 376, 87}},
    {kIdOk, ControlKind::DefaultButton, "Ok", Rect{108, 120, 196, 148}},
    {kIdSend, ControlKind::Button, "Wyślij", Rect{204, 120, 292, 148}},
    {kIdCancel, ControlKind::Button, "Anuluj", Rect{300, 120, 388, 148}},
};

const DialogTemplate kDialog{kDialogScrollSpeed, "103", "Ustawienia szybkości przewijania tekstu", 400, 160,
                             kControls};

}  // namespace

const DialogTemplate& scroll_speed_dialog_template() { return kDialog; }

}  // namespace kc
