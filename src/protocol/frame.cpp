// Controller protocol: building, sending, gathering and checking frames.
#include "protocol/frame.h"

#include <cstring>

#include "serial/block_io.h"

namespace kc {

namespace {

constexpr size_t kMaxPayload = kFrameBufferSize - 5;  // STX, two digits, ETX and a NUL

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Value of one hexadecimal digit in either case, or -1.
int hex_value(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

uint8_t frame_checksum(const uint8_t* payload, size_t length) {
    uint8_t sum = kChecksumStart;
    for (size_t i = 0; i < length; ++i) sum ^= payload[i];
    return sum;
}

size_t build_frame(const char* payload, uint8_t out[kFrameBufferSize]) {
    size_t n = payload ? strnlen(payload, kMaxPayload) : 0;
    uint8_t sum = frame_checksum(reinterpret_cast<const uint8_t*>(payload), n);
    out[0] = kStx;
    if (n) std::memcpy(out + 1, payload, n);
    out[n + 1] = static_cast<uint8_t>(kHexDigits[sum >> 4]);
    out[n + 2] = static_cast<uint8_t>(kHexDigits[sum & 0x0F]);
    out[n + 3] = kEtx;
    out[n + 4] = 0;
    return n + 4;
}

int send_frame(Program& p, const char* payload) {
    if (!get_record(p)) return 0;
    uint8_t frame[kFrameBufferSize];
    size_t length = build_frame(payload, frame);
    // A frame lost on the line shows up as a reply time-out, not here.
    write_block(p, frame, length);
    return 1;
}

bool FrameGatherer::feed(uint8_t byte, int limit) {
    if (byte == kStx) {
        length = 0;
        gathering = true;
    }
    if (!gathering) return false;
    frame[length] = byte;  // length is 8 bits: the position wraps inside the buffer
    ++length;
    // ETX is looked at before the limit, so a frame exactly as long as the limit counts.
    if (byte == kEtx) {
        gathering = false;
        return true;
    }
    if (static_cast<int>(length) >= limit) gathering = false;
    return false;
}

bool frame_checksum_matches(const uint8_t* frame, size_t length) {
    if (length < 4) return false;
    int high = hex_value(frame[length - 3]);
    int low = hex_value(frame[length - 2]);
    if (high < 0 || low < 0) return false;
    uint8_t sent = static_cast<uint8_t>(high * 16 + low);
    return frame_checksum(frame + 1, length - 4) == sent;
}

}  // namespace kc
