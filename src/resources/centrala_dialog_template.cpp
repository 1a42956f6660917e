// Resources: dialog 143 "Centrala".
#include "resources/command_ids.h"
#include "resources/dialog_ids.h"
#include "resources/templates.h"

namespace kc {
namespace {

// A label column and an edit column, one setting a row.
constexpr Rect label(int top) { return Rect{16, top + 3, 196, top + 23}; }
constexpr Rect edit(int top) { return Rect{200, top, 484, top + 24}; }

const ControlTemplate kControls[] = {
    {kNoId, ControlKind::Static, "Adres &serwera (HOST:PORT):", label(16)},
    {kIdHoBroker, ControlKind::Edit, "", edit(16)},
    {kNoId, ControlKind::Static, "&Identyfikator stacji:", label(50)},
    {kIdHoStation, ControlKind::Edit, "", edit(50)},
    {kNoId, ControlKind::Static, "&Użytkownik:", label(84)},
    {kIdHoUser, ControlKind::Edit, "", edit(84)},
    {kNoId, ControlKind::Static, "&Hasło:", label(118)},
    {kIdHoPassword, ControlKind::Edit, "", edit(118), kPassword},
    {kIdHoPasswordNote, ControlKind::Static, "", Rect{200, 146, 484, 166}},
    {kNoId, ControlKind::Static, "Plik &CA serwera:", label(178)},
    {kIdHoCaFile, ControlKind::Edit, "", Rect{200, 178, 444, 202}},
    {kIdHoChooseCa, ControlKind::Button, "...", Rect{450, 178, 484, 202}},
    {kIdHoCheck, ControlKind::Button, "Sprawdź &połączenie", Rect{16, 226, 196, 254}},
    {kIdHoCheckResult, ControlKind::Static, "", Rect{16, 262, 484, 318}},
    {kIdOk, ControlKind::DefaultButton, "Ok", Rect{300, 330, 388, 358}},
    {kIdCancel, ControlKind::Button, "Anuluj", Rect{396, 330, 484, 358}},
};

const DialogTemplate kDialog{kDialogCentrala, "143", "Centrala", 500, 372, kControls};

}  // namespace

const DialogTemplate& centrala_dialog_template() { return kDialog; }

}  // namespace kc
