// A crowd of stations on one broker connection: their retained status and state, and a
// `confirmed` result for each change head office sends them. Lets the head office
// server be measured with thousands of stations without thousands of programs.
#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace kc::crowd {

struct Options {
    std::string broker;         // HOST:PORT
    std::string cafile;         // TLS; empty: plain TCP
    std::string user, password_file;
    int stations = 2000;
    std::string prefix = "st";  // st0001, st0002, ...
    bool answer = false;        // answer each change as it comes in
};

class Crowd {
public:
    using Clock = std::chrono::steady_clock;
    Crowd();
    ~Crowd();
    Crowd(const Crowd&) = delete;
    Crowd& operator=(const Crowd&) = delete;

    // Connects and subscribes to the stations' change topic; empty on success, else why not.
    std::string start(const Options& o, std::chrono::seconds wait = std::chrono::seconds(30));
    void stop();
    const std::vector<std::string>& ids() const { return ids_; }

    // Every station's retained status (online, sign answers) and state; true when the
    // broker has taken all of them before the deadline.
    bool publish_stations(Clock::time_point deadline);
    // Waits until `n` changes have come in; the time the n-th came, or nullopt-like
    // time_point{} when the deadline passed first.
    Clock::time_point wait_changes(size_t n, Clock::time_point deadline);
    size_t changes() const;
    // Publishes a `confirmed` result for every change not answered yet, all at once;
    // true when the broker has taken them before the deadline.
    bool answer_all(Clock::time_point deadline);

private:
    struct Change {
        std::string station, id;
        std::vector<std::string> prices;
        std::vector<bool> blink;
    };
    static void on_connect(mosquitto*, void* self, int rc);
    static void on_publish(mosquitto*, void* self, int mid);
    static void on_message(mosquitto*, void* self, const mosquitto_message* m);
    bool publish(const std::string& topic, const std::string& payload, bool retain);
    bool wait_acked(Clock::time_point deadline);
    void answer(const Change& c);

    Options o_;
    mosquitto* mosq_ = nullptr;
    std::vector<std::string> ids_;
    mutable std::mutex lock_;
    std::condition_variable wake_;
    int connack_ = -1;
    uint64_t sent_ = 0, acked_ = 0;
    std::vector<Clock::time_point> arrivals_;
    std::deque<Change> unanswered_;
};

}  // namespace kc::crowd
