// kavor-centrala: head office's side of the price push. It sends prices to stations
// through the MQTT broker, waits a bounded time for each station's result and prints
// a table; `status` lists the stations from their retained status and state; `watch`
// prints the stations' events as they come.
#include <mosquitto.h>
#include <unistd.h>

#include <csignal>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "hosts/mqtt/messages.h"
#include "hosts/mqtt/station_config.h"
#include "link/price_batch.h"
#include "text/cp1250.h"
#include "watch.h"
#if KC_CENTRALA_SERVER
#include "centrala/server/commands.h"
#endif

namespace {

using nlohmann::json;
using namespace kc::central_word;
using Clock = std::chrono::steady_clock;

// Said under every --help.
const char* const kNotes =
    "A price ending in '*' blinks. TIME is 2026-12-08T00:00:00 (the station's local time)\n"
    "or with an offset (+01:00, Z). push exits 0 when every station confirmed,\n"
    "1 when any did not, 2 for a usage or connection error. A change a station holds until\n"
    "its sign can take it is waited for up to the time-out.";

struct Options {
    std::string command;
    std::string broker, cafile, user = "centrala", password_file;
    std::vector<std::string> stations;
    bool all = false;
    std::string prices, file, at, id;
    int timeout_s = 30;
};

struct Target {
    std::string station;
    kc::PriceSet set;
};

struct StationView {
    json status, state;
};

struct Result {
    bool have = false;
    json message;
    double seconds = 0;
};

// Values read from messages: any station account may write its own topics, so nothing
// is taken on trust. Every message is checked on arrival (shape_fault); these also
// never throw for a value of another type.
std::string text_of(const json& j, const char* key) {
    auto it = j.is_object() ? j.find(key) : j.end();
    return it != j.end() && it->is_string() ? it->get<std::string>() : "";
}
bool flag_of(const json& j, const char* key, bool fallback) {
    auto it = j.is_object() ? j.find(key) : j.end();
    return it != j.end() && it->is_boolean() ? it->get<bool>() : fallback;
}

enum class Kind { Text, Flag, List, Object, Numbers };
struct Field {
    const char* name;
    Kind kind;
    bool required;
};

// What is wrong with a message, or empty.
std::string shape_fault(const json& j, std::initializer_list<Field> fields) {
    if (!j.is_object()) return "not a JSON object";
    for (const Field& f : fields) {
        auto it = j.find(f.name);
        if (it == j.end()) {
            if (f.required) return std::string("no \"") + f.name + "\"";
            continue;
        }
        bool ok = false;
        const char* want = "";
        switch (f.kind) {
            case Kind::Text: ok = it->is_string(); want = "a string"; break;
            case Kind::Flag: ok = it->is_boolean(); want = "true or false"; break;
            case Kind::List: ok = it->is_array(); want = "an array"; break;
            case Kind::Object: ok = it->is_object(); want = "an object"; break;
            case Kind::Numbers:
                ok = it->is_array() && std::all_of(it->begin(), it->end(), [](const json& v) { return v.is_number_integer(); });
                want = "an array of numbers";
                break;
        }
        if (!ok) return std::string("\"") + f.name + "\" is not " + want;
    }
    return "";
}

const std::initializer_list<Field> kStatusFields = {
    {"status", Kind::Text, true}, {"sign", Kind::Text, false}, {"time", Kind::Text, false}};
const std::initializer_list<Field> kStateFields = {
    {"prices", Kind::List, false}, {"blink", Kind::List, false}, {"time", Kind::Text, false},
    {"source", Kind::Text, false}, {"matches", Kind::Flag, false}};
const std::initializer_list<Field> kResultFields = {
    {"id", Kind::Text, true},       {"outcome", Kind::Text, true}, {"reason", Kind::Text, false},
    {"detail", Kind::Text, false},  {"fields", Kind::Numbers, false}, {"sign", Kind::Object, false},
    {"late", Kind::Flag, false},    {"at", Kind::Text, false},     {"previous", Kind::Text, false},
    {"time", Kind::Text, false},    {"arrived", Kind::Text, false}};
const std::initializer_list<Field> kEventFields = {
    {"event", Kind::Text, true},   {"time", Kind::Text, false}, {"detail", Kind::Text, false},
    {"fields", Kind::Numbers, false}, {"sign", Kind::Object, false}, {"id", Kind::Text, false}};

[[noreturn]] void fail(const std::string& message, int code = 2) {
    std::fprintf(stderr, "kavor-centrala: %s\n", message.c_str());
    std::exit(code);
}

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> out;
    std::string part;
    std::istringstream in(s);
    while (std::getline(in, part, sep)) out.push_back(part);
    if (!s.empty() && s.back() == sep) out.push_back("");
    return out;
}

// "4.59*" blinks; every price must be one the panel would send.
bool parse_prices(const std::vector<std::string>& fields, kc::PriceSet& set, std::string& why) {
    if (fields.size() != 5) {
        why = "five prices are needed, " + std::to_string(fields.size()) + " given";
        return false;
    }
    for (size_t i = 0; i < 5; ++i) {
        std::string p = fields[i];
        set.blink[i] = !p.empty() && p.back() == '*';
        if (set.blink[i]) p.pop_back();
        kc::PriceCheck check = kc::check_price_text(p);
        if (!check) {
            why = "price " + std::to_string(i + 1) + " \"" + p + "\": " +
                  (check.problem == kc::PriceProblem::too_long ? "more than 6 characters"
                                                               : "only 0-9, '.', '-' and blanks are shown");
            return false;
        }
        set.prices[i] = p;
    }
    return true;
}

std::string show_prices(const json& j) {
    if (!j.is_object() || !j.contains("prices") || !j["prices"].is_array() || !j.contains("blink")) return "-";
    std::string out;
    for (size_t i = 0; i < j["prices"].size() && i < 5; ++i) {
        if (i) out += " ";
        std::string p = j["prices"][i].is_string() ? j["prices"][i].get<std::string>() : "?";
        out += p.empty() ? "_" : p;
        if (j["blink"].is_array() && i < j["blink"].size() && j["blink"][i].is_boolean() && j["blink"][i].get<bool>())
            out += "*";
    }
    return out;
}

Options parse_options(int argc, char** argv) {
    Options o;
    CLI::App app("Head office's side of the price push: prices to the stations through the MQTT broker.",
                 "kavor-centrala");
    app.footer(kNotes);
    app.require_subcommand(1);
    auto broker = [&](CLI::App* c) {
        c->add_option("--broker", o.broker, "the broker, HOST:PORT")->required();
        c->add_option("--cafile", o.cafile, "the CA that signed the broker's certificate (prices travel only over TLS)")
            ->required();
        c->add_option("--user", o.user, "head office's broker account")->capture_default_str();
        c->add_option("--password-file", o.password_file, "a file whose first line is the password (chmod 600)");
        c->footer(kNotes);
    };
    CLI::App* push = app.add_subcommand("push", "send prices to stations and wait for each station's outcome");
    broker(push);
    push->add_option("--stations", o.stations, "the stations, ID,ID,...")->delimiter(',');
    push->add_flag("--all", o.all, "every station the broker knows");
    push->add_option("--prices", o.prices, "P1,P2,P3,P4,P5");
    push->add_option("--file", o.file, "prices per station, lines station;P1;P2;P3;P4;P5");
    push->add_option("--at", o.at, "apply at TIME");
    push->add_option("--id", o.id, "the change's id (made up when left out)");
    push->add_option("--timeout", o.timeout_s, "seconds to wait for the outcomes")->capture_default_str();
    broker(app.add_subcommand("status", "list the stations from their retained status and state"));
    CLI::App* watch = app.add_subcommand("watch", "print the stations' events as they come, until Ctrl-C");
    broker(watch);
    watch->add_option("--stations", o.stations, "only these stations, ID,ID,...")->delimiter(',');
    watch->add_flag("--all", o.all, "every station (the default)");
#if KC_CENTRALA_SERVER
    // Parsed by their own code (main); named here so that --help lists them.
    app.add_subcommand("serve", "head office in a browser (see serve --help)")->allow_extras();
    app.add_subcommand("user", "the server's users: add, list, remove (see user --help)")->allow_extras();
    app.add_subcommand("backup", "copy the server's database while it runs (see backup --help)")->allow_extras();
#endif
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        std::exit(app.exit(e) == 0 ? 0 : 2);
    }
    o.command = app.get_subcommands().front()->get_name();
    if (o.timeout_s < 1) o.timeout_s = 1;
    return o;
}

// One connection to the broker, driven by this thread alone.
class Client {
public:
    explicit Client(const Options& o) {
        mosquitto_lib_init();
        std::random_device rd;
        char id[64];
        std::snprintf(id, sizeof id, "kavor-centrala-%d-%08x", static_cast<int>(getpid()), rd());
        client_id_ = id;
        sync_topic_ = "kavorcen/_centrala/" + client_id_;
        mosq_ = mosquitto_new(client_id_.c_str(), true, this);
        if (!mosq_) fail("out of memory");
        std::string password;
        if (!o.password_file.empty()) {
            std::string problem;
            if (!kc::mqtt::read_password_file(o.password_file, password, problem)) fail(kc::cp1250_to_utf8(problem));
        }
        mosquitto_username_pw_set(mosq_, o.user.c_str(), o.password_file.empty() ? nullptr : password.c_str());
        if (mosquitto_tls_set(mosq_, o.cafile.c_str(), nullptr, nullptr, nullptr, nullptr) != MOSQ_ERR_SUCCESS)
            fail("cannot read the CA file " + o.cafile);
        mosquitto_connect_callback_set(mosq_, [](mosquitto*, void* self, int rc) {
            static_cast<Client*>(self)->connack_ = rc;
            static_cast<Client*>(self)->connected_ = rc == 0;
        });
        mosquitto_message_callback_set(mosq_, [](mosquitto*, void* self, const mosquitto_message* m) {
            static_cast<Client*>(self)->on_message(m);
        });
        std::string host;
        int port;
        if (!kc::mqtt::parse_broker(o.broker, host, port)) fail("bad --broker " + o.broker + " (HOST:PORT)");
        int rc = mosquitto_connect(mosq_, host.c_str(), port, 30);
        if (rc != MOSQ_ERR_SUCCESS)
            fail("cannot reach the broker " + o.broker + ": " +
                 (rc == MOSQ_ERR_ERRNO ? std::string(std::strerror(errno)) : mosquitto_strerror(rc)));
        // The broker closes the connection right after a refusal: the refusal is the news.
        if (!loop_until([&] { return connack_ >= 0; }, Clock::now() + std::chrono::seconds(10), true))
            fail("the broker " + o.broker + " did not answer");
        if (connack_ != 0) fail("the broker refused the login: " + std::string(mosquitto_connack_string(connack_)));
    }
    ~Client() {
        mosquitto_disconnect(mosq_);
        mosquitto_loop(mosq_, 100, 1);
        mosquitto_destroy(mosq_);
        mosquitto_lib_cleanup();
    }

    // Subscribes, then waits for a message of its own sent after the subscriptions:
    // the broker hands over retained messages first, so all of them are in by then.
    void subscribe_and_sync(const std::vector<std::string>& topics) {
        for (const std::string& t : topics) mosquitto_subscribe(mosq_, nullptr, t.c_str(), 1);
        mosquitto_subscribe(mosq_, nullptr, sync_topic_.c_str(), 1);
        mosquitto_publish(mosq_, nullptr, sync_topic_.c_str(), 4, "sync", 1, false);
        if (!loop_until([&] { return synced_; }, Clock::now() + std::chrono::seconds(10)))
            fail("the broker did not hand over the stations' state");
    }

    void publish(const std::string& topic, const std::string& payload) {
        int rc = mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 1,
                                   false);
        if (rc != MOSQ_ERR_SUCCESS) fail("cannot publish to " + topic + ": " + mosquitto_strerror(rc));
    }

    // `connecting`: a lost connection after the broker's answer ends the wait.
    template <class Done>
    bool loop_until(Done done, Clock::time_point deadline, bool connecting = false) {
        while (!done()) {
            if (Clock::now() >= deadline) return false;
            int rc = mosquitto_loop(mosq_, 100, 1);
            if (rc != MOSQ_ERR_SUCCESS) {
                if (connecting && connack_ > 0) return true;
                fail(std::string("lost the broker: ") + mosquitto_strerror(rc));
            }
        }
        return true;
    }

    // Until `stop` is set (by a signal): a lost broker is reached again and the
    // subscriptions are made anew, so a watch outlives a broker's restart.
    void run_until(const volatile std::sig_atomic_t& stop, const std::vector<std::string>& topics) {
        while (!stop) {
            const int rc = mosquitto_loop(mosq_, 100, 1);
            if (rc == MOSQ_ERR_SUCCESS) continue;
            std::fprintf(stderr, "kavor-centrala: lost the broker (%s), trying again\n", mosquitto_strerror(rc));
            while (!stop) {
                ::sleep(1);  // a signal ends it at once
                connack_ = -1;
                if (mosquitto_reconnect(mosq_) != MOSQ_ERR_SUCCESS) continue;
                const auto end = Clock::now() + std::chrono::seconds(10);
                while (!stop && connack_ < 0 && Clock::now() < end)
                    if (mosquitto_loop(mosq_, 100, 1) != MOSQ_ERR_SUCCESS) break;
                if (connack_ == 0) break;
            }
            for (const std::string& t : topics) mosquitto_subscribe(mosq_, nullptr, t.c_str(), 1);
        }
    }

    std::map<std::string, StationView> stations;
    std::function<void(const std::string& station, const json&)> on_result;
    std::function<void(const std::string& station, const json&)> on_event;

private:
    void on_message(const mosquitto_message* m) {
        std::string topic = m->topic ? m->topic : "";
        std::string payload(static_cast<const char*>(m->payload), static_cast<size_t>(m->payloadlen));
        if (topic == sync_topic_) {
            synced_ = true;
            return;
        }
        std::string station = kc::mqtt::station_of_topic(topic);
        if (station.empty() || station == "_centrala") return;
        const bool status = topic == kc::mqtt::status_topic(station);
        const bool state = topic == kc::mqtt::state_topic(station);
        const bool result = topic == kc::mqtt::result_topic(station);
        const bool event = topic == kc::mqtt::events_topic(station);
        if (!status && !state && !result && !event) return;
        json j = json::parse(payload, nullptr, false);
        std::string fault = j.is_discarded() ? "not JSON"
                            : status         ? shape_fault(j, kStatusFields)
                            : state          ? shape_fault(j, kStateFields)
                            : event          ? shape_fault(j, kEventFields)
                                             : shape_fault(j, kResultFields);
        if (!fault.empty()) {
            std::fprintf(stderr, "kavor-centrala: %s: malformed message, ignored: %s\n", topic.c_str(), fault.c_str());
            return;
        }
        if (status) stations[station].status = j;
        else if (state) stations[station].state = j;
        else if (event) {
            if (on_event) on_event(station, j);
        } else if (on_result) on_result(station, j);
    }

    mosquitto* mosq_ = nullptr;
    std::string client_id_, sync_topic_;
    int connack_ = -1;
    bool connected_ = false;
    bool synced_ = false;
};

std::string make_id() {
    std::time_t t = std::time(nullptr);
    struct tm local = {};
    localtime_r(&t, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    std::random_device rd;
    char id[64];
    std::snprintf(id, sizeof id, "%s-%04x", stamp, rd() & 0xFFFF);
    return id;
}

std::vector<Target> read_targets(const Options& o, Client& client) {
    std::vector<Target> targets;
    if (!o.file.empty()) {
        std::ifstream in(o.file, std::ios::binary);
        if (!in) fail("cannot read " + o.file);
        std::string line;
        int number = 0;
        std::map<std::string, int> named;  // station → its line
        while (std::getline(in, line)) {
            ++number;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.empty() || line[0] == '#') continue;
            std::vector<std::string> f = split(line, ';');
            Target t;
            t.station = f.empty() ? "" : f[0];
            std::string why;
            if (!kc::mqtt::valid_station_id(t.station)) fail(o.file + ":" + std::to_string(number) + ": bad station id");
            if (!parse_prices(std::vector<std::string>(f.begin() + 1, f.end()), t.set, why))
                fail(o.file + ":" + std::to_string(number) + ": " + why);
            // One change id per push: a second line would be answered "duplicate", not applied.
            if (auto [it, fresh] = named.emplace(t.station, number); !fresh)
                fail(o.file + ":" + std::to_string(number) + ": station " + t.station + " is already named on line " +
                     std::to_string(it->second));
            targets.push_back(t);
        }
        if (targets.empty()) fail(o.file + " names no station");
        return targets;
    }
    if (o.prices.empty()) fail("--prices or --file is needed");
    kc::PriceSet set;
    std::string why;
    if (!parse_prices(split(o.prices, ','), set, why)) fail(why);
    std::vector<std::string> names = o.stations;
    if (o.all)
        for (const auto& [station, view] : client.stations)
            if (!view.status.is_null()) names.push_back(station);
    if (names.empty()) fail(o.all ? "no station is known to the broker yet" : "--stations or --all is needed");
    std::set<std::string> unique;
    for (const std::string& s : names) {
        if (!kc::mqtt::valid_station_id(s)) fail("bad station id \"" + s + "\"");
        if (unique.insert(s).second) targets.push_back({s, set});
    }
    return targets;
}

std::string outcome_cell(const Result& r, const StationView& view) {
    if (!r.have) {
        if (text_of(view.status, "status") == "offline")
            return "no result (station offline; the broker keeps the change)";
        return "no result";
    }
    std::string out = text_of(r.message, "outcome");
    if (r.message.contains("fields")) {
        out += " (fields";
        for (const json& f : r.message["fields"]) out += " " + f.dump();
        out += ")";
    }
    if (text_of(r.message, "outcome") == kHeld) out += " (" + text_of(r.message, "reason") + ")";
    if (r.message.contains("detail")) out += ": " + text_of(r.message, "detail");
    if (flag_of(r.message, "late", false))
        out += r.message.contains("at") ? " [late, due " + text_of(r.message, "at") + "]"
                                        : " [late, arrived " + text_of(r.message, "arrived") + "]";
    if (text_of(r.message, "outcome") == kScheduled) out += " for " + text_of(r.message, "at");
    return out;
}

int push(const Options& o) {
    if (!o.at.empty()) {
        int64_t ignored;
        if (!kc::mqtt::parse_time(o.at, ignored)) fail("bad --at " + o.at);
    }
    Client client(o);
    const std::string id = o.id.empty() ? make_id() : o.id;
    if (!kc::mqtt::valid_change_id(id)) fail("bad --id " + id);
    std::map<std::string, Result> results;
    Clock::time_point start;
    client.on_result = [&](const std::string& station, const json& j) {
        auto it = results.find(station);
        if (it == results.end() || text_of(j, "id") != id) return;
        const std::string outcome = text_of(j, "outcome");
        // A repeat of a change already taken says what became of the first.
        if (outcome == kDuplicate && it->second.have) return;
        if (outcome == kHeld)
            std::printf("%s: held (%s)%s, waiting\n", station.c_str(), text_of(j, "reason").c_str(),
                        j.contains("detail") ? (": " + text_of(j, "detail")).c_str() : "");
        it->second.have = true;
        it->second.message = j;
        it->second.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    };
    client.subscribe_and_sync({"kavorcen/+/prices/result", "kavorcen/+/status"});
    std::vector<Target> targets = read_targets(o, client);
    for (const Target& t : targets) results[t.station];

    start = Clock::now();
    for (const Target& t : targets)
        client.publish(kc::mqtt::set_topic(t.station), kc::mqtt::change_json(t.station, id, t.set, o.at));

    auto final_outcome = [&](const Result& r) {
        if (!r.have) return false;
        std::string out = text_of(r.message, "outcome");
        if (out == kScheduled) return !o.at.empty();
        // Held: the station applies it once its sign can take it.
        if (out == kHeld) return false;
        const std::string previous = text_of(r.message, "previous");
        return out != kDuplicate || (previous != kPending && previous != kHeld);
    };
    client.loop_until(
        [&] {
            for (const auto& [station, r] : results)
                if (!final_outcome(r)) return false;
            return true;
        },
        start + std::chrono::seconds(o.timeout_s));

    std::printf("change %s\n", id.c_str());
    std::printf("%-16s %-40s %-34s %s\n", "station", "outcome", "sign shows", "time");
    int bad = 0;
    for (const Target& t : targets) {
        const Result& r = results[t.station];
        const std::string outcome = r.have ? text_of(r.message, "outcome") : "";
        const bool ok = outcome == kConfirmed || (outcome == kScheduled && !o.at.empty()) ||
                        (outcome == kDuplicate && text_of(r.message, "previous") == kConfirmed);
        if (!ok) ++bad;
        char seconds[32] = "-";
        if (r.have) std::snprintf(seconds, sizeof seconds, "%.2f s", r.seconds);
        std::printf("%-16s %-40s %-34s %s\n", t.station.c_str(), outcome_cell(r, client.stations[t.station]).c_str(),
                    r.have && r.message.contains("sign") ? show_prices(r.message["sign"]).c_str() : "-", seconds);
    }
    std::printf("%zu of %zu confirmed\n", targets.size() - static_cast<size_t>(bad), targets.size());
    return bad == 0 ? 0 : 1;
}

int status(const Options& o) {
    Client client(o);
    client.subscribe_and_sync({"kavorcen/+/status", "kavorcen/+/state"});
    std::printf("%-16s %-8s %-12s %-34s %s\n", "station", "link", "sign", "prices confirmed", "at");
    for (const auto& [station, view] : client.stations) {
        const json& s = view.status;
        const json& st = view.state;
        std::string confirmed = text_of(st, "time");
        if (st.is_object() && !flag_of(st, "matches", true)) confirmed += " (differs from what was sent)";
        const std::string link = s.is_object() ? text_of(s, "status") : "?";
        const std::string sign = s.contains("sign") ? text_of(s, "sign") : "-";
        std::printf("%-16s %-8s %-12s %-34s %s\n", station.c_str(), link.c_str(), sign.c_str(), show_prices(st).c_str(),
                    confirmed.c_str());
    }
    if (client.stations.empty()) std::printf("(no station has reported yet)\n");
    return 0;
}

volatile std::sig_atomic_t g_stop = 0;

int watch(const Options& o) {
    std::vector<std::string> topics;
    if (o.all || o.stations.empty()) topics.push_back("kavorcen/+/events");
    for (const std::string& s : o.stations) {
        if (!kc::mqtt::valid_station_id(s)) fail("bad station id \"" + s + "\"");
        topics.push_back(kc::mqtt::events_topic(s));
    }
    // Ends cleanly: the loop sees the flag within its 100 ms wait.
    struct sigaction action = {};
    action.sa_handler = [](int) { g_stop = 1; };
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    Client client(o);
    client.on_event = [](const std::string& station, const json& event) {
        std::printf("%s\n", kc::centrala::event_line(station, event).c_str());
        std::fflush(stdout);  // a script reading a pipe sees each event as it comes
    };
    client.subscribe_and_sync(topics);
    std::string which = "every station";
    if (!o.all && !o.stations.empty()) {
        which.clear();
        for (const std::string& s : o.stations) which += (which.empty() ? "" : ", ") + s;
    }
    std::fprintf(stderr, "kavor-centrala: watching events of %s; Ctrl-C ends\n", which.c_str());
    client.run_until(g_stop, topics);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
#if KC_CENTRALA_SERVER
    if (argc >= 2 && std::strcmp(argv[1], "serve") == 0) return kc::centrala::run_serve(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "user") == 0) return kc::centrala::run_user(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "backup") == 0) return kc::centrala::run_backup(argc, argv);
#endif
    Options o = parse_options(argc, argv);
    if (o.command == "watch") return watch(o);
    return o.command == "push" ? push(o) : status(o);
}
