// Data-board payloads of volumes, single channels, images and single image channels.
//
// Every header word is a little-endian 32-bit signed integer; the data follow the last
// header word with no gap, each channel as one block in its unit's width.
//   whole volume:   nx ny nz n | unit[n] | attribute[n] | channel blocks in index order
//   one channel:    nx ny nz unit attribute | block
//   whole image:    width height n | unit[n] | attribute[n] | channel blocks
//   image channel:  width height unit attribute | block
//
// Size operations return the payload's byte count. A payload that would not fit a 32-bit
// size is refused like a missing record: 0 from the volume and channel sizes, -1 from the
// image size, and the packers write nothing and return -1. Packers expect a board of at
// least that size.
//
// Unpackers are given the board's real byte count and never read past it: a header whose
// dimensions or channel count are <= 0, whose channel count exceeds 256, whose element
// count exceeds an int, or whose payload is larger than the board is refused. Channels of
// an invalid unit carry no data but still get row tables, so the board must also hold at
// least one byte per row that the new record builds (channels x ny x nz, channels x height).
#pragma once
#include <cstddef>

#include "volume/qel_image.h"
#include "volume/qel_volume.h"

// Largest channel count that the whole-volume and whole-image unpackers accept.
#define QELipc_MAX_BOARD_CHANNELS 256

int QELipc_SizeOfRawVolumeData(const QelRawVolumeData* volume);
int QELipc_PackRawVolumeData(const QelRawVolumeData* volume, void* board);
QelRawVolumeData* QELipc_UnpackRawVolumeData(const void* board, size_t boardSize);

int QELipc_SizeOfSingleChannel(const QelRawVolumeData* volume, int channelIndex);
int QELipc_PackSingleChannel(const QelRawVolumeData* volume, int channelIndex, void* board);
QelRawVolumeData* QELipc_UnpackSingleChannel(const void* board, size_t boardSize);
// Replaces channel channelIndex by the board's channel, which may change its unit and
// attribute; the board's nx, ny, nz must equal the volume's. On -1 the volume is unchanged.
int QELipc_UnpackSingleChannelInto(QelRawVolumeData* volume, int channelIndex, const void* board,
                                   size_t boardSize);

int QELipc_SizeOfRawImageData(const QelRawImageData* image);
int QELipc_PackRawImageData(const QelRawImageData* image, void* board);
QelRawImageData* QELipc_UnpackRawImageData(const void* board, size_t boardSize);

int QELipc_SizeOfSingleImageChannel(const QelRawImageData* image, int channelIndex);
int QELipc_PackSingleImageChannel(const QelRawImageData* image, int channelIndex, void* board);
QelRawImageData* QELipc_UnpackSingleImageChannel(const void* board, size_t boardSize);
