#include "replay/drawing/layout.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zt::replay {
namespace {

constexpr double kWidth = 1400.0;
constexpr double kPlotLeft = 176.0;
constexpr double kRight = 24.0;
constexpr double kMargin = 12.0;        // left edge of panel titles
constexpr double kFirstPanel = 64.0;
constexpr double kHeaderRow = 17.0;     // a row of title and legend
constexpr double kPriceHeight = 260.0;  // the plot area of a price panel
constexpr double kOscillatorHeight = 110.0;
constexpr double kSignalRow = 20.0;
constexpr double kCodeRow = 18.0;
constexpr double kTimeAxis = 22.0;      // under each plot area
constexpr double kPanelGap = 16.0;
constexpr double kLegendKey = 22.0;     // the stroke or mark before a legend label
constexpr double kTextSize = 11.0;
constexpr double kTickSize = 10.0;

// Five colours told apart at a glance, also by most colour-blind readers.
constexpr svg::Colour kPalette[kMaxLinesPerPanel] = {svg::Colour::Hex(0x1f5fbf), svg::Colour::Hex(0xe8710a),
                                                     svg::Colour::Hex(0x8e24aa), svg::Colour::Hex(0x00897b),
                                                     svg::Colour::Hex(0xc2185b)};

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
std::vector<Group> GroupsOf(const ChartData& data, ChartRole role) {
    std::vector<Group> groups;
    for (std::size_t c = 0; c < data.columns.size(); ++c) {
        if (RoleOf(data.columns[c]) != role) continue;
        if (groups.empty() || groups.back().study != data.columns[c].study) groups.push_back({data.columns[c].study, {}});
        groups.back().columns.push_back(c);
    }
    return groups;
}

class Builder {
public:
    Builder(const ChartData& data, const ChartOptions& options) : data_(data) {
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

    ChartLayout Build() {
        Text(TextRole::Title, kMargin, 26.0, svg::Anchor::Start, 16.0, true, data_.source, npos);
        Text(TextRole::Subtitle, kMargin, 46.0, svg::Anchor::Start, kTextSize, false, subtitle_, npos);
        TimeAxis();
        y_ = kFirstPanel;
        PricePanels();
        SignalPanel();
        CodePanel();
        for (const Group& g : GroupsOf(data_, ChartRole::Oscillator)) OscillatorPanels(g);
        l_.height = std::ceil(y_ + 8.0);
        return std::move(l_);
    }

private:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    void Text(TextRole role, double x, double y, svg::Anchor anchor, double size, bool bold, std::string text,
              std::size_t panel) {
        l_.texts.push_back({role, x, y, anchor, size, bold, std::move(text), panel});
    }

    // The first bar a column draws: its study's warm-up over.
    std::size_t From(std::size_t column) const {
        const auto warmup = static_cast<std::size_t>(std::max(data_.columns[column].warmup, 0));
        const std::size_t firstNumber = data_.totalBars - data_.bars.size();  // of bars[0]
        return std::max(l_.first, warmup > firstNumber ? warmup - firstNumber : 0);
    }

    ChartLine LineOf(std::size_t column, std::string label, std::size_t index) const {
        return {column, std::move(label), kPalette[index % kMaxLinesPerPanel], From(column)};
    }

    // Time ticks, thinned so that their labels keep apart and inside the plot.
    void TimeAxis() {
        const auto ticks = TimeTicks(data_.bars, l_.first, l_.shown, static_cast<int>(l_.plotWidth / 90.0));
        double lastRight = -std::numeric_limits<double>::infinity();
        for (const TimeTick& t : ticks) {
            const double half = TextWidth(t.label, kTickSize, false) / 2.0;
            const double x = l_.X(t.bar);
            if (x - half < l_.plotLeft || x + half > l_.plotLeft + l_.plotWidth || x - half < lastRight + 10.0) continue;
            l_.timeTicks.push_back(t);
            lastRight = x + half;
        }
    }

    // Starts a panel: its title and legend from the top, rows of them as
    // wide as the chart.
    ChartPanel& Begin(PanelKind kind, std::string title, const std::vector<std::pair<LegendKey::Kind, std::pair<std::string, svg::Colour>>>& legend) {
        const std::size_t index = l_.panels.size();
        ChartPanel& p = l_.panels.emplace_back();
        p.kind = kind;
        p.title = std::move(title);
        p.top = y_;
        double baseline = y_ + 13.0;
        Text(TextRole::PanelTitle, kMargin, baseline, svg::Anchor::Start, 12.0, true, p.title, index);
        double x = kMargin + TextWidth(p.title, 12.0, true) + 20.0;
        for (const auto& [kind2, entry] : legend) {
            const double w = kLegendKey + 5.0 + TextWidth(entry.first, kTextSize, false);
            if (x + w > kWidth - kRight) {
                x = kMargin + 20.0;
                baseline += kHeaderRow;
            }
            p.keys.push_back({kind2, x, baseline - 4.0, entry.second});
            Text(TextRole::Legend, x + kLegendKey + 5.0, baseline, svg::Anchor::Start, kTextSize, false, entry.first, index);
            x += w + 18.0;
        }
        p.plotTop = baseline + 9.0;
        return p;
    }

    void End(ChartPanel& p, double plotHeight) {
        const std::size_t index = l_.panels.size() - 1;
        p.plotHeight = plotHeight;
        const double plotBottom = p.plotTop + plotHeight;
        for (const TimeTick& t : l_.timeTicks)
            Text(TextRole::TimeTick, l_.X(t.bar), plotBottom + 14.0, svg::Anchor::Middle, kTickSize, false, t.label, index);
        if (p.kind == PanelKind::Price || p.kind == PanelKind::Oscillator) {
            double lastY = std::numeric_limits<double>::infinity();
            for (const double v : p.axis.ticks) {
                const double y = p.Y(v) + 3.5;
                if (y > plotBottom + 4.0 || y - kTickSize < p.plotTop - 4.0 || lastY - y < kTickSize + 3.0) continue;
                Text(TextRole::ValueTick, l_.plotLeft - 6.0, y, svg::Anchor::End, kTickSize, false,
                     TickLabel(p.axis, v), index);
                lastY = y;
            }
        }
        p.bottom = plotBottom + kTimeAxis;
        y_ = p.bottom + kPanelGap;
    }

    void PricePanel(std::string title, const std::vector<std::pair<std::size_t, std::string>>& lines) {
        std::vector<std::pair<LegendKey::Kind, std::pair<std::string, svg::Colour>>> legend;
        for (std::size_t i = 0; i < lines.size(); ++i) legend.push_back({LegendKey::Line, {lines[i].second, kPalette[i]}});
        ChartPanel& p = Begin(PanelKind::Price, std::move(title), legend);
        for (std::size_t i = 0; i < lines.size(); ++i) p.lines.push_back(LineOf(lines[i].first, lines[i].second, i));
        // The scale follows the bars, widened by the lines near them (a line
        // further away than a quarter of the bars' range breaks instead).
        double lo = std::numeric_limits<double>::infinity(), hi = -lo;
        for (std::size_t b = l_.first; b < l_.first + l_.shown; ++b)
            lo = std::min(lo, data_.bars[b].low), hi = std::max(hi, data_.bars[b].high);
        if (!(lo <= hi)) lo = 0.0, hi = 1.0;
        const double reach = (hi - lo) * 0.25;
        double lineLo = lo, lineHi = hi;
        for (const ChartLine& line : p.lines)
            for (std::size_t b = line.from; b < l_.first + l_.shown; ++b) {
                const double v = data_.Row(b)[line.column];
                if (v >= lo - reach && v <= hi + reach) lineLo = std::min(lineLo, v), lineHi = std::max(lineHi, v);
            }
        p.axis = RoundAxis(lineLo, lineHi, 8, 0.03);
        End(p, kPriceHeight);
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
            // Studies whole into panels of at most five lines.
            std::vector<std::vector<std::pair<std::size_t, std::string>>> chunks;
            for (const Group& g : GroupsOf(data_, f.role)) {
                for (std::size_t k = 0; k < g.columns.size(); ++k) {
                    const bool startStudy = k == 0;
                    if (chunks.empty() || chunks.back().size() == kMaxLinesPerPanel ||
                        (startStudy && chunks.back().size() + g.columns.size() > kMaxLinesPerPanel &&
                         g.columns.size() <= kMaxLinesPerPanel))
                        chunks.emplace_back();
                    const Column& c = data_.columns[g.columns[k]];
                    std::string label = ShortName(g.study->name());
                    if (g.columns.size() > 1) label.append(".").append(SlotName(c));
                    chunks.back().push_back({g.columns[k], std::move(label)});
                }
            }
            for (std::size_t i = 0; i < chunks.size(); ++i) {
                std::string title = std::string("Price \xC2\xB7 ") + f.name;
                if (chunks.size() > 1) title += " (" + std::to_string(i + 1) + " of " + std::to_string(chunks.size()) + ")";
                PricePanel(std::move(title), chunks[i]);
                any = true;
            }
        }
        if (!any) PricePanel("Price", {});
    }

    // One row of up and down marks per signal study.
    void SignalPanel() {
        const std::vector<Group> groups = GroupsOf(data_, ChartRole::Signal);
        if (groups.empty()) return;
        ChartPanel& p = Begin(PanelKind::Signals, "Signals",
                              {{LegendKey::Up, {"up (+1 / above 0)", svg::Colour::Hex(0x1b9e4b)}},
                               {LegendKey::Down, {"down (-1 / below 0)", svg::Colour::Hex(0xd7301f)}}});
        const std::size_t index = l_.panels.size() - 1;
        double y = p.plotTop;
        for (const Group& g : groups) {
            ChartRow row{ShortName(g.study->name()), {}, y, kSignalRow};
            for (const std::size_t c : g.columns) {
                const Column& col = data_.columns[c];
                std::string label = row.label;
                if (g.columns.size() > 1) label.append(".").append(SlotName(col));
                row.columns.push_back(LineOf(c, std::move(label), 0));
            }
            Text(TextRole::RowLabel, l_.plotLeft - 6.0, y + kSignalRow / 2.0 + 3.5, svg::Anchor::End, kTickSize, false,
                 row.label, index);
            p.rows.push_back(std::move(row));
            y += kSignalRow;
        }
        End(p, y - p.plotTop);
    }

    // One coloured band per code slot.
    void CodePanel() {
        const std::vector<Group> groups = GroupsOf(data_, ChartRole::Code);
        if (groups.empty()) return;
        // The codes that occur, each with its colour in the legend.
        std::vector<int> codes;
        for (const Group& g : groups)
            for (const std::size_t c : g.columns)
                for (std::size_t b = From(c); b < l_.first + l_.shown; ++b) {
                    const double v = data_.Row(b)[c];
                    if (!std::isfinite(v)) continue;
                    const int code = static_cast<int>(std::clamp(std::round(v), -9.0, 9.0));
                    if (std::find(codes.begin(), codes.end(), code) == codes.end()) codes.push_back(code);
                }
        std::sort(codes.begin(), codes.end());
        std::vector<std::pair<LegendKey::Kind, std::pair<std::string, svg::Colour>>> legend;
        for (const int code : codes) legend.push_back({LegendKey::Swatch, {"code " + std::to_string(code), CodeColour(code)}});
        ChartPanel& p = Begin(PanelKind::Codes, "Codes", legend);
        const std::size_t index = l_.panels.size() - 1;
        double y = p.plotTop;
        for (const Group& g : groups)
            for (const std::size_t c : g.columns) {
                const Column& col = data_.columns[c];
                std::string label = ShortName(g.study->name());
                label.append(".").append(SlotName(col));
                Text(TextRole::RowLabel, l_.plotLeft - 6.0, y + kCodeRow / 2.0 + 3.5, svg::Anchor::End, kTickSize, false,
                     label, index);
                p.rows.push_back({label, {LineOf(c, label, 0)}, y, kCodeRow});
                y += kCodeRow;
            }
        End(p, y - p.plotTop);
    }

    // A study's oscillator slots, five to a panel.
    void OscillatorPanels(const Group& g) {
        const std::size_t parts = (g.columns.size() + kMaxLinesPerPanel - 1) / kMaxLinesPerPanel;
        for (std::size_t part = 0; part < parts; ++part) {
            std::vector<std::pair<std::size_t, std::string>> lines;
            for (std::size_t k = part * kMaxLinesPerPanel; k < std::min(g.columns.size(), (part + 1) * kMaxLinesPerPanel); ++k) {
                const Column& c = data_.columns[g.columns[k]];
                lines.push_back({g.columns[k], std::string(SlotName(c))});
            }
            std::vector<std::pair<LegendKey::Kind, std::pair<std::string, svg::Colour>>> legend;
            for (std::size_t i = 0; i < lines.size(); ++i) legend.push_back({LegendKey::Line, {lines[i].second, kPalette[i]}});
            std::string title = ShortName(g.study->name());
            if (parts > 1) title += " (" + std::to_string(part + 1) + " of " + std::to_string(parts) + ")";
            ChartPanel& p = Begin(PanelKind::Oscillator, std::move(title), legend);
            double lo = std::numeric_limits<double>::infinity(), hi = -lo;
            for (std::size_t i = 0; i < lines.size(); ++i) {
                p.lines.push_back(LineOf(lines[i].first, lines[i].second, i));
                for (std::size_t b = p.lines.back().from; b < l_.first + l_.shown; ++b) {
                    const double v = data_.Row(b)[lines[i].first];
                    if (std::isfinite(v)) lo = std::min(lo, v), hi = std::max(hi, v);
                }
            }
            if (!(lo <= hi)) lo = hi = 0.0;
            // The zero line stays in view unless the values keep far from it
            // (a composite line at price level keeps its own range).
            if (lo > 0.0 && lo <= hi - lo) lo = 0.0;
            if (hi < 0.0 && -hi <= hi - lo) hi = 0.0;
            p.axis = RoundAxis(lo, hi, 5, 0.06);
            End(p, kOscillatorHeight);
        }
    }

    const ChartData& data_;
    ChartLayout l_;
    std::string subtitle_;
    double y_ = 0.0;
};

}  // namespace

double ChartText::Left() const {
    const double w = TextWidth(text, size, bold);
    return anchor == svg::Anchor::Start ? x : anchor == svg::Anchor::Middle ? x - w / 2.0 : x - w;
}

double ChartText::Right() const { return Left() + TextWidth(text, size, bold); }

svg::Colour CodeColour(double code) {
    const double c = std::round(code);
    if (c <= -2.0) return svg::Colour::Hex(0x7b3294);
    if (c == -1.0) return svg::Colour::Hex(0xf4a582);
    if (c == 0.0) return svg::Colour::Hex(0xe3e3e3);
    if (c == 1.0) return svg::Colour::Hex(0xe06666);
    return svg::Colour::Hex(0x4f8fd6);
}

ChartLayout LayOut(const ChartData& data, const ChartOptions& options) { return Builder(data, options).Build(); }

}  // namespace zt::replay
