// Draws a layout as SVG.
#include <algorithm>
#include <cmath>

#include "replay/drawing/svg.h"

namespace zt::replay {
namespace {

using svg::Colour;
using svg::Path;
using svg::Writer;

constexpr Colour kInk = Colour::Hex(0x222222);
constexpr Colour kMuted = Colour::Hex(0x555555);
constexpr Colour kFrame = Colour::Hex(0xb4b4b4);
constexpr Colour kGrid = Colour::Hex(0xe6e6e6);
constexpr Colour kZero = Colour::Hex(0x8c8c8c);
constexpr Colour kPlot = Colour::Hex(0xfcfcfc);
constexpr Colour kWick = Colour::Hex(0x7d7d7d);
constexpr Colour kUpFill = Colour::Hex(0xd9eee6);
constexpr Colour kUpEdge = Colour::Hex(0x5b9c86);
constexpr Colour kDownFill = Colour::Hex(0xf2c9c4);
constexpr Colour kDownEdge = Colour::Hex(0xb0645a);
constexpr Colour kUpMark = Colour::Hex(0x1b9e4b);
constexpr Colour kDownMark = Colour::Hex(0xd7301f);

void HorizontalLine(Writer& w, double x1, double x2, double y, Colour c, const char* dash = nullptr) {
    w.Open("line").Length("x1", x1).Length("y1", y).Length("x2", x2).Length("y2", y).Stroke(c);
    if (dash != nullptr) w.Attribute("stroke-dasharray", dash);
    w.Empty();
}

void DrawText(Writer& w, const LayoutText& t) {
    w.Open("text").Length("x", t.x).Length("y", t.y);
    if (t.anchor != svg::Anchor::Start) w.TextAnchor(t.anchor);
    if (t.size != 11.0) w.Length("font-size", t.size);
    if (t.bold) w.Attribute("font-weight", "bold");
    if (t.role == TextRole::ValueTick || t.role == TextRole::TimeTick || t.role == TextRole::Subtitle ||
        t.role == TextRole::RowLabel)
        w.Fill(kMuted);
    w.Text(t.text);
}

// An up mark (a triangle pointing up) or a down mark centred at x, y.
void Mark(Path& p, double x, double y, double half, bool up) {
    const double h = half * 1.6;
    if (up) p.Move(x - half, y + h / 2.0).Line(x + half, y + h / 2.0).Line(x, y - h / 2.0).Close();
    else p.Move(x - half, y - h / 2.0).Line(x + half, y - h / 2.0).Line(x, y + h / 2.0).Close();
}

void Candles(Writer& w, const DrawingLayout& l, const LayoutPanel& p, const DrawingData& data) {
    Path wicks, up, down;
    const double body = std::max(l.step * 0.68, 0.6);
    for (std::size_t b = l.first; b < l.first + l.shown; ++b) {
        const Bar& bar = data.bars[b];
        const double x = l.X(b);
        wicks.Move(x, p.Y(bar.high)).Vertical(p.Y(bar.low));
        const double top = p.Y(std::max(bar.open, bar.close));
        const double h = std::max(p.Y(std::min(bar.open, bar.close)) - top, 0.8);
        (bar.close >= bar.open ? up : down)
            .Move(x - body / 2.0, top).RelativeHorizontal(body).RelativeVertical(h).RelativeHorizontal(-body).Close();
    }
    w.Open("path").Attribute("class", "wicks").Stroke(kWick).NoFill().Attribute("vector-effect", "non-scaling-stroke").D(wicks).Empty();
    w.Open("path").Attribute("class", "up").Fill(kUpFill).Stroke(kUpEdge).Length("stroke-width", 0.8)
        .Attribute("vector-effect", "non-scaling-stroke").D(up).Empty();
    w.Open("path").Attribute("class", "down").Fill(kDownFill).Stroke(kDownEdge).Length("stroke-width", 0.8)
        .Attribute("vector-effect", "non-scaling-stroke").D(down).Empty();
}

void Lines(Writer& w, const DrawingLayout& l, const LayoutPanel& p, const DrawingData& data) {
    for (const PanelLine& line : p.lines) {
        Path d;
        bool open = false;
        for (std::size_t b = line.from; b < l.first + l.shown; ++b) {
            const double v = data.Row(b)[line.column];
            // A value outside the scale (far from the bars) breaks the line.
            if (!(v >= p.axis.low && v <= p.axis.high)) {
                open = false;
                continue;
            }
            if (open) d.Line(l.X(b), p.Y(v));
            else d.Move(l.X(b), p.Y(v));
            open = true;
        }
        w.Open("path").Attribute("class", "line").Attribute("data-column", data.columns[line.column].name)
            .Stroke(line.colour).NoFill().Length("stroke-width", 1.6).Attribute("stroke-linejoin", "round")
            .Attribute("vector-effect", "non-scaling-stroke").D(d).Empty();
    }
}

void Signals(Writer& w, const DrawingLayout& l, const LayoutPanel& p, const DrawingData& data) {
    const double half = std::clamp(l.step * 0.4, 1.5, 4.5);
    for (const PanelRow& row : p.rows) {
        HorizontalLine(w, l.plotLeft, l.plotLeft + l.plotWidth, row.top + row.height, kGrid);
        for (const PanelLine& c : row.columns) {
            Path up, down;
            for (std::size_t b = c.from; b < l.first + l.shown; ++b) {
                const double v = data.Row(b)[c.column];
                if (v > 0.0) Mark(up, l.X(b), row.top + row.height * 0.3, half, true);
                else if (v < 0.0) Mark(down, l.X(b), row.top + row.height * 0.7, half, false);
            }
            // The row's place goes with the marks: the page redraws them when
            // it zooms rather than stretch them.
            w.Open("path").Attribute("class", "up").Attribute("data-column", data.columns[c.column].name)
                .Length("data-y", row.top + row.height * 0.3).Fill(kUpMark).D(up).Empty();
            w.Open("path").Attribute("class", "down").Attribute("data-column", data.columns[c.column].name)
                .Length("data-y", row.top + row.height * 0.7).Fill(kDownMark).D(down).Empty();
        }
    }
}

void Codes(Writer& w, const DrawingLayout& l, const LayoutPanel& p, const DrawingData& data) {
    for (const PanelRow& row : p.rows) {
        const PanelLine& c = row.columns.front();
        const std::size_t end = l.first + l.shown;
        for (std::size_t b = c.from; b < end;) {
            const double v = data.Row(b)[c.column];
            std::size_t e = b + 1;
            while (e < end && data.Row(e)[c.column] == v) ++e;
            if (std::isfinite(v)) {
                const double x = l.plotLeft + static_cast<double>(b - l.first) * l.step;
                w.Open("rect").Attribute("class", "code").Attribute("data-column", data.columns[c.column].name)
                    .Length("x", x).Length("y", row.top + 2.0).Length("width", static_cast<double>(e - b) * l.step)
                    .Length("height", row.height - 4.0).Fill(CodeColour(v)).Empty();
            }
            b = e;
        }
    }
}

void Legend(Writer& w, const LegendKey& k) {
    switch (k.kind) {
        case LegendKey::Line:
            w.Open("line").Length("x1", k.x).Length("y1", k.y).Length("x2", k.x + kLegendKeyWidth).Length("y2", k.y)
                .Stroke(k.colour).Length("stroke-width", 2.5).Empty();
            break;
        case LegendKey::Up:
        case LegendKey::Down: {
            Path p;
            Mark(p, k.x + kLegendKeyWidth / 2.0, k.y, 4.5, k.kind == LegendKey::Up);
            w.Open("path").Fill(k.colour).D(p).Empty();
            break;
        }
        case LegendKey::Swatch:
            w.Open("rect").Length("x", k.x + 3.0).Length("y", k.y - 5.0).Length("width", 16.0).Length("height", 10.0)
                .Fill(k.colour).Empty();
            break;
    }
}

void Panel(Writer& w, const DrawingLayout& l, const DrawingData& data, std::size_t index) {
    const LayoutPanel& p = l.panels[index];
    const double right = l.plotLeft + l.plotWidth;
    w.Open("g").Attribute("class", "panel").Attribute("id", "panel-" + std::to_string(index))
        .Attribute("data-title", p.title).Length("data-top", p.top).Length("data-bottom", p.bottom).Children();
    w.Open("rect").Length("x", l.plotLeft).Length("y", p.plotTop).Length("width", l.plotWidth)
        .Length("height", p.plotHeight).Fill(kPlot).Stroke(kFrame).Empty();
    if (p.kind == PanelKind::Price || p.kind == PanelKind::Oscillator)
        for (const double v : p.axis.ticks) HorizontalLine(w, l.plotLeft, right, p.Y(v), kGrid);
    for (const LegendKey& k : p.keys) Legend(w, k);
    for (const LayoutText& t : l.texts)
        if (t.panel == index && t.role != TextRole::TimeTick) DrawText(w, t);
    w.Open("g").Attribute("class", "time-axis").Children();
    for (const LayoutText& t : l.texts)
        if (t.panel == index && t.role == TextRole::TimeTick) DrawText(w, t);
    w.End("g");
    // The plot area's contents, clipped to it.
    w.Open("g").Attribute("clip-path", "url(#clip-" + std::to_string(index) + ")").Children();
    w.Open("g").Attribute("class", "zoom").Children();
    for (const TimeTick& t : l.timeTicks) {
        w.Open("line").Length("x1", l.X(t.bar)).Length("y1", p.plotTop).Length("x2", l.X(t.bar))
            .Length("y2", p.plotTop + p.plotHeight).Stroke(kGrid).Attribute("vector-effect", "non-scaling-stroke").Empty();
    }
    switch (p.kind) {
        case PanelKind::Price:
            Candles(w, l, p, data);
            Lines(w, l, p, data);
            break;
        case PanelKind::Oscillator:
            if (p.axis.low < 0.0 && p.axis.high > 0.0) HorizontalLine(w, l.plotLeft, right, p.Y(0.0), kZero, "5 3");
            Lines(w, l, p, data);
            break;
        case PanelKind::Signals: Signals(w, l, p, data); break;
        case PanelKind::Codes: Codes(w, l, p, data); break;
    }
    w.End("g");
    w.End("g");
    w.End("g");
}

}  // namespace

void DrawLayout(Writer& w, const DrawingLayout& l, const DrawingData& data) {
    w.Open("svg").Attribute("xmlns", "http://www.w3.org/2000/svg").Attribute("id", "chart")
        .Length("width", l.width).Length("height", l.height).ViewBox(0.0, 0.0, l.width, l.height)
        .Attribute("font-family", "DejaVu Sans, Arial, Helvetica, sans-serif").Length("font-size", 11.0)
        .Fill(kInk).Children();
    w.Open("defs").Children();
    for (std::size_t i = 0; i < l.panels.size(); ++i) {
        const LayoutPanel& p = l.panels[i];
        w.Open("clipPath").Attribute("id", "clip-" + std::to_string(i)).Children();
        w.Open("rect").Length("x", l.plotLeft).Length("y", p.plotTop).Length("width", l.plotWidth)
            .Length("height", p.plotHeight).Empty();
        w.End("clipPath");
    }
    w.End("defs");
    w.Open("rect").Attribute("class", "background").Length("x", 0.0).Length("y", 0.0).Length("width", l.width)
        .Length("height", l.height).Fill(Colour::Hex(0xffffff)).Empty();
    for (const LayoutText& t : l.texts)
        if (t.role == TextRole::Title || t.role == TextRole::Subtitle) DrawText(w, t);
    for (std::size_t i = 0; i < l.panels.size(); ++i) Panel(w, l, data, i);
    w.End("svg");
}

std::string DrawingSvg(const DrawingData& data, const DrawingOptions& options) {
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    Writer w(out);
    DrawLayout(w, LayOut(data, options), data);
    return out;
}

}  // namespace zt::replay
