#include "objects/qel_color.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "objects/qel_object_alloc.hpp"
#include "volume/qel_checked.hpp"

QelColor* QEL_NewColor(float r, float g, float b, float a) {
    auto* c = static_cast<QelColor*>(std::malloc(sizeof(QelColor)));
    if (!c) return nullptr;
    *c = QelColor{r, g, b, a};
    return c;
}

QelColor* QEL_CopyColor(const QelColor* c) {
    if (!c) return nullptr;
    return QEL_NewColor(c->r, c->g, c->b, c->a);
}

void QEL_DeleteColor(QelColor* c) { std::free(c); }

// ---------------------------------------------------------------- colour tables

namespace {

void free_colour_table(QelColorTable* t, int madeColours) {
    if (!t) return;
    if (t->colours)
        for (int i = 0; i < madeColours; ++i) QEL_DeleteColor(t->colours[i]);
    std::free(t->colours);
    std::free(t->keys);
    std::free(t);
}

int32_t key_word(const QelColorTable* t, int i) {
    int32_t w;
    std::memcpy(&w, static_cast<const char*>(t->keys) + 4 * static_cast<size_t>(i), 4);
    return w;
}

float key_float(const QelColorTable* t, int i) {
    float f;
    std::memcpy(&f, static_cast<const char*>(t->keys) + 4 * static_cast<size_t>(i), 4);
    return f;
}

}  // namespace

QelColorTable* QEL_NewColorTable(int capacity, int keyType) {
    if (keyType != QEL_COLOR_TABLE_INT_KEYS && keyType != QEL_COLOR_TABLE_FLOAT_KEYS) return nullptr;
    if (capacity <= 0) return nullptr;
    auto* t = static_cast<QelColorTable*>(std::calloc(1, sizeof(QelColorTable)));
    if (!t) return nullptr;
    t->capacity = capacity;
    t->keyType = keyType;
    t->keys = qel::alloc_elements(capacity, 4, true);
    t->colours = qel::alloc_array<QelColor*>(capacity, true);
    if (!t->keys || !t->colours) {
        free_colour_table(t, 0);
        return nullptr;
    }
    for (int i = 0; i < capacity; ++i) {
        t->colours[i] = QEL_NewColor(0.0f, 0.0f, 0.0f, 0.0f);
        if (!t->colours[i]) {
            free_colour_table(t, i);
            return nullptr;
        }
    }
    return t;
}

QelColorTable* QEL_CopyColorTable(const QelColorTable* table) {
    if (!table) return nullptr;
    QelColorTable* t = QEL_NewColorTable(table->capacity, table->keyType);
    if (!t) return nullptr;
    t->count = table->count;
    std::memcpy(t->keys, table->keys, 4 * static_cast<size_t>(table->capacity));
    for (int i = 0; i < table->capacity; ++i) *t->colours[i] = *table->colours[i];
    return t;
}

void QEL_DeleteColorTable(QelColorTable* table) {
    if (table) free_colour_table(table, table->capacity);
}

int QEL_AddColorTableEntry(QelColorTable* table, const QelColor* colour, const void* key) {
    if (!table || !colour || !key) return -1;
    if (table->count >= table->capacity) return table->capacity;
    std::memcpy(static_cast<char*>(table->keys) + 4 * static_cast<size_t>(table->count), key, 4);
    *table->colours[table->count] = *colour;
    return ++table->count;
}

int QEL_RemoveColorTableEntry(QelColorTable* table, const void* key) {
    if (!table || !key) return -1;
    if (table->count <= 0) return 0;
    int match = -1;
    if (table->keyType == QEL_COLOR_TABLE_INT_KEYS) {
        int32_t k;
        std::memcpy(&k, key, 4);
        for (int i = 0; i < table->count && match < 0; ++i)
            if (key_word(table, i) == k) match = i;
    } else {
        float k;
        std::memcpy(&k, key, 4);
        for (int i = 0; i < table->count && match < 0; ++i)
            if (key_float(table, i) == k) match = i;
    }
    if (match < 0) return table->count;
    char* keys = static_cast<char*>(table->keys);
    for (int j = match; j < table->count - 1; ++j) {
        std::memcpy(keys + 4 * static_cast<size_t>(j), keys + 4 * static_cast<size_t>(j + 1), 4);
        *table->colours[j] = *table->colours[j + 1];
    }
    return --table->count;
}

// ---------------------------------------------------------------- integer look-up tables

namespace {

// The stored component references are offset by -first so that the index addresses them
// directly; the arithmetic is done on addresses to stay clear of out-of-bounds pointers.
float* index_addressed(float* block, int first) {
    return reinterpret_cast<float*>(reinterpret_cast<uintptr_t>(block) -
                                    static_cast<uintptr_t>(static_cast<intptr_t>(first)) *
                                        sizeof(float));
}

float* block_of(float* stored, int first) {
    if (!stored) return nullptr;
    return reinterpret_cast<float*>(reinterpret_cast<uintptr_t>(stored) +
                                    static_cast<uintptr_t>(static_cast<intptr_t>(first)) *
                                        sizeof(float));
}

int lut_first(const QelIntColorLut* lut) { return lut->indexRange ? lut->indexRange->min : 0; }

// Free everything of an integer table, including partly built ones.
void free_int_lut(QelIntColorLut* lut) {
    if (!lut) return;
    int first = lut_first(lut);
    std::free(block_of(lut->red, first));
    std::free(block_of(lut->green, first));
    std::free(block_of(lut->blue, first));
    std::free(block_of(lut->alpha, first));
    QEL_DeleteIntRange(lut->indexRange);
    QEL_DeleteValueRange(lut->redRange);
    QEL_DeleteValueRange(lut->greenRange);
    QEL_DeleteValueRange(lut->blueRange);
    QEL_DeleteValueRange(lut->alphaRange);
    std::free(lut);
}

// Offset of an index from the first entry, limited to the table: an index outside it
// reads the nearest end entry instead of memory outside the arrays.
int64_t int_lut_slot(const QelIntColorLut* lut, int index) {
    int64_t k = static_cast<int64_t>(index) - lut_first(lut);
    if (k < 0) return 0;
    if (k > lut->n - 1) return lut->n - 1;
    return k;
}

void int_lut_rgba(const QelIntColorLut* lut, int index, float* r, float* g, float* b, float* a) {
    if (!lut || lut->n <= 0) return;
    int first = lut_first(lut);
    int64_t k = int_lut_slot(lut, index);
    if (r) *r = block_of(lut->red, first)[k];
    if (g) *g = block_of(lut->green, first)[k];
    if (b) *b = block_of(lut->blue, first)[k];
    if (a) *a = block_of(lut->alpha, first)[k];
}

int clamp_index(const QelIntColorLut* lut, int index) {
    return lut && lut->indexRange ? QEL_ClampToIntRange(index, lut->indexRange) : index;
}

}  // namespace

QelIntColorLut* QEL_NewIntColorLut(int first, int n) {
    if (n <= 0) return nullptr;
    int64_t last = static_cast<int64_t>(first) + n - 1;
    if (!qel::fits_int32(last)) return nullptr;
    auto* lut = static_cast<QelIntColorLut*>(std::calloc(1, sizeof(QelIntColorLut)));
    if (!lut) return nullptr;
    lut->n = n;
    lut->indexRange = QEL_NewIntRange(first, static_cast<int>(last));
    lut->redRange = QEL_NewValueRange(0.0f, 255.0f);
    lut->greenRange = QEL_NewValueRange(0.0f, 255.0f);
    lut->blueRange = QEL_NewValueRange(0.0f, 255.0f);
    lut->alphaRange = QEL_NewValueRange(0.0f, 1.0f);
    float* blocks[4];
    for (float*& b : blocks) b = qel::alloc_array<float>(n);
    lut->red = blocks[0] ? index_addressed(blocks[0], first) : nullptr;
    lut->green = blocks[1] ? index_addressed(blocks[1], first) : nullptr;
    lut->blue = blocks[2] ? index_addressed(blocks[2], first) : nullptr;
    lut->alpha = blocks[3] ? index_addressed(blocks[3], first) : nullptr;
    if (!lut->indexRange || !lut->redRange || !lut->greenRange || !lut->blueRange ||
        !lut->alphaRange || !lut->red || !lut->green || !lut->blue || !lut->alpha) {
        if (!lut->indexRange) {
            // The blocks cannot be found from their stored references without first.
            for (float* b : blocks) std::free(b);
            lut->red = lut->green = lut->blue = lut->alpha = nullptr;
        }
        free_int_lut(lut);
        return nullptr;
    }
    return lut;
}

QelIntColorLut* QEL_NewLabelColorLut(int first, int n) {
    static const float cycle[13][3] = {
        {255, 255, 255}, {255, 0, 0},     {0, 255, 0},     {0, 0, 255},     {255, 255, 0},
        {0, 255, 255},   {255, 0, 255},   {255, 127, 127}, {127, 255, 127}, {127, 127, 255},
        {255, 255, 127}, {127, 255, 255}, {255, 127, 255}};
    QelIntColorLut* lut = QEL_NewIntColorLut(first, n);
    if (!lut) return nullptr;
    int f = lut_first(lut);
    float* r = block_of(lut->red, f);
    float* g = block_of(lut->green, f);
    float* b = block_of(lut->blue, f);
    float* a = block_of(lut->alpha, f);
    r[0] = g[0] = b[0] = a[0] = 0.0f;
    for (int i = 1; i < n; ++i) {
        const float* c = cycle[i % 13];
        r[i] = c[0];
        g[i] = c[1];
        b[i] = c[2];
        a[i] = 255.0f;
    }
    return lut;
}

QelIntColorLut* QEL_NewIntColorLutFromTable(const QelColorTable* table) {
    if (!table || table->keyType != QEL_COLOR_TABLE_INT_KEYS || table->count < 1) return nullptr;
    int64_t lo = key_word(table, 0);
    int64_t span = key_word(table, table->count - 1) - lo;
    if (span <= 0 || !qel::fits_int32(span + 1)) return nullptr;
    return QEL_NewIntColorLut(static_cast<int>(lo), static_cast<int>(span + 1));
}

QelIntColorLut* QEL_CopyIntColorLut(const QelIntColorLut* lut) {
    if (!lut || !lut->indexRange) return nullptr;
    int first = lut->indexRange->min;
    QelIntColorLut* c = QEL_NewIntColorLut(first, lut->n);
    if (!c) return nullptr;
    *c->indexRange = *lut->indexRange;
    if (lut->redRange) *c->redRange = *lut->redRange;
    if (lut->greenRange) *c->greenRange = *lut->greenRange;
    if (lut->blueRange) *c->blueRange = *lut->blueRange;
    if (lut->alphaRange) *c->alphaRange = *lut->alphaRange;
    size_t bytes = sizeof(float) * static_cast<size_t>(lut->n);
    std::memcpy(block_of(c->red, first), block_of(lut->red, first), bytes);
    std::memcpy(block_of(c->green, first), block_of(lut->green, first), bytes);
    std::memcpy(block_of(c->blue, first), block_of(lut->blue, first), bytes);
    std::memcpy(block_of(c->alpha, first), block_of(lut->alpha, first), bytes);
    return c;
}

void QEL_DeleteIntColorLut(QelIntColorLut* lut) { free_int_lut(lut); }

void QEL_GetIntLutColor(const QelIntColorLut* lut, int index, QelColor* out) {
    if (out) int_lut_rgba(lut, index, &out->r, &out->g, &out->b, &out->a);
}
void QEL_GetIntLutRgb(const QelIntColorLut* lut, int index, float* r, float* g, float* b) {
    int_lut_rgba(lut, index, r, g, b, nullptr);
}
void QEL_GetIntLutRgba(const QelIntColorLut* lut, int index, float* r, float* g, float* b,
                       float* a) {
    int_lut_rgba(lut, index, r, g, b, a);
}
void QEL_GetIntLutColorClamped(const QelIntColorLut* lut, int index, QelColor* out) {
    QEL_GetIntLutColor(lut, clamp_index(lut, index), out);
}
void QEL_GetIntLutRgbClamped(const QelIntColorLut* lut, int index, float* r, float* g,
                             float* b) {
    QEL_GetIntLutRgb(lut, clamp_index(lut, index), r, g, b);
}
void QEL_GetIntLutRgbaClamped(const QelIntColorLut* lut, int index, float* r, float* g,
                              float* b, float* a) {
    QEL_GetIntLutRgba(lut, clamp_index(lut, index), r, g, b, a);
}

// ---------------------------------------------------------------- float look-up tables

namespace {

void free_float_lut(QelFloatColorLut* lut) {
    if (!lut) return;
    QEL_DeleteValueRange(lut->valueRange);
    std::free(lut->red);
    std::free(lut->green);
    std::free(lut->blue);
    std::free(lut->alpha);
    std::free(lut);
}

// Entry of x: trunc(x * scale + offset), limited to 0..n-1 so that rounding at the ends
// of extreme ranges, or a NaN, never reads outside the arrays.
int float_lut_slot(const QelFloatColorLut* lut, float x) {
    float v = x * lut->scale + lut->offset;
    if (!(v >= 1.0f)) return 0;
    if (v >= static_cast<float>(lut->n - 1)) return lut->n - 1;
    return static_cast<int>(v);
}

void float_lut_rgba(const QelFloatColorLut* lut, float x, float* r, float* g, float* b,
                    float* a) {
    if (!lut || lut->n <= 0) return;
    int k = float_lut_slot(lut, x);
    if (r) *r = lut->red[k];
    if (g) *g = lut->green[k];
    if (b) *b = lut->blue[k];
    if (a) *a = lut->alpha[k];
}

float clamp_value(const QelFloatColorLut* lut, float x) {
    return lut && lut->valueRange ? QEL_ClampToValueRange(x, lut->valueRange) : x;
}

}  // namespace

QelFloatColorLut* QEL_NewFloatColorLut(const QelValueRange* range, int n) {
    if (!range || n <= 0 || range->min == range->max) return nullptr;
    auto* lut = static_cast<QelFloatColorLut*>(std::calloc(1, sizeof(QelFloatColorLut)));
    if (!lut) return nullptr;
    lut->n = n;
    lut->valueRange = QEL_CopyValueRange(range);
    float steps = static_cast<float>(n - 1);
    float width = range->max - range->min;
    lut->scale = steps / width;
    lut->offset = steps * range->min * -1.0f / width;
    lut->red = qel::alloc_array<float>(n);
    lut->green = qel::alloc_array<float>(n);
    lut->blue = qel::alloc_array<float>(n);
    lut->alpha = qel::alloc_array<float>(n);
    if (!lut->valueRange || !lut->red || !lut->green || !lut->blue || !lut->alpha) {
        free_float_lut(lut);
        return nullptr;
    }
    return lut;
}

QelFloatColorLut* QEL_NewFloatColorLutFromTable(const QelColorTable* table, int n) {
    if (!table || table->count < 1) return nullptr;
    float lo, hi;
    if (table->keyType == QEL_COLOR_TABLE_INT_KEYS) {
        lo = static_cast<float>(key_word(table, 0));
        hi = static_cast<float>(key_word(table, table->count - 1));
    } else {
        lo = key_float(table, 0);
        hi = key_float(table, table->count - 1);
    }
    if (!(hi - lo > 0.0f)) return nullptr;
    QelValueRange range{lo, hi};
    return QEL_NewFloatColorLut(&range, n);
}

QelFloatColorLut* QEL_CopyFloatColorLut(const QelFloatColorLut* lut) {
    if (!lut || !lut->valueRange) return nullptr;
    QelFloatColorLut* c = QEL_NewFloatColorLut(lut->valueRange, lut->n);
    if (!c) return nullptr;
    size_t bytes = sizeof(float) * static_cast<size_t>(lut->n);
    std::memcpy(c->red, lut->red, bytes);
    std::memcpy(c->green, lut->green, bytes);
    std::memcpy(c->blue, lut->blue, bytes);
    std::memcpy(c->alpha, lut->alpha, bytes);
    return c;
}

void QEL_DeleteFloatColorLut(QelFloatColorLut* lut) { free_float_lut(lut); }

void QEL_GetFloatLutColor(const QelFloatColorLut* lut, float x, QelColor* out) {
    if (out) float_lut_rgba(lut, x, &out->r, &out->g, &out->b, &out->a);
}
void QEL_GetFloatLutRgb(const QelFloatColorLut* lut, float x, float* r, float* g, float* b) {
    float_lut_rgba(lut, x, r, g, b, nullptr);
}
void QEL_GetFloatLutRgba(const QelFloatColorLut* lut, float x, float* r, float* g, float* b,
                         float* a) {
    float_lut_rgba(lut, x, r, g, b, a);
}
void QEL_GetFloatLutColorClamped(const QelFloatColorLut* lut, float x, QelColor* out) {
    QEL_GetFloatLutColor(lut, clamp_value(lut, x), out);
}
void QEL_GetFloatLutRgbClamped(const QelFloatColorLut* lut, float x, float* r, float* g,
                               float* b) {
    QEL_GetFloatLutRgb(lut, clamp_value(lut, x), r, g, b);
}
void QEL_GetFloatLutRgbaClamped(const QelFloatColorLut* lut, float x, float* r, float* g,
                                float* b, float* a) {
    QEL_GetFloatLutRgba(lut, clamp_value(lut, x), r, g, b, a);
}

// ---------------------------------------------------------------- holder

QelColorMap* QEL_NewColorMap(int lutType) {
    auto* map = static_cast<QelColorMap*>(std::malloc(sizeof(QelColorMap)));
    if (!map) return nullptr;
    map->lutType = lutType;
    map->lut = static_cast<void**>(std::malloc(sizeof(void*)));
    if (!map->lut) {
        std::free(map);
        return nullptr;
    }
    *map->lut = nullptr;
    return map;
}

QelColorMap* QEL_CopyColorMap(const QelColorMap* map) {
    if (!map) return nullptr;
    QelColorMap* c = QEL_NewColorMap(map->lutType);
    if (!c) return nullptr;
    void* held = map->lut ? *map->lut : nullptr;
    if (!held) return c;
    if (map->lutType == QEL_COLOR_MAP_INT_LUT)
        *c->lut = QEL_CopyIntColorLut(static_cast<const QelIntColorLut*>(held));
    else if (map->lutType == QEL_COLOR_MAP_FLOAT_LUT)
        *c->lut = QEL_CopyFloatColorLut(static_cast<const QelFloatColorLut*>(held));
    if ((map->lutType == QEL_COLOR_MAP_INT_LUT || map->lutType == QEL_COLOR_MAP_FLOAT_LUT) &&
        !*c->lut) {
        QEL_DeleteColorMap(c);
        return nullptr;
    }
    return c;
}

void QEL_DeleteColorMap(QelColorMap* map) {
    if (!map) return;
    if (map->lut && *map->lut) {
        if (map->lutType == QEL_COLOR_MAP_INT_LUT)
            QEL_DeleteIntColorLut(static_cast<QelIntColorLut*>(*map->lut));
        else if (map->lutType == QEL_COLOR_MAP_FLOAT_LUT)
            QEL_DeleteFloatColorLut(static_cast<QelFloatColorLut*>(*map->lut));
    }
    std::free(map->lut);
    std::free(map);
}
