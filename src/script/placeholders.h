// Script runner: expanding the placeholders {C} {D} {P} {T} {S...} {G} and {} of a
// line in place.
#pragma once
#include <cstddef>
#include <cstdint>

#include "state/state.h"
#include "script/script_line.h"

namespace kc {

// The run a line belongs to: what the placeholders read and change.
struct ScriptRun {
    Program& program;
    MainRecord& record;
    size_t read_position = 0;  // {G} sets it back to 0
};

// The pause count of a {S...} group: at most ten characters after S, read as a
// decimal number (leading blanks and a sign allowed, stops at the first non-digit,
// no digits give 0), taken modulo 2^32 as an unsigned 32-bit count.
uint32_t pause_count(const char* after_s, size_t available);

// Rewrites `line` in place. Pauses for {S...} groups as they are met; returns false
// when a stop request cut a pause short (the rest of the line is then not handled).
bool expand_placeholders(ScriptRun& run, ScriptLine& line);

// Waits `ms` milliseconds or until a stop is requested; false when stopped.
bool script_pause(MainRecord& r, uint32_t ms);
// Whether stop_script has asked the running thread to end.
bool script_stop_requested(MainRecord& r);

}  // namespace kc
