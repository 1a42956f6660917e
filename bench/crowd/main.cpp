// kavor-crowd: thousands of stations for the head office server, on one connection.
// Publishes their retained status and state, then confirms every change sent to them
// until stopped (Ctrl+C).
#include <signal.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>

#include "crowd/crowd.h"

int main(int argc, char** argv) {
    CLI::App app("Many stations on one broker connection, for measuring the head office server.", "kavor-crowd");
    kc::crowd::Options o;
    o.answer = true;
    app.add_option("--broker", o.broker, "broker HOST:PORT")->required();
    app.add_option("--cafile", o.cafile, "CA of the broker's certificate (TLS); none: plain TCP");
    app.add_option("--user", o.user, "broker account allowed to write kavorcen/#");
    app.add_option("--password-file", o.password_file, "file holding its password");
    app.add_option("--stations", o.stations, "how many stations")->capture_default_str()->check(CLI::Range(1, 9999));
    app.add_option("--prefix", o.prefix, "station ids are PREFIX0001, PREFIX0002, ...")->capture_default_str();
    CLI11_PARSE(app, argc, argv);

    sigset_t ends;
    sigemptyset(&ends);
    sigaddset(&ends, SIGINT);
    sigaddset(&ends, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &ends, nullptr);

    kc::crowd::Crowd crowd;
    if (std::string why = crowd.start(o); !why.empty()) {
        std::fprintf(stderr, "kavor-crowd: %s\n", why.c_str());
        return 1;
    }
    if (!crowd.publish_stations(std::chrono::steady_clock::now() + std::chrono::seconds(60))) {
        std::fprintf(stderr, "kavor-crowd: the broker did not take every station's status\n");
        return 1;
    }
    std::printf("kavor-crowd: %d stations published; confirming changes until stopped\n", o.stations);
    std::fflush(stdout);
    int sig = 0;
    sigwait(&ends, &sig);
    std::printf("kavor-crowd: %zu changes confirmed\n", crowd.changes());
    return 0;
}
