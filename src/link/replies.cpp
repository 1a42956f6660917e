// Controller exchange: what an answer means, chosen by the slot in flight. Runs on the
// port reader thread holding link_lock and reply_lock.
#include "link/replies.h"

#include <cstring>
#include <string>

#include "link/polling.h"
#include "link/price_batch.h"
#include "preview/display_model.h"
#include "preview/price_preview.h"
#include "platform/ui_host.h"
#include "protocol/frame.h"
#include "resources/command_ids.h"
#include "resources/texts.h"
#include "storage/logs.h"
#include "storage/settings_file.h"

namespace kc {

namespace {

void complete_taken(Program& p, const char* taken);

bool in(int v, int lo, int hi) { return v >= lo && v <= hi; }

// Leading decimal digits; a text without digits gives 0.
int leading_number(const char* text) {
    int v = 0;
    for (const char* c = text; *c >= '0' && *c <= '9'; ++c) {
        v = v * 10 + (*c - '0');
        if (v > 100000000) break;  // reply texts are short; never overflow
    }
    return v;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Two characters read as hex, stopping at the first that is not a digit.
uint8_t hex_byte(const char* two) {
    int hi = hex_digit(two[0]);
    if (hi < 0) return 0;
    int lo = hex_digit(two[1]);
    return static_cast<uint8_t>(lo < 0 ? hi : (hi << 4) | lo);
}

// The sign's codes of the Polish letters back to Windows-1250.
uint8_t cp1250_from_sign_code(uint8_t c) {
    static const uint8_t table[32] = {0xB9, 0xA5, 0xE6, 0xC6, 0xEA, 0xCA, 0xB3, 0xA3, 0xF1, 0xD1, 0xF3,
                                      0xD3, 0x9C, 0x8C, 0xBF, 0xAF, 0x9F, 0x8F, 0x92, 0x93, 0x94, 0x95,
                                      0x96, 0x97, 0x98, 0x99, 0x9A, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF};
    return c >= 0x80 && c <= 0x9F ? table[c - 0x80] : c;
}

// The slot's test on the reply letter (frame[1]) and the frame length L.
bool frame_fits_slot(int slot, const uint8_t* frame, size_t L) {
    char letter = static_cast<char>(frame[1]);
    if (slot == 1 || slot == 2) {
        if (letter != '0' && letter != '1') return false;
        if (L < 5) return false;
        // The sign's echo of the read request itself.
        if (L == 7 && frame[2] == '0' && frame[3] == '2') return false;
        return true;
    }
    if (in(slot, 3, 7)) return (letter == 'C' && L == 35) || (letter == 'M' && L == 10);
    if (L < 6) return false;
    if (slot == 9 || slot == 29) return letter == 'S';
    if (in(slot, 10, 14) || in(slot, 20, 24))
        return letter == 'l' || letter == 'o' || letter == 'L' || letter == 'O' || letter == 'P';
    if (slot == 16 || slot == 47) return letter == 'V';
    if (slot == 28) return letter == 'T';
    if (in(slot, 30, 41)) return letter == 'l' || letter == 'o' || letter == 'L' || letter == 'O';
    if (slot == 42) return letter == 'A' && L == 6;
    if (slot == 45) return letter == 'Z' && L == 6;
    return false;
}

void stop_reply_timer(Program& p, MainRecord& r) {
    if (r.reply_timer_on) {
        p.ui->kill_timer(kPanelWindow, kTimerReply);
        r.reply_timer_on = false;
    }
}

// C: 15 segment images in wire order, two hex characters each.
void take_segments(Program& p, const char* text) {
    ProgramState& s = p.state;
    for (int f = 0; f < 5; ++f)
        for (int d = 0; d < 3; ++d) s.price_segments[f][d] = wire_to_place(hex_byte(text + 6 * f + 2 * d));
    rebuild_price_preview(p, s.current_command);
    complete_command(p);
}

// M: five flag characters.
void take_blink(Program& p, const char* text) {
    ProgramState& s = p.state;
    for (int f = 0; f < 5; ++f) s.price_blink[f] = text[f] == '1' ? 1 : 0;
    rebuild_price_preview(p, s.current_command);
    complete_command(p);
}

// l, L, o, O of the price controller in slots 30..41.
void take_price_light_setting(Program& p, int slot, char letter, const char* text) {
    int v = leading_number(text);
    auto& ls = p.state.light_settings;
    if (letter == 'L') ls[kPriceHighLevel] = v;
    if (letter == 'l') ls[kPriceLowLevel] = v;
    if (letter == 'O' && in(slot, 37, 41)) ls[kPricePowerHigh1 + slot - 37] = v;
    if (letter == 'o' && in(slot, 31, 35)) ls[kPricePowerLow1 + slot - 31] = v;
    complete_command(p);
}

// l, L, o, O, P of a display controller in slots 10..14 (display 1) and 20..24 (display 2).
void take_display_setting(Program& p, int slot, char letter, const char* text) {
    complete_command(p);
    int d = slot <= 14 ? 0 : 1;
    int v = leading_number(text);
    auto& ls = p.state.light_settings;
    switch (letter) {
    case 'L': ls[4 * d + 0] = v; break;
    case 'O': ls[4 * d + 1] = v; break;
    case 'l': ls[4 * d + 2] = v; break;
    case 'o': ls[4 * d + 3] = v; break;
    case 'P': p.state.scroll_speed[d] = v; break;
    default: break;
    }
}

// The text a display holds, read back: "00"/"10", the flag and the text in Windows-1250.
void take_display_text(Program& p, int slot, const uint8_t* frame, size_t L) {
    ProgramState& s = p.state;
    char taken[sizeof s.current_command];
    copy_text(taken, sizeof taken, s.current_command);
    char* cc = s.current_command;
    size_t n = 0;
    cc[n++] = slot == 1 ? '0' : '1';
    cc[n++] = '0';
    cc[n++] = static_cast<char>(frame[1]);
    for (size_t i = 2; i + 3 < L && n + 1 < sizeof s.current_command; ++i)
        cc[n++] = static_cast<char>(cp1250_from_sign_code(frame[i]));
    cc[n] = '\0';
    rebuild_display_preview(p, slot, cc);
    complete_taken(p, taken);
}

}  // namespace

ReplyKind reply_kind(int slot, bool query_pending) {
    const ReplyKind ack{AnswerMode::Ack, 0};
    const ReplyKind none{AnswerMode::None, 0};
    auto data = [](int limit) { return ReplyKind{AnswerMode::Data, limit}; };
    auto either = [&](int limit) { return query_pending ? data(limit) : ack; };

    if (slot == 1 || slot == 2) return either(85);
    if (in(slot, 3, 7)) return either(35);
    if (slot == 9) return data(8);
    if (in(slot, 10, 14) || in(slot, 20, 24)) return either(8);
    if (slot == 15 || slot == 25) return ack;
    if (slot == 16) return data(35);
    if (slot == 28) return data(10);
    if (slot == 29) return data(8);
    if (in(slot, 30, 41)) return either(8);
    if (slot == 42) return either(35);
    if (slot == 43 || slot == 44 || slot == 46) return ack;
    if (slot == 45) return query_pending ? data(35) : none;
    if (slot == 47) return data(35);
    return none;  // 8, 17..19, 26, 27 and anything outside 1..47
}

void release_slot(Program& p, int number, const char* taken) {
    SlotRef ref = slot(p.state, number);
    if (!ref) return;
    // Waited for, so the slot is freed even while a producer writes: producers hold
    // slot_lock only to write slots and never wait for link_lock or reply_lock, which
    // the callers here hold (teardown takes those only after the reader has ended).
    LockGuard slots(p.state.slot_lock);
    if (std::strncmp(ref.text, taken, ref.capacity) == 0) ref.pending->store(0, std::memory_order_release);
    // The next command may go once the caller lets go of the exchange's locks.
    wake_polling_after_exchange(p.state);
}

namespace {

// Completing with the text that was taken from the slot, which current_command may no
// longer hold (a display read-back replaces it).
void complete_taken(Program& p, const char* taken) {
    MainRecord* r = get_record(p);
    if (!r) return;
    stop_reply_timer(p, *r);
    release_slot(p, r->current_slot, taken);
    r->query_pending = false;
    r->current_slot = 0;
    if (r->connected)
        set_panel_text(p, kIdStatus, txt(r->script_running ? Txt::StatusConnectedScript : Txt::StatusConnected));
}

}  // namespace

void complete_command(Program& p) { complete_taken(p, p.state.current_command); }

void handle_ack(Program& p, int slot) {
    MainRecord* r = get_record(p);
    if (!r) return;
    // Slots awaiting data (29, 45, 47, and any query in flight) take no acknowledge.
    if (reply_kind(slot, r->query_pending).mode != AnswerMode::Ack) return;
    if (slot == 1 || slot == 2) rebuild_display_preview(p, slot, p.state.current_command);
    if (in(slot, 3, 7)) rebuild_price_preview(p, p.state.current_command);
    // Before the slot is freed, so that the queue never looks idle between a batch and
    // the read-back that confirms it.
    price_batch_acknowledged(p, slot);
    complete_command(p);
}

void handle_frame(Program& p, int slot, uint8_t* frame, size_t length) {
    MainRecord* r = get_record(p);
    if (!r || length < 5 || length > kFrameBufferSize) return;
    if (!frame_fits_slot(slot, frame, length)) return;
    if (!frame_checksum_matches(frame, length)) {
        ++p.state.blad_crc;
        ++p.state.blad_transmisji;
        return;
    }
    frame[length - 3] = 0;
    const char letter = static_cast<char>(frame[1]);
    const char* text = reinterpret_cast<const char*>(frame) + 2;  // after the letter
    ProgramState& s = p.state;

    if (slot == 1 || slot == 2) {
        take_display_text(p, slot, frame, length);
    } else if (in(slot, 3, 7)) {
        if (letter == 'C')
            take_segments(p, text);
        else
            take_blink(p, text);
        price_reply_taken(p, letter);
    } else if (slot == 29) {
        complete_command(p);
        if (r->connected) set_panel_text(p, kIdLightLevel, text);
        s.light_level = leading_number(text);
        if (r->log_traffic) log_light_level(p, text);
    } else if (slot == 9) {
        complete_command(p);
        if (r->log_traffic) log_display_light_level(p, text);
    } else if (in(slot, 10, 14) || in(slot, 20, 24)) {
        take_display_setting(p, slot, letter, text);
    } else if (slot == 16) {
        s.display_controller_version.set(std::string("ver.") + text);
        complete_command(p);
    } else if (slot == 28) {
        complete_command(p);
        if (r->connected) set_panel_text(p, kIdTemperature, text);
        if (r->log_traffic) log_temperature(p, text);
    } else if (in(slot, 30, 41)) {
        take_price_light_setting(p, slot, letter, text);
    } else if (slot == 42) {
        r->auto_backlight = text[0] == '1';
        complete_command(p);
    } else if (slot == 45) {
        r->backlight_on = text[0] == '1';
        int on = r->backlight_on ? 1 : 0;
        if (s.shown_backlight != on) {
            s.shown_backlight = on;
            p.ui->invalidate(kPanelWindow, kPreviewBulbColumn);
        }
        complete_command(p);
    } else if (slot == 47) {
        s.price_controller_version.set(std::string("ver.") + text);
        stop_reply_timer(p, *r);
        // The version is the last answer of a read-back: save what it read, once.
        if (r->readback_active.exchange(false)) save_settings_locked(p);
        complete_command(p);
    }
}

}  // namespace kc
