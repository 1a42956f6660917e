// Head office link (MQTT host): the station's side of the broker, with libmosquitto.
// It only connects out (TLS, user and password), subscribes to its own set topic with
// QoS 1 in a persistent session, checks every message whole, drops ids it has taken
// before, and publishes results, retained state and retained status (with a last will
// for "offline"). It counts as connected, and says "online", only once the broker has
// confirmed the subscription. All network work runs on one thread of its own; results
// go through a second one that records their ids first. The calls from the program
// only queue a message and return.
#pragma once
#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "hosts/mqtt/seen_ids.h"
#include "hosts/mqtt/station_config.h"
#include "platform/head_office.h"

struct mosquitto;
struct mosquitto_message;

namespace kc::mqtt {

struct Backoff {
    int first_ms = 1000;
    int max_ms = 60000;
};

class MqttStation : public HeadOfficeLink {
public:
    // `seen_path` keeps the ids already taken (see SeenIds).
    MqttStation(StationConfig config, std::string seen_path, Backoff backoff = {});
    ~MqttStation() override;

    void start(Events events) override;
    void stop_receiving() override;
    void stop() override;
    void publish_result(const CentralResult& result) override;
    void publish_state(const StationState& state) override;
    void publish_sign(const StationStatus& status) override;
    void publish_event(const StationEvent& event) override;

    bool connected() const { return connected_; }
    const StationConfig& config() const { return config_; }

private:
    struct Outgoing {
        std::string topic;
        std::string payload;
        bool retain = false;
    };
    // The network thread: setup, connect and reconnect until told to stop reading,
    // then the goodbye once told to stop.
    void run();
    bool setup();
    void reconnect_loop();
    void wait_before_retry(int delay_ms);
    void goodbye();
    void destroy();
    // The results thread: records each result's id, then publishes it.
    void write_results();
    void record_and_send(CentralResult result);

    void report(LinkState state, const std::string& why);
    void notice(const std::string& text);
    void send(Outgoing message);   // any thread
    void flush_locked();           // holding mutex_, connected: status, state, kept results
    void publish_status_locked();  // holding mutex_, connected
    void flush_pending_locked();   // holding mutex_, connected: kept results
    void on_connect(int rc);
    void on_subscribe(int mid, int count, const int* granted);
    void on_disconnect(int rc);
    void on_message(const mosquitto_message* message);
    void publish_refusal(const std::string& id, const std::string& reason, const std::string& where);

    static void connect_callback(mosquitto*, void* self, int rc);
    static void subscribe_callback(mosquitto*, void* self, int mid, int count, const int* granted);
    static void disconnect_callback(mosquitto*, void* self, int rc);
    static void message_callback(mosquitto*, void* self, const mosquitto_message* message);

    StationConfig config_;
    Backoff backoff_;
    SeenIds seen_;
    Events events_;
    mosquitto* mosq_ = nullptr;  // set and cleared by the network thread under mutex_
    std::thread thread_;
    std::thread results_thread_;
    std::atomic<bool> hold_{false};  // stop reading from the broker
    std::atomic<bool> stop_{false};  // say goodbye and end
    std::atomic<bool> connected_{false};
    std::atomic<int> connack_{0};  // the broker's refusal code of the last attempt
    std::atomic<bool> subscribe_refused_{false};
    int subscribe_mid_ = -1;  // network thread only

    std::mutex mutex_;  // guards the fields below
    std::condition_variable wake_;
    std::condition_variable results_wake_;
    bool reading_ = false;               // the network thread may still read messages
    bool results_stop_ = false;
    std::deque<CentralResult> results_;  // waiting for the results thread
    std::deque<Outgoing> pending_;  // results kept while the broker is out of reach
    std::string state_json_;        // last retained state, sent again on every connect
    StationStatus status_;
    int64_t since_ = 0;  // calendar seconds the broker confirmed this session's subscription
    LinkState last_state_ = LinkState::Connecting;
    std::string last_why_;
    bool reported_ = false;
};

// The link for a program whose extra settings name a broker, or null when they do not
// or the link is switched off. `work_directory` holds the file of ids taken; a password
// file is read through `passwords` when given.
std::unique_ptr<HeadOfficeLink> make_station_link(const ExtraSettings& extra, const std::string& work_directory,
                                                  PasswordStore* passwords = nullptr);

}  // namespace kc::mqtt
