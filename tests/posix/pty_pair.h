// Tests (POSIX serial): a pseudo-terminal pair. The test holds the master side; the
// device under test opens the slave path.
#pragma once
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "platform/serial_device.h"

namespace kc::test {

class PtyPair {
public:
    PtyPair() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) {
            char name[128];
            if (ptsname_r(master_, name, sizeof name) == 0) slave_path_ = name;
        }
    }
    ~PtyPair() { close_master(); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return master_ >= 0 && !slave_path_.empty(); }
    const std::string& slave_path() const { return slave_path_; }
    int master() const { return master_; }

    void write(const std::string& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n > 0) done += static_cast<size_t>(n);
            else wait_for(POLLOUT, 1000);
        }
    }
    // Reads until `count` bytes came or `timeout_ms` passed.
    std::string read(size_t count, int timeout_ms = 5000) {
        std::string got;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
            char buffer[4096];
            ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, count - got.size()));
            if (n > 0) got.append(buffer, static_cast<size_t>(n));
            else wait_for(POLLIN, 50);
        }
        return got;
    }
    // Reads whatever arrives until nothing has come for `quiet_ms`.
    size_t drain(int quiet_ms = 200) {
        size_t total = 0;
        while (wait_for(POLLIN, quiet_ms)) {
            char buffer[65536];
            ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n <= 0) break;
            total += static_cast<size_t>(n);
        }
        return total;
    }
    void close_master() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

private:
    bool wait_for(short events, int timeout_ms) {
        pollfd pfd = {master_, events, 0};
        return poll(&pfd, 1, timeout_ms) > 0 && (pfd.revents & events);
    }

    int master_ = -1;
    std::string slave_path_;
};

// Writes on `device` until the line takes no more: the master reads nothing, and the
// kernel moves bytes on to the master side a little later, so keep at it until a
// write finds no room at all. Returns false if the line never filled.
inline bool fill_output(SerialDevice& device) {
    static const std::string chunk(1 << 16, 'x');
    for (int i = 0; i < 500; ++i) {
        IoStart s = device.start_write(reinterpret_cast<const uint8_t*>(chunk.data()), chunk.size());
        if (s.state == IoStartState::Failed) return false;
        if (s.state == IoStartState::Pending && s.bytes == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// Polls `done` until it holds or `timeout_ms` passed; returns done().
inline bool eventually(const std::function<bool()>& done, int timeout_ms = 5000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace kc::test
