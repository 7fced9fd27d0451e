// Voxel units, minimum/maximum helpers, value ranges, single values and integer ranges.
#include "volume/qel_units.h"

#include <cstdlib>
#include <cstring>

#include "volume/qel_store.hpp"
#include "volume/qel_unit_dispatch.hpp"

namespace {

const char* const kUnitNames[8] = {
    "unsigned 8 bits",  "signed 8 bits",  "unsigned 16 bits",      "signed 16 bits",
    "unsigned 32 bits", "signed 32 bits", "floating-point 32 bits", "floating-point 64 bits",
};

template <class T>
T* new_record(const T& value) {
    T* p = static_cast<T*>(std::malloc(sizeof(T)));
    if (p) *p = value;
    return p;
}

// Stores x into the first bytes of v as the element type of unit; false for an invalid unit.
bool store_value(QelValue* v, float x, int unit) {
    return qel::dispatch_unit_void(unit, [&](auto tag) {
        using T = typename decltype(tag)::type;
        const T e = qel::store_real<T>(x);
        std::memcpy(v->bytes, &e, sizeof e);
    });
}

}  // namespace

int QEL_GetVoxelUnitSize(int unit) {
    return qel::dispatch_unit<int>(unit, 0, [](auto tag) {
        return static_cast<int>(sizeof(typename decltype(tag)::type));
    });
}

void QEL_GetVoxelUnitName(int unit, char* text) {
    if (!text || !QEL_IsValidVoxelUnit(unit)) return;
    std::strcpy(text, kUnitNames[unit]);
}

int QEL_IsValidVoxelUnit(int unit) { return unit >= 0 && unit <= 7 ? 1 : 0; }

float QEL_MaxFloat(float a, float b) { return a > b ? a : b; }
float QEL_MinFloat(float a, float b) { return a < b ? a : b; }
float QEL_Min3Float(float a, float b, float c) { return QEL_MinFloat(QEL_MinFloat(a, b), c); }
float QEL_Max3Float(float a, float b, float c) { return QEL_MaxFloat(QEL_MaxFloat(a, b), c); }
int QEL_MaxInt(int a, int b) { return a > b ? a : b; }
int QEL_MinInt(int a, int b) { return a < b ? a : b; }
int QEL_Min3Int(int a, int b, int c) { return QEL_MinInt(QEL_MinInt(a, b), c); }
int QEL_Max3Int(int a, int b, int c) { return QEL_MaxInt(QEL_MaxInt(a, b), c); }

QelValueRange* QEL_NewValueRange(float min, float max) { return new_record(QelValueRange{min, max}); }

QelValueRange* QEL_CopyValueRange(const QelValueRange* r) { return r ? new_record(*r) : nullptr; }

void QEL_DeleteValueRange(QelValueRange* r) { std::free(r); }

QelValueRange* QEL_NewValueRangeOfVoxelUnit(int unit) {
    switch (unit) {
        case 0: return QEL_NewValueRange(0.0f, 255.0f);
        case 1: return QEL_NewValueRange(-128.0f, 127.0f);
        case 2: return QEL_NewValueRange(0.0f, 65535.0f);
        case 3: return QEL_NewValueRange(-32768.0f, 32767.0f);
        // The largest 32-bit values round up to the next power of two in single precision.
        case 4: return QEL_NewValueRange(0.0f, static_cast<float>(4294967295.0));
        case 5: return QEL_NewValueRange(-2147483648.0f, static_cast<float>(2147483647.0));
        default: return nullptr;
    }
}

int QEL_IsInValueRange(float x, const QelValueRange* r) {
    if (!r) return 0;
    return r->min <= x && x <= r->max ? 1 : 0;
}

float QEL_ClampToValueRange(float x, const QelValueRange* r) {
    if (!r) return x;
    if (x < r->min) return r->min;
    if (x > r->max) return r->max;
    return x;
}

double QEL_MapValueLinear(float x, const QelValueRange* src, const QelValueRange* dst) {
    if (!src || !dst) return 0.0;
    const double span = static_cast<double>(src->max) - static_cast<double>(src->min);
    // An empty source range has no slope: everything maps onto the start of dst.
    if (span == 0.0) return dst->min;
    return static_cast<double>(dst->min) +
           (static_cast<double>(dst->max) - static_cast<double>(dst->min)) *
               (static_cast<double>(x) - static_cast<double>(src->min)) / span;
}

double QEL_MapValueLinearClamped(float x, const QelValueRange* src, const QelValueRange* dst) {
    if (!src || !dst) return 0.0;
    const double v = QEL_MapValueLinear(x, src, dst);
    if (v < dst->min) return dst->min;
    if (v > dst->max) return dst->max;
    return v;
}

QelValueRange* QEL_UniteValueRange(QelValueRange* a, const QelValueRange* b) {
    if (!a || !b) return a;
    if (a->min > b->min) a->min = b->min;
    if (a->max < b->max) a->max = b->max;
    return a;
}

QelValueRange* QEL_GetValueRangeOfArray(const void* data, int count, int unit) {
    if (!data || count <= 0) return nullptr;
    return qel::dispatch_unit<QelValueRange*>(unit, nullptr, [&](auto tag) {
        using T = typename decltype(tag)::type;
        const T* e = static_cast<const T*>(data);
        float min = static_cast<float>(e[0]);
        float max = min;
        for (int i = 1; i < count; ++i) {
            const float v = static_cast<float>(e[i]);
            if (v < min)
                min = v;
            else if (v > max)
                max = v;
        }
        return QEL_NewValueRange(min, max);
    });
}

QelValue* QEL_NewValue(float x, int unit) {
    QelValue* v = static_cast<QelValue*>(std::calloc(1, sizeof(QelValue)));
    if (!v) return nullptr;
    if (!store_value(v, x, unit)) {
        std::free(v);
        return nullptr;
    }
    return v;
}

QelTypedValueRange* QEL_NewTypedValueRange(const QelValueRange* r, int unit) {
    if (!r) return nullptr;
    auto* t = static_cast<QelTypedValueRange*>(std::calloc(1, sizeof(QelTypedValueRange)));
    if (!t) return nullptr;
    if (!store_value(&t->min, r->min, unit) || !store_value(&t->max, r->max, unit)) {
        std::free(t);
        return nullptr;
    }
    return t;
}

QelIntRange* QEL_NewIntRange(int min, int max) { return new_record(QelIntRange{min, max}); }

QelIntRange* QEL_CopyIntRange(const QelIntRange* r) { return r ? new_record(*r) : nullptr; }

void QEL_DeleteIntRange(QelIntRange* r) { std::free(r); }

int QEL_IsInIntRange(int x, const QelIntRange* r) {
    if (!r) return 0;
    return r->min <= x && x <= r->max ? 1 : 0;
}

int QEL_ClampToIntRange(int x, const QelIntRange* r) {
    if (!r) return x;
    if (x < r->min) return r->min;
    if (x > r->max) return r->max;
    return x;
}

int QEL_MapIntLinear(int x, const QelIntRange* src, const QelIntRange* dst) {
    if (!src || !dst) return 0;
    const int64_t span = static_cast<int64_t>(src->max) - src->min;
    if (span == 0) return dst->min;  // an empty source range has no slope
    // Spans of full 32-bit ranges multiply beyond 64 bits; the quotient is then cut to 32 bits.
    const __int128 num = static_cast<__int128>(static_cast<int64_t>(dst->max) - dst->min) *
                         (static_cast<int64_t>(x) - src->min);
    const __int128 r = dst->min + num / span;  // division truncates toward zero
    return static_cast<int>(static_cast<uint32_t>(static_cast<uint64_t>(r)));
}
