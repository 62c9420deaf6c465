// What the tool writes: the CSV reads back to the very numbers replayed,
// the SVG is well-formed XML with one path per study column, and files are
// replaced whole or not at all.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "replay/chart.h"
#include "replay/output.h"

namespace zt::replay {
namespace {

namespace fs = std::filesystem;

ReplayResult ReplayAll(const Series& s) {
    ReplayOptions o;
    o.studies = AllStudies();
    return Replay(s, o);
}

std::vector<std::string_view> Split(std::string_view line) {
    std::vector<std::string_view> fields;
    for (;;) {
        const std::size_t comma = line.find(',');
        fields.push_back(line.substr(0, comma));
        if (comma == std::string_view::npos) return fields;
        line.remove_prefix(comma + 1);
    }
}

double Number(std::string_view text) {
    double v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    EXPECT_TRUE(ec == std::errc{} && end == text.data() + text.size()) << text;
    return v;
}

bool SameNumber(double a, double b) {
    return std::isnan(a) ? std::isnan(b) : std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

TEST(CsvOutput, ReadsBackToTheReplayedBarsAndValues) {
    Series s = SyntheticSeries(700, 5);
    s.bars[10].close = 0.1 + 0.2;  // needs all 17 digits
    s.bars[10].high = std::max(s.bars[10].high, s.bars[10].close);
    s.bars[10].low = std::min(s.bars[10].low, s.bars[10].close);
    const ReplayResult r = ReplayAll(s);
    const std::string csv = CsvText(s, r);

    std::string_view text = csv;
    const auto nextLine = [&text] {
        const std::size_t nl = text.find('\n');
        const std::string_view line = text.substr(0, nl);
        text.remove_prefix(nl + 1);
        return line;
    };
    const auto header = Split(nextLine());
    ASSERT_EQ(header.size(), 7 + r.columns.size());
    EXPECT_EQ(header[0], "date");
    EXPECT_EQ(header[6], "volume");
    for (std::size_t c = 0; c < r.columns.size(); ++c) EXPECT_EQ(header[7 + c], r.columns[c].name);

    for (std::size_t b = 0; b < s.bars.size(); ++b) {
        const auto f = Split(nextLine());
        ASSERT_EQ(f.size(), header.size()) << "row " << b;
        const Bar& bar = s.bars[b];
        EXPECT_EQ(f[0], std::to_string(bar.date));
        EXPECT_EQ(f[1], std::to_string(bar.time));
        const double fields[] = {bar.open, bar.high, bar.low, bar.close, bar.volume};
        for (std::size_t k = 0; k < 5; ++k) ASSERT_TRUE(SameNumber(Number(f[2 + k]), fields[k])) << f[2 + k];
        for (std::size_t c = 0; c < r.columns.size(); ++c)
            ASSERT_TRUE(SameNumber(Number(f[7 + c]), r.Row(b)[c])) << r.columns[c].name << " row " << b;
    }
    EXPECT_TRUE(text.empty()) << "one row per bar, each ending in a line feed";
    EXPECT_EQ(csv.find('\r'), std::string::npos);
    // Shortest round-trip text, not a fixed precision.
    EXPECT_NE(csv.find(",4800,"), std::string::npos);
    EXPECT_NE(csv.find(",0.30000000000000004,"), std::string::npos);
}

// A small well-formedness check: one root, tags nested and closed, quoted
// attributes without repeats, only the five predefined entities or
// character references, no stray '<' or '&'.
::testing::AssertionResult WellFormedXml(std::string_view x, std::vector<std::map<std::string, std::string>>* paths) {
    std::vector<std::string> open;
    bool rootDone = false;
    const auto entityOk = [](std::string_view s) {
        for (std::size_t i = s.find('&'); i != std::string_view::npos; i = s.find('&', i + 1)) {
            const std::size_t semi = s.find(';', i);
            if (semi == std::string_view::npos) return false;
            const std::string_view e = s.substr(i + 1, semi - i - 1);
            if (e != "amp" && e != "lt" && e != "gt" && e != "quot" && e != "apos" && (e.empty() || e[0] != '#'))
                return false;
        }
        return true;
    };
    std::size_t i = 0;
    if (x.substr(0, 5) == "<?xml") i = x.find("?>") + 2;
    while (i < x.size()) {
        const std::size_t lt = x.find('<', i);
        const std::string_view text = x.substr(i, lt == std::string_view::npos ? x.npos : lt - i);
        if (!entityOk(text)) return ::testing::AssertionFailure() << "bad text near offset " << i;
        if (open.empty() && text.find_first_not_of(" \t\r\n") != std::string_view::npos)
            return ::testing::AssertionFailure() << "text outside the root element at offset " << i;
        if (lt == std::string_view::npos) break;
        const std::size_t gt = x.find('>', lt);
        if (gt == std::string_view::npos) return ::testing::AssertionFailure() << "unclosed tag at " << lt;
        std::string_view tag = x.substr(lt + 1, gt - lt - 1);
        i = gt + 1;
        if (tag.find('<') != std::string_view::npos) return ::testing::AssertionFailure() << "'<' in a tag at " << lt;
        if (!tag.empty() && tag[0] == '/') {
            if (open.empty() || open.back() != tag.substr(1))
                return ::testing::AssertionFailure() << "</" << tag.substr(1) << "> does not close the open tag";
            open.pop_back();
            if (open.empty()) rootDone = true;
            continue;
        }
        const bool empty = !tag.empty() && tag.back() == '/';
        if (empty) tag.remove_suffix(1);
        const std::size_t nameEnd = tag.find_first_of(" \t\r\n");
        const std::string name(tag.substr(0, nameEnd));
        if (name.empty()) return ::testing::AssertionFailure() << "tag without a name at " << lt;
        if (open.empty() && rootDone) return ::testing::AssertionFailure() << "a second root element <" << name << ">";
        std::map<std::string, std::string> attrs;
        std::string_view rest = nameEnd == std::string_view::npos ? std::string_view{} : tag.substr(nameEnd);
        while (true) {
            const std::size_t a = rest.find_first_not_of(" \t\r\n");
            if (a == std::string_view::npos) break;
            const std::size_t eq = rest.find('=', a);
            if (eq == std::string_view::npos || eq + 1 >= rest.size() || rest[eq + 1] != '"')
                return ::testing::AssertionFailure() << "attribute without a quoted value in <" << name << ">";
            const std::size_t close = rest.find('"', eq + 2);
            if (close == std::string_view::npos) return ::testing::AssertionFailure() << "unterminated attribute";
            const std::string key(rest.substr(a, eq - a));
            const std::string_view value = rest.substr(eq + 2, close - eq - 2);
            if (!entityOk(value)) return ::testing::AssertionFailure() << "bad entity in " << key;
            if (!attrs.emplace(key, value).second) return ::testing::AssertionFailure() << "repeated " << key;
            rest.remove_prefix(close + 1);
        }
        if (name == "path" && paths != nullptr) paths->push_back(attrs);
        if (!empty) open.push_back(name);
        else if (open.empty()) rootDone = true;
    }
    if (!open.empty()) return ::testing::AssertionFailure() << "<" << open.back() << "> never closed";
    if (!rootDone) return ::testing::AssertionFailure() << "no root element";
    return ::testing::AssertionSuccess();
}

TEST(Chart, IsWellFormedXmlWithOnePathPerStudyColumn) {
    Series s = SyntheticSeries(900, 2);
    s.source = "bars <from> \"Q&A\".csv";  // must be escaped
    const ReplayResult r = ReplayAll(s);
    for (const std::size_t shown : {std::size_t{0}, std::size_t{120}, std::size_t{5000}}) {
        std::vector<std::map<std::string, std::string>> paths;
        ASSERT_TRUE(WellFormedXml(ChartSvg(s, r, {shown, "a & b"}), &paths));
        std::multiset<std::string> drawn;
        for (auto& p : paths)
            if (p["class"] == "line") {
                drawn.insert(p["data-column"]);
                EXPECT_FALSE(p["stroke"].empty());
            }
        std::multiset<std::string> columns;
        for (const Column& c : r.columns) columns.insert(c.name);
        EXPECT_EQ(drawn, columns);
    }
    // No studies: the candlesticks alone.
    std::vector<std::map<std::string, std::string>> paths;
    ASSERT_TRUE(WellFormedXml(ChartSvg(s, Replay(s, {}), {}), &paths));
    std::set<std::string> classes;
    for (auto& p : paths) classes.insert(p["class"]);
    EXPECT_EQ(classes, (std::set<std::string>{"wicks", "up", "down"}));
}

TEST(Chart, TheCheckCatchesMalformedXml) {
    EXPECT_TRUE(WellFormedXml("<?xml version=\"1.0\"?>\n<a x=\"1\"><b/>&amp;</a>\n", nullptr));
    for (const char* bad : {"<a><b></a></b>", "<a x=1/>", "<a>&</a>", "<a/><b/>", "<a x=\"1\" x=\"2\"/>", "<a>"})
        EXPECT_FALSE(WellFormedXml(bad, nullptr)) << bad;
}

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(WriteOutput, ReplacesTheFileWholeOrLeavesItAlone) {
    const fs::path dir = fs::temp_directory_path() / ("zt_replay_output_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path file = dir / "out.csv";
    WriteOutput(file.string(), "first\n");
    WriteOutput(file.string(), "second\nline\n");
    EXPECT_EQ(Slurp(file), "second\nline\n");
    EXPECT_FALSE(fs::exists(dir / "out.csv.part"));
    EXPECT_THROW(WriteOutput((dir / "missing" / "out.csv").string(), "x"), std::runtime_error);
    EXPECT_FALSE(fs::exists(dir / "missing"));
    EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(dir), {}), std::vector<fs::path>{file});
    fs::remove_all(dir);
}

}  // namespace
}  // namespace zt::replay
