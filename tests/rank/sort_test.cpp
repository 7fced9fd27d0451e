// QEL_SortFloats: ordinary values against std::sort, NaN-laden arrays stay permutations
// and never leave the array (the buffers are exact-size heap blocks, so ASan sees any
// stray access), and short arrays traced by hand through the insertion steps.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "filters/qel_rank.h"

namespace {

// An exact-size heap copy, so that any access outside it is an ASan error.
std::unique_ptr<float[]> heap_copy(const std::vector<float>& v) {
    std::unique_ptr<float[]> p(new float[v.size()]);
    std::copy(v.begin(), v.end(), p.get());
    return p;
}

void sort_floats(std::vector<float>& v) {
    std::unique_ptr<float[]> p = heap_copy(v);
    QEL_SortFloats(static_cast<uint32_t>(v.size()), p.get() - 1);
    std::copy(p.get(), p.get() + v.size(), v.begin());
}

std::vector<uint32_t> sorted_bits(const std::vector<float>& v) {
    std::vector<uint32_t> b;
    for (float f : v) b.push_back(std::bit_cast<uint32_t>(f));
    std::sort(b.begin(), b.end());
    return b;
}

TEST(SortFloats, MatchesStdSortOnOrdinaryValuesWithManyDuplicates) {
    std::mt19937 rng(7);
    for (int n = 1; n <= 300; ++n) {
        for (int distinct : {1, 2, 3, 10, 1000}) {
            std::uniform_int_distribution<int> pick(0, distinct - 1);
            std::vector<float> v(n);
            for (float& f : v) f = static_cast<float>(pick(rng)) * 0.5f - 3.0f;
            std::vector<float> expected = v;
            std::sort(expected.begin(), expected.end());
            sort_floats(v);
            ASSERT_EQ(sorted_bits(v), sorted_bits(expected)) << "n=" << n;
            for (int i = 0; i < n; ++i)
                ASSERT_EQ(std::bit_cast<uint32_t>(v[i]), std::bit_cast<uint32_t>(expected[i]))
                    << "n=" << n << " distinct=" << distinct << " i=" << i;
        }
    }
}

TEST(SortFloats, PresortedReversedAndExtremeInputs) {
    const float inf = std::numeric_limits<float>::infinity();
    for (int n : {2, 7, 8, 9, 33, 257}) {
        std::vector<float> up(n), down(n);
        for (int i = 0; i < n; ++i) {
            up[i] = static_cast<float>(i);
            down[i] = static_cast<float>(n - i);
        }
        down[0] = inf;
        up[n - 1] = -inf;
        for (std::vector<float> v : {up, down}) {
            std::vector<float> expected = v;
            std::sort(expected.begin(), expected.end());
            sort_floats(v);
            EXPECT_EQ(v, expected) << "n=" << n;
        }
    }
}

TEST(SortFloats, SignedZerosOnlyChangeTheirOrder) {
    std::mt19937 rng(11);
    for (int n = 1; n <= 120; ++n) {
        std::vector<float> v(n);
        std::uniform_int_distribution<int> pick(0, 3);
        for (float& f : v) f = pick(rng) == 0 ? -0.0f : (pick(rng) == 1 ? 0.0f : static_cast<float>(pick(rng)) - 1.5f);
        std::vector<float> expected = v;
        std::sort(expected.begin(), expected.end());
        sort_floats(v);
        EXPECT_EQ(sorted_bits(v), sorted_bits(expected));
        for (int i = 0; i < n; ++i) EXPECT_EQ(v[i], expected[i]) << "n=" << n << " i=" << i;  // == treats ±0 alike
    }
}

TEST(SortFloats, NanLadenArraysStayInsideAndArePermuted) {
    std::mt19937 rng(13);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (int n = 1; n <= 300; ++n) {
        for (int nanShare : {1, 2, 4, 16}) {
            std::uniform_int_distribution<int> pick(0, nanShare - 1);
            std::uniform_int_distribution<int> val(-5, 5);
            std::vector<float> v(n);
            for (float& f : v) f = pick(rng) == 0 ? nan : static_cast<float>(val(rng));
            const std::vector<uint32_t> before = sorted_bits(v);
            std::vector<float> again = v;
            sort_floats(v);
            sort_floats(again);
            ASSERT_EQ(sorted_bits(v), before) << "n=" << n;
            // Deterministic: the same input gives the same bits.
            for (int i = 0; i < n; ++i)
                ASSERT_EQ(std::bit_cast<uint32_t>(v[i]), std::bit_cast<uint32_t>(again[i]));
        }
    }
    std::vector<float> allNan(300, nan);
    sort_floats(allNan);
    for (float f : allNan) EXPECT_TRUE(std::isnan(f));
}

TEST(SortFloats, ShortArraysFollowTheInsertionSteps) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // 3, NaN, 1: the NaN key shifts everything before it (no element is <= NaN) and lands at
    // the front; then 1 passes both the 3 and the NaN.
    std::vector<float> v = {3.0f, nan, 1.0f};
    sort_floats(v);
    EXPECT_EQ(v[0], 1.0f);
    EXPECT_TRUE(std::isnan(v[1]));
    EXPECT_EQ(v[2], 3.0f);
    // -0.0 and +0.0 keep their order under insertion (the scan stops at an element <= key).
    std::vector<float> z = {0.0f, -0.0f, 0.0f, -1.0f};
    sort_floats(z);
    EXPECT_EQ(std::bit_cast<uint32_t>(z[0]), std::bit_cast<uint32_t>(-1.0f));
    EXPECT_EQ(std::bit_cast<uint32_t>(z[1]), 0u);
    EXPECT_EQ(std::bit_cast<uint32_t>(z[2]), 0x80000000u);
    EXPECT_EQ(std::bit_cast<uint32_t>(z[3]), 0u);
    // Seven elements: insertion alone, which is stable, so the signed zeros keep their order.
    std::vector<float> seven = {2.0f, -0.0f, 1.0f, 0.0f, -0.0f, -2.0f, 0.0f};
    sort_floats(seven);
    const uint32_t expect7[] = {std::bit_cast<uint32_t>(-2.0f), 0x80000000u, 0u, 0x80000000u, 0u,
                                std::bit_cast<uint32_t>(1.0f), std::bit_cast<uint32_t>(2.0f)};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(std::bit_cast<uint32_t>(seven[i]), expect7[i]) << i;
}

TEST(SortFloats, EightElementsPartitionOnce) {
    // Traced through the steps: k = 4 swaps a[4] and a[2]; the three samples order
    // a[2] <= a[1] <= a[8]; the pivot 0 at a[1]; the scans cross once; the zeros' signs end
    // where the partition put them, unlike a stable sort.
    std::vector<float> v = {-0.0f, 5.0f, 3.0f, 0.0f, 1.0f, -1.0f, 2.0f, 4.0f};
    sort_floats(v);
    std::vector<float> expected = {-1.0f, 0.0f, 0.0f, 1.0f, 2.0f, 3.0f, 4.0f, 5.0f};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(v[i], expected[i]) << i;
    // a[4] = +0.0 moved to a[2] and became the lower sentinel, a[1] = -0.0 the pivot, which ends
    // at the partition point j = 3.
    EXPECT_EQ(std::bit_cast<uint32_t>(v[1]), 0u);
    EXPECT_EQ(std::bit_cast<uint32_t>(v[2]), 0x80000000u);
}

TEST(SortFloats, NullArrayOrZeroCountDoesNothing) {
    QEL_SortFloats(5, nullptr);
    float two[2] = {2.0f, 1.0f};
    QEL_SortFloats(0, two);  // nothing to sort: two[1] stays where it is
    EXPECT_EQ(two[1], 1.0f);
}

}  // namespace
