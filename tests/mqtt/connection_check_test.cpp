// Tests (head office link): "Sprawdź połączenie" against a real Mosquitto with TLS and
// passwords: each fault the operator can make comes back as its own outcome, in time.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>

#include "hosts/mqtt/connection_check.h"
#include "mqtt/test_broker.h"

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

}  // namespace
}  // namespace kc::test
