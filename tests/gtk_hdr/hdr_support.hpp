// Helpers of the ANALYZE program tests: header files written byte by byte at the published
// offsets, independently of the library's header code.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "analyze/analyze_support.hpp"

namespace hdrtest {

using analyzetest::ScratchDir;
using analyzetest::Volume;

template <class T>
void put(std::vector<unsigned char>& bytes, size_t offset, T value) {
    std::memcpy(bytes.data() + offset, &value, sizeof value);
}

template <class T>
T get(const std::vector<unsigned char>& bytes, size_t offset) {
    T value{};
    if (offset + sizeof value <= bytes.size()) std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

struct HeaderFields {
    int16_t dim[5] = {4, 1, 1, 1, 1};
    int16_t datatype = 2;
    float pixdim[3] = {1.0f, 1.0f, 1.0f};
    float voxOffset = 0.0f;
};

// 348 bytes: dim at 40, datatype 70, bitpix 72, pixdim[1..3] at 80, vox_offset at 108.
inline std::vector<unsigned char> header_bytes(const HeaderFields& h) {
    std::vector<unsigned char> b(348, 0);
    put<int32_t>(b, 0, 348);
    for (int i = 0; i < 5; ++i) put<int16_t>(b, 40 + 2 * i, h.dim[i]);
    put<int16_t>(b, 70, h.datatype);
    for (int i = 0; i < 3; ++i) put<float>(b, 80 + 4 * i, h.pixdim[i]);
    put<float>(b, 108, h.voxOffset);
    return b;
}

}  // namespace hdrtest
