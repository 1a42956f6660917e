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

}  // namespace kc
