// The drawing: what the recorder keeps, the typed SVG writer, round scales,
// the layout rules a reader relies on (no text over another, at most five
// lines and distinct colours in a panel, lines from the warm-up on), and
// well-formed SVG and HTML with every drawn column in it. The drawing as
// renderers show it is checked by chart_render.sh and the browser test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "replay/drawing/drawing.h"
#include "replay/drawing/layout.h"
#include "replay/tests/replay_support.h"
#include "replay/tests/xml_check.h"

namespace zt::replay {
namespace {

namespace fs = std::filesystem;
using testing::AllStudiesOptions;
using testing::ReplayTable;
using testing::RowTable;
using testing::WellFormedXml;

DrawingData Record(const RowTable& r, const std::string& source, std::size_t lastBars) {
    DrawingRecorder recorder(source, r.columns, lastBars);
    for (std::size_t b = 0; b < r.bars.size(); ++b) recorder.Row(r.bars[b], r.Row(b));
    return recorder.Data();
}

ReplayOptions Only(std::initializer_list<const char*> names) {
    ReplayOptions o;
    for (const char* n : names) o.studies.push_back(FindStudy(n));
    return o;
}

TEST(Drawing, TheRecorderKeepsTheNewestBarsOnly) {
    const RowTable r = ReplayTable(SyntheticSeries(1000, 4), AllStudiesOptions());
    const std::size_t width = r.columns.size();
    for (const std::size_t keep : {std::size_t{1}, std::size_t{120}, std::size_t{999}, std::size_t{1000},
                                   std::size_t{4000}, std::size_t{0}}) {
        SCOPED_TRACE(keep);
        const DrawingData d = Record(r, "s", keep);
        const std::size_t kept = keep == 0 ? 1000 : std::min<std::size_t>(keep, 1000);
        EXPECT_EQ(d.totalBars, 1000u);
        ASSERT_EQ(d.bars.size(), kept);
        EXPECT_TRUE(testing::SameBars(d.bars, {r.bars.end() - static_cast<std::ptrdiff_t>(kept), r.bars.end()}));
        EXPECT_TRUE(std::equal(d.values.begin(), d.values.end(), r.values.end() - static_cast<std::ptrdiff_t>(kept * width)));
        if (keep != 0) {
            EXPECT_LE(d.values.capacity(), std::max(keep, kept) * width);
        }
    }
}

// A char or an integer given where a coordinate goes does not compile.
template <class T>
concept TakesLength = requires(svg::Writer w, T v) { w.Length("x", v); };
static_assert(TakesLength<double> && TakesLength<float>);
static_assert(!TakesLength<char> && !TakesLength<int> && !TakesLength<const char*> && !TakesLength<bool>);
template <class T>
concept TakesPathPoint = requires(svg::Path p, T v) { p.Move(v, v); };
static_assert(TakesPathPoint<double> && !TakesPathPoint<char> && !TakesPathPoint<int>);

TEST(Drawing, TheWriterWritesNumbersAndTextAsTheyShouldRead) {
    EXPECT_EQ(svg::Number(1400.0), "1400");
    EXPECT_EQ(svg::Number(12.5), "12.5");
    EXPECT_EQ(svg::Number(-0.001), "0");
    EXPECT_EQ(svg::Number(3.14159), "3.14");
    EXPECT_EQ(svg::Number(std::nan("")), "0");
    EXPECT_EQ(svg::Colour::Hex(0x1f5fbf).Text(), "#1f5fbf");
    std::string out;
    svg::Writer w(out);
    w.Open("svg").ViewBox(0.0, 0.0, 1400.0, 320.5).Children();
    w.Open("text").Length("x", 1.0).Attribute("class", "a\"b").Text("Q&A <1>");
    w.End("svg");
    EXPECT_EQ(out, "<svg viewBox=\"0 0 1400 320.5\">\n<text x=\"1\" class=\"a&quot;b\">Q&amp;A &lt;1&gt;</text>\n</svg>\n");
}

TEST(Drawing, ValueTicksAreRoundAndInsideTheScale) {
    for (const auto& [lo, hi] : {std::pair{-1.24, 2.24}, std::pair{-177.1, 164.6}, std::pair{3855.3, 4010.9},
                                std::pair{0.0, 0.0}, std::pair{1e-5, 3e-5}, std::pair{-2.0, 1.0}, std::pair{1.0, 1e9}}) {
        SCOPED_TRACE(std::to_string(lo) + " " + std::to_string(hi));
        const ValueAxis a = RoundAxis(lo, hi, 6, 0.05);
        EXPECT_LE(a.low, lo);
        EXPECT_GE(a.high, hi);
        ASSERT_GE(a.ticks.size(), 2u);
        EXPECT_LE(a.ticks.size(), 6u);
        const double mantissa = a.step / std::pow(10.0, std::floor(std::log10(a.step) + 1e-12));
        EXPECT_TRUE(std::fabs(mantissa - 1.0) < 1e-9 || std::fabs(mantissa - 2.0) < 1e-9 || std::fabs(mantissa - 5.0) < 1e-9)
            << a.step;
        for (const double t : a.ticks) {
            EXPECT_GE(t, a.low - a.step * 1e-9);
            EXPECT_LE(t, a.high + a.step * 1e-9);
            EXPECT_NEAR(t / a.step, std::round(t / a.step), 1e-6);
        }
    }
    const ValueAxis a = RoundAxis(-1.24, 2.24, 6, 0.0);
    EXPECT_EQ(a.step, 1.0);
    EXPECT_EQ(TickLabel(a, 2.0), "2");
    EXPECT_EQ(TickLabel(RoundAxis(0.1, 0.4, 4, 0.0), 0.2), "0.2");
    EXPECT_EQ(TickLabel(RoundAxis(-0.4, 0.4, 4, 0.0), -0.0), "0.0");
    EXPECT_EQ(TickLabel(RoundAxis(-3e8, 6.4e8, 6, 0.0), 6e8), "600M");
    EXPECT_EQ(TickLabel(RoundAxis(0.0, 1.2e5, 6, 0.0), 2e4), "20k");
    EXPECT_EQ(TickLabel(RoundAxis(0.0, 2.5e4, 6, 0.0), 5000.0), "5000");
}

TEST(Drawing, TimeTicksFallOnCalendarBoundaries) {
    std::vector<Bar> daily;
    for (int m = 1; m <= 12; ++m)
        for (int d = 1; d <= 20; ++d) daily.push_back({2014 * 10000 + m * 100 + d, 0, 1, 1, 1, 1, 1});
    const auto months = TimeTicks(daily, 0, daily.size(), 13);
    ASSERT_EQ(months.size(), 11u);
    EXPECT_EQ(months[0].label, "Feb 2014");
    EXPECT_EQ(months[1].label, "Mar");
    EXPECT_EQ(daily[months[1].bar].date, 20140301);
    const auto quarters = TimeTicks(daily, 0, daily.size(), 4);
    ASSERT_EQ(quarters.size(), 3u);
    EXPECT_EQ(quarters[0].label, "Apr 2014");
    std::vector<Bar> intraday;
    for (int d = 2; d <= 3; ++d)
        for (int t = 900; t < 1700; t += 5)
            if (t % 100 < 60) intraday.push_back({20060100 + d, t, 1, 1, 1, 1, 1});
    const auto hours = TimeTicks(intraday, 0, 96, 13);
    ASSERT_EQ(hours.size(), 7u);
    EXPECT_EQ(hours[0].label, "10:00");
    const auto days = TimeTicks(intraday, 0, intraday.size(), 13);
    // Over two days the hours are too many: every other hour, the new day
    // by its date.
    ASSERT_EQ(days.size(), 9u);
    EXPECT_EQ(days[0].label, "10:00");
    EXPECT_EQ(days[1].label, "12:00");
    EXPECT_EQ(days[4].label, "3 Jan");
}

// The layout rules, over the built-in series and (when present) a real one,
// with every study and with a few.
std::vector<std::pair<std::string, DrawingData>> Drawings() {
    std::vector<std::pair<std::string, DrawingData>> drawings;
    const Series s = SyntheticSeries(800, 3);
    drawings.push_back({"all studies", Record(ReplayTable(s, AllStudiesOptions()), "built-in", 250)});
    drawings.push_back({"four studies", Record(ReplayTable(s, Only({"upsell", "stopline", "tr4", "mp"})), "built-in", 250)});
    drawings.push_back({"no study", Record(ReplayTable(s, {}), "built-in", 250)});
    drawings.push_back({"ten bars", Record(ReplayTable(SyntheticSeries(10, 1), AllStudiesOptions()), "built-in", 250)});
    const fs::path spy = fs::path(ZT_DATA_DIR) / "spy_daily_2008_2014.csv";
    if (fs::exists(spy)) {
        const Series real = ReadBarsCsv(spy.string());
        drawings.push_back({"spy, all studies, every bar", Record(ReplayTable(real, AllStudiesOptions()), "spy", 0)});
    }
    return drawings;
}

TEST(Drawing, TextsKeepApartAndInsideTheDrawing) {
    for (const auto& [name, data] : Drawings()) {
        SCOPED_TRACE(name);
        const DrawingLayout l = LayOut(data, {250, "subtitle"});
        for (std::size_t i = 0; i < l.texts.size(); ++i) {
            const LayoutText& a = l.texts[i];
            EXPECT_GE(a.Left(), 0.0) << a.text;
            if (a.role != TextRole::Title) {
                EXPECT_LE(a.Right(), l.width) << a.text;
            }
            EXPECT_LE(a.Bottom(), l.height) << a.text;
            for (std::size_t j = i + 1; j < l.texts.size(); ++j) {
                const LayoutText& b = l.texts[j];
                const bool apart = a.Right() <= b.Left() || b.Right() <= a.Left() || a.Bottom() <= b.Top() ||
                                   b.Bottom() <= a.Top();
                EXPECT_TRUE(apart) << "\"" << a.text << "\" overlaps \"" << b.text << "\"";
            }
        }
    }
}

TEST(Drawing, PanelsHoldFewDistinctLinesFromTheWarmUpOn) {
    for (const auto& [name, data] : Drawings()) {
        SCOPED_TRACE(name);
        const DrawingLayout l = LayOut(data, {250, ""});
        std::multiset<std::size_t> drawn;
        ASSERT_FALSE(l.panels.empty());
        EXPECT_EQ(l.panels.front().kind, PanelKind::Price);
        for (const LayoutPanel& p : l.panels) {
            SCOPED_TRACE(p.title);
            EXPECT_LE(p.lines.size(), kMaxLinesPerPanel);
            std::set<std::string> colours, families;
            for (const PanelLine& line : p.lines) {
                colours.insert(line.colour.Text());
                const Column& c = data.columns[line.column];
                families.insert(std::to_string(static_cast<int>(c.study->about->roles[static_cast<std::size_t>(c.slot)])));
            }
            EXPECT_EQ(colours.size(), p.lines.size()) << "colours repeat";
            EXPECT_LE(families.size(), 1u) << "a panel mixes families";
            std::vector<const PanelLine*> all;
            for (const PanelLine& line : p.lines) all.push_back(&line);
            for (const PanelRow& row : p.rows)
                for (const PanelLine& line : row.columns) all.push_back(&line);
            for (const PanelLine* line : all) {
                drawn.insert(line->column);
                const std::size_t number = data.totalBars - data.bars.size() + line->from;  // of its first bar
                const auto warmup = static_cast<std::size_t>(data.columns[line->column].warmup);
                EXPECT_TRUE(number >= warmup && (line->from == l.first || number == warmup)) << line->label;
            }
            EXPECT_LT(p.top, p.plotTop);
            EXPECT_LT(p.plotTop + p.plotHeight, p.bottom);
        }
        for (std::size_t i = 1; i < l.panels.size(); ++i) EXPECT_LT(l.panels[i - 1].bottom, l.panels[i].top);
        // Every slot with a chart role is drawn once; no other.
        for (std::size_t c = 0; c < data.columns.size(); ++c) {
            const Column& col = data.columns[c];
            const bool role = col.study->about->roles[static_cast<std::size_t>(col.slot)] != ChartRole::None;
            EXPECT_EQ(drawn.count(c), role ? 1u : 0u) << col.name;
        }
    }
}

TEST(Drawing, SvgIsWellFormedWithAFourNumberViewBoxAndEveryDrawnColumn) {
    const RowTable r = ReplayTable(SyntheticSeries(900, 2), AllStudiesOptions());
    for (const std::size_t shown : {std::size_t{0}, std::size_t{120}, std::size_t{5000}}) {
        SCOPED_TRACE(shown);
        const DrawingData data = Record(r, "bars <from> \"Q&A\".csv", shown);
        std::vector<std::map<std::string, std::string>> elements;
        const std::string svgText = DrawingSvg(data, {shown, "a & b"});
        ASSERT_TRUE(WellFormedXml(svgText, &elements));
        ASSERT_EQ(elements.front()["<>"], "svg");
        std::istringstream box(elements.front()["viewBox"]);
        double v[4];
        std::string more;
        ASSERT_TRUE(box >> v[0] >> v[1] >> v[2] >> v[3]) << elements.front()["viewBox"];
        EXPECT_FALSE(box >> more);
        EXPECT_EQ(v[0], 0.0);
        EXPECT_EQ(v[1], 0.0);
        EXPECT_EQ(v[2], std::stod(elements.front()["width"]));
        EXPECT_EQ(v[3], std::stod(elements.front()["height"]));
        std::multiset<std::string> lines, ups, downs, codes;
        for (auto& e : elements) {
            if (e["class"] == "line") lines.insert(e["data-column"]);
            if (e["class"] == "up" && e.count("data-column")) ups.insert(e["data-column"]);
            if (e["class"] == "down" && e.count("data-column")) downs.insert(e["data-column"]);
            if (e["class"] == "code") codes.insert(e["data-column"]);
        }
        for (const Column& c : r.columns) {
            const ChartRole role = c.study->about->roles[static_cast<std::size_t>(c.slot)];
            const bool line = role != ChartRole::Signal && role != ChartRole::Code && role != ChartRole::None;
            EXPECT_EQ(lines.count(c.name), line ? 1u : 0u) << c.name;
            EXPECT_EQ(ups.count(c.name), role == ChartRole::Signal ? 1u : 0u) << c.name;
            EXPECT_EQ(downs.count(c.name), role == ChartRole::Signal ? 1u : 0u) << c.name;
            if (role == ChartRole::Code) {
                EXPECT_GT(codes.count(c.name), 0u) << c.name;
            }
        }
        // The page around the same drawing.
        const std::string html = DrawingHtml(data, {shown, "a & b"});
        const std::size_t from = html.find("<svg "), to = html.find("</svg>");
        ASSERT_NE(from, std::string::npos);
        ASSERT_TRUE(WellFormedXml(std::string_view(html).substr(from, to + 6 - from), nullptr));
        // Nothing from elsewhere: no address but the SVG namespace, no file.
        std::string rest = html;
        for (std::size_t at; (at = rest.find("http://www.w3.org/2000/svg")) != std::string::npos;) rest.erase(at, 26);
        EXPECT_EQ(rest.find("http"), std::string::npos) << "the page reaches out";
        EXPECT_EQ(rest.find("src="), std::string::npos);
        EXPECT_EQ(rest.find("href="), std::string::npos);
        EXPECT_NE(html.find("bars &lt;from&gt; &quot;Q&amp;A&quot;.csv"), std::string::npos);
    }
    // No studies: the candlesticks alone.
    std::vector<std::map<std::string, std::string>> elements;
    ASSERT_TRUE(WellFormedXml(DrawingSvg(Record(ReplayTable(SyntheticSeries(300, 1), {}), "s", 250), {}), &elements));
    std::set<std::string> classes;
    for (auto& e : elements)
        if (e["<>"] == "path") classes.insert(e["class"]);
    EXPECT_EQ(classes, (std::set<std::string>{"wicks", "up", "down"}));
}

// The page carries its script and style as they stand in page.js and
// page.css, whole and byte for byte (they are built into the program).
TEST(Drawing, ThePageCarriesItsScriptAndStyleAsTheirFilesHoldThem) {
    const auto read = [](const char* name) {
        std::ifstream in(std::filesystem::path(ZT_DRAWING_DIR) / name, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    };
    const std::string script = read("page.js"), style = read("page.css");
    ASSERT_GT(script.size(), 1000u);
    ASSERT_GT(style.size(), 100u);
    const std::string html = DrawingHtml(Record(ReplayTable(SyntheticSeries(50, 1), AllStudiesOptions()), "s", 250), {});
    EXPECT_NE(html.find("<style>\n" + style + "</style>\n</head>"), std::string::npos);
    EXPECT_NE(html.find("<script>\n" + script + "</script>\n</body>"), std::string::npos);
}

}  // namespace
}  // namespace zt::replay
