// Application core: what happens at the station that head office wants to hear of.
// Whoever notices it (the sign watch, the link to the sign, the head-office station)
// calls emit_station_event; the head-office station forwards every event to the link.
//
// Threads: any thread may emit; hooks run on the emitting thread, must not block and
// must not wait for the UI thread.
#pragma once
#include <cstdint>
#include <functional>

#include "platform/head_office.h"
#include "state/state.h"

namespace kc {

using StationEventHook = std::function<void(const StationEvent&)>;
// Adds a hook called with every event; returns an id for remove_station_event_hook.
int add_station_event_hook(Program& p, StationEventHook hook);
void remove_station_event_hook(Program& p, int id);
void emit_station_event(Program& p, const StationEvent& event);

// Calendar seconds of the last sign watch that read the sign, 0 before the first.
void note_sign_watch(Program& p, int64_t time);
int64_t last_sign_watch(Program& p);

}  // namespace kc
