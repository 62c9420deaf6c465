// The replay drawn as a self-contained SVG chart: candlesticks with the
// price-scale study lines over them, and below them one panel per
// oscillator or signal study, each with its legend.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "replay/bars.h"
#include "replay/replay.h"

namespace zt::replay {

// What the chart draws: the newest bars of a replay with their rows.
struct ChartData {
    std::string source;          // the title: the file or the built-in series
    std::size_t totalBars = 0;   // in the whole replay
    std::vector<Column> columns;
    std::vector<Bar> bars;       // the bars drawn, oldest first
    std::vector<double> values;  // their rows, one value per column
    // Columns whose every value over the whole replay was a whole number
    // from -2 to 2: codes and flags.
    std::vector<bool> codeColumn;
    const double* Row(std::size_t i) const { return values.data() + i * columns.size(); }
};

// A row sink keeping what the chart draws: the newest lastBars rows (0:
// every row, memory growing with the input) and which columns hold codes.
class ChartRecorder : public RowSink {
public:
    ChartRecorder(std::string source, std::vector<Column> columns, std::size_t lastBars);
    void Row(const Bar& bar, const double* values) override;
    // The rows kept, oldest first.
    ChartData Data() const;

private:
    ChartData data_;  // bars and values as a ring while recording
    std::size_t keep_;
    std::size_t next_ = 0;  // ring position of the next row once full
};

struct ChartOptions {
    std::size_t lastBars = 250;  // the newest bars shown; 0 shows all
    std::string subtitle;        // a line under the title
};

// Every study column becomes exactly one <path class="line"> carrying the
// column name in data-column. Slots of price-scale studies that hold codes
// rather than prices (whole numbers from -2 to 2 on every bar) go to a
// panel of their own so that they do not flatten the price scale.
std::string ChartSvg(const ChartData& data, const ChartOptions& options);

}  // namespace zt::replay
