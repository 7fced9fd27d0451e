// Board accessors: map the whole board, touch one field, unmap. The field must lie inside
// what is mapped, whatever the other side wrote or sized.
#include <cstring>

#include "ipc/qel_ipc.h"
#include "ipc/qel_ipc_layout.hpp"
#include "ipc/qel_shm.hpp"

namespace {

// Maps the board when [offset, offset + length) lies inside it; NULL otherwise.
unsigned char* map_field(QelBoard* board, int offset, size_t length) {
    if (offset < 0) return nullptr;
    size_t size = 0;
    auto* base = static_cast<unsigned char*>(qel::ipc::map_board(board, &size));
    if (!base) return nullptr;
    if (static_cast<size_t>(offset) > size || length > size - static_cast<size_t>(offset)) {
        QELipc_UnmapBoard(base);
        return nullptr;
    }
    return base;
}

}  // namespace

int QELipc_ReadBoardInt(QelBoard* board, int offset, int* value) {
    if (!value) return -1;
    unsigned char* base = map_field(board, offset, sizeof(int32_t));
    if (!base) return -1;
    *value = qel::ipc::load_word(base + offset);
    QELipc_UnmapBoard(base);
    return 0;
}

int QELipc_WriteBoardInt(QelBoard* board, int offset, int value) {
    unsigned char* base = map_field(board, offset, sizeof(int32_t));
    if (!base) return -1;
    qel::ipc::store_word(base + offset, value);
    QELipc_UnmapBoard(base);
    return 0;
}

int QELipc_ReadBoardString(QelBoard* board, int offset, char* text, unsigned size) {
    if (!text || size == 0) return -1;
    size_t mapped = 0;
    if (offset < 0) return -1;
    auto* base = static_cast<unsigned char*>(qel::ipc::map_board(board, &mapped));
    if (!base) return -1;
    if (static_cast<size_t>(offset) >= mapped) {
        QELipc_UnmapBoard(base);
        return -1;
    }
    // Up to the NUL, the caller's room or the end of the board, whichever comes first.
    size_t limit = mapped - static_cast<size_t>(offset);
    if (limit > size - 1) limit = size - 1;
    size_t n = 0;
    for (; n < limit; ++n) {
        char c = static_cast<char>(__atomic_load_n(base + offset + n, __ATOMIC_RELAXED));
        if (c == '\0') break;
        text[n] = c;
    }
    text[n] = '\0';
    QELipc_UnmapBoard(base);
    return 0;
}

int QELipc_WriteBoardString(QelBoard* board, int offset, const char* text) {
    if (!text) return -1;
    size_t length = std::strlen(text) + 1;
    unsigned char* base = map_field(board, offset, length);
    if (!base) return -1;
    qel::ipc::store_bytes(base + offset, text, length);
    QELipc_UnmapBoard(base);
    return 0;
}

int QELipc_ReadBoardBytes(QelBoard* board, int offset, void* destination, unsigned length) {
    if (!destination && length > 0) return -1;
    unsigned char* base = map_field(board, offset, length);
    if (!base) return -1;
    qel::ipc::load_bytes(destination, base + offset, length);
    QELipc_UnmapBoard(base);
    return 0;
}

int QELipc_WriteBoardBytes(QelBoard* board, int offset, const void* source, unsigned length) {
    if (!source && length > 0) return -1;
    unsigned char* base = map_field(board, offset, length);
    if (!base) return -1;
    qel::ipc::store_bytes(base + offset, source, length);
    QELipc_UnmapBoard(base);
    return 0;
}
