// The drawing's scales: round value ticks for a vertical axis, and date and
// time ticks at calendar boundaries for the time axis.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "replay/driver/bars.h"

namespace zt::replay {

// A vertical scale from low to high with round ticks inside it.
struct ValueAxis {
    double low = 0.0, high = 1.0;
    double step = 1.0;          // 1, 2 or 5 times a power of ten
    std::vector<double> ticks;  // multiples of step from low to high
    int decimals = 0;           // what the tick labels need
};

// Round ticks, at most maxTicks of them (at least 2), over the range from
// low to high; the range is first widened by pad (a fraction of itself) on
// each side, and a flat range by 1 on each side.
ValueAxis RoundAxis(double low, double high, int maxTicks, double pad);

// A tick label: the value with the axis's decimals.
std::string TickLabel(const ValueAxis& axis, double v);

struct TimeTick {
    std::size_t bar;    // index into the bars given
    std::string label;  // "2014", "Mar 2014", "Mar", "14 Mar", "10:00"
};

// Ticks where the year, quarter, month, day or hour changes, at the finest of
// those that gives at least two and at most maxTicks; every few bars when
// even the hours change too rarely, thinned when the years change too often.
std::vector<TimeTick> TimeTicks(const std::vector<Bar>& bars, std::size_t first, std::size_t count, int maxTicks);

// "2014-03-14" or "2014-03-14 10:35".
std::string DateTimeText(const Bar& bar);

}  // namespace zt::replay
