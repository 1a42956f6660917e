// Benchmarks (price confirmation): from "Wyślij" to "Potwierdzone przez wieżę" on the
// panel, against the virtual sign paced at 19200 bit/s, next to the wire time of the
// batch, "20C" and "20M" with every answer.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/main_window.h"
#include "hosts/headless/headless_host.h"
#include "hosts/headless/manual_clock.h"
#include "hosts/posix/posix_services.h"
#include "panel/control_panel.h"
#include "resources/command_ids.h"
#include "signsim/sign_simulator.h"
#include "text/cp1250.h"

namespace {

using namespace kc;
using Steady = std::chrono::steady_clock;

}  // namespace

int main() {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("kc_bench_confirm_" + std::to_string(::getpid()));
    fs::create_directories(dir / "config" / "kavorcen");
    const fs::path old = fs::current_path();
    fs::current_path(dir);

    SignOptions o;
    o.baud = 19200;
    SignSimulator sign(o);
    if (sign.start()) {
        std::fprintf(stderr, "cannot start the virtual sign\n");
        return 1;
    }
    fs::create_symlink(sign.path(), dir / "config" / "kavorcen" / "COM1");
    ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);

    int rc = 0;
    {
        HeadlessHost host;
        ManualClock clock;
        Program p;
        p.ui = &host;
        p.clock = &clock;
        use_posix_serial(p);
        MainWindow main_window(p);
        ControlPanel panel(p);
        if (!host.create_main_window(main_window) || !host.create_panel(panel)) return 1;
        host.menu(kCmdConnect);
        if (!p.record->connected) {
            std::fprintf(stderr, "cannot reach the virtual sign\n");
            return 1;
        }
        const char* prices[5] = {"4.59", "5.19", "3.09", "6.00", "1.2"};
        size_t wire_bytes = 0;
        for (const char* t : prices) wire_bytes += 3 + std::string(t).size() + 4 + 1;  // frame and ACK
        wire_bytes += 3 + 4 + 1;       // "20E" and its ACK
        wire_bytes += 3 + 4 + 35;      // "20C" and its reply
        wire_bytes += 3 + 4 + 10;      // "20M" and its reply
        const double wire_ms = 1000.0 * 10.0 * static_cast<double>(wire_bytes) / 19200.0;
        const std::string confirmed = utf8_to_cp1250("Potwierdzone");

        const int batches = 20;
        double total = 0, best = 1e9;
        for (int i = 0; i < batches; ++i) {
            for (int n = 1; n <= 5; ++n) host.type(kPanelWindow, price_edit_id(n), prices[n - 1]);
            host.type(kPanelWindow, kIdPriceOutcome, "");
            auto t0 = Steady::now();
            auto last = t0;
            host.press(kPanelWindow, kIdSendPrices);
            const bool done = host.pump_until(
                [&] {
                    auto now = Steady::now();
                    int ms = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(now - last).count());
                    if (ms > 0) {
                        host.advance(ms);
                        last = now;
                    }
                    return panel_text(p, kIdPriceOutcome).rfind(confirmed, 0) == 0;
                },
                10000);
            if (!done) {
                std::fprintf(stderr, "batch %d was not confirmed: %s\n", i, panel_text(p, kIdPriceOutcome).c_str());
                rc = 1;
                break;
            }
            const double ms = std::chrono::duration<double, std::milli>(Steady::now() - t0).count();
            total += ms;
            best = std::min(best, ms);
        }
        if (rc == 0) {
            const double mean = total / batches;
            std::printf("price batch confirmed at 19200 bit/s (batch, 20C, 20M: %zu bytes on the wire with answers)\n",
                        wire_bytes);
            std::printf("  wire time            %8.2f ms\n", wire_ms);
            std::printf("  Wyslij to Potwierdzone %6.2f ms mean, %.2f ms best over %d batches\n", mean, best, batches);
            std::printf("  ratio                %8.2f x wire time (errors %d)\n", mean / wire_ms,
                        static_cast<int>(p.state.blad_transmisji));
        }
        host.destroy_main_window();
    }
    sign.stop();
    fs::current_path(old);
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return rc;
}
