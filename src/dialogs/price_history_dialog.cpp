// Settings dialogs: dialog 140 "Historia cen".
#include "dialogs/price_history_dialog.h"

#include <cstdio>

#include "dialogs/dialogs.h"
#include "resources/command_ids.h"
#include "resources/dialog_ids.h"
#include "resources/texts.h"

namespace kc {
namespace {

constexpr WindowId kWindow = kDialogPriceHistory;

std::string day_of(const LocalTime& t) {
    char b[32];
    std::snprintf(b, sizeof b, "%04d-%02d-%02d", t.year, t.month, t.day);
    return b;
}

bool day_text_ok(const std::string& s) {
    if (s.size() != 10 || s[4] != '-' || s[7] != '-') return false;
    for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (s[i] < '0' || s[i] > '9') return false;
    return true;
}

// One message for every file with broken lines or set aside.
void report(Program& p, const std::string& path, const FileRead& read) {
    const std::string problem = file_read_problem(path, read);
    if (problem.empty()) return;
    p.ui->message_box(kWindow, problem, txt(Txt::CaptionProgram), MessageButtons::Ok, MessageIcon::Warning);
}

}  // namespace

std::string history_row(const JournalEntry& e) {
    char when[40];
    std::snprintf(when, sizeof when, "%s %02d:%02d:%02d", day_of(e.when).c_str(), e.when.hour, e.when.minute,
                  e.when.second);
    std::string row = std::string(when) + "  " + e.source + "  ";
    if (!e.blink.empty()) {
        for (int f = 0; f < 5; ++f) {
            row += std::to_string(f + 1) + ": " + (e.prices[f].empty() ? "-" : e.prices[f]);
            if (e.blink[f] == 'M') row += "*";
            row += "  ";
        }
    }
    row += e.outcome;
    if (!e.shown_blink.empty() && e.shown != e.prices) {
        row += " (";
        for (int f = 0; f < 5; ++f) row += (f ? " " : "") + (e.shown[f].empty() ? "-" : e.shown[f]);
        row += ")";
    }
    if (!e.note.empty()) row += ": " + e.note;
    return row;
}

void PriceHistoryDialog::on_init() {
    // The older generation first, so that the list runs newest first when reversed.
    for (const char* name : {kJournalRotatedName, kJournalName}) {
        const std::string path = work_file_path(p_, name);
        report(p_, path, read_journal(path, entries_));
    }
    fill("");
}

void PriceHistoryDialog::fill(const std::string& day) {
    ControlStore& c = p_.ui->controls();
    c.clear_items(kWindow, kIdHistoryList);
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it)
        if (day.empty() || day_of(it->when) == day) c.add_item(kWindow, kIdHistoryList, history_row(*it));
}

void PriceHistoryDialog::on_command(int id) {
    switch (id) {
        case kIdHistoryShow:
        case kIdOk: {
            std::string day = p_.ui->controls().text(kWindow, kIdHistoryDate);
            while (!day.empty() && day.back() == ' ') day.pop_back();
            while (!day.empty() && day.front() == ' ') day.erase(0, 1);
            if (!day.empty() && !day_text_ok(day)) {
                p_.ui->message_box(kWindow, txt(Txt::MsgHistoryBadDate), txt(Txt::CaptionError), MessageButtons::Ok,
                                   MessageIcon::Exclamation);
                return;
            }
            fill(day);
            break;
        }
        case kIdCancel: p_.ui->end_dialog(kWindow, 0); break;
        default: break;
    }
}

void run_price_history_dialog(Program& p) {
    if (!p.ui) return;
    PriceHistoryDialog dialog(p);
    p.ui->run_dialog(kDialogPriceHistory, dialog);
}

}  // namespace kc
