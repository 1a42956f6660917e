// Settings dialogs: dialog 141 "Harmonogram cen".
#include "dialogs/price_schedule_dialog.h"

#include <algorithm>
#include <cstdio>

#include "dialogs/dialogs.h"
#include "link/price_batch.h"
#include "resources/command_ids.h"
#include "resources/dialog_ids.h"
#include "resources/texts.h"
#include "storage/safe_file.h"

namespace kc {
namespace {

constexpr WindowId kWindow = kDialogPriceSchedule;

std::string trimmed(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    while (!s.empty() && s.front() == ' ') s.erase(0, 1);
    return s;
}

void error_box(Program& p, const std::string& text) {
    p.ui->message_box(kWindow, text, txt(Txt::CaptionError), MessageButtons::Ok, MessageIcon::Exclamation);
}

}  // namespace

std::string schedule_row(const ScheduleEntry& e) {
    char when[48];
    if (e.daily)
        std::snprintf(when, sizeof when, "%s %02d:%02d:%02d", txt(Txt::ScheduleDaily).c_str(), e.hour, e.minute,
                      e.second);
    else
        std::snprintf(when, sizeof when, "%04d-%02d-%02d %02d:%02d:%02d", e.year, e.month, e.day, e.hour, e.minute,
                      e.second);
    std::string row = when;
    for (int f = 0; f < 5; ++f) {
        row += "  " + std::to_string(f + 1) + ": " + (e.prices[f].empty() ? "-" : e.prices[f]);
        if (e.blink[f]) row += "*";
    }
    return row;
}

void PriceScheduleDialog::on_init() {
    path_ = work_file_path(p_, kScheduleName);
    FileRead read = load_schedule(path_, schedule_);
    char b[1024];
    if (!read.set_aside_as.empty()) {
        std::snprintf(b, sizeof b, txt(Txt::MsgFileSetAside).c_str(), path_.c_str(), read.set_aside_as.c_str());
        p_.ui->message_box(kWindow, b, txt(Txt::CaptionProgram), MessageButtons::Ok, MessageIcon::Warning);
    }
    fill_list();
}

void PriceScheduleDialog::fill_list() {
    ControlStore& c = p_.ui->controls();
    c.clear_items(kWindow, kIdScheduleList);
    for (const auto& e : schedule_.entries) c.add_item(kWindow, kIdScheduleList, schedule_row(e));
}

int PriceScheduleDialog::selected() const {
    const int i = p_.ui->controls().selection(kWindow, kIdScheduleList);
    return i >= 0 && static_cast<size_t>(i) < schedule_.entries.size() ? i : -1;
}

void PriceScheduleDialog::show_entry(int index) {
    if (index < 0) return;
    const ScheduleEntry& e = schedule_.entries[static_cast<size_t>(index)];
    ControlStore& c = p_.ui->controls();
    char b[32];
    std::snprintf(b, sizeof b, "%04d-%02d-%02d", e.year, e.month, e.day);
    c.set_text(kWindow, kIdScheduleDate, e.daily ? std::string() : std::string(b));
    std::snprintf(b, sizeof b, e.second ? "%02d:%02d:%02d" : "%02d:%02d", e.hour, e.minute, e.second);
    c.set_text(kWindow, kIdScheduleTime, b);
    for (int f = 0; f < 5; ++f) {
        c.set_text(kWindow, kIdSchedulePrice1 + f, e.prices[f]);
        c.set_checked(kWindow, kIdScheduleBlink1 + f, e.blink[f]);
    }
}

bool PriceScheduleDialog::read_entry(ScheduleEntry& entry) {
    ControlStore& c = p_.ui->controls();
    PriceBatch batch;
    for (int f = 0; f < 5; ++f) {
        batch.prices[f] = normalise_price_text(c.text(kWindow, kIdSchedulePrice1 + f));
        batch.blink[f] = c.checked(kWindow, kIdScheduleBlink1 + f);
    }
    if (PriceCheck check = validate_price_batch(batch); !check) {
        error_box(p_, describe_price_check(check));
        return false;
    }
    // A change with no price would blank the whole sign: surely not meant.
    if (std::all_of(batch.prices.begin(), batch.prices.end(), [](const std::string& s) { return s.empty(); })) {
        error_box(p_, txt(Txt::MsgScheduleNoPrices));
        return false;
    }
    std::string day = trimmed(c.text(kWindow, kIdScheduleDate));
    if (day.empty()) day = "codziennie";
    std::string line = day + ";" + trimmed(c.text(kWindow, kIdScheduleTime));
    for (const auto& price : batch.prices) line += ";" + price;
    line += ";";
    for (bool b : batch.blink) line += b ? 'M' : '-';
    if (!parse_schedule_line(line, entry)) {
        error_box(p_, txt(Txt::MsgScheduleBadTime));
        return false;
    }
    return true;
}

bool PriceScheduleDialog::save() {
    if (auto ec = save_schedule(path_, schedule_)) {
        char b[512];
        std::snprintf(b, sizeof b, txt(Txt::MsgScheduleWriteFailed).c_str(), file_error_reason(ec).c_str());
        error_box(p_, b);
        return false;
    }
    // The panel's timer follows the file.
    p_.ui->post_command(kPanelWindow, kCmdPriceScheduleChanged);
    return true;
}

void PriceScheduleDialog::on_command(int id) {
    switch (id) {
        case kIdScheduleList: show_entry(selected()); break;
        case kIdScheduleAdd: {
            ScheduleEntry e;
            if (!read_entry(e)) return;
            schedule_.entries.push_back(e);
            if (!save()) {
                schedule_.entries.pop_back();
                return;
            }
            fill_list();
            break;
        }
        case kIdScheduleChange:
        case kIdScheduleDelete: {
            const int i = selected();
            if (i < 0) {
                error_box(p_, txt(Txt::MsgScheduleNoSelection));
                return;
            }
            const Schedule before = schedule_;
            if (id == kIdScheduleChange) {
                ScheduleEntry e;
                if (!read_entry(e)) return;
                schedule_.entries[static_cast<size_t>(i)] = e;
            } else {
                schedule_.entries.erase(schedule_.entries.begin() + i);
            }
            if (!save()) {
                schedule_ = before;
                return;
            }
            fill_list();
            break;
        }
        case kIdCancel: p_.ui->end_dialog(kWindow, 0); break;
        default: break;
    }
}

void run_price_schedule_dialog(Program& p) {
    if (!p.ui) return;
    PriceScheduleDialog dialog(p);
    p.ui->run_dialog(kDialogPriceSchedule, dialog);
}

}  // namespace kc
