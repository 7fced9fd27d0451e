#include "values/qel_values.h"

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "values/qel_fill.hpp"
#include "volume/qel_record_ops.hpp"
#include "volume/qel_store.hpp"
#include "volume/qel_unit_dispatch.hpp"

namespace {

// Loops run in blocks of a fixed length so that the compiler vectorises their bodies even
// at -O2, whose cost model only vectorises loops with a known trip count; the tail is scalar.
constexpr int64_t kBlock = 64;

template <class T, class Op>
inline void transform_elements(T* data, int64_t count, Op op) {
    int64_t i = 0;
    for (; i + kBlock <= count; i += kBlock) {
        T* p = data + i;
        for (int64_t k = 0; k < kBlock; ++k) p[k] = op(p[k]);
    }
    for (; i < count; ++i) data[i] = op(data[i]);
}

template <class T>
void clear_elements(T* data, int64_t count) {
    // All bits zero is 0 in every unit, 0.0 included.
    if (count > 0) std::memset(data, 0, static_cast<size_t>(count) * sizeof(T));
}

template <class T>
void fill_elements(T* data, int64_t count, T value) {
    transform_elements(data, count, [value](T) { return value; });
}

template <class T>
void replace_elements(T* data, int64_t count, T from, T to) {
    // == is IEEE equality for the float units: NaN never matches, -0.0 matches 0.0. The
    // select copies `to` unchanged, so its bits (a NaN's payload too) are stored as given.
    transform_elements(data, count, [from, to](T x) { return x == from ? to : x; });
}

template <class T>
void add_elements(T* data, int64_t count, T value) {
    transform_elements(data, count, [value](T x) { return qel::wrap_add(x, value); });
}

template <class T>
void scale_elements(T* data, int64_t count, float scale, float offset) {
    const double s = scale;
    const double o = offset;
    if constexpr (std::is_floating_point_v<T>) {
        transform_elements(data, count, [s, o](T x) { return qel::store_real<T>(static_cast<double>(x) * s + o); });
    } else {
        // A block whose results all have a magnitude below 2^31 truncates through int32, whose
        // low bits equal those of the 64-bit truncation; that conversion vectorises. Any other
        // block (NaN, infinities, large results) takes the general store. The range test reads
        // the exponent field, as plain integer operations vectorise where a double compare
        // feeding a reduction does not: a biased exponent of 1054 or more (2047 for NaN and
        // infinities) means |r| >= 2^31 and sets bit 11 of exponent + 994.
        using U = std::make_unsigned_t<T>;
        int64_t i = 0;
        for (; i + kBlock <= count; i += kBlock) {
            T* p = data + i;
            double r[kBlock];
            uint64_t large = 0;
            for (int64_t k = 0; k < kBlock; ++k) {
                r[k] = static_cast<double>(p[k]) * s + o;
                uint64_t bits;
                std::memcpy(&bits, &r[k], sizeof bits);
                large |= ((bits >> 52) & 0x7ff) + (2048 - 1054);
            }
            if (!(large & 0x800)) {
                for (int64_t k = 0; k < kBlock; ++k)
                    p[k] = static_cast<T>(static_cast<U>(static_cast<uint32_t>(static_cast<int32_t>(r[k]))));
            } else {
                for (int64_t k = 0; k < kBlock; ++k) p[k] = qel::store_real<T>(r[k]);
            }
        }
        for (; i < count; ++i) data[i] = qel::store_real<T>(static_cast<double>(data[i]) * s + o);
    }
}

// The value at the start of a QelValue in the width of T (zero- or sign-extension follows
// from T itself).
template <class T>
T read_value(const QelValue* v) {
    T x;
    std::memcpy(&x, v->bytes, sizeof(T));
    return x;
}

// Runs fn(tag, T* data, count) on one channel of a record; nothing for a NULL record, a channel
// outside it or an invalid unit.
template <class R, class Fn>
void on_channel(R* record, int channel, Fn&& fn) {
    if (!qel::has_channel(record, channel)) return;
    const int64_t count = qel::RecordTraits<R>::elements(*record);
    void* data = record->data[channel];
    if (!data || count <= 0) return;
    qel::dispatch_unit_void(record->unit[channel], [&](auto tag) {
        using T = typename decltype(tag)::type;
        fn(tag, static_cast<T*>(data), count);
    });
}

template <class R>
void clear_channel(R* record, int channel) {
    on_channel(record, channel, [](auto, auto* data, int64_t count) { clear_elements(data, count); });
}

template <class R>
void fill_minimum_of_channel(R* record, int channel) {
    on_channel(record, channel, [](auto tag, auto* data, int64_t count) {
        using T = typename decltype(tag)::type;
        fill_elements<T>(data, count, qel::fill_minimum<T>());
    });
}

}  // namespace

void QEL_ClearRawImageData(QelRawImageData* image, int channel) { clear_channel(image, channel); }

void QEL_ClearRawVolumeData(QelRawVolumeData* volume, int channel) { clear_channel(volume, channel); }

void QEL_FillMinimumOfRawImageData(QelRawImageData* image, int channel) {
    fill_minimum_of_channel(image, channel);
}

void QEL_FillMinimumOfRawVolumeData(QelRawVolumeData* volume, int channel) {
    fill_minimum_of_channel(volume, channel);
}

void QEL_ReplaceValueOfRawVolumeData(QelRawVolumeData* volume, int channel, const QelValue* from,
                                     const QelValue* to) {
    if (!from || !to) return;
    on_channel(volume, channel, [&](auto tag, auto* data, int64_t count) {
        using T = typename decltype(tag)::type;
        replace_elements<T>(data, count, read_value<T>(from), read_value<T>(to));
    });
}

void QEL_GreyOffsetterOfRawVolumeData(QelRawVolumeData* volume, int channel, const QelValue* shift, int) {
    if (!shift) return;
    on_channel(volume, channel, [&](auto tag, auto* data, int64_t count) {
        using T = typename decltype(tag)::type;
        add_elements<T>(data, count, read_value<T>(shift));
    });
}

void QEL_ScaleValueOfRawVolumeData(QelRawVolumeData* volume, int channel, float scale, float offset) {
    on_channel(volume, channel, [&](auto tag, auto* data, int64_t count) {
        using T = typename decltype(tag)::type;
        scale_elements<T>(data, count, scale, offset);
    });
}

// The named line kernels, one per family and unit.
#define QEL_VALUE_KERNELS(Name, T)                                                          \
    void QEL_ClearArray_##Name(T* data, int32_t count) { clear_elements<T>(data, count); } \
    void QEL_FillArray_##Name(T* data, int32_t count, T value) {                           \
        fill_elements<T>(data, count, value);                                              \
    }                                                                                      \
    void QEL_ReplaceInArray_##Name(T* data, int32_t count, T from, T to) {                 \
        replace_elements<T>(data, count, from, to);                                        \
    }                                                                                      \
    void QEL_AddToArray_##Name(T* data, int32_t count, T value) {                          \
        add_elements<T>(data, count, value);                                               \
    }                                                                                      \
    void QEL_ScaleArray_##Name(T* data, int32_t count, float scale, float offset) {        \
        scale_elements<T>(data, count, scale, offset);                                     \
    }

QEL_VALUE_KERNELS(Uint8, uint8_t)
QEL_VALUE_KERNELS(Int8, int8_t)
QEL_VALUE_KERNELS(Uint16, uint16_t)
QEL_VALUE_KERNELS(Int16, int16_t)
QEL_VALUE_KERNELS(Uint32, uint32_t)
QEL_VALUE_KERNELS(Int32, int32_t)
QEL_VALUE_KERNELS(Float32, float)
QEL_VALUE_KERNELS(Float64, double)

#undef QEL_VALUE_KERNELS
