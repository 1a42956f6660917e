// Settings dialog tests: numbers typed into edit fields.
#include <gtest/gtest.h>

#include <cstdint>

#include "dialogs/field_number.h"

namespace kc {
namespace {

TEST(FieldNumber, takes_the_leading_decimal_digits) {
    EXPECT_EQ(field_number("42"), 42u);
    EXPECT_EQ(field_number("0"), 0u);
    EXPECT_EQ(field_number("255"), 255u);
    EXPECT_EQ(field_number("12abc"), 12u);
    EXPECT_EQ(field_number("1.5"), 1u);
    EXPECT_EQ(field_number("  7"), 7u);
    EXPECT_EQ(field_number("007"), 7u);
}

TEST(FieldNumber, empty_or_non_numeric_text_is_zero) {
    EXPECT_EQ(field_number(""), 0u);
    EXPECT_EQ(field_number("abc"), 0u);
    EXPECT_EQ(field_number("-5"), 0u);
    EXPECT_EQ(field_number("   "), 0u);
}

TEST(FieldNumber, a_number_too_large_for_32_bits_stays_out_of_every_range) {
    EXPECT_EQ(field_number("4294967294"), 4294967294u);
    EXPECT_EQ(field_number("4294967296"), UINT32_MAX);
    // 2^32 + 5 must not wrap to 5, nor a 25-digit number to anything small.
    EXPECT_EQ(field_number("4294967301"), UINT32_MAX);
    EXPECT_EQ(field_number("1000000000000000000000005"), UINT32_MAX);
}

}  // namespace
}  // namespace kc
