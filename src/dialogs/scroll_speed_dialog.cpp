// Settings dialogs: dialog 103 "Ustawienia szybkości przewijania tekstu".
#include "dialogs/scroll_speed_dialog.h"

#include "resources/dialog_ids.h"
#include "dialogs/dialogs.h"
#include "dialogs/field_number.h"
#include "preview/display_model.h"
#include "protocol/commands.h"
#include "resources/command_ids.h"
#include "resources/texts.h"
#include "storage/settings_file.h"

namespace kc {
namespace {

constexpr WindowId kWindow = kDialogScrollSpeed;
constexpr int kEdits[2] = {kIdScrollSpeed1, kIdScrollSpeed2};
constexpr int kSpeedSlots[2] = {14, 24};
constexpr int kBatchEndSlots[2] = {15, 25};
constexpr const char* kBatchEnds[2] = {kDisplay1BatchEnd, kDisplay2BatchEnd};
// The polling thread scans above the cursor, so 13 lets it see slots 14 to 25.
constexpr int kScrollSlotCursor = 13;
constexpr uint32_t kMinSpeed = 1;
constexpr uint32_t kMaxSpeed = 255;

}  // namespace

void ScrollSpeedDialog::on_init() {
    if (!get_record(p_)) return;
    for (int d = 0; d < 2; ++d)
        p_.ui->controls().set_text(kWindow, kEdits[d], std::to_string(p_.state.scroll_speed[d].load()));
}

void ScrollSpeedDialog::on_command(int id) {
    MainRecord* r = get_record(p_);
    switch (id) {
        case kIdOk:
            if (!r) return;
            accept();
            p_.ui->end_dialog(kWindow, 1);
            break;
        case kIdSend:
            if (!r) return;
            send(*r);
            p_.ui->end_dialog(kWindow, 1);
            break;
        case kIdCancel:
            p_.ui->end_dialog(kWindow, 1);
            break;
        default:
            break;
    }
}

void ScrollSpeedDialog::store_if_accepted(int d) {
    uint32_t value = field_number(p_.ui->controls().text(kWindow, kEdits[d]));
    if (value >= kMinSpeed && value <= kMaxSpeed) p_.state.scroll_speed[d] = static_cast<int32_t>(value);
}

void ScrollSpeedDialog::accept() {
    store_if_accepted(0);
    store_if_accepted(1);
    apply_scroll_speeds(p_);
    save_settings_locked(p_);
}

void ScrollSpeedDialog::send(MainRecord& r) {
    ProgramState& s = p_.state;
    if (r.connected) {
        {
            // The polling thread sees either none or all four commands.
            LockGuard lock(s.slot_lock);
            for (int d = 0; d < 2; ++d) {
                store_if_accepted(d);
                // An unaccepted entry sends the speed stored before.
                fill_slot(s, kSpeedSlots[d], scroll_speed_command(d + 1, s.scroll_speed[d]).c_str());
                fill_slot(s, kBatchEndSlots[d], kBatchEnds[d]);
            }
            s.slot_cursor = kScrollSlotCursor;
        }
        apply_scroll_speeds(p_);
        save_settings_locked(p_);
    } else if (r.test_mode) {
        // The preview takes the new speeds; the file keeps the old ones until "Ok".
        store_if_accepted(0);
        store_if_accepted(1);
        apply_scroll_speeds(p_);
    } else {
        p_.ui->message_box(kWindow, txt(Txt::MsgNotConnected), txt(Txt::CaptionError), MessageButtons::Ok,
                           MessageIcon::Exclamation);
    }
}

void run_scroll_speed_dialog(Program& p) {
    if (!p.ui || !get_record(p)) return;
    ScrollSpeedDialog dialog(p);
    p.ui->run_dialog(kDialogScrollSpeed, dialog);
}

}  // namespace kc
