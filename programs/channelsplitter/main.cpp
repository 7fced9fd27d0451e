// channelsplitter: unpacks the host's packed RGBA volume into four 8-bit channels.
#include "ipc/qel_ipc.h"
#include "values/qel_value_text.hpp"
#include "volume/qel_convert.h"
#include "volume/qel_volume.h"

int main(int argc, char** argv) {
    if (argc != 2) return 0;
    const int serverID = qel::parse_int32_low_bits(argv[1]);
    if (QELipc_InitializeClient("ChannelSplitter", serverID) != 0) return 0;
    QelRawVolumeData* volume = QELipc_ReceiveRawVolumeData();
    if (!volume) return 0;
    // Any other volume stays as it is and goes back unchanged.
    QEL_ConvertRawVolumeRgbaToUint8x4(volume);
    QELipc_TransferRawVolumeData(volume);
    QELipc_TerminateClient();
    QEL_DeleteRawVolumeData(volume);
    return 0;
}
