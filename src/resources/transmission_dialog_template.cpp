// Resources: dialog 101 "Ustawienia transmisji".
#include "resources/dialog_ids.h"
#include "resources/command_ids.h"
#include "resources/templates.h"

namespace kc {
namespace {

// Five rows in the group "Właściwości COM", each a label left of its list; the check
// box below; the buttons at the bottom right. The font button stays hidden.
constexpr int kRow = 32;
constexpr int kTop = 36;
constexpr Rect label(int row) { return Rect{28, kTop + row * kRow + 3, 128, kTop + row * kRow + 23}; }
constexpr Rect list(int row) { return Rect{136, kTop + row * kRow, 332, kTop + row * kRow + 24}; }

const ControlTemplate kControls[] = {
    {kNoId, ControlKind::GroupBox, "Właściwości COM", Rect{12, 10, 348, 202}},
    {kNoId, ControlKind::Static, "&Port :", label(0)},
    {kIdPortList, ControlKind::ComboBox, "", list(0)},
    {kNoId, ControlKind::Static, "&Szybkość :", label(1)},
    {kIdSpeedList, ControlKind::ComboBox, "", list(1)},
    {kNoId, ControlKind::Static, "&Bity danych :", label(2)},
    {kIdDataBitsList, ControlKind::ComboBox, "", list(2)},
    {kNoId, ControlKind::Static, "P&arzystość :", label(3)},
    {kIdParityList, ControlKind::ComboBox, "", list(3)},
    {kNoId, ControlKind::Static, "Bit &stopu :", label(4)},
    {kIdStopBitsList, ControlKind::ComboBox, "", list(4)},
    {kIdLogTraffic, ControlKind::CheckBox, "Zapisuj transmisje do pliku", Rect{16, 212, 348, 234}},
    {kIdFontButton, ControlKind::Button, "&Font", Rect{12, 248, 100, 276}, kHidden},
    {kIdOk, ControlKind::DefaultButton, "Ok", Rect{164, 248, 252, 276}},
    {kIdCancel, ControlKind::Button, "Anuluj", Rect{260, 248, 348, 276}},
};

const DialogTemplate kDialog{kDialogTransmission, "101", "Ustawienia transmisji", 360, 288, kControls};

}  // namespace

const DialogTemplate& transmission_dialog_template() { return kDialog; }

}  // namespace kc
