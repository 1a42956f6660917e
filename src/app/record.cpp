// Application core: creating and destroying the MainRecord of the main window.
#include "app/record.h"

#include <new>

#include "link/polling.h"
#include "panel/terminal_view.h"
#include "resources/command_ids.h"
#include "resources/texts.h"
#include "script/script_runner.h"
#include "serial/port.h"
#include "storage/extra_settings_file.h"
#include "storage/file_report.h"
#include "storage/settings_file.h"
#include "text/cp1250.h"

namespace kc {
namespace {

const char* const kDefaultLabels[5] = {"AAA", "BBB", "CCC", "DDD", "EEE"};
const Color kDefaultLabelColors[5] = {0x00FF00, 0x00FFFF, 0x0000FF, 0xFFFFFF, 0xFF0000};

}  // namespace

int create_record(Program& p) {
    // The member initialisers of MainRecord hold every default of a new record.
    std::unique_ptr<MainRecord> record(new (std::nothrow) MainRecord);
    if (!record) return -1;
    record->owner_window = kMainWindow;
    record->screen.fill(0x20);
    record->font_spec = FontSpec{};
    p.record = std::move(record);

    // No worker thread runs yet, so the labels need no settings_lock here.
    for (int n = 0; n < 5; ++n) {
        copy_text(p.state.price_labels[n], sizeof p.state.price_labels[n], kDefaultLabels[n]);
        p.state.price_label_colors[n] = kDefaultLabelColors[n];
    }

    if (!load_settings(p)) {
        // The defaults are written through a temporary file, so a full disk leaves no
        // truncated file behind; the operator learns that nothing was saved.
        std::error_code error;
        save_settings(p, &error);
        if (error) tell_settings_not_saved(p, settings_path(p), error);
    }
    if (load_extra_settings(p).password_exposed)
        tell_file_failure(p, fill(Txt::MsgSettingsPasswordOpen, utf8_to_cp1250(extra_settings_path(p))));
    make_terminal_font(p);
    if (p.ui) p.ui->enable_menu_item(kCmdDisconnect, false);
    return 1;
}

int destroy_record(Program& p) {
    MainRecord* r = get_record(p);
    if (!r) return 0;

    if (r->connected) close_port(p);
    // A script that ended by itself still has a thread to join.
    if (r->script_running || r->script_thread.joinable()) stop_script(p);
    stop_polling(p);

    if (p.ui) {
        if (r->scroll1_timer_on) p.ui->kill_timer(kPanelWindow, kTimerScroll1);
        if (r->scroll2_timer_on) p.ui->kill_timer(kPanelWindow, kTimerScroll2);
        if (r->reply_timer_on) {
            p.ui->kill_timer(kPanelWindow, kTimerReply);
            r->reply_timer_on = false;
        }
        if (r->status_timers_on) {
            p.ui->kill_timer(kPanelWindow, kTimerStatus);
            p.ui->kill_timer(kPanelWindow, kTimerStatistics);
        }
        p.ui->kill_timer(kPanelWindow, kTimerBlink);
    }

    // Every worker has been told to stop by now; a thread object still joinable would
    // end the program when the record is freed.
    for (std::thread* t : {&r->reader_thread, &r->script_thread, &r->poll_thread})
        if (t->joinable()) t->join();

    p.record.reset();
    return 1;
}

}  // namespace kc
