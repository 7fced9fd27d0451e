#include "filters/qel_rank_program.hpp"

#include <cstdio>
#include <cstdlib>

#include "filters/qel_rank.h"
#include "ipc/qel_plugin_frame.hpp"
#include "volume/qel_kernel.h"
#include "volume/qel_volume.h"

namespace qel {

float rank_program_radius(int argc, char** argv) {
    float radius = 1.0f;
    if (argc == 3 && argv[2] && sscanf(argv[2], "%f", &radius) != 1) radius = 1.0f;
    return radius;
}

int run_rank_program(int argc, char** argv, const char* clientName, RankProgramFilter filter, bool explainLaunch) {
    if (argc != 2 && argc != 3) {
        if (explainLaunch) fputs("Invalid plug-in launch.\n", stderr);
        return 0;
    }
    return change_current_channel(clientName, argv[1], [&](QelRawVolumeData* vol) {
        if (vol->attribute[0] != QEL_ATTRIBUTE_PLAIN) return;
        // NaN, infinite and oversized radii get no kernel, like radii below 1.0: the channel
        // goes back unfiltered.
        QelKernel* kernel = QEL_NewSphericalKernel(rank_program_radius(argc, argv));
        switch (filter) {
            case RankProgramFilter::maximum: QEL_MaximumFilter(vol, 0, kernel); break;
            case RankProgramFilter::median_threaded: QEL_MedianFilter_MT(vol, 0, kernel, 2); break;
            case RankProgramFilter::maximum_threaded: QEL_MaximumFilter_MT(vol, 0, kernel, 2); break;
            case RankProgramFilter::minimum_threaded: QEL_MinimumFilter_MT(vol, 0, kernel, 2); break;
        }
        QEL_DeleteKernel(kernel);
    });
}

}  // namespace qel
