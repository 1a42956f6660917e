// Benchmarks: the whole program at rest, as an operator leaves it. Measures the real
// kavor-cen idle in test mode, then the same program connected to the virtual sign
// (with its status query every second), then connected with the sign watch reading the
// prices back every 2 s (a short period set through the watch's test hook; an operator's
// shortest is a minute), each for 30 s on the offscreen platform:
// CPU time of all its threads as % of one core, and wake-ups per second (voluntary and
// involuntary context switches of all its threads), both read from /proc.
//
//   bench_idle [seconds]            default 30 s a mode
//   bench_idle --program [connect [watch]]  internal: the program itself, pressing "Połącz"
//
// The connected run is this binary started again with --program connect: the same
// wiring as kavor-cen's main, which then triggers the menu command "Połącz" once the
// window is up. COM1 reaches the virtual sign through $XDG_CONFIG_HOME/kavorcen/COM1.
#if __has_include(<QApplication>)
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/main_window.h"
#include "app/sign_watch.h"
#include "hosts/posix/posix_services.h"
#include "hosts/posix/system_clock.h"
#include "hosts/qt/qt_host.h"
#include "resources/command_ids.h"
#include "signsim/sign_simulator.h"
#include "state/state.h"

namespace {

namespace fs = std::filesystem;
using Steady = std::chrono::steady_clock;

constexpr int kWatchPeriodMs = 2000;

int run_program_child(int argc, char** argv, bool connect, bool watch) {
    int qt_argc = 1;
    QApplication app(qt_argc, argv);
    (void)argc;
    kc::QtHost host;
    kc::SystemClock clock;
    auto program = std::make_unique<kc::Program>();
    kc::Program& p = *program;
    p.ui = &host;
    p.clock = &clock;
    kc::use_posix_serial(p);
    if (watch) kc::set_sign_watch_test_period(kWatchPeriodMs);
    if (connect) {
        // What the operator does once the window is up.
        QTimer::singleShot(200, [&host] {
            if (QAction* a = host.menu_action(kc::kCmdConnect)) a->trigger();
        });
    }
    return kc::run_program(p);
}

struct Counts {
    double cpu_s = 0;        // run time
    long long switches = 0;  // voluntary + involuntary
};
using Sample = std::map<int, Counts>;  // by thread id

std::string read_all(const fs::path& path) {
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Run time from schedstat (nanoseconds), which is finer than the 10 ms ticks of stat.
Sample sample(pid_t pid) {
    Sample all;
    std::error_code ec;
    for (auto& task : fs::directory_iterator(fs::path("/proc") / std::to_string(pid) / "task", ec)) {
        Counts c;
        std::istringstream sched(read_all(task.path() / "schedstat"));
        unsigned long long ns = 0;
        if (sched >> ns) c.cpu_s = static_cast<double>(ns) / 1e9;
        std::istringstream status(read_all(task.path() / "status"));
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
                c.switches += std::atoll(line.c_str() + line.find(':') + 1);
        }
        all[std::atoi(task.path().filename().c_str())] = c;
    }
    return all;
}

// What the threads alive at the end did since `before` (a thread that ended meanwhile,
// such as an idle worker of Qt's thread pool, is left out rather than counted negative).
Counts since(const Sample& before, const Sample& after) {
    Counts d;
    for (auto& [tid, c] : after) {
        auto old = before.find(tid);
        d.cpu_s += c.cpu_s - (old != before.end() ? old->second.cpu_s : 0);
        d.switches += c.switches - (old != before.end() ? old->second.switches : 0);
    }
    return d;
}

int thread_count(pid_t pid) {
    int n = 0;
    std::error_code ec;
    for (auto it = fs::directory_iterator(fs::path("/proc") / std::to_string(pid) / "task", ec);
         it != fs::directory_iterator(); ++it)
        ++n;
    return n;
}

pid_t start(const std::vector<std::string>& args, const fs::path& folder) {
    pid_t pid = ::fork();
    if (pid != 0) return pid;
    if (::chdir(folder.c_str()) != 0) _exit(126);
    int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0) {
        ::dup2(null, 1);
        ::dup2(null, 2);
    }
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    _exit(127);
}

void finish(pid_t pid) {
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
}

// Lets the program settle, then measures it for `seconds`.
bool measure(const char* label, pid_t pid, int seconds, const std::function<bool()>& healthy = {}) {
    std::this_thread::sleep_for(std::chrono::seconds(3));
    if (::waitpid(pid, nullptr, WNOHANG) != 0) {
        std::fprintf(stderr, "idle: the program ended early (%s)\n", label);
        return false;
    }
    if (healthy && !healthy()) {
        std::fprintf(stderr, "idle: the program is not in the expected state (%s)\n", label);
        return false;
    }
    Sample a = sample(pid);
    auto t0 = Steady::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    Counts d = since(a, sample(pid));
    double wall = std::chrono::duration<double>(Steady::now() - t0).count();
    std::printf("%-28s %6.3f %% of one core  %8.1f wake-ups/s  (%d threads, %.0f s)\n", label,
                100.0 * d.cpu_s / wall, static_cast<double>(d.switches) / wall, thread_count(pid), wall);
    std::fflush(stdout);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--program") == 0)
        return run_program_child(argc, argv, argc >= 3 && std::strcmp(argv[2], "connect") == 0,
                                 argc >= 4 && std::strcmp(argv[3], "watch") == 0);

    const int seconds = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 30;
    const fs::path self = fs::read_symlink("/proc/self/exe");
    const fs::path program = self.parent_path().parent_path() / "kavor-cen";
    if (!fs::exists(program)) {
        std::fprintf(stderr, "idle: %s is missing\n", program.c_str());
        return 1;
    }
    const fs::path folder = fs::temp_directory_path() / ("kc_bench_idle_" + std::to_string(::getpid()));
    fs::create_directories(folder / "config" / "kavorcen");
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);

    std::printf("whole program at rest (offscreen platform, /proc of all its threads)\n");
    int result = 0;
    {
        pid_t pid = start({program.string()}, folder);
        if (!measure("  kavor-cen, test mode", pid, seconds)) result = 1;
        finish(pid);
    }
    for (bool watch : {false, true}) {
        kc::SignSimulator sign;
        if (sign.start()) {
            std::fprintf(stderr, "idle: cannot start the virtual sign\n");
            return 1;
        }
        fs::path link = folder / "config" / "kavorcen" / "COM1";
        fs::remove(link);
        fs::create_symlink(sign.path(), link);
        if (watch) {
            // The watch on, and confirmed prices that the blank virtual sign shows: each
            // read finds the sign as confirmed, as it is on most days.
            std::ofstream(folder / "KavorCen-dodatkowe.ini")
                << "sign_watch=1\nsign_watch_minutes=1\nconfirmed_prices=-----;;;;;\n";
        }
        std::vector<std::string> args = {self.string(), "--program", "connect"};
        if (watch) args.push_back("watch");
        pid_t pid = start(args, folder);
        // Connected means the status queries reach the sign.
        auto healthy = [&sign] { return sign.counters().frames >= 2; };
        auto reads = [&sign] {
            size_t n = 0;
            for (const auto& f : sign.received()) n += f.payload == "20C";
            return n;
        };
        const size_t reads_before = reads();
        if (!measure(watch ? "  connected, watch every 2 s" : "  connected to the sign", pid, seconds, healthy))
            result = 1;
        size_t frames = sign.counters().frames;
        const size_t watch_reads = reads() - reads_before;
        finish(pid);
        if (watch)
            std::printf("  (the sign received %zu frames, %zu of them watch reads \"20C\")\n", frames, watch_reads);
        else
            std::printf("  (the sign received %zu frames)\n", frames);
    }
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return result;
}
#else
#include <cstdio>
int main() {
    std::printf("idle: built without Qt, nothing to measure\n");
    return 0;
}
#endif
