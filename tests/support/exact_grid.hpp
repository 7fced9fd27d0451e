// Helpers shared by the tests: a 3-D grid laid out like a typed array (slice table of row
// tables of rows) whose every table and row is its own allocation of exactly the needed size,
// so that AddressSanitizer reports any read one element past a row, a row table or a slice table.
#pragma once
#include <cstdlib>
#include <cstring>
#include <vector>

namespace qeltest {

template <class T>
class ExactGrid {
public:
    ExactGrid(int nx, int ny = 1, int nz = 1) : nx_(nx), ny_(ny), nz_(nz) {
        slices_ = static_cast<void***>(std::malloc(sizeof(void**) * nz));
        for (int k = 0; k < nz; ++k) {
            slices_[k] = static_cast<void**>(std::malloc(sizeof(void*) * ny));
            for (int j = 0; j < ny; ++j) slices_[k][j] = std::calloc(static_cast<size_t>(nx), sizeof(T));
        }
    }
    ~ExactGrid() {
        for (int k = 0; k < nz_; ++k) {
            for (int j = 0; j < ny_; ++j) std::free(slices_[k][j]);
            std::free(slices_[k]);
        }
        std::free(slices_);
    }
    ExactGrid(const ExactGrid&) = delete;
    ExactGrid& operator=(const ExactGrid&) = delete;

    T& at(int i, int j = 0, int k = 0) { return static_cast<T*>(slices_[k][j])[i]; }
    // Fills x fastest, then y, then z.
    void fill(const std::vector<T>& values) {
        size_t n = 0;
        for (int k = 0; k < nz_; ++k)
            for (int j = 0; j < ny_; ++j)
                for (int i = 0; i < nx_; ++i) at(i, j, k) = values[n++];
    }

    const void* data() const { return slices_[0][0]; }
    void** rows(int k = 0) const { return slices_[k]; }
    void*** slices() const { return slices_; }
    int nx() const { return nx_; }
    int ny() const { return ny_; }
    int nz() const { return nz_; }

private:
    int nx_, ny_, nz_;
    void*** slices_;
};

}  // namespace qeltest
