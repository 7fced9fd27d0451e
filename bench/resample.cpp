// Resampling a 256^3 volume by 2 along every axis: halved to 128^3 and doubled to 511^3
// (the grid that keeps every old sample), in both modes, for 8-bit and float channels.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>

#include "filters/qel_resample.h"
#include "volume/qel_volume.h"

namespace {

QelRawVolumeData* random_volume(int n, int unit) {
    const QelSize3i dims{n, n, n};
    QelRawVolumeData* v = QEL_NewSingleChannelRawVolumeData(&dims, unit, 0);
    if (!v) return nullptr;
    std::mt19937 rng(1);
    const int64_t count = int64_t(n) * n * n;
    if (unit == QEL_VOXEL_UNIT_FLOAT32) {
        float* p = static_cast<float*>(v->data[0]);
        for (int64_t i = 0; i < count; ++i) p[i] = static_cast<float>(rng() % 4096) / 16.0f;
    } else {
        uint8_t* p = static_cast<uint8_t*>(v->data[0]);
        for (int64_t i = 0; i < count; ++i) p[i] = static_cast<uint8_t>(rng());
    }
    return v;
}

// Args: unit, mode, new size per axis.
void BM_Resize256(benchmark::State& state) {
    const int unit = static_cast<int>(state.range(0)), mode = static_cast<int>(state.range(1));
    const int n = static_cast<int>(state.range(2));
    QelRawVolumeData* source = random_volume(256, unit);
    if (!source) {
        state.SkipWithError("no memory");
        return;
    }
    const QelSize3i newDims{n, n, n};
    QelRawVolumeData* target = QEL_NewSingleChannelRawVolumeData(&newDims, unit, 0);
    // Touch the target once so that page faults of its first use stay out of the timing.
    if (mode == 0) QEL_ResizeVolumeChannelsNearest(source, target);
    else QEL_ResizeVolumeChannelsLinear(source, target);
    for (auto _ : state) {
        // The per-channel loop alone: the resize itself only adds one allocation and a swap.
        if (mode == 0) benchmark::DoNotOptimize(QEL_ResizeVolumeChannelsNearest(source, target));
        else benchmark::DoNotOptimize(QEL_ResizeVolumeChannelsLinear(source, target));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * int64_t(n) * n * n);
    QEL_DeleteRawVolumeData(target);
    QEL_DeleteRawVolumeData(source);
}

// The whole in-place resize, allocation of the new record included.
void BM_ResizeInPlace256(benchmark::State& state) {
    const int unit = static_cast<int>(state.range(0)), n = static_cast<int>(state.range(1));
    QelRawVolumeData* source = random_volume(256, unit);
    for (auto _ : state) {
        state.PauseTiming();
        QelRawVolumeData* v = QEL_CopyRawVolumeData(source);
        state.ResumeTiming();
        const int size[3] = {n, n, n};
        benchmark::DoNotOptimize(QEL_ResizeRawVolumeData(v, size, 1));
        state.PauseTiming();
        QEL_DeleteRawVolumeData(v);
        state.ResumeTiming();
    }
    QEL_DeleteRawVolumeData(source);
}

}  // namespace

BENCHMARK(BM_Resize256)
    ->ArgNames({"unit", "mode", "n"})
    ->Args({QEL_VOXEL_UNIT_UINT8, 1, 128})
    ->Args({QEL_VOXEL_UNIT_FLOAT32, 1, 128})
    ->Args({QEL_VOXEL_UNIT_UINT8, 0, 128})
    ->Args({QEL_VOXEL_UNIT_FLOAT32, 0, 128})
    ->Args({QEL_VOXEL_UNIT_UINT8, 1, 511})
    ->Args({QEL_VOXEL_UNIT_FLOAT32, 1, 511})
    ->Args({QEL_VOXEL_UNIT_UINT8, 0, 511})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResizeInPlace256)
    ->ArgNames({"unit", "n"})
    ->Args({QEL_VOXEL_UNIT_FLOAT32, 128})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
