// A plug-in for the transaction tests: "echo serverID" receives the host's current channel,
// adds one to every voxel (integers wrap) and transfers it back to the same channel.
// Exit code 0 when both transactions succeeded, 1 otherwise; the library prints the reason.
#include <cstdlib>

#include "ipc/qel_ipc.h"
#include "volume/qel_store.hpp"
#include "volume/qel_unit_dispatch.hpp"

int main(int argc, char** argv) {
    if (argc < 2) return 1;
    if (QELipc_InitializeClient("Echo", std::atoi(argv[1])) != 0) return 1;
    int channelID = 0;
    QelRawVolumeData* volume = QELipc_ReceiveCurrentChannel(&channelID);
    int rc = 1;
    if (volume) {
        int64_t n = QEL_GetNumberOfVoxels(volume);
        qel::dispatch_unit_void(volume->unit[0], [&](auto tag) {
            using T = typename decltype(tag)::type;
            T* p = static_cast<T*>(volume->data[0]);
            for (int64_t i = 0; i < n; ++i) p[i] = qel::wrap_add(p[i], T(1));
        });
        rc = QELipc_TransferSingleChannel(volume, channelID, 0) == 0 ? 0 : 1;
    }
    QELipc_TerminateClient();
    QEL_DeleteRawVolumeData(volume);
    return rc;
}
