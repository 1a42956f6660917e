// Controller exchange: the polling thread that takes one pending slot at a time, the
// reply time-out that resends and gives up, and the read-back.
#include "link/polling.h"

#include <chrono>
#include <cstring>
#include <system_error>

#include "link/price_batch.h"
#include "link/replies.h"
#include "preview/display_model.h"
#include "preview/price_preview.h"
#include "platform/ui_host.h"
#include "protocol/commands.h"
#include "protocol/frame.h"
#include "resources/command_ids.h"
#include "resources/texts.h"
#include "storage/settings_file.h"

namespace kc {

namespace {

std::atomic<uint32_t> g_next_thread_id{1};

uint32_t new_thread_id() {
    uint32_t id = g_next_thread_id++;
    return id ? id : g_next_thread_id++;
}

bool awaits_data(int slot, const char* text) {
    if (slot == 1 || slot == 2) return text[0] && text[1] && text[2] == '2';
    if (slot >= 3 && slot <= 7) return text[0] && text[1] == '0';
    return std::strlen(text) == 3;
}

// Test mode: the command takes effect on the preview as if the sign had acknowledged it.
void apply_in_test_mode(Program& p, int number, SlotRef ref) {
    ProgramState& s = p.state;
    MainRecord* r = get_record(p);
    if (number == 1 || number == 2) rebuild_display_preview(p, number, s.current_command);
    if (number >= 3 && number <= 7) rebuild_price_preview(p, s.current_command);
    if (number == 29) {
        set_panel_text(p, kIdLightLevel, "");
        s.light_level = -1;
    }
    ref.pending->store(0, std::memory_order_release);
    r->query_pending = false;
    r->current_slot = 0;
}

}  // namespace

int start_polling(Program& p) {
    MainRecord* r = get_record(p);
    if (!r) return 0;
    if (r->poll_thread.joinable()) {
        if (r->poll_thread_id != 0) return 1;  // already running
        r->poll_thread.join();
    }
    r->poll_run = true;
    r->poll_thread_id = new_thread_id();
    try {
        r->poll_thread = std::thread([&p] { polling_loop(p); });
    } catch (const std::system_error&) {
        r->poll_run = false;
        r->poll_thread_id = 0;
        return 0;
    }
    return 1;
}

void stop_polling(Program& p) {
    MainRecord* r = get_record(p);
    if (!r) return;
    r->poll_run = false;
    if (r->poll_thread.joinable() && r->poll_thread.get_id() != std::this_thread::get_id()) r->poll_thread.join();
}

int polling_loop(Program& p) {
    MainRecord* r = get_record(p);
    if (!r) return 1;
    ProgramState& s = p.state;
    while (r->poll_run) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        // Tried in this order and released in reverse; a busy lock skips the pass.
        TryLock link(s.link_lock);
        TryLock slots(s.slot_lock);
        TryLock reply(s.reply_lock);
        if (link.held() && slots.held() && reply.held() && r->current_slot == 0 && !r->reply_timer_on)
            polling_pass(p);
    }
    r->poll_thread_id = 0;
    return 1;
}

void polling_pass(Program& p) {
    MainRecord* r = get_record(p);
    if (!r) return;
    ProgramState& s = p.state;

    int number = 0;
    for (int n = s.slot_cursor + 1; n <= kLastSlot; ++n) {
        if (n >= kFirstSlot && slot_pending(s, n)) {
            number = n;
            break;
        }
    }
    if (number == 0) {
        s.slot_cursor = 0;
        return;
    }
    SlotRef ref = slot(s, number);
    size_t room = ref.capacity < sizeof s.current_command ? ref.capacity : sizeof s.current_command;
    size_t n = strnlen(ref.text, room - 1);
    std::memcpy(s.current_command, ref.text, n);
    s.current_command[n] = '\0';

    r->current_slot = number;
    s.slot_cursor = number == kLastSlot ? 0 : number;
    r->query_pending = awaits_data(number, s.current_command);

    if (r->test_mode) {
        apply_in_test_mode(p, number, ref);
        return;
    }
    if (r->connected) {
        if (send_frame(p, s.current_command) == 1) {
            r->timeout_count = 0;
            if (!r->reply_timer_on) {
                p.ui->set_timer(kPanelWindow, kTimerReply, reply_timeout_period(number, r->baud_rate));
                r->reply_timer_on = true;
            }
        } else {
            r->query_pending = false;
            r->current_slot = 0;
        }
        ++s.ilosc_transmisji;
    }
    // Neither connected nor in test mode: the command stays in flight until the queue
    // is cleared.
}

int reply_timeout_period(int slot, uint32_t baud_rate) {
    int q = baud_rate ? static_cast<int>(19200 / baud_rate) : 0;
    if (slot == 1 || slot == 2) return q * 150;
    if (slot >= 3 && slot <= 7) return q * 100;
    if (slot == 15 || slot == 25) return 400;
    if (slot == 16 || slot == 28 || slot == 46 || slot == 47) return 150;
    return 100;
}

void on_reply_timeout(Program& p) {
    MainRecord* r = get_record(p);
    if (!r) return;
    ProgramState& s = p.state;
    TryLock reply(s.reply_lock);
    if (!reply.held() || !r->reply_timer_on) return;
    // Only tried: the port reader holds link_lock while it waits for reply_lock, so
    // waiting here could deadlock. A busy lock skips this tick; the next comes a period later.
    TryLock link(s.link_lock);
    if (!link.held()) return;

    if (r->current_slot == 0) {
        // Nothing in flight any more (the queue was cleared): the timer has no work.
        p.ui->kill_timer(kPanelWindow, kTimerReply);
        r->reply_timer_on = false;
        return;
    }

    ++s.blad_transmisji;
    set_panel_text(p, kIdStatus, txt(Txt::StatusTransmissionError));
    r->timeout_count = static_cast<uint8_t>(r->timeout_count + 1);

    if (r->timeout_count >= 3) {
        int number = r->current_slot;
        release_slot(p, number, s.current_command);
        if (r->readback_active && number == 40) {
            save_settings_locked(p);
            r->readback_active = false;
        }
        set_panel_text(p, kIdStatus, txt(Txt::StatusTransmissionError));
        set_panel_text(p, kIdLightLevel, "");
        s.light_level = -1;
        p.ui->kill_timer(kPanelWindow, kTimerReply);
        r->reply_timer_on = false;
        r->query_pending = false;
        r->current_slot = 0;
        price_slot_given_up(p, number);
    } else if (r->connected) {
        send_frame(p, s.current_command);
        ++s.ilosc_transmisji;
    }
}

void queue_readback(Program& p) {
    MainRecord* r = get_record(p);
    if (!r) return;
    if (!r->connected) {
        p.ui->message_box(kMainWindow, txt(Txt::MsgNotConnected), txt(Txt::CaptionError), MessageButtons::Ok,
                          MessageIcon::Exclamation);
        return;
    }
    LockGuard guard(p.state.slot_lock);
    for (const SlotCommand& q : readback_queries()) fill_slot(p.state, q.slot, q.text);
    note_readback_queued(p);
    // Set before the lock opens, so that no answer of this read-back can come first.
    r->readback_active = true;
}

}  // namespace kc
