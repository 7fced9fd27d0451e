// Growing a 256^3 volume by a border against one plain pass over the same bytes.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "volume/qel_flip.h"
#include "volume/qel_pad.h"
#include "volume/qel_volume.h"

namespace {

constexpr int kSide = 256;
constexpr int kWidth = 2;

QelRawVolumeData* new_volume(int unit) {
    QelSize3i dims{kSide, kSide, kSide};
    QelRawVolumeData* vol = QEL_NewSingleChannelRawVolumeData(&dims, unit, 0);
    if (vol) std::memset(vol->data[0], 0x5A, size_t(kSide) * kSide * kSide * QEL_GetVoxelUnitSize(unit));
    return vol;
}

int64_t volume_bytes(int unit) { return int64_t(kSide) * kSide * kSide * QEL_GetVoxelUnitSize(unit); }

// One pass: memcpy of the volume's bytes into a block that is already mapped.
void BM_MemcpyVolumeBytes(benchmark::State& state) {
    const int unit = int(state.range(0));
    const size_t bytes = size_t(volume_bytes(unit));
    std::unique_ptr<unsigned char[]> from(new unsigned char[bytes]), to(new unsigned char[bytes]);
    std::memset(from.get(), 0x5A, bytes);
    std::memset(to.get(), 0, bytes);
    for (auto _ : state) {
        std::memcpy(to.get(), from.get(), bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(bytes));
}

// One pass into a fresh record, as a grow must do: allocate and copy.
void BM_CopyVolumeRecord(benchmark::State& state) {
    const int unit = int(state.range(0));
    QelRawVolumeData* vol = new_volume(unit);
    for (auto _ : state) {
        QelRawVolumeData* copy = QEL_CopyRawVolumeData(vol);
        benchmark::DoNotOptimize(copy);
        QEL_DeleteRawVolumeData(copy);
    }
    QEL_DeleteRawVolumeData(vol);
    state.SetBytesProcessed(state.iterations() * volume_bytes(unit));
}

// Grow by 2 on all six sides; the shrink that restores the volume is not timed.
void BM_Expand(benchmark::State& state) {
    const int unit = int(state.range(0)), mode = int(state.range(1));
    QelRawVolumeData* vol = new_volume(unit);
    for (auto _ : state) {
        if (QEL_ExpandRawVolumeData(vol, kWidth, mode) != 0) state.SkipWithError("grow failed");
        state.PauseTiming();
        QEL_ShrinkRawVolumeData(vol, kWidth);
        state.ResumeTiming();
    }
    QEL_DeleteRawVolumeData(vol);
    state.SetBytesProcessed(state.iterations() * volume_bytes(unit));
}

// Shrink back by 2 (a crop of a box inside); the grow before it is not timed.
void BM_Shrink(benchmark::State& state) {
    const int unit = int(state.range(0));
    QelRawVolumeData* vol = new_volume(unit);
    for (auto _ : state) {
        state.PauseTiming();
        QEL_ExpandRawVolumeData(vol, kWidth, QEL_PAD_ZERO);
        state.ResumeTiming();
        if (QEL_ShrinkRawVolumeData(vol, kWidth) != 0) state.SkipWithError("shrink failed");
    }
    QEL_DeleteRawVolumeData(vol);
    state.SetBytesProcessed(state.iterations() * volume_bytes(unit));
}

// Whole-volume flips in place.
void BM_Flip(benchmark::State& state) {
    const int unit = int(state.range(0));
    const char* axis[3] = {"x", "y", "z"};
    QelRawVolumeData* vol = new_volume(unit);
    for (auto _ : state) QEL_FlipRawVolumeData(vol, 0, nullptr, axis[state.range(1)]);
    QEL_DeleteRawVolumeData(vol);
    state.SetBytesProcessed(state.iterations() * volume_bytes(unit));
}

}  // namespace

// Units 0 (8-bit) and 6 (float); modes zero, mirror, replicate.
BENCHMARK(BM_MemcpyVolumeBytes)->Arg(0)->Arg(6)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyVolumeRecord)->Arg(0)->Arg(6)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Expand)->ArgsProduct({{0, 6}, {0, 1, 2}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Shrink)->Arg(0)->Arg(6)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Flip)->ArgsProduct({{0, 6}, {0, 1, 2}})->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
