// Platform layer (Win32): the serial device on a COM port with overlapped I/O: a DCB
// for the line, COMMTIMEOUTS for the read and write time-outs, WaitCommEvent for
// received characters, ClearCommError for the line status.
//
// Threads: one thread waits for input and reads (the port reader); writes come from
// the threads that send frames, one at a time; cancel_wait() and line_status() may be
// called from any thread. open(), configure(), set_dtr(), purge() and close() belong
// to the thread that owns the link, and close() runs only when no other thread is
// inside a call.
#pragma once
#include <atomic>
#include <memory>
#include <string>

#include "platform/serial_device.h"

namespace kc {

class Win32SerialDevice : public SerialDevice {
public:
    Win32SerialDevice();
    ~Win32SerialDevice() override;
    Win32SerialDevice(const Win32SerialDevice&) = delete;
    Win32SerialDevice& operator=(const Win32SerialDevice&) = delete;

    // Opens "\\.\" + the name ("COM1".."COM10", and any other name Windows knows).
    std::error_code open(const std::string& port_name) override;
    OpenReport open_report() const override { return report_; }
    bool is_open() const override { return handle_.load() != nullptr; }
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

    // How often a wait for input looks whether the device is still there: a removed
    // adapter, or Wine's pty whose other end closed, may never end the event wait.
    static constexpr unsigned kPresenceCheckMs = 250;
    static constexpr unsigned kReadTotalTimeoutMs = 1000;
    // A wait for events that ends this soon with nothing received counts as a quick
    // wake; after this many in a row the driver cannot wait for events (Wine on a pty
    // ends every wait at once) and the reader waits in a timed read instead.
    static constexpr unsigned kQuickWakeMs = 5;
    static constexpr int kQuickWakesBeforeReading = 8;

private:
    struct Overlapped;  // an OVERLAPPED with its own manual-reset event
    std::error_code apply_timeouts();
    bool device_gone();
    // One timed read of a single character into the stash: Received, Cancelled, HangUp,
    // or Error when it ended with nothing (the caller looks again).
    InputEvent wait_by_reading(void* handle);

    std::atomic<void*> handle_{nullptr};
    void* cancel_event_ = nullptr;  // auto-reset; cancel_wait() sets it
    std::unique_ptr<Overlapped> wait_ov_, read_ov_, write_ov_, stash_ov_;
    std::atomic<uint32_t> write_ms_per_byte_{0};
    bool read_pending_ = false;   // reader thread only
    bool events_work_ = true;     // reader thread only: false once WaitCommEvent spun
    int quick_wakes_ = 0;         // reader thread only
    // A character the timed read took before the link asked for it; start_read hands it
    // over first, line_status counts it.
    std::atomic<bool> stash_full_{false};
    uint8_t stash_ = 0;
    bool write_pending_ = false;  // one sender at a time
    OpenReport report_;           // the last open(), owner thread only
};

// Why CreateFile refused a port, from its error value.
OpenFailCause open_fail_cause(unsigned long code);

std::unique_ptr<SerialDevice> make_win32_serial();

// A Win32 error code as an error_code (system_category on Windows maps its messages).
std::error_code win32_error(unsigned long code);

}  // namespace kc
