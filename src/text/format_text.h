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

}  // namespace kc
