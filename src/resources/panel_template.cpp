// Resources: the panel DYSTRDLG.
#include "resources/command_ids.h"
#include "resources/templates.h"

namespace kc {
namespace {

const ControlTemplate kControls[] = {
    {kIdStatus, ControlKind::Static, "", Rect{16, 40, 200, 60}, kCentered},
};

const DialogTemplate kPanel{kPanelTemplateId, "DYSTRDLG", "", 2000, 1000, kControls, false};

}  // namespace

const DialogTemplate& panel_template() { return kPanel; }

}  // namespace kc
