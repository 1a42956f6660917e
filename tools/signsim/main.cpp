// Virtual sign: the kavor-signsim program. Prints the line's path as its first line
// and answers until interrupted or until --hangup-after closes the line. SIGUSR1 changes
// the prices behind the program's back (--blank-after, --set-after).
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "signsim/sign_simulator.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;
volatile std::sig_atomic_t g_tamper = 0;
void on_signal(int) { g_stop = 1; }
void on_tamper_signal(int) { g_tamper = 1; }

// Seconds as given (fractions allowed) in milliseconds; -1 for a bad value.
int after_ms(const char* text) {
    char* end = nullptr;
    double seconds = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(seconds >= 0) || seconds > 86400.0 * 365) return -1;
    return static_cast<int>(seconds * 1000.0 + 0.5);
}

void usage() {
    std::fprintf(stderr,
                 "usage: kavor-signsim [options]\n"
                 "  --device PATH      answer on this serial device instead of a new pty\n"
                 "  --baud N           pace written bytes at N bit/s (10 bits a byte)\n"
                 "  --delay-ms N       wait N ms before each answer\n"
                 "  --drop RATE        leave this share of answers out (0..1)\n"
                 "  --corrupt RATE     send this share of answers with a bad checksum\n"
                 "  --noise RATE       put noise bytes before this share of answers\n"
                 "  --split            write each answer in two parts with a short pause\n"
                 "  --seed N           seed of the fault choices (default 1)\n"
                 "  --hangup-after N   close the line when the N-th frame arrives\n"
                 "  --log FILE         append every received frame to FILE\n"
                 "  --stuck-field N    price field N (1..5) acknowledges price commands but keeps its digits\n"
                 "  --mute TEXT        give no answer to frames whose payload is TEXT (e.g. 20C)\n"
                 "  --blank-after S    blank all five price fields S seconds after start\n"
                 "  --set-after S N=TEXT  show price TEXT (e.g. 4.59) in field N (1..5) after S seconds\n"
                 "                     SIGUSR1 makes these changes at once (without them it blanks the prices)\n"
                 "  --light N          light level the sensor reports (default 123)\n"
                 "  --temperature T    temperature text (default 21.5)\n"
                 "  --version TEXT     price controller version (default 1.07)\n");
}

}  // namespace

int main(int argc, char** argv) {
    kc::SignOptions o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "kavor-signsim: %s needs a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--device") o.device = value();
        else if (a == "--baud") o.baud = static_cast<uint32_t>(std::strtoul(value(), nullptr, 10));
        else if (a == "--delay-ms") o.delay_ms = std::atoi(value());
        else if (a == "--drop") o.drop = std::atof(value());
        else if (a == "--corrupt") o.corrupt = std::atof(value());
        else if (a == "--noise") o.noise = std::atof(value());
        else if (a == "--split") o.split = true;
        else if (a == "--seed") o.seed = static_cast<uint32_t>(std::strtoul(value(), nullptr, 10));
        else if (a == "--hangup-after") o.hangup_after = std::atoi(value());
        else if (a == "--log") o.log_path = value();
        else if (a == "--stuck-field") o.stuck_field = std::atoi(value());
        else if (a == "--mute") o.mute_payload = value();
        else if (a == "--blank-after" || a == "--set-after") {
            kc::PriceTamper t;
            t.after_ms = after_ms(value());
            if (a == "--set-after" && !kc::parse_price_tamper(value(), t)) {
                std::fprintf(stderr, "kavor-signsim: --set-after wants FIELD=TEXT with FIELD 1..5, not %s\n", argv[i]);
                return 2;
            }
            if (t.after_ms < 0) {
                std::fprintf(stderr, "kavor-signsim: %s wants seconds (0 or more)\n", a.c_str());
                return 2;
            }
            o.tampers.push_back(t);
        }
        else if (a == "--light") o.initial.light_level = std::atoi(value());
        else if (a == "--temperature") o.initial.temperature = value();
        else if (a == "--version") o.initial.version = value();
        else if (a == "--help" || a == "-h") {
            usage();
            return 0;
        } else {
            std::fprintf(stderr, "kavor-signsim: unknown option %s\n", a.c_str());
            usage();
            return 2;
        }
    }

    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
    // Before the path is printed: a script that reads it may signal at once.
    std::signal(SIGUSR1, on_tamper_signal);
    kc::SignSimulator sign(o);
    if (std::error_code e = sign.start()) {
        std::fprintf(stderr, "kavor-signsim: cannot open the line: %s\n", e.message().c_str());
        return 1;
    }
    std::printf("%s\n", sign.path().c_str());
    std::fflush(stdout);

    while (!g_stop && !sign.hung_up()) {
        if (g_tamper) {
            g_tamper = 0;
            sign.tamper_now();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    sign.stop();

    kc::SignCounters c = sign.counters();
    std::fprintf(stderr, "kavor-signsim: %zu frames (%zu bad), %zu acks, %zu replies, %zu dropped, %zu corrupted\n",
                 c.frames, c.bad_checksums, c.acks, c.replies, c.dropped, c.corrupted);
    return 0;
}
