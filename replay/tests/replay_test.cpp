// The replay end to end, in process, over the real series in the shared
// data folder (skipped when it is absent) and the built-in series: what a
// live chart sends while a bar forms, the DLL entry, and many states of one
// study must all leave the same values on every bar.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "replay/tests/replay_support.h"

namespace zt::replay {
namespace {

namespace fs = std::filesystem;
using testing::AllStudiesOptions;
using testing::ReplayTable;
using testing::RowTable;
using testing::SameValues;

std::string DataFile(const char* name) { return (fs::path(ZT_DATA_DIR) / name).string(); }

#define REQUIRE_DATA()                                                                        \
    do {                                                                                      \
        if (!fs::is_directory(ZT_DATA_DIR))                                                   \
            GTEST_SKIP() << "the real bar series are not here: " << ZT_DATA_DIR               \
                         << " is missing (the repository's data/ folder)"; \
    } while (false)

const char* const kRealSeries[] = {"spy_daily_2008_2014.csv", "intc_daily_1995_2004.csv",
                                   "estx50fut_1min_20060102_20060113.csv", "estx50_5min_200601.csv"};

TEST(ReplayRealSeries, IntrabarUpdatesChangeNoFinalValue) {
    REQUIRE_DATA();
    for (const char* name : kRealSeries) {
        SCOPED_TRACE(name);
        const Series s = ReadBarsCsv(DataFile(name));
        const RowTable once = ReplayTable(s, AllStudiesOptions(0));
        EXPECT_TRUE(SameValues(once, ReplayTable(s, AllStudiesOptions(4))));
        EXPECT_EQ(ReplayTable(s, AllStudiesOptions(1)).stats.evaluations, 2 * once.stats.evaluations);
    }
}

TEST(ReplayRealSeries, DllEntryAgreesWithDirectCallsOnWholeNumberPrices) {
    REQUIRE_DATA();
    // Whole-point futures prices and volumes: the DLL entry loses nothing.
    const Series whole = ReadBarsCsv(DataFile("estx50fut_1min_20060102_20060113.csv"));
    EXPECT_TRUE(SameValues(ReplayTable(whole, AllStudiesOptions(0)), ReplayTable(whole, AllStudiesOptions(2, true))));

    // Fractional prices: through the DLL entry the studies see them cut to
    // whole numbers, exactly as if the bars had been whole to begin with.
    const Series fractional = ReadBarsCsv(DataFile("intc_daily_1995_2004.csv"));
    Series cut = fractional;
    for (Bar& b : cut.bars)
        for (double* v : {&b.open, &b.high, &b.low, &b.close, &b.volume}) *v = std::trunc(*v);
    const RowTable viaDll = ReplayTable(fractional, AllStudiesOptions(0, true));
    EXPECT_TRUE(SameValues(ReplayTable(cut, AllStudiesOptions(0)), viaDll));
    if (!Studies().empty()) {
        EXPECT_FALSE(SameValues(ReplayTable(fractional, AllStudiesOptions(0)), viaDll));
    }
}

TEST(Replay, EveryStateOfAStudyAgreesWithTheFirst) {
    const Series s = SyntheticSeries(1500, 3);
    ReplayOptions many = AllStudiesOptions(2);
    many.states = static_cast<int>(3 * AllStudies().size() + 1);
    // Replay raises an error when two states of one study disagree.
    EXPECT_TRUE(SameValues(ReplayTable(s, AllStudiesOptions(0)), ReplayTable(s, many)));
    if (!Studies().empty()) {
        ReplayOptions few = AllStudiesOptions();
        few.states = 1;
        const RowTable one = ReplayTable(s, few);
        ASSERT_EQ(one.columns.size(), static_cast<std::size_t>(Studies()[0].about->slots));
        EXPECT_EQ(one.columns[0].study, &Studies()[0]);
    }
}

TEST(Replay, ColumnsFollowTheCatalogue) {
    const std::vector<Column> columns = ColumnsOf(AllStudies());
    std::size_t c = 0;
    for (const StudyInfo& s : Studies()) {
        for (int k = 0; k < s.about->slots; ++k, ++c) {
            ASSERT_LT(c, columns.size());
            EXPECT_EQ(columns[c].name, std::string(s.name()) + "." + std::string(s.about->slotNames[k]));
        }
    }
    EXPECT_EQ(c, columns.size());
    if (const StudyInfo* mp = FindStudy("zarnmp")) {  // by short name, any case
        EXPECT_EQ(mp, FindStudy("E_ZARNMP"));
        EXPECT_EQ(mp, FindStudy("Mp"));
        EXPECT_EQ(ColumnsOf({mp})[1].name, "E_ZARNMP.position");
    }
    EXPECT_EQ(FindStudy("E_ZARNNOSUCH"), nullptr);
}

TEST(Replay, StreamsOneRowPerBarInOrderFromAnyLength) {
    // The built-in series as a stream gives the rows the series in memory
    // gives; every row is handed on before the next bar is read.
    struct Counting : SyntheticBars {
        using SyntheticBars::SyntheticBars;
        std::size_t read = 0;
        bool Next(Bar& b) override { return SyntheticBars::Next(b) && ++read; }
    };
    struct Check : RowSink {
        const Counting* source = nullptr;
        std::size_t rows = 0;
        void Row(const Bar&, const double*) override { EXPECT_EQ(source->read, ++rows); }
    };
    Counting stream(800, 6);
    Check check;
    check.source = &stream;
    const ReplayOptions o = AllStudiesOptions();
    const ReplayStats stats = Replay(testing::Lib(), stream, o, check);
    EXPECT_EQ(stats.bars, 800u);
    EXPECT_EQ(check.rows, 800u);
    SyntheticBars again(800, 6);
    const RowTable streamed = ReplayTable(again, o);
    EXPECT_TRUE(SameValues(streamed, ReplayTable(SyntheticSeries(800, 6), o)));
    EXPECT_TRUE(testing::SameBars(streamed.bars, SyntheticSeries(800, 6).bars));
}

TEST(Replay, WithoutStudiesTheBarsStillFlow) {
    const Series s = SyntheticSeries(300, 1);
    ReplayOptions none;
    std::size_t calls = 0, last = 0;
    none.progress = [&](std::size_t done) {
        ++calls;
        last = done;
    };
    const RowTable r = ReplayTable(s, none);
    EXPECT_TRUE(r.columns.empty());
    EXPECT_EQ(r.stats.evaluations, 0u);
    EXPECT_EQ(r.bars.size(), 300u);
    EXPECT_EQ(calls, 300u);
    EXPECT_EQ(last, 300u);
}

// The catalogue's warm-up: from that bar on, a replay that starts cold gives
// what the study reaches with 600 bars of real history before. Window
// studies give the same bits, and their warm-up is tight (the bar before it
// still differs); studies with memory stay within 0.1% of the slot's range.
// SHADOW's volume-adjusted average never settles (see the catalogue).
TEST(ReplayRealSeries, TheCatalogueWarmUpEndsTheZeroFilledHistory) {
    REQUIRE_DATA();
    const std::vector<std::string_view> exact = {"E_ZARNA900", "E_ZARN02", "E_ZARNTIGHTSTOP", "E_ZARNCHANNELBASE",
                                                 "E_ZARNEBANDS"};
    for (const char* name : {"spy_daily_2008_2014.csv", "intc_daily_1995_2004.csv"}) {
        SCOPED_TRACE(name);
        const Series s = ReadBarsCsv(DataFile(name));
        constexpr std::size_t kHistory = 600;
        ASSERT_GT(s.bars.size(), kHistory + 300);
        const Series cold{s.source, {s.bars.begin() + kHistory, s.bars.end()}};
        const RowTable warm = ReplayTable(s, AllStudiesOptions());
        const RowTable fresh = ReplayTable(cold, AllStudiesOptions());
        ASSERT_EQ(warm.columns.size(), fresh.columns.size());
        for (std::size_t c = 0; c < fresh.columns.size(); ++c) {
            const CatalogueEntry& about = *fresh.columns[c].study->about;
            const ChartRole role = about.roles[static_cast<std::size_t>(fresh.columns[c].slot)];
            if (role == ChartRole::None || about.name == "E_ZARNSHADOW") continue;
            SCOPED_TRACE(fresh.columns[c].name);
            const auto w = static_cast<std::size_t>(about.warmup);
            const auto a = [&](std::size_t k) { return warm.Row(k + kHistory)[c]; };
            const auto b = [&](std::size_t k) { return fresh.Row(k)[c]; };
            if (std::find(exact.begin(), exact.end(), about.name) != exact.end()) {
                for (std::size_t k = w; k < fresh.bars.size(); ++k)
                    ASSERT_EQ(std::bit_cast<std::uint64_t>(a(k)), std::bit_cast<std::uint64_t>(b(k))) << "bar " << k;
                EXPECT_NE(a(w - 1), b(w - 1)) << "the warm-up is not tight";
                continue;
            }
            double lo = a(0), hi = a(0);
            for (std::size_t k = 0; k < fresh.bars.size(); ++k) lo = std::min(lo, a(k)), hi = std::max(hi, a(k));
            const double tolerance = 1e-3 * (hi - lo);
            for (std::size_t k = w; k < fresh.bars.size(); ++k)
                ASSERT_LE(std::fabs(a(k) - b(k)), tolerance) << "bar " << k;
        }
    }
}

// The error bands' warm-up follows the lengths the host gives them.
TEST(ReplayRealSeries, TheBandsWarmUpFollowsTheirLengths) {
    REQUIRE_DATA();
    const Series s = ReadBarsCsv(DataFile("spy_daily_2008_2014.csv"));
    constexpr std::size_t kHistory = 300;
    const Series cold{s.source, {s.bars.begin() + kHistory, s.bars.end()}};
    ReplayOptions o;
    o.studies = {FindStudy("ebands")};
    o.bandsPeriod = 40;
    o.bandsSmoothing = 10;
    const RowTable warm = ReplayTable(s, o), fresh = ReplayTable(cold, o);
    ASSERT_EQ(fresh.columns.size(), 3u);
    for (std::size_t c = 0; c < 3; ++c) {
        const auto w = static_cast<std::size_t>(fresh.columns[c].warmup);
        EXPECT_EQ(w, 48u);
        EXPECT_NE(warm.Row(w - 1 + kHistory)[c], fresh.Row(w - 1)[c]);
        for (std::size_t k = w; k < fresh.bars.size(); ++k)
            ASSERT_EQ(std::bit_cast<std::uint64_t>(warm.Row(k + kHistory)[c]), std::bit_cast<std::uint64_t>(fresh.Row(k)[c]))
                << "bar " << k;
    }
}

}  // namespace
}  // namespace zt::replay
