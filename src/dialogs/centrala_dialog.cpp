// Settings dialogs: dialog 143 "Centrala".
#include "dialogs/centrala_dialog.h"

#include <atomic>
#include <filesystem>
#include <thread>

#include "dialogs/dialogs.h"
#include "platform/head_office_check.h"
#include "resources/command_ids.h"
#include "resources/dialog_ids.h"
#include "resources/texts.h"
#include "storage/extra_settings_file.h"
#include "storage/safe_file.h"
#include "storage/work_path.h"
#include "text/cp1250.h"

namespace kc {

// The check runs on a thread of its own; its answer comes back through the UI thread's
// queue and is shown only while the dialog that asked is still open.
struct CentralaDialog::Check {
    std::atomic<bool> cancel{false};
    std::thread thread;
    bool open = true;   // UI thread only: the dialog still wants the answer
    bool done = false;  // UI thread only: the answer is shown
};

namespace {

constexpr WindowId kWindow = kDialogCentrala;

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A path from an edit in the system's own text (UTF-8 on Linux, the code page on Windows).
std::string system_path(const std::string& shown) {
#ifdef _WIN32
    return shown;
#else
    return cp1250_to_utf8(shown);
#endif
}

std::string check_text(const HeadOfficeCheckRequest& r, const HeadOfficeCheckResult& result) {
    const std::string broker = utf8_to_cp1250(r.broker);
    switch (result.outcome) {
        case HeadOfficeCheckOutcome::Subscribed: return fill(Txt::CheckSubscribed, broker, r.station);
        case HeadOfficeCheckOutcome::Unreachable: return fill(Txt::CheckUnreachable, broker, result.detail);
        case HeadOfficeCheckOutcome::TlsUntrusted: return fill(Txt::CheckTlsUntrusted, broker);
        case HeadOfficeCheckOutcome::CaUnreadable: return fill(Txt::CheckCaUnreadable, shown_path(r.ca_file));
        case HeadOfficeCheckOutcome::LoginRefused: return fill(Txt::CheckLoginRefused, broker);
        case HeadOfficeCheckOutcome::NotAuthorised:
            return fill(Txt::CheckNotAuthorised, utf8_to_cp1250(r.user), r.station);
        case HeadOfficeCheckOutcome::TimedOut:
            return fill(Txt::CheckTimedOut, broker, std::to_string(kHeadOfficeCheckSeconds));
        case HeadOfficeCheckOutcome::Failed: break;
    }
    return fill(Txt::CheckFailed, broker, result.detail);
}

}  // namespace

std::string head_office_password_path(const Program& p) { return work_file_path(p, kHeadOfficePasswordName); }

CentralaDialog::~CentralaDialog() { stop_check(); }

void CentralaDialog::on_init() {
    ControlStore& c = p_.ui->controls();
    c.set_text(kWindow, kIdHoBroker, p_.extra.get(extra_key::kHeadOfficeBroker));
    c.set_text(kWindow, kIdHoStation, p_.extra.get(extra_key::kHeadOfficeStation));
    c.set_text(kWindow, kIdHoUser, utf8_to_cp1250(p_.extra.get(extra_key::kHeadOfficeUser)));
    c.set_text(kWindow, kIdHoCaFile, shown_path(p_.extra.get(extra_key::kHeadOfficeCaFile)));
    // The kept password stays where it is kept: the edit only takes a new one.
    c.set_text(kWindow, kIdHoPassword, "");
    const bool kept = !p_.extra.get(extra_key::kHeadOfficePasswordFile).empty() ||
                      !p_.extra.get(extra_key::kHeadOfficePassword).empty();
    c.set_text(kWindow, kIdHoPasswordNote, kept ? txt(Txt::CentralaPasswordKept) : "");
    c.set_text(kWindow, kIdHoCheckResult, "");
}

void CentralaDialog::on_command(int id) {
    switch (id) {
        case kIdOk:
            if (!accept()) break;
            stop_check();
            p_.ui->end_dialog(kWindow, 1);
            break;
        case kIdCancel:
            stop_check();
            p_.ui->end_dialog(kWindow, 0);
            break;
        case kIdHoChooseCa: choose_ca_file(); break;
        case kIdHoCheck: start_check(); break;
        default: break;
    }
}

void CentralaDialog::refuse(const std::string& text) {
    p_.ui->message_box(kWindow, text, txt(Txt::CaptionError), MessageButtons::Ok, MessageIcon::Exclamation);
}

std::optional<CentralaDialog::Values> CentralaDialog::read_values(bool for_check) {
    ControlStore& c = p_.ui->controls();
    Values v;
    v.broker = trimmed(c.text(kWindow, kIdHoBroker));
    v.station = trimmed(c.text(kWindow, kIdHoStation));
    v.user = cp1250_to_utf8(trimmed(c.text(kWindow, kIdHoUser)));
    v.password = cp1250_to_utf8(c.text(kWindow, kIdHoPassword));
    const std::string shown_ca = trimmed(c.text(kWindow, kIdHoCaFile));
    // A path the edit could not show exactly stays as kept while it is not changed.
    const std::string kept_ca = p_.extra.get(extra_key::kHeadOfficeCaFile);
    v.ca_file = shown_ca == shown_path(kept_ca) ? kept_ca : system_path(shown_ca);
    // Without a broker or a station the link is off: nothing more is needed then.
    const bool on = for_check || (!v.broker.empty() && !v.station.empty());
    if ((on || !v.station.empty()) && !station_id_ok(v.station)) {
        refuse(txt(Txt::CentralaBadStation));
        return std::nullopt;
    }
    if ((on || !v.broker.empty()) && !parse_broker_address(v.broker, v.host, v.port)) {
        refuse(txt(Txt::CentralaBadBroker));
        return std::nullopt;
    }
    if (on && v.ca_file.empty()) {
        refuse(txt(Txt::CentralaNoCaFile));
        return std::nullopt;
    }
    std::error_code e;
    if (!v.ca_file.empty() && !std::filesystem::is_regular_file(v.ca_file, e)) {
        refuse(fill(Txt::CentralaCaMissing, shown_path(v.ca_file)));
        return std::nullopt;
    }
    if (!v.password.empty() && !p_.passwords) {
        refuse(txt(Txt::CentralaNoPasswordStore));
        return std::nullopt;
    }
    return v;
}

bool CentralaDialog::accept() {
    std::optional<Values> v = read_values(false);
    if (!v) return false;
    bool changed = false;
    if (!v->password.empty()) {
        const std::string path = head_office_password_path(p_);
        std::string why;
        if (!p_.passwords->save(path, v->password, why)) {
            refuse(fill(Txt::CentralaPasswordFailed, shown_path(path), why));
            return false;
        }
        p_.extra.set(extra_key::kHeadOfficePasswordFile, path);
        // A password typed into the settings file by hand gives way to the kept one.
        p_.extra.erase(extra_key::kHeadOfficePassword);
        changed = true;
    }
    const std::pair<const char*, std::string> wanted[] = {
        {extra_key::kHeadOfficeBroker, v->broker},
        {extra_key::kHeadOfficeStation, v->station},
        {extra_key::kHeadOfficeUser, v->user},
        {extra_key::kHeadOfficeCaFile, v->ca_file},
    };
    for (const auto& [key, value] : wanted) {
        if (p_.extra.get(key) == value) continue;
        if (value.empty())
            p_.extra.erase(key);
        else
            p_.extra.set(key, value);
        changed = true;
    }
    // A broker and a station given mean the link is wanted, even if the file switched it off.
    if (!v->broker.empty() && !v->station.empty() && !p_.extra.get_bool(extra_key::kHeadOffice, true)) {
        p_.extra.erase(extra_key::kHeadOffice);
        changed = true;
    }
    if (!changed) return true;
    if (std::error_code e = save_extra_settings(p_))
        refuse(fill(Txt::ConnSaveFailed, shown_path(extra_settings_path(p_)), file_error_reason(e)));
    // The link follows the settings the program holds now, saved or not.
    p_.ui->post_command(kMainWindow, kCmdHeadOfficeChanged);
    return true;
}

void CentralaDialog::choose_ca_file() {
    const std::vector<FileFilter> filters = {{txt(Txt::FilterCertificates), "*.crt *.pem"},
                                             {txt(Txt::FilterAll), "*.*"}};
    if (auto path = p_.ui->choose_open_file(kWindow, filters)) p_.ui->controls().set_text(kWindow, kIdHoCaFile, *path);
}

void CentralaDialog::start_check() {
    if (check_ && !check_->done) return;  // one at a time; its answer re-enables the button
    stop_check();
    ControlStore& c = p_.ui->controls();
    if (!p_.check_head_office) {
        c.set_text(kWindow, kIdHoCheckResult, txt(Txt::CheckUnavailable));
        return;
    }
    std::optional<Values> v = read_values(true);
    if (!v) return;
    HeadOfficeCheckRequest request{v->broker, v->host, v->port, v->station,
                                   v->user.empty() ? v->station : v->user, v->password, v->ca_file};
    // Left empty, the password is the one kept.
    if (request.password.empty()) {
        const std::string file = p_.extra.get(extra_key::kHeadOfficePasswordFile);
        std::string why;
        if (!file.empty() && (!p_.passwords || !p_.passwords->load(file, request.password, why))) {
            c.set_text(kWindow, kIdHoCheckResult,
                       fill(Txt::CentralaPasswordUnreadable, why.empty() ? txt(Txt::CentralaNoPasswordStore) : why));
            return;
        }
        if (file.empty()) request.password = p_.extra.get(extra_key::kHeadOfficePassword);
    }
    c.set_text(kWindow, kIdHoCheckResult, fill(Txt::CheckRunning, utf8_to_cp1250(request.broker)));
    c.set_enabled(kWindow, kIdHoCheck, false);
    auto check = std::make_shared<Check>();
    check_ = check;
    std::weak_ptr<Check> weak = check;
    Program& p = p_;
    check->thread = std::thread([&p, weak, request, run = p_.check_head_office, check = check.get()] {
        HeadOfficeCheckResult result = run(request, check->cancel);
        std::string text = check_text(request, result);
        p.ui->post([&p, weak, text = std::move(text)] {
            auto alive = weak.lock();
            if (!alive || !alive->open) return;
            if (alive->thread.joinable()) alive->thread.join();
            p.ui->controls().set_text(kWindow, kIdHoCheckResult, text);
            p.ui->controls().set_enabled(kWindow, kIdHoCheck, true);
            alive->done = true;
        });
    });
}

void CentralaDialog::stop_check() {
    if (!check_) return;
    check_->open = false;
    check_->cancel = true;
    if (check_->thread.joinable()) check_->thread.join();
    check_.reset();
}

void run_centrala_dialog(Program& p) {
    if (!p.ui || !get_record(p)) return;
    CentralaDialog dialog(p);
    p.ui->run_dialog(kDialogCentrala, dialog);
}

}  // namespace kc
