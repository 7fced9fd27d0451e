// Internal: the channel-list logic shared by the volume and image records, written once
// over a traits class that knows the record's dimensions and its per-channel table.
#pragma once
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <utility>

#include "volume/qel_channel_list.hpp"
#include "volume/qel_image.h"
#include "volume/qel_rgba.hpp"
#include "volume/qel_volume.h"

namespace qel {

template <class R>
struct RecordTraits;

template <>
struct RecordTraits<QelRawVolumeData> {
    using Table = void***;
    static Table*& tables(QelRawVolumeData& r) { return r.slices; }
    static int& channels(const QelRawVolumeData& r) { return r.size->nChannels; }
    static int64_t elements(const QelRawVolumeData& r) {
        return static_cast<int64_t>(r.size->nx) * r.size->ny * r.size->nz;
    }
    static bool same_dims(const QelRawVolumeData& a, const QelRawVolumeData& b) {
        return a.size->nx == b.size->nx && a.size->ny == b.size->ny && a.size->nz == b.size->nz;
    }
    static Table new_table(const QelRawVolumeData& r, int unit) {
        return QEL_NewTypedArray3D(r.size->nx, r.size->ny, r.size->nz, unit);
    }
    static void delete_table(const QelRawVolumeData& r, Table t, int unit) {
        QEL_DeleteTypedArray3D(t, r.size->nx, r.size->ny, r.size->nz, unit);
    }
    static void* base(Table t) { return t[0][0]; }
    // Entries of one channel's pointer tables: a row table per slice and the slice table.
    static int64_t pointers(const QelRawVolumeData& r) { return (int64_t{r.size->ny} + 1) * r.size->nz; }
    // A new record of r's dimensions with n channels.
    static QelRawVolumeData* new_like(const QelRawVolumeData& r, int n, const int* units, const int* attributes) {
        const QelSize4i s{r.size->nx, r.size->ny, r.size->nz, n};
        return QEL_NewRawVolumeData(&s, units, attributes);
    }
    static void free_size(QelRawVolumeData& r) { QEL_DeleteSize4i(r.size); }
};

template <>
struct RecordTraits<QelRawImageData> {
    using Table = void**;
    static Table*& tables(QelRawImageData& r) { return r.rows; }
    static int& channels(const QelRawImageData& r) { return r.size->nz; }
    static int64_t elements(const QelRawImageData& r) { return static_cast<int64_t>(r.size->nx) * r.size->ny; }
    static bool same_dims(const QelRawImageData& a, const QelRawImageData& b) {
        return a.size->nx == b.size->nx && a.size->ny == b.size->ny;
    }
    static Table new_table(const QelRawImageData& r, int unit) {
        return QEL_NewTypedArray2D(r.size->nx, r.size->ny, unit);
    }
    static void delete_table(const QelRawImageData& r, Table t, int unit) {
        QEL_DeleteTypedArray2D(t, r.size->nx, r.size->ny, unit);
    }
    static void* base(Table t) { return t[0]; }
    static int64_t pointers(const QelRawImageData& r) { return r.size->ny; }
    static QelRawImageData* new_like(const QelRawImageData& r, int n, const int* units, const int* attributes) {
        const QelSize3i s{r.size->nx, r.size->ny, n};
        return QEL_NewRawImageData(&s, units, attributes);
    }
    static void free_size(QelRawImageData& r) { QEL_DeleteSize3i(r.size); }
};

template <class R>
using TableOf = typename RecordTraits<R>::Table;

template <class R>
bool is_record(const R* r) {
    return r && r->size;
}

// A channel index inside the record, whose unit, attribute and data arrays exist.
template <class R>
bool has_channel(const R* r, int c) {
    return is_record(r) && c >= 0 && c < RecordTraits<R>::channels(*r) && r->unit && r->attribute && r->data;
}

template <class R>
ChannelArrays<TableOf<R>> arrays_of(R& r) {
    return {r.unit, r.attribute, r.data, RecordTraits<R>::tables(r)};
}

template <class R>
void install(R& r, const ChannelArrays<TableOf<R>>& a) {
    r.unit = a.unit;
    r.attribute = a.attribute;
    r.data = a.data;
    RecordTraits<R>::tables(r) = a.tables;
}

// Releases a record of which the first `made` channels exist (the rest may be missing).
template <class R>
void destroy_record(R* r, int made) {
    if (!r) return;
    using T = RecordTraits<R>;
    if (r->size && r->unit && T::tables(*r))
        for (int c = 0; c < made; ++c) T::delete_table(*r, T::tables(*r)[c], r->unit[c]);
    T::free_size(*r);
    auto a = arrays_of(*r);
    a.release();
    std::free(r);
}

// Memory that the channels of a record of r's dimensions with these units take: blocks,
// pointer tables and the per-channel arrays. nullopt when it cannot be represented.
template <class R>
std::optional<int64_t> record_bytes(const R& r, int n, const int* units) {
    using T = RecordTraits<R>;
    const int64_t perChannel = T::pointers(r) * int64_t{sizeof(void*)} + 2 * int64_t{sizeof(int)} +
                               2 * int64_t{sizeof(void*)};
    int64_t total = 0;
    for (int c = 0; c < n; ++c) {
        const auto block = channel_bytes(T::elements(r), units[c]);
        const auto sum = block ? checked_sum(total, *block + perChannel) : std::nullopt;
        if (!sum) return std::nullopt;
        total = *sum;
    }
    return total;
}

// Completes a record whose size is set and whose dimensions have been checked: builds the
// channel arrays and every channel. Frees everything and returns NULL on a failure. Records
// are made to the size a header or a board gives, so one beyond the memory bound counts as
// a failed allocation before anything is allocated.
template <class R>
R* complete_record(R* r, const int* units, const int* attributes) {
    using T = RecordTraits<R>;
    const int n = T::channels(*r);
    const auto bytes = record_bytes(*r, n, units);
    ChannelArrays<TableOf<R>> a;
    if (!bytes || !fits_memory(*bytes) || !a.allocate(n)) {
        destroy_record(r, 0);
        return nullptr;
    }
    install(*r, a);
    for (int c = 0; c < n; ++c) {
        TableOf<R> t = T::new_table(*r, units[c]);
        if (!t) {
            destroy_record(r, c);
            return nullptr;
        }
        a.set(c, units[c], attributes[c], T::base(t), t);
    }
    return r;
}

template <class R>
int64_t channel_byte_count(const R& r, int c) {
    return channel_bytes(RecordTraits<R>::elements(r), r.unit[c]).value_or(0);
}

template <class R>
void swap_records(R* a, R* b) {
    if (!a || !b) return;
    std::swap(a->size, b->size);
    std::swap(a->unit, b->unit);
    std::swap(a->attribute, b->attribute);
    std::swap(a->data, b->data);
    std::swap(RecordTraits<R>::tables(*a), RecordTraits<R>::tables(*b));
}

template <class R>
R* copy_record(const R* r) {
    if (!is_record(r)) return nullptr;
    using T = RecordTraits<R>;
    R* c = T::new_like(*r, T::channels(*r), r->unit, r->attribute);
    if (!c) return nullptr;
    for (int i = 0; i < T::channels(*r); ++i) copy_bytes(c->data[i], r->data[i], channel_byte_count(*r, i));
    return c;
}

template <class R>
R* extract_channel(const R* r, int channel) {
    if (!has_channel(r, channel)) return nullptr;
    R* c = RecordTraits<R>::new_like(*r, 1, &r->unit[channel], &r->attribute[channel]);
    if (c) copy_bytes(c->data[0], r->data[channel], channel_byte_count(*r, channel));
    return c;
}

// Appends a zero-filled channel; its index, or -1 with the record unchanged.
template <class R>
int append_channel(R* r, int unit, int attribute) {
    if (!is_record(r)) return -1;
    using T = RecordTraits<R>;
    const int n = T::channels(*r);
    if (n < 0 || n == INT_MAX) return -1;
    ChannelArrays<TableOf<R>> a;
    if (!a.allocate(n + 1)) return -1;
    TableOf<R> t = T::new_table(*r, unit);
    if (!t) {
        a.release();
        return -1;
    }
    for (int c = 0; c < n; ++c) a.set(c, r->unit[c], r->attribute[c], r->data[c], T::tables(*r)[c]);
    a.set(n, unit, attribute, T::base(t), t);
    arrays_of(*r).release();
    install(*r, a);
    T::channels(*r) = n + 1;
    return n;
}

// Appends a copy of src's channel; src may be r itself. The dimensions must agree.
template <class R>
int append_channel_copy(R* r, const R* src, int channel) {
    if (!is_record(r) || !has_channel(src, channel) || !RecordTraits<R>::same_dims(*r, *src)) return -1;
    const int unit = src->unit[channel];
    const int i = append_channel(r, unit, src->attribute[channel]);
    if (i < 0) return -1;
    // When src is r, its arrays were just replaced, but entry `channel` still holds the same block.
    copy_bytes(r->data[i], src->data[channel], channel_byte_count(*r, i));
    return 0;
}

template <class R>
int remove_channel(R* r, int channel) {
    if (!has_channel(r, channel)) return -1;
    using T = RecordTraits<R>;
    const int n = T::channels(*r);
    ChannelArrays<TableOf<R>> a;
    if (!a.allocate(n - 1)) return -1;
    for (int c = 0, k = 0; c < n; ++c)
        if (c != channel) a.set(k++, r->unit[c], r->attribute[c], r->data[c], T::tables(*r)[c]);
    T::delete_table(*r, T::tables(*r)[channel], r->unit[channel]);
    arrays_of(*r).release();
    install(*r, a);
    T::channels(*r) = n - 1;
    return 0;
}

// Shapes of the two RGBA forms: one packed channel, and four plain 8-bit channels R, G, B, A.
template <class R>
bool is_packed_channel(const R* r, int c) {
    return has_channel(r, c) && r->unit[c] == QEL_VOXEL_UNIT_UINT32 && r->attribute[c] == QEL_ATTRIBUTE_RGBA;
}

template <class R>
bool is_packed_record(const R* r) {
    return is_record(r) && RecordTraits<R>::channels(*r) == 1 && is_packed_channel(r, 0);
}

template <class R>
bool is_uint8x4_record(const R* r) {
    if (!is_record(r) || RecordTraits<R>::channels(*r) != 4) return false;
    for (int c = 0; c < 4; ++c)
        if (r->unit[c] != QEL_VOXEL_UNIT_UINT8 || r->attribute[c] != QEL_ATTRIBUTE_PLAIN) return false;
    return true;
}

// Packs the four plain channels of src into dst's one packed channel; false (and nothing
// written) when the shapes do not match.
template <class R>
bool interleave_rgba(R* dst, const R* src) {
    if (!is_uint8x4_record(src) || !is_packed_record(dst) || !RecordTraits<R>::same_dims(*dst, *src)) return false;
    const auto* const* s = reinterpret_cast<const uint8_t* const*>(src->data);
    pack_rgba(static_cast<uint32_t*>(dst->data[0]), s[0], s[1], s[2], s[3], RecordTraits<R>::elements(*dst));
    return true;
}

template <class R>
bool deinterleave_rgba(R* dst, const R* src, int channel) {
    if (!is_packed_channel(src, channel) || !is_uint8x4_record(dst) || !RecordTraits<R>::same_dims(*dst, *src))
        return false;
    auto* const* d = reinterpret_cast<uint8_t* const*>(dst->data);
    unpack_rgba(d[0], d[1], d[2], d[3], static_cast<const uint32_t*>(src->data[channel]),
                RecordTraits<R>::elements(*dst));
    return true;
}

// One packed channel becomes four plain ones and back, in place; anything else, or a
// record that cannot be built, leaves r unchanged (false).
template <class R>
bool toggle_rgba(R* r) {
    using T = RecordTraits<R>;
    R* other = nullptr;
    if (is_packed_record(r)) {
        const int units[4] = {0, 0, 0, 0}, attributes[4] = {0, 0, 0, 0};
        other = T::new_like(*r, 4, units, attributes);
        if (other) deinterleave_rgba(other, r, 0);
    } else if (is_uint8x4_record(r)) {
        const int unit = QEL_VOXEL_UNIT_UINT32, attribute = QEL_ATTRIBUTE_RGBA;
        other = T::new_like(*r, 1, &unit, &attribute);
        if (other) interleave_rgba(other, r);
    }
    if (!other) return false;
    swap_records(r, other);
    destroy_record(other, T::channels(*other));
    return true;
}

}  // namespace qel
