// Settings dialog tests: dialog 143 "Centrala": what it refuses, what it keeps where,
// the password that is never shown, the connection check and the link made again.
#include "dialogs/centrala_dialog.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

#include "dialog_fixture.h"
#include "resources/command_ids.h"
#include "resources/dialog_ids.h"
#include "resources/texts.h"
#include "storage/extra_settings_file.h"

namespace kc {
namespace {

constexpr WindowId W = kDialogCentrala;

class FakePasswords : public PasswordStore {
public:
    bool save(const std::string& path, const std::string& password, std::string& why) override {
        ++saves;
        why = failure;
        if (failure.empty()) kept[path] = password;
        return failure.empty();
    }
    bool load(const std::string& path, std::string& password, std::string&) override {
        password = kept[path];
        return kept.count(path) > 0;
    }
    std::map<std::string, std::string> kept;
    std::string failure;
    int saves = 0;
};

// Stands in for the main window: counts the commands posted to it.
class MainWindowStandIn : public WindowProcedure {
public:
    void on_command(int id) override { commands.push_back(id); }
    std::vector<int> commands;
};

class CentralaTest : public DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        host.create_main_window(main_window);
        ca = std::string(p.state.work_directory) + "/ca.crt";
        std::ofstream(ca) << "-----BEGIN CERTIFICATE-----\n";
        p.passwords = passwords;
    }
    int run(std::function<void(WindowId)> script) {
        int result = 0;
        {
            CentralaDialog dialog(p);
            host.on_dialog(W, std::move(script));
            result = host.run_dialog(W, dialog);
        }
        host.pump();
        return result;
    }
    void fill_in(WindowId w, const std::string& broker, const std::string& station, const std::string& ca_file,
                 const std::string& password = "") {
        host.type(w, kIdHoBroker, broker);
        host.type(w, kIdHoStation, station);
        host.type(w, kIdHoCaFile, ca_file);
        host.type(w, kIdHoPassword, password);
    }
    std::string extra_file() {
        std::stringstream s;
        s << std::ifstream(extra_settings_path(p)).rdbuf();
        return s.str();
    }
    long rebuilds() const { return std::count(main_window.commands.begin(), main_window.commands.end(), kCmdHeadOfficeChanged); }

    std::shared_ptr<FakePasswords> passwords = std::make_shared<FakePasswords>();
    MainWindowStandIn main_window;
    std::string ca;
};

TEST_F(CentralaTest, a_refused_value_is_told_and_nothing_is_kept) {
    struct Case {
        const char* broker;
        const char* station;
        bool with_ca;
        const char* password;
        std::string expected;
    };
    const std::string missing_ca = std::string(p.state.work_directory) + "/brak.crt";
    const std::string too_long(65, 's');  // outlives the table that points into it
    const Case cases[] = {
        {"mqtt.firma.pl:8883", "stacja 7", true, "", txt(Txt::CentralaBadStation)},
        {"mqtt.firma.pl:8883", too_long.c_str(), true, "", txt(Txt::CentralaBadStation)},
        {"", "stacja/7", false, "", txt(Txt::CentralaBadStation)},  // refused even with the link off
        {"mqtt.firma.pl:99999", "s7", true, "", txt(Txt::CentralaBadBroker)},
        {"::1:8883", "s7", true, "", txt(Txt::CentralaBadBroker)},
        {"mqtt firma", "", false, "", txt(Txt::CentralaBadBroker)},
        {"mqtt.firma.pl", "s7", false, "", txt(Txt::CentralaNoCaFile)},
        {"mqtt.firma.pl", "s7", false, "tajne", txt(Txt::CentralaNoCaFile)},
    };
    for (const Case& c : cases) {
        host.clear_messages();
        int result = run([&](WindowId w) {
            fill_in(w, c.broker, c.station, c.with_ca ? ca : "", c.password);
            host.press(w, kIdOk);
            host.press(w, kIdCancel);
        });
        EXPECT_EQ(result, 0) << c.broker << " " << c.station;
        ASSERT_EQ(host.messages().size(), 1u) << c.broker << " " << c.station;
        EXPECT_EQ(host.messages()[0].text, c.expected) << c.broker << " " << c.station;
    }
    // A CA file that is not there, a store that refuses, and no store at all.
    host.clear_messages();
    passwords->failure = cp("brak uprawnień do zapisu");
    run([&](WindowId w) {
        fill_in(w, "mqtt.firma.pl", "s7", missing_ca);
        host.press(w, kIdOk);
        fill_in(w, "mqtt.firma.pl", "s7", ca, "tajne");
        host.press(w, kIdOk);
        p.passwords = nullptr;
        host.press(w, kIdOk);
        host.press(w, kIdCancel);
    });
    ASSERT_EQ(host.messages().size(), 3u);
    EXPECT_EQ(host.messages()[0].text, fill(Txt::CentralaCaMissing, missing_ca));
    EXPECT_EQ(host.messages()[1].text,
              fill(Txt::CentralaPasswordFailed, head_office_password_path(p), cp("brak uprawnień do zapisu")));
    EXPECT_EQ(host.messages()[2].text, txt(Txt::CentralaNoPasswordStore));
    EXPECT_TRUE(p.extra.all().empty());
    EXPECT_FALSE(std::filesystem::exists(extra_settings_path(p)));
    EXPECT_EQ(rebuilds(), 0);
}

TEST_F(CentralaTest, ok_keeps_the_password_in_its_store_only_and_never_shows_it_again) {
    p.extra.set(extra_key::kHeadOfficePassword, "stare-haslo");  // typed into the file by hand
    p.extra.set(extra_key::kHeadOffice, "0");
    int result = run([&](WindowId w) {
        EXPECT_EQ(host.controls().text(w, kIdHoPasswordNote), txt(Txt::CentralaPasswordKept));
        fill_in(w, " mqtt.firma.pl:8883 ", "s7", ca, cp("zażółć"));
        host.type(w, kIdHoUser, "stacja-7");
        host.press(w, kIdOk);
    });
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(host.messages().empty());
    const std::string path = head_office_password_path(p);
    ASSERT_EQ(passwords->kept.count(path), 1u);
    EXPECT_EQ(passwords->kept[path], "zażółć") << "kept in UTF-8, as the broker takes it";
    const std::string file = extra_file();
    for (const std::string& line : std::vector<std::string>{"head_office_broker=mqtt.firma.pl:8883\n", "head_office_station=s7\n",
                             "head_office_user=stacja-7\n", "head_office_ca_file=" + ca + "\n",
                             "head_office_password_file=" + path + "\n"})
        EXPECT_NE(file.find(line), std::string::npos) << line << file;
    for (const char* secret : {"stare-haslo", "head_office_password=", "zażółć"})
        EXPECT_EQ(file.find(secret), std::string::npos) << "no password in the settings file: " << file;
    EXPECT_EQ(file.find("head_office=0"), std::string::npos) << "a broker and a station switch the link on";
    EXPECT_EQ(rebuilds(), 1);

    // Reopened: the password edit stays empty; Ok with nothing changed keeps it and the link.
    run([&](WindowId w) {
        EXPECT_EQ(host.controls().text(w, kIdHoPassword), "");
        EXPECT_EQ(host.controls().text(w, kIdHoPasswordNote), txt(Txt::CentralaPasswordKept));
        EXPECT_EQ(host.controls().text(w, kIdHoBroker), "mqtt.firma.pl:8883");
        host.press(w, kIdOk);
    });
    EXPECT_EQ(passwords->saves, 1);
    EXPECT_EQ(rebuilds(), 1);

    // An emptied broker switches the link off; the kept password stays for later.
    run([&](WindowId w) {
        host.type(w, kIdHoBroker, "");
        host.press(w, kIdOk);
    });
    EXPECT_EQ(p.extra.get(extra_key::kHeadOfficeBroker), "");
    EXPECT_EQ(p.extra.get(extra_key::kHeadOfficePasswordFile), path);
    EXPECT_EQ(rebuilds(), 2);
    EXPECT_FALSE(settings_written()) << "KavorCen.ini keeps its 40 lines untouched";
}

TEST_F(CentralaTest, the_check_uses_the_typed_values_and_tells_each_outcome_in_the_dialog) {
    using O = HeadOfficeCheckOutcome;
    passwords->kept[head_office_password_path(p)] = "kept-pw";
    p.extra.set(extra_key::kHeadOfficePasswordFile, head_office_password_path(p));
    HeadOfficeCheckRequest seen;
    HeadOfficeCheckResult answer;
    p.check_head_office = [&](const HeadOfficeCheckRequest& r, const std::atomic<bool>&) {
        seen = r;
        return answer;
    };
    const std::pair<HeadOfficeCheckResult, std::string> cases[] = {
        {{O::Subscribed, ""}, fill(Txt::CheckSubscribed, "127.0.0.1:8883", "s7")},
        {{O::Unreachable, txt(Txt::HoErrRefused)}, fill(Txt::CheckUnreachable, "127.0.0.1:8883", txt(Txt::HoErrRefused))},
        {{O::TlsUntrusted, ""}, fill(Txt::CheckTlsUntrusted, "127.0.0.1:8883")},
        {{O::CaUnreadable, ""}, fill(Txt::CheckCaUnreadable, ca)},
        {{O::LoginRefused, ""}, fill(Txt::CheckLoginRefused, "127.0.0.1:8883")},
        {{O::NotAuthorised, ""}, fill(Txt::CheckNotAuthorised, "s7", "s7")},
        {{O::TimedOut, ""}, fill(Txt::CheckTimedOut, "127.0.0.1:8883", std::to_string(kHeadOfficeCheckSeconds))},
    };
    run([&](WindowId w) {
        fill_in(w, "127.0.0.1:8883", "s7", ca);
        for (const auto& [result, text] : cases) {
            answer = result;
            host.press(w, kIdHoCheck);
            EXPECT_TRUE(host.pump_until([&] { return host.controls().text(w, kIdHoCheckResult) == text; }))
                << text << " / " << host.controls().text(w, kIdHoCheckResult);
            EXPECT_TRUE(host.controls().enabled(w, kIdHoCheck));
        }
        EXPECT_EQ(seen.host, "127.0.0.1");
        EXPECT_EQ(seen.port, 8883);
        EXPECT_EQ(seen.user, "s7") << "the user defaults to the station";
        EXPECT_EQ(seen.password, "kept-pw") << "an empty field checks the kept password";
        EXPECT_EQ(seen.ca_file, ca);
        host.type(w, kIdHoPassword, "nowe");
        host.type(w, kIdHoUser, "jan");
        host.press(w, kIdHoCheck);
        host.pump_until([&] { return host.controls().enabled(w, kIdHoCheck); });
        EXPECT_EQ(seen.password, "nowe");
        EXPECT_EQ(seen.user, "jan");
        host.press(w, kIdCancel);
    });
    EXPECT_FALSE(std::filesystem::exists(extra_settings_path(p))) << "a check keeps nothing";
    EXPECT_EQ(passwords->saves, 0);
}

TEST_F(CentralaTest, a_dialog_closed_during_a_check_stops_it_and_ignores_its_answer) {
    std::atomic<bool> started{false};
    p.check_head_office = [&](const HeadOfficeCheckRequest&, const std::atomic<bool>& cancel) {
        started = true;
        while (!cancel) std::this_thread::yield();  // a broker that never answers
        return HeadOfficeCheckResult{HeadOfficeCheckOutcome::TimedOut, ""};
    };
    run([&](WindowId w) {
        fill_in(w, "127.0.0.1", "s7", ca);
        host.press(w, kIdHoCheck);
        EXPECT_EQ(host.controls().text(w, kIdHoCheckResult), fill(Txt::CheckRunning, "127.0.0.1"));
        EXPECT_FALSE(host.controls().enabled(w, kIdHoCheck));
        EXPECT_TRUE(host.pump_until([&] { return started.load(); }));
        host.press(w, kIdCancel);
    });
    EXPECT_TRUE(host.messages().empty());
}

}  // namespace
}  // namespace kc
