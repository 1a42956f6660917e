// Tests (head office link): stations and kavor-centrala against a real Mosquitto with
// TLS and passwords on 127.0.0.1.
#include <sys/wait.h>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

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
    bool pump_until(const std::function<bool()>& done, int timeout_ms = 10000) {
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
    std::pair<std::string, int> centrala(const std::string& args) {
        const std::string command = std::string(KAVOR_CENTRALA) + " " + args + " --broker " + broker->address() +
                                    " --cafile " + broker->ca() + " --user centrala --password-file " +
                                    broker->password_file("centrala") + " 2>&1";
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
        pump_until([&] { return done.load(); }, 60000);
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

    // A valid change while the sign's link is down is not queued either, and says why.
    static_cast<HeadlessHost*>(st1.program().ui)->menu(kCmdDisconnect);
    office.publish("kavorcen/st1/prices/set", change("v1", R"("prices":["1","2","3","4","5"],)" + blink));
    ASSERT_TRUE(pump_until([&] { return results(office, "st1").size() > cases.size(); }));
    json down = results(office, "st1").back();
    EXPECT_EQ(down["outcome"], "not_confirmed");
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
    EXPECT_NE(st2.link_line().find("może czytać ktoś poza właścicielem"), std::string::npos) << st2.link_line();
    st2.close();

    TestStation& st3 = add_station("st3", 3);
    st3.open(*broker, {}, [&](ExtraSettings& e) { e.set(extra_key::kHeadOfficeCaFile, broker->file("other-ca.crt")); });
    ASSERT_TRUE(pump_until([&] { return st3.link_line().find("TLS") != std::string::npos; })) << st3.link_line();
    EXPECT_FALSE(st3.connected_to_broker());
}

}  // namespace
}  // namespace kc::test
