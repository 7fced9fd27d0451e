// Binary Netpbm files of one image channel: grey levels as P5, packed RGBA as P6 (alpha dropped).
// Needs no GTK: command-line code may write and read images too.
#pragma once
#include "volume/qel_image.h"

// Writes the channel as P5 (unit 0, attribute 0) or P6 (unit 4, attribute 2): 0 when the whole
// file was written, -1 for any other channel kind, an invalid channel (no file is touched then)
// or a file that cannot be written.
int QEL_WritePnmImage(const char* path, QelRawImageData* image, int channel);
// The two writers replace an existing file and return the number of raster bytes written:
// 0 when the file cannot be opened or written, or the channel is not of their kind.
int QEL_WritePgmImage(const char* path, QelRawImageData* image, int channel);
int QEL_WritePpmImage(const char* path, QelRawImageData* image, int channel);

// Readers accept binary files with a maximum value of 255 and return a new one-channel image
// (P5: unit 0, attribute 0; P6: unit 4, attribute 2, alpha 255) or NULL. The magic is exactly
// "P5" or "P6" followed by white space. A raster that ends early leaves the missing pixels 0
// (P5) or 0xFFFFFFFF (P6) while at most 64 MiB of it is missing; a file missing more, or a
// stream whose length cannot be known missing more, is NULL before anything is allocated.
QelRawImageData* QEL_ReadPnmImage(const char* path);
QelRawImageData* QEL_ReadPgmImage(const char* path);
QelRawImageData* QEL_ReadPpmImage(const char* path);
