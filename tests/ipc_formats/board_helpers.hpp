// Helpers of the board-format tests: expected payloads written byte by byte, boards on the
// heap of exactly their size (so that ASan sees every read past the end), guarded pack
// targets and records filled with awkward bit patterns.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "ipc/qel_board_formats.h"
#include "support/exact_board.hpp"
#include "support/records.hpp"

namespace formats_test {

// An expected payload, appended field by field in board order.
struct Golden {
    std::vector<uint8_t> bytes;

    // A header word, little-endian, by shifts (independent of the host's memory order).
    Golden& word(int32_t v) {
        const uint32_t u = static_cast<uint32_t>(v);
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(u >> (8 * i)));
        return *this;
    }
    // One element of `width` bytes holding the low bits of `bits`, little-endian.
    Golden& element(uint64_t bits, int width) {
        for (int i = 0; i < width; ++i) bytes.push_back(static_cast<uint8_t>(bits >> (8 * i)));
        return *this;
    }
    size_t size() const { return bytes.size(); }
};

using qeltest::ExactBoard;

constexpr size_t kGuard = 32;
constexpr uint8_t kGuardByte = 0xA5;

// A pack target of `size` bytes followed by guard bytes that packing must leave alone.
class GuardedBoard {
public:
    explicit GuardedBoard(size_t size) : size_(size), bytes_(size + kGuard, kGuardByte) {}
    void* data() { return bytes_.data(); }
    // The first `size` bytes, i.e. the payload.
    std::vector<uint8_t> payload() const {
        return std::vector<uint8_t>(bytes_.begin(), bytes_.begin() + size_);
    }
    bool guard_intact() const {
        for (size_t i = size_; i < bytes_.size(); ++i)
            if (bytes_[i] != kGuardByte) return false;
        return true;
    }
    bool untouched() const {
        for (uint8_t b : bytes_)
            if (b != kGuardByte) return false;
        return true;
    }

private:
    size_t size_;
    std::vector<uint8_t> bytes_;
};

using qeltest::VolumePtr;
using qeltest::ImagePtr;

// Raw bit patterns per unit that a copy through a float or integer register could alter:
// NaNs with payloads (quiet and signalling), -0.0, denormals, infinities, extreme integers.
std::vector<uint64_t> odd_patterns(int unit);

// Element i of a channel block, as its raw bits.
uint64_t element_bits(const void* block, int unit, int64_t i);
void set_element_bits(void* block, int unit, int64_t i, uint64_t bits);

// Fills every element of a block of `count` elements: first the odd patterns, then a
// mixing sequence that gives each byte position varied values.
void fill_odd(void* block, int unit, int64_t count, uint64_t seed);

// Appends a block's elements to a golden payload.
void append_block(Golden& g, const void* block, int unit, int64_t count);

// True when the first n bytes agree (n may be 0, with blocks that may be NULL).
inline bool same_block(const void* a, const void* b, int64_t n) {
    return n <= 0 || std::memcmp(a, b, static_cast<size_t>(n)) == 0;
}

// Bytes of one element of a unit (0 for invalid units), independent of the library.
int unit_width(int unit);

}  // namespace formats_test
