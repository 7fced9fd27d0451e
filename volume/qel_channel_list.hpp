// Internal: the per-channel arrays shared by the volume and image records (unit,
// attribute, data and the channel's pointer table), and safe block copies.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "volume/qel_checked.hpp"
#include "volume/qel_units.h"

namespace qel {

// Byte count of `count` elements of unit; nullopt when it cannot be represented.
inline std::optional<int64_t> channel_bytes(int64_t count, int unit) {
    return checked_product({count, QEL_GetVoxelUnitSize(unit)});
}

// memcpy that accepts empty copies (whose pointers may be anything).
inline void copy_bytes(void* dst, const void* src, int64_t bytes) {
    if (bytes > 0) std::memcpy(dst, src, static_cast<size_t>(bytes));
}

// The four per-channel arrays of a record with Table the type of one channel's table
// (void*** for volumes, void** for images). Built zeroed; a record with no channels still
// gets real (one-entry) blocks so that a NULL never stands for "empty".
template <class Table>
struct ChannelArrays {
    int* unit = nullptr;
    int* attribute = nullptr;
    void** data = nullptr;
    Table* tables = nullptr;

    bool allocate(int64_t n) {
        const size_t k = n > 0 ? static_cast<size_t>(n) : 1;
        unit = static_cast<int*>(std::calloc(k, sizeof(int)));
        attribute = static_cast<int*>(std::calloc(k, sizeof(int)));
        data = static_cast<void**>(std::calloc(k, sizeof(void*)));
        tables = static_cast<Table*>(std::calloc(k, sizeof(Table)));
        if (unit && attribute && data && tables) return true;
        release();
        return false;
    }

    // Frees the arrays themselves, not the channels they point to.
    void release() {
        std::free(unit);
        std::free(attribute);
        std::free(data);
        std::free(tables);
        unit = attribute = nullptr;
        data = nullptr;
        tables = nullptr;
    }

    void set(int64_t i, int u, int a, void* d, Table t) {
        unit[i] = u;
        attribute[i] = a;
        data[i] = d;
        tables[i] = t;
    }
};

}  // namespace qel
