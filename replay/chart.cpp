#include "replay/chart.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <vector>

namespace zt::replay {
namespace {

constexpr double kWidth = 1400.0;
constexpr double kLeft = 76.0;
constexpr double kRight = 24.0;
constexpr double kPlotWidth = kWidth - kLeft - kRight;
constexpr double kPriceHeight = 460.0;
constexpr double kPanelTitle = 20.0;
constexpr double kPanelHeight = 92.0;
constexpr double kPanelGap = 14.0;
constexpr double kLegendEntry = 260.0;
constexpr double kLegendRow = 18.0;

constexpr const char* kPalette[] = {"#1f77b4", "#ff7f0e", "#2ca02c", "#d62728", "#9467bd", "#8c564b",
                                    "#e377c2", "#17becf", "#bcbd22", "#555555", "#393b79", "#a6761d"};
constexpr std::size_t kColours = std::size(kPalette);
constexpr const char* kDashes[] = {"", "7 3", "2 2", "9 3 2 3"};

std::string Fixed(double v, int decimals) {
    char buf[48];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    std::string s(buf, ec == std::errc{} ? end : buf);
    return s == "-0" || s == "-0.0" || s == "-0.00" ? s.substr(1) : s;
}

std::string Short(double v) {  // four significant digits for axis labels
    char buf[48];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 4);
    return std::string(buf, ec == std::errc{} ? end : buf);
}

template <class... Parts>
void Append(std::string& out, const Parts&... parts) {
    (out.append(std::string_view(parts)), ...);
}

std::string TwoDigits(int v) { return {static_cast<char>('0' + v / 10 % 10), static_cast<char>('0' + v % 10)}; }

std::string Escape(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

struct Line {
    std::size_t column;
    std::string colour;
    std::string dash;
    bool steps;  // whole numbers: drawn as steps
};

struct Pane {
    std::string title;  // empty for the price pane
    std::vector<Line> lines;
    double top = 0.0, height = 0.0;
    double low = 0.0, high = 1.0;
};

class Svg {
public:
    std::string text;
    Svg& operator<<(std::string_view s) {
        text += s;
        return *this;
    }
    Svg& operator<<(double v) {
        text += Fixed(v, 1);
        return *this;
    }
};

// Rough width of a label at the chart's font size, for laying out legends.
double TextWidth(std::string_view text) { return 6.2 * static_cast<double>(text.size()); }

double NiceStep(double range, int ticks) {
    const double raw = range / ticks;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 2.5, 5.0, 10.0})
        if (raw <= m * magnitude) return m * magnitude;
    return 10.0 * magnitude;
}

}  // namespace

ChartRecorder::ChartRecorder(std::string source, std::vector<Column> columns, std::size_t lastBars) : keep_(lastBars) {
    data_.source = std::move(source);
    data_.columns = std::move(columns);
    data_.codeColumn.assign(data_.columns.size(), true);
    if (keep_ > 0 && keep_ <= 100000) {
        data_.bars.reserve(keep_);
        data_.values.reserve(keep_ * data_.columns.size());
    }
}

void ChartRecorder::Row(const Bar& bar, const double* values) {
    const std::size_t width = data_.columns.size();
    for (std::size_t c = 0; c < width; ++c) {
        if (data_.codeColumn[c]) {
            const double v = values[c];
            data_.codeColumn[c] = v >= -2.0 && v <= 2.0 && v == std::floor(v);
        }
    }
    ++data_.totalBars;
    if (keep_ == 0 || data_.bars.size() < keep_) {
        data_.bars.push_back(bar);
        data_.values.insert(data_.values.end(), values, values + width);
        return;
    }
    data_.bars[next_] = bar;
    std::copy(values, values + width, data_.values.begin() + static_cast<std::ptrdiff_t>(next_ * width));
    next_ = (next_ + 1) % keep_;
}

ChartData ChartRecorder::Data() const {
    ChartData d = data_;
    const std::size_t width = d.columns.size();
    std::rotate(d.bars.begin(), d.bars.begin() + static_cast<std::ptrdiff_t>(next_), d.bars.end());
    std::rotate(d.values.begin(), d.values.begin() + static_cast<std::ptrdiff_t>(next_ * width), d.values.end());
    return d;
}

std::string ChartSvg(const ChartData& data, const ChartOptions& options) {
    // The recorder kept the newest bars; the newest lastBars of them are drawn.
    const std::size_t total = data.bars.size();
    const std::size_t shown = options.lastBars == 0 ? total : std::min(options.lastBars, total);
    const std::size_t first = total - shown;
    const double step = shown > 0 ? kPlotWidth / static_cast<double>(shown) : kPlotWidth;
    const auto X = [&](std::size_t bar) { return kLeft + (static_cast<double>(bar - first) + 0.5) * step; };

    // Which pane draws which column.
    Pane price;
    std::vector<Pane> panels;
    std::size_t priceLines = 0;
    for (std::size_t c = 0; c < data.columns.size();) {
        const StudyInfo* study = data.columns[c].study;
        std::size_t end = c;
        while (end < data.columns.size() && data.columns[end].study == study) ++end;
        // Codes and flags get a panel of their own unless the study has
        // nothing else: next to prices or a wide oscillator they would be
        // flat lines.
        std::vector<bool> code(end - c);
        bool anyValue = false;
        for (std::size_t k = c; k < end; ++k) anyValue |= !(code[k - c] = data.codeColumn[k]);
        Pane values, codes;
        values.title = codes.title = std::string(study->name());
        if (anyValue) codes.title += " (codes)";
        for (std::size_t k = c; k < end; ++k) {
            if (code[k - c]) {
                codes.lines.push_back({k, kPalette[codes.lines.size() % kColours], "", true});
            } else if (study->about->scale == Scale::Price) {
                price.lines.push_back({k, kPalette[priceLines % kColours], kDashes[priceLines / kColours % 4], false});
                ++priceLines;
            } else {
                values.lines.push_back({k, kPalette[values.lines.size() % kColours], "", false});
            }
        }
        if (!values.lines.empty()) panels.push_back(std::move(values));
        if (!codes.lines.empty()) panels.push_back(std::move(codes));
        c = end;
    }

    // Vertical layout.
    const double legendTop = 62.0;
    const int perRow = static_cast<int>(kPlotWidth / kLegendEntry);
    const auto legendRows = static_cast<double>((price.lines.size() + static_cast<std::size_t>(perRow) - 1) /
                                                static_cast<std::size_t>(perRow));
    price.top = legendTop + legendRows * kLegendRow + 10.0;
    price.height = kPriceHeight;
    double y = price.top + price.height;
    for (Pane& p : panels) {
        p.top = y + kPanelGap + kPanelTitle;
        p.height = kPanelHeight;
        y = p.top + p.height;
    }
    const double height = y + 40.0;

    // Vertical ranges: the price pane follows the bars (study lines still in
    // their warm-up from zero are cut off), panels follow their lines.
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (std::size_t b = first; b < total; ++b) {
        lo = std::min(lo, data.bars[b].low);
        hi = std::max(hi, data.bars[b].high);
    }
    if (!(lo <= hi)) lo = 0.0, hi = 1.0;
    // Study lines widen the scale a little (bands, stops) but not to a
    // warm-up from zero.
    const double reach = (hi - lo) * 0.5;
    double lineLo = lo, lineHi = hi;
    for (const Line& l : price.lines)
        for (std::size_t b = first; b < total; ++b) {
            const double v = data.Row(b)[l.column];
            if (v >= lo - reach && v <= hi + reach) lineLo = std::min(lineLo, v), lineHi = std::max(lineHi, v);
        }
    lo = lineLo, hi = lineHi;
    if (hi - lo < 1e-9) lo -= 1.0, hi += 1.0;
    price.low = lo - (hi - lo) * 0.04;
    price.high = hi + (hi - lo) * 0.04;
    for (Pane& p : panels) {
        double pl = std::numeric_limits<double>::infinity(), ph = -pl;
        for (const Line& l : p.lines)
            for (std::size_t b = first; b < total; ++b) {
                const double v = data.Row(b)[l.column];
                if (std::isfinite(v)) pl = std::min(pl, v), ph = std::max(ph, v);
            }
        if (!(pl <= ph)) pl = ph = 0.0;
        // Oscillators and signals keep their zero line in view; a line far
        // from zero (a composite line at price level) keeps its own range.
        if (pl > 0.0 && pl <= ph - pl) pl = 0.0;
        if (ph < 0.0 && -ph <= ph - pl) ph = 0.0;
        if (ph - pl < 1e-12) pl -= 1.0, ph += 1.0;
        p.low = pl - (ph - pl) * 0.08;
        p.high = ph + (ph - pl) * 0.08;
    }
    const auto Y = [](const Pane& p, double v) { return p.top + (p.high - v) / (p.high - p.low) * p.height; };

    Svg svg;
    svg << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << Fixed(kWidth, 0) << "\" height=\""
        << Fixed(height, 0) << "\" viewBox=\"0 0 " << Fixed(kWidth, 0) << ' ' << Fixed(height, 0)
        << "\" font-family=\"DejaVu Sans, Arial, Helvetica, sans-serif\" font-size=\"11\">\n"
        << "<rect x=\"0\" y=\"0\" width=\"" << Fixed(kWidth, 0) << "\" height=\"" << Fixed(height, 0)
        << "\" fill=\"#ffffff\"/>\n";

    // Title and legend of the price pane.
    svg << "<text x=\"" << kLeft << "\" y=\"24\" font-size=\"16\" font-weight=\"bold\">"
        << Escape(data.source) << "</text>\n";
    std::string sub = std::to_string(shown) + " of " + std::to_string(data.totalBars) + " bars";
    if (!options.subtitle.empty()) sub += " \xC2\xB7 " + options.subtitle;
    svg << "<text x=\"" << kLeft << "\" y=\"44\" fill=\"#444444\">" << Escape(sub) << "</text>\n";
    for (std::size_t i = 0; i < price.lines.size(); ++i) {
        const Line& l = price.lines[i];
        const double lx = kLeft + static_cast<double>(i % static_cast<std::size_t>(perRow)) * kLegendEntry;
        const double ly = legendTop + static_cast<double>(i / static_cast<std::size_t>(perRow)) * kLegendRow;
        svg << "<line x1=\"" << lx << "\" y1=\"" << ly - 4.0 << "\" x2=\"" << lx + 24.0 << "\" y2=\"" << ly - 4.0
            << "\" stroke=\"" << l.colour << "\" stroke-width=\"2.5\"";
        if (!l.dash.empty()) svg << " stroke-dasharray=\"" << l.dash << "\"";
        svg << "/><text x=\"" << lx + 30.0 << "\" y=\"" << ly << "\">" << Escape(data.columns[l.column].name)
            << "</text>\n";
    }

    // Pane frames, grids and axis labels; panel titles name each line in its colour.
    const auto frame = [&](const Pane& p) {
        svg << "<rect x=\"" << kLeft << "\" y=\"" << p.top << "\" width=\"" << kPlotWidth << "\" height=\""
            << p.height << "\" fill=\"#fbfbfb\" stroke=\"#999999\"/>\n";
    };
    frame(price);
    {
        const double gridStep = NiceStep(price.high - price.low, 8);
        const int decimals = gridStep >= 1.0 ? 0 : gridStep >= 0.1 ? 1 : gridStep >= 0.01 ? 2 : 4;
        for (double v = std::ceil(price.low / gridStep) * gridStep; v <= price.high; v += gridStep) {
            const double gy = Y(price, v);
            svg << "<line x1=\"" << kLeft << "\" y1=\"" << gy << "\" x2=\"" << kLeft + kPlotWidth << "\" y2=\"" << gy
                << "\" stroke=\"#e4e4e4\"/><text x=\"" << kLeft - 6.0 << "\" y=\"" << gy + 4.0
                << "\" text-anchor=\"end\" fill=\"#444444\">" << Fixed(v, decimals) << "</text>\n";
        }
    }
    for (std::size_t i = 0; i < panels.size(); ++i) {
        const Pane& p = panels[i];
        frame(p);
        const bool zero = p.low < 0.0 && p.high > 0.0;
        if (zero) {
            const double zy = Y(p, 0.0);
            svg << "<line x1=\"" << kLeft << "\" y1=\"" << zy << "\" x2=\"" << kLeft + kPlotWidth << "\" y2=\""
                << zy << "\" stroke=\"#bbbbbb\" stroke-dasharray=\"4 3\"/>\n";
        }
        for (const double v : {p.high, zero ? 0.0 : (p.high + p.low) / 2.0, p.low}) {
            const bool edge = v == p.high || v == p.low;
            if (!edge && (Y(p, v) - p.top < 12.0 || p.top + p.height - Y(p, v) < 12.0)) continue;  // labels overlap
            svg << "<text x=\"" << kLeft - 6.0 << "\" y=\"" << Y(p, v) + 4.0 << "\" text-anchor=\"end\" fill=\"#444444\">"
                << Short(v == 0.0 ? 0.0 : v) << "</text>\n";
        }
        const double ty = p.top - 6.0;
        svg << "<text x=\"" << kLeft << "\" y=\"" << ty << "\" font-weight=\"bold\">" << Escape(p.title) << "</text>\n";
        double tx = kLeft + TextWidth(p.title) * 1.2 + 16.0;  // bold
        for (const Line& l : p.lines) {
            const std::string& name = data.columns[l.column].name;
            const std::string slot = name.substr(name.find('.') + 1);
            svg << "<line x1=\"" << tx << "\" y1=\"" << ty - 4.0 << "\" x2=\"" << tx + 18.0 << "\" y2=\"" << ty - 4.0
                << "\" stroke=\"" << l.colour << "\" stroke-width=\"2.5\"/><text x=\"" << tx + 22.0 << "\" y=\"" << ty
                << "\">" << Escape(slot) << "</text>\n";
            tx += 22.0 + TextWidth(slot) + 16.0;
        }
    }

    // Time axis: about eight labels, with faint lines through every pane.
    const double bottom = panels.empty() ? price.top + price.height : panels.back().top + panels.back().height;
    const std::size_t every = std::max<std::size_t>(1, shown / 8);
    for (std::size_t b = first + every / 2; b < total; b += every) {
        const Bar& bar = data.bars[b];
        const double gx = X(b);
        std::string label;
        Append(label, std::to_string(bar.date / 10000), "-", TwoDigits(bar.date / 100 % 100), "-",
               TwoDigits(bar.date % 100));
        if (bar.time != 0) Append(label, " ", TwoDigits(bar.time / 100), ":", TwoDigits(bar.time % 100));
        svg << "<line x1=\"" << gx << "\" y1=\"" << price.top << "\" x2=\"" << gx << "\" y2=\"" << bottom
            << "\" stroke=\"#eeeeee\"/><text x=\"" << gx << "\" y=\"" << bottom + 16.0
            << "\" text-anchor=\"middle\" fill=\"#444444\">" << label << "</text>\n";
    }

    // Candlesticks: wicks, then rising and falling bodies, one path each.
    if (shown > 0) {
        std::string wicks, upBodies, downBodies;
        const double body = std::max(step * 0.7, 0.6);
        for (std::size_t b = first; b < total; ++b) {
            const Bar& bar = data.bars[b];
            const double x = X(b);
            Append(wicks, "M", Fixed(x, 2), " ", Fixed(Y(price, bar.high), 2), "V", Fixed(Y(price, bar.low), 2));
            const double top = Y(price, std::max(bar.open, bar.close));
            const double h = std::max(Y(price, std::min(bar.open, bar.close)) - top, 0.8);
            Append(bar.close >= bar.open ? upBodies : downBodies, "M", Fixed(x - body / 2.0, 2), " ", Fixed(top, 2),
                   "h", Fixed(body, 2), "v", Fixed(h, 2), "h", Fixed(-body, 2), "z");
        }
        svg << "<path class=\"wicks\" stroke=\"#8a8a8a\" stroke-width=\"1\" fill=\"none\" d=\"" << wicks << "\"/>\n"
            << "<path class=\"up\" fill=\"#c8e6df\" stroke=\"#5f9e94\" stroke-width=\"0.8\" d=\"" << upBodies << "\"/>\n"
            << "<path class=\"down\" fill=\"#e9b8b8\" stroke=\"#b06060\" stroke-width=\"0.8\" d=\"" << downBodies
            << "\"/>\n";
    }

    // One path per study line.
    const auto draw = [&](const Pane& p) {
        svg << "<g fill=\"none\" stroke-width=\"1.4\" stroke-linejoin=\"round\">\n";
        for (const Line& l : p.lines) {
            std::string d;
            bool open = false;
            for (std::size_t b = first; b < total; ++b) {
                const double v = data.Row(b)[l.column];
                // Values outside the pane (a warm-up from zero on the price
                // scale) break the line instead of running off the pane.
                if (!(v >= p.low && v <= p.high)) {
                    open = false;
                    continue;
                }
                const std::string px = Fixed(X(b), 2), py = Fixed(Y(p, v), 2);
                if (!open) Append(d, "M", px, " ", py);
                else if (l.steps) Append(d, "H", px, "V", py);
                else Append(d, "L", px, " ", py);
                open = true;
            }
            svg << "<path class=\"line\" data-column=\"" << Escape(data.columns[l.column].name) << "\" stroke=\""
                << l.colour << "\"";
            if (!l.dash.empty()) svg << " stroke-dasharray=\"" << l.dash << "\"";
            svg << " d=\"" << d << "\"/>\n";
        }
        svg << "</g>\n";
    };
    draw(price);
    for (const Pane& p : panels) draw(p);

    svg << "</svg>\n";
    return std::move(svg.text);
}

}  // namespace zt::replay
