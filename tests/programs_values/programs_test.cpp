// channelmerger, channelsplitter, greyremapper and greyoffsetter as real processes against the
// test host: what comes back into the host's volume, the lines they print, the requests they
// make, and the runs that end before any board is opened.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support/program_runs.hpp"
#include "testhost/qel_testhost.h"
#include "values/unit_values.hpp"

namespace {

using qel::testhost::Host;
using qel::testhost::VolumePtr;
using qeltest::kRunLimitMs;
using qeltest::run_with_args;

std::string bin(const char* name) { return qeltest::program_path(name); }

VolumePtr new_volume(int nx, int ny, int nz, const std::vector<int>& units, const std::vector<int>& attributes) {
    const QelSize4i size{nx, ny, nz, static_cast<int>(units.size())};
    return VolumePtr(QEL_NewRawVolumeData(&size, units.data(), attributes.data()));
}

std::string channel_bytes(const QelRawVolumeData* v, int c) {
    const auto* p = static_cast<const char*>(v->data[c]);
    return std::string(p, static_cast<size_t>(QEL_GetNumberOfVoxels(v)) * QEL_GetVoxelUnitSize(v->unit[c]));
}

void fill_random(QelRawVolumeData* v, int c, uint32_t seed) {
    std::mt19937 rng(seed);
    auto* p = static_cast<unsigned char*>(v->data[c]);
    const size_t n = static_cast<size_t>(QEL_GetNumberOfVoxels(v)) * QEL_GetVoxelUnitSize(v->unit[c]);
    for (size_t i = 0; i < n; ++i) p[i] = static_cast<unsigned char>(rng());
}

// The whole volume, channel by channel: shape, units, attributes and bytes.
void expect_same_volume(const QelRawVolumeData* a, const QelRawVolumeData* b) {
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(a->size->nChannels, b->size->nChannels);
    EXPECT_EQ(a->size->nx, b->size->nx);
    EXPECT_EQ(a->size->ny, b->size->ny);
    EXPECT_EQ(a->size->nz, b->size->nz);
    for (int c = 0; c < a->size->nChannels; ++c) {
        EXPECT_EQ(a->unit[c], b->unit[c]) << "channel " << c;
        EXPECT_EQ(a->attribute[c], b->attribute[c]) << "channel " << c;
        EXPECT_TRUE(channel_bytes(a, c) == channel_bytes(b, c)) << "channel " << c;
    }
}

class ValuePrograms : public qeltest::ProgramTest {
protected:
    // Runs name against host with an optional argument; the program must exit with 0.
    std::string run(Host* host, const char* name, const char* argument) {
        std::string output;
        EXPECT_EQ(qel::testhost::run_plugin(bin(name), host->server_id(), argument, kRunLimitMs, &output), 0)
            << output;
        return output;
    }
    void set_current_channel(Host* host, int id) {
        qel::testhost::HostState s = host->state();
        s.channelID = id;
        host->set_state(s);
    }
    void set_window(Host* host, float lower, float upper) {
        qel::testhost::HostState s = host->state();
        s.greyscale[0] = lower;
        s.greyscale[1] = upper;
        host->set_state(s);
    }
};

TEST_F(ValuePrograms, MergeThenSplitGivesTheChannelsBack) {
    auto host = start_host();
    ASSERT_NE(host, nullptr);
    VolumePtr before = new_volume(9, 7, 5, {0, 0, 0, 0}, {0, 0, 0, 0});
    ASSERT_NE(before, nullptr);
    for (int c = 0; c < 4; ++c) fill_random(before.get(), c, 100 + c);
    host->set_volume(before.get());

    EXPECT_EQ(run(host.get(), "channelmerger", nullptr), "");
    VolumePtr merged = host->volume();
    ASSERT_NE(merged, nullptr);
    ASSERT_EQ(merged->size->nChannels, 1);
    EXPECT_EQ(merged->unit[0], QEL_VOXEL_UNIT_UINT32);
    EXPECT_EQ(merged->attribute[0], QEL_ATTRIBUTE_RGBA);
    const auto* word = static_cast<const uint32_t*>(merged->data[0]);
    for (int i = 0; i < QEL_GetNumberOfVoxels(merged.get()); ++i) {
        uint32_t want = 0;
        for (int c = 0; c < 4; ++c) want = (want << 8) | static_cast<const uint8_t*>(before->data[c])[i];
        ASSERT_EQ(word[i], want) << i;  // R in the top byte, A in the lowest
    }
    auto log = host->log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front().code, QELipc_REQUEST_TYPE_CONNECTION);
    EXPECT_EQ(log.front().clientID, "ChannelMerger");
    EXPECT_EQ(log.back().code, QELipc_REQUEST_TYPE_DOWNLOAD_RAW_VOLUMEDATA);
    EXPECT_FALSE(host->connected());

    host->clear_log();
    EXPECT_EQ(run(host.get(), "channelsplitter", nullptr), "");
    VolumePtr split = host->volume();
    expect_same_volume(split.get(), before.get());
    log = host->log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front().clientID, "ChannelSplitter");
    EXPECT_EQ(log.back().code, QELipc_REQUEST_TYPE_DOWNLOAD_RAW_VOLUMEDATA);
    EXPECT_FALSE(host->connected());
}

TEST_F(ValuePrograms, MergerRefusesOtherShapesAndHandsTheVolumeBack) {
    const struct {
        std::vector<int> units, attributes;
    } shapes[] = {
        {{0, 0, 0}, {0, 0, 0}},           // three channels
        {{0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}},
        {{0, 0, 2, 0}, {0, 0, 0, 0}},     // one channel of another unit
        {{4}, {2}},                       // already packed
    };
    for (const auto& shape : shapes) {
        SCOPED_TRACE(shape.units.size());
        auto host = start_host();
        ASSERT_NE(host, nullptr);
        VolumePtr before = new_volume(6, 5, 4, shape.units, shape.attributes);
        ASSERT_NE(before, nullptr);
        for (int c = 0; c < before->size->nChannels; ++c) fill_random(before.get(), c, 7 + c);
        host->set_volume(before.get());
        EXPECT_EQ(run(host.get(), "channelmerger", nullptr), "Invalid type(s)\n");
        expect_same_volume(host->volume().get(), before.get());
        // Still handed back.
        ASSERT_FALSE(host->log().empty());
        EXPECT_EQ(host->log().back().code, QELipc_REQUEST_TYPE_DOWNLOAD_RAW_VOLUMEDATA);
        host->stop();
    }
}

TEST_F(ValuePrograms, SplitterLeavesOtherVolumesAloneSilently) {
    const struct {
        std::vector<int> units, attributes;
    } shapes[] = {
        {{0, 0, 0, 0}, {0, 0, 0, 0}},
        {{4}, {0}},         // unsigned 32-bit but not packed
        {{4, 4}, {2, 2}},   // two packed channels
    };
    for (const auto& shape : shapes) {
        SCOPED_TRACE(shape.units.size());
        auto host = start_host();
        ASSERT_NE(host, nullptr);
        VolumePtr before = new_volume(5, 4, 3, shape.units, shape.attributes);
        ASSERT_NE(before, nullptr);
        for (int c = 0; c < before->size->nChannels; ++c) fill_random(before.get(), c, 30 + c);
        host->set_volume(before.get());
        EXPECT_EQ(run(host.get(), "channelsplitter", nullptr), "");
        expect_same_volume(host->volume().get(), before.get());
        host->stop();
    }
}

// The current channel (host ID 21, unsigned 16-bit) between two channels that must stay.
VolumePtr grey_volume(const std::vector<uint16_t>& values) {
    VolumePtr v = new_volume(static_cast<int>(values.size()), 1, 1, {6, 2, 4}, {0, 0, 2});
    if (!v) return v;
    fill_random(v.get(), 0, 1);
    fill_random(v.get(), 2, 2);
    std::memcpy(v->data[1], values.data(), values.size() * sizeof(uint16_t));
    return v;
}

TEST_F(ValuePrograms, GreyRemapperMapsTheWindowOntoBytes) {
    auto host = start_host();
    ASSERT_NE(host, nullptr);
    std::vector<uint16_t> values;
    for (int v = 0; v <= 320; ++v) values.push_back(static_cast<uint16_t>(v));
    values.push_back(65535);
    VolumePtr before = grey_volume(values);
    ASSERT_NE(before, nullptr);
    host->set_volume(before.get(), {20, 21, 22});
    set_current_channel(host.get(), 21);
    set_window(host.get(), 100.0f, 200.0f);

    EXPECT_EQ(run(host.get(), "greyremapper", nullptr), "");
    VolumePtr after = host->volume();
    ASSERT_NE(after, nullptr);
    ASSERT_EQ(after->size->nChannels, 3);
    EXPECT_EQ(after->unit[1], QEL_VOXEL_UNIT_UINT8);
    const auto* out = static_cast<const uint8_t*>(after->data[1]);
    for (size_t i = 0; i < values.size(); ++i) {
        const int v = values[i];
        // Integer reference: 255 (v - 100) / 100 truncated, clamped to the window's ends.
        const int want = v <= 100 ? 0 : v >= 200 ? 255 : 255 * (v - 100) / 100;
        ASSERT_EQ(out[i], want) << "value " << v;
    }
    EXPECT_EQ(out[150], 127);
    EXPECT_TRUE(channel_bytes(after.get(), 0) == channel_bytes(before.get(), 0));
    EXPECT_TRUE(channel_bytes(after.get(), 2) == channel_bytes(before.get(), 2));
    const auto log = host->log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front().clientID, "GreyRemapper");
    EXPECT_EQ(log.back().code, QELipc_REQUEST_TYPE_DOWNLOAD_VOLUMEDATA);
    EXPECT_EQ(log.back().word(0), 21);
    EXPECT_FALSE(host->connected());
}

TEST_F(ValuePrograms, GreyRemapperWithoutAUsableWindowSendsTheChannelBackUnchanged) {
    const float windows[][2] = {{150.0f, 150.0f}, {200.0f, 100.0f}, {NAN, 200.0f}};
    for (const auto& w : windows) {
        SCOPED_TRACE(testing::Message() << w[0] << " " << w[1]);
        auto host = start_host();
        ASSERT_NE(host, nullptr);
        VolumePtr before = grey_volume({0, 99, 150, 151, 300, 65535});
        host->set_volume(before.get(), {20, 21, 22});
        set_current_channel(host.get(), 21);
        set_window(host.get(), w[0], w[1]);
        EXPECT_EQ(run(host.get(), "greyremapper", nullptr), "GreyRemapper: no usable grey window\n");
        expect_same_volume(host->volume().get(), before.get());
        ASSERT_FALSE(host->log().empty());
        EXPECT_EQ(host->log().back().code, QELipc_REQUEST_TYPE_DOWNLOAD_VOLUMEDATA);
        host->stop();
    }
}

TEST_F(ValuePrograms, GreyRemapperHandsAPackedChannelBackUnchanged) {
    auto host = start_host();
    ASSERT_NE(host, nullptr);
    VolumePtr before = grey_volume({1, 2, 3, 4});
    host->set_volume(before.get(), {20, 21, 22});
    set_current_channel(host.get(), 22);
    set_window(host.get(), 0.0f, 1000.0f);
    EXPECT_EQ(run(host.get(), "greyremapper", nullptr), "");
    expect_same_volume(host->volume().get(), before.get());
}

struct OffsetCase {
    int unit;
    int attribute;
    const char* shift;
    double added;  // the shift as the unit reads it
};

TEST_F(ValuePrograms, GreyOffsetterParsesTheShiftByTheChannelsUnit) {
    const OffsetCase cases[] = {
        {0, 0, "300", 44},
        {0, 0, "-3", 253},
        {0, 0, "abc", 0},
        {1, 0, "-3", -3},
        {2, 0, "-1", 65535},
        {3, 0, "70000", 4464},
        {4, 0, "4294967297", 1},        // 64-bit parse, low 32 bits
        {4, 2, "-1", 4294967295.0},     // packed words shift as whole words
        {5, 0, "1", 1},
        {5, 0, "abc", 0},
        {6, 0, "0.5", 0.5},
        {6, 0, "-1e3", -1000},
        {7, 0, "0.5", 0.5},
        {7, 0, "0.1", 0.1},
        {7, 0, "abc", 0},
    };
    for (const OffsetCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "unit " << c.unit << " shift " << c.shift);
        auto host = start_host();
        ASSERT_NE(host, nullptr);
        VolumePtr before = new_volume(11, 3, 2, {0, c.unit}, {0, c.attribute});
        ASSERT_NE(before, nullptr);
        fill_random(before.get(), 0, 5);
        const int n = QEL_GetNumberOfVoxels(before.get());
        // Values around each unit's wrap points and ordinary ones.
        const double interesting[] = {0, 1, -1, 127, -128, 255, 32767, -32768, 65535,
                                      2147483647, -2147483648.0, 4294967295.0, 0.25, -7.5};
        for (int i = 0; i < n; ++i)
            valuestest::write(before->data[1], c.unit, i,
                              i < 14 ? interesting[i] : (c.unit >= 6 ? (i - 30) * 0.75 : i * 37 - 400));
        host->set_volume(before.get(), {7, 8});
        set_current_channel(host.get(), 8);

        EXPECT_EQ(run(host.get(), "greyoffsetter", c.shift), "");
        VolumePtr after = host->volume();
        ASSERT_NE(after, nullptr);
        ASSERT_EQ(after->unit[1], c.unit);
        EXPECT_EQ(after->attribute[1], c.attribute);
        for (int i = 0; i < n; ++i) {
            const double x = valuestest::read(before->data[1], c.unit, i);
            ASSERT_EQ(valuestest::read(after->data[1], c.unit, i), valuestest::wrap(x + c.added, c.unit)) << i;
        }
        EXPECT_TRUE(channel_bytes(after.get(), 0) == channel_bytes(before.get(), 0));
        const auto log = host->log();
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.front().clientID, "GreyOffsetter");
        EXPECT_EQ(log.back().code, QELipc_REQUEST_TYPE_DOWNLOAD_VOLUMEDATA);
        EXPECT_EQ(log.back().word(0), 8);
        host->stop();
    }
}

// Wrong argument counts end a program at once: exit 0, nothing printed, no board opened.
TEST_F(ValuePrograms, WrongArgumentCountsExitAtOnce) {
    auto host = start_host();
    ASSERT_NE(host, nullptr);
    VolumePtr before = new_volume(4, 4, 4, {0, 0, 0, 0}, {0, 0, 0, 0});
    host->set_volume(before.get());
    const std::string id = std::to_string(host->server_id());
    const struct {
        const char* name;
        std::vector<std::string> args;
    } runs[] = {
        {"channelmerger", {}},
        {"channelmerger", {id, "1"}},
        {"channelsplitter", {}},
        {"channelsplitter", {id, "x", "y"}},
        {"greyremapper", {}},
        {"greyremapper", {id, "1"}},
        {"greyoffsetter", {}},
        {"greyoffsetter", {id}},
        {"greyoffsetter", {id, "1", "2"}},
    };
    for (const auto& r : runs) {
        SCOPED_TRACE(testing::Message() << r.name << " with " << r.args.size() << " arguments");
        std::string output;
        EXPECT_EQ(run_with_args(bin(r.name), r.args, &output), 0);
        EXPECT_EQ(output, "");
    }
    EXPECT_TRUE(host->codes().empty());
    expect_same_volume(host->volume().get(), before.get());
}

// No host behind the server ID: initialisation fails and the program ends silently.
TEST_F(ValuePrograms, NoHostEndsSilently) {
    const int id = qel::testhost::unique_server_id();
    ids_.push_back(id);
    for (const char* name : {"channelmerger", "channelsplitter", "greyremapper", "greyoffsetter"}) {
        SCOPED_TRACE(name);
        std::string output;
        EXPECT_EQ(qel::testhost::run_plugin(bin(name), id, std::string(name) == "greyoffsetter" ? "5" : nullptr,
                                            kRunLimitMs, &output),
                  0);
        EXPECT_EQ(output, "");
    }
}

}  // namespace
