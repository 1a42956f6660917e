// Controller protocol: the frame STX, payload, two hex digits of an XOR checksum
// started at 0x72, ETX; the acknowledge byte 0x06; gathering received frames.
#pragma once
#include <cstddef>
#include <cstdint>

#include "state/state.h"

namespace kc {

inline constexpr uint8_t kStx = 0x02;
inline constexpr uint8_t kEtx = 0x03;
inline constexpr uint8_t kAck = 0x06;
inline constexpr uint8_t kChecksumStart = 0x72;
inline constexpr size_t kFrameBufferSize = 256;

uint8_t frame_checksum(const uint8_t* payload, size_t length);
// Builds the frame of a NUL-terminated payload (at most 251 bytes are taken) into
// `out`; returns its length (payload + 4).
size_t build_frame(const char* payload, uint8_t out[kFrameBufferSize]);
// Frames the payload and hands it to write_block. 0 only without a record.
int send_frame(Program& p, const char* payload);

// Gathers reply frames byte by byte; its state survives between blocks.
struct FrameGatherer {
    uint8_t frame[kFrameBufferSize] = {};
    uint8_t length = 0;  // also the store position
    bool gathering = false;

    // Feeds one byte. Returns true when it completed a frame STX..ETX of `length`
    // bytes in `frame`, not longer than `limit`; a longer frame is abandoned.
    bool feed(uint8_t byte, int limit);
};

// Checks a complete frame of length L: the XOR of positions 1..L-4 against the two
// hex digits (either case) at L-3 and L-2.
bool frame_checksum_matches(const uint8_t* frame, size_t length);

}  // namespace kc
