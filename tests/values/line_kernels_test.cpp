// The line kernels of every unit against references in exact double / fmod arithmetic:
// documented cases in tables, then random blocks long enough to run whole blocks and tails.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "unit_values.hpp"

namespace {

using valuestest::Block;
using valuestest::wrap;

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

struct AddCase {
    int unit;
    double element, value, expected;
};

TEST(AddToArray, WrapsModuloTheUnitWidth) {
    const AddCase cases[] = {
        {0, 250, 10, 4},
        {0, 3, -3, 0},        // a negative shift held in the unit's low bits subtracts
        {0, 0, 300, 44},      // only the low byte of 300 is added
        {1, 127, 1, -128},
        {1, -128, -1, 127},
        {2, 0, -1, 65535},
        {2, 65535, 1, 0},
        {3, 32767, 1, -32768},
        {3, -32768, -1, 32767},
        {4, 4294967295.0, 1, 0},
        {4, 0, -1, 4294967295.0},
        {5, 2147483647, 1, -2147483648.0},  // signed overflow would be caught by UBSan
        {5, -2147483648.0, -1, 2147483647},
        {5, -2147483647, 2147483647, 0},
        {6, 1, 0x1p-30, 1},                 // rounded to float32
        {6, 16777216, 1, 16777216},
        {6, 0.5, 0.25, 0.75},
        {7, 1, 0x1p-30, 1 + 0x1p-30},
        {7, 9007199254740992.0, 1, 9007199254740992.0},
    };
    for (const AddCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "unit " << c.unit << ": " << c.element << " + " << c.value);
        Block b(c.unit, 3);
        for (int i = 0; i < 3; ++i) b.set(i, c.element);
        valuestest::add_array(c.unit, b.data(), 3, c.value);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(b.get(i), c.expected);
    }
}

TEST(AddToArray, FloatNonFiniteValuesFollowIeee) {
    for (int unit : {6, 7}) {
        Block b(unit, 3);
        b.set(0, 1);
        b.set(1, kInf);
        b.set(2, kNaN);
        valuestest::add_array(unit, b.data(), 3, -kInf);
        EXPECT_EQ(b.get(0), -kInf);
        EXPECT_TRUE(std::isnan(b.get(1)));  // inf - inf
        EXPECT_TRUE(std::isnan(b.get(2)));
    }
}

struct ScaleCase {
    int unit;
    double element;
    float scale, offset;
    double expected;
};

TEST(ScaleArray, TruncatesTowardZeroAndWraps) {
    const ScaleCase cases[] = {
        {0, 100, 3.007f, 0, 44},        // 300.7 -> 300 -> low byte 44
        {0, 1, -1.5f, 0, 255},          // -1.5 -> -1 -> 255
        {0, 200, 1, 55.9f, 255},        // 255.9 truncates, no rounding to nearest
        {1, 100, 2, 0, -56},            // 200 wraps
        {1, -7, 0.5f, 0, -3},           // -3.5 truncates toward zero
        {2, 60000, 2, 0, 54464},        // 120000 mod 65536
        {3, -20000, 2, 0, 25536},       // -40000 wraps
        {4, 4294967295.0, 1, 0, 4294967295.0},
        {4, 4294967295.0, 2, 0, 4294967294.0},
        {4, 1, -1, 0, 4294967295.0},
        {5, 2147483647, 1, 1, -2147483648.0},
        {5, -2147483648.0, -1, 0, -2147483648.0},  // 2^31 keeps its low 32 bits
        {5, 3, 1e30f, 0, 0},            // beyond 64 bits stores 0
        {0, 3, 1, NAN, 0},              // NaN stores 0
        {6, 3, 0.1f, 0, static_cast<float>(3.0 * static_cast<double>(0.1f))},
        {7, 3, 0.1f, 0.25f, 3.0 * static_cast<double>(0.1f) + 0.25},
    };
    for (const ScaleCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "unit " << c.unit << ": " << c.element << " * " << c.scale << " + "
                                        << c.offset);
        Block b(c.unit, 1);
        b.set(0, c.element);
        valuestest::scale_array(c.unit, b.data(), 1, c.scale, c.offset);
        EXPECT_EQ(b.get(0), c.expected);
    }
}

TEST(ReplaceInArray, FloatsUseIeeeEqualityAndStoreToBitForBit) {
    for (int unit : {6, 7}) {
        SCOPED_TRACE(unit);
        Block b(unit, 5);
        const double in[5] = {0.0, -0.0, kNaN, 1.0, -kNaN};
        for (int i = 0; i < 5; ++i) b.set(i, in[i]);
        valuestest::replace_array(unit, b.data(), 5, 0.0, 5.0);
        EXPECT_EQ(b.get(0), 5.0);
        EXPECT_EQ(b.get(1), 5.0);  // -0.0 == 0.0
        EXPECT_TRUE(std::isnan(b.get(2)));
        EXPECT_EQ(b.get(3), 1.0);
        EXPECT_TRUE(std::isnan(b.get(4)));

        // A NaN `from` never matches, not even NaN elements.
        valuestest::replace_array(unit, b.data(), 5, kNaN, 7.0);
        EXPECT_TRUE(std::isnan(b.get(2)));
        EXPECT_TRUE(std::isnan(b.get(4)));

        // -0.0 as `from` matches +0.0 too, and -0.0 as `to` keeps its sign bit.
        b.set(0, 0.0);
        valuestest::replace_array(unit, b.data(), 5, -0.0, -0.0);
        EXPECT_TRUE(std::signbit(b.get(0)));
    }
    // A NaN payload in `to` is stored unchanged.
    float data[2] = {1.0f, 2.0f};
    const uint32_t payload = 0x7fc12345u;
    float to;
    std::memcpy(&to, &payload, 4);
    QEL_ReplaceInArray_Float32(data, 2, 2.0f, to);
    uint32_t stored;
    std::memcpy(&stored, &data[1], 4);
    EXPECT_EQ(stored, payload);
    EXPECT_EQ(data[0], 1.0f);
}

TEST(LineKernels, CountOfZeroOrLessWritesNothing) {
    for (int unit = 0; unit < 8; ++unit) {
        SCOPED_TRACE(unit);
        for (int32_t n : {0, -1, std::numeric_limits<int32_t>::min()}) {
            Block b(unit, 4);
            for (int i = 0; i < 4; ++i) b.set(i, 9);
            valuestest::clear_array(unit, b.data(), n);
            valuestest::fill_array(unit, b.data(), n, 1);
            valuestest::add_array(unit, b.data(), n, 1);
            valuestest::replace_array(unit, b.data(), n, 9, 1);
            valuestest::scale_array(unit, b.data(), n, 2, 1);
            for (int i = 0; i < 4; ++i) EXPECT_EQ(b.get(i), 9);
        }
    }
}

// Random elements over each unit's whole range (float units: a wide spread of magnitudes
// and signs), in blocks of several lengths so that both the vector blocks and the tail run.
class RandomBlocks : public testing::TestWithParam<int> {
protected:
    std::mt19937_64 rng{20240501u + static_cast<uint64_t>(GetParam())};

    double random_element(int unit) {
        if (unit == 6 || unit == 7) {
            std::uniform_real_distribution<double> mant(-1.0, 1.0);
            std::uniform_int_distribution<int> exp(-20, 40);
            return wrap(std::ldexp(mant(rng), exp(rng)), unit);  // representable in the unit
        }
        const int bits = 8 * valuestest::kUnitSizes[unit];
        return wrap(static_cast<double>(rng() & ((uint64_t{1} << bits) - 1)), unit);
    }

    Block random_block(int unit, int64_t n) {
        Block b(unit, n);
        for (int64_t i = 0; i < n; ++i) b.set(i, random_element(unit));
        return b;
    }
};

TEST_P(RandomBlocks, AddMatchesModularReference) {
    const int unit = GetParam();
    for (int64_t n : {1, 63, 64, 65, 64 * 5 + 17}) {
        const Block before = random_block(unit, n);
        for (int trial = 0; trial < 4; ++trial) {
            const double value = random_element(unit);
            Block b = before;
            valuestest::add_array(unit, b.data(), static_cast<int32_t>(n), value);
            for (int64_t i = 0; i < n; ++i)
                ASSERT_EQ(b.get(i), wrap(before.get(i) + value, unit)) << "n " << n << " i " << i << " value " << value;
        }
    }
}

TEST_P(RandomBlocks, ScaleMatchesTruncatingReference) {
    const int unit = GetParam();
    // Scales that keep results inside 32 bits, scales that push some blocks past them, a NaN.
    const float scales[] = {1.0f, -1.0f, 0.37f, -2.5f, 3e3f, 1e12f, 1e25f};
    const float offsets[] = {0.0f, 0.5f, -1e9f, 4e9f};
    const int64_t n = 64 * 6 + 9;
    const Block before = random_block(unit, n);
    for (float scale : scales) {
        for (float offset : offsets) {
            Block b = before;
            valuestest::scale_array(unit, b.data(), static_cast<int32_t>(n), scale, offset);
            for (int64_t i = 0; i < n; ++i) {
                // The same double arithmetic; the reference differs in how it stores.
                const double r = before.get(i) * static_cast<double>(scale) + static_cast<double>(offset);
                const double want = wrap(r, unit);
                if (std::isnan(want)) {
                    ASSERT_TRUE(std::isnan(b.get(i)));
                } else {
                    ASSERT_EQ(b.get(i), want) << "scale " << scale << " offset " << offset << " x " << before.get(i);
                }
            }
        }
    }
    // A block whose results stay below 2^31, then a block with one result above it, then a tail.
    Block b(unit, 64 * 3 + 3);
    for (int64_t i = 0; i < b.n; ++i) b.set(i, i % 50);
    b.set(70, 100);
    const Block small = b;
    valuestest::scale_array(unit, b.data(), static_cast<int32_t>(b.n), 3e7f, 0.0f);
    for (int64_t i = 0; i < b.n; ++i) ASSERT_EQ(b.get(i), wrap(small.get(i) * static_cast<double>(3e7f), unit)) << i;
}

TEST_P(RandomBlocks, ReplaceFillAndClearTouchExactlyWhatTheySay) {
    const int unit = GetParam();
    const int64_t n = 64 * 4 + 7;
    Block b(unit, n);
    // Few distinct values so that `from` matches often.
    std::vector<double> pool;
    for (int k = 0; k < 4; ++k) pool.push_back(random_element(unit));
    for (int64_t i = 0; i < n; ++i) b.set(i, pool[rng() % pool.size()]);
    const Block before = b;
    const double from = pool[1], to = random_element(unit);
    valuestest::replace_array(unit, b.data(), static_cast<int32_t>(n), from, to);
    for (int64_t i = 0; i < n; ++i) ASSERT_EQ(b.get(i), before.get(i) == from ? to : before.get(i));

    const double fill = random_element(unit);
    valuestest::fill_array(unit, b.data(), static_cast<int32_t>(n - 1), fill);
    for (int64_t i = 0; i < n - 1; ++i) ASSERT_EQ(b.get(i), fill);
    ASSERT_EQ(b.get(n - 1), before.get(n - 1) == from ? to : before.get(n - 1));

    valuestest::clear_array(unit, b.data(), static_cast<int32_t>(n - 2));
    for (int64_t i = 0; i < n - 2; ++i) {
        ASSERT_EQ(b.get(i), 0);
        ASSERT_FALSE(std::signbit(b.get(i)));
    }
    ASSERT_EQ(b.get(n - 2), fill);
}

INSTANTIATE_TEST_SUITE_P(EveryUnit, RandomBlocks, testing::Range(0, 8));

}  // namespace
