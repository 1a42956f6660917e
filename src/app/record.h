// Application core: creating and destroying the MainRecord of the main window.
#pragma once
#include "state/state.h"

namespace kc {

// Creates the record with its defaults, loads the settings file (writing it from the
// defaults when it cannot be read). 1 on success, -1 on failure.
int create_record(Program& p);
// Closes the port, stops the script and the polling thread, kills the panel timers,
// frees the record. 1, or 0 without a record.
int destroy_record(Program& p);

}  // namespace kc
