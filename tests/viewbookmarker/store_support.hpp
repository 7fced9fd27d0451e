// Shared by the bookmark tests: a fresh store per test and a private directory for files.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "programs/viewbookmarker/bookmark_store.h"

namespace bmtest {

struct Texts {
    std::string label, cursor, channel, greyscale, voi, view;
    bool operator==(const Texts&) const = default;
};

inline void set_field(char* field, const std::string& text) {
    ASSERT_LT(text.size(), size_t{BOOKMARK_FIELD_SIZE});
    std::memcpy(field, text.c_str(), text.size() + 1);
}

inline void put(int slot, const Texts& t) {
    ViewBookmark& b = bookmarks[slot];
    set_field(b.label, t.label);
    set_field(b.cursor, t.cursor);
    set_field(b.channel, t.channel);
    set_field(b.greyscale, t.greyscale);
    set_field(b.voi, t.voi);
    set_field(b.view, t.view);
}

inline Texts get(int slot) {
    const ViewBookmark& b = bookmarks[slot];
    return {b.label, b.cursor, b.channel, b.greyscale, b.voi, b.view};
}

// Every test starts from the program's initial store.
class Store : public ::testing::Test {
protected:
    void SetUp() override {
        std::memset(bookmarks, 0, sizeof bookmarks);
        bookmarkState = {};
        bookmarkState.untitled = 1;
        char name[] = "/tmp/qel-bookmarks-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir_ = name;
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    std::string file_with(const std::string& name, const std::string& content) const {
        const std::string p = path(name);
        std::ofstream out(p, std::ios::binary);
        out << content;
        return p;
    }
    static std::string content_of(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    std::filesystem::path dir_;
};

}  // namespace bmtest
