// Helpers shared by the tests: capture what a call writes to stderr.
#pragma once
#include <string>

namespace qeltest {

// Redirects file descriptor 2 into a temporary file until stop() (or destruction),
// so that tests can compare the exact lines a routine prints.
class StderrCapture {
public:
    StderrCapture();
    ~StderrCapture();
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;
    std::string stop();  // restores stderr and returns everything written meanwhile
    // What has been written so far, while the capture goes on; another thread may call it to
    // wait for a line the code under test prints.
    std::string so_far() const;

private:
    int saved_ = -1;
    int file_ = -1;
    std::string text_;
};

}  // namespace qeltest
