// The vectorised element loops of every width this CPU runs, and the public entry, against the
// per-voxel rule of tests/support/convert_reference.hpp, byte for byte: every unit pair, the four
// maps, ranges of every kind (inverted, empty, NaN, infinite, beyond 32 bits, signed zeros) and
// source values that reach every edge (NaN payloads, infinities, subnormals, 2^31, 2^32, 2^63).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "support/convert_reference.hpp"
#include "volume/qel_convert.h"
#include "volume/qel_convert_vec.hpp"

namespace {

constexpr int kUnitSizes[8] = {1, 1, 2, 2, 4, 4, 4, 8};

struct Rng {
    uint64_t s;
    uint64_t next() {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return s;
    }
};

// Raw bytes of `count` source elements: edge values the unit can hold, then random bit
// patterns (every float class among them), then random values near the ranges used below.
std::vector<unsigned char> source_block(int unit, int count, uint64_t seed) {
    std::vector<unsigned char> bytes(static_cast<size_t>(count) * kUnitSizes[unit]);
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<double> edges = {0.0, -0.0, 1.0, -1.0, 0.5, -0.5, 0.9999, 127.0, 128.0, -129.0, 255.0,
                                       255.5, 256.0, 32767.0, 65535.0, 65536.0, 1000.0, 50000.0,
                                       2147483647.0, 2147483648.0, -2147483648.0, -2147483649.0,
                                       4294967295.0, 4294967296.0, 4294967296.5, 9223372036854775807.0,
                                       -9223372036854775808.0, 1.8446744073709552e19, 1e30, -1e30, 3.4e38,
                                       1e300, -1e300, 1e-310, -1e-45, 1e-40, inf, -inf,
                                       std::numeric_limits<double>::quiet_NaN(), -std::nan("7")};
    Rng rng{seed * 0x9E3779B97F4A7C15ull + 1};
    for (int i = 0; i < count; ++i) {
        unsigned char* p = bytes.data() + static_cast<size_t>(i) * kUnitSizes[unit];
        const uint64_t bits = rng.next();
        if (i < static_cast<int>(edges.size()) && unit >= 6) {
            const double e = edges[static_cast<size_t>(i)];
            if (unit == 6) {
                const float f = static_cast<float>(e);
                std::memcpy(p, &f, 4);
            } else {
                std::memcpy(p, &e, 8);
            }
        } else if (i % 3 == 0) {
            std::memcpy(p, &bits, static_cast<size_t>(kUnitSizes[unit]));
        } else {
            // A value in -70000..70000 with a fraction, stored in the unit (wrapping as it may).
            const double v = static_cast<double>(static_cast<int64_t>(bits % 140001) - 70000) +
                             static_cast<double>((bits >> 20) % 1000) / 1000.0;
            qel::dispatch_unit_void(unit, [&](auto tag) {
                using T = typename decltype(tag)::type;
                const T t = qel::store_real<T>(v);
                std::memcpy(p, &t, sizeof t);
            });
        }
    }
    return bytes;
}

const std::vector<QelValueRange>& ranges() {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    static const std::vector<QelValueRange> r = {
        {0.0f, 255.0f},        {-128.0f, 127.0f},         {0.0f, 65535.0f},  {-32768.0f, 32767.0f},
        {0.0f, 4294967296.0f}, {-2147483648.0f, 2147483648.0f}, {1000.0f, 50000.0f}, {-40.0f, 300.0f},
        {0.5f, 4.0f},          {300.0f, -5.0f},           {7.0f, 7.0f},      {-0.0f, 0.0f},
        {0.0f, -0.0f},         {nan, 1.0f},               {0.0f, nan},       {-inf, inf},
        {0.0f, inf},           {1.0f, 1.00000012f},       {-3e38f, 3e38f},   {-1e10f, 1e10f},
        {1e-30f, 2e-30f},      {-9.3e18f, 9.3e18f},       {3e9f, -1.0f},     {5.0f, -3e9f},
    };
    return r;
}

void expect_same_bytes(const std::vector<unsigned char>& got, const std::vector<unsigned char>& want, int dstUnit,
                       const char* what) {
    if (got == want) return;
    for (size_t i = 0; i < got.size(); ++i)
        if (got[i] != want[i]) {
            ADD_FAILURE() << what << ": first difference at element " << i / static_cast<size_t>(kUnitSizes[dstUnit]);
            return;
        }
}

std::vector<qel::VecPath> paths() {
    std::vector<qel::VecPath> p = {qel::VecPath::vec128};
    if (qel::vec_path_available(qel::VecPath::vec256)) p.push_back(qel::VecPath::vec256);
    if (qel::vec_path_available(qel::VecPath::vec512)) p.push_back(qel::VecPath::vec512);
    return p;
}

// Converts `count` elements with every path and the public entry, at element offsets that
// shift the vectors' alignment, and compares each with the reference.
void check(int srcUnit, int dstUnit, int map, const QelValueRange* src, const QelValueRange* dst,
           const std::vector<unsigned char>& in, int count) {
    const int dstSize = kUnitSizes[dstUnit];
    std::vector<unsigned char> want(static_cast<size_t>(count) * dstSize, 0xA5);
    qeltest::reference_convert(count, in.data(), want.data(), srcUnit, dstUnit, src, dst, map);
    for (int offset : {0, 1, 3}) {
        if (offset >= count) continue;
        const int n = count - offset;
        const unsigned char* from = in.data() + static_cast<size_t>(offset) * kUnitSizes[srcUnit];
        const std::vector<unsigned char> expected(want.begin() + static_cast<ptrdiff_t>(offset) * dstSize, want.end());
        for (qel::VecPath path : paths()) {
            std::vector<unsigned char> got(expected.size(), 0x5A);
            qel::convert_elements(path, {n, from, got.data(), srcUnit, dstUnit, map, src, dst});
            expect_same_bytes(got, expected, dstUnit, "path");
        }
        std::vector<unsigned char> got(expected.size(), 0x5A);
        QEL_ConvertVoxelArray(n, from, got.data(), srcUnit, dstUnit, src, dst, map);
        expect_same_bytes(got, expected, dstUnit, "QEL_ConvertVoxelArray");
    }
}

TEST(ConvertPaths, EveryUnitPairAndMapMatchesThePerVoxelRule) {
    const int count = 700;  // two full blocks of the loops and a remainder
    for (int su = 0; su < 8; ++su) {
        const std::vector<unsigned char> in = source_block(su, count, static_cast<uint64_t>(su) + 1);
        for (int du = 0; du < 8; ++du) {
            SCOPED_TRACE(testing::Message() << "units " << su << " -> " << du);
            check(su, du, QEL_MAP_IDENTITY, nullptr, nullptr, in, count);
            for (const QelValueRange& d : ranges()) {
                SCOPED_TRACE(testing::Message() << "dst [" << d.min << ", " << d.max << "]");
                check(su, du, QEL_MAP_CLAMP, nullptr, &d, in, count);
                for (const QelValueRange& s : ranges()) {
                    SCOPED_TRACE(testing::Message() << "src [" << s.min << ", " << s.max << "]");
                    check(su, du, QEL_MAP_LINEAR, &s, &d, in, count);
                    check(su, du, QEL_MAP_LINEAR_CLAMP, &s, &d, in, count);
                    if (HasFailure()) return;
                }
            }
        }
    }
}

// Whole blocks that stay within 32 bits and blocks with a single value beyond: the plain
// conversions and the exact store must meet at every block edge.
TEST(ConvertPaths, LoneValuesBeyondThirtyTwoBitsInLongRuns) {
    const int count = 5000;
    std::vector<double> in(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) in[static_cast<size_t>(i)] = (i % 977) - 400.25;
    in[300] = 6e9;
    in[1023] = -5e9;
    in[4999] = 4294967295.75;
    in[2048] = std::nan("");
    const QelValueRange same{0.0f, 1.0f};
    for (int du = 0; du < 6; ++du) {
        SCOPED_TRACE(du);
        std::vector<unsigned char> bytes(in.size() * sizeof(double));
        std::memcpy(bytes.data(), in.data(), bytes.size());
        check(QEL_VOXEL_UNIT_FLOAT64, du, QEL_MAP_IDENTITY, nullptr, nullptr, bytes, count);
        check(QEL_VOXEL_UNIT_FLOAT64, du, QEL_MAP_LINEAR, &same, &same, bytes, count);
    }
}

}  // namespace
