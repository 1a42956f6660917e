// Settings dialog tests: dialog 142 "Praca bez obsługi", its keys in the extra settings
// file and the start at login through the platform's registration.
#include "dialogs/unattended_dialog.h"

#include <fstream>
#include <sstream>

#include "dialog_fixture.h"
#include "resources/command_ids.h"
#include "resources/dialog_ids.h"
#include "storage/extra_settings_file.h"

namespace kc {
namespace {

constexpr WindowId W = kDialogUnattended;

class FakeAutostart : public Autostart {
public:
    bool is_set() override { return on; }
    std::error_code set(bool wanted) override {
        ++calls;
        if (failure) return failure;
        on = wanted;
        return {};
    }
    std::string where() override { return "/home/op/.config/autostart/pl.kavor.kavorcen.desktop"; }
    bool on = false;
    int calls = 0;
    std::error_code failure;
};

class UnattendedTest : public DialogTest {
protected:
    int run(std::function<void(WindowId)> script) {
        UnattendedDialog dialog(p);
        host.on_dialog(W, std::move(script));
        return host.run_dialog(W, dialog);
    }
    std::string extra_file() {
        std::ifstream in(extra_settings_path(p));
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::shared_ptr<FakeAutostart> autostart = std::make_shared<FakeAutostart>();
};

TEST_F(UnattendedTest, a_fresh_program_shows_everything_off_and_a_ten_minute_period) {
    run([&](WindowId w) {
        for (int id : {kIdConnectAtStart, kIdStartAtLogin, kIdSignWatch, kIdRestorePrices})
            EXPECT_FALSE(host.controls().checked(w, id)) << id;
        EXPECT_EQ(host.controls().text(w, kIdSignWatchMinutes), "10");
        // A host that cannot register a start at login offers no box that would lie.
        EXPECT_FALSE(host.controls().enabled(w, kIdStartAtLogin));
        host.press(w, kIdCancel);
    });
    EXPECT_FALSE(std::filesystem::exists(extra_settings_path(p)));
}

TEST_F(UnattendedTest, ok_keeps_the_choices_in_the_extra_settings_file_only) {
    struct Case {
        bool watch;
        const char* minutes;
        const char* sign_watch;          // what the file holds after Ok
        const char* sign_watch_minutes;
    };
    const Case cases[] = {
        {true, "15", "1", "15"},
        {true, " 1440 ", "1", "1440"},
        {true, "0", "0", "1440"},   // 0 switches the watch off and keeps the period
        {false, "", "0", "1440"},   // an emptied field with the watch off loses nothing
        {false, "5", "0", "5"},
    };
    p.autostart = autostart;
    for (const Case& c : cases) {
        int result = run([&](WindowId w) {
            host.set_check(w, kIdConnectAtStart, true);
            host.set_check(w, kIdStartAtLogin, true);
            host.set_check(w, kIdSignWatch, c.watch);
            host.type(w, kIdSignWatchMinutes, c.minutes);
            host.set_check(w, kIdRestorePrices, true);
            host.press(w, kIdOk);
        });
        EXPECT_EQ(result, 1) << c.minutes;
        EXPECT_TRUE(host.messages().empty()) << c.minutes;
        const std::string file = extra_file();
        for (std::string line : {"connect_at_start=1", "restore_prices=1"}) EXPECT_NE(file.find(line), std::string::npos);
        EXPECT_NE(file.find(std::string("sign_watch=") + c.sign_watch + "\n"), std::string::npos) << c.minutes << file;
        EXPECT_NE(file.find(std::string("sign_watch_minutes=") + c.sign_watch_minutes + "\n"), std::string::npos)
            << c.minutes << file;
        EXPECT_EQ(sign_watch_period_minutes(p.extra), c.sign_watch[0] == '1' ? std::stoi(c.sign_watch_minutes) : 0);
    }
    EXPECT_TRUE(autostart->on);
    EXPECT_EQ(autostart->calls, 1) << "registered once, not again while it stands";
    EXPECT_FALSE(settings_written()) << "KavorCen.ini keeps its 40 lines untouched";

    // Reopened, the dialog shows what was kept; unticking removes the registration.
    run([&](WindowId w) {
        EXPECT_TRUE(host.controls().checked(w, kIdConnectAtStart));
        EXPECT_TRUE(host.controls().checked(w, kIdStartAtLogin));
        EXPECT_FALSE(host.controls().checked(w, kIdSignWatch));
        EXPECT_EQ(host.controls().text(w, kIdSignWatchMinutes), "5");
        host.set_check(w, kIdStartAtLogin, false);
        host.press(w, kIdOk);
    });
    EXPECT_FALSE(autostart->on);
}

TEST_F(UnattendedTest, a_period_that_is_not_0_to_1440_minutes_is_refused_and_nothing_is_kept) {
    for (const char* bad : {"abc", "1441", "-5", "10 min", "99999"}) {
        host.clear_messages();
        int result = run([&](WindowId w) {
            host.set_check(w, kIdConnectAtStart, true);
            host.set_check(w, kIdSignWatch, true);
            host.type(w, kIdSignWatchMinutes, bad);
            host.press(w, kIdOk);
        });
        EXPECT_EQ(result, 0) << bad;
        ASSERT_EQ(host.messages().size(), 1u) << bad;
        EXPECT_EQ(host.messages()[0].text,
                  cp("Sprawdzanie wieży: podaj liczbę minut od 1 do 1440 albo 0, aby nie sprawdzać."));
        EXPECT_FALSE(std::filesystem::exists(extra_settings_path(p))) << bad;
    }
}

TEST_F(UnattendedTest, a_registration_that_fails_is_told_with_where_and_why) {
    p.autostart = autostart;
    autostart->failure = std::make_error_code(std::errc::permission_denied);
    int result = run([&](WindowId w) {
        host.set_check(w, kIdStartAtLogin, true);
        host.press(w, kIdOk);
    });
    EXPECT_EQ(result, 1);
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.messages()[0].text,
              cp("Nie można zmienić uruchamiania przy logowaniu "
                 "(/home/op/.config/autostart/pl.kavor.kavorcen.desktop): brak uprawnień do zapisu."));
    EXPECT_FALSE(autostart->on);
}

TEST(SignWatchSetting, a_hand_edited_period_falls_back_to_ten_minutes) {
    const std::pair<const char*, int> cases[] = {{"", 10}, {"30", 30}, {"0", 0}, {"abc", 10}, {"1441", 10}, {"-1", 10}};
    for (const auto& [value, minutes] : cases) {
        ExtraSettings extra;
        extra.set(extra_key::kSignWatch, "1");
        if (*value) extra.set(extra_key::kSignWatchMinutes, value);
        EXPECT_EQ(sign_watch_period_minutes(extra), minutes) << value;
        extra.set(extra_key::kSignWatch, "0");
        EXPECT_EQ(sign_watch_period_minutes(extra), 0) << value;
    }
}

}  // namespace
}  // namespace kc
