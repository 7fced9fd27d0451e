// channelmerger: packs the four 8-bit channels of the host's volume into one RGBA channel.
#include "ipc/qel_ipc.h"
#include "values/qel_value_text.hpp"
#include "volume/qel_convert.h"
#include "volume/qel_volume.h"

int main(int argc, char** argv) {
    if (argc != 2) return 0;
    const int serverID = qel::parse_int32_low_bits(argv[1]);
    if (QELipc_InitializeClient("ChannelMerger", serverID) != 0) return 0;
    QelRawVolumeData* volume = QELipc_ReceiveRawVolumeData();
    if (!volume) return 0;
    // A volume of another shape is refused with a line and goes back as it came.
    QEL_ConvertRawVolumeUint8x4ToRgba(volume);
    QELipc_TransferRawVolumeData(volume);
    QELipc_TerminateClient();
    QEL_DeleteRawVolumeData(volume);
    return 0;
}
