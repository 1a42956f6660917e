// Resources: dialog 142 "Praca bez obsługi".
#include "resources/command_ids.h"
#include "resources/dialog_ids.h"
#include "resources/templates.h"

namespace kc {
namespace {

// Four check boxes, one a line; the third carries the watch period's field and unit.
constexpr Rect box(int row) { return Rect{16, 16 + row * 30, 396, 38 + row * 30}; }

const ControlTemplate kControls[] = {
    {kIdConnectAtStart, ControlKind::CheckBox, "Łącz z &wieżą przy starcie", box(0)},
    {kIdStartAtLogin, ControlKind::CheckBox, "&Uruchamiaj przy logowaniu", box(1)},
    {kIdSignWatch, ControlKind::CheckBox, "&Sprawdzaj wieżę co", Rect{16, 76, 170, 98}},
    // Not shown: it names the field after it, which the check box's own text reads into.
    {kNoId, ControlKind::Static, "Sprawdzaj wieżę co (min)", Rect{16, 76, 170, 98}, kHidden},
    {kIdSignWatchMinutes, ControlKind::Edit, "", Rect{174, 75, 226, 99}, kRightAligned},
    {kNoId, ControlKind::Static, "min", Rect{234, 78, 286, 98}},
    {kIdRestorePrices, ControlKind::CheckBox, "&Przywracaj potwierdzone ceny", box(3)},
    {kIdOk, ControlKind::DefaultButton, "Ok", Rect{212, 148, 300, 176}},
    {kIdCancel, ControlKind::Button, "Anuluj", Rect{308, 148, 396, 176}},
};

const DialogTemplate kDialog{kDialogUnattended, "142", "Praca bez obsługi", 408, 188, kControls};

}  // namespace

const DialogTemplate& unattended_dialog_template() { return kDialog; }

}  // namespace kc
