// Benchmarks of the volume records.
#include <benchmark/benchmark.h>

#include "volume/qel_volume.h"

static void BM_NewCopyDeleteVolume(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    QelSize3i dims{n, n, n};
    for (auto _ : state) {
        QelRawVolumeData* vol = QEL_NewSingleChannelRawVolumeData(&dims, QEL_VOXEL_UNIT_UINT8, 0);
        QelRawVolumeData* copy = QEL_CopyRawVolumeData(vol);
        benchmark::DoNotOptimize(copy);
        QEL_DeleteRawVolumeData(copy);
        QEL_DeleteRawVolumeData(vol);
    }
    state.SetBytesProcessed(state.iterations() * int64_t(n) * n * n);
}
BENCHMARK(BM_NewCopyDeleteVolume)->Arg(64)->Arg(256);

BENCHMARK_MAIN();
