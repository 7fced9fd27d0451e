// Sends stderr to /dev/null for the lifetime of the object: the mesher prints progress lines that
// would otherwise flood a timed run.
#pragma once

#include <cstdio>
#include <unistd.h>

struct QuietStderr {
    int saved = dup(2);
    QuietStderr() {
        std::FILE* null = std::fopen("/dev/null", "w");
        if (null) {
            dup2(fileno(null), 2);
            std::fclose(null);
        }
    }
    ~QuietStderr() {
        std::fflush(stderr);
        dup2(saved, 2);
        close(saved);
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;
};
