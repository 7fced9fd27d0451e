// Data-board payloads of volumes and images. The volume and image layouts differ only in
// the number of dimension words (3 or 2), so each kind of layout is written once over that
// count and the record-specific functions only build or read their records.
#include "ipc/qel_board_formats.h"

#include <cstdint>
#include <limits>
#include <optional>

#include "ipc/qel_board_bytes.hpp"
#include "volume/qel_channel_list.hpp"
#include "volume/qel_checked.hpp"
#include "volume/qel_record_ops.hpp"

namespace {

constexpr int64_t kMaxPayload = std::numeric_limits<int32_t>::max();

using Bytes = unsigned char;

// Element count of one channel; every dimension >= 1 and the product fits an int.
std::optional<int64_t> element_count(const int* dims, int ndims) {
    if (ndims == 3) return qel::checked_voxels({dims[0], dims[1], dims[2]});
    return qel::checked_voxels({dims[0], dims[1]});
}

// The receiving record builds a row table per channel (ny * nz rows of a volume, height
// rows of an image), also for a channel of an invalid unit, which carries no data. A board
// must hold at least one byte per row in all, so that a few header bytes cannot demand
// gigabytes of row pointers. Boards whose units are all valid always do: each of their
// channels carries at least one byte per row.
bool rows_covered(const int* dims, int ndims, int64_t channels, uint64_t available) {
    const int64_t rows = ndims == 3 ? int64_t{dims[1]} * dims[2] : int64_t{dims[1]};
    return static_cast<uint64_t>(rows * channels) <= available;
}

// The channels that a multi-channel payload carries, whether they come from a record
// (pack) or from a board (unpack).
struct ChannelSet {
    int dims[3];
    int ndims;
    int count;
    const int* units;
    const int* attributes;
};

int64_t multi_header_bytes(int ndims, int64_t count) { return 4 * (ndims + 1) + 8 * count; }

// Total payload bytes of the whole-record layout; nullopt when it does not fit 32 bits.
std::optional<int64_t> multi_payload_size(const ChannelSet& set) {
    if (set.count < 0) return std::nullopt;
    auto elements = element_count(set.dims, set.ndims);
    if (!elements) return std::nullopt;
    int64_t total = multi_header_bytes(set.ndims, set.count);
    if (total > kMaxPayload) return std::nullopt;
    for (int c = 0; c < set.count; ++c) {
        auto bytes = qel::channel_bytes(*elements, set.units[c]);
        if (!bytes) return std::nullopt;
        total += *bytes;  // both terms are <= 2^34 here: no overflow
        if (total > kMaxPayload) return std::nullopt;
    }
    return total;
}

int multi_pack(const ChannelSet& set, void* const* blocks, void* board) {
    auto total = multi_payload_size(set);
    if (!total || !board) return -1;
    Bytes* out = static_cast<Bytes*>(board);
    int64_t offset = 0;
    for (int d = 0; d < set.ndims; ++d, offset += 4) qel::write_i32(out + offset, set.dims[d]);
    qel::write_i32(out + offset, set.count);
    offset += 4;
    for (int c = 0; c < set.count; ++c, offset += 4) qel::write_i32(out + offset, set.units[c]);
    for (int c = 0; c < set.count; ++c, offset += 4) qel::write_i32(out + offset, set.attributes[c]);
    const int64_t elements = *element_count(set.dims, set.ndims);
    for (int c = 0; c < set.count; ++c) {
        const int64_t bytes = *qel::channel_bytes(elements, set.units[c]);
        qel::copy_bytes(out + offset, blocks[c], bytes);
        offset += bytes;
    }
    return 0;
}

// A whole-record header read from a board, with the unit and attribute tables of at most
// QELipc_MAX_BOARD_CHANNELS entries.
struct BoardChannels {
    int units[QELipc_MAX_BOARD_CHANNELS];
    int attributes[QELipc_MAX_BOARD_CHANNELS];
    ChannelSet set;
    int64_t data_offset;
};

// Reads a whole-record header and checks that the board holds every byte it promises.
bool read_multi_header(const void* board, size_t boardSize, int ndims, BoardChannels* out) {
    if (!board) return false;
    const Bytes* in = static_cast<const Bytes*>(board);
    const uint64_t available = boardSize;
    if (available < static_cast<uint64_t>(multi_header_bytes(ndims, 0))) return false;
    out->set.ndims = ndims;
    int64_t offset = 0;
    for (int d = 0; d < ndims; ++d, offset += 4) out->set.dims[d] = qel::read_i32(in + offset);
    out->set.count = qel::read_i32(in + offset);
    offset += 4;
    if (out->set.count <= 0 || out->set.count > QELipc_MAX_BOARD_CHANNELS) return false;
    if (available < static_cast<uint64_t>(multi_header_bytes(ndims, out->set.count))) return false;
    for (int c = 0; c < out->set.count; ++c, offset += 4) out->units[c] = qel::read_i32(in + offset);
    for (int c = 0; c < out->set.count; ++c, offset += 4) out->attributes[c] = qel::read_i32(in + offset);
    out->set.units = out->units;
    out->set.attributes = out->attributes;
    out->data_offset = offset;
    auto total = multi_payload_size(out->set);
    return total && static_cast<uint64_t>(*total) <= available &&
           rows_covered(out->set.dims, ndims, out->set.count, available);
}

// Copies the channel blocks of a checked board into a record's zero-filled blocks.
void multi_copy_in(const BoardChannels& header, const void* board, void* const* blocks) {
    const Bytes* in = static_cast<const Bytes*>(board);
    const int64_t elements = *element_count(header.set.dims, header.set.ndims);
    int64_t offset = header.data_offset;
    for (int c = 0; c < header.set.count; ++c) {
        const int64_t bytes = *qel::channel_bytes(elements, header.units[c]);
        qel::copy_bytes(blocks[c], in + offset, bytes);
        offset += bytes;
    }
}

// One channel: dimension words, unit, attribute, block.
struct SingleChannel {
    int dims[3];
    int ndims;
    int unit;
    int attribute;
    int64_t bytes;  // block bytes
};

int64_t single_header_bytes(int ndims) { return 4 * (ndims + 2); }

// Fills in the block size; false when the payload does not fit 32 bits.
bool size_single(SingleChannel* ch) {
    auto elements = element_count(ch->dims, ch->ndims);
    if (!elements) return false;
    auto bytes = qel::channel_bytes(*elements, ch->unit);
    if (!bytes || *bytes > kMaxPayload - single_header_bytes(ch->ndims)) return false;
    ch->bytes = *bytes;
    return true;
}

int single_payload_size(SingleChannel ch) {
    if (!size_single(&ch)) return 0;
    return static_cast<int>(single_header_bytes(ch.ndims) + ch.bytes);
}

int single_pack(SingleChannel ch, const void* block, void* board) {
    if (!board || !size_single(&ch)) return -1;
    Bytes* out = static_cast<Bytes*>(board);
    int64_t offset = 0;
    for (int d = 0; d < ch.ndims; ++d, offset += 4) qel::write_i32(out + offset, ch.dims[d]);
    qel::write_i32(out + offset, ch.unit);
    qel::write_i32(out + offset + 4, ch.attribute);
    qel::copy_bytes(out + offset + 8, block, ch.bytes);
    return 0;
}

// Reads a one-channel header and checks that the board holds its block.
bool read_single_header(const void* board, size_t boardSize, int ndims, SingleChannel* ch) {
    if (!board) return false;
    const Bytes* in = static_cast<const Bytes*>(board);
    const uint64_t available = boardSize;
    if (available < static_cast<uint64_t>(single_header_bytes(ndims))) return false;
    ch->ndims = ndims;
    int64_t offset = 0;
    for (int d = 0; d < ndims; ++d, offset += 4) ch->dims[d] = qel::read_i32(in + offset);
    ch->unit = qel::read_i32(in + offset);
    ch->attribute = qel::read_i32(in + offset + 4);
    return size_single(ch) &&
           static_cast<uint64_t>(single_header_bytes(ndims) + ch->bytes) <= available &&
           rows_covered(ch->dims, ndims, 1, available);
}

const void* single_block(const void* board, int ndims) {
    return static_cast<const Bytes*>(board) + single_header_bytes(ndims);
}

ChannelSet volume_channels(const QelRawVolumeData* v) {
    return {{v->size->nx, v->size->ny, v->size->nz}, 3, v->size->nChannels, v->unit, v->attribute};
}

ChannelSet image_channels(const QelRawImageData* im) {
    // An image's size record is {width, height, nChannels}.
    return {{im->size->nx, im->size->ny, 0}, 2, im->size->nz, im->unit, im->attribute};
}

bool valid_volume_channel(const QelRawVolumeData* v, int c) {
    return v && c >= 0 && c < v->size->nChannels;
}

bool valid_image_channel(const QelRawImageData* im, int c) {
    return im && c >= 0 && c < im->size->nz;
}

SingleChannel volume_channel(const QelRawVolumeData* v, int c) {
    return {{v->size->nx, v->size->ny, v->size->nz}, 3, v->unit[c], v->attribute[c], 0};
}

SingleChannel image_channel(const QelRawImageData* im, int c) {
    return {{im->size->nx, im->size->ny, 0}, 2, im->unit[c], im->attribute[c], 0};
}

}  // namespace

int QELipc_SizeOfRawVolumeData(const QelRawVolumeData* volume) {
    if (!volume) return 0;
    auto total = multi_payload_size(volume_channels(volume));
    return total ? static_cast<int>(*total) : 0;
}

int QELipc_PackRawVolumeData(const QelRawVolumeData* volume, void* board) {
    if (!volume) return -1;
    return multi_pack(volume_channels(volume), volume->data, board);
}

QelRawVolumeData* QELipc_UnpackRawVolumeData(const void* board, size_t boardSize) {
    BoardChannels header;
    if (!read_multi_header(board, boardSize, 3, &header)) return nullptr;
    const QelSize4i size{header.set.dims[0], header.set.dims[1], header.set.dims[2],
                         header.set.count};
    QelRawVolumeData* volume = QEL_NewRawVolumeData(&size, header.units, header.attributes);
    if (!volume) return nullptr;
    multi_copy_in(header, board, volume->data);
    return volume;
}

int QELipc_SizeOfSingleChannel(const QelRawVolumeData* volume, int channelIndex) {
    if (!valid_volume_channel(volume, channelIndex)) return 0;
    return single_payload_size(volume_channel(volume, channelIndex));
}

int QELipc_PackSingleChannel(const QelRawVolumeData* volume, int channelIndex, void* board) {
    if (!valid_volume_channel(volume, channelIndex)) return -1;
    return single_pack(volume_channel(volume, channelIndex), volume->data[channelIndex], board);
}

QelRawVolumeData* QELipc_UnpackSingleChannel(const void* board, size_t boardSize) {
    SingleChannel ch;
    if (!read_single_header(board, boardSize, 3, &ch)) return nullptr;
    const QelSize3i dims{ch.dims[0], ch.dims[1], ch.dims[2]};
    QelRawVolumeData* volume = QEL_NewSingleChannelRawVolumeData(&dims, ch.unit, ch.attribute);
    if (!volume) return nullptr;
    qel::copy_bytes(volume->data[0], single_block(board, 3), ch.bytes);
    return volume;
}

int QELipc_UnpackSingleChannelInto(QelRawVolumeData* volume, int channelIndex, const void* board,
                                   size_t boardSize) {
    if (!valid_volume_channel(volume, channelIndex)) return -1;
    SingleChannel ch;
    if (!read_single_header(board, boardSize, 3, &ch)) return -1;
    const QelSize4i& size = *volume->size;
    if (ch.dims[0] != size.nx || ch.dims[1] != size.ny || ch.dims[2] != size.nz) return -1;
    void*** slices = QEL_NewTypedArray3D(size.nx, size.ny, size.nz, ch.unit);
    if (!slices) return -1;
    // The record keeps a real block for every unit, an invalid one included.
    void* block = qel::RecordTraits<QelRawVolumeData>::base(slices);
    qel::copy_bytes(block, single_block(board, 3), ch.bytes);
    // Nothing of the volume has changed up to here, so every refusal above leaves it whole.
    QEL_DeleteTypedArray3D(volume->slices[channelIndex], size.nx, size.ny, size.nz,
                           volume->unit[channelIndex]);
    volume->unit[channelIndex] = ch.unit;
    volume->attribute[channelIndex] = ch.attribute;
    volume->data[channelIndex] = block;
    volume->slices[channelIndex] = slices;
    return 0;
}

int QELipc_SizeOfRawImageData(const QelRawImageData* image) {
    if (!image) return -1;
    auto total = multi_payload_size(image_channels(image));
    return total ? static_cast<int>(*total) : -1;
}

int QELipc_PackRawImageData(const QelRawImageData* image, void* board) {
    if (!image) return -1;
    return multi_pack(image_channels(image), image->data, board);
}

QelRawImageData* QELipc_UnpackRawImageData(const void* board, size_t boardSize) {
    BoardChannels header;
    if (!read_multi_header(board, boardSize, 2, &header)) return nullptr;
    const QelSize3i size{header.set.dims[0], header.set.dims[1], header.set.count};
    QelRawImageData* image = QEL_NewRawImageData(&size, header.units, header.attributes);
    if (!image) return nullptr;
    multi_copy_in(header, board, image->data);
    return image;
}

int QELipc_SizeOfSingleImageChannel(const QelRawImageData* image, int channelIndex) {
    if (!valid_image_channel(image, channelIndex)) return 0;
    return single_payload_size(image_channel(image, channelIndex));
}

int QELipc_PackSingleImageChannel(const QelRawImageData* image, int channelIndex, void* board) {
    if (!valid_image_channel(image, channelIndex)) return -1;
    return single_pack(image_channel(image, channelIndex), image->data[channelIndex], board);
}

QelRawImageData* QELipc_UnpackSingleImageChannel(const void* board, size_t boardSize) {
    SingleChannel ch;
    if (!read_single_header(board, boardSize, 2, &ch)) return nullptr;
    const QelSize2i size{ch.dims[0], ch.dims[1]};
    QelRawImageData* image = QEL_NewSingleChannelRawImageData(&size, ch.unit, ch.attribute);
    if (!image) return nullptr;
    qel::copy_bytes(image->data[0], single_block(board, 2), ch.bytes);
    return image;
}
