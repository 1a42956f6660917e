// Benchmarks (head office console at scale): 2000 stations from kavor-crowd's generator on
// a local Mosquitto with TLS, kavor-centrala serve with a fresh database. Prints, beside
// their targets: the server's resident memory, a push to all 2000 through the HTTP API
// until the 2000th change is at the broker, 2000 results until the database holds them,
// and the Stacje page's first render in Chromium (bench/console_render.mjs).
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <httplib.h>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "crowd/crowd.h"
#include "mqtt/test_broker.h"

namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;
using Clock = std::chrono::steady_clock;

constexpr int kStations = 2000;
const char* const kUser = "bench";
const char* const kPassword = "bench-password-1";

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// VmRSS or VmHWM of a process, in KiB.
long proc_kib(pid_t pid, const std::string& key) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(key + ":", 0) == 0) return std::atol(line.c_str() + key.size() + 1);
    return -1;
}

pid_t spawn(const std::vector<std::string>& argv, const std::string& log) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::FILE* f = std::fopen(log.c_str(), "a");
        if (f) {
            ::dup2(fileno(f), 1);
            ::dup2(fileno(f), 2);
        }
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    return pid;
}

int run(const std::vector<std::string>& argv, const std::string& log) {
    const pid_t pid = spawn(argv, log);
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Polls `ready` until it holds or `seconds` pass.
template <class F>
bool poll_until(F ready, double seconds, std::chrono::milliseconds every = std::chrono::milliseconds(5)) {
    const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    while (Clock::now() < end) {
        if (ready()) return true;
        std::this_thread::sleep_for(every);
    }
    return ready();
}

long results_in_db(const std::string& db, const std::string& push) {
    sqlite3* h = nullptr;
    long n = -1;
    if (sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(h, 1000);
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(h, "SELECT count(*) FROM rows WHERE kind='result' AND push_id=?", -1, &s, nullptr) ==
            SQLITE_OK) {
            sqlite3_bind_text(s, 1, push.c_str(), -1, SQLITE_TRANSIENT);
            if (sqlite3_step(s) == SQLITE_ROW) n = sqlite3_column_int64(s, 0);
        }
        sqlite3_finalize(s);
    }
    sqlite3_close(h);
    return n;
}

void line(const char* what, double value, const char* unit, const char* target, bool met) {
    std::printf("  %-44s %9.1f %-4s (target %s)%s\n", what, value, unit, target, met ? "" : "  MISSED");
}

struct Bench {
    fs::path dir;
    pid_t server = -1, broker = -1;
    ~Bench() {
        for (pid_t p : {server, broker})
            if (p > 0) {
                ::kill(p, SIGTERM);
                int status = 0;
                ::waitpid(p, &status, 0);
            }
        std::error_code ec;
        if (!std::getenv("KC_BENCH_KEEP")) fs::remove_all(dir, ec);
    }
};

}  // namespace

int main() {
    Bench b;
    b.dir = fs::temp_directory_path() / ("kc_bench_console_scale_" + std::to_string(getpid()));
    fs::remove_all(b.dir);
    fs::create_directories(b.dir);
    const std::string d = b.dir.string() + "/";
    const std::string log = d + "server.log";

    // Only head office's account: the crowd speaks for every station through it.
    kc::test::TestBroker broker(b.dir / "broker", {});
    if (std::string why = broker.start(); !why.empty()) {
        std::printf("console scale: broker did not start: %s\n", why.c_str());
        return 1;
    }
    // Mosquitto queues at most 1000 QoS 1 messages per client and drops the rest: the
    // server's first subscription alone brings 4000 retained ones. Restarted without
    // that cap, on the same port, certificates and accounts.
    broker.stop();
    {
        std::ofstream conf(broker.file("mosquitto.conf"), std::ios::app);
        conf << "max_queued_messages 0\nmax_inflight_messages 0\n";
    }
    b.broker = spawn({kc::test::find_program({"mosquitto", "/usr/sbin/mosquitto"}), "-c", broker.file("mosquitto.conf")},
                     d + "mosquitto.out");
    if (!poll_until([&] { return kc::test::port_accepts(broker.port()); }, 30)) {
        std::printf("console scale: broker did not start again; see %s\n", broker.file("mosquitto.log").c_str());
        return 1;
    }
    kc::crowd::Crowd crowd;
    kc::crowd::Options co;
    co.broker = broker.address();
    co.cafile = broker.ca();
    co.user = "centrala";
    co.password_file = broker.password_file("centrala");
    co.stations = kStations;
    if (std::string why = crowd.start(co); !why.empty()) {
        std::printf("console scale: generator: %s\n", why.c_str());
        return 1;
    }
    auto t = Clock::now();
    if (!crowd.publish_stations(t + std::chrono::seconds(60))) {
        std::printf("console scale: the broker did not take the stations' status\n");
        return 1;
    }
    const double published_ms = ms(Clock::now() - t);

    const std::string db = d + "centrala.db";
    {
        std::ofstream pw(d + "bench.pw");
        pw << kPassword << "\n";
    }
    if (run({KAVOR_CENTRALA, "user", "add", kUser, "--role", "admin", "--password-file", d + "bench.pw", "--db", db},
            log) != 0) {
        std::printf("console scale: kavor-centrala user add failed; see %s\n", log.c_str());
        return 1;
    }
    const int port = kc::test::free_loopback_port();
    t = Clock::now();
    b.server = spawn({KAVOR_CENTRALA, "serve", "--broker", broker.address(), "--cafile", broker.ca(), "--user",
                      "centrala", "--password-file", broker.password_file("centrala"), "--db", db, "--listen",
                      "127.0.0.1:" + std::to_string(port), "--web", KC_BENCH_WEB},
                     log);
    if (!poll_until([&] { return kc::test::port_accepts(port); }, 30)) {
        std::printf("console scale: kavor-centrala serve did not listen; see %s\n", log.c_str());
        return 1;
    }

    httplib::Client http("127.0.0.1", port);
    http.set_read_timeout(30, 0);
    auto login = http.Post("/api/login", json{{"user", kUser}, {"password", kPassword}}.dump(), "application/json");
    if (!login || login->status != 200) {
        std::printf("console scale: login refused\n");
        return 1;
    }
    std::string cookie = login->get_header_value("Set-Cookie");
    cookie = cookie.substr(0, cookie.find(';'));
    const std::string csrf = json::parse(login->body).value("csrf", "");
    const httplib::Headers headers = {{"Cookie", cookie}, {"X-CSRF-Token", csrf}};

    size_t known = 0, list_bytes = 0;
    poll_until(
        [&] {
            auto r = http.Get("/api/stations", headers);
            if (r && r->status == 200) {
                known = json::parse(r->body)["stations"].size();
                list_bytes = r->body.size();
            }
            return known >= static_cast<size_t>(kStations);
        },
        60, std::chrono::milliseconds(50));
    const double known_ms = ms(Clock::now() - t);
    if (known < static_cast<size_t>(kStations)) {
        std::printf("console scale: the server knows only %zu stations\n", known);
        return 1;
    }
    const long rss_known = proc_kib(b.server, "VmRSS");
    const long hwm_known = proc_kib(b.server, "VmHWM");

    // A push to all, as the page sends it.
    const json body = {{"all", true},
                       {"prices", {"5.89", "6.29", "6.59", "3.19", "0.00"}},
                       {"blink", {false, false, false, false, false}}};
    t = Clock::now();
    auto pushed = http.Post("/api/push", headers, body.dump(), "application/json");
    const double answered_ms = ms(Clock::now() - t);
    if (!pushed || pushed->status != 200) {
        std::printf("console scale: push refused: %s\n", pushed ? pushed->body.c_str() : "no answer");
        return 1;
    }
    const std::string push_id = json::parse(pushed->body).value("id", "");
    const Clock::time_point last = crowd.wait_changes(kStations, Clock::now() + std::chrono::seconds(60));
    if (last == Clock::time_point{}) {
        std::printf("console scale: only %zu of %d changes reached the broker\n", crowd.changes(), kStations);
        return 1;
    }
    const double push_ms = ms(last - t);

    // All results at once, then until the database holds every one.
    t = Clock::now();
    crowd.answer_all(t + std::chrono::seconds(60));
    long stored = 0;
    poll_until([&] { return (stored = results_in_db(db, push_id)) >= kStations; }, 60);
    const double results_ms = ms(Clock::now() - t);
    if (stored < kStations) {
        std::printf("console scale: the database holds %ld of %d results\n", stored, kStations);
        return 1;
    }
    const long rss_after = proc_kib(b.server, "VmRSS");
    const long hwm = proc_kib(b.server, "VmHWM");

    // The Stacje page in Chromium, through the Node script.
    std::string render = "skipped: ";
    const std::string node = kc::test::find_program({"node", "nodejs"});
    if (node.empty()) render += "node missing";
    else if (!fs::exists(KC_SOURCE_DIR "/tests/console/node_modules/playwright-core"))
        render += "playwright-core missing (npm ci in tests/console; ./kavor build does it)";
    else if (!fs::exists("/usr/bin/chromium") && !std::getenv("KC_CHROMIUM")) render += "chromium missing";
    else render.clear();
    json figures;
    if (render.empty()) {
        const std::string out = d + "render.json";
        const int rc = run({node, KC_SOURCE_DIR "/bench/console_render.mjs", "http://127.0.0.1:" + std::to_string(port),
                            kUser, kPassword, std::to_string(kStations), out},
                           d + "render.log");
        std::ifstream in(out);
        figures = json::parse(in, nullptr, false);
        if (rc != 0 || figures.is_discarded()) {
            std::ifstream why(d + "render.log");
            render = "failed: " + std::string(std::istreambuf_iterator<char>(why), std::istreambuf_iterator<char>());
        }
    }

    const double rate = kStations / (results_ms / 1000.0);
    std::printf("console scale: %d stations, one broker (TLS), kavor-centrala serve with a fresh database\n", kStations);
    std::printf("  generator: status and state of all published in %.0f ms; server knew all %.0f ms after its start\n",
                published_ms, known_ms);
    std::printf("  /api/stations with all of them: %zu KiB\n", list_bytes / 1024);
    line("server resident memory, 2000 stations known", rss_known / 1024.0, "MiB", "< 64 MiB", rss_known < 64 * 1024);
    std::printf("  %-44s %9.1f MiB\n", "  after the push and its results", rss_after / 1024.0);
    std::printf("  %-44s %9.1f MiB\n", "  peak (VmHWM) at 2000 known", hwm_known / 1024.0);
    std::printf("  %-44s %9.1f MiB\n", "  peak (VmHWM) after the push", hwm / 1024.0);
    line("push to all: request to 2000th change at broker", push_ms, "ms", "<= 1000 ms", push_ms <= 1000);
    std::printf("  %-44s %9.1f ms\n", "  of which the HTTP answer", answered_ms);
    std::printf("  %-44s %9.1f ms\n", "2000 results until all in SQLite", results_ms);
    line("  results stored per second", rate, "/s", ">= 2000/s", rate >= 2000);
    if (!render.empty()) {
        std::printf("  Stacje page in Chromium: %s\n", render.c_str());
    } else {
        const double median = figures.value("median", 0.0);
        line("Stacje page first render, 2000 drawn (median)", median, "ms", "<= 300 ms", median <= 300);
        std::printf("  %-44s %9.1f ms  (runs: %s)\n", "  slowest of the runs", figures.value("worst", 0.0),
                    figures["runs"].dump().c_str());
        std::printf("  %-44s %9.1f ms\n", "  all 2000 in the document (median)", figures.value("drawn", 0.0));
        std::printf("  %-44s %9.1f ms\n", "  from the menu, page already loaded (median)", figures.value("inApp", 0.0));
        std::printf("  %-44s %s ms\n", "  /api/stations asked, answered (first run)", figures["api"].dump().c_str());
    }
    return 0;
}
