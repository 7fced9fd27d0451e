// channelmerger: packs the four 8-bit channels of the host's volume into one RGBA channel.
#include "ipc/qel_plugin_frame.hpp"
#include "volume/qel_convert.h"

int main(int argc, char** argv) {
    if (argc != 2) return 0;
    // A volume of another shape is refused with a line and goes back as it came.
    return qel::change_whole_volume("ChannelMerger", argv[1], QEL_ConvertRawVolumeUint8x4ToRgba);
}
