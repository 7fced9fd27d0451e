// The four rank-filter programs as real processes against the test host: the current
// channel comes back filtered as the brute-force reference says (other channels and RGBA
// channels untouched), radii that do not parse or give no kernel, wrong argument counts
// and a host that is not there.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "rank/rank_reference.hpp"
#include "support/program_runs.hpp"
#include "testhost/qel_testhost.h"

namespace {

using namespace ranktest;
using qel::testhost::Host;
using qeltest::kRunLimitMs;
using qeltest::run_with_args;
using qeltest::shm_objects_of;

const char kInvalidKernel[] = "QEL_RankFilter_MT: Invalid kernel(==NULL) error\n";

std::string bin(const char* name) { return qeltest::program_path(name); }

struct Program {
    const char* name;
    const char* client;
    Pick pick;  // sort: the median
    Border border;
    bool threaded;
};

const Program kPrograms[] = {
    {"maximum", "fMAX", Pick::maximum, Border::replicate, false},
    {"midrankpar", "fMIDRANKPAR", Pick::sort, Border::mirror, true},
    {"toprankpar", "fTOPRANKPAR", Pick::maximum, Border::mirror, true},
    {"lowrankpar", "fLOWRANKPAR", Pick::minimum, Border::mirror, true},
};

// The bytes of channel c.
std::string channel_of(const QelRawVolumeData* v, int c) {
    return bytes_of(v->data[c], static_cast<size_t>(QEL_GetNumberOfVoxels(v)) * QEL_GetVoxelUnitSize(v->unit[c]));
}

class RankPrograms : public qeltest::ProgramTest {};

// A volume of three channels: the filtered one (unit `unit`, host ID 41) between a float
// channel and a packed RGBA channel that must come back as they were.
VolumePtr three_channels(int nx, int ny, int nz, int unit, uint64_t seed) {
    const QelSize4i size{nx, ny, nz, 3};
    const int units[3] = {6, unit, 4};
    const int attributes[3] = {0, 0, 2};
    VolumePtr v(QEL_NewRawVolumeData(&size, units, attributes));
    const size_t count = static_cast<size_t>(nx) * ny * nz;
    const std::vector<float> a = random_values<float>(count, seed, false);
    const std::vector<uint32_t> c = random_values<uint32_t>(count, seed + 2, false);
    std::memcpy(v->data[0], a.data(), count * 4);
    std::memcpy(v->data[2], c.data(), count * 4);
    qel::dispatch_unit_void(unit, [&](auto tag) {
        using T = typename decltype(tag)::type;
        const std::vector<T> b = random_values<T>(count, seed + 1, true);
        std::memcpy(v->data[1], b.data(), count * sizeof(T));
    });
    return v;
}

template <class T>
std::string expected_channel(const QelRawVolumeData* v, int c, const Program& p, float radius) {
    KernelPtr kernel(QEL_NewSphericalKernel(radius));
    const int n = kernel->points->count;
    const std::vector<T> out = reference_filter(static_cast<const T*>(v->data[c]), v->size->nx, v->size->ny,
                                                v->size->nz, kernel.get(), p.pick, n / 2, p.border);
    return bytes_of(out.data(), out.size() * sizeof(T));
}

TEST_F(RankPrograms, FilterTheCurrentChannelAsTheReferenceSays) {
    const struct {
        const char* argument;
        float radius;
    } radii[] = {{nullptr, 1.0f}, {"2.5", 2.5f}, {"abc", 1.0f}};
    for (const Program& p : kPrograms) {
        for (int unit : {0, 3, 6, 7}) {
            for (const auto& r : radii) {
                SCOPED_TRACE(std::string(p.name) + " unit " + std::to_string(unit) + " radius " +
                             (r.argument ? r.argument : "(none)"));
                auto host = start_host();
                ASSERT_NE(host, nullptr);
                VolumePtr before = three_channels(13, 6, 5, unit, 40 + unit);
                host->set_volume(before.get(), {40, 41, 42});
                qel::testhost::HostState s = host->state();
                s.channelID = 41;
                host->set_state(s);
                std::string output;
                ASSERT_EQ(qel::testhost::run_plugin(bin(p.name), host->server_id(), r.argument, kRunLimitMs, &output), 0);
                EXPECT_EQ(output, "");
                auto after = host->volume();
                ASSERT_NE(after, nullptr);
                std::string want;
                qel::dispatch_unit_void(unit, [&](auto tag) {
                    want = expected_channel<typename decltype(tag)::type>(before.get(), 1, p, r.radius);
                });
                EXPECT_TRUE(channel_of(after.get(), 1) == want);
                EXPECT_TRUE(channel_of(after.get(), 0) == channel_of(before.get(), 0));
                EXPECT_TRUE(channel_of(after.get(), 2) == channel_of(before.get(), 2));
                const auto log = host->log();
                ASSERT_FALSE(log.empty());
                EXPECT_EQ(log.front().code, 211);
                EXPECT_EQ(log.front().clientID, p.client);
                EXPECT_EQ(log.back().code, 232);  // the transfer back
                EXPECT_EQ(log.back().word(0), 41);
                EXPECT_FALSE(host->connected());
                host->stop();
            }
        }
    }
}

TEST_F(RankPrograms, PackedRgbaChannelsComeBackUnchanged) {
    for (const Program& p : kPrograms) {
        SCOPED_TRACE(p.name);
        auto host = start_host();
        ASSERT_NE(host, nullptr);
        VolumePtr before = three_channels(7, 5, 4, 0, 60);
        host->set_volume(before.get(), {40, 41, 42});
        qel::testhost::HostState s = host->state();
        s.channelID = 42;  // the RGBA one
        host->set_state(s);
        std::string output;
        ASSERT_EQ(qel::testhost::run_plugin(bin(p.name), host->server_id(), "0.5", kRunLimitMs, &output), 0);
        EXPECT_EQ(output, "");  // the radius is not even read
        auto after = host->volume();
        ASSERT_NE(after, nullptr);
        for (int c = 0; c < 3; ++c) EXPECT_TRUE(channel_of(after.get(), c) == channel_of(before.get(), c)) << c;
        EXPECT_EQ(after->attribute[2], 2);
        EXPECT_EQ(host->codes().back(), 232);
        host->stop();
    }
}

TEST_F(RankPrograms, RadiiThatGiveNoKernelSendTheChannelBackUnfiltered) {
    for (const Program& p : kPrograms) {
        for (const char* radius : {"0.5", "nan", "inf", "-3", "1e9"}) {
            SCOPED_TRACE(std::string(p.name) + " " + radius);
            auto host = start_host();
            ASSERT_NE(host, nullptr);
            VolumePtr before = three_channels(6, 5, 4, 2, 70);
            host->set_volume(before.get(), {40, 41, 42});
            qel::testhost::HostState s = host->state();
            s.channelID = 41;
            host->set_state(s);
            std::string output;
            ASSERT_EQ(qel::testhost::run_plugin(bin(p.name), host->server_id(), radius, kRunLimitMs, &output), 0);
            EXPECT_EQ(output, p.threaded ? kInvalidKernel : "");
            auto after = host->volume();
            ASSERT_NE(after, nullptr);
            for (int c = 0; c < 3; ++c) EXPECT_TRUE(channel_of(after.get(), c) == channel_of(before.get(), c)) << c;
            EXPECT_EQ(host->codes().back(), 232);
            host->stop();
        }
    }
}

TEST_F(RankPrograms, WrongArgumentCountsOpenNoBoard) {
    for (const Program& p : kPrograms) {
        SCOPED_TRACE(p.name);
        auto host = start_host();
        ASSERT_NE(host, nullptr);
        const std::string id = std::to_string(host->server_id());
        const std::string explained = std::strcmp(p.name, "toprankpar") == 0 ? "Invalid plug-in launch.\n" : "";
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{}, std::vector<std::string>{id, "1.5", "extra"}}) {
            std::string output;
            EXPECT_EQ(run_with_args(bin(p.name), args, &output), 0);
            EXPECT_EQ(output, explained);
        }
        EXPECT_TRUE(host->log().empty());
        EXPECT_FALSE(host->connected());
        host->stop();
    }
}

TEST_F(RankPrograms, NoHostEndsQuietly) {
    const int id = qel::testhost::unique_server_id();
    for (const Program& p : kPrograms) {
        std::string output;
        EXPECT_EQ(qel::testhost::run_plugin(bin(p.name), id, nullptr, kRunLimitMs, &output), 0) << p.name;
        EXPECT_EQ(output, "") << p.name;
    }
    EXPECT_TRUE(shm_objects_of(id).empty());
}

}  // namespace
