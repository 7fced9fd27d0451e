// Benchmarks of the value operations on one 128^3 channel.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "values/qel_values.h"

namespace {

constexpr int32_t kCount = 128 * 128 * 128;

template <class T>
std::vector<T> ramp() {
    std::vector<T> v(kCount);
    for (int32_t i = 0; i < kCount; ++i) v[i] = static_cast<T>(i % 200);
    return v;
}

void BM_AddToArray_Uint8(benchmark::State& state) {
    auto v = ramp<uint8_t>();
    for (auto _ : state) {
        QEL_AddToArray_Uint8(v.data(), kCount, 3);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(kCount) * sizeof(uint8_t));
}
BENCHMARK(BM_AddToArray_Uint8);

void BM_AddToArray_Int32(benchmark::State& state) {
    auto v = ramp<int32_t>();
    for (auto _ : state) {
        QEL_AddToArray_Int32(v.data(), kCount, 3);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(kCount) * sizeof(int32_t));
}
BENCHMARK(BM_AddToArray_Int32);

void BM_ReplaceInArray_Float32(benchmark::State& state) {
    auto v = ramp<float>();
    for (auto _ : state) {
        QEL_ReplaceInArray_Float32(v.data(), kCount, 7.0f, 7.0f);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(kCount) * sizeof(float));
}
BENCHMARK(BM_ReplaceInArray_Float32);

// Results stay within 32 bits: the vectorised truncation.
void BM_ScaleArray_Int16(benchmark::State& state) {
    auto v = ramp<int16_t>();
    for (auto _ : state) {
        QEL_ScaleArray_Int16(v.data(), kCount, 1.0f, 0.0f);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(kCount) * sizeof(int16_t));
}
BENCHMARK(BM_ScaleArray_Int16);

// Results past 2^31 in every block: the general store.
void BM_ScaleArray_Uint32_Large(benchmark::State& state) {
    std::vector<uint32_t> v(kCount, 4000000000u);
    for (auto _ : state) {
        QEL_ScaleArray_Uint32(v.data(), kCount, 1.0f, 0.0f);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(kCount) * sizeof(uint32_t));
}
BENCHMARK(BM_ScaleArray_Uint32_Large);

void BM_FillMinimum_Int32(benchmark::State& state) {
    auto v = ramp<int32_t>();
    for (auto _ : state) {
        QEL_FillArray_Int32(v.data(), kCount, -2147483647);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(kCount) * sizeof(int32_t));
}
BENCHMARK(BM_FillMinimum_Int32);

}  // namespace

BENCHMARK_MAIN();
