// Segmentation on 256^3 volumes: labelling, region growing, cavity filling, convolution and
// smoothing, on random masks, random balls and one long serpentine. The baseline allocates
// and fills a label volume of the same size, the part of labelling no algorithm avoids.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "filters/qel_components.h"
#include "filters/qel_region_grow.h"
#include "filters/qel_smooth.h"
#include "volume/qel_volume.h"

namespace {

constexpr int kSide = 256;
constexpr int64_t kVoxels = int64_t(kSide) * kSide * kSide;

enum Shape { kRandom30, kRandom50, kBalls, kSerpentine };

std::vector<uint8_t> make_mask(Shape shape) {
    std::vector<uint8_t> m(kVoxels, 0);
    std::mt19937 rng(11);
    auto at = [](int x, int y, int z) { return x + int64_t(kSide) * (y + int64_t(kSide) * z); };
    switch (shape) {
        case kRandom30:
        case kRandom50: {
            const uint32_t limit = shape == kRandom30 ? 0x4CCCCCCCu : 0x80000000u;
            for (auto& v : m) v = rng() < limit;
            break;
        }
        case kBalls:
            for (int b = 0; b < 300; ++b) {
                const int cx = int(rng() % kSide), cy = int(rng() % kSide), cz = int(rng() % kSide);
                const int r = 4 + int(rng() % 16);
                for (int z = std::max(0, cz - r); z < std::min(kSide, cz + r + 1); ++z)
                    for (int y = std::max(0, cy - r); y < std::min(kSide, cy + r + 1); ++y)
                        for (int x = std::max(0, cx - r); x < std::min(kSide, cx + r + 1); ++x)
                            if ((x - cx) * (x - cx) + (y - cy) * (y - cy) + (z - cz) * (z - cz) <= r * r)
                                m[at(x, y, z)] = 1;
            }
            break;
        case kSerpentine:
            // Rows of every other slice, snaking, joined at alternate ends and between slices.
            for (int s = 0, z = 0; z < kSide; ++s, z += 2)
                for (int i = 0; i < kSide / 2; ++i) {
                    const int y = s % 2 == 0 ? 2 * i : kSide - 2 - 2 * i;
                    for (int x = 0; x < kSide; ++x) m[at(x, y, z)] = 1;
                    if (i + 1 < kSide / 2) m[at(i % 2 == 0 ? kSide - 1 : 0, s % 2 == 0 ? y + 1 : y - 1, z)] = 1;
                    else if (z + 1 < kSide) m[at(0, y, z + 1)] = 1;
                }
            break;
    }
    return m;
}

QelRawVolumeData* volume_of(const std::vector<uint8_t>& m) {
    const QelSize3i dims{kSide, kSide, kSide};
    QelRawVolumeData* v = QEL_NewSingleChannelRawVolumeData(&dims, QEL_VOXEL_UNIT_UINT8, QEL_ATTRIBUTE_PLAIN);
    std::memcpy(v->data[0], m.data(), m.size());
    return v;
}

// Runs op on a fresh copy each iteration; the copy is not timed.
template <class Op>
void run_on_copies(benchmark::State& state, const std::vector<uint8_t>& mask, Op op) {
    QelRawVolumeData* source = volume_of(mask);
    for (auto _ : state) {
        state.PauseTiming();
        QelRawVolumeData* v = QEL_CopyRawVolumeData(source);
        state.ResumeTiming();
        benchmark::DoNotOptimize(op(v));
        state.PauseTiming();
        QEL_DeleteRawVolumeData(v);
        state.ResumeTiming();
    }
    QEL_DeleteRawVolumeData(source);
    state.SetItemsProcessed(state.iterations() * kVoxels);
}

void BM_LabelBaseline(benchmark::State& state) {
    const QelSize3i dims{kSide, kSide, kSide};
    for (auto _ : state) {
        QelRawVolumeData* v = QEL_NewSingleChannelRawVolumeData(&dims, QEL_VOXEL_UNIT_UINT32, QEL_ATTRIBUTE_PLAIN);
        auto* p = static_cast<uint32_t*>(v->data[0]);
        for (int64_t i = 0; i < kVoxels; ++i) p[i] = uint32_t(i) & 7;
        benchmark::DoNotOptimize(p);
        QEL_DeleteRawVolumeData(v);
    }
    state.SetItemsProcessed(state.iterations() * kVoxels);
}

void BM_Label(benchmark::State& state) {
    const auto mask = make_mask(Shape(state.range(0)));
    const int connectivity = int(state.range(1));
    run_on_copies(state, mask, [&](QelRawVolumeData* v) { return QEL_LabelComponents(v, 0, connectivity); });
}

void BM_GrowFromFirstSlice(benchmark::State& state) {
    const auto mask = make_mask(Shape(state.range(0)));
    const int connectivity = int(state.range(1));
    std::vector<uint8_t> seeds(mask.size(), 0);
    std::copy(mask.begin(), mask.begin() + int64_t(kSide) * kSide, seeds.begin());
    QelRawVolumeData* seedVol = volume_of(seeds);
    QelTypedValueRange range{};
    range.min.bytes[0] = 1;
    range.max.bytes[0] = 1;
    // The strategy lines go to stderr once per call; keep them out of the report.
    std::fflush(stderr);
    const int saved = dup(2), null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, 2);
    run_on_copies(state, mask, [&](QelRawVolumeData* v) {
        return QEL_GrowSeedRegion(v, 0, seedVol, 0, &range, connectivity);
    });
    std::fflush(stderr);
    if (saved >= 0) dup2(saved, 2);
    if (saved >= 0) close(saved);
    if (null >= 0) close(null);
    QEL_DeleteRawVolumeData(seedVol);
}

void BM_FillCavities(benchmark::State& state) {
    const auto mask = make_mask(Shape(state.range(0)));
    run_on_copies(state, mask, [](QelRawVolumeData* v) { return QEL_FillCavities(v, 0); });
}

void BM_GaussianSmooth(benchmark::State& state) {
    const QelSize3i dims{kSide, kSide, kSide};
    const int unit = int(state.range(0));
    QelRawVolumeData* source = QEL_NewSingleChannelRawVolumeData(&dims, unit, QEL_ATTRIBUTE_PLAIN);
    std::mt19937 rng(5);
    auto* bytes = static_cast<uint8_t*>(source->data[0]);
    const int64_t n = kVoxels * QEL_GetVoxelUnitSize(unit);
    if (unit == QEL_VOXEL_UNIT_FLOAT64) {
        for (int64_t i = 0; i < kVoxels; ++i) static_cast<double*>(source->data[0])[i] = double(rng() % 1000);
    } else {
        for (int64_t i = 0; i < n; ++i) bytes[i] = uint8_t(rng());
    }
    const float sigma = float(state.range(1)) / 10.0f;
    for (auto _ : state) {
        state.PauseTiming();
        QelRawVolumeData* v = QEL_CopyRawVolumeData(source);
        state.ResumeTiming();
        QEL_GaussianSmoothChannel(v, 0, sigma);
        state.PauseTiming();
        QEL_DeleteRawVolumeData(v);
        state.ResumeTiming();
    }
    QEL_DeleteRawVolumeData(source);
    state.SetItemsProcessed(state.iterations() * kVoxels);
}

}  // namespace

BENCHMARK(BM_LabelBaseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Label)
    ->ArgsProduct({{kRandom30, kRandom50, kBalls, kSerpentine}, {6, 26}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GrowFromFirstSlice)
    ->ArgsProduct({{kRandom30, kRandom50, kBalls, kSerpentine}, {6, 26}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FillCavities)->DenseRange(kRandom30, kSerpentine)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GaussianSmooth)
    ->ArgsProduct({{QEL_VOXEL_UNIT_UINT8, QEL_VOXEL_UNIT_FLOAT64}, {10, 25}})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
