// Controller exchange: the port reader thread, started by open_port and ended by
// close_port. It finds the acknowledge byte or gathers reply frames for the command
// in flight.
#pragma once
#include <cstddef>
#include <cstdint>

#include "state/state.h"
#include "protocol/frame.h"

namespace kc {

// Installs the link's hooks on the program (Program::start_reader).
void install_link(Program& p);

// Starts port_reader on a thread (reader_thread, reader_thread_id); false on failure.
bool start_port_reader(Program& p);
// The thread procedure; 1 on a normal end, 0 when its start failed.
int port_reader(Program& p);

// Per-thread state of the reader.
struct ReaderState {
    uint8_t block[256] = {};
    FrameGatherer gatherer;
};
// Processes one block for the slot in flight (the caller holds link_lock and reply_lock).
void process_block(Program& p, ReaderState& reader, const uint8_t* block, size_t length);

}  // namespace kc
