// Script runner tests: a program with a headless host, a manual clock and a script
// file in a temporary folder.
#pragma once
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include <unistd.h>

#include "state/state.h"
#include "hosts/headless/headless_host.h"
#include "hosts/headless/manual_clock.h"
#include "resources/command_ids.h"
#include "script/script_runner.h"

namespace kc::test {

// Polls `done` every millisecond for at most `timeout_ms` of real time.
inline bool wait_until(const std::function<bool()>& done, int timeout_ms = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Runs `work` on a thread and waits at most `timeout_ms` for it. A call that does not
// come back ends the test binary instead of hanging it.
inline void within(int timeout_ms, const char* what, std::function<void()> work) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread t([work, done] {
        work();
        *done = true;
    });
    if (!wait_until([&] { return done->load(); }, timeout_ms)) {
        std::fprintf(stderr, "%s did not return within %d ms\n", what, timeout_ms);
        std::_Exit(1);
    }
    t.join();
}

class ScriptTest : public ::testing::Test {
protected:
    void SetUp() override {
        p = std::make_unique<Program>();
        p->ui = &host;
        p->clock = &clock;
        p->record = std::make_unique<MainRecord>();
        static int counter = 0;
        dir = std::filesystem::temp_directory_path() /
              ("kc_script_" + std::to_string(::getpid()) + "_" + std::to_string(++counter));
        std::filesystem::create_directories(dir);
        path = (dir / "script.txt").string();
        host.type(kPanelWindow, kIdScriptPath, path);
    }

    void TearDown() override {
        within(5000, "stop_script", [this] { stop_script(*p); });
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    void write_script(const std::string& bytes) {
        std::ofstream f(path, std::ios::binary | std::ios::trunc);
        f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    MainRecord& record() { return *p->record; }
    bool thread_alive() { return record().script_thread_id != 0; }

    // Starts the script and waits for it to end by itself.
    void run_to_end(const std::string& bytes) {
        write_script(bytes);
        ASSERT_TRUE(start_script(*p));
        ASSERT_TRUE(wait_until([this] { return !thread_alive(); })) << "the run did not end by itself";
        EXPECT_FALSE(record().script_running);
    }

    // A slot's text read under slot_lock, as the polling thread would.
    std::string slot(int number) {
        LockGuard lock(p->state.slot_lock);
        return slot_text(p->state, number);
    }
    bool pending(int number) { return slot_pending(p->state, number); }

    HeadlessHost host;
    ManualClock clock;
    std::unique_ptr<Program> p;
    std::filesystem::path dir;
    std::string path;
};

}  // namespace kc::test
