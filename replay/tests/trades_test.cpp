// Trades in: the trade file layouts, what the reader refuses, bars formed as a
// live chart forms them, and a trade replay giving exactly the rows a bar
// file with the same bars gives. The confirmation report's counts on
// hand-made update sequences.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "replay/drawing/drawing.h"
#include "replay/driver/signals.h"
#include "replay/driver/trades.h"
#include "replay/output.h"
#include "replay/tests/replay_support.h"

namespace zt::replay {
namespace {

using testing::AllStudiesOptions;
using testing::Lib;
using testing::RowTable;

std::vector<Trade> ReadTrades(const std::string& text) {
    CsvTrades reader(text, "t.csv");
    std::vector<Trade> out;
    for (Trade t{}; reader.Next(t);) out.push_back(t);
    return out;
}

struct Sent {
    std::vector<Bar> updates;
    std::vector<bool> last;
};

Sent Updates(const std::vector<Trade>& trades, const char* timeframe) {
    TradesInMemory list(trades);
    TradeBars bars(list, *ParseTimeframe(timeframe));
    Sent s;
    Bar b{};
    bool last = false;
    while (bars.Next(b, last)) s.updates.push_back(b), s.last.push_back(last);
    return s;
}

std::string ErrorOf(const std::string& text) {
    try {
        ReadTrades(text);
    } catch (const InputError& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(TradesCsv, EveryLayoutReadsTheSameTrades) {
    const std::vector<Trade> want = {{20240102, 9 * 3600 + 5, 101.25, 3}, {20240102, 9 * 3600 + 5, 101.5, 0},
                                     {20240103, 15 * 3600 + 59 * 60 + 59, 99.75, 12.5}};
    const char* layouts[] = {
        "date,time,price,size\n20240102,09:00:05,101.25,3\n20240102,090005,101.5,0\n20240103,15:59:59,99.75,12.5\n",
        "\xEF\xBB\xBFTime;Price;Qty;Date\r\n09:00:05;101.25;3;2024-01-02\r\n\r\n09:00:05;101.5;0;2024-01-02\r\n"
        "15:59:59;99.75;12.5;2024-01-03\r\n",
        "timestamp\tlast\tvolume\tvenue\n2024-01-02T09:00:05.250Z\t101.25\t3\tX\n"
        "2024-01-02 09:00:05\t101.5\t0\tY\n2024-01-03 15:59:59\t99.75\t12.5\tZ\n",
        "\"Date\",\"Time\",\"Price\",\"Size\"\n\"01/02/2024\",\"09:00:05\",\"101.25\",\"3\"\n"
        "\"01/02/2024\",\"09:00:05\",\"101.5\",\"0\"\n\"01/03/2024\",\"15:59:59\",\"99.75\",\"12.5\"\n",
    };
    for (const char* text : layouts) {
        const std::vector<Trade> got = ReadTrades(text);
        ASSERT_EQ(got.size(), want.size()) << text;
        for (std::size_t i = 0; i < want.size(); ++i) {
            EXPECT_EQ(got[i].date, want[i].date) << text;
            EXPECT_EQ(got[i].second, want[i].second) << text;
            EXPECT_EQ(got[i].price, want[i].price) << text;
            EXPECT_EQ(got[i].size, want[i].size) << text;
        }
    }
}

TEST(TradesCsv, BadRowsNameTheFileTheLineAndTheColumn) {
    const std::string header = "date,time,price,size\n20240102,09:00:05,100,1\n";
    EXPECT_EQ(ErrorOf(header + "20240102,09:00:04,100,1\n"),
              "t.csv:3: column 2 'time' (\"09:00:04\"): earlier than the trade before (line 2): trades go oldest first");
    EXPECT_EQ(ErrorOf(header + "20240101,09:00:06,100,1\n"),
              "t.csv:3: column 1 'date' (\"20240101\"): earlier than the trade before (line 2): trades go oldest first");
    EXPECT_EQ(ErrorOf(header + "20240102,09:00:05,0,1\n"),
              "t.csv:3: column 3 'price' (\"0\"): a trade price must be above zero");
    EXPECT_EQ(ErrorOf(header + "20240102,09:00:05,-2.5,1\n"),
              "t.csv:3: column 3 'price' (\"-2.5\"): a trade price must be above zero");
    EXPECT_EQ(ErrorOf(header + "20240102,09:00:05,100,-1\n"), "t.csv:3: column 4 'size' (\"-1\"): negative size");
    EXPECT_EQ(ErrorOf(header + "20240102,09:00:05,nan,1\n"), "t.csv:3: column 3 'price' (\"nan\"): not a finite number");
    EXPECT_EQ(ErrorOf(header + "20240102,9h,100,1\n"),
              "t.csv:3: column 2 'time' (\"9h\"): not a time (HHMM, HH:MM or HH:MM:SS)");
    EXPECT_EQ(ErrorOf("datetime,price\n2024-01-02,100\n"),
              "t.csv:2: column 1 'datetime' (\"2024-01-02\"): no time: a trade needs its date and time (HH:MM:SS)");
    EXPECT_EQ(ErrorOf(header + "20240102,09:00:05,100\n"), "t.csv:3: column 4 'size': missing (the header names 4 columns)");
    EXPECT_NE(ErrorOf("date,time,size\n").find("t.csv:1: no column for price"), std::string::npos);
    EXPECT_EQ(ErrorOf("date,time,price,size\n"), "t.csv: no trades after the header line");
}

TEST(TradeBars, IntradayBarsAreStampedWithTheEndOfTheirInterval) {
    const std::vector<Trade> trades = {
        {20240102, 9 * 3600, 10, 1},            // 09:00:00 -> 0901
        {20240102, 9 * 3600 + 59, 12, 2},       // 09:00:59 -> 0901
        {20240102, 9 * 3600 + 59, 9, 0},        //            0901
        {20240102, 9 * 3600 + 60, 11, 4},       // 09:01:00 -> 0902
        {20240131, 23 * 3600 + 59 * 60 + 30, 8, 1},  // 23:59:30 -> 0000 of the next day
    };
    const Sent s = Updates(trades, "1m");
    ASSERT_EQ(s.updates.size(), 5u);
    EXPECT_EQ(s.last, (std::vector<bool>{false, false, true, true, true}));
    const Bar& a = s.updates[1];  // running values after the second trade
    EXPECT_EQ(a.time, 901);
    EXPECT_EQ(a.open, 10);
    EXPECT_EQ(a.high, 12);
    EXPECT_EQ(a.low, 10);
    EXPECT_EQ(a.close, 12);
    EXPECT_EQ(a.volume, 3);
    const Bar& f = s.updates[2];  // the bar's final values: its last trade
    EXPECT_EQ(f.date, 20240102);
    EXPECT_EQ(f.time, 901);
    EXPECT_EQ(f.open, 10);
    EXPECT_EQ(f.high, 12);
    EXPECT_EQ(f.low, 9);
    EXPECT_EQ(f.close, 9);
    EXPECT_EQ(f.volume, 3);
    EXPECT_EQ(s.updates[3].time, 902);
    EXPECT_EQ(s.updates[4].date, 20240201);
    EXPECT_EQ(s.updates[4].time, 0);

    EXPECT_EQ(BarOfTrade({20240102, 9 * 3600 + 4 * 60 + 59, 1, 0}, *ParseTimeframe("5m")).time, 905);
    EXPECT_EQ(BarOfTrade({20240102, 9 * 3600 + 5 * 60, 1, 0}, *ParseTimeframe("5min")).time, 910);
    EXPECT_EQ(BarOfTrade({20240102, 9 * 3600 + 14 * 60, 1, 0}, *ParseTimeframe("15m")).time, 915);
    EXPECT_EQ(BarOfTrade({20240102, 9 * 3600 + 30 * 60, 1, 0}, *ParseTimeframe("1h")).time, 1000);
    const Bar year = BarOfTrade({20241231, 23 * 3600 + 5, 1, 0}, *ParseTimeframe("1h"));
    EXPECT_EQ(year.date, 20250101);
    EXPECT_EQ(year.time, 0);
    EXPECT_FALSE(ParseTimeframe("2m"));
}

TEST(TradeBars, DailyBarsTakeTheTradesOfTheirDate) {
    const Sent s = Updates({{20240102, 9 * 3600, 10, 1}, {20240102, 23 * 3600 + 59 * 60 + 59, 11, 1},
                            {20240103, 0, 12, 5}},
                           "1d");
    ASSERT_EQ(s.updates.size(), 3u);
    EXPECT_EQ(s.last, (std::vector<bool>{false, true, true}));
    EXPECT_EQ(s.updates[1].date, 20240102);
    EXPECT_EQ(s.updates[1].time, 0);
    EXPECT_EQ(s.updates[1].close, 11);
    EXPECT_EQ(s.updates[1].volume, 2);
    EXPECT_EQ(s.updates[2].date, 20240103);
}

// Every row a trade replay writes is the row the bar file of its bars gives:
// the intrabar updates carry nothing forward.
TEST(TradeReplay, WritesTheCsvOfABarFileWithTheSameBars) {
    for (const char* timeframe : {"1m", "5m"}) {
        CsvTrades trades(std::string(ZT_SOURCE_DIR) + "/replay/tests/data/trades_sample.csv");
        TradeBars updates(trades, *ParseTimeframe(timeframe));
        const ReplayOptions options = AllStudiesOptions();
        RowTable fromTrades;
        fromTrades.columns = ReplayColumns(options);
        SignalReport report(fromTrades.columns);
        fromTrades.stats = Replay(Lib(), updates, options, fromTrades, &report);
        ASSERT_GT(fromTrades.bars.size(), 100u);
        EXPECT_GT(fromTrades.stats.updates, fromTrades.bars.size() * 3);

        std::string barFile = "date,time,open,high,low,close,volume\n";
        for (const Bar& b : fromTrades.bars) AppendCsvRow(barFile, b, nullptr, 0);
        const Series series = ParseBarsCsv(barFile, "formed.csv");
        const RowTable fromBars = testing::ReplayTable(series, options);

        std::string a = CsvHeader(fromTrades.columns), b = CsvHeader(fromBars.columns);
        for (std::size_t i = 0; i < fromTrades.bars.size(); ++i)
            AppendCsvRow(a, fromTrades.bars[i], fromTrades.Row(i), fromTrades.columns.size());
        for (std::size_t i = 0; i < fromBars.bars.size(); ++i)
            AppendCsvRow(b, fromBars.bars[i], fromBars.Row(i), fromBars.columns.size());
        EXPECT_TRUE(a == b) << timeframe;

        // The report against the rows: what the closed bars kept.
        for (const SignalCounts& c : report.Counts()) {
            std::size_t column = 0;
            while (fromTrades.columns[column].name != c.slot) ++column;
            std::size_t kept = 0;
            for (std::size_t i = 0; i < fromTrades.bars.size(); ++i) kept += fromTrades.Row(i)[column] != 0.0;
            EXPECT_EQ(c.bars, fromTrades.bars.size()) << c.slot;
            EXPECT_EQ(c.confirmed, kept) << c.slot;
            EXPECT_EQ(c.shown, c.confirmed + c.vanished) << c.slot;
        }
    }
}

// ---------------------------------------------------------------------------
// The confirmation report.

TEST(SignalReport, CountsTheSignalSlotsOfTheCatalogue) {
    const std::vector<Column> columns = ColumnsOf({FindStudy("mp"), FindStudy("upsell"), FindStudy("fast2"),
                                                   FindStudy("universal"), FindStudy("colortmpl")});
    std::vector<std::string> names;
    for (const Column& c : columns)
        if (IsSignalColumn(c)) names.push_back(c.name);
    EXPECT_EQ(names, (std::vector<std::string>{"E_ZARNUPSELL.signal", "E_ZARNFAST2.up", "E_ZARNFAST2.down",
                                               "E_ZARNUNIVERSAL.up", "E_ZARNUNIVERSAL.down",
                                               "E_ZARNCOLORTMPL.consensus"}));
}

// One signal column (COMBO) fed by hand: every count known.
TEST(SignalReport, ExactCountsOnHandMadeBars) {
    const std::vector<Column> columns = ColumnsOf({FindStudy("combo")});
    SignalReport report(columns);
    const Bar bar{};
    const auto send = [&](std::vector<double> values) {
        for (std::size_t i = 0; i < values.size(); ++i) report.Update(bar, &values[i], i + 1 == values.size());
    };
    send({0, 1, 1, 1});      // shown, confirmed, share 3/4
    send({1, 0, 0, 0});      // shown, vanished
    send({0, 0, 0, -1});     // shown, confirmed, late, share 1/4
    send({1, -1, 0, -1});    // shown, confirmed (-1), flipped, share 2/4
    send({0, 0, 0, 0});      // nothing
    send({-2.5, 1, NAN, 0}); // shown, vanished, flipped (NaN is no signal)
    send({1});               // ticks 0: shown, confirmed, late, share 1
    const std::vector<SignalCounts> c = report.Counts();
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0].slot, "E_ZARNCOMBO.signal");
    EXPECT_EQ(c[0].bars, 7u);
    EXPECT_EQ(c[0].shown, 6u);
    EXPECT_EQ(c[0].confirmed, 4u);
    EXPECT_EQ(c[0].vanished, 2u);
    EXPECT_EQ(c[0].flipped, 2u);
    EXPECT_EQ(c[0].late, 2u);
    EXPECT_EQ(c[0].medianShare, 0.625);  // of 1/4, 2/4, 3/4, 1
    EXPECT_EQ(SignalReportCsv(c), "slot,bars,shown,confirmed,vanished,flipped,late,median_share\n"
                                  "E_ZARNCOMBO.signal,7,6,4,2,2,2,0.6250\n");

    SignalReport none(columns);
    none.Update(bar, std::vector<double>{0}.data(), true);
    EXPECT_TRUE(std::isnan(none.Counts()[0].medianShare));
    EXPECT_EQ(SignalReportCsv(none.Counts()), "slot,bars,shown,confirmed,vanished,flipped,late,median_share\n"
                                              "E_ZARNCOMBO.signal,1,0,0,0,0,0,\n");
}

// The chart's record: what each of the newest bars showed while it formed.
TEST(SignalTrail, KeepsTheSignsInTheOrderShownForTheNewestBars) {
    const std::vector<Column> columns = ColumnsOf({FindStudy("mp"), FindStudy("combo")});
    SignalTrail trail(columns, 2);
    ASSERT_EQ(trail.Columns(), (std::vector<std::size_t>{4}));  // after MP's four slots
    const Bar bar{};
    const auto send = [&](std::vector<double> combo) {
        for (std::size_t i = 0; i < combo.size(); ++i) {
            const double row[5] = {1, 2, 1, -1, combo[i]};
            trail.Update(bar, row, i + 1 == combo.size());
        }
    };
    send({0, 1, 1, 0});  // appeared and vanished
    send({1, -1});       // flipped
    std::vector<double> busy;
    for (int i = 0; i < 20; ++i) busy.push_back(i % 2 == 0 ? 1.0 : -1.0);
    busy.push_back(0.0);
    send(busy);  // longer than a trail
    const std::vector<std::vector<std::string>> t = trail.Trails();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0], (std::vector<std::string>{"+-"}));
    EXPECT_EQ(t[1], (std::vector<std::string>{"+-+-+-+-+-~0"}));
}

// The page carries each drawn signal column's trails for its drawn bars, and
// nothing of the kind without them.
TEST(SignalTrail, ThePageCarriesTheTrailsOfTheDrawnBars) {
    const Series s = SyntheticSeries(300, 2);
    ReplayOptions options = AllStudiesOptions(3);
    options.studies = {FindStudy("combo"), FindStudy("a900")};
    SeriesBars source(s);
    const std::vector<Column> columns = ReplayColumns(options);
    DrawingRecorder recorder("s", columns, 100);
    SignalTrail trail(columns, 100);
    Replay(Lib(), source, options, recorder, &trail);
    DrawingData data = recorder.Data();
    const std::string plain = DrawingHtml(data, {100, ""});
    EXPECT_EQ(plain.find("\"seen\":"), std::string::npos);
    data.trailColumns = trail.Columns();
    data.trails = trail.Trails();
    ASSERT_EQ(data.trails.size(), 100u);
    const std::string page = DrawingHtml(data, {100, ""});
    const std::size_t at = page.find("\"name\":\"E_ZARNCOMBO.signal\"");
    ASSERT_NE(at, std::string::npos);
    std::string seen = "\"seen\":[";
    for (std::size_t i = 0; i < 100; ++i) seen += (i ? ",\"" : "\"") + data.trails[i][0] + "\"";
    EXPECT_NE(page.find(seen + "]", at), std::string::npos);
    std::size_t count = 0;
    for (std::size_t i = page.find("\"seen\":"); i != std::string::npos; i = page.find("\"seen\":", i + 1)) ++count;
    EXPECT_EQ(count, 1u);  // A900 is a line, not a signal
}

// Without intrabar updates nothing can vanish: every signal is late and kept
// on all the bar's updates.
TEST(SignalReport, WithoutIntrabarUpdatesNothingVanishes) {
    const Series s = SyntheticSeries(600, 3);
    for (const int ticks : {0, 4}) {
        const ReplayOptions options = AllStudiesOptions(ticks);
        SeriesBars source(s);
        RowTable rows;
        rows.columns = ReplayColumns(options);
        SignalReport report(rows.columns);
        Replay(Lib(), source, options, rows, &report);
        std::size_t vanished = 0;
        for (const SignalCounts& c : report.Counts()) {
            vanished += c.vanished;
            EXPECT_EQ(c.bars, 600u);
            if (ticks > 0) continue;
            EXPECT_EQ(c.vanished, 0u) << c.slot;
            EXPECT_EQ(c.flipped, 0u) << c.slot;
            EXPECT_EQ(c.late, c.confirmed) << c.slot;
            EXPECT_EQ(c.shown, c.confirmed) << c.slot;
            if (c.confirmed > 0) {
                EXPECT_EQ(c.medianShare, 1.0) << c.slot;
            }
        }
        if (ticks > 0) {
            EXPECT_GT(vanished, 0u);  // the built-in series does repaint somewhere
        }
    }
}

}  // namespace
}  // namespace zt::replay
