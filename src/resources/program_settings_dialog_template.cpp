// Resources: dialog 104 "Ustawienia programu".
#include "resources/dialog_ids.h"
#include "resources/command_ids.h"
#include "resources/templates.h"

namespace kc {
namespace {

// Five rows in the group "Opis cen": label, caption and a square colour button; the
// check box below; the buttons at the bottom right.
constexpr int kRow = 32;
constexpr int kTop = 34;
constexpr Rect label(int row) { return Rect{28, kTop + row * kRow + 3, 88, kTop + row * kRow + 23}; }
constexpr Rect edit(int row) { return Rect{96, kTop + row * kRow, 296, kTop + row * kRow + 24}; }
constexpr Rect color(int row) { return Rect{308, kTop + row * kRow, 332, kTop + row * kRow + 24}; }

const ControlTemplate kControls[] = {
    {kNoId, ControlKind::GroupBox, "Opis cen", Rect{12, 10, 348, 200}},
    {kNoId, ControlKind::Static, "Cena1", label(0)},
    {caption_edit_id(1), ControlKind::Edit, "", edit(0)},
    {caption_color_id(1), ControlKind::OwnerDrawButton, "", color(0)},
    {kNoId, ControlKind::Static, "Cena2", label(1)},
    {caption_edit_id(2), ControlKind::Edit, "", edit(1)},
    {caption_color_id(2), ControlKind::OwnerDrawButton, "", color(1)},
    {kNoId, ControlKind::Static, "Cena3", label(2)},
    {caption_edit_id(3), ControlKind::Edit, "", edit(2)},
    {caption_color_id(3), ControlKind::OwnerDrawButton, "", color(2)},
    {kNoId, ControlKind::Static, "Cena4", label(3)},
    {caption_edit_id(4), ControlKind::Edit, "", edit(3)},
    {caption_color_id(4), ControlKind::OwnerDrawButton, "", color(3)},
    {kNoId, ControlKind::Static, "Cena5", label(4)},
    {caption_edit_id(5), ControlKind::Edit, "", edit(4)},
    {caption_color_id(5), ControlKind::OwnerDrawButton, "", color(4)},
    {kIdHideOnMinimize, ControlKind::CheckBox, "Ukrywać okno programu przy minimalizacji", Rect{16, 210, 348, 232}},
    {kIdOk, ControlKind::DefaultButton, "Ok", Rect{164, 246, 252, 274}},
    {kIdCancel, ControlKind::Button, "Anuluj", Rect{260, 246, 348, 274}},
};

const DialogTemplate kDialog{kDialogProgramSettings, "104", "Ustawienia programu", 360, 286, kControls};

}  // namespace

const DialogTemplate& program_settings_dialog_template() { return kDialog; }

}  // namespace kc
