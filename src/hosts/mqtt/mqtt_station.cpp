// Head office link (MQTT host): the station's side of the broker, with libmosquitto.
#include "hosts/mqtt/mqtt_station.h"

#include <mosquitto.h>
#ifdef _WIN32
#include <winsock2.h>
#else
#include <poll.h>
#endif

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
constexpr int kLoopWaitMs = 100;
// A session shorter than this does not reset the back-off.
constexpr auto kSteadySession = std::chrono::seconds(10);
constexpr size_t kMaxPendingResults = 200;

int64_t now_seconds() { return static_cast<int64_t>(std::time(nullptr)); }

#ifdef _WIN32
// Windows tells a failed connect in progress only to select()'s exception set, which
// libmosquitto does not watch: a refused broker would look like one that is slow to
// answer until the keep-alive ran out. The socket's own error says it at once.
bool connect_failed(int socket, int& err) {
    int code = 0;
    int size = sizeof code;
    if (socket < 0 ||
        getsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&code), &size) != 0 ||
        code == 0)
        return false;
    err = code;
    return true;
}
#endif

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
#ifdef _WIN32
            // libmosquitto leaves the socket error there, not errno's.
            if (err == WSAECONNREFUSED) return txt(Txt::HoErrRefused);
            if (err == WSAEHOSTUNREACH || err == WSAENETUNREACH || err == WSAETIMEDOUT)
                return txt(Txt::HoErrUnreachable);
#endif
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
    const std::vector<size_t> skipped = seen_.load();
    if (!skipped.empty()) {
        std::string lines;
        for (size_t n : skipped) lines += (lines.empty() ? "" : ", ") + std::to_string(n);
        notice(fill(txt(Txt::HoIdsFileSkipped), {seen_.path(), lines}));
    }
    hold_ = false;
    stop_ = false;
    {
        std::lock_guard lock(mutex_);
        reading_ = true;
        results_stop_ = false;
    }
    results_thread_ = std::thread([this] { write_results(); });
    thread_ = std::thread([this] { run(); });
}

void MqttStation::stop_receiving() {
    hold_ = true;
    std::unique_lock lock(mutex_);
    wake_.notify_all();
    wake_.wait(lock, [this] { return !reading_; });
}

void MqttStation::stop() {
    stop_receiving();
    // Results still on their way go out before the goodbye.
    {
        std::lock_guard lock(mutex_);
        results_stop_ = true;
        results_wake_.notify_all();
    }
    if (results_thread_.joinable()) results_thread_.join();
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

void MqttStation::notice(const std::string& text) {
    if (events_.on_notice) events_.on_notice(text);
}

void MqttStation::run() {
    if (setup()) {
        reconnect_loop();
        {
            std::lock_guard lock(mutex_);
            reading_ = false;
            wake_.notify_all();
        }
        goodbye();
    }
    destroy();
    std::lock_guard lock(mutex_);
    reading_ = false;
    wake_.notify_all();
}

bool MqttStation::setup() {
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
        return false;
    }
    mosquitto_threaded_set(mosq_, true);
    mosquitto_connect_callback_set(mosq_, connect_callback);
    mosquitto_subscribe_callback_set(mosq_, subscribe_callback);
    mosquitto_disconnect_callback_set(mosq_, disconnect_callback);
    mosquitto_message_callback_set(mosq_, message_callback);
    mosquitto_username_pw_set(mosq_, config_.user.c_str(), config_.password.empty() ? nullptr : config_.password.c_str());
    const std::string offline = offline_json(config_.station);
    const std::string status = status_topic(config_.station);
    mosquitto_will_set(mosq_, status.c_str(), static_cast<int>(offline.size()), offline.data(), 1, true);
    if (mosquitto_tls_set(mosq_, config_.ca_file.c_str(), nullptr, nullptr, nullptr, nullptr) != MOSQ_ERR_SUCCESS) {
        report(LinkState::Misconfigured, fill(txt(Txt::HoCaFileUnreadable), {config_.ca_file}));
        return false;
    }
    mosquitto_tls_insecure_set(mosq_, false);
    return true;
}

void MqttStation::reconnect_loop() {
    report(LinkState::Connecting, fill(txt(Txt::HoLinkConnecting), {config_.broker}));
    int delay_ms = backoff_.first_ms;
    while (!hold_) {
        connack_ = 0;
        subscribe_refused_ = false;
        bool reached = false;
        auto since = std::chrono::steady_clock::now();
        int rc = mosquitto_connect_async(mosq_, config_.host.c_str(), config_.port, kKeepAliveSeconds);
        int err = errno;
        if (rc == MOSQ_ERR_SUCCESS) {
            while (!hold_) {
                rc = mosquitto_loop(mosq_, kLoopWaitMs, 1);
                err = errno;
#ifdef _WIN32
                if (rc == MOSQ_ERR_SUCCESS && !connected_ && connect_failed(mosquitto_socket(mosq_), err))
                    rc = MOSQ_ERR_ERRNO;
#endif
                if (rc != MOSQ_ERR_SUCCESS) break;
                if (connected_ && !reached) {
                    reached = true;
                    since = std::chrono::steady_clock::now();
                }
            }
        }
        if (hold_) break;
        connected_ = false;
        // A session the broker ends right after it began is most likely taken over by
        // another client with this id; retrying at once would knock that one off too.
        const bool taken_over = reached && rc == MOSQ_ERR_CONN_LOST &&
                                std::chrono::steady_clock::now() - since < kSteadySession;
        if (reached && !taken_over) delay_ms = backoff_.first_ms;
        const std::string seconds = std::to_string((delay_ms + 999) / 1000);
        if (subscribe_refused_)
            report(LinkState::Refused, fill(txt(Txt::HoLinkRefused),
                                            {config_.broker, fill(txt(Txt::HoSubscribeRefused), {config_.station})}));
        else if (connack_ != 0)
            report(LinkState::Refused, fill(txt(Txt::HoLinkRefused), {config_.broker, failure_text(rc, err, connack_)}));
        else
            report(LinkState::Unreachable,
                   fill(txt(Txt::HoLinkUnreachable),
                        {config_.broker,
                         taken_over ? fill(txt(Txt::HoErrTakenOver), {config_.station}) : failure_text(rc, err, 0),
                         seconds}));
        wait_before_retry(delay_ms);
        delay_ms = std::min(delay_ms * 2, backoff_.max_ms);
    }
}

void MqttStation::wait_before_retry(int delay_ms) {
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, std::chrono::milliseconds(delay_ms), [this] { return hold_.load(); });
}

void MqttStation::goodbye() {
    {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return stop_.load(); });
    }
    if (!connected_) return;
    const std::string offline = offline_json(config_.station);
    const std::string status = status_topic(config_.station);
    {
        std::lock_guard lock(mutex_);
        flush_pending_locked();
    }
    // A goodbye says offline at once; the last will covers a station that vanishes.
    // Only writing from here on: a change that comes now stays with the broker.
    mosquitto_publish(mosq_, nullptr, status.c_str(), static_cast<int>(offline.size()), offline.data(), 1, true);
    mosquitto_disconnect(mosq_);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (mosquitto_want_write(mosq_) && std::chrono::steady_clock::now() < end) {
        const int fd = mosquitto_socket(mosq_);
        if (fd < 0) break;
        pollfd p{static_cast<decltype(pollfd::fd)>(fd), POLLOUT, 0};
#ifdef _WIN32
        if (::WSAPoll(&p, 1, 100) < 0) break;
#else
        if (::poll(&p, 1, 100) < 0) break;
#endif
        if ((p.revents & POLLOUT) && mosquitto_loop_write(mosq_, 1) != MOSQ_ERR_SUCCESS) break;
    }
    connected_ = false;
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
void MqttStation::subscribe_callback(mosquitto*, void* self, int mid, int count, const int* granted) {
    static_cast<MqttStation*>(self)->on_subscribe(mid, count, granted);
}
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
    // Online only once the broker confirms the subscription: a change head office sends
    // on seeing "online" must find it in place.
    const std::string topic = set_topic(config_.station);
    subscribe_mid_ = -1;
    mosquitto_subscribe(mosq_, &subscribe_mid_, topic.c_str(), 1);
}

void MqttStation::on_subscribe(int mid, int count, const int* granted) {
    if (mid != subscribe_mid_) return;
    if (count < 1 || granted[0] > 2) {
        // The broker's ACL does not let this user read the station's changes.
        subscribe_refused_ = true;
        mosquitto_disconnect(mosq_);
        return;
    }
    {
        std::lock_guard lock(mutex_);
        connected_ = true;
        since_ = now_seconds();
        flush_locked();
    }
    report(LinkState::Connected, fill(txt(Txt::HoLinkConnected), {config_.broker}));
}

void MqttStation::on_disconnect(int) { connected_ = false; }

void MqttStation::publish_status_locked() {
    const std::string status = status_json(config_.station, true, status_, since_, now_seconds());
    const std::string t = status_topic(config_.station);
    mosquitto_publish(mosq_, nullptr, t.c_str(), static_cast<int>(status.size()), status.data(), 1, true);
}

void MqttStation::flush_locked() {
    publish_status_locked();
    if (!state_json_.empty()) {
        const std::string t = state_topic(config_.station);
        mosquitto_publish(mosq_, nullptr, t.c_str(), static_cast<int>(state_json_.size()), state_json_.data(), 1, true);
    }
    flush_pending_locked();
}

void MqttStation::flush_pending_locked() {
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
    // Read after the program began to stop taking changes (the broker has it as
    // delivered): head office is told to send it again.
    if (hold_) return publish_refusal(parsed.id, "shutting_down", "");
    // A retained change would come again at every subscribe, long after its time.
    if (message->retain) return publish_refusal(parsed.id, "retained", "");
    if (!parsed.ok) return publish_refusal(parsed.id, parsed.reason, parsed.where);
    std::string previous;
    std::error_code error;
    const bool first = seen_.first_time(parsed.change.id, previous, error);
    if (error) notice(fill(txt(Txt::HoIdsFileWriteFailed), {seen_.path(), error.message()}));
    if (!first) {
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
    r.queued = false;
    send({result_topic(config_.station), result_json(config_.station, r), false});
    if (events_.on_refused) events_.on_refused(r);
}

void MqttStation::publish_result(const CentralResult& result) {
    // The ids file is written on the results thread, never on the caller's (the port
    // reader holds the link's locks while it reports).
    std::lock_guard lock(mutex_);
    results_.push_back(result);
    results_wake_.notify_all();
}

void MqttStation::write_results() {
    std::unique_lock lock(mutex_);
    for (;;) {
        results_wake_.wait(lock, [this] { return results_stop_ || !results_.empty(); });
        if (results_.empty()) return;
        CentralResult r = std::move(results_.front());
        results_.pop_front();
        lock.unlock();
        record_and_send(std::move(r));
        lock.lock();
    }
}

void MqttStation::record_and_send(CentralResult r) {
    std::error_code error;
    if (!r.queued)
        error = seen_.forget(r.id);  // nothing was taken: a corrected resend is welcome
    else if (r.outcome != CentralOutcome::Duplicate && r.outcome != CentralOutcome::Scheduled)
        error = seen_.set_outcome(r.id, outcome_name(r.outcome));
    if (error) {
        // After a restart this change could be applied again: head office and the operator must know.
        const std::string why = fill(txt(Txt::HoIdsFileWriteFailed), {seen_.path(), error.message()});
        r.detail += (r.detail.empty() ? "" : "; ") + why;
        notice(why);
    }
    send({result_topic(config_.station), result_json(config_.station, r), false});
}

void MqttStation::publish_state(const StationState& state) {
    std::lock_guard lock(mutex_);
    state_json_ = state_json(config_.station, state);
    if (connected_ && mosq_) {
        const std::string t = state_topic(config_.station);
        mosquitto_publish(mosq_, nullptr, t.c_str(), static_cast<int>(state_json_.size()), state_json_.data(), 1, true);
    }
}

void MqttStation::publish_sign(const StationStatus& status) {
    std::lock_guard lock(mutex_);
    if (status == status_) return;
    status_ = status;
    if (connected_ && mosq_) publish_status_locked();
}

// Like results: kept while the broker is out of reach and sent on reconnect.
void MqttStation::publish_event(const StationEvent& event) {
    send({events_topic(config_.station), event_json(config_.station, event), false});
}

std::unique_ptr<HeadOfficeLink> make_station_link(const ExtraSettings& extra, const std::string& work_directory,
                                                  PasswordStore* passwords) {
    StationConfig config = read_station_config(extra, passwords);
    if (!config.enabled) return nullptr;
    std::string seen = (std::filesystem::path(work_directory) / kSeenIdsName).string();
    return std::make_unique<MqttStation>(std::move(config), seen);
}

}  // namespace kc::mqtt
