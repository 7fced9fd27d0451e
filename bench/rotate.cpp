// Quarter and half turns of a 256^3 volume (each includes allocating the turned copy), against
// a naive element loop of the same transpose without tiles.
#include <benchmark/benchmark.h>

#include <cstring>

#include "filters/qel_rotate.h"
#include "volume/qel_volume.h"

namespace {

constexpr int kSide = 256;

QelRawVolumeData* new_volume(int unit) {
    QelSize3i dims{kSide, kSide, kSide};
    QelRawVolumeData* vol = QEL_NewSingleChannelRawVolumeData(&dims, unit, 0);
    if (vol) std::memset(vol->data[0], 0x5A, size_t(kSide) * kSide * kSide * QEL_GetVoxelUnitSize(unit));
    return vol;
}

void set_bytes(benchmark::State& state, int unit) {
    state.SetBytesProcessed(state.iterations() * int64_t(kSide) * kSide * kSide * QEL_GetVoxelUnitSize(unit));
}

// range(0): axis 0 x, 1 y, 2 z; range(1): unit.
void BM_RotateQuarter(benchmark::State& state) {
    const int unit = int(state.range(1));
    QelRawVolumeData* vol = new_volume(unit);
    int (*turn)(QelRawVolumeData*) = state.range(0) == 0   ? QEL_RotateRawVolumeDataX90
                                     : state.range(0) == 1 ? QEL_RotateRawVolumeDataY90
                                                           : QEL_RotateRawVolumeDataZ90;
    for (auto _ : state) benchmark::DoNotOptimize(turn(vol));
    set_bytes(state, unit);
    QEL_DeleteRawVolumeData(vol);
}
BENCHMARK(BM_RotateQuarter)->ArgsProduct({{0, 1, 2}, {0, 3, 6}})->Unit(benchmark::kMillisecond);

void BM_RotateHalfX(benchmark::State& state) {
    const int unit = int(state.range(0));
    QelRawVolumeData* vol = new_volume(unit);
    for (auto _ : state) benchmark::DoNotOptimize(QEL_RotateRawVolumeData180(vol, "X"));
    set_bytes(state, unit);
    QEL_DeleteRawVolumeData(vol);
}
BENCHMARK(BM_RotateHalfX)->Arg(0)->Arg(3)->Unit(benchmark::kMillisecond);

// The y turn as a plain loop in input order, into a record that already exists.
void BM_NaiveLoopY(benchmark::State& state) {
    QelRawVolumeData* in = new_volume(3);
    QelRawVolumeData* out = new_volume(3);
    for (auto _ : state) {
        for (int z = 0; z < kSide; ++z)
            for (int y = 0; y < kSide; ++y) {
                const auto* src = static_cast<const int16_t*>(in->slices[0][z][y]);
                for (int x = 0; x < kSide; ++x) static_cast<int16_t*>(out->slices[0][x][y])[kSide - 1 - z] = src[x];
            }
        benchmark::ClobberMemory();
    }
    set_bytes(state, 3);
    QEL_DeleteRawVolumeData(in);
    QEL_DeleteRawVolumeData(out);
}
BENCHMARK(BM_NaiveLoopY)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
