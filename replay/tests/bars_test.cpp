// Bar input: what the CSV reader accepts and how it reports what it does
// not; the built-in series; the intrabar snapshots of a forming bar.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>

#include "replay/bars.h"

namespace zt::replay {
namespace {

const std::string kHeader = "date,time,open,high,low,close,volume\n";

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

struct BadInput {
    const char* text;
    const char* message;  // part of what the error must say
};

class BarsCsvErrors : public ::testing::TestWithParam<BadInput> {};

TEST_P(BarsCsvErrors, NameTheFileTheLineAndTheField) {
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
    ::testing::Values(BadInput{"", "bars.csv: empty file"},
                      BadInput{"date,time,close\n", "bars.csv:1: expected the header line"},
                      BadInput{"date,time,open,high,low,close,volume\n", "bars.csv: no bars"},
                      BadInput{ROW1 "20240102,935,10,11,9,10.5\n", "bars.csv:3: field 'volume': missing"},
                      BadInput{ROW1 "20240102,935,10,11,9,10.5,1,2\n", "bars.csv:3: more than 7 fields"},
                      BadInput{ROW1 "20240230,935,10,11,9,10.5,1\n", "bars.csv:3: field 'date' (\"20240230\")"},
                      BadInput{ROW1 "2024-01-02,935,10,11,9,10.5,1\n", "bars.csv:3: field 'date'"},
                      BadInput{ROW1 "20240102,961,10,11,9,10.5,1\n", "bars.csv:3: field 'time' (\"961\")"},
                      BadInput{ROW1 "20240102,935,10x,11,9,10.5,1\n", "field 'open' (\"10x\"): not a number"},
                      BadInput{ROW1 "20240102,935,10,,9,10.5,1\n", "bars.csv:3: field 'high': empty"},
                      BadInput{ROW1 "20240102,935,10,nan,9,10.5,1\n", "field 'high' (\"nan\"): not a finite"},
                      BadInput{ROW1 "20240102,935,10,8,9,8.5,1\n", "bars.csv:3: field 'high' (\"8\"): below the low"},
                      BadInput{ROW1 "20240102,935,12,11,9,10.5,1\n", "field 'open' (\"12\"): outside"},
                      BadInput{ROW1 "20240102,935,10,11,9,11.5,1\n", "field 'close' (\"11.5\"): outside"},
                      BadInput{ROW1 "20240102,935,10,11,9,10.5,-1\n", "field 'volume' (\"-1\"): negative"},
                      BadInput{ROW1 "20240102,930,10,11,9,10.5,1\n", "bars.csv:3: field 'time' (\"930\"): not later"},
                      BadInput{ROW1 "20240101,1000,10,11,9,10.5,1\n", "bars.csv:3: field 'date'"}));
#undef ROW1

TEST(BarsCsv, MissingFileIsNamed) {
    try {
        ReadBarsCsv("/nonexistent/bars.csv");
        FAIL();
    } catch (const InputError& e) {
        EXPECT_STREQ(e.what(), "/nonexistent/bars.csv: cannot open the file");
    }
}

bool SameBars(const Series& a, const Series& b) {
    if (a.bars.size() != b.bars.size()) return false;
    for (std::size_t i = 0; i < a.bars.size(); ++i) {
        const Bar &x = a.bars[i], &y = b.bars[i];
        if (x.date != y.date || x.time != y.time || x.open != y.open || x.high != y.high || x.low != y.low ||
            x.close != y.close || x.volume != y.volume)
            return false;
    }
    return true;
}

TEST(SyntheticSeries, ASeedGivesOneSeries) {
    EXPECT_TRUE(SameBars(SyntheticSeries(2000, 7), SyntheticSeries(2000, 7)));
    EXPECT_FALSE(SameBars(SyntheticSeries(2000, 7), SyntheticSeries(2000, 8)));
    // A longer series starts with the shorter one.
    const Series shortOne = SyntheticSeries(500, 7), longOne = SyntheticSeries(800, 7);
    EXPECT_TRUE(SameBars(shortOne, Series{"", {longOne.bars.begin(), longOne.bars.begin() + 500}}));
}

TEST(SyntheticSeries, LooksLikeAMarketAndReadsBackAsInput) {
    const Series s = SyntheticSeries(20000, 1);
    std::size_t zeroVolume = 0, flat = 0, gaps = 0, up = 0;
    double lowest = s.bars[0].close, highest = lowest;
    std::string csv = kHeader;
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
        csv += std::to_string(b.date) + "," + std::to_string(b.time) + "," + std::to_string(b.open) + "," +
               std::to_string(b.high) + "," + std::to_string(b.low) + "," + std::to_string(b.close) + "," +
               std::to_string(b.volume) + "\n";
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
    EXPECT_TRUE(SameBars(ParseBarsCsv(csv, "synthetic.csv"), s));
    std::set<int> weekdays;
    for (const Bar& b : s.bars) {
        const int y = b.date / 10000, m = b.date / 100 % 100, d = b.date % 100;
        // Zeller's congruence: 0 = Saturday, 1 = Sunday.
        const int mm = m < 3 ? m + 12 : m, yy = m < 3 ? y - 1 : y;
        weekdays.insert((d + 13 * (mm + 1) / 5 + yy % 100 + yy % 100 / 4 + yy / 100 / 4 + 5 * (yy / 100)) % 7);
    }
    EXPECT_EQ(weekdays, (std::set<int>{2, 3, 4, 5, 6}));
}

TEST(FormingBar, RunsFromTheOpenAlongThePathToTheFinalBar) {
    const Bar upBar{20240102, 935, 10.0, 12.0, 9.0, 11.0, 100.0};
    const Bar downBar{20240102, 935, 10.0, 10.5, 7.0, 8.0, 7.0};
    const Bar flatBar{20240102, 935, 10.0, 10.0, 10.0, 10.0, 0.0};
    for (const Bar& bar : {upBar, downBar, flatBar}) {
        for (const int n : {1, 2, 3, 10, 25}) {
            const Bar first = FormingBar(bar, 0, n);
            EXPECT_TRUE(first.high == bar.open && first.low == bar.open && first.close == bar.open);
            EXPECT_EQ(first.volume, 0.0);
            Bar prev = first;
            for (int k = 1; k <= n; ++k) {
                const Bar f = FormingBar(bar, k, n);
                EXPECT_EQ(f.open, bar.open);
                EXPECT_TRUE(f.low <= f.close && f.close <= f.high);
                EXPECT_TRUE(bar.low <= f.low && f.high <= bar.high) << "inside the final bar";
                EXPECT_TRUE(f.high >= prev.high && f.low <= prev.low && f.volume >= prev.volume);
                EXPECT_EQ(f.volume, std::floor(f.volume));
                prev = f;
            }
            EXPECT_TRUE(prev.high == bar.high && prev.low == bar.low && prev.close == bar.close &&
                        prev.volume == bar.volume);
        }
    }
    // The high is reached before the low.
    for (const Bar& bar : {upBar, downBar}) {
        const Bar f = FormingBar(bar, 1, 3);
        EXPECT_EQ(f.high, bar.high);
        EXPECT_GT(f.low, bar.low);
    }
}

}  // namespace
}  // namespace zt::replay
