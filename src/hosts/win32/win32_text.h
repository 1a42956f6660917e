// Platform layer (Win32): the core's Windows-1250 texts to and from the UTF-16 of the
// W functions, so Polish letters are right on a Windows of any language.
#pragma once
#include <string>
#include <string_view>

#include "text/cp1250.h"

namespace kc {

inline std::wstring wide_text(std::string_view cp1250) {
    std::u16string u = cp1250_to_utf16(cp1250);
    return std::wstring(u.begin(), u.end());
}

inline std::string core_text(std::wstring_view wide) {
    return utf16_to_cp1250(std::u16string(wide.begin(), wide.end()));
}

// A UTF-8 resource text (templates, menu) as UTF-16.
inline std::wstring resource_text(const char* utf8) { return utf8 ? wide_text(utf8_to_cp1250(utf8)) : std::wstring(); }

}  // namespace kc
