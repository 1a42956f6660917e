// Virtual sign: the line handling (pty, pacing, faults) and the controllers' answers.
#include "signsim/sign_simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kc {

namespace {

constexpr uint8_t kStxByte = 0x02;
constexpr uint8_t kEtxByte = 0x03;
constexpr uint8_t kAckByte = 0x06;
constexpr uint8_t kNakByte = 0x15;
constexpr size_t kMaxFrame = 300;

// Wire bits: a b c d e f g point, bit 7 first.
constexpr uint8_t A = 0x80, B = 0x40, C = 0x20, D = 0x10, E = 0x08, F = 0x04, G = 0x02, P = 0x01;

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Leading decimal digits; false when there are none.
bool parse_number(const std::string& s, int& value) {
    if (s.empty() || s[0] < '0' || s[0] > '9') return false;
    long v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') break;
        v = v * 10 + (c - '0');
        if (v > 1000000) v = 1000000;
    }
    value = static_cast<int>(v);
    return true;
}

std::string number_reply(char letter, int value) { return std::string(1, letter) + std::to_string(value); }

using Answer = SignSimulator::Answer;

Answer ack() { return Answer{Answer::Ack, {}}; }
Answer data(std::string payload) { return Answer{Answer::Data, std::move(payload)}; }
Answer none() { return Answer{}; }

// A number setting: a bare query answers it, an argument sets it.
Answer number_setting(int& value, char letter, const std::string& arg, bool query) {
    if (query) return data(number_reply(letter, value));
    int v;
    if (parse_number(arg, v)) value = v;
    return ack();
}

Answer price_controller(SignState& s, char field, char letter, const std::string& arg, bool query) {
    if (field >= '1' && field <= '5') {
        int k = field - '1';
        switch (letter) {
        case 'C':
        case 'M':
            // A price command with an empty price is still a command, not a query.
            sign_apply_price(s.segments[k], arg);
            s.blink[k] = letter == 'M';
            return ack();
        case 'B': {
            if (arg.size() == 6) {
                uint8_t bytes[3];
                bool ok = true;
                for (int i = 0; i < 3; ++i) {
                    int hi = hex_value(arg[2 * i]), lo = hex_value(arg[2 * i + 1]);
                    if (hi < 0 || lo < 0) ok = false;
                    bytes[i] = static_cast<uint8_t>((hi << 4) | lo);
                }
                if (ok) {
                    for (int i = 0; i < 3; ++i) s.segments[k][i] = bytes[i];
                    s.blink[k] = false;
                }
            }
            return ack();
        }
        case 'o': return number_setting(s.price_power_low[k], 'o', arg, query);
        case 'O': return number_setting(s.price_power_high[k], 'O', arg, query);
        default: return query ? none() : ack();
        }
    }
    if (field != '0') return query ? none() : ack();
    switch (letter) {
    case 'C':
        if (query) {
            std::string r = "C";
            char hex[3];
            for (auto& field_places : s.segments)
                for (uint8_t b : field_places) {
                    std::snprintf(hex, sizeof hex, "%02X", b);
                    r += hex;
                }
            return data(r);
        }
        return ack();
    case 'M':
        if (query) {
            std::string r = "M";
            for (bool b : s.blink) r += b ? '1' : '0';
            return data(r);
        }
        return ack();
    case 'l': return number_setting(s.price_low_level, 'l', arg, query);
    case 'L': return number_setting(s.price_high_level, 'L', arg, query);
    case 'A':
        if (query) return data(s.auto_backlight ? "A1" : "A0");
        s.auto_backlight = !arg.empty() && arg[0] == '1';
        return ack();
    case 'Z':
        if (query) return data(s.backlight ? "Z1" : "Z0");
        s.backlight = !arg.empty() && arg[0] == '1';
        return ack();
    case 'S': return query ? data(number_reply('S', s.light_level)) : ack();
    case 'V': return query ? data("V" + s.version) : ack();
    case 'T': return query ? data("T" + s.temperature) : ack();
    case 'E':  // batch end: three characters, yet a command
    case 'z': return ack();
    default: return query ? none() : ack();
    }
}

Answer display_controller(SignState& s, int d, char field, char letter, const std::string& arg, bool query) {
    if (field != '0') return query ? none() : ack();
    switch (letter) {
    case '0':
    case '1':
        s.display_text[d] = arg;
        s.display_negative[d] = letter == '1';
        return ack();
    case '2': {
        // Read request: the flag and the text in the sign's own codes.
        std::string r(1, s.display_negative[d] ? '1' : '0');
        for (char c : s.display_text[d]) r += static_cast<char>(sign_code_from_cp1250(static_cast<uint8_t>(c)));
        return data(r);
    }
    case 'P': return number_setting(s.scroll_speed[d], 'P', arg, query);
    case 'L': return number_setting(s.display_high_level[d], 'L', arg, query);
    case 'O': return number_setting(s.display_high_power[d], 'O', arg, query);
    case 'l': return number_setting(s.display_low_level[d], 'l', arg, query);
    case 'o': return number_setting(s.display_low_power[d], 'o', arg, query);
    case 'V': return query ? data("V" + s.display_version) : ack();
    case 'S': return query ? data(number_reply('S', s.display_light_level[d])) : ack();
    case 'E': return ack();  // batch end
    default: return query ? none() : ack();
    }
}

void set_raw(int fd, uint32_t baud) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return;
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (baud) {
        speed_t sp = B19200;
        switch (baud) {
        case 1200: sp = B1200; break;
        case 2400: sp = B2400; break;
        case 4800: sp = B4800; break;
        case 9600: sp = B9600; break;
        case 38400: sp = B38400; break;
        case 57600: sp = B57600; break;
        case 115200: sp = B115200; break;
        default: break;
        }
        cfsetispeed(&t, sp);
        cfsetospeed(&t, sp);
    }
    tcsetattr(fd, TCSANOW, &t);
}

}  // namespace

uint8_t sign_digit_image(char c) {
    switch (c) {
    case '0': return A | B | C | D | E | F;
    case '1': return B | C;
    case '2': return A | B | D | E | G;
    case '3': return A | B | C | D | G;
    case '4': return B | C | F | G;
    case '5': return A | C | D | F | G;
    case '6': return A | C | D | E | F | G;
    case '7': return A | B | C;
    case '8': return A | B | C | D | E | F | G;
    case '9': return A | B | C | D | F | G;
    case '-': return G;
    default: return 0;
    }
}

void sign_apply_price(uint8_t places[3], const std::string& price) {
    int place = 0;
    size_t n = price.size() < 25 ? price.size() : 25;
    for (size_t i = 0; i < n; ++i) {
        char c = price[i];
        if ((c >= '0' && c <= '9') || c == '-' || c == ' ') {
            if (place < 3) places[place++] = sign_digit_image(c);
        } else if (c == '.') {
            if (place == 0) {
                places[place++] = P;
            } else if (places[place - 1] & P) {
                if (place < 3) places[place++] = P;
            } else {
                places[place - 1] |= P;
            }
        }
    }
}

uint8_t sign_checksum(const std::string& payload) {
    uint8_t x = 0x72;
    for (char c : payload) x ^= static_cast<uint8_t>(c);
    return x;
}

std::vector<uint8_t> sign_frame(const std::string& payload) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", sign_checksum(payload));
    std::string f = static_cast<char>(kStxByte) + payload + hex + static_cast<char>(kEtxByte);
    return std::vector<uint8_t>(f.begin(), f.end());
}

uint8_t sign_code_from_cp1250(uint8_t c) {
    // The sign's codes 0x80..0x91: ą Ą ć Ć ę Ę ł Ł ń Ń ó Ó ś Ś ż Ż ź Ź.
    static const uint8_t polish[18] = {0xB9, 0xA5, 0xE6, 0xC6, 0xEA, 0xCA, 0xB3, 0xA3, 0xF1,
                                       0xD1, 0xF3, 0xD3, 0x9C, 0x8C, 0xBF, 0xAF, 0x9F, 0x8F};
    for (int i = 0; i < 18; ++i)
        if (polish[i] == c) return static_cast<uint8_t>(0x80 + i);
    return c;
}

SignSimulator::Answer SignSimulator::answer(SignState& state, const std::string& payload) {
    if (payload.size() < 3) return none();
    bool query = payload.size() == 3;
    std::string arg = payload.substr(3);
    char controller = payload[0], field = payload[1], letter = payload[2];
    if (controller == '2') return price_controller(state, field, letter, arg, query);
    if (controller == '0' || controller == '1')
        return display_controller(state, controller - '0', field, letter, arg, query);
    return none();  // nobody listens at other addresses
}

SignSimulator::SignSimulator(SignOptions options)
    : options_(std::move(options)), random_(options_.seed), state_(options_.initial) {}

SignSimulator::~SignSimulator() { stop(); }

std::error_code SignSimulator::start() {
    if (running_) return {};
    auto fail = [this](int e) {
        close_line();
        return std::error_code(e, std::generic_category());
    };
    if (options_.device.empty()) {
        fd_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd_ < 0) return fail(errno);
        if (grantpt(fd_) != 0 || unlockpt(fd_) != 0) return fail(errno);
        char name[256];
        if (ptsname_r(fd_, name, sizeof name) != 0) return fail(errno);
        path_ = name;
        // Holding the slave open keeps the line up while the program closes and reopens it,
        // and raw mode keeps the line discipline from echoing the program's bytes back.
        slave_fd_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (slave_fd_ < 0) return fail(errno);
        set_raw(slave_fd_, 0);
    } else {
        fd_ = ::open(options_.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) return fail(errno);
        path_ = options_.device;
        set_raw(fd_, options_.baud ? options_.baud : 19200);
    }
    int flags = fcntl(fd_, F_GETFL);
    fcntl(fd_, F_SETFL, flags | O_NONBLOCK);
    if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) return fail(errno);
    stop_ = false;
    hung_up_ = false;
    running_ = true;
    started_ = std::chrono::steady_clock::now();
    tamper_done_.assign(options_.tampers.size(), false);
    thread_ = std::thread([this] { run(); });
    return {};
}

void SignSimulator::stop() {
    stop_ = true;
    if (wake_[1] >= 0) {
        char c = 1;
        ssize_t ignored = ::write(wake_[1], &c, 1);
        (void)ignored;
    }
    if (thread_.joinable()) thread_.join();
    close_line();
    for (int& w : wake_) {
        if (w >= 0) ::close(w);
        w = -1;
    }
    running_ = false;
}

void SignSimulator::close_line() {
    if (fd_ >= 0) ::close(fd_);
    if (slave_fd_ >= 0) ::close(slave_fd_);
    fd_ = slave_fd_ = -1;
}

SignState SignSimulator::state() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_;
}

bool parse_price_tamper(const std::string& text, PriceTamper& out) {
    if (text.size() < 2 || text[0] < '1' || text[0] > '5' || text[1] != '=') return false;
    out.field = text[0] - '0';
    out.price = text.substr(2);
    return true;
}

void SignSimulator::apply_tamper(const PriceTamper& t) {
    if (t.field < 1 || t.field > 5) {
        for (int k = 0; k < 5; ++k) {
            for (uint8_t& place : state_.segments[k]) place = 0;
            state_.blink[k] = false;
        }
        return;
    }
    uint8_t* places = state_.segments[t.field - 1];
    places[0] = places[1] = places[2] = 0;
    sign_apply_price(places, t.price);
    state_.blink[t.field - 1] = false;
}

void SignSimulator::tamper_now() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (options_.tampers.empty()) apply_tamper(PriceTamper{});
    for (const PriceTamper& t : options_.tampers) apply_tamper(t);
}

size_t SignSimulator::tampers_done() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return tampers_done_;
}

int SignSimulator::run_due_tampers() {
    using namespace std::chrono;
    const auto now = steady_clock::now();
    int next = -1;
    for (size_t i = 0; i < options_.tampers.size(); ++i) {
        const PriceTamper& t = options_.tampers[i];
        if (t.after_ms < 0 || tamper_done_[i]) continue;
        const auto due = started_ + milliseconds(t.after_ms);
        if (now >= due) {
            std::lock_guard<std::mutex> lock(mutex_);
            apply_tamper(t);
            ++tampers_done_;
            tamper_done_[i] = true;
            continue;
        }
        int wait = static_cast<int>(duration_cast<milliseconds>(due - now).count()) + 1;
        if (next < 0 || wait < next) next = wait;
    }
    return next;
}

void SignSimulator::modify(const std::function<void(SignState&)>& change) {
    std::lock_guard<std::mutex> lock(mutex_);
    change(state_);
}

std::vector<ReceivedFrame> SignSimulator::received() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

size_t SignSimulator::received_count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_.size();
}

void SignSimulator::clear_received() {
    std::lock_guard<std::mutex> lock(mutex_);
    received_.clear();
}

bool SignSimulator::wait_received(size_t count, int timeout_ms) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return received_.size() >= count; });
}

SignCounters SignSimulator::counters() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return counters_;
}

bool SignSimulator::chance(double rate) {
    if (rate <= 0) return false;
    return std::uniform_real_distribution<double>(0.0, 1.0)(random_) < rate;
}

void SignSimulator::run() {
    std::vector<uint8_t> frame;
    bool gathering = false;
    auto frame_start = std::chrono::steady_clock::now();
    uint8_t buf[512];
    while (!stop_) {
        int next_tamper = run_due_tampers();
        pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        int n = ::poll(fds, 2, next_tamper >= 0 && next_tamper < 200 ? next_tamper : 200);
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (stop_) break;
        if (n == 0) continue;
        if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL) && !(fds[0].revents & POLLIN)) {
            if (!options_.device.empty()) break;  // the device went away
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        if (!(fds[0].revents & POLLIN)) continue;
        ssize_t got = ::read(fd_, buf, sizeof buf);
        if (got < 0) {
            if (errno == EAGAIN || errno == EINTR) continue;
            if (errno == EIO && options_.device.empty()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            break;
        }
        for (ssize_t i = 0; i < got && !stop_ && !hung_up_; ++i) {
            uint8_t b = buf[i];
            if (b == kStxByte) {
                frame.clear();
                gathering = true;
                frame_start = std::chrono::steady_clock::now();
            }
            if (!gathering) continue;
            frame.push_back(b);
            if (frame.size() > kMaxFrame) {
                gathering = false;
                continue;
            }
            if (b == kEtxByte) {
                gathering = false;
                // Paced, a frame is not all in before the line could have carried it.
                if (options_.baud)
                    std::this_thread::sleep_until(frame_start + frame.size() * std::chrono::nanoseconds(
                                                                                   10000000000LL / options_.baud));
                handle_frame(frame);
            }
        }
        if (hung_up_) break;
    }
}

void SignSimulator::handle_frame(const std::vector<uint8_t>& bytes) {
    ReceivedFrame f;
    f.bytes = bytes;
    if (bytes.size() >= 4) {
        f.payload.assign(bytes.begin() + 1, bytes.end() - 3);
        int hi = hex_value(static_cast<char>(bytes[bytes.size() - 3]));
        int lo = hex_value(static_cast<char>(bytes[bytes.size() - 2]));
        f.checksum_ok = hi >= 0 && lo >= 0 && ((hi << 4) | lo) == sign_checksum(f.payload);
    }
    Answer a;
    bool hang = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++counters_.frames;
        ++frames_seen_;
        if (!f.checksum_ok) ++counters_.bad_checksums;
        if (f.checksum_ok) {
            const bool stuck = options_.stuck_field >= 1 && options_.stuck_field <= 5 && f.payload.size() >= 3 &&
                               f.payload[0] == '2' && f.payload[1] == '0' + options_.stuck_field &&
                               (f.payload[2] == 'C' || f.payload[2] == 'M' || f.payload[2] == 'B') &&
                               f.payload.size() > 3;
            if (stuck)
                a.kind = Answer::Ack;  // the controller takes it; the field's digits stay
            else
                a = answer(state_, f.payload);
            if (!options_.mute_payload.empty() && f.payload == options_.mute_payload) {
                a = Answer{};
                ++counters_.dropped;
            }
        }
        if (f.checksum_ok && a.kind == Answer::None) ++counters_.unanswered;
        received_.push_back(f);
        hang = options_.hangup_after > 0 && frames_seen_ >= static_cast<size_t>(options_.hangup_after);
    }
    changed_.notify_all();
    log_frame(f);
    if (hang) {
        // The line goes dead in the middle of the exchange: this frame stays unanswered.
        close_line();
        hung_up_ = true;
        return;
    }
    if (a.kind != Answer::None) send_answer(a);
}

void SignSimulator::send_answer(const Answer& a) {
    if (options_.delay_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(options_.delay_ms));
    if (chance(options_.drop)) {
        std::lock_guard<std::mutex> lock(mutex_);
        ++counters_.dropped;
        return;
    }
    bool corrupt = chance(options_.corrupt);
    std::vector<uint8_t> out;
    if (chance(options_.noise)) {
        int count = std::uniform_int_distribution<int>(1, 4)(random_);
        for (int i = 0; i < count; ++i) {
            uint8_t b;
            do b = static_cast<uint8_t>(std::uniform_int_distribution<int>(0, 255)(random_));
            while (b == kStxByte || b == kEtxByte || b == kAckByte);
            out.push_back(b);
        }
        std::lock_guard<std::mutex> lock(mutex_);
        counters_.noise_bytes += count;
    }
    size_t answer_start = out.size();
    if (a.kind == Answer::Ack) {
        out.push_back(corrupt ? kNakByte : kAckByte);
    } else {
        std::vector<uint8_t> f = sign_frame(a.payload);
        if (corrupt) {
            // A wrong checksum that still reads as two hex digits.
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02X", static_cast<uint8_t>(sign_checksum(a.payload) ^ 0x5A));
            f[f.size() - 3] = static_cast<uint8_t>(hex[0]);
            f[f.size() - 2] = static_cast<uint8_t>(hex[1]);
        }
        out.insert(out.end(), f.begin(), f.end());
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (corrupt) ++counters_.corrupted;
        if (a.kind == Answer::Ack)
            ++counters_.acks;
        else
            ++counters_.replies;
    }
    size_t answer_length = out.size() - answer_start;
    if (options_.split && answer_length > 1) {
        size_t first = answer_start + answer_length / 2;
        write_paced(out.data(), first);
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
        write_paced(out.data() + first, out.size() - first);
    } else {
        write_paced(out.data(), out.size());
    }
}

void SignSimulator::write_paced(const uint8_t* bytes, size_t length) {
    using clock = std::chrono::steady_clock;
    auto byte_time = options_.baud ? std::chrono::nanoseconds(10000000000LL / options_.baud) : std::chrono::nanoseconds(0);
    auto next = clock::now();
    size_t done = 0;
    // Bytes go one at a time when paced, else all at once; a full line waits at most 200 ms.
    while (done < length && !stop_ && fd_ >= 0) {
        size_t chunk = options_.baud ? 1 : length - done;
        if (options_.baud) std::this_thread::sleep_until(next);
        ssize_t w = ::write(fd_, bytes + done, chunk);
        if (w < 0) {
            if (errno == EINTR) continue;
            if (errno != EAGAIN) return;
            pollfd pfd{fd_, POLLOUT, 0};
            if (::poll(&pfd, 1, 200) <= 0) return;
            continue;
        }
        done += static_cast<size_t>(w);
        next += byte_time;
    }
}

void SignSimulator::log_frame(const ReceivedFrame& f) {
    if (options_.log_path.empty()) return;
    std::FILE* out = std::fopen(options_.log_path.c_str(), "ab");
    if (!out) return;
    for (uint8_t b : f.bytes) {
        if (b >= 0x20 && b < 0x7F && b != '\\')
            std::fputc(b, out);
        else
            std::fprintf(out, "\\x%02X", b);
    }
    std::fprintf(out, f.checksum_ok ? "  ok\n" : "  BAD CHECKSUM\n");
    std::fclose(out);
}

}  // namespace kc
