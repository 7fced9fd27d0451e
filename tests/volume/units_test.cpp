// Voxel units, value ranges, single values, integer ranges and typed arrays.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "volume/qel_units.h"

namespace {

// Independent reference for storing a real into an integer unit of `bits` bits: truncate,
// reduce modulo 2^bits with exact long double arithmetic, read back signed if asked.
// Values whose truncation lies outside the 64-bit range give 0.
int64_t reference_store(double x, int bits, bool is_signed) {
    if (std::isnan(x) || std::isinf(x)) return 0;
    const long double t = std::trunc(static_cast<long double>(x));
    if (t >= 9223372036854775808.0L || t < -9223372036854775808.0L) return 0;
    const long double m = std::ldexp(1.0L, bits);
    long double r = std::fmod(t, m);
    if (r < 0) r += m;
    if (is_signed && r >= m / 2) r -= m;
    return static_cast<int64_t>(r);
}

int64_t stored_integer(const QelValue* v, int unit) {
    switch (unit) {
        case 0: return v->bytes[0];
        case 1: return static_cast<int8_t>(v->bytes[0]);
        case 2: { uint16_t e; std::memcpy(&e, v->bytes, 2); return e; }
        case 3: { int16_t e; std::memcpy(&e, v->bytes, 2); return e; }
        case 4: { uint32_t e; std::memcpy(&e, v->bytes, 4); return e; }
        case 5: { int32_t e; std::memcpy(&e, v->bytes, 4); return e; }
    }
    ADD_FAILURE() << "not an integer unit";
    return 0;
}

const int kBits[6] = {8, 8, 16, 16, 32, 32};

TEST(VoxelUnits, SizesNamesAndValidity) {
    const int sizes[8] = {1, 1, 2, 2, 4, 4, 4, 8};
    const char* names[8] = {"unsigned 8 bits",  "signed 8 bits",  "unsigned 16 bits",      "signed 16 bits",
                            "unsigned 32 bits", "signed 32 bits", "floating-point 32 bits", "floating-point 64 bits"};
    for (int u = 0; u < 8; ++u) {
        EXPECT_EQ(QEL_GetVoxelUnitSize(u), sizes[u]);
        EXPECT_EQ(QEL_IsValidVoxelUnit(u), 1);
        char text[32];
        std::memset(text, 'x', sizeof text);
        QEL_GetVoxelUnitName(u, text);
        EXPECT_STREQ(text, names[u]);
        EXPECT_LE(std::strlen(text) + 1, 23u);
    }
    for (int u : {-1, 8, 9, INT_MIN, INT_MAX}) {
        EXPECT_EQ(QEL_GetVoxelUnitSize(u), 0);
        EXPECT_EQ(QEL_IsValidVoxelUnit(u), 0);
        char text[8] = "keep";
        QEL_GetVoxelUnitName(u, text);
        EXPECT_STREQ(text, "keep");
    }
}

TEST(VoxelUnits, MinimumAndMaximum) {
    EXPECT_EQ(QEL_MaxFloat(1.5f, -2.0f), 1.5f);
    EXPECT_EQ(QEL_MinFloat(1.5f, -2.0f), -2.0f);
    EXPECT_EQ(QEL_Min3Float(3.0f, -1.0f, 2.0f), -1.0f);
    EXPECT_EQ(QEL_Max3Float(3.0f, -1.0f, 7.0f), 7.0f);
    EXPECT_EQ(QEL_MaxInt(INT_MIN, INT_MAX), INT_MAX);
    EXPECT_EQ(QEL_MinInt(INT_MIN, INT_MAX), INT_MIN);
    EXPECT_EQ(QEL_Min3Int(5, 9, -4), -4);
    EXPECT_EQ(QEL_Max3Int(5, 9, -4), 9);
    // every order of three distinct values
    const int v[3] = {1, 2, 3};
    const int perms[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    for (auto& p : perms) {
        EXPECT_EQ(QEL_Min3Int(v[p[0]], v[p[1]], v[p[2]]), 1);
        EXPECT_EQ(QEL_Max3Int(v[p[0]], v[p[1]], v[p[2]]), 3);
        EXPECT_EQ(QEL_Min3Float(v[p[0]], v[p[1]], v[p[2]]), 1.0f);
        EXPECT_EQ(QEL_Max3Float(v[p[0]], v[p[1]], v[p[2]]), 3.0f);
    }
}

TEST(ValueRanges, RangesOfUnits) {
    const float expected[6][2] = {{0.0f, 255.0f},         {-128.0f, 127.0f},
                                  {0.0f, 65535.0f},       {-32768.0f, 32767.0f},
                                  {0.0f, 4294967296.0f}, {-2147483648.0f, 2147483648.0f}};
    for (int u = 0; u < 6; ++u) {
        QelValueRange* r = QEL_NewValueRangeOfVoxelUnit(u);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->min, expected[u][0]) << u;
        EXPECT_EQ(r->max, expected[u][1]) << u;
        QEL_DeleteValueRange(r);
    }
    for (int u : {6, 7, -1, 8}) EXPECT_EQ(QEL_NewValueRangeOfVoxelUnit(u), nullptr);
}

TEST(ValueRanges, MembershipClampMapAndUnion) {
    QelValueRange* r = QEL_NewValueRange(-1.0f, 3.0f);
    ASSERT_NE(r, nullptr);
    QelValueRange* c = QEL_CopyValueRange(r);
    ASSERT_NE(c, nullptr);
    EXPECT_NE(c, r);
    EXPECT_EQ(c->min, -1.0f);
    EXPECT_EQ(c->max, 3.0f);

    EXPECT_EQ(QEL_IsInValueRange(-1.0f, r), 1);
    EXPECT_EQ(QEL_IsInValueRange(3.0f, r), 1);
    EXPECT_EQ(QEL_IsInValueRange(3.0001f, r), 0);
    EXPECT_EQ(QEL_IsInValueRange(std::nanf(""), r), 0);
    EXPECT_EQ(QEL_ClampToValueRange(-5.0f, r), -1.0f);
    EXPECT_EQ(QEL_ClampToValueRange(5.0f, r), 3.0f);
    EXPECT_EQ(QEL_ClampToValueRange(0.5f, r), 0.5f);

    QelValueRange dst{0.0f, 255.0f};
    EXPECT_DOUBLE_EQ(QEL_MapValueLinear(1.0f, r, &dst), 127.5);
    EXPECT_DOUBLE_EQ(QEL_MapValueLinear(5.0f, r, &dst), 382.5);  // unclamped, unrounded
    EXPECT_DOUBLE_EQ(QEL_MapValueLinearClamped(5.0f, r, &dst), 255.0);
    EXPECT_DOUBLE_EQ(QEL_MapValueLinearClamped(-9.0f, r, &dst), 0.0);
    EXPECT_DOUBLE_EQ(QEL_MapValueLinearClamped(1.0f, r, &dst), 127.5);
    // The map is evaluated in double: single precision would lose this fraction.
    QelValueRange big{0.0f, 3.0f}, wide{0.0f, 16777216.0f};
    EXPECT_DOUBLE_EQ(QEL_MapValueLinear(1.0f, &big, &wide), 16777216.0 / 3.0);
    // An empty source range must not fault and gives a finite value.
    QelValueRange empty{2.0f, 2.0f};
    EXPECT_TRUE(std::isfinite(QEL_MapValueLinear(2.0f, &empty, &dst)));
    EXPECT_TRUE(std::isfinite(QEL_MapValueLinearClamped(7.0f, &empty, &dst)));

    QelValueRange other{-4.0f, 2.0f};
    EXPECT_EQ(QEL_UniteValueRange(c, &other), c);
    EXPECT_EQ(c->min, -4.0f);
    EXPECT_EQ(c->max, 3.0f);
    QelValueRange higher{0.0f, 10.0f};
    QEL_UniteValueRange(c, &higher);
    EXPECT_EQ(c->min, -4.0f);
    EXPECT_EQ(c->max, 10.0f);
    QEL_DeleteValueRange(r);
    QEL_DeleteValueRange(c);
    QEL_DeleteValueRange(nullptr);
}

template <class T>
void check_range_of_array(int unit, std::mt19937& rng) {
    for (int count : {1, 2, 7, 100}) {
        std::vector<T> data(count);
        std::uniform_real_distribution<double> dist(-1e6, 1e6);
        for (auto& e : data) {
            const double d = dist(rng);
            e = std::is_floating_point_v<T> ? static_cast<T>(d)
                                            : static_cast<T>(static_cast<int64_t>(d) & 0x7fffffff);
        }
        float lo = INFINITY, hi = -INFINITY;
        for (T e : data) {
            lo = std::min(lo, static_cast<float>(e));
            hi = std::max(hi, static_cast<float>(e));
        }
        QelValueRange* r = QEL_GetValueRangeOfArray(data.data(), count, unit);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->min, lo) << "unit " << unit << " count " << count;
        EXPECT_EQ(r->max, hi) << "unit " << unit << " count " << count;
        QEL_DeleteValueRange(r);
    }
}

TEST(ValueRanges, RangeOfArrayAgainstBruteForce) {
    std::mt19937 rng(7);
    check_range_of_array<uint8_t>(0, rng);
    check_range_of_array<int8_t>(1, rng);
    check_range_of_array<uint16_t>(2, rng);
    check_range_of_array<int16_t>(3, rng);
    check_range_of_array<uint32_t>(4, rng);
    check_range_of_array<int32_t>(5, rng);
    check_range_of_array<float>(6, rng);
    check_range_of_array<double>(7, rng);

    const uint32_t top[3] = {5, 4294967295u, 0};
    QelValueRange* r = QEL_GetValueRangeOfArray(top, 3, 4);  // read unsigned
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->min, 0.0f);
    EXPECT_EQ(r->max, 4294967296.0f);
    QEL_DeleteValueRange(r);

    const double one[1] = {0.1};
    r = QEL_GetValueRangeOfArray(one, 1, 7);  // rounded to single
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->min, 0.1f);
    EXPECT_EQ(r->max, 0.1f);
    QEL_DeleteValueRange(r);

    EXPECT_EQ(QEL_GetValueRangeOfArray(one, 0, 7), nullptr);
    EXPECT_EQ(QEL_GetValueRangeOfArray(one, -3, 7), nullptr);
    EXPECT_EQ(QEL_GetValueRangeOfArray(one, 1, 8), nullptr);
    EXPECT_EQ(QEL_GetValueRangeOfArray(nullptr, 1, 0), nullptr);
}

TEST(Values, StoresIntoEveryUnit) {
    struct Case {
        float x;
        int unit;
        int64_t expected;
    };
    const Case cases[] = {
        {300.7f, 0, 44},          {-1.9f, 2, 65535},    {-1.0f, 4, 0xFFFFFFFF}, {255.9f, 0, 255},
        {-0.9f, 0, 0},            {128.0f, 1, -128},    {-129.5f, 1, 127},      {65536.0f, 2, 0},
        {40000.0f, 3, -25536},    {-1.0f, 5, -1},       {2147483648.0f, 5, INT32_MIN},
        {4294967296.0f, 4, 0},    {1e30f, 0, 0},        {1e30f, 5, 0},          {-1e30f, 4, 0},
        {9.3e18f, 4, 0},          {std::nanf(""), 0, 0}, {std::nanf(""), 5, 0}, {INFINITY, 4, 0},
        {-INFINITY, 3, 0},
    };
    for (const Case& c : cases) {
        QelValue* v = QEL_NewValue(c.x, c.unit);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(stored_integer(v, c.unit), c.expected) << c.x << " into unit " << c.unit;
        std::free(v);
    }
    QelValue* f = QEL_NewValue(3.5f, 7);
    ASSERT_NE(f, nullptr);
    double d;
    std::memcpy(&d, f->bytes, 8);
    EXPECT_EQ(d, 3.5);
    std::free(f);
    f = QEL_NewValue(0.1f, 6);
    ASSERT_NE(f, nullptr);
    float s;
    std::memcpy(&s, f->bytes, 4);
    EXPECT_EQ(s, 0.1f);
    std::free(f);
    for (int u : {-1, 8}) EXPECT_EQ(QEL_NewValue(1.0f, u), nullptr);
}

TEST(Values, StoresMatchModularReference) {
    std::mt19937 rng(11);
    std::vector<float> xs;
    for (int e = -3; e <= 70; ++e)
        for (float m : {1.0f, -1.0f, 1.37f, -1.37f, 1.99f, -1.99f}) xs.push_back(std::ldexp(m, e));
    std::uniform_real_distribution<float> dist(-5e9f, 5e9f);
    for (int i = 0; i < 2000; ++i) xs.push_back(dist(rng));
    for (int unit = 0; unit < 6; ++unit)
        for (float x : xs) {
            QelValue* v = QEL_NewValue(x, unit);
            ASSERT_NE(v, nullptr);
            EXPECT_EQ(stored_integer(v, unit), reference_store(x, kBits[unit], unit % 2 == 1))
                << x << " into unit " << unit;
            std::free(v);
        }
}

TEST(Values, TypedValueRange) {
    const QelValueRange r{-1.0f, 300.7f};
    QelTypedValueRange* t = QEL_NewTypedValueRange(&r, 0);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->min.bytes[0], 255);
    EXPECT_EQ(t->max.bytes[0], 44);
    std::free(t);
    t = QEL_NewTypedValueRange(&r, 7);
    ASSERT_NE(t, nullptr);
    double lo, hi;
    std::memcpy(&lo, t->min.bytes, 8);
    std::memcpy(&hi, t->max.bytes, 8);
    EXPECT_EQ(lo, -1.0);
    EXPECT_EQ(hi, static_cast<double>(300.7f));
    std::free(t);
    EXPECT_EQ(QEL_NewTypedValueRange(&r, 8), nullptr);
    EXPECT_EQ(QEL_NewTypedValueRange(nullptr, 0), nullptr);
    EXPECT_EQ(sizeof(QelTypedValueRange), 16u);
}

TEST(IntRanges, MembershipClampAndLinearMap) {
    QelIntRange* r = QEL_NewIntRange(-10, 10);
    ASSERT_NE(r, nullptr);
    QelIntRange* c = QEL_CopyIntRange(r);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->min, -10);
    EXPECT_EQ(c->max, 10);
    EXPECT_EQ(QEL_IsInIntRange(-10, r), 1);
    EXPECT_EQ(QEL_IsInIntRange(10, r), 1);
    EXPECT_EQ(QEL_IsInIntRange(11, r), 0);
    EXPECT_EQ(QEL_ClampToIntRange(-11, r), -10);
    EXPECT_EQ(QEL_ClampToIntRange(11, r), 10);
    EXPECT_EQ(QEL_ClampToIntRange(3, r), 3);

    // Truncation toward zero of the quotient, product formed first.
    QelIntRange src{0, 3}, dst{0, 10};
    EXPECT_EQ(QEL_MapIntLinear(1, &src, &dst), 3);
    EXPECT_EQ(QEL_MapIntLinear(2, &src, &dst), 6);
    QelIntRange neg{-3, 0};
    EXPECT_EQ(QEL_MapIntLinear(-1, &neg, &dst), 6);
    QelIntRange down{10, 0};
    EXPECT_EQ(QEL_MapIntLinear(1, &src, &down), 7);  // 10 + (-10 * 1) / 3 = 10 - 3

    // Products beyond 32 bits that a 32-bit product would wrap.
    QelIntRange s16{0, 65535}, d16{0, 65535};
    EXPECT_EQ(QEL_MapIntLinear(65535, &s16, &d16), 65535);
    EXPECT_EQ(QEL_MapIntLinear(40000, &s16, &d16), 40000);
    QelIntRange s8{0, 255}, d32{0, 2000000000};
    for (int x = 0; x <= 255; ++x)
        EXPECT_EQ(QEL_MapIntLinear(x, &s8, &d32), static_cast<int>(int64_t{2000000000} * x / 255)) << x;
    QelIntRange full{INT_MIN, INT_MAX};
    EXPECT_EQ(QEL_MapIntLinear(INT_MAX, &full, &full), INT_MAX);
    EXPECT_EQ(QEL_MapIntLinear(INT_MIN, &full, &full), INT_MIN);
    QelIntRange empty{5, 5};
    (void)QEL_MapIntLinear(5, &empty, &dst);  // must not fault
    QEL_DeleteIntRange(r);
    QEL_DeleteIntRange(c);
    QEL_DeleteIntRange(nullptr);
}

TEST(TypedArrays, OneDimensional) {
    for (int u = 0; u < 8; ++u) {
        void* block = QEL_AllocateTypedArray(10, u);
        ASSERT_NE(block, nullptr);
        for (int i = 0; i < 10 * QEL_GetVoxelUnitSize(u); ++i) EXPECT_EQ(static_cast<char*>(block)[i], 0);
        QEL_DeleteTypedArray1D(block);
    }
    EXPECT_EQ(QEL_AllocateTypedArray(0, 0), nullptr);
    EXPECT_EQ(QEL_AllocateTypedArray(-1, 0), nullptr);
    QEL_DeleteTypedArray1D(nullptr);
}

TEST(TypedArrays, TwoDimensionalLayout) {
    for (int u = 0; u < 8; ++u) {
        const int es = QEL_GetVoxelUnitSize(u);
        void** rows = QEL_NewTypedArray2D(5, 3, u);
        ASSERT_NE(rows, nullptr);
        char* base = static_cast<char*>(QEL_GetTypedArray2DBase(rows, u));
        ASSERT_EQ(base, rows[0]);
        for (int y = 0; y < 3; ++y) {
            EXPECT_EQ(QEL_GetRowOfTypedArray2D(rows, u, y), base + y * 5 * es);
            for (int x = 0; x < 5 * es; ++x) EXPECT_EQ(static_cast<char*>(rows[y])[x], 0);
        }
        EXPECT_EQ(QEL_GetRowOfTypedArray2D(rows, 8, 0), nullptr);
        EXPECT_EQ(QEL_GetTypedArray2DBase(rows, -1), nullptr);
        QEL_DeleteTypedArray2D(rows, 5, 3, u);
    }
}

TEST(TypedArrays, ThreeDimensionalLayout) {
    void*** slices = QEL_NewTypedArray3D(4, 3, 2, QEL_VOXEL_UNIT_INT16);
    ASSERT_NE(slices, nullptr);
    int16_t* base = static_cast<int16_t*>(QEL_GetTypedArray3DBase(slices, 3));
    EXPECT_EQ(static_cast<int16_t*>(QEL_GetRowOfTypedArray3D(slices, 3, 1, 2)), base + 20);
    for (int z = 0; z < 2; ++z)
        for (int y = 0; y < 3; ++y) EXPECT_EQ(static_cast<int16_t*>(slices[z][y]), base + (z * 3 + y) * 4);
    for (int i = 0; i < 24; ++i) EXPECT_EQ(base[i], 0);
    // The rows of all slices tile the block exactly once.
    for (int i = 0; i < 24; ++i) base[i] = static_cast<int16_t>(i);
    for (int z = 0; z < 2; ++z)
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x)
                EXPECT_EQ(QEL_GetValueOfTypedArray(base, 3, 24, x + 4 * (y + 3 * z)),
                          static_cast<int16_t*>(slices[z][y])[x]);
    EXPECT_EQ(QEL_GetRowOfTypedArray3D(slices, 9, 0, 0), nullptr);
    EXPECT_EQ(QEL_GetTableEntry(reinterpret_cast<void**>(slices), 99, 1), static_cast<void*>(slices[1]));
    EXPECT_EQ(QEL_GetChannelTable(reinterpret_cast<void**>(slices), -7, 0), static_cast<void*>(slices[0]));
    QEL_DeleteTypedArray3D(slices, 4, 3, 2, 3);
    QEL_DeleteTypedArray3D(nullptr, 4, 3, 2, 3);
}

TEST(TypedArrays, FourDimensionalLayout) {
    const int nx = 3, ny = 2, nz = 4, nw = 3;
    void**** top = QEL_NewTypedArray4D(nx, ny, nz, nw, QEL_VOXEL_UNIT_FLOAT64);
    ASSERT_NE(top, nullptr);
    double* base = static_cast<double*>(QEL_GetTypedArray4DBase(top, 7));
    for (int w = 0; w < nw; ++w)
        for (int z = 0; z < nz; ++z) {
            EXPECT_EQ(QEL_GetSliceOfTypedArray4D(top, 7, w, z), top[w][z]);
            for (int y = 0; y < ny; ++y)
                EXPECT_EQ(static_cast<double*>(QEL_GetRowOfTypedArray4D(top, 7, w, z, y)),
                          base + ((w * nz + z) * ny + y) * nx);
        }
    for (int i = 0; i < nx * ny * nz * nw; ++i) EXPECT_EQ(base[i], 0.0);
    EXPECT_EQ(QEL_GetSliceOfTypedArray4D(top, 8, 0, 0), nullptr);
    EXPECT_EQ(QEL_GetRowOfTypedArray4D(top, -1, 0, 0, 0), nullptr);
    EXPECT_EQ(QEL_GetTypedArray4DBase(top, 8), nullptr);
    QEL_DeleteTypedArray4D(top, nx, ny, nz, nw, 7);
}

TEST(TypedArrays, RefuseNonPositiveAndOverflowingDimensions) {
    EXPECT_EQ(QEL_NewTypedArray2D(0, 3, 0), nullptr);
    EXPECT_EQ(QEL_NewTypedArray2D(3, -1, 0), nullptr);
    EXPECT_EQ(QEL_NewTypedArray3D(2, 2, 0, 0), nullptr);
    EXPECT_EQ(QEL_NewTypedArray3D(-2, -2, 2, 0), nullptr);  // product positive, dims not
    EXPECT_EQ(QEL_NewTypedArray4D(1, 1, 1, 0, 0), nullptr);
    EXPECT_EQ(QEL_NewTypedArray4D(1, -1, 1, 1, 0), nullptr);
    // Element counts beyond the int range are refused before anything is allocated.
    EXPECT_EQ(QEL_NewTypedArray2D(65536, 65536, 0), nullptr);
    EXPECT_EQ(QEL_NewTypedArray3D(INT_MAX, INT_MAX, INT_MAX, 7), nullptr);
    EXPECT_EQ(QEL_NewTypedArray3D(2048, 2048, 1024, 0), nullptr);
    EXPECT_EQ(QEL_NewTypedArray4D(1 << 16, 1 << 16, 1 << 16, 1 << 16, 7), nullptr);
}

TEST(TypedArrays, InvalidUnitStillReleasesEverything) {
    // An invalid unit has element size 0; the array exists and its deleter frees it
    // (LeakSanitizer checks this in the sanitizer build).
    void*** slices = QEL_NewTypedArray3D(3, 2, 2, 11);
    ASSERT_NE(slices, nullptr);
    EXPECT_EQ(QEL_GetTypedArray3DBase(slices, 11), nullptr);
    QEL_DeleteTypedArray3D(slices, 3, 2, 2, 11);
    void** rows = QEL_NewTypedArray2D(3, 2, -4);
    ASSERT_NE(rows, nullptr);
    QEL_DeleteTypedArray2D(rows, 3, 2, -4);
    void**** top = QEL_NewTypedArray4D(2, 2, 2, 2, 8);
    ASSERT_NE(top, nullptr);
    QEL_DeleteTypedArray4D(top, 2, 2, 2, 2, 8);
}

TEST(TypedArrays, ValueReadsAndBounds) {
    const uint8_t u8[2] = {200, 1};
    const int8_t s8[2] = {-56, 1};
    const uint16_t u16[1] = {65535};
    const int16_t s16[1] = {-2};
    const uint32_t u32[1] = {4294967295u};
    const int32_t s32[1] = {INT32_MIN};
    const float f32[1] = {0.1f};
    const double f64[1] = {0.1};
    EXPECT_EQ(QEL_GetValueOfTypedArray(u8, 0, 2, 0), 200.0);
    EXPECT_EQ(QEL_GetValueOfTypedArray(s8, 1, 2, 0), -56.0);
    EXPECT_EQ(QEL_GetValueOfTypedArray(u16, 2, 1, 0), 65535.0);
    EXPECT_EQ(QEL_GetValueOfTypedArray(s16, 3, 1, 0), -2.0);
    EXPECT_EQ(QEL_GetValueOfTypedArray(u32, 4, 1, 0), 4294967295.0);
    EXPECT_EQ(QEL_GetValueOfTypedArray(s32, 5, 1, 0), -2147483648.0);
    EXPECT_EQ(QEL_GetValueOfTypedArray(f32, 6, 1, 0), static_cast<double>(0.1f));
    EXPECT_EQ(QEL_GetValueOfTypedArray(f64, 7, 1, 0), 0.1);
    EXPECT_EQ(QEL_GetValueOfTypedArray(u8, 0, 2, 2), 0.0);
    EXPECT_EQ(QEL_GetValueOfTypedArray(u8, 0, 2, -1), 0.0);
    EXPECT_EQ(QEL_GetValueOfTypedArray(u8, 8, 2, 0), 0.0);

    char a = 'a', b = 'b';
    QEL_SwapBytes(&a, &b);
    EXPECT_EQ(a, 'b');
    EXPECT_EQ(b, 'a');
}

}  // namespace
