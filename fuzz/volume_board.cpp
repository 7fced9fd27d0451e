// Volume payloads from a data board: the whole-volume and single-channel unpackers, the
// in-place one included, on any bytes. A payload that unpacks packs again to the very bytes
// it came from.
#include <cstdint>

#include "fuzz_support.hpp"
#include "ipc/qel_board_formats.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (QelRawVolumeData* v = QELipc_UnpackRawVolumeData(data, size)) {
        fuzz::expect_packs_to_board(
            data, size, [&] { return QELipc_SizeOfRawVolumeData(v); },
            [&](void* b) { return QELipc_PackRawVolumeData(v, b); }, "whole volume packs to its board");
        QEL_DeleteRawVolumeData(v);
    }
    if (QelRawVolumeData* v = QELipc_UnpackSingleChannel(data, size)) {
        fuzz::expect_packs_to_board(
            data, size, [&] { return QELipc_SizeOfSingleChannel(v, 0); },
            [&](void* b) { return QELipc_PackSingleChannel(v, 0, b); }, "channel packs to its board");
        // In place: channels of a unit without data, so that the target costs nothing; the
        // board's channel replaces channel 1 and channel 0 stays.
        const int units[2] = {99, 99}, attributes[2] = {5, 6};
        const QelSize4i dims{v->size->nx, v->size->ny, v->size->nz, 2};
        if (QelRawVolumeData* target = QEL_NewRawVolumeData(&dims, units, attributes)) {
            fuzz::check(QELipc_UnpackSingleChannelInto(target, 1, data, size) == 0, "in place accepts what unpacks");
            fuzz::check(target->unit[0] == 99 && target->attribute[0] == 5, "in place keeps the other channel");
            fuzz::expect_packs_to_board(
                data, size, [&] { return QELipc_SizeOfSingleChannel(target, 1); },
                [&](void* b) { return QELipc_PackSingleChannel(target, 1, b); }, "replaced channel packs to its board");
            fuzz::check(QELipc_UnpackSingleChannelInto(target, 2, data, size) == -1, "in place refuses a bad index");
            QEL_DeleteRawVolumeData(target);
        }
        QEL_DeleteRawVolumeData(v);
    }
    return 0;
}
