// Head office link (MQTT host): the connection check.
#include "hosts/mqtt/connection_check.h"

#include <mosquitto.h>
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <chrono>
#include <fstream>
#include <algorithm>
#include <mutex>
#include <optional>
#include <string>

#include "hosts/mqtt/messages.h"
#include "resources/texts.h"

namespace kc::mqtt {
namespace {

constexpr int kLoopWaitMs = 100;
constexpr int kKeepAliveSeconds = 30;
constexpr int kSubscriptionRefused = 0x80;

// What the callbacks saw; they run on the checking thread only (inside mosquitto_loop).
struct Seen {
    std::string topic;
    int connack = -1;
    int subscribe_mid = -1;
    int granted = -1;
};

void connected(mosquitto* m, void* self, int rc) {
    auto& seen = *static_cast<Seen*>(self);
    seen.connack = rc;
    if (rc == 0 && mosquitto_subscribe(m, &seen.subscribe_mid, seen.topic.c_str(), 1) != MOSQ_ERR_SUCCESS)
        seen.subscribe_mid = -2;
}

void subscribed(mosquitto*, void* self, int mid, int count, const int* granted) {
    auto& seen = *static_cast<Seen*>(self);
    if (mid == seen.subscribe_mid && count > 0) seen.granted = granted[0];
}

HeadOfficeCheckResult result(HeadOfficeCheckOutcome outcome, std::string detail = {}) {
    return HeadOfficeCheckResult{outcome, std::move(detail)};
}

// Why the network gave up before the broker answered.
HeadOfficeCheckResult network_failure(int rc, int err) {
    using O = HeadOfficeCheckOutcome;
    switch (rc) {
        case MOSQ_ERR_EAI:
        case MOSQ_ERR_LOOKUP: return result(O::Unreachable, txt(Txt::HoErrLookup));
        case MOSQ_ERR_TLS:
        case MOSQ_ERR_TLS_HANDSHAKE: return result(O::TlsUntrusted);
        case MOSQ_ERR_ERRNO:
            if (err == ECONNREFUSED) return result(O::Unreachable, txt(Txt::HoErrRefused));
            if (err == EHOSTUNREACH || err == ENETUNREACH || err == ETIMEDOUT)
                return result(O::Unreachable, txt(Txt::HoErrUnreachable));
            if (err == EPROTO) return result(O::TlsUntrusted);
            return result(O::Failed, std::error_code(err, std::generic_category()).message());
        case MOSQ_ERR_CONN_LOST:
        case MOSQ_ERR_NO_CONN: return result(O::Failed, txt(Txt::HoErrLost));
        default: return result(O::Failed, mosquitto_strerror(rc));
    }
}

using Clock = std::chrono::steady_clock;

int ms_left(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// A plain TCP connection to the broker first: libmosquitto, once TLS is set, starts its
// handshake on a socket that was refused and waits there without a word, so a server
// that is not there would look like one that does not answer.
#ifdef _WIN32
using Socket = SOCKET;
constexpr Socket kNoSocket = INVALID_SOCKET;
int last_error() { return ::WSAGetLastError(); }
Socket open_socket(const addrinfo* a) {
    Socket s = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    u_long on = 1;
    if (s != kNoSocket && ::ioctlsocket(s, FIONBIO, &on) != 0) {
        ::closesocket(s);
        return kNoSocket;
    }
    return s;
}
bool in_progress(int err) { return err == WSAEWOULDBLOCK || err == WSAEINPROGRESS; }
int wait_writable(pollfd& p, int ms) { return ::WSAPoll(&p, 1, ms); }
void close_socket(Socket s) { ::closesocket(s); }
bool refused(int err) { return err == WSAECONNREFUSED || err == ECONNREFUSED; }
bool timed_out(int err) { return err == WSAETIMEDOUT || err == ETIMEDOUT; }
#else
using Socket = int;
constexpr Socket kNoSocket = -1;
int last_error() { return errno; }
Socket open_socket(const addrinfo* a) {
    return ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
}
bool in_progress(int err) { return err == EINPROGRESS; }
int wait_writable(pollfd& p, int ms) { return ::poll(&p, 1, ms); }
void close_socket(Socket s) { ::close(s); }
bool refused(int err) { return err == ECONNREFUSED; }
bool timed_out(int err) { return err == ETIMEDOUT; }
#endif

std::optional<HeadOfficeCheckResult> reach(const HeadOfficeCheckRequest& request, Clock::time_point deadline,
                                           const std::atomic<bool>& cancel) {
    using O = HeadOfficeCheckOutcome;
    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(request.host.c_str(), std::to_string(request.port).c_str(), &hints, &found) != 0 || !found)
        return result(O::Unreachable, txt(Txt::HoErrLookup));
    int err = ETIMEDOUT;
    bool reached = false;
    for (addrinfo* a = found; a && !reached && !cancel.load() && ms_left(deadline) > 0; a = a->ai_next) {
        const Socket fd = open_socket(a);
        if (fd == kNoSocket) {
            err = last_error();
            continue;
        }
        if (::connect(fd, a->ai_addr, static_cast<int>(a->ai_addrlen)) == 0) {
            reached = true;
        } else if (const int e = last_error(); !in_progress(e)) {
            err = e;
        } else {
            pollfd p{fd, POLLOUT, 0};
            // Short steps, so a closed dialog does not wait for the whole time-out.
            while (!cancel.load() && ms_left(deadline) > 0 && wait_writable(p, std::min(ms_left(deadline), 100)) == 0) {
            }
            int so_error = ETIMEDOUT;
            socklen_t len = sizeof so_error;
            if (p.revents && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&so_error), &len) == 0 &&
                so_error == 0)
                reached = true;
            else
                err = p.revents ? so_error : ETIMEDOUT;
        }
        close_socket(fd);
    }
    ::freeaddrinfo(found);
    if (reached) return std::nullopt;
    if (cancel.load() || timed_out(err)) return result(O::TimedOut);
    if (refused(err)) return result(O::Unreachable, txt(Txt::HoErrRefused));
    return result(O::Unreachable, txt(Txt::HoErrUnreachable));
}

struct Client {
    mosquitto* m = nullptr;
    ~Client() {
        if (!m) return;
        mosquitto_disconnect(m);
        mosquitto_destroy(m);
    }
};

}  // namespace

HeadOfficeCheckResult check_connection(const HeadOfficeCheckRequest& request, const std::atomic<bool>& cancel,
                                       int timeout_ms) {
    using O = HeadOfficeCheckOutcome;
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });

    if (!std::ifstream(request.ca_file, std::ios::binary)) return result(O::CaUnreadable);
    Seen seen;
    seen.topic = set_topic(request.station);
    // A client id of its own and a clean session: the station's kept session and the
    // running link stay as they are.
    const std::string client_id = "kavorcen-" + request.station + "-check";
    Client client;
    client.m = mosquitto_new(client_id.c_str(), true, &seen);
    if (!client.m) return result(O::Failed, mosquitto_strerror(MOSQ_ERR_NOMEM));
    mosquitto_connect_callback_set(client.m, connected);
    mosquitto_subscribe_callback_set(client.m, subscribed);
    mosquitto_username_pw_set(client.m, request.user.c_str(), request.password.empty() ? nullptr : request.password.c_str());
    if (mosquitto_tls_set(client.m, request.ca_file.c_str(), nullptr, nullptr, nullptr, nullptr) != MOSQ_ERR_SUCCESS)
        return result(O::CaUnreadable);
    mosquitto_tls_insecure_set(client.m, false);

    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    if (auto failed = reach(request, deadline, cancel)) return *failed;
    int rc = mosquitto_connect_async(client.m, request.host.c_str(), request.port, kKeepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) return network_failure(rc, errno);
    while (!cancel.load()) {
        if (Clock::now() >= deadline) return result(O::TimedOut);
        rc = mosquitto_loop(client.m, kLoopWaitMs, 1);
        const int err = errno;
        if (seen.connack == 4 || seen.connack == 5) return result(O::LoginRefused);
        if (seen.connack > 0) return result(O::Failed, mosquitto_connack_string(seen.connack));
        if (seen.subscribe_mid == -2) return result(O::Failed, txt(Txt::HoErrLost));
        if (seen.granted >= 0) return result(seen.granted == kSubscriptionRefused ? O::NotAuthorised : O::Subscribed);
        if (rc != MOSQ_ERR_SUCCESS) return network_failure(rc, err);
    }
    return result(O::TimedOut);
}

}  // namespace kc::mqtt
