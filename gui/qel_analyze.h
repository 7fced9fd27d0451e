// ANALYZE 7.5 file pairs: the 348-byte header (".hdr") and the raw voxel file (".img").
// Both files are in the machine's little-endian byte order. The voxel file holds the channels
// one after another, each one channel block of the volume record (x fastest, then y, then z).
// Needs no GTK: the import and export programs share it.
#pragma once
#include <cstdint>
#include <cstdio>

#include "volume/qel_geometry.h"
#include "volume/qel_volume.h"

#define QEL_ANALYZE_HEADER_SIZE 348
// Dimensions and the channel count travel in signed 16-bit fields.
#define QEL_ANALYZE_MAX_DIMENSION 32767
// The importer's unit and attribute tables hold this many channels.
#define QEL_ANALYZE_MAX_CHANNELS 256

// The three parts of the header with the fields of the published layout, in file order.
// In memory they are plain records; the file bytes are produced and taken apart field by
// field at their offsets by QEL_PackAnalyzeHeader and QEL_UnpackAnalyzeHeader.
struct AnalyzeHeaderKey {          // bytes 0-39
    int32_t sizeof_hdr;
    char data_type[10];
    char db_name[18];
    int32_t extents;
    int16_t session_error;
    char regular;
    char hkey_un0;
};

struct AnalyzeImageDimension {     // bytes 40-147
    int16_t dim[8];
    char vox_units[4];
    char cal_units[8];
    int16_t unused1;
    int16_t datatype;
    int16_t bitpix;
    int16_t dim_un0;
    float pixdim[8];
    float vox_offset;
    float funused1;
    float funused2;
    float funused3;
    float cal_max;
    float cal_min;
    float compressed;
    float verified;
    int32_t glmax;
    int32_t glmin;
};

struct AnalyzeDataHistory {        // bytes 148-347
    char descrip[80];
    char aux_file[24];
    char orient;
    char originator[10];
    char generated[10];
    char scannum[10];
    char patient_id[10];
    char exp_date[10];
    char exp_time[10];
    char hist_un0[3];
    int32_t views;
    int32_t vols_added;
    int32_t start_field;
    int32_t field_skip;
    int32_t omax;
    int32_t omin;
    int32_t smax;
    int32_t smin;
};

struct AnalyzeHeader {
    AnalyzeHeaderKey hk;
    AnalyzeImageDimension dime;
    AnalyzeDataHistory hist;
};

// 1 when every channel has channel 0's unit and attribute, that unit is Uint8, Int16 or
// Int32, and the dimensions and channel count fit the header's 16-bit fields; otherwise 0
// (NULL too). A packed RGBA volume fails on its unit.
int IsExportableVolume(const QelRawVolumeData* vol);

// Fills hdr as the exporter writes it: zeros except sizeof_hdr 348, regular 'r', dim[0] 4,
// dim[1..4] the low 16 bits of nx, ny, nz and the channel count, datatype and bitpix of
// channel 0's unit (2/8, 4/16, 8/32; datatype -1 and bitpix 0 for any other unit), pixdim[1..3]
// the voxel size, and for the three exported units glmax 0 and glmin 255. 0, or -1 for NULL.
int MakeAnalyzeHeader(AnalyzeHeader* hdr, const QelRawVolumeData* vol, float voxelSize);

// The header as its 348 file bytes and back.
void QEL_PackAnalyzeHeader(const AnalyzeHeader* hdr, unsigned char bytes[QEL_ANALYZE_HEADER_SIZE]);
void QEL_UnpackAnalyzeHeader(const unsigned char bytes[QEL_ANALYZE_HEADER_SIZE], AnalyzeHeader* hdr);

// Writes the 348 header bytes at the file's position and flushes them. 0, or -1 when any
// byte could not be written.
int QEL_WriteAnalyzeHeader(FILE* file, const AnalyzeHeader* hdr);
// Reads 348 bytes from the file's position. 0, or -1 (hdr all zero) when the file ends
// first: no field is taken from bytes that the file did not hold.
int QEL_ReadAnalyzeHeader(FILE* file, AnalyzeHeader* hdr);

// Voxel unit of a header datatype code: 2 Uint8, 4 Int16, 8 Int32, 16 Float32; -1 for any
// other code.
int QEL_GetVoxelUnitOfAnalyzeDatatype(int datatype);
// The volume size of the header: dim[1..3] and the channel count dim[4], where a dim[4] of 0
// counts as 1. 0, or -1 when a dimension is <= 0, the channel count is negative or above
// QEL_ANALYZE_MAX_CHANNELS, or one channel's voxel count does not fit an int.
int QEL_GetSizeOfAnalyzeHeader(const AnalyzeHeader* hdr, QelSize4i* size);
// A zero-filled volume of the header's size, every channel of the datatype's unit with
// attribute 0. NULL when the datatype or size is refused (above) or memory is short.
QelRawVolumeData* QEL_NewRawVolumeDataOfAnalyzeHeader(const AnalyzeHeader* hdr);
// Bytes of voxel data the header announces, all channels together; -1 when its datatype or
// size is refused (above).
int64_t QEL_GetAnalyzeDataSize(const AnalyzeHeader* hdr);
// Whether the data file may be read for the header, before anything is allocated for it: 0
// when it holds the voxels from the data offset on or lacks at most 64 MiB of them (they read
// as 0); -1 when it lacks more (a stream whose length cannot be known holds nothing), or the
// header is refused.
int QEL_CheckAnalyzeDataFile(FILE* file, const AnalyzeHeader* hdr);
// Byte offset of the voxels in the data file: vox_offset when it is a whole number >= 0
// (INT64_MAX when it lies beyond 64 bits), else 0.
int64_t QEL_GetAnalyzeDataOffset(const AnalyzeHeader* hdr);

// Writes every channel block in channel order at the file's position and flushes them.
// 0, or -1 when any byte could not be written.
int QEL_WriteAnalyzeData(FILE* file, const QelRawVolumeData* vol);
// Fills every channel in order from the data file, starting at the header's data offset.
// A file that ends early (or an offset past its end) leaves the missing voxels 0; a stream
// whose length cannot be known (a pipe) counts as empty. 0, or -1 for NULL arguments or a
// read error (the voxels not read are 0 then too).
int QEL_ReadAnalyzeData(FILE* file, const AnalyzeHeader* hdr, QelRawVolumeData* vol);

// Replaces the last three characters of name with suffix ("hdr" or "img"), each letter in
// upper case where the character it replaces is an upper-case letter: "scan.IMG" -> "scan.HDR",
// "brain" -> "brhdr". 0, or -1 (name unchanged) for a NULL argument, a name shorter than three
// characters or a suffix that is not three characters long.
int QEL_SetAnalyzeFileSuffix(char* name, const char* suffix);
