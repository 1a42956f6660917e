// Script runner: taking one line from the script text and turning a line into the
// command text for a price slot.
#pragma once
#include <cstddef>

namespace kc {

// The line buffer: 260 characters. A line taken from the file keeps at most 249;
// placeholder expansion may grow it up to 259 (the rest is cut).
inline constexpr size_t kLineBuffer = 260;
inline constexpr size_t kLineMaxTaken = 249;
inline constexpr size_t kLineMaxExpanded = kLineBuffer - 1;

struct ScriptLine {
    char text[kLineBuffer] = {};  // always NUL-terminated at `length`
    size_t length = 0;
};

// Takes the line starting at `pos` of the zero-terminated script text into `line`
// and returns the read position of the next line. `last` is set when the line ended
// on the text's terminating zero.
//
// A line ends on CR, on LF, or at its 250th character (which is dropped). After a CR
// or a cut, everything up to and including the next LF is skipped; when no LF
// follows, the position stays on the terminating zero, so the next take gives an
// empty last line. After a lone LF the next line starts right behind it.
size_t take_line(const char* text, size_t pos, ScriptLine& line, bool& last);

// True for a line that names a controller digit '0'..'7'.
bool is_address_line(const ScriptLine& line);

// The price slot number (3..7) a line goes to, or 0 when it goes nowhere: the first
// character must be '0'..'7' and the second '1'..'5'. The command text is written to
// `command` (at least 16 bytes for a B line; the whole line otherwise, cut to `size`).
int route_line(const ScriptLine& line, char* command, size_t size);

}  // namespace kc
