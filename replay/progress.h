// A progress bar on the tool's standard error, shown only when that is a
// terminal and the work has taken more than a moment; it clears itself.
// The share done comes from the input (bytes read of the file's size), so
// the estimate is sane from the first bar.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <string>

namespace zt::replay {

class ProgressBar {
public:
    // Draws on out when enabled.
    ProgressBar(std::string what, std::FILE* out, bool enabled);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // bars done; share of the whole done (0 to 1), negative if not known.
    void Update(std::size_t bars, double share);
    void Finish();

    // The line as drawn for the given figures, without the leading "\r".
    static std::string Line(const std::string& what, std::size_t bars, double share, double seconds);

private:
    using Clock = std::chrono::steady_clock;
    std::string what_;
    std::FILE* out_;
    bool enabled_;
    bool shown_ = false;
    std::size_t width_ = 0;  // of the line last drawn
    Clock::time_point start_ = Clock::now();
    Clock::time_point lastDraw_{};
};

}  // namespace zt::replay
