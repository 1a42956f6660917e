// Tests (head office link): "Sprawdź połączenie" against a real Mosquitto with TLS and
// passwords: each fault the operator can make comes back as its own outcome, in time.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>

#include "app/main_window.h"
#include "hosts/headless/headless_host.h"
#include "hosts/mqtt/connection_check.h"
#include "hosts/mqtt/mqtt_station.h"
#include "hosts/posix/posix_files.h"
#include "hosts/posix/posix_password_store.h"
#include "hosts/posix/system_clock.h"
#include "mqtt/test_broker.h"
#include "panel/control_panel.h"
#include "resources/command_ids.h"
#include "resources/dialog_ids.h"
#include "resources/head_office_ids.h"
#include "text/cp1250.h"

namespace kc::test {
namespace {

using O = HeadOfficeCheckOutcome;

class ConnectionCheck : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = std::filesystem::temp_directory_path() / ("kc_check_" + std::to_string(::getpid()));
        broker_ = new TestBroker(dir_, {"st1", "st2"});
        started_ = broker_->start();
    }
    static void TearDownTestSuite() {
        delete broker_;
        broker_ = nullptr;
        std::filesystem::remove_all(dir_);
    }
    void SetUp() override { ASSERT_EQ(started_, ""); }

    static HeadOfficeCheckRequest request(const std::string& user, const std::string& password,
                                          const std::string& station) {
        HeadOfficeCheckRequest r;
        r.broker = broker_->address();
        r.host = "127.0.0.1";
        r.port = broker_->port();
        r.station = station;
        r.user = user;
        r.password = password;
        r.ca_file = broker_->ca();
        return r;
    }

    static inline std::filesystem::path dir_;
    static inline TestBroker* broker_ = nullptr;
    static inline std::string started_;
};

TEST_F(ConnectionCheck, each_fault_comes_back_as_its_own_outcome) {
    struct Case {
        const char* what;
        HeadOfficeCheckRequest r;
        O expected;
    };
    HeadOfficeCheckRequest other_ca = request("st1", "st1-pw", "st1");
    other_ca.ca_file = broker_->file("other-ca.crt");
    HeadOfficeCheckRequest no_ca = request("st1", "st1-pw", "st1");
    no_ca.ca_file = broker_->file("nie-ma.crt");
    HeadOfficeCheckRequest no_broker = request("st1", "st1-pw", "st1");
    no_broker.port = free_loopback_port();
    const Case cases[] = {
        {"good login", request("st1", "st1-pw", "st1"), O::Subscribed},
        {"bad password", request("st1", "zle-haslo", "st1"), O::LoginRefused},
        {"unknown user", request("nikt", "st1-pw", "st1"), O::LoginRefused},
        {"untrusted CA", other_ca, O::TlsUntrusted},
        {"CA file missing", no_ca, O::CaUnreadable},
        {"nothing listens", no_broker, O::Unreachable},
    };
    for (const Case& c : cases) {
        std::atomic<bool> cancel{false};
        const HeadOfficeCheckResult r = mqtt::check_connection(c.r, cancel);
        EXPECT_EQ(static_cast<int>(r.outcome), static_cast<int>(c.expected)) << c.what << ": " << r.detail;
    }
}

TEST_F(ConnectionCheck, a_server_that_never_answers_is_given_up_in_time_and_a_cancel_ends_it_at_once) {
    // Accepts the connection (the kernel's backlog) and says nothing.
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(fd, 4), 0);
    ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len), 0);
    HeadOfficeCheckRequest r = request("st1", "st1-pw", "st1");
    r.port = ntohs(a.sin_port);

    std::atomic<bool> cancel{false};
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(static_cast<int>(mqtt::check_connection(r, cancel, 300).outcome), static_cast<int>(O::TimedOut));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

    cancel = true;
    start = std::chrono::steady_clock::now();
    mqtt::check_connection(r, cancel);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << "not the whole time-out";
    ::close(fd);
}

// The whole way from the dialog to the broker: a station whose password is wrong is
// mended in "Centrala"; the password lands in the private file, the link is made again
// from it and logs in, without a restart.
TEST_F(ConnectionCheck, a_password_mended_in_the_dialog_reaches_the_broker_at_ok) {
    const std::filesystem::path work = dir_ / "station";
    std::filesystem::create_directories(work);
    install_file_system(&posix::posix_file_system());
    HeadlessHost host;
    SystemClock clock;
    Program p;
    p.ui = &host;
    p.clock = &clock;
    p.passwords = make_posix_password_store();
    MainWindow main_window(p);
    ControlPanel panel(p);
    const auto old = std::filesystem::current_path();
    std::filesystem::current_path(work);
    const bool created = host.create_main_window(main_window) && host.create_panel(panel);
    std::filesystem::current_path(old);
    ASSERT_TRUE(created);
    p.extra.set(extra_key::kHeadOfficeBroker, broker_->address());
    p.extra.set(extra_key::kHeadOfficeStation, "st2");
    p.extra.set(extra_key::kHeadOfficePassword, "zle-haslo");
    p.extra.set(extra_key::kHeadOfficeCaFile, broker_->ca());
    main_window.set_head_office([](Program& program) {
        return mqtt::make_station_link(program.extra, program.state.work_directory, program.passwords.get());
    });
    main_window.start_head_office();
    auto link_says = [&](const char* utf8) {
        return host.pump_until(
            [&] { return panel_text(p, kIdHeadOfficeLink).find(utf8_to_cp1250(utf8)) != std::string::npos; }, 20000);
    };
    ASSERT_TRUE(link_says("złe hasło lub użytkownik")) << cp1250_to_utf8(panel_text(p, kIdHeadOfficeLink));

    host.on_dialog(kDialogCentrala, [&](WindowId w) {
        host.type(w, kIdHoPassword, "st2-pw");
        host.press(w, kIdOk);
    });
    host.menu(kCmdCentrala);
    EXPECT_TRUE(link_says("połączono z")) << cp1250_to_utf8(panel_text(p, kIdHeadOfficeLink));
    const std::string kept = (work / "KavorCen-centrala-haslo").string();
    EXPECT_EQ(p.extra.get(extra_key::kHeadOfficePasswordFile), kept);
    EXPECT_EQ(p.extra.get(extra_key::kHeadOfficePassword), "");
    struct stat st = {};
    ASSERT_EQ(::stat(kept.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);

    main_window.stop_head_office();
    host.destroy_main_window();
    install_file_system(nullptr);
}

}  // namespace
}  // namespace kc::test
