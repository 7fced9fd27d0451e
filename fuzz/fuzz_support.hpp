// Helpers of the fuzz harnesses: in-memory files for readers that take a path, and the check
// that turns a broken promise into a report.
#pragma once
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace fuzz {

// A harness's own finding (a round trip that does not hold, a bound that is broken): printed
// and aborted, so that libFuzzer reports it like a sanitizer's finding.
inline void check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

// A record unpacked from a board packs again to exactly the board's first bytes: size_of()
// gives the payload size, pack(buffer) writes it.
template <class Size, class Pack>
void expect_packs_to_board(const uint8_t* board, size_t size, Size size_of, Pack pack, const char* what) {
    const int n = size_of();
    check(n > 0 && static_cast<size_t>(n) <= size, what);
    std::vector<uint8_t> again(static_cast<size_t>(n));
    check(pack(again.data()) == 0 && std::memcmp(again.data(), board, again.size()) == 0, what);
}

// A regular file in memory, rewritten for every input: readers open it by its path and see
// its true length, as they would a file on disk.
class MemFile {
public:
    explicit MemFile(const char* name) : fd_(memfd_create(name, 0)) {
        check(fd_ >= 0, "memfd_create");
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    ~MemFile() { close(fd_); }
    MemFile(const MemFile&) = delete;
    MemFile& operator=(const MemFile&) = delete;

    const char* path() const { return path_.c_str(); }

    void set(const uint8_t* data, size_t size) {
        check(ftruncate(fd_, 0) == 0, "ftruncate");
        size_t done = 0;
        while (done < size) {
            const ssize_t n = pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
            check(n > 0, "pwrite");
            done += static_cast<size_t>(n);
        }
    }

    std::vector<uint8_t> get() const {
        std::vector<uint8_t> out(static_cast<size_t>(lseek(fd_, 0, SEEK_END)));
        check(out.empty() || pread(fd_, out.data(), out.size(), 0) == static_cast<ssize_t>(out.size()), "pread");
        return out;
    }

private:
    int fd_;
    std::string path_;
};

}  // namespace fuzz
