// greyoffsetter: adds the shift given on the command line to every value of the host's
// current channel; integer values wrap modulo their width.
#include "ipc/qel_ipc.h"
#include "values/qel_value_text.hpp"
#include "values/qel_values.h"
#include "volume/qel_volume.h"

int main(int argc, char** argv) {
    if (argc != 3) return 0;
    const int serverID = qel::parse_int32_low_bits(argv[1]);
    if (QELipc_InitializeClient("GreyOffsetter", serverID) != 0) return 0;
    int hostChannel = 0;
    QelRawVolumeData* volume = QELipc_ReceiveCurrentChannel(&hostChannel);
    if (!volume) return 0;

    // The shift's width is the channel's unit, known only now; text that is no number
    // shifts by 0, and a channel of an unknown unit is left alone.
    const int unit = volume->size->nChannels > 0 ? volume->unit[0] : -1;
    QelValue shift{};
    qel::parse_shift(argv[2], unit, &shift);
    QEL_GreyOffsetterOfRawVolumeData(volume, 0, &shift, 1);
    QELipc_TransferSingleChannel(volume, hostChannel, 0);
    QELipc_TerminateClient();
    QEL_DeleteRawVolumeData(volume);
    return 0;
}
