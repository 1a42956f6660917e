// Tests (head office link): the parts of the bridge that need no broker — times and
// addresses head office writes, the bounded list of ids taken, the password file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

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
    for (const char* bad : {"", ":1883", "host:", "host:0", "host:65536", "host:12a", "::1:1883", "a b:1", "[[]",
                            "[]:1", "[ho:st]", "[10.0.0.2]", "ho$t:1", "[::1"})
        EXPECT_FALSE(parse_broker(bad, host, port)) << bad;

    // Left empty, the user counts as left out: the station id logs in.
    ExtraSettings extra;
    extra.set(extra_key::kHeadOfficeBroker, "10.0.0.2");
    extra.set(extra_key::kHeadOfficeStation, "st1");
    extra.set(extra_key::kHeadOfficeUser, "");
    extra.set(extra_key::kHeadOfficeCaFile, "/ca.crt");
    EXPECT_EQ(read_station_config(extra).user, "st1");
    extra.set(extra_key::kHeadOfficeBroker, "[[]");
    EXPECT_FALSE(read_station_config(extra).problem.empty());
}

// The station's state as head office reads it: a watch not made yet is null, not 1970.
TEST(HeadOfficeMessages, status_tells_test_mode_since_and_the_last_watch) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    using nlohmann::json;
    const json before = json::parse(status_json("st1", true, StationStatus{SignAnswers::TestMode, true, 0}, 100, 200));
    EXPECT_EQ(before["test_mode"], true);
    EXPECT_EQ(before["since"], "1970-01-01T00:01:40+00:00");
    EXPECT_TRUE(before.contains("last_watch") && before["last_watch"].is_null());
    const json after = json::parse(status_json("st1", true, StationStatus{SignAnswers::Answers, false, 150}, 100, 200));
    EXPECT_EQ(after["test_mode"], false);
    EXPECT_EQ(after["last_watch"], "1970-01-01T00:02:30+00:00");
    // The state's source is the journal's word, Windows-1250 in the program.
    StationState restored;
    restored.source = "przywr\xF3" "cenie";
    EXPECT_EQ(json::parse(state_json("st1", restored))["source"], "przywr\u00f3cenie");
}

TEST(HeadOfficeMessages, ids_taken_survive_a_restart_and_the_oldest_drop_out) {
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("kc_seen_" + std::to_string(::getpid()) + ".txt")).string();
    std::filesystem::remove(path);
    std::string previous;
    std::error_code error;
    {
        SeenIds seen(path, 3);
        seen.load();
        EXPECT_TRUE(seen.first_time("a;1", previous, error));
        seen.set_outcome("a;1", "confirmed");
        EXPECT_TRUE(seen.first_time("b", previous, error));
        EXPECT_FALSE(seen.first_time("a;1", previous, error));
        EXPECT_EQ(previous, "confirmed");
        EXPECT_TRUE(seen.first_time("x", previous, error));
        EXPECT_FALSE(seen.forget("x"));  // refused after all: free again
        EXPECT_FALSE(seen.last_error());
    }
    SeenIds again(path, 3);
    again.load();
    EXPECT_FALSE(again.first_time("a;1", previous, error));
    EXPECT_EQ(previous, "confirmed");
    EXPECT_FALSE(again.first_time("b", previous, error));
    EXPECT_EQ(previous, "pending");
    EXPECT_TRUE(again.first_time("c", previous, error));
    EXPECT_TRUE(again.first_time("d", previous, error));  // "a;1" drops out
    EXPECT_EQ(again.size(), 3u);
    EXPECT_TRUE(again.first_time("a;1", previous, error));
    std::filesystem::remove(path);

    // A write that fails says so; the list in memory still holds the id.
    SeenIds nowhere("/nonexistent-folder/ids.txt");
    EXPECT_TRUE(nowhere.first_time("z", previous, error));
    EXPECT_TRUE(error);
    EXPECT_FALSE(nowhere.first_time("z", previous, error));
}

TEST(HeadOfficeMessages, broken_lines_of_the_ids_file_are_skipped_and_named) {
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("kc_seen_bad_" + std::to_string(::getpid()) + ".txt")).string();
    // Line by line: whether it is taken back.
    const std::vector<std::pair<std::string, bool>> lines = {
        {"ok-1;confirmed", true},
        {"no-outcome", false},
        {"bad-utf8;\xff\xfe", false},
        {"unknown;applied", false},
        {"empty-outcome;", false},
        {"bad id;confirmed", false},
        {";pending", false},
        {std::string(65, 'x') + ";pending", false},
        {"ok-2;pending\r", true},
    };
    {
        std::ofstream out(path, std::ios::binary);
        for (const auto& [line, ok] : lines) out << line << "\n";
    }
    SeenIds seen(path);
    std::vector<size_t> expected;
    for (size_t i = 0; i < lines.size(); ++i)
        if (!lines[i].second) expected.push_back(i + 1);
    EXPECT_EQ(seen.load(), expected);
    EXPECT_EQ(seen.size(), 2u);
    std::string previous;
    std::error_code error;
    EXPECT_TRUE(seen.first_time("bad-utf8", previous, error));
    std::filesystem::remove(path);

    // Whatever text comes in, an answer is made, never an exception.
    CentralResult r;
    r.id = "d-1";
    r.outcome = CentralOutcome::Duplicate;
    r.previous = "\xff\xfe";
    r.detail = "\x81";  // no character in Windows-1250
    EXPECT_NO_THROW(EXPECT_NE(result_json("st1", r).find("\"previous\""), std::string::npos));
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
    // An empty file is no password at all, not an empty one.
    for (const char* empty : {"", "\n", "\r\n"}) {
        { std::ofstream(path, std::ios::binary) << empty; }
        password.clear();
        EXPECT_FALSE(read_password_file(path, password, problem)) << empty;
        EXPECT_NE(problem.find("pusty"), std::string::npos) << problem;
    }
    std::filesystem::remove(path);
    EXPECT_FALSE(read_password_file(path, password, problem));
}

}  // namespace
}  // namespace kc::mqtt
