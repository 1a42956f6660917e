// Benchmarks (head office server): `kavor-centrala serve` as its own process against a
// local Mosquitto with TLS, fed by a generator that stands in for 2000 stations (their
// retained status and state, then a result for every change). Prints how soon the
// server knows them all and lists them, how long a push to all 2000 takes to reach the
// broker, how many results a second go into SQLite, and the server's resident memory.
#include <mosquitto.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "mqtt/test_broker.h"

namespace {

using Steady = std::chrono::steady_clock;
using nlohmann::json;
constexpr int kStations = 2000;
constexpr int kResultRounds = 5;  // results: kStations each round

double since(Steady::time_point t) { return std::chrono::duration<double>(Steady::now() - t).count(); }

// Polls every `every_ms`: often enough to time seconds, rarely enough not to be the load.
template <class Done>
bool until(Done done, double seconds, int every_ms = 20) {
    const auto end = Steady::now() + std::chrono::milliseconds(static_cast<int>(seconds * 1000));
    while (!done()) {
        if (Steady::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(every_ms));
    }
    return true;
}

long rss_kib(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return 0;
}

int64_t count_rows(const std::string& db, const char* kind) {
    sqlite3* c = nullptr;
    int64_t n = -1;
    if (sqlite3_open_v2(db.c_str(), &c, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(c, 1000);
        sqlite3_stmt* s = nullptr;
        const std::string sql = std::string("SELECT count(*) FROM rows WHERE kind = '") + kind + "'";
        if (sqlite3_prepare_v2(c, sql.c_str(), -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW)
            n = sqlite3_column_int64(s, 0);
        sqlite3_finalize(s);
    }
    sqlite3_close(c);
    return n;
}

std::string station_id(int n) {
    char id[16];
    std::snprintf(id, sizeof id, "b%04d", n);
    return id;
}

}  // namespace

int main() {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("kc_bench_console_" + std::to_string(getpid()));
    fs::remove_all(dir);
    kc::test::TestBroker broker(dir / "broker", {});
    if (std::string failed = broker.start(); !failed.empty()) {
        std::printf("console: broker did not start: %s\n", failed.c_str());
        return 1;
    }
    // A chain this size needs the broker to queue and keep in flight more than its defaults
    // (1000 and 20 a client): head office receives every station's messages on one session.
    broker.stop();
    {
        std::ofstream conf(broker.file("mosquitto.conf"), std::ios::app);
        conf << "max_queued_messages 0\nmax_inflight_messages 0\nset_tcp_nodelay true\n";
    }
    pid_t broker_pid = fork();
    if (broker_pid == 0) {
        const std::string m = kc::test::find_program({"mosquitto", "/usr/sbin/mosquitto"});
        execl(m.c_str(), m.c_str(), "-c", broker.file("mosquitto.conf").c_str(), nullptr);
        _exit(127);
    }
    if (!until([&] { return kc::test::port_accepts(broker.port()); }, 30)) {
        std::printf("console: broker did not start again\n");
        return 1;
    }
    const std::string db = (dir / "centrala.db").string();
    std::system(("printf 'bench-haslo-1\\n' | " KAVOR_CENTRALA " user add bench --role admin --db " + db + " >/dev/null")
                    .c_str());
    const int http_port = kc::test::free_loopback_port();
    pid_t server = fork();
    if (server == 0) {
        execl(KAVOR_CENTRALA, KAVOR_CENTRALA, "serve", "--broker", broker.address().c_str(), "--cafile",
              broker.ca().c_str(), "--password-file", broker.password_file("centrala").c_str(), "--db", db.c_str(),
              "--listen", ("127.0.0.1:" + std::to_string(http_port)).c_str(), "--result-timeout", "600", nullptr);
        _exit(127);
    }
    auto end_server = [&] {
        kill(server, SIGTERM);
        waitpid(server, nullptr, 0);
    };
    auto end_all = [&] {
        end_server();
        kill(broker_pid, SIGTERM);
        waitpid(broker_pid, nullptr, 0);
    };

    // The generator: one client standing in for every station, and listening to the sets.
    mosquitto_lib_init();
    std::atomic<int> sets{0};
    mosquitto* gen = mosquitto_new("kavor-bench-generator", true, &sets);
    mosquitto_username_pw_set(gen, "centrala", "centrala-pw");
    mosquitto_tls_set(gen, broker.ca().c_str(), nullptr, nullptr, nullptr, nullptr);
    mosquitto_max_inflight_messages_set(gen, 0);
    mosquitto_int_option(gen, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_message_callback_set(gen, [](mosquitto*, void* n, const mosquitto_message*) {
        static_cast<std::atomic<int>*>(n)->fetch_add(1);
    });
    if (mosquitto_connect(gen, "127.0.0.1", broker.port(), 30) != MOSQ_ERR_SUCCESS) {
        std::printf("console: generator cannot connect\n");
        end_all();
        return 1;
    }
    mosquitto_subscribe(gen, nullptr, "kavorcen/+/prices/set", 1);
    mosquitto_loop_start(gen);
    auto publish = [&](const std::string& topic, const json& j, bool retain) {
        const std::string p = j.dump();
        while (mosquitto_publish(gen, nullptr, topic.c_str(), static_cast<int>(p.size()), p.data(), 1, retain) ==
               MOSQ_ERR_NOMEM)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };

    httplib::Client http("127.0.0.1", http_port);
    if (!until([&] { return static_cast<bool>(http.Get("/")); }, 10)) {
        std::printf("console: the server did not start\n");
        end_all();
        return 1;
    }
    auto login = http.Post("/api/login", R"({"user":"bench","password":"bench-haslo-1"})", "application/json");
    const std::string cookie = login->get_header_value("Set-Cookie").substr(0, login->get_header_value("Set-Cookie").find(';'));
    const std::string csrf = json::parse(login->body)["csrf"];
    const httplib::Headers auth = {{"Cookie", cookie}, {"X-CSRF-Token", csrf}};
    const long rss_idle = rss_kib(server);

    // 2000 stations appear.
    auto t0 = Steady::now();
    for (int n = 0; n < kStations; ++n) {
        const std::string id = station_id(n);
        publish("kavorcen/" + id + "/status", {{"station", id}, {"status", "online"}, {"sign", "answers"}}, true);
        publish("kavorcen/" + id + "/state",
                {{"station", id}, {"prices", {"4.59", "5.19", "3.09", "6.00", "12"}}, {"blink", {false, false, false, false, false}},
                 {"time", "2026-12-08T06:00:00+01:00"}, {"source", "panel"}, {"matches", true}},
                true);
    }
    size_t listed = 0;
    until([&] {
        auto r = http.Get("/api/stations", auth);
        listed = r ? json::parse(r->body)["stations"].size() : 0;
        return listed >= static_cast<size_t>(kStations);
    }, 60, 250);
    const double known = since(t0);
    auto t1 = Steady::now();
    auto list = http.Get("/api/stations", auth);
    const double list_s = since(t1);
    const size_t list_bytes = list ? list->body.size() : 0;

    // The stations page in Chromium, where the browser tests' playwright-core is installed.
    std::string render = "not measured (needs /usr/bin/chromium and npm ci in tests/console)";
    if (access("/usr/bin/chromium", X_OK) == 0 && fs::exists(KC_SOURCE_DIR "/tests/console/node_modules/playwright-core")) {
        const std::string command = "node " KC_SOURCE_DIR "/bench/console_render.mjs http://127.0.0.1:" +
                                    std::to_string(http_port) + " bench bench-haslo-1 " + std::to_string(kStations) +
                                    " 2>&1";
        if (FILE* f = popen(command.c_str(), "r")) {
            char line[512] = "";
            if (!std::fgets(line, sizeof line, f)) line[0] = '\0';
            pclose(f);
            render = line;
            while (!render.empty() && render.back() == '\n') render.pop_back();
        }
    }

    // One push to all of them: from the request until the broker has handed over every set.
    auto t2 = Steady::now();
    auto pushed = http.Post("/api/push", auth, R"({"all":true,"prices":["4.69","5.29","3.19","6.10","13"]})",
                            "application/json");
    const double request_s = since(t2);
    until([&] { return sets.load() >= kStations; }, 30);
    const double handed_s = since(t2);
    const std::string push_id = pushed && pushed->status == 200 ? json::parse(pushed->body)["id"].get<std::string>() : "";

    // Results: every station answers, kResultRounds times over.
    auto t3 = Steady::now();
    for (int round = 0; round < kResultRounds; ++round)
        for (int n = 0; n < kStations; ++n) {
            const std::string id = station_id(n);
            publish("kavorcen/" + id + "/prices/result",
                    {{"id", push_id}, {"station", id}, {"outcome", round == 0 ? "confirmed" : "duplicate"},
                     {"previous", "confirmed"}, {"time", "2026-12-08T06:00:01+01:00"}},
                    false);
        }
    const int64_t want = static_cast<int64_t>(kStations) * kResultRounds;
    int64_t stored = 0;
    until([&] { return (stored = count_rows(db, "result")) >= want; }, 60);
    const double results_s = since(t3);
    const long rss_busy = rss_kib(server);

    std::printf("console: %d stations known to the server %.2f s after the generator began; the list (%zu kB) in %.3f s\n",
                kStations, known, list_bytes / 1024, list_s);
    std::printf("console: the stations page with %d stations drawn in Chromium: %s\n", kStations, render.c_str());
    std::printf("console: push to all %zu: request answered in %.3f s, every set handed over by the broker in %.3f s (%d of %d)\n",
                listed, request_s, handed_s, sets.load(), kStations);
    std::printf("console: %lld results into SQLite in %.2f s: %.0f a second\n", static_cast<long long>(stored), results_s,
                static_cast<double>(stored) / results_s);
    std::printf("console: server resident memory %.1f MiB idle, %.1f MiB after all of it\n", rss_idle / 1024.0,
                rss_busy / 1024.0);

    mosquitto_disconnect(gen);
    mosquitto_loop_stop(gen, false);
    mosquitto_destroy(gen);
    mosquitto_lib_cleanup();
    end_server();
    kill(broker_pid, SIGTERM);
    waitpid(broker_pid, nullptr, 0);
    fs::remove_all(dir);
    return 0;
}
