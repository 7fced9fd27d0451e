// Internal: how many bytes a file really holds, for readers that must not take a header's
// word for it (PNM rasters, ANALYZE data files).
#pragma once
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>

namespace qel {

// Bytes the file holds from offset on: 0 at or past its end. A stream whose length cannot be
// known beforehand (a pipe, a terminal) counts as empty, so that what it may hold is never
// taken on trust.
inline int64_t file_bytes_from(FILE* file, int64_t offset) {
    struct stat st;
    if (!file || fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    const int64_t size = st.st_size;
    return offset >= 0 && offset < size ? size - offset : 0;
}

}  // namespace qel
