// Tests (controller exchange): the port reader thread on a fake device, with the
// polling thread running beside it.
#include <chrono>
#include <thread>

#include "link_fixture.h"

namespace kc::test {
namespace {

// The main window as far as the reader needs it: "Rozłącz" ends the link.
class DisconnectingMain : public WindowProcedure {
public:
    explicit DisconnectingMain(Program& p) : p_(p) {}
    void on_command(int id) override {
        if (id != kCmdDisconnect) return;
        ++disconnects;
        MainRecord& r = *p_.record;
        r.connected = false;
        if (r.port_handle) r.port_handle->cancel_wait();
        if (r.reader_thread.joinable()) r.reader_thread.join();
    }
    int disconnects = 0;

private:
    Program& p_;
};

class ReaderTest : public LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        host.create_main_window(main);
    }
    void TearDown() override {
        close_link();
        LinkTest::TearDown();
    }
    void open_link() {
        connect();
        ASSERT_TRUE(p.start_reader(p));
    }
    void close_link() {
        rec().connected = false;
        if (rec().port_handle) rec().port_handle->cancel_wait();
        if (rec().reader_thread.joinable()) rec().reader_thread.join();
    }

    DisconnectingMain main{p};
};

TEST_F(ReaderTest, reader_completes_the_command_in_flight_from_the_device) {
    open_link();
    EXPECT_NE(rec().reader_thread_id, 0u);
    queue(3, "21C4.59");
    pass();
    line->receive("\x06");
    ASSERT_TRUE(host.pump_until([&] { return rec().current_slot == 0; }, 3000));
    EXPECT_FALSE(slot_pending(p.state, 3));
    // The reader writes the status just after it frees the slot.
    EXPECT_TRUE(host.pump_until([&] { return status() == txt(Txt::StatusConnected); }, 3000)) << status();
}

TEST_F(ReaderTest, bytes_with_nothing_in_flight_are_read_and_dropped) {
    open_link();
    line->receive(frame("S123"));
    ASSERT_TRUE(host.pump_until(
        [&] {
            std::lock_guard<std::mutex> lock(line->mutex);
            return line->incoming.empty();
        },
        3000));
    EXPECT_EQ(p.state.light_level, -1);
}

TEST_F(ReaderTest, closing_the_link_while_the_reader_waits_ends_it_promptly) {
    open_link();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    auto started = std::chrono::steady_clock::now();
    close_link();
    // Bounded only to tell a hang from an end; the fake's own wait gives up after 10 s.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_EQ(rec().reader_thread_id, 0u);
    EXPECT_EQ(main.disconnects, 0);
}

TEST_F(ReaderTest, hang_up_posts_disconnect_and_ends_the_reader) {
    open_link();
    line->hang_up();
    ASSERT_TRUE(host.pump_until([&] { return main.disconnects == 1; }, 3000));
    EXPECT_EQ(rec().reader_thread_id, 0u);
    EXPECT_FALSE(rec().connected);
    host.pump();
    EXPECT_EQ(main.disconnects, 1);  // posted once, no spinning
}

TEST_F(ReaderTest, link_reopens_after_a_hang_up) {
    open_link();
    line->hang_up();
    ASSERT_TRUE(host.pump_until([&] { return main.disconnects == 1; }, 3000));
    {
        std::lock_guard<std::mutex> lock(line->mutex);
        line->hung_up = false;
    }
    open_link();
    queue(46, "20E");
    pass();
    line->receive("\x06");
    EXPECT_TRUE(host.pump_until([&] { return rec().current_slot == 0; }, 3000));
}

// The polling thread, the reader and the UI thread's time-outs together, against a
// device that answers every other frame: every command ends answered or given up.
TEST_F(ReaderTest, polling_reader_and_timeouts_together_finish_every_command) {
    open_link();
    ASSERT_EQ(start_polling(p), 1);
    std::atomic<bool> stop{false};
    std::thread sign([&] {
        size_t seen = 0;
        while (!stop) {
            std::unique_lock<std::mutex> lock(line->mutex);
            line->wake.wait_for(lock, std::chrono::milliseconds(2));
            while (seen < line->writes.size()) {
                if (seen % 2 == 0) {
                    line->incoming.push_back(0x06);
                    line->wake.notify_all();
                }
                ++seen;
            }
        }
    });
    const int rounds = 20;
    int queued = 0;
    for (int i = 0; i < rounds; ++i) {
        int price = 3 + i % 5;
        queue(price, "21C1.23");
        queue(46, "20E");
        queued += 2;
        // The reply timer runs on virtual time, ten times faster than the real one.
        ASSERT_TRUE(host.pump_until(
            [&] {
                host.advance(10);
                return !slot_pending(p.state, price) && !slot_pending(p.state, 46) && rec().current_slot == 0;
            },
            5000));
    }
    stop = true;
    {
        std::lock_guard<std::mutex> lock(line->mutex);
        line->wake.notify_all();
    }
    sign.join();
    stop_polling(p);
    for (int n = 1; n <= 47; ++n) EXPECT_FALSE(slot_pending(p.state, n)) << n;
    // Each time-out is one error and, short of a give-up, one resend.
    EXPECT_GE(p.state.ilosc_transmisji, queued);
    EXPECT_EQ(p.state.blad_crc, 0);
    EXPECT_EQ(p.state.link_lock.value(), 0);
    EXPECT_EQ(p.state.reply_lock.value(), 0);
    EXPECT_EQ(p.state.slot_lock.value(), 0);
}

}  // namespace
}  // namespace kc::test
