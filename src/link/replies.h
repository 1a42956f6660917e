// Controller exchange: what an answer means, chosen by the slot in flight.
#pragma once
#include <cstddef>
#include <cstdint>

#include "state/state.h"

namespace kc {

enum class AnswerMode { Ack, Data, None };

struct ReplyKind {
    AnswerMode mode = AnswerMode::None;
    int limit = 0;  // largest frame length accepted in data mode
};

// How slot `slot` answers given query_pending.
ReplyKind reply_kind(int slot, bool query_pending);

// Completes the command in flight: stops timer 3, frees the slot, clears
// query_pending and current_slot, and sets the status text when connected.
void complete_command(Program& p);
// Frees slot `slot` after its command `taken` ended, unless a producer has written a
// different command into it since it was taken: that one stays pending. Waits for
// slot_lock while a producer holds it. Wakes the polling thread for when the caller
// lets go of link_lock and reply_lock.
void release_slot(Program& p, int slot, const char* taken);
// The acknowledge byte arrived for the command in flight.
void handle_ack(Program& p, int slot);
// A complete frame of `length` bytes arrived for `slot`: slot test, checksum check
// (counting blad_crc and blad_transmisji on a mismatch), then the reply's effects.
void handle_frame(Program& p, int slot, uint8_t* frame, size_t length);

}  // namespace kc
