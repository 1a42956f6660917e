// Controller exchange: the command queue's polling thread, the reply time-out and the
// read-back.
#pragma once
#include <cstdint>

#include "state/state.h"

namespace kc {

// Starts the polling thread (poll_run set first). 1 on success, 0 otherwise.
int start_polling(Program& p);
// Clears poll_run, wakes the thread and joins it; returns at once if it already ended.
void stop_polling(Program& p);
// The thread procedure, while poll_run is set: a pass whenever it finds the three locks
// free and nothing in flight, then sleeping until there may be work (a slot filled, a
// command ended, the queue cleared, the stop). A busy lock is tried again 1 ms later.
// Returns 1.
int polling_loop(Program& p);

// What one pass did.
enum class PassResult { Nothing, Applied, Sent, SendFailed, Stalled };
// One pass, for a caller holding link_lock, slot_lock and reply_lock with nothing in flight.
// Nothing: no pending slot above slot_cursor (the cursor went back to 0).
PassResult polling_pass(Program& p);
// Wakes the polling thread once link_lock and reply_lock are free: the command in flight
// has ended and the next may go.
void wake_polling_after_exchange(ProgramState& s);

// Reply time-out period of a slot in ms (before the 10 ms platform minimum).
int reply_timeout_period(int slot, uint32_t baud_rate);
// Panel timer 3: resend twice, give up at the third time-out.
void on_reply_timeout(Program& p);
// "Czytaj z wieży": queues the read-back queries, or refuses with "Nie połączony !".
void queue_readback(Program& p);

}  // namespace kc
