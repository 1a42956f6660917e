// Virtual sign: plays the price controller (address 2) and the two display
// controllers (0, 1) on a pseudo-terminal or a serial device, with line-speed pacing
// and injected faults. Used by kavor-signsim, the end-to-end tests and the benchmarks.
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace kc {

// What the sign holds. Segment bytes are in wire order: bit 7 a, 6 b, 5 c, 4 d, 3 e,
// 2 f, 1 g, 0 point. Texts are bytes as they travel on the line.
struct SignState {
    uint8_t segments[5][3] = {};
    bool blink[5] = {};
    int price_low_level = 40;
    int price_high_level = 200;
    int price_power_low[5] = {100, 100, 100, 100, 100};
    int price_power_high[5] = {255, 255, 255, 255, 255};
    bool auto_backlight = false;
    bool backlight = false;
    int light_level = 123;
    std::string temperature = "21.5";
    std::string version = "1.07";

    // Display controllers 0 and 1.
    std::string display_text[2];  // Windows-1250, as sent
    bool display_negative[2] = {};
    int scroll_speed[2] = {20, 20};
    int display_high_level[2] = {200, 200};
    int display_high_power[2] = {255, 255};
    int display_low_level[2] = {40, 40};
    int display_low_power[2] = {100, 100};
    int display_light_level[2] = {77, 77};
    std::string display_version = "2.03";
};

// Prices changed behind the program's back: a sign that lost power comes back blank,
// or someone set a field by hand.
struct PriceTamper {
    int after_ms = -1;  // from start(); -1: only when tamper_now() is called
    int field = 0;      // 0 blanks all five fields; 1..5 shows `price` there, steady
    std::string price;  // as a price command carries it: "4.59"
};
// "FIELD=TEXT" (FIELD 1..5) as --set-after takes it; false for anything else.
bool parse_price_tamper(const std::string& text, PriceTamper& out);

struct SignOptions {
    std::string device;     // empty: a new pseudo-terminal
    uint32_t baud = 0;      // line speed at 10 bits a byte: answers are written at that pace and
                            // a frame counts as received only when the line could have carried it;
                            // 0 goes as fast as the pty takes
    int delay_ms = 0;       // before each answer
    double drop = 0;        // share of answers not sent
    double corrupt = 0;     // share of answers with a bad checksum (an ACK becomes 0x15)
    double noise = 0;       // share of answers preceded by noise bytes
    bool split = false;     // answers written in two parts with a short pause
    uint32_t seed = 1;      // the faults repeat for the same seed
    int hangup_after = 0;   // closes the line when this many frames arrived; 0 never
    std::string log_path;   // a line per received frame
    int stuck_field = 0;    // 1..5: this price field acknowledges price commands but keeps its digits
    std::string mute_payload;  // frames with exactly this payload (e.g. "20C") get no answer
    std::vector<PriceTamper> tampers;  // each timed one happens once
    SignState initial;
};

struct ReceivedFrame {
    std::vector<uint8_t> bytes;  // STX .. ETX as received
    std::string payload;         // between STX and the checksum
    bool checksum_ok = false;
};

struct SignCounters {
    size_t frames = 0;        // frames received, good or bad
    size_t bad_checksums = 0;
    size_t acks = 0;          // acknowledges sent
    size_t replies = 0;       // data replies sent
    size_t dropped = 0;
    size_t corrupted = 0;
    size_t noise_bytes = 0;
    size_t unanswered = 0;    // well-formed frames the sign has no answer for
};

// Wire-order image of a price character ('0'..'9', '-', ' '); 0 for others.
uint8_t sign_digit_image(char c);
// Applies the price text of a "2nC"/"2nM" command to three wire-order places.
void sign_apply_price(uint8_t places[3], const std::string& price);
// XOR checksum started at 0x72.
uint8_t sign_checksum(const std::string& payload);
// STX, payload, two upper-case hex digits, ETX.
std::vector<uint8_t> sign_frame(const std::string& payload);
// Windows-1250 Polish letter → the sign's own code 0x80..0x91 (others unchanged).
uint8_t sign_code_from_cp1250(uint8_t c);

class SignSimulator {
public:
    explicit SignSimulator(SignOptions options = {});
    ~SignSimulator();
    SignSimulator(const SignSimulator&) = delete;
    SignSimulator& operator=(const SignSimulator&) = delete;

    // Opens the pseudo-terminal (or the device) and starts answering on a thread.
    std::error_code start();
    // Stops the thread and closes the line.
    void stop();
    // The path the program opens: the pty's slave, or the device given.
    const std::string& path() const { return path_; }
    bool running() const { return running_; }
    // The line was closed by hangup_after.
    bool hung_up() const { return hung_up_; }

    SignState state() const;
    // Makes every change of `tampers` now, whatever its time; blanks the prices when
    // there is none. Any thread.
    void tamper_now();
    // Timed changes made so far.
    size_t tampers_done() const;
    void modify(const std::function<void(SignState&)>& change);

    std::vector<ReceivedFrame> received() const;
    size_t received_count() const;
    void clear_received();
    // Waits until at least `count` frames arrived or `timeout_ms` passed.
    bool wait_received(size_t count, int timeout_ms) const;
    SignCounters counters() const;

    // The answer the sign gives to a payload (without faults): an ACK byte, a data
    // payload to frame, or nothing. Also applies the command to `state`.
    struct Answer {
        enum Kind { None, Ack, Data } kind = None;
        std::string payload;
    };
    static Answer answer(SignState& state, const std::string& payload);

private:
    void run();
    void handle_frame(const std::vector<uint8_t>& frame);
    void send_answer(const Answer& a);
    void write_paced(const uint8_t* bytes, size_t length);
    bool chance(double rate);
    void close_line();
    void apply_tamper(const PriceTamper& t);  // holding mutex_
    // Makes the timed changes that fell due; the milliseconds to the next one, or -1.
    int run_due_tampers();
    void log_frame(const ReceivedFrame& f);

    SignOptions options_;
    std::string path_;
    int fd_ = -1;        // master side, or the device
    int slave_fd_ = -1;  // held open so the pty survives the program closing it
    int wake_[2] = {-1, -1};
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<bool> stop_{false};
    std::atomic<bool> hung_up_{false};
    std::mt19937 random_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    SignState state_;
    std::vector<ReceivedFrame> received_;
    SignCounters counters_;
    size_t frames_seen_ = 0;  // for hangup_after, not reset by clear_received
    std::chrono::steady_clock::time_point started_;
    std::vector<bool> tamper_done_;  // by index in options_.tampers; the sign's thread only
    size_t tampers_done_ = 0;        // guarded by mutex_
};

}  // namespace kc
