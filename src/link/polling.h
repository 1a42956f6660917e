// Controller exchange: the command queue's polling thread, the reply time-out and the
// read-back.
#pragma once
#include <cstdint>

#include "state/state.h"

namespace kc {

// Starts the polling thread (poll_run set first). 1 on success, 0 otherwise.
int start_polling(Program& p);
// Clears poll_run and joins the thread; returns at once if it already ended.
void stop_polling(Program& p);
// The thread procedure: a pass every millisecond while poll_run is set. Returns 1.
int polling_loop(Program& p);
// One pass, for a caller holding link_lock, slot_lock and reply_lock with nothing in flight.
void polling_pass(Program& p);

// Reply time-out period of a slot in ms (before the 10 ms platform minimum).
int reply_timeout_period(int slot, uint32_t baud_rate);
// Panel timer 3: resend twice, give up at the third time-out.
void on_reply_timeout(Program& p);
// "Czytaj z wieży": queues the read-back queries, or refuses with "Nie połączony !".
void queue_readback(Program& p);

}  // namespace kc
