#include "replay/driver/signals.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace zt::replay {

bool IsSignalColumn(const Column& column) {
    return column.study->about->roles[static_cast<std::size_t>(column.slot)] == ChartRole::Signal;
}

SignalReport::SignalReport(const std::vector<Column>& columns) {
    for (std::size_t c = 0; c < columns.size(); ++c) {
        if (!IsSignalColumn(columns[c])) continue;
        Track t{c, {}, 0, 0, {}};
        t.counts.slot = columns[c].name;
        tracks_.push_back(std::move(t));
    }
}

void SignalReport::Update(const Bar&, const double* values, bool last) {
    ++updates_;
    for (Track& t : tracks_) {
        const double v = values[t.column];
        t.positive += v > 0.0;
        t.negative += v < 0.0;
        if (!last) continue;
        SignalCounts& c = t.counts;
        ++c.bars;
        if (t.positive + t.negative > 0) {
            ++c.shown;
            const std::size_t kept = v > 0.0 ? t.positive : v < 0.0 ? t.negative : 0;
            if (kept > 0) {
                ++c.confirmed;
                c.late += kept == 1;
                t.shares.push_back(static_cast<double>(kept) / static_cast<double>(updates_));
            } else {
                ++c.vanished;
            }
            c.flipped += t.positive > 0 && t.negative > 0;
        }
        t.positive = t.negative = 0;
    }
    if (last) updates_ = 0;
}

std::vector<SignalCounts> SignalReport::Counts() const {
    std::vector<SignalCounts> out;
    for (const Track& t : tracks_) {
        SignalCounts c = t.counts;
        if (t.shares.empty()) {
            c.medianShare = std::numeric_limits<double>::quiet_NaN();
        } else {
            std::vector<double> s = t.shares;
            const std::size_t mid = s.size() / 2;
            std::nth_element(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(mid), s.end());
            c.medianShare = s[mid];
            if (s.size() % 2 == 0) {
                const double below = *std::max_element(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(mid));
                c.medianShare = (below + c.medianShare) / 2.0;
            }
        }
        out.push_back(std::move(c));
    }
    return out;
}

SignalTrail::SignalTrail(const std::vector<Column>& columns, std::size_t lastBars) : keep_(lastBars) {
    for (std::size_t c = 0; c < columns.size(); ++c)
        if (IsSignalColumn(columns[c])) columns_.push_back(c);
    forming_.resize(columns_.size());
}

void SignalTrail::Update(const Bar&, const double* values, bool last) {
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        const double v = values[columns_[i]];
        const char sign = v > 0.0 ? '+' : v < 0.0 ? '-' : '0';
        std::string& t = forming_[i];
        if (t.empty() || t.back() != sign) {
            if (t.size() + 1 >= kTrailLength) {
                // Keep the start, mark the gap, and end on the newest sign.
                t.resize(kTrailLength - 2);
                t += '~';
            }
            t += sign;
        }
    }
    if (!last) return;
    if (keep_ == 0 || bars_.size() < keep_) {
        bars_.push_back(forming_);
    } else {
        bars_[next_] = forming_;
        next_ = (next_ + 1) % keep_;
    }
    for (std::string& t : forming_) t.clear();
}

std::vector<std::vector<std::string>> SignalTrail::Trails() const {
    std::vector<std::vector<std::string>> out;
    out.reserve(bars_.size());
    for (std::size_t i = 0; i < bars_.size(); ++i) out.push_back(bars_[(next_ + i) % bars_.size()]);
    return out;
}

namespace {

std::string Share(double v) {
    if (std::isnan(v)) return {};
    char buf[32];
    const int n = std::snprintf(buf, sizeof buf, "%.4f", v);
    return std::string(buf, static_cast<std::size_t>(n));
}

}  // namespace

std::string SignalReportCsv(const std::vector<SignalCounts>& counts) {
    std::string out = "slot,bars,shown,confirmed,vanished,flipped,late,median_share\n";
    for (const SignalCounts& c : counts) {
        out += c.slot;
        for (const std::size_t n : {c.bars, c.shown, c.confirmed, c.vanished, c.flipped, c.late}) {
            out += ',';
            out += std::to_string(n);
        }
        out += ',';
        out += Share(c.medianShare);
        out += '\n';
    }
    return out;
}

std::string SignalReportTable(const std::vector<SignalCounts>& counts) {
    std::string out;
    char line[256];
    std::snprintf(line, sizeof line, "%-36s %8s %8s %9s %8s %8s %8s %6s %7s\n", "signal slot", "bars", "shown",
                  "confirmed", "vanished", "vanish%", "flipped", "late", "median");
    out += line;
    for (const SignalCounts& c : counts) {
        const double vanishShare = c.shown > 0 ? 100.0 * static_cast<double>(c.vanished) / static_cast<double>(c.shown) : 0.0;
        const std::string median = std::isnan(c.medianShare) ? "-" : Share(c.medianShare);
        std::snprintf(line, sizeof line, "%-36s %8zu %8zu %9zu %8zu %7.1f%% %8zu %6zu %7s\n", c.slot.c_str(), c.bars,
                      c.shown, c.confirmed, c.vanished, vanishShare, c.flipped, c.late, median.c_str());
        out += line;
    }
    return out;
}

}  // namespace zt::replay
