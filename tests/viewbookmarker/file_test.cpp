// The bookmark text file: exact bytes, round trips and hostile files.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "store_support.hpp"
#include "support/capture.hpp"

namespace {

using bmtest::get;
using bmtest::put;
using bmtest::Texts;
using BookmarkFile = bmtest::Store;

const std::string kSeparator(44, '=');

const Texts kFirst{"untitled-1", "10,11,0", "1", "0,255", "10x20x30 1,2,3",
                   "1.000000,2.000000,3.000000 1.000000,0.000000,0.000000 0.000000,1.000000,0.000000 "
                   "0.000000,0.000000,1.000000 100.000000 30.000000"};
const Texts kSecond{"my view", "---", "3", "---", "---", "---"};

std::string file_of(const std::vector<Texts>& slots, const std::string& end = "\n") {
    std::string s = std::to_string(slots.size()) + end;
    for (const Texts& t : slots) {
        s += kSeparator + end;
        for (const std::string* f : {&t.label, &t.cursor, &t.channel, &t.greyscale, &t.voi, &t.view}) {
            s += *f + end;
        }
    }
    return s;
}

// A snapshot of the whole store, to show that a refused file changes nothing.
std::vector<char> snapshot() {
    std::vector<char> s(sizeof bookmarks + sizeof bookmarkState);
    std::memcpy(s.data(), bookmarks, sizeof bookmarks);
    std::memcpy(s.data() + sizeof bookmarks, &bookmarkState, sizeof bookmarkState);
    return s;
}

TEST_F(BookmarkFile, WritesExactBytesAndReadsThemBack) {
    put(0, kFirst);
    put(1, kSecond);
    bookmarkState.count = 2;
    bookmarkState.current = 1;
    bookmarkState.untitled = 9;
    const std::string name = path("two.txt");
    ASSERT_EQ(WriteBookmarkFile(name.c_str()), 0);
    EXPECT_EQ(content_of(name), file_of({kFirst, kSecond}));
    EXPECT_STREQ(bookmarkState.lastName, "");  // saving does not make it the last opened file

    put(0, kSecond);
    put(1, kFirst);
    put(2, kFirst);
    bookmarkState.count = 3;
    qeltest::StderrCapture err;
    ASSERT_EQ(ReadBookmarkFile(name.c_str()), 0);
    EXPECT_EQ(err.stop(), "");
    EXPECT_EQ(bookmarkState.count, 2);
    EXPECT_EQ(bookmarkState.current, 0);
    EXPECT_EQ(bookmarkState.untitled, 3);
    EXPECT_STREQ(bookmarkState.lastName, name.c_str());
    EXPECT_EQ(get(0), kFirst);
    EXPECT_EQ(get(1), kSecond);

    // An existing file is replaced; an empty list is its count alone.
    bookmarkState.count = 0;
    ASSERT_EQ(WriteBookmarkFile(name.c_str()), 0);
    EXPECT_EQ(content_of(name), "0\n");
}

TEST_F(BookmarkFile, FullListOfLongRandomFieldsSurvivesWriteAndRead) {
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> length(0, 1023);
    std::uniform_int_distribution<int> printable(' ', '~');
    std::vector<Texts> written;
    for (int i = 0; i < BOOKMARK_CAPACITY; ++i) {
        Texts t;
        for (std::string* f : {&t.label, &t.cursor, &t.channel, &t.greyscale, &t.voi, &t.view}) {
            f->resize(static_cast<size_t>(i == 0 ? 1023 : length(rng)));
            for (char& c : *f) c = static_cast<char>(printable(rng));
        }
        put(i, t);
        written.push_back(t);
    }
    bookmarkState.count = BOOKMARK_CAPACITY;
    const std::string first = path("first.txt"), second = path("second.txt");
    ASSERT_EQ(WriteBookmarkFile(first.c_str()), 0);
    EXPECT_EQ(content_of(first), file_of(written));

    std::memset(bookmarks, 0, sizeof bookmarks);
    ASSERT_EQ(ReadBookmarkFile(first.c_str()), 0);
    ASSERT_EQ(bookmarkState.count, BOOKMARK_CAPACITY);
    EXPECT_EQ(bookmarkState.untitled, BOOKMARK_CAPACITY + 1);
    for (int i = 0; i < BOOKMARK_CAPACITY; ++i) ASSERT_EQ(get(i), written[static_cast<size_t>(i)]) << i;
    ASSERT_EQ(WriteBookmarkFile(second.c_str()), 0);
    EXPECT_EQ(content_of(second), content_of(first));
}

TEST_F(BookmarkFile, MissingOrUnwritableFilesChangeNothing) {
    put(0, kFirst);
    bookmarkState = {1, 0, 2, "before"};
    const std::vector<char> before = snapshot();
    {
        qeltest::StderrCapture err;
        EXPECT_EQ(ReadBookmarkFile(path("absent.txt").c_str()), -1);
        EXPECT_EQ(err.stop(), "Invalid file.\n");
    }
    {
        qeltest::StderrCapture err;
        EXPECT_EQ(ReadBookmarkFile(nullptr), -1);
        EXPECT_EQ(err.stop(), "Invalid file.\n");
    }
    EXPECT_EQ(snapshot(), before);

    qeltest::StderrCapture err;
    EXPECT_EQ(WriteBookmarkFile(path("no/such/dir.txt").c_str()), -1);
    EXPECT_EQ(WriteBookmarkFile(dir_.c_str()), -1);
    EXPECT_EQ(err.stop(), "");
    EXPECT_FALSE(std::filesystem::exists(path("no")));
    EXPECT_EQ(snapshot(), before);
}

TEST_F(BookmarkFile, CountLineWithoutANumberIsRefused) {
    put(0, kFirst);
    bookmarkState = {1, 0, 2, "before"};
    const std::vector<char> before = snapshot();
    for (const std::string& content : {std::string(), std::string(" \n\n"), std::string("abc\n"),
                                       std::string("---\n") + kSeparator + "\n"}) {
        qeltest::StderrCapture err;
        EXPECT_EQ(ReadBookmarkFile(file_with("bad.txt", content).c_str()), -1) << content;
        EXPECT_EQ(err.stop(), "Invalid file.\n");
        EXPECT_EQ(snapshot(), before) << content;
    }
}

TEST_F(BookmarkFile, CountIsClampedButSetsTheUntitledCounter) {
    std::vector<Texts> many;
    for (int i = 0; i < 300; ++i) many.push_back({"b" + std::to_string(i), "1,1,1", "1", "0,1", "---", "---"});
    ASSERT_EQ(ReadBookmarkFile(file_with("300.txt", file_of(many)).c_str()), 0);
    EXPECT_EQ(bookmarkState.count, 256);
    EXPECT_EQ(bookmarkState.untitled, 301);
    EXPECT_EQ(get(255), many[255]);

    bookmarkState.current = 5;
    ASSERT_EQ(ReadBookmarkFile(file_with("neg.txt", "-4\n").c_str()), 0);
    EXPECT_EQ(bookmarkState.count, 0);
    EXPECT_EQ(bookmarkState.current, 0);
    EXPECT_EQ(bookmarkState.untitled, 1);

    // Counts beyond int stop at the largest counter instead of overflowing.
    ASSERT_EQ(ReadBookmarkFile(file_with("huge.txt", "99999999999999999999\n").c_str()), 0);
    EXPECT_EQ(bookmarkState.count, 256);
    EXPECT_EQ(bookmarkState.untitled, INT_MAX);
    EXPECT_EQ(get(0), (Texts{"---", "---", "---", "---", "---", "---"}));

    // The count is read as "%d\n": white space before it and after it, blank lines included, is
    // skipped, so the separator is the next text; text right after the number is that separator.
    const std::string body = file_of({kFirst}).substr(2);
    for (const std::string& head : {std::string("\n\n  1 \r\n\r\n\n"), std::string("+1\t"), std::string("1")}) {
        ASSERT_EQ(ReadBookmarkFile(file_with("loose.txt", head + body).c_str()), 0) << head;
        EXPECT_EQ(bookmarkState.count, 1);
        EXPECT_EQ(get(0), kFirst) << head;
    }
    ASSERT_EQ(ReadBookmarkFile(file_with("glued.txt", "1 sep\n" + body.substr(kSeparator.size() + 1)).c_str()), 0);
    EXPECT_EQ(get(0), kFirst);
}

TEST_F(BookmarkFile, SeparatorLinesMayHoldAnything) {
    std::string content = file_of({kFirst, kSecond, kFirst, kSecond});
    // The first one is not blank: white space after the count is skipped up to the next text.
    const std::vector<std::string> separators{"= = =", "", "   ", std::string(5000, '#')};
    size_t at = 0;
    for (const std::string& s : separators) {
        at = content.find(kSeparator, at);
        content.replace(at, kSeparator.size(), s);
        at += s.size();
    }
    ASSERT_EQ(ReadBookmarkFile(file_with("sep.txt", content).c_str()), 0);
    ASSERT_EQ(bookmarkState.count, 4);
    EXPECT_EQ(get(0), kFirst);
    EXPECT_EQ(get(1), kSecond);
    EXPECT_EQ(get(2), kFirst);
    EXPECT_EQ(get(3), kSecond);
}

TEST_F(BookmarkFile, LongLinesAreCutAndLaterFieldsStayInStep) {
    for (const std::string end : {"\n", "\r\n"}) {
        for (size_t length : {size_t{1022}, size_t{1023}, size_t{1024}, size_t{1025}, size_t{5000}}) {
            std::string label(length, 'a');
            label[0] = 'A';
            label[1022] = 'Z';  // the last character kept
            const Texts t{label, "1,2,3", "2", std::string(length, 'g'), "1x1x1 0,0,0", "---"};
            ASSERT_EQ(ReadBookmarkFile(file_with("long.txt", file_of({t, kSecond}, end)).c_str()), 0);
            ASSERT_EQ(bookmarkState.count, 2);
            const Texts back = get(0);
            EXPECT_EQ(back.label, label.substr(0, 1023)) << length;
            EXPECT_EQ(back.greyscale, std::string(std::min<size_t>(length, 1023), 'g')) << length;
            EXPECT_EQ(back.cursor, "1,2,3");
            EXPECT_EQ(back.voi, "1x1x1 0,0,0");
            EXPECT_EQ(get(1), kSecond) << length;
        }
    }
}

TEST_F(BookmarkFile, CrLfFilesReadAsLfFiles) {
    ASSERT_EQ(ReadBookmarkFile(file_with("crlf.txt", file_of({kFirst, kSecond}, "\r\n")).c_str()), 0);
    ASSERT_EQ(bookmarkState.count, 2);
    EXPECT_EQ(get(0), kFirst);
    EXPECT_EQ(get(1), kSecond);

    // Only a CR right before the line end belongs to it.
    const Texts inner{"a\rb", "\r1,2,3", "1", "0,1", "---", "---"};
    ASSERT_EQ(ReadBookmarkFile(file_with("inner.txt", file_of({inner}, "\r\n")).c_str()), 0);
    EXPECT_EQ(get(0), inner);
}

TEST_F(BookmarkFile, FileEndingEarlyLeavesMissingFieldsNotRecorded) {
    const Texts none{"---", "---", "---", "---", "---", "---"};
    std::string content = file_of({kFirst, kSecond});
    content.replace(0, 1, "4");
    // Cut inside the second bookmark, after its channel line, dropping the final line end too.
    const size_t cut = content.find("\n3\n") + 2;
    ASSERT_EQ(ReadBookmarkFile(file_with("short.txt", content.substr(0, cut)).c_str()), 0);
    EXPECT_EQ(bookmarkState.count, 4);
    EXPECT_EQ(bookmarkState.untitled, 5);
    EXPECT_EQ(get(0), kFirst);
    EXPECT_EQ(get(1), (Texts{"my view", "---", "3", "---", "---", "---"}));
    EXPECT_EQ(get(2), none);
    EXPECT_EQ(get(3), none);

    // An empty last line before the end of the file is an empty field, not a missing one.
    const std::string blank = "1\n" + kSeparator + "\nlabel\n\n";
    ASSERT_EQ(ReadBookmarkFile(file_with("blank.txt", blank).c_str()), 0);
    EXPECT_EQ(get(0), (Texts{"label", "", "---", "---", "---", "---"}));

    // A count alone, without even its line end.
    ASSERT_EQ(ReadBookmarkFile(file_with("bare.txt", "2").c_str()), 0);
    EXPECT_EQ(bookmarkState.count, 2);
    EXPECT_EQ(get(0), none);
    EXPECT_EQ(get(1), none);
}

}  // namespace
