// The brick mesher on a 256^3 channel holding a ball of radius 100 (about 104 000 bricks at
// full resolution), per pipeline, resolution and component selection.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "bench/quiet_stderr.hpp"
#include "programs/voxelsurfacer/brick_mesher.h"
#include "volume/qel_volume.h"

namespace {

constexpr int kSide = 256;

QelRawVolumeData* ball(int unit) {
    QelSize3i dims{kSide, kSide, kSide};
    QelRawVolumeData* vol = QEL_NewSingleChannelRawVolumeData(&dims, unit, unit == 4 ? 2 : 0);
    if (!vol) return nullptr;
    const double c = (kSide - 1) / 2.0;
    for (int z = 0; z < kSide; ++z)
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x) {
                const double d = std::sqrt((x - c) * (x - c) + (y - c) * (y - c) + (z - c) * (z - c));
                const int64_t i = x + int64_t{kSide} * (y + int64_t{kSide} * z);
                const uint8_t v = d < 100 ? static_cast<uint8_t>(255 - d) : 0;
                if (unit == 4)
                    static_cast<uint32_t*>(vol->data[0])[i] = 0x80604000u | v;
                else
                    static_cast<uint8_t*>(vol->data[0])[i] = v;
            }
    return vol;
}

// Arguments: gradient mode, resolution mode, unit (0 grey, 4 RGBA), component selection.
void BM_MeshBall(benchmark::State& state) {
    MesherSettings s{};
    s.volume = ball(int(state.range(2)));
    s.threshold = 100.0f;
    s.uniformColor[0] = s.uniformColor[1] = s.uniformColor[2] = 0.5f;
    s.alpha = 1.0f;
    s.gradientMode = int(state.range(0));
    s.resolutionMode = int(state.range(1));
    s.colorMode = MESHER_COLOR_ORIGINAL;
    s.sigma = 1.0f;
    s.ccAnalysis = int(state.range(3));
    s.components = 1;
    const QelValueRange window{0.0f, 255.0f};
    int bricks = 0;
    {
        QuietStderr quiet;
        for (auto _ : state) {
            if (MeshVolume(&s, &window, nullptr) != 0) state.SkipWithError("mesher failed");
            bricks = s.group ? s.group->count : 0;
        }
    }
    state.counters["bricks"] = bricks;
    QEL_DeleteDataObjectGroup(s.group);
    QEL_DeleteRawVolumeData(s.volume);
}

}  // namespace

BENCHMARK(BM_MeshBall)
    ->ArgNames({"gradient", "resolution", "unit", "cc"})
    ->Args({MESHER_GRADIENT_UNUSE, MESHER_RESOLUTION_HIGH, 0, 0})
    ->Args({MESHER_GRADIENT_USE, MESHER_RESOLUTION_HIGH, 0, 0})
    ->Args({MESHER_GRADIENT_UNUSE, MESHER_RESOLUTION_HIGH, 0, 1})
    ->Args({MESHER_GRADIENT_USE, MESHER_RESOLUTION_LOW, 0, 0})
    ->Args({MESHER_GRADIENT_UNUSE, MESHER_RESOLUTION_HIGH, 4, 0})
    ->Args({MESHER_GRADIENT_USE, MESHER_RESOLUTION_HIGH, 4, 0})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

BENCHMARK_MAIN();
