#include "centrala/server/commands.h"

#include <malloc.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "centrala/server/broker.h"
#include "centrala/server/server.h"
#include "centrala/server/store.h"

namespace kc::centrala {

namespace {

int refuse(const std::string& why) {
    std::fprintf(stderr, "kavor-centrala: %s\n", why.c_str());
    return 1;
}

// The pages: the installed copy for an installed program, the source tree's otherwise.
std::string default_web_dir() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec && exe.parent_path() == std::filesystem::path(KC_INSTALL_BINDIR)) return KC_WEB_INSTALL_DIR;
    return std::filesystem::exists(KC_WEB_SOURCE_DIR) ? KC_WEB_SOURCE_DIR : KC_WEB_INSTALL_DIR;
}

// The first line of stdin, or a prompt without echo on a terminal.
bool read_password(const std::string& file, std::string& out) {
    if (!file.empty()) {
        std::ifstream in(file);
        if (!in || !std::getline(in, out)) return false;
    } else if (isatty(STDIN_FILENO)) {
        std::fprintf(stderr, "Hasło: ");
        termios old = {};
        tcgetattr(STDIN_FILENO, &old);
        termios quiet = old;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
        const bool got = static_cast<bool>(std::getline(std::cin, out));
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &old);
        std::fprintf(stderr, "\n");
        if (!got) return false;
    } else if (!std::getline(std::cin, out)) {
        return false;
    }
    if (!out.empty() && out.back() == '\r') out.pop_back();
    return true;
}

}  // namespace

int run_serve(int argc, char** argv) {
    CLI::App app("Serwer centrali: strony w przeglądarce, stacje przez brokera.", "kavor-centrala serve");
    BrokerOptions b;
    ServerOptions s;
    std::string db = "centrala.db";
    app.add_option("--broker", b.broker, "broker HOST:PORT")->required();
    app.add_option("--cafile", b.cafile, "CA, która podpisała certyfikat brokera")->required();
    app.add_option("--user", b.user, "konto centrali u brokera")->capture_default_str();
    app.add_option("--password-file", b.password_file, "plik z hasłem do brokera (chmod 600)");
    app.add_option("--db", db, "plik bazy SQLite")->capture_default_str();
    app.add_option("--listen", s.listen, "adres HOST:PORT serwera WWW")->capture_default_str();
    app.add_option("--tls-cert", s.tls_cert, "certyfikat HTTPS (wymagany poza 127.0.0.1)");
    app.add_option("--tls-key", s.tls_key, "klucz HTTPS");
    app.add_option("--web", s.web_dir, "katalog stron (domyślnie zainstalowany)");
    app.add_option("--result-timeout", s.result_timeout_s, "sekundy na wynik stacji")->capture_default_str();
    app.add_option("--offline-alarm", s.offline_alarm_s, "sekundy offline do alarmu")->capture_default_str();
    try {
        app.parse(argc - 1, argv + 1);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    }
    if (s.web_dir.empty()) s.web_dir = default_web_dir();
    // Many HTTP threads, each building large answers now and then: a malloc arena each would
    // keep tens of megabytes the server does not use.
    mallopt(M_ARENA_MAX, 2);
    if (s.result_timeout_s < 1 || s.offline_alarm_s < 1) return refuse("czasy muszą być dodatnie");
    std::string host, why;
    int port = 0;
    if (!parse_listen(s, host, port, why)) return refuse(why);

    // Signals are taken by this thread alone, so every thread started below inherits the mask.
    sigset_t ends;
    sigemptyset(&ends);
    sigaddset(&ends, SIGINT);
    sigaddset(&ends, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &ends, nullptr);
    signal(SIGPIPE, SIG_IGN);

    Store store;
    if (std::string e = store.open(db); !e.empty()) return refuse(e);
    Server* server_ptr = nullptr;
    BrokerLink link([&](const std::string& t, const std::string& p) { if (server_ptr) server_ptr->on_message(t, p); },
                    [&](bool up, const std::string& d) {
                        std::fprintf(stderr, "kavor-centrala: %s\n", d.c_str());
                        if (server_ptr) server_ptr->broker_state(up, d);
                    });
    Server server(store, s, [&](const std::string& t, const std::string& p) { return link.publish(t, p); });
    server_ptr = &server;
    if (std::string e = server.start(); !e.empty()) return refuse(e);
    if (std::string e = link.start(b); !e.empty()) return refuse(e);
    std::printf("kavor-centrala: %s://%s:%d/ (baza %s)\n", s.tls_cert.empty() ? "http" : "https", host.c_str(),
                server.port(), db.c_str());
    std::fflush(stdout);
    int sig = 0;
    sigwait(&ends, &sig);
    link.stop();
    server.stop();
    server_ptr = nullptr;
    return 0;
}

int run_user(int argc, char** argv) {
    CLI::App app("Użytkownicy strony centrali.", "kavor-centrala user");
    std::string db = "centrala.db";
    app.add_option("--db", db, "plik bazy SQLite")->capture_default_str();
    app.require_subcommand(1);
    std::string name, role = kRoleView, password_file;
    auto* add = app.add_subcommand("add", "dodaj użytkownika (hasło ze standardowego wejścia albo pytanie)");
    add->add_option("NAME", name)->required();
    add->add_option("--role", role, "podgląd, ceny albo admin")->capture_default_str();
    add->add_option("--password-file", password_file, "plik, którego pierwszy wiersz to hasło");
    add->add_option("--db", db, "plik bazy SQLite");
    auto* list = app.add_subcommand("list", "wypisz użytkowników");
    list->add_option("--db", db, "plik bazy SQLite");
    auto* remove = app.add_subcommand("remove", "usuń użytkownika");
    remove->add_option("NAME", name)->required();
    remove->add_option("--db", db, "plik bazy SQLite");
    try {
        app.parse(argc - 1, argv + 1);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    }
    Store store;
    if (std::string e = store.open(db); !e.empty()) return refuse(e);
    if (add->parsed()) {
        if (role_rank(role) == 0) return refuse("rola \"" + role + "\": podgląd, ceny albo admin");
        std::string password;
        if (!read_password(password_file, password)) return refuse("nie podano hasła");
        if (password.size() < 10) return refuse("hasło musi mieć co najmniej 10 znaków");
        if (std::string e = store.add_user(name, password, role); !e.empty()) return refuse(e);
        store.audit("", "wiersz poleceń", "user_add", name + " " + role);
        std::printf("dodano %s (%s)\n", name.c_str(), role.c_str());
    } else if (list->parsed()) {
        for (const User& u : store.users()) std::printf("%-32s %s\n", u.name.c_str(), u.role.c_str());
    } else {
        if (!store.remove_user(name)) return refuse("nie ma użytkownika " + name);
        store.audit("", "wiersz poleceń", "user_remove", name);
        std::printf("usunięto %s\n", name.c_str());
    }
    return 0;
}

int run_backup(int argc, char** argv) {
    CLI::App app("Kopia bazy w czasie pracy serwera.", "kavor-centrala backup");
    std::string db = "centrala.db", file;
    app.add_option("FILE", file, "plik kopii")->required();
    app.add_option("--db", db, "plik bazy SQLite")->capture_default_str();
    try {
        app.parse(argc - 1, argv + 1);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    }
    if (!std::filesystem::exists(db)) return refuse("nie ma bazy " + db);
    Store store;
    if (std::string e = store.open(db); !e.empty()) return refuse(e);
    if (std::string e = store.backup(file); !e.empty()) return refuse(e);
    std::printf("kopia %s w %s\n", db.c_str(), file.c_str());
    return 0;
}

}  // namespace kc::centrala
