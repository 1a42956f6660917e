// Settings dialogs: dialog 102 "Ustawienia mocy świecenia".
#include "dialogs/light_dialog.h"

#include "resources/dialog_ids.h"
#include "dialogs/dialogs.h"
#include "dialogs/field_number.h"
#include "protocol/commands.h"
#include "resources/command_ids.h"
#include "resources/texts.h"
#include "storage/settings_file.h"

namespace kc {
namespace {

constexpr WindowId kWindow = kDialogLight;
constexpr uint32_t kMaxLightValue = 255;
constexpr int kAutoBacklightSlot = 42;
constexpr int kBatchEndSlot = 46;
// The polling thread scans above the cursor, so 8 lets it see slots 30 to 46.
constexpr int kLightSlotCursor = 8;

struct EditSetting {
    int edit;
    int setting;
};

// Every edit of the dialog and the light setting it shows.
constexpr EditSetting kEdits[] = {
    {kIdDisplay1LowLevel, kDisplay1LowLevel},   {kIdDisplay1LowPower, kDisplay1LowPower},
    {kIdDisplay1HighLevel, kDisplay1HighLevel}, {kIdDisplay1HighPower, kDisplay1HighPower},
    {kIdDisplay2LowLevel, kDisplay2LowLevel},   {kIdDisplay2LowPower, kDisplay2LowPower},
    {kIdDisplay2HighLevel, kDisplay2HighLevel}, {kIdDisplay2HighPower, kDisplay2HighPower},
    {kIdPriceLowLevel, kPriceLowLevel},         {kIdPriceHighLevel, kPriceHighLevel},
    {price_power_low_edit(1), kPricePowerLow1},       {price_power_low_edit(2), kPricePowerLow1 + 1},
    {price_power_low_edit(3), kPricePowerLow1 + 2},   {price_power_low_edit(4), kPricePowerLow1 + 3},
    {price_power_low_edit(5), kPricePowerLow1 + 4},   {price_power_high_edit(1), kPricePowerHigh1},
    {price_power_high_edit(2), kPricePowerHigh1 + 1}, {price_power_high_edit(3), kPricePowerHigh1 + 2},
    {price_power_high_edit(4), kPricePowerHigh1 + 3}, {price_power_high_edit(5), kPricePowerHigh1 + 4},
};

// What Enter ("Ok") takes over: the display settings, both thresholds and the first
// price's two powers; the powers of prices 2 to 5 are left to "Wyślij".
constexpr EditSetting kOkEdits[] = {
    {kIdDisplay1LowLevel, kDisplay1LowLevel},   {kIdDisplay1LowPower, kDisplay1LowPower},
    {kIdDisplay1HighLevel, kDisplay1HighLevel}, {kIdDisplay1HighPower, kDisplay1HighPower},
    {kIdDisplay2LowLevel, kDisplay2LowLevel},   {kIdDisplay2LowPower, kDisplay2LowPower},
    {kIdDisplay2HighLevel, kDisplay2HighLevel}, {kIdDisplay2HighPower, kDisplay2HighPower},
    {kIdPriceLowLevel, kPriceLowLevel},         {price_power_low_edit(1), kPricePowerLow1},
    {kIdPriceHighLevel, kPriceHighLevel},       {price_power_high_edit(1), kPricePowerHigh1},
};

int edit_of_setting(int setting) {
    for (const EditSetting& e : kEdits)
        if (e.setting == setting) return e.edit;
    return 0;
}

constexpr Color kSwatchFrame = 0x404040;

}  // namespace

void LightDialog::on_init() {
    MainRecord* r = get_record(p_);
    if (!r) return;
    ControlStore& c = p_.ui->controls();
    for (const EditSetting& e : kEdits) c.set_text(kWindow, e.edit, std::to_string(p_.state.light_settings[e.setting].load()));
    c.set_checked(kWindow, kIdAutoBacklight, r->auto_backlight);
}

void LightDialog::on_command(int id) {
    MainRecord* r = get_record(p_);
    switch (id) {
        case kIdSend:
            if (!r) return;
            send(*r);
            p_.ui->end_dialog(kWindow, 1);
            break;
        case kIdOk:
            if (!r) return;
            accept(*r);
            p_.ui->end_dialog(kWindow, 1);
            break;
        case kIdCancel:
            p_.ui->end_dialog(kWindow, 1);
            break;
        default:
            break;
    }
}

void LightDialog::store_if_accepted(int edit_id, int setting) {
    uint32_t value = field_number(p_.ui->controls().text(kWindow, edit_id));
    if (value <= kMaxLightValue) p_.state.light_settings[setting] = static_cast<int32_t>(value);
}

void LightDialog::send(MainRecord& r) {
    if (!r.connected) {
        p_.ui->message_box(kWindow, txt(Txt::MsgNotConnected), txt(Txt::CaptionError), MessageButtons::Ok,
                           MessageIcon::Exclamation);
        return;
    }
    ProgramState& s = p_.state;
    {
        // The polling thread sees either none or all of the fourteen commands.
        LockGuard lock(s.slot_lock);
        for (const LightCommand& command : light_commands()) {
            if (int edit = edit_of_setting(command.setting)) store_if_accepted(edit, command.setting);
            // An unaccepted entry sends the value stored before.
            fill_slot(s, command.slot, number_command(command.prefix, s.light_settings[command.setting]).c_str());
        }
        bool automatic = p_.ui->controls().checked(kWindow, kIdAutoBacklight);
        r.auto_backlight = automatic;
        fill_slot(s, kAutoBacklightSlot, auto_backlight_command(automatic).c_str());
        fill_slot(s, kBatchEndSlot, kPriceBatchEnd);
        s.slot_cursor = kLightSlotCursor;
    }
    save_settings_locked(p_);
}

void LightDialog::accept(MainRecord& r) {
    for (const EditSetting& e : kOkEdits) store_if_accepted(e.edit, e.setting);
    r.auto_backlight = p_.ui->controls().checked(kWindow, kIdAutoBacklight);
    save_settings_locked(p_);
}

void LightDialog::on_draw_item(int control_id, Canvas& canvas, const Rect& item) {
    int index;
    if (control_id >= kIdSwatchLow1 && control_id < kIdSwatchLow1 + 5)
        index = control_id - kIdSwatchLow1;
    else if (control_id >= kIdSwatchHigh1 && control_id < kIdSwatchHigh1 + 5)
        index = control_id - kIdSwatchHigh1;
    else
        return;
    // A thin frame keeps a white swatch visible on the light dialog background.
    canvas.fill_rect(item, kSwatchFrame);
    Rect inner{item.left + 1, item.top + 1, item.right - 1, item.bottom - 1};
    canvas.fill_rect(inner, p_.state.price_label_colors[index]);
}

void run_light_dialog(Program& p) {
    if (!p.ui || !get_record(p)) return;
    LightDialog dialog(p);
    p.ui->run_dialog(kDialogLight, dialog);
}

}  // namespace kc
