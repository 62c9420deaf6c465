#include "replay/drawing/layout.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zt::replay {
namespace {

// Horizontal: the drawing's width, the plot area's left edge and right margin.
constexpr double kWidth = 1400.0;
constexpr double kPlotLeft = 176.0;
constexpr double kRight = 24.0;
constexpr double kMargin = 12.0;          // left edge of the title and the panel titles
// Vertical: the title lines, then the panels one under the other.
constexpr double kTitleBaseline = 26.0;
constexpr double kSubtitleBaseline = 46.0;
constexpr double kFirstPanel = 64.0;      // the first panel's top
constexpr double kPanelTitleBaseline = 13.0;  // below the panel's top
constexpr double kHeaderRow = 17.0;       // a further row of legend entries
constexpr double kPlotBelowHeader = 9.0;  // from the last header baseline to the plot area
constexpr double kPriceHeight = 260.0;    // the plot area of a price panel
constexpr double kOscillatorHeight = 110.0;
constexpr double kSignalRow = 20.0;
constexpr double kCodeRow = 18.0;
constexpr double kTimeAxis = 22.0;        // under each plot area
constexpr double kTimeTickBaseline = 14.0;  // below the plot area
constexpr double kPanelGap = 16.0;
constexpr double kBottomMargin = 8.0;     // under the last panel
// Legends: title, then entries of a key and its label.
constexpr double kTitleToLegend = 20.0;   // after the panel title; the indent of further rows
constexpr double kKeyToLabel = 5.0;
constexpr double kLegendEntryGap = 18.0;
constexpr double kKeyAboveBaseline = 4.0;  // the key's middle, above its label's baseline
// Axis labels: value ticks and row labels end left of the plot area, their
// baseline this far below the point they name.
constexpr double kAxisLabelGap = 6.0;
constexpr double kLabelCentre = 3.5;
constexpr double kTickSlack = 4.0;        // a value tick may reach this far past the plot area
constexpr double kTickSpacing = 3.0;      // between value tick labels, beyond their size
constexpr double kTimeTickGap = 10.0;     // between time tick labels
constexpr double kTimeTickEvery = 90.0;   // plot width per time tick at most
// Text sizes.
constexpr double kTitleSize = 16.0;
constexpr double kPanelTitleSize = 12.0;
constexpr double kTextSize = 11.0;
constexpr double kTickSize = 10.0;
// Scales: a price panel's ticks and padding, and how far from the bars a line
// may be and still widen it; an oscillator panel's.
constexpr int kPriceTicks = 8;
constexpr double kPricePad = 0.03;
constexpr double kLineReach = 0.25;       // of the bars' range
constexpr int kOscillatorTicks = 5;
constexpr double kOscillatorPad = 0.06;

// Five colours told apart at a glance, also by most colour-blind readers.
constexpr svg::Colour kPalette[kMaxLinesPerPanel] = {svg::Colour::Hex(0x1f5fbf), svg::Colour::Hex(0xe8710a),
                                                     svg::Colour::Hex(0x8e24aa), svg::Colour::Hex(0x00897b),
                                                     svg::Colour::Hex(0xc2185b)};
constexpr svg::Colour kUpColour = svg::Colour::Hex(0x1b9e4b);
constexpr svg::Colour kDownColour = svg::Colour::Hex(0xd7301f);

constexpr std::size_t npos = static_cast<std::size_t>(-1);

// Texts are measured roughly, on the wide side: DejaVu Sans capitals are
// about 0.7 em, bold ones 0.78 em.
double TextWidth(const std::string& text, double size, bool bold) {
    return static_cast<double>(text.size()) * size * (bold ? 0.78 : 0.7);
}

std::string ShortName(std::string_view study) {
    return std::string(study.substr(0, 6) == "E_ZARN" ? study.substr(6) : study);
}

// Columns of one study that one panel draws.
struct Group {
    const StudyInfo* study;
    std::vector<std::size_t> columns;
};

std::string_view SlotName(const Column& c) { return c.study->about->slotNames[static_cast<std::size_t>(c.slot)]; }

ChartRole RoleOf(const Column& c) { return c.study->about->roles[static_cast<std::size_t>(c.slot)]; }

// The groups of columns with a role, study by study in column order.
std::vector<Group> GroupsOf(const DrawingData& data, ChartRole role) {
    std::vector<Group> groups;
    for (std::size_t c = 0; c < data.columns.size(); ++c) {
        if (RoleOf(data.columns[c]) != role) continue;
        if (groups.empty() || groups.back().study != data.columns[c].study) groups.push_back({data.columns[c].study, {}});
        groups.back().columns.push_back(c);
    }
    return groups;
}

// A column a price or oscillator panel draws as a line, with its label.
struct LabelledColumn {
    std::size_t column;
    std::string label;  // "STOPLINE", "EBANDS.lower"
};

// One entry of a panel's legend: its key and label.
struct LegendEntry {
    LegendKey::Kind kind;
    std::string label;
    svg::Colour colour;
};
using Legend = std::vector<LegendEntry>;

// The legend of a price or oscillator panel: a stroke of each line's colour.
Legend LinesLegend(const std::vector<LabelledColumn>& lines) {
    Legend legend;
    for (std::size_t i = 0; i < lines.size(); ++i) legend.push_back({LegendKey::Line, lines[i].label, kPalette[i]});
    return legend;
}

// The lines of one price family, studies whole into panels of at most five
// lines (a study of more lines than that fills panels of its own).
std::vector<std::vector<LabelledColumn>> PricePanelLines(const DrawingData& data, ChartRole role) {
    std::vector<std::vector<LabelledColumn>> panels;
    for (const Group& g : GroupsOf(data, role)) {
        for (std::size_t k = 0; k < g.columns.size(); ++k) {
            const bool startStudy = k == 0;
            if (panels.empty() || panels.back().size() == kMaxLinesPerPanel ||
                (startStudy && panels.back().size() + g.columns.size() > kMaxLinesPerPanel &&
                 g.columns.size() <= kMaxLinesPerPanel))
                panels.emplace_back();
            const Column& c = data.columns[g.columns[k]];
            std::string label = ShortName(g.study->name());
            if (g.columns.size() > 1) label.append(".").append(SlotName(c));
            panels.back().push_back({g.columns[k], std::move(label)});
        }
    }
    return panels;
}

// "TITLE (2 of 3)" for the part of something drawn in several panels.
std::string PartTitle(std::string title, std::size_t part, std::size_t parts) {
    if (parts > 1) title += " (" + std::to_string(part + 1) + " of " + std::to_string(parts) + ")";
    return title;
}

// The bars drawn end here (one past the newest).
std::size_t EndOf(const DrawingLayout& l) { return l.first + l.shown; }

// The first bar a column draws: its study's warm-up over.
std::size_t FirstDrawn(const DrawingData& data, const DrawingLayout& l, std::size_t column) {
    const auto warmup = static_cast<std::size_t>(std::max(data.columns[column].warmup, 0));
    const std::size_t firstNumber = data.totalBars - data.bars.size();  // of bars[0]
    return std::max(l.first, warmup > firstNumber ? warmup - firstNumber : 0);
}

// A price panel's scale follows the bars, widened by the lines near them (a
// line further away than a quarter of the bars' range breaks instead).
ValueAxis PriceAxis(const DrawingData& data, const DrawingLayout& l, const LayoutPanel& p) {
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (std::size_t b = l.first; b < EndOf(l); ++b) lo = std::min(lo, data.bars[b].low), hi = std::max(hi, data.bars[b].high);
    if (!(lo <= hi)) lo = 0.0, hi = 1.0;
    const double reach = (hi - lo) * kLineReach;
    double lineLo = lo, lineHi = hi;
    for (const PanelLine& line : p.lines)
        for (std::size_t b = line.from; b < EndOf(l); ++b) {
            const double v = data.Row(b)[line.column];
            if (v >= lo - reach && v <= hi + reach) lineLo = std::min(lineLo, v), lineHi = std::max(lineHi, v);
        }
    return RoundAxis(lineLo, lineHi, kPriceTicks, kPricePad);
}

// An oscillator panel's scale spans the finite values, with the zero line in
// view unless the values keep far from it (a composite line at price level
// keeps its own range).
ValueAxis OscillatorAxis(const DrawingData& data, const DrawingLayout& l, const LayoutPanel& p) {
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (const PanelLine& line : p.lines)
        for (std::size_t b = line.from; b < EndOf(l); ++b) {
            const double v = data.Row(b)[line.column];
            if (std::isfinite(v)) lo = std::min(lo, v), hi = std::max(hi, v);
        }
    if (!(lo <= hi)) lo = hi = 0.0;
    if (lo > 0.0 && lo <= hi - lo) lo = 0.0;
    if (hi < 0.0 && -hi <= hi - lo) hi = 0.0;
    return RoundAxis(lo, hi, kOscillatorTicks, kOscillatorPad);
}

// The codes that occur where the columns of the groups are drawn, in order.
std::vector<int> CodesShown(const DrawingData& data, const DrawingLayout& l, const std::vector<Group>& groups) {
    std::vector<int> codes;
    for (const Group& g : groups)
        for (const std::size_t c : g.columns)
            for (std::size_t b = FirstDrawn(data, l, c); b < EndOf(l); ++b) {
                const double v = data.Row(b)[c];
                if (!std::isfinite(v)) continue;
                const int code = static_cast<int>(std::clamp(std::round(v), -9.0, 9.0));
                if (std::find(codes.begin(), codes.end(), code) == codes.end()) codes.push_back(code);
            }
    std::sort(codes.begin(), codes.end());
    return codes;
}

class Builder {
public:
    Builder(const DrawingData& data, const DrawingOptions& options) : data_(data) {
        const std::size_t total = data.bars.size();
        l_.width = kWidth;
        l_.plotLeft = kPlotLeft;
        l_.plotWidth = kWidth - kPlotLeft - kRight;
        l_.shown = options.lastBars == 0 ? total : std::min(options.lastBars, total);
        l_.first = total - l_.shown;
        l_.step = l_.shown > 0 ? l_.plotWidth / static_cast<double>(l_.shown) : l_.plotWidth;
        subtitle_ = std::to_string(l_.shown) + " of " + std::to_string(data.totalBars) + " bars";
        if (!options.subtitle.empty()) subtitle_ += " \xC2\xB7 " + options.subtitle;
    }

    DrawingLayout Build() {
        Text(TextRole::Title, kMargin, kTitleBaseline, svg::Anchor::Start, kTitleSize, true, data_.source, npos);
        Text(TextRole::Subtitle, kMargin, kSubtitleBaseline, svg::Anchor::Start, kTextSize, false, subtitle_, npos);
        TimeAxis();
        y_ = kFirstPanel;
        PricePanels();
        SignalPanel();
        CodePanel();
        for (const Group& g : GroupsOf(data_, ChartRole::Oscillator)) OscillatorPanels(g);
        l_.height = std::ceil(y_ + kBottomMargin);
        return std::move(l_);
    }

private:
    PanelLine LineOf(std::size_t column, std::string label, std::size_t index) const {
        return {column, std::move(label), kPalette[index % kMaxLinesPerPanel], FirstDrawn(data_, l_, column)};
    }

    void Text(TextRole role, double x, double y, svg::Anchor anchor, double size, bool bold, std::string text,
              std::size_t panel) {
        l_.texts.push_back({role, x, y, anchor, size, bold, std::move(text), panel});
    }

    // A label left of the plot area, its baseline below y.
    void AxisLabel(TextRole role, double y, std::string text, std::size_t panel) {
        Text(role, l_.plotLeft - kAxisLabelGap, y, svg::Anchor::End, kTickSize, false, std::move(text), panel);
    }

    // Time ticks, thinned so that their labels keep apart and inside the plot.
    void TimeAxis() {
        const auto ticks = TimeTicks(data_.bars, l_.first, l_.shown, static_cast<int>(l_.plotWidth / kTimeTickEvery));
        double lastRight = -std::numeric_limits<double>::infinity();
        for (const TimeTick& t : ticks) {
            const double half = TextWidth(t.label, kTickSize, false) / 2.0;
            const double x = l_.X(t.bar);
            if (x - half < l_.plotLeft || x + half > l_.plotLeft + l_.plotWidth || x - half < lastRight + kTimeTickGap)
                continue;
            l_.timeTicks.push_back(t);
            lastRight = x + half;
        }
    }

    // Starts a panel: its title and legend from the top, rows of them as
    // wide as the drawing.
    LayoutPanel& Begin(PanelKind kind, std::string title, const Legend& legend) {
        const std::size_t index = l_.panels.size();
        LayoutPanel& p = l_.panels.emplace_back();
        p.kind = kind;
        p.title = std::move(title);
        p.top = y_;
        double baseline = y_ + kPanelTitleBaseline;
        Text(TextRole::PanelTitle, kMargin, baseline, svg::Anchor::Start, kPanelTitleSize, true, p.title, index);
        double x = kMargin + TextWidth(p.title, kPanelTitleSize, true) + kTitleToLegend;
        for (const LegendEntry& entry : legend) {
            const double w = kLegendKeyWidth + kKeyToLabel + TextWidth(entry.label, kTextSize, false);
            if (x + w > kWidth - kRight) {
                x = kMargin + kTitleToLegend;
                baseline += kHeaderRow;
            }
            p.keys.push_back({entry.kind, x, baseline - kKeyAboveBaseline, entry.colour});
            Text(TextRole::Legend, x + kLegendKeyWidth + kKeyToLabel, baseline, svg::Anchor::Start, kTextSize, false,
                 entry.label, index);
            x += w + kLegendEntryGap;
        }
        p.plotTop = baseline + kPlotBelowHeader;
        return p;
    }

    // A price or oscillator panel begun: the legend and a line per column.
    LayoutPanel& BeginLines(PanelKind kind, std::string title, const std::vector<LabelledColumn>& lines) {
        LayoutPanel& p = Begin(kind, std::move(title), LinesLegend(lines));
        for (std::size_t i = 0; i < lines.size(); ++i) p.lines.push_back(LineOf(lines[i].column, lines[i].label, i));
        return p;
    }

    void End(LayoutPanel& p, double plotHeight) {
        const std::size_t index = l_.panels.size() - 1;
        p.plotHeight = plotHeight;
        const double plotBottom = p.plotTop + plotHeight;
        for (const TimeTick& t : l_.timeTicks)
            Text(TextRole::TimeTick, l_.X(t.bar), plotBottom + kTimeTickBaseline, svg::Anchor::Middle, kTickSize, false,
                 t.label, index);
        if (p.kind == PanelKind::Price || p.kind == PanelKind::Oscillator) {
            double lastY = std::numeric_limits<double>::infinity();
            for (const double v : p.axis.ticks) {
                const double y = p.Y(v) + kLabelCentre;
                if (y > plotBottom + kTickSlack || y - kTickSize < p.plotTop - kTickSlack ||
                    lastY - y < kTickSize + kTickSpacing)
                    continue;
                AxisLabel(TextRole::ValueTick, y, TickLabel(p.axis, v), index);
                lastY = y;
            }
        }
        p.bottom = plotBottom + kTimeAxis;
        y_ = p.bottom + kPanelGap;
    }

    void PricePanels() {
        struct Family {
            ChartRole role;
            const char* name;
        };
        constexpr Family kFamilies[] = {{ChartRole::Stop, "stops"},
                                        {ChartRole::Blend, "blend lines"},
                                        {ChartRole::Band, "bands and levels"},
                                        {ChartRole::Swing, "swing and split lines"}};
        bool any = false;
        for (const Family& f : kFamilies) {
            const auto panels = PricePanelLines(data_, f.role);
            for (std::size_t i = 0; i < panels.size(); ++i) {
                PricePanel(PartTitle(std::string("Price \xC2\xB7 ") + f.name, i, panels.size()), panels[i]);
                any = true;
            }
        }
        if (!any) PricePanel("Price", {});
    }

    void PricePanel(std::string title, const std::vector<LabelledColumn>& lines) {
        LayoutPanel& p = BeginLines(PanelKind::Price, std::move(title), lines);
        p.axis = PriceAxis(data_, l_, p);
        End(p, kPriceHeight);
    }

    // A study's oscillator slots, five to a panel.
    void OscillatorPanels(const Group& g) {
        const std::size_t parts = (g.columns.size() + kMaxLinesPerPanel - 1) / kMaxLinesPerPanel;
        for (std::size_t part = 0; part < parts; ++part) {
            std::vector<LabelledColumn> lines;
            for (std::size_t k = part * kMaxLinesPerPanel; k < std::min(g.columns.size(), (part + 1) * kMaxLinesPerPanel); ++k)
                lines.push_back({g.columns[k], std::string(SlotName(data_.columns[g.columns[k]]))});
            LayoutPanel& p = BeginLines(PanelKind::Oscillator, PartTitle(ShortName(g.study->name()), part, parts), lines);
            p.axis = OscillatorAxis(data_, l_, p);
            End(p, kOscillatorHeight);
        }
    }

    // One row of up and down marks per signal study.
    void SignalPanel() {
        const std::vector<Group> groups = GroupsOf(data_, ChartRole::Signal);
        if (groups.empty()) return;
        LayoutPanel& p = Begin(PanelKind::Signals, "Signals",
                               {{LegendKey::Up, "up (+1 / above 0)", kUpColour},
                                {LegendKey::Down, "down (-1 / below 0)", kDownColour}});
        const std::size_t index = l_.panels.size() - 1;
        double y = p.plotTop;
        for (const Group& g : groups) {
            PanelRow row{ShortName(g.study->name()), {}, y, kSignalRow};
            for (const std::size_t c : g.columns) {
                std::string label = row.label;
                if (g.columns.size() > 1) label.append(".").append(SlotName(data_.columns[c]));
                row.columns.push_back(LineOf(c, std::move(label), 0));
            }
            AxisLabel(TextRole::RowLabel, y + kSignalRow / 2.0 + kLabelCentre, row.label, index);
            p.rows.push_back(std::move(row));
            y += kSignalRow;
        }
        End(p, y - p.plotTop);
    }

    // One coloured band per code slot, each code that occurs in the legend.
    void CodePanel() {
        const std::vector<Group> groups = GroupsOf(data_, ChartRole::Code);
        if (groups.empty()) return;
        Legend legend;
        for (const int code : CodesShown(data_, l_, groups)) legend.push_back({LegendKey::Swatch, "code " + std::to_string(code), CodeColour(code)});
        LayoutPanel& p = Begin(PanelKind::Codes, "Codes", legend);
        const std::size_t index = l_.panels.size() - 1;
        double y = p.plotTop;
        for (const Group& g : groups)
            for (const std::size_t c : g.columns) {
                std::string label = ShortName(g.study->name());
                label.append(".").append(SlotName(data_.columns[c]));
                AxisLabel(TextRole::RowLabel, y + kCodeRow / 2.0 + kLabelCentre, label, index);
                p.rows.push_back({label, {LineOf(c, label, 0)}, y, kCodeRow});
                y += kCodeRow;
            }
        End(p, y - p.plotTop);
    }

    const DrawingData& data_;
    DrawingLayout l_;
    std::string subtitle_;
    double y_ = 0.0;
};

}  // namespace

double LayoutText::Left() const {
    const double w = TextWidth(text, size, bold);
    return anchor == svg::Anchor::Start ? x : anchor == svg::Anchor::Middle ? x - w / 2.0 : x - w;
}

double LayoutText::Right() const { return Left() + TextWidth(text, size, bold); }

svg::Colour CodeColour(double code) {
    const double c = std::round(code);
    if (c <= -2.0) return svg::Colour::Hex(0x7b3294);
    if (c == -1.0) return svg::Colour::Hex(0xf4a582);
    if (c == 0.0) return svg::Colour::Hex(0xe3e3e3);
    if (c == 1.0) return svg::Colour::Hex(0xe06666);
    return svg::Colour::Hex(0x4f8fd6);
}

DrawingLayout LayOut(const DrawingData& data, const DrawingOptions& options) { return Builder(data, options).Build(); }

}  // namespace zt::replay
