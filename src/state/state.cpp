// Application core: spin locks, slot access and the clear-all-slots operation.
#include "state/state.h"

#include <chrono>
#include <cstring>

namespace kc {

void SpinLock::acquire() {
    count.fetch_add(1, std::memory_order_acq_rel);
    while (count.load(std::memory_order_acquire) != 1) {
        leave();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        count.fetch_add(1, std::memory_order_acq_rel);
    }
}

void SpinLock::release() { leave(); }

// Sequentially consistent, paired with signal_on_release: either the thread that frees
// the lock sees the request, or the requester sees the lock free.
void SpinLock::leave() {
    if (count.fetch_sub(1) == 1 && wake_on_release.load() != nullptr) {
        if (PollWake* wake = wake_on_release.exchange(nullptr)) wake->signal();
    }
}

void SpinLock::signal_on_release(PollWake& wake) {
    wake_on_release.store(&wake);
    if (count.load() == 0) {
        if (PollWake* w = wake_on_release.exchange(nullptr)) w->signal();
    }
}

bool SpinLock::try_enter() { return count.fetch_add(1, std::memory_order_acq_rel) + 1 == 1; }

void SharedText::set(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    copy_text(text_, sizeof text_, text.c_str());
}

std::string SharedText::get() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return text_;
}

void copy_text(char* dst, size_t size, const char* src) {
    if (size == 0) return;
    size_t n = src ? strnlen(src, size - 1) : 0;
    if (n) std::memcpy(dst, src, n);
    dst[n] = '\0';
}

namespace {

template <size_t Size>
SlotRef ref(CommandSlot<Size>& s) {
    return SlotRef{&s.pending, s.text, sizeof s.text};
}

}  // namespace

SlotRef slot(ProgramState& s, int number) {
    if (number == 1 || number == 2) return ref(s.display_slots[number - 1]);
    if (number >= 3 && number <= 7) return ref(s.price_slots[number - 3]);
    if (number >= 8 && number <= 17) return ref(s.slot_group_a[number - 8]);
    if (number >= 18 && number <= 27) return ref(s.slot_group_b[number - 18]);
    if (number >= 28 && number <= 47) return ref(s.slot_group_c[number - 28]);
    return SlotRef{};
}

bool fill_slot(ProgramState& s, int number, const char* text) {
    SlotRef r = slot(s, number);
    if (!r) return false;
    copy_text(r.text, r.capacity, text);
    r.pending->store(1, std::memory_order_release);
    s.slot_lock.signal_on_release(s.poll_wake);
    return true;
}

bool slot_pending(ProgramState& s, int number) {
    SlotRef r = slot(s, number);
    return r && r.pending->load(std::memory_order_acquire) == 1;
}

std::string slot_text(ProgramState& s, int number) {
    SlotRef r = slot(s, number);
    return r ? std::string(r.text, strnlen(r.text, r.capacity)) : std::string();
}

void set_panel_text(Program& p, int control_id, const std::string& text) {
    if (p.ui) p.ui->controls().set_text(kPanelWindow, control_id, text);
}

std::string panel_text(Program& p, int control_id, size_t max_chars) {
    return p.ui ? p.ui->controls().text(kPanelWindow, control_id, max_chars) : std::string();
}

void clear_command_queue(Program& p) {
    ProgramState& s = p.state;
    for (auto& d : s.display_slots) d.pending.store(0, std::memory_order_release);
    for (auto& d : s.price_slots) d.pending.store(0, std::memory_order_release);
    for (auto& d : s.slot_group_a) d.pending.store(0, std::memory_order_release);
    for (auto& d : s.slot_group_b) d.pending.store(0, std::memory_order_release);
    for (auto& d : s.slot_group_c) d.pending.store(0, std::memory_order_release);
    if (MainRecord* r = get_record(p)) {
        r->query_pending = false;
        r->current_slot = 0;
    }
    s.slot_lock.signal_on_release(s.poll_wake);
}

}  // namespace kc
