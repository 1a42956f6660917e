#include "centrala/server/server.h"

#include <httplib.h>
#include <sodium.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <set>

#include "centrala/server/csv.h"
#include "hosts/mqtt/messages.h"
#include "link/price_batch.h"

namespace kc::centrala {

namespace {

using namespace kc::central_word;

constexpr int64_t kSessionIdleS = 12 * 3600;
constexpr size_t kFeedKept = 2000;
constexpr int64_t kPushKeptS = 24 * 3600;
constexpr int64_t kMaxAheadS = 31 * 24 * 3600;

int64_t now_s() { return static_cast<int64_t>(std::time(nullptr)); }

std::string token() {
    unsigned char raw[32];
    randombytes_buf(raw, sizeof raw);
    char hex[sizeof raw * 2 + 1];
    sodium_bin2hex(hex, sizeof hex, raw, sizeof raw);
    return hex;
}

bool same_secret(const std::string& a, const std::string& b) {
    return a.size() == b.size() && !a.empty() && sodium_memcmp(a.data(), b.data(), a.size()) == 0;
}

void reply(httplib::Response& res, int status, const json& body) {
    res.status = status;
    res.set_content(body.dump(-1, ' ', false, json::error_handler_t::replace), "application/json; charset=utf-8");
}
void refuse(httplib::Response& res, int status, const std::string& why) { reply(res, status, {{"error", why}}); }

std::string text_of(const json& j, const char* key) {
    auto it = j.is_object() ? j.find(key) : j.end();
    return it != j.end() && it->is_string() ? it->get<std::string>() : "";
}

// A word outcome counts as the last one for its push.
bool final_outcome(const std::string& outcome, const json& j) {
    if (outcome.empty() || outcome == "sent" || outcome == kScheduled || outcome == kHeld) return false;
    if (outcome == kDuplicate) return text_of(j, "previous") != kPending;
    return true;
}

std::string make_push_id(int64_t now) {
    std::time_t t = static_cast<std::time_t>(now);
    struct tm local = {};
    localtime_r(&t, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    unsigned char r[3];
    randombytes_buf(r, sizeof r);
    char id[64];
    std::snprintf(id, sizeof id, "hq-%s-%02x%02x%02x", stamp, r[0], r[1], r[2]);
    return id;
}

bool valid_group(const std::string& g) {
    if (g.size() > 40) return false;
    for (unsigned char c : g)
        if (c < 0x20 || c == 0x7F) return false;
    return true;
}

bool valid_user_name(const std::string& n) {
    if (n.empty() || n.size() > 32) return false;
    return std::all_of(n.begin(), n.end(), [](unsigned char c) { return std::isalnum(c) || c == '_' || c == '-' || c == '.'; });
}

}  // namespace

bool parse_listen(const ServerOptions& o, std::string& host, int& port, std::string& why) {
    const size_t colon = o.listen.rfind(':');
    if (colon == std::string::npos || colon == 0) {
        why = "zły adres --listen \"" + o.listen + "\": potrzebny HOST:PORT";
        return false;
    }
    host = o.listen.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    const std::string p = o.listen.substr(colon + 1);
    if (p.empty() || p.size() > 5 || !std::all_of(p.begin(), p.end(), ::isdigit) || std::stoi(p) > 65535) {
        why = "zły port w --listen \"" + o.listen + "\"";
        return false;
    }
    port = std::stoi(p);
    const bool loopback = host == "localhost" || host == "::1" || host.rfind("127.", 0) == 0;
    if (!loopback && (o.tls_cert.empty() || o.tls_key.empty())) {
        why = "adres " + host + " jest widoczny z sieci: potrzebne --tls-cert i --tls-key";
        return false;
    }
    return true;
}

Server::Server(Store& store, ServerOptions options, Publish publish)
    : store_(store), options_(std::move(options)), publish_(std::move(publish)) {
    for (StationRow& s : store_.load_stations()) stations_[s.id] = std::move(s);
}

Server::~Server() { stop(); }

std::string Server::start() {
    std::string host, why;
    if (!parse_listen(options_, host, port_, why)) return why;
    tls_ = !options_.tls_cert.empty();
    if (tls_) {
        auto ssl = std::make_unique<httplib::SSLServer>(options_.tls_cert.c_str(), options_.tls_key.c_str());
        if (!ssl->is_valid()) return "nie można użyć certyfikatu " + options_.tls_cert + " i klucza " + options_.tls_key;
        http_ = std::move(ssl);
    } else {
        http_ = std::make_unique<httplib::Server>();
    }
    http_->set_default_headers({{"Content-Security-Policy", "default-src 'self'"},
                                {"X-Content-Type-Options", "nosniff"},
                                {"Referrer-Policy", "no-referrer"},
                                {"X-Frame-Options", "DENY"}});
    http_->set_payload_max_length(64 * 1024);
    // Whatever slipped past the checks is still an answer in Polish, never a dropped connection.
    http_->set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        refuse(res, 400, "Zapytanie ma zły kształt.");
    });
    // Headers and body go out as separate writes: without this each answer waits for a delayed ACK.
    http_->set_tcp_nodelay(true);
    // Each open page holds one thread for its live updates.
    http_->new_task_queue = [] { return new httplib::ThreadPool(32); };
    routes();
    if (!options_.web_dir.empty() && !http_->set_mount_point("/", options_.web_dir))
        return "brak katalogu stron " + options_.web_dir;
    if (port_ == 0) {
        port_ = http_->bind_to_any_port(host);
        if (port_ <= 0) return "nie można nasłuchiwać na " + host;
    } else if (!http_->bind_to_port(host, port_)) {
        return "nie można nasłuchiwać na " + options_.listen + " (zajęty port albo zły adres)";
    }
    worker_thread_ = std::thread([this] { worker(); });
    http_thread_ = std::thread([this] { http_->listen_after_bind(); });
    return "";
}

void Server::stop() {
    {
        std::lock_guard<std::mutex> g(lock_);
        if (stopping_) return;
        stopping_ = true;
    }
    wake_.notify_all();
    if (http_) http_->stop();
    if (http_thread_.joinable()) http_thread_.join();
    if (worker_thread_.joinable()) worker_thread_.join();
    flush_rows();
}

void Server::broker_state(bool connected, const std::string& detail) {
    {
        std::lock_guard<std::mutex> g(lock_);
        broker_connected_ = connected;
        broker_detail_ = detail;
    }
    broadcast("broker", {{"connected", connected}, {"detail", detail}});
}

// ---- from the broker ----

void Server::on_message(const std::string& topic, const std::string& payload) {
    const std::string station = kc::mqtt::station_of_topic(topic);
    if (station.empty() || !kc::mqtt::valid_station_id(station)) return;
    json j = json::parse(payload, nullptr, false);
    if (j.is_discarded() || !j.is_object()) return;
    const int64_t now = now_s();
    if (topic == kc::mqtt::status_topic(station)) on_status(station, j, now);
    else if (topic == kc::mqtt::state_topic(station)) on_state(station, j, now);
    else if (topic == kc::mqtt::result_topic(station)) on_result(station, j, now);
    else if (topic == kc::mqtt::events_topic(station)) on_event(station, j, now);
}

json Server::station_json(const StationRow& s) const {
    return {{"id", s.id}, {"group", s.group}, {"status", s.status}, {"state", s.state},
            {"since", s.since}, {"seen", s.seen}, {"held", s.held}};
}

void Server::on_status(const std::string& station, const json& j, int64_t now) {
    if (!j.contains("status") || !j["status"].is_string()) return;
    json row;
    bool no_answer = false;
    {
        std::lock_guard<std::mutex> g(lock_);
        StationRow& s = stations_[station];
        s.id = station;
        const std::string before = text_of(s.status, "status");
        const std::string sign_before = text_of(s.status, "sign");
        if (before != text_of(j, "status") || s.since == 0) s.since = now;
        s.status = j;
        s.seen = now;
        no_answer = text_of(j, "sign") == "no_answer" && sign_before != "no_answer";
        row = station_json(s);
    }
    store_.save_station([&] {
        std::lock_guard<std::mutex> g(lock_);
        return stations_[station];
    }());
    if (no_answer) alarm(station, "no_answer", now, "wieża nie odpowiada");
    broadcast("station", row);
}

void Server::on_state(const std::string& station, const json& j, int64_t now) {
    json row;
    StationRow copy;
    {
        std::lock_guard<std::mutex> g(lock_);
        StationRow& s = stations_[station];
        s.id = station;
        const bool fresh = s.state != j;
        s.state = j;
        s.seen = now;
        copy = s;
        row = station_json(s);
        if (fresh) pending_rows_.push_back({station, "state", "", now, j});
    }
    store_.save_station(copy);
    broadcast("station", row);
}

void Server::on_result(const std::string& station, const json& j, int64_t now) {
    const std::string id = text_of(j, "id");
    const std::string outcome = text_of(j, "outcome");
    if (id.empty() || outcome.empty()) return;
    json update;
    StationRow copy;
    bool mismatch = outcome == kMismatch;
    {
        std::lock_guard<std::mutex> g(lock_);
        pending_rows_.push_back({station, "result", id, now, j});
        auto p = pushes_.find(id);
        if (p != pushes_.end()) {
            auto t = p->second.targets.find(station);
            // A later "duplicate" of a change already answered adds nothing.
            if (t != p->second.targets.end() && !(outcome == kDuplicate && final_outcome(t->second.outcome, json()))) {
                t->second.outcome = outcome;
                t->second.time = now;
                t->second.detail = text_of(j, "detail");
                t->second.sign = j.contains("sign") ? j["sign"] : json();
            }
        }
        StationRow& s = stations_[station];
        s.id = station;
        if (outcome == kHeld) s.held = {{"id", id}, {"time", now}};
        else if (text_of(s.held, "id") == id && final_outcome(outcome, j)) s.held = json();
        copy = s;
        update = {{"push", id}, {"station", station}, {"outcome", outcome}, {"time", now}, {"result", j}};
    }
    store_.save_station(copy);
    wake_.notify_all();
    if (mismatch) {
        std::string detail = "wieża pokazuje inne ceny";
        if (j.contains("fields") && j["fields"].is_array() && !j["fields"].empty()) {
            std::string list;
            for (const json& f : j["fields"]) list += (list.empty() ? "" : ", ") + f.dump();
            detail += (j["fields"].size() == 1 ? " w polu " : " w polach ") + list;
        }
        alarm(station, "mismatch", now, detail);
    }
    broadcast("result", update);
}

void Server::on_event(const std::string& station, const json& j, int64_t now) {
    const std::string event = text_of(j, "event");
    if (event.empty()) return;
    StationRow copy;
    {
        std::lock_guard<std::mutex> g(lock_);
        pending_rows_.push_back({station, "event", text_of(j, "id"), now, j});
        StationRow& s = stations_[station];
        s.id = station;
        if (event == "change_held") s.held = {{"id", text_of(j, "id")}, {"time", now}};
        else if (event == "change_applied") s.held = json();
        copy = s;
    }
    store_.save_station(copy);
    static const std::map<std::string, std::pair<const char*, const char*>> kAlarms = {
        {"sign_differs", {"mismatch", "wieża pokazuje inne ceny niż potwierdzone"}},
        {"prices_restored", {"restore", "stacja przywróciła potwierdzone ceny"}},
        {"restore_limit", {"restore_limit", "wyczerpany limit przywróceń"}},
        {"sign_no_answer", {"no_answer", "wieża nie odpowiada"}},
    };
    if (auto a = kAlarms.find(event); a != kAlarms.end()) {
        std::string detail = a->second.second;
        if (!text_of(j, "detail").empty()) detail += ": " + text_of(j, "detail");
        alarm(station, a->second.first, now, detail);
    }
    broadcast("event", {{"station", station}, {"time", now}, {"event", j}});
}

void Server::alarm(const std::string& station, const std::string& kind, int64_t now, const std::string& detail) {
    // One open alarm per station and kind: a sign that keeps differing is one thing to look at.
    if (store_.open_alarm(station, kind)) return;
    const int64_t id = store_.raise_alarm(station, kind, now, detail);
    broadcast("alarm", {{"id", id}, {"station", station}, {"kind", kind}, {"time", now}, {"detail", detail}});
}

void Server::broadcast(const std::string& kind, json data) {
    {
        std::lock_guard<std::mutex> g(lock_);
        std::string line = "event: " + kind + "\ndata: " +
                           data.dump(-1, ' ', false, json::error_handler_t::replace) + "\n\n";
        feed_.emplace_back(feed_next_++, std::move(line));
        while (feed_.size() > kFeedKept) feed_.pop_front();
    }
    wake_.notify_all();
}

// ---- the worker: rows, timed changes, time-outs, offline alarms ----

void Server::flush_rows() {
    std::vector<Row> rows;
    {
        std::lock_guard<std::mutex> g(lock_);
        rows.swap(pending_rows_);
    }
    store_.add_rows(rows);
}

void Server::send_push(const std::string& id, const std::string& user, const json& body, int64_t now) {
    PriceSet set;
    for (size_t i = 0; i < 5; ++i) {
        set.prices[i] = body["prices"][i].get<std::string>();
        set.blink[i] = body["blink"][i].get<bool>();
    }
    Push push;
    push.id = id;
    push.user = user;
    push.sent = now;
    {
        std::lock_guard<std::mutex> g(lock_);
        for (const json& s : body["stations"]) {
            const std::string station = s.get<std::string>();
            auto st = stations_.find(station);
            // The broker keeps it for the station's session: it comes when the station does.
            const bool away = st != stations_.end() && text_of(st->second.status, "status") != "online";
            push.targets[station] = {station, "sent", away ? "stacja offline, broker przechowa zmianę" : "", now, json()};
        }
        pushes_[id] = push;
    }
    for (const auto& [station, t] : push.targets) {
        if (!publish_ || !publish_(kc::mqtt::set_topic(station), kc::mqtt::change_json(station, id, set, ""))) {
            std::lock_guard<std::mutex> g(lock_);
            auto& target = pushes_[id].targets[station];
            target.outcome = "not_sent";
            target.detail = "brak połączenia z brokerem";
        }
    }
    store_.set_push_state(id, "sent");
    broadcast("push", {{"push", id}, {"stations", body["stations"]}});
}

void Server::worker() {
    int64_t last_second = 0;
    std::unique_lock<std::mutex> g(lock_);
    while (!stopping_) {
        wake_.wait_for(g, std::chrono::milliseconds(200));
        if (stopping_) break;
        g.unlock();
        flush_rows();
        const int64_t now = now_s();
        if (now != last_second) {
            last_second = now;
            for (const json& p : store_.pushes("waiting", 1000))
                if (p["due"].get<int64_t>() <= now) {
                    store_.audit(p["user"].get<std::string>(), "", "push_timed", p["id"].get<std::string>());
                    send_push(p["id"], p["user"], p["body"], now);
                }
            std::vector<json> timed_out;
            std::vector<std::pair<std::string, int64_t>> offline;
            g.lock();
            for (auto it = pushes_.begin(); it != pushes_.end();) {
                for (auto& [station, t] : it->second.targets)
                    if (t.outcome == "sent" && t.detail.empty() && now - it->second.sent >= options_.result_timeout_s) {
                        t.outcome = "no_answer";
                        t.time = now;
                        timed_out.push_back({{"push", it->first}, {"station", station}, {"outcome", "no_answer"},
                                             {"time", now}, {"result", json()}});
                        pending_rows_.push_back({station, "result", it->first, now,
                                                 {{"id", it->first}, {"outcome", "no_answer"}}});
                    }
                it = now - it->second.sent > kPushKeptS ? pushes_.erase(it) : std::next(it);
            }
            // Forgotten after a quiet hour: names tried at random must not fill the memory.
            for (auto it = failures_.begin(); it != failures_.end();)
                it = now - it->second.last > 3600 && it->second.until < now ? failures_.erase(it) : std::next(it);
            for (auto it = sessions_.begin(); it != sessions_.end();)
                it = now - it->second.last > kSessionIdleS ? sessions_.erase(it) : std::next(it);
            for (const auto& [id, s] : stations_)
                if (text_of(s.status, "status") == "offline" && now - s.since >= options_.offline_alarm_s)
                    offline.emplace_back(id, s.since);
            g.unlock();
            for (json& t : timed_out) broadcast("result", std::move(t));
            for (const auto& [station, since] : offline) alarm(station, "offline", now, "stacja nie łączy się z brokerem");
        }
        g.lock();
    }
}

// ---- HTTP ----

void Server::routes() {
    httplib::Server& h = *http_;
    const std::string secure = tls_ ? "; Secure" : "";

    // The session of a request, checked for its role and, on a change, its CSRF token.
    auto session = [this](const httplib::Request& req, httplib::Response& res, int rank, Session& out) {
        const std::string cookie = req.get_header_value("Cookie");
        std::string tok;
        for (size_t at = 0; (at = cookie.find("kc_session=", at)) != std::string::npos; at += 11)
            if (at == 0 || cookie[at - 1] == ' ' || cookie[at - 1] == ';') {
                tok = cookie.substr(at + 11, cookie.find(';', at) == std::string::npos ? std::string::npos
                                                                                       : cookie.find(';', at) - at - 11);
                break;
            }
        std::lock_guard<std::mutex> g(lock_);
        auto it = sessions_.find(tok);
        const int64_t now = now_s();
        if (tok.empty() || it == sessions_.end() || now - it->second.last > kSessionIdleS) {
            if (it != sessions_.end()) sessions_.erase(it);
            refuse(res, 401, "Zaloguj się.");
            return false;
        }
        if (req.method != "GET" && !same_secret(req.get_header_value("X-CSRF-Token"), it->second.csrf)) {
            refuse(res, 403, "Brak tokenu CSRF tej sesji: odśwież stronę i spróbuj ponownie.");
            return false;
        }
        if (role_rank(it->second.role) < rank) {
            refuse(res, 403, "Twoja rola nie pozwala na to działanie.");
            return false;
        }
        it->second.last = now;
        out = it->second;
        return true;
    };
    auto body_of = [](const httplib::Request& req, httplib::Response& res, json& out) {
        out = json::parse(req.body, nullptr, false);
        if (out.is_discarded() || !out.is_object()) {
            refuse(res, 400, "Zapytanie nie jest obiektem JSON.");
            return false;
        }
        return true;
    };

    h.Post("/api/login", [this, body_of, secure](const httplib::Request& req, httplib::Response& res) {
        json b;
        if (!body_of(req, res, b)) return;
        const std::string name = text_of(b, "user"), password = text_of(b, "password");
        if (name.empty() || password.empty()) return refuse(res, 400, "Podaj nazwę użytkownika i hasło.");
        const int64_t now = now_s();
        const std::string keys[2] = {"u:" + name, "a:" + req.remote_addr};
        {
            std::lock_guard<std::mutex> g(lock_);
            int64_t until = 0;
            for (const std::string& k : keys)
                if (auto f = failures_.find(k); f != failures_.end()) until = std::max(until, f->second.until);
            if (until > now) {
                store_.audit(name, req.remote_addr, "login_slowed", "");
                return refuse(res, 429, "Zbyt wiele nieudanych prób logowania. Spróbuj ponownie za " +
                                            std::to_string(until - now) + " s.");
            }
        }
        User user;
        if (!store_.check_password(name, password, user)) {
            std::lock_guard<std::mutex> g(lock_);
            for (const std::string& k : keys) {
                Failures& f = failures_[k];
                f.last = now;
                if (++f.count >= options_.max_login_failures)
                    f.until = now + (int64_t{1} << std::min(f.count - options_.max_login_failures + 1, 8));
            }
            store_.audit(name, req.remote_addr, "login_failed", "");
            return refuse(res, 401, "Zła nazwa użytkownika albo hasło.");
        }
        Session s{user.name, user.role, token(), req.remote_addr, now};
        const std::string tok = token();
        {
            std::lock_guard<std::mutex> g(lock_);
            for (const std::string& k : keys) failures_.erase(k);
            sessions_[tok] = s;
        }
        store_.audit(name, req.remote_addr, "login", user.role);
        res.set_header("Set-Cookie", "kc_session=" + tok + "; Path=/; HttpOnly; SameSite=Strict" + secure);
        reply(res, 200, {{"user", s.user}, {"role", s.role}, {"csrf", s.csrf}});
    });
    h.Post("/api/logout", [this, session](const httplib::Request& req, httplib::Response& res) {
        Session s;
        if (!session(req, res, 1, s)) return;
        {
            std::lock_guard<std::mutex> g(lock_);
            for (auto it = sessions_.begin(); it != sessions_.end();)
                it = it->second.csrf == s.csrf ? sessions_.erase(it) : std::next(it);
        }
        store_.audit(s.user, req.remote_addr, "logout", "");
        res.set_header("Set-Cookie", "kc_session=; Path=/; HttpOnly; SameSite=Strict; Max-Age=0");
        reply(res, 200, json::object());
    });
    h.Get("/api/me", [this, session](const httplib::Request& req, httplib::Response& res) {
        Session s;
        if (!session(req, res, 1, s)) return;
        std::lock_guard<std::mutex> g(lock_);
        reply(res, 200, {{"user", s.user}, {"role", s.role}, {"csrf", s.csrf},
                         {"broker", {{"connected", broker_connected_}, {"detail", broker_detail_}}}});
    });

    h.Get("/api/stations", [this, session](const httplib::Request& req, httplib::Response& res) {
        Session s;
        if (!session(req, res, 1, s)) return;
        const std::string group = req.get_param_value("group"), state = req.get_param_value("state");
        static const std::set<std::string> kStates = {"", "online", "offline", "no_answer", "test_mode", "held",
                                                      "mismatch"};
        if (!kStates.count(state)) return refuse(res, 400, "Nieznany stan \"" + state + "\".");
        json out = json::array();
        std::set<std::string> groups;
        std::lock_guard<std::mutex> g(lock_);
        for (const auto& [id, st] : stations_) {
            if (!st.group.empty()) groups.insert(st.group);
            if (!group.empty() && st.group != group) continue;
            const std::string link = text_of(st.status, "status"), sign = text_of(st.status, "sign");
            bool keep = state.empty() || (state == "online" && link == "online") ||
                        (state == "offline" && link != "online") || (state == "no_answer" && sign == "no_answer") ||
                        (state == "test_mode" && (sign == "test_mode" || st.status.value("test_mode", false))) ||
                        (state == "held" && !st.held.is_null()) ||
                        (state == "mismatch" && st.state.is_object() && !st.state.value("matches", true));
            if (keep) out.push_back(station_json(st));
        }
        reply(res, 200, {{"stations", out}, {"groups", groups}});
    });
    h.Get(R"(/api/stations/([A-Za-z0-9_-]{1,64}))", [this, session](const httplib::Request& req, httplib::Response& res) {
        Session s;
        if (!session(req, res, 1, s)) return;
        const std::string id = req.matches[1];
        json station;
        {
            std::lock_guard<std::mutex> g(lock_);
            auto it = stations_.find(id);
            if (it == stations_.end()) return refuse(res, 404, "Nie ma stacji " + id + ".");
            station = station_json(it->second);
        }
        flush_rows();
        reply(res, 200, {{"station", station}, {"history", store_.rows(id, "", 0, INT64_MAX, 200)}});
    });
    h.Post(R"(/api/stations/([A-Za-z0-9_-]{1,64})/group)",
           [this, session, body_of](const httplib::Request& req, httplib::Response& res) {
               Session s;
               json b;
               if (!session(req, res, 2, s) || !body_of(req, res, b)) return;
               if (!b.contains("group") || !b["group"].is_string())
                   return refuse(res, 400, "Podaj grupę (tekst, może być pusty).");
               const std::string group = b["group"];
               if (!valid_group(group)) return refuse(res, 400, "Grupa może mieć najwyżej 40 znaków, bez znaków sterujących.");
               const std::string id = req.matches[1];
               StationRow copy;
               {
                   std::lock_guard<std::mutex> g(lock_);
                   auto it = stations_.find(id);
                   if (it == stations_.end()) return refuse(res, 404, "Nie ma stacji " + id + ".");
                   it->second.group = group;
                   copy = it->second;
               }
               store_.save_station(copy);
               store_.audit(s.user, req.remote_addr, "group", id + " -> " + group);
               broadcast("station", station_json(copy));
               reply(res, 200, station_json(copy));
           });

    // A push: checked whole, then sent now, or kept until its time.
    auto check_push = [this](const json& b, json& out, std::string& why) {
        const auto want_list = [&](const char* key) { return !b.contains(key) || b[key].is_array(); };
        if (!want_list("stations") || !want_list("groups") || !want_list("prices") || !want_list("blink")) {
            why = "Pola stations, groups, prices i blink muszą być listami.";
            return false;
        }
        if (!b.contains("prices") || b["prices"].size() != 5) {
            why = "Potrzeba pięciu cen.";
            return false;
        }
        json prices = json::array(), blink = json::array();
        for (size_t i = 0; i < 5; ++i) {
            if (!b["prices"][i].is_string()) {
                why = "Cena " + std::to_string(i + 1) + " nie jest tekstem.";
                return false;
            }
            std::string p = b["prices"][i];
            std::replace(p.begin(), p.end(), ',', '.');
            kc::PriceCheck c = kc::check_price_text(p);
            if (!c) {
                why = "Cena " + std::to_string(i + 1) + " \"" + p + "\": " +
                      (c.problem == kc::PriceProblem::too_long ? "najwyżej 6 znaków."
                                                               : "wieża pokaże tylko cyfry, kropkę, minus i odstęp.");
                return false;
            }
            prices.push_back(p);
            const bool blinks = b.contains("blink") && i < b["blink"].size() && b["blink"][i].is_boolean() &&
                                b["blink"][i].get<bool>();
            blink.push_back(blinks);
        }
        if (b.contains("all") && !b["all"].is_boolean()) {
            why = "Pole all musi być true albo false.";
            return false;
        }
        std::set<std::string> chosen;
        const bool all = b.value("all", false);
        std::set<std::string> groups;
        for (const json& g : b.value("groups", json::array())) {
            if (!g.is_string() || !valid_group(g)) {
                why = "Zła nazwa grupy.";
                return false;
            }
            groups.insert(g.get<std::string>());
        }
        for (const json& s : b.value("stations", json::array())) {
            if (!s.is_string() || !kc::mqtt::valid_station_id(s)) {
                why = "Zły identyfikator stacji (1–64 znaki: litery, cyfry, _ i -).";
                return false;
            }
            chosen.insert(s.get<std::string>());
        }
        {
            std::lock_guard<std::mutex> g(lock_);
            for (const std::string& s : chosen)
                if (!stations_.count(s)) {
                    why = "Nie ma stacji " + s + ".";
                    return false;
                }
            for (const auto& [id, st] : stations_)
                if (all || groups.count(st.group)) chosen.insert(id);
        }
        if (chosen.empty()) {
            why = "Wybierz stacje: wszystkie, grupy albo pojedyncze stacje.";
            return false;
        }
        int64_t due = 0;
        const std::string at = text_of(b, "at");
        if (!at.empty()) {
            std::string t = at.size() == 16 ? at + ":00" : at;
            if (!kc::mqtt::parse_time(t, due)) {
                why = "Zły czas \"" + at + "\": potrzebny RRRR-MM-DDTGG:MM.";
                return false;
            }
            if (due <= now_s()) {
                why = "Czas " + at + " już minął.";
                return false;
            }
            if (due - now_s() > kMaxAheadS) {
                why = "Zmianę można zaplanować najwyżej 31 dni naprzód.";
                return false;
            }
        }
        out = {{"stations", chosen}, {"prices", prices}, {"blink", blink}, {"at", at}, {"due", due}};
        return true;
    };
    h.Post("/api/push/check", [this, session, body_of, check_push](const httplib::Request& req, httplib::Response& res) {
        Session s;
        json b, push;
        std::string why;
        if (!session(req, res, 2, s) || !body_of(req, res, b)) return;
        if (!check_push(b, push, why)) return refuse(res, 400, why);
        json rows = json::array();
        std::lock_guard<std::mutex> g(lock_);
        for (const json& id : push["stations"]) {
            const StationRow& st = stations_[id.get<std::string>()];
            rows.push_back({{"id", id}, {"group", st.group}, {"status", st.status}, {"state", st.state}});
        }
        push["rows"] = rows;
        reply(res, 200, push);
    });
    h.Post("/api/push", [this, session, body_of, check_push](const httplib::Request& req, httplib::Response& res) {
        Session s;
        json b, push;
        std::string why;
        if (!session(req, res, 2, s) || !body_of(req, res, b)) return;
        if (!check_push(b, push, why)) return refuse(res, 400, why);
        const int64_t now = now_s();
        const std::string id = make_push_id(now);
        push["user"] = s.user;
        const int64_t due = push["due"];
        store_.save_push(id, now, due ? due : now, s.user, due ? "waiting" : "sending", push);
        store_.audit(s.user, req.remote_addr, due ? "push_planned" : "push",
                     id + " " + push["prices"].dump() + " -> " + std::to_string(push["stations"].size()) + " stacji");
        if (!due) send_push(id, s.user, push, now);
        else wake_.notify_all();
        reply(res, 200, {{"id", id}, {"stations", push["stations"]}, {"due", due}});
    });
    h.Get(R"(/api/push/([A-Za-z0-9_-]{1,64}))", [this, session](const httplib::Request& req, httplib::Response& res) {
        Session s;
        if (!session(req, res, 1, s)) return;
        std::lock_guard<std::mutex> g(lock_);
        auto it = pushes_.find(req.matches[1]);
        if (it == pushes_.end()) return refuse(res, 404, "Nie ma takiej zmiany w toku.");
        json targets = json::array();
        for (const auto& [station, t] : it->second.targets)
            targets.push_back({{"station", station}, {"outcome", t.outcome}, {"detail", t.detail}, {"time", t.time},
                               {"sign", t.sign}});
        reply(res, 200, {{"id", it->first}, {"user", it->second.user}, {"sent", it->second.sent}, {"targets", targets}});
    });
    h.Get("/api/timed", [this, session](const httplib::Request& req, httplib::Response& res) {
        Session s;
        if (!session(req, res, 1, s)) return;
        reply(res, 200, {{"timed", store_.pushes("waiting", 500)}});
    });
    h.Post(R"(/api/timed/([A-Za-z0-9_-]{1,64})/cancel)", [this, session](const httplib::Request& req, httplib::Response& res) {
        Session s;
        if (!session(req, res, 2, s)) return;
        const std::string id = req.matches[1];
        bool waiting = false;
        for (const json& p : store_.pushes("waiting", 1000)) waiting = waiting || p["id"] == id;
        if (!waiting) return refuse(res, 404, "Nie ma czekającej zmiany " + id + " (wysłana albo odwołana).");
        store_.set_push_state(id, "cancelled");
        store_.audit(s.user, req.remote_addr, "push_cancelled", id);
        reply(res, 200, {{"id", id}, {"state", "cancelled"}});
    });

    // History: results, states and events; the CSV in the journal's form.
    auto history = [this](const httplib::Request& req, httplib::Response& res, json& out) {
        int64_t from = 0, to = INT64_MAX;
        for (auto [key, target] : {std::pair<const char*, int64_t*>{"from", &from}, {"to", &to}}) {
            const std::string v = req.get_param_value(key);
            if (v.empty()) continue;
            std::string t = v.size() == 10 ? v + (target == &to ? "T23:59:59" : "T00:00:00") : v;
            if (!kc::mqtt::parse_time(t, *target)) {
                refuse(res, 400, std::string("Zła data \"") + v + "\": potrzebna RRRR-MM-DD.");
                return false;
            }
        }
        const std::string station = req.get_param_value("station"), outcome = req.get_param_value("outcome");
        if (!station.empty() && !kc::mqtt::valid_station_id(station)) {
            refuse(res, 400, "Zły identyfikator stacji.");
            return false;
        }
        flush_rows();
        out = json::array();
        for (json& r : store_.rows(station, "", from, to, 5000)) {
            // Head office's own changes are told by their results; states add the stations' own.
            if (r["kind"] == "state" && text_of(r["body"], "source") == "centrala") continue;
            if (outcome.empty() || text_of(r["body"], "outcome") == outcome) out.push_back(std::move(r));
        }
        return true;
    };
    h.Get("/api/history", [session, history](const httplib::Request& req, httplib::Response& res) {
        Session s;
        json rows;
        if (!session(req, res, 1, s) || !history(req, res, rows)) return;
        reply(res, 200, {{"rows", rows}});
    });
    h.Get("/api/history.csv", [this, session, history](const httplib::Request& req, httplib::Response& res) {
        Session s;
        json rows;
        if (!session(req, res, 1, s) || !history(req, res, rows)) return;
        res.set_header("Content-Disposition", "attachment; filename=\"historia.csv\"");
        std::map<std::string, json> pushes;
        for (json& p : store_.pushes("", 100000)) pushes[p["id"].get<std::string>()] = std::move(p["body"]);
        res.set_content(history_csv(rows, pushes), "text/csv; charset=windows-1250");
    });

    h.Get("/api/alarms", [this, session](const httplib::Request& req, httplib::Response& res) {
        Session s;
        if (!session(req, res, 1, s)) return;
        reply(res, 200, {{"alarms", store_.alarms(req.get_param_value("open") == "1", 500)}});
    });
    h.Post(R"(/api/alarms/(\d{1,18})/ack)", [this, session](const httplib::Request& req, httplib::Response& res) {
        Session s;
        if (!session(req, res, 1, s)) return;
        const int64_t id = std::stoll(req.matches[1]);
        if (!store_.ack_alarm(id, s.user, now_s())) return refuse(res, 404, "Nie ma otwartego alarmu " + std::to_string(id) + ".");
        store_.audit(s.user, req.remote_addr, "alarm_ack", std::to_string(id));
        broadcast("alarm_ack", {{"id", id}, {"user", s.user}});
        reply(res, 200, {{"id", id}});
    });

    h.Get("/api/users", [this, session](const httplib::Request& req, httplib::Response& res) {
        Session s;
        if (!session(req, res, 3, s)) return;
        json out = json::array();
        for (const User& u : store_.users()) out.push_back({{"name", u.name}, {"role", u.role}, {"created", u.created}});
        reply(res, 200, {{"users", out}, {"audit", store_.audit_rows(200)}});
    });
    h.Post("/api/users", [this, session, body_of](const httplib::Request& req, httplib::Response& res) {
        Session s;
        json b;
        if (!session(req, res, 3, s) || !body_of(req, res, b)) return;
        const std::string name = text_of(b, "name"), password = text_of(b, "password"), role = text_of(b, "role");
        if (!valid_user_name(name)) return refuse(res, 400, "Nazwa użytkownika: 1–32 znaki, litery, cyfry, _ - i kropka.");
        if (role_rank(role) == 0) return refuse(res, 400, "Rola musi być jedną z: podgląd, ceny, admin.");
        if (password.size() < 10) return refuse(res, 400, "Hasło musi mieć co najmniej 10 znaków.");
        if (std::string why = store_.add_user(name, password, role); !why.empty()) return refuse(res, 409, why + ".");
        store_.audit(s.user, req.remote_addr, "user_add", name + " " + role);
        reply(res, 200, {{"name", name}, {"role", role}});
    });
    h.Post(R"(/api/users/([A-Za-z0-9_.-]{1,32})/remove)", [this, session](const httplib::Request& req, httplib::Response& res) {
        Session s;
        if (!session(req, res, 3, s)) return;
        const std::string name = req.matches[1];
        if (name == s.user) return refuse(res, 400, "Nie można usunąć własnego konta.");
        if (!store_.remove_user(name)) return refuse(res, 404, "Nie ma użytkownika " + name + ".");
        {
            std::lock_guard<std::mutex> g(lock_);
            for (auto it = sessions_.begin(); it != sessions_.end();)
                it = it->second.user == name ? sessions_.erase(it) : std::next(it);
        }
        store_.audit(s.user, req.remote_addr, "user_remove", name);
        reply(res, 200, {{"name", name}});
    });

    // Server-Sent Events: everything that changes, from the moment the page asks.
    h.Get("/api/stream", [this, session](const httplib::Request& req, httplib::Response& res) {
        Session s;
        if (!session(req, res, 1, s)) return;
        auto last = std::make_shared<uint64_t>(0);
        {
            std::lock_guard<std::mutex> g(lock_);
            *last = feed_next_ - 1;
        }
        res.set_header("Cache-Control", "no-store");
        res.set_chunked_content_provider("text/event-stream", [this, last](size_t, httplib::DataSink& sink) {
            std::string out;
            {
                std::unique_lock<std::mutex> g(lock_);
                wake_.wait_for(g, std::chrono::seconds(15), [&] { return stopping_ || feed_next_ - 1 > *last; });
                if (stopping_) return false;
                for (const auto& [n, line] : feed_)
                    if (n > *last) out += line;
                *last = feed_next_ - 1;
            }
            if (out.empty()) out = ": ping\n\n";
            return sink.is_writable() && sink.write(out.data(), out.size());
        });
    });
}

}  // namespace kc::centrala
