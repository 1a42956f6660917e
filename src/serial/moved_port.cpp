// Serial link: a port setting that follows its adapter when the system renumbers it.
#include "serial/moved_port.h"

#include "resources/command_ids.h"
#include "resources/texts.h"
#include "serial/port.h"
#include "storage/settings_file.h"

namespace kc {
namespace {

// The port list offers COM1 to COM10; a number beyond it cannot be kept in the settings.
constexpr int kLastPort = 10;

}  // namespace

bool follow_moved_device(Program& p) {
    MainRecord* r = get_record(p);
    if (!r || !p.discovery || r->connected.load()) return false;
    const int from = r->port_number.load();
    const int to = p.discovery->moved_port(from);
    if (to < 1 || to > kLastPort || to == from) return false;
    PortDiscovery& d = *p.discovery;
    // The link first: a settings file that names the new number with the link left on the
    // old one would lose the adapter at the next start.
    if (d.link_port(to, d.linked_device(from))) return false;
    d.link_port(from, "");
    r->port_number = static_cast<uint8_t>(to);
    save_settings_locked(p);
    // Posted: a start that waited for the device clears its own line once connected, and
    // this line must outlast that.
    if (p.ui) {
        std::string line = fill(Txt::PortMoved, port_name(from), port_name(to));
        Program* program = &p;
        p.ui->post([program, line] { set_panel_text(*program, kIdPriceOutcome, line); });
    }
    return true;
}

}  // namespace kc
