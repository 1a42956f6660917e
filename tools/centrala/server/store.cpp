#include "centrala/server/store.h"

#include <sodium.h>

#include <cstring>

namespace kc::centrala {

namespace {

// A prepared statement that finalizes itself; binds by position from 1.
class Stmt {
public:
    Stmt(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &s_, nullptr); }
    ~Stmt() { sqlite3_finalize(s_); }
    Stmt& bind(int i, const std::string& v) {
        sqlite3_bind_text(s_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Stmt& bind(int i, int64_t v) {
        sqlite3_bind_int64(s_, i, v);
        return *this;
    }
    bool step() { return s_ && sqlite3_step(s_) == SQLITE_ROW; }
    bool run() { return s_ && sqlite3_step(s_) == SQLITE_DONE; }
    void reset() {
        sqlite3_reset(s_);
        sqlite3_clear_bindings(s_);
    }
    std::string text(int c) {
        const unsigned char* t = sqlite3_column_text(s_, c);
        return t ? std::string(reinterpret_cast<const char*>(t), static_cast<size_t>(sqlite3_column_bytes(s_, c))) : "";
    }
    int64_t number(int c) { return sqlite3_column_int64(s_, c); }
    json object(int c) {
        json j = json::parse(text(c), nullptr, false);
        return j.is_discarded() ? json() : j;
    }

private:
    sqlite3_stmt* s_ = nullptr;
};

const std::vector<const char*> kMigrations = {
    // 1: users, audit, stations, results and events, pushes.
    "CREATE TABLE users(name TEXT PRIMARY KEY, hash TEXT NOT NULL, role TEXT NOT NULL, created INTEGER NOT NULL);"
    "CREATE TABLE audit(id INTEGER PRIMARY KEY, time INTEGER NOT NULL, user TEXT, address TEXT, action TEXT NOT NULL,"
    " detail TEXT);"
    "CREATE TABLE stations(id TEXT PRIMARY KEY, status TEXT, state TEXT, since INTEGER, seen INTEGER, held TEXT);"
    "CREATE TABLE rows(id INTEGER PRIMARY KEY, station TEXT NOT NULL, kind TEXT NOT NULL, push_id TEXT,"
    " time INTEGER NOT NULL, body TEXT NOT NULL);"
    "CREATE INDEX rows_station_time ON rows(station, time);"
    "CREATE INDEX rows_time ON rows(time);"
    "CREATE TABLE pushes(id TEXT PRIMARY KEY, created INTEGER NOT NULL, due INTEGER NOT NULL, user TEXT,"
    " state TEXT NOT NULL, body TEXT NOT NULL);",
    // 2: groups of stations and alarms.
    "ALTER TABLE stations ADD COLUMN grp TEXT NOT NULL DEFAULT '';"
    "CREATE TABLE alarms(id INTEGER PRIMARY KEY, station TEXT NOT NULL, kind TEXT NOT NULL, time INTEGER NOT NULL,"
    " detail TEXT, acked_by TEXT, acked_time INTEGER);"
    "CREATE INDEX alarms_open ON alarms(acked_time, station, kind);",
};

}  // namespace

const std::vector<const char*>& schema_migrations() { return kMigrations; }
int schema_version_latest() { return static_cast<int>(kMigrations.size()); }

int role_rank(const std::string& role) {
    if (role == kRoleView) return 1;
    if (role == kRolePrices) return 2;
    if (role == kRoleAdmin) return 3;
    return 0;
}

Store::~Store() {
    if (db_) sqlite3_close_v2(db_);
}

std::string Store::exec(const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) == SQLITE_OK) return "";
    std::string why = error ? error : "?";
    sqlite3_free(error);
    return why;
}

std::string Store::open(const std::string& path, int up_to) {
    std::lock_guard<std::mutex> g(lock_);
    if (sodium_init() < 0) return "libsodium nie działa";
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK)
        return std::string("nie można otworzyć bazy ") + path + ": " + sqlite3_errmsg(db_);
    sqlite3_busy_timeout(db_, 5000);
    if (std::string why = exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON;");
        !why.empty())
        return "baza " + path + ": " + why;
    Stmt v(db_, "PRAGMA user_version");
    int have = v.step() ? static_cast<int>(v.number(0)) : 0;
    const int want = up_to < 0 ? schema_version_latest() : up_to;
    if (have > schema_version_latest())
        return "baza " + path + " pochodzi z nowszej wersji programu (schemat " + std::to_string(have) + ")";
    // Each step and its version number in one transaction: a failed step leaves the file as it was.
    for (int step = have; step < want; ++step) {
        std::string sql = std::string("BEGIN;") + kMigrations[static_cast<size_t>(step)] +
                          "PRAGMA user_version=" + std::to_string(step + 1) + ";COMMIT;";
        if (std::string why = exec(sql.c_str()); !why.empty()) {
            exec("ROLLBACK;");
            return "baza " + path + ": migracja " + std::to_string(step + 1) + ": " + why;
        }
    }
    return "";
}

int Store::version() {
    std::lock_guard<std::mutex> g(lock_);
    Stmt v(db_, "PRAGMA user_version");
    return v.step() ? static_cast<int>(v.number(0)) : 0;
}

std::string Store::add_user(const std::string& name, const std::string& password, const std::string& role) {
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(hash, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        return "za mało pamięci na skrót hasła";
    std::lock_guard<std::mutex> g(lock_);
    Stmt s(db_, "INSERT INTO users(name, hash, role, created) VALUES(?, ?, ?, strftime('%s','now'))");
    if (!s.bind(1, name).bind(2, std::string(hash)).bind(3, role).run()) return "użytkownik " + name + " już istnieje";
    return "";
}

bool Store::remove_user(const std::string& name) {
    std::lock_guard<std::mutex> g(lock_);
    Stmt s(db_, "DELETE FROM users WHERE name = ?");
    return s.bind(1, name).run() && sqlite3_changes(db_) == 1;
}

bool Store::set_role(const std::string& name, const std::string& role) {
    std::lock_guard<std::mutex> g(lock_);
    Stmt s(db_, "UPDATE users SET role = ? WHERE name = ?");
    return s.bind(1, role).bind(2, name).run() && sqlite3_changes(db_) == 1;
}

std::vector<User> Store::users() {
    std::lock_guard<std::mutex> g(lock_);
    std::vector<User> out;
    Stmt s(db_, "SELECT name, role, created FROM users ORDER BY name");
    while (s.step()) out.push_back({s.text(0), s.text(1), s.number(2)});
    return out;
}

bool Store::check_password(const std::string& name, const std::string& password, User& user) {
    std::string hash;
    {
        std::lock_guard<std::mutex> g(lock_);
        Stmt s(db_, "SELECT hash, role, created FROM users WHERE name = ?");
        if (!s.bind(1, name).step()) {
            hash.clear();
        } else {
            hash = s.text(0);
            user = {name, s.text(1), s.number(2)};
        }
    }
    if (hash.empty()) {
        // Costs the same as a wrong password, so a name cannot be told from its timing.
        char dummy[crypto_pwhash_STRBYTES];
        (void)!crypto_pwhash_str(dummy, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                                 crypto_pwhash_MEMLIMIT_INTERACTIVE);
        return false;
    }
    return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

void Store::audit(const std::string& user, const std::string& address, const std::string& action,
                  const std::string& detail) {
    std::lock_guard<std::mutex> g(lock_);
    Stmt s(db_, "INSERT INTO audit(time, user, address, action, detail) VALUES(strftime('%s','now'), ?, ?, ?, ?)");
    s.bind(1, user).bind(2, address).bind(3, action).bind(4, detail).run();
}

json Store::audit_rows(int limit) {
    std::lock_guard<std::mutex> g(lock_);
    json out = json::array();
    Stmt s(db_, "SELECT time, user, address, action, detail FROM audit ORDER BY id DESC LIMIT ?");
    s.bind(1, static_cast<int64_t>(limit));
    while (s.step())
        out.push_back({{"time", s.number(0)}, {"user", s.text(1)}, {"address", s.text(2)}, {"action", s.text(3)},
                       {"detail", s.text(4)}});
    return out;
}

void Store::save_station(const StationRow& r) {
    std::lock_guard<std::mutex> g(lock_);
    Stmt s(db_,
           "INSERT INTO stations(id, status, state, since, seen, held, grp) VALUES(?, ?, ?, ?, ?, ?, ?)"
           " ON CONFLICT(id) DO UPDATE SET status=excluded.status, state=excluded.state, since=excluded.since,"
           " seen=excluded.seen, held=excluded.held, grp=excluded.grp");
    s.bind(1, r.id).bind(2, r.status.dump()).bind(3, r.state.dump()).bind(4, r.since).bind(5, r.seen);
    s.bind(6, r.held.dump()).bind(7, r.group).run();
}

std::vector<StationRow> Store::load_stations() {
    std::lock_guard<std::mutex> g(lock_);
    std::vector<StationRow> out;
    Stmt s(db_, "SELECT id, status, state, since, seen, held, grp FROM stations ORDER BY id");
    while (s.step()) {
        StationRow r;
        r.id = s.text(0);
        r.status = s.object(1);
        r.state = s.object(2);
        r.since = s.number(3);
        r.seen = s.number(4);
        r.held = s.object(5);
        r.group = s.text(6);
        out.push_back(std::move(r));
    }
    return out;
}

void Store::add_rows(const std::vector<Row>& rows) {
    if (rows.empty()) return;
    std::lock_guard<std::mutex> g(lock_);
    exec("BEGIN");
    {
        Stmt s(db_, "INSERT INTO rows(station, kind, push_id, time, body) VALUES(?, ?, ?, ?, ?)");
        for (const Row& r : rows) {
            s.bind(1, r.station).bind(2, r.kind).bind(3, r.push_id).bind(4, r.time).bind(5, r.body.dump());
            s.run();
            s.reset();
        }
    }
    exec("COMMIT");
}

json Store::rows(const std::string& station, const std::string& kind, int64_t from, int64_t to, int limit) {
    std::lock_guard<std::mutex> g(lock_);
    json out = json::array();
    Stmt s(db_,
           "SELECT station, kind, push_id, time, body FROM rows WHERE (?1 = '' OR station = ?1)"
           " AND (?2 = '' OR kind = ?2) AND time >= ?3 AND time <= ?4 ORDER BY time DESC, id DESC LIMIT ?5");
    s.bind(1, station).bind(2, kind).bind(3, from).bind(4, to).bind(5, static_cast<int64_t>(limit));
    while (s.step())
        out.push_back({{"station", s.text(0)}, {"kind", s.text(1)}, {"push", s.text(2)}, {"time", s.number(3)},
                       {"body", s.object(4)}});
    return out;
}

void Store::save_push(const std::string& id, int64_t created, int64_t due, const std::string& user,
                      const std::string& state, const json& body) {
    std::lock_guard<std::mutex> g(lock_);
    Stmt s(db_, "INSERT OR REPLACE INTO pushes(id, created, due, user, state, body) VALUES(?, ?, ?, ?, ?, ?)");
    s.bind(1, id).bind(2, created).bind(3, due).bind(4, user).bind(5, state).bind(6, body.dump()).run();
}

void Store::set_push_state(const std::string& id, const std::string& state) {
    std::lock_guard<std::mutex> g(lock_);
    Stmt s(db_, "UPDATE pushes SET state = ? WHERE id = ?");
    s.bind(1, state).bind(2, id).run();
}

json Store::pushes(const std::string& state, int limit) {
    std::lock_guard<std::mutex> g(lock_);
    json out = json::array();
    Stmt s(db_,
           "SELECT id, created, due, user, state, body FROM pushes WHERE (?1 = '' OR state = ?1)"
           " ORDER BY due DESC LIMIT ?2");
    s.bind(1, state).bind(2, static_cast<int64_t>(limit));
    while (s.step())
        out.push_back({{"id", s.text(0)}, {"created", s.number(1)}, {"due", s.number(2)}, {"user", s.text(3)},
                       {"state", s.text(4)}, {"body", s.object(5)}});
    return out;
}

int64_t Store::raise_alarm(const std::string& station, const std::string& kind, int64_t time,
                           const std::string& detail) {
    std::lock_guard<std::mutex> g(lock_);
    Stmt s(db_, "INSERT INTO alarms(station, kind, time, detail) VALUES(?, ?, ?, ?)");
    s.bind(1, station).bind(2, kind).bind(3, time).bind(4, detail).run();
    return sqlite3_last_insert_rowid(db_);
}

bool Store::ack_alarm(int64_t id, const std::string& user, int64_t time) {
    std::lock_guard<std::mutex> g(lock_);
    Stmt s(db_, "UPDATE alarms SET acked_by = ?, acked_time = ? WHERE id = ? AND acked_time IS NULL");
    return s.bind(1, user).bind(2, time).bind(3, id).run() && sqlite3_changes(db_) == 1;
}

bool Store::open_alarm(const std::string& station, const std::string& kind) {
    std::lock_guard<std::mutex> g(lock_);
    Stmt s(db_, "SELECT 1 FROM alarms WHERE station = ? AND kind = ? AND acked_time IS NULL");
    return s.bind(1, station).bind(2, kind).step();
}

json Store::alarms(bool open_only, int limit) {
    std::lock_guard<std::mutex> g(lock_);
    json out = json::array();
    Stmt s(db_,
           "SELECT id, station, kind, time, detail, acked_by, acked_time FROM alarms"
           " WHERE (?1 = 0 OR acked_time IS NULL) ORDER BY id DESC LIMIT ?2");
    s.bind(1, static_cast<int64_t>(open_only ? 1 : 0)).bind(2, static_cast<int64_t>(limit));
    while (s.step())
        out.push_back({{"id", s.number(0)}, {"station", s.text(1)}, {"kind", s.text(2)}, {"time", s.number(3)},
                       {"detail", s.text(4)}, {"acked_by", s.text(5)}, {"acked_time", s.number(6)}});
    return out;
}

std::string Store::backup(const std::string& path) {
    std::lock_guard<std::mutex> g(lock_);
    sqlite3* to = nullptr;
    if (sqlite3_open(path.c_str(), &to) != SQLITE_OK) {
        std::string why = to ? sqlite3_errmsg(to) : "?";
        sqlite3_close(to);
        return "nie można utworzyć " + path + ": " + why;
    }
    sqlite3_backup* b = sqlite3_backup_init(to, "main", db_, "main");
    std::string why;
    if (!b) {
        why = sqlite3_errmsg(to);
    } else {
        int rc;
        while ((rc = sqlite3_backup_step(b, 256)) == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
            if (rc != SQLITE_OK) sqlite3_sleep(10);
        if (rc != SQLITE_DONE) why = sqlite3_errstr(rc);
        sqlite3_backup_finish(b);
    }
    sqlite3_close(to);
    return why.empty() ? "" : "kopia do " + path + ": " + why;
}

}  // namespace kc::centrala
