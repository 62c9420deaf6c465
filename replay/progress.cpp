#include "replay/progress.h"

#include <algorithm>

namespace zt::replay {
namespace {

constexpr auto kDelay = std::chrono::milliseconds(400);    // quick runs show nothing
constexpr auto kInterval = std::chrono::milliseconds(100);  // redraws at most ten times a second
constexpr int kWidth = 30;

}  // namespace

ProgressBar::ProgressBar(std::string what, std::FILE* out, bool enabled)
    : what_(std::move(what)), out_(out), enabled_(enabled && out != nullptr) {}

ProgressBar::~ProgressBar() { Finish(); }

std::string ProgressBar::Line(const std::string& what, std::size_t bars, double share, double seconds) {
    char figures[96];
    if (share < 0.0) {  // a pipe: how far, not how much is left
        std::snprintf(figures, sizeof figures, "  %zu bars  %.0f s", bars, seconds);
        return what + figures;
    }
    share = std::min(share, 1.0);
    const int filled = static_cast<int>(share * kWidth);
    std::string line = what + " [";
    line.append(static_cast<std::size_t>(filled), '#');
    line.append(static_cast<std::size_t>(kWidth - filled), '.');
    if (share > 0.0) {
        std::snprintf(figures, sizeof figures, "] %3d%%  %zu bars  %.0f s left", static_cast<int>(share * 100.0), bars,
                      seconds / share - seconds);
    } else {
        std::snprintf(figures, sizeof figures, "] %3d%%  %zu bars", 0, bars);
    }
    return line + figures;
}

void ProgressBar::Update(std::size_t bars, double share) {
    if (!enabled_) return;
    const auto now = Clock::now();
    if (now - start_ < kDelay || now - lastDraw_ < kInterval) return;
    lastDraw_ = now;
    shown_ = true;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const std::string line = Line(what_, bars, share, seconds);
    width_ = std::max(width_, line.size());
    std::fprintf(out_, "\r%-*s", static_cast<int>(width_), line.c_str());
    std::fflush(out_);
}

void ProgressBar::Finish() {
    if (!shown_) return;
    shown_ = false;
    std::fprintf(out_, "\r%*s\r", static_cast<int>(width_), "");
    std::fflush(out_);
}

}  // namespace zt::replay
