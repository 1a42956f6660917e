// Script runner benchmark: CPU time the script thread spends on a script that loops
// for ever over comments and pauses, as a percentage of one core.
// Usage: bench_script_cpu [seconds]   (default 10)
#include <pthread.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "state/state.h"
#include "hosts/headless/headless_host.h"
#include "hosts/headless/manual_clock.h"
#include "resources/command_ids.h"
#include "script/script_runner.h"

namespace {

double thread_cpu_seconds(pthread_t thread) {
    clockid_t id;
    if (pthread_getcpuclockid(thread, &id) != 0) return -1;
    timespec ts{};
    if (clock_gettime(id, &ts) != 0) return -1;
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;

    kc::HeadlessHost host;
    kc::ManualClock clock;
    auto p = std::make_unique<kc::Program>();
    p->ui = &host;
    p->clock = &clock;
    p->record = std::make_unique<kc::MainRecord>();

    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("kc_bench_script_" + std::to_string(getpid()) + ".txt");
    {
        std::ofstream f(path, std::ios::binary);
        f << "# a looping script of comments and pauses\r\n"
             "# comment\r\n"
             "\r\n"
             "{S0}\r\n"
             "# {C} {D} placeholders in a comment\r\n"
             "{S2}\r\n"
             "# another comment\r\n"
             "{S1}{G}\r\n";
    }
    host.type(kc::kPanelWindow, kc::kIdScriptPath, path.string());

    if (!kc::start_script(*p)) {
        std::fprintf(stderr, "cannot start the script\n");
        return 1;
    }
    const pthread_t thread = p->record->script_thread.native_handle();
    const auto started = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double cpu = thread_cpu_seconds(thread);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    const auto stop_begin = std::chrono::steady_clock::now();
    kc::stop_script(*p);
    const double stop_ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - stop_begin).count();
    std::filesystem::remove(path);

    std::printf("script_cpu: %.1f s looping over comments and pauses\n", wall);
    std::printf("script thread CPU: %.3f s = %.2f %% of one core\n", cpu, 100.0 * cpu / wall);
    std::printf("stop took %.2f ms\n", stop_ms);
    return 0;
}
