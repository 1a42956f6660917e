// Application core: the MainRecord of the main window, the program-wide state with
// the command slot table, and the four spin locks. Every other subsystem reads and
// writes its state here.
//
// Threads: the UI thread, the polling thread, the port reader and the script thread
// share this state. Every field more than one of them touches is an atomic; a slot's
// text is written before its pending flag is set (release) and read after the flag is
// seen (acquire). Texts guarded by a spin lock are plain arrays.
#pragma once
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/autostart.h"
#include "platform/clock.h"
#include "platform/geometry.h"
#include "platform/head_office_check.h"
#include "platform/password_store.h"
#include "platform/port_discovery.h"
#include "platform/serial_device.h"
#include "platform/ui_host.h"
#include "state/extra_settings.h"
#include "state/poll_wake.h"

namespace kc {

// ---- spin locks -------------------------------------------------------------
// A counter changed only by atomic increment and decrement.
//   acquire: increment; while the value is not 1: decrement, sleep 1 ms, increment.
//   try:     increment and test for 1; decrement afterwards in every case.
//   release: decrement.
// A decrement that leaves the lock free also gives a wake-up asked for with
// signal_on_release, so a thread woken for work does not find the lock still held.
struct SpinLock {
    std::atomic<int32_t> count{0};
    std::atomic<PollWake*> wake_on_release{nullptr};

    void acquire();
    void release();
    // Increments and returns whether the lock is now held; the caller must call
    // release() afterwards whatever the answer (TryLock does that).
    bool try_enter();
    int32_t value() const { return count.load(); }
    // Signals `wake` once the lock is free: when its holder lets go, or now if nobody holds it.
    void signal_on_release(PollWake& wake);

private:
    void leave();
};

class LockGuard {
public:
    explicit LockGuard(SpinLock& lock) : lock_(lock) { lock_.acquire(); }
    ~LockGuard() { lock_.release(); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    SpinLock& lock_;
};

class TryLock {
public:
    explicit TryLock(SpinLock& lock) : lock_(lock), held_(lock_.try_enter()) {}
    ~TryLock() { lock_.release(); }
    bool held() const { return held_; }
    TryLock(const TryLock&) = delete;
    TryLock& operator=(const TryLock&) = delete;

private:
    SpinLock& lock_;
    bool held_;
};

// ---- command slots ------------------------------------------------------------
// A flag byte (1 pending, 0 free) and a NUL-terminated command text; Size counts both.
template <size_t Size>
struct CommandSlot {
    std::atomic<uint8_t> pending{0};
    char text[Size - 1] = {};
};
using DisplaySlot = CommandSlot<128>;  // slots 1, 2: text up to 126 characters
using Slot = CommandSlot<32>;          // slots 3..47: text up to 30 characters

inline constexpr int kFirstSlot = 1;
inline constexpr int kLastSlot = 47;

// A slot by its number 1..47.
struct SlotRef {
    std::atomic<uint8_t>* pending = nullptr;
    char* text = nullptr;
    size_t capacity = 0;  // bytes of text including the NUL
    explicit operator bool() const { return pending != nullptr; }
};

// ---- light settings ---------------------------------------------------------------
enum LightSetting : int {
    kDisplay1HighLevel = 0,
    kDisplay1HighPower = 1,
    kDisplay1LowLevel = 2,
    kDisplay1LowPower = 3,
    kDisplay2HighLevel = 4,
    kDisplay2HighPower = 5,
    kDisplay2LowLevel = 6,
    kDisplay2LowPower = 7,
    kPriceHighLevel = 8,
    kPriceLowLevel = 9,
    kPricePowerHigh1 = 10,  // ..14 for prices 1..5
    kPricePowerLow1 = 15,   // ..19 for prices 1..5
    kLightSettingCount = 20
};

// ---- text display model ---------------------------------------------------------
struct DisplayModel {
    uint8_t text[128] = {};  // the sign's character codes 0x20..0x91
    uint8_t length = 0;
    uint8_t negative = 0;
    uint8_t matrix[7][9] = {};  // row 0 on top; column 0 is bit 7 of byte 8
    uint8_t scroll_index = 0;
    uint8_t scroll_column = 0;
};

// A short text written by one thread and read by another.
class SharedText {
public:
    void set(const std::string& text);
    std::string get() const;

private:
    mutable std::mutex mutex_;
    char text_[64] = {};
};

// ---- the main window's record ----------------------------------------------------
inline constexpr int kScreenRows = 512;
inline constexpr int kScreenColumns = 623;

struct MainRecord {
    std::unique_ptr<SerialDevice> port_handle;
    std::atomic<uint8_t> port_number{1};
    std::atomic<uint8_t> timeout_count{0};
    std::array<uint8_t, kScreenRows * kScreenColumns> screen{};
    std::atomic<bool> connected{false};
    std::atomic<bool> script_running{false};
    std::atomic<bool> backlight_on{false};
    std::atomic<bool> poll_run{false};
    std::atomic<bool> scroll1_timer_on{false};
    std::atomic<bool> scroll2_timer_on{false};
    std::atomic<bool> reply_timer_on{false};
    std::atomic<bool> status_timers_on{false};
    std::atomic<bool> blink_timer_on{false};  // timer 6 runs only while a price blinks
    bool local_echo = false;
    bool cr_is_newline = false;
    bool auto_wrap = false;
    std::atomic<bool> query_pending{false};
    std::atomic<bool> readback_active{false};
    std::atomic<bool> show_line_errors{true};
    std::atomic<bool> test_mode{false};
    std::atomic<bool> log_traffic{false};
    std::atomic<bool> auto_backlight{false};
    std::atomic<bool> hide_on_minimize{false};
    std::atomic<uint8_t> data_bits{8};
    std::atomic<uint8_t> parity{kParityNone};
    std::atomic<uint8_t> stop_bits{kStopBits1};
    std::atomic<uint32_t> baud_rate{19200};
    uint16_t caret_shown = 0;
    FontSpec font_spec;  // the host makes the font from it
    Color text_color = 0;
    std::atomic<int32_t> current_slot{0};
    int32_t client_width = 0, client_height = 0;
    int32_t scroll_range_x = 0, scroll_range_y = 0;
    int32_t scroll_x = 0, scroll_y = 0;
    int32_t cursor_column = 0, cursor_row = 0;
    int32_t char_width = 1, char_height = 1;
    std::thread reader_thread;
    std::thread script_thread;
    std::thread poll_thread;
    WindowId owner_window = kMainWindow;
    std::atomic<uint32_t> reader_thread_id{0};
    std::atomic<uint32_t> script_thread_id{0};
    std::atomic<uint32_t> poll_thread_id{0};

    // Cooperative stop of the script thread: a stop request wakes a pause at once.
    std::mutex script_mutex;
    std::condition_variable script_wake;
    bool script_stop = false;  // guarded by script_mutex
};

// ---- program-wide state ------------------------------------------------------------
struct ProgramState {
    char work_directory[260] = {};
    char price_labels[5][32] = {"AAA", "BBB", "CCC", "DDD", "EEE"};  // written under settings_lock
    std::atomic<Color> price_label_colors[5] = {0x00FF00, 0x00FFFF, 0x0000FF, 0xFFFFFF, 0xFF0000};
    std::atomic<uint8_t> price_segments[5][3] = {};
    std::atomic<uint8_t> price_blink[5] = {};
    std::atomic<uint8_t> blink_phase{0};
    std::atomic<int32_t> scroll_speed[2] = {20, 20};
    std::atomic<int32_t> light_level{-1};
    std::atomic<int32_t> light_settings[kLightSettingCount] = {
        255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255};

    DisplaySlot display_slots[2];
    Slot price_slots[5];
    Slot slot_group_a[32];  // slots 8..17 in entries 0..9
    Slot slot_group_b[32];  // slots 18..27
    Slot slot_group_c[32];  // slots 28..47 in entries 0..19

    // Text of the command in flight. Written by the polling thread holding link_lock,
    // slot_lock and reply_lock; read by holders of link_lock and reply_lock.
    char current_command[128] = {};
    std::atomic<int32_t> slot_cursor{0};
    std::atomic<int32_t> ilosc_transmisji{0};
    std::atomic<int32_t> blad_transmisji{0};
    std::atomic<int32_t> blad_crc{0};
    // Every byte read from the port, so the link can tell silence from a wrong answer.
    std::atomic<uint64_t> bytes_received{0};
    // Logs whose failure the operator has been told of in this run (one flag per log).
    std::atomic<bool> log_failure_told[5] = {};
    std::atomic<int32_t> shown_backlight{0};
    SharedText price_controller_version;
    SharedText display_controller_version;

    SpinLock slot_lock;
    SpinLock reply_lock;
    SpinLock link_lock;
    SpinLock settings_lock;
    // The polling thread sleeps here while it has no work (fill_slot and
    // clear_command_queue signal it).
    PollWake poll_wake;

    // Traffic log: appends from several threads are serialised here.
    std::mutex traffic_log_mutex;
    int64_t last_log_header_time = 0;  // guarded by traffic_log_mutex
    uint32_t last_log_tick = 0;        // guarded by traffic_log_mutex

    // Text display models; rebuild (worker threads) and scroll step (UI) take the mutex.
    std::mutex display_mutex;
    DisplayModel displays[2];

    // Script runner: the file's bytes, read only by the script thread.
    char script_text[30000] = {};

    // The colour chooser's custom colours, kept for the run.
    CustomColors custom_colors = {0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,
                                  0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF};
};

// ---- the program --------------------------------------------------------------------
// The main window as the core sees it: its record (the window's extra word), the
// program-wide state and the platform services. Operations "given the main window"
// take a Program&.
struct Program {
    UiHost* ui = nullptr;
    Clock* clock = nullptr;
    SerialFactory make_serial;
    // Device a port name reaches on this machine ("COM1" → "/dev/ttyUSB0"), for the
    // transmission dialog; may be empty.
    std::function<std::string(int port_number)> describe_port;
    // Starts the port reader thread for an open port (set by the link); false when the
    // thread cannot be started.
    bool (*start_reader)(Program&) = nullptr;
    // Serial devices present, hot-plug and the COMn links; may be empty.
    std::shared_ptr<PortDiscovery> discovery;
    // Start at login; empty where the host cannot register it.
    std::shared_ptr<Autostart> autostart;
    // Where the head-office password is kept; empty where the host has none.
    std::shared_ptr<PasswordStore> passwords;
    // Connects once to head office's broker with the values given ("Sprawdź
    // połączenie"); empty where the program has no link.
    HeadOfficeCheck check_head_office;

    std::unique_ptr<MainRecord> record;  // null before creation and after destruction
    ProgramState state;
    ExtraSettings extra;  // the extra settings file beside KavorCen.ini
    // Price batches in flight and the hooks told of their outcome (link/price_batch.h).
    std::shared_ptr<struct PriceTracker> price_tracker;
    std::once_flag price_tracker_once;
    // Failed writes waiting to be told together (storage/file_report.h).
    std::shared_ptr<struct FileTrouble> file_trouble;
    std::once_flag file_trouble_once;
    // Station events and their hooks (app/station_events.h).
    std::shared_ptr<struct StationEventHub> station_events;
    std::once_flag station_events_once;
};

// The record of the main window, or nullptr.
inline MainRecord* get_record(Program& p) { return p.record.get(); }

// Slot 1..47, or an empty SlotRef for any other number.
SlotRef slot(ProgramState& s, int number);
// Writes a command text into slot `number` (cut to what the slot holds), then marks it
// pending and wakes the polling thread for when slot_lock is free again. The caller holds
// slot_lock. Returns false for a bad slot number. Mark slots pending only through here.
bool fill_slot(ProgramState& s, int number, const char* text);
bool slot_pending(ProgramState& s, int number);
std::string slot_text(ProgramState& s, int number);

// Frees every slot (both display slots, the five price slots and all 32 entries of each
// group), leaving the texts, and sets query_pending and current_slot to 0. Wakes the
// polling thread, whose command in flight may have been the one that held it.
void clear_command_queue(Program& p);

// Sets or reads a control of the panel (status 556, temperature 557, light level 558,
// price edits...). Any thread: the control store never waits for the UI thread.
void set_panel_text(Program& p, int control_id, const std::string& text);
std::string panel_text(Program& p, int control_id, size_t max_chars = static_cast<size_t>(-1));

// Copies at most size-1 bytes of src into dst and terminates it.
void copy_text(char* dst, size_t size, const char* src);

}  // namespace kc
