// Head office server: stations seen through the broker, price pushes (now or timed)
// and their live outcomes, history, alarms and users, served over HTTP(S) to the
// browser pages in web/. The broker is reached only through `publish` and
// `on_message`, so the same server runs against a real broker or a test's recorder.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "centrala/server/store.h"

namespace httplib {
class Server;
}

namespace kc::centrala {

struct ServerOptions {
    std::string listen = "127.0.0.1:8080";
    std::string tls_cert, tls_key;
    std::string web_dir;                 // the pages; empty: none served
    int result_timeout_s = 60;           // a push not answered by then is "no answer"
    int offline_alarm_s = 15 * 60;       // a station offline this long raises an alarm
    int max_login_failures = 3;          // before logins of that user or address slow down
};

// The listen address split; false with a Polish reason when it is not host:port or
// when a non-loopback address has no certificate.
bool parse_listen(const ServerOptions& o, std::string& host, int& port, std::string& why);

class Server {
public:
    using Publish = std::function<bool(const std::string& topic, const std::string& payload)>;
    Server(Store& store, ServerOptions options, Publish publish);
    ~Server();

    // Binds and serves on threads of its own; empty on success, else why not.
    std::string start();
    int port() const { return port_; }
    void stop();

    // One message from the broker (any thread).
    void on_message(const std::string& topic, const std::string& payload);
    // Called by the broker link when it (re)connects or drops.
    void broker_state(bool connected, const std::string& detail);

private:
    struct Session {
        std::string user, role, csrf, address;
        int64_t last = 0;
    };
    struct Failures {
        int count = 0;
        int64_t until = 0;  // no login before this (calendar seconds)
        int64_t last = 0;   // the latest failure
    };
    struct Target {
        std::string station, outcome, detail;
        int64_t time = 0;
        json sign;
    };
    struct Push {
        std::string id, user;
        int64_t sent = 0;
        std::map<std::string, Target> targets;
    };

    void routes();
    void on_status(const std::string& station, const json& j, int64_t now);
    void on_state(const std::string& station, const json& j, int64_t now);
    void on_result(const std::string& station, const json& j, int64_t now);
    void on_event(const std::string& station, const json& j, int64_t now);
    void alarm(const std::string& station, const std::string& kind, int64_t now, const std::string& detail);
    void broadcast(const std::string& kind, json data);
    void worker();
    void flush_rows();
    void send_push(const std::string& id, const std::string& user, const json& body, int64_t now);
    json station_json(const StationRow& s) const;

    Store& store_;
    ServerOptions options_;
    Publish publish_;
    std::unique_ptr<httplib::Server> http_;
    std::thread http_thread_, worker_thread_;
    int port_ = 0;
    bool tls_ = false;

    mutable std::mutex lock_;  // everything below
    std::condition_variable wake_;
    bool stopping_ = false;
    std::map<std::string, StationRow> stations_;
    std::map<std::string, Session> sessions_;  // by token
    std::map<std::string, Failures> failures_;  // "u:" user or "a:" address
    std::map<std::string, Push> pushes_;        // in flight
    std::vector<Row> pending_rows_;
    std::deque<std::pair<uint64_t, std::string>> feed_;  // SSE lines, with their number
    uint64_t feed_next_ = 1;
    bool broker_connected_ = false;
    std::string broker_detail_;
};

}  // namespace kc::centrala
