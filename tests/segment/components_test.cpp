// Connected components against an in-test flood fill for every connectivity; the component
// table, ranking ties against the quicksort as described (written out here over floats),
// keeping, selecting and removing, boxes, and cavity filling.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "filters/qel_components.h"
#include "segment/segment_support.hpp"
#include "support/capture.hpp"

namespace {

using segtest::Volume;

struct TableDeleter {
    void operator()(QelComponentTable* t) const { QEL_DeleteComponentTable(t); }
};
using TablePtr = std::unique_ptr<QelComponentTable, TableDeleter>;

Volume mask_volume(const segtest::Dims& d, const std::vector<uint8_t>& m, int unit = QEL_VOXEL_UNIT_UINT8) {
    Volume v = segtest::new_volume(d.nx, d.ny, d.nz, unit);
    for (int64_t i = 0; i < d.count(); ++i) segtest::set(v.get(), 0, i, m[i]);
    return v;
}

void expect_labels(const segtest::Dims& d, const std::vector<uint8_t>& fg, int connectivity, Volume& v) {
    uint32_t n = 0;
    const auto expected = segtest::reference_labels(d, fg, connectivity, &n);
    const int r = QEL_LabelComponents(v.get(), 0, connectivity);
    EXPECT_EQ(r, int(n));
    EXPECT_EQ(v->unit[0], QEL_VOXEL_UNIT_UINT32);
    EXPECT_EQ(v->attribute[0], QEL_ATTRIBUTE_PLAIN);
    EXPECT_EQ(segtest::labels_of(v.get(), 0), expected);
}

TEST(Label, RandomMasksMatchFloodFill) {
    // 90 x 80 slices hold a few thousand runs each.
    const segtest::Dims dims[] = {{13, 11, 9}, {40, 1, 1}, {1, 30, 1}, {1, 1, 30}, {17, 15, 1}, {2, 2, 2}, {90, 80, 3}};
    uint32_t seed = 1;
    for (const auto& d : dims)
        for (int connectivity : {6, 18, 26})
            for (double share : {0.2, 0.35, 0.5, 0.75}) {
                SCOPED_TRACE(testing::Message() << d.nx << "x" << d.ny << "x" << d.nz << " connectivity "
                                                << connectivity << " share " << share);
                const auto fg = segtest::random_mask(d.count(), share, seed++);
                Volume v = mask_volume(d, fg);
                expect_labels(d, fg, connectivity, v);
            }
}

TEST(Label, ForegroundIsNonZeroAfterConversionToUnsigned32) {
    // Float 0.5 truncates to 0 (background); -1 in a signed unit is non-zero.
    const segtest::Dims d{6, 1, 1};
    Volume f = segtest::new_volume(6, 1, 1, QEL_VOXEL_UNIT_FLOAT32);
    const double fv[6] = {0.5, 1.5, -2.0, 0.0, -0.9, 7.0};
    for (int i = 0; i < 6; ++i) segtest::set(f.get(), 0, i, fv[i]);
    expect_labels(d, {0, 1, 1, 0, 0, 1}, 6, f);
    Volume s = segtest::new_volume(6, 1, 1, QEL_VOXEL_UNIT_INT8);
    const double sv[6] = {-1, 0, 3, 3, 0, -128};
    for (int i = 0; i < 6; ++i) segtest::set(s.get(), 0, i, sv[i]);
    expect_labels(d, {1, 0, 1, 1, 0, 1}, 26, s);
}

TEST(Label, UShapeMergesAndFollowsItsFirstVoxel) {
    // Two arms rising in y, joined at the top row; an isolated voxel sits before the join.
    const segtest::Dims d{7, 5, 1};
    const char* rows[5] = {"x.x...x", "x.x....", "x.x....", "xxx....", "......."};
    std::vector<uint8_t> fg(d.count());
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) fg[d.index(x, y, 0)] = rows[y][x] == 'x';
    Volume v = mask_volume(d, fg);
    EXPECT_EQ(QEL_LabelComponents(v.get(), 0, 6), 2);
    const auto l = segtest::labels_of(v.get(), 0);
    EXPECT_EQ(l[d.index(0, 0, 0)], 1u);
    EXPECT_EQ(l[d.index(2, 0, 0)], 1u);
    EXPECT_EQ(l[d.index(6, 0, 0)], 2u);
    EXPECT_EQ(l[d.index(1, 3, 0)], 1u);
}

TEST(Label, CornersAndEdges) {
    for (int connectivity : {6, 18, 26})
        for (bool corner : {true, false}) {
            const segtest::Dims d{2, 2, 2};
            std::vector<uint8_t> fg(8, 0);
            fg[0] = 1;
            fg[corner ? 7 : 3] = 1;  // (1,1,1) or (1,1,0)
            Volume v = mask_volume(d, fg);
            const bool joins = connectivity == 26 || (!corner && connectivity == 18);
            EXPECT_EQ(QEL_LabelComponents(v.get(), 0, connectivity), joins ? 1 : 2);
        }
}

TEST(Label, EmptyChannelAndRefusals) {
    Volume v = segtest::new_volume(4, 3, 2, QEL_VOXEL_UNIT_INT16);
    EXPECT_EQ(QEL_LabelComponents(v.get(), 0, 26), 0);
    EXPECT_EQ(v->unit[0], QEL_VOXEL_UNIT_UINT32);
    EXPECT_EQ(QEL_NewComponentTable(v.get(), 0, 0), nullptr);

    Volume w = segtest::new_volume(4, 3, 2, QEL_VOXEL_UNIT_UINT8);
    segtest::set(w.get(), 0, 5, 1);
    const auto before = segtest::bytes_of(w.get(), 0);
    for (int connectivity : {0, 4, 8, 27}) EXPECT_EQ(QEL_LabelComponents(w.get(), 0, connectivity), 0);
    EXPECT_EQ(QEL_LabelComponents(w.get(), 1, 6), 0);
    EXPECT_EQ(QEL_LabelComponents(nullptr, 0, 6), 0);
    EXPECT_EQ(w->unit[0], QEL_VOXEL_UNIT_UINT8);
    EXPECT_EQ(segtest::bytes_of(w.get(), 0), before);

    Volume packed = segtest::new_volume(4, 3, 2, QEL_VOXEL_UNIT_UINT32, QEL_ATTRIBUTE_RGBA);
    segtest::set(packed.get(), 0, 2, 0x01020304);
    const auto packedBefore = segtest::bytes_of(packed.get(), 0);
    EXPECT_EQ(QEL_LabelComponents(packed.get(), 0, 6), 0);
    EXPECT_EQ(packed->attribute[0], QEL_ATTRIBUTE_RGBA);
    EXPECT_EQ(segtest::bytes_of(packed.get(), 0), packedBefore);
}

// Labels a padded copy of the mask with a kernel of chosen points and compares with a flood
// fill that links voxels both ways along each point.
void expect_hand_made_kernel(const segtest::Dims& d, const std::vector<uint8_t>& fg,
                             const std::vector<segtest::D3>& points) {
    std::vector<segtest::D3> both;
    for (const auto& p : points) {
        both.push_back(p);
        both.push_back({-p.x, -p.y, -p.z});
    }
    QelKernel* k = QEL_NewKernel(int(points.size()) + 1);
    for (const auto& p : points) {
        const QelPoint3i q{p.x, p.y, p.z};
        QEL_SetKernelWeight(k, &q, 1.0f);
    }
    const segtest::Dims pd{d.nx + 2, d.ny + 2, d.nz + 2};
    Volume p = segtest::new_volume(pd.nx, pd.ny, pd.nz, QEL_VOXEL_UNIT_UINT32);
    for (int z = 0; z < d.nz; ++z)
        for (int y = 0; y < d.ny; ++y)
            for (int x = 0; x < d.nx; ++x)
                if (fg[d.index(x, y, z)]) segtest::set(p.get(), 0, pd.index(x + 1, y + 1, z + 1), 7.0);
    // Stray values on the border are cleared, not labelled.
    segtest::set(p.get(), 0, pd.index(0, 3, 3), 5.0);
    uint32_t n = 0;
    const auto expected = segtest::reference_labels(d, fg, both, &n);
    EXPECT_EQ(QEL_PropagateMinimumLabels(p.get(), k), int(n));
    for (int z = 0; z < pd.nz; ++z)
        for (int y = 0; y < pd.ny; ++y)
            for (int x = 0; x < pd.nx; ++x) {
                const bool inside = x > 0 && y > 0 && z > 0 && x <= d.nx && y <= d.ny && z <= d.nz;
                ASSERT_EQ(segtest::get(p.get(), 0, pd.index(x, y, z)),
                          inside ? double(expected[d.index(x - 1, y - 1, z - 1)]) : 0.0);
            }
    QEL_DeleteKernel(k);
}

TEST(Label, PropagateMinimumLabelsWithHandMadeKernels) {
    const segtest::Dims d{11, 10, 9};
    expect_hand_made_kernel(d, segtest::random_mask(d.count(), 0.5, 78),
                            {{1, 0, 0}, {0, -1, 1}, {1, 1, 0}, {-1, 0, -1}, {1, 0, -1}});
    // Without a neighbour along x every voxel of a row starts its own run: a full mask then
    // makes a new label at every voxel of the first slice's first row.
    expect_hand_made_kernel(d, std::vector<uint8_t>(d.count(), 1), {{0, 1, 0}});
    expect_hand_made_kernel(d, segtest::random_mask(d.count(), 0.6, 79), {{0, 0, 1}, {1, 1, 1}});
    // The centre alone links nothing: every voxel is a component.
    expect_hand_made_kernel(d, std::vector<uint8_t>(d.count(), 1), {});
    expect_hand_made_kernel(d, segtest::random_mask(d.count(), 0.6, 80), {});
}

TEST(Label, PropagateMinimumLabelsOnAPaddedVolume) {
    const segtest::Dims d{9, 8, 7};
    const auto fg = segtest::random_mask(d.count(), 0.4, 77);
    for (int connectivity : {6, 18, 26}) {
        Volume p = segtest::new_volume(d.nx + 2, d.ny + 2, d.nz + 2, QEL_VOXEL_UNIT_UINT32);
        const segtest::Dims pd{d.nx + 2, d.ny + 2, d.nz + 2};
        for (int z = 0; z < d.nz; ++z)
            for (int y = 0; y < d.ny; ++y)
                for (int x = 0; x < d.nx; ++x)
                    if (fg[d.index(x, y, z)]) segtest::set(p.get(), 0, pd.index(x + 1, y + 1, z + 1), 4294967295.0);
        QelKernel* k = QEL_NewNeighborhoodKernel(connectivity);
        const QelSize3i dims{pd.nx, pd.ny, pd.nz};
        QEL_SetKernelOffsets(k, &dims);
        uint32_t n = 0;
        const auto expected = segtest::reference_labels(d, fg, connectivity, &n);
        EXPECT_EQ(QEL_PropagateMinimumLabels(p.get(), k), int(n));
        for (int64_t i = 0; i < pd.count(); ++i) {
            const int x = int(i % pd.nx) - 1, y = int(i / pd.nx % pd.ny) - 1, z = int(i / (pd.nx * pd.ny)) - 1;
            const bool inside = x >= 0 && y >= 0 && z >= 0 && x < d.nx && y < d.ny && z < d.nz;
            ASSERT_EQ(segtest::get(p.get(), 0, i), inside ? double(expected[d.index(x, y, z)]) : 0.0) << i;
        }
        QEL_DeleteKernel(k);
    }
    // Kernels reaching past the one-voxel border, and other units, are refused.
    Volume p = segtest::new_volume(5, 5, 5, QEL_VOXEL_UNIT_UINT32);
    QelKernel* wide = QEL_NewSphericalKernel(2.0f);
    EXPECT_EQ(QEL_PropagateMinimumLabels(p.get(), wide), 0);
    EXPECT_EQ(QEL_PropagateMinimumLabels(p.get(), nullptr), 0);
    QEL_DeleteKernel(wide);
}

// The components of a labelled channel and its table.
struct Labelled {
    Volume vol;
    int n = 0;
    TablePtr table;
};

// Blocks of chosen sizes along x, one voxel apart, in a 1-voxel-high row.
Labelled blocks(const std::vector<int>& sizes) {
    int width = 0;
    for (int s : sizes) width += s + 1;
    Labelled l;
    l.vol = segtest::new_volume(width, 1, 1, QEL_VOXEL_UNIT_UINT8);
    int x = 0;
    for (int s : sizes) {
        for (int i = 0; i < s; ++i) segtest::set(l.vol.get(), 0, x + i, 1);
        x += s + 1;
    }
    l.n = QEL_LabelComponents(l.vol.get(), 0, 6);
    l.table.reset(QEL_NewComponentTable(l.vol.get(), 0, l.n));
    return l;
}

TEST(ComponentTable, CountsAndRefusals) {
    Labelled l = blocks({3, 1, 4, 1, 5});
    ASSERT_EQ(l.n, 5);
    ASSERT_TRUE(l.table);
    EXPECT_EQ(l.table->volume, l.vol.get());
    EXPECT_EQ(l.table->channel, 0);
    EXPECT_EQ(l.table->labelCount, 5);
    EXPECT_EQ(l.table->statistics[0], nullptr);
    EXPECT_EQ(l.table->statistics[1], nullptr);
    const uint32_t counts[6] = {5, 3, 1, 4, 1, 5};
    for (int k = 0; k <= 5; ++k) EXPECT_EQ(l.table->counts[k], counts[k]) << k;

    // Labels above n are not counted.
    TablePtr small(QEL_NewComponentTable(l.vol.get(), 0, 2));
    ASSERT_TRUE(small);
    EXPECT_EQ(small->counts[0], 5u);
    EXPECT_EQ(small->counts[2], 1u);

    Volume bytes = segtest::new_volume(3, 3, 3, QEL_VOXEL_UNIT_UINT8);
    Volume packed = segtest::new_volume(3, 3, 3, QEL_VOXEL_UNIT_UINT32, QEL_ATTRIBUTE_RGBA);
    for (QelRawVolumeData* v : {bytes.get(), packed.get()}) {
        qeltest::StderrCapture err;
        EXPECT_EQ(QEL_NewComponentTable(v, 0, 3), nullptr);
        EXPECT_EQ(err.stop(), "Component volume must be UINT32 volume\n");
    }
    qeltest::StderrCapture err;
    EXPECT_EQ(QEL_NewComponentTable(l.vol.get(), 0, -4), nullptr);
    EXPECT_EQ(QEL_NewComponentTable(l.vol.get(), 3, 4), nullptr);
    EXPECT_EQ(err.stop(), "");
    QEL_DeleteComponentTable(nullptr);
}

// The sort as described, over float keys and values indexed 1..n.
void described_sort(unsigned n, float* key, float* value) {
    int stack[64], top = 0;
    int l = 1, r = int(n);
    auto sw = [&](int a, int b) {
        std::swap(key[a], key[b]);
        std::swap(value[a], value[b]);
    };
    for (;;) {
        if (r - l < 7) {
            for (int p = l + 1; p <= r; ++p) {
                float a = key[p], b = value[p];
                int i = p - 1;
                while (i >= 1 && key[i] > a) {
                    key[i + 1] = key[i];
                    value[i + 1] = value[i];
                    --i;
                }
                key[i + 1] = a;
                value[i + 1] = b;
            }
            if (top == 0) return;
            r = stack[--top];
            l = stack[--top];
        } else {
            const int k = (l + r) / 2;
            sw(k, l + 1);
            if (key[l + 1] > key[r]) sw(l + 1, r);
            if (key[l] > key[r]) sw(l, r);
            if (key[l + 1] > key[l]) sw(l + 1, l);
            int i = l + 1, j = r;
            const float a = key[l], b = value[l];
            for (;;) {
                do ++i;
                while (key[i] < a);
                do --j;
                while (key[j] > a);
                if (j < i) break;
                sw(i, j);
            }
            key[l] = key[j];
            value[l] = value[j];
            key[j] = a;
            value[j] = b;
            if (r - i + 1 >= j - l) {
                stack[top++] = i;
                stack[top++] = r;
                r = j - 1;
            } else {
                stack[top++] = l;
                stack[top++] = j - 1;
                l = i;
            }
        }
    }
}

TEST(Sort, KeysWithValuesAsDescribed) {
    std::mt19937 rng(12);
    for (unsigned n : {0u, 1u, 2u, 6u, 7u, 8u, 9u, 30u, 257u, 5000u}) {
        for (int spread : {3, 1000}) {
            std::vector<float> keys(n + 1), values(n + 1);
            for (unsigned i = 1; i <= n; ++i) {
                keys[i] = float(int(rng() % spread) - spread / 2);
                values[i] = float(i);
            }
            auto k2 = keys, v2 = values;
            QEL_SortKeysWithValues(n, keys.data(), values.data());
            described_sort(n, k2.data(), v2.data());
            EXPECT_EQ(keys, k2) << n;
            EXPECT_EQ(values, v2) << n;
            EXPECT_TRUE(std::is_sorted(keys.begin() + 1, keys.end()));
        }
    }
    // Entry 0 is never touched; NULL arrays do nothing.
    float k[3] = {-7.0f, 2.0f, 1.0f}, v[3] = {9.0f, 1.0f, 2.0f};
    QEL_SortKeysWithValues(2, k, v);
    EXPECT_EQ(k[0], -7.0f);
    EXPECT_EQ(v[1], 2.0f);
    QEL_SortKeysWithValues(2, nullptr, v);
}

// Expected ranking: the described sort over -counts and labels, as floats.
std::vector<uint32_t> expected_rank_map(const QelComponentTable* t, std::vector<uint32_t>* counts) {
    const unsigned n = unsigned(t->labelCount);
    std::vector<float> keys(n + 1), labels(n + 1);
    for (unsigned k = 0; k <= n; ++k) {
        labels[k] = float(k);
        keys[k] = -float(t->counts[k]);
    }
    described_sort(n, keys.data(), labels.data());
    std::vector<uint32_t> map(n + 1, 0);
    for (unsigned j = 1; j <= n; ++j) map[uint32_t(labels[j])] = j;
    counts->assign(n + 1, 0);
    for (unsigned j = 1; j <= n; ++j) (*counts)[j] = uint32_t(-keys[j]);
    return map;
}

TEST(Rank, TiesAsTheSortLeavesThem) {
    // Many equal sizes so that the quicksort part decides the order of ties.
    std::vector<int> sizes;
    std::mt19937 rng(5);
    for (int i = 0; i < 60; ++i) sizes.push_back(1 + int(rng() % 4));
    Labelled l = blocks(sizes);
    ASSERT_EQ(l.n, 60);
    const auto before = segtest::labels_of(l.vol.get(), 0);
    std::vector<uint32_t> counts;
    const auto map = expected_rank_map(l.table.get(), &counts);
    EXPECT_EQ(QEL_RankComponentsBySize(l.table.get(), -1), 0);
    const auto after = segtest::labels_of(l.vol.get(), 0);
    for (size_t i = 0; i < before.size(); ++i) ASSERT_EQ(after[i], map[before[i]]) << i;
    for (int k = 0; k <= 60; ++k) EXPECT_EQ(l.table->counts[k], counts[k]) << k;
    EXPECT_EQ(l.table->counts[0], 0u);
    EXPECT_EQ(l.table->counts[1], 4u);
    // The counts describe the new labels.
    std::vector<uint32_t> seen(61, 0);
    for (uint32_t v : after) ++seen[v];
    for (int k = 1; k <= 60; ++k) EXPECT_EQ(seen[k], l.table->counts[k]);
}

TEST(Rank, LargestFirstThenKeepTwo) {
    Labelled l = blocks({2, 5, 1, 7, 3});
    ASSERT_EQ(QEL_RankComponentsBySize(l.table.get(), -1), 0);
    const uint32_t counts[6] = {0, 7, 5, 3, 2, 1};
    for (int k = 0; k <= 5; ++k) EXPECT_EQ(l.table->counts[k], counts[k]);
    // Blocks start at x = 0, 3, 9, 11, 19.
    const auto v = segtest::labels_of(l.vol.get(), 0);
    EXPECT_EQ(v[0], 4u);
    EXPECT_EQ(v[3], 2u);
    EXPECT_EQ(v[9], 5u);
    EXPECT_EQ(v[11], 1u);
    EXPECT_EQ(v[19], 3u);
    const unsigned keep[2] = {1, 2};
    EXPECT_EQ(QEL_KeepComponents(l.table.get(), 2, keep), 0);
    const auto k = segtest::labels_of(l.vol.get(), 0);
    for (size_t i = 0; i < k.size(); ++i) EXPECT_EQ(k[i], v[i] <= 2 ? v[i] : 0u) << i;
    // Other statistics are not defined: nothing happens.
    EXPECT_EQ(QEL_RankComponentsBySize(l.table.get(), 0), -1);
    EXPECT_EQ(QEL_RankComponentsBySize(nullptr, -1), -1);
}

TEST(Components, SelectKeepAndRemove) {
    Labelled l = blocks({2, 3, 1, 2});
    const auto v = segtest::labels_of(l.vol.get(), 0);
    auto run = [&](auto op) {
        Volume copy(QEL_CopyRawVolumeData(l.vol.get()));
        TablePtr t(QEL_NewComponentTable(copy.get(), 0, l.n));
        EXPECT_EQ(op(t.get()), 0);
        return segtest::labels_of(copy.get(), 0);
    };
    auto expect_each = [&](const std::vector<uint32_t>& got, auto f) {
        for (size_t i = 0; i < v.size(); ++i) EXPECT_EQ(got[i], f(v[i])) << i;
    };
    expect_each(run([](auto t) { return QEL_SelectComponent(t, 3); }), [](uint32_t x) { return x == 3 ? 1u : 0u; });
    expect_each(run([](auto t) { return QEL_SelectComponent(t, 0); }), [](uint32_t x) { return x == 0 ? 1u : 0u; });
    expect_each(run([](auto t) { return QEL_RemoveComponent(t, 2); }), [](uint32_t x) { return x == 2 ? 0u : x; });
    const unsigned some[3] = {4, 1, 99};
    expect_each(run([&](auto t) { return QEL_KeepComponents(t, 3, some); }),
                [](uint32_t x) { return x == 4 || x == 1 ? x : 0u; });
    expect_each(run([&](auto t) { return QEL_RemoveComponents(t, 3, some); }),
                [](uint32_t x) { return x == 4 || x == 1 ? 0u : x; });
    expect_each(run([](auto t) { return QEL_KeepComponents(t, 0, nullptr); }), [](uint32_t) { return 0u; });
    // The counts are not updated.
    Volume copy(QEL_CopyRawVolumeData(l.vol.get()));
    TablePtr t(QEL_NewComponentTable(copy.get(), 0, l.n));
    QEL_RemoveComponent(t.get(), 2);
    EXPECT_EQ(t->counts[2], 3u);
    EXPECT_EQ(QEL_SelectComponent(nullptr, 1), -1);
    // A channel that no longer holds labels is left alone.
    copy->unit[0] = QEL_VOXEL_UNIT_INT32;
    EXPECT_EQ(QEL_RemoveComponent(t.get(), 1), -1);
    copy->unit[0] = QEL_VOXEL_UNIT_UINT32;
}

TEST(Components, BoxesAgainstBruteForce) {
    const segtest::Dims d{9, 7, 6};
    const auto fg = segtest::random_mask(d.count(), 0.3, 31);
    Volume v = mask_volume(d, fg);
    const int n = QEL_LabelComponents(v.get(), 0, 26);
    TablePtr t(QEL_NewComponentTable(v.get(), 0, n));
    ASSERT_TRUE(t);
    const auto l = segtest::labels_of(v.get(), 0);
    QelBox3i* box = QEL_NewBox3i(nullptr, nullptr);
    for (int label = 1; label <= n; ++label) {
        int lo[3] = {99, 99, 99}, hi[3] = {-1, -1, -1};
        for (int64_t i = 0; i < d.count(); ++i) {
            if (l[i] != uint32_t(label)) continue;
            const int c[3] = {int(i % d.nx), int(i / d.nx % d.ny), int(i / (d.nx * d.ny))};
            for (int a = 0; a < 3; ++a) {
                lo[a] = std::min(lo[a], c[a]);
                hi[a] = std::max(hi[a], c[a]);
            }
        }
        QEL_GetBoxOfComponent(t.get(), label, box);
        EXPECT_EQ(box->origin->x, lo[0]);
        EXPECT_EQ(box->origin->y, lo[1]);
        EXPECT_EQ(box->origin->z, lo[2]);
        EXPECT_EQ(box->size->nx, hi[0] - lo[0] + 1);
        EXPECT_EQ(box->size->ny, hi[1] - lo[1] + 1);
        EXPECT_EQ(box->size->nz, hi[2] - lo[2] + 1);
    }
    // Labels outside 0..n, and labels whose voxels are gone, leave the box as it was.
    *box->origin = QelPoint3i{-5, -5, -5};
    QEL_GetBoxOfComponent(t.get(), n + 1, box);
    QEL_GetBoxOfComponent(t.get(), -1, box);
    QEL_RemoveComponent(t.get(), 1);
    QEL_GetBoxOfComponent(t.get(), 1, box);
    EXPECT_EQ(box->origin->x, -5);
    QEL_GetBoxOfComponent(t.get(), 1, nullptr);
    QEL_DeleteBox3i(box);
}

TEST(Components, SingleVoxelBox) {
    Volume v = segtest::new_volume(5, 4, 3, QEL_VOXEL_UNIT_UINT8);
    segtest::set(v.get(), 0, 3 + 5 * (2 + 4 * 1), 1);
    ASSERT_EQ(QEL_LabelComponents(v.get(), 0, 6), 1);
    TablePtr t(QEL_NewComponentTable(v.get(), 0, 1));
    QelBox3i* box = QEL_NewBox3i(nullptr, nullptr);
    QEL_GetBoxOfComponent(t.get(), 1, box);
    EXPECT_EQ(box->origin->x, 3);
    EXPECT_EQ(box->origin->y, 2);
    EXPECT_EQ(box->origin->z, 1);
    EXPECT_EQ(box->size->nx, 1);
    EXPECT_EQ(box->size->ny, 1);
    EXPECT_EQ(box->size->nz, 1);
    QEL_DeleteBox3i(box);
}

// Reference: background 6-linked to a face stays 0, everything else becomes 1.
std::vector<uint8_t> reference_filled(const segtest::Dims& d, const std::vector<uint8_t>& fg) {
    std::vector<uint8_t> seed(d.count(), 0), background(d.count(), 0);
    for (int64_t i = 0; i < d.count(); ++i) {
        const int x = int(i % d.nx), y = int(i / d.nx % d.ny), z = int(i / (d.nx * d.ny));
        const bool face = x == 0 || y == 0 || z == 0 || x == d.nx - 1 || y == d.ny - 1 || z == d.nz - 1;
        background[i] = !fg[i];
        seed[i] = !fg[i] && face;
    }
    int64_t grown;
    auto outside = segtest::reference_grow(d, seed, background, 6, &grown);
    for (auto& o : outside) o = !o;
    return outside;
}

TEST(FillCavities, HollowSphereBecomesSolid) {
    const segtest::Dims d{15, 15, 15};
    std::vector<uint8_t> shell(d.count()), ball(d.count());
    for (int64_t i = 0; i < d.count(); ++i) {
        const double x = i % 15 - 7.0, y = i / 15 % 15 - 7.0, z = i / 225 - 7.0;
        const double r = std::sqrt(x * x + y * y + z * z);
        shell[i] = r <= 6.0 && r >= 4.0;
        ball[i] = r <= 6.0;
    }
    for (int unit : {QEL_VOXEL_UNIT_UINT8, QEL_VOXEL_UNIT_INT32, QEL_VOXEL_UNIT_FLOAT64}) {
        Volume v = mask_volume(d, shell, unit);
        EXPECT_EQ(QEL_FillCavities(v.get(), 0), 0);
        EXPECT_EQ(v->unit[0], unit);
        for (int64_t i = 0; i < d.count(); ++i) ASSERT_EQ(segtest::get(v.get(), 0, i), double(ball[i])) << i;
    }
}

TEST(FillCavities, WallAcrossTheVolumeIsNotFilled) {
    // A wall at x = 4 splits the outside in two; the side after the wall touches faces too.
    const segtest::Dims d{9, 6, 5};
    std::vector<uint8_t> wall(d.count(), 0);
    for (int64_t i = 0; i < d.count(); ++i) wall[i] = i % 9 == 4;
    Volume v = mask_volume(d, wall);
    EXPECT_EQ(QEL_FillCavities(v.get(), 0), 0);
    for (int64_t i = 0; i < d.count(); ++i) ASSERT_EQ(segtest::get(v.get(), 0, i), double(wall[i])) << i;
    // The first voxel being foreground changes nothing either.
    wall[0] = 1;
    Volume w = mask_volume(d, wall);
    EXPECT_EQ(QEL_FillCavities(w.get(), 0), 0);
    for (int64_t i = 0; i < d.count(); ++i) ASSERT_EQ(segtest::get(w.get(), 0, i), double(wall[i])) << i;
}

TEST(FillCavities, RandomMasksMatchReference) {
    const segtest::Dims d{10, 9, 8};
    for (double share : {0.3, 0.5, 0.65}) {
        const auto fg = segtest::random_mask(d.count(), share, uint32_t(share * 100));
        Volume v = mask_volume(d, fg);
        EXPECT_EQ(QEL_FillCavities(v.get(), 0), 0);
        const auto expected = reference_filled(d, fg);
        for (int64_t i = 0; i < d.count(); ++i) ASSERT_EQ(segtest::get(v.get(), 0, i), double(expected[i])) << i;
    }
}

TEST(FillCavities, NonBinaryAndPackedChannelsAreLeftAlone) {
    Volume v = segtest::new_volume(4, 4, 4, QEL_VOXEL_UNIT_UINT8);
    segtest::set(v.get(), 0, 5, 2);
    const auto before = segtest::bytes_of(v.get(), 0);
    EXPECT_EQ(QEL_FillCavities(v.get(), 0), 0);
    EXPECT_EQ(segtest::bytes_of(v.get(), 0), before);
    EXPECT_EQ(QEL_FillCavities(v.get(), 1), 0);
    Volume packed = segtest::new_volume(4, 4, 4, QEL_VOXEL_UNIT_UINT32, QEL_ATTRIBUTE_RGBA);
    segtest::set(packed.get(), 0, 21, 1);
    EXPECT_EQ(QEL_FillCavities(packed.get(), 0), -1);
    EXPECT_EQ(segtest::get(packed.get(), 0, 21), 1.0);
    EXPECT_EQ(segtest::get(packed.get(), 0, 0), 0.0);
}

}  // namespace
