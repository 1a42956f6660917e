// Application core: the polling thread's wake-up. The thread sleeps here while it has
// nothing to do; whatever may give it work (a filled slot, a completed or given-up
// command, a cleared queue, the stop request) signals it.
#pragma once
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace kc {

class PollWake {
public:
    // Any thread. A signal given while nobody waits is kept for the next wait.
    void signal() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            signalled_ = true;
        }
        wake_.notify_one();
    }
    // Waits for a signal given since the last wait ended; at most `limit`.
    void wait_for(std::chrono::milliseconds limit) {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait_for(lock, limit, [this] { return signalled_; });
        signalled_ = false;
    }
    void wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, [this] { return signalled_; });
        signalled_ = false;
    }

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool signalled_ = false;  // guarded by mutex_
};

}  // namespace kc
