// Tests (head office link): the parts of the bridge that need no broker — times and
// addresses head office writes, the bounded list of ids taken, the password file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "hosts/mqtt/messages.h"
#include "hosts/mqtt/seen_ids.h"
#include "hosts/mqtt/station_config.h"

namespace kc::mqtt {
namespace {

TEST(HeadOfficeMessages, times_and_broker_addresses_parse_strictly) {
    int64_t s = 0;
    ASSERT_TRUE(parse_time("2026-12-08T00:00:00Z", s));
    EXPECT_EQ(s, 1796688000);
    ASSERT_TRUE(parse_time("2026-12-08T01:30:00+01:30", s));
    EXPECT_EQ(s, 1796688000);
    ASSERT_TRUE(parse_time("2024-02-29T12:00:00-02:00", s));
    EXPECT_EQ(s, 1709215200);
    for (const char* bad : {"2026-02-29T00:00:00Z", "2026-12-08 00:00:00Z", "2026-12-08T24:00:00Z",
                            "2026-12-08T00:00:00+1:00", "2026-12-08T00:00:00Zjunk", "tomorrow", ""})
        EXPECT_FALSE(parse_time(bad, s)) << bad;
    ::setenv("TZ", "Europe/Warsaw", 1);
    ::tzset();
    ASSERT_TRUE(parse_time("2026-12-08T01:00:00", s));  // local, winter: +01:00
    EXPECT_EQ(s, 1796688000);
    EXPECT_EQ(format_time(1796688000), "2026-12-08T01:00:00+01:00");

    std::string host;
    int port = 0;
    ASSERT_TRUE(parse_broker("broker.example:1884", host, port));
    EXPECT_EQ(host, "broker.example");
    EXPECT_EQ(port, 1884);
    ASSERT_TRUE(parse_broker("10.0.0.2", host, port));
    EXPECT_EQ(port, kDefaultBrokerPort);
    ASSERT_TRUE(parse_broker("[::1]:8884", host, port));
    EXPECT_EQ(host, "::1");
    for (const char* bad : {"", ":1883", "host:", "host:0", "host:65536", "host:12a", "::1:1883", "a b:1"})
        EXPECT_FALSE(parse_broker(bad, host, port)) << bad;
}

TEST(HeadOfficeMessages, ids_taken_survive_a_restart_and_the_oldest_drop_out) {
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("kc_seen_" + std::to_string(::getpid()) + ".txt")).string();
    std::filesystem::remove(path);
    std::string previous;
    {
        SeenIds seen(path, 3);
        seen.load();
        EXPECT_TRUE(seen.first_time("a;1", previous));
        seen.set_outcome("a;1", "confirmed");
        EXPECT_TRUE(seen.first_time("b", previous));
        EXPECT_FALSE(seen.first_time("a;1", previous));
        EXPECT_EQ(previous, "confirmed");
        EXPECT_FALSE(seen.last_error());
    }
    SeenIds again(path, 3);
    again.load();
    EXPECT_FALSE(again.first_time("a;1", previous));
    EXPECT_EQ(previous, "confirmed");
    EXPECT_FALSE(again.first_time("b", previous));
    EXPECT_EQ(previous, "pending");
    EXPECT_TRUE(again.first_time("c", previous));
    EXPECT_TRUE(again.first_time("d", previous));  // "a;1" drops out
    EXPECT_EQ(again.size(), 3u);
    EXPECT_TRUE(again.first_time("a;1", previous));
    std::filesystem::remove(path);
}

TEST(HeadOfficeMessages, a_password_file_others_can_read_is_refused) {
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("kc_pw_" + std::to_string(::getpid()))).string();
    { std::ofstream(path) << "s3cret\r\n"; }
    std::string password, problem;
    ::chmod(path.c_str(), 0640);
    EXPECT_FALSE(read_password_file(path, password, problem));
    EXPECT_NE(problem.find(path), std::string::npos);
    EXPECT_TRUE(password.empty());
    ::chmod(path.c_str(), 0600);
    problem.clear();
    EXPECT_TRUE(read_password_file(path, password, problem));
    EXPECT_EQ(password, "s3cret");
    EXPECT_TRUE(problem.empty());
    std::filesystem::remove(path);
    EXPECT_FALSE(read_password_file(path, password, problem));
}

}  // namespace
}  // namespace kc::mqtt
