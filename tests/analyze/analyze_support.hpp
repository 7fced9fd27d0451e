// Helpers of the ANALYZE and rotation tests: random multi-unit volumes, voxel access by raw
// bits (so that every unit, NaN patterns included, compares exactly), and a scratch directory.
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "support/records.hpp"
#include "volume/qel_volume.h"

namespace analyzetest {

// Element widths of units 0..7, written out here rather than taken from the library.
inline int width_of(int unit) {
    static const int widths[8] = {1, 1, 2, 2, 4, 4, 4, 8};
    return unit >= 0 && unit < 8 ? widths[unit] : 0;
}

using Volume = qeltest::VolumePtr;

inline int64_t voxel_count(const QelRawVolumeData* v) {
    return int64_t(v->size->nx) * v->size->ny * v->size->nz;
}

// A volume whose every byte is random.
inline Volume random_volume(int nx, int ny, int nz, const std::vector<int>& units, uint32_t seed,
                            const std::vector<int>& attributes = {}) {
    std::vector<int> attr = attributes.empty() ? std::vector<int>(units.size(), 0) : attributes;
    QelSize4i size{nx, ny, nz, static_cast<int>(units.size())};
    Volume v(QEL_NewRawVolumeData(&size, units.data(), attr.data()));
    if (!v) return v;
    std::mt19937 rng(seed);
    for (size_t c = 0; c < units.size(); ++c) {
        auto* p = static_cast<unsigned char*>(v->data[c]);
        for (int64_t i = 0; i < voxel_count(v.get()) * width_of(units[c]); ++i)
            p[i] = static_cast<unsigned char>(rng());
    }
    return v;
}

// The bits of voxel (x, y, z) of channel c, read through the documented block layout.
inline uint64_t voxel(const QelRawVolumeData* v, int c, int64_t x, int64_t y, int64_t z) {
    const int w = width_of(v->unit[c]);
    const int64_t i = x + int64_t(v->size->nx) * (y + int64_t(v->size->ny) * z);
    uint64_t bits = 0;
    std::memcpy(&bits, static_cast<const unsigned char*>(v->data[c]) + i * w, w);
    return bits;
}

inline std::vector<unsigned char> channel_bytes(const QelRawVolumeData* v, int c) {
    const auto* p = static_cast<const unsigned char*>(v->data[c]);
    return std::vector<unsigned char>(p, p + voxel_count(v) * width_of(v->unit[c]));
}

// A fresh directory under the temporary directory, removed with everything in it.
class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "qel_analyze_XXXXXX").string();
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        if (mkdtemp(buf.data())) path_ = buf.data();
    }
    ~ScratchDir() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    bool ok() const { return !path_.empty(); }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline void write_file(const std::string& path, const std::vector<unsigned char>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

inline std::vector<unsigned char> read_file(const std::string& path) {
    std::vector<unsigned char> out;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return out;
    unsigned char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
    std::fclose(f);
    return out;
}

struct FileCloser {
    void operator()(FILE* f) const {
        if (f) std::fclose(f);
    }
};
using File = std::unique_ptr<FILE, FileCloser>;

inline File open_file(const std::string& path, const char* mode) { return File(std::fopen(path.c_str(), mode)); }

}  // namespace analyzetest
