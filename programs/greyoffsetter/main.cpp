// greyoffsetter: adds the shift given on the command line to every value of the host's
// current channel; integer values wrap modulo their width.
#include "ipc/qel_plugin_frame.hpp"
#include "values/qel_values.h"

int main(int argc, char** argv) {
    if (argc != 3) return 0;
    return qel::change_current_channel("GreyOffsetter", argv[1], [&](QelRawVolumeData* volume) {
        // The shift's width is the channel's unit, known only now; text that is no number
        // shifts by 0, and a channel of an unknown unit is left alone.
        const int unit = volume->size->nChannels > 0 ? volume->unit[0] : -1;
        QelValue shift{};
        qel::parse_shift(argv[2], unit, &shift);
        QEL_GreyOffsetterOfRawVolumeData(volume, 0, &shift, 1);
    });
}
