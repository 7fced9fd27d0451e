// Internal: the frame of the plug-ins that take the host's data, change it in place and hand
// it back (the channel, grey-value and rank-filter programs).
#pragma once
#include "ipc/qel_ipc.h"
#include "values/qel_value_text.hpp"
#include "volume/qel_volume.h"

namespace qel {

// Connects as clientName to the server ID that serverArgument reads as, receives the host's
// current channel as a one-channel volume, runs change(volume) and hands channel 0 back as
// that channel. A failed connection or receive ends the run with nothing changed. Returns 0,
// the programs' exit code.
template <class Change>
int change_current_channel(const char* clientName, const char* serverArgument, Change&& change) {
    if (QELipc_InitializeClient(clientName, parse_int32_low_bits(serverArgument)) != 0) return 0;
    int hostChannel = 0;
    QelRawVolumeData* volume = QELipc_ReceiveCurrentChannel(&hostChannel);
    if (!volume) return 0;
    change(volume);
    QELipc_TransferSingleChannel(volume, hostChannel, 0);
    QELipc_TerminateClient();
    QEL_DeleteRawVolumeData(volume);
    return 0;
}

// The same with the host's whole volume, handed back whole.
template <class Change>
int change_whole_volume(const char* clientName, const char* serverArgument, Change&& change) {
    if (QELipc_InitializeClient(clientName, parse_int32_low_bits(serverArgument)) != 0) return 0;
    QelRawVolumeData* volume = QELipc_ReceiveRawVolumeData();
    if (!volume) return 0;
    change(volume);
    QELipc_TransferRawVolumeData(volume);
    QELipc_TerminateClient();
    QEL_DeleteRawVolumeData(volume);
    return 0;
}

}  // namespace qel
