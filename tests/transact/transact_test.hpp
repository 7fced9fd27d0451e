// Helpers of the transaction tests: hosts whose boards are checked at the end, volumes with
// known contents, and byte views of records.
#pragma once
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ipc/ipc_test.hpp"
#include "ipc/qel_board_formats.h"
#include "ipc/qel_board_group.h"
#include "volume/qel_store.hpp"
#include "volume/qel_unit_dispatch.hpp"

namespace transact {

using qel::testhost::Host;
using qel::testhost::HostState;
using qel::testhost::VolumePtr;
using qel::testhost::ImagePtr;

// Bounded: a plug-in that hangs is killed and the test fails instead of waiting.
constexpr int kRunLimitMs = 120000;
// The poll cap of tests whose host leaves a request unanswered: that wait ends after at most
// ~1 s (a poll costs up to ~0.1 ms here), and every wait that the host answers still has
// ample room under a loaded machine.
constexpr int kFailingCap = 10000;

inline std::string bin(const char* name) { return std::string(QEL_BIN_DIR) + "/" + name; }

// Every test ends with the client terminated, its data board closed, and nothing of its
// hosts' server IDs left in /dev/shm.
class TransactTest : public ipctest::IpcTest {
protected:
    std::unique_ptr<Host> start_host() {
        auto h = Host::start();
        EXPECT_NE(h, nullptr);
        if (h) ids.push_back(h->server_id());
        return h;
    }
    void TearDown() override {
        QELipc_CloseDataBoard();
        ipctest::IpcTest::TearDown();
        for (int id : ids) expect_no_boards(id);
    }
    // Only the host's own three boards: no data board left by either side.
    static std::vector<std::string> host_boards(int id) {
        return {ipctest::board_name("QEL_IPC_BB", id), ipctest::board_name("QEL_IPC_MB", id),
                ipctest::board_name("QEL_IPC_RB", id)};
    }
    static std::vector<std::string> boards_of(int id) {
        auto found = ipctest::shm_objects_of(id);
        std::sort(found.begin(), found.end());
        return found;
    }
    std::vector<int> ids;
};

// A volume whose voxels all differ and reach into each unit's extremes: channel c of unit
// units[c], voxel i holding pattern(c, i).
inline double pattern(int c, int64_t i, int unit) {
    switch (unit) {
    case 6: return (i % 7 == 3) ? -0.0 : (i * 0.37 - 5.5) * (c + 1);
    case 7: return (i % 5 == 1) ? 1e300 : (i * -1.25 + 0.125) * (c + 1);
    default: return static_cast<double>(i * 37 + c * 11) - 100.0;  // wraps in small units
    }
}

inline QelRawVolumeData* new_volume(int nx, int ny, int nz, const std::vector<int>& units) {
    int n = static_cast<int>(units.size());
    QelSize4i size{nx, ny, nz, n};
    std::vector<int> attributes(units.size(), 0);
    QelRawVolumeData* v = QEL_NewRawVolumeData(&size, units.data(), attributes.data());
    if (!v) return nullptr;
    int64_t voxels = QEL_GetNumberOfVoxels(v);
    for (int c = 0; c < n; ++c)
        qel::dispatch_unit_void(units[c], [&](auto tag) {
            using T = typename decltype(tag)::type;
            T* p = static_cast<T*>(v->data[c]);
            for (int64_t i = 0; i < voxels; ++i) p[i] = qel::store_real<T>(pattern(c, i, units[c]));
        });
    return v;
}

// The bytes of one channel, as the record holds them.
inline std::vector<unsigned char> channel_bytes(const QelRawVolumeData* v, int c) {
    size_t n = static_cast<size_t>(QEL_GetNumberOfVoxels(v)) *
               static_cast<size_t>(QEL_GetVoxelUnitSize(v->unit[c]));
    auto* p = static_cast<const unsigned char*>(v->data[c]);
    return {p, p + n};
}

// The whole record as its board payload: equal payloads mean equal records.
inline std::vector<unsigned char> payload(const QelRawVolumeData* v) {
    int n = QELipc_SizeOfRawVolumeData(v);
    std::vector<unsigned char> b(n > 0 ? static_cast<size_t>(n) : 0);
    if (n > 0) QELipc_PackRawVolumeData(v, b.data());
    return b;
}

inline std::vector<unsigned char> payload(const QelRawImageData* image) {
    int n = QELipc_SizeOfRawImageData(image);
    std::vector<unsigned char> b(n > 0 ? static_cast<size_t>(n) : 0);
    if (n > 0) QELipc_PackRawImageData(image, b.data());
    return b;
}

inline std::vector<unsigned char> payload(const QelDataObjectGroup* group) {
    int n = QELipc_SizeOfDataObjectGroup(group);
    std::vector<unsigned char> b(n > 0 ? static_cast<size_t>(n) : 0);
    if (n > 0) QELipc_PackDataObjectGroup(group, b.data());
    return b;
}

struct VolumeFree {
    void operator()(QelRawVolumeData* v) const { QEL_DeleteRawVolumeData(v); }
};
using Volume = std::unique_ptr<QelRawVolumeData, VolumeFree>;

}  // namespace transact
