// The drawing of a replay: price panels of candlesticks with up to five
// study lines of one family over them, a strip of signal marks, a band of
// state codes, and one panel per oscillator study; as a self-contained SVG
// file, or as an HTML page around it with a crosshair readout, panels to
// hide and a zoom (layout.h places everything, svg.cpp and html.cpp write
// it; the page's script and style are page.js and page.css).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "replay/driver/bars.h"
#include "replay/driver/replay.h"

namespace zt::replay {

// What the drawing shows: the newest bars of a replay with their rows.
struct DrawingData {
    std::string source;          // the title: the file or the built-in series
    std::size_t totalBars = 0;   // in the whole replay
    std::vector<Column> columns;
    std::vector<Bar> bars;       // the bars drawn, oldest first
    std::vector<double> values;  // their rows, one value per column
    // With intrabar updates, what the signal columns showed while each drawn
    // bar formed (SignalTrail): the columns, and per bar one trail each
    // ("0+0": appeared and vanished). Empty otherwise.
    std::vector<std::size_t> trailColumns;
    std::vector<std::vector<std::string>> trails;
    const double* Row(std::size_t i) const { return values.data() + i * columns.size(); }
};

// A row sink keeping what the drawing shows: the newest lastBars rows (0:
// every row, memory growing with the input).
class DrawingRecorder : public RowSink {
public:
    DrawingRecorder(std::string source, std::vector<Column> columns, std::size_t lastBars);
    void Row(const Bar& bar, const double* values) override;
    // The rows kept, oldest first.
    DrawingData Data() const;

private:
    DrawingData data_;  // bars and values as a ring while recording
    std::size_t keep_;
    std::size_t next_ = 0;  // ring position of the next row once full
};

struct DrawingOptions {
    std::size_t lastBars = 250;  // the newest bars shown; 0 shows all
    std::string subtitle;        // a line under the title
};

// How each slot is drawn comes from the study catalogue (its chart role);
// every drawn column carries its name in data-column: one
// <path class="line"> per line, <path class="up"/"down"> marks per signal
// slot, <rect class="code"> runs per code slot. A column starts where its
// study's warm-up ends.
std::string DrawingSvg(const DrawingData& data, const DrawingOptions& options);

// The same drawing in one HTML page that needs nothing else (no network, no
// other file): a crosshair showing the bar's date, time, prices, volume and
// every drawn value; panels that can be hidden and shown; a zoom to a range
// of bars and back. With trails, signals that showed while a bar formed and
// were gone at its close are hollow marks (a check box hides them), and the
// readout lists the signal values each bar showed as it formed.
std::string DrawingHtml(const DrawingData& data, const DrawingOptions& options);

}  // namespace zt::replay
