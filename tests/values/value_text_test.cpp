// Shift and server-ID texts: a 64-bit parse that keeps the low 32 bits, per-unit widths,
// and text that is no number reading as 0.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "unit_values.hpp"
#include "values/qel_value_text.hpp"

namespace {

TEST(ParseInt32LowBits, LeadingDecimalInteger) {
    struct Case {
        const char* text;
        int32_t expected;
    };
    const Case cases[] = {
        {"300", 300},
        {"-1", -1},
        {"  42abc", 42},
        {"+7", 7},
        {"abc", 0},
        {"", 0},
        {"0x10", 0},                      // decimal only: the leading 0
        {"2147483648", INT32_MIN},        // low 32 bits of 2^31
        {"4294967296", 0},
        {"4294967297", 1},
        {"-4294967295", 1},
        {"99999999999999999999", -1},    // saturates at INT64_MAX in 64 bits, low bits all ones
        {"-99999999999999999999", 0},    // INT64_MIN, low bits zero
        {"3.9", 3},
    };
    for (const Case& c : cases) EXPECT_EQ(qel::parse_int32_low_bits(c.text), c.expected) << '"' << c.text << '"';
    EXPECT_EQ(qel::parse_int32_low_bits(nullptr), 0);
}

// The shift as the grey offset reads it, in the unit's width.
double shift_of(const char* text, int unit) {
    QelValue v;
    std::memset(v.bytes, 0x5A, sizeof v.bytes);  // every byte must be written
    EXPECT_TRUE(qel::parse_shift(text, unit, &v));
    for (int i = valuestest::kUnitSizes[unit]; i < 8; ++i) EXPECT_EQ(v.bytes[i], 0) << "byte " << i;
    return valuestest::read(v.bytes, unit, 0);
}

TEST(ParseShift, PerUnit) {
    EXPECT_EQ(shift_of("300", 0), 44);
    EXPECT_EQ(shift_of("-3", 0), 253);
    EXPECT_EQ(shift_of("-3", 1), -3);
    EXPECT_EQ(shift_of("200", 1), -56);
    EXPECT_EQ(shift_of("-1", 2), 65535);
    EXPECT_EQ(shift_of("70000", 3), 4464);
    EXPECT_EQ(shift_of("-1", 4), 4294967295.0);
    EXPECT_EQ(shift_of("4294967296", 5), 0);
    EXPECT_EQ(shift_of("0.5", 6), 0.5);
    EXPECT_EQ(shift_of("0.1", 6), static_cast<double>(0.1f));
    EXPECT_EQ(shift_of("0.1", 7), 0.1);
    EXPECT_EQ(shift_of("0.5", 7), 0.5);
    EXPECT_EQ(shift_of("0.5", 0), 0);      // integer units read the leading integer
    EXPECT_EQ(shift_of("-2.5e1", 7), -25);
    for (int unit = 0; unit < 8; ++unit) {
        EXPECT_EQ(shift_of("abc", unit), 0) << unit;
        EXPECT_EQ(shift_of("", unit), 0) << unit;
        EXPECT_EQ(shift_of(nullptr, unit), 0) << unit;
    }
}

TEST(ParseShift, InvalidUnitLeavesAZeroShift) {
    for (int unit : {8, -1}) {
        QelValue v;
        std::memset(v.bytes, 0x5A, sizeof v.bytes);
        EXPECT_FALSE(qel::parse_shift("5", unit, &v));
        for (unsigned char b : v.bytes) EXPECT_EQ(b, 0);
    }
    EXPECT_FALSE(qel::parse_shift("5", 0, nullptr));
}

}  // namespace
