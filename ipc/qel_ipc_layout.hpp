// Internal: byte offsets of the fixed boards and the helpers that move board bytes.
// The client and the test host both use them, so there is one place for the layout.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "ipc/qel_ipc.h"

namespace qel::ipc {

// Request board RB: written by the client, read by the host.
inline constexpr int kRbCode = 0;
inline constexpr int kRbClientId = 8;
inline constexpr int kRbBlock = 48;
// Message board MB: written by the host, read and cleared by the client.
inline constexpr int kMbCode = 0;
inline constexpr int kMbText = 8;
inline constexpr int kMbAccepted = 40;
inline constexpr int kMbBlock = 48;
// RB and MB are used up to here; the host must make them at least this large.
inline constexpr int kRequestBoardUsed = 512;
// Broadcast board BB: written by the host, read by the client. Offsets 40..223 are also the
// layout of the parameter block of request 470.
inline constexpr int kBbState = 0;
inline constexpr int kBbClientId = 8;
inline constexpr int kBbMatrix = 40;
inline constexpr int kBbCursor = 72;
inline constexpr int kBbVoiOrigin = 96;
inline constexpr int kBbVoiSize = 108;
inline constexpr int kBbGreyscale = 144;
inline constexpr int kBbChannel = 160;
inline constexpr int kBbView = 168;
inline constexpr int kBbDistance = 216;
inline constexpr int kBbAngle = 220;
inline constexpr int kBroadcastBoardUsed = 224;
// Request 470: the apply mask, 16 bits, after the state.
inline constexpr int kApplyMask = 224;
// The client ID field of BB ends where the volume matrix begins.
inline constexpr int kBbClientIdChars = kBbMatrix - kBbClientId;

// Board memory is shared with another process (or, for the in-process test host, another
// thread), so it is read and written through atomics: a word is never torn or hoisted.
inline int32_t load_word(const void* p) {
    if (reinterpret_cast<uintptr_t>(p) % alignof(int32_t) == 0)
        return __atomic_load_n(static_cast<const int32_t*>(p), __ATOMIC_SEQ_CST);
    int32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void store_word(void* p, int32_t v) {
    if (reinterpret_cast<uintptr_t>(p) % alignof(int32_t) == 0) {
        __atomic_store_n(static_cast<int32_t*>(p), v, __ATOMIC_SEQ_CST);
        return;
    }
    std::memcpy(p, &v, sizeof v);
}

// Byte copies out of and into board memory, word by word where both sides allow it.
inline void load_bytes(void* dst, const void* src, size_t n) {
    auto* d = static_cast<unsigned char*>(dst);
    auto* s = static_cast<const unsigned char*>(src);
    if ((reinterpret_cast<uintptr_t>(d) | reinterpret_cast<uintptr_t>(s)) % 4 == 0) {
        for (; n >= 4; n -= 4, d += 4, s += 4) {
            uint32_t w = __atomic_load_n(reinterpret_cast<const uint32_t*>(s), __ATOMIC_RELAXED);
            std::memcpy(d, &w, 4);
        }
    }
    for (; n > 0; --n) *d++ = __atomic_load_n(s++, __ATOMIC_RELAXED);
    __atomic_thread_fence(__ATOMIC_SEQ_CST);
}

inline void store_bytes(void* dst, const void* src, size_t n) {
    __atomic_thread_fence(__ATOMIC_SEQ_CST);
    auto* d = static_cast<unsigned char*>(dst);
    auto* s = static_cast<const unsigned char*>(src);
    if ((reinterpret_cast<uintptr_t>(d) | reinterpret_cast<uintptr_t>(s)) % 4 == 0) {
        for (; n >= 4; n -= 4, d += 4, s += 4) {
            uint32_t w;
            std::memcpy(&w, s, 4);
            __atomic_store_n(reinterpret_cast<uint32_t*>(d), w, __ATOMIC_RELAXED);
        }
    }
    for (; n > 0; --n) __atomic_store_n(d++, *s++, __ATOMIC_RELAXED);
    __atomic_thread_fence(__ATOMIC_SEQ_CST);
}

// Float words of a parameter block, bit for bit.
inline float block_float(const QelIpcParameterBlock& b, int word) {
    float f;
    std::memcpy(&f, &b.word[word], sizeof f);
    return f;
}

inline void set_block_float(QelIpcParameterBlock& b, int word, float f) {
    std::memcpy(&b.word[word], &f, sizeof f);
}

}  // namespace qel::ipc
