#include "storage/file_report.h"

#include "resources/texts.h"
#include "storage/safe_file.h"
#include "text/cp1250.h"

namespace kc {

void tell_file_failure(Program& p, const std::string& text) {
    UiHost* ui = p.ui;
    if (!ui) return;
    ui->post([ui, text] {
        ui->message_box(kMainWindow, text, txt(Txt::CaptionError), MessageButtons::Ok, MessageIcon::Exclamation);
    });
}

void tell_settings_not_saved(Program& p, const std::string& path, const std::error_code& error) {
    tell_file_failure(p, fill(Txt::ConnSaveFailed, utf8_to_cp1250(path), file_error_reason(error)));
}

}  // namespace kc
