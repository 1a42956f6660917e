// Text tests: Windows-1250 to and from UTF-8 and UTF-16.
#include "text/cp1250.h"

#include <gtest/gtest.h>

#include "text/format_text.h"

namespace kc {
namespace {

bool undefined_byte(int b) { return b == 0x81 || b == 0x83 || b == 0x88 || b == 0x90 || b == 0x98; }

TEST(Cp1250, every_defined_byte_round_trips_through_utf8_and_utf16) {
    for (int b = 0; b <= 0xFF; ++b) {
        if (undefined_byte(b)) continue;
        const std::string one(1, static_cast<char>(b));
        EXPECT_EQ(utf8_to_cp1250(cp1250_to_utf8(one)), one) << std::hex << b;
        EXPECT_EQ(utf16_to_cp1250(cp1250_to_utf16(one)), one) << std::hex << b;
        EXPECT_EQ(unicode_to_cp1250(cp1250_to_unicode(static_cast<unsigned char>(b))), b) << std::hex << b;
    }
    // Bytes of the upper half never decode to ASCII, and no two decode alike.
    for (int a = 0x80; a <= 0xFF; ++a) {
        if (undefined_byte(a)) continue;
        EXPECT_GE(cp1250_to_unicode(static_cast<unsigned char>(a)), 0x80u);
        for (int b = a + 1; b <= 0xFF; ++b) {
            if (undefined_byte(b)) continue;
            EXPECT_NE(cp1250_to_unicode(static_cast<unsigned char>(a)), cp1250_to_unicode(static_cast<unsigned char>(b)));
        }
    }
}

TEST(Cp1250, undefined_bytes_show_as_replacement_and_come_back_as_question_mark) {
    for (int b : {0x81, 0x83, 0x88, 0x90, 0x98}) {
        EXPECT_EQ(cp1250_to_unicode(static_cast<unsigned char>(b)), U'\uFFFD');
        EXPECT_EQ(utf8_to_cp1250(cp1250_to_utf8(std::string(1, static_cast<char>(b)))), "?");
    }
}

TEST(Cp1250, polish_letters_map_to_their_bytes) {
    EXPECT_EQ(utf8_to_cp1250("ąćęłńóśźż"), "\xB9\xE6\xEA\xB3\xF1\xF3\x9C\x9F\xBF");
    EXPECT_EQ(utf8_to_cp1250("ĄĆĘŁŃÓŚŹŻ"), "\xA5\xC6\xCA\xA3\xD1\xD3\x8C\x8F\xAF");
    EXPECT_EQ(cp1250_to_utf8("B\xA3\xA5" "D TRANSMISJI"), "BŁĄD TRANSMISJI");
    EXPECT_EQ(cp1250_to_utf16("\x9C\x8F"), u"śŹ");
    EXPECT_EQ(utf16_to_cp1250(u"Poziom światła :"), "Poziom \x9Cwiat\xB3" "a :");
    EXPECT_EQ(utf8_to_cp1250("€ §"), "\x80 \xA7");
}

TEST(Cp1250, characters_the_code_page_lacks_become_question_marks) {
    EXPECT_EQ(utf8_to_cp1250("a日本b"), "a??b");
    EXPECT_EQ(utf8_to_cp1250("x\xF0\x9F\x98\x80y"), "x?y");  // one character outside the BMP
    EXPECT_EQ(utf16_to_cp1250(u"x\U0001F600y"), "x?y");      // a surrogate pair is one character
    EXPECT_EQ(utf16_to_cp1250(std::u16string(u"a") + char16_t(0xD800) + u"b"), "a?b");
    EXPECT_EQ(utf16_to_cp1250(std::u16string(1, char16_t(0xDC00))), "?");
    EXPECT_EQ(unicode_to_cp1250(U'\uFFFD'), -1);
    EXPECT_EQ(unicode_to_cp1250(0x110000), -1);
}

TEST(Cp1250, invalid_utf8_becomes_question_marks_without_eating_good_text) {
    EXPECT_EQ(utf8_to_cp1250("\x80"), "?");        // a continuation byte alone
    EXPECT_EQ(utf8_to_cp1250("ab\xC5"), "ab?");     // cut off at the end
    EXPECT_EQ(utf8_to_cp1250("\xC5" "A"), "?A");    // lead byte without its continuation
    EXPECT_EQ(utf8_to_cp1250("\xE2\x82" "A"), "??A");
    EXPECT_EQ(utf8_to_cp1250("\xFF\xFE"), "??");
    EXPECT_EQ(utf8_to_cp1250("\xED\xA0\x80"), "?");  // an encoded surrogate
    // Overlong forms never turn into the byte they spell.
    for (const char* overlong : {"\xC0\xAF", "\xC0\x80", "\xC1\xBF", "\xE0\x80\xAF", "\xF0\x80\x80\xAF"}) {
        std::string out = utf8_to_cp1250(overlong);
        EXPECT_EQ(out.find('/'), std::string::npos) << out;
        EXPECT_EQ(out.find('\0'), std::string::npos);
        EXPECT_EQ(out.find('\x7F'), std::string::npos);
        EXPECT_FALSE(out.empty());
    }
    // Every input byte yields at most one output byte.
    std::string junk;
    for (int i = 0; i < 4096; ++i) junk += static_cast<char>((i * 7919) & 0xFF);
    EXPECT_LE(utf8_to_cp1250(junk).size(), junk.size());
}

TEST(Cp1250, nul_bytes_are_kept) {
    const std::string with_nul("a\0b", 3);
    EXPECT_EQ(utf8_to_cp1250(cp1250_to_utf8(with_nul)), with_nul);
}

// A box wraps at blanks: a short group in parentheses stays with the word before it.
TEST(KeepParenthesesTogether, short_groups_are_glued_and_long_ones_left_to_wrap) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"wybierzesz w Ustawieniach (Urządzenie :).", "wybierzesz w Ustawieniach\u00a0(Urządzenie\u00a0:)."},
        {"wysłano 4.59 (nie mruga), wieża", "wysłano 4.59\u00a0(nie\u00a0mruga), wieża"},
        {"portu (urządzenie /dev/serial/by-id/usb-FTDI_FT232R-if00).",
         "portu (urządzenie /dev/serial/by-id/usb-FTDI_FT232R-if00)."},
        {"nawias (bez końca", "nawias (bez końca"},
        {"(na\npotem) x", "(na\npotem) x"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(keep_parentheses_together(utf8_to_cp1250(c.in)), utf8_to_cp1250(c.out)) << c.in;
}

}  // namespace
}  // namespace kc
