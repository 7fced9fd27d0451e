// The mesher's whole output over a matrix of volumes and settings, against hashes recorded from
// the straightforward pipeline it replaced (one step after another on fresh volumes): every
// group byte the host receives, the mesh records' own counts and capacities, and every line
// written. The brute-force tests elsewhere check what the bricks mean; these check that the
// streamlined pipeline gives the very same bytes, colour and normal bits included.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "ipc/qel_board_group.h"
#include "mesher_support.hpp"
#include "support/capture.hpp"

using namespace meshtest;

namespace {

struct Fnv {
    uint64_t h = 1469598103934665603ull;
    void add(const void* p, size_t n) {
        const auto* b = static_cast<const unsigned char*>(p);
        for (size_t i = 0; i < n; ++i) h = (h ^ b[i]) * 1099511628211ull;
    }
    template <class T>
    void add(const T& v) {
        add(&v, sizeof v);
    }
};

// Balls of different brightness, plus noise, so that thresholds cut through slopes and
// components of several sizes appear; some values reach past the grey window.
Volume blobs(int nx, int ny, int nz, int unit, uint64_t seed) {
    Volume v = new_volume(nx, ny, nz, unit);
    Lcg rng(seed);
    struct Ball {
        double c[3], r, peak;
    };
    std::vector<Ball> balls;
    for (int i = 0; i < 5; ++i)
        balls.push_back({{double(rng.below(nx)), double(rng.below(ny)), double(rng.below(nz))},
                         2.0 + rng.below(6), 120.0 + rng.below(200)});
    for (int z = 0; z < nz; ++z)
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x) {
                double value = rng.below(40);
                for (const Ball& b : balls) {
                    const double d = std::sqrt((x - b.c[0]) * (x - b.c[0]) + (y - b.c[1]) * (y - b.c[1]) +
                                               (z - b.c[2]) * (z - b.c[2]));
                    if (d < b.r) value = std::max(value, b.peak * (1.0 - 0.5 * d / b.r));
                }
                if (unit == QEL_VOXEL_UNIT_INT8 || unit == QEL_VOXEL_UNIT_INT16 || unit == QEL_VOXEL_UNIT_INT32)
                    value -= 100.0;
                if (unit == QEL_VOXEL_UNIT_UINT16) value *= 150.0;
                if (unit == QEL_VOXEL_UNIT_INT8) value = std::min(value, 127.0);
                if (unit == QEL_VOXEL_UNIT_UINT8) value = std::min(value, 255.0);
                if (unit == QEL_VOXEL_UNIT_FLOAT32 || unit == QEL_VOXEL_UNIT_FLOAT64) value = value / 64.0 + 0.01;
                set_value(v.get(), x, y, z, value);
            }
    if (unit == QEL_VOXEL_UNIT_FLOAT32 || unit == QEL_VOXEL_UNIT_FLOAT64) {
        // Values no window holds.
        set_value(v.get(), 1, 1, 1, std::nan(""));
        set_value(v.get(), 2, 1, 1, HUGE_VAL);
        set_value(v.get(), 3, 1, 1, -HUGE_VAL);
    }
    return v;
}

Volume rgba_blobs(int nx, int ny, int nz, uint64_t seed) {
    Volume grey = blobs(nx, ny, nz, QEL_VOXEL_UNIT_UINT8, seed);
    Volume v = new_volume(nx, ny, nz, QEL_VOXEL_UNIT_UINT32, QEL_ATTRIBUTE_RGBA);
    Lcg rng(seed + 1);
    for (int z = 0; z < nz; ++z)
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x) {
                const uint32_t a = static_cast<uint32_t>(get_value(grey.get(), x, y, z));
                set_word(v.get(), x, y, z, rgba(rng.next() & 0xFF, rng.next() & 0xFF, rng.next() & 0xFF, a));
            }
    return v;
}

Volume copy_of(const QelRawVolumeData* v) { return Volume(QEL_CopyRawVolumeData(v)); }

// Runs the mesher once and adds what came out to the hash.
void run_into(Fnv& fnv, Settings& st, const QelBox3i* voi) {
    qeltest::StderrCapture cap;
    const int result = st.run(voi);
    const std::string lines = cap.stop();
    fnv.add(result);
    fnv.add(lines.data(), lines.size());
    const QelDataObjectGroup* g = st.s.group;
    if (!g) return;
    const int size = QELipc_SizeOfDataObjectGroup(g);
    fnv.add(size);
    ASSERT_GE(size, 0);
    std::vector<unsigned char> bytes(static_cast<size_t>(size));
    ASSERT_EQ(QELipc_PackDataObjectGroup(g, bytes.data()), 0);
    fnv.add(bytes.data(), bytes.size());
    for (int i = 0; i < g->count; ++i) {
        const auto* m = static_cast<const QelTriangularMesh*>(g->objects[i]);
        fnv.add(m->triangleCapacity);
        fnv.add(m->vertexCapacity);
        fnv.add(m->nTriangles);
        fnv.add(m->nVertices);
    }
}

struct Case {
    const char* name;
    Volume (*make)();
    float threshold;
    QelValueRange window;
    uint64_t flat, smooth;  // recorded hashes of the flat and gradient matrices
};

// Volumes of odd and even sizes, so that halving drops slices on some axes and keeps axes
// that would fall below 2.
const Case kCases[] = {
    {"uint8", [] { return blobs(23, 18, 17, QEL_VOXEL_UNIT_UINT8, 1); }, 100.0f, {0.0f, 255.0f},
     10762065539493977890u, 3704554272731932983u},
    {"int8", [] { return blobs(16, 21, 13, QEL_VOXEL_UNIT_INT8, 2); }, 20.5f, {-128.0f, 127.0f},
     16817569739950901972u, 17371310230779099857u},
    {"uint16", [] { return blobs(19, 20, 15, QEL_VOXEL_UNIT_UINT16, 3); }, 15000.0f, {1000.0f, 40000.0f},
     1344621857651202213u, 12678637985005494517u},
    {"int16", [] { return blobs(20, 15, 3, QEL_VOXEL_UNIT_INT16, 4); }, 30.0f, {-50.0f, 150.0f},
     9718209393988358024u, 4571056665843127777u},
    {"uint32", [] { return blobs(17, 17, 18, QEL_VOXEL_UNIT_UINT32, 5); }, 150.0f, {0.0f, 300.0f},
     3523290902548640049u, 1049824089957350190u},
    {"int32", [] { return blobs(15, 22, 16, QEL_VOXEL_UNIT_INT32, 6); }, -10.0f, {-100.0f, 200.0f},
     17735462507441402607u, 12962838924680564218u},
    {"float32", [] { return blobs(21, 16, 19, QEL_VOXEL_UNIT_FLOAT32, 7); }, 2.0f, {0.5f, 4.0f},
     9858709208401900859u, 11437570507693329865u},
    {"float64", [] { return blobs(18, 19, 2, QEL_VOXEL_UNIT_FLOAT64, 8); }, 1.5f, {0.0f, 5.0f},
     1834244858323336828u, 7263450135072683427u},
    {"large uint8", [] { return blobs(70, 64, 41, QEL_VOXEL_UNIT_UINT8, 9); }, 90.0f, {20.0f, 230.0f},
     15267231117589665766u, 14657752049304271786u},
    {"rgba", [] { return rgba_blobs(22, 17, 18, 10); }, 100.0f, {0.0f, 255.0f},
     12293090832286394937u, 2875600792481237081u},
    {"rgba thin", [] { return rgba_blobs(3, 30, 25, 11); }, 60.0f, {0.0f, 255.0f},
     15461345394900665265u, 16386958679300948808u},
};

// Every colour mode, both resolutions, component selection and volumes of interest inside,
// across the border, outside and of zero size.
uint64_t matrix_hash(const Case& c, int gradientMode) {
    Volume original = c.make();
    const int n[3] = {original->size->nx, original->size->ny, original->size->nz};
    Fnv fnv;
    const Box boxes[] = {Box(), new_box(2, 3, 1, n[0] / 2, n[1] / 2, n[2] - 1),
                         new_box(-3, n[1] / 3, -1, n[0], n[1], n[2]), new_box(n[0] + 2, 0, 0, 4, 4, 4),
                         new_box(1, 1, 1, 0, 5, 5)};
    for (int resolution : {MESHER_RESOLUTION_HIGH, MESHER_RESOLUTION_LOW})
        for (int colour : {MESHER_COLOR_ORIGINAL, MESHER_COLOR_UNIFORM, MESHER_COLOR_HYBRID})
            for (int cc : {0, 1, 3})
                for (const Box& box : boxes) {
                    Settings st;
                    st.take(copy_of(original.get()));
                    st.window = c.window;
                    st.s.threshold = c.threshold;
                    st.s.gradientMode = gradientMode;
                    st.s.resolutionMode = resolution;
                    st.s.colorMode = colour;
                    st.s.sigma = cc == 3 ? 0.6f : 1.0f;
                    st.s.ccAnalysis = cc > 0;
                    st.s.components = cc;
                    run_into(fnv, st, box.get());
                }
    return fnv.h;
}

TEST(MesherRecordedOutput, FlatMatrixIsUnchanged) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(matrix_hash(c, MESHER_GRADIENT_UNUSE), c.flat);
    }
}

TEST(MesherRecordedOutput, GradientMatrixIsUnchanged) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(matrix_hash(c, MESHER_GRADIENT_USE), c.smooth);
    }
}

// A second run on the same settings replaces the group by an identical one: nothing a run
// leaves behind changes the next.
TEST(MesherRecordedOutput, RepeatedRunsGiveTheSameBytes) {
    Settings st;
    st.take(blobs(23, 18, 17, QEL_VOXEL_UNIT_UINT16, 12));
    st.window = {0.0f, 30000.0f};
    st.s.threshold = 12000.0f;
    st.s.colorMode = MESHER_COLOR_ORIGINAL;
    st.s.sigma = 1.0f;
    for (int gradient : {MESHER_GRADIENT_UNUSE, MESHER_GRADIENT_USE}) {
        st.s.gradientMode = gradient;
        Fnv first, second;
        run_into(first, st, nullptr);
        run_into(second, st, nullptr);
        EXPECT_EQ(first.h, second.h);
    }
}

}  // namespace
