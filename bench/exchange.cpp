// Benchmarks (controller exchange): a price batch against the paced virtual sign next to
// its wire time at 19200 and 115200 bit/s, round trips per second unpaced, and the idle
// polling thread's CPU use and wake-ups.
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "state/state.h"
#include "link/polling.h"
#include "hosts/headless/headless_host.h"
#include "hosts/posix/posix_services.h"
#include "resources/command_ids.h"
#include "serial/port.h"
#include "signsim/sign_simulator.h"

namespace {

using namespace kc;
using Steady = std::chrono::steady_clock;

class ReplyTimerPanel : public WindowProcedure {
public:
    explicit ReplyTimerPanel(Program& p) : p_(p) {}
    void on_timer(int id) override {
        if (id == kTimerReply) on_reply_timeout(p_);
    }

private:
    Program& p_;
};

std::set<int> task_ids() {
    std::set<int> ids;
    for (auto& e : std::filesystem::directory_iterator("/proc/self/task")) ids.insert(std::stoi(e.path().filename()));
    return ids;
}

// User plus system time of one thread, in clock ticks.
long thread_ticks(int tid) {
    std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t close = all.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream rest(all.substr(close + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14) utime = std::atol(field.c_str());
        if (i == 15) stime = std::atol(field.c_str());
    }
    return utime + stime;
}

// Voluntary plus involuntary context switches of one thread.
long thread_switches(int tid) {
    std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/status");
    std::string line;
    long n = 0;
    while (std::getline(in, line))
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
            n += std::atol(line.c_str() + line.find(':') + 1);
    return n;
}

struct Bench {
    HeadlessHost host;
    Program p;
    ReplyTimerPanel panel{p};
    std::filesystem::path dir;

    Bench() {
        dir = std::filesystem::temp_directory_path() / ("kc_bench_exchange_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir / "kavorcen");
        ::setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
        p.ui = &host;
        p.record = std::make_unique<MainRecord>();
        copy_text(p.state.work_directory, sizeof p.state.work_directory, dir.c_str());
        use_posix_serial(p);
        host.create_panel(panel);
    }
    ~Bench() {
        stop_polling(p);
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }

    bool connect_to(const std::string& device) {
        std::filesystem::path link = dir / "kavorcen" / "COM1";
        std::filesystem::remove(link);
        std::filesystem::create_symlink(device, link);
        return open_port(p) == 1;
    }
    bool idle() {
        for (int n = 1; n <= 47; ++n)
            if (slot_pending(p.state, n)) return false;
        return p.record->current_slot == 0;
    }
    // Pumps with the reply timer on real time until the queue is idle. Looks every
    // `step_us`, so that the bench's own wait is not what it measures.
    bool run_until_idle(int timeout_ms, int step_us) {
        auto last = Steady::now();
        const auto deadline = last + std::chrono::milliseconds(timeout_ms);
        for (;;) {
            host.pump();
            auto now = Steady::now();
            int ms = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(now - last).count());
            if (ms > 0) {
                host.advance(ms);
                last += std::chrono::milliseconds(ms);
            }
            if (idle()) return true;
            if (now >= deadline) return false;
            std::this_thread::sleep_for(std::chrono::microseconds(step_us));
        }
    }
};

}  // namespace

int main() {
    // Short sleeps of the bench's own wait loop stay short.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    const char* prices[5] = {"21C4.59", "22M5.19", "23C3.09", "24C6.00", "25C1.2"};
    Bench b;

    // The polling thread is the task that appears when it starts.
    std::set<int> before = task_ids();
    if (start_polling(b.p) != 1) {
        std::fprintf(stderr, "cannot start the polling thread\n");
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    int poll_tid = 0;
    for (int t : task_ids())
        if (!before.count(t)) poll_tid = t;

    // 1. Five prices and "20E" against the sign paced at the line speed.
    for (uint32_t baud : {19200u, 115200u}) {
        SignOptions o;
        o.baud = baud;
        SignSimulator sign(o);
        b.p.record->baud_rate = baud;
        if (sign.start() || !b.connect_to(sign.path())) {
            std::fprintf(stderr, "cannot reach the virtual sign\n");
            return 1;
        }
        size_t wire_bytes = 6;  // the ACKs
        for (const char* t : prices) wire_bytes += std::string(t).size() + 4;
        wire_bytes += 3 + 4;
        double wire_ms = 1000.0 * 10.0 * static_cast<double>(wire_bytes) / baud;

        const int batches = 20;
        const int errors_before = b.p.state.blad_transmisji;
        double total_ms = 0, best_ms = 1e9;
        std::vector<double> times;
        for (int i = 0; i < batches; ++i) {
            auto t0 = Steady::now();
            {
                LockGuard g(b.p.state.slot_lock);
                for (int n = 0; n < 5; ++n) fill_slot(b.p.state, 3 + n, prices[n]);
                fill_slot(b.p.state, 46, "20E");
                b.p.state.slot_cursor = 2;
            }
            // 0.1 ms steps: small beside the batch, and the bench's own CPU use stays low.
            if (!b.run_until_idle(10000, 100)) {
                std::fprintf(stderr, "batch %d did not finish\n", i);
                return 1;
            }
            double ms = std::chrono::duration<double, std::milli>(Steady::now() - t0).count();
            total_ms += ms;
            best_ms = std::min(best_ms, ms);
            times.push_back(ms);
        }
        double mean_ms = total_ms / batches;
        std::sort(times.begin(), times.end());
        double median_ms = (times[batches / 2 - 1] + times[batches / 2]) / 2;
        std::printf("price batch at %u bit/s (5 prices + 20E, %zu bytes on the wire incl. ACKs)\n", baud, wire_bytes);
        std::printf("  wire time        %8.2f ms\n", wire_ms);
        std::printf("  to the last ACK  %8.2f ms mean, %.2f ms best over %d batches\n", mean_ms, best_ms, batches);
        std::printf("  ratio            %8.2f x wire time (errors %d), median %.2f x\n", mean_ms / wire_ms,
                    static_cast<int>(b.p.state.blad_transmisji) - errors_before, median_ms / wire_ms);
        close_port(b.p);
    }
    b.p.record->baud_rate = 19200;

    // 2. Round trips per second on an unpaced line.
    {
        SignSimulator sign;
        if (sign.start() || !b.connect_to(sign.path())) {
            std::fprintf(stderr, "cannot reach the virtual sign\n");
            return 1;
        }
        int trips = 0;
        auto t0 = Steady::now();
        while (Steady::now() - t0 < std::chrono::seconds(3)) {
            {
                LockGuard g(b.p.state.slot_lock);
                fill_slot(b.p.state, 46, "20E");
            }
            if (!b.run_until_idle(5000, 20)) break;
            ++trips;
        }
        double s = std::chrono::duration<double>(Steady::now() - t0).count();
        std::printf("unpaced round trips  %8.1f per second (%d in %.1f s)\n", trips / s, trips, s);
        close_port(b.p);
    }

    // 3. The polling thread's CPU use and wake-ups with nothing queued.
    {
        long ticks_per_s = ::sysconf(_SC_CLK_TCK);
        long t0 = thread_ticks(poll_tid);
        long s0 = thread_switches(poll_tid);
        auto w0 = Steady::now();
        std::this_thread::sleep_for(std::chrono::seconds(10));
        long t1 = thread_ticks(poll_tid);
        long s1 = thread_switches(poll_tid);
        double wall = std::chrono::duration<double>(Steady::now() - w0).count();
        double cpu = static_cast<double>(t1 - t0) / static_cast<double>(ticks_per_s);
        std::printf("idle polling thread  %8.2f %% of one core (%.2f s CPU over %.1f s), %.1f wake-ups/s\n",
                    100.0 * cpu / wall, cpu, wall, static_cast<double>(s1 - s0) / wall);
    }
    return 0;
}
