// Persistence: KavorCen.ini, 30 numbers and five label/colour pairs, one per line.
#pragma once
#include <string>
#include <system_error>

#include "state/state.h"

namespace kc {

// KavorCen.ini in the working folder (work_file_path)
std::string settings_path(const Program& p);

// Reads the file into the record and the program-wide state. False when there is no
// record or the file cannot be opened; true otherwise, whatever the file held.
bool load_settings(Program& p);
// The file's 40 lines for the settings in memory.
std::string settings_text(Program& p);
// Writes the whole file through a temporary file renamed over it. False only without a
// record; a file that cannot be written leaves the old one whole, still gives true, and
// puts the reason in `error`. The caller holds settings_lock (or no worker thread runs
// yet).
bool save_settings(Program& p, std::error_code* error = nullptr);
// Takes settings_lock by spinning, saves, releases; a failed save is told to the
// operator (a posted message box), so every dialog and the read-back report it.
bool save_settings_locked(Program& p);

}  // namespace kc
