// Splitting a one-channel volume whose slices hold n stacked or interleaved channels.
#include <cstdlib>
#include <memory>

#include "volume/qel_record_ops.hpp"
#include "volume/qel_unit_dispatch.hpp"
#include "volume/qel_volume.h"

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

// Builds the n-channel record of nz/n slices with the source channel's unit and attribute,
// fills it through fill(result, source channel bytes, bytes of one new channel), and puts
// it in place of vol. -1 with vol unchanged when the shape or an allocation fails.
template <class Fill>
int split_into(QelRawVolumeData* vol, int n, Fill fill) {
    if (!qel::is_record(vol) || vol->size->nChannels != 1 || n < 1) return -1;
    const int nz = vol->size->nz / n;
    if (nz < 1) return -1;
    std::unique_ptr<int, FreeDeleter> units(static_cast<int*>(std::malloc(sizeof(int) * n)));
    std::unique_ptr<int, FreeDeleter> attributes(static_cast<int*>(std::malloc(sizeof(int) * n)));
    if (!units || !attributes) return -1;
    for (int i = 0; i < n; ++i) {
        units.get()[i] = vol->unit[0];
        attributes.get()[i] = vol->attribute[0];
    }
    const QelSize4i size{vol->size->nx, vol->size->ny, nz, n};
    QelRawVolumeData* result = QEL_NewRawVolumeData(&size, units.get(), attributes.get());
    if (!result) return -1;
    fill(result, static_cast<const char*>(vol->data[0]), qel::channel_byte_count(*result, 0));
    QEL_SwapRawVolumeData(vol, result);
    QEL_DeleteRawVolumeData(result);
    return 0;
}

}  // namespace

int QEL_SplitPlanarChannels(QelRawVolumeData* vol, int n) {
    return split_into(vol, n, [n](QelRawVolumeData* r, const char* src, int64_t bytes) {
        for (int i = 0; i < n; ++i) qel::copy_bytes(r->data[i], src + i * bytes, bytes);
    });
}

int QEL_SplitSliceInterleavedChannels(QelRawVolumeData* vol, int n) {
    return split_into(vol, n, [n](QelRawVolumeData* r, const char* src, int64_t bytes) {
        const int nz = r->size->nz;
        const int64_t slice = bytes / nz;
        for (int i = 0; i < n; ++i) {
            char* dst = static_cast<char*>(r->data[i]);
            for (int k = 0; k < nz; ++k)
                qel::copy_bytes(dst + k * slice, src + (static_cast<int64_t>(k) * n + i) * slice, slice);
        }
    });
}

int QEL_SplitVoxelInterleavedChannels(QelRawVolumeData* vol, int n) {
    return split_into(vol, n, [n](QelRawVolumeData* r, const char* src, int64_t) {
        const int64_t count = qel::RecordTraits<QelRawVolumeData>::elements(*r);
        qel::dispatch_unit_void(r->unit[0], [&](auto tag) {
            using T = typename decltype(tag)::type;
            const T* s = reinterpret_cast<const T*>(src);
            for (int i = 0; i < n; ++i) {
                T* d = static_cast<T*>(r->data[i]);
                for (int64_t v = 0; v < count; ++v) d[v] = s[v * n + i];
            }
        });
    });
}

int QEL_SplitChannelsOfRawVolumeData(QelRawVolumeData* vol, int n, int layout) {
    switch (layout) {
        case 0: return QEL_SplitPlanarChannels(vol, n);
        case 1: return QEL_SplitSliceInterleavedChannels(vol, n);
        case 3: return QEL_SplitVoxelInterleavedChannels(vol, n);
        default: return -1;
    }
}
