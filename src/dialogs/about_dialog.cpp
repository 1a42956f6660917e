// Settings dialogs: dialog 100, the About box.
#include "dialogs/about_dialog.h"

#include "resources/dialog_ids.h"
#include "dialogs/dialogs.h"
#include "resources/command_ids.h"
#include "resources/texts.h"
#include "storage/work_path.h"

namespace kc {

void AboutDialog::on_init() {
    ControlStore& c = p_.ui->controls();
    // A dash, not an empty field: the version has not been read yet.
    std::string version = p_.state.price_controller_version.get();
    c.set_text(kDialogAbout, kIdAboutPriceController, version.empty() ? txt(Txt::AboutUnknown) : version);
    c.set_text(kDialogAbout, kIdAboutFiles, shown_work_folder(p_));
    c.set_text(kDialogAbout, kIdAboutDisplayController, p_.state.display_controller_version.get());
}

void AboutDialog::on_command(int id) {
    // Escape and the close box arrive as kIdCancel: a box that only informs closes on them.
    if (id == kIdOk || id == kIdCancel) p_.ui->end_dialog(kDialogAbout, 1);
}

// The About box needs no record: it shows program-wide texts only.
void run_about_dialog(Program& p) {
    if (!p.ui) return;
    AboutDialog dialog(p);
    p.ui->run_dialog(kDialogAbout, dialog);
}

}  // namespace kc
