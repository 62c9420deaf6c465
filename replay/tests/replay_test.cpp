// The replay end to end, in process, over the real series in the shared
// data folder (skipped when it is absent) and the built-in series: what a
// live chart sends while a bar forms, the DLL entry, and many states of one
// study must all leave the same values on every bar.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "replay/replay.h"

namespace zt::replay {
namespace {

namespace fs = std::filesystem;

ReplayOptions Options(int ticks = 0, bool viaDll = false) {
    ReplayOptions o;
    o.studies = AllStudies();
    o.ticks = ticks;
    o.viaDll = viaDll;
    return o;
}

std::string DataFile(const char* name) { return (fs::path(ZT_DATA_DIR) / name).string(); }

#define REQUIRE_DATA()                                                                        \
    do {                                                                                      \
        if (!fs::is_directory(ZT_DATA_DIR))                                                   \
            GTEST_SKIP() << "the real bar series are not here: " << ZT_DATA_DIR               \
                         << " is missing (it sits beside the source tree as ../shared/data)"; \
    } while (false)

// Bit for bit, NaN included; names the first difference.
::testing::AssertionResult SameValues(const ReplayResult& a, const ReplayResult& b) {
    if (a.columns.size() != b.columns.size() || a.values.size() != b.values.size())
        return ::testing::AssertionFailure() << "different shapes";
    for (std::size_t i = 0; i < a.values.size(); ++i) {
        if (std::bit_cast<std::uint64_t>(a.values[i]) != std::bit_cast<std::uint64_t>(b.values[i])) {
            const std::size_t width = a.columns.size();
            return ::testing::AssertionFailure()
                   << a.columns[i % width].name << " on bar " << i / width + 1 << ": " << a.values[i] << " vs "
                   << b.values[i];
        }
    }
    return ::testing::AssertionSuccess();
}

const char* const kRealSeries[] = {"spy_daily_2008_2014.csv", "intc_daily_1995_2004.csv",
                                   "estx50fut_1min_20060102_20060113.csv", "estx50_5min_200601.csv"};

TEST(ReplayRealSeries, IntrabarUpdatesChangeNoFinalValue) {
    REQUIRE_DATA();
    for (const char* name : kRealSeries) {
        SCOPED_TRACE(name);
        const Series s = ReadBarsCsv(DataFile(name));
        const ReplayResult once = Replay(s, Options(0));
        EXPECT_TRUE(SameValues(once, Replay(s, Options(4))));
        EXPECT_EQ(Replay(s, Options(1)).evaluations, 2 * once.evaluations);
    }
}

TEST(ReplayRealSeries, DllEntryAgreesWithDirectCallsOnWholeNumberPrices) {
    REQUIRE_DATA();
    // Whole-point futures prices and volumes: the DLL entry loses nothing.
    const Series whole = ReadBarsCsv(DataFile("estx50fut_1min_20060102_20060113.csv"));
    EXPECT_TRUE(SameValues(Replay(whole, Options(0)), Replay(whole, Options(2, true))));

    // Fractional prices: through the DLL entry the studies see them cut to
    // whole numbers, exactly as if the bars had been whole to begin with.
    const Series fractional = ReadBarsCsv(DataFile("intc_daily_1995_2004.csv"));
    Series cut = fractional;
    for (Bar& b : cut.bars)
        for (double* v : {&b.open, &b.high, &b.low, &b.close, &b.volume}) *v = std::trunc(*v);
    const ReplayResult viaDll = Replay(fractional, Options(0, true));
    EXPECT_TRUE(SameValues(Replay(cut, Options(0)), viaDll));
    if (!Studies().empty()) {
        EXPECT_FALSE(SameValues(Replay(fractional, Options(0)), viaDll));
    }
}

TEST(Replay, EveryStateOfAStudyAgreesWithTheFirst) {
    const Series s = SyntheticSeries(1500, 3);
    ReplayOptions many = Options(2);
    many.states = static_cast<int>(3 * AllStudies().size() + 1);
    // Replay raises an error when two states of one study disagree.
    EXPECT_TRUE(SameValues(Replay(s, Options(0)), Replay(s, many)));
    if (!Studies().empty()) {
        ReplayOptions few = Options();
        few.states = 1;
        const ReplayResult one = Replay(s, few);
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

TEST(Replay, WithoutStudiesTheBarsStillFlow) {
    const Series s = SyntheticSeries(300, 1);
    ReplayOptions none;
    std::size_t calls = 0, last = 0;
    none.progress = [&](std::size_t done, std::size_t total) {
        ++calls;
        last = done;
        EXPECT_EQ(total, 300u);
    };
    const ReplayResult r = Replay(s, none);
    EXPECT_TRUE(r.columns.empty());
    EXPECT_EQ(r.evaluations, 0u);
    EXPECT_EQ(calls, 300u);
    EXPECT_EQ(last, 300u);
}

}  // namespace
}  // namespace zt::replay
