// Application core: station events and their hooks.
#include "app/station_events.h"

#include <atomic>
#include <map>
#include <mutex>
#include <vector>

namespace kc {

struct StationEventHub {
    std::mutex mutex;
    std::map<int, StationEventHook> hooks;
    int next_id = 0;
    std::atomic<int64_t> last_watch{0};
};

namespace {

StationEventHub& hub(Program& p) {
    std::call_once(p.station_events_once, [&p] { p.station_events = std::make_shared<StationEventHub>(); });
    return *p.station_events;
}

}  // namespace

int add_station_event_hook(Program& p, StationEventHook hook) {
    StationEventHub& h = hub(p);
    std::lock_guard lock(h.mutex);
    h.hooks[h.next_id] = std::move(hook);
    return h.next_id++;
}

void remove_station_event_hook(Program& p, int id) {
    StationEventHub& h = hub(p);
    std::lock_guard lock(h.mutex);
    h.hooks.erase(id);
}

void emit_station_event(Program& p, const StationEvent& event) {
    std::vector<StationEventHook> hooks;
    {
        // Copied so a hook may add or remove hooks without deadlock.
        StationEventHub& h = hub(p);
        std::lock_guard lock(h.mutex);
        for (auto& [id, hook] : h.hooks) hooks.push_back(hook);
    }
    for (auto& hook : hooks) hook(event);
}

void note_sign_watch(Program& p, int64_t time) { hub(p).last_watch = time; }
int64_t last_sign_watch(Program& p) { return hub(p).last_watch; }

}  // namespace kc
