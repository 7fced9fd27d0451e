// channelsplitter: unpacks the host's packed RGBA volume into four 8-bit channels.
#include "ipc/qel_plugin_frame.hpp"
#include "volume/qel_convert.h"

int main(int argc, char** argv) {
    if (argc != 2) return 0;
    // Any other volume stays as it is and goes back unchanged.
    return qel::change_whole_volume("ChannelSplitter", argv[1], QEL_ConvertRawVolumeRgbaToUint8x4);
}
