// Region growing against a breadth-first reference on random volumes for every connectivity,
// with and without the candidate queue, the exact lines on stderr, and the refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "filters/qel_region_grow.h"
#include "filters/qel_region_grow.hpp"
#include "segment/segment_support.hpp"
#include "support/capture.hpp"

namespace {

using segtest::get;
using segtest::Volume;

void* no_memory(size_t) { return nullptr; }

// Runs the body with the candidate queue unobtainable, so that the raster passes do the work.
struct WithoutQueue {
    void* (*saved)(size_t) = qel::grow_queue_alloc;
    WithoutQueue() { qel::grow_queue_alloc = no_memory; }
    ~WithoutQueue() { qel::grow_queue_alloc = saved; }
};

std::string queue_lines(int64_t candidates) {
    char line[64];
    std::snprintf(line, sizeof line, "RP buffer prepared for %lld voxels\n", static_cast<long long>(candidates));
    return std::string("PositionArray-based\n") + line;
}

QelTypedValueRange range_of(int unit, double lo, double hi) {
    QelValue* a = QEL_NewValue(static_cast<float>(lo), unit);
    QelValue* b = QEL_NewValue(static_cast<float>(hi), unit);
    QelTypedValueRange r{*a, *b};
    free(a);
    free(b);
    return r;
}

// What the seed channel's value becomes in 8 bits: through float, truncated, low byte kept.
bool is_seed(double v) {
    const double t = std::trunc(double(float(v)));
    if (!(std::fabs(t) < 9.2e18)) return false;
    return (static_cast<uint64_t>(static_cast<int64_t>(t)) & 0xFF) == 1;
}

struct Case {
    int nx, ny, nz, unit, seedUnit, connectivity;
    double share;  // fraction of voxels in range
    uint32_t seed;
};

// Grows one random case with and without the queue and compares both with the reference.
void run_case(const Case& c) {
    SCOPED_TRACE(testing::Message() << "unit " << c.unit << " seeds in unit " << c.seedUnit << " connectivity "
                                    << c.connectivity << " share " << c.share << " rng " << c.seed);
    const segtest::Dims d{c.nx, c.ny, c.nz};
    Volume vol = segtest::new_volume(c.nx, c.ny, c.nz, c.unit);
    Volume seeds = segtest::new_volume(c.nx, c.ny, c.nz, c.seedUnit);
    std::mt19937 rng(c.seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    // In range: values 10..19; outside: 30..39 or -5 in signed units.
    for (int64_t i = 0; i < d.count(); ++i) {
        const bool in = u(rng) < c.share;
        segtest::set(vol.get(), 0, i, in ? 10 + int(rng() % 10) : 30 + int(rng() % 10));
        const double r = u(rng);
        // A few seeds; other small values that are not seeds; 257 and 1.5 count as seeds.
        double s = r < 0.004 ? 1.0 : r < 0.01 ? 2.0 : 0.0;
        if (r < 0.002 && c.seedUnit == QEL_VOXEL_UNIT_UINT16) s = 257.0;
        if (r < 0.002 && c.seedUnit == QEL_VOXEL_UNIT_FLOAT32) s = 1.5;
        segtest::set(seeds.get(), 0, i, s);
    }
    std::vector<uint8_t> seedMask(d.count()), eligible(d.count());
    int64_t candidates = 0;
    for (int64_t i = 0; i < d.count(); ++i) {
        seedMask[i] = is_seed(get(seeds.get(), 0, i));
        const double v = get(vol.get(), 0, i);
        eligible[i] = v >= 10 && v <= 19;
        candidates += eligible[i] && !seedMask[i];
    }
    int64_t grown = 0;
    const auto expected = segtest::reference_grow(d, seedMask, eligible, c.connectivity, &grown);
    const QelTypedValueRange range = range_of(c.unit, 10, 19);

    for (bool queue : {true, false}) {
        SCOPED_TRACE(queue ? "queue" : "raster passes");
        Volume work(QEL_CopyRawVolumeData(vol.get()));
        qeltest::StderrCapture err;
        int r;
        if (queue) {
            r = QEL_GrowSeedRegion(work.get(), 0, seeds.get(), 0, &range, c.connectivity);
        } else {
            WithoutQueue without;
            r = QEL_GrowSeedRegion(work.get(), 0, seeds.get(), 0, &range, c.connectivity);
        }
        EXPECT_EQ(err.stop(), queue ? queue_lines(candidates) : std::string("Volume-based\n"));
        EXPECT_EQ(r, grown);
        EXPECT_EQ(work->unit[0], c.unit);
        for (int64_t i = 0; i < d.count(); ++i) ASSERT_EQ(get(work.get(), 0, i), expected[i] ? 1.0 : 0.0) << i;
    }
}

TEST(RegionGrow, MatchesBreadthFirstReferenceForEveryConnectivity) {
    uint32_t rng = 1;
    for (int connectivity : {6, 18, 26})
        for (double share : {0.25, 0.45, 0.7})
            run_case({9, 8, 7, QEL_VOXEL_UNIT_UINT8, QEL_VOXEL_UNIT_UINT8, connectivity, share, rng++});
}

TEST(RegionGrow, EveryUnitAndSeedUnit) {
    uint32_t rng = 100;
    for (int unit = 0; unit < 8; ++unit)
        run_case({6, 7, 5, unit, (unit + 3) % 8, 26, 0.5, rng++});
    run_case({6, 7, 5, QEL_VOXEL_UNIT_INT16, QEL_VOXEL_UNIT_UINT16, 6, 0.6, rng++});
    run_case({6, 7, 5, QEL_VOXEL_UNIT_FLOAT64, QEL_VOXEL_UNIT_FLOAT32, 18, 0.6, rng++});
    // Thin volumes: rows, columns and single slices.
    run_case({17, 1, 1, QEL_VOXEL_UNIT_UINT8, QEL_VOXEL_UNIT_UINT8, 6, 0.8, rng++});
    run_case({1, 1, 19, QEL_VOXEL_UNIT_UINT8, QEL_VOXEL_UNIT_UINT8, 26, 0.8, rng++});
    run_case({11, 9, 1, QEL_VOXEL_UNIT_UINT8, QEL_VOXEL_UNIT_UINT8, 18, 0.6, rng++});
}

// A line of voxels 0..4 along x at y = z = 0, value 5 in range [4, 6]; the rest 0.
struct Scene {
    Volume vol = segtest::new_volume(6, 4, 3, QEL_VOXEL_UNIT_UINT8);
    Volume seeds = segtest::new_volume(6, 4, 3, QEL_VOXEL_UNIT_UINT8);
    QelTypedValueRange range = range_of(QEL_VOXEL_UNIT_UINT8, 4, 6);
};

TEST(RegionGrow, SeedsOutsideTheRangeStillGrow) {
    Scene s;
    for (int x = 1; x < 5; ++x) segtest::set(s.vol.get(), 0, x, 5);
    segtest::set(s.vol.get(), 0, 0, 200);  // the seed, out of range
    segtest::set(s.seeds.get(), 0, 0, 1);
    qeltest::StderrCapture err;
    EXPECT_EQ(QEL_GrowSeedRegion(s.vol.get(), 0, s.seeds.get(), 0, &s.range, 6), 4);
    EXPECT_EQ(err.stop(), queue_lines(4));
    for (int x = 0; x < 5; ++x) EXPECT_EQ(get(s.vol.get(), 0, x), 1.0);
    EXPECT_EQ(get(s.vol.get(), 0, 5), 0.0);
}

TEST(RegionGrow, CornersJoinOnlyUnder26AndEdgesUnder18) {
    for (int connectivity : {6, 18, 26}) {
        for (bool corner : {true, false}) {
            Scene s;
            segtest::set(s.seeds.get(), 0, 0, 1);  // (0, 0, 0)
            const int64_t other = corner ? 1 + 6 * (1 + 4 * 1) : 1 + 6 * 1;  // (1,1,1) or (1,1,0)
            segtest::set(s.vol.get(), 0, other, 5);
            qeltest::StderrCapture err;
            const int r = QEL_GrowSeedRegion(s.vol.get(), 0, s.seeds.get(), 0, &s.range, connectivity);
            err.stop();
            const bool joins = connectivity == 26 || (!corner && connectivity == 18);
            EXPECT_EQ(r, joins ? 1 : 0) << connectivity << (corner ? " corner" : " edge");
            EXPECT_EQ(get(s.vol.get(), 0, other), joins ? 1.0 : 0.0);
        }
    }
}

TEST(RegionGrow, NoSeedsOrNothingInRange) {
    Scene s;
    for (int x = 0; x < 5; ++x) segtest::set(s.vol.get(), 0, x, 5);
    {
        qeltest::StderrCapture err;
        EXPECT_EQ(QEL_GrowSeedRegion(s.vol.get(), 0, s.seeds.get(), 0, &s.range, 26), 0);
        EXPECT_EQ(err.stop(), queue_lines(5));
        for (int64_t i = 0; i < segtest::voxels(s.vol.get()); ++i) EXPECT_EQ(get(s.vol.get(), 0, i), 0.0);
    }
    // Nothing in range: the queue path still runs, with 0 candidates.
    Scene t;
    segtest::set(t.seeds.get(), 0, 7, 1);
    qeltest::StderrCapture err;
    EXPECT_EQ(QEL_GrowSeedRegion(t.vol.get(), 0, t.seeds.get(), 0, &t.range, 6), 0);
    EXPECT_EQ(err.stop(), queue_lines(0));
    EXPECT_EQ(get(t.vol.get(), 0, 7), 1.0);
}

TEST(RegionGrow, FloatChannelHoldsOneAndZero) {
    Volume v = segtest::new_volume(3, 3, 3, QEL_VOXEL_UNIT_FLOAT32);
    Volume seeds = segtest::new_volume(3, 3, 3, QEL_VOXEL_UNIT_UINT8);
    for (int i = 0; i < 27; ++i) segtest::set(v.get(), 0, i, i < 9 ? 0.5 : -0.5);
    segtest::set(seeds.get(), 0, 4, 1);
    const QelTypedValueRange range = range_of(QEL_VOXEL_UNIT_FLOAT32, 0.25, 0.75);
    qeltest::StderrCapture err;
    EXPECT_EQ(QEL_GrowSeedRegion(v.get(), 0, seeds.get(), 0, &range, 6), 8);
    err.stop();
    const float* f = static_cast<const float*>(v->data[0]);
    for (int i = 0; i < 27; ++i) EXPECT_EQ(f[i], i < 9 ? 1.0f : 0.0f);
}

TEST(RegionGrow, RefusalsPrintOneLineAndChangeNothing) {
    Scene s;
    for (int x = 0; x < 5; ++x) segtest::set(s.vol.get(), 0, x, 5);
    segtest::set(s.seeds.get(), 0, 0, 1);
    const auto before = segtest::bytes_of(s.vol.get(), 0);
    Volume other = segtest::new_volume(6, 4, 2, QEL_VOXEL_UNIT_UINT8);
    Volume packed = segtest::new_volume(6, 4, 3, QEL_VOXEL_UNIT_UINT32, QEL_ATTRIBUTE_RGBA);
    struct Refusal {
        QelRawVolumeData* vol;
        int channel;
        const QelRawVolumeData* seeds;
        int seedChannel;
        const QelTypedValueRange* range;
        int connectivity;
        const char* line;
    } refusals[] = {
        {s.vol.get(), 1, s.seeds.get(), 0, &s.range, 6, "invalid channel ID\n"},
        {s.vol.get(), -1, s.seeds.get(), 0, &s.range, 6, "invalid channel ID\n"},
        {nullptr, 0, s.seeds.get(), 0, &s.range, 6, "invalid channel ID\n"},
        {s.vol.get(), 0, s.seeds.get(), 1, &s.range, 6, "invalid seed channel ID\n"},
        {s.vol.get(), 0, nullptr, 0, &s.range, 6, "invalid seed channel ID\n"},
        {s.vol.get(), 0, other.get(), 0, &s.range, 6, "volume matrix mismatch\n"},
        {s.vol.get(), 0, packed.get(), 0, &s.range, 6, "seed volume not ready\n"},
        {s.vol.get(), 0, s.seeds.get(), 0, nullptr, 6, "result volume not ready\n"},
        {s.vol.get(), 0, s.seeds.get(), 0, &s.range, 8, "result volume not ready\n"},
        {s.vol.get(), 0, s.seeds.get(), 0, &s.range, 0, "result volume not ready\n"},
    };
    for (const Refusal& r : refusals) {
        qeltest::StderrCapture err;
        EXPECT_EQ(QEL_GrowSeedRegion(r.vol, r.channel, r.seeds, r.seedChannel, r.range, r.connectivity), 0);
        EXPECT_EQ(err.stop(), r.line);
        EXPECT_EQ(segtest::bytes_of(s.vol.get(), 0), before);
    }
    // A packed channel is refused as the work channel too.
    const auto packedBefore = segtest::bytes_of(packed.get(), 0);
    Volume seeds3 = segtest::new_volume(6, 4, 3, QEL_VOXEL_UNIT_UINT8);
    qeltest::StderrCapture err;
    EXPECT_EQ(QEL_GrowSeedRegion(packed.get(), 0, seeds3.get(), 0, &s.range, 6), 0);
    EXPECT_EQ(err.stop(), "result volume not ready\n");
    EXPECT_EQ(segtest::bytes_of(packed.get(), 0), packedBefore);
    EXPECT_EQ(packed->unit[0], QEL_VOXEL_UNIT_UINT32);
    EXPECT_EQ(packed->attribute[0], QEL_ATTRIBUTE_RGBA);
}

TEST(RegionGrow, SeedChannelMayBeTheGrownChannel) {
    // Value 1 is both the seed and in range [1, 3]; 2 and 3 are reached from it.
    Volume v = segtest::new_volume(5, 1, 1, QEL_VOXEL_UNIT_UINT8);
    const int values[5] = {1, 2, 3, 9, 2};
    for (int i = 0; i < 5; ++i) segtest::set(v.get(), 0, i, values[i]);
    const QelTypedValueRange range = range_of(QEL_VOXEL_UNIT_UINT8, 1, 3);
    qeltest::StderrCapture err;
    EXPECT_EQ(QEL_GrowSeedRegion(v.get(), 0, v.get(), 0, &range, 6), 2);
    EXPECT_EQ(err.stop(), queue_lines(3));
    const double expected[5] = {1, 1, 1, 0, 0};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(get(v.get(), 0, i), expected[i]);
}

TEST(RegionGrow, FromVoxelList) {
    Scene s;
    for (int x = 0; x < 5; ++x) segtest::set(s.vol.get(), 0, x, 5);
    QelVoxelList* list = QEL_NewVoxelList(3);
    const QelPoint3i inside{2, 0, 0}, outside{6, 0, 0}, negative{0, -1, 0};
    QEL_AppendToVoxelList(list, &inside);
    QEL_AppendToVoxelList(list, &outside);
    QEL_AppendToVoxelList(list, &negative);
    {
        qeltest::StderrCapture err;
        EXPECT_EQ(QEL_GrowRegionFromVoxelList(s.vol.get(), 0, &s.range, 6, list), 4);
        EXPECT_EQ(err.stop(), "Seed voxels: 3\n" + queue_lines(4));
    }
    for (int x = 0; x < 5; ++x) EXPECT_EQ(get(s.vol.get(), 0, x), 1.0);
    {
        qeltest::StderrCapture err;
        EXPECT_EQ(QEL_GrowRegionFromVoxelList(s.vol.get(), 2, &s.range, 6, list), 0);
        EXPECT_EQ(err.stop(), "Seed voxels: 3\ninvalid channel ID\n");
    }
    {
        qeltest::StderrCapture err;
        EXPECT_EQ(QEL_GrowRegionFromVoxelList(s.vol.get(), 0, &s.range, 6, nullptr), 0);
        EXPECT_EQ(err.stop(), "Seed volume not ready\n");
    }
    QEL_DeleteVoxelList(list);
}

TEST(RegionGrow, BetweenRanges) {
    // Seeds are the voxels in 100..200; they grow through 5..50.
    Volume v = segtest::new_volume(8, 1, 1, QEL_VOXEL_UNIT_INT16);
    const int values[8] = {20, 150, 30, 40, 0, 10, 120, 60};
    for (int i = 0; i < 8; ++i) segtest::set(v.get(), 0, i, values[i]);
    const QelTypedValueRange seedRange = range_of(QEL_VOXEL_UNIT_INT16, 100, 200);
    const QelTypedValueRange growRange = range_of(QEL_VOXEL_UNIT_INT16, 5, 50);
    qeltest::StderrCapture err;
    EXPECT_EQ(QEL_GrowRegionBetweenRanges(v.get(), 0, &seedRange, &growRange, 6), 4);
    EXPECT_EQ(err.stop(), queue_lines(4));
    const double expected[8] = {1, 1, 1, 1, 0, 1, 1, 0};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(get(v.get(), 0, i), expected[i]) << i;
    EXPECT_EQ(QEL_GrowRegionBetweenRanges(v.get(), 3, &seedRange, &growRange, 6), 0);
}

}  // namespace
