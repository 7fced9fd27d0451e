// PNM files: the readers on any bytes. The dispatching reader reads a file as the reader of its
// kind does, the other kind's reader refuses it, and an image that reads is written again and
// reads back the same.
#include <cstdint>
#include <cstring>

#include "fuzz_support.hpp"
#include "gui/qel_pnm.h"

namespace {

// Comparisons and round trips stay cheap: larger images (up to 64 MiB of them filled in) are
// only read.
constexpr int64_t kRoundTripPixels = int64_t{1} << 20;

int64_t pixels(const QelRawImageData* im) { return int64_t{im->size->nx} * im->size->ny; }

bool same_image(const QelRawImageData* a, const QelRawImageData* b) {
    if (!a || !b || a->size->nx != b->size->nx || a->size->ny != b->size->ny || a->size->nz != 1 ||
        b->size->nz != 1 || a->unit[0] != b->unit[0] || a->attribute[0] != b->attribute[0])
        return false;
    const size_t bytes = static_cast<size_t>(pixels(a)) * (a->unit[0] == QEL_VOXEL_UNIT_UINT8 ? 1 : 4);
    return std::memcmp(a->data[0], b->data[0], bytes) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzz::MemFile in("pnm-in"), out("pnm-out");
    in.set(data, size);
    QelRawImageData* image = QEL_ReadPnmImage(in.path());
    if (!image) {
        fuzz::check(!QEL_ReadPgmImage(in.path()) && !QEL_ReadPpmImage(in.path()), "what one reader refuses all do");
        return 0;
    }
    const bool grey = image->unit[0] == QEL_VOXEL_UNIT_UINT8;
    fuzz::check(grey ? image->attribute[0] == QEL_ATTRIBUTE_PLAIN
                     : image->unit[0] == QEL_VOXEL_UNIT_UINT32 && image->attribute[0] == QEL_ATTRIBUTE_RGBA,
                "an image read is grey or packed colour");
    fuzz::check(!(grey ? QEL_ReadPpmImage(in.path()) : QEL_ReadPgmImage(in.path())), "a file is of one kind");
    if (pixels(image) <= kRoundTripPixels) {
        QelRawImageData* same = grey ? QEL_ReadPgmImage(in.path()) : QEL_ReadPpmImage(in.path());
        fuzz::check(same_image(image, same), "the dispatching reader reads as the kind's reader");
        QEL_DeleteRawImageData(same);
        fuzz::check(QEL_WritePnmImage(out.path(), image, 0) == 0, "what was read can be written");
        QelRawImageData* back = QEL_ReadPnmImage(out.path());
        fuzz::check(same_image(image, back), "what is written reads back the same");
        QEL_DeleteRawImageData(back);
    }
    QEL_DeleteRawImageData(image);
    return 0;
}
