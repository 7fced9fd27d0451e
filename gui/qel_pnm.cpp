// Binary Netpbm (P5/P6) writers and readers of one image channel.
#include "gui/qel_pnm.h"

#include <cstdint>
#include <cstdio>

#include "gui/qel_file_bytes.hpp"
#include "volume/qel_checked.hpp"
#include "volume/qel_record_ops.hpp"
#include "volume/qel_rgba.hpp"

namespace {

constexpr int kGrey = 5;    // P5: unit 0, attribute 0
constexpr int kColour = 6;  // P6: unit 4, attribute 2

// Only the first 511 characters of the magic token are looked at.
constexpr int kTokenLength = 511;
constexpr int64_t kFieldMax = 0x7fffffff;
constexpr size_t kChunkPixels = 4096;

class File {
public:
    File(const char* path, const char* mode) : f_(path ? std::fopen(path, mode) : nullptr) {}
    ~File() {
        if (f_) std::fclose(f_);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    FILE* get() const { return f_; }
    // Closes now; false when the stream saw an error or the buffered bytes could not be flushed.
    bool close() {
        const bool ok = !std::ferror(f_);
        const int rc = std::fclose(f_);
        f_ = nullptr;
        return ok && rc == 0;
    }

private:
    FILE* f_;
};

bool is_space(int c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Which file kind the channel is written as: kGrey, kColour, or 0 for any other channel.
int channel_kind(const QelRawImageData* image, int channel) {
    if (!qel::has_channel(image, channel) || !image->data[channel]) return 0;
    const int unit = image->unit[channel];
    const int attribute = image->attribute[channel];
    if (unit == QEL_VOXEL_UNIT_UINT8 && attribute == QEL_ATTRIBUTE_PLAIN) return kGrey;
    if (unit == QEL_VOXEL_UNIT_UINT32 && attribute == QEL_ATTRIBUTE_RGBA) return kColour;
    return 0;
}

// Raster bytes of the channel in a file of its kind, or 0 when that count would not fit the
// int that the writers return.
int64_t raster_bytes(const QelRawImageData* image, int kind) {
    auto n = qel::checked_voxels({image->size->nx, image->size->ny, kind == kColour ? 3 : 1});
    return n ? *n : 0;
}

// Writes the channel (already known to be of `kind`) and returns the raster bytes written, 0 when
// the file cannot be opened or the stream fails.
int write_channel(const char* path, const QelRawImageData* image, int channel, int kind) {
    if (channel_kind(image, channel) != kind || raster_bytes(image, kind) == 0) return 0;
    File file(path, "wb");
    FILE* f = file.get();
    if (!f) return 0;
    const int width = image->size->nx;
    const int height = image->size->ny;
    std::fprintf(f, "%s\n# created by TALVEROX LIBRARIES\n%d %d\n255\n", kind == kGrey ? "P5" : "P6", width,
                 height);
    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    size_t written = 0;
    if (kind == kGrey) {
        written = std::fwrite(image->data[channel], 1, pixels, f);
    } else {
        const auto* words = static_cast<const uint32_t*>(image->data[channel]);
        for (size_t i = 0; i < pixels; ++i) {
            const uint32_t w = words[i];
            const unsigned char rgb[3] = {static_cast<unsigned char>(w >> 24), static_cast<unsigned char>(w >> 16),
                                          static_cast<unsigned char>(w >> 8)};
            written += std::fwrite(rgb, 1, 3, f);
        }
    }
    // Bytes that never left the stream buffer were not written, whatever fwrite said.
    if (!file.close()) return 0;
    return static_cast<int>(written);
}

// The first white-space-delimited token: kGrey for exactly "P5", kColour for exactly "P6", 0
// otherwise. The token is compared as bytes, so a NUL inside it (say "P5\0junk") does not cut
// it short.
int read_magic(FILE* f) {
    int c;
    do c = std::getc(f);
    while (is_space(c));
    char token[kTokenLength + 1];
    int n = 0;
    while (c != EOF && !is_space(c) && n < kTokenLength) {
        token[n++] = static_cast<char>(c);
        c = std::getc(f);
    }
    if (c != EOF) std::ungetc(c, f);
    if (n != 2 || !is_space(c) || token[0] != 'P') return 0;
    if (token[1] == '5') return kGrey;
    if (token[1] == '6') return kColour;
    return 0;
}

// One decimal header field after white space and "#" comments; false when it is missing,
// not a number or larger than an int.
bool read_field(FILE* f, int64_t* value) {
    int c = std::getc(f);
    for (;;) {
        if (is_space(c)) {
            c = std::getc(f);
        } else if (c == '#') {
            while (c != EOF && c != '\n') c = std::getc(f);
        } else {
            break;
        }
    }
    if (c < '0' || c > '9') return false;
    int64_t v = 0;
    while (c >= '0' && c <= '9') {
        v = v * 10 + (c - '0');
        if (v > kFieldMax) return false;
        c = std::getc(f);
    }
    if (c != EOF) std::ungetc(c, f);
    *value = v;
    return true;
}

// Reads a header of the given kind and returns the zero-filled image it announces, with the
// stream at the first raster byte; NULL for anything else.
QelRawImageData* read_header(FILE* f, int kind) {
    if (read_magic(f) != kind) return nullptr;
    int64_t width, height, maxval;
    if (!read_field(f, &width) || !read_field(f, &height) || !read_field(f, &maxval)) return nullptr;
    if (maxval != 255 || !qel::checked_voxels({width, height})) return nullptr;
    // Exactly one white-space byte ends the header; the raster may start with white-space bytes.
    const int c = std::getc(f);
    if (c != EOF && !is_space(c)) return nullptr;
    // What the file lacks is filled in, but only up to a bound: a tiny file must not make the
    // reader allocate and fill gigabytes.
    const int64_t raster = width * height * (kind == kGrey ? 1 : 3);
    if (!qel::missing_part_allowed(raster, qel::file_bytes_from(f, ftello(f)))) return nullptr;
    const QelSize2i size{static_cast<int>(width), static_cast<int>(height)};
    return kind == kGrey ? QEL_NewSingleChannelRawImageData(&size, QEL_VOXEL_UNIT_UINT8, QEL_ATTRIBUTE_PLAIN)
                         : QEL_NewSingleChannelRawImageData(&size, QEL_VOXEL_UNIT_UINT32, QEL_ATTRIBUTE_RGBA);
}

void read_grey_raster(FILE* f, QelRawImageData* image) {
    const size_t pixels = static_cast<size_t>(image->size->nx) * static_cast<size_t>(image->size->ny);
    // A short file leaves the rest of the zero-filled channel as it is.
    (void)std::fread(image->data[0], 1, pixels, f);
}

void read_colour_raster(FILE* f, QelRawImageData* image) {
    const size_t pixels = static_cast<size_t>(image->size->nx) * static_cast<size_t>(image->size->ny);
    auto* words = static_cast<uint32_t*>(image->data[0]);
    unsigned char buf[3 * kChunkPixels];
    size_t done = 0;
    while (done < pixels) {
        const size_t want = 3 * (pixels - done < kChunkPixels ? pixels - done : kChunkPixels);
        const size_t got = std::fread(buf, 1, want, f);
        const size_t whole = got / 3;
        for (size_t i = 0; i < whole; ++i) words[done + i] = qel::pack_rgba(buf[3 * i], buf[3 * i + 1], buf[3 * i + 2], 0xFF);
        done += whole;
        if (got < want) {
            // The bytes of a cut pixel land over white; missing pixels stay opaque white.
            if (got % 3 != 0)
                words[done++] = qel::pack_rgba(buf[3 * whole], got % 3 == 2 ? buf[3 * whole + 1] : 0xFF, 0xFF, 0xFF);
            break;
        }
    }
    for (; done < pixels; ++done) words[done] = 0xFFFFFFFFu;
}

QelRawImageData* read_image(const char* path, int kind) {
    File file(path, "rb");
    if (!file.get()) return nullptr;
    QelRawImageData* image = read_header(file.get(), kind);
    if (!image) return nullptr;
    if (kind == kGrey)
        read_grey_raster(file.get(), image);
    else
        read_colour_raster(file.get(), image);
    return image;
}

}  // namespace

int QEL_WritePnmImage(const char* path, QelRawImageData* image, int channel) {
    const int kind = channel_kind(image, channel);
    if (kind == 0 || raster_bytes(image, kind) == 0) return -1;
    const int written = write_channel(path, image, channel, kind);
    return written == raster_bytes(image, kind) ? 0 : -1;
}

int QEL_WritePgmImage(const char* path, QelRawImageData* image, int channel) {
    return write_channel(path, image, channel, kGrey);
}

int QEL_WritePpmImage(const char* path, QelRawImageData* image, int channel) {
    return write_channel(path, image, channel, kColour);
}

QelRawImageData* QEL_ReadPnmImage(const char* path) {
    int kind;
    {
        File file(path, "rb");
        if (!file.get()) return nullptr;
        kind = read_magic(file.get());
    }
    if (kind == kGrey) return QEL_ReadPgmImage(path);
    if (kind == kColour) return QEL_ReadPpmImage(path);
    return nullptr;
}

QelRawImageData* QEL_ReadPgmImage(const char* path) { return read_image(path, kGrey); }

QelRawImageData* QEL_ReadPpmImage(const char* path) { return read_image(path, kColour); }
