// Tests (head office link): stations and kavor-centrala against a real Mosquitto with
// TLS and passwords on 127.0.0.1.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "app/held_change.h"
#include "hosts/mqtt/messages.h"
#include "station_fixture.h"

namespace kc::test {
namespace {

using nlohmann::json;

class HeadOffice : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("kc_mqtt_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_ / "config" / "kavorcen");
        ::setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
        broker = std::make_unique<TestBroker>(dir_ / "broker", std::vector<std::string>{"st1", "st2", "st3"});
        const std::string failed = broker->start();
        ASSERT_EQ(failed, "");
    }
    void TearDown() override {
        stations.clear();
        broker.reset();
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    TestStation& add_station(const std::string& id, int com) {
        stations.push_back(std::make_unique<TestStation>(dir_ / id, id, com));
        return *stations.back();
    }
    void pump_all() {
        for (auto& s : stations) s->pump();
    }
    // Deadlines are generous: a slow machine under a sanitizer only waits longer.
    bool pump_until(const std::function<bool()>& done, int timeout_ms = 30000) {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (std::chrono::steady_clock::now() < end) {
            pump_all();
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        pump_all();
        return done();
    }
    bool all_connected() {
        for (auto& s : stations)
            if (!s->connected_to_broker()) return false;
        return true;
    }

    // Runs kavor-centrala with `args` while the stations run; its output and exit code.
    std::pair<std::string, int> centrala(const std::string& args, const std::string& password_file = "") {
        const std::string command = std::string(KAVOR_CENTRALA) + " " + args + " --broker " + broker->address() +
                                    " --cafile " + broker->ca() + " --user centrala --password-file " +
                                    (password_file.empty() ? broker->password_file("centrala") : password_file) +
                                    " 2>&1";
        std::string out;
        std::atomic<int> code{-1};
        std::atomic<bool> done{false};
        std::thread runner([&] {
            FILE* f = ::popen(command.c_str(), "r");
            char buffer[512];
            size_t n;
            while (f && (n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
            int status = f ? ::pclose(f) : -1;
            code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            done = true;
        });
        pump_until([&] { return done.load(); }, 120000);
        runner.join();
        return {out, code};
    }

    static std::string row(const std::string& out, const std::string& station) {
        size_t at = out.find("\n" + station + " ");
        if (at == std::string::npos) return "";
        return out.substr(at + 1, out.find('\n', at + 1) - at - 1);
    }

    std::vector<json> results(OfficeClient& office, const std::string& station) {
        std::vector<json> out;
        for (const auto& m : office.messages("kavorcen/" + station + "/prices/result"))
            out.push_back(json::parse(m.payload, nullptr, false));
        return out;
    }

    std::unique_ptr<TestBroker> broker;
    std::vector<std::unique_ptr<TestStation>> stations;

private:
    std::filesystem::path dir_;
};

const std::vector<std::string> kBatch = {sign_frame_text("21M4.59"), sign_frame_text("22C5.19"),
                                         sign_frame_text("23C3.09"), sign_frame_text("24C6.00"),
                                         sign_frame_text("25C12 "), sign_frame_text("20E")};

TEST_F(HeadOffice, push_to_three_stations_is_confirmed_by_each_sign_byte_for_byte) {
    for (int n = 1; n <= 3; ++n) add_station("st" + std::to_string(n), n).open(*broker);
    ASSERT_TRUE(pump_until([&] { return all_connected(); }));

    auto [out, code] = centrala("push --all --prices '4.59*,5.19,3.09,6.00,12' --timeout 20");
    EXPECT_EQ(code, 0) << out;
    for (int n = 1; n <= 3; ++n) {
        TestStation& s = *stations[static_cast<size_t>(n - 1)];
        const std::string r = row(out, s.id());
        EXPECT_NE(r.find("confirmed"), std::string::npos) << out;
        EXPECT_NE(r.find("4.59* 5.19 3.09 6.00 12"), std::string::npos) << out;
        EXPECT_EQ(price_frames(*s.sign), kBatch) << s.id();
        EXPECT_NE(s.change_line().find("potwierdzona"), std::string::npos) << s.change_line();
        // The panel now holds the prices in force, and shows its link to head office.
        EXPECT_EQ(panel_text(s.program(), kIdPrice1), "4.59");
        EXPECT_TRUE(s.program().ui->controls().visible(kPanelWindow, kIdHeadOfficeGroup));
        EXPECT_NE(s.link_line().find("połączono z " + broker->address()), std::string::npos) << s.link_line();
    }

    // Retained status and state tell head office where each station stands.
    auto [status_out, status_code] = centrala("status");
    EXPECT_EQ(status_code, 0);
    for (int n = 1; n <= 3; ++n) {
        const std::string r = row(status_out, "st" + std::to_string(n));
        EXPECT_NE(r.find("online"), std::string::npos) << status_out;
        EXPECT_NE(r.find("4.59* 5.19 3.09 6.00 12"), std::string::npos) << status_out;
    }
}

TEST_F(HeadOffice, stuck_field_reports_a_mismatch_and_an_offline_station_gets_the_change_on_return) {
    SignOptions stuck;
    stuck.stuck_field = 2;
    TestStation& st1 = add_station("st1", 1);
    TestStation& st2 = add_station("st2", 2);
    st1.open(*broker, stuck);
    st2.open(*broker);
    ASSERT_TRUE(pump_until([&] { return all_connected(); }));
    // st2 goes away after its session (and subscription) exists at the broker.
    st2.close();

    auto [out, code] = centrala("push --stations st1,st2 --prices '4.59*,5.19,3.09,6.00,12' --id change-7 --timeout 5");
    EXPECT_EQ(code, 1) << out;
    EXPECT_NE(row(out, "st1").find("mismatch (fields 2)"), std::string::npos) << out;
    EXPECT_NE(row(out, "st2").find("offline"), std::string::npos) << out;
    EXPECT_TRUE(price_frames(*st2.sign).empty());

    OfficeClient office(*broker);
    ASSERT_TRUE(pump_until([&] { return office.ready(); }));
    st2.open(*broker);
    ASSERT_TRUE(pump_until([&] { return !results(office, "st2").empty(); }, 15000));
    json r = results(office, "st2").front();
    EXPECT_EQ(r["id"], "change-7");
    EXPECT_EQ(r["outcome"], "confirmed") << r.dump();
    EXPECT_EQ(price_frames(*st2.sign), kBatch);
}

TEST_F(HeadOffice, a_repeated_id_is_applied_once_even_after_a_restart) {
    TestStation& st1 = add_station("st1", 1);
    st1.open(*broker);
    OfficeClient office(*broker);
    ASSERT_TRUE(pump_until([&] { return all_connected() && office.ready(); }));
    const std::string change =
        R"({"id":"d-1","station":"st1","prices":["4.59","5.19","3.09","6.00","12"],"blink":[true,false,false,false,false]})";
    office.publish("kavorcen/st1/prices/set", change);
    ASSERT_TRUE(pump_until([&] { return !results(office, "st1").empty(); }));
    EXPECT_EQ(results(office, "st1")[0]["outcome"], "confirmed");
    office.publish("kavorcen/st1/prices/set", change);
    ASSERT_TRUE(pump_until([&] { return results(office, "st1").size() >= 2; }));
    EXPECT_EQ(results(office, "st1")[1]["outcome"], "duplicate");
    EXPECT_EQ(results(office, "st1")[1]["previous"], "confirmed");

    st1.close();
    st1.open(*broker);
    ASSERT_TRUE(pump_until([&] { return all_connected(); }));
    office.publish("kavorcen/st1/prices/set", change);
    ASSERT_TRUE(pump_until([&] { return results(office, "st1").size() >= 3; }));
    EXPECT_EQ(results(office, "st1")[2]["outcome"], "duplicate");
    EXPECT_EQ(price_frames(*st1.sign), kBatch);
}

TEST_F(HeadOffice, each_malformed_change_is_refused_with_its_reason_and_nothing_reaches_the_sign) {
    TestStation& st1 = add_station("st1", 1);
    st1.open(*broker);
    OfficeClient office(*broker);
    ASSERT_TRUE(pump_until([&] { return all_connected() && office.ready(); }));

    auto change = [](const std::string& id, const std::string& rest) {
        return R"({"id":")" + id + R"(","station":"st1",)" + rest + "}";
    };
    const std::string blink = R"("blink":[false,false,false,false,false])";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"{\"id\":\"m1\", \"prices\": [", "not_json"},
        {R"(["m2"])", "not_object"},
        {R"({"id":"m3","station":"st1","blink":[false,false,false,false,false]})", "missing_field"},
        {change("m4", R"("prices":[4.59,"5.19","3.09","6.00","12"],)" + blink), "wrong_type"},
        {change("m5", R"("prices":["4.59","5.19","3.09","6.00","12"],"blink":[1,0,0,0,0])"), "wrong_type"},
        {change("m6", R"("prices":["4.59","5.19","3.09","6.00"],)" + blink), "wrong_count"},
        {change("m7", R"("prices":["14.5999","5.19","3.09","6.00","12"],)" + blink), "price_too_long"},
        {change("m8", R"("prices":["4a59","5.19","3.09","6.00","12"],)" + blink), "price_bad_character"},
        {R"({"id":"m9","station":"st9","prices":["1","2","3","4","5"],)" + blink + "}", "wrong_station"},
        {change("m10", R"("prices":["1","2","3","4","5"],)" + blink + R"(,"pad":")" + std::string(5000, 'x') + "\""),
         "too_large"},
        {change("m11", R"("prices":["1","2","3","4","5"],)" + blink + R"(,"at":"tomorrow")"), "bad_time"},
        {change("m12", R"("prices":["1","2","3","4","5"],)" + blink + R"(,"prices":["9","9","9","9","9"])"),
         "duplicate_key"},
        {change("m13", R"("prices":["1","2","3","4","5"],)" + blink + R"(,"colour":"red")"), "unknown_field"},
    };
    for (const auto& [payload, reason] : cases) office.publish("kavorcen/st1/prices/set", payload);
    ASSERT_TRUE(pump_until([&] { return results(office, "st1").size() >= cases.size(); }));
    std::vector<json> got = results(office, "st1");
    for (size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(got[i]["outcome"], "refused") << i;
        EXPECT_EQ(got[i]["reason"], cases[i].second) << i << " " << got[i].dump();
        EXPECT_FALSE(got[i].value("detail", "").empty()) << i;
    }
    EXPECT_EQ(got[6]["id"], "m7");
    EXPECT_TRUE(price_frames(*st1.sign).empty());
    EXPECT_NE(st1.change_line().find("odrzucona"), std::string::npos) << st1.change_line();

    // A valid change while the sign's link is down waits for it, and says why.
    static_cast<HeadlessHost*>(st1.program().ui)->menu(kCmdDisconnect);
    office.publish("kavorcen/st1/prices/set", change("v1", R"("prices":["1","2","3","4","5"],)" + blink));
    ASSERT_TRUE(pump_until([&] { return results(office, "st1").size() > cases.size(); }));
    json down = results(office, "st1").back();
    EXPECT_EQ(down["outcome"], "held");
    EXPECT_EQ(down["reason"], "sign_disconnected");
    EXPECT_TRUE(price_frames(*st1.sign).empty());
}

TEST_F(HeadOffice, a_change_with_a_time_waits_for_it_and_one_past_its_time_is_applied_late) {
    TestStation& st1 = add_station("st1", 1);
    st1.open(*broker);
    OfficeClient office(*broker);
    ASSERT_TRUE(pump_until([&] { return all_connected() && office.ready(); }));
    auto at = [](int64_t offset) { return mqtt::format_time(static_cast<int64_t>(std::time(nullptr)) + offset); };
    const std::string prices = R"("prices":["4.59","5.19","3.09","6.00","12"],"blink":[true,false,false,false,false])";
    office.publish("kavorcen/st1/prices/set", R"({"id":"t1","station":"st1",)" + prices + R"(,"at":")" + at(2) + "\"}");
    ASSERT_TRUE(pump_until([&] { return !results(office, "st1").empty(); }));
    EXPECT_EQ(results(office, "st1")[0]["outcome"], "scheduled");
    EXPECT_TRUE(price_frames(*st1.sign).empty());
    ASSERT_TRUE(pump_until([&] { return results(office, "st1").size() >= 2; }));
    EXPECT_EQ(results(office, "st1")[1]["outcome"], "confirmed");
    EXPECT_FALSE(results(office, "st1")[1].contains("late"));
    EXPECT_EQ(price_frames(*st1.sign), kBatch);

    st1.sign->clear_received();
    office.publish("kavorcen/st1/prices/set", R"({"id":"t2","station":"st1",)" + prices + R"(,"at":")" + at(-600) + "\"}");
    ASSERT_TRUE(pump_until([&] { return results(office, "st1").size() >= 3; }));
    json late = results(office, "st1")[2];
    EXPECT_EQ(late["outcome"], "confirmed");
    EXPECT_EQ(late["late"], true);
    int64_t due = 0, applied = 0;
    ASSERT_TRUE(mqtt::parse_time(late.value("at", ""), due));
    ASSERT_TRUE(mqtt::parse_time(late.value("time", ""), applied));
    EXPECT_GE(applied - due, 599);
    EXPECT_EQ(price_frames(*st1.sign), kBatch);

    // Its time comes while the sign's link is down: it waits, and goes late once it is back.
    static_cast<HeadlessHost*>(st1.program().ui)->menu(kCmdDisconnect);
    st1.sign->clear_received();
    office.publish("kavorcen/st1/prices/set", R"({"id":"t3","station":"st1",)" + prices + R"(,"at":")" + at(2) + "\"}");
    ASSERT_TRUE(pump_until([&] { return results(office, "st1").size() >= 5; }));
    std::vector<json> got = results(office, "st1");
    EXPECT_EQ(got[3]["outcome"], "scheduled");
    EXPECT_EQ(got[4]["outcome"], "held");
    EXPECT_EQ(got[4]["reason"], "sign_disconnected");
    static_cast<HeadlessHost*>(st1.program().ui)->menu(kCmdConnect);
    ASSERT_TRUE(pump_until([&] { return results(office, "st1").size() >= 6; }));
    json went = results(office, "st1")[5];
    EXPECT_EQ(went["outcome"], "confirmed") << went.dump();
    EXPECT_EQ(went["late"], true);
    EXPECT_EQ(went["at"], got[3]["at"]);
    EXPECT_EQ(went["arrived"], got[4]["arrived"]);
    EXPECT_EQ(price_frames(*st1.sign), kBatch);
}

TEST_F(HeadOffice, login_faults_show_on_the_panel_and_the_station_keeps_working) {
    TestStation& st1 = add_station("st1", 1);
    st1.open(*broker, {}, [&](ExtraSettings& e) {
        e.erase(extra_key::kHeadOfficePasswordFile);
        e.set(extra_key::kHeadOfficePassword, "wrong");
    });
    ASSERT_TRUE(pump_until([&] { return st1.link_line().find("złe hasło lub użytkownik") != std::string::npos; }))
        << st1.link_line();
    // The operator's own "Wyślij" still reaches the sign.
    st1.program().ui->controls().set_text(kPanelWindow, kIdPrice1, "1.11");
    st1.program().ui->controls().set_checked(kPanelWindow, kIdBlink1, false);
    static_cast<HeadlessHost*>(st1.program().ui)->press(kPanelWindow, kIdSendPrices);
    ASSERT_TRUE(pump_until([&] { return price_frames(*st1.sign).size() == 6; }));
    st1.close();

    TestStation& st2 = add_station("st2", 2);
    ::chmod(broker->password_file("st2").c_str(), 0644);
    st2.open(*broker);
    EXPECT_TRUE(pump_until([&] { return st2.link_line().find("może czytać ktoś poza właścicielem") != std::string::npos; }))
        << st2.link_line();
    st2.close();

    TestStation& st3 = add_station("st3", 3);
    st3.open(*broker, {}, [&](ExtraSettings& e) { e.set(extra_key::kHeadOfficeCaFile, broker->file("other-ca.crt")); });
    ASSERT_TRUE(pump_until([&] { return st3.link_line().find("TLS") != std::string::npos; })) << st3.link_line();
    EXPECT_FALSE(st3.connected_to_broker());
}

// ---- Online, ids and shutdown ----------------------------------------------------

const std::string kPrices = R"("prices":["4.59","5.19","3.09","6.00","12"],"blink":[true,false,false,false,false])";
std::string change(const std::string& id, const std::string& extra = "") {
    return R"({"id":")" + id + R"(","station":"st1",)" + kPrices + extra + "}";
}

TEST_F(HeadOffice, a_change_sent_the_moment_the_link_says_connected_is_received) {
    // The link alone, with head office publishing from inside the "connected" report
    // and waiting for the broker to take the change: the subscription must be in place.
    OfficeClient office(*broker);
    ASSERT_TRUE(pump_until([&] { return office.ready(); }));
    ExtraSettings extra;
    extra.set(extra_key::kHeadOfficeBroker, broker->address());
    extra.set(extra_key::kHeadOfficeStation, "st1");
    extra.set(extra_key::kHeadOfficePasswordFile, broker->password_file("st1"));
    extra.set(extra_key::kHeadOfficeCaFile, broker->ca());
    const std::string dir = broker->file("");
    auto link = mqtt::make_station_link(extra, dir);
    ASSERT_TRUE(link);
    std::atomic<bool> sent{false}, received{false};
    HeadOfficeLink::Events events;
    events.on_status = [&](const LinkStatus& status) {
        if (status.state == LinkState::Connected && !sent.exchange(true))
            office.publish_and_wait("kavorcen/st1/prices/set", change("c-1"));
    };
    events.on_change = [&](const CentralChange& c) { received = c.id == "c-1"; };
    link->start(events);
    EXPECT_TRUE(pump_until([&] { return received.load(); }));
    link->stop();
}

TEST_F(HeadOffice, only_a_queued_change_takes_its_id) {
    TestStation& st1 = add_station("st1", 1);
    // A retained change is refused at subscribe and never applied.
    OfficeClient office(*broker);
    ASSERT_TRUE(pump_until([&] { return office.ready(); }));
    office.publish("kavorcen/st1/prices/set", change("r-1"), true);
    st1.open(*broker);
    ASSERT_TRUE(pump_until([&] { return all_connected() && !results(office, "st1").empty(); }));
    EXPECT_EQ(results(office, "st1")[0]["reason"], "retained");

    auto at = [](int64_t offset) { return mqtt::format_time(static_cast<int64_t>(std::time(nullptr)) + offset); };
    // Each refusal, then the same id again corrected (or once the sign is back): applied.
    static_cast<HeadlessHost*>(st1.program().ui)->menu(kCmdDisconnect);
    office.publish("kavorcen/st1/prices/set", change("f-1"));
    office.publish("kavorcen/st1/prices/set", change("f-2", R"(,"at":")" + at(8 * 24 * 3600) + "\""));
    for (int n = 0; n < 32; ++n)
        office.publish("kavorcen/st1/prices/set", change("q-" + std::to_string(n), R"(,"at":")" + at(3600) + "\""));
    office.publish("kavorcen/st1/prices/set", change("f-3", R"(,"at":")" + at(3600) + "\""));
    ASSERT_TRUE(pump_until([&] { return results(office, "st1").size() >= 36; }));
    std::vector<json> got = results(office, "st1");
    EXPECT_EQ(got[1]["outcome"], "held");
    EXPECT_EQ(got[2]["reason"], "too_far_ahead");
    EXPECT_EQ(got[35]["reason"], "queue_full") << got[35].dump();
    EXPECT_NE(got[35].value("detail", ""), got[2].value("detail", ""));
    EXPECT_TRUE(price_frames(*st1.sign).empty());

    // The held change goes once the sign is back; the refused ones may come again.
    static_cast<HeadlessHost*>(st1.program().ui)->menu(kCmdConnect);
    ASSERT_TRUE(pump_until([&] { return results(office, "st1").size() >= 37; }));
    EXPECT_EQ(results(office, "st1")[36]["id"], "f-1");
    EXPECT_EQ(results(office, "st1")[36]["outcome"], "confirmed");
    for (const char* id : {"r-1", "f-2", "f-3"}) {
        const size_t before = results(office, "st1").size();
        office.publish("kavorcen/st1/prices/set", change(id));
        ASSERT_TRUE(pump_until([&] { return results(office, "st1").size() > before; }));
        EXPECT_EQ(results(office, "st1").back()["outcome"], "confirmed") << results(office, "st1").back().dump();
    }
}

TEST_F(HeadOffice, a_change_taken_while_the_program_stops_is_answered_and_its_id_stays_free) {
    TestStation& st1 = add_station("st1", 1);
    st1.open(*broker);
    OfficeClient office(*broker);
    ASSERT_TRUE(pump_until([&] { return all_connected() && office.ready(); }));
    // The UI thread is not pumped: the change waits in its queue when the program ends.
    office.publish("kavorcen/st1/prices/set", change("s-1"));
    const auto ids = st1.dir() / mqtt::kSeenIdsName;
    auto arrived = [&] {
        std::ifstream in(ids);
        std::string text((std::istreambuf_iterator<char>(in)), {});
        return text.find("s-1;") != std::string::npos;
    };
    for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
         !arrived() && std::chrono::steady_clock::now() < end;)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(arrived());
    st1.close();
    ASSERT_TRUE(pump_until([&] { return !results(office, "st1").empty(); }));
    EXPECT_EQ(results(office, "st1")[0]["reason"], "shutting_down");

    st1.open(*broker);
    ASSERT_TRUE(pump_until([&] { return all_connected(); }));
    office.publish("kavorcen/st1/prices/set", change("s-1"));
    ASSERT_TRUE(pump_until([&] { return results(office, "st1").size() >= 2; }));
    EXPECT_EQ(results(office, "st1")[1]["outcome"], "confirmed") << results(office, "st1")[1].dump();
    EXPECT_EQ(price_frames(*st1.sign), kBatch);
}

// ---- Faults told ---------------------------------------------------------------------

TEST_F(HeadOffice, an_ids_file_that_cannot_be_written_is_told_to_head_office_and_the_panel) {
    TestStation& st1 = add_station("st1", 1);
    std::filesystem::create_directories(st1.dir() / mqtt::kSeenIdsName / "in-the-way");
    st1.open(*broker);
    OfficeClient office(*broker);
    ASSERT_TRUE(pump_until([&] { return all_connected() && office.ready(); }));
    office.publish("kavorcen/st1/prices/set", change("w-1"));
    ASSERT_TRUE(pump_until([&] { return !results(office, "st1").empty(); }));
    json r = results(office, "st1")[0];
    EXPECT_EQ(r["outcome"], "confirmed");
    EXPECT_NE(r.value("detail", "").find("nie można zapisać pliku"), std::string::npos) << r.dump();
    EXPECT_TRUE(pump_until([&] { return st1.link_line().find("nie można zapisać pliku") != std::string::npos; }))
        << st1.link_line();
}

TEST_F(HeadOffice, two_stations_with_one_id_back_off_and_say_so) {
    for (int com : {1, 2}) {
        stations.push_back(std::make_unique<TestStation>(broker->file("station" + std::to_string(com)), "st1", com));
        stations.back()->open(*broker);
    }
    // Each takes the session from the other; the wait grows instead of 1 s for ever.
    auto says = [&](const std::string& text) {
        for (auto& s : stations)
            if (s->link_line().find(text) != std::string::npos) return true;
        return false;
    };
    ASSERT_TRUE(pump_until([&] { return says("inna stacja używa identyfikatora st1"); }));
    EXPECT_TRUE(pump_until([&] { return says("ponowna próba za 2 s") || says("ponowna próba za 4 s"); }))
        << stations[0]->link_line() << " / " << stations[1]->link_line();
}

TEST_F(HeadOffice, kavor_centrala_reports_what_is_wrong_and_never_dies_of_a_message) {
    OfficeClient office(*broker);
    ASSERT_TRUE(pump_until([&] { return office.ready(); }));
    // Any station account may write its own topics: each fault is named, then ignored.
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"kavorcen/a1/status", R"({"status":5})"},
        {"kavorcen/a2/status", R"([1])"},
        {"kavorcen/a3/status", "not json"},
        {"kavorcen/a4/state", R"({"prices":"4.59"})"},
        {"kavorcen/a5/state", R"({"matches":"yes","time":1})"},
        {"kavorcen/a6/prices/result", R"({"id":5,"outcome":"confirmed"})"},
        {"kavorcen/a7/prices/result", R"({"id":"x","outcome":"confirmed","fields":["2"]})"},
    };
    for (const auto& [topic, payload] : cases) office.publish(topic, payload, true);
    office.publish("kavorcen/a8/status", R"({"status":"online","sign":"answers"})", true);
    auto [out, code] = centrala("status");
    EXPECT_EQ(code, 0) << out;
    auto [pushed, push_code] = centrala("push --stations a1,a8 --prices 1,2,3,4,5 --timeout 1");
    EXPECT_EQ(push_code, 1) << pushed;
    // "status" reads status and state, "push" status and results.
    for (const auto& [topic, payload] : cases) {
        const bool result = topic.find("/prices/") != std::string::npos;
        const bool status = topic.find("/status") != std::string::npos;
        const std::string line = topic + ": malformed message";
        EXPECT_EQ(out.find(line) != std::string::npos, !result) << out;
        EXPECT_EQ(pushed.find(line) != std::string::npos, result || status) << pushed;
    }
    EXPECT_NE(row(out, "a8").find("online"), std::string::npos) << out;

    // A wrong password is a refused login, not a lost broker.
    const std::string wrong = broker->file("wrong.pw");
    { std::ofstream(wrong) << "nope\n"; }
    ::chmod(wrong.c_str(), 0600);
    auto [refused, refused_code] = centrala("status", wrong);
    EXPECT_EQ(refused_code, 2);
    EXPECT_NE(refused.find("refused the login"), std::string::npos) << refused;

    // One push carries one id: a station named twice would get it once.
    const std::string file = broker->file("prices.txt");
    { std::ofstream(file) << "st1;1;2;3;4;5\nst2;1;2;3;4;5\nst1;9;9;9;9;9\n"; }
    auto [twice, twice_code] = centrala("push --file " + file);
    EXPECT_EQ(twice_code, 2);
    EXPECT_NE(twice.find(file + ":3: station st1 is already named on line 1"), std::string::npos) << twice;
}

// ---- Changes that wait for the sign, events, status --------------------------------

std::vector<json> parsed(OfficeClient& office, const std::string& topic) {
    std::vector<json> out;
    for (const auto& m : office.messages(topic)) out.push_back(json::parse(m.payload, nullptr, false));
    return out;
}
// The ids of the station's events of one kind, in order.
std::vector<std::string> event_ids(OfficeClient& office, const std::string& kind) {
    std::vector<std::string> out;
    for (const json& e : parsed(office, "kavorcen/st1/events"))
        if (e.value("event", "") == kind) out.push_back(e.value("id", ""));
    return out;
}
const std::string kOtherPrices =
    R"({"id":"h-1","station":"st1","prices":["1.11","2.22","3.33","4.44","5.55"],"blink":[false,false,false,false,false]})";

TEST_F(HeadOffice, a_change_handed_over_in_test_mode_waits_and_goes_late_once_the_operator_connects) {
    TestStation& st1 = add_station("st1", 1);
    st1.open(*broker);
    OfficeClient office(*broker);
    ASSERT_TRUE(pump_until([&] { return all_connected() && office.ready(); }));
    st1.close();
    // The broker keeps it for the station's session and hands it over at the next start,
    // while the program is still in test mode.
    ASSERT_TRUE(office.publish_and_wait("kavorcen/st1/prices/set", kOtherPrices));
    st1.operator_connects = false;
    st1.open(*broker);
    ASSERT_TRUE(pump_until([&] { return !results(office, "st1").empty(); }));
    json held = results(office, "st1")[0];
    EXPECT_EQ(held["outcome"], "held") << held.dump();
    EXPECT_EQ(held["reason"], "test_mode");
    EXPECT_TRUE(held.contains("arrived"));
    EXPECT_TRUE(pump_until([&] { return st1.change_line().find("h-1 czeka na wieżę (tryb testu)") != std::string::npos; }))
        << st1.change_line();

    // A newer change takes its place; a repeat of it is a duplicate of a held change.
    office.publish("kavorcen/st1/prices/set", change("h-2"));
    ASSERT_TRUE(pump_until([&] { return results(office, "st1").size() >= 3; }));
    office.publish("kavorcen/st1/prices/set", change("h-2"));
    ASSERT_TRUE(pump_until([&] { return results(office, "st1").size() >= 4; }));
    std::vector<json> got = results(office, "st1");
    EXPECT_EQ(got[1]["id"], "h-1");
    EXPECT_EQ(got[1]["outcome"], "superseded");
    EXPECT_EQ(got[2]["id"], "h-2");
    EXPECT_EQ(got[2]["outcome"], "held");
    EXPECT_EQ(got[3]["outcome"], "duplicate");
    EXPECT_EQ(got[3]["previous"], "held");
    EXPECT_TRUE(price_frames(*st1.sign).empty());
    auto last_status = [&] {
        std::vector<json> all = parsed(office, "kavorcen/st1/status");
        return all.empty() ? json() : all.back();
    };
    ASSERT_TRUE(pump_until([&] { return last_status().value("test_mode", false); })) << last_status().dump();
    EXPECT_TRUE(last_status()["last_watch"].is_null());
    int64_t since = 0;
    EXPECT_TRUE(mqtt::parse_time(last_status().value("since", ""), since)) << last_status().dump();

    static_cast<HeadlessHost*>(st1.program().ui)->menu(kCmdConnect);
    ASSERT_TRUE(pump_until([&] { return results(office, "st1").size() >= 5; }));
    json done = results(office, "st1")[4];
    EXPECT_EQ(done["id"], "h-2");
    EXPECT_EQ(done["outcome"], "confirmed") << done.dump();
    EXPECT_EQ(done["late"], true);
    EXPECT_EQ(done["arrived"], got[2]["arrived"]);
    EXPECT_FALSE(done.contains("at"));  // it carried no time of its own
    EXPECT_EQ(price_frames(*st1.sign), kBatch);
    EXPECT_TRUE(pump_until([&] { return !last_status().value("test_mode", true); })) << last_status().dump();
    EXPECT_TRUE(pump_until([&] { return event_ids(office, "change_applied") == std::vector<std::string>{"h-2"}; }));
    EXPECT_EQ(event_ids(office, "change_held"), (std::vector<std::string>{"h-1", "h-2"}));
    EXPECT_FALSE(std::filesystem::exists(st1.dir() / kHeldChangeName));
}

TEST_F(HeadOffice, a_held_change_survives_a_restart_and_goes_with_no_operator_when_the_program_connects_at_start) {
    TestStation& st1 = add_station("st1", 1);
    st1.operator_connects = false;
    st1.open(*broker);
    OfficeClient office(*broker);
    ASSERT_TRUE(pump_until([&] { return all_connected() && office.ready(); }));
    office.publish("kavorcen/st1/prices/set", change("k-1"));
    ASSERT_TRUE(pump_until([&] { return !results(office, "st1").empty(); }));
    EXPECT_EQ(results(office, "st1")[0]["outcome"], "held");
    st1.close();
    ASSERT_TRUE(std::filesystem::exists(st1.dir() / kHeldChangeName));

    st1.open(*broker, {}, [](ExtraSettings& e) { e.set_bool(extra_key::kConnectAtStart, true); });
    ASSERT_TRUE(pump_until([&] { return results(office, "st1").size() >= 2; }));
    json done = results(office, "st1")[1];
    EXPECT_EQ(done["id"], "k-1");
    EXPECT_EQ(done["outcome"], "confirmed") << done.dump();
    EXPECT_EQ(done["late"], true);
    EXPECT_EQ(done["arrived"], results(office, "st1")[0]["arrived"]);
    EXPECT_EQ(price_frames(*st1.sign), kBatch);
}

TEST_F(HeadOffice, kavor_centrala_watch_prints_each_event_and_ends_cleanly_on_sigterm) {
    TestStation& st1 = add_station("st1", 1);
    st1.operator_connects = false;
    st1.open(*broker);
    ASSERT_TRUE(pump_until([&] { return all_connected(); }));
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::dup2(out[1], 2);
        ::execl(KAVOR_CENTRALA, KAVOR_CENTRALA, "watch", "--stations", "st1", "--broker", broker->address().c_str(),
                "--cafile", broker->ca().c_str(), "--user", "centrala", "--password-file",
                broker->password_file("centrala").c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    ::fcntl(out[0], F_SETFL, O_NONBLOCK);
    std::string text;
    auto read_some = [&] {
        char buffer[512];
        for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
    };
    // It says when it listens; only then can no event be missed.
    EXPECT_TRUE(pump_until([&] { read_some(); return text.find("watching") != std::string::npos; })) << text;
    OfficeClient office(*broker);
    ASSERT_TRUE(pump_until([&] { return office.ready(); }));
    office.publish("kavorcen/st1/prices/set", change("w-1"));
    EXPECT_TRUE(pump_until([&] {
        read_some();
        return text.find(" st1 change_held id=w-1 detail=\"czeka na wieżę (tryb testu)\"\n") != std::string::npos;
    })) << text;
    ::kill(pid, SIGTERM);
    int status = 0;
    pid_t ended = 0;
    for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
         (ended = ::waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < end;)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (ended == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    ::close(out[0]);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
}  // namespace kc::test
