// The composite building blocks and the composite signal, driven directly on
// their records.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "studies/composite/blocks.h"
#include "studies/composite/composite_signal.h"
#include "studies/composite/split_lines.h"
#include "studies/composite/volume_flow.h"
#include "studies/composite/water_level.h"

namespace zt {
namespace {

// The High, Low, Close and Volume rings a state keeps, bars appended oldest
// first.
struct SeriesRings {
    BarRing high{}, low{}, close{}, volume{};
    BarRings rings() const { return {high, low, close, volume}; }
    void add(double h, double l, double c, double v = 100) {
        high.push(h);
        low.push(l);
        close.push(c);
        volume.push(v);
    }
    // A deterministic zig-zag walk around 100.
    void addWalk(int i) {
        const double mid = 100 + 5 * std::sin(i * 0.7) + 0.1 * i;
        add(mid + 1 + (i % 3) * 0.25, mid - 1 - (i % 2) * 0.5, mid + std::cos(i * 1.3), 100 + 10 * (i % 7));
    }
};

TEST(CompositeBlocks, FirstBarReadsZeroFilledHistory) {
    SeriesRings series;
    series.add(12, 8, 11, 500);
    MedianDriftMemory drift{};
    EXPECT_EQ(MedianDrift(drift, series.rings(), 8), 0.0);  // drift slots 6 to 8 still 0
    SmoothedMedianMomentumMemory smm{};
    EXPECT_EQ(SmoothedMedianMomentum(smm, series.rings(), 4, 6), 0.0);
    WeightedAverageSpreadMemory spread{};
    EXPECT_EQ(WeightedAverageSpread(spread, 2.5, 4.0), 6.5);
}

// The weighted window starts five values back: the first five spreads are
// a + b, the sixth sees the first b with the top weight 15 of 120.
TEST(CompositeBlocks, WeightedAverageSpreadWindowStartsFiveBack) {
    WeightedAverageSpreadMemory m{};
    for (int i = 1; i <= 5; ++i) EXPECT_EQ(WeightedAverageSpread(m, 0.5, i), 0.5 + i) << i;
    EXPECT_EQ(WeightedAverageSpread(m, 0.5, 6), 6.5 - 15.0 / 120.0);
}

// On a first bar every lag reads 0: the stop is the low (weighted 15 of 120
// in the 15-bar average), the double average is the close, and the mix of
// four terms is divided by 3, not 4: ((5.5 + 10 + 0 + 10) / 3 + 0) / 2.
TEST(CompositeBlocks, MomentumBlendFirstBar) {
    SeriesRings series;
    series.add(12, 8, 10);
    MedianRing median{};
    MomentumBlendMemory m{};
    EXPECT_EQ(PushMedian(median, series.rings()), 10.0);
    EXPECT_EQ(MomentumBlend<kCompositeMomentum>(m, median, series.rings()), 10.0);
    EXPECT_EQ(m.mixRing.at(0), 4.25);
}

TEST(CompositeBlocks, SwingMidpointRecordsLevelsOnlyAtStrictCrosses) {
    SwingMidpointMemory m{};
    // No cross yet: 0, while the run widens.
    EXPECT_EQ(SwingMidpoint(m, 10, 8, 1, 2), 0.0);
    EXPECT_EQ(SwingMidpoint(m, 12, 7, 1, 3), 0.0);
    // Upward cross: the run high (12) becomes the swing high.
    EXPECT_EQ(SwingMidpoint(m, 11, 9, 5, 3), 6.0);
    EXPECT_EQ(m.runLow, 9.0);
    // Downward cross: the run low since the upward cross (9, then 8.5).
    EXPECT_EQ(SwingMidpoint(m, 11, 8.5, 5, 4), 6.0);
    EXPECT_EQ(SwingMidpoint(m, 10, 9, 1, 4), (8.5 + 12) / 2);

    // Only downward crosses: half the swing low.
    SwingMidpointMemory down{};
    SwingMidpoint(down, 10, 8, 3, 1);
    EXPECT_EQ(SwingMidpoint(down, 11, 6, 1, 3), 4.0);

    // Touching lines are no cross, and the bar after cannot cross either.
    SwingMidpointMemory touch{};
    SwingMidpoint(touch, 10, 8, 1, 2);
    EXPECT_EQ(SwingMidpoint(touch, 10, 8, 2, 2), 0.0);
    EXPECT_EQ(touch.prevDiff, 0.0);
    EXPECT_EQ(SwingMidpoint(touch, 14, 8, 5, 2), 0.0);
    EXPECT_EQ(touch.runHigh, 14.0);
}

TEST(CompositeBlocks, MedianLagOfFiftyWrapsToTheNewestMedian) {
    SeriesRings series;
    MedianDriftMemory lag0{}, lag50{}, lag1{};
    bool lagMatters = false;
    for (int i = 0; i < 20; ++i) {
        series.addWalk(i);
        const double a = MedianDrift(lag0, series.rings(), 0);
        EXPECT_EQ(MedianDrift(lag50, series.rings(), 50), a) << i;
        lagMatters |= MedianDrift(lag1, series.rings(), 1) != a;
    }
    EXPECT_TRUE(lagMatters);
}

TEST(CompositeBlocks, VolumeFlowCountsNoRatioWhileNoVolumeWasSeen) {
    SeriesRings series;
    VolumeFlowRings rings{};
    VolumeFlowSums sums{};
    for (int i = 0; i < 8; ++i) {
        series.add(10 + i, 8 + i, 9 + i, 0);
        const double r = VolumeFlowMomentum(rings, sums, i == 0, series.rings(), 10);
        EXPECT_TRUE(std::isfinite(r)) << i;
        EXPECT_EQ(rings.ratioRing.at(0), 0.0) << i;
        // No ratio, no forecast: the flow is the bare three-bar close change.
        EXPECT_EQ(rings.flowRing.at(0), series.close.at(0) - series.close.at(3)) << i;
    }

    // The ratio reads the volume three bars back against the running total.
    double volume = 0, ratio = 0;
    SeriesRings v;
    const double volumes[] = {2, 0, 0, 0, 6};
    const double sums4[] = {0, 0, 0, 1, 1};
    for (int i = 0; i < 5; ++i) {
        v.add(1, 1, 1, volumes[i]);
        EXPECT_EQ(CumulativeVolumeRatio(v.volume, volume, ratio), sums4[i]) << i;
    }
    EXPECT_EQ(volume, 8.0);
}

TEST(CompositeBlocks, SlowLineCountsNoQuotientForAZeroMedian) {
    SeriesRings series;
    series.add(9, 7, 8);
    series.add(6, 2, 5);
    series.add(0, 0, 3);
    EXPECT_EQ(SlowLine(series.rings(), 0.0, 2.0), (3.0 + 0.0 + (0.0 - 9.0) / 3 + 9.0) / 2);
    EXPECT_EQ(SlowLine(series.rings(), 4.0, 2.0), (3.0 + (3.0 - 0.0 + 4.0 - 2.0) / 4.0 + (0.0 - 9.0) / 3 + 9.0) / 2);
}

// A bar with high and low both 0 has no median: every swing tracker that
// divides by it must still see a finite slow line.
TEST(CompositeBlocks, ZeroMedianBarKeepsSwingTrackersFinite) {
    SeriesRings series;
    CompositeSignalMemory signal{};
    SplitLineMemory split{};
    ModSplitLineMemory modSplit{};
    RibbonLineMemory ribbon{};
    WaterLevelLineMemory level{};
    for (int i = 0; i < 30; ++i) {
        if (i == 25)
            series.add(0, 0, 4, 0);
        else
            series.addWalk(i);
        const auto bars = series.rings();
        CompositeSignal(signal, bars);
        SplitLine(split, bars);
        ModSplitLine(modSplit, bars);
        RibbonLine(ribbon, bars);
        const double w = WaterLevelLine(level, bars, 1.0);
        EXPECT_TRUE(std::isfinite(signal.lines.swing.prevDiff)) << i;
        EXPECT_TRUE(std::isfinite(signal.lines.compositeLine)) << i;
        EXPECT_TRUE(std::isfinite(split.swing.prevDiff)) << i;
        EXPECT_TRUE(std::isfinite(modSplit.swing.prevDiff)) << i;
        EXPECT_TRUE(std::isfinite(ribbon.swing.prevDiff)) << i;
        EXPECT_TRUE(std::isfinite(w)) << i;
    }
}

TEST(CompositeSignal, RuleNeedsAChannelDirectionAndGivesTiesToTheLongSide) {
    EXPECT_EQ(CompositeSignalRule(1, 2, 0), 0.0);
    EXPECT_EQ(CompositeSignalRule(3, 2, 0), 0.0);
    EXPECT_EQ(CompositeSignalRule(2, 2, 0.5), 1.0);
    EXPECT_EQ(CompositeSignalRule(1, 2, 0.5), 1.0);
    EXPECT_EQ(CompositeSignalRule(3, 2, 0.5), 0.0);
    EXPECT_EQ(CompositeSignalRule(3, 2, -0.5), -1.0);
    EXPECT_EQ(CompositeSignalRule(2, 2, -0.5), 0.0);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(CompositeSignalRule(nan, 2, 1), 0.0);
    EXPECT_EQ(CompositeSignalRule(1, 2, nan), 0.0);
}

TEST(CompositeSignal, FirstBarStartsTheBlendAverageAtZero) {
    SeriesRings series;
    series.add(12, 8, 11);
    CompositeSignalMemory m{};
    // The channel index of a first positive bar is positive and the smoothed
    // blend starts at 0, below a positive signal line: long.
    EXPECT_EQ(CompositeSignal(m, series.rings()), 1.0);
    EXPECT_EQ(m.blendVidyaState, 0.0);
    // The first stop is the low and the weighted low of bars 5 to 10 back is 0.
    EXPECT_EQ(m.lines.lowerLine, (8.0 + 0.0 + 8.0) / 3);
}

TEST(CompositeSignal, LinesAreWrittenAndSignalsStayInRange) {
    SeriesRings series;
    CompositeSignalMemory m{};
    int neutral = 0;
    for (int i = 0; i < 250; ++i) {
        series.addWalk(i);
        m.lines.compositeLine = m.lines.lowerLine = std::numeric_limits<double>::quiet_NaN();
        const double s = CompositeSignal(m, series.rings());
        EXPECT_TRUE(s == 1.0 || s == -1.0 || s == 0.0) << i;
        EXPECT_TRUE(std::isfinite(m.lines.compositeLine) && std::isfinite(m.lines.lowerLine)) << i;
        neutral += s == 0.0;
    }
    EXPECT_GT(neutral, 0);  // the lines were also written on neutral bars
}

TEST(WaterLevel, HoldsHalfTheFirstPointForTwelveBars) {
    SeriesRings series;
    WaterLevelLineMemory m{};
    series.add(12, 8, 11);
    // Median 10; C[4] and H[2] still read 0.
    const double first = (10.0 + (11.0 - 0.0) - 5.0) / 10.0 + (12.0 - 0.0) / 3 + 11.0 + 0.0;
    EXPECT_EQ(WaterLevelLine(m, series.rings(), 5.0), first * 0.5);
    for (int i = 1; i < 12; ++i) {
        series.addWalk(i);
        EXPECT_EQ(WaterLevelLine(m, series.rings(), 5.0 + i), first * 0.5) << i;
    }
    // Bar 13 blends the first point with itself; from bar 14 on the level
    // follows the later points.
    series.addWalk(12);
    EXPECT_DOUBLE_EQ(WaterLevelLine(m, series.rings(), 17.0), first * 0.5);
    series.addWalk(13);
    EXPECT_NE(WaterLevelLine(m, series.rings(), 18.0), first * 0.5);
}

}  // namespace
}  // namespace zt
