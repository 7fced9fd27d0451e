// What is inside: thresholds per unit, the volume of interest and the volume's own bounds, and
// the halving of the Low resolution.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "mesher_support.hpp"
#include "support/capture.hpp"

using namespace meshtest;

namespace {

struct UnitCase {
    int unit;
    double min, max;
};

const UnitCase kUnits[] = {
    {QEL_VOXEL_UNIT_UINT8, 0, 255},
    {QEL_VOXEL_UNIT_INT8, -128, 127},
    {QEL_VOXEL_UNIT_UINT16, 0, 65535},
    {QEL_VOXEL_UNIT_INT16, -32768, 32767},
    {QEL_VOXEL_UNIT_UINT32, 0, 4294967295.0},
    {QEL_VOXEL_UNIT_INT32, -2147483648.0, 2147483647.0},
    {QEL_VOXEL_UNIT_FLOAT32, -3.0e38, 3.0e38},
    {QEL_VOXEL_UNIT_FLOAT64, -1.0e300, 1.0e300},
};

// Runs the flat mesher and compares the bricks with the brute-force reference.
void expect_matches(Settings& st, const Grid& inside, const float scale[3], const QelBox3i* voi,
                    const char* what) {
    ASSERT_EQ(st.run_quiet(voi), 0) << what;
    EXPECT_EQ(bricks_of_group(st.s.group, scale, st.s.gradientMode == MESHER_GRADIENT_UNUSE),
              expected_bricks(inside))
        << what;
}

// Number of exposed faces over all bricks.
int face_count(const QelDataObjectGroup* g) {
    int n = 0;
    for (int i = 0; i < g->count; ++i) n += static_cast<const QelTriangularMesh*>(g->objects[i])->nVertices / 4;
    return n;
}

}  // namespace

// Isolated voxels (every other voxel along x) holding the unit's extremes and values around
// a few thresholds; every threshold, the extremes and NaN included, gives exactly the voxels
// the unit's comparison selects.
TEST(MesherInside, ThresholdPerUnitIncludingExtremes) {
    for (const UnitCase& u : kUnits) {
        const bool isFloat = u.unit >= QEL_VOXEL_UNIT_FLOAT32;
        const double values[] = {u.min, u.min + 1, 0, 1, 2, 3, 100, u.max - 1, u.max};
        const int n = static_cast<int>(std::size(values));
        Volume v = new_volume(2 * n, 1, 1, u.unit);
        for (int i = 0; i < n; ++i) set_value(v.get(), 2 * i, 0, 0, values[i]);
        const float thresholds[] = {-std::numeric_limits<float>::infinity(),
                                    -1.0e30f,
                                    static_cast<float>(u.min),
                                    -0.5f,
                                    0.0f,
                                    1.0f,
                                    2.7f,
                                    -2.7f,
                                    100.0f,
                                    static_cast<float>(u.max),
                                    1.0e30f,
                                    std::numeric_limits<float>::infinity(),
                                    std::nanf("")};
        Settings st;
        Volume copy(QEL_CopyRawVolumeData(v.get()));
        st.take(std::move(copy));
        for (float t : thresholds) {
            st.s.threshold = t;
            const Grid inside = full_inside(v.get(), t, nullptr);
            SCOPED_TRACE(testing::Message() << "unit " << u.unit << " threshold " << t);
            expect_matches(st, inside, kFull, nullptr, "threshold");
            if (std::isnan(t) || (!isFloat && t == 1.0e30f)) {
                EXPECT_EQ(st.count(), 0);
            }
            if (t == -std::numeric_limits<float>::infinity()) {
                EXPECT_EQ(st.count(), 2 * n);
            }
        }
    }
}

// A threshold at or below the unit's fill minimum selects every voxel of the volume but never
// the border around it: the bricks show exactly the volume's outer faces.
TEST(MesherInside, OutsideTheVolumeIsNeverInside) {
    for (const UnitCase& u : kUnits) {
        for (int gradient : {MESHER_GRADIENT_UNUSE, MESHER_GRADIENT_USE}) {
            Settings st;
            Volume v = new_volume(4, 3, 2, u.unit);
            for (int z = 0; z < 2; ++z)
                for (int y = 0; y < 3; ++y)
                    for (int x = 0; x < 4; ++x) set_value(v.get(), x, y, z, u.min);
            st.take(std::move(v));
            st.s.threshold = -std::numeric_limits<float>::infinity();
            st.s.gradientMode = gradient;
            ASSERT_EQ(st.run_quiet(), 0);
            EXPECT_EQ(st.count(), 4 * 3 * 2) << "unit " << u.unit;
            EXPECT_EQ(face_count(st.s.group), 2 * (4 * 3 + 3 * 2 + 4 * 2)) << "unit " << u.unit;
        }
    }
}

TEST(MesherInside, VolumeOfInterestClippedAndNeverInsideOutsideIt) {
    struct BoxCase {
        int o[3], s[3];
    };
    const BoxCase boxes[] = {
        {{1, 1, 1}, {3, 2, 2}},        // inside
        {{-2, 1, -1}, {4, 9, 3}},      // reaching out on several sides: clipped
        {{2, 0, 0}, {0, 3, 3}},        // a zero size: no restriction
        {{7, 0, 0}, {3, 3, 3}},        // wholly outside: nothing is inside
        {{1, 1, 1}, {-2, 2, 2}},       // negative size: covers nothing
        {{3, 2, 1}, {1, 1, 1}},        // one voxel
    };
    for (int unit : {QEL_VOXEL_UNIT_UINT8, QEL_VOXEL_UNIT_INT16, QEL_VOXEL_UNIT_FLOAT32}) {
        for (const BoxCase& bc : boxes) {
            for (float t : {-1.0e30f, 40.0f}) {
                Lcg rng(static_cast<uint64_t>(unit * 100 + bc.o[0] * 10 + bc.s[0] + 7));
                Volume v = new_volume(6, 5, 4, unit);
                for (int z = 0; z < 4; ++z)
                    for (int y = 0; y < 5; ++y)
                        for (int x = 0; x < 6; ++x) set_value(v.get(), x, y, z, rng.below(80));
                Box voi = new_box(bc.o[0], bc.o[1], bc.o[2], bc.s[0], bc.s[1], bc.s[2]);
                const Grid inside = full_inside(v.get(), t, voi.get());
                Settings st;
                st.take(std::move(v));
                st.s.threshold = t;
                SCOPED_TRACE(testing::Message() << "unit " << unit << " box " << bc.o[0] << "," << bc.o[1] << ","
                                                << bc.o[2] << " size " << bc.s[0] << "," << bc.s[1] << "," << bc.s[2]
                                                << " threshold " << t);
                expect_matches(st, inside, kFull, voi.get(), "grey");
                EXPECT_EQ(voi->origin->x, bc.o[0]) << "the host's box is not changed";
                EXPECT_EQ(voi->size->ny, bc.s[1]);
            }
        }
    }
}

TEST(MesherInside, RgbaAlphaAboveThresholdInsideTheVolumeOfInterest) {
    Lcg rng(99);
    Volume v = new_volume(5, 4, 3, QEL_VOXEL_UNIT_UINT32, QEL_ATTRIBUTE_RGBA);
    for (int z = 0; z < 3; ++z)
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x) set_word(v.get(), x, y, z, rgba(rng.below(256), 7, 9, rng.below(256)));
    for (int gradient : {MESHER_GRADIENT_UNUSE, MESHER_GRADIENT_USE}) {
        for (int b = 0; b < 2; ++b) {
            Box voi = b ? new_box(-1, 1, 0, 4, 9, 2) : nullptr;
            Settings st;
            st.take(Volume(QEL_CopyRawVolumeData(v.get())));
            st.s.gradientMode = gradient;
            st.s.threshold = 127.9f;  // alpha above 127
            expect_matches(st, full_opaque(v.get(), 127, voi.get()), kFull, voi.get(), "rgba");
            // Alpha 0 is never above a threshold: a threshold of 0 still leaves the border out.
            st.s.threshold = 0.0f;
            expect_matches(st, full_opaque(v.get(), 0, voi.get()), kFull, voi.get(), "rgba 0");
        }
    }
}

TEST(MesherHalving, LowResolutionSamplesTheNearestVoxelsOfAHalvedGrid) {
    const int sizes[][3] = {{8, 6, 5}, {9, 7, 9}, {4, 4, 4}, {12, 5, 6}};
    for (const auto& n : sizes) {
        for (int gradient : {MESHER_GRADIENT_UNUSE, MESHER_GRADIENT_USE}) {
            Lcg rng(static_cast<uint64_t>(n[0] * 31 + n[1] * 7 + n[2]));
            Volume v = new_volume(n[0], n[1], n[2], QEL_VOXEL_UNIT_UINT16);
            for (int z = 0; z < n[2]; ++z)
                for (int y = 0; y < n[1]; ++y)
                    for (int x = 0; x < n[0]; ++x) set_value(v.get(), x, y, z, rng.below(1000));
            const Halving h = halving(n, true);
            const Grid inside = resample(full_inside(v.get(), 450.0f, nullptr), h);
            Settings st;
            st.take(std::move(v));
            st.s.threshold = 450.0f;
            st.s.resolutionMode = MESHER_RESOLUTION_LOW;
            st.s.gradientMode = gradient;
            SCOPED_TRACE(testing::Message() << n[0] << "x" << n[1] << "x" << n[2]);
            EXPECT_EQ(h.scale[0], 2.0f);
            expect_matches(st, inside, h.scale, nullptr, "halved");
        }
    }
}

TEST(MesherHalving, FirstVoxelSpansMinusOneToOne) {
    Volume v = new_volume(8, 8, 8, QEL_VOXEL_UNIT_UINT8);
    set_value(v.get(), 0, 0, 0, 200);
    Settings st;
    st.take(std::move(v));
    st.s.resolutionMode = MESHER_RESOLUTION_LOW;
    ASSERT_EQ(st.run_quiet(), 0);
    ASSERT_EQ(st.count(), 1);
    EXPECT_EQ(st.mesh(0)->vertices[0][0], -1.0f);
    EXPECT_EQ(st.mesh(0)->vertices[1][0], 1.0f);
}

// Axes whose half would be below 2 keep every voxel and their width; the others halve.
TEST(MesherHalving, SkippedOnAxesThatWouldFallBelowTwo) {
    const int sizes[][3] = {{9, 3, 1}, {6, 6, 3}, {3, 8, 2}, {1, 1, 9}, {3, 3, 3}, {2, 5, 1}};
    for (const auto& n : sizes) {
        Lcg rng(static_cast<uint64_t>(n[0] * 131 + n[1] * 17 + n[2]));
        Volume v = new_volume(n[0], n[1], n[2], QEL_VOXEL_UNIT_UINT8);
        for (int z = 0; z < n[2]; ++z)
            for (int y = 0; y < n[1]; ++y)
                for (int x = 0; x < n[0]; ++x) set_value(v.get(), x, y, z, rng.below(2) * 200);
        // The last slice and row always hold something, so that losing them shows.
        set_value(v.get(), n[0] - 1, n[1] - 1, n[2] - 1, 200);
        const Halving h = halving(n, true);
        const Grid inside = resample(full_inside(v.get(), 100.0f, nullptr), h);
        Settings st;
        st.take(std::move(v));
        st.s.threshold = 100.0f;
        st.s.resolutionMode = MESHER_RESOLUTION_LOW;
        SCOPED_TRACE(testing::Message() << n[0] << "x" << n[1] << "x" << n[2]);
        for (int a = 0; a < 3; ++a) EXPECT_EQ(h.scale[a], n[a] >= 4 ? 2.0f : 1.0f);
        expect_matches(st, inside, h.scale, nullptr, "partly halved");
    }
}

TEST(MesherHalving, VolumeOfInterestIsAppliedBeforeHalving) {
    Volume v = new_volume(10, 8, 6, QEL_VOXEL_UNIT_INT8);
    Lcg rng(5);
    for (int z = 0; z < 6; ++z)
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 10; ++x) set_value(v.get(), x, y, z, rng.below(100) - 50);
    Box voi = new_box(2, -3, 1, 5, 8, 4);
    const int n[3] = {10, 8, 6};
    const Halving h = halving(n, true);
    const Grid inside = resample(full_inside(v.get(), -128.0f, voi.get()), h);
    Settings st;
    st.take(std::move(v));
    st.s.threshold = -128.0f;
    st.s.resolutionMode = MESHER_RESOLUTION_LOW;
    expect_matches(st, inside, h.scale, voi.get(), "halved box");
}

// Boxes at the ends of the int range select exactly the voxels they cover, in every mesher.
TEST(MesherInside, VolumeOfInterestAtTheEndsOfTheIntRange) {
    const int kMax = std::numeric_limits<int>::max(), kMin = std::numeric_limits<int>::min();
    struct BoxCase {
        int o[3], s[3];
    };
    const BoxCase boxes[] = {
        {{kMax, 0, 0}, {1, 1, 1}},
        {{kMax, kMax, kMax}, {kMax, kMax, kMax}},
        {{kMin, 0, 0}, {kMax, 5, 5}},
        {{kMin, kMin, kMin}, {kMax, kMax, kMax}},
        {{-1, -1, -1}, {kMax, kMax, kMax}},
        {{2, 1, 0}, {kMin, 3, 3}},
    };
    for (const BoxCase& bc : boxes) {
        for (int gradient : {MESHER_GRADIENT_UNUSE, MESHER_GRADIENT_USE}) {
            Volume v = new_volume(5, 4, 3, QEL_VOXEL_UNIT_UINT8);
            for (int z = 0; z < 3; ++z)
                for (int y = 0; y < 4; ++y)
                    for (int x = 0; x < 5; ++x) set_value(v.get(), x, y, z, 10);
            Box voi = new_box(bc.o[0], bc.o[1], bc.o[2], bc.s[0], bc.s[1], bc.s[2]);
            const Grid inside = full_inside(v.get(), 0.0f, voi.get());
            Settings st;
            st.take(std::move(v));
            st.s.threshold = 0.0f;
            st.s.gradientMode = gradient;
            st.s.colorMode = MESHER_COLOR_HYBRID;
            SCOPED_TRACE(testing::Message() << "box " << bc.o[0] << "," << bc.o[1] << "," << bc.o[2] << " size "
                                            << bc.s[0] << "," << bc.s[1] << "," << bc.s[2]);
            expect_matches(st, inside, kFull, voi.get(), "int range");
        }
    }
}
