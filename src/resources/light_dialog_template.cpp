// Resources: dialog 102 "Ustawienia mocy świecenia".
#include "resources/dialog_ids.h"
#include "resources/command_ids.h"
#include "resources/templates.h"

namespace kc {
namespace {

// The group "Poziomy światła i moc świecenia cen" holds two columns: the low level and
// the five low powers on the left, the high level and the five high powers on the
// right; each power has its price's colour swatch beside it. Below: the check box and
// the buttons. The fields of the two text displays and the "Ok" that Enter reaches are
// hidden; they lie below the client area.
constexpr int kLeft = 24;
constexpr int kRight = 332;
constexpr int kLevelRow = 36;
constexpr int kPowerTop = 76;
constexpr int kRow = 32;

constexpr int power_row(int n) { return kPowerTop + (n - 1) * kRow; }
constexpr Rect label(int x, int y) { return Rect{x, y + 3, x + 200, y + 23}; }
constexpr Rect edit(int x, int y) { return Rect{x + 204, y, x + 260, y + 24}; }
constexpr Rect swatch(int x, int y) { return Rect{x + 268, y + 2, x + 288, y + 22}; }

// Hidden rows of the text displays.
constexpr int kHiddenTop = 360;
constexpr Rect hidden_label(int row) { return Rect{24, kHiddenTop + row * kRow + 3, 344, kHiddenTop + row * kRow + 23}; }
constexpr Rect hidden_edit(int row) { return Rect{352, kHiddenTop + row * kRow, 408, kHiddenTop + row * kRow + 24}; }

const ControlTemplate kControls[] = {
    {kNoId, ControlKind::GroupBox, "Poziomy światła i moc świecenia cen", Rect{12, 10, 632, 242}},

    {kNoId, ControlKind::Static, "Poziom niski światła (0-255)", label(kLeft, kLevelRow)},
    {kIdPriceLowLevel, ControlKind::Edit, "", edit(kLeft, kLevelRow), kRightAligned},
    {kNoId, ControlKind::Static, "1. Moc świecenia (0-255)", label(kLeft, power_row(1))},
    {price_power_low_edit(1), ControlKind::Edit, "", edit(kLeft, power_row(1)), kRightAligned},
    {kIdSwatchLow1, ControlKind::OwnerDrawButton, "", swatch(kLeft, power_row(1))},
    {kNoId, ControlKind::Static, "2. Moc świecenia (0-255)", label(kLeft, power_row(2))},
    {price_power_low_edit(2), ControlKind::Edit, "", edit(kLeft, power_row(2)), kRightAligned},
    {kIdSwatchLow1 + 1, ControlKind::OwnerDrawButton, "", swatch(kLeft, power_row(2))},
    {kNoId, ControlKind::Static, "3. Moc świecenia (0-255)", label(kLeft, power_row(3))},
    {price_power_low_edit(3), ControlKind::Edit, "", edit(kLeft, power_row(3)), kRightAligned},
    {kIdSwatchLow1 + 2, ControlKind::OwnerDrawButton, "", swatch(kLeft, power_row(3))},
    {kNoId, ControlKind::Static, "4. Moc świecenia (0-255)", label(kLeft, power_row(4))},
    {price_power_low_edit(4), ControlKind::Edit, "", edit(kLeft, power_row(4)), kRightAligned},
    {kIdSwatchLow1 + 3, ControlKind::OwnerDrawButton, "", swatch(kLeft, power_row(4))},
    {kNoId, ControlKind::Static, "5. Moc świecenia (0-255)", label(kLeft, power_row(5))},
    {price_power_low_edit(5), ControlKind::Edit, "", edit(kLeft, power_row(5)), kRightAligned},
    {kIdSwatchLow1 + 4, ControlKind::OwnerDrawButton, "", swatch(kLeft, power_row(5))},

    {kNoId, ControlKind::Static, "Poziom wysoki światła (0-255)", label(kRight, kLevelRow)},
    {kIdPriceHighLevel, ControlKind::Edit, "", edit(kRight, kLevelRow), kRightAligned},
    {kNoId, ControlKind::Static, "1. Moc świecenia (0-255)", label(kRight, power_row(1))},
    {price_power_high_edit(1), ControlKind::Edit, "", edit(kRight, power_row(1)), kRightAligned},
    {kIdSwatchHigh1, ControlKind::OwnerDrawButton, "", swatch(kRight, power_row(1))},
    {kNoId, ControlKind::Static, "2. Moc świecenia (0-255)", label(kRight, power_row(2))},
    {price_power_high_edit(2), ControlKind::Edit, "", edit(kRight, power_row(2)), kRightAligned},
    {kIdSwatchHigh1 + 1, ControlKind::OwnerDrawButton, "", swatch(kRight, power_row(2))},
    {kNoId, ControlKind::Static, "3. Moc świecenia (0-255)", label(kRight, power_row(3))},
    {price_power_high_edit(3), ControlKind::Edit, "", edit(kRight, power_row(3)), kRightAligned},
    {kIdSwatchHigh1 + 2, ControlKind::OwnerDrawButton, "", swatch(kRight, power_row(3))},
    {kNoId, ControlKind::Static, "4. Moc świecenia (0-255)", label(kRight, power_row(4))},
    {price_power_high_edit(4), ControlKind::Edit, "", edit(kRight, power_row(4)), kRightAligned},
    {kIdSwatchHigh1 + 3, ControlKind::OwnerDrawButton, "", swatch(kRight, power_row(4))},
    {kNoId, ControlKind::Static, "5. Moc świecenia (0-255)", label(kRight, power_row(5))},
    {price_power_high_edit(5), ControlKind::Edit, "", edit(kRight, power_row(5)), kRightAligned},
    {kIdSwatchHigh1 + 4, ControlKind::OwnerDrawButton, "", swatch(kRight, power_row(5))},

    {kIdAutoBacklight, ControlKind::CheckBox, "Automatycznie załączaj podświetlenie", Rect{16, 252, 400, 274}},
    {kIdOk, ControlKind::DefaultButton, "Ok", Rect{352, 288, 440, 316}, kHidden},
    {kIdSend, ControlKind::Button, "Wyślij", Rect{448, 288, 536, 316}},
    {kIdCancel, ControlKind::Button, "Anuluj", Rect{544, 288, 632, 316}},

    {kNoId, ControlKind::GroupBox, "Poziomy światła i moc świecenia wyświetlacza 1 i 2",
     Rect{12, kHiddenTop - 26, 632, kHiddenTop + 4 * kRow + 8}, kHidden},
    {kNoId, ControlKind::Static, "Poziom niski światła (0-255)", hidden_label(0), kHidden},
    {kIdDisplay1LowLevel, ControlKind::Edit, "", hidden_edit(0), kHidden | kRightAligned},
    {kNoId, ControlKind::Static, "Moc świecenia dla poziomu niskiego (0-255)", hidden_label(1), kHidden},
    {kIdDisplay1LowPower, ControlKind::Edit, "", hidden_edit(1), kHidden | kRightAligned},
    {kNoId, ControlKind::Static, "Poziom wysoki światła (0-255)", hidden_label(2), kHidden},
    {kIdDisplay1HighLevel, ControlKind::Edit, "", hidden_edit(2), kHidden | kRightAligned},
    {kNoId, ControlKind::Static, "Moc świecenia dla poziomu wysokiego (0-255)", hidden_label(3), kHidden},
    {kIdDisplay1HighPower, ControlKind::Edit, "", hidden_edit(3), kHidden | kRightAligned},

    {kNoId, ControlKind::GroupBox, "Poziomy światła i oświetlenie wyświetlacza 2",
     Rect{12, kHiddenTop + 5 * kRow - 26, 632, kHiddenTop + 9 * kRow + 8}, kHidden},
    {kNoId, ControlKind::Static, "Poziom niski światła (0-255)", hidden_label(5), kHidden},
    {kIdDisplay2LowLevel, ControlKind::Edit, "", hidden_edit(5), kHidden | kRightAligned},
    {kNoId, ControlKind::Static, "Oświetlenie dla poziomu niskiego (0-255)", hidden_label(6), kHidden},
    {kIdDisplay2LowPower, ControlKind::Edit, "", hidden_edit(6), kHidden | kRightAligned},
    {kIdDisplay2HighLevel, ControlKind::Edit, "", hidden_edit(7), kHidden | kRightAligned},
    {kNoId, ControlKind::Static, "Oświetlenie dla poziomu wysokiego (0-255)", hidden_label(8), kHidden},
    {kIdDisplay2HighPower, ControlKind::Edit, "", hidden_edit(8), kHidden | kRightAligned},
};

const DialogTemplate kDialog{kDialogLight, "102", "Ustawienia mocy świecenia", 644, 328, kControls};

}  // namespace

const DialogTemplate& light_dialog_template() { return kDialog; }

}  // namespace kc
