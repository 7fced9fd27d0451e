// RGBA colours, colour tables keyed by integer or float values, and the integer and
// float colour look-up tables with their holder.
#pragma once
#include "volume/qel_units.h"

// One RGBA colour; components are stored unchanged (group members use 0..1).
struct QelColor { float r, g, b, a; };

#define QEL_COLOR_TABLE_INT_KEYS 0
#define QEL_COLOR_TABLE_FLOAT_KEYS 1

// Entries 0..count-1 are in use, in the order they were added. keys holds int or float
// words according to keyType; every one of the capacity colours belongs to the table.
struct QelColorTable {
    int count;
    int capacity;
    int keyType;
    void* keys;
    QelColor** colours;
};

// Colours of the indices first..first+n-1. The four arrays are addressed by the index
// itself: red[first] is the first allocated element.
struct QelIntColorLut {
    int n;
    QelIntRange* indexRange;
    QelValueRange* redRange;
    QelValueRange* greenRange;
    QelValueRange* blueRange;
    QelValueRange* alphaRange;
    float* red;
    float* green;
    float* blue;
    float* alpha;
};

// n colours spread evenly over valueRange; entry = trunc(x * scale + offset).
struct QelFloatColorLut {
    int n;
    QelValueRange* valueRange;
    float scale;
    float offset;
    float* red;
    float* green;
    float* blue;
    float* alpha;
};

#define QEL_COLOR_MAP_INT_LUT 0
#define QEL_COLOR_MAP_FLOAT_LUT 1

// Holder of one look-up table of either kind; *lut is NULL while empty.
struct QelColorMap {
    int lutType;
    void** lut;
};

QelColor* QEL_NewColor(float r, float g, float b, float a);
QelColor* QEL_CopyColor(const QelColor* c);
void QEL_DeleteColor(QelColor* c);

QelColorTable* QEL_NewColorTable(int capacity, int keyType);
QelColorTable* QEL_CopyColorTable(const QelColorTable* table);
void QEL_DeleteColorTable(QelColorTable* table);
int QEL_AddColorTableEntry(QelColorTable* table, const QelColor* colour, const void* key);
int QEL_RemoveColorTableEntry(QelColorTable* table, const void* key);

QelIntColorLut* QEL_NewIntColorLut(int first, int n);
QelIntColorLut* QEL_NewLabelColorLut(int first, int n);
QelIntColorLut* QEL_NewIntColorLutFromTable(const QelColorTable* table);
QelIntColorLut* QEL_CopyIntColorLut(const QelIntColorLut* lut);
void QEL_DeleteIntColorLut(QelIntColorLut* lut);
void QEL_GetIntLutColor(const QelIntColorLut* lut, int index, QelColor* out);
void QEL_GetIntLutRgb(const QelIntColorLut* lut, int index, float* r, float* g, float* b);
void QEL_GetIntLutRgba(const QelIntColorLut* lut, int index, float* r, float* g, float* b,
                       float* a);
void QEL_GetIntLutColorClamped(const QelIntColorLut* lut, int index, QelColor* out);
void QEL_GetIntLutRgbClamped(const QelIntColorLut* lut, int index, float* r, float* g, float* b);
void QEL_GetIntLutRgbaClamped(const QelIntColorLut* lut, int index, float* r, float* g, float* b,
                              float* a);

QelFloatColorLut* QEL_NewFloatColorLut(const QelValueRange* range, int n);
QelFloatColorLut* QEL_NewFloatColorLutFromTable(const QelColorTable* table, int n);
QelFloatColorLut* QEL_CopyFloatColorLut(const QelFloatColorLut* lut);
void QEL_DeleteFloatColorLut(QelFloatColorLut* lut);
void QEL_GetFloatLutColor(const QelFloatColorLut* lut, float x, QelColor* out);
void QEL_GetFloatLutRgb(const QelFloatColorLut* lut, float x, float* r, float* g, float* b);
void QEL_GetFloatLutRgba(const QelFloatColorLut* lut, float x, float* r, float* g, float* b,
                         float* a);
void QEL_GetFloatLutColorClamped(const QelFloatColorLut* lut, float x, QelColor* out);
void QEL_GetFloatLutRgbClamped(const QelFloatColorLut* lut, float x, float* r, float* g,
                               float* b);
void QEL_GetFloatLutRgbaClamped(const QelFloatColorLut* lut, float x, float* r, float* g,
                                float* b, float* a);

QelColorMap* QEL_NewColorMap(int lutType);
QelColorMap* QEL_CopyColorMap(const QelColorMap* map);
void QEL_DeleteColorMap(QelColorMap* map);
