// Helpers of the ANALYZE and rotation tests: random multi-unit volumes and voxel access by raw
// bits (tests/support/raw_voxels.hpp), a scratch directory and whole files.
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

#include "support/raw_voxels.hpp"
#include "support/records.hpp"
#include "volume/qel_volume.h"

namespace analyzetest {

using qeltest::channel_bytes;
using qeltest::voxel;
using qeltest::voxel_count;
using qeltest::width_of;
using Volume = qeltest::VolumePtr;

// A volume whose every byte is random; attributes default to 0.
inline Volume random_volume(int nx, int ny, int nz, const std::vector<int>& units, uint32_t seed,
                            const std::vector<int>& attributes = {}) {
    const std::vector<int> attr = attributes.empty() ? std::vector<int>(units.size(), 0) : attributes;
    return qeltest::random_volume(nx, ny, nz, units, attr, seed);
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
