// What the tool writes: the CSV reads back to the very numbers replayed,
// and files are replaced whole or not at all (the drawing: drawing_test.cpp).
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

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

#include "replay/output.h"
#include "replay/progress.h"
#include "replay/tests/replay_support.h"

namespace zt::replay {
namespace {

namespace fs = std::filesystem;
using testing::AllStudiesOptions;
using testing::ReplayTable;
using testing::RowTable;
using testing::ScratchFolder;

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

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }

std::vector<std::string> Listing(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The CSV of a table, as the tool streams it.
std::string CsvOf(const RowTable& r, const fs::path& file) {
    {
        OutputFile out(file.string(), -1);
        CsvWriter writer(out, r.columns);
        for (std::size_t b = 0; b < r.bars.size(); ++b) writer.Row(r.bars[b], r.Row(b));
        writer.Finish();
        out.Commit();
    }
    return Slurp(file);
}

TEST(CsvOutput, ReadsBackToTheReplayedBarsAndValues) {
    ScratchFolder dir("zt_csv");
    Series s = SyntheticSeries(1300, 5);  // more rows than the writer's blocks hold
    s.bars[10].close = 0.1 + 0.2;  // needs all 17 digits
    s.bars[10].high = std::max(s.bars[10].high, s.bars[10].close);
    s.bars[10].low = std::min(s.bars[10].low, s.bars[10].close);
    const RowTable r = ReplayTable(s, AllStudiesOptions());
    const std::string csv = CsvOf(r, dir / "out.csv");

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

TEST(CsvOutput, AWriteErrorStopsTheRunAndNamesTheFile) {
    ScratchFolder dir("zt_csv_full");
    const RowTable r = ReplayTable(SyntheticSeries(3000, 2), AllStudiesOptions());
    OutputFile out((dir / "out.csv").string(), -1);
    CsvWriter writer(out, r.columns);
    // The disk fills up under the writer's thread.
    const int full = ::open("/dev/full", O_WRONLY);
    ASSERT_GE(full, 0);
    ASSERT_GE(::dup2(full, out.fd()), 0);
    ::close(full);
    try {
        for (std::size_t b = 0; b < r.bars.size(); ++b) writer.Row(r.bars[b], r.Row(b));
        writer.Finish();
        FAIL() << "the full disk went unnoticed";
    } catch (const OutputError& e) {
        EXPECT_NE(std::string(e.what()).find("out.csv: write error: No space left on device"), std::string::npos)
            << e.what();
    }
}

TEST(OutputFile, ReplacesTheFileWholeOrLeavesItAsItWas) {
    ScratchFolder dir("zt_output");
    const fs::path file = dir / "out.csv";
    WriteFile(file, "old\n");
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    WriteFile(dir / "out.csv.part", "somebody's file\n");  // a name already taken is left alone
    {
        OutputFile out(file.string(), -1);
        EXPECT_EQ(out.temporary(), dir / "out.csv.2.part");
        out.Write("new\n");
        EXPECT_EQ(Slurp(file), "old\n");  // until the run has succeeded
    }  // not committed: dropped
    EXPECT_EQ(Slurp(file), "old\n");
    EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"out.csv", "out.csv.part"}));
    {
        OutputFile out(file.string(), -1);
        out.Write("new\n");
        out.Commit();
    }
    EXPECT_EQ(Slurp(file), "new\n");
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(Slurp(dir / "out.csv.part"), "somebody's file\n");
    EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"out.csv", "out.csv.part"}));

    // Through a link, the file it points to is replaced and the link stays.
    fs::create_symlink("out.csv", dir / "link.csv");
    {
        OutputFile out((dir / "link.csv").string(), -1);
        out.Write("linked\n");
        out.Commit();
    }
    EXPECT_TRUE(fs::is_symlink(dir / "link.csv"));
    EXPECT_EQ(Slurp(file), "linked\n");

    // Nowhere to write: refused before anything is written.
    try {
        OutputFile out((dir / "missing" / "out.csv").string(), -1);
        FAIL();
    } catch (const OutputError& e) {
        EXPECT_NE(std::string(e.what()).find("missing/out.csv: cannot create"), std::string::npos) << e.what();
    }
    EXPECT_THROW(OutputFile(dir.path().string(), -1), OutputError);
    EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"link.csv", "out.csv", "out.csv.part"}));

    // A device is written in place.
    {
        OutputFile out("/dev/null", -1);
        EXPECT_TRUE(out.temporary().empty());
        out.Write("x");
        out.Commit();
    }
}

TEST(OutputFile, TwoOutputsOnOneFileAreRefusedHoweverTheyAreSpelt) {
    ScratchFolder dir("zt_same_file");
    const std::string a = (dir / "a.csv").string();
    WriteFile(a, "bars\n");
    fs::create_hard_link(a, dir / "hard.csv");
    fs::create_symlink("a.csv", dir / "soft.csv");
    fs::create_directories(dir / "sub");
    const std::string sub = (dir / "sub").string();
    const auto problem = [](std::vector<std::pair<std::string, std::string>> outputs, const std::string& input = "") {
        return SameFileProblem(outputs, input);
    };
    EXPECT_EQ(problem({{"-o", a}, {"--chart", a}}), "-o and --chart name the same file (" + a + "): one would overwrite the other");
    EXPECT_NE(problem({{"-o", a}, {"--chart", (dir / "hard.csv").string()}}), "");
    EXPECT_NE(problem({{"-o", a}, {"--trace", (dir / "soft.csv").string()}}), "");
    EXPECT_NE(problem({{"-o", a}, {"--chart", sub + "/../a.csv"}}), "");
    // Names not created yet: by their folder and name.
    EXPECT_NE(problem({{"-o", sub + "/new.csv"}, {"--chart", sub + "/./new.csv"}}), "");
    EXPECT_EQ(problem({{"-o", sub + "/new.csv"}, {"--chart", sub + "/new.svg"}}), "");
    EXPECT_NE(problem({{"-o", "-"}, {"--chart", "-"}}), "");
    EXPECT_EQ(problem({{"-o", "/dev/null"}, {"--chart", "/dev/null"}}), "");
    EXPECT_EQ(problem({{"-o", "-"}, {"--chart", ""}, {"--trace", ""}}), "");
    // The input is not overwritten by the output either.
    EXPECT_EQ(problem({{"-o", (dir / "soft.csv").string()}}, a),
              "the input and -o name the same file (" + a + " and " + (dir / "soft.csv").string() +
                  "): one would overwrite the other");
}

TEST(ProgressBar, EstimatesFromTheShareOfTheInputRead) {
    // 42% of the file in 10 s: about 14 s to go, whatever bars came before.
    EXPECT_EQ(ProgressBar::Line("replaying", 840000, 0.42, 10.0),
              "replaying [############..................]  42%  840000 bars  14 s left");
    // Sane from the first bars: a thousandth of the file in 0.4 s.
    EXPECT_EQ(ProgressBar::Line("replaying", 2000, 0.001, 0.4),
              "replaying [..............................]   0%  2000 bars  400 s left");
    EXPECT_EQ(ProgressBar::Line("replaying", 0, 0.0, 0.0), "replaying [..............................]   0%  0 bars");
    // A pipe: no whole to measure against.
    EXPECT_EQ(ProgressBar::Line("replaying", 5000, -1.0, 3.2), "replaying  5000 bars  3 s");
}

}  // namespace
}  // namespace zt::replay
