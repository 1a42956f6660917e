#include "text/format_text.h"

namespace kc {

std::string format_strings(const std::string& format, const std::vector<std::string>& args) {
    std::string out;
    size_t next = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && (format[i + 1] == 's' || format[i + 1] == '%')) {
            if (format[i + 1] == '%')
                out += '%';
            else if (next < args.size())
                out += args[next++];
            ++i;
            continue;
        }
        out += format[i];
    }
    return out;
}

std::string keep_parentheses_together(const std::string& text) {
    constexpr size_t kShortGroup = 24;
    constexpr char kNoBreakSpace = '\xA0';
    std::string out = text;
    for (size_t open = out.find('('); open != std::string::npos; open = out.find('(', open + 1)) {
        size_t close = out.find(')', open);
        if (close == std::string::npos) break;
        if (close - open > kShortGroup || out.find('\n', open) < close) continue;
        for (size_t i = open; i < close; ++i)
            if (out[i] == ' ') out[i] = kNoBreakSpace;
        if (open > 0 && out[open - 1] == ' ') out[open - 1] = kNoBreakSpace;
    }
    return out;
}

}  // namespace kc
