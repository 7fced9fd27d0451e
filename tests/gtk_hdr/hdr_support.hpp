// Helpers of the ANALYZE program tests: header files written byte by byte at the published
// offsets, independently of the library's header code, and the turn between file and host.
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

// Channel c's block with every voxel (x, y, z) taken from (x, ny - 1 - y, nz - 1 - z): the file
// bytes of a host channel and the host bytes of a file channel (the turn is its own inverse).
inline std::vector<unsigned char> turned_bytes(const QelRawVolumeData* v, int c) {
    const int w = analyzetest::width_of(v->unit[c]);
    const int nx = v->size->nx, ny = v->size->ny, nz = v->size->nz;
    std::vector<unsigned char> out;
    for (int z = 0; z < nz; ++z)
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x) {
                const uint64_t bits = analyzetest::voxel(v, c, x, ny - 1 - y, nz - 1 - z);
                const auto* p = reinterpret_cast<const unsigned char*>(&bits);
                out.insert(out.end(), p, p + w);
            }
    return out;
}

}  // namespace hdrtest
