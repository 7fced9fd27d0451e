// The threaded rank filter when a worker thread cannot be started. This executable is linked
// with pthread_create wrapped (-Wl,--wrap=pthread_create), so that chosen starts fail.
#include <gtest/gtest.h>

#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "rank/rank_reference.hpp"
#include "support/capture.hpp"

extern "C" int __real_pthread_create(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

namespace {

std::atomic<unsigned> g_refused{0};  // bit i: the i-th start since the last reset fails
std::atomic<unsigned> g_starts{0};

void refuse(unsigned mask) {
    g_refused = mask;
    g_starts = 0;
}

}  // namespace

extern "C" int __wrap_pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*routine)(void*),
                                     void* arg) {
    const unsigned start = g_starts++;
    if (start < 32 && ((g_refused >> start) & 1u)) return EAGAIN;
    return __real_pthread_create(thread, attr, routine, arg);
}

namespace {

using namespace ranktest;

TEST(RankFilterThreadStart, ASlabWhoseThreadFailsIsFilteredOnTheCallingThread) {
    const int nx = 13, ny = 4, nz = 7;  // three threads: slabs of 2, 2 and 3 slices
    const std::vector<uint16_t> v = random_values<uint16_t>(static_cast<size_t>(nx) * ny * nz, 41, false);
    KernelPtr kernel(QEL_NewSphericalKernel(1.5f));
    ASSERT_TRUE(kernel);
    const int n = kernel->points->count;
    const std::string warning = "Warning: thread creation err (" + std::to_string(EAGAIN) + ")\n";
    for (int rank : {0, n / 2, n - 1}) {
        const Pick pick = rank == 0 ? Pick::minimum : rank == n - 1 ? Pick::maximum : Pick::sort;
        const std::vector<uint16_t> want = reference_filter(v.data(), nx, ny, nz, kernel.get(), pick, rank, Border::mirror);
        for (unsigned mask : {0u, 1u, 2u, 4u, 5u, 7u}) {
            SCOPED_TRACE(testing::Message() << "rank " << rank << " refused starts " << mask);
            VolumePtr vol = make_volume(nx, ny, nz, QEL_VOXEL_UNIT_UINT16, v.data());
            ASSERT_TRUE(vol);
            refuse(mask);
            qeltest::StderrCapture err;
            const int rc = QEL_RankFilter_MT(vol.get(), 0, kernel.get(), rank, 3);
            const std::string text = err.stop();
            refuse(0);
            EXPECT_EQ(rc, 0);
            std::string lines;
            for (unsigned m = mask; m; m &= m - 1) lines += warning;
            EXPECT_EQ(text, lines);
            EXPECT_EQ(std::memcmp(vol->data[0], want.data(), want.size() * sizeof(uint16_t)), 0);
        }
    }
}

}  // namespace
