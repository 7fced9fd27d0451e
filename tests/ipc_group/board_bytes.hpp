// Test helpers: hand-built board payloads and words read back from packed ones.
#pragma once
#include <cstdint>
#include <cstring>
#include <vector>

#include "support/exact_board.hpp"

namespace boardtest {

// Appends words exactly as the board layout lists them (little-endian, no padding).
struct Bytes {
    std::vector<unsigned char> b;
    Bytes& i32(int32_t v) {
        unsigned char w[4];
        std::memcpy(w, &v, 4);
        b.insert(b.end(), w, w + 4);
        return *this;
    }
    Bytes& f32(float v) {
        int32_t w;
        std::memcpy(&w, &v, 4);
        return i32(w);
    }
    Bytes& u8(unsigned char v) {
        b.push_back(v);
        return *this;
    }
    Bytes& point(float x, float y, float z) { return f32(x).f32(y).f32(z); }
    Bytes& append(const Bytes& o) {
        b.insert(b.end(), o.b.begin(), o.b.end());
        return *this;
    }
    size_t size() const { return b.size(); }
};

using qeltest::ExactBoard;

inline int32_t word_at(const unsigned char* p, size_t off) {
    int32_t v;
    std::memcpy(&v, p + off, 4);
    return v;
}

inline float float_at(const unsigned char* p, size_t off) {
    float v;
    std::memcpy(&v, p + off, 4);
    return v;
}

}  // namespace boardtest
