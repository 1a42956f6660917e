#include "centrala/server/broker.h"

#include <mosquitto.h>
#include <unistd.h>

#include <random>

#include "hosts/mqtt/station_config.h"
#include "text/cp1250.h"

namespace kc::centrala {

BrokerLink::BrokerLink(OnMessage on_message, OnState on_state)
    : on_message_(std::move(on_message)), on_state_(std::move(on_state)) {
    mosquitto_lib_init();
}

BrokerLink::~BrokerLink() {
    stop();
    if (mosq_) mosquitto_destroy(mosq_);
    mosquitto_lib_cleanup();
}

std::string BrokerLink::start(const BrokerOptions& o) {
    std::string host;
    int port = 0;
    if (!kc::mqtt::parse_broker(o.broker, host, port)) return "zły adres brokera \"" + o.broker + "\" (HOST:PORT)";
    if (o.cafile.empty()) return "potrzebny --cafile: ceny idą tylko przez TLS";
    std::string password;
    if (!o.password_file.empty()) {
        std::string problem;
        if (!kc::mqtt::read_password_file(o.password_file, password, problem)) return kc::cp1250_to_utf8(problem);
    }
    std::random_device rd;
    const std::string id = "kavor-centrala-serve-" + std::to_string(getpid()) + "-" + std::to_string(rd() & 0xFFFF);
    // A clean session: the retained status and state tell everything again at each connect.
    mosq_ = mosquitto_new(id.c_str(), true, this);
    if (!mosq_) return "brak pamięci";
    mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    // Many small messages each way (acknowledgements, a push's sets): Nagle would hold each one back.
    mosquitto_int_option(mosq_, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_username_pw_set(mosq_, o.user.c_str(), o.password_file.empty() ? nullptr : password.c_str());
    if (mosquitto_tls_set(mosq_, o.cafile.c_str(), nullptr, nullptr, nullptr, nullptr) != MOSQ_ERR_SUCCESS)
        return "nie można przeczytać pliku CA " + o.cafile;
    mosquitto_reconnect_delay_set(mosq_, 1, 30, true);
    mosquitto_max_inflight_messages_set(mosq_, 0);
    mosquitto_connect_callback_set(mosq_, &BrokerLink::connected);
    mosquitto_disconnect_callback_set(mosq_, &BrokerLink::disconnected);
    mosquitto_message_callback_set(mosq_, &BrokerLink::message);
    broker_ = o.broker;
    // The first connect may fail (broker not up yet): the loop keeps trying.
    mosquitto_connect_async(mosq_, host.c_str(), port, 30);
    if (mosquitto_loop_start(mosq_) != MOSQ_ERR_SUCCESS) return "nie można uruchomić wątku brokera";
    running_ = true;
    return "";
}

void BrokerLink::stop() {
    if (!running_) return;
    running_ = false;
    mosquitto_disconnect(mosq_);
    mosquitto_loop_stop(mosq_, false);
}

bool BrokerLink::publish(const std::string& topic, const std::string& payload) {
    if (!mosq_) return false;
    const int rc = mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(),
                                     1, false);
    return rc == MOSQ_ERR_SUCCESS || rc == MOSQ_ERR_NO_CONN;
}

void BrokerLink::connected(mosquitto* m, void* self, int rc) {
    auto* link = static_cast<BrokerLink*>(self);
    if (rc != 0) {
        link->on_state_(false, "broker " + link->broker_ + " odmówił: " + mosquitto_connack_string(rc));
        return;
    }
    for (const char* t : {"kavorcen/+/status", "kavorcen/+/state", "kavorcen/+/prices/result", "kavorcen/+/events"})
        mosquitto_subscribe(m, nullptr, t, 1);
    link->on_state_(true, "połączono z " + link->broker_);
}

void BrokerLink::disconnected(mosquitto*, void* self, int rc) {
    auto* link = static_cast<BrokerLink*>(self);
    link->on_state_(false, rc == 0 ? "rozłączono" : "utracono połączenie z " + link->broker_ + ", ponawiam");
}

void BrokerLink::message(mosquitto*, void* self, const mosquitto_message* m) {
    if (!m->topic) return;
    static_cast<BrokerLink*>(self)->on_message_(
        m->topic, std::string(static_cast<const char*>(m->payload), static_cast<size_t>(m->payloadlen)));
}

}  // namespace kc::centrala
