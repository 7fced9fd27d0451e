// Helpers shared by the tests: a cap on the address space of the test process, for tests that
// check that a request for more memory than the machine should give is refused. Should the
// request be made after all, it fails at once instead of paging the machine: without a
// sanitizer the allocation returns NULL, under AddressSanitizer the process stops with its
// out-of-memory report.
#pragma once
#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

namespace qeltest {

class AddressSpaceCap {
public:
    // Allows the process extraBytes of address space beyond what it uses now.
    explicit AddressSpaceCap(uint64_t extraBytes) {
        active_ = getrlimit(RLIMIT_AS, &old_) == 0;
        unsigned long long pages = 0;
        if (FILE* f = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(f, "%llu", &pages) != 1) pages = 0;
            std::fclose(f);
        }
        const uint64_t used = static_cast<uint64_t>(pages) * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
        rlimit cap = old_;
        cap.rlim_cur = used + extraBytes;
        if (old_.rlim_max != RLIM_INFINITY && cap.rlim_cur > old_.rlim_max) cap.rlim_cur = old_.rlim_max;
        active_ = active_ && pages > 0 && setrlimit(RLIMIT_AS, &cap) == 0;
    }
    ~AddressSpaceCap() {
        if (active_) setrlimit(RLIMIT_AS, &old_);
    }
    AddressSpaceCap(const AddressSpaceCap&) = delete;
    AddressSpaceCap& operator=(const AddressSpaceCap&) = delete;

private:
    rlimit old_{};
    bool active_ = false;
};

}  // namespace qeltest
