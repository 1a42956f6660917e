// Settings dialog tests: the About box.
#include "dialogs/about_dialog.h"

#include "dialog_fixture.h"
#include "resources/dialog_ids.h"
#include "dialogs/dialogs.h"
#include "resources/command_ids.h"
#include "resources/templates.h"
#include "resources/texts.h"

namespace kc {
namespace {

using AboutTest = DialogTest;

TEST_F(AboutTest, shows_the_versions_a_dash_for_one_not_read_and_where_the_files_are) {
    std::string version, controller = "x", files;
    host.on_dialog(kDialogAbout, [&](WindowId w) {
        version = host.controls().text(w, kIdAboutVersion);
        controller = host.controls().text(w, kIdAboutPriceController);
        files = host.controls().text(w, kIdAboutFiles);
        host.press(w, kIdOk);
    });
    run_about_dialog(p);
    EXPECT_EQ(version, "Kavor Cen :  ver.1.3.5");
    EXPECT_EQ(controller, txt(Txt::AboutUnknown)) << "nothing read back yet";
    EXPECT_EQ(files, p.state.work_directory);
    // No address the maker never gave.
    for (const ControlTemplate& c : find_dialog_template(kDialogAbout)->controls)
        EXPECT_EQ(std::string(c.text ? c.text : "").find('@'), std::string::npos) << c.text;

    p.state.price_controller_version.set("ver.2.07");
    run_about_dialog(p);
    EXPECT_EQ(controller, "ver.2.07");
}

TEST_F(AboutTest, ok_escape_and_the_close_box_close_it_and_nothing_else_does) {
    AboutDialog dialog(p);
    // Escape and the close box both arrive as kIdCancel; a box left open gives 0 here.
    struct Case {
        int press;
        int result;
    } cases[] = {{kIdOk, 1}, {kIdCancel, 1}, {kIdAboutVersion, 0}};
    for (const Case& c : cases) {
        host.on_dialog(kDialogAbout, [&](WindowId w) { host.press(w, c.press); });
        EXPECT_EQ(host.run_dialog(kDialogAbout, dialog), c.result) << c.press;
    }
}

}  // namespace
}  // namespace kc
