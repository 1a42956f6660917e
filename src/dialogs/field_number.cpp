// Settings dialogs: reading a number typed into an edit field.
#include "dialogs/field_number.h"

#include <limits>

namespace kc {

uint32_t field_number(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    uint64_t value = 0;
    constexpr uint64_t kMax = std::numeric_limits<uint32_t>::max();
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + static_cast<uint64_t>(text[i] - '0');
        // Saturate before the 64-bit value could wrap on a very long run of digits.
        if (value > kMax) return static_cast<uint32_t>(kMax);
    }
    return static_cast<uint32_t>(value);
}

}  // namespace kc
