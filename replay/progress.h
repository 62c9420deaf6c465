// A progress bar on standard error, shown only when standard error is a
// terminal and the work has taken more than a moment; it clears itself.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace zt::replay {

class ProgressBar {
public:
    explicit ProgressBar(std::string what);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void Update(std::size_t done, std::size_t total);
    void Finish();

    // The line as drawn for the given figures, without the leading "\r".
    static std::string Line(const std::string& what, std::size_t done, std::size_t total, double seconds);

private:
    using Clock = std::chrono::steady_clock;
    std::string what_;
    bool enabled_;
    bool shown_ = false;
    std::size_t width_ = 0;  // of the line last drawn
    Clock::time_point start_ = Clock::now();
    Clock::time_point lastDraw_{};
};

bool StandardErrorIsTerminal();

}  // namespace zt::replay
