// Script runner: plays a script file of price commands into the price slots, with
// the placeholders {C} {D} {P} {T} {S...} {G} and {}.
#pragma once
#include "state/state.h"

namespace kc {

// Loads script_text from the path in the panel's edit 1022 and starts script_loop on
// its thread. False for an empty path, a file that cannot be opened, or no thread.
bool start_script(Program& p);
// Ends a run at once, also in the middle of a pause, never with a lock held or a slot
// half-written; joins the thread and clears script_running and the thread fields.
// Safe when no run exists or the run ended by itself.
void stop_script(Program& p);
// The thread procedure; returns 1.
int script_loop(Program& p);

}  // namespace kc
