// A plug-in that fails the host on purpose, for the test host command's own checks.
// Started as "misbehave serverID MODE":
//   crash  connects, uploads a channel as a transfer would, then aborts (its board stays);
//   hang   connects and never ends;
//   lock   locks the host's volume data and exits;
//   fail   exits with status 3 without touching the host.
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "ipc/qel_ipc.h"

int main(int argc, char** argv) {
    if (argc < 3) return 1;
    const char* mode = argv[2];
    if (std::strcmp(mode, "fail") == 0) return 3;
    if (QELipc_InitializeClient("Misbehave", std::atoi(argv[1])) != 0) return 1;
    if (std::strcmp(mode, "lock") == 0)
        return QELipc_SendRequest(QELipc_REQUEST_TYPE_LOCK_VOLUMEDATA, 1) == 0 ? 0 : 1;
    if (QELipc_SendConnectionRequest() != 0) return 1;
    if (std::strcmp(mode, "crash") == 0) {
        QelSize3i dims{4, 4, 4};
        QelRawVolumeData* v = QEL_NewSingleChannelRawVolumeData(&dims, 0, 0);
        if (!v || QELipc_UploadSingleChannelOfRawVolumeData(v, 0) != 0) return 1;
        std::abort();
    }
    if (std::strcmp(mode, "hang") == 0)
        for (;;) pause();
    return 1;
}
