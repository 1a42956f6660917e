// Platform layer (POSIX): hands a program the real serial backend and the port names
// of this machine, so every place that runs the real program wires them the same way.
#pragma once
#include "state/state.h"
#include "link/port_reader.h"
#include "hosts/posix/port_names.h"
#include "hosts/posix/posix_files.h"
#include "hosts/posix/posix_serial.h"
#include "hosts/posix/udev_discovery.h"

namespace kc {

// The real serial port, the device each COMn reaches, the serial devices present and
// the link's reader hook.
inline void use_posix_serial(Program& p) {
    p.make_serial = make_posix_serial;
    p.describe_port = describe_port;
    if (!p.discovery) p.discovery = make_udev_discovery();
    install_link(p);
}

// The safe write's system calls (O_EXCL, owner, fsync) for every file the program
// replaces.
inline void use_posix_files() { install_file_system(&posix::posix_file_system()); }

}  // namespace kc
