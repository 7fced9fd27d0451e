// greyremapper: maps the host's current channel through the host's grey window onto
// unsigned 8-bit values 0..255.
#include <cstdio>

#include "ipc/qel_ipc.h"
#include "values/qel_value_text.hpp"
#include "volume/qel_convert.h"
#include "volume/qel_volume.h"

int main(int argc, char** argv) {
    if (argc != 2) return 0;
    const int serverID = qel::parse_int32_low_bits(argv[1]);
    if (QELipc_InitializeClient("GreyRemapper", serverID) != 0) return 0;
    int hostChannel = 0;
    QelRawVolumeData* volume = QELipc_ReceiveCurrentChannel(&hostChannel);
    if (!volume) return 0;

    QelValueRange window{0.0f, 0.0f};
    const QelValueRange destination{0.0f, 255.0f};
    // An unreadable window, or one whose minimum is not below its maximum (NaN included),
    // would divide by zero or map backwards: the channel goes back unchanged.
    if (QELipc_GetCurrentGreyscale(&window) != 0 || !(window.min < window.max)) {
        std::fprintf(stderr, "GreyRemapper: no usable grey window\n");
    } else {
        QEL_ConvertVoxelUnit(volume, 0, QEL_VOXEL_UNIT_UINT8, &window, &destination, QEL_MAP_LINEAR_CLAMP);
    }
    QELipc_TransferSingleChannel(volume, hostChannel, 0);
    QELipc_TerminateClient();
    QEL_DeleteRawVolumeData(volume);
    return 0;
}
