#include "replay/progress.h"

#include <algorithm>
#include <cstdio>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace zt::replay {
namespace {

constexpr auto kDelay = std::chrono::milliseconds(400);    // quick runs show nothing
constexpr auto kInterval = std::chrono::milliseconds(100);  // redraws at most ten times a second
constexpr int kWidth = 30;

}  // namespace

bool StandardErrorIsTerminal() {
#if defined(_WIN32)
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

ProgressBar::ProgressBar(std::string what) : what_(std::move(what)), enabled_(StandardErrorIsTerminal()) {}

ProgressBar::~ProgressBar() { Finish(); }

std::string ProgressBar::Line(const std::string& what, std::size_t done, std::size_t total, double seconds) {
    const double share = total == 0 ? 1.0 : static_cast<double>(done) / static_cast<double>(total);
    const int filled = static_cast<int>(share * kWidth);
    std::string line = what + " [";
    line.append(static_cast<std::size_t>(filled), '#');
    line.append(static_cast<std::size_t>(kWidth - filled), '.');
    char figures[96];
    const double left = share > 0.0 ? seconds / share - seconds : 0.0;
    std::snprintf(figures, sizeof figures, "] %3d%%  %zu/%zu bars  %.0f s left", static_cast<int>(share * 100.0),
                  done, total, left);
    return line + figures;
}

void ProgressBar::Update(std::size_t done, std::size_t total) {
    if (!enabled_) return;
    const auto now = Clock::now();
    if (now - start_ < kDelay || now - lastDraw_ < kInterval) return;
    lastDraw_ = now;
    shown_ = true;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const std::string line = Line(what_, done, total, seconds);
    width_ = std::max(width_, line.size());
    std::fprintf(stderr, "\r%s", line.c_str());
    std::fflush(stderr);
}

void ProgressBar::Finish() {
    if (!shown_) return;
    shown_ = false;
    std::fprintf(stderr, "\r%*s\r", static_cast<int>(width_), "");
    std::fflush(stderr);
}

}  // namespace zt::replay
