// Tests (Win32, under Wine): the head-office password under the user's data protection,
// the station settings that read it, a refused broker told at once, and the times the
// station writes.
#include <gtest/gtest.h>
#include <winsock2.h>
#include <windows.h>

#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>

#include "hosts/mqtt/messages.h"
#include "hosts/mqtt/mqtt_station.h"
#include "hosts/mqtt/station_config.h"
#include "hosts/win32/dpapi_password_store.h"
#include "resources/texts.h"

namespace kc {
namespace {

class HeadOfficeWindows : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() / ("kc_dpapi_" + std::to_string(GetCurrentProcessId()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    static std::string bytes_of(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void write(const std::string& p, const std::string& bytes) {
        std::ofstream(p, std::ios::binary) << bytes;
    }

    DpapiPasswordStore store;
    std::filesystem::path dir_;
};

TEST_F(HeadOfficeWindows, a_saved_password_reads_back_and_is_not_on_the_disk_in_clear) {
    const std::string file = path("centrala.pw");
    // Windows-1250 letters, and a second save that must replace the first.
    for (const std::string& password : {std::string("st1-pw"), std::string("Zaż\xF3\xB3\xE6 g\xEA\x9Cl\xB9 ja\x9F\xF1"),
                                       std::string(300, 'x')}) {
        std::string why;
        ASSERT_TRUE(store.save(file, password, why)) << why;
        EXPECT_EQ(bytes_of(file).find(password), std::string::npos);
        std::string back;
        ASSERT_TRUE(store.load(file, back, why)) << why;
        EXPECT_EQ(back, password);
    }
}

TEST_F(HeadOfficeWindows, a_file_that_cannot_be_opened_is_refused_with_its_reason) {
    write(path("plain.pw"), "st1-pw\r\n");
    write(path("empty.pw"), "");
    const struct {
        const char* name;
        Txt reason;
    } cases[] = {
        {"missing.pw", Txt::HoPasswordFileUnreadable},
        {"plain.pw", Txt::HoPasswordOtherUser},  // never sealed: not taken as the password
        {"empty.pw", Txt::HoPasswordFileEmpty},
    };
    for (const auto& c : cases) {
        std::string password = "before", why;
        EXPECT_FALSE(store.load(path(c.name), password, why)) << c.name;
        EXPECT_EQ(password, "before") << c.name;
        EXPECT_EQ(why, fill(c.reason, path(c.name))) << c.name;
    }
    // A save that cannot write keeps nothing and says so.
    std::string why;
    EXPECT_FALSE(store.save(path("no-such-folder\\x.pw"), "pw", why));
    const std::string told = fill(Txt::HoPasswordNotSaved, path("no-such-folder\\x.pw"), "");
    EXPECT_EQ(why.substr(0, told.size()), told);
    EXPECT_GT(why.size(), told.size());  // and why
}

TEST_F(HeadOfficeWindows, the_station_settings_read_the_password_through_the_store) {
    std::string why;
    ASSERT_TRUE(store.save(path("st1.pw"), "st1-pw", why)) << why;
    ASSERT_TRUE(store.save(path("blank.pw"), "", why)) << why;
    ExtraSettings extra;
    extra.set(extra_key::kHeadOfficeBroker, "127.0.0.1:8883");
    extra.set(extra_key::kHeadOfficeStation, "st1");
    extra.set(extra_key::kHeadOfficeCaFile, "ca.crt");
    extra.set(extra_key::kHeadOfficePassword, "in-clear");  // the file wins
    const struct {
        const char* file;
        PasswordStore* passwords;
        std::string password, problem;
    } cases[] = {
        {"st1.pw", &store, "st1-pw", ""},
        {"st1.pw", nullptr, "", txt(Txt::HoPasswordNoStore)},
        {"blank.pw", &store, "", fill(Txt::HoPasswordFileEmpty, path("blank.pw"))},
    };
    for (const auto& c : cases) {
        extra.set(extra_key::kHeadOfficePasswordFile, path(c.file));
        mqtt::StationConfig config = mqtt::read_station_config(extra, c.passwords);
        EXPECT_EQ(config.problem, c.problem) << c.file;
        if (c.problem.empty()) {
            EXPECT_EQ(config.password, c.password) << c.file;
        }
    }
}

// Windows reports a refused connect in progress only as an exception on the socket.
TEST_F(HeadOfficeWindows, a_broker_that_refuses_the_connection_is_told_at_once_not_after_the_keep_alive) {
    WSADATA wsa;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &wsa), 0);
    // A port on 127.0.0.1 that nothing listens on: the system's pick, closed again.
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof a;
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(getsockname(s, reinterpret_cast<sockaddr*>(&a), &size), 0);
    closesocket(s);
    const int port = ntohs(a.sin_port);

    // A CA of its own (made for this test; its key is gone): the connection never gets
    // as far as the certificate.
    write(path("ca.crt"),
        "-----BEGIN CERTIFICATE-----\n"
        "MIIBhjCCAS2gAwIBAgIUd/2FiHvZW2JZ8mRI2jGMeTKo1t0wCgYIKoZIzj0EAwIw\n"
        "GDEWMBQGA1UEAwwNa2F2b3ItdGVzdC1jYTAgFw0yNjEyMDgxODE5MzVaGA8yMTI2\n"
        "MTExNDE4MTkzNVowGDEWMBQGA1UEAwwNa2F2b3ItdGVzdC1jYTBZMBMGByqGSM49\n"
        "AgEGCCqGSM49AwEHA0IABBt1QfPLkcbL8SrPvj5VG/5UqTxgnjoXA5TpkBN8/vjq\n"
        "arlfzCmRWyRqZ88XPH8kYOW7MQdMSCD4D2CBP6Q7WzCjUzBRMB0GA1UdDgQWBBQF\n"
        "3Rff0d7iqqyefCCMZyp1s+NDnTAfBgNVHSMEGDAWgBQF3Rff0d7iqqyefCCMZyp1\n"
        "s+NDnTAPBgNVHRMBAf8EBTADAQH/MAoGCCqGSM49BAMCA0cAMEQCIEYGvirRb43Z\n"
        "QZl2hxv6Td9fNyPru0AHyUqveQ0+3EzhAiB3BEZB4sqD9xSa5XG71M2yIoa0mdSC\n"
        "tMpIhkIjFbOJtg==\n"
        "-----END CERTIFICATE-----\n");
    mqtt::StationConfig config;
    config.configured = config.enabled = true;
    config.broker = "127.0.0.1:" + std::to_string(port);
    config.host = "127.0.0.1";
    config.port = port;
    config.station = config.user = "st1";
    config.password = "st1-pw";
    config.ca_file = path("ca.crt");
    std::mutex m;
    std::condition_variable told;
    std::string why;
    {
        mqtt::MqttStation station(config, path("seen"), mqtt::Backoff{200, 400});
        HeadOfficeLink::Events events;
        events.on_status = [&](const LinkStatus& status) {
            std::lock_guard lock(m);
            if (status.state == LinkState::Unreachable && why.empty()) why = status.why;
            told.notify_all();
        };
        station.start(events);
        std::unique_lock lock(m);
        // Well inside the 30 s keep-alive, which is what a missed refusal waits for.
        EXPECT_TRUE(told.wait_for(lock, std::chrono::seconds(15), [&] { return !why.empty(); }));
        lock.unlock();
        station.stop();
    }
    EXPECT_NE(why.find(txt(Txt::HoErrRefused)), std::string::npos) << why;
    WSACleanup();
}

// Windows' own "%z" names the zone instead of giving its offset.
TEST(HeadOfficeTimes, local_times_carry_the_zone_offset_in_digits) {
    const struct {
        const char* tz;
        const char* text;
    } cases[] = {
        {"TZ=UTC0", "2026-12-08T00:00:00+00:00"},
        {"TZ=XYZ-1", "2026-12-08T01:00:00+01:00"},
        {"TZ=XYZ-5:30", "2026-12-08T05:30:00+05:30"},
        {"TZ=XYZ3", "2026-12-07T21:00:00-03:00"},
    };
    for (const auto& c : cases) {
        _putenv(c.tz);
        _tzset();
        EXPECT_EQ(mqtt::format_time(1796688000), c.text) << c.tz;
        int64_t back = 0;
        EXPECT_TRUE(mqtt::parse_time(c.text, back));
        EXPECT_EQ(back, 1796688000) << c.tz;
    }
}

}  // namespace
}  // namespace kc
