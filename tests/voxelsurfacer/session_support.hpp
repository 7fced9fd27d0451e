// voxelsurfacer's host exchange against the in-process test host: a host holding a small
// channel, the program's settings record, and the checks that nothing is left behind.
#pragma once
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "programs/voxelsurfacer/mesher_host.h"
#include "programs/voxelsurfacer/mesher_shell.h"
#include "transact/transact_test.hpp"

namespace surfacertest {

using transact::Host;
using transact::Volume;

struct SettingsFree {
    void operator()(MesherSettings* s) const { DeleteMesherSettings(s); }
};
using Settings = std::unique_ptr<MesherSettings, SettingsFree>;

// An n x n x n one-channel volume whose voxel (x, y, z) is value(x, y, z).
inline Volume cube(int n, int unit, int attribute, const std::function<double(int, int, int)>& value) {
    QelSize3i dims{n, n, n};
    Volume v(QEL_NewSingleChannelRawVolumeData(&dims, unit, attribute));
    if (!v) return v;
    qel::dispatch_unit_void(unit, [&](auto tag) {
        using T = typename decltype(tag)::type;
        T* p = static_cast<T*>(v->data[0]);
        for (int z = 0; z < n; ++z)
            for (int y = 0; y < n; ++y)
                for (int x = 0; x < n; ++x) p[(z * n + y) * n + x] = qel::store_real<T>(value(x, y, z));
    });
    return v;
}

// 8-bit grey: 200 at the listed voxels, 0 elsewhere.
inline Volume grey_voxels(int n, std::vector<std::array<int, 3>> inside) {
    return cube(n, 0, 0, [inside](int x, int y, int z) {
        for (const auto& p : inside)
            if (p[0] == x && p[1] == y && p[2] == z) return 200.0;
        return 0.0;
    });
}

// Packed RGBA: one opaque red voxel in the middle.
inline Volume rgba_voxel(int n) {
    return cube(n, 4, 2, [n](int x, int y, int z) {
        return (x == n / 2 && y == n / 2 && z == n / 2) ? double(0xFF0000FFu) : 0.0;
    });
}

class Session : public transact::TransactTest {
protected:
    void SetUp() override {
        host_ = start_host();
        ASSERT_NE(host_, nullptr);
        show(grey_voxels(5, {{2, 2, 2}}).get(), 0.0f, 200.0f);
    }
    void TearDown() override {
        settings_.reset();
        TerminateMesherIpc();
        host_.reset();
        transact::TransactTest::TearDown();
    }

    // The host's volume and grey window; the volume of interest is the whole volume.
    void show(const QelRawVolumeData* volume, float lower, float upper) {
        host_->set_volume(volume);
        auto state = host_->state();
        state.greyscale[0] = lower;
        state.greyscale[1] = upper;
        state.voiSize[0] = volume->size->nx;
        state.voiSize[1] = volume->size->ny;
        state.voiSize[2] = volume->size->nz;
        host_->set_state(state);
    }

    // The program's start against the host, at full resolution so that voxels stay voxels.
    void start() {
        InitializeMesherIpc(host_->server_id());
        settings_.reset(NewMesherSettings(host_->server_id()));
        ASSERT_NE(settings_, nullptr);
        ASSERT_EQ(StartMesherSession(settings_.get()), 0);
        settings_->resolutionMode = MESHER_RESOLUTION_HIGH;
    }

    std::unique_ptr<Host> host_;
    Settings settings_;
};

}  // namespace surfacertest
