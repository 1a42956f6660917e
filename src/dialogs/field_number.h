// Settings dialogs: reading a number typed into an edit field.
#pragma once
#include <cstdint>
#include <string_view>

namespace kc {

// The text as an unsigned decimal: blanks before it are skipped, then the leading
// decimal digits count and the rest is ignored. No digits gives 0. A number that does
// not fit 32 bits gives UINT32_MAX, so that it fails every range check.
uint32_t field_number(std::string_view text);

}  // namespace kc
