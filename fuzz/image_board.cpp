// Image payloads from a data board (the host's rendered view): the whole-image and
// single-channel unpackers on any bytes. A payload that unpacks packs again to the very bytes
// it came from.
#include <cstdint>

#include "fuzz_support.hpp"
#include "ipc/qel_board_formats.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (QelRawImageData* im = QELipc_UnpackRawImageData(data, size)) {
        fuzz::expect_packs_to_board(
            data, size, [&] { return QELipc_SizeOfRawImageData(im); },
            [&](void* b) { return QELipc_PackRawImageData(im, b); }, "whole image packs to its board");
        QEL_DeleteRawImageData(im);
    }
    if (QelRawImageData* im = QELipc_UnpackSingleImageChannel(data, size)) {
        fuzz::expect_packs_to_board(
            data, size, [&] { return QELipc_SizeOfSingleImageChannel(im, 0); },
            [&](void* b) { return QELipc_PackSingleImageChannel(im, 0, b); }, "image channel packs to its board");
        QEL_DeleteRawImageData(im);
    }
    return 0;
}
