// Phantoms, raw files and pictures of the test host.
#include "testhost/qel_testhost_volume.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <sstream>

#include "volume/qel_checked.hpp"
#include "volume/qel_rgba.hpp"
#include "volume/qel_store.hpp"
#include "volume/qel_unit_dispatch.hpp"

namespace qel::testhost {
namespace {

constexpr int kMaxPhantomSide = 1024;

// The values a phantom spans in each unit: room for its shape and its noise, and typical
// of what such data hold (8 bits full scale, 16 bits CT-like, floats around 1).
struct Span {
    double lo, hi;
};
Span phantom_span(int unit) {
    static const Span spans[8] = {{0, 255},     {-128, 127},       {0, 4095},  {-1024, 3071},
                                  {0, 100000}, {-50000, 50000}, {0.0, 1.0}, {-500.0, 500.0}};
    return spans[unit];
}

// The smooth shape, 0..1: a ball of radius 0.35 side with a soft rim, brighter towards +x.
double shape(int x, int y, int z, int side) {
    double c = (side - 1) / 2.0, r = 0.35 * side;
    double dx = x - c, dy = y - c, dz = z - c;
    double d = std::sqrt(dx * dx + dy * dy + dz * dz) / (r > 0 ? r : 1);
    double inside = d >= 1 ? 0 : (1 - d * d);
    double tilt = side > 1 ? 0.25 * x / (side - 1) : 0;
    return 0.1 + 0.6 * inside + tilt * (inside > 0 ? 1 : 0);
}

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// A channel's value range as doubles, NaN ignored; false for an empty or all-NaN channel.
bool value_range(const QelRawVolumeData* v, int channel, int64_t n, double* lo, double* hi) {
    return dispatch_unit<bool>(v->unit[channel], false, [&](auto tag) {
        using T = typename decltype(tag)::type;
        const T* p = static_cast<const T*>(v->data[channel]);
        bool any = false;
        for (int64_t i = 0; i < n; ++i) {
            double x = static_cast<double>(p[i]);
            if (std::isnan(x)) continue;
            if (!any || x < *lo) *lo = x;
            if (!any || x > *hi) *hi = x;
            any = true;
        }
        return any;
    });
}

// Maps voxels of one channel to 0..255 as the pictures show them.
class GreyMap {
public:
    GreyMap(const QelRawVolumeData* v, int channel, int64_t n) : v_(v), c_(channel) {
        rgba_ = v->unit[channel] == QEL_VOXEL_UNIT_UINT32 &&
                v->attribute[channel] == QEL_ATTRIBUTE_RGBA;
        direct_ = v->unit[channel] == QEL_VOXEL_UNIT_UINT8;
        stretch_ = !rgba_ && !direct_ && value_range(v, channel, n, &lo_, &hi_) && hi_ > lo_;
    }
    uint8_t operator()(int64_t i) const {
        if (direct_) return static_cast<const uint8_t*>(v_->data[c_])[i];
        if (rgba_) {
            uint32_t w = static_cast<const uint32_t*>(v_->data[c_])[i];
            return static_cast<uint8_t>(((w >> 24 & 255) + (w >> 16 & 255) + (w >> 8 & 255)) / 3);
        }
        double value = dispatch_unit<double>(v_->unit[c_], 0.0, [&](auto tag) {
            using T = typename decltype(tag)::type;
            return static_cast<double>(static_cast<const T*>(v_->data[c_])[i]);
        });
        if (std::isnan(value) || !stretch_) return 0;
        double g = std::round((value - lo_) * 255.0 / (hi_ - lo_));
        return static_cast<uint8_t>(g < 0 ? 0 : g > 255 ? 255 : g);
    }

private:
    const QelRawVolumeData* v_;
    int c_;
    bool rgba_ = false, direct_ = false, stretch_ = false;
    double lo_ = 0, hi_ = 0;
};

bool valid_channel(const QelRawVolumeData* v, int channel) {
    return v && v->size && channel >= 0 && channel < v->size->nChannels &&
           QEL_IsValidVoxelUnit(v->unit[channel]) && v->data[channel];
}

}  // namespace

std::vector<std::string> phantom_names() { return {"sphere", "noisy"}; }

QelRawVolumeData* new_phantom(const std::string& name, int unit, int size) {
    bool noisy = name == "noisy";
    if ((!noisy && name != "sphere") || !QEL_IsValidVoxelUnit(unit) || size < 1 ||
        size > kMaxPhantomSide)
        return nullptr;
    QelSize3i dims{size, size, size};
    QelRawVolumeData* v = QEL_NewSingleChannelRawVolumeData(&dims, unit, QEL_ATTRIBUTE_PLAIN);
    if (!v) return nullptr;
    Span span = phantom_span(unit);
    // A fixed seed: the same phantom every run, so that results can be compared.
    std::mt19937 rng(20240601u);
    dispatch_unit_void(unit, [&](auto tag) {
        using T = typename decltype(tag)::type;
        T* p = static_cast<T*>(v->data[0]);
        int64_t i = 0;
        for (int z = 0; z < size; ++z)
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x, ++i) {
                    double s = shape(x, y, z, size);
                    if (noisy) {
                        uint32_t draw = rng() % 1000;
                        if (draw < 25)
                            s = 0;  // pepper
                        else if (draw < 50)
                            s = 1;  // salt
                        else
                            s += (static_cast<double>(rng() % 2001) - 1000.0) / 1000.0 * 0.08;
                        s = s < 0 ? 0 : s > 1 ? 1 : s;
                    }
                    p[i] = store_real<T>(span.lo + s * (span.hi - span.lo));
                }
    });
    return v;
}

QelRawVolumeData* read_raw_volume(const std::string& path, int nx, int ny, int nz, int unit,
                                  std::string* error) {
    auto fail = [&](const std::string& why) -> QelRawVolumeData* {
        if (error) *error = why;
        return nullptr;
    };
    if (!QEL_IsValidVoxelUnit(unit)) return fail("unit must be 0..7");
    auto voxels = checked_voxels({nx, ny, nz});
    if (!voxels) return fail("dimensions must be >= 1 and hold at most 2^31 - 1 voxels");
    auto bytes = checked_product({*voxels, QEL_GetVoxelUnitSize(unit)});
    if (!bytes) return fail("volume too large");
    File f(std::fopen(path.c_str(), "rb"));
    if (!f) return fail("cannot open " + path);
    if (std::fseek(f.get(), 0, SEEK_END) != 0) return fail("cannot read " + path);
    long length = std::ftell(f.get());
    if (length != *bytes) {
        std::ostringstream why;
        why << path << " holds " << length << " bytes, not the " << *bytes << " of " << nx << "x"
            << ny << "x" << nz << " voxels of unit " << unit;
        return fail(why.str());
    }
    std::rewind(f.get());
    QelSize3i dims{nx, ny, nz};
    QelRawVolumeData* v = QEL_NewSingleChannelRawVolumeData(&dims, unit, QEL_ATTRIBUTE_PLAIN);
    if (!v) return fail("not enough memory");
    if (std::fread(v->data[0], 1, static_cast<size_t>(*bytes), f.get()) !=
        static_cast<size_t>(*bytes)) {
        QEL_DeleteRawVolumeData(v);
        return fail("cannot read " + path);
    }
    return v;
}

bool write_raw_volume(const QelRawVolumeData* v, const std::string& path) {
    if (!v || !v->size) return false;
    File f(std::fopen(path.c_str(), "wb"));
    if (!f) return false;
    int64_t n = QEL_GetNumberOfVoxels(v);
    for (int c = 0; c < v->size->nChannels; ++c) {
        auto bytes = checked_product({n, QEL_GetVoxelUnitSize(v->unit[c])});
        if (!bytes) return false;
        if (*bytes > 0 && std::fwrite(v->data[c], 1, static_cast<size_t>(*bytes), f.get()) !=
                              static_cast<size_t>(*bytes))
            return false;
    }
    return std::fflush(f.get()) == 0;
}

std::string describe_volume(const QelRawVolumeData* v) {
    if (!v || !v->size) return "no volume";
    std::ostringstream line;
    const QelSize4i* s = v->size;
    line << "size " << s->nx << ' ' << s->ny << ' ' << s->nz << " channels " << s->nChannels
         << " units";
    for (int c = 0; c < s->nChannels; ++c) line << ' ' << v->unit[c];
    line << " attributes";
    for (int c = 0; c < s->nChannels; ++c) line << ' ' << v->attribute[c];
    return line.str();
}

QelRawImageData* new_slice_picture(const QelRawVolumeData* v, int channel, int z) {
    if (!valid_channel(v, channel) || z < 0 || z >= v->size->nz) return nullptr;
    int nx = v->size->nx, ny = v->size->ny;
    QelSize2i size{nx, ny};
    QelRawImageData* image =
        QEL_NewSingleChannelRawImageData(&size, QEL_VOXEL_UNIT_UINT8, QEL_ATTRIBUTE_PLAIN);
    if (!image) return nullptr;
    GreyMap grey(v, channel, QEL_GetNumberOfVoxels(v));
    auto* out = static_cast<uint8_t*>(image->data[0]);
    int64_t plane = int64_t{nx} * ny;
    for (int64_t i = 0; i < plane; ++i) out[i] = grey(plane * z + i);
    return image;
}

QelRawImageData* new_projection(const QelRawVolumeData* v, int channel) {
    if (!valid_channel(v, channel)) return nullptr;
    int nx = v->size->nx, ny = v->size->ny, nz = v->size->nz;
    QelSize2i size{nx, ny};
    QelRawImageData* image =
        QEL_NewSingleChannelRawImageData(&size, QEL_VOXEL_UNIT_UINT32, QEL_ATTRIBUTE_RGBA);
    if (!image) return nullptr;
    GreyMap grey(v, channel, QEL_GetNumberOfVoxels(v));
    auto* out = static_cast<uint32_t*>(image->data[0]);
    int64_t plane = int64_t{nx} * ny;
    for (int64_t i = 0; i < plane; ++i) {
        uint8_t top = 0;
        for (int z = 0; z < nz; ++z) {
            uint8_t g = grey(plane * z + i);
            if (g > top) top = g;
        }
        out[i] = pack_rgba(top, top, top, 255);
    }
    return image;
}

std::string describe_members(const QelDataObjectGroup* group) {
    if (!group) return "";
    std::ostringstream kinds;
    for (int i = 0; i < group->count; ++i) {
        if (i) kinds << ' ';
        kinds << group->types[i];
    }
    return kinds.str();
}

}  // namespace qel::testhost
