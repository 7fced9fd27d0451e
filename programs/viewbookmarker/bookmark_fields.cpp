// Text codecs of the bookmark fields. Bookmark files travel between machines, so numbers are
// always written and read with a dot, whatever locale the program runs in.
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <locale.h>

#include "programs/viewbookmarker/bookmark_locale.hpp"
#include "programs/viewbookmarker/bookmark_store.h"
#include "volume/qel_store.hpp"

namespace qel {

CNumericScope::CNumericScope() {
    // One "C" locale for the process; should it not exist, the thread's locale is used.
    static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    if (c_locale) previous_ = uselocale(c_locale);
}

CNumericScope::~CNumericScope() {
    if (previous_) uselocale(previous_);
}

}  // namespace qel

namespace {

int to_int(double x) { return qel::store_real<int32_t>(x); }

}  // namespace

int IsFieldRecorded(const char* field) {
    return field && std::strcmp(field, BOOKMARK_NOT_RECORDED) != 0 ? 1 : 0;
}

void FormatCursorField(char* field, const QelPoint3f* cursor) {
    if (!field || !cursor) return;
    // v + 0.5 in double is exact for every float, so 0.49999997 does not round up to 1.
    std::snprintf(field, BOOKMARK_FIELD_SIZE, "%d,%d,%d", to_int(cursor->x + 0.5),
                  to_int(cursor->y + 0.5), to_int(cursor->z + 0.5));
}

void FormatChannelField(char* field, int channelId) {
    if (!field) return;
    std::snprintf(field, BOOKMARK_FIELD_SIZE, "%d", qel::wrap_add(channelId, 1));
}

void FormatGreyscaleField(char* field, const QelValueRange* window) {
    if (!field || !window) return;
    std::snprintf(field, BOOKMARK_FIELD_SIZE, "%d,%d", to_int(window->min), to_int(window->max));
}

void FormatVoiField(char* field, const QelBox3i* voi) {
    if (!field || !voi || !voi->origin || !voi->size) return;
    std::snprintf(field, BOOKMARK_FIELD_SIZE, "%dx%dx%d %d,%d,%d", voi->size->nx, voi->size->ny,
                  voi->size->nz, voi->origin->x, voi->origin->y, voi->origin->z);
}

void FormatViewField(char* field, const float* view, float distance, float angle) {
    if (!field || !view) return;
    qel::CNumericScope c_numbers;
    std::snprintf(field, BOOKMARK_FIELD_SIZE, "%f,%f,%f %f,%f,%f %f,%f,%f %f,%f,%f %f %f",
                  view[0], view[1], view[2], view[3], view[4], view[5], view[6], view[7], view[8],
                  view[9], view[10], view[11], distance, angle);
}

// Each parse scans into copies of the destination's values, so what the text does not hold
// is written back unchanged.
int ParseCursorField(const char* field, QelPoint3f* cursor) {
    if (!field || !cursor) return 0;
    qel::CNumericScope c_numbers;
    float v[3] = {cursor->x, cursor->y, cursor->z};
    const int n = std::sscanf(field, "%f,%f,%f", &v[0], &v[1], &v[2]);
    *cursor = {v[0], v[1], v[2]};
    return n > 0 ? n : 0;
}

int ParseChannelField(const char* field, int* channelId) {
    if (!field || !channelId) return 0;
    int text = 0;
    if (std::sscanf(field, "%d", &text) != 1) return 0;
    *channelId = qel::wrap_add(text, -1);
    return 1;
}

int ParseGreyscaleField(const char* field, QelValueRange* window) {
    if (!field || !window) return 0;
    qel::CNumericScope c_numbers;
    float v[2] = {window->min, window->max};
    const int n = std::sscanf(field, "%f,%f", &v[0], &v[1]);
    window->min = v[0];
    window->max = v[1];
    return n > 0 ? n : 0;
}

int ParseVoiField(const char* field, QelBox3i* voi) {
    if (!field || !voi || !voi->origin || !voi->size) return 0;
    int v[6] = {voi->size->nx, voi->size->ny, voi->size->nz,
                voi->origin->x, voi->origin->y, voi->origin->z};
    const int n = std::sscanf(field, "%dx%dx%d %d,%d,%d", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]);
    *voi->size = {v[0], v[1], v[2]};
    *voi->origin = {v[3], v[4], v[5]};
    return n > 0 ? n : 0;
}

int ParseViewField(const char* field, float* view, float* distance, float* angle) {
    if (!field || !view || !distance || !angle) return 0;
    qel::CNumericScope c_numbers;
    float v[14];
    std::memcpy(v, view, 12 * sizeof(float));
    v[12] = *distance;
    v[13] = *angle;
    const int n = std::sscanf(field, "%f,%f,%f %f,%f,%f %f,%f,%f %f,%f,%f %f %f", &v[0], &v[1],
                              &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], &v[8], &v[9], &v[10],
                              &v[11], &v[12], &v[13]);
    std::memcpy(view, v, 12 * sizeof(float));
    *distance = v[12];
    *angle = v[13];
    return n > 0 ? n : 0;
}
