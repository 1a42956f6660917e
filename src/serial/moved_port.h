// Serial link: a port setting that follows its adapter when the system renumbers it.
#pragma once
#include "state/state.h"

namespace kc {

// When the device linked to the record's port now has another number (Windows gives a
// replugged adapter the number of its new socket), the port setting and the link move
// to that number, KavorCen.ini is saved and the panel says so. True when it moved.
bool follow_moved_device(Program& p);

}  // namespace kc
