// Settings dialogs: dialog 104 "Ustawienia programu".
#include "dialogs/program_settings_dialog.h"

#include "resources/dialog_ids.h"
#include "dialogs/dialogs.h"
#include "resources/command_ids.h"
#include "resources/texts.h"
#include "storage/file_report.h"
#include "storage/settings_file.h"

namespace kc {
namespace {

constexpr WindowId kWindow = kDialogProgramSettings;
constexpr Color kChooserStart = 0xFFFFFF;
constexpr Color kButtonFrame = 0x404040;

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

}  // namespace

bool caption_fits_settings_file(const std::string& caption) {
    if (caption.empty()) return false;
    for (char c : caption)
        if (is_blank(c)) return false;
    return true;
}

void ProgramSettingsDialog::on_init() {
    MainRecord* r = get_record(p_);
    if (!r) return;
    ControlStore& c = p_.ui->controls();
    for (int row = 1; row <= 5; ++row) {
        c.set_text(kWindow, caption_edit_id(row), p_.state.price_labels[row - 1]);
        working_colors_[static_cast<size_t>(row - 1)] = p_.state.price_label_colors[row - 1];
    }
    c.set_checked(kWindow, kIdHideOnMinimize, r->hide_on_minimize);
}

void ProgramSettingsDialog::on_command(int id) {
    MainRecord* r = get_record(p_);
    for (int row = 1; row <= 5; ++row) {
        if (id == caption_color_id(row)) {
            choose_color(row);
            return;
        }
    }
    switch (id) {
        case kIdOk:
            if (!r) return;
            if (accept(*r)) p_.ui->end_dialog(kWindow, 1);
            break;
        case kIdCancel:
            p_.ui->end_dialog(kWindow, 1);
            break;
        default:
            break;
    }
}

// The chooser opens on white whatever the row shows; the custom colours the operator
// defines there are kept for the rest of the run.
void ProgramSettingsDialog::choose_color(int row) {
    if (auto chosen = p_.ui->choose_color(kWindow, kChooserStart, p_.state.custom_colors))
        working_colors_[static_cast<size_t>(row - 1)] = *chosen;
    p_.ui->invalidate_all(kWindow);
}

bool ProgramSettingsDialog::accept(MainRecord& r) {
    ControlStore& c = p_.ui->controls();
    std::string captions[5];
    for (int row = 1; row <= 5; ++row) {
        captions[row - 1] = c.text(kWindow, caption_edit_id(row), kMaxCaptionChars);
        // The file keeps each caption as one word; anything else would come back
        // split or lost at the next start.
        if (!caption_fits_settings_file(captions[row - 1])) {
            const std::string& format = txt(Txt::MsgBadPriceCaption);
            size_t at = format.find("%d");
            std::string message = format.substr(0, at) + std::to_string(row) + format.substr(at + 2);
            p_.ui->message_box(kWindow, message, txt(Txt::CaptionError), MessageButtons::Ok, MessageIcon::Exclamation);
            return false;
        }
    }
    ProgramState& s = p_.state;
    std::error_code saved;
    {
        // The port reader may save the file at the end of a read-back; it must not see
        // a caption half-written.
        LockGuard lock(s.settings_lock);
        for (int i = 0; i < 5; ++i) {
            copy_text(s.price_labels[i], sizeof s.price_labels[i], captions[i].c_str());
            s.price_label_colors[i] = working_colors_[static_cast<size_t>(i)];
        }
        r.hide_on_minimize = c.checked(kWindow, kIdHideOnMinimize);
        save_settings(p_, &saved);
    }
    if (saved) tell_settings_not_saved(p_, settings_path(p_), saved);
    for (int i = 0; i < 5; ++i) set_panel_text(p_, kIdCaption1 + i, captions[i]);
    // A caption whose text stayed the same still has to show its new colour.
    p_.ui->invalidate_all(kPanelWindow);
    return true;
}

void ProgramSettingsDialog::on_draw_item(int control_id, Canvas& canvas, const Rect& item) {
    for (int row = 1; row <= 5; ++row) {
        if (control_id != caption_color_id(row)) continue;
        canvas.fill_rect(item, kButtonFrame);
        Rect inner{item.left + 1, item.top + 1, item.right - 1, item.bottom - 1};
        canvas.fill_rect(inner, working_colors_[static_cast<size_t>(row - 1)]);
        return;
    }
}

void run_program_settings_dialog(Program& p) {
    if (!p.ui || !get_record(p)) return;
    ProgramSettingsDialog dialog(p);
    p.ui->run_dialog(kDialogProgramSettings, dialog);
}

}  // namespace kc
