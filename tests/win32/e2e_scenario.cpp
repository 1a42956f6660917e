// Tests (end to end): one operator session against the virtual sign on "COM1", built
// for Linux (POSIX backend) and for Windows (Win32 backend, run under Wine). The script
// run_wine_tests.sh runs both against kavor-signsim and compares the frames the sign
// logged, byte for byte.
//
//   kc_e2e_scenario prices|readback|resend|hangup
//
// Exit 0 when the session ended as it must; the reason otherwise on stderr.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "app/main_window.h"
#include "hosts/headless/headless_host.h"
#include "hosts/headless/manual_clock.h"
#include "panel/control_panel.h"
#include "resources/command_ids.h"
#include "resources/texts.h"
#include "state/state.h"
#ifdef _WIN32
#include "hosts/win32/win32_services.h"
#else
#include "hosts/posix/posix_services.h"
#endif

namespace kc {
namespace {

struct Session {
    HeadlessHost host;
    ManualClock clock;
    std::unique_ptr<Program> program = std::make_unique<Program>();
    Program& p = *program;
    MainWindow main_window{p};
    ControlPanel panel{p};
    std::string failure;

    bool check(bool ok, const std::string& what) {
        if (!ok && failure.empty()) failure = what;
        return ok;
    }
    std::string status() { return panel_text(p, kIdStatus); }
    bool idle() {
        for (int n = 1; n <= 47; ++n)
            if (slot_pending(p.state, n)) return false;
        return p.record->current_slot == 0;
    }
    // Pumps until idle; reply time-outs run `speedup` times faster than real time.
    bool wait_idle(int timeout_ms, int speedup = 1) {
        auto last = std::chrono::steady_clock::now();
        return host.pump_until(
            [&] {
                auto now = std::chrono::steady_clock::now();
                int ms = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(now - last).count());
                if (ms > 0) {
                    host.advance(ms * speedup);
                    last = now;
                }
                return idle();
            },
            timeout_ms);
    }
    void send_prices() {
        const char* prices[5] = {"4.59", "5.19", "3.09", "6.00", "12"};
        for (int n = 0; n < 5; ++n) host.type(kPanelWindow, n == 0 ? kIdPrice1 : kIdPrice2 + n - 1, prices[n]);
        host.set_check(kPanelWindow, kIdBlink1, true);
        host.press(kPanelWindow, kIdSendPrices);
    }

    bool run(const std::string& scenario) {
        p.ui = &host;
        p.clock = &clock;
#ifdef _WIN32
        use_win32_serial(p);
#else
        use_posix_serial(p);
#endif
        if (!check(host.create_main_window(main_window) && host.create_panel(panel), "windows not created")) return false;
        host.menu(kCmdConnect);
        if (!check(p.record->connected.load(), "COM1 did not open")) return false;

        if (scenario == "prices") {
            send_prices();
            check(wait_idle(5000), "prices not answered");
            // Six price frames, then the two queries that read the batch back to confirm it.
            check(p.state.ilosc_transmisji == 8 && p.state.blad_transmisji == 0, "eight clean frames expected");
            check(status() == txt(Txt::StatusConnected), "not connected after prices");
        } else if (scenario == "readback") {
            host.menu(kCmdReadback);
            check(wait_idle(5000), "read-back not finished");
            check(!p.record->readback_active && p.state.blad_transmisji == 0, "read-back failed");
            check(p.state.price_controller_version.get() == "ver.1.07", "version not read");
        } else if (scenario == "resend") {
            send_prices();
            // Real-time reply time-outs: Wine delivers port events later than Linux does,
            // and a faster clock would turn that lateness into extra resends.
            check(wait_idle(30000), "prices not answered on the lossy line");
            check(p.state.ilosc_transmisji > 8, "no answer was dropped and resent");
            check(p.state.blad_transmisji > 0, "the lost answer was not counted");
        } else if (scenario == "hangup") {
            const auto sent = std::chrono::steady_clock::now();
            send_prices();
            check(host.pump_until([&] { return status() == txt(Txt::StatusDisconnected); }, 5000),
                  "hang-up not noticed");
            // A figure for the log, not a limit: three exchanges and then the hang-up.
            std::printf("hangup: noticed %d ms after the prices were sent\n",
                        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                             std::chrono::steady_clock::now() - sent)
                                             .count()));
            check(!p.record->connected.load() && p.record->reader_thread_id == 0, "reader still running");
        } else {
            check(false, "unknown scenario " + scenario);
        }
        if (host.main_window_exists()) host.destroy_main_window();
        std::printf("%s: %d frames sent, %d errors\n", scenario.c_str(), static_cast<int>(p.state.ilosc_transmisji),
                    static_cast<int>(p.state.blad_transmisji));
        return failure.empty();
    }
};

}  // namespace
}  // namespace kc

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kc_e2e_scenario prices|readback|resend|hangup\n");
        return 2;
    }
    auto session = std::make_unique<kc::Session>();
    if (session->run(argv[1])) return 0;
    std::fprintf(stderr, "kc_e2e_scenario %s: %s\n", argv[1], session->failure.c_str());
    return 1;
}
