// Persistence: KavorCen.ini, 30 numbers and five label/colour pairs, one per line.
#pragma once
#include <string>

#include "state/state.h"

namespace kc {

// "<work_directory>//KavorCen.ini"
std::string settings_path(const Program& p);

// Reads the file into the record and the program-wide state. False when there is no
// record or the file cannot be opened; true otherwise, whatever the file held.
bool load_settings(Program& p);
// Writes the whole file. False only without a record; a file that cannot be created
// is not written and still gives true. The caller holds settings_lock (or no worker
// thread runs yet).
bool save_settings(Program& p);
// Takes settings_lock by spinning, saves, releases.
bool save_settings_locked(Program& p);

}  // namespace kc
