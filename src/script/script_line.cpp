// Script runner: taking one line from the script text and turning a line into the
// command text for a price slot.
#include "script/script_line.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace kc {

size_t take_line(const char* text, size_t pos, ScriptLine& line, bool& last) {
    last = false;
    size_t copied = 0;
    for (;;) {
        const char c = text[pos + copied];
        line.text[copied] = c;
        ++copied;
        if (c == '\0') {
            // The text ends here: the position stays on its zero.
            line.length = copied - 1;
            last = true;
            return pos + copied - 1;
        }
        if (c == '\n') {
            // A script saved on Linux ends its lines with LF alone.
            line.length = copied - 1;
            line.text[line.length] = '\0';
            return pos + copied;
        }
        if (c == '\r' || copied == kLineMaxTaken + 1) break;
    }
    // A CR or the 250th character: drop it and skip up to and including the next LF.
    line.length = copied - 1;
    line.text[line.length] = '\0';
    size_t next = pos + copied;
    while (text[next] != '\0' && text[next] != '\n') ++next;
    if (text[next] == '\n') ++next;
    return next;
}

bool is_address_line(const ScriptLine& line) {
    return line.length >= 1 && line.text[0] >= '0' && line.text[0] <= '7';
}

int route_line(const ScriptLine& line, char* command, size_t size) {
    if (size == 0) return 0;
    command[0] = '\0';
    if (!is_address_line(line) || line.length < 2) return 0;
    const char field = line.text[1];
    if (field < '1' || field > '5') return 0;
    const int slot_number = 3 + (field - '1');

    if (line.length >= 3 && line.text[2] == 'B') {
        // The 24 characters after B are segment flags, most significant first.
        uint32_t mask = 0;
        for (size_t k = 3; k <= 26; ++k) {
            if (k < line.length && line.text[k] != '0') mask |= 1u << (23 - (k - 3));
        }
        std::snprintf(command, size, "%c%c%c%06X", line.text[0], field, 'B', static_cast<unsigned>(mask));
        return slot_number;
    }
    const size_t n = line.length < size - 1 ? line.length : size - 1;
    std::memcpy(command, line.text, n);
    command[n] = '\0';
    return slot_number;
}

}  // namespace kc
