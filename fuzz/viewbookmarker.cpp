// The bookmark file reader of viewbookmarker, on any bytes, and the field parsers and the
// interpolation that then work on what it read. What was read is written and read again to
// the same fields; only a CR that ended a field is lost, as the line end it then looks like.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.hpp"
#include "programs/viewbookmarker/bookmark_store.h"

namespace {

// Every field through its parser, as a replay of the bookmark would.
void parse_all() {
    for (int i = 0; i < bookmarkState.count; ++i) {
        const ViewBookmark& b = bookmarks[i];
        QelPoint3f cursor{};
        ParseCursorField(b.cursor, &cursor);
        int channel = 0;
        ParseChannelField(b.channel, &channel);
        QelValueRange window{};
        ParseGreyscaleField(b.greyscale, &window);
        QelPoint3i origin{};
        QelSize3i size{};
        QelBox3i voi{&origin, &size};
        ParseVoiField(b.voi, &voi);
        float view[12] = {}, distance = 0.0f, angle = 0.0f;
        ParseViewField(b.view, view, &distance, &angle);
    }
}

// Field i of the store as a text, less one CR at its end.
std::string settled(const char* field) {
    std::string text(field);
    if (!text.empty() && text.back() == '\r') text.pop_back();
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzz::MemFile in("bookmarks-in"), out("bookmarks-out");
    in.set(data, size);
    bookmarkState.count = 0;
    if (ReadBookmarkFile(in.path()) != 0) return 0;
    fuzz::check(bookmarkState.count >= 0 && bookmarkState.count <= BOOKMARK_CAPACITY, "the list stays in its table");
    parse_all();
    const int count = bookmarkState.count;
    std::vector<ViewBookmark> read(bookmarks, bookmarks + count);
    fuzz::check(WriteBookmarkFile(out.path()) == 0, "a store that was read can be written");
    bookmarkState.count = 0;
    fuzz::check(ReadBookmarkFile(out.path()) == 0 && bookmarkState.count == count, "a written file reads");
    for (int i = 0; i < count; ++i)
        for (auto field : {&ViewBookmark::label, &ViewBookmark::cursor, &ViewBookmark::channel,
                           &ViewBookmark::greyscale, &ViewBookmark::voi, &ViewBookmark::view})
            fuzz::check(settled(read[i].*field) == bookmarks[i].*field, "a written file reads back the same fields");
    InterpolateAllBookmarks();
    parse_all();
    return 0;
}
