// Where everything of the drawing goes, decided before anything is drawn:
// which panel draws which column in which colour, the panels' places and
// scales, and every text with its box. The SVG and the HTML page draw this
// layout; the layout rules (no overlapping texts, at most five lines and
// distinct colours in a panel) are checked on it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "replay/drawing/drawing.h"
#include "replay/drawing/scale.h"
#include "replay/drawing/svg_writer.h"

namespace zt::replay {

inline constexpr std::size_t kMaxLinesPerPanel = 5;

enum class PanelKind {
    Price,       // candles and up to five overlay lines of one family
    Oscillator,  // one study's oscillator slots, with a zero line
    Signals,     // one row of up and down marks per signal study
    Codes,       // one coloured band per code slot
};

struct PanelLine {
    std::size_t column;  // in DrawingData::columns
    std::string label;   // in the legend and the readout: "STOPLINE", "EBANDS.lower"
    svg::Colour colour;
    std::size_t from;    // the first bar drawn (index into DrawingData::bars): the warm-up ends
};

// Signal and code panels: one row per study (signals) or slot (codes).
struct PanelRow {
    std::string label;
    std::vector<PanelLine> columns;  // a signal row: every signal slot of the study
    double top = 0.0, height = 0.0;
};

enum class TextRole { Title, Subtitle, PanelTitle, Legend, ValueTick, TimeTick, RowLabel };

struct LayoutText {
    TextRole role;
    double x, y;  // the anchor point on the baseline
    svg::Anchor anchor;
    double size;  // font size
    bool bold;
    std::string text;
    std::size_t panel;  // the panel it belongs to; npos for the title lines
    // Its box (an estimate on the generous side).
    double Left() const;
    double Right() const;
    double Top() const { return y - size; }
    double Bottom() const { return y + size * 0.3; }
};

// A key in a legend: a short stroke, a mark or a colour swatch, this wide,
// before its label.
inline constexpr double kLegendKeyWidth = 22.0;
struct LegendKey {
    enum Kind { Line, Up, Down, Swatch } kind;
    double x, y;  // left end, middle
    svg::Colour colour;
};

struct LayoutPanel {
    PanelKind kind;
    std::string title;
    std::vector<PanelLine> lines;  // price and oscillator panels
    std::vector<PanelRow> rows;    // signal and code panels
    std::vector<LegendKey> keys;
    double top = 0.0;       // the panel's header
    double plotTop = 0.0;   // the plot area
    double plotHeight = 0.0;
    double bottom = 0.0;    // below its time axis
    ValueAxis axis;         // price and oscillator panels
    double Y(double v) const { return plotTop + (axis.high - v) / (axis.high - axis.low) * plotHeight; }
};

struct DrawingLayout {
    double width = 0.0, height = 0.0;
    double plotLeft = 0.0, plotWidth = 0.0;
    std::size_t first = 0, shown = 0;  // the bars drawn: DrawingData::bars[first, first + shown)
    double step = 0.0;                 // horizontal space per bar
    std::vector<LayoutPanel> panels;
    std::vector<TimeTick> timeTicks;   // under every panel
    std::vector<LayoutText> texts;      // every text of the drawing
    double X(std::size_t bar) const { return plotLeft + (static_cast<double>(bar - first) + 0.5) * step; }
};

// The colour of a code value in a code band.
svg::Colour CodeColour(double code);

DrawingLayout LayOut(const DrawingData& data, const DrawingOptions& options);

}  // namespace zt::replay
