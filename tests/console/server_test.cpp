// Head office server through its HTTP interface: logins and roles, CSRF and stolen
// sessions, refused inputs, schema migrations, timed changes across a restart, and
// what station messages do to pushes and alarms.
#include <gtest/gtest.h>
#include <httplib.h>
#include <sqlite3.h>

#include <chrono>
#include <condition_variable>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <thread>

#include "centrala/server/csv.h"
#include "centrala/server/server.h"
#include "centrala/server/store.h"

namespace kc::centrala {
namespace {

namespace fs = std::filesystem;
using std::chrono::seconds;

const std::string kPassword = "dobre-haslo-1";

// Publications the server made, as the broker would have received them.
struct Recorder {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<std::pair<std::string, std::string>> sent;
    bool publish(const std::string& t, const std::string& p) {
        {
            std::lock_guard<std::mutex> g(lock);
            sent.emplace_back(t, p);
        }
        changed.notify_all();
        return true;
    }
    template <class Pred>
    bool wait(Pred done, seconds limit = seconds(20)) {
        std::unique_lock<std::mutex> g(lock);
        return changed.wait_for(g, limit, [&] { return done(sent); });
    }
};

std::string local_time(int64_t t) {
    std::time_t tt = static_cast<std::time_t>(t);
    struct tm local = {};
    localtime_r(&tt, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("kc-console-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        server_.reset();
        store_.reset();
        fs::remove_all(dir_);
    }

    // A store with one user of each role, and a server on a free loopback port.
    void start(bool users = true) {
        store_ = std::make_unique<Store>();
        ASSERT_EQ(store_->open((dir_ / "c.db").string()), "");
        if (users) {
            for (const char* role : {kRoleView, kRolePrices, kRoleAdmin})
                ASSERT_EQ(store_->add_user(role_user(role), kPassword, role), "");
        }
        ServerOptions o;
        o.listen = "127.0.0.1:0";
        server_ = std::make_unique<Server>(*store_, o, [this](const std::string& t, const std::string& p) {
            return recorder_.publish(t, p);
        });
        ASSERT_EQ(server_->start(), "");
    }
    void restart() {
        server_.reset();
        store_.reset();
        start(false);
    }
    static std::string role_user(const std::string& role) {
        return role == kRoleView ? "viewer" : role == kRolePrices ? "pricer" : "boss";
    }
    void station(const std::string& id, const std::string& status = "online") {
        server_->on_message("kavorcen/" + id + "/status", R"({"status":")" + status + R"(","sign":"answers"})");
    }

    struct Login {
        std::string cookie, csrf;
        int status = 0;
    };
    Login login(const std::string& user, const std::string& password = kPassword) {
        httplib::Client c("127.0.0.1", server_->port());
        auto r = c.Post("/api/login", json{{"user", user}, {"password", password}}.dump(), "application/json");
        Login l;
        if (!r) return l;
        l.status = r->status;
        if (r->status == 200) {
            const std::string set = r->get_header_value("Set-Cookie");
            l.cookie = set.substr(0, set.find(';'));
            l.csrf = json::parse(r->body)["csrf"];
        }
        return l;
    }
    // A request with a session cookie and CSRF token (either may be empty).
    httplib::Result call(const std::string& method, const std::string& path, const Login& l, const json& body = nullptr,
                         const std::string& csrf = "\x01") {
        httplib::Client c("127.0.0.1", server_->port());
        httplib::Headers h;
        if (!l.cookie.empty()) h.emplace("Cookie", l.cookie);
        const std::string token = csrf == "\x01" ? l.csrf : csrf;
        if (!token.empty()) h.emplace("X-CSRF-Token", token);
        if (method == "GET") return c.Get(path, h);
        return c.Post(path, h, body.is_null() ? "{}" : body.dump(), "application/json");
    }
    static std::string error_of(const httplib::Result& r) {
        json j = json::parse(r->body, nullptr, false);
        return j.is_object() && j.contains("error") ? j["error"].get<std::string>() : "";
    }

    fs::path dir_;
    Recorder recorder_;
    std::unique_ptr<Store> store_;
    std::unique_ptr<Server> server_;
};

TEST_F(ServerTest, each_role_reaches_what_it_may_and_no_more) {
    start();
    station("st1");
    const json push = {{"stations", {"st1"}}, {"prices", {"4.59", "5.19", "3.09", "6.00", "12"}}};
    struct Case {
        const char* role;  // "" for no session
        const char* method;
        const char* path;
        json body;
        int status;
    } cases[] = {
        {"", "GET", "/api/stations", nullptr, 401},
        {kRoleView, "GET", "/api/stations", nullptr, 200},
        {kRoleView, "GET", "/api/history.csv", nullptr, 200},
        {kRoleView, "POST", "/api/push", push, 403},
        {kRoleView, "POST", "/api/stations/st1/group", {{"group", "north"}}, 403},
        {kRoleView, "GET", "/api/users", nullptr, 403},
        {kRolePrices, "POST", "/api/push/check", push, 200},
        {kRolePrices, "POST", "/api/stations/st1/group", {{"group", "north"}}, 200},
        {kRolePrices, "POST", "/api/users", {{"name", "x"}, {"password", "0123456789"}, {"role", "admin"}}, 403},
        {kRoleAdmin, "GET", "/api/users", nullptr, 200},
        {kRoleAdmin, "POST", "/api/push", push, 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.role) + " " + c.method + " " + c.path);
        Login l = *c.role ? login(role_user(c.role)) : Login{};
        auto r = call(c.method, c.path, l, c.body);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, c.status) << r->body;
    }
    // Only the admin's push went out, and it is in the audit trail.
    EXPECT_EQ(recorder_.sent.size(), 1u);
    EXPECT_EQ(recorder_.sent[0].first, "kavorcen/st1/prices/set");
    const std::string audit = store_->audit_rows(100).dump();
    EXPECT_NE(audit.find(R"("action":"push")"), std::string::npos);
    EXPECT_NE(audit.find(R"("action":"login")"), std::string::npos);
}

TEST_F(ServerTest, failed_logins_slow_that_user_and_that_address) {
    start();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(login("viewer", "wrong").status, 401);
    // The right password waits its turn too; another user from the same address as well.
    EXPECT_EQ(login("viewer").status, 429);
    EXPECT_EQ(login("boss").status, 429);
    EXPECT_NE(store_->audit_rows(100).dump().find("login_failed"), std::string::npos);
    EXPECT_NE(store_->audit_rows(100).dump().find("login_slowed"), std::string::npos);
}

TEST_F(ServerTest, a_change_needs_its_own_sessions_csrf_token) {
    start();
    station("st1");
    Login a = login("pricer"), b = login("boss");
    ASSERT_EQ(a.status, 200);
    ASSERT_EQ(b.status, 200);
    const json body = {{"group", "south"}};
    EXPECT_EQ(call("POST", "/api/stations/st1/group", a, body, "")->status, 403);              // none
    EXPECT_EQ(call("POST", "/api/stations/st1/group", a, body, b.csrf)->status, 403);          // another's
    EXPECT_EQ(call("POST", "/api/stations/st1/group", a, body, a.csrf + "0")->status, 403);    // altered
    EXPECT_EQ(call("POST", "/api/stations/st1/group", Login{"", a.csrf}, body)->status, 401);  // token alone
    EXPECT_EQ(call("POST", "/api/stations/st1/group", a, body)->status, 200);
    // Logged out, the cookie is worth nothing.
    EXPECT_EQ(call("POST", "/api/logout", a)->status, 200);
    EXPECT_EQ(call("GET", "/api/stations", a)->status, 401);
    EXPECT_EQ(call("GET", "/api/stations", b)->status, 200);
}

TEST_F(ServerTest, every_bad_input_is_refused_with_its_reason) {
    start();
    station("st1");
    Login l = login("boss");
    const json p = {"1", "2", "3", "4", "5"};
    const std::string past = local_time(std::time(nullptr) - 60);
    const std::string far = local_time(std::time(nullptr) + 40 * 86400);
    struct Case {
        const char* path;
        std::string body;  // raw
        const char* reason;
    } cases[] = {
        {"/api/push", "not json", "nie jest obiektem JSON"},
        {"/api/push", json{{"all", true}, {"prices", {"1", "2"}}}.dump(), "pięciu cen"},
        {"/api/push", json{{"all", true}, {"prices", {"1", "2", "3", "4", 5}}}.dump(), "Cena 5 nie jest tekstem"},
        {"/api/push", json{{"all", true}, {"prices", {"1234567", "2", "3", "4", "5"}}}.dump(), "Cena 1 \"1234567\": najwyżej 6"},
        {"/api/push", json{{"all", true}, {"prices", {"1", "2", "4a", "4", "5"}}}.dump(), "Cena 3 \"4a\": wieża pokaże tylko"},
        {"/api/push", json{{"prices", p}}.dump(), "Wybierz stacje"},
        {"/api/push", json{{"stations", {"st/1"}}, {"prices", p}}.dump(), "Zły identyfikator stacji"},
        {"/api/push", json{{"stations", {"st9"}}, {"prices", p}}.dump(), "Nie ma stacji st9"},
        {"/api/push", json{{"stations", "st1"}, {"prices", p}}.dump(), "muszą być listami"},
        {"/api/push", json{{"all", "tak"}, {"prices", p}}.dump(), "true albo false"},
        {"/api/push", json{{"all", true}, {"prices", p}, {"at", "jutro"}}.dump(), "Zły czas \"jutro\""},
        {"/api/push", json{{"all", true}, {"prices", p}, {"at", past}}.dump(), "już minął"},
        {"/api/push", json{{"all", true}, {"prices", p}, {"at", far}}.dump(), "31 dni"},
        {"/api/stations/st1/group", json{{"group", std::string(41, 'g')}}.dump(), "najwyżej 40 znaków"},
        {"/api/stations/st1/group", json{{"group", 7}}.dump(), "Podaj grupę"},
        {"/api/stations/nope/group", json{{"group", "a"}}.dump(), "Nie ma stacji nope"},
        {"/api/users", json{{"name", "a b"}, {"password", "0123456789"}, {"role", "ceny"}}.dump(), "Nazwa użytkownika"},
        {"/api/users", json{{"name", "ab"}, {"password", "0123456789"}, {"role", "szef"}}.dump(), "Rola musi być"},
        {"/api/users", json{{"name", "ab"}, {"password", "short"}, {"role", "ceny"}}.dump(), "co najmniej 10"},
        {"/api/users", json{{"name", "boss"}, {"password", "0123456789"}, {"role", "ceny"}}.dump(), "już istnieje"},
        {"/api/users/boss/remove", "{}", "własnego konta"},
        {"/api/timed/hq-none/cancel", "{}", "Nie ma czekającej zmiany"},
        {"/api/alarms/99/ack", "{}", "Nie ma otwartego alarmu 99"},
        {"/api/login", json{{"user", "boss"}}.dump(), "Podaj nazwę użytkownika i hasło"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " " + c.body);
        httplib::Client h("127.0.0.1", server_->port());
        auto r = h.Post(c.path, {{"Cookie", l.cookie}, {"X-CSRF-Token", l.csrf}}, c.body, "application/json");
        ASSERT_TRUE(r);
        EXPECT_GE(r->status, 400);
        EXPECT_NE(error_of(r).find(c.reason), std::string::npos) << error_of(r);
    }
    EXPECT_TRUE(recorder_.sent.empty());
    EXPECT_EQ(call("GET", "/api/history?from=2026-13-01", l)->status, 400);
    EXPECT_EQ(call("GET", "/api/stations?state=asleep", l)->status, 400);
}

TEST_F(ServerTest, schema_grows_from_an_empty_file_and_from_the_previous_version) {
    const std::string path = (dir_ / "c.db").string();
    {
        Store old;
        ASSERT_EQ(old.open(path, schema_version_latest() - 1), "");
        ASSERT_EQ(old.add_user("boss", kPassword, kRoleAdmin), "");
        EXPECT_EQ(old.version(), schema_version_latest() - 1);
    }
    // A station as the previous schema kept it, without a group.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "INSERT INTO stations(id, status) VALUES('st7', '{}')", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    start(false);
    EXPECT_EQ(store_->version(), schema_version_latest());
    Login l = login("boss");
    ASSERT_EQ(l.status, 200);
    EXPECT_EQ(call("POST", "/api/stations/st7/group", l, {{"group", "west"}})->status, 200);
    EXPECT_EQ(call("GET", "/api/alarms", l)->status, 200);

    Store empty;
    ASSERT_EQ(empty.open((dir_ / "new.db").string()), "");
    EXPECT_EQ(empty.version(), schema_version_latest());
    EXPECT_EQ(empty.backup((dir_ / "copy.db").string()), "");
    // A file from a newer program is left alone.
    sqlite3_open((dir_ / "copy.db").string().c_str(), &db);
    sqlite3_exec(db, "PRAGMA user_version=99", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    Store newer;
    EXPECT_NE(newer.open((dir_ / "copy.db").string()).find("nowszej wersji"), std::string::npos);
}

TEST_F(ServerTest, a_timed_change_is_sent_at_its_time_after_a_restart) {
    start();
    station("st1");
    station("st2");
    Login l = login("pricer");
    const std::string at = local_time(std::time(nullptr) + 3);
    auto keep = call("POST", "/api/push", l, {{"stations", {"st1"}}, {"prices", {"1", "2", "3", "4", "5"}}, {"at", at}});
    auto drop = call("POST", "/api/push", l, {{"stations", {"st2"}}, {"prices", {"1", "2", "3", "4", "5"}}, {"at", at}});
    ASSERT_EQ(keep->status, 200);
    ASSERT_EQ(drop->status, 200);
    const std::string keep_id = json::parse(keep->body)["id"], drop_id = json::parse(drop->body)["id"];
    EXPECT_EQ(call("POST", "/api/timed/" + drop_id + "/cancel", l)->status, 200);
    EXPECT_EQ(json::parse(call("GET", "/api/timed", l)->body)["timed"].size(), 1u);

    restart();
    ASSERT_TRUE(recorder_.wait([](const auto& sent) { return !sent.empty(); }));
    std::lock_guard<std::mutex> g(recorder_.lock);
    ASSERT_EQ(recorder_.sent.size(), 1u);
    EXPECT_EQ(recorder_.sent[0].first, "kavorcen/st1/prices/set");
    EXPECT_NE(recorder_.sent[0].second.find(keep_id), std::string::npos);
}

TEST_F(ServerTest, results_and_events_follow_pushes_and_raise_alarms_once) {
    start();
    for (const char* s : {"st1", "st2", "st3"}) station(s);
    Login l = login("boss");
    auto r = call("POST", "/api/push", l, {{"all", true}, {"prices", {"1", "2", "3", "4", "5"}}});
    ASSERT_EQ(r->status, 200);
    const std::string id = json::parse(r->body)["id"];
    struct Case {
        const char* station;
        json message;
        const char* outcome;  // the target's outcome afterwards
    } cases[] = {
        {"st1", {{"id", id}, {"outcome", "confirmed"}}, "confirmed"},
        {"st2", {{"id", id}, {"outcome", "held"}, {"reason", "test_mode"}}, "held"},
        {"st2", {{"id", id}, {"outcome", "mismatch"}, {"fields", {2}}}, "mismatch"},
        {"st2", {{"id", id}, {"outcome", "duplicate"}, {"previous", "confirmed"}}, "mismatch"},
        {"st3", {{"id", "someone-else"}, {"outcome", "confirmed"}}, "sent"},
    };
    for (const Case& c : cases) {
        server_->on_message(std::string("kavorcen/") + c.station + "/prices/result", c.message.dump());
        json p = json::parse(call("GET", "/api/push/" + id, l)->body);
        for (const json& t : p["targets"]) {
            if (t["station"] == c.station) {
                EXPECT_EQ(t["outcome"], c.outcome) << c.message.dump();
            }
        }
    }
    // The same trouble again is still one alarm; after it is acknowledged a new one opens.
    server_->on_message("kavorcen/st2/events", R"({"event":"sign_differs","detail":"<img src=x onerror=alert(1)>"})");
    json alarms = json::parse(call("GET", "/api/alarms?open=1", l)->body)["alarms"];
    ASSERT_EQ(alarms.size(), 1u);
    EXPECT_EQ(alarms[0]["kind"], "mismatch");
    const std::string alarm = std::to_string(alarms[0]["id"].get<int64_t>());
    EXPECT_EQ(call("POST", "/api/alarms/" + alarm + "/ack", l)->status, 200);
    EXPECT_EQ(call("POST", "/api/alarms/" + alarm + "/ack", l)->status, 404);
    server_->on_message("kavorcen/st2/events", R"({"event":"sign_differs"})");
    EXPECT_EQ(json::parse(call("GET", "/api/alarms?open=1", l)->body)["alarms"].size(), 1u);
    EXPECT_EQ(json::parse(call("GET", "/api/alarms", l)->body)["alarms"].size(), 2u);
}

TEST(HistoryCsv, rows_come_out_in_the_journal_form) {
    const json rows = json::parse(R"([
      {"station":"st1","kind":"result","push":"p1","time":0,
       "body":{"outcome":"mismatch","fields":[2,4],"sign":{"prices":["4.59","","3.09","6.00","12"],"blink":[true,false,false,false,false]}}},
      {"station":"st2","kind":"result","push":"p1","time":0,"body":{"outcome":"refused","detail":"cena \"x\"; źle"}},
      {"station":"st3","kind":"result","push":"nope","time":0,"body":{"outcome":"no_answer"}},
      {"station":"st4","kind":"state","time":0,"body":{"source":"harmonogram","prices":["1","2","3","4","5"],"blink":[false,false,false,false,true],"matches":false}},
      {"station":"st5","kind":"event","time":0,"body":{"event":"sign_differs"}}
    ])");
    const std::map<std::string, json> pushes = {
        {"p1", json::parse(R"({"prices":["4.59","5.19","3.09","6.00","12"],"blink":[true,false,false,false,false]})")}};
    const std::string csv = history_csv(rows, pushes);
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = csv.find("\r\n", at)) != std::string::npos; at = end + 2)
        lines.push_back(csv.substr(at, end - at));
    ASSERT_EQ(lines.size(), 5u);  // the header and four rows: events are not price changes
    const std::string head = "Stacja;Data;Godzina;\x8F" "r\xF3" "d\xB3o;Cena 1";  // Windows-1250
    EXPECT_EQ(lines[0].substr(0, head.size()), head);
    const std::vector<std::string> tails = {
        ";centrala;4.59;5.19;3.09;6.00;12;M----;niezgodne;4.59;;3.09;6.00;12;M----;2 4",
        ";centrala;4.59;5.19;3.09;6.00;12;M----;odrzucone;;;;;;;\"cena \"\"x\"\"; \x9Fle\"",
        ";centrala;;;;;;;brak odpowiedzi;;;;;;;",
        ";harmonogram;1;2;3;4;5;----M;niezgodne;1;2;3;4;5;----M;",
    };
    for (size_t i = 0; i < tails.size(); ++i) {
        SCOPED_TRACE(lines[i + 1]);
        EXPECT_EQ(lines[i + 1].rfind("st" + std::to_string(i + 1) + ";", 0), 0u);
        ASSERT_GE(lines[i + 1].size(), tails[i].size());
        EXPECT_EQ(lines[i + 1].substr(lines[i + 1].size() - tails[i].size()), tails[i]);
    }
}

}  // namespace
}  // namespace kc::centrala
