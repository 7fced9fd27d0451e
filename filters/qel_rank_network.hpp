// Internal: selection networks for the rank slabs. A comparator (a, b), a < b, puts the
// smaller value on wire a and the larger on wire b. The network is Batcher's odd-even merge
// sort, cut down to the comparators that the chosen output wire depends on. For values with
// a total order (integers, floats without NaN and without -0.0) it selects exactly the
// element that any correct sort puts at that rank.
#pragma once
#include <array>
#include <cstdint>

namespace qel {

struct NetOp {
    uint16_t a;
    uint16_t b;
};

// Calls sink(a, b) for every comparator of the full sorting network on n wires, in order.
template <class Sink>
constexpr void batcher_network(int n, Sink&& sink) {
    for (int p = 1; p < n; p *= 2)
        for (int k = p; k >= 1; k /= 2)
            for (int j = k % p; j <= n - 1 - k; j += 2 * k)
                for (int i = 0; i <= k - 1 && i <= n - j - k - 1; ++i)
                    if ((i + j) / (p * 2) == (i + j + k) / (p * 2)) sink(i + j, i + j + k);
}

constexpr int batcher_size(int n) {
    int count = 0;
    batcher_network(n, [&](int, int) { ++count; });
    return count;
}

// Fills ops (room for batcher_size(n)) with the comparators that output wire `rank`
// depends on, in order; need is scratch for n flags. Returns their count.
template <class Ops, class Need>
constexpr int selection_network(int n, int rank, Ops& ops, Need& need) {
    int count = 0;
    batcher_network(n, [&](int a, int b) {
        ops[count++] = NetOp{static_cast<uint16_t>(a), static_cast<uint16_t>(b)};
    });
    for (int i = 0; i < n; ++i) need[i] = (i == rank);
    // Backwards: a comparator matters when one of its outputs does; then both inputs do.
    int kept = count;
    for (int i = count - 1; i >= 0; --i) {
        const NetOp op = ops[i];
        if (need[op.a] || need[op.b]) {
            need[op.a] = need[op.b] = true;
            ops[--kept] = op;
        }
    }
    for (int i = kept; i < count; ++i) ops[i - kept] = ops[i];
    return count - kept;
}

// (n, rank) pairs with networks fixed at compile time: the medians of the spherical
// kernels of radius 1, 1.5, 1.8 and 2.
#define QEL_RANK_FIXED_NETWORKS(X) X(7, 3) X(19, 9) X(27, 13) X(33, 16)

// A network fixed at compile time, for the neighbourhood sizes the programs use most.
template <int N, int Rank>
struct FixedNetwork {
    static constexpr int kFull = batcher_size(N);
    struct Table {
        std::array<NetOp, kFull> ops{};
        int count = 0;
    };
    static constexpr Table build() {
        Table t;
        std::array<bool, N> need{};
        t.count = selection_network(N, Rank, t.ops, need);
        return t;
    }
    static constexpr Table table = build();
    static constexpr int count = table.count;
};

}  // namespace qel
