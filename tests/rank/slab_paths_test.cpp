// The vector slab routines against the reference steps, on random padded blocks holding
// every unit's extremes, ties and (for floating units) NaN, infinities and signed zeros:
// fixed and generated networks, the per-voxel selection of large neighbourhoods, the
// minimum and maximum chains, rows of full and partial vectors.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "filters/qel_rank_slab.hpp"
#include "rank/rank_reference.hpp"
#include "volume/qel_unit_dispatch.hpp"

namespace {

using namespace ranktest;
using qel::RankPath;

struct Case {
    float radius;
    int nx, ny, slices;
};

template <class T>
void compare_paths(const Case& c, uint64_t seed, bool special, double plainShare) {
    KernelPtr kernel(QEL_NewSphericalKernel(c.radius));
    ASSERT_TRUE(kernel);
    const int m = kernel->margin;
    const int n = kernel->points->count;
    const QelSize3i padded{c.nx + 2 * m, c.ny + 2 * m, c.slices + 2 * m};
    QEL_SetKernelOffsets(kernel.get(), &padded);
    const size_t total = static_cast<size_t>(padded.nx) * padded.ny * padded.nz;
    std::vector<T> src = random_values<T>(total, seed, special);
    // Mostly plain values with rare specials, so that screened and unscreened lanes mix.
    const std::vector<T> plain = random_values<T>(total, seed + 1, false);
    for (size_t i = 0; i < total; ++i)
        if (static_cast<double>(i % 100) < plainShare * 100) src[i] = plain[i];
    const int size[3] = {c.nx, c.ny, c.slices};
    qel::SlabArgs a;
    ASSERT_TRUE(qel::make_slab_args(size, kernel.get(), &a));
    const size_t outCount = static_cast<size_t>(c.nx) * c.ny * c.slices;

    std::vector<RankPath> paths = {RankPath::vec128};
    if (qel::rank_path_available(RankPath::vec256)) paths.push_back(RankPath::vec256);
    std::vector<T> want(outCount), got(outCount);
    for (int rank : {0, 1, n / 3, n / 2, n - 2, n - 1}) {
        if (rank < 0 || rank >= n) continue;
        ASSERT_TRUE(qel::rank_slab(RankPath::exact, want.data(), a, src.data(), rank));
        for (RankPath p : paths) {
            std::fill(got.begin(), got.end(), T(7));
            ASSERT_TRUE(qel::rank_slab(p, got.data(), a, src.data(), rank));
            ASSERT_EQ(std::memcmp(got.data(), want.data(), outCount * sizeof(T)), 0)
                << "rank " << rank << " of " << n << " path " << static_cast<int>(p);
        }
    }
    for (bool max : {false, true}) {
        if (max)
            qel::max_slab(RankPath::exact, want.data(), a, src.data());
        else
            qel::min_slab(RankPath::exact, want.data(), a, src.data());
        for (RankPath p : paths) {
            std::fill(got.begin(), got.end(), T(7));
            if (max)
                qel::max_slab(p, got.data(), a, src.data());
            else
                qel::min_slab(p, got.data(), a, src.data());
            ASSERT_EQ(std::memcmp(got.data(), want.data(), outCount * sizeof(T)), 0)
                << (max ? "max" : "min") << " path " << static_cast<int>(p);
        }
    }
}

class SlabPathsByUnit : public ::testing::TestWithParam<int> {};

TEST_P(SlabPathsByUnit, VectorRoutinesEqualTheReferenceSteps) {
    const int unit = GetParam();
    // n = 7, 19, 27, 33 (fixed networks), 57 (generated network), 257 (per-voxel selection).
    const Case cases[] = {{1.0f, 45, 3, 2}, {1.5f, 33, 2, 3}, {1.8f, 17, 3, 2},
                          {2.0f, 70, 2, 2}, {2.3f, 21, 2, 2}, {4.0f, 9, 2, 1},
                          {1.0f, 140, 2, 1}};  // rows of four whole vectors of 8-bit lanes
    qel::dispatch_unit_void(unit, [&](auto tag) {
        using T = typename decltype(tag)::type;
        uint64_t seed = 1000 + 10 * unit;
        for (const Case& c : cases) {
            compare_paths<T>(c, seed++, true, 0.0);   // specials everywhere
            compare_paths<T>(c, seed++, true, 0.97);  // rare specials
            compare_paths<T>(c, seed++, false, 0.0);  // plain values and ties
        }
    });
}

INSTANTIATE_TEST_SUITE_P(Units, SlabPathsByUnit, ::testing::Range(0, 8));

TEST(SlabPaths, RowsNarrowerThanOneVector) {
    for (int nx : {1, 2, 3, 5}) {
        compare_paths<uint8_t>({1.0f, nx, 3, 2}, 50 + nx, false, 0.0);
        compare_paths<float>({2.0f, nx, 2, 2}, 60 + nx, true, 0.5);
        compare_paths<double>({1.0f, nx, 2, 2}, 70 + nx, true, 0.5);
    }
}

TEST(SlabPaths, EqualNeighbourhoodsGiveThatValueForEveryRank) {
    KernelPtr kernel(QEL_NewSphericalKernel(2.0f));
    const int m = kernel->margin;
    const QelSize3i padded{40 + 2 * m, 2 + 2 * m, 1 + 2 * m};
    QEL_SetKernelOffsets(kernel.get(), &padded);
    const std::vector<float> src(static_cast<size_t>(padded.nx) * padded.ny * padded.nz, -0.0f);
    const int size[3] = {40, 2, 1};
    qel::SlabArgs a;
    ASSERT_TRUE(qel::make_slab_args(size, kernel.get(), &a));
    std::vector<float> out(80, 1.0f);
    for (int rank = 0; rank < a.n; ++rank) {
        ASSERT_TRUE(qel::rank_slab(RankPath::best, out.data(), a, src.data(), rank));
        for (float f : out) ASSERT_EQ(std::bit_cast<uint32_t>(f), 0x80000000u);
    }
}

}  // namespace
