// Platform layer: what the serial link needs from a port. The POSIX backend
// (platform/posix) implements it with termios; tests use fakes and pseudo-terminals.
//
// Reads and writes follow a start-then-wait shape so that the block I/O of the link
// can tell a write that finished at once from one that had to be waited for, and a
// wait that is still incomplete from one that failed.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <system_error>

namespace kc {

// Codes as the settings file and the transmission dialog keep them.
enum ParityCode : uint8_t { kParityNone = 0, kParityOdd = 1, kParityEven = 2, kParityMark = 3, kParitySpace = 4 };
enum StopBitsCode : uint8_t { kStopBits1 = 0, kStopBits1_5 = 1, kStopBits2 = 2 };

// Line-error flags reported by line_status().
inline constexpr uint32_t kLineOverrun = 0x0002;
inline constexpr uint32_t kLineParity = 0x0004;
inline constexpr uint32_t kLineFrame = 0x0008;
inline constexpr uint32_t kLineBreak = 0x0010;

struct LineSettings {
    uint32_t baud_rate = 19200;
    uint8_t data_bits = 8;
    uint8_t parity = kParityNone;
    uint8_t stop_bits = kStopBits1;
};

enum class IoStartState { Completed, Pending, Failed };
struct IoStart {
    IoStartState state = IoStartState::Failed;
    size_t bytes = 0;  // bytes moved when Completed
    std::error_code error;
};

enum class IoWaitState { Done, Incomplete, Failed };
struct IoWait {
    IoWaitState state = IoWaitState::Failed;
    size_t bytes = 0;  // bytes moved by the operation so far
    std::error_code error;
};

enum class InputEvent {
    Received,   // characters are waiting
    Cancelled,  // cancel_wait() was called
    HangUp,     // the device went away (POLLHUP, POLLERR, EIO)
    Error       // the wait itself failed
};

// Why an open failed, as every backend reports it; the texts are in resources.
enum class OpenFailCause : uint8_t {
    None,
    Missing,       // no such device
    NoPermission,  // the user may not use it
    Busy,          // another program holds it
    NotSerial,     // a file, a folder or another device that is no serial port
    Other
};

// Which advice fits the system the backend runs on: POSIX reaches a device through
// "COMn" and guards it with groups and lock files; on Windows "COMn" is the device
// itself, and a port another program holds is refused as access denied.
enum class OpenAdvice : uint8_t { Posix, Windows };

// What the user lacks when the cause is NoPermission. OwnerOnly: the device's group has
// no read and write rights, so joining the group would not help.
enum class GroupAccess : uint8_t { Unknown, NotMember, NeedsRelogin, Member, OwnerOnly };

// The details of the last open(), for the operator's message.
struct OpenReport {
    OpenFailCause cause = OpenFailCause::None;
    std::error_code error;     // the system's value, as open() returned it
    std::string device;        // the device the port name reached
    std::string holder;        // the program that holds it ("minicom, PID 4711"), if known
    std::string group;         // the group that may use the device ("dialout")
    GroupAccess access = GroupAccess::Unknown;
    std::string user;          // the user's login name
    std::string owner;         // the device's owner ("root"), for OwnerOnly
    std::string kernel_name;   // the device's own name ("ttyUSB0"), for a udev rule
    OpenAdvice advice = OpenAdvice::Posix;
};

struct LineStatus {
    uint32_t errors = 0;       // kLine* flags since the previous call
    size_t bytes_waiting = 0;  // bytes in the input queue
    std::error_code error;     // set when the status could not be read
};

class SerialDevice {
public:
    virtual ~SerialDevice() = default;

    // Opens "COM1".."COM10" (the backend resolves the name to a device), exclusively.
    virtual std::error_code open(const std::string& port_name) = 0;
    // Why the last open() failed and on which device; a backend that knows no more
    // gives the cause from the error value alone.
    virtual OpenReport open_report() const { return {}; }
    virtual bool is_open() const = 0;
    virtual std::error_code configure(const LineSettings& settings) = 0;
    // Total write time-out in milliseconds per byte; 0 = no total time-out.
    virtual std::error_code set_write_timeout(uint32_t ms_per_byte) = 0;

    // Blocks until characters are waiting, the wait is cancelled or the device hangs up.
    // A cancel that comes before the wait makes the next wait return at once.
    virtual InputEvent wait_for_input() = 0;
    virtual void cancel_wait() = 0;  // any thread

    virtual LineStatus line_status() = 0;
    virtual IoStart start_read(uint8_t* buffer, size_t length) = 0;
    virtual IoWait wait_read() = 0;
    virtual IoStart start_write(const uint8_t* buffer, size_t length) = 0;
    virtual IoWait wait_write() = 0;

    virtual void set_dtr(bool raised) = 0;
    virtual void purge() = 0;
    virtual void close() = 0;
};

using SerialFactory = std::function<std::unique_ptr<SerialDevice>()>;

}  // namespace kc
