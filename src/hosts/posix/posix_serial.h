// Platform layer (POSIX): the serial device on a tty through termios, poll and an
// eventfd that cancels the input wait from any thread.
//
// Threads: one thread waits for input and reads (the port reader); writes come from
// the threads that send frames, one at a time; cancel_wait() and line_status() may be
// called from any thread. open(), configure(), set_dtr(), purge() and close() belong
// to the thread that owns the link, and close() runs only when no other thread is
// inside a call.
#pragma once
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include "platform/serial_device.h"

namespace kc {

class PosixSerialDevice : public SerialDevice {
public:
    PosixSerialDevice();
    ~PosixSerialDevice() override;
    PosixSerialDevice(const PosixSerialDevice&) = delete;
    PosixSerialDevice& operator=(const PosixSerialDevice&) = delete;

    // "COM1".."COM10" go through resolve_port_device(); a name that starts with '/'
    // is opened as a device path.
    std::error_code open(const std::string& port_name) override;
    OpenReport open_report() const override { return report_; }
    bool is_open() const override { return fd_.load() >= 0; }
    std::error_code configure(const LineSettings& settings) override;
    std::error_code set_write_timeout(uint32_t ms_per_byte) override;

    InputEvent wait_for_input() override;
    void cancel_wait() override;

    LineStatus line_status() override;
    IoStart start_read(uint8_t* buffer, size_t length) override;
    IoWait wait_read() override;
    IoStart start_write(const uint8_t* buffer, size_t length) override;
    IoWait wait_write() override;

    void set_dtr(bool raised) override;
    void purge() override;
    void close() override;

    // How long a pending read waits for its first byte.
    static constexpr int kReadWaitMs = 1000;

private:
    struct Counts {
        int overrun = 0, parity = 0, frame = 0, brk = 0;
    };
    bool read_counts(Counts& c) const;
    void drain_cancel();

    std::atomic<int> fd_{-1};
    OpenReport report_;      // the last open(), owner thread only
    std::string lock_path_;  // our UUCP lock file, "" when none
    int cancel_fd_ = -1;  // eventfd
    std::atomic<uint32_t> write_ms_per_byte_{0};

    // Line-error counters at the previous line_status().
    std::mutex counts_mutex_;
    Counts last_counts_;

    // The byte a hang-up probe found instead of a hang-up; handed out first. Reader only.
    std::atomic<int> held_byte_{-1};

    // The read in progress (reader thread only).
    uint8_t* read_buffer_ = nullptr;
    size_t read_length_ = 0;
    size_t read_done_ = 0;
    bool read_pending_ = false;

    // The write in progress (one sender at a time).
    const uint8_t* write_buffer_ = nullptr;
    size_t write_length_ = 0;
    size_t write_done_ = 0;
    bool write_pending_ = false;
    bool write_has_deadline_ = false;
    std::chrono::steady_clock::time_point write_deadline_;
};

std::unique_ptr<SerialDevice> make_posix_serial();

}  // namespace kc
