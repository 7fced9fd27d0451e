// Test helpers: hand-built board payloads and exact-size heap copies of them.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

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

// A heap block of exactly the payload's size, so that the sanitizer catches any read
// past its end.
struct ExactBoard {
    explicit ExactBoard(const std::vector<unsigned char>& bytes, size_t len)
        : size(len) {
        data = static_cast<unsigned char*>(std::malloc(len ? len : 1));
        if (len) std::memcpy(data, bytes.data(), len);
    }
    explicit ExactBoard(const std::vector<unsigned char>& bytes) : ExactBoard(bytes, bytes.size()) {}
    ~ExactBoard() { std::free(data); }
    ExactBoard(const ExactBoard&) = delete;
    ExactBoard& operator=(const ExactBoard&) = delete;
    unsigned char* data;
    size_t size;
};

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
