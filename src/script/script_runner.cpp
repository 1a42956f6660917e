// Script runner: starting, running and stopping the script thread.
#include "script/script_runner.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <system_error>

#include "link/price_batch.h"
#include "resources/command_ids.h"
#include "script/placeholders.h"
#include "script/script_line.h"
#include "text/cp1250.h"

namespace kc {

namespace {

constexpr size_t kScriptMaxBytes = sizeof(ProgramState::script_text) - 1;  // 29,999
constexpr size_t kScriptPathMax = 259;

// Identifiers for script_thread_id: non-zero, new for every run.
std::atomic<uint32_t> next_thread_id{0};

uint32_t new_thread_id() {
    uint32_t id = next_thread_id.fetch_add(1) + 1;
    if (id == 0) id = next_thread_id.fetch_add(1) + 1;
    return id;
}

// Loads the file into script_text, cut at 29,999 bytes and zero-terminated.
bool load_script(ProgramState& s, const std::string& path) {
    // The edit holds Windows-1250; file names on this system are UTF-8.
    std::FILE* f = std::fopen(cp1250_to_utf8(path).c_str(), "rb");
    if (!f) return false;
    const size_t n = std::fread(s.script_text, 1, kScriptMaxBytes, f);
    s.script_text[n] = '\0';
    std::fclose(f);
    return true;
}

// Ends a thread left from an earlier run, also one still in the pause of its last line.
void end_thread(MainRecord& r) {
    {
        std::lock_guard<std::mutex> lock(r.script_mutex);
        r.script_stop = true;
    }
    r.script_wake.notify_all();
    r.script_running = false;
    if (r.script_thread.joinable() && r.script_thread.get_id() != std::this_thread::get_id()) r.script_thread.join();
    r.script_running = false;
    r.script_thread_id = 0;
}

void write_slot(ProgramState& s, int number, const char* command) {
    LockGuard lock(s.slot_lock);
    fill_slot(s, number, command);
}

}  // namespace

bool script_pause(MainRecord& r, uint32_t ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    std::unique_lock<std::mutex> lock(r.script_mutex);
    return !r.script_wake.wait_until(lock, deadline, [&r] { return r.script_stop; });
}

bool script_stop_requested(MainRecord& r) {
    std::lock_guard<std::mutex> lock(r.script_mutex);
    return r.script_stop;
}

bool start_script(Program& p) {
    MainRecord* r = get_record(p);
    if (!r) return false;
    if (r->script_thread.joinable()) end_thread(*r);

    ProgramState& s = p.state;
    s.script_text[0] = '\0';
    const std::string path = panel_text(p, kIdScriptPath, kScriptPathMax);
    if (path.empty() || !load_script(s, path)) return false;

    {
        std::lock_guard<std::mutex> lock(r->script_mutex);
        r->script_stop = false;
    }
    // Set before the thread exists: it loops only while the flag is set, and clears
    // the id as its own last act.
    r->script_running = true;
    r->script_thread_id = new_thread_id();
    note_script(p, true);
    try {
        r->script_thread = std::thread([&p] { script_loop(p); });
    } catch (const std::system_error&) {
        r->script_running = false;
        r->script_thread_id = 0;
        note_script(p, false);
        return false;
    }
    return true;
}

void stop_script(Program& p) {
    if (MainRecord* r = get_record(p)) end_thread(*r);
}

int script_loop(Program& p) {
    MainRecord* r = get_record(p);
    if (!r) return 1;
    ProgramState& s = p.state;
    ScriptRun run{p, *r};
    ScriptLine line;
    bool pause = true;  // a run starts as if after a comment

    while (r->script_running) {
        if (script_stop_requested(*r)) break;
        if (pause && !script_pause(*r, 1)) break;

        bool last = false;
        run.read_position = take_line(s.script_text, run.read_position, line, last);
        if (last) r->script_running = false;  // unless a {G} sets it again

        if (!expand_placeholders(run, line)) break;

        char command[kLineBuffer];
        const int slot_number = route_line(line, command, sizeof command);
        if (slot_number != 0) {
            if (script_stop_requested(*r)) break;
            write_slot(s, slot_number, command);
        }
        pause = !is_address_line(line);
    }

    r->script_running = false;
    note_script(p, false);
    r->script_thread_id = 0;
    return 1;
}

}  // namespace kc
