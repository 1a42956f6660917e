// Application core: the link as the operator sees it. "Połącz" says why it failed; a
// new link that hears nothing says what was tried; a device that goes away is told
// once and, when it comes back, connected again without the operator.
//
// Threads: UI thread only. Worker threads reach it through posted commands
// (kCmdLinkLost from the port reader, kCmdPortsChanged from the hot-plug watch).
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "state/state.h"

namespace kc {

class SignWatch;

class Connection {
public:
    explicit Connection(Program& p) : p_(p) {}

    // "Połącz": opens the port; a failure is told with its cause. True when connected.
    bool connect_by_operator();
    // "Łącz z wieżą przy starcie": connects as "Połącz" does, but a failure opens no box:
    // the panel line says what the program waits for, and the link comes up by itself
    // once the device can be opened. True when connected at once.
    bool connect_at_start();
    // The operator ended the link or chose test mode: stop waiting for the device.
    void operator_acted();
    // "Rozłącz" or "Test" while the link is up (before it is torn down): head office and
    // the sign watch hear that the link is down.
    void ended_by_operator(bool to_test_mode);
    // The port reader saw the device go away (kCmdLinkLost).
    void link_lost();
    // A serial device came or went (kCmdPortsChanged), and the watch timer's tick.
    void ports_changed();
    void on_timer();

    // The hot-plug watch, from the main window's creation to its destruction.
    void start_watching_ports();
    void stop_watching_ports();

    bool waiting_for_device() const { return waiting_; }
    // Told of every link-up and link-down; may be null.
    void set_sign_watch(SignWatch* watch) { watch_ = watch; }

private:
    // Every successful connect, by the operator or by itself, passes here: status
    // timers, menu, and the watch for a sign that does not answer.
    void link_up();
    void try_reconnect();
    void update_timer();
    void clear_start_wait();
    void show_once(std::shared_ptr<std::atomic<bool>> open, const std::string& text, bool warning);
    void link_down(const std::string& detail);

    Program& p_;
    SignWatch* watch_ = nullptr;
    std::string device_;             // what the live (or lost) link's COM name reached
    uint64_t bytes_at_connect_ = 0;  // bytes_received when the link came up
    int32_t errors_at_connect_ = 0;  // blad_transmisji when the link came up
    bool listening_ = false;         // waiting for the first answer of a new link
    bool waiting_ = false;           // the device went away; reconnect when it is back
    bool loss_told_ = false;         // the loss was told; again only after the sign answered
    bool timer_on_ = false;
    bool automatic_ = false;        // the live link was made by the reconnect
    bool start_wait_shown_ = false;  // the panel line tells of the wait at start
    int fruitless_reconnects_ = 0;  // automatic links lost before the sign said anything
    std::shared_ptr<std::atomic<bool>> lost_box_ = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<std::atomic<bool>> silent_box_ = std::make_shared<std::atomic<bool>>(false);
};

}  // namespace kc
