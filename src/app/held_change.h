// Application core: a change from head office that waits for the sign (test mode, no
// link, a script running), kept in a small file of the working folder so that it
// survives a restart. Only the newest one is kept.
#pragma once
#include <cstdint>
#include <string>

#include "platform/head_office.h"

namespace kc {

inline constexpr const char* kHeldChangeName = "KavorCen-centrala-czeka.txt";

struct HeldChange {
    CentralChange change;
    int64_t arrived = 0;  // calendar seconds it came in
    std::string reason;   // why it waits: "test_mode", "sign_disconnected", "script_running"
};

// The file's text: one "key=value" a line, prices quoted so blanks at their ends show,
// times as calendar seconds followed by the local date for people.
std::string held_change_text(const HeldChange& held);
// False when `text` is not such a file (a line missing, a value that cannot be).
bool parse_held_change(const std::string& text, HeldChange& held);

}  // namespace kc
