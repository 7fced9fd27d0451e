// The bookmark list, its text file and interpolation.
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "programs/viewbookmarker/bookmark_store.h"

ViewBookmark bookmarks[BOOKMARK_CAPACITY];
BookmarkState bookmarkState = {0, 0, 1, ""};

namespace {

ViewBookmark scratch[BOOKMARK_CAPACITY];

constexpr char (ViewBookmark::*kFields[])[BOOKMARK_FIELD_SIZE] = {
    &ViewBookmark::label, &ViewBookmark::cursor, &ViewBookmark::channel,
    &ViewBookmark::greyscale, &ViewBookmark::voi, &ViewBookmark::view};

// The count is a public field: no loop trusts it beyond the tables.
int held() {
    const int n = bookmarkState.count;
    return n < 0 ? 0 : n > BOOKMARK_CAPACITY ? BOOKMARK_CAPACITY : n;
}

void set_not_recorded(char* field) { std::strcpy(field, BOOKMARK_NOT_RECORDED); }

// Reads one line into a field, without its LF or CR LF end. A longer line is consumed whole and
// cut to 1023 characters, so the following fields stay in step. -1 when the file has ended.
int read_line(FILE* file, char* field) {
    size_t stored = 0;
    size_t length = 0;
    int last = 0;
    int c;
    while ((c = std::getc(file)) != EOF && c != '\n') {
        if (stored < BOOKMARK_FIELD_SIZE - 1) field[stored++] = static_cast<char>(c);
        ++length;
        last = c;
    }
    if (c == EOF && length == 0) return -1;
    if (last == '\r') --length;  // the CR of a CR LF end
    field[length < stored ? length : stored] = '\0';
    return 0;
}

bool is_white(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

int skip_white(FILE* file) {
    int c;
    while ((c = std::getc(file)) != EOF && is_white(c)) {
    }
    return c;
}

// The count is read as "%d\n" reads it: white space (blank lines too), a signed decimal number,
// then all white space after it, so the separator is the next text that is not white space. A
// number beyond 64 bits stops at the largest one. false when there is no number.
bool read_count(FILE* file, long long* count) {
    int c = skip_white(file);
    const bool negative = c == '-';
    if (c == '-' || c == '+') c = std::getc(file);
    if (c < '0' || c > '9') return false;
    unsigned long long value = 0;
    for (; c >= '0' && c <= '9'; c = std::getc(file)) {
        const unsigned digit = static_cast<unsigned>(c - '0');
        value = value > (ULLONG_MAX - digit) / 10 ? ULLONG_MAX : value * 10 + digit;
    }
    if (is_white(c)) c = skip_white(file);
    if (c != EOF) std::ungetc(c, file);
    const long long magnitude = value > LLONG_MAX ? LLONG_MAX : static_cast<long long>(value);
    *count = negative ? -magnitude : magnitude;
    return true;
}

void mid_cursor(const char* a, const char* b, char* out) {
    QelPoint3f pa{}, pb{};
    if (ParseCursorField(a, &pa) != 3 || ParseCursorField(b, &pb) != 3) return set_not_recorded(out);
    const QelPoint3f mid{(pa.x + pb.x) * 0.5f, (pa.y + pb.y) * 0.5f, (pa.z + pb.z) * 0.5f};
    FormatCursorField(out, &mid);
}

// Integer means in 64 bits: the division truncates toward zero and cannot overflow.
int mid_int(int a, int b) { return static_cast<int>((static_cast<int64_t>(a) + b) / 2); }

void mid_channel(const char* a, const char* b, char* out) {
    int ia = 0, ib = 0;
    if (ParseChannelField(a, &ia) != 1 || ParseChannelField(b, &ib) != 1) return set_not_recorded(out);
    FormatChannelField(out, mid_int(ia, ib));
}

void mid_greyscale(const char* a, const char* b, char* out) {
    QelValueRange ga{}, gb{};
    if (ParseGreyscaleField(a, &ga) != 2 || ParseGreyscaleField(b, &gb) != 2) return set_not_recorded(out);
    const QelValueRange mid{(ga.min + gb.min) * 0.5f, (ga.max + gb.max) * 0.5f};
    FormatGreyscaleField(out, &mid);
}

void mid_voi(const char* a, const char* b, char* out) {
    QelPoint3i oa{}, ob{};
    QelSize3i sa{}, sb{};
    QelBox3i ba{&oa, &sa}, bb{&ob, &sb};
    if (ParseVoiField(a, &ba) != 6 || ParseVoiField(b, &bb) != 6) return set_not_recorded(out);
    QelPoint3i origin{mid_int(oa.x, ob.x), mid_int(oa.y, ob.y), mid_int(oa.z, ob.z)};
    QelSize3i size{mid_int(sa.nx, sb.nx), mid_int(sa.ny, sb.ny), mid_int(sa.nz, sb.nz)};
    const QelBox3i mid{&origin, &size};
    FormatVoiField(out, &mid);
}

struct View {
    QelPoint3f p, u, v, w;
    float d, angle;
};

bool parse_view(const char* text, View* view) {
    float f[12] = {};
    float d = 0.0f, angle = 0.0f;
    if (ParseViewField(text, f, &d, &angle) != 14) return false;
    *view = {{f[0], f[1], f[2]}, {f[3], f[4], f[5]}, {f[6], f[7], f[8]}, {f[9], f[10], f[11]}, d, angle};
    return true;
}

QelPoint3f mean(const QelPoint3f& a, const QelPoint3f& b) {
    return {(a.x + b.x) * 0.5f, (a.y + b.y) * 0.5f, (a.z + b.z) * 0.5f};
}

QelPoint3f rotation_centre(const View& s) {
    return {s.p.x + s.d * s.w.x, s.p.y + s.d * s.w.y, s.p.z + s.d * s.w.z};
}

bool usable_length(float r) { return r > 0.0f && std::isfinite(r); }

// The mid view turns about the mean of the two rotation centres. Opposite view directions or an
// up vector along the view direction leave no frame to write: the field is then "---".
void mid_view(const char* a, const char* b, char* out) {
    View va{}, vb{};
    if (!parse_view(a, &va) || !parse_view(b, &vb)) return set_not_recorded(out);
    const QelPoint3f c = mean(rotation_centre(va), rotation_centre(vb));
    const float d = (va.d + vb.d) * 0.5f;
    QelPoint3f w = mean(va.w, vb.w);
    const float w_length = QEL_Normalize3f(&w);
    const QelPoint3f p{c.x - d * w.x, c.y - d * w.y, c.z - d * w.z};
    QelPoint3f u = mean(va.u, vb.u);
    QEL_Normalize3f(&u);
    const float along = QEL_Dot3f(&u, &w);
    u = {u.x - along * w.x, u.y - along * w.y, u.z - along * w.z};
    const float u_length = QEL_Normalize3f(&u);
    QelPoint3f v;
    QEL_Cross3f(&u, &w, &v);
    const float v_length = QEL_Normalize3f(&v);
    const float angle = (va.angle + vb.angle) * 0.5f;
    const float result[14] = {p.x, p.y, p.z, u.x, u.y, u.z, v.x, v.y, v.z, w.x, w.y, w.z, d, angle};
    bool finite = usable_length(w_length) && usable_length(u_length) && usable_length(v_length);
    for (float x : result) finite = finite && std::isfinite(x);
    if (!finite) return set_not_recorded(out);
    FormatViewField(out, result, d, angle);
}

// A field missing from either neighbour is missing from the mid bookmark too.
void interpolate_field(const char* a, const char* b, char* out, void (*mid)(const char*, const char*, char*)) {
    if (IsFieldRecorded(a) && IsFieldRecorded(b)) mid(a, b, out);
    else set_not_recorded(out);
}

}  // namespace

int WriteBookmarkFile(const char* path) {
    if (!path) return -1;
    FILE* file = std::fopen(path, "w");
    if (!file) return -1;
    const int n = held();
    std::fprintf(file, "%d\n", n);
    for (int i = 0; i < n; ++i) {
        std::fprintf(file, "%s\n", BOOKMARK_SEPARATOR);
        for (auto field : kFields) std::fprintf(file, "%.1023s\n", bookmarks[i].*field);
    }
    const bool failed = std::ferror(file) != 0;
    return std::fclose(file) != 0 || failed ? -1 : 0;
}

int ReadBookmarkFile(const char* path) {
    FILE* file = path ? std::fopen(path, "r") : nullptr;
    char line[BOOKMARK_FIELD_SIZE];
    long long count = 0;
    if (!file || !read_count(file, &count)) {
        if (file) std::fclose(file);
        std::fprintf(stderr, "Invalid file.\n");
        return -1;
    }
    bookmarkState.current = 0;
    // The counter follows the file's own count, even beyond what the list can hold.
    bookmarkState.untitled = count < 0 ? 1 : count >= INT_MAX ? INT_MAX : static_cast<int>(count) + 1;
    bookmarkState.count = count < 0 ? 0 : count > BOOKMARK_CAPACITY ? BOOKMARK_CAPACITY : static_cast<int>(count);
    bool ended = false;
    for (int i = 0; i < bookmarkState.count; ++i) {
        ended = ended || read_line(file, line) != 0;  // the separator; its text is not checked
        for (auto field : kFields) {
            char* text = bookmarks[i].*field;
            ended = ended || read_line(file, text) != 0;
            if (ended) set_not_recorded(text);
        }
    }
    std::fclose(file);
    std::snprintf(bookmarkState.lastName, sizeof bookmarkState.lastName, "%s", path);
    return 0;
}

int InterpolateBookmark(int k) {
    if (k < 1 || k > held() - 2) return -1;
    const ViewBookmark& a = bookmarks[k - 1];
    const ViewBookmark& b = bookmarks[k + 1];
    ViewBookmark& out = bookmarks[k];
    interpolate_field(a.cursor, b.cursor, out.cursor, mid_cursor);
    interpolate_field(a.channel, b.channel, out.channel, mid_channel);
    interpolate_field(a.greyscale, b.greyscale, out.greyscale, mid_greyscale);
    interpolate_field(a.voi, b.voi, out.voi, mid_voi);
    interpolate_field(a.view, b.view, out.view, mid_view);
    std::strcpy(out.label, BOOKMARK_INTERPOLATED_LABEL);
    return 0;
}

int InterpolateAllBookmarks(void) {
    const int n = held();
    if (n == 0) return -1;
    const int m = 2 * n - 1;
    if (m > BOOKMARK_CAPACITY) return -1;
    std::memcpy(scratch, bookmarks, static_cast<size_t>(n) * sizeof(ViewBookmark));
    for (int i = 0; i < n; ++i) bookmarks[2 * i] = scratch[i];
    bookmarkState.count = m;
    for (int k = 1; k < m; k += 2) InterpolateBookmark(k);
    return 0;
}
