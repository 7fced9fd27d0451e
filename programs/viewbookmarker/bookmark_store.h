// The view-bookmark list: bookmarks kept as six text fields each, the codecs between those texts
// and host values, the bookmark text file, and the interpolation of a slot from its neighbours.
// Needs no GTK; the window code rebuilds its list itself after a read or an interpolation.
#pragma once
#include "volume/qel_geometry.h"
#include "volume/qel_units.h"

#define BOOKMARK_FIELD_SIZE 1024   // 1023 characters and the terminator
#define BOOKMARK_CAPACITY 256
#define BOOKMARK_NAME_SIZE 512     // the last opened file name, as the file dialog's buffer
#define BOOKMARK_NOT_RECORDED "---"
#define BOOKMARK_INTERPOLATED_LABEL "     :"
#define BOOKMARK_SEPARATOR "============================================"

// Every field is a terminated text; exactly "---" means that the field was not recorded.
struct ViewBookmark {
    char label[BOOKMARK_FIELD_SIZE];
    char cursor[BOOKMARK_FIELD_SIZE];     // "%d,%d,%d"
    char channel[BOOKMARK_FIELD_SIZE];    // "%d": channel ID + 1
    char greyscale[BOOKMARK_FIELD_SIZE];  // "%d,%d": lower, upper
    char voi[BOOKMARK_FIELD_SIZE];        // "%dx%dx%d %d,%d,%d": size, then origin
    char view[BOOKMARK_FIELD_SIZE];       // position, u, v, w, distance, angle with "%f"
};

// The program's one list: bookmark i is bookmarks[i] for 0 <= i < count. Fixed tables, so a
// bookmark never allocates; at start the list is empty, current 0, the untitled counter 1.
struct BookmarkState {
    int count;
    int current;   // the current row
    int untitled;  // the number of the next "untitled-%d" label
    char lastName[BOOKMARK_NAME_SIZE];  // set by a successful read only
};
extern ViewBookmark bookmarks[BOOKMARK_CAPACITY];
extern BookmarkState bookmarkState;

// 1 unless the field is exactly "---".
int IsFieldRecorded(const char* field);

// Formatting writes a terminated text into a field of BOOKMARK_FIELD_SIZE bytes. A float becomes
// an integer as every float stored into an int does: truncation, low 32 bits, 0 for NaN.
void FormatCursorField(char* field, const QelPoint3f* cursor);  // each (int)(v + 0.5)
void FormatChannelField(char* field, int channelId);             // ID + 1
void FormatGreyscaleField(char* field, const QelValueRange* window);
void FormatVoiField(char* field, const QelBox3i* voi);
// view: position, u, v, w, three floats each.
void FormatViewField(char* field, const float* view, float distance, float angle);

// A parse writes the values it could read, in text order, and leaves the others as they were;
// it returns how many it read (0 for a NULL argument).
int ParseCursorField(const char* field, QelPoint3f* cursor);
int ParseChannelField(const char* field, int* channelId);  // text - 1
int ParseGreyscaleField(const char* field, QelValueRange* window);
int ParseVoiField(const char* field, QelBox3i* voi);
int ParseViewField(const char* field, float* view, float* distance, float* angle);

// Writes count, then per bookmark the separator and the six fields, one line each. 0, or -1 when
// the file cannot be written (nothing printed). The last opened name does not change.
int WriteBookmarkFile(const char* path);
// Replaces the store by a bookmark file: current 0, untitled counter = the file's count + 1, at
// most 256 bookmarks. A longer line is cut to 1023 characters; fields missing from a short file
// are "---"; LF and CR LF line ends. 0, or -1 with "Invalid file.\n" when the file cannot be
// opened or holds no count before its first text (the store is then unchanged). White space
// around the count, blank lines included, is skipped: the separator is the next non-blank text.
int ReadBookmarkFile(const char* path);

// Fills slot k (1 <= k <= count - 2) from slots k-1 and k+1; -1 for any other k.
int InterpolateBookmark(int k);
// Doubles the list (count n -> 2n - 1), the old bookmarks in the even slots and interpolated
// ones between them; current is kept. 0 when the list was rebuilt, -1 when nothing was done
// (an empty list, or more than 128 bookmarks).
int InterpolateAllBookmarks(void);
