// Script runner tests: scripts played through the real polling thread in test mode.
#include <gtest/gtest.h>

#include <random>

#include "link/polling.h"
#include "preview/price_preview.h"
#include "script_fixture.h"

namespace kc::test {
namespace {

class ScriptPolling : public ScriptTest {
protected:
    void SetUp() override {
        ScriptTest::SetUp();
        record().test_mode = true;
        ASSERT_EQ(start_polling(*p), 1);
    }
    void TearDown() override {
        ScriptTest::TearDown();
        stop_polling(*p);
    }

    // The preview bytes of price field n as the given command text would set them.
    std::array<uint8_t, 3> expected(const char* command) {
        auto s = std::make_unique<ProgramState>();
        EXPECT_EQ(parse_price_command(*s, command), 0) << command;
        return {s->price_segments[command[1] - '1'][0], s->price_segments[command[1] - '1'][1],
                s->price_segments[command[1] - '1'][2]};
    }
    std::array<uint8_t, 3> shown(int field) {
        return {p->state.price_segments[field - 1][0], p->state.price_segments[field - 1][1],
                p->state.price_segments[field - 1][2]};
    }
};

TEST_F(ScriptPolling, script_commands_reach_the_preview) {
    host.type(kPanelWindow, kIdPrice2, "3.45");
    run_to_end("21C1.00\r\n# note\r\n22M{P}\r\n23B" + std::string(24, '1') + "\r\n");
    ASSERT_TRUE(wait_until([&] {
        return !slot_pending(p->state, 3) && !slot_pending(p->state, 4) && !slot_pending(p->state, 5);
    }));
    EXPECT_EQ(shown(1), expected("21C1.00"));
    EXPECT_EQ(shown(2), expected("22M3.45"));
    EXPECT_EQ(p->state.price_blink[1], 1);
    EXPECT_EQ(shown(3), (std::array<uint8_t, 3>{0xFF, 0xFF, 0xFF}));
}

TEST_F(ScriptPolling, start_and_stop_race_with_the_polling_thread) {
    clock.set_local_time(LocalTime{2026, 3, 7, 1, 2, 3});
    write_script("21C1.00\r\n22M2.00\r\n# pause\r\n23C{P}\r\n{S1}{G}");
    host.type(kPanelWindow, kIdPrice3, "7.77");
    std::mt19937 rng(7);
    for (int i = 0; i < 40; ++i) {
        ASSERT_TRUE(start_script(*p));
        std::this_thread::sleep_for(std::chrono::microseconds(rng() % 4000));
        within(2000, "stop_script", [&] { stop_script(*p); });
        EXPECT_FALSE(record().script_running);
        EXPECT_EQ(record().script_thread_id, 0u);
    }
    ASSERT_TRUE(wait_until([&] { return !slot_pending(p->state, 3) && !slot_pending(p->state, 5); }));
    EXPECT_EQ(shown(1), expected("21C1.00"));
    EXPECT_EQ(p->state.slot_lock.value(), 0);
}

}  // namespace
}  // namespace kc::test
