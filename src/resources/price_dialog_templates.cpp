// Resources: dialogs 140 "Historia cen" and 141 "Harmonogram cen".
#include "resources/command_ids.h"
#include "resources/dialog_ids.h"
#include "resources/templates.h"

namespace kc {
namespace {

// The filter on top, the journal's entries below it, "Zamknij" at the bottom right.
const ControlTemplate kHistoryControls[] = {
    {kNoId, ControlKind::Static, "Dzień (RRRR-MM-DD, puste: wszystkie):", Rect{12, 15, 282, 35}},
    {kIdHistoryDate, ControlKind::Edit, "", Rect{288, 12, 408, 36}},
    {kIdHistoryShow, ControlKind::DefaultButton, "Pokaż", Rect{416, 12, 504, 36}},
    {kNoId, ControlKind::Static, "Zmiany cen, najnowsze na górze:", Rect{12, 46, 504, 64}},
    {kIdHistoryList, ControlKind::ListBox, "", Rect{12, 68, 788, 452}},
    {kIdCancel, ControlKind::Button, "Zamknij", Rect{700, 462, 788, 490}},
};

const DialogTemplate kHistory{kDialogPriceHistory, "140", "Historia cen", 800, 500, kHistoryControls};

// The plan on the left; on the right the change being edited: when, five prices with
// their "Mrugaj" boxes, and the buttons that add, change and delete.
constexpr Rect price_label(int k) { return Rect{430, 110 + 32 * k, 450, 130 + 32 * k}; }
constexpr Rect price_edit(int k) { return Rect{454, 106 + 32 * k, 534, 130 + 32 * k}; }
constexpr Rect blink_box(int k) { return Rect{544, 108 + 32 * k, 624, 128 + 32 * k}; }

const ControlTemplate kScheduleControls[] = {
    {kNoId, ControlKind::Static, "Zaplanowane zmiany:", Rect{12, 10, 400, 28}},
    {kIdScheduleList, ControlKind::ListBox, "", Rect{12, 32, 408, 400}},
    {kNoId, ControlKind::Static, "Dzień (RRRR-MM-DD, puste: codziennie):", Rect{430, 10, 700, 28}},
    {kIdScheduleDate, ControlKind::Edit, "", Rect{430, 32, 560, 56}},
    {kNoId, ControlKind::Static, "Godzina (GG:MM):", Rect{430, 66, 560, 86}},
    {kIdScheduleTime, ControlKind::Edit, "", Rect{570, 64, 650, 88}},
    {kNoId, ControlKind::Static, "1.", price_label(0)},
    {kIdSchedulePrice1, ControlKind::Edit, "", price_edit(0)},
    {kIdScheduleBlink1, ControlKind::CheckBox, "Mrugaj", blink_box(0)},
    {kNoId, ControlKind::Static, "2.", price_label(1)},
    {kIdSchedulePrice1 + 1, ControlKind::Edit, "", price_edit(1)},
    {kIdScheduleBlink1 + 1, ControlKind::CheckBox, "Mrugaj", blink_box(1)},
    {kNoId, ControlKind::Static, "3.", price_label(2)},
    {kIdSchedulePrice1 + 2, ControlKind::Edit, "", price_edit(2)},
    {kIdScheduleBlink1 + 2, ControlKind::CheckBox, "Mrugaj", blink_box(2)},
    {kNoId, ControlKind::Static, "4.", price_label(3)},
    {kIdSchedulePrice1 + 3, ControlKind::Edit, "", price_edit(3)},
    {kIdScheduleBlink1 + 3, ControlKind::CheckBox, "Mrugaj", blink_box(3)},
    {kNoId, ControlKind::Static, "5.", price_label(4)},
    {kIdSchedulePrice1 + 4, ControlKind::Edit, "", price_edit(4)},
    {kIdScheduleBlink1 + 4, ControlKind::CheckBox, "Mrugaj", blink_box(4)},
    {kIdScheduleAdd, ControlKind::Button, "Dodaj", Rect{430, 280, 510, 308}},
    {kIdScheduleChange, ControlKind::Button, "Zmień", Rect{518, 280, 598, 308}},
    {kIdScheduleDelete, ControlKind::Button, "Usuń", Rect{606, 280, 686, 308}},
    {kIdCancel, ControlKind::Button, "Zamknij", Rect{606, 372, 686, 400}},
};

const DialogTemplate kSchedule{kDialogPriceSchedule, "141", "Harmonogram cen", 700, 412, kScheduleControls};

}  // namespace

const DialogTemplate& price_history_dialog_template() { return kHistory; }
const DialogTemplate& price_schedule_dialog_template() { return kSchedule; }

}  // namespace kc
