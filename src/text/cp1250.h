// Text: Windows-1250, the single-byte code page of everything inside the core, to and
// from Unicode at the UI boundary. A character Windows-1250 cannot hold becomes '?'.
#pragma once
#include <string>
#include <string_view>

namespace kc {

// Unicode code point of a Windows-1250 byte; the five undefined bytes map to U+FFFD.
char32_t cp1250_to_unicode(unsigned char byte);
// Windows-1250 byte of a code point, or -1 when the code page has none.
int unicode_to_cp1250(char32_t code_point);

std::string cp1250_to_utf8(std::string_view text);
// Invalid UTF-8 sequences and unmappable characters become '?'.
std::string utf8_to_cp1250(std::string_view utf8);

std::u16string cp1250_to_utf16(std::string_view text);
std::string utf16_to_cp1250(std::u16string_view utf16);

}  // namespace kc
