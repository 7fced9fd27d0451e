// Helpers shared by the tests: a board on the heap of exactly its size, so that
// AddressSanitizer reports any read past its end.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace qeltest {

// A heap block of exactly n bytes holding a copy of the first n bytes of `from` (n may be 0).
class ExactBoard {
public:
    ExactBoard(const std::vector<uint8_t>& from, size_t n)
        : size_(n), data_(static_cast<uint8_t*>(std::malloc(n ? n : 1))) {
        if (n) std::memcpy(data_, from.data(), n);
    }
    explicit ExactBoard(const std::vector<uint8_t>& from) : ExactBoard(from, from.size()) {}
    ~ExactBoard() { std::free(data_); }
    ExactBoard(const ExactBoard&) = delete;
    ExactBoard& operator=(const ExactBoard&) = delete;
    uint8_t* data() { return data_; }
    size_t size() const { return size_; }

private:
    size_t size_;
    uint8_t* data_;
};

}  // namespace qeltest
