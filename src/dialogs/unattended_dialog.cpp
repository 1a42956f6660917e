// Settings dialogs: dialog 142 "Praca bez obsługi".
#include "dialogs/unattended_dialog.h"

#include "dialogs/dialogs.h"
#include "resources/command_ids.h"
#include "resources/dialog_ids.h"
#include "resources/texts.h"
#include "storage/extra_settings_file.h"
#include "storage/safe_file.h"
#include "text/cp1250.h"
#include "text/format_text.h"

namespace kc {
namespace {

constexpr WindowId kWindow = kDialogUnattended;

bool is_blank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::optional<int> parse_watch_minutes(const std::string& text) {
    size_t first = 0, last = text.size();
    while (first < last && is_blank(text[first])) ++first;
    while (last > first && is_blank(text[last - 1])) --last;
    if (first == last || last - first > 4) return std::nullopt;
    int minutes = 0;
    for (size_t i = first; i < last; ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        minutes = minutes * 10 + (text[i] - '0');
    }
    if (minutes > kSignWatchMaxMinutes) return std::nullopt;
    return minutes;
}

void UnattendedDialog::on_init() {
    ControlStore& c = p_.ui->controls();
    c.set_checked(kWindow, kIdConnectAtStart, p_.extra.get_bool(extra_key::kConnectAtStart, false));
    // The desktop's own registration is the truth: its session settings can remove it.
    c.set_checked(kWindow, kIdStartAtLogin, p_.autostart && p_.autostart->is_set());
    c.set_enabled(kWindow, kIdStartAtLogin, p_.autostart != nullptr);
    c.set_checked(kWindow, kIdSignWatch, sign_watch_period_minutes(p_.extra) > 0);
    c.set_text(kWindow, kIdSignWatchMinutes, std::to_string(sign_watch_minutes_setting(p_.extra)));
    c.set_checked(kWindow, kIdRestorePrices, p_.extra.get_bool(extra_key::kRestorePrices, false));
}

void UnattendedDialog::on_command(int id) {
    switch (id) {
        case kIdOk:
            if (accept()) p_.ui->end_dialog(kWindow, 1);
            break;
        case kIdCancel: p_.ui->end_dialog(kWindow, 0); break;
        default: break;
    }
}

bool UnattendedDialog::accept() {
    ControlStore& c = p_.ui->controls();
    bool watch = c.checked(kWindow, kIdSignWatch);
    const std::string field = c.text(kWindow, kIdSignWatchMinutes);
    std::optional<int> minutes = parse_watch_minutes(field);
    // An emptied field with the watch off loses nothing; anything else typed must be a period.
    bool empty = field.find_first_not_of(" \t") == std::string::npos;
    if (!minutes && (watch || !empty)) {
        p_.ui->message_box(kWindow, txt(Txt::MsgBadWatchPeriod), txt(Txt::CaptionError), MessageButtons::Ok,
                           MessageIcon::Exclamation);
        return false;
    }
    // 0 minutes is "do not watch"; the period before it is kept for the next time.
    int period = sign_watch_minutes_setting(p_.extra);
    if (minutes && *minutes == 0)
        watch = false;
    else if (minutes)
        period = *minutes;
    save_extra(c.checked(kWindow, kIdConnectAtStart), watch, period, c.checked(kWindow, kIdRestorePrices));
    if (p_.autostart) apply_autostart(c.checked(kWindow, kIdStartAtLogin));
    return true;
}

void UnattendedDialog::save_extra(bool connect, bool watch, int minutes, bool restore) {
    const std::pair<const char*, std::string> wanted[] = {
        {extra_key::kConnectAtStart, connect ? "1" : "0"},
        {extra_key::kSignWatch, watch ? "1" : "0"},
        {extra_key::kSignWatchMinutes, std::to_string(minutes)},
        {extra_key::kRestorePrices, restore ? "1" : "0"},
    };
    bool changed = false;
    for (const auto& [key, value] : wanted) {
        if (p_.extra.get(key) == value) continue;
        p_.extra.set(key, value);
        changed = true;
    }
    if (!changed) return;
    if (std::error_code e = save_extra_settings(p_))
        p_.ui->message_box(kWindow,
                           format_text(txt(Txt::ConnSaveFailed), utf8_to_cp1250(extra_settings_path(p_)),
                                       file_error_reason(e)),
                           txt(Txt::CaptionError), MessageButtons::Ok, MessageIcon::Exclamation);
}

void UnattendedDialog::apply_autostart(bool wanted) {
    if (wanted == p_.autostart->is_set()) return;
    if (std::error_code e = p_.autostart->set(wanted))
        p_.ui->message_box(kWindow,
                           format_text(txt(Txt::MsgAutostartFailed), utf8_to_cp1250(p_.autostart->where()),
                                       file_error_reason(e)),
                           txt(Txt::CaptionError), MessageButtons::Ok, MessageIcon::Exclamation);
}

void run_unattended_dialog(Program& p) {
    if (!p.ui || !get_record(p)) return;
    UnattendedDialog dialog(p);
    p.ui->run_dialog(kDialogUnattended, dialog);
}

}  // namespace kc
