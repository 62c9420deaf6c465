// The library traces a line to standard error for every state it creates or
// destroys; benchmarks keep those lines out of their report.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#if defined(_WIN32)
#define ZT_NULL_DEVICE "NUL"
#else
#define ZT_NULL_DEVICE "/dev/null"
#endif

namespace zt::test {

class QuietStandardError {
public:
    QuietStandardError() : saved_(dup(STDERR_FILENO)) {
        const int null = open(ZT_NULL_DEVICE, O_WRONLY);
        dup2(null, STDERR_FILENO);
        close(null);
    }
    ~QuietStandardError() {
        dup2(saved_, STDERR_FILENO);
        close(saved_);
    }
    QuietStandardError(const QuietStandardError&) = delete;
    QuietStandardError& operator=(const QuietStandardError&) = delete;

private:
    int saved_;
};

}  // namespace zt::test
