// Benchmarks (head office link): 50 stations in this process, each a whole program on the
// headless host with the real serial backend, its own virtual sign at 19200 bit/s and
// its broker link; one push from kavor-centrala through a local Mosquitto with TLS.
// Prints the time until all confirmed beside the slowest sign's wire time, and the CPU
// of the broker and of the stations, during the push and idle.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/head_office_station.h"
#include "app/main_window.h"
#include "hosts/headless/headless_host.h"
#include "hosts/mqtt/mqtt_station.h"
#include "hosts/posix/posix_services.h"
#include "hosts/posix/system_clock.h"
#include "mqtt/test_broker.h"
#include "panel/control_panel.h"
#include "resources/command_ids.h"
#include "signsim/sign_simulator.h"

namespace {

using namespace kc;
using Steady = std::chrono::steady_clock;

constexpr int kStations = 50;
constexpr uint32_t kBaud = 19200;

struct Station {
    std::string id;
    std::unique_ptr<SignSimulator> sign;
    SystemClock clock;
    std::unique_ptr<Program> p = std::make_unique<Program>();
    HeadlessHost host;
    std::unique_ptr<MainWindow> main_window;
    std::unique_ptr<ControlPanel> panel;
    std::unique_ptr<HeadOfficeStation> office;
    mqtt::MqttStation* link = nullptr;
};

double cpu_seconds_self() {
    rusage u = {};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double cpu_seconds_of(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t close = all.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream rest(all.substr(close + 2));
    std::string field;
    long ticks = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i)
        if (i == 14 || i == 15) ticks += std::atol(field.c_str());
    return static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Seconds the line needs for the batch, its read-back and their answers at kBaud.
double wire_seconds(const SignSimulator& sign) {
    SignState scratch;
    size_t bytes = 0;
    for (const ReceivedFrame& f : sign.received()) {
        const std::string& q = f.payload;
        const bool batch = (q.size() >= 3 && q[0] == '2' && q[1] >= '1' && q[1] <= '5' && (q[2] == 'C' || q[2] == 'M')) ||
                           q == "20E" ||
                           q == "20C" || q == "20M";
        if (!batch) continue;
        bytes += f.bytes.size();
        SignSimulator::Answer a = SignSimulator::answer(scratch, q);
        bytes += a.kind == SignSimulator::Answer::Ack ? 1 : a.kind == SignSimulator::Answer::Data ? sign_frame(a.payload).size() : 0;
    }
    return static_cast<double>(bytes) * 10.0 / kBaud;
}

}  // namespace

int main() {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("kc_bench_head_office_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "config" / "kavorcen");
    setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);

    std::vector<std::string> ids;
    for (int n = 1; n <= kStations; ++n) {
        char id[8];
        std::snprintf(id, sizeof id, "st%02d", n);
        ids.push_back(id);
    }
    test::TestBroker broker(dir / "broker", ids);
    if (std::string failed = broker.start(); !failed.empty()) {
        std::printf("head office: broker did not start: %s\n", failed.c_str());
        return 1;
    }

    std::vector<std::unique_ptr<Station>> stations;
    for (int n = 1; n <= kStations; ++n) {
        auto s = std::make_unique<Station>();
        s->id = ids[static_cast<size_t>(n - 1)];
        SignOptions o;
        o.baud = kBaud;
        s->sign = std::make_unique<SignSimulator>(o);
        if (s->sign->start()) return 1;
        fs::create_symlink(s->sign->path(), dir / "config" / "kavorcen" / ("COM" + std::to_string(n)));
        Program& p = *s->p;
        p.ui = &s->host;
        p.clock = &s->clock;
        use_posix_serial(p);
        s->main_window = std::make_unique<MainWindow>(p);
        s->panel = std::make_unique<ControlPanel>(p);
        fs::create_directories(dir / s->id);
        fs::current_path(dir / s->id);
        if (!s->host.create_main_window(*s->main_window) || !s->host.create_panel(*s->panel)) return 1;
        p.extra.set(extra_key::kHeadOfficeBroker, broker.address());
        p.extra.set(extra_key::kHeadOfficeStation, s->id);
        p.extra.set(extra_key::kHeadOfficePasswordFile, broker.password_file(s->id));
        p.extra.set(extra_key::kHeadOfficeCaFile, broker.ca());
        p.record->port_number = static_cast<uint8_t>(n);
        s->host.menu(kCmdConnect);
        if (!p.record->connected) return 1;
        auto link = mqtt::make_station_link(p.extra, p.state.work_directory);
        s->link = static_cast<mqtt::MqttStation*>(link.get());
        s->office = std::make_unique<HeadOfficeStation>(p, std::move(link));
        s->office->start();
        stations.push_back(std::move(s));
    }
    fs::current_path(dir);

    auto last = Steady::now();
    auto pump = [&] {
        auto now = Steady::now();
        int ms = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(now - last).count());
        last = now;
        for (auto& s : stations) {
            s->host.advance(ms);
            s->host.pump();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    };
    auto until = [&](const std::function<bool()>& done, int seconds) {
        auto end = Steady::now() + std::chrono::seconds(seconds);
        while (!done() && Steady::now() < end) pump();
        return done();
    };
    if (!until([&] { return std::all_of(stations.begin(), stations.end(), [](auto& s) { return s->link->connected(); }); },
               60)) {
        std::printf("head office: not every station reached the broker\n");
        return 1;
    }
    // Let the retained status of every station settle before the push looks for them.
    until([] { return false; }, 2);
    for (auto& s : stations) s->sign->clear_received();

    const double broker_cpu0 = cpu_seconds_of(broker.pid()), self_cpu0 = cpu_seconds_self();
    const auto wall0 = Steady::now();
    const std::string command = std::string(KAVOR_CENTRALA) + " push --all --prices '4.59*,5.19,3.09,6.00,12'" +
                                " --timeout 60 --broker " + broker.address() + " --cafile " + broker.ca() +
                                " --user centrala --password-file " + broker.password_file("centrala") + " 2>&1";
    std::string out;
    std::atomic<int> code{-1};
    std::atomic<bool> done{false};
    std::thread runner([&] {
        FILE* f = popen(command.c_str(), "r");
        char buffer[4096];
        size_t n;
        while (f && (n = fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
        int status = f ? pclose(f) : -1;
        code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        done = true;
    });
    until([&] { return done.load(); }, 120);
    runner.join();
    const double wall = std::chrono::duration<double>(Steady::now() - wall0).count();
    const double broker_cpu = cpu_seconds_of(broker.pid()) - broker_cpu0, self_cpu = cpu_seconds_self() - self_cpu0;

    // The slowest station's time from publish to result, as kavor-centrala measured it.
    double slowest = 0;
    int confirmed = 0;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("st", 0) != 0 || line.find(" confirmed ") == std::string::npos) continue;
        ++confirmed;
        size_t s = line.rfind(" s");
        size_t b = line.rfind(' ', s - 1);
        if (s != std::string::npos && b != std::string::npos) slowest = std::max(slowest, std::atof(line.substr(b + 1).c_str()));
    }
    double wire = 0;
    for (auto& s : stations) wire = std::max(wire, wire_seconds(*s->sign));

    const double idle_self0 = cpu_seconds_self(), idle_broker0 = cpu_seconds_of(broker.pid());
    until([] { return false; }, 10);
    const double idle_self = cpu_seconds_self() - idle_self0, idle_broker = cpu_seconds_of(broker.pid()) - idle_broker0;

    std::printf("head office: %d stations, %d confirmed, kavor-centrala exit %d\n", kStations, confirmed, code.load());
    std::printf("  push to all confirmed:  %.3f s (slowest station, publish to result)\n", slowest);
    std::printf("  slowest sign's wire:    %.3f s (batch, 20C, 20M and answers at %u bit/s), ratio %.1f\n", wire, kBaud,
                wire > 0 ? slowest / wire : 0.0);
    std::printf("  kavor-centrala run:     %.3f s wall (connect, list, push, wait)\n", wall);
    std::printf("  CPU during the push:    broker %.2f s, stations %.2f s (this process: 50 programs, 50 signs)\n",
                broker_cpu, self_cpu);
    std::printf("  CPU idle over 10 s:     broker %.2f s, stations %.2f s\n", idle_broker, idle_self);

    for (auto& s : stations) {
        s->office->stop();
        s->host.destroy_main_window();
        s->sign->stop();
    }
    broker.stop();
    fs::remove_all(dir);
    return confirmed == kStations ? 0 : 1;
}
