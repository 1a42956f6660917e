// Controller exchange: the port reader thread. It waits on the port, reads what came in
// and finds the acknowledge or gathers the reply frames of the command in flight.
#include "link/port_reader.h"

#include <chrono>
#include <system_error>

#include "link/replies.h"
#include "platform/ui_host.h"
#include "resources/command_ids.h"
#include "serial/block_io.h"

namespace kc {

namespace {

std::atomic<uint32_t> g_next_reader_id{1};

uint32_t new_reader_id() {
    uint32_t id = g_next_reader_id++;
    return id ? id : g_next_reader_id++;
}

}  // namespace

void install_link(Program& p) { p.start_reader = start_port_reader; }

bool start_port_reader(Program& p) {
    MainRecord* r = get_record(p);
    if (!r) return false;
    if (r->reader_thread.joinable()) {
        if (r->reader_thread_id != 0) return false;  // a reader still runs
        r->reader_thread.join();                     // one that ended on a hang-up
    }
    r->reader_thread_id = new_reader_id();
    try {
        r->reader_thread = std::thread([&p] { port_reader(p); });
    } catch (const std::system_error&) {
        r->reader_thread_id = 0;
        return false;
    }
    return true;
}

int port_reader(Program& p) {
    MainRecord* r = get_record(p);
    if (!r) return 0;
    ProgramState& s = p.state;
    ReaderState reader;
    int result = 1;
    while (r->connected) {
        SerialDevice* port = r->port_handle.get();
        if (!port) {
            result = 0;
            break;
        }
        InputEvent event = port->wait_for_input();
        if (event == InputEvent::Cancelled) continue;
        if (event == InputEvent::HangUp || event == InputEvent::Error) {
            // The device went away: the main window ends the link as "Rozłącz" does and
            // tells the operator; stop here rather than wake again at once.
            if (r->connected) p.ui->post_command(kMainWindow, kCmdLinkLost);
            break;
        }
        size_t got = 0;
        {
            LockGuard link(s.link_lock);
            LockGuard reply(s.reply_lock);
            got = read_block(p, reader.block, sizeof reader.block);
            int in_flight = r->current_slot;
            if (got > 0 && in_flight >= kFirstSlot && in_flight <= kLastSlot)
                process_block(p, reader, reader.block, got);
        }
        // Reported ready but nothing to read: do not turn that into a busy loop.
        if (got == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    r->reader_thread_id = 0;
    return result;
}

void process_block(Program& p, ReaderState& reader, const uint8_t* block, size_t length) {
    MainRecord* r = get_record(p);
    if (!r) return;
    // The slot and its kind of answer are chosen once for the whole block.
    int slot = r->current_slot;
    if (slot < kFirstSlot || slot > kLastSlot) return;
    ReplyKind kind = reply_kind(slot, r->query_pending);
    if (kind.mode == AnswerMode::Ack) {
        for (size_t i = 0; i < length; ++i) {
            if (block[i] == kAck) {
                handle_ack(p, slot);
                return;
            }
        }
        return;
    }
    if (kind.mode == AnswerMode::Data) {
        FrameGatherer& g = reader.gatherer;
        for (size_t i = 0; i < length; ++i)
            if (g.feed(block[i], kind.limit)) handle_frame(p, slot, g.frame, g.length);
    }
}

}  // namespace kc
