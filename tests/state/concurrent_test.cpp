// Application core tests: threads filling slots and appending to the traffic log at once.
#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <map>
#include <thread>
#include <vector>

#include "state/state.h"
#include "storage/logs.h"
#include "storage/test_program.h"

namespace kc {
namespace {

constexpr int kThreads = 4;
constexpr int kRecords = 150;

// "[t<thread>:<sequence>:" then 40 filler bytes (a zero byte and CR among them) and "]".
std::string payload(int thread, int sequence) {
    char head[32];
    std::snprintf(head, sizeof head, "[t%d:%04d:", thread, sequence);
    std::string filler(40, static_cast<char>('a' + thread));
    filler[5] = '\0';
    filler[6] = '\r';
    return head + filler + "]";
}

TEST(Concurrency, slot_fills_and_traffic_records_never_interleave) {
    test::TempDir dir;
    ManualClock clock;
    auto p = test::make_program(dir.path(), &clock);
    ProgramState& s = p->state;
    std::atomic<int> torn_groups{0};
    std::atomic<bool> stop_clock{false};

    // Moves the clock on so that headers land between records now and then.
    std::thread ticker([&] {
        while (!stop_clock) {
            clock.advance_seconds(7);
            std::this_thread::yield();
        }
    });
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([&, t] {
            for (int i = 0; i < kRecords; ++i) {
                log_traffic_text(*p, payload(t, i));
                // Five price slots as one group, as the panel's "Wyślij" fills them.
                LockGuard guard(s.slot_lock);
                std::string text = "2" + std::to_string(t) + "M" + std::to_string(i);
                for (int n = 3; n <= 7; ++n) fill_slot(s, n, text.c_str());
                for (int n = 3; n <= 7; ++n)
                    if (slot_text(s, n) != text) ++torn_groups;
            }
        });
    }
    for (auto& w : writers) w.join();
    stop_clock = true;
    ticker.join();
    EXPECT_EQ(torn_groups.load(), 0);
    EXPECT_EQ(s.slot_lock.value(), 0);

    // The log must read back as whole records: [header] "<delta>" payload, in order.
    const std::string log = test::read_file(dir / "KavorCb.pod");
    std::map<int, int> next_sequence;
    size_t pos = 0, records = 0, headers = 0;
    while (pos < log.size()) {
        if (log[pos] == '\n') {
            ASSERT_LE(pos + 20, log.size());
            ASSERT_EQ(log[pos + 1], ' ') << "at " << pos;
            ASSERT_EQ(log[pos + 19], '\n') << "at " << pos;
            pos += 20;
            ++headers;
            continue;
        }
        ASSERT_EQ(log[pos], '<') << "at " << pos;
        size_t close = log.find('>', pos);
        ASSERT_NE(close, std::string::npos);
        for (size_t k = pos + 1; k < close; ++k) ASSERT_TRUE(std::isdigit(static_cast<unsigned char>(log[k])) || log[k] == '-');
        pos = close + 1;
        int thread = -1, sequence = -1;
        ASSERT_EQ(std::sscanf(log.c_str() + pos, "[t%d:%d:", &thread, &sequence), 2) << "at " << pos;
        ASSERT_GE(thread, 0);
        ASSERT_LT(thread, kThreads);
        const std::string expected = payload(thread, sequence);
        ASSERT_EQ(log.compare(pos, expected.size(), expected), 0) << "record torn at " << pos;
        EXPECT_EQ(sequence, next_sequence[thread]++);
        pos += expected.size();
        ++records;
    }
    EXPECT_EQ(records, static_cast<size_t>(kThreads * kRecords));
    EXPECT_GE(headers, 1u);
}

}  // namespace
}  // namespace kc
