// greyremapper: maps the host's current channel through the host's grey window onto
// unsigned 8-bit values 0..255.
#include <cstdio>

#include "ipc/qel_plugin_frame.hpp"
#include "volume/qel_convert.h"

int main(int argc, char** argv) {
    if (argc != 2) return 0;
    return qel::change_current_channel("GreyRemapper", argv[1], [](QelRawVolumeData* volume) {
        QelValueRange window{0.0f, 0.0f};
        const QelValueRange destination{0.0f, 255.0f};
        // An unreadable window, or one whose minimum is not below its maximum (NaN included),
        // would divide by zero or map backwards: the channel goes back unchanged.
        if (QELipc_GetCurrentGreyscale(&window) != 0 || !(window.min < window.max)) {
            std::fprintf(stderr, "GreyRemapper: no usable grey window\n");
            return;
        }
        QEL_ConvertVoxelUnit(volume, 0, QEL_VOXEL_UNIT_UINT8, &window, &destination, QEL_MAP_LINEAR_CLAMP);
    });
}
