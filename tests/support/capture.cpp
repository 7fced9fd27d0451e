#include "support/capture.hpp"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace qeltest {

StderrCapture::StderrCapture() {
    std::fflush(stderr);
    char name[] = "/tmp/qel-stderr-XXXXXX";
    file_ = mkstemp(name);
    if (file_ < 0) return;
    unlink(name);
    saved_ = dup(2);
    dup2(file_, 2);
}

StderrCapture::~StderrCapture() { stop(); }

std::string StderrCapture::stop() {
    if (saved_ < 0) return text_;
    std::fflush(stderr);
    dup2(saved_, 2);
    close(saved_);
    saved_ = -1;
    off_t end = lseek(file_, 0, SEEK_END);
    if (end > 0) {
        text_.resize(static_cast<size_t>(end));
        if (pread(file_, text_.data(), text_.size(), 0) != end) text_.clear();
    }
    close(file_);
    file_ = -1;
    return text_;
}

std::string StderrCapture::so_far() const {
    if (saved_ < 0) return text_;
    std::string text;
    char chunk[4096];
    ssize_t n;
    // pread leaves the file position, where stderr goes on writing, alone.
    for (off_t at = 0; (n = pread(file_, chunk, sizeof chunk, at)) > 0; at += n) text.append(chunk, static_cast<size_t>(n));
    return text;
}

}  // namespace qeltest
