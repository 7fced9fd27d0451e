// The element loop of the unit conversion: single-precision pass, the four maps and the
// store rules, checked against a reference written with fmod instead of integer casts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "volume/qel_convert.h"

namespace {

constexpr int kUnitSizes[8] = {1, 1, 2, 2, 4, 4, 4, 8};
constexpr double kUnitMin[6] = {0, -128, 0, -32768, 0, -2147483648.0};
constexpr double kUnitMax[6] = {255, 127, 65535, 32767, 4294967295.0, 2147483647};

// Reads element i of a unit's block as a double.
double read(const void* block, int unit, int i) {
    const unsigned char* p = static_cast<const unsigned char*>(block) + i * kUnitSizes[unit];
    switch (unit) {
        case 0: return *p;
        case 1: { int8_t v; memcpy(&v, p, 1); return v; }
        case 2: { uint16_t v; memcpy(&v, p, 2); return v; }
        case 3: { int16_t v; memcpy(&v, p, 2); return v; }
        case 4: { uint32_t v; memcpy(&v, p, 4); return v; }
        case 5: { int32_t v; memcpy(&v, p, 4); return v; }
        case 6: { float v; memcpy(&v, p, 4); return v; }
        default: { double v; memcpy(&v, p, 8); return v; }
    }
}

// Writes an exactly representable value into element i.
void write(void* block, int unit, int i, double x) {
    unsigned char* p = static_cast<unsigned char*>(block) + i * kUnitSizes[unit];
    switch (unit) {
        case 0: { uint8_t v = static_cast<uint8_t>(x); memcpy(p, &v, 1); break; }
        case 1: { int8_t v = static_cast<int8_t>(x); memcpy(p, &v, 1); break; }
        case 2: { uint16_t v = static_cast<uint16_t>(x); memcpy(p, &v, 2); break; }
        case 3: { int16_t v = static_cast<int16_t>(x); memcpy(p, &v, 2); break; }
        case 4: { uint32_t v = static_cast<uint32_t>(x); memcpy(p, &v, 4); break; }
        case 5: { int32_t v = static_cast<int32_t>(x); memcpy(p, &v, 4); break; }
        case 6: { float v = static_cast<float>(x); memcpy(p, &v, 4); break; }
        default: memcpy(p, &x, 8); break;
    }
}

// What storing r into a unit must give: truncation, then reduction modulo 2^bits done
// with fmod (exact), then the signed reading; 0 for NaN, infinities and |r| >= 2^63.
double expected_store(double r, int unit) {
    if (unit == 6) return static_cast<float>(r);
    if (unit == 7) return r;
    if (!std::isfinite(r) || std::fabs(r) >= 9223372036854775808.0) return 0.0;
    const int bits = 8 * kUnitSizes[unit];
    const double mod = std::ldexp(1.0, bits);
    // fmod of a value beyond 2^53 is exact, but the value itself is already an integer.
    double m = std::fmod(std::trunc(r), mod);
    if (m < 0) m += mod;
    if (unit % 2 == 1 && m >= mod / 2) m -= mod;
    return m;
}

// Converts one value and returns what lands in the destination.
double convert_one(double value, int srcUnit, int dstUnit, const QelValueRange* src,
                   const QelValueRange* dst, int map) {
    alignas(8) unsigned char in[8] = {}, out[8] = {};
    write(in, srcUnit, 0, value);
    QEL_ConvertVoxelArray(1, in, out, srcUnit, dstUnit, src, dst, map);
    return read(out, dstUnit, 0);
}

TEST(ElementLoop, DocumentedStoreRules) {
    EXPECT_EQ(convert_one(300, 2, 0, nullptr, nullptr, QEL_MAP_IDENTITY), 44);
    EXPECT_EQ(convert_one(-1, 1, 0, nullptr, nullptr, QEL_MAP_IDENTITY), 255);
    EXPECT_EQ(convert_one(3.7f, 6, 3, nullptr, nullptr, QEL_MAP_IDENTITY), 3);
    EXPECT_EQ(convert_one(-3.7f, 6, 3, nullptr, nullptr, QEL_MAP_IDENTITY), -3);
    // Unit 7 to unit 7 still passes through single precision.
    EXPECT_EQ(convert_one(0.1, 7, 7, nullptr, nullptr, QEL_MAP_IDENTITY), static_cast<double>(0.1f));
    // Unit 4 is read unsigned: 2^32 - 1 becomes the float 2^32, not -1.
    EXPECT_EQ(convert_one(4294967295.0, 4, 7, nullptr, nullptr, QEL_MAP_IDENTITY), 4294967296.0);
    // Unit 5 is rounded to the nearest float.
    EXPECT_EQ(convert_one(16777217, 5, 7, nullptr, nullptr, QEL_MAP_IDENTITY), 16777216.0);
    EXPECT_EQ(convert_one(-2147483647, 5, 7, nullptr, nullptr, QEL_MAP_IDENTITY), -2147483648.0);
}

TEST(ElementLoop, NonFiniteAndHugeValuesStoreZeroInIntegerUnits) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (int unit = 0; unit <= 5; ++unit) {
        SCOPED_TRACE(unit);
        EXPECT_EQ(convert_one(nan, 6, unit, nullptr, nullptr, QEL_MAP_IDENTITY), 0);
        EXPECT_EQ(convert_one(inf, 7, unit, nullptr, nullptr, QEL_MAP_IDENTITY), 0);
        EXPECT_EQ(convert_one(-inf, 6, unit, nullptr, nullptr, QEL_MAP_IDENTITY), 0);
        EXPECT_EQ(convert_one(1e30, 6, unit, nullptr, nullptr, QEL_MAP_IDENTITY), 0);
    }
    EXPECT_TRUE(std::isnan(convert_one(nan, 6, 7, nullptr, nullptr, QEL_MAP_IDENTITY)));
}

// Every pair of units under map 0 over values that reach past every unit's range.
TEST(ElementLoop, IdentityOverEveryUnitPairMatchesReference) {
    const std::vector<double> candidates = {0, 1, -1, 2.5, -2.5, 127, 128, -128, -129, 255, 256, 300,
                                            32767, 32768, -32768, -32769, 65535, 65536, 70000.75,
                                            2147483647, 2147483648.0, -2147483648.0, 4294967295.0,
                                            4294967296.0, 6e9, -6e9, 1e12, -1e12, 0.1, -0.9};
    for (int su = 0; su < 8; ++su) {
        // Keep only the values the source unit holds exactly.
        std::vector<double> values;
        for (double v : candidates) {
            if (su < 6 && (std::trunc(v) != v || v < kUnitMin[su] || v > kUnitMax[su])) continue;
            values.push_back(v);
        }
        const int n = static_cast<int>(values.size());
        std::vector<double> srcBlock(n), dstBlock(n);
        for (int i = 0; i < n; ++i) write(srcBlock.data(), su, i, values[i]);
        for (int du = 0; du < 8; ++du) {
            SCOPED_TRACE(testing::Message() << "units " << su << " -> " << du);
            QEL_ConvertVoxelArray(n, srcBlock.data(), dstBlock.data(), su, du, nullptr, nullptr, QEL_MAP_IDENTITY);
            for (int i = 0; i < n; ++i) {
                const double x = static_cast<float>(values[i]);
                EXPECT_EQ(read(dstBlock.data(), du, i), expected_store(x, du)) << values[i];
            }
        }
    }
}

TEST(ElementLoop, LinearMapsOnTheirWindow) {
    const QelValueRange src{0.0f, 4095.0f}, dst{0.0f, 255.0f};
    EXPECT_EQ(convert_one(1000, 2, 0, &src, &dst, QEL_MAP_LINEAR_CLAMP), 62);
    EXPECT_EQ(convert_one(5000, 2, 0, &src, &dst, QEL_MAP_LINEAR_CLAMP), 255);
    EXPECT_EQ(convert_one(5000, 2, 0, &src, &dst, QEL_MAP_LINEAR), 55);  // 311.35 wraps

    // A window in the middle of a 16-bit range, every source value, all four maps.
    const QelValueRange window{1000.0f, 3000.0f}, bytes{0.0f, 255.0f};
    const int n = 65536;
    std::vector<uint16_t> in(n);
    for (int i = 0; i < n; ++i) in[i] = static_cast<uint16_t>(i);
    std::vector<uint8_t> out(n);
    for (int map = 0; map < 4; ++map) {
        SCOPED_TRACE(map);
        QEL_ConvertVoxelArray(n, in.data(), out.data(), 2, 0, &window, &bytes, map);
        for (int i = 0; i < n; ++i) {
            double r = i;
            if (map == 1) r = std::min(std::max(r, 0.0), 255.0);
            if (map >= 2) r = (static_cast<double>(i) - 1000.0) * 255.0 / 2000.0;
            if (map == 3) r = std::min(std::max(r, 0.0), 255.0);
            ASSERT_EQ(out[i], expected_store(r, 0)) << i;
        }
    }
}

TEST(ElementLoop, ClampMapLimitsToDestinationRange) {
    const QelValueRange dst{10.0f, 20.0f};
    EXPECT_EQ(convert_one(5, 0, 0, nullptr, &dst, QEL_MAP_CLAMP), 10);
    EXPECT_EQ(convert_one(15, 0, 0, nullptr, &dst, QEL_MAP_CLAMP), 15);
    EXPECT_EQ(convert_one(200, 0, 3, nullptr, &dst, QEL_MAP_CLAMP), 20);
    EXPECT_EQ(convert_one(-7.5, 6, 6, nullptr, &dst, QEL_MAP_CLAMP), 10.0);
}

// The float limits of units 4 and 5 are 2^32 and 2^31; clamping to them must not wrap.
TEST(ElementLoop, ClampingMapsSaturateIntoThirtyTwoBitUnits) {
    QelValueRange* u32 = QEL_NewValueRangeOfVoxelUnit(4);
    QelValueRange* s32 = QEL_NewValueRangeOfVoxelUnit(5);
    ASSERT_TRUE(u32 && s32);
    EXPECT_EQ(convert_one(6e9, 7, 4, nullptr, u32, QEL_MAP_CLAMP), 4294967295.0);
    EXPECT_EQ(convert_one(-5, 7, 4, nullptr, u32, QEL_MAP_CLAMP), 0);
    EXPECT_EQ(convert_one(3e9, 7, 5, nullptr, s32, QEL_MAP_CLAMP), 2147483647.0);
    EXPECT_EQ(convert_one(-3e9, 7, 5, nullptr, s32, QEL_MAP_CLAMP), -2147483648.0);
    const QelValueRange src{0.0f, 1.0f};
    EXPECT_EQ(convert_one(1, 6, 4, &src, u32, QEL_MAP_LINEAR_CLAMP), 4294967295.0);
    EXPECT_EQ(convert_one(2, 6, 5, &src, s32, QEL_MAP_LINEAR_CLAMP), 2147483647.0);
    // Without clamping the same value wraps, as every unit does.
    EXPECT_EQ(convert_one(6e9, 7, 4, nullptr, nullptr, QEL_MAP_IDENTITY),
              expected_store(static_cast<float>(6e9), 4));
    QEL_DeleteValueRange(u32);
    QEL_DeleteValueRange(s32);
}

TEST(ElementLoop, RefusedCallsWriteNothing) {
    const QelValueRange r{0.0f, 1.0f};
    uint8_t in[4] = {1, 2, 3, 4};
    uint8_t out[4] = {9, 9, 9, 9};
    QEL_ConvertVoxelArray(0, in, out, 0, 0, nullptr, nullptr, 0);
    QEL_ConvertVoxelArray(-4, in, out, 0, 0, nullptr, nullptr, 0);
    QEL_ConvertVoxelArray(4, in, out, 8, 0, nullptr, nullptr, 0);
    QEL_ConvertVoxelArray(4, in, out, 0, -1, nullptr, nullptr, 0);
    QEL_ConvertVoxelArray(4, in, out, 0, 0, &r, &r, 4);
    QEL_ConvertVoxelArray(4, in, out, 0, 0, &r, &r, -1);
    QEL_ConvertVoxelArray(4, in, out, 0, 0, &r, nullptr, QEL_MAP_CLAMP);
    QEL_ConvertVoxelArray(4, in, out, 0, 0, nullptr, &r, QEL_MAP_LINEAR);
    for (uint8_t v : out) EXPECT_EQ(v, 9);
}

TEST(ValueMaps, IdentityAndClampFunctions) {
    const QelValueRange dst{-1.0f, 1.0f};
    EXPECT_EQ(QEL_MapValueIdentity(2.5f, nullptr, nullptr), 2.5);
    EXPECT_EQ(QEL_MapValueClamp(2.5f, nullptr, &dst), 1.0);
    EXPECT_EQ(QEL_MapValueClamp(-2.5f, nullptr, &dst), -1.0);
    EXPECT_EQ(QEL_MapValueClamp(0.25f, nullptr, &dst), 0.25);
}

}  // namespace
