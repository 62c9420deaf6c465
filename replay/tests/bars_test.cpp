// Bar input: the layouts traders export all read into the same bars, what
// the reader refuses and what it only warns about, the built-in series, and
// the intrabar snapshots of a forming bar.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <limits>
#include <set>
#include <string>

#include "replay/driver/bars.h"
#include "replay/tests/replay_support.h"

namespace zt::replay {
namespace {

namespace fs = std::filesystem;
using testing::SameBars;
using testing::ScratchFolder;

std::string Num(double v) {
    char buf[32];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

std::string Two(int v) { return std::string(1, static_cast<char>('0' + v / 10)) + static_cast<char>('0' + v % 10); }

void WriteFile(const fs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}

TEST(BarsCsv, AcceptsCarriageReturnsBlankLinesAndSpaces) {
    const Series s = ParseBarsCsv("Date,Time,Open,High,Low,Close,Volume\r\n"
                                  "20240102, 930,10.5,11,10,10.75,1200\r\n"
                                  "\r\n"
                                  "20240102,935,10.75,11.25,10.5,11,0\r\n",
                                  "a.csv");
    ASSERT_EQ(s.bars.size(), 2u);
    EXPECT_EQ(s.bars[0].date, 20240102);
    EXPECT_EQ(s.bars[0].time, 930);
    EXPECT_EQ(s.bars[0].close, 10.75);
    EXPECT_EQ(s.bars[1].volume, 0.0);
    EXPECT_EQ(HostDate(s.bars[0].date), 1240102);
}

// ---------------------------------------------------------------------------
// Every layout of the same bars reads into the same bars.

struct Layout {
    const char* name;
    bool intraday;  // can carry a time
    std::function<std::string(const std::vector<Bar>&)> write;
};

// Appends the pieces (text built with + trips a false warning of GCC 12).
template <class... Pieces>
void Add(std::string& t, const Pieces&... pieces) {
    (t.append(std::string_view(pieces)), ...);
}

std::string Year(const Bar& b) { return std::to_string(b.date / 10000); }
std::string Month(const Bar& b) { return Two(b.date / 100 % 100); }
std::string Day(const Bar& b) { return Two(b.date % 100); }
std::string Hour(const Bar& b) { return Two(b.time / 100); }
std::string Minute(const Bar& b) { return Two(b.time % 100); }

std::string OwnLayout(const std::vector<Bar>& bars) {
    std::string t = "date,time,open,high,low,close,volume\n";
    for (const Bar& b : bars)
        Add(t, std::to_string(b.date), ",", std::to_string(b.time), ",", Num(b.open), ",", Num(b.high), ",",
            Num(b.low), ",", Num(b.close), ",", Num(b.volume), "\n");
    return t;
}

const Layout kLayouts[] = {
    {"vendor export, one date-time column with seconds", true,
     [](const std::vector<Bar>& bars) {
         std::string t = "Date,Open,High,Low,Close,Adj Close,Volume\n";
         for (const Bar& b : bars)
             Add(t, Year(b), "-", Month(b), "-", Day(b), " ", Hour(b), ":", Minute(b), ":00,", Num(b.open), ",",
                 Num(b.high), ",", Num(b.low), ",", Num(b.close), ",", Num(b.close * 0.98), ",", Num(b.volume), "\n");
         return t;
     }},
    {"semicolons, columns reordered, DD.MM.YYYY and HH:MM, upper case", true,
     [](const std::vector<Bar>& bars) {
         std::string t = "CLOSE;VOLUME;DATE;TIME;HIGH;LOW;OPEN\n";
         for (const Bar& b : bars)
             Add(t, Num(b.close), ";", Num(b.volume), ";", Day(b), ".", Month(b), ".", Year(b), ";", Hour(b), ":",
                 Minute(b), ";", Num(b.high), ";", Num(b.low), ";", Num(b.open), "\n");
         return t;
     }},
    {"tabs, quotes, byte-order mark, CR LF, MM/DD/YYYY, HH:MM:SS, vol, an extra column", true,
     [](const std::vector<Bar>& bars) {
         std::string t = "\xEF\xBB\xBF\"Date\"\t\"Time\"\t\"Open\"\t\"High\"\t\"Low\"\t\"Close\"\t\"Vol\"\t\"OpenInt\"\r\n";
         for (const Bar& b : bars)
             Add(t, "\"", Month(b), "/", Day(b), "/", Year(b), "\"\t\"", Hour(b), ":", Minute(b), ":00\"\t",
                 Num(b.open), "\t\"", Num(b.high), "\"\t", Num(b.low), "\t", Num(b.close), "\t", Num(b.volume),
                 "\t\"12 \"\"a\"\" b\"\r\n");
         return t;
     }},
    {"platform export with <DATE>, <TIME> as HHMMSS and unused columns", true,
     [](const std::vector<Bar>& bars) {
         std::string t = "<TICKER>,<PER>,<DATE>,<TIME>,<OPEN>,<HIGH>,<LOW>,<CLOSE>,<VOL>\n";
         for (const Bar& b : bars)
             Add(t, "ES,5,", std::to_string(b.date), ",", Hour(b), Minute(b), "00,", Num(b.open), ",", Num(b.high),
                 ",", Num(b.low), ",", Num(b.close), ",", Num(b.volume), "\n");
         return t;
     }},
    {"timestamp column, ISO with T and a UTC offset, spaces around fields", true,
     [](const std::vector<Bar>& bars) {
         std::string t = "timestamp , open , high , low , close , volume\n";
         for (const Bar& b : bars)
             Add(t, Year(b), "-", Month(b), "-", Day(b), "T", Hour(b), ":", Minute(b), ":00+01:00 , ", Num(b.open),
                 " , ", Num(b.high), " , ", Num(b.low), " , ", Num(b.close), " , ", Num(b.volume), "\n");
         return t;
     }},
    {"daily bars without a time column, YYYY/MM/DD", false,
     [](const std::vector<Bar>& bars) {
         std::string t = "Date,Open,High,Low,Close,Volume\n";
         for (const Bar& b : bars)
             Add(t, Year(b), "/", Month(b), "/", Day(b), ",", Num(b.open), ",", Num(b.high), ",", Num(b.low), ",",
                 Num(b.close), ",", Num(b.volume), "\n");
         return t;
     }},
};

TEST(BarsCsv, EveryLayoutReadsIntoTheSameBarsAsTheOwnLayout) {
    Series intraday = SyntheticSeries(400, 9);
    intraday.bars[5].close = 0.1 + 0.2;  // needs all 17 digits
    intraday.bars[5].low = std::min(intraday.bars[5].low, intraday.bars[5].close);
    Series daily = intraday;
    for (std::size_t i = 0; i < daily.bars.size(); ++i) {
        daily.bars[i].time = 0;
        const auto n = static_cast<std::int32_t>(i);
        daily.bars[i].date = 19950101 + n / 28 / 12 * 10000 + n / 28 % 12 * 100 + n % 28;
    }
    for (const Layout& layout : kLayouts) {
        SCOPED_TRACE(layout.name);
        for (const Series* s : {&intraday, &daily}) {
            if (s == &intraday && !layout.intraday) continue;
            const Series own = ParseBarsCsv(OwnLayout(s->bars), "own.csv");
            ASSERT_TRUE(SameBars(own.bars, s->bars));
            const Series read = ParseBarsCsv(layout.write(s->bars), "layout.csv");
            EXPECT_TRUE(SameBars(read.bars, own.bars));
        }
    }
}

TEST(BarsCsv, NotesNameTheColumnsNotUsedAndAMissingVolume) {
    CsvBars withExtra("Date,Open,High,Low,Close,Adj Close,Volume,OpenInt\n2024-01-02,1,2,0.5,1.5,1.4,10,7\n", "v.csv");
    ASSERT_EQ(withExtra.Notes().size(), 1u);
    EXPECT_EQ(withExtra.Notes()[0], "v.csv: columns not used: Adj Close, OpenInt");
    CsvBars noVolume("date;open;high;low;close\n20240102;1;2;0.5;1.5\n", "n.csv");
    ASSERT_EQ(noVolume.Notes().size(), 1u);
    EXPECT_NE(noVolume.Notes()[0].find("n.csv: no volume column: every bar gets volume 0"), std::string::npos);
    Bar b{};
    ASSERT_TRUE(noVolume.Next(b));
    EXPECT_EQ(b.volume, 0.0);
    EXPECT_EQ(b.time, 0);
    EXPECT_TRUE(ParseBarsCsv(OwnLayout({b}), "own.csv").bars.size() == 1);
}

TEST(BarsCsv, InconsistentBarsAreReplayedAsReadAndCounted) {
    CsvBars bars("date,time,open,high,low,close,volume\n"
                 "20240102,930,10,11,9,10.5,100\n"
                 "20240102,935,10,9.5,9.75,9.8,100\n"     // high below the low
                 "20240102,940,-1,11,-2,10,100\n"         // negative prices
                 "20240102,945,12,11,9,10,100\n"          // open above the high
                 "20240102,950,10,11,9,10,100\n",
                 "w.csv");
    const Series s = ReadAll(bars);
    ASSERT_EQ(s.bars.size(), 5u);
    EXPECT_EQ(s.bars[1].high, 9.5);
    EXPECT_EQ(s.bars[1].low, 9.75);
    EXPECT_EQ(s.bars[2].low, -2.0);
    const auto w = bars.Warnings();
    ASSERT_EQ(w.size(), 1u);
    EXPECT_EQ(w[0], "w.csv: 3 bars with the high below the low, the open or close outside the low to high, or a "
                    "negative price, replayed as read (first at line 3: the high below the low)");
}

TEST(BarsCsv, SecondsAreDroppedWithAWarning) {
    CsvBars bars("date,time,open,high,low,close,volume\n"
                 "20240102,09:30:00,1,2,0.5,1.5,1\n"
                 "20240102,09:35:30,1,2,0.5,1.5,1\n"
                 "20240102,09:40:00.250,1,2,0.5,1.5,1\n",
                 "s.csv");
    const Series s = ReadAll(bars);
    ASSERT_EQ(s.bars.size(), 3u);
    EXPECT_EQ(s.bars[1].time, 935);
    EXPECT_EQ(s.bars[2].time, 940);
    const auto w = bars.Warnings();
    ASSERT_EQ(w.size(), 1u);
    EXPECT_EQ(w[0], "s.csv: 2 times with seconds, dropped: the library's bar time is HHMM (first at line 3: \"09:35:30\")");
    CsvBars whole("date,time,open,high,low,close,volume\n20240102,09:30:00,1,2,0.5,1.5,1\n", "s.csv");
    ReadAll(whole);
    EXPECT_TRUE(whole.Warnings().empty());
}

struct BadInput {
    const char* text;
    const char* message;  // part of what the error must say
};

class BarsCsvErrors : public ::testing::TestWithParam<BadInput> {};

TEST_P(BarsCsvErrors, NameTheFileTheLineAndTheColumn) {
    try {
        ParseBarsCsv(GetParam().text, "bars.csv");
        FAIL() << "accepted: " << GetParam().text;
    } catch (const InputError& e) {
        EXPECT_NE(std::string(e.what()).find(GetParam().message), std::string::npos)
            << "message: " << e.what() << "\nexpected to contain: " << GetParam().message;
    }
}

#define ROW1 "date,time,open,high,low,close,volume\n20240102,930,10,11,9,10.5,100\n"
INSTANTIATE_TEST_SUITE_P(
    Input, BarsCsvErrors,
    ::testing::Values(
        BadInput{"", "bars.csv: empty file"},
        BadInput{"\n  \r\n", "bars.csv: empty file"},
        BadInput{"date,time,close\n", "bars.csv:1: no column for open, high, low (the header line reads \"date,time,close\")"},
        BadInput{"\xEF\xBB\xBF" "Datum,Zeit,Eroeffnung\n", "no column for date, open, high, low, close"},
        BadInput{"20240102,930,10,11,9,10.5,100\n", "bars.csv:1: the first line is not a header"},
        BadInput{"date,time,open,high,low,close,close\n", "bars.csv:1: columns 6 and 7 both name the close"},
        BadInput{"datetime,time,open,high,low,close\n", "a date-time column and a date or time column as well"},
        BadInput{"date,time,open,high,low,close,volume\n", "bars.csv: no bars after the header line"},
        BadInput{ROW1 "20240102,935,10,11,9,10.5\n", "bars.csv:3: column 7 'volume': missing"},
        BadInput{ROW1 "20240102,935,10,11,9,10.5,1,2\n", "bars.csv:3: 8 fields, but the header names 7 columns"},
        BadInput{ROW1 "20240230,935,10,11,9,10.5,1\n", "bars.csv:3: column 1 'date' (\"20240230\"): not a date"},
        BadInput{ROW1 "2024-13-02,935,10,11,9,10.5,1\n", "column 1 'date' (\"2024-13-02\"): not a date"},
        BadInput{ROW1 "21000102,935,10,11,9,10.5,1\n", "years 1900 to 2099"},
        BadInput{ROW1 "20240102,961,10,11,9,10.5,1\n", "bars.csv:3: column 2 'time' (\"961\"): not a time"},
        BadInput{ROW1 "20240102,9:35 am,10,11,9,10.5,1\n", "column 2 'time' (\"9:35 am\"): not a time"},
        BadInput{ROW1 "20240102,935,10x,11,9,10.5,1\n", "column 3 'open' (\"10x\"): not a number"},
        BadInput{ROW1 "20240102,935,10,,9,10.5,1\n", "bars.csv:3: column 4 'high': empty"},
        BadInput{ROW1 "20240102,935,10,nan,9,10.5,1\n", "column 4 'high' (\"nan\"): not a finite number"},
        BadInput{ROW1 "20240102,935,10,inf,9,10.5,1\n", "column 4 'high' (\"inf\"): not a finite number"},
        BadInput{ROW1 "20240102,935,10,1.7e308,9,10.5,1\n",
                 "bars.csv:3: column 4 'high' (\"1.7e308\"): absurd magnitude (above 1e15)"},
        BadInput{ROW1 "20240102,935,10,11,9,10.5,2e15\n", "column 7 'volume' (\"2e15\"): absurd magnitude"},
        BadInput{ROW1 "20240102,935,-1e16,11,9,10.5,1\n", "column 3 'open' (\"-1e16\"): absurd magnitude"},
        BadInput{ROW1 "20240102,935,10,1e400,9,10.5,1\n", "column 4 'high' (\"1e400\"): beyond the range"},
        BadInput{ROW1 "20240102,935,10,11,9,10.5,-1\n", "column 7 'volume' (\"-1\"): negative volume"},
        BadInput{ROW1 "20240102,930,10,11,9,10.5,1\n",
                 "bars.csv:3: column 2 'time' (\"930\"): the same time as the bar before (line 2)"},
        BadInput{ROW1 "20240101,1000,10,11,9,10.5,1\n", "column 1 'date' (\"20240101\"): earlier than the bar before"},
        BadInput{"date,time,open,high,low,close\n20240102,09:35:10,1,2,0.5,1\n20240102,09:35:40,1,2,0.5,1\n",
                 "the same time as the bar before (line 2): bars go oldest first, one per time; the library's bar "
                 "time is HHMM, so seconds are dropped"},
        BadInput{ROW1 "\"20240102,935,10,11,9,10.5,1\n", "column 1 'date' (\"\"20240102,935,10,11,9,10.5,1\"): a quote that is never closed"},
        BadInput{"date;open;high;low;close\n20240102;10,5;11;9;10\n",
                 "column 2 'open' (\"10,5\"): not a number (a decimal comma is not read"}));
#undef ROW1

TEST(BarsCsv, FilesThatCannotBeReadEachSayWhy) {
    ScratchFolder dir("zt_bars_files");
    const auto message = [](const fs::path& p) -> std::string {
        try {
            CsvBars bars(p.string());
            return "accepted";
        } catch (const InputError& e) {
            return e.what();
        }
    };
    EXPECT_EQ(message(dir / "nosuch.csv"), (dir / "nosuch.csv").string() + ": no such file");
    EXPECT_EQ(message(dir.path()), dir.path().string() + ": is a folder, not a CSV file of bars");
    WriteFile(dir / "empty.csv", "");
    EXPECT_NE(message(dir / "empty.csv").find("empty.csv: empty file"), std::string::npos);
}

TEST(BarsCsv, LinesAcrossReadChunksAndProgressByBytes) {
    ScratchFolder dir("zt_bars_chunks");
    const Series s = SyntheticSeries(300, 4);
    const std::string text = OwnLayout(s.bars);
    WriteFile(dir / "bars.csv", text);
    for (const std::size_t chunk : {std::size_t{1}, std::size_t{7}, std::size_t{64}, std::size_t{1} << 20}) {
        CsvBars bars((dir / "bars.csv").string(), chunk);
        EXPECT_GT(bars.Done(), 0.0);  // the header is read
        Bar b{};
        std::vector<Bar> read;
        double last = bars.Done();
        while (bars.Next(b)) {
            read.push_back(b);
            EXPECT_GE(bars.Done(), last);
            last = bars.Done();
        }
        EXPECT_EQ(last, 1.0);
        EXPECT_TRUE(SameBars(read, s.bars)) << "chunk " << chunk;
    }
    // A line without end is not read into memory without end.
    WriteFile(dir / "long.csv", "date,time,open,high,low,close,volume\n" + std::string(3u << 20, '1'));
    try {
        CsvBars bars((dir / "long.csv").string(), 4096);
        ReadAll(bars);
        FAIL();
    } catch (const InputError& e) {
        EXPECT_NE(std::string(e.what()).find("long.csv:2: a line longer than 1048576 bytes"), std::string::npos);
    }
}

// ---------------------------------------------------------------------------

TEST(SyntheticSeries, ASeedGivesOneSeries) {
    EXPECT_TRUE(SameBars(SyntheticSeries(2000, 7).bars, SyntheticSeries(2000, 7).bars));
    EXPECT_FALSE(SameBars(SyntheticSeries(2000, 7).bars, SyntheticSeries(2000, 8).bars));
    // A longer series starts with the shorter one.
    const Series shortOne = SyntheticSeries(500, 7), longOne = SyntheticSeries(800, 7);
    EXPECT_TRUE(SameBars(shortOne.bars, {longOne.bars.begin(), longOne.bars.begin() + 500}));
    SyntheticBars bars(500, 7);
    EXPECT_EQ(bars.Done(), 0.0);
    EXPECT_TRUE(SameBars(ReadAll(bars).bars, shortOne.bars));
    EXPECT_EQ(bars.Done(), 1.0);
}

TEST(SyntheticSeries, LooksLikeAMarketAndReadsBackAsInput) {
    const Series s = SyntheticSeries(20000, 1);
    std::size_t zeroVolume = 0, flat = 0, gaps = 0, up = 0;
    double lowest = s.bars[0].close, highest = lowest;
    for (std::size_t i = 0; i < s.bars.size(); ++i) {
        const Bar& b = s.bars[i];
        ASSERT_TRUE(b.low <= std::min(b.open, b.close) && std::max(b.open, b.close) <= b.high) << "bar " << i;
        ASSERT_EQ(b.open * 4.0, std::floor(b.open * 4.0)) << "quarter points";
        ASSERT_EQ(b.volume, std::floor(b.volume)) << "whole volume";
        zeroVolume += b.volume == 0.0;
        flat += b.high == b.low;
        up += b.close > b.open;
        lowest = std::min(lowest, b.low);
        highest = std::max(highest, b.high);
        if (i > 0 && b.date != s.bars[i - 1].date && std::fabs(b.open - s.bars[i - 1].close) > 0.005 * b.open) ++gaps;
    }
    // Trades missing now and then, opening gaps, and both trends and ranges.
    EXPECT_GT(zeroVolume, s.bars.size() / 200);
    EXPECT_LT(zeroVolume, s.bars.size() / 10);
    EXPECT_GE(flat, zeroVolume);
    EXPECT_GT(gaps, 20u);
    EXPECT_GT(up, s.bars.size() / 3);
    EXPECT_LT(up, s.bars.size() * 2 / 3);
    EXPECT_GT(highest / lowest, 1.1);
    // Weekdays only, strictly increasing stamps: the reader takes it as it is.
    EXPECT_TRUE(SameBars(ParseBarsCsv(OwnLayout(s.bars), "synthetic.csv").bars, s.bars));
    std::set<int> weekdays;
    for (const Bar& b : s.bars) {
        const int y = b.date / 10000, m = b.date / 100 % 100, d = b.date % 100;
        // Zeller's congruence: 0 = Saturday, 1 = Sunday.
        const int mm = m < 3 ? m + 12 : m, yy = m < 3 ? y - 1 : y;
        weekdays.insert((d + 13 * (mm + 1) / 5 + yy % 100 + yy % 100 / 4 + yy / 100 / 4 + 5 * (yy / 100)) % 7);
    }
    EXPECT_EQ(weekdays, (std::set<int>{2, 3, 4, 5, 6}));
}

// ---------------------------------------------------------------------------

// What every snapshot of a forming bar must be, ordinary or extreme.
void CheckPath(const Bar& bar, int n) {
    SCOPED_TRACE(::testing::Message() << "n " << n << ", bar " << bar.open << " " << bar.high << " " << bar.low
                                      << " " << bar.close << " " << bar.volume);
    const Bar first = FormingBar(bar, 0, n);
    EXPECT_TRUE(first.high == bar.open && first.low == bar.open && first.close == bar.open);
    EXPECT_EQ(first.volume, 0.0);
    Bar prev = first;
    for (int k = 1; k <= n; ++k) {
        const Bar f = FormingBar(bar, k, n);
        EXPECT_EQ(f.open, bar.open);
        ASSERT_TRUE(std::isfinite(f.high) && std::isfinite(f.low) && std::isfinite(f.close) && std::isfinite(f.volume));
        EXPECT_TRUE(f.low <= f.close && f.close <= f.high);
        EXPECT_TRUE(bar.low <= f.low && f.high <= bar.high) << "inside the final bar";
        EXPECT_TRUE(f.high >= prev.high && f.low <= prev.low && f.volume >= prev.volume);
        EXPECT_TRUE(f.volume == std::floor(f.volume) && f.volume <= bar.volume);
        prev = f;
    }
    EXPECT_TRUE(prev.high == bar.high && prev.low == bar.low && prev.close == bar.close && prev.volume == bar.volume);
}

TEST(FormingBar, RunsFromTheOpenAlongThePathToTheFinalBar) {
    const Bar upBar{20240102, 935, 10.0, 12.0, 9.0, 11.0, 100.0};
    const Bar downBar{20240102, 935, 10.0, 10.5, 7.0, 8.0, 7.0};
    const Bar flatBar{20240102, 935, 10.0, 10.0, 10.0, 10.0, 0.0};
    for (const Bar& bar : {upBar, downBar, flatBar})
        for (const int n : {1, 2, 3, 10, 25}) CheckPath(bar, n);
    // The high is reached before the low.
    for (const Bar& bar : {upBar, downBar}) {
        const Bar f = FormingBar(bar, 1, 3);
        EXPECT_EQ(f.high, bar.high);
        EXPECT_GT(f.low, bar.low);
    }
    // Worked numbers: path 10 -> 12 -> 9 -> 11 is 7 long; 3 of 7 steps
    // reach the high (2) and go 1 down from it.
    const Bar f = FormingBar(upBar, 3, 7);
    EXPECT_EQ(f.close, 11.0);
    EXPECT_EQ(f.high, 12.0);
    EXPECT_EQ(f.low, 10.0);
    EXPECT_EQ(f.volume, std::floor(100.0 * 3 / 7));
}

TEST(FormingBar, ExtremeFiniteBarsStayFiniteAndInsideTheBar) {
    constexpr double kMax = std::numeric_limits<double>::max();
    const Bar bars[] = {
        {20240102, 935, 0.0, 1e308, -1e308, 0.5e308, 0.9e308},
        {20240102, 935, -1e308, 1e308, -1e308, 1e308, 0.9e308},
        {20240102, 935, kMax, kMax, -kMax, -kMax, kMax},
        {20240102, 935, 1e-310, 1e308, -4e-320, 5e307, 1.0},
    };
    for (const Bar& bar : bars)
        for (const int n : {1, 2, 3, 7, 10, 1000}) CheckPath(bar, n);
    // Bars the reader replays with a warning (the high below the low) still
    // give finite snapshots that start at the open.
    for (const Bar& bar : {Bar{20240102, 935, 10.0, 9.5, 9.75, 9.8, 5.0}, Bar{20240102, 935, 1e15, -1e15, 1e15, -1e15, 1e15}}) {
        for (int k = 0; k < 10; ++k) {
            const Bar f = FormingBar(bar, k, 10);
            EXPECT_TRUE(std::isfinite(f.high) && std::isfinite(f.low) && std::isfinite(f.close) && f.volume <= bar.volume);
            if (k == 0) {
                EXPECT_EQ(f.close, bar.open);
            }
        }
    }
    // A price read as "-0" is the open of the first snapshot bit for bit
    // (the study sees -0.0 on the bar it ends with too).
    const Bar signedZero{20240102, 935, -0.0, 0.0, -1.0, 0.0, 10.0};
    const Bar first = FormingBar(signedZero, 0, 4);
    EXPECT_TRUE(std::signbit(first.close) && std::signbit(first.high) && std::signbit(first.low));
}

}  // namespace
}  // namespace zt::replay
