// Tests (end to end): prices, read-back, a faulty line, closing and hang-up against the
// virtual sign.
#include <chrono>
#include <ctime>
#include <fstream>
#include <sstream>
#include <thread>

#include "e2e_fixture.h"
#include "preview/price_preview.h"

namespace kc::test {
namespace {

std::string bytes_of(const ReceivedFrame& f) { return std::string(f.bytes.begin(), f.bytes.end()); }

TEST_F(EndToEnd, prices_and_batch_end_arrive_byte_for_byte_in_slot_order) {
    const char* prices[5] = {"4.59", "5.19", "3.09", "6.00", "12"};
    for (int n = 0; n < 5; ++n) host.type(kPanelWindow, n == 0 ? kIdPrice1 : kIdPrice2 + n - 1, prices[n]);
    host.set_check(kPanelWindow, kIdBlink1, true);
    host.press(kPanelWindow, kIdSendPrices);

    ASSERT_TRUE(wait_idle(5000));
    ASSERT_TRUE(sign->wait_received(8, 2000));
    auto frames = sign->received();
    // The batch as it always went, then the read-back that confirms it.
    ASSERT_EQ(frames.size(), 8u);
    EXPECT_EQ(bytes_of(frames[0]), expected_frame("21M4.59"));
    EXPECT_EQ(bytes_of(frames[1]), expected_frame("22C5.19"));
    EXPECT_EQ(bytes_of(frames[2]), expected_frame("23C3.09"));
    EXPECT_EQ(bytes_of(frames[3]), expected_frame("24C6.00"));
    EXPECT_EQ(bytes_of(frames[4]), expected_frame("25C12"));
    EXPECT_EQ(bytes_of(frames[5]), expected_frame("20E"));
    EXPECT_EQ(bytes_of(frames[6]), expected_frame("20C"));
    EXPECT_EQ(bytes_of(frames[7]), expected_frame("20M"));

    EXPECT_EQ(status(), txt(Txt::StatusConnected));
    EXPECT_EQ(p.state.ilosc_transmisji, 8);
    EXPECT_EQ(p.state.blad_transmisji, 0);
    EXPECT_EQ(sign->counters().acks, 6u);
    EXPECT_EQ(sign->counters().replies, 2u);
    // The preview shows what was sent; the sign holds the same digits.
    SignState s = sign->state();
    EXPECT_TRUE(s.blink[0]);
    for (int d = 0; d < 3; ++d) EXPECT_EQ(p.state.price_segments[0][d], wire_to_place(s.segments[0][d])) << d;
}

TEST_F(EndToEnd, readback_takes_the_sign_state_and_saves_the_settings) {
    sign->modify([](SignState& s) {
        s.segments[2][1] = 0xB6;  // 5
        s.segments[4][0] = 0x61;  // 1 with its point
        s.blink[1] = s.blink[3] = true;
        s.price_low_level = 31;
        s.price_high_level = 222;
        for (int i = 0; i < 5; ++i) {
            s.price_power_low[i] = 10 + i;
            s.price_power_high[i] = 170 + i;
        }
        s.auto_backlight = true;
        s.version = "4.21";
    });
    std::filesystem::remove(file("KavorCen.ini"));
    host.menu(kCmdReadback);
    // Not "readback_active" here: unpaced, the sign may answer all 16 queries before
    // this thread looks again.
    ASSERT_TRUE(wait_idle(5000));

    EXPECT_FALSE(record().readback_active);
    EXPECT_EQ(p.state.price_segments[2][1], wire_to_place(0xB6));
    EXPECT_EQ(p.state.price_segments[4][0], wire_to_place(0x61));
    EXPECT_EQ(p.state.price_segments[0][0], 0);
    const uint8_t blink[5] = {0, 1, 0, 1, 0};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(p.state.price_blink[i], blink[i]) << i;
    EXPECT_EQ(p.state.light_settings[kPriceLowLevel], 31);
    EXPECT_EQ(p.state.light_settings[kPriceHighLevel], 222);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(p.state.light_settings[kPricePowerLow1 + i], 10 + i);
        EXPECT_EQ(p.state.light_settings[kPricePowerHigh1 + i], 170 + i);
    }
    EXPECT_TRUE(record().auto_backlight);
    EXPECT_EQ(p.state.price_controller_version.get(), "ver.4.21");
    EXPECT_EQ(sign->received_count(), 16u);
    EXPECT_EQ(p.state.blad_transmisji, 0);

    // Written at the end, so it holds every value read.
    std::ifstream in(file("KavorCen.ini"));
    ASSERT_TRUE(in.good());
    std::stringstream all;
    all << in.rdbuf();
    for (const char* v : {"\n31\n", "\n222\n", "\n174\n", "\n14\n"}) EXPECT_NE(all.str().find(v), std::string::npos) << v;
}

class FaultyLine : public EndToEnd {
protected:
    SignOptions sign_options() override {
        SignOptions o;
        o.drop = 0.05;
        o.corrupt = 0.05;
        o.noise = 0.05;
        o.seed = 7;
        return o;
    }
};

TEST_F(FaultyLine, soak_every_command_ends_answered_or_given_up) {
    // A few seconds, or two thousand commands when the machine is quick.
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(6);
    int rounds = 0;
    while (std::chrono::steady_clock::now() < end && rounds * 8 < 2000) {
        {
            LockGuard guard(p.state.slot_lock);
            char text[16];
            for (int n = 1; n <= 5; ++n) {
                std::snprintf(text, sizeof text, "2%dC%d.%02d", n, n, rounds % 100);
                fill_slot(p.state, n + 2, text);
            }
            fill_slot(p.state, 29, "20S");
            fill_slot(p.state, 45, "20Z");
            fill_slot(p.state, 46, "20E");
            p.state.slot_cursor = 2;
        }
        ++rounds;
        // Time-outs run twenty times faster than real time so that lost answers cost
        // little; an answer that comes late then meets a resend, which the line must bear too.
        ASSERT_TRUE(wait_idle(10000, 20)) << "stalled in round " << rounds;
    }
    ASSERT_TRUE(sign->wait_received(static_cast<size_t>(p.state.ilosc_transmisji), 2000));
    SignCounters c = sign->counters();
    EXPECT_GT(rounds * 8, 400) << "too few commands to soak";
    std::printf("soak: %d commands queued, %d frames, %d errors, %d bad checksums\n", rounds * 8,
                static_cast<int>(p.state.ilosc_transmisji), static_cast<int>(p.state.blad_transmisji),
                static_cast<int>(p.state.blad_crc));
    // Every frame the program counted reached the sign intact.
    EXPECT_EQ(c.frames, static_cast<size_t>(p.state.ilosc_transmisji));
    EXPECT_EQ(c.bad_checksums, 0u);
    // Bad checksums seen by the program are the sign's corrupted replies (ACKs carry none).
    EXPECT_GT(p.state.blad_crc, 0);
    EXPECT_LE(static_cast<size_t>(p.state.blad_crc), c.corrupted);
    EXPECT_GE(p.state.blad_transmisji, p.state.blad_crc);
    // At least one resend per lost answer.
    EXPECT_GT(p.state.ilosc_transmisji, rounds * 8);
    // No lock is left held; the reader may still hold link_lock a moment for a late answer.
    EXPECT_TRUE(host.pump_until(
        [&] {
            return p.state.link_lock.value() == 0 && p.state.reply_lock.value() == 0 &&
                   p.state.slot_lock.value() == 0;
        },
        5000))
        << p.state.link_lock.value() << p.state.reply_lock.value() << p.state.slot_lock.value();
}

TEST_F(EndToEnd, closing_the_link_while_the_reader_waits_returns_promptly) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    auto started = std::chrono::steady_clock::now();
    host.menu(kCmdDisconnect);
    // A liveness bound, not a speed figure: a reader that missed the cancel would hang here.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
    EXPECT_FALSE(record().connected);
    EXPECT_EQ(record().reader_thread_id, 0u);
    EXPECT_EQ(status(), txt(Txt::StatusDisconnected));
}

class HangingSign : public EndToEnd {
protected:
    SignOptions sign_options() override {
        SignOptions o;
        o.hangup_after = 3;
        return o;
    }
};

TEST_F(HangingSign, hang_up_mid_exchange_disconnects_without_spinning) {
    host.press(kPanelWindow, kIdSendPrices);
    ASSERT_TRUE(host.pump_until([&] { return status() == txt(Txt::StatusDisconnected); }, 5000));
    EXPECT_TRUE(sign->hung_up());
    EXPECT_FALSE(record().connected);
    EXPECT_EQ(record().reader_thread_id, 0u);
    host.pump();
    EXPECT_EQ(host.messages().size(), 1u);  // the loss is told once

    // Left alone, the program sleeps: a spinning thread would burn the whole interval.
    std::clock_t cpu = std::clock();
    auto wall = std::chrono::steady_clock::now();
    host.pump_until([] { return false; }, 500);
    double cpu_ms = 1000.0 * static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC;
    double wall_ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wall).count();
    EXPECT_LT(cpu_ms, wall_ms * 0.5);
}

}  // namespace
}  // namespace kc::test
