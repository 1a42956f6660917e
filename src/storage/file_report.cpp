#include "storage/file_report.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <vector>

#include "resources/texts.h"
#include "storage/safe_file.h"
#include "storage/work_path.h"
#include "text/cp1250.h"

namespace kc {

struct FileTrouble {
    struct Pending {
        std::vector<std::string> paths;
        std::string alone;  // the message if no other file joins
    };
    std::mutex mutex;
    std::map<std::string, Pending> pending;  // by cause, until the posted box takes it
    std::map<std::string, uint32_t> told;  // by cause: when, in ms (now_ms)
};

namespace {

// The program's tick where there is a clock (tests move it), else a steady one.
uint32_t now_ms(Program& p) {
    if (p.clock) return p.clock->tick_ms();
    auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

FileTrouble& trouble(Program& p) {
    std::call_once(p.file_trouble_once, [&p] { p.file_trouble = std::make_shared<FileTrouble>(); });
    return *p.file_trouble;
}

std::string folder_of(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string name_of(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "Nie można zapisać plików A, B w folderze F: why." and what happens next.
std::string many_files_text(const std::vector<std::string>& paths, const std::string& why) {
    const std::string folder = folder_of(paths.front());
    bool one_folder = std::all_of(paths.begin(), paths.end(), [&](const std::string& s) { return folder_of(s) == folder; });
    std::string names;
    for (const std::string& path : paths)
        names += (names.empty() ? "" : ", ") + shown_path(one_folder ? name_of(path) : path);
    std::string text = one_folder && !folder.empty()
                           ? format_text(txt(Txt::FileTroubleManyIn), names, shown_path(folder), why)
                           : format_text(txt(Txt::FileTroubleMany), names, why);
    return text + "\n" + txt(Txt::FileTroubleLater);
}

}  // namespace

void tell_file_failure(Program& p, const std::string& text) {
    UiHost* ui = p.ui;
    if (!ui) return;
    ui->post([ui, text] {
        ui->message_box(kMainWindow, text, txt(Txt::CaptionError), MessageButtons::Ok, MessageIcon::Exclamation);
    });
}

void tell_write_failure(Program& p, const std::string& path, const std::error_code& error, const std::string& alone) {
    UiHost* ui = p.ui;
    if (!ui) return;
    const std::string why = file_error_reason(error);
    FileTrouble& t = trouble(p);
    {
        std::lock_guard<std::mutex> lock(t.mutex);
        auto waiting = t.pending.find(why);
        if (waiting != t.pending.end()) {
            // The box already on its way names this file too.
            std::vector<std::string>& paths = waiting->second.paths;
            if (std::find(paths.begin(), paths.end(), path) == paths.end()) paths.push_back(path);
            return;
        }
        const uint32_t now = now_ms(p);
        auto told = t.told.find(why);
        if (told != t.told.end() && now - told->second < static_cast<uint32_t>(kFileTroubleQuietMs)) return;
        t.told[why] = now;
        t.pending[why] = FileTrouble::Pending{{path}, alone};
    }
    // Posted: files that fail with the same cause before the UI thread gets to it join
    // this one box.
    std::shared_ptr<FileTrouble> keep = p.file_trouble;
    ui->post([ui, keep, why] {
        FileTrouble::Pending pending;
        {
            std::lock_guard<std::mutex> lock(keep->mutex);
            auto it = keep->pending.find(why);
            if (it == keep->pending.end()) return;
            pending = std::move(it->second);
            keep->pending.erase(it);
        }
        std::string text = pending.paths.size() == 1 ? pending.alone : many_files_text(pending.paths, why);
        ui->message_box(kMainWindow, text, txt(Txt::CaptionError), MessageButtons::Ok, MessageIcon::Exclamation);
    });
}

void tell_settings_not_saved(Program& p, const std::string& path, const std::error_code& error) {
    tell_write_failure(p, path, error,
                       format_text(txt(Txt::ConnSaveFailed), shown_path(path), file_error_reason(error)));
}

}  // namespace kc
