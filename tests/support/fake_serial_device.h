// Tests (serial link): a scripted serial device. A test keeps the shared FakeLine,
// hands fake_serial_factory(line) to Program::make_serial, and reads back what the
// code under test did with the device after the device itself is gone.
//
// Without a script every operation succeeds at once: reads take what was received,
// writes complete whole. Scripted results are used first, one per call, in order.
// A scripted byte count is the total moved so far by that operation, as a device
// reports it.
#pragma once
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "platform/serial_device.h"

namespace kc::test {

struct FakeLine {
    mutable std::mutex mutex;
    std::condition_variable wake;

    // ---- set by the test ----------------------------------------------------------
    std::error_code open_error;       // open() fails with this
    std::error_code configure_error;  // configure() fails with this
    std::deque<uint8_t> incoming;     // received bytes not read yet
    std::optional<size_t> bytes_waiting;  // reported instead of incoming.size()
    std::deque<uint32_t> line_errors;     // error flags of successive line_status() calls
    std::deque<InputEvent> input_events;  // results of wait_for_input() before real waiting
    std::deque<IoStart> read_starts;
    std::deque<IoWait> read_waits;
    std::deque<IoStart> write_starts;
    std::deque<IoWait> write_waits;
    bool hung_up = false;

    // ---- recorded -----------------------------------------------------------------
    std::vector<std::string> calls;  // "open COM1", "timeout 1", "purge", "configure", "dtr 1", "close"...
    std::vector<std::vector<uint8_t>> writes;  // every buffer handed to start_write
    std::optional<LineSettings> settings;      // last configure()
    uint32_t write_timeout = 0xFFFFFFFF;
    bool dtr = false;
    bool open = false;
    int devices_made = 0;
    int start_reads = 0;
    int read_waits_done = 0;
    int write_waits_done = 0;
    int line_status_calls = 0;
    int cancels = 0;  // cancels not yet consumed by a wait

    // ---- driving it ---------------------------------------------------------------
    void receive(const std::string& bytes) {
        std::lock_guard<std::mutex> lock(mutex);
        incoming.insert(incoming.end(), bytes.begin(), bytes.end());
        wake.notify_all();
    }
    void hang_up() {
        std::lock_guard<std::mutex> lock(mutex);
        hung_up = true;
        wake.notify_all();
    }
    // Everything written, one buffer after another.
    std::string written() const {
        std::lock_guard<std::mutex> lock(mutex);
        std::string all;
        for (const auto& w : writes) all.append(w.begin(), w.end());
        return all;
    }
    bool called(const std::string& call) const {
        std::lock_guard<std::mutex> lock(mutex);
        return std::find(calls.begin(), calls.end(), call) != calls.end();
    }
    std::vector<std::string> call_list() const {
        std::lock_guard<std::mutex> lock(mutex);
        return calls;
    }
};

class FakeSerialDevice : public SerialDevice {
public:
    explicit FakeSerialDevice(std::shared_ptr<FakeLine> line) : line_(std::move(line)) {}

    std::error_code open(const std::string& port_name) override {
        std::lock_guard<std::mutex> lock(line_->mutex);
        line_->calls.push_back("open " + port_name);
        if (line_->open_error) return line_->open_error;
        line_->open = true;
        return {};
    }
    bool is_open() const override {
        std::lock_guard<std::mutex> lock(line_->mutex);
        return line_->open;
    }
    std::error_code configure(const LineSettings& settings) override {
        std::lock_guard<std::mutex> lock(line_->mutex);
        line_->calls.push_back("configure");
        if (line_->configure_error) return line_->configure_error;
        line_->settings = settings;
        return {};
    }
    std::error_code set_write_timeout(uint32_t ms_per_byte) override {
        std::lock_guard<std::mutex> lock(line_->mutex);
        line_->calls.push_back("timeout " + std::to_string(ms_per_byte));
        line_->write_timeout = ms_per_byte;
        return {};
    }

    InputEvent wait_for_input() override {
        std::unique_lock<std::mutex> lock(line_->mutex);
        if (!line_->input_events.empty()) {
            InputEvent e = line_->input_events.front();
            line_->input_events.pop_front();
            return e;
        }
        // Bounded, so that a test with a fault in it fails instead of hanging.
        bool woken = line_->wake.wait_for(lock, std::chrono::seconds(10), [&] {
            return line_->cancels > 0 || line_->hung_up || !line_->incoming.empty();
        });
        if (!woken) return InputEvent::Error;
        if (line_->cancels > 0) {
            line_->cancels = 0;
            return InputEvent::Cancelled;
        }
        return line_->hung_up ? InputEvent::HangUp : InputEvent::Received;
    }
    void cancel_wait() override {
        std::lock_guard<std::mutex> lock(line_->mutex);
        line_->calls.push_back("cancel");
        ++line_->cancels;
        line_->wake.notify_all();
    }

    LineStatus line_status() override {
        std::lock_guard<std::mutex> lock(line_->mutex);
        ++line_->line_status_calls;
        LineStatus s;
        if (!line_->line_errors.empty()) {
            s.errors = line_->line_errors.front();
            line_->line_errors.pop_front();
        }
        s.bytes_waiting = line_->bytes_waiting ? *line_->bytes_waiting : line_->incoming.size();
        return s;
    }

    IoStart start_read(uint8_t* buffer, size_t length) override {
        std::lock_guard<std::mutex> lock(line_->mutex);
        ++line_->start_reads;
        read_buffer_ = buffer;
        read_length_ = length;
        read_moved_ = 0;
        IoStart s{IoStartState::Completed, length, {}};
        if (!line_->read_starts.empty()) {
            s = line_->read_starts.front();
            line_->read_starts.pop_front();
        }
        if (s.state == IoStartState::Completed) s.bytes = take(s.bytes);
        return s;
    }
    IoWait wait_read() override {
        std::lock_guard<std::mutex> lock(line_->mutex);
        ++line_->read_waits_done;
        IoWait w{IoWaitState::Done, read_length_, {}};
        if (!line_->read_waits.empty()) {
            w = line_->read_waits.front();
            line_->read_waits.pop_front();
        }
        if (w.bytes > read_moved_) take(w.bytes - read_moved_);
        w.bytes = read_moved_;
        return w;
    }

    IoStart start_write(const uint8_t* buffer, size_t length) override {
        std::lock_guard<std::mutex> lock(line_->mutex);
        line_->writes.emplace_back(buffer, buffer + length);
        write_length_ = length;
        IoStart s{IoStartState::Completed, length, {}};
        if (!line_->write_starts.empty()) {
            s = line_->write_starts.front();
            line_->write_starts.pop_front();
        }
        return s;
    }
    IoWait wait_write() override {
        std::lock_guard<std::mutex> lock(line_->mutex);
        ++line_->write_waits_done;
        IoWait w{IoWaitState::Done, write_length_, {}};
        if (!line_->write_waits.empty()) {
            w = line_->write_waits.front();
            line_->write_waits.pop_front();
        }
        return w;
    }

    void set_dtr(bool raised) override {
        std::lock_guard<std::mutex> lock(line_->mutex);
        line_->calls.push_back(raised ? "dtr 1" : "dtr 0");
        line_->dtr = raised;
    }
    void purge() override {
        std::lock_guard<std::mutex> lock(line_->mutex);
        line_->calls.push_back("purge");
    }
    void close() override {
        std::lock_guard<std::mutex> lock(line_->mutex);
        line_->calls.push_back("close");
        line_->open = false;
    }

private:
    // Moves up to `n` received bytes into the pending read's buffer (mutex held).
    size_t take(size_t n) {
        n = std::min({n, line_->incoming.size(), read_length_ - read_moved_});
        for (size_t i = 0; i < n; ++i) {
            read_buffer_[read_moved_++] = line_->incoming.front();
            line_->incoming.pop_front();
        }
        return n;
    }

    std::shared_ptr<FakeLine> line_;
    uint8_t* read_buffer_ = nullptr;
    size_t read_length_ = 0;
    size_t read_moved_ = 0;
    size_t write_length_ = 0;
};

inline SerialFactory fake_serial_factory(std::shared_ptr<FakeLine> line) {
    return [line]() -> std::unique_ptr<SerialDevice> {
        {
            std::lock_guard<std::mutex> lock(line->mutex);
            ++line->devices_made;
        }
        return std::make_unique<FakeSerialDevice>(line);
    };
}

}  // namespace kc::test
