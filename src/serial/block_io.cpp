// Serial link: block reads and writes on the open port, with their line-error texts.
#include "serial/block_io.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "storage/logs.h"

namespace kc {

namespace {

// A device that keeps answering "still incomplete" must not hold the reader or the
// writer for ever; past this many reports the wait counts as failed.
constexpr int kMaxIncompleteWaits = 100;

void produce(Program& p, MainRecord& r, const std::string& text) {
    if (r.log_traffic.load()) log_traffic_text(p, text);
}

std::string error_text(unsigned code) {
    char text[32];
    std::snprintf(text, sizeof text, "<CE-%u>", code);
    return text;
}

// After a failure: the line's error flags, when there are any and they are wanted.
void produce_line_flags(Program& p, MainRecord& r, SerialDevice& port) {
    LineStatus status = port.line_status();
    if (status.errors != 0 && r.show_line_errors.load()) produce(p, r, error_text(status.errors));
}

}  // namespace

size_t read_block(Program& p, uint8_t* buffer, size_t max_length) {
    MainRecord* r = get_record(p);
    if (!r || !r->port_handle) return 0;
    SerialDevice& port = *r->port_handle;

    size_t length = std::min(max_length, port.line_status().bytes_waiting);
    if (length == 0) return 0;

    size_t count = 0;
    IoStart start = port.start_read(buffer, length);
    if (start.state == IoStartState::Completed) {
        count = start.bytes;
    } else if (start.state == IoStartState::Pending) {
        for (int incomplete = 0;;) {
            IoWait wait = port.wait_read();
            if (wait.state == IoWaitState::Done) {
                count = wait.bytes;
                break;
            }
            count = wait.bytes;
            if (wait.state == IoWaitState::Incomplete) {
                produce(p, *r, "<CE>");
                if (++incomplete < kMaxIncompleteWaits) continue;
                break;
            }
            produce(p, *r, error_text(static_cast<unsigned>(wait.error.value())));
            produce_line_flags(p, *r, port);
            break;
        }
    } else {
        produce_line_flags(p, *r, port);
    }
    count = std::min(count, length);
    p.state.bytes_received += count;

    if (r->log_traffic.load()) log_traffic_block(p, buffer, count);
    return count;
}

int write_block(Program& p, const uint8_t* buffer, size_t length) {
    MainRecord* r = get_record(p);
    if (!r || !r->port_handle) return 0;
    SerialDevice& port = *r->port_handle;

    port.line_status();  // clears line errors left from before; the values are not used

    IoStart start = port.start_write(buffer, length);
    if (start.state == IoStartState::Completed) {
        if (r->log_traffic.load()) log_traffic_block(p, buffer, length);
        return 1;
    }
    if (start.state == IoStartState::Failed) {
        produce_line_flags(p, *r, port);
        return 0;
    }

    // The device reports the bytes moved so far, so the last report is the total.
    size_t total = 0;
    for (int incomplete = 0;;) {
        IoWait wait = port.wait_write();
        total = wait.bytes;
        if (wait.state == IoWaitState::Done) break;
        if (wait.state == IoWaitState::Incomplete) {
            produce(p, *r, "<CE>");
            if (++incomplete < kMaxIncompleteWaits) continue;
            break;
        }
        produce(p, *r, error_text(static_cast<unsigned>(wait.error.value())));
        produce_line_flags(p, *r, port);
        break;
    }
    if (total != length) {
        char text[80];
        std::snprintf(text, sizeof text, "\nProbable Write Timeout: Total of %ld bytes sent", static_cast<long>(total));
        produce(p, *r, text);
    }
    if (r->log_traffic.load()) log_traffic_block(p, buffer, length);
    return 1;
}

}  // namespace kc
