// Head office link (MQTT host): the station's side of the broker, with libmosquitto.
#include "hosts/mqtt/mqtt_station.h"

#include <mosquitto.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "hosts/mqtt/messages.h"
#include "resources/texts.h"

namespace kc::mqtt {
namespace {

constexpr int kKeepAliveSeconds = 30;
constexpr int kLoopWaitMs = 200;
constexpr size_t kMaxPendingResults = 200;

int64_t now_seconds() { return static_cast<int64_t>(std::time(nullptr)); }

void init_library() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

// Why an attempt ended, for the panel.
std::string failure_text(int rc, int err, int connack) {
    if (connack == 4 || connack == 5) return txt(Txt::HoLinkBadLogin);
    if (connack != 0) return mosquitto_connack_string(connack);
    switch (rc) {
        case MOSQ_ERR_EAI:
        case MOSQ_ERR_LOOKUP: return txt(Txt::HoErrLookup);
        case MOSQ_ERR_TLS:
        case MOSQ_ERR_TLS_HANDSHAKE: return txt(Txt::HoErrTls);
        case MOSQ_ERR_CONN_LOST:
        case MOSQ_ERR_NO_CONN:
        case MOSQ_ERR_KEEPALIVE: return txt(Txt::HoErrLost);
        case MOSQ_ERR_ERRNO:
            if (err == ECONNREFUSED) return txt(Txt::HoErrRefused);
            if (err == EHOSTUNREACH || err == ENETUNREACH || err == ETIMEDOUT) return txt(Txt::HoErrUnreachable);
            if (err == EPROTO) return txt(Txt::HoErrTls);
            return std::strerror(err);
        default: return mosquitto_strerror(rc);
    }
}

}  // namespace

MqttStation::MqttStation(StationConfig config, std::string seen_path, Backoff backoff)
    : config_(std::move(config)), backoff_(backoff), seen_(std::move(seen_path)) {}

MqttStation::~MqttStation() { stop(); }

void MqttStation::start(Events events) {
    if (thread_.joinable()) return;
    events_ = std::move(events);
    if (!config_.problem.empty()) {
        report(LinkState::Misconfigured, config_.problem);
        return;
    }
    seen_.load();
    stop_ = false;
    thread_ = std::thread([this] { run(); });
}

void MqttStation::stop() {
    stop_ = true;
    {
        std::lock_guard lock(mutex_);
        wake_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
}

void MqttStation::report(LinkState state, const std::string& why) {
    {
        std::lock_guard lock(mutex_);
        if (reported_ && state == last_state_ && why == last_why_) return;
        reported_ = true;
        last_state_ = state;
        last_why_ = why;
    }
    if (events_.on_status) events_.on_status(LinkStatus{state, why});
}

void MqttStation::run() {
    init_library();
    const std::string client_id = "kavorcen-" + config_.station;
    // A persistent session: the broker keeps the subscription and the changes that
    // came while the station was away, and hands them over on the next connect.
    mosquitto* created = mosquitto_new(client_id.c_str(), false, this);
    {
        std::lock_guard lock(mutex_);
        mosq_ = created;
    }
    if (!mosq_) {
        report(LinkState::Misconfigured, mosquitto_strerror(MOSQ_ERR_NOMEM));
        return;
    }
    mosquitto_threaded_set(mosq_, true);
    mosquitto_connect_callback_set(mosq_, connect_callback);
    mosquitto_disconnect_callback_set(mosq_, disconnect_callback);
    mosquitto_message_callback_set(mosq_, message_callback);
    mosquitto_username_pw_set(mosq_, config_.user.c_str(), config_.password.empty() ? nullptr : config_.password.c_str());
    const std::string offline = offline_json(config_.station);
    const std::string status = status_topic(config_.station);
    mosquitto_will_set(mosq_, status.c_str(), static_cast<int>(offline.size()), offline.data(), 1, true);
    if (mosquitto_tls_set(mosq_, config_.ca_file.c_str(), nullptr, nullptr, nullptr, nullptr) != MOSQ_ERR_SUCCESS) {
        report(LinkState::Misconfigured, fill(txt(Txt::HoCaFileUnreadable), {config_.ca_file}));
        destroy();
        return;
    }
    mosquitto_tls_insecure_set(mosq_, false);

    report(LinkState::Connecting, fill(txt(Txt::HoLinkConnecting), {config_.broker}));
    int delay_ms = backoff_.first_ms;
    while (!stop_) {
        connack_ = 0;
        bool reached = false;
        int rc = mosquitto_connect_async(mosq_, config_.host.c_str(), config_.port, kKeepAliveSeconds);
        int err = errno;
        if (rc == MOSQ_ERR_SUCCESS) {
            while (!stop_) {
                rc = mosquitto_loop(mosq_, kLoopWaitMs, 1);
                err = errno;
                if (rc != MOSQ_ERR_SUCCESS) break;
                if (connected_) reached = true;
            }
        }
        if (stop_) break;
        connected_ = false;
        if (reached) delay_ms = backoff_.first_ms;
        const std::string why = failure_text(rc, err, connack_);
        const std::string seconds = std::to_string((delay_ms + 999) / 1000);
        if (connack_ != 0)
            report(LinkState::Refused, fill(txt(Txt::HoLinkRefused), {config_.broker, why}));
        else
            report(LinkState::Unreachable, fill(txt(Txt::HoLinkUnreachable), {config_.broker, why, seconds}));
        std::unique_lock lock(mutex_);
        wake_.wait_for(lock, std::chrono::milliseconds(delay_ms), [this] { return stop_.load(); });
        delay_ms = std::min(delay_ms * 2, backoff_.max_ms);
    }

    if (connected_) {
        // A goodbye says offline at once; the last will covers a station that vanishes.
        mosquitto_publish(mosq_, nullptr, status.c_str(), static_cast<int>(offline.size()), offline.data(), 1, true);
        mosquitto_disconnect(mosq_);
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (std::chrono::steady_clock::now() < end && mosquitto_loop(mosq_, 100, 1) == MOSQ_ERR_SUCCESS) {
        }
        connected_ = false;
    }
    destroy();
}

void MqttStation::destroy() {
    mosquitto* m;
    {
        std::lock_guard lock(mutex_);
        m = mosq_;
        mosq_ = nullptr;
        connected_ = false;
    }
    if (m) mosquitto_destroy(m);
}

void MqttStation::connect_callback(mosquitto*, void* self, int rc) { static_cast<MqttStation*>(self)->on_connect(rc); }
void MqttStation::disconnect_callback(mosquitto*, void* self, int rc) {
    static_cast<MqttStation*>(self)->on_disconnect(rc);
}
void MqttStation::message_callback(mosquitto*, void* self, const mosquitto_message* message) {
    static_cast<MqttStation*>(self)->on_message(message);
}

void MqttStation::on_connect(int rc) {
    if (rc != 0) {
        connack_ = rc;
        return;
    }
    const std::string topic = set_topic(config_.station);
    mosquitto_subscribe(mosq_, nullptr, topic.c_str(), 1);
    {
        std::lock_guard lock(mutex_);
        connected_ = true;
        flush_locked();
    }
    report(LinkState::Connected, fill(txt(Txt::HoLinkConnected), {config_.broker}));
}

void MqttStation::on_disconnect(int) { connected_ = false; }

void MqttStation::flush_locked() {
    const std::string status = status_json(config_.station, true, sign_, now_seconds());
    const std::string status_t = status_topic(config_.station);
    mosquitto_publish(mosq_, nullptr, status_t.c_str(), static_cast<int>(status.size()), status.data(), 1, true);
    if (!state_json_.empty()) {
        const std::string t = state_topic(config_.station);
        mosquitto_publish(mosq_, nullptr, t.c_str(), static_cast<int>(state_json_.size()), state_json_.data(), 1, true);
    }
    while (!pending_.empty()) {
        const Outgoing& m = pending_.front();
        if (mosquitto_publish(mosq_, nullptr, m.topic.c_str(), static_cast<int>(m.payload.size()), m.payload.data(), 1,
                              m.retain) != MOSQ_ERR_SUCCESS)
            break;
        pending_.pop_front();
    }
}

void MqttStation::send(Outgoing m) {
    std::lock_guard lock(mutex_);
    if (connected_ && pending_.empty() && mosq_ &&
        mosquitto_publish(mosq_, nullptr, m.topic.c_str(), static_cast<int>(m.payload.size()), m.payload.data(), 1,
                          m.retain) == MOSQ_ERR_SUCCESS)
        return;
    pending_.push_back(std::move(m));
    while (pending_.size() > kMaxPendingResults) pending_.pop_front();
}

void MqttStation::on_message(const mosquitto_message* message) {
    if (!message->topic || set_topic(config_.station) != message->topic) return;
    const std::string payload(static_cast<const char*>(message->payload), static_cast<size_t>(message->payloadlen));
    ParsedChange parsed = parse_change(payload, config_.station);
    if (!parsed.ok) {
        publish_refusal(parsed.id, parsed.reason, parsed.where);
        return;
    }
    std::string previous;
    if (!seen_.first_time(parsed.change.id, previous)) {
        CentralResult r;
        r.id = parsed.change.id;
        r.outcome = CentralOutcome::Duplicate;
        r.previous = previous;
        r.time = now_seconds();
        send({result_topic(config_.station), result_json(config_.station, r), false});
        return;
    }
    if (events_.on_change) events_.on_change(parsed.change);
}

void MqttStation::publish_refusal(const std::string& id, const std::string& reason, const std::string& where) {
    CentralResult r;
    r.id = id;
    r.outcome = CentralOutcome::Refused;
    r.reason = reason;
    r.detail = reason_text(reason) + (where.empty() ? "" : ": " + where);
    r.time = now_seconds();
    send({result_topic(config_.station), result_json(config_.station, r), false});
    if (events_.on_refused) events_.on_refused(r);
}

void MqttStation::publish_result(const CentralResult& result) {
    if (result.outcome != CentralOutcome::Duplicate && result.outcome != CentralOutcome::Refused &&
        result.outcome != CentralOutcome::Scheduled)
        seen_.set_outcome(result.id, outcome_name(result.outcome));
    send({result_topic(config_.station), result_json(config_.station, result), false});
}

void MqttStation::publish_state(const StationState& state) {
    std::lock_guard lock(mutex_);
    state_json_ = state_json(config_.station, state);
    if (connected_ && mosq_) {
        const std::string t = state_topic(config_.station);
        mosquitto_publish(mosq_, nullptr, t.c_str(), static_cast<int>(state_json_.size()), state_json_.data(), 1, true);
    }
}

void MqttStation::publish_sign(SignAnswers answers) {
    std::lock_guard lock(mutex_);
    if (answers == sign_) return;
    sign_ = answers;
    if (connected_ && mosq_) {
        const std::string status = status_json(config_.station, true, sign_, now_seconds());
        const std::string t = status_topic(config_.station);
        mosquitto_publish(mosq_, nullptr, t.c_str(), static_cast<int>(status.size()), status.data(), 1, true);
    }
}

std::unique_ptr<HeadOfficeLink> make_station_link(const ExtraSettings& extra, const std::string& work_directory) {
    StationConfig config = read_station_config(extra);
    if (!config.enabled) return nullptr;
    std::string seen = (std::filesystem::path(work_directory) / kSeenIdsName).string();
    return std::make_unique<MqttStation>(std::move(config), seen);
}

}  // namespace kc::mqtt
