// Resampling of images and volumes. Positions, cells and weights are computed once per axis
// with the samplers' own float rules (qel_sample.hpp), and the linear passes are separable:
// each old row is interpolated along x once, each old slice along y once, then combined along
// z. Every partial sum is the one the sampler forms, so each voxel equals the sampler's value
// at its position; positions at or past the last old sample take the last sample.
#include "filters/qel_resample.h"
#include "filters/qel_resample.hpp"

#include <cstring>
#include <initializer_list>
#include <new>
#include <type_traits>
#include <vector>

#include "volume/qel_checked.hpp"
#include "volume/qel_sample.hpp"
#include "volume/qel_unit_dispatch.hpp"

namespace {

using qel::LinearAxis;

float axis_scale(int nOld, int nNew) {
    return static_cast<float>(static_cast<double>(nOld - 1) / static_cast<double>(nNew - 1));
}

}  // namespace

std::vector<int> qel::nearest_table(int nOld, int nNew) {
    const float s = axis_scale(nOld, nNew);
    std::vector<int> t(static_cast<size_t>(nNew));
    for (int i = 0; i < nNew; ++i) {
        const float c = static_cast<float>(i) * s;
        int k;
        t[static_cast<size_t>(i)] = qel::bounded_index(c, nOld, &k) ? k : (c > 0.0f ? nOld - 1 : 0);
    }
    return t;
}

std::vector<int> qel::nearest_slice_table(int nOld, int nNew) {
    std::vector<int> t = nearest_table(nOld, nNew);
    if (nNew >= 2) t[static_cast<size_t>(nNew - 1)] = t[static_cast<size_t>(nNew - 2)];
    return t;
}

namespace {

std::vector<LinearAxis> linear_table(int nOld, int nNew) {
    const float s = axis_scale(nOld, nNew);
    std::vector<LinearAxis> t(static_cast<size_t>(nNew));
    for (int i = 0; i < nNew; ++i) t[static_cast<size_t>(i)] = qel::clamped_axis(static_cast<float>(i) * s, nOld);
    return t;
}

// Lane policies: a plain element is one lane; a packed RGBA word four lanes taken in place.
template <class T>
struct PlainLanes {
    using Elem = T;
    static constexpr int kLanes = 1;
    static double load(T v, int) { return qel::LoadValue<T>{}(v); }
    static T finish(const double* v) { return qel::store_real<T>(v[0]); }
};

struct RgbaLanes {
    using Elem = uint32_t;
    static constexpr int kLanes = 4;
    static double load(uint32_t w, int lane) { return qel::LoadLane{qel::kRgbaLaneMask[lane]}(w); }
    static uint32_t finish(const double* v) {
        uint32_t out = 0;
        for (int lane = 0; lane < 4; ++lane) out |= qel::rgba_lane_result(v[lane], lane);
        return out;
    }
};

// A buffer of doubles remembered under a tag (an old row or slice number). Requests come in
// non-decreasing order of cell, so of two slots the one with the smaller tag is the one to reuse.
struct TaggedBuffers {
    int64_t tag[2] = {-1, -1};
    std::vector<double> buf[2];

    void resize(size_t n) {
        buf[0].resize(n);
        buf[1].resize(n);
    }
    // Returns the slot holding t, or claims one; *fresh tells the caller to fill it.
    double* get(int64_t t, bool* fresh) {
        for (int s = 0; s < 2; ++s)
            if (tag[s] == t) {
                *fresh = false;
                return buf[s].data();
            }
        const int s = tag[0] <= tag[1] ? 0 : 1;
        tag[s] = t;
        *fresh = true;
        return buf[s].data();
    }
};

// Combines two rows of partial sums with the weights of one axis, as the sampler does, and
// hands each result to store(e, value). The axis and the store are copies: 8-bit stores may
// alias anything in memory, and copies keep the weight tests and pointers out of the loops.
template <class Store>
inline void mix_rows(const LinearAxis a, const double* r0, const double* r1, size_t n, Store store) {
    if (a.w1 == 0.0f) {
        for (size_t e = 0; e < n; ++e) store(e, qel::mix(a, [&](int) { return r0[e]; }));
    } else if (a.w0 == 0.0f) {
        for (size_t e = 0; e < n; ++e) store(e, qel::mix(a, [&](int) { return r1[e]; }));
    } else {
        for (size_t e = 0; e < n; ++e) store(e, qel::mix(a, [&](int k) { return k ? r1[e] : r0[e]; }));
    }
}

// The linear passes over x and y for one old plane (an image, or one slice of a volume).
template <class P>
class PlaneInterpolator {
public:
    using Elem = typename P::Elem;

    PlaneInterpolator(const std::vector<LinearAxis>& x, const std::vector<LinearAxis>& y)
        : x_(x), y_(y), width_(x.size() * P::kLanes) {
        rows_.resize(width_);
        // Columns with two nonzero weights go through one branch-free loop; the few that sit
        // exactly on a sample (a zero weight) keep the reading rule of the samplers.
        for (size_t i = 0; i < x.size(); ++i) {
            if (x[i].w0 != 0.0f && x[i].w1 != 0.0f) continue;
            onSample_.push_back(i);
        }
        onSample_.push_back(x.size());
        cell_.reserve(x.size());
        w0_.reserve(x.size());
        w1_.reserve(x.size());
        for (const LinearAxis& a : x) {
            cell_.push_back(a.i);
            w0_.push_back(a.w0);
            w1_.push_back(a.w1);
        }
    }

    size_t width() const { return width_; }

    // Interpolates new rows 0 .. count - 1 of old plane `rows` (number `plane` among the old
    // planes) into dest(j), then calls done(j, values).
    template <class Dest, class Done>
    void run(const void* const* rows, int64_t plane, int64_t oldRows, int count, Dest&& dest, Done&& done) {
        for (int j = 0; j < count; ++j) {
            const LinearAxis& ay = y_[static_cast<size_t>(j)];
            const double* r0 = ay.w0 != 0.0f ? x_row(rows, plane * oldRows, ay.i) : nullptr;
            const double* r1 = ay.w1 != 0.0f ? x_row(rows, plane * oldRows, ay.i + 1) : nullptr;
            double* out = dest(j);
            mix_rows(ay, r0, r1, width_, [out](size_t e, double v) { out[e] = v; });
            done(j, static_cast<const double*>(out));
        }
    }

private:
    const double* x_row(const void* const* rows, int64_t base, int r) {
        bool fresh;
        double* out = rows_.get(base + r, &fresh);
        if (fresh) {
            const Elem* src = static_cast<const Elem*>(rows[r]);
            size_t i = 0;
            for (size_t stop : onSample_) {
                for (; i < stop; ++i) {
                    const Elem* p = src + cell_[i];
                    for (int l = 0; l < P::kLanes; ++l)
                        out[i * P::kLanes + l] = qel::mix_both(w0_[i], P::load(p[0], l), w1_[i], P::load(p[1], l));
                }
                if (i == x_.size()) break;
                const LinearAxis& ax = x_[i];
                for (int l = 0; l < P::kLanes; ++l)
                    out[i * P::kLanes + l] =
                        qel::mix(ax, [&](int k) { return P::load(src[static_cast<ptrdiff_t>(ax.i) + k], l); });
                ++i;
            }
        }
        return out;
    }

    const std::vector<LinearAxis>& x_;
    const std::vector<LinearAxis>& y_;
    size_t width_;
    std::vector<size_t> onSample_;  // columns with a zero weight, then the column count
    std::vector<ptrdiff_t> cell_;
    std::vector<double> w0_, w1_;
    TaggedBuffers rows_;
};

// Sizes of two grids that both have at least 2 samples on every axis; false otherwise.
bool resizable(std::initializer_list<int> sizes) {
    for (int n : sizes)
        if (n < 2) return false;
    return true;
}

template <class Elem>
void copy_row(const void* from, void* to, int n) {
    std::memcpy(to, from, static_cast<size_t>(n) * sizeof(Elem));
}

// ---- Images ----

template <class T>
void resample_nearest_2d(void* const* src, void* const* dst, const std::vector<int>& xt,
                         const std::vector<int>& yt, int w, int h) {
    for (int j = 0; j < h - 1; ++j) {
        const T* from = static_cast<const T*>(src[yt[static_cast<size_t>(j)]]);
        T* to = static_cast<T*>(dst[j]);
        for (int i = 0; i < w; ++i) to[i] = from[xt[static_cast<size_t>(i)]];
    }
    copy_row<T>(dst[h - 2], dst[h - 1], w);
}

template <class P>
void resample_linear_2d(void* const* src, int oldH, void* const* dst, const std::vector<LinearAxis>& xt,
                        const std::vector<LinearAxis>& yt, int w, int h) {
    using Elem = typename P::Elem;
    PlaneInterpolator<P> planes(xt, yt);
    std::vector<double> row(planes.width());
    planes.run(src, 0, oldH, h - 1, [&](int) { return row.data(); }, [&](int j, const double* v) {
        Elem* to = static_cast<Elem*>(dst[j]);
        for (int i = 0; i < w; ++i) to[i] = P::finish(v + static_cast<size_t>(i) * P::kLanes);
    });
    copy_row<Elem>(dst[h - 2], dst[h - 1], w);
}

bool same_image_layout(const QelRawImageData* src, const QelRawImageData* dst) {
    if (!src || !dst || !src->size || !dst->size) return false;
    if (src->size->nz != dst->size->nz || src->size->nz < 0) return false;
    if (!resizable({src->size->nx, src->size->ny, dst->size->nx, dst->size->ny})) return false;
    for (int c = 0; c < src->size->nz; ++c)
        if (src->unit[c] != dst->unit[c] || !src->rows[c] || !dst->rows[c]) return false;
    return true;
}

// ---- Volumes ----

template <class T>
void resample_nearest_3d(void* const* const* src, void* const* const* dst, const std::vector<int>& xt,
                         const std::vector<int>& yt, const std::vector<int>& zt, int nx, int ny, int nz) {
    for (int k = 0; k < nz; ++k) {
        void* const* from = src[zt[static_cast<size_t>(k)]];
        for (int j = 0; j < ny; ++j) {
            const T* row = static_cast<const T*>(from[yt[static_cast<size_t>(j)]]);
            T* to = static_cast<T*>(dst[k][j]);
            for (int i = 0; i < nx; ++i) to[i] = row[xt[static_cast<size_t>(i)]];
        }
    }
}

template <class P>
void resample_linear_3d(void* const* const* src, int oldNy, void* const* const* dst,
                        const std::vector<LinearAxis>& xt, const std::vector<LinearAxis>& yt,
                        const std::vector<LinearAxis>& zt, int nx, int ny, int nz) {
    using Elem = typename P::Elem;
    PlaneInterpolator<P> planes(xt, yt);
    const size_t width = planes.width();
    const size_t planeSize = width * static_cast<size_t>(ny);
    TaggedBuffers cache;
    cache.resize(planeSize);
    std::vector<double> mixed(width);

    auto plane = [&](int s) {
        bool fresh;
        double* p = cache.get(s, &fresh);
        if (fresh)
            planes.run(src[s], s, oldNy, ny, [&](int j) { return p + static_cast<size_t>(j) * width; },
                       [](int, const double*) {});
        return static_cast<const double*>(p);
    };

    for (int k = 0; k < nz - 1; ++k) {
        const LinearAxis& az = zt[static_cast<size_t>(k)];
        const double* p0 = az.w0 != 0.0f ? plane(az.i) : nullptr;
        const double* p1 = az.w1 != 0.0f ? plane(az.i + 1) : nullptr;
        for (int j = 0; j < ny; ++j) {
            const size_t at = static_cast<size_t>(j) * width;
            const double* r0 = p0 ? p0 + at : nullptr;
            const double* r1 = p1 ? p1 + at : nullptr;
            Elem* to = static_cast<Elem*>(dst[k][j]);
            if constexpr (P::kLanes == 1) {
                mix_rows(az, r0, r1, width, [to](size_t i, double v) { to[i] = P::finish(&v); });
            } else {
                double* m = mixed.data();
                mix_rows(az, r0, r1, width, [m](size_t e, double v) { m[e] = v; });
                for (int i = 0; i < nx; ++i) to[i] = P::finish(m + static_cast<size_t>(i) * P::kLanes);
            }
        }
    }
    for (int j = 0; j < ny; ++j) copy_row<Elem>(dst[nz - 2][j], dst[nz - 1][j], nx);
}

bool same_volume_layout(const QelRawVolumeData* src, const QelRawVolumeData* dst) {
    if (!src || !dst || !src->size || !dst->size) return false;
    if (src->size->nChannels != dst->size->nChannels || src->size->nChannels < 0) return false;
    if (!resizable({src->size->nx, src->size->ny, src->size->nz, dst->size->nx, dst->size->ny, dst->size->nz}))
        return false;
    for (int c = 0; c < src->size->nChannels; ++c)
        if (src->unit[c] != dst->unit[c] || !src->slices[c] || !dst->slices[c]) return false;
    return true;
}

// The partial-sum buffers of a linear pass hold up to one new plane of four-lane doubles.
bool buffers_fit(int nx, int ny) {
    auto bytes = qel::checked_product({nx, ny, 4, 2 * static_cast<int64_t>(sizeof(double))});
    return bytes && static_cast<uint64_t>(*bytes) <= SIZE_MAX;
}

bool is_rgba(int unit, int attribute) { return attribute != 0 && unit == QEL_VOXEL_UNIT_UINT32; }

// Calls fn(std::type_identity<P>) with the lane policy P of a channel for the linear passes;
// false for an invalid unit.
template <class Fn>
bool dispatch_lanes(int unit, int attribute, Fn&& fn) {
    if (is_rgba(unit, attribute)) {
        fn(std::type_identity<RgbaLanes>{});
        return true;
    }
    return qel::dispatch_unit_void(
        unit, [&](auto tag) { fn(std::type_identity<PlainLanes<typename decltype(tag)::type>>{}); });
}

}  // namespace

int QEL_ResizeImageChannelsNearest(const QelRawImageData* src, QelRawImageData* dst) {
    if (!same_image_layout(src, dst)) return -1;
    try {
        const int w = dst->size->nx, h = dst->size->ny;
        const std::vector<int> xt = qel::nearest_table(src->size->nx, w), yt = qel::nearest_table(src->size->ny, h);
        for (int c = 0; c < src->size->nz; ++c) {
            // Whole words are copied, so packed RGBA needs no path of its own.
            const bool ok = qel::dispatch_unit_void(src->unit[c], [&](auto tag) {
                resample_nearest_2d<typename decltype(tag)::type>(src->rows[c], dst->rows[c], xt, yt, w, h);
            });
            if (!ok) return -1;
        }
    } catch (const std::bad_alloc&) {
        return -1;
    }
    return 0;
}

int QEL_ResizeImageChannelsLinear(const QelRawImageData* src, QelRawImageData* dst) {
    if (!same_image_layout(src, dst) || !buffers_fit(dst->size->nx, 1)) return -1;
    try {
        const int w = dst->size->nx, h = dst->size->ny, oldH = src->size->ny;
        const std::vector<LinearAxis> xt = linear_table(src->size->nx, w), yt = linear_table(oldH, h);
        for (int c = 0; c < src->size->nz; ++c) {
            const bool ok = dispatch_lanes(src->unit[c], src->attribute[c], [&](auto lanes) {
                resample_linear_2d<typename decltype(lanes)::type>(src->rows[c], oldH, dst->rows[c], xt, yt, w, h);
            });
            if (!ok) return -1;
        }
    } catch (const std::bad_alloc&) {
        return -1;
    }
    return 0;
}

int QEL_ResizeVolumeChannelsNearest(const QelRawVolumeData* src, QelRawVolumeData* dst) {
    if (!same_volume_layout(src, dst)) return -1;
    try {
        const int nx = dst->size->nx, ny = dst->size->ny, nz = dst->size->nz;
        const std::vector<int> xt = qel::nearest_table(src->size->nx, nx), yt = qel::nearest_table(src->size->ny, ny),
                               zt = qel::nearest_slice_table(src->size->nz, nz);
        for (int c = 0; c < src->size->nChannels; ++c) {
            const bool ok = qel::dispatch_unit_void(src->unit[c], [&](auto tag) {
                resample_nearest_3d<typename decltype(tag)::type>(src->slices[c], dst->slices[c], xt, yt, zt, nx,
                                                                   ny, nz);
            });
            if (!ok) return -1;
        }
    } catch (const std::bad_alloc&) {
        return -1;
    }
    return 0;
}

int QEL_ResizeVolumeChannelsLinear(const QelRawVolumeData* src, QelRawVolumeData* dst) {
    if (!same_volume_layout(src, dst) || !buffers_fit(dst->size->nx, dst->size->ny)) return -1;
    try {
        const int nx = dst->size->nx, ny = dst->size->ny, nz = dst->size->nz, oldNy = src->size->ny;
        const std::vector<LinearAxis> xt = linear_table(src->size->nx, nx), yt = linear_table(oldNy, ny),
                                      zt = linear_table(src->size->nz, nz);
        for (int c = 0; c < src->size->nChannels; ++c) {
            const bool ok = dispatch_lanes(src->unit[c], src->attribute[c], [&](auto lanes) {
                resample_linear_3d<typename decltype(lanes)::type>(src->slices[c], oldNy, dst->slices[c], xt, yt, zt,
                                                                   nx, ny, nz);
            });
            if (!ok) return -1;
        }
    } catch (const std::bad_alloc&) {
        return -1;
    }
    return 0;
}

int QEL_ResizeRawImageData(QelRawImageData* image, const int* newSize, int mode) {
    if (!image || !image->size || !newSize || (mode != 0 && mode != 1)) return -1;
    if (!resizable({image->size->nx, image->size->ny, newSize[0], newSize[1]})) return -1;
    const QelSize3i size{newSize[0], newSize[1], image->size->nz};
    QelRawImageData* fresh = QEL_NewRawImageData(&size, image->unit, image->attribute);
    if (!fresh) return -1;
    const int rc = mode == 0 ? QEL_ResizeImageChannelsNearest(image, fresh) : QEL_ResizeImageChannelsLinear(image, fresh);
    if (rc == 0) QEL_SwapRawImageData(image, fresh);
    QEL_DeleteRawImageData(fresh);
    return rc;
}

int QEL_ResizeRawVolumeData(QelRawVolumeData* volume, const int* newSize, int mode) {
    if (!volume || !volume->size || !newSize || (mode != 0 && mode != 1)) return -1;
    if (!resizable({volume->size->nx, volume->size->ny, volume->size->nz, newSize[0], newSize[1], newSize[2]}))
        return -1;
    const QelSize4i size{newSize[0], newSize[1], newSize[2], volume->size->nChannels};
    QelRawVolumeData* fresh = QEL_NewRawVolumeData(&size, volume->unit, volume->attribute);
    if (!fresh) return -1;
    const int rc =
        mode == 0 ? QEL_ResizeVolumeChannelsNearest(volume, fresh) : QEL_ResizeVolumeChannelsLinear(volume, fresh);
    if (rc == 0) QEL_SwapRawVolumeData(volume, fresh);
    QEL_DeleteRawVolumeData(fresh);
    return rc;
}
