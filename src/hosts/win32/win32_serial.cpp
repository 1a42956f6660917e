// Platform layer (Win32): the serial device on a COM port.
#include "hosts/win32/win32_serial.h"

#include "hosts/win32/port_names.h"
#include "text/cp1250.h"

#include <windows.h>

#include <cstring>

namespace kc {

struct Win32SerialDevice::Overlapped {
    OVERLAPPED ov{};
    Overlapped() { ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr); }
    ~Overlapped() {
        if (ov.hEvent) CloseHandle(ov.hEvent);
    }
    // Offsets stay 0; only the event is kept.
    OVERLAPPED* fresh() {
        HANDLE e = ov.hEvent;
        ov = OVERLAPPED{};
        ov.hEvent = e;
        ResetEvent(e);
        return &ov;
    }
};

std::error_code win32_error(unsigned long code) { return {static_cast<int>(code), std::system_category()}; }

namespace {

std::error_code last_error() { return win32_error(GetLastError()); }

std::wstring device_path(const std::string& port_name) {
    std::wstring path = L"\\\\.\\";
    for (unsigned char c : port_name) path += static_cast<wchar_t>(c);  // port names are ASCII
    return path;
}

// The device's own name where Windows has one ("USB Serial Port"), else the port name.
std::string device_name(const std::string& port_name) {
    if (port_name.size() > 3 && _strnicmp(port_name.c_str(), "COM", 3) == 0 &&
        port_name.find_first_not_of("0123456789", 3) == std::string::npos && port_name.size() < 9)
        if (std::string friendly = describe_win32_port(std::stoi(port_name.substr(3))); !friendly.empty())
            return cp1250_to_utf8(friendly);
    return port_name;
}

// Wine's WaitCommEvent keeps a thread of its own polling the line without pause for as
// long as the wait lasts (seen on a pty: a quarter of a core while idle).
bool events_poll_busily() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace

OpenFailCause open_fail_cause(unsigned long code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_BAD_NETPATH:
        case ERROR_INVALID_NAME: return OpenFailCause::Missing;
        // A port another program holds is refused as access denied.
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION: return OpenFailCause::Busy;
        default: return OpenFailCause::Other;
    }
}

Win32SerialDevice::Win32SerialDevice()
    : cancel_event_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      wait_ov_(std::make_unique<Overlapped>()),
      read_ov_(std::make_unique<Overlapped>()),
      write_ov_(std::make_unique<Overlapped>()),
      stash_ov_(std::make_unique<Overlapped>()) {}

Win32SerialDevice::~Win32SerialDevice() {
    close();
    if (cancel_event_) CloseHandle(cancel_event_);
}

std::error_code Win32SerialDevice::open(const std::string& port_name) {
    close();
    report_ = OpenReport{};
    report_.advice = OpenAdvice::Windows;
    report_.device = port_name;
    auto refused = [this](unsigned long code) {
        report_.cause = open_fail_cause(code);
        report_.error = win32_error(code);
        return report_.error;
    };
    if (!cancel_event_ || !wait_ov_->ov.hEvent || !read_ov_->ov.hEvent || !write_ov_->ov.hEvent ||
        !stash_ov_->ov.hEvent)
        return refused(ERROR_NOT_ENOUGH_MEMORY);
    if (port_name.empty()) return refused(ERROR_FILE_NOT_FOUND);

    HANDLE h = CreateFileW(device_path(port_name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) return refused(GetLastError());
    report_.device = device_name(port_name);

    auto fail = [this, h](std::error_code e) {
        CloseHandle(h);
        // A handle that takes no comm settings: a file or another device under that name.
        report_.cause = e.value() == ERROR_INVALID_FUNCTION || e.value() == ERROR_NOT_SUPPORTED
                            ? OpenFailCause::NotSerial
                            : OpenFailCause::Other;
        report_.error = e;
        return e;
    };
    if (!SetCommMask(h, EV_RXCHAR)) return fail(last_error());
    PurgeComm(h, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    handle_ = h;
    if (auto e = apply_timeouts()) {
        handle_ = nullptr;
        return fail(e);
    }
    read_pending_ = false;
    write_pending_ = false;
    events_work_ = !events_poll_busily();
    quick_wakes_ = 0;
    stash_full_ = false;
    ResetEvent(cancel_event_);  // a cancel meant for an earlier link
    return {};
}

std::error_code Win32SerialDevice::apply_timeouts() {
    HANDLE h = handle_.load();
    if (!h) return {};
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = MAXDWORD;
    t.ReadTotalTimeoutMultiplier = 0;
    t.ReadTotalTimeoutConstant = kReadTotalTimeoutMs;
    t.WriteTotalTimeoutMultiplier = write_ms_per_byte_.load();
    t.WriteTotalTimeoutConstant = 0;
    return SetCommTimeouts(h, &t) ? std::error_code{} : last_error();
}

std::error_code Win32SerialDevice::configure(const LineSettings& s) {
    HANDLE h = handle_.load();
    if (!h) return win32_error(ERROR_INVALID_HANDLE);
    if (s.baud_rate == 0 || s.data_bits < 5 || s.data_bits > 8 || s.parity > kParitySpace || s.stop_bits > kStopBits2)
        return win32_error(ERROR_INVALID_PARAMETER);

    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(h, &dcb)) return last_error();
    dcb.BaudRate = s.baud_rate;
    dcb.ByteSize = s.data_bits;
    dcb.Parity = s.parity;      // NOPARITY..SPACEPARITY: the same codes
    dcb.StopBits = s.stop_bits;  // ONESTOPBIT..TWOSTOPBITS: the same codes
    dcb.fBinary = 1;
    dcb.fParity = 0;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.XonLim = 100;
    dcb.XoffLim = 100;
    std::error_code result = SetCommState(h, &dcb) ? std::error_code{} : last_error();
    DCB back{};
    back.DCBlength = sizeof back;
    GetCommState(h, &back);  // read back as the driver took it; not examined
    return result;
}

std::error_code Win32SerialDevice::set_write_timeout(uint32_t ms_per_byte) {
    write_ms_per_byte_ = ms_per_byte;
    return apply_timeouts();
}

bool Win32SerialDevice::device_gone() {
    HANDLE h = handle_.load();
    DWORD errors = 0;
    COMSTAT stat{};
    if (!ClearCommError(h, &errors, &stat)) return true;
    // Wine reports a pty whose other end closed only through a read: a zero-length
    // read fails there, and succeeds on a present device anywhere.
    DWORD got = 0;
    OVERLAPPED* ov = read_ov_->fresh();
    uint8_t none = 0;
    if (ReadFile(h, &none, 0, &got, ov)) return false;
    DWORD e = GetLastError();
    if (e == ERROR_IO_PENDING) {
        if (GetOverlappedResult(h, ov, &got, TRUE)) return false;
        e = GetLastError();
    }
    return e != ERROR_OPERATION_ABORTED;
}

InputEvent Win32SerialDevice::wait_for_input() {
    HANDLE h = handle_.load();
    if (!h) return InputEvent::Error;
    for (;;) {
        if (WaitForSingleObject(cancel_event_, 0) == WAIT_OBJECT_0) return InputEvent::Cancelled;
        if (stash_full_) return InputEvent::Received;
        // Characters that came before the wait started raise no new event.
        DWORD errors = 0;
        COMSTAT stat{};
        if (!ClearCommError(h, &errors, &stat)) return InputEvent::HangUp;
        if (stat.cbInQue > 0) {
            quick_wakes_ = 0;
            return InputEvent::Received;
        }
        if (!events_work_) {
            InputEvent e = wait_by_reading(h);
            if (e != InputEvent::Error) return e;
            continue;
        }

        const ULONGLONG started = GetTickCount64();
        DWORD mask = 0;
        OVERLAPPED* ov = wait_ov_->fresh();
        bool ended_well = WaitCommEvent(h, &mask, ov) != 0;
        if (!ended_well) {
            DWORD e = GetLastError();
            if (e == ERROR_INVALID_PARAMETER) return InputEvent::Error;
            if (e == ERROR_IO_PENDING) {
                HANDLE events[2] = {ov->hEvent, cancel_event_};
                for (;;) {
                    DWORD w = WaitForMultipleObjects(2, events, FALSE, kPresenceCheckMs);
                    if (w == WAIT_OBJECT_0) break;
                    bool cancelled = w == WAIT_OBJECT_0 + 1;
                    bool gone = !cancelled && w == WAIT_TIMEOUT && device_gone();
                    if (!cancelled && !gone && w == WAIT_TIMEOUT) continue;
                    // Setting the mask again ends the pending wait; the OVERLAPPED is free
                    // only once it has.
                    SetCommMask(h, EV_RXCHAR);
                    DWORD ignored = 0;
                    if (WaitForSingleObject(ov->hEvent, 1000) != WAIT_OBJECT_0) CancelIoEx(h, ov);
                    GetOverlappedResult(h, ov, &ignored, TRUE);
                    if (cancelled) return InputEvent::Cancelled;
                    if (gone) return InputEvent::HangUp;
                    return InputEvent::Error;
                }
                DWORD ignored = 0;
                ended_well = GetOverlappedResult(h, ov, &ignored, FALSE) != 0;
                if (!ended_well && GetLastError() == ERROR_OPERATION_ABORTED) continue;  // a mask change
            }
        }
        // The queue, not the event, tells whether characters came.
        if (ClearCommError(h, &errors, &stat) && stat.cbInQue > 0) {
            quick_wakes_ = 0;
            return InputEvent::Received;
        }
        // An error is a hang-up only when the device says so: a driver may end a wait
        // with an odd error and still be there.
        if (!ended_well && device_gone()) return InputEvent::HangUp;
        if (GetTickCount64() - started < kQuickWakeMs) {
            if (++quick_wakes_ >= kQuickWakesBeforeReading) events_work_ = false;
        } else {
            quick_wakes_ = 0;
        }
    }
}

InputEvent Win32SerialDevice::wait_by_reading(void* handle) {
    HANDLE h = static_cast<HANDLE>(handle);
    // COMMTIMEOUTS make this read return with the first character, or with none after
    // the total time-out.
    DWORD got = 0;
    OVERLAPPED* ov = stash_ov_->fresh();
    bool done = ReadFile(h, &stash_, 1, &got, ov) != 0;
    bool cancelled = false;
    if (!done) {
        if (GetLastError() != ERROR_IO_PENDING) return device_gone() ? InputEvent::HangUp : InputEvent::Error;
        HANDLE events[2] = {ov->hEvent, cancel_event_};
        for (;;) {
            DWORD w = WaitForMultipleObjects(2, events, FALSE, kPresenceCheckMs);
            if (w == WAIT_OBJECT_0) break;
            if (w == WAIT_OBJECT_0 + 1) {
                cancelled = true;
                CancelIoEx(h, ov);
                break;
            }
            // Only the status here: a second read would queue behind this one.
            DWORD errors = 0;
            COMSTAT stat{};
            if (w != WAIT_TIMEOUT || !ClearCommError(h, &errors, &stat)) {
                CancelIoEx(h, ov);
                GetOverlappedResult(h, ov, &got, TRUE);
                return InputEvent::HangUp;
            }
        }
        done = GetOverlappedResult(h, ov, &got, TRUE) != 0;
    }
    // A character that came with the cancel is kept, not lost.
    if (done && got == 1) {
        stash_full_ = true;
        return cancelled ? InputEvent::Cancelled : InputEvent::Received;
    }
    if (cancelled) return InputEvent::Cancelled;
    if (!done && GetLastError() != ERROR_OPERATION_ABORTED && device_gone()) return InputEvent::HangUp;
    if (done && device_gone()) return InputEvent::HangUp;  // each empty second: still there?
    return InputEvent::Error;
}

void Win32SerialDevice::cancel_wait() {
    if (cancel_event_) SetEvent(cancel_event_);
}

LineStatus Win32SerialDevice::line_status() {
    LineStatus s;
    HANDLE h = handle_.load();
    if (!h) {
        s.error = win32_error(ERROR_INVALID_HANDLE);
        return s;
    }
    DWORD errors = 0;
    COMSTAT stat{};
    if (!ClearCommError(h, &errors, &stat)) {
        s.error = last_error();
        return s;
    }
    s.errors = errors;  // the CE_ bits: overrun 0x2, parity 0x4, frame 0x8, break 0x10
    s.bytes_waiting = stat.cbInQue + (stash_full_ ? 1 : 0);
    return s;
}

IoStart Win32SerialDevice::start_read(uint8_t* buffer, size_t length) {
    HANDLE h = handle_.load();
    read_pending_ = false;
    if (!h) return {IoStartState::Failed, 0, win32_error(ERROR_INVALID_HANDLE)};
    if (length > 0 && stash_full_) {
        buffer[0] = stash_;
        stash_full_ = false;
        return {IoStartState::Completed, 1, {}};
    }
    DWORD got = 0;
    if (ReadFile(h, buffer, static_cast<DWORD>(length), &got, read_ov_->fresh()))
        return {IoStartState::Completed, got, {}};
    DWORD e = GetLastError();
    if (e != ERROR_IO_PENDING) return {IoStartState::Failed, 0, win32_error(e)};
    read_pending_ = true;
    return {IoStartState::Pending, 0, {}};
}

IoWait Win32SerialDevice::wait_read() {
    HANDLE h = handle_.load();
    if (!read_pending_ || !h) return {IoWaitState::Failed, 0, win32_error(ERROR_INVALID_HANDLE)};
    DWORD got = 0;
    if (GetOverlappedResult(h, &read_ov_->ov, &got, TRUE)) {
        read_pending_ = false;
        return {IoWaitState::Done, got, {}};
    }
    DWORD e = GetLastError();
    if (e == ERROR_IO_INCOMPLETE) return {IoWaitState::Incomplete, got, {}};
    read_pending_ = false;
    return {IoWaitState::Failed, got, win32_error(e)};
}

IoStart Win32SerialDevice::start_write(const uint8_t* buffer, size_t length) {
    HANDLE h = handle_.load();
    write_pending_ = false;
    if (!h) return {IoStartState::Failed, 0, win32_error(ERROR_INVALID_HANDLE)};
    DWORD put = 0;
    if (WriteFile(h, buffer, static_cast<DWORD>(length), &put, write_ov_->fresh()))
        return {IoStartState::Completed, put, {}};
    DWORD e = GetLastError();
    if (e != ERROR_IO_PENDING) return {IoStartState::Failed, 0, win32_error(e)};
    write_pending_ = true;
    return {IoStartState::Pending, 0, {}};
}

IoWait Win32SerialDevice::wait_write() {
    HANDLE h = handle_.load();
    if (!write_pending_ || !h) return {IoWaitState::Failed, 0, win32_error(ERROR_INVALID_HANDLE)};
    DWORD put = 0;
    // A write that runs into the total write time-out ends successfully with fewer bytes.
    if (GetOverlappedResult(h, &write_ov_->ov, &put, TRUE)) {
        write_pending_ = false;
        return {IoWaitState::Done, put, {}};
    }
    DWORD e = GetLastError();
    if (e == ERROR_IO_INCOMPLETE) return {IoWaitState::Incomplete, put, {}};
    write_pending_ = false;
    return {IoWaitState::Failed, put, win32_error(e)};
}

void Win32SerialDevice::set_dtr(bool raised) {
    HANDLE h = handle_.load();
    if (h) EscapeCommFunction(h, raised ? SETDTR : CLRDTR);
}

void Win32SerialDevice::purge() {
    HANDLE h = handle_.load();
    if (h) PurgeComm(h, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    stash_full_ = false;
}

void Win32SerialDevice::close() {
    HANDLE h = handle_.exchange(nullptr);
    if (!h) return;
    SetCommMask(h, 0);  // ends a wait for events still pending
    CloseHandle(h);
    read_pending_ = false;
    write_pending_ = false;
}

std::unique_ptr<SerialDevice> make_win32_serial() { return std::make_unique<Win32SerialDevice>(); }

}  // namespace kc
