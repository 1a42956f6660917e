// Platform layer (POSIX): the serial device on a tty.
#include "hosts/posix/posix_serial.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "hosts/posix/line_control.h"
#include "hosts/posix/port_names.h"
#include "hosts/posix/uucp_lock.h"

namespace kc {

namespace {

std::error_code errno_code(int e) { return {e, std::system_category()}; }
std::error_code last_error() { return errno_code(errno); }

bool is_hang_up(short revents) { return (revents & (POLLHUP | POLLERR | POLLNVAL)) != 0; }

// Milliseconds left until `deadline`, at least 0, rounded up.
int ms_until(std::chrono::steady_clock::time_point deadline) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    return left <= 0 ? 0 : left > 1000000 ? 1000000 : static_cast<int>(left);
}

OpenFailCause cause_of(int e) {
    switch (e) {
        case ENOENT: case ENXIO: case ENODEV: case ENOTDIR: return OpenFailCause::Missing;
        case EACCES: case EPERM: return OpenFailCause::NoPermission;
        case EBUSY: case EWOULDBLOCK: return OpenFailCause::Busy;
        case EISDIR: case ENOTTY: return OpenFailCause::NotSerial;
        default: return OpenFailCause::Other;
    }
}

// Which group may use the device, and whether this login is in it.
void fill_group(OpenReport& report) {
    struct stat st;
    if (stat(report.device.c_str(), &st) != 0) return;
    if (group* g = getgrgid(st.st_gid)) report.group = g->gr_name;
    passwd* pw = getpwuid(getuid());
    if (pw) report.user = pw->pw_name;
    // root:root 0600 and the like: membership of the group would give nothing.
    if ((st.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP)) {
        report.access = GroupAccess::OwnerOnly;
        if (passwd* owner = getpwuid(st.st_uid)) report.owner = owner->pw_name;
        std::string real = report.device;
        if (char* resolved = realpath(report.device.c_str(), nullptr)) {
            real = resolved;
            free(resolved);
        }
        report.kernel_name = real.substr(real.rfind('/') + 1);
        return;
    }

    int count = getgroups(0, nullptr);
    std::vector<gid_t> now(static_cast<size_t>(count > 0 ? count : 0));
    if (count > 0) count = getgroups(count, now.data());
    for (int i = 0; i < count; ++i)
        if (now[static_cast<size_t>(i)] == st.st_gid || getegid() == st.st_gid) {
            report.access = GroupAccess::Member;
            return;
        }
    if (!pw) return;
    // Listed in the group database but not in this login's groups: it was added later.
    int listed = 64;
    std::vector<gid_t> groups(static_cast<size_t>(listed));
    if (getgrouplist(pw->pw_name, pw->pw_gid, groups.data(), &listed) < 0) {
        groups.resize(static_cast<size_t>(listed));
        if (getgrouplist(pw->pw_name, pw->pw_gid, groups.data(), &listed) < 0) return;
    }
    report.access = GroupAccess::NotMember;
    for (int i = 0; i < listed; ++i)
        if (groups[static_cast<size_t>(i)] == st.st_gid) report.access = GroupAccess::NeedsRelogin;
}

}  // namespace

PosixSerialDevice::PosixSerialDevice() { cancel_fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC); }

PosixSerialDevice::~PosixSerialDevice() {
    close();
    if (cancel_fd_ >= 0) ::close(cancel_fd_);
}

std::error_code PosixSerialDevice::open(const std::string& port_name) {
    close();
    report_ = OpenReport{};
    auto failed = [this](std::error_code e, OpenFailCause cause) {
        report_.error = e;
        report_.cause = cause;
        if (cause == OpenFailCause::NoPermission) fill_group(report_);
        if (cause == OpenFailCause::Busy && report_.holder.empty()) {
            pid_t pid = posix::lock_file_pid(posix::lock_file_path(report_.device));
            if (pid <= 0 || pid == getpid()) pid = posix::find_device_holder(report_.device);
            if (pid > 0) report_.holder = posix::describe_process(pid);
        }
        return e;
    };
    if (cancel_fd_ < 0) cancel_fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (cancel_fd_ < 0) return failed(last_error(), OpenFailCause::Other);

    std::string path = resolve_port_device(port_name);
    report_.device = path;
    if (path.empty()) return failed(errno_code(ENOENT), OpenFailCause::Missing);

    int fd;
    do {
        fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        int e = errno;
        return failed(errno_code(e), cause_of(e));
    }

    auto fail = [&](std::error_code e, OpenFailCause cause) {
        ::close(fd);
        return failed(e, cause);
    };
    if (!isatty(fd)) return fail(errno_code(ENOTTY), OpenFailCause::NotSerial);
    // Two programs never share the line: flock, the UUCP lock file every serial
    // program honours, and TIOCEXCL for later opens.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(errno_code(EBUSY), OpenFailCause::Busy);
    posix::UucpLock lock = posix::take_uucp_lock(path);
    if (lock.error) {
        report_.holder = posix::describe_process(lock.holder);
        return fail(lock.error, OpenFailCause::Busy);
    }
    ioctl(fd, TIOCEXCL);
    if (auto e = posix::set_raw_mode(fd)) {
        ioctl(fd, TIOCNXCL);
        posix::drop_uucp_lock(lock.path);
        return fail(e, OpenFailCause::NotSerial);
    }

    // USB adapters hold short answers for their latency timer unless asked not to.
    serial_struct ss{};
    if (ioctl(fd, TIOCGSERIAL, &ss) == 0 && !(ss.flags & ASYNC_LOW_LATENCY)) {
        ss.flags |= ASYNC_LOW_LATENCY;
        ioctl(fd, TIOCSSERIAL, &ss);  // refused by many drivers; that is fine
    }

    lock_path_ = lock.path;
    fd_ = fd;
    held_byte_ = -1;
    read_pending_ = false;
    write_pending_ = false;
    drain_cancel();  // a cancel meant for an earlier link
    {
        std::lock_guard<std::mutex> lock(counts_mutex_);
        last_counts_ = Counts{};
        read_counts(last_counts_);
    }
    return {};
}

std::error_code PosixSerialDevice::configure(const LineSettings& settings) {
    int fd = fd_.load();
    if (fd < 0) return errno_code(EBADF);
    return posix::apply_line_settings(fd, settings);
}

std::error_code PosixSerialDevice::set_write_timeout(uint32_t ms_per_byte) {
    write_ms_per_byte_ = ms_per_byte;
    return {};
}

InputEvent PosixSerialDevice::wait_for_input() {
    int fd = fd_.load();
    if (fd < 0 || cancel_fd_ < 0) return InputEvent::Error;
    for (;;) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {cancel_fd_, POLLIN, 0}};
        int r = poll(fds, 2, -1);
        if (r < 0) {
            if (errno == EINTR) continue;
            return InputEvent::Error;
        }
        if (fds[1].revents & POLLIN) {
            drain_cancel();
            return InputEvent::Cancelled;
        }
        if (held_byte_ >= 0) return InputEvent::Received;
        if (is_hang_up(fds[0].revents)) return InputEvent::HangUp;
        if (!(fds[0].revents & POLLIN)) continue;

        int waiting = 0;
        if (ioctl(fd, FIONREAD, &waiting) != 0) return errno == EIO ? InputEvent::HangUp : InputEvent::Error;
        if (waiting > 0) return InputEvent::Received;
        // Readable with nothing waiting: a read tells end of line from a late byte.
        uint8_t byte;
        ssize_t n = ::read(fd, &byte, 1);
        if (n == 1) {
            held_byte_ = byte;
            return InputEvent::Received;
        }
        if (n == 0) return InputEvent::HangUp;
        if (errno == EINTR || errno == EAGAIN) continue;
        return errno == EIO ? InputEvent::HangUp : InputEvent::Error;
    }
}

void PosixSerialDevice::cancel_wait() {
    if (cancel_fd_ < 0) return;
    uint64_t one = 1;
    while (::write(cancel_fd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void PosixSerialDevice::drain_cancel() {
    uint64_t value;
    while (::read(cancel_fd_, &value, sizeof value) < 0 && errno == EINTR) {
    }
}

bool PosixSerialDevice::read_counts(Counts& c) const {
    serial_icounter_struct ic{};
    if (ioctl(fd_.load(), TIOCGICOUNT, &ic) != 0) return false;  // ptys and many adapters have none
    c.overrun = ic.overrun + ic.buf_overrun;
    c.parity = ic.parity;
    c.frame = ic.frame;
    c.brk = ic.brk;
    return true;
}

LineStatus PosixSerialDevice::line_status() {
    LineStatus s;
    int fd = fd_.load();
    if (fd < 0) {
        s.error = errno_code(EBADF);
        return s;
    }
    int waiting = 0;
    if (ioctl(fd, FIONREAD, &waiting) != 0)
        s.error = last_error();
    else
        s.bytes_waiting = static_cast<size_t>(waiting > 0 ? waiting : 0) + (held_byte_ >= 0 ? 1 : 0);

    std::lock_guard<std::mutex> lock(counts_mutex_);
    Counts now;
    if (read_counts(now)) {
        if (now.overrun != last_counts_.overrun) s.errors |= kLineOverrun;
        if (now.parity != last_counts_.parity) s.errors |= kLineParity;
        if (now.frame != last_counts_.frame) s.errors |= kLineFrame;
        if (now.brk != last_counts_.brk) s.errors |= kLineBreak;
        last_counts_ = now;
    }
    return s;
}

IoStart PosixSerialDevice::start_read(uint8_t* buffer, size_t length) {
    int fd = fd_.load();
    if (fd < 0) return {IoStartState::Failed, 0, errno_code(EBADF)};
    read_pending_ = false;
    if (length == 0) return {IoStartState::Completed, 0, {}};

    size_t got = 0;
    int held = held_byte_.exchange(-1);
    if (held >= 0) buffer[got++] = static_cast<uint8_t>(held);
    for (;;) {
        ssize_t n = ::read(fd, buffer + got, length - got);
        if (n > 0) return {IoStartState::Completed, got + static_cast<size_t>(n), {}};
        if (n < 0 && errno == EINTR) continue;
        if (got > 0) return {IoStartState::Completed, got, {}};
        if (n == 0 || errno == EAGAIN) break;
        return {IoStartState::Failed, 0, last_error()};
    }
    read_buffer_ = buffer;
    read_length_ = length;
    read_done_ = 0;
    read_pending_ = true;
    return {IoStartState::Pending, 0, {}};
}

IoWait PosixSerialDevice::wait_read() {
    int fd = fd_.load();
    if (!read_pending_) return {IoWaitState::Failed, 0, errno_code(EINVAL)};
    if (fd < 0) {
        read_pending_ = false;
        return {IoWaitState::Failed, 0, errno_code(EBADF)};
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReadWaitMs);
    for (;;) {
        pollfd pfd = {fd, POLLIN, 0};
        int r = poll(&pfd, 1, ms_until(deadline));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            read_pending_ = false;
            return {IoWaitState::Failed, read_done_, last_error()};
        }
        if (r == 0) break;  // nothing came in time: an empty read, as a read time-out gives
        if (is_hang_up(pfd.revents)) {
            read_pending_ = false;
            return {IoWaitState::Failed, read_done_, errno_code(EIO)};
        }
        ssize_t n = ::read(fd, read_buffer_ + read_done_, read_length_ - read_done_);
        if (n > 0) {
            read_done_ += static_cast<size_t>(n);
            break;
        }
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        read_pending_ = false;
        return {IoWaitState::Failed, read_done_, n == 0 ? errno_code(EIO) : last_error()};
    }
    read_pending_ = false;
    return {IoWaitState::Done, read_done_, {}};
}

IoStart PosixSerialDevice::start_write(const uint8_t* buffer, size_t length) {
    int fd = fd_.load();
    if (fd < 0) return {IoStartState::Failed, 0, errno_code(EBADF)};
    write_pending_ = false;
    size_t done = 0;
    while (done < length) {
        ssize_t n = ::write(fd, buffer + done, length - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return {IoStartState::Failed, 0, last_error()};
        break;  // the output queue is full
    }
    if (done == length) return {IoStartState::Completed, length, {}};

    uint32_t allowance = write_ms_per_byte_.load();
    write_buffer_ = buffer;
    write_length_ = length;
    write_done_ = done;
    write_has_deadline_ = allowance != 0;
    write_deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(uint64_t{allowance} * length);
    write_pending_ = true;
    return {IoStartState::Pending, done, {}};  // what already went out, for the curious
}

IoWait PosixSerialDevice::wait_write() {
    int fd = fd_.load();
    if (!write_pending_) return {IoWaitState::Failed, 0, errno_code(EINVAL)};
    write_pending_ = false;
    if (fd < 0) return {IoWaitState::Failed, write_done_, errno_code(EBADF)};
    while (write_done_ < write_length_) {
        int timeout = write_has_deadline_ ? ms_until(write_deadline_) : -1;
        if (write_has_deadline_ && timeout == 0) break;  // the allowance is used up: a short write
        pollfd pfd = {fd, POLLOUT, 0};
        int r = poll(&pfd, 1, timeout);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return {IoWaitState::Failed, write_done_, last_error()};
        if (r == 0) continue;  // the deadline is checked at the top
        if (is_hang_up(pfd.revents)) return {IoWaitState::Failed, write_done_, errno_code(EIO)};
        ssize_t n = ::write(fd, write_buffer_ + write_done_, write_length_ - write_done_);
        if (n > 0) {
            write_done_ += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        return {IoWaitState::Failed, write_done_, n == 0 ? errno_code(EIO) : last_error()};
    }
    return {IoWaitState::Done, write_done_, {}};
}

void PosixSerialDevice::set_dtr(bool raised) {
    int fd = fd_.load();
    if (fd < 0) return;
    int bit = TIOCM_DTR;
    ioctl(fd, raised ? TIOCMBIS : TIOCMBIC, &bit);  // a pty has no DTR: ENOTTY is no failure
}

void PosixSerialDevice::purge() {
    int fd = fd_.load();
    if (fd < 0) return;
    tcflush(fd, TCIOFLUSH);
    held_byte_ = -1;
}

void PosixSerialDevice::close() {
    int fd = fd_.exchange(-1);
    if (fd >= 0) {
        // Exclusive mode outlives the descriptor; left set, it would refuse this
        // user's next open.
        ioctl(fd, TIOCNXCL);
        ::close(fd);  // also drops the flock
    }
    posix::drop_uucp_lock(lock_path_);
    lock_path_.clear();
    read_pending_ = false;
    write_pending_ = false;
    held_byte_ = -1;
}

std::unique_ptr<SerialDevice> make_posix_serial() { return std::make_unique<PosixSerialDevice>(); }

}  // namespace kc
