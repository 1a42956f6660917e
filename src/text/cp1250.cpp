// Text: Windows-1250 conversions.
#include "text/cp1250.h"

#include <array>
#include <cstdint>

namespace kc {
namespace {

constexpr std::array<char16_t, 128> kUpperHalf = {
#include "text/cp1250_table.inc"
};

void append_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

char to_byte_or_question(char32_t cp) {
    int b = unicode_to_cp1250(cp);
    return static_cast<char>(b < 0 ? '?' : b);
}

}  // namespace

char32_t cp1250_to_unicode(unsigned char byte) {
    if (byte < 0x80) return byte;
    char16_t cp = kUpperHalf[byte - 0x80];
    return cp == 0 ? U'\uFFFD' : cp;
}

int unicode_to_cp1250(char32_t code_point) {
    if (code_point < 0x80) return static_cast<int>(code_point);
    for (size_t i = 0; i < kUpperHalf.size(); ++i)
        if (kUpperHalf[i] != 0 && kUpperHalf[i] == code_point) return static_cast<int>(0x80 + i);
    return -1;
}

std::string cp1250_to_utf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (unsigned char c : text) append_utf8(out, cp1250_to_unicode(c));
    return out;
}

std::string utf8_to_cp1250(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    size_t i = 0;
    const size_t n = utf8.size();
    while (i < n) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        size_t extra = 0;
        char32_t cp = 0;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1, cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2, cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3, cp = c & 0x07;
        } else {
            out += '?';
            ++i;
            continue;
        }
        bool valid = i + extra < n;
        for (size_t k = 1; valid && k <= extra; ++k) {
            unsigned char cc = static_cast<unsigned char>(utf8[i + k]);
            if ((cc & 0xC0) != 0x80)
                valid = false;
            else
                cp = (cp << 6) | (cc & 0x3F);
        }
        // An overlong form would smuggle in a byte (a NUL, a slash) that the text never held.
        static constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
        if (valid && cp < kLeast[extra]) valid = false;
        if (!valid) {
            out += '?';
            ++i;
            continue;
        }
        out += to_byte_or_question(cp);
        i += extra + 1;
    }
    return out;
}

std::u16string cp1250_to_utf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (unsigned char c : text) out += static_cast<char16_t>(cp1250_to_unicode(c));
    return out;
}

std::string utf16_to_cp1250(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (size_t i = 0; i < utf16.size(); ++i) {
        char32_t cp = utf16[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        }
        out += to_byte_or_question(cp);
    }
    return out;
}

}  // namespace kc
