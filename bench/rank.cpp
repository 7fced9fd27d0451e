// Rank filters on 256^3 volumes of units 0, 2 and 6: the threaded median, minimum and
// maximum with the programs' two threads, the single-threaded maximum, and the slab
// routines alone on one thread (vector and reference paths) to separate selection cost
// from border and memory cost.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "filters/qel_rank.h"
#include "filters/qel_rank_slab.hpp"
#include "volume/qel_kernel.h"
#include "volume/qel_unit_dispatch.hpp"
#include "volume/qel_volume.h"

namespace {

constexpr int kSide = 256;

// Noise on a smooth ramp, so that neighbourhoods hold both ties and spread.
QelRawVolumeData* make_volume(int unit, int side) {
    const QelSize3i dims{side, side, side};
    QelRawVolumeData* vol = QEL_NewSingleChannelRawVolumeData(&dims, unit, 0);
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> noise(0, 63);
    qel::dispatch_unit_void(unit, [&](auto tag) {
        using T = typename decltype(tag)::type;
        T* d = static_cast<T*>(vol->data[0]);
        const int64_t count = int64_t{side} * side * side;
        for (int64_t i = 0; i < count; ++i) d[i] = static_cast<T>((i % side) / 2 + noise(rng));
    });
    return vol;
}

enum Filter { kMedian, kMinimum, kMaximum };

void BM_Threaded(benchmark::State& state) {
    const int unit = static_cast<int>(state.range(0));
    const float radius = static_cast<float>(state.range(1));
    const Filter filter = static_cast<Filter>(state.range(2));
    QelRawVolumeData* vol = make_volume(unit, kSide);
    QelKernel* kernel = QEL_NewSphericalKernel(radius);
    for (auto _ : state) {
        const int rc = filter == kMedian    ? QEL_MedianFilter_MT(vol, 0, kernel, 2)
                       : filter == kMinimum ? QEL_MinimumFilter_MT(vol, 0, kernel, 2)
                                            : QEL_MaximumFilter_MT(vol, 0, kernel, 2);
        benchmark::DoNotOptimize(rc);
    }
    state.SetItemsProcessed(state.iterations() * int64_t{kSide} * kSide * kSide);
    QEL_DeleteKernel(kernel);
    QEL_DeleteRawVolumeData(vol);
}
BENCHMARK(BM_Threaded)
    ->ArgNames({"unit", "radius", "filter"})
    ->ArgsProduct({{0, 2, 6}, {1, 2}, {kMedian, kMinimum, kMaximum}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_SingleMaximum(benchmark::State& state) {
    const int unit = static_cast<int>(state.range(0));
    QelRawVolumeData* vol = make_volume(unit, kSide);
    QelKernel* kernel = QEL_NewSphericalKernel(static_cast<float>(state.range(1)));
    for (auto _ : state) benchmark::DoNotOptimize(QEL_MaximumFilter(vol, 0, kernel));
    state.SetItemsProcessed(state.iterations() * int64_t{kSide} * kSide * kSide);
    QEL_DeleteKernel(kernel);
    QEL_DeleteRawVolumeData(vol);
}
BENCHMARK(BM_SingleMaximum)->ArgNames({"unit", "radius"})->ArgsProduct({{0, 2, 6}, {1, 2}})->Unit(benchmark::kMillisecond);

// Slab routines (median or minimum) on a padded block of 64 slices, one thread.
void BM_RankSlab(benchmark::State& state) {
    const int unit = static_cast<int>(state.range(0));
    const float radius = static_cast<float>(state.range(1));
    const qel::RankPath path = state.range(2) ? qel::RankPath::best : qel::RankPath::exact;
    QelKernel* kernel = QEL_NewSphericalKernel(radius);
    const int m = kernel->margin, slices = 64;
    const QelSize3i padded{kSide + 2 * m, kSide + 2 * m, slices + 2 * m};
    QEL_SetKernelOffsets(kernel, &padded);
    qel::dispatch_unit_void(unit, [&](auto tag) {
        using T = typename decltype(tag)::type;
        std::vector<T> src(static_cast<size_t>(padded.nx) * padded.ny * padded.nz);
        std::mt19937 rng(3);
        for (T& v : src) v = static_cast<T>(rng() % 200);
        std::vector<T> dst(static_cast<size_t>(kSide) * kSide * slices);
        const int size[3] = {kSide, kSide, slices};
        qel::SlabArgs a;
        qel::make_slab_args(size, kernel, &a);
        for (auto _ : state) {
            if (state.range(3) == 0)
                benchmark::DoNotOptimize(qel::rank_slab(path, dst.data(), a, src.data(), a.n / 2));
            else
                qel::min_slab(path, dst.data(), a, src.data());
            benchmark::ClobberMemory();
        }
        state.SetItemsProcessed(state.iterations() * int64_t{kSide} * kSide * slices);
    });
    QEL_DeleteKernel(kernel);
}
BENCHMARK(BM_RankSlab)
    ->ArgNames({"unit", "radius", "vector", "minimum"})
    ->ArgsProduct({{0, 2, 6}, {1, 2}, {1}, {0, 1}})
    ->Args({6, 1, 0, 0})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
