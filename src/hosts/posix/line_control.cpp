// Platform layer (POSIX): termios2 line settings, any speed through BOTHER.
#include "hosts/posix/line_control.h"

#include <asm/termbits.h>
#include <errno.h>
#include <sys/ioctl.h>

namespace kc::posix {

namespace {

std::error_code last_error() { return {errno, std::system_category()}; }

std::error_code get(int fd, termios2& t) {
    while (ioctl(fd, TCGETS2, &t) != 0) {
        if (errno != EINTR) return last_error();
    }
    return {};
}

std::error_code set(int fd, const termios2& t) {
    while (ioctl(fd, TCSETS2, &t) != 0) {
        if (errno != EINTR) return last_error();
    }
    return {};
}

void make_raw(termios2& t) {
    t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK | IUCLC |
                   IMAXBEL);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~CRTSCTS;
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
}

}  // namespace

std::error_code set_raw_mode(int fd) {
    termios2 t;
    if (auto e = get(fd, t)) return e;
    make_raw(t);
    t.c_cflag = (t.c_cflag & ~CSIZE) | CS8;
    return set(fd, t);
}

std::error_code apply_line_settings(int fd, const LineSettings& s) {
    if (s.baud_rate == 0 || s.data_bits < 5 || s.data_bits > 8 || s.parity > kParitySpace ||
        s.stop_bits > kStopBits2)
        return std::make_error_code(std::errc::invalid_argument);

    termios2 t;
    if (auto e = get(fd, t)) return e;
    make_raw(t);

    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = s.baud_rate;
    t.c_ospeed = s.baud_rate;

    static const tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag = (t.c_cflag & ~CSIZE) | kSizes[s.data_bits - 5];

    t.c_cflag &= ~(PARENB | PARODD | CMSPAR);
    switch (s.parity) {
        case kParityOdd: t.c_cflag |= PARENB | PARODD; break;
        case kParityEven: t.c_cflag |= PARENB; break;
        case kParityMark: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
        case kParitySpace: t.c_cflag |= PARENB | CMSPAR; break;
        default: break;
    }

    if (s.stop_bits == kStopBits1)
        t.c_cflag &= ~CSTOPB;
    else
        t.c_cflag |= CSTOPB;

    return set(fd, t);
}

}  // namespace kc::posix
