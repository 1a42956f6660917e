// Head office server: the one SQLite file that keeps users, the audit trail, stations,
// pushes and their results, events, alarms and timed changes. One connection, used
// under one lock; WAL so a backup or a reader never stops the writer.
#pragma once
#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace kc::centrala {

using nlohmann::json;

// Ordered schema steps; a file at version n gets steps n+1.. at open.
const std::vector<const char*>& schema_migrations();
int schema_version_latest();

// "podgląd", "ceny", "admin"; rank 0 for an unknown word.
int role_rank(const std::string& role);
inline constexpr const char* kRoleView = "podgląd";
inline constexpr const char* kRolePrices = "ceny";
inline constexpr const char* kRoleAdmin = "admin";

struct User {
    std::string name, role;
    int64_t created = 0;
};

struct StationRow {
    std::string id, group;
    json status, state;
    int64_t since = 0;  // when it last went online or offline
    int64_t seen = 0;   // last message of any kind
    json held;          // the change it holds, or null
};

struct Row {  // one result or event
    std::string station, kind, push_id;
    int64_t time = 0;
    json body;
};

class Store {
public:
    Store() = default;
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // Opens (or makes) the file and brings its schema up to `up_to` (latest when -1).
    // Empty on success, else why not.
    std::string open(const std::string& path, int up_to = -1);
    int version();

    // Users. Passwords are kept as argon2id strings only.
    std::string add_user(const std::string& name, const std::string& password, const std::string& role);
    bool remove_user(const std::string& name);
    bool set_role(const std::string& name, const std::string& role);
    std::vector<User> users();
    // The user when the password is right.
    bool check_password(const std::string& name, const std::string& password, User& user);

    void audit(const std::string& user, const std::string& address, const std::string& action,
               const std::string& detail);
    json audit_rows(int limit);

    // Stations.
    void save_station(const StationRow& s);
    std::vector<StationRow> load_stations();

    // Results and events, batched by the caller into one transaction.
    void add_rows(const std::vector<Row>& rows);
    json rows(const std::string& station, const std::string& kind, int64_t from, int64_t to, int limit);

    // Pushes (sent or timed): body {"stations","prices","blink","user","at"}.
    void save_push(const std::string& id, int64_t created, int64_t due, const std::string& user,
                   const std::string& state, const json& body);
    void set_push_state(const std::string& id, const std::string& state);
    // state "waiting": timed changes not yet sent.
    json pushes(const std::string& state, int limit);

    // Alarms.
    int64_t raise_alarm(const std::string& station, const std::string& kind, int64_t time, const std::string& detail);
    bool ack_alarm(int64_t id, const std::string& user, int64_t time);
    bool open_alarm(const std::string& station, const std::string& kind);
    json alarms(bool open_only, int limit);

    // Online copy of the whole file into `path`.
    std::string backup(const std::string& path);

private:
    std::string exec(const char* sql);
    sqlite3* db_ = nullptr;
    std::mutex lock_;
};

}  // namespace kc::centrala
