// Head office server: its one connection to the broker (libmosquitto, TLS, the head
// office account), on libmosquitto's own thread, reconnecting by itself.
#pragma once
#include <functional>
#include <string>

struct mosquitto;
struct mosquitto_message;

namespace kc::centrala {

struct BrokerOptions {
    std::string broker, cafile, user = "centrala", password_file;
};

class BrokerLink {
public:
    using OnMessage = std::function<void(const std::string& topic, const std::string& payload)>;
    using OnState = std::function<void(bool connected, const std::string& detail)>;
    BrokerLink(OnMessage on_message, OnState on_state);
    ~BrokerLink();
    BrokerLink(const BrokerLink&) = delete;
    BrokerLink& operator=(const BrokerLink&) = delete;

    // Checks the options and starts connecting; empty on success, else why not.
    std::string start(const BrokerOptions& o);
    void stop();
    // QoS 1, not retained; false when the library refuses it (not connected yet sends later).
    bool publish(const std::string& topic, const std::string& payload);

private:
    static void connected(mosquitto*, void* self, int rc);
    static void disconnected(mosquitto*, void* self, int rc);
    static void message(mosquitto*, void* self, const mosquitto_message* m);

    OnMessage on_message_;
    OnState on_state_;
    mosquitto* mosq_ = nullptr;
    std::string broker_;
    bool running_ = false;
};

}  // namespace kc::centrala
