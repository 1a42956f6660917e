// Text: filling a message text whose every conversion is "%s".
#pragma once
#include <string>
#include <vector>

namespace kc {

// Each "%s" takes the next argument (a missing one gives nothing); "%%" is one "%".
std::string format_strings(const std::string& format, const std::vector<std::string>& args);

template <class... S>
std::string format_text(const std::string& format, const S&... args) {
    return format_strings(format, {std::string(args)...});
}

// For a box that wraps its lines at blanks: a short group in parentheses is glued to
// the word before it and within itself with no-break spaces (0xA0 in Windows-1250), so a
// wrapped line never starts with "(nie mruga)" or with ":)." alone. Longer groups (a
// path) may still wrap inside.
std::string keep_parentheses_together(const std::string& text);

}  // namespace kc
