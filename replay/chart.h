// The replay drawn as a self-contained SVG chart: candlesticks with the
// price-scale study lines over them, and below them one panel per
// oscillator or signal study, each with its legend.
#pragma once

#include <cstddef>
#include <string>

#include "replay/bars.h"
#include "replay/replay.h"

namespace zt::replay {

struct ChartOptions {
    std::size_t lastBars = 250;  // the newest bars shown; 0 shows all
    std::string subtitle;        // a line under the title
};

// Every study column becomes exactly one <path class="line"> carrying the
// column name in data-column. Slots of price-scale studies that hold codes
// rather than prices (whole numbers from -2 to 2 on every bar) go to a
// panel of their own so that they do not flatten the price scale.
std::string ChartSvg(const Series& series, const ReplayResult& result, const ChartOptions& options);

}  // namespace zt::replay
