// Operator panel tests: when planned price changes fall due, in Warsaw local time
// across both summer-time changes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "panel/price_desk.h"

namespace kc {
namespace {

class WarsawTime : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("TZ", "Europe/Warsaw", 1);
        tzset();
    }
    void TearDown() override {
        ::unsetenv("TZ");
        tzset();
    }
    static Schedule daily_at(int hour, int minute) {
        Schedule s;
        ScheduleEntry e;
        e.daily = true;
        e.hour = hour;
        e.minute = minute;
        s.entries.push_back(e);
        return s;
    }
};

// 2026-03-29 01:00 UTC: clocks go from 02:00 CET to 03:00 CEST.
constexpr int64_t kSpringChange = 1774746000;
// 2026-10-25 01:00 UTC: clocks go from 03:00 CEST back to 02:00 CET.
constexpr int64_t kAutumnChange = 1792890000;

TEST_F(WarsawTime, missing_spring_time_falls_due_at_the_first_minute_after_the_gap) {
    EXPECT_EQ(local_instant(2026, 3, 29, 1, 59, 0), kSpringChange - 60);
    EXPECT_EQ(local_instant(2026, 3, 29, 2, 0, 0), kSpringChange);
    EXPECT_EQ(local_instant(2026, 3, 29, 2, 30, 0), kSpringChange);
    EXPECT_EQ(local_instant(2026, 3, 29, 3, 0, 0), kSpringChange);
    EXPECT_EQ(local_instant(2026, 3, 29, 3, 1, 0), kSpringChange + 60);
    // A daily 02:30 falls due once that day, at 03:00, and not again before the next.
    const Schedule s = daily_at(2, 30);
    EXPECT_EQ(next_due(s, kSpringChange - 3600), kSpringChange);
    auto due = latest_due(s, kSpringChange - 3600, kSpringChange + 20 * 3600);
    ASSERT_TRUE(due);
    EXPECT_EQ(due->instant, kSpringChange);
    EXPECT_EQ(due->overdue_skipped, 0);
}

TEST_F(WarsawTime, repeated_autumn_time_falls_due_once_at_its_first_occurrence) {
    // 02:30 happens at 00:30 UTC (summer time) and at 01:30 UTC (winter time).
    EXPECT_EQ(local_instant(2026, 10, 25, 2, 30, 0), kAutumnChange - 1800);
    EXPECT_EQ(local_instant(2026, 10, 25, 3, 30, 0), kAutumnChange + 3 * 1800);
    const Schedule s = daily_at(2, 30);
    auto due = latest_due(s, kAutumnChange - 2 * 3600, kAutumnChange + 4 * 3600);
    ASSERT_TRUE(due);
    EXPECT_EQ(due->instant, kAutumnChange - 1800);
    EXPECT_EQ(due->overdue_skipped, 0);
    // After the first firing nothing more falls due that night, the second 02:30 included.
    EXPECT_FALSE(latest_due(s, kAutumnChange - 1800, kAutumnChange + 4 * 3600));
    EXPECT_EQ(next_due(s, kAutumnChange - 1800), local_instant(2026, 10, 26, 2, 30, 0));
}

TEST_F(WarsawTime, only_the_latest_overdue_change_is_chosen) {
    Schedule s = daily_at(6, 0);
    ScheduleEntry once;
    once.year = 2026;
    once.month = 7;
    once.day = 1;
    once.hour = 12;
    s.entries.push_back(once);
    const int64_t closed = local_instant(2026, 6, 30, 20, 0, 0);
    const int64_t opened = local_instant(2026, 7, 2, 5, 0, 0);
    auto due = latest_due(s, closed, opened);
    ASSERT_TRUE(due);
    EXPECT_EQ(due->index, 1u);  // 1 July 12:00, after 1 July 06:00
    EXPECT_EQ(due->overdue_skipped, 1);
}

}  // namespace
}  // namespace kc
