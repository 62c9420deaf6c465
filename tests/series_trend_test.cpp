#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "series/trend_blends.h"

namespace zt {
namespace {

// The High, Low and Close bar rings a state keeps, bars appended oldest first.
struct Bars {
    BarRing high{}, low{}, close{};
    void add(double h, double l, double c = 0.0) {
        high.push(h);
        low.push(l);
        close.push(c);
    }
};

TEST(ParabolicSar, FirstCallReversesToLongAndReturnsTheLow) {
    Bars fresh;
    fresh.add(10, 9);
    ParabolicSarMemory m{};
    EXPECT_EQ(ParabolicSar(fresh.high, fresh.low, m, 0.02, 0.2), 9.0);
    EXPECT_EQ(m.direction, 1);
    // 9 + 0.02 * (10 - 9) is cut to L[0] = 9, then to L[1], the unwritten 0.
    EXPECT_EQ(m.stop, 0.0);
}

TEST(ParabolicSar, WorkedStartStaysLongAndAccelerates) {
    Bars bars;
    ParabolicSarMemory m{};
    const double highs[] = {10, 11, 12, 12.5};
    const double lows[] = {9, 10, 11, 11.5};
    const double results[] = {9, 0, 0.44, 1.1336};
    const double factors[] = {0.02, 0.04, 0.06, 0.08};
    for (int i = 0; i < 4; ++i) {
        bars.add(highs[i], lows[i]);
        EXPECT_EQ(ParabolicSar(bars.high, bars.low, m, 0.02, 0.2), results[i]) << i;
        EXPECT_EQ(m.factor, factors[i]) << i;
        EXPECT_EQ(m.direction, 1) << i;
    }
}

TEST(ParabolicSar, FactorGrowsOnlyOnStrictlyNewExtremesAndSaturatesAtCap) {
    Bars bars;
    ParabolicSarMemory m{};
    bars.add(10, 9);
    ParabolicSar(bars.high, bars.low, m, 0.02, 0.2);
    bars.add(10, 9.5);  // equals the extreme high: no acceleration
    ParabolicSar(bars.high, bars.low, m, 0.02, 0.2);
    EXPECT_EQ(m.factor, 0.02);

    // Nine strictly higher highs, the lows rising too so the stop holds.
    for (int i = 1; i <= 9; ++i) {
        bars.add(10 + i, 9.5 + i);
        ParabolicSar(bars.high, bars.low, m, 0.02, 0.2);
    }
    EXPECT_EQ(m.direction, 1);
    // Nine additions of 0.02 land one unit in the last place below 0.2.
    EXPECT_DOUBLE_EQ(m.factor, 0.2);
    EXPECT_LE(m.factor, 0.2);
    for (int i = 10; i <= 14; ++i) {
        bars.add(10 + i, 9.5 + i);
        ParabolicSar(bars.high, bars.low, m, 0.02, 0.2);
        EXPECT_EQ(m.factor, 0.2);
    }
}

TEST(ParabolicSar, TouchingTheStopReversesOnBothSides) {
    Bars bars;
    ParabolicSarMemory m{};
    bars.add(10, 9);
    ParabolicSar(bars.high, bars.low, m, 0.02, 0.2);
    bars.add(11, 10);
    ParabolicSar(bars.high, bars.low, m, 0.02, 0.2);
    ASSERT_EQ(m.stop, 0.44);

    // Long, low equal to the stop: returns the trade's extreme high (12,
    // this bar's high) and goes short with the stop raised to that high.
    bars.add(12, 0.44);
    EXPECT_EQ(ParabolicSar(bars.high, bars.low, m, 0.02, 0.2), 12.0);
    EXPECT_EQ(m.direction, -1);
    EXPECT_EQ(m.factor, 0.02);
    ASSERT_EQ(m.stop, 12.0);

    // Short, high equal to the stop: returns the extreme low (0.3).
    bars.add(12, 0.3);
    EXPECT_EQ(ParabolicSar(bars.high, bars.low, m, 0.02, 0.2), 0.3);
    EXPECT_EQ(m.direction, 1);
}

TEST(MomentumAdjustedAverage, RisingCloseGivesMeanPlusMeanChange) {
    BarRing close{};
    for (int v = 80; v <= 100; ++v) close.push(v);  // close[k] = 100 - k
    // (679 + 100 - 93) / 7
    EXPECT_EQ(MomentumAdjustedAverage(close), 98.0);
}

TEST(SarVidyaBlend, FirstCallIsThreeQuartersOfTheFirstStop) {
    Bars bars;
    bars.add(10, 9, 9.5);
    SarVidyaBlendMemory m{};
    // k4 = 2 reads an unwritten slot of the result ring.
    EXPECT_DOUBLE_EQ(SarVidyaBlend<kFast104Blend>(bars.high, bars.low, bars.close, m),
                     0.75 * 9.0);
    EXPECT_EQ(m.sarRing.at(0), 9.0);
    EXPECT_EQ(m.started, 1);
}

constexpr SarVidyaParams kSwappedDema104Blend{kDema104Blend.k1, kDema104Blend.step, kDema104Blend.k3,
                                              kDema104Blend.k2, kDema104Blend.k4};

TEST(SarVidyaBlend, SwappingK2AndK3AveragesTheSameValues) {
    Bars bars;
    SarVidyaBlendMemory a{}, b{};
    const double closes[] = {20, 22, 21, 25, 24, 27, 23, 22, 26, 30, 28, 29};
    for (double c : closes) {
        bars.add(c + 1, c - 2, c);
        EXPECT_EQ(SarVidyaBlend<kDema104Blend>(bars.high, bars.low, bars.close, a),
                  SarVidyaBlend<kSwappedDema104Blend>(bars.high, bars.low, bars.close, b));
    }
}

TEST(TripleTrendBlend, AveragesBlendMeanAndMomentumAverage) {
    Bars bars;
    TripleTrendBlendMemory m{};
    bars.add(10, 9, 7);
    // Blend 0.75 * 9; e = (7 + 7) / 7 = 2; the five-bar mean holds only e.
    EXPECT_DOUBLE_EQ(TripleTrendBlend(bars.high, bars.low, bars.close, m),
                     (6.75 + 0.4 + 2.0) / 3.0);

    // Clearing the flag restarts the embedded blend and the mean ring too.
    bars.add(11, 10, 8);
    TripleTrendBlend(bars.high, bars.low, bars.close, m);
    m.started = 0;
    bars.add(20, 18, 19);
    const double e = (19.0 + 8.0 + 7.0 + 19.0) / 7.0;
    EXPECT_DOUBLE_EQ(TripleTrendBlend(bars.high, bars.low, bars.close, m),
                     (0.75 * 18.0 + e / 5.0 + e) / 3.0);
}

TEST(NonFiniteInput, TrendBlendsDoNotCrash) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    Bars bars;
    ParabolicSarMemory sar{};
    SarVidyaBlendMemory blend{};
    TripleTrendBlendMemory triple{};
    const double highs[] = {10, nan, 12, inf, 11, 10};
    for (int i = 0; i < 6; ++i) {
        bars.add(highs[i], 9, nan);
        ParabolicSar(bars.high, bars.low, sar, 0.02, 0.2);
        const double b =
            SarVidyaBlend<kCompositeBlend>(bars.high, bars.low, bars.close, blend);
        // The NaN close reaches the output once it is k4 = 2 results old.
        if (i >= 2) {
            EXPECT_TRUE(std::isnan(b)) << i;
        }
        EXPECT_TRUE(std::isnan(TripleTrendBlend(bars.high, bars.low, bars.close, triple)));
    }
}

}  // namespace
}  // namespace zt
