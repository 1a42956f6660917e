// kavor-station: one unattended station without a screen, for demos and tests of head
// office. The whole program on the headless host, the POSIX serial backend talking to
// a virtual sign of its own on a pseudo-terminal, and the head office link.
#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

#include "app/head_office_station.h"
#include "app/main_window.h"
#include "hosts/headless/headless_host.h"
#include "hosts/mqtt/mqtt_station.h"
#include "hosts/posix/posix_services.h"
#include "hosts/posix/system_clock.h"
#include "panel/control_panel.h"
#include "resources/command_ids.h"
#include "signsim/sign_simulator.h"
#include "state/state.h"

namespace {

std::atomic<bool> ending{false};
std::atomic<bool> connect_now{false};
void on_end(int) { ending = true; }
// SIGUSR1: "Połącz", for a station started in test mode (what an operator arriving would do).
void on_connect(int) { connect_now = true; }

}  // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    using namespace kc;
    CLI::App app("Stacja bez ekranu z wirtualną wieżą, połączona z centralą.", "kavor-station");
    std::string station, broker, cafile, password_file, dir;
    int stuck = 0;
    bool test_mode = false;
    app.add_option("--station", station, "identyfikator stacji")->required();
    app.add_option("--broker", broker, "broker HOST:PORT")->required();
    app.add_option("--cafile", cafile, "CA brokera")->required();
    app.add_option("--password-file", password_file, "plik z hasłem stacji")->required();
    app.add_option("--dir", dir, "katalog roboczy stacji (domyślnie ./ID)");
    app.add_option("--stuck-field", stuck, "pole 1..5 wieży, które nie zmienia cyfr")->check(CLI::Range(0, 5));
    app.add_flag("--test-mode", test_mode, "nie łącz z wieżą (tryb testowy); SIGUSR1 łączy");
    CLI11_PARSE(app, argc, argv);
    if (dir.empty()) dir = station;
    // The program works in its own folder: names given relative to ours are made whole first.
    password_file = fs::absolute(password_file).string();
    cafile = fs::absolute(cafile).string();

    fs::create_directories(fs::path(dir) / "config" / "kavorcen");
    const fs::path home = fs::absolute(dir);
    setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    SignOptions so;
    so.stuck_field = stuck;
    SignSimulator sign(so);
    if (auto e = sign.start()) {
        std::fprintf(stderr, "kavor-station: no virtual sign: %s\n", e.message().c_str());
        return 1;
    }
    const fs::path com = home / "config" / "kavorcen" / "COM1";
    fs::remove(com);
    fs::create_symlink(sign.path(), com);

    struct sigaction sa = {};
    sa.sa_handler = on_end;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    struct sigaction su = {};
    su.sa_handler = on_connect;
    sigaction(SIGUSR1, &su, nullptr);

    SystemClock clock;
    Program p;
    HeadlessHost host;
    p.ui = &host;
    p.clock = &clock;
    use_posix_serial(p);
    MainWindow main_window(p);
    ControlPanel panel(p);
    fs::current_path(home);
    if (!host.create_main_window(main_window) || !host.create_panel(panel)) return 1;
    p.extra.set(extra_key::kHeadOfficeBroker, broker);
    p.extra.set(extra_key::kHeadOfficeStation, station);
    p.extra.set(extra_key::kHeadOfficePasswordFile, password_file);
    p.extra.set(extra_key::kHeadOfficeCaFile, cafile);
    p.record->port_number = 1;
    if (!test_mode) {
        host.menu(kCmdConnect);
        if (!p.record->connected.load()) {
            std::fprintf(stderr, "kavor-station: %s: the virtual sign did not connect\n", station.c_str());
            return 1;
        }
    }
    auto link = mqtt::make_station_link(p.extra, p.state.work_directory);
    if (!link) {
        std::fprintf(stderr, "kavor-station: %s: the head office settings were refused\n", station.c_str());
        return 1;
    }
    auto* mqtt = static_cast<mqtt::MqttStation*>(link.get());
    HeadOfficeStation office(p, std::move(link));
    office.start();
    std::printf("%s %s\n", station.c_str(), sign.path().c_str());
    std::fflush(stdout);

    auto last = std::chrono::steady_clock::now();
    bool said = false;
    while (!ending) {
        const auto now = std::chrono::steady_clock::now();
        host.advance(static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(now - last).count()));
        last = now;
        host.pump();
        if (connect_now.exchange(false) && !p.record->connected.load()) host.menu(kCmdConnect);
        if (!said && mqtt->connected()) {
            std::printf("%s connected\n", station.c_str());
            std::fflush(stdout);
            said = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    office.stop();
    if (host.main_window_exists()) host.destroy_main_window();
    return 0;
}
