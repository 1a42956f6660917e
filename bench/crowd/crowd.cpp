#include "crowd/crowd.h"

#include <mosquitto.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "hosts/mqtt/messages.h"
#include "hosts/mqtt/station_config.h"
#include "platform/head_office.h"

namespace kc::crowd {

Crowd::Crowd() { mosquitto_lib_init(); }

Crowd::~Crowd() {
    stop();
    mosquitto_lib_cleanup();
}

std::string Crowd::start(const Options& o, std::chrono::seconds wait) {
    o_ = o;
    std::string host;
    int port = 0;
    if (!kc::mqtt::parse_broker(o.broker, host, port)) return "bad broker address " + o.broker;
    std::string password;
    if (!o.password_file.empty()) {
        std::string problem;
        if (!kc::mqtt::read_password_file(o.password_file, password, problem)) return problem;
    }
    ids_.clear();
    for (int n = 1; n <= o.stations; ++n) {
        char id[32];
        std::snprintf(id, sizeof id, "%s%04d", o.prefix.c_str(), n);
        ids_.push_back(id);
    }
    const std::string client = "kavor-crowd-" + std::to_string(getpid());
    mosq_ = mosquitto_new(client.c_str(), true, this);
    if (!mosq_) return "out of memory";
    mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    if (!o.user.empty()) mosquitto_username_pw_set(mosq_, o.user.c_str(), password.empty() ? nullptr : password.c_str());
    if (!o.cafile.empty() && mosquitto_tls_set(mosq_, o.cafile.c_str(), nullptr, nullptr, nullptr, nullptr) != MOSQ_ERR_SUCCESS)
        return "cannot read CA " + o.cafile;
    // Thousands of messages go out at once: no in-flight cap.
    mosquitto_max_inflight_messages_set(mosq_, 0);
    mosquitto_connect_callback_set(mosq_, &Crowd::on_connect);
    mosquitto_publish_callback_set(mosq_, &Crowd::on_publish);
    mosquitto_message_callback_set(mosq_, &Crowd::on_message);
    if (mosquitto_connect_async(mosq_, host.c_str(), port, 60) != MOSQ_ERR_SUCCESS) return "cannot reach " + o.broker;
    if (mosquitto_loop_start(mosq_) != MOSQ_ERR_SUCCESS) return "cannot start the network thread";
    std::unique_lock<std::mutex> g(lock_);
    if (!wake_.wait_for(g, wait, [&] { return connack_ >= 0; })) return "no answer from " + o.broker;
    if (connack_ != 0) return std::string("broker refused: ") + mosquitto_connack_string(connack_);
    return "";
}

void Crowd::stop() {
    if (!mosq_) return;
    mosquitto_disconnect(mosq_);
    mosquitto_loop_stop(mosq_, false);
    mosquitto_destroy(mosq_);
    mosq_ = nullptr;
}

void Crowd::on_connect(mosquitto* m, void* self, int rc) {
    auto* c = static_cast<Crowd*>(self);
    // Subscribed before CONNACK is reported, so no change can slip past.
    if (rc == 0) mosquitto_subscribe(m, nullptr, "kavorcen/+/prices/set", 1);
    {
        std::lock_guard<std::mutex> g(c->lock_);
        c->connack_ = rc;
    }
    c->wake_.notify_all();
}

void Crowd::on_publish(mosquitto*, void* self, int) {
    auto* c = static_cast<Crowd*>(self);
    {
        std::lock_guard<std::mutex> g(c->lock_);
        ++c->acked_;
    }
    c->wake_.notify_all();
}

void Crowd::on_message(mosquitto*, void* self, const mosquitto_message* m) {
    auto* c = static_cast<Crowd*>(self);
    const auto now = Clock::now();
    if (!m->topic) return;
    const std::string station = kc::mqtt::station_of_topic(m->topic);
    const std::string payload(static_cast<const char*>(m->payload), static_cast<size_t>(m->payloadlen));
    kc::mqtt::ParsedChange p = kc::mqtt::parse_change(payload, station);
    if (!p.ok) return;
    Change ch{station, p.change.id, {}, {}};
    for (size_t i = 0; i < 5; ++i) {
        ch.prices.push_back(p.change.set.prices[i]);
        ch.blink.push_back(p.change.set.blink[i]);
    }
    if (c->o_.answer) {
        c->answer(ch);
    }
    {
        std::lock_guard<std::mutex> g(c->lock_);
        c->arrivals_.push_back(now);
        if (!c->o_.answer) c->unanswered_.push_back(std::move(ch));
    }
    c->wake_.notify_all();
}

bool Crowd::publish(const std::string& topic, const std::string& payload, bool retain) {
    {
        std::lock_guard<std::mutex> g(lock_);
        ++sent_;
    }
    const int rc = mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 1,
                                     retain);
    if (rc == MOSQ_ERR_SUCCESS) return true;
    std::lock_guard<std::mutex> g(lock_);
    --sent_;
    return false;
}

bool Crowd::wait_acked(Clock::time_point deadline) {
    std::unique_lock<std::mutex> g(lock_);
    return wake_.wait_until(g, deadline, [&] { return acked_ >= sent_; });
}

bool Crowd::publish_stations(Clock::time_point deadline) {
    const int64_t now = static_cast<int64_t>(std::time(nullptr));
    StationState state;
    state.sign.prices = {"5.79", "6.19", "6.49", "3.09", "0.00"};
    state.time = now;
    state.source = "panel";
    for (const std::string& id : ids_) {
        if (!publish(kc::mqtt::status_topic(id), kc::mqtt::status_json(id, true, SignAnswers::Answers, now), true) ||
            !publish(kc::mqtt::state_topic(id), kc::mqtt::state_json(id, state), true))
            return false;
    }
    return wait_acked(deadline);
}

Crowd::Clock::time_point Crowd::wait_changes(size_t n, Clock::time_point deadline) {
    std::unique_lock<std::mutex> g(lock_);
    if (!wake_.wait_until(g, deadline, [&] { return arrivals_.size() >= n; })) return {};
    return arrivals_[n - 1];
}

size_t Crowd::changes() const {
    std::lock_guard<std::mutex> g(lock_);
    return arrivals_.size();
}

void Crowd::answer(const Change& c) {
    CentralResult r;
    r.id = c.id;
    r.outcome = CentralOutcome::Confirmed;
    r.time = static_cast<int64_t>(std::time(nullptr));
    r.has_sign = true;
    for (size_t i = 0; i < 5; ++i) {
        r.sign.prices[i] = c.prices[i];
        r.sign.blink[i] = c.blink[i];
    }
    publish(kc::mqtt::result_topic(c.station), kc::mqtt::result_json(c.station, r), false);
}

bool Crowd::answer_all(Clock::time_point deadline) {
    std::deque<Change> todo;
    {
        std::lock_guard<std::mutex> g(lock_);
        todo.swap(unanswered_);
    }
    for (const Change& c : todo) answer(c);
    return wait_acked(deadline);
}

}  // namespace kc::crowd
