// Rank-filter drivers against the brute-force reference: every unit, first / median / last
// rank, radii 1, 1.5 and 2, both builds (mirror borders and threads, replicated borders on
// one thread); thread counts and z extents; the failure and edge rules.
#include <gtest/gtest.h>

#include <pthread.h>

#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "filters/qel_rank.h"
#include "rank/rank_reference.hpp"
#include "support/capture.hpp"
#include "volume/qel_kernel.h"
#include "volume/qel_unit_dispatch.hpp"

namespace {

using namespace ranktest;

const char kInvalidKernel[] = "QEL_RankFilter_MT: Invalid kernel(==NULL) error\n";

enum class Driver { threaded, single };

// Runs one driver on a copy of `values` and returns the filtered channel.
template <class T>
std::vector<T> run_driver(Driver driver, const std::vector<T>& values, int nx, int ny, int nz, int unit,
                          QelKernel* kernel, int rank, int threads = 2) {
    VolumePtr vol = make_volume(nx, ny, nz, unit, values.data());
    EXPECT_TRUE(vol);
    int rc;
    if (driver == Driver::threaded)
        rc = QEL_RankFilter_MT(vol.get(), 0, kernel, rank, threads);
    else
        rc = QEL_RankFilter(vol.get(), 0, kernel, rank);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(vol->size->nx, nx);
    EXPECT_EQ(vol->size->nz, nz);
    const T* d = static_cast<const T*>(vol->data[0]);
    return std::vector<T>(d, d + values.size());
}

// What each build computes for a rank: the threaded build routes rank 0 and n - 1 to the
// minimum and maximum chains, the single-threaded QEL_RankFilter always sorts.
Pick pick_for(Driver driver, int rank, int n) {
    if (driver == Driver::single) return Pick::sort;
    if (rank == 0) return Pick::minimum;
    if (rank == n - 1) return Pick::maximum;
    return Pick::sort;
}

template <class T>
std::string diff_at(const std::vector<T>& got, const std::vector<T>& want) {
    for (size_t i = 0; i < got.size(); ++i)
        if (std::memcmp(&got[i], &want[i], sizeof(T)) != 0)
            return "first difference at element " + std::to_string(i) + ": got " +
                   std::to_string(static_cast<double>(got[i])) + ", want " +
                   std::to_string(static_cast<double>(want[i]));
    return "";
}

class RankFilterByUnit : public ::testing::TestWithParam<int> {};

TEST_P(RankFilterByUnit, BothBuildsMatchTheReferenceForEveryRankAndRadius) {
    const int unit = GetParam();
    const int nx = 37, ny = 6, nz = 7;  // rows of full and partial vectors; 2 threads: 3 + 4 slices
    qel::dispatch_unit_void(unit, [&](auto tag) {
        using T = typename decltype(tag)::type;
        const std::vector<T> values = random_values<T>(static_cast<size_t>(nx) * ny * nz, 100 + unit, true);
        for (float radius : {1.0f, 1.5f, 2.0f}) {
            KernelPtr kernel(QEL_NewSphericalKernel(radius));
            ASSERT_TRUE(kernel);
            const int n = kernel->points->count;
            for (int rank : {0, n / 2, n - 1}) {
                for (Driver driver : {Driver::threaded, Driver::single}) {
                    const Border border = driver == Driver::threaded ? Border::mirror : Border::replicate;
                    const std::vector<T> want =
                        reference_filter(values.data(), nx, ny, nz, kernel.get(), pick_for(driver, rank, n), rank, border);
                    const std::vector<T> got = run_driver(driver, values, nx, ny, nz, unit, kernel.get(), rank);
                    ASSERT_EQ(diff_at(got, want), "")
                        << "radius " << radius << " rank " << rank << (driver == Driver::threaded ? " threaded" : " single");
                }
            }
            // The named wrappers pick the same ranks.
            const std::vector<T> median = run_driver(Driver::threaded, values, nx, ny, nz, unit, kernel.get(), n / 2);
            VolumePtr vol = make_volume(nx, ny, nz, unit, values.data());
            ASSERT_EQ(QEL_MedianFilter_MT(vol.get(), 0, kernel.get(), 2), 0);
            EXPECT_EQ(std::memcmp(vol->data[0], median.data(), median.size() * sizeof(T)), 0);

            for (Pick pick : {Pick::minimum, Pick::maximum}) {
                VolumePtr single = make_volume(nx, ny, nz, unit, values.data());
                const int rc = pick == Pick::minimum ? QEL_MinimumFilter(single.get(), 0, kernel.get())
                                                     : QEL_MaximumFilter(single.get(), 0, kernel.get());
                ASSERT_EQ(rc, 0);
                const std::vector<T> want =
                    reference_filter(values.data(), nx, ny, nz, kernel.get(), pick, 0, Border::replicate);
                const T* d = static_cast<const T*>(single->data[0]);
                EXPECT_EQ(diff_at(std::vector<T>(d, d + want.size()), want), "") << "radius " << radius;

                VolumePtr threaded = make_volume(nx, ny, nz, unit, values.data());
                const int rct = pick == Pick::minimum ? QEL_MinimumFilter_MT(threaded.get(), 0, kernel.get(), 2)
                                                      : QEL_MaximumFilter_MT(threaded.get(), 0, kernel.get(), 2);
                ASSERT_EQ(rct, 0);
                const std::vector<T> wantT =
                    reference_filter(values.data(), nx, ny, nz, kernel.get(), pick, 0, Border::mirror);
                const T* dt = static_cast<const T*>(threaded->data[0]);
                EXPECT_EQ(diff_at(std::vector<T>(dt, dt + wantT.size()), wantT), "") << "radius " << radius;
            }
            VolumePtr single = make_volume(nx, ny, nz, unit, values.data());
            ASSERT_EQ(QEL_MedianFilter(single.get(), 0, kernel.get()), 0);
            const std::vector<T> want =
                reference_filter(values.data(), nx, ny, nz, kernel.get(), Pick::sort, n / 2, Border::replicate);
            EXPECT_EQ(std::memcmp(single->data[0], want.data(), want.size() * sizeof(T)), 0);
        }
    });
}

INSTANTIATE_TEST_SUITE_P(Units, RankFilterByUnit, ::testing::Range(0, 8));

TEST(RankFilterThreads, EveryThreadCountAndDepthGivesTheSameChannel) {
    const int nx = 19, ny = 4;
    for (int nz : {1, 2, 5, 7}) {
        for (float radius : {1.0f, 2.0f}) {
            KernelPtr kernel(QEL_NewSphericalKernel(radius));
            const int n = kernel->points->count;
            const std::vector<float> f = random_values<float>(static_cast<size_t>(nx) * ny * nz, 7 + nz, true);
            const std::vector<uint16_t> u = random_values<uint16_t>(static_cast<size_t>(nx) * ny * nz, 9 + nz, false);
            for (int rank : {0, n / 2, n - 1}) {
                const std::vector<float> wantF = reference_filter(f.data(), nx, ny, nz, kernel.get(),
                                                                  pick_for(Driver::threaded, rank, n), rank, Border::mirror);
                const std::vector<uint16_t> wantU = reference_filter(u.data(), nx, ny, nz, kernel.get(),
                                                                     pick_for(Driver::threaded, rank, n), rank, Border::mirror);
                for (int threads : {1, 2, 3, 8}) {
                    EXPECT_EQ(diff_at(run_driver(Driver::threaded, f, nx, ny, nz, 6, kernel.get(), rank, threads), wantF), "")
                        << "nz " << nz << " threads " << threads << " rank " << rank;
                    EXPECT_EQ(diff_at(run_driver(Driver::threaded, u, nx, ny, nz, 2, kernel.get(), rank, threads), wantU), "")
                        << "nz " << nz << " threads " << threads << " rank " << rank;
                }
            }
        }
    }
}

TEST(RankFilterThreads, DeepRunsSlideTheirWindowSeveralTimes) {
    // Runs longer than one window position (32 slices of a small grid), split unevenly.
    const int nx = 9, ny = 4, nz = 75;
    for (float radius : {1.0f, 2.0f}) {
        KernelPtr kernel(QEL_NewSphericalKernel(radius));
        const int n = kernel->points->count;
        const std::vector<float> f = random_values<float>(static_cast<size_t>(nx) * ny * nz, 21, true);
        const std::vector<int32_t> v = random_values<int32_t>(static_cast<size_t>(nx) * ny * nz, 22, false);
        for (int rank : {0, n / 2}) {
            const std::vector<float> wantF = reference_filter(f.data(), nx, ny, nz, kernel.get(),
                                                              pick_for(Driver::threaded, rank, n), rank, Border::mirror);
            const std::vector<int32_t> wantV = reference_filter(v.data(), nx, ny, nz, kernel.get(),
                                                                pick_for(Driver::threaded, rank, n), rank, Border::mirror);
            for (int threads : {1, 2, 3}) {
                EXPECT_EQ(diff_at(run_driver(Driver::threaded, f, nx, ny, nz, 6, kernel.get(), rank, threads), wantF), "")
                    << "radius " << radius << " threads " << threads;
                EXPECT_EQ(diff_at(run_driver(Driver::threaded, v, nx, ny, nz, 5, kernel.get(), rank, threads), wantV), "")
                    << "radius " << radius << " threads " << threads;
            }
            EXPECT_EQ(diff_at(run_driver(Driver::single, v, nx, ny, nz, 5, kernel.get(), rank),
                              reference_filter(v.data(), nx, ny, nz, kernel.get(), Pick::sort, rank, Border::replicate)),
                      "");
        }
    }
}

TEST(RankFilterThreads, ThreadRoutinesFilterTheirSlabAndFreeTheTask) {
    // A padded block built by hand (replicated borders), split into two tasks by z.
    const int nx = 11, ny = 3, nz = 5;
    KernelPtr kernel(QEL_NewSphericalKernel(1.5f));
    const int m = kernel->margin, n = kernel->points->count;
    const int px = nx + 2 * m, py = ny + 2 * m, pz = nz + 2 * m;
    const QelSize3i padded{px, py, pz};
    QEL_SetKernelOffsets(kernel.get(), &padded);
    const std::vector<uint16_t> v = random_values<uint16_t>(static_cast<size_t>(nx) * ny * nz, 31, false);
    std::vector<uint16_t> src(static_cast<size_t>(px) * py * pz);
    for (int z = 0; z < pz; ++z)
        for (int y = 0; y < py; ++y)
            for (int x = 0; x < px; ++x)
                src[(static_cast<size_t>(z) * py + y) * px + x] =
                    v[(static_cast<size_t>(border_index(z - m, nz, Border::replicate)) * ny +
                       border_index(y - m, ny, Border::replicate)) * nx + border_index(x - m, nx, Border::replicate)];
    using Routine = void* (*)(void*);
    const struct {
        Routine routine;
        Pick pick;
        int rank;
    } runs[] = {{QEL_RankFilterThread, Pick::sort, n / 2},
                {QEL_MinimumFilterThread, Pick::minimum, 0},
                {QEL_MaximumFilterThread, Pick::maximum, 0}};
    for (const auto& run : runs) {
        std::vector<uint16_t> out(v.size(), 0);
        const int split[2][2] = {{0, 2}, {2, 3}};  // first slice, slices
        for (const auto& part : split) {
            auto* task = static_cast<QelRankFilterTask*>(malloc(sizeof(QelRankFilterTask)));  // freed by the routine
            *task = QelRankFilterTask{2, src.data() + static_cast<size_t>(part[0]) * px * py,
                                      out.data() + static_cast<size_t>(part[0]) * nx * ny, run.rank, nx, ny, part[1],
                                      kernel.get()};
            pthread_t t;
            ASSERT_EQ(pthread_create(&t, nullptr, run.routine, task), 0);
            void* result = &t;
            pthread_join(t, &result);
            EXPECT_EQ(result, nullptr);
        }
        EXPECT_EQ(out, reference_filter(v.data(), nx, ny, nz, kernel.get(), run.pick, run.rank, Border::replicate));
    }
}

TEST(RankFilterThreads, ThreadRoutinesWithoutSourceOrDestinationWriteNothing) {
    // The routines run the slab routines' rules: a missing pointer or kernel writes nothing,
    // and the task is freed all the same (ASan reports a leaked or doubly freed task).
    KernelPtr kernel(QEL_NewSphericalKernel(1.0f));
    const int m = kernel->margin;
    const QelSize3i padded{4 + 2 * m, 3 + 2 * m, 2 + 2 * m};
    QEL_SetKernelOffsets(kernel.get(), &padded);
    std::vector<uint8_t> src(static_cast<size_t>(padded.nx) * padded.ny * padded.nz, 7);
    for (auto routine : {QEL_RankFilterThread, QEL_MinimumFilterThread, QEL_MaximumFilterThread}) {
        std::vector<uint8_t> out(4 * 3 * 2, 0);
        const QelRankFilterTask tasks[] = {{0, nullptr, out.data(), 1, 4, 3, 2, kernel.get()},
                                           {0, src.data(), nullptr, 1, 4, 3, 2, kernel.get()},
                                           {0, src.data(), out.data(), 1, 4, 3, 2, nullptr}};
        for (const QelRankFilterTask& t : tasks) {
            auto* task = static_cast<QelRankFilterTask*>(malloc(sizeof(QelRankFilterTask)));
            *task = t;
            EXPECT_EQ(routine(task), nullptr);
        }
        EXPECT_EQ(out, std::vector<uint8_t>(out.size(), 0));
    }
    EXPECT_EQ(QEL_RankFilterThread(nullptr), nullptr);
}

TEST(RankFilterThreads, ThreadCountBelowOneCountsAsOne) {
    KernelPtr kernel(QEL_NewSphericalKernel(1.0f));
    const std::vector<int16_t> v = random_values<int16_t>(10 * 3 * 4, 3, false);
    const std::vector<int16_t> one = run_driver(Driver::threaded, v, 10, 3, 4, 3, kernel.get(), 3, 1);
    EXPECT_EQ(run_driver(Driver::threaded, v, 10, 3, 4, 3, kernel.get(), 3, 0), one);
    EXPECT_EQ(run_driver(Driver::threaded, v, 10, 3, 4, 3, kernel.get(), 3, -5), one);
}

TEST(RankFilterRules, NullKernelPrintsOnceForEveryThreadedWrapperAndChangesNothing) {
    const std::vector<uint8_t> v = random_values<uint8_t>(5 * 4 * 3, 1, false);
    VolumePtr vol = make_volume(5, 4, 3, 0, v.data());
    using Wrapper = int (*)(QelRawVolumeData*, int, QelKernel*, int);
    for (Wrapper w : {QEL_MedianFilter_MT, QEL_MinimumFilter_MT, QEL_MaximumFilter_MT}) {
        qeltest::StderrCapture cap;
        EXPECT_EQ(w(vol.get(), 0, nullptr, 2), -1);
        EXPECT_EQ(cap.stop(), kInvalidKernel);
    }
    {
        qeltest::StderrCapture cap;
        EXPECT_EQ(QEL_RankFilter_MT(vol.get(), 0, nullptr, 0, 2), -1);
        EXPECT_EQ(cap.stop(), kInvalidKernel);
    }
    {
        qeltest::StderrCapture cap;
        EXPECT_EQ(QEL_RankFilter(vol.get(), 0, nullptr, 0), -1);
        EXPECT_EQ(QEL_MedianFilter(vol.get(), 0, nullptr), -1);
        EXPECT_EQ(QEL_MinimumFilter(vol.get(), 0, nullptr), -1);
        EXPECT_EQ(QEL_MaximumFilter(vol.get(), 0, nullptr), -1);
        EXPECT_EQ(QEL_MaximumFilter(nullptr, 0, nullptr), -1);
        EXPECT_EQ(cap.stop(), "");
    }
    EXPECT_EQ(std::memcmp(vol->data[0], v.data(), v.size()), 0);
}

TEST(RankFilterRules, RefusedArgumentsLeaveTheChannelUnchanged) {
    KernelPtr kernel(QEL_NewSphericalKernel(1.0f));
    const std::vector<uint8_t> v = random_values<uint8_t>(6 * 5 * 4, 2, false);
    VolumePtr vol = make_volume(6, 5, 4, 0, v.data());
    qeltest::StderrCapture cap;
    EXPECT_EQ(QEL_RankFilter_MT(vol.get(), 0, kernel.get(), 7, 2), -1);   // rank past n - 1
    EXPECT_EQ(QEL_RankFilter_MT(vol.get(), 0, kernel.get(), -1, 2), -1);
    EXPECT_EQ(QEL_RankFilter_MT(vol.get(), 1, kernel.get(), 3, 2), -1);   // no such channel
    EXPECT_EQ(QEL_RankFilter(vol.get(), 0, kernel.get(), 7), -1);
    EXPECT_EQ(QEL_RankFilter(vol.get(), -1, kernel.get(), 3), -1);
    EXPECT_EQ(cap.stop(), "");
    EXPECT_EQ(std::memcmp(vol->data[0], v.data(), v.size()), 0);
}

TEST(RankFilterRules, KernelsReachingPastTheirMarginArePaddedByTheirReach) {
    // A margin smaller than the points' reach (0, or a general kernel whose margin was never
    // widened), on extents shorter than the reach so that the mirror reflects more than once.
    KernelPtr sphere(QEL_NewSphericalKernel(2.0f));
    sphere->margin = 0;
    KernelPtr far(QEL_NewKernel(4));
    for (const QelPoint3i& p : {QelPoint3i{0, 0, 0}, QelPoint3i{5, 0, 0}, QelPoint3i{0, -3, 1}, QelPoint3i{1, 1, -4}})
        QEL_SetKernelWeight(far.get(), &p, 1.0f);
    far->margin = 1;
    const int nx = 7, ny = 2, nz = 3;
    const std::vector<uint16_t> v = random_values<uint16_t>(static_cast<size_t>(nx) * ny * nz, 12, false);
    for (QelKernel* kernel : {sphere.get(), far.get()}) {
        const int n = kernel->points->count;
        for (int rank : {0, n / 2, n - 1}) {
            EXPECT_EQ(diff_at(run_driver(Driver::threaded, v, nx, ny, nz, 2, kernel, rank, 2),
                              reference_filter(v.data(), nx, ny, nz, kernel, pick_for(Driver::threaded, rank, n), rank,
                                               Border::mirror)),
                      "") << "n " << n << " rank " << rank;
            EXPECT_EQ(diff_at(run_driver(Driver::single, v, nx, ny, nz, 2, kernel, rank),
                              reference_filter(v.data(), nx, ny, nz, kernel, Pick::sort, rank, Border::replicate)),
                      "") << "n " << n << " rank " << rank;
        }
    }
}

TEST(RankFilterRules, OnlyTheChosenChannelChanges) {
    const int nx = 9, ny = 5, nz = 4;
    const QelSize4i size{nx, ny, nz, 3};
    const int units[3] = {6, 0, 4};
    const int attributes[3] = {0, 0, 2};
    VolumePtr vol(QEL_NewRawVolumeData(&size, units, attributes));
    ASSERT_TRUE(vol);
    const size_t count = static_cast<size_t>(nx) * ny * nz;
    const std::vector<float> c0 = random_values<float>(count, 5, false);
    const std::vector<uint8_t> c1 = random_values<uint8_t>(count, 6, false);
    const std::vector<uint32_t> c2 = random_values<uint32_t>(count, 7, false);
    std::memcpy(vol->data[0], c0.data(), count * 4);
    std::memcpy(vol->data[1], c1.data(), count);
    std::memcpy(vol->data[2], c2.data(), count * 4);
    KernelPtr kernel(QEL_NewSphericalKernel(1.5f));
    const int n = kernel->points->count;
    ASSERT_EQ(QEL_MedianFilter_MT(vol.get(), 1, kernel.get(), 2), 0);
    EXPECT_EQ(vol->size->nx, nx);
    EXPECT_EQ(vol->size->ny, ny);
    EXPECT_EQ(vol->size->nz, nz);
    EXPECT_EQ(vol->size->nChannels, 3);
    EXPECT_EQ(vol->unit[1], 0);
    EXPECT_EQ(vol->attribute[2], 2);
    EXPECT_EQ(std::memcmp(vol->data[0], c0.data(), count * 4), 0);
    EXPECT_EQ(std::memcmp(vol->data[2], c2.data(), count * 4), 0);
    const std::vector<uint8_t> want = reference_filter(c1.data(), nx, ny, nz, kernel.get(), Pick::sort, n / 2, Border::mirror);
    EXPECT_EQ(std::memcmp(vol->data[1], want.data(), count), 0);
    // Single-threaded, on another channel.
    ASSERT_EQ(QEL_MaximumFilter(vol.get(), 0, kernel.get()), 0);
    const std::vector<float> want0 = reference_filter(c0.data(), nx, ny, nz, kernel.get(), Pick::maximum, 0, Border::replicate);
    EXPECT_EQ(std::memcmp(vol->data[0], want0.data(), count * 4), 0);
    EXPECT_EQ(std::memcmp(vol->data[2], c2.data(), count * 4), 0);
}

TEST(RankFilterRules, OnePointKernelCopiesTheCentre) {
    KernelPtr kernel(QEL_NewKernel(1));  // the centre alone
    ASSERT_TRUE(kernel);
    const std::vector<double> v = random_values<double>(33 * 2 * 3, 4, true);
    for (int threads : {1, 2}) {
        VolumePtr vol = make_volume(33, 2, 3, 7, v.data());
        ASSERT_EQ(QEL_MedianFilter_MT(vol.get(), 0, kernel.get(), threads), 0);  // rank 0: the minimum routine
        EXPECT_EQ(std::memcmp(vol->data[0], v.data(), v.size() * 8), 0);
    }
    const std::vector<int32_t> w = random_values<int32_t>(33 * 2 * 3, 5, false);
    VolumePtr vol = make_volume(33, 2, 3, 5, w.data());
    ASSERT_EQ(QEL_MinimumFilter(vol.get(), 0, kernel.get()), 0);
    EXPECT_EQ(std::memcmp(vol->data[0], w.data(), w.size() * 4), 0);
    ASSERT_EQ(QEL_RankFilter(vol.get(), 0, kernel.get(), 0), 0);  // sorted: rounded to float
    for (size_t i = 0; i < w.size(); ++i)
        ASSERT_EQ(static_cast<int32_t*>(vol->data[0])[i], from_key<int32_t>(static_cast<float>(w[i])));
}

TEST(RankFilterValues, ThirtyTwoBitValuesSortAsUnsignedRoundAndSaturate) {
    KernelPtr kernel(QEL_NewSphericalKernel(1.0f));
    const int nx = 40, ny = 3, nz = 3;
    const size_t count = static_cast<size_t>(nx) * ny * nz;
    // Unsigned values of 2^31 and above are large, not negative: the median of mostly
    // 0xF0000000 is that value, never 0.
    std::vector<uint32_t> u(count, 0xF0000000u);
    for (size_t i = 0; i < count; i += 3) u[i] = 5;
    for (Driver d : {Driver::threaded, Driver::single}) {
        const std::vector<uint32_t> got = run_driver(d, u, nx, ny, nz, 4, kernel.get(), 3);
        const std::vector<uint32_t> want = reference_filter(u.data(), nx, ny, nz, kernel.get(), Pick::sort, 3,
                                                            d == Driver::threaded ? Border::mirror : Border::replicate);
        EXPECT_EQ(got, want);
        EXPECT_EQ(got[nx * ny + nx + 1], 0xF0000000u);
    }
    // Plateaus at the top of the 32-bit units keep their value although the float rounds up.
    const std::vector<uint32_t> top(count, UINT32_MAX);
    const std::vector<int32_t> itop(count, INT32_MAX);
    for (Driver d : {Driver::threaded, Driver::single}) {
        EXPECT_EQ(run_driver(d, top, nx, ny, nz, 4, kernel.get(), 3), top);
        EXPECT_EQ(run_driver(d, itop, nx, ny, nz, 5, kernel.get(), 3), itop);
    }
    // Above 2^24 the rank routine returns the float of the value, the maximum the exact value.
    const std::vector<int32_t> odd(count, 16777217);
    const std::vector<int32_t> rounded(count, 16777216);
    EXPECT_EQ(run_driver(Driver::threaded, odd, nx, ny, nz, 5, kernel.get(), 3), rounded);
    EXPECT_EQ(run_driver(Driver::threaded, odd, nx, ny, nz, 5, kernel.get(), 6), odd);
    EXPECT_EQ(run_driver(Driver::single, odd, nx, ny, nz, 5, kernel.get(), 6), rounded);
    // Doubles come back from the rank routine at float precision.
    const std::vector<double> d(count, 0.1);
    const std::vector<double> df(count, static_cast<double>(0.1f));
    EXPECT_EQ(run_driver(Driver::threaded, d, nx, ny, nz, 7, kernel.get(), 3), df);
    EXPECT_EQ(run_driver(Driver::threaded, d, nx, ny, nz, 7, kernel.get(), 0), d);
}

TEST(RankFilterValues, RadiusOneBuildsAgreeAndWiderKernelsSeeTheirOwnBorders) {
    const int nx = 12, ny = 5, nz = 4;
    const std::vector<int8_t> v = random_values<int8_t>(static_cast<size_t>(nx) * ny * nz, 8, false);
    KernelPtr one(QEL_NewSphericalKernel(1.0f));
    EXPECT_EQ(run_driver(Driver::threaded, v, nx, ny, nz, 1, one.get(), 3),
              run_driver(Driver::single, v, nx, ny, nz, 1, one.get(), 3));
    // A z extent of 1 with a reach of 2: the mirror keeps reflecting, the replicate repeats.
    const std::vector<float> flat = random_values<float>(static_cast<size_t>(nx) * ny, 9, false);
    KernelPtr two(QEL_NewSphericalKernel(2.0f));
    const int n = two->points->count;
    EXPECT_EQ(run_driver(Driver::threaded, flat, nx, ny, 1, 6, two.get(), n / 2),
              reference_filter(flat.data(), nx, ny, 1, two.get(), Pick::sort, n / 2, Border::mirror));
    EXPECT_EQ(run_driver(Driver::single, flat, nx, ny, 1, 6, two.get(), n / 2),
              reference_filter(flat.data(), nx, ny, 1, two.get(), Pick::sort, n / 2, Border::replicate));
}

TEST(RankFilterSlabs, ZeroSlicesWriteNothingAndTheKernelKeepsThePaddedOffsets) {
    KernelPtr kernel(QEL_NewSphericalKernel(1.0f));
    const QelSize3i padded{4 + 4, 3 + 4, 1 + 4};
    QEL_SetKernelOffsets(kernel.get(), &padded);
    std::vector<uint16_t> src(8 * 7 * 5, 9);
    std::vector<uint16_t> dst(4 * 3, 77);
    const int none[3] = {4, 3, 0};
    QEL_RankFilterSlab_Uint16(dst.data(), none, kernel.get(), src.data(), 3);
    QEL_MinimumFilterSlab_Uint16(dst.data(), none, kernel.get(), src.data());
    QEL_MaximumFilterSlab_Uint16(dst.data(), none, kernel.get(), src.data());
    EXPECT_EQ(dst, std::vector<uint16_t>(12, 77));
    const int one[3] = {4, 3, 1};
    QEL_RankFilterSlab_Uint16(dst.data(), one, kernel.get(), src.data(), 3);
    EXPECT_EQ(dst, std::vector<uint16_t>(12, 9));

    // After a filter the offsets are those of the padded grid it used.
    const std::vector<uint8_t> v(10 * 6 * 3, 1);
    VolumePtr vol = make_volume(10, 6, 3, 0, v.data());
    ASSERT_EQ(QEL_MedianFilter_MT(vol.get(), 0, kernel.get(), 2), 0);
    EXPECT_EQ(kernel->points->dims->nx, 14);
    EXPECT_EQ(kernel->points->dims->ny, 10);
    EXPECT_EQ(kernel->points->dims->nz, 7);
}

}  // namespace
