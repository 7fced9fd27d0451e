// Thresholds and value ranges on every unit against a comparison made in double precision,
// including saturating float thresholds, NaN voxels and thresholds, and empty ranges.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "filters/qel_threshold.h"
#include "segment/segment_support.hpp"

namespace {

using segtest::get;
using segtest::Volume;

constexpr int kNx = 7, kNy = 5, kNz = 3;

QelValue value_from_voxel(const QelRawVolumeData* v, int64_t i) {
    QelValue q{};
    const int w = segtest::width_of(v->unit[0]);
    std::memcpy(q.bytes, static_cast<const unsigned char*>(v->data[0]) + i * w, w);
    // Bytes past the unit's width must not matter.
    std::memset(q.bytes + w, 0xA5, sizeof q.bytes - w);
    return q;
}

// Checks that every voxel became inside(before) ? 1 : 0 and that the result counts the ones.
template <class Inside>
void expect_binarised(const std::vector<double>& before, const QelRawVolumeData* after, int result, Inside inside) {
    int ones = 0;
    for (size_t i = 0; i < before.size(); ++i) {
        const bool in = inside(before[i]);
        ones += in;
        ASSERT_EQ(get(after, 0, int64_t(i)), in ? 1.0 : 0.0) << "voxel " << i << " value " << before[i];
    }
    EXPECT_EQ(result, ones);
}

std::vector<double> values_of(const QelRawVolumeData* v) {
    std::vector<double> out;
    for (int64_t i = 0; i < segtest::voxels(v); ++i) out.push_back(get(v, 0, i));
    return out;
}

TEST(Threshold, EveryUnitAgainstItsOwnVoxelValues) {
    for (int unit = 0; unit < 8; ++unit) {
        for (int64_t pick : {0, 17, 50, 104}) {
            Volume v = segtest::new_volume(kNx, kNy, kNz, unit);
            segtest::fill_random_bytes(v.get(), 0, 1000 + unit * 7 + uint32_t(pick));
            const QelValue t = value_from_voxel(v.get(), pick);
            const double td = get(v.get(), 0, pick);
            const auto before = values_of(v.get());
            const int r = QEL_ThresholdChannel(v.get(), 0, &t);
            SCOPED_TRACE(testing::Message() << "unit " << unit << " threshold " << td);
            expect_binarised(before, v.get(), r, [&](double x) { return x >= td; });
        }
    }
}

TEST(Threshold, RangesOnEveryUnitIncludingEmptyOnes) {
    for (int unit = 0; unit < 8; ++unit) {
        for (auto [a, b] : {std::pair<int64_t, int64_t>{3, 40}, {40, 3}, {9, 9}, {0, 104}}) {
            Volume v = segtest::new_volume(kNx, kNy, kNz, unit);
            segtest::fill_random_bytes(v.get(), 0, 77 + unit * 13 + uint32_t(a * 5 + b));
            const QelTypedValueRange range{value_from_voxel(v.get(), a), value_from_voxel(v.get(), b)};
            const double lo = get(v.get(), 0, a), hi = get(v.get(), 0, b);
            const auto before = values_of(v.get());
            const int r = QEL_SelectRangeOfChannel(v.get(), 0, &range);
            SCOPED_TRACE(testing::Message() << "unit " << unit << " range " << lo << ".." << hi);
            expect_binarised(before, v.get(), r, [&](double x) { return lo <= x && x <= hi; });
        }
    }
}

TEST(Threshold, MinAboveMaxSelectsNothing) {
    Volume v = segtest::new_volume(4, 4, 4, QEL_VOXEL_UNIT_INT16);
    for (int i = 0; i < 64; ++i) segtest::set(v.get(), 0, i, i - 32);
    QelValue* lo = QEL_NewValue(10.0f, QEL_VOXEL_UNIT_INT16);
    QelValue* hi = QEL_NewValue(-10.0f, QEL_VOXEL_UNIT_INT16);
    const QelTypedValueRange range{*lo, *hi};
    EXPECT_EQ(QEL_SelectRangeOfChannel(v.get(), 0, &range), 0);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(get(v.get(), 0, i), 0.0);
    free(lo);
    free(hi);
}

// Float thresholds: truncated toward zero into integer units, saturating outside the unit's
// range; used as they are by the float units. NaN selects nothing.
TEST(Threshold, FloatThresholdsPerUnit) {
    const float inf = std::numeric_limits<float>::infinity();
    const float thresholds[] = {0.0f,     2.9f,       -0.5f,      -1.0f,     -127.9f,  -128.5f, -129.0f,
                                127.9f,   128.0f,     255.5f,     256.0f,    300.0f,   -40000.0f, 65535.0f,
                                65536.0f, 2147483648.0f, -2147483648.0f, 4294967296.0f, 1e20f, -1e20f,
                                inf,      -inf,       std::nanf("")};
    for (int unit = 0; unit < 8; ++unit) {
        for (float t : thresholds) {
            Volume v = segtest::new_volume(kNx, kNy, kNz, unit);
            segtest::fill_random_bytes(v.get(), 0, 555 + unit);
            // Put the unit's extremes and zero among the voxels.
            const double lo[8] = {0, -128, 0, -32768, 0, -2147483648.0, -inf, -inf};
            const double hi[8] = {255, 127, 65535, 32767, 4294967295.0, 2147483647.0, inf, inf};
            segtest::set(v.get(), 0, 0, lo[unit]);
            segtest::set(v.get(), 0, 1, hi[unit]);
            segtest::set(v.get(), 0, 2, 0.0);
            segtest::set(v.get(), 0, 3, 2.0);
            const auto before = values_of(v.get());
            const int r = QEL_ThresholdChannelAtFloat(v.get(), 0, t);
            SCOPED_TRACE(testing::Message() << "unit " << unit << " threshold " << t);
            if (unit < 6) {
                const double tt = std::trunc(double(t));
                expect_binarised(before, v.get(), r, [&](double x) { return x >= tt; });
            } else {
                expect_binarised(before, v.get(), r, [&](double x) { return x >= double(t); });
            }
        }
    }
}

TEST(Threshold, EdgeCases) {
    Volume v = segtest::new_volume(3, 3, 3, QEL_VOXEL_UNIT_UINT8);
    segtest::fill_random_bytes(v.get(), 0, 9);
    EXPECT_EQ(QEL_ThresholdChannelAtFloat(v.get(), 0, 0.0f), 27);  // every voxel

    // 2.9 on bytes keeps v >= 2; -0.5 on a signed channel keeps v >= 0.
    Volume b = segtest::new_volume(5, 1, 1, QEL_VOXEL_UNIT_UINT8);
    for (int i = 0; i < 5; ++i) segtest::set(b.get(), 0, i, i);
    EXPECT_EQ(QEL_ThresholdChannelAtFloat(b.get(), 0, 2.9f), 3);
    Volume s = segtest::new_volume(5, 1, 1, QEL_VOXEL_UNIT_INT8);
    for (int i = 0; i < 5; ++i) segtest::set(s.get(), 0, i, i - 2);
    EXPECT_EQ(QEL_ThresholdChannelAtFloat(s.get(), 0, -0.5f), 3);
    EXPECT_EQ(get(s.get(), 0, 1), 0.0);
    EXPECT_EQ(get(s.get(), 0, 2), 1.0);

    // Float results are 1.0 and 0.0; NaN voxels are outside every range.
    Volume f = segtest::new_volume(3, 1, 1, QEL_VOXEL_UNIT_FLOAT32);
    segtest::set(f.get(), 0, 0, std::nan(""));
    segtest::set(f.get(), 0, 1, 0.25);
    segtest::set(f.get(), 0, 2, -3.0);
    QelTypedValueRange all{};
    const float lo = -std::numeric_limits<float>::infinity(), hi = std::numeric_limits<float>::infinity();
    std::memcpy(all.min.bytes, &lo, 4);
    std::memcpy(all.max.bytes, &hi, 4);
    EXPECT_EQ(QEL_SelectRangeOfChannel(f.get(), 0, &all), 2);
    EXPECT_EQ(static_cast<float*>(f->data[0])[0], 0.0f);
    EXPECT_EQ(static_cast<float*>(f->data[0])[1], 1.0f);

    // Refusals touch nothing.
    EXPECT_EQ(QEL_ThresholdChannel(v.get(), 0, nullptr), 0);
    EXPECT_EQ(QEL_SelectRangeOfChannel(v.get(), 0, nullptr), 0);
    EXPECT_EQ(QEL_ThresholdChannelAtFloat(nullptr, 0, 1.0f), 0);
    EXPECT_EQ(QEL_ThresholdChannelAtFloat(v.get(), 1, 1.0f), 0);
    v->unit[0] = 8;
    EXPECT_EQ(QEL_ThresholdChannelAtFloat(v.get(), 0, 1.0f), 0);
    v->unit[0] = 0;

    uint8_t line[3] = {5, 6, 7};
    EXPECT_EQ(QEL_ThresholdArray_Uint8(line, 0, 1), 0);
    EXPECT_EQ(QEL_SelectRangeOfArray_Uint8(line, -3, 0, 9), 0);
    EXPECT_EQ(line[0], 5);
    double dl[2] = {1.5, -2.0};
    EXPECT_EQ(QEL_ThresholdArray_Float64(dl, 2, -2.0), 2);
    int32_t il[3] = {-5, 0, 5};
    EXPECT_EQ(QEL_SelectRangeOfArray_Int32(il, 3, -5, 0), 2);
    EXPECT_EQ(il[2], 0);
}

}  // namespace
