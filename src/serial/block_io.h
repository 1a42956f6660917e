// Serial link: reading and writing blocks on the open port, with the line-error texts
// "<CE>", "<CE-%u>" and the write time-out text going to the traffic log.
#pragma once
#include <cstddef>
#include <cstdint>

#include "state/state.h"

namespace kc {

// Reads what is waiting, at most max_length bytes; returns the count (0 when nothing
// was waiting or the read failed).
size_t read_block(Program& p, uint8_t* buffer, size_t max_length);
// Writes the whole buffer; 1 when the write was started (even if it fell short), 0
// when it could not be started or there is no record.
int write_block(Program& p, const uint8_t* buffer, size_t length);

}  // namespace kc
