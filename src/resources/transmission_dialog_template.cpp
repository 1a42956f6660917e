// Resources: dialog 101 "Ustawienia transmisji".
#include "resources/dialog_ids.h"
#include "resources/command_ids.h"
#include "resources/templates.h"

namespace kc {
namespace {

// Six rows in the group "Właściwości COM", each a label left of its list, the device
// of the port last and wide enough for an adapter's name; the check boxes below; the
// buttons at the bottom right. The font button stays hidden.
constexpr int kRow = 32;
constexpr int kTop = 36;
constexpr Rect label(int row) { return Rect{28, kTop + row * kRow + 3, 128, kTop + row * kRow + 23}; }
constexpr Rect list(int row) { return Rect{136, kTop + row * kRow, 332, kTop + row * kRow + 24}; }

const ControlTemplate kControls[] = {
    {kNoId, ControlKind::GroupBox, "Właściwości COM", Rect{12, 10, 508, 234}},
    {kNoId, ControlKind::Static, "&Port :", label(0)},
    {kIdPortList, ControlKind::ComboBox, "", list(0)},
    {kNoId, ControlKind::Static, "&Szybkość :", label(1)},
    {kIdSpeedList, ControlKind::ComboBox, "", list(1)},
    {kNoId, ControlKind::Static, "&Bity danych :", label(2)},
    {kIdDataBitsList, ControlKind::ComboBox, "", list(2)},
    {kNoId, ControlKind::Static, "P&arzystość :", label(3)},
    {kIdParityList, ControlKind::ComboBox, "", list(3)},
    {kNoId, ControlKind::Static, "Bit s&topu :", label(4)},
    {kIdStopBitsList, ControlKind::ComboBox, "", list(4)},
    {kNoId, ControlKind::Static, "&Urządzenie :", label(5)},
    {kIdDeviceList, ControlKind::ComboBox, "", Rect{136, kTop + 5 * kRow, 496, kTop + 5 * kRow + 24}},
    {kIdLogTraffic, ControlKind::CheckBox, "Zapisuj transmisje do pliku", Rect{16, 244, 508, 266}},
    {kIdReconnect, ControlKind::CheckBox, "Łącz ponownie po odłączeniu", Rect{16, 270, 508, 292}},
    {kIdFontButton, ControlKind::Button, "&Font", Rect{12, 304, 100, 332}, kHidden},
    {kIdOk, ControlKind::DefaultButton, "Ok", Rect{324, 304, 412, 332}},
    {kIdCancel, ControlKind::Button, "Anuluj", Rect{420, 304, 508, 332}},
};

const DialogTemplate kDialog{kDialogTransmission, "101", "Ustawienia transmisji", 520, 344, kControls};

}  // namespace

const DialogTemplate& transmission_dialog_template() { return kDialog; }

}  // namespace kc
