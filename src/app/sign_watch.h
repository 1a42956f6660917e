// Application core: the sign watch. While the link is up and idle it reads the sign's
// prices back every period and at once after every link-up, compares them with the last
// confirmed prices and, when they differ, tells the panel, the journal and head office,
// and (when asked to) sends the confirmed prices again, at most three times an hour.
//
// Threads: UI thread, except the hooks, which only post to it.
#pragma once
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>

#include "link/price_batch.h"
#include "state/state.h"

namespace kc {

// The confirmed prices as the extra settings file keeps them: the blink flags first
// ("M----", so the value never starts with a blank the file would trim), then the five
// prices in the sign's digit notation, separated by ';'.
std::string confirmed_prices_text(const PriceBatch& prices);
std::optional<PriceBatch> parse_confirmed_prices(const std::string& text);
// The last confirmed prices, from p.extra; none when nothing was confirmed since they
// were last withdrawn.
std::optional<PriceBatch> last_confirmed_prices(const Program& p);

// At most kMax restores in any kWindowSeconds (rolling).
class RestoreLimit {
public:
    static constexpr int kMax = 3;
    static constexpr int64_t kWindowSeconds = 3600;
    bool allows(int64_t now);
    void record(int64_t now) { times_.push_back(now); }

private:
    std::deque<int64_t> times_;
};

// For tests and the benchmark: the watch's period in milliseconds in place of the
// minutes the settings hold, while the watch is switched on; 0 goes back to them.
void set_sign_watch_test_period(int ms);

class SignWatch {
public:
    explicit SignWatch(Program& p);
    ~SignWatch();
    SignWatch(const SignWatch&) = delete;
    SignWatch& operator=(const SignWatch&) = delete;

    // From the main window's creation to its destruction: follows confirmed batches.
    void start();
    void stop();
    // Every successful connect, and the link's end (any cause).
    void link_up();
    void link_down();
    void on_timer();

    struct Shared;

private:
    void try_read();
    void arm();

    Program& p_;
    std::shared_ptr<Shared> shared_;
    int hook_ = 0;
    bool connected_ = false;
    bool due_ = false;        // a read is owed and waits for an idle link
    int elapsed_ms_ = 0;      // since the last read, counted in ticks
    int tick_ms_ = 0;         // the timer's period now; 0 when it is off
};

}  // namespace kc
