// Platform layer (Qt): SIGTERM, SIGINT and SIGHUP (logout, shutdown, kill, Ctrl+C) end
// the program as "Zakończ" does, without its question: port closed, lock removed, head
// office told, files saved.
#pragma once
#include <memory>

class QSocketNotifier;

namespace kc {

class QtHost;

// While it lives, the three signals close the host's main window the normal way. The
// handler only writes a byte to a pipe; the event loop, woken by it, does the rest.
// Without a pipe the signals keep their default action. One at a time per process.
class EndSignals {
public:
    explicit EndSignals(QtHost& host);
    ~EndSignals();  // the signals' former actions come back
    EndSignals(const EndSignals&) = delete;
    EndSignals& operator=(const EndSignals&) = delete;

private:
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace kc
