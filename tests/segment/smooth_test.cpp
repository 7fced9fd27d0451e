// Gaussian kernels (radius, point order and weights against the formula evaluated here),
// convolution of every unit against a brute-force correlation with clamped coordinates
// (negative weights, wrapping integer results), and smoothing edge cases.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <initializer_list>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "filters/qel_smooth.h"
#include "filters/qel_smooth_vec.hpp"
#include "segment/segment_support.hpp"

namespace {

using segtest::Volume;

struct KernelDeleter {
    void operator()(QelKernel* k) const { QEL_DeleteKernel(k); }
};
using KernelPtr = std::unique_ptr<QelKernel, KernelDeleter>;

struct Weighted {
    int x, y, z;
    float w;
};

// The one-dimensional Gaussian as described: centre weight 1, then exp(-i^2 / d) for
// i = -R..-1, 1..R, normalised by the float sum formed in point order.
std::vector<Weighted> reference_gaussian(int axis, float sigma, int r) {
    std::vector<Weighted> pts{{0, 0, 0, 1.0f}};
    const float d = float(2.0 * double(sigma) * double(sigma));
    for (int i = -r; i <= r; ++i) {
        if (i == 0) continue;
        Weighted p{0, 0, 0, float(std::exp(-double(i) * double(i) / double(d)))};
        (axis == 0 ? p.x : axis == 1 ? p.y : p.z) = i;
        pts.push_back(p);
    }
    float s = 0.0f;
    for (const auto& p : pts) s = float(s + p.w);
    for (auto& p : pts) p.w = p.w / s;
    return pts;
}

TEST(GaussianKernel, RadiusPointsAndWeights) {
    const struct {
        float sigma;
        int radius;
    } cases[] = {{0.5f, 2}, {1.0f, 4}, {2.5f, 9}, {-0.2f, 1}, {0.2f, 1}, {-0.32f, 0}};
    const char* names[3][2] = {{"x", "X"}, {"y", "Y"}, {"z", "Z"}};
    for (const auto& c : cases)
        for (int axis = 0; axis < 3; ++axis)
            for (const char* name : names[axis]) {
                SCOPED_TRACE(testing::Message() << "sigma " << c.sigma << " axis " << name);
                KernelPtr k(QEL_NewGaussianKernel1D(name, c.sigma));
                ASSERT_TRUE(k);
                const auto ref = reference_gaussian(axis, c.sigma, c.radius);
                EXPECT_EQ(k->kind, QEL_KERNEL_GENERAL);
                EXPECT_EQ(k->margin, c.radius);
                EXPECT_EQ(k->radius, float(c.radius));
                EXPECT_EQ(k->maxRadius, float(c.radius));
                EXPECT_EQ(k->weightSum, 1.0f);
                ASSERT_EQ(k->points->count, int(ref.size()));
                ASSERT_EQ(k->points->capacity, 2 * c.radius + 1);
                for (size_t i = 0; i < ref.size(); ++i) {
                    EXPECT_EQ(k->points->x[i], ref[i].x) << i;
                    EXPECT_EQ(k->points->y[i], ref[i].y) << i;
                    EXPECT_EQ(k->points->z[i], ref[i].z) << i;
                    EXPECT_EQ(k->weight[i], ref[i].w) << i;
                }
            }
}

TEST(GaussianKernel, NegativeSigmaMirrorsPositiveAndWeightsSumBelowOne) {
    KernelPtr a(QEL_NewGaussianKernel1D("y", -0.2f)), b(QEL_NewGaussianKernel1D("y", 0.2f));
    ASSERT_TRUE(a && b);
    ASSERT_EQ(a->points->count, b->points->count);
    for (int i = 0; i < a->points->count; ++i) EXPECT_EQ(a->weight[i], b->weight[i]);

    KernelPtr one(QEL_NewGaussianKernel1D("x", 1.0f));
    double sum = 0.0;
    for (int i = 0; i < one->points->count; ++i) sum += one->weight[i];
    EXPECT_LT(sum, 1.0);
    EXPECT_GT(sum, 0.9999999);
}

TEST(GaussianKernel, Refusals) {
    EXPECT_EQ(QEL_NewGaussianKernel1D("x", -1.0f), nullptr);  // R = -2
    for (const char* axis : {"", "xx", "x ", "w", "Xy"}) EXPECT_EQ(QEL_NewGaussianKernel1D(axis, 1.0f), nullptr) << axis;
    EXPECT_EQ(QEL_NewGaussianKernel1D(nullptr, 1.0f), nullptr);
    EXPECT_EQ(QEL_NewGaussianKernel1D("x", std::nanf("")), nullptr);
    EXPECT_EQ(QEL_NewGaussianKernel1D("x", std::numeric_limits<float>::infinity()), nullptr);
    EXPECT_EQ(QEL_NewGaussianKernel1D("x", 1e30f), nullptr);
    EXPECT_EQ(QEL_NewGaussianKernel1D("x", 250.0f), nullptr);  // no volume could be grown by R
    KernelPtr big(QEL_NewGaussianKernel1D("z", 200.0f));
    ASSERT_TRUE(big);
    EXPECT_EQ(big->margin, 641);
    // Sigma 0 has radius 1; the outer weights vanish.
    KernelPtr zero(QEL_NewGaussianKernel1D("x", 0.0f));
    ASSERT_TRUE(zero);
    EXPECT_EQ(zero->weight[0], 1.0f);
    EXPECT_EQ(zero->weight[1], 0.0f);
    EXPECT_EQ(zero->weight[2], 0.0f);
}

// Brute-force correlation: clamped coordinates (edge replication), sum in double in point
// order, stored as the unit stores a real. Where a NaN sum meets a NaN product, the product's
// NaN stays when the point lies within the row, the sum's when x is clamped to the row's end.
double reference_voxel(const QelRawVolumeData* v, const QelKernel* k, int x, int y, int z) {
    const int nx = v->size->nx, ny = v->size->ny, nz = v->size->nz;
    auto clamp = [](int a, int n) { return a < 0 ? 0 : a >= n ? n - 1 : a; };
    double sum = 0.0;
    for (int i = 0; i < k->points->count; ++i) {
        const int a = clamp(x + k->points->x[i], nx), b = clamp(y + k->points->y[i], ny), c = clamp(z + k->points->z[i], nz);
        const double p = segtest::get(v, 0, a + int64_t(nx) * (b + int64_t(ny) * c)) * double(k->weight[i]);
        if (a == x + k->points->x[i])
            sum = std::isnan(p) ? p : sum + p;
        else
            sum = std::isnan(sum) ? sum : sum + p;
    }
    return sum;
}

// The bits a unit stores for a real: integers truncated toward zero, low bits kept, 0 for
// NaN and for values beyond 64 bits.
void store_reference(int unit, double s, unsigned char* out) {
    if (unit == QEL_VOXEL_UNIT_FLOAT32) {
        const float f = float(s);
        std::memcpy(out, &f, 4);
    } else if (unit == QEL_VOXEL_UNIT_FLOAT64) {
        std::memcpy(out, &s, 8);
    } else {
        const double t = std::trunc(s);
        const uint64_t bits = (t > -9.2e18 && t < 9.2e18) ? uint64_t(int64_t(t)) : 0;
        std::memcpy(out, &bits, segtest::width_of(unit));  // little endian: the low bytes
    }
}

void expect_convolution(Volume& v, QelKernel* k, qel::VecPath path = qel::VecPath::best) {
    const int unit = v->unit[0], w = segtest::width_of(unit);
    std::vector<unsigned char> expected(size_t(segtest::voxels(v.get())) * w);
    for (int z = 0; z < v->size->nz; ++z)
        for (int y = 0; y < v->size->ny; ++y)
            for (int x = 0; x < v->size->nx; ++x) {
                const int64_t i = x + int64_t(v->size->nx) * (y + int64_t(v->size->ny) * z);
                store_reference(unit, reference_voxel(v.get(), k, x, y, z), &expected[size_t(i) * w]);
            }
    qel::convolve_channel(path, v.get(), 0, k);
    const auto got = segtest::bytes_of(v.get(), 0);
    for (size_t i = 0; i < got.size(); i += w)
        ASSERT_EQ(std::memcmp(&got[i], &expected[i], w), 0) << "unit " << unit << " voxel " << i / w;
}

KernelPtr mixed_kernel(int margin) {
    KernelPtr k(QEL_NewKernel(6));
    const Weighted pts[] = {{0, 0, 0, 1.5f}, {1, 0, 0, -2.25f}, {-1, 1, 0, 0.75f},
                            {0, -2, 1, -3.0f}, {2, 1, -1, 0.125f}, {0, 0, -2, 2.5f}};
    for (const auto& p : pts) {
        const QelPoint3i q{p.x, p.y, p.z};
        QEL_SetKernelWeight(k.get(), &q, p.w);
    }
    k->margin = margin;
    return k;
}

TEST(Convolution, EveryUnitWithNegativeWeightsAgainstBruteForce) {
    for (int unit = 0; unit < 8; ++unit) {
        Volume v = segtest::new_volume(7, 6, 5, unit);
        std::mt19937 rng(40 + unit);
        std::uniform_real_distribution<double> big(-1e6, 1e6);
        for (int64_t i = 0; i < segtest::voxels(v.get()); ++i) {
            if (unit >= 6) {
                segtest::set(v.get(), 0, i, big(rng));
            } else {
                const uint64_t bits = (uint64_t(rng()) << 32) | rng();
                std::memcpy(static_cast<unsigned char*>(v->data[0]) + i * segtest::width_of(unit), &bits,
                            segtest::width_of(unit));
            }
        }
        KernelPtr k = mixed_kernel(2);
        SCOPED_TRACE(testing::Message() << "unit " << unit);
        expect_convolution(v, k.get());
        // The offsets are left set for the volume grown by the margin.
        EXPECT_EQ(k->points->dims->nx, 11);
        EXPECT_EQ(k->points->dims->ny, 10);
        EXPECT_EQ(k->points->dims->nz, 9);
        EXPECT_EQ(k->points->offset[3], 0 + 11 * (-2 + 10 * 1));
    }
}

// Every vector width this CPU runs, every unit, rows long enough for whole vectors and their
// ends, values of every kind: integers of all bits, and for the float units NaNs with their own
// signs and payloads, infinities and large values.
TEST(Convolution, EveryVectorWidthAgainstBruteForce) {
    std::vector<qel::VecPath> paths = {qel::VecPath::vec128};
    if (qel::vec_path_available(qel::VecPath::vec256)) paths.push_back(qel::VecPath::vec256);
    if (qel::vec_path_available(qel::VecPath::vec512)) paths.push_back(qel::VecPath::vec512);
    std::vector<KernelPtr> kernels;
    for (const char* axis : {"x", "y", "z"}) kernels.emplace_back(QEL_NewGaussianKernel1D(axis, 1.3f));
    kernels.push_back(mixed_kernel(2));
    for (qel::VecPath path : paths)
        for (int unit = 0; unit < 8; ++unit)
            for (const auto& shape : {std::array<int, 3>{37, 6, 5}, std::array<int, 3>{3, 4, 2}})
                for (size_t k = 0; k < kernels.size(); ++k) {
                    SCOPED_TRACE(testing::Message() << "path " << int(path) << " unit " << unit << " nx " << shape[0]
                                                    << " kernel " << k);
                    Volume v = segtest::new_volume(shape[0], shape[1], shape[2], unit);
                    segtest::fill_random_bytes(v.get(), 0, 70 + unit);
                    if (unit >= 6) {
                        std::mt19937 rng(90 + unit);
                        for (int64_t i = 0; i < segtest::voxels(v.get()); ++i) {
                            const uint32_t r = rng();
                            if (r % 3 == 0) {  // a quiet NaN of its own sign and payload
                                const uint64_t bits = 0x7FF8000000000000ull | uint64_t(rng()) << 20 | uint64_t(r & 1) << 63;
                                double nan;
                                std::memcpy(&nan, &bits, 8);
                                segtest::set(v.get(), 0, i, nan);
                                continue;
                            }
                            const double value = r % 13 == 0 ? (r & 16 ? HUGE_VAL : -HUGE_VAL) : double(r % 2001) - 1000.5;
                            segtest::set(v.get(), 0, i, r % 29 == 0 ? value * 1e300 : value);
                        }
                    }
                    expect_convolution(v, kernels[k].get(), path);
                    if (HasFatalFailure()) return;
                }
}

TEST(Convolution, WrapsIntegerSums) {
    // 300.7 in bytes stores 44, -2.5 stores 254.
    Volume v = segtest::new_volume(2, 1, 1, QEL_VOXEL_UNIT_UINT8);
    segtest::set(v.get(), 0, 0, 100);
    segtest::set(v.get(), 0, 1, 10);
    KernelPtr k(QEL_NewKernel(1));
    const QelPoint3i c{0, 0, 0};
    QEL_SetKernelWeight(k.get(), &c, 3.007f);
    QEL_ConvolveChannel(v.get(), 0, k.get());
    EXPECT_EQ(segtest::get(v.get(), 0, 0), 44.0);  // 300.7 -> 300 -> 44
    EXPECT_EQ(segtest::get(v.get(), 0, 1), 30.0);
    QEL_SetKernelWeight(k.get(), &c, -0.0834f);
    QEL_ConvolveChannel(v.get(), 0, k.get());
    EXPECT_EQ(segtest::get(v.get(), 0, 0), 253.0);  // 44 * -0.0834 = -3.67 -> -3 -> 253
    EXPECT_EQ(segtest::get(v.get(), 0, 1), 254.0);  // 30 * -0.0834 = -2.50 -> -2 -> 254
}

TEST(Convolution, PointsBeyondTheMarginReadReplicatedEdges) {
    Volume v = segtest::new_volume(5, 4, 3, QEL_VOXEL_UNIT_FLOAT64);
    segtest::fill_random_bytes(v.get(), 0, 3);
    for (int64_t i = 0; i < segtest::voxels(v.get()); ++i) segtest::set(v.get(), 0, i, double(i % 17) - 8.0);
    KernelPtr k = mixed_kernel(1);  // points reach two voxels
    expect_convolution(v, k.get());
}

TEST(Convolution, FailuresChangeNothing) {
    Volume v = segtest::new_volume(4, 4, 4, QEL_VOXEL_UNIT_INT16);
    segtest::fill_random_bytes(v.get(), 0, 5);
    const auto before = segtest::bytes_of(v.get(), 0);
    KernelPtr k = mixed_kernel(2);
    QEL_ConvolveChannel(nullptr, 0, k.get());
    QEL_ConvolveChannel(v.get(), 0, nullptr);
    QEL_ConvolveChannel(v.get(), 1, k.get());
    QEL_ConvolveChannel(v.get(), -1, k.get());
    v->unit[0] = 9;
    QEL_ConvolveChannel(v.get(), 0, k.get());
    v->unit[0] = QEL_VOXEL_UNIT_INT16;
    EXPECT_EQ(segtest::bytes_of(v.get(), 0), before);
}

TEST(GaussianSmooth, MatchesThreeBruteForcePasses) {
    for (int unit : {QEL_VOXEL_UNIT_UINT8, QEL_VOXEL_UNIT_INT16, QEL_VOXEL_UNIT_FLOAT32, QEL_VOXEL_UNIT_FLOAT64}) {
        for (float sigma : {0.7f, 1.3f}) {
            Volume v = segtest::new_volume(9, 8, 7, unit);
            std::mt19937 rng(unit * 10 + int(sigma * 10));
            for (int64_t i = 0; i < segtest::voxels(v.get()); ++i) segtest::set(v.get(), 0, i, double(rng() % 200));
            Volume expected(QEL_CopyRawVolumeData(v.get()));
            for (const char* axis : {"x", "y", "z"}) {
                KernelPtr k(QEL_NewGaussianKernel1D(axis, sigma));
                const int w = segtest::width_of(unit);
                std::vector<unsigned char> next(size_t(segtest::voxels(v.get())) * w);
                for (int z = 0; z < 7; ++z)
                    for (int y = 0; y < 8; ++y)
                        for (int x = 0; x < 9; ++x)
                            store_reference(unit, reference_voxel(expected.get(), k.get(), x, y, z),
                                            &next[size_t(x + 9 * (y + 8 * z)) * w]);
                std::memcpy(expected->data[0], next.data(), next.size());
            }
            QEL_GaussianSmoothChannel(v.get(), 0, sigma);
            EXPECT_EQ(segtest::bytes_of(v.get(), 0), segtest::bytes_of(expected.get(), 0)) << unit << " " << sigma;
        }
    }
}

TEST(GaussianSmooth, ConstantChannelLosesOnePerPass) {
    // The sigma-1 weights sum to just below 1, and integer results truncate.
    Volume v = segtest::new_volume(6, 5, 4, QEL_VOXEL_UNIT_UINT8);
    for (int64_t i = 0; i < segtest::voxels(v.get()); ++i) segtest::set(v.get(), 0, i, 255);
    QEL_GaussianSmoothChannel(v.get(), 0, 1.0f);
    for (int64_t i = 0; i < segtest::voxels(v.get()); ++i) ASSERT_EQ(segtest::get(v.get(), 0, i), 252.0) << i;
}

TEST(GaussianSmooth, SingleBinaryVoxelVanishes) {
    Volume v = segtest::new_volume(9, 9, 9, QEL_VOXEL_UNIT_UINT8);
    segtest::set(v.get(), 0, 4 + 9 * (4 + 9 * 4), 1);
    QEL_GaussianSmoothChannel(v.get(), 0, 1.0f);
    for (int64_t i = 0; i < segtest::voxels(v.get()); ++i) ASSERT_EQ(segtest::get(v.get(), 0, i), 0.0);
}

TEST(GaussianSmooth, StepAtTheBorderDoesNotFade) {
    Volume v = segtest::new_volume(12, 2, 2, QEL_VOXEL_UNIT_FLOAT32);
    for (int64_t i = 0; i < segtest::voxels(v.get()); ++i) segtest::set(v.get(), 0, i, i % 12 >= 6 ? 100.0 : 0.0);
    QEL_GaussianSmoothChannel(v.get(), 0, 1.0f);
    EXPECT_GT(segtest::get(v.get(), 0, 11), 99.999);
    EXPECT_LT(segtest::get(v.get(), 0, 0), 0.001);
}

TEST(GaussianSmooth, SigmaZeroAndSigmasWithoutKernelDoNothing) {
    Volume v = segtest::new_volume(5, 5, 5, QEL_VOXEL_UNIT_FLOAT32);
    for (int64_t i = 0; i < segtest::voxels(v.get()); ++i) segtest::set(v.get(), 0, i, double(i % 7));
    const auto before = segtest::bytes_of(v.get(), 0);
    for (float sigma : {0.0f, -0.0f, -1.0f, std::nanf(""), 1e9f}) {
        QEL_GaussianSmoothChannel(v.get(), 0, sigma);
        EXPECT_EQ(segtest::bytes_of(v.get(), 0), before) << sigma;
    }
    Volume a(QEL_CopyRawVolumeData(v.get())), b(QEL_CopyRawVolumeData(v.get()));
    QEL_GaussianSmoothChannel(a.get(), 0, -0.2f);
    QEL_GaussianSmoothChannel(b.get(), 0, 0.2f);
    EXPECT_EQ(segtest::bytes_of(a.get(), 0), segtest::bytes_of(b.get(), 0));
    EXPECT_NE(segtest::bytes_of(a.get(), 0), before);
}

}  // namespace
