// Tests (end to end): the virtual sign's own answers, so that a fault in it is not
// mistaken for one in the program.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "e2e_fixture.h"

namespace kc::test {
namespace {

// The program's side of the line, opened directly.
class Line {
public:
    explicit Line(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios t{};
        tcgetattr(fd_, &t);
        cfmakeraw(&t);
        tcsetattr(fd_, TCSANOW, &t);
    }
    ~Line() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    void send(const std::string& bytes) { (void)!::write(fd_, bytes.data(), bytes.size()); }
    // Reads until `count` bytes came or the time is up.
    std::string take(size_t count, int timeout_ms = 1000) {
        std::string got;
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (got.size() < count && std::chrono::steady_clock::now() < end) {
            pollfd pfd{fd_, POLLIN, 0};
            if (::poll(&pfd, 1, 20) > 0 && (pfd.revents & POLLIN)) {
                char buf[256];
                ssize_t n = ::read(fd_, buf, sizeof buf);
                if (n > 0) got.append(buf, static_cast<size_t>(n));
            }
        }
        return got;
    }
    std::string ask(const std::string& payload, size_t answer_length, int timeout_ms = 1000) {
        send(expected_frame(payload));
        return take(answer_length, timeout_ms);
    }

private:
    int fd_ = -1;
};

TEST(SignSimulator, answers_commands_and_queries_from_its_state) {
    SignSimulator sign;
    ASSERT_FALSE(sign.start());
    Line line(sign.path());
    ASSERT_TRUE(line.ok());

    EXPECT_EQ(line.ask("21C4.59", 1), "\x06");
    EXPECT_EQ(line.ask("22M-1.", 1), "\x06");
    // 4 with its point (b c f g + p), 5, 9; then - and 1 with its point; the rest blank.
    EXPECT_EQ(line.ask("20C", 35), expected_frame("C67B6F6026100" + std::string(18, '0')));
    EXPECT_EQ(line.ask("20M", 10), expected_frame("M01000"));
    EXPECT_EQ(line.ask("20Z1", 1), "\x06");
    EXPECT_EQ(line.ask("20Z", 6), expected_frame("Z1"));
    EXPECT_EQ(line.ask("24O17", 1), "\x06");
    EXPECT_EQ(line.ask("24O", 7), expected_frame("O17"));
    EXPECT_EQ(line.ask("20S", 8), expected_frame("S123"));
    EXPECT_EQ(line.ask("20V", 9), expected_frame("V1.07"));
    EXPECT_EQ(line.ask("20E", 1), "\x06");
    EXPECT_EQ(line.ask("00E", 1), "\x06");
    EXPECT_EQ(line.ask("23BFF0001", 1), "\x06");
    EXPECT_EQ(sign.state().segments[2][0], 0xFF);
    EXPECT_EQ(sign.state().segments[2][2], 0x01);
    // A display text read back in the sign's codes.
    EXPECT_EQ(line.ask("101A\xB9", 1), "\x06");
    EXPECT_EQ(line.ask("102", 7), expected_frame("1A\x80"));
    // A frame with a bad checksum and a command to nobody get no answer.
    line.send("\x02" "20V00\x03");
    line.send(expected_frame("51C1"));
    EXPECT_EQ(line.take(1, 100), "");
    EXPECT_EQ(sign.counters().bad_checksums, 1u);
    auto frames = sign.received();
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames[0].payload, "21C4.59");
    EXPECT_TRUE(frames[0].checksum_ok);
}

TEST(SignSimulator, split_and_paced_answers_arrive_whole) {
    SignOptions o;
    o.split = true;
    o.baud = 19200;
    SignSimulator sign(o);
    ASSERT_FALSE(sign.start());
    Line line(sign.path());
    EXPECT_EQ(line.ask("20V", 9), expected_frame("V1.07"));
}

TEST(SignSimulator, same_seed_gives_the_same_faults) {
    auto run = [](uint32_t seed) {
        SignOptions o;
        o.drop = 0.3;
        o.corrupt = 0.3;
        o.seed = seed;
        SignSimulator sign(o);
        EXPECT_FALSE(sign.start());
        Line line(sign.path());
        std::string pattern;
        for (int i = 0; i < 20; ++i) {
            std::string got = line.ask("20S", 8, 150);
            pattern += got.empty() ? 'd' : got == expected_frame("S123") ? 'g' : 'c';
        }
        return pattern;
    };
    std::string a = run(5);
    EXPECT_EQ(a, run(5));
    EXPECT_NE(a.find('d'), std::string::npos);
    EXPECT_NE(a.find('c'), std::string::npos);
}

TEST(SignSimulator, hang_up_closes_the_line) {
    SignOptions o;
    o.hangup_after = 1;
    SignSimulator sign(o);
    ASSERT_FALSE(sign.start());
    Line line(sign.path());
    line.send(expected_frame("20V"));
    ASSERT_TRUE(sign.wait_received(1, 1000));
    for (int i = 0; i < 100 && !sign.hung_up(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(sign.hung_up());
}

// The "20C" answer for five fields given as price texts ("" is a blank field).
std::string prices_answer(const std::vector<std::string>& prices) {
    std::string hex = "C";
    for (const std::string& price : prices) {
        uint8_t places[3] = {};
        sign_apply_price(places, price);
        char b[7];
        std::snprintf(b, sizeof b, "%02X%02X%02X", places[0], places[1], places[2]);
        hex += b;
    }
    return expected_frame(hex);
}

TEST(SignSimulator, prices_change_behind_the_programs_back_on_time) {
    struct Case {
        std::vector<PriceTamper> tampers;
        std::vector<std::string> shown;  // field by field once the change came
    };
    const Case cases[] = {
        {{{150, 0, ""}}, {"", "", "", "", ""}},                   // power came back: all blank
        {{{150, 3, "1.23"}}, {"4.59", "", "1.23", "", ""}},       // one field set by hand, steady
        {{{150, 0, ""}, {300, 5, "9"}}, {"", "", "", "", "9"}},
    };
    for (const Case& c : cases) {
        SignOptions o;
        o.tampers = c.tampers;
        // Set before start, so that no command races the change.
        sign_apply_price(o.initial.segments[0], "4.59");
        sign_apply_price(o.initial.segments[2], "8.88");
        o.initial.blink[2] = true;
        SignSimulator sign(o);
        ASSERT_FALSE(sign.start());
        Line line(sign.path());
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (sign.tampers_done() < c.tampers.size() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_EQ(sign.tampers_done(), c.tampers.size());
        EXPECT_EQ(line.ask("20C", 35), prices_answer(c.shown));
        EXPECT_EQ(line.ask("20M", 10), expected_frame("M00000")) << "a changed field does not blink";
    }
    PriceTamper t;
    for (const char* bad : {"0=1", "6=1", "3", "x=4.59", "34=1"}) EXPECT_FALSE(parse_price_tamper(bad, t)) << bad;
    ASSERT_TRUE(parse_price_tamper("2=7.77", t));
    EXPECT_EQ(t.field, 2);
    EXPECT_EQ(t.price, "7.77");
}

TEST(SignSimulator, the_program_changes_prices_on_sigusr1) {
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    // Far in the future: only the signal can make the change within the test.
    const char* argv[] = {KC_SIGNSIM, "--set-after", "3600", "2=7.77", nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, KC_SIGNSIM, &actions, nullptr, const_cast<char**>(argv), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string path;
    for (char ch; ::read(out[0], &ch, 1) == 1 && ch != '\n';) path += ch;
    ::close(out[0]);
    {
        Line line(path);
        ASSERT_TRUE(line.ok()) << path;
        ASSERT_EQ(line.ask("22C1.11", 1), "\x06");
        EXPECT_EQ(line.ask("20C", 35), prices_answer({"", "1.11", "", "", ""}));
        ::kill(pid, SIGUSR1);
        std::string answer;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        do answer = line.ask("20C", 35);
        while (answer != prices_answer({"", "7.77", "", "", ""}) && std::chrono::steady_clock::now() < deadline);
        EXPECT_EQ(answer, prices_answer({"", "7.77", "", "", ""}));
    }
    ::kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
}  // namespace kc::test
