// Parts that a study computes once for several of its components: each gives,
// bit for bit, what the part computes on a record of its own, started with
// the study's record and fed the same bars. The studies are run on their
// records directly, against the same calculation assembled from the blocks
// with a record for every part, over bars with gaps, flat bars and bars
// without volume.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "studies/composite/colour_template.h"
#include "studies/composite/signal_studies.h"
#include "studies/composite/split_lines.h"
#include "studies/composite/volume_flow.h"
#include "series/adaptive_averages.h"
#include "series/trend_blends.h"
#include "studies/bar/stop_lines.h"
#include "studies/bar/trend_bias.h"
#include "testing/synthetic_bars.h"

namespace zt {
namespace {

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The bar rings a state keeps, fed the synthetic series.
class SeriesRings {
public:
    explicit SeriesRings(std::uint64_t seed) : bars_(test::SyntheticBars(700, seed)) {}
    std::size_t size() const { return bars_.size(); }
    void Append(std::size_t i) {
        const test::Bar& b = bars_[i];
        high_.push(b.high);
        low_.push(b.low);
        close_.push(b.close);
        volume_.push(b.volume);
    }
    BarRings rings() const { return {high_, low_, close_, volume_}; }

private:
    std::vector<test::Bar> bars_;
    BarRing high_{}, low_{}, close_{}, volume_{};
};

// The combo with a channel index record of its own.
struct ComboOnItsOwn {
    CompositeSignalMemory signal{};
    BufferedVidyaMemory<5> lineAverage{};
    ChannelIndexMemory channel{};
    double operator()(const BarRings& b) {
        CompositeSignal(signal, b);
        const double a = signal.lines.compositeLine;
        const double avg = BufferedVariableIndexAverage(lineAverage, a);
        return ComboRule(ChannelIndex(b.high, b.low, b.close, channel), a, avg);
    }
};

// The volume-flow component with a momentum blend record of its own.
struct FastComponentOnItsOwn {
    VolumeFlowRings flowRings{};
    VolumeFlowSums flowSums{};
    MedianRing median{};
    MomentumBlendMemory momentum{};
    WeightedAverageSpreadMemory spread{};
    bool started = false;
    double operator()(const BarRings& b) {
        const bool starting = !started;
        started = true;
        const double flow = VolumeFlowMomentum(flowRings, flowSums, starting, b, 15);
        PushMedian(median, b);
        const double mb = MomentumBlend<kCompositeMomentum>(momentum, median, b);
        return WeightedAverageSpread(spread, (b.high.at(0) + b.low.at(0)) / 2, mb + flow);
    }
};

TEST(SharedParts, ComboAndUpDownTakeTheSignalsChannelIndexAndMomentum) {
    for (std::uint64_t seed : {3u, 8u}) {
        SeriesRings series(seed);
        ComboOnItsOwn own;
        ComboMemory combo{};
        CompositeSignalMemory signal{};
        SmoothedMedianMomentumMemory momentum{};
        for (std::size_t i = 0; i < series.size(); ++i) {
            series.Append(i);
            const BarRings b = series.rings();
            ASSERT_TRUE(SameBits(Combo(combo, b), own(b))) << "bar " << i;
            CompositeSignal(signal, b);
            ASSERT_TRUE(SameBits(signal.lines.smoothedMomentum, SmoothedMedianMomentum(momentum, b, 4, 6))) << i;
        }
    }
}

TEST(SharedParts, FastComponentTakesTheSignalsMomentumBlend) {
    SeriesRings series(5);
    FastComponentOnItsOwn own;
    FastComponentMemory fast{};
    CompositeSignalMemory signal{};
    for (std::size_t i = 0; i < series.size(); ++i) {
        series.Append(i);
        const BarRings b = series.rings();
        CompositeSignal(signal, b);
        ASSERT_TRUE(SameBits(FastComponent(fast, b, signal.lines.momentumBlend), own(b))) << "bar " << i;
    }
}

// The UNIVERSAL value as the composite line, the auto stop and the stop line
// on records of their own: the stop line's blend shares the composite
// signal's stop and median momentum.
TEST(SharedParts, UniversalEqualsItsPartsOnRecordsOfTheirOwn) {
    SeriesRings series(13);
    UniversalMemory shared{};
    CompositeSignalMemory signal{};
    AutoStopLineMemory autoStop{};
    StopLineMemory stopLine{};
    for (std::size_t i = 0; i < series.size(); ++i) {
        series.Append(i);
        const BarRings b = series.rings();
        const double value = UniversalValue(shared, b);
        CompositeSignal(signal, b);
        const double own = 2 * signal.lines.compositeLine - AutoStopLine(b.high, b.low, b.close, autoStop) -
                           StopLine(b.high, b.low, b.close, stopLine);
        ASSERT_TRUE(SameBits(value, own)) << "bar " << i;
    }
}

// The studies that read only the composite lines keep the lines without the
// signal, or (the lower line) just its stop: each value is the full signal's.
TEST(SharedParts, LinesWithoutTheSignalAreTheSignalsLines) {
    for (std::uint64_t seed : {4u, 9u}) {
        SeriesRings series(seed);
        CompositeSignalMemory signal{};
        CompositeLineMemory lines{};
        ParabolicSarMemory lowerStop{};
        for (std::size_t i = 0; i < series.size(); ++i) {
            series.Append(i);
            const BarRings b = series.rings();
            CompositeSignal(signal, b);
            const double line = CompositeLines(lines, b);
            const CompositeLineMemory& full = signal.lines;
            ASSERT_TRUE(SameBits(line, full.compositeLine)) << "bar " << i;
            ASSERT_TRUE(SameBits(lines.lowerLine, full.lowerLine)) << "bar " << i;
            ASSERT_TRUE(SameBits(lines.momentumBlend, full.momentumBlend)) << "bar " << i;
            ASSERT_TRUE(SameBits(lines.smoothedMomentum, full.smoothedMomentum)) << "bar " << i;
            ASSERT_TRUE(SameBits(LowerLine(lowerStop, b), full.lowerLine)) << "bar " << i;
        }
    }
}

// The colour template as nine calculations on nine records, none shared.
TEST(SharedParts, ColourTemplateEqualsItsComponentsOnRecordsOfTheirOwn) {
    SeriesRings series(11);
    ColourTemplateMemory shared{};
    AutoStopLineMemory autoStop{};
    CompositeSignalMemory signal{};
    ChannelIndexMemory channel{};
    ComboOnItsOwn combo;
    FastComponentOnItsOwn fast;
    ShortTermBiasMemory bias{};
    StopLineMemory stopLine{};
    SplitLineMemory split{};
    TrueStrengthMemory strength{};
    int agreeing = 0;
    for (std::size_t i = 0; i < series.size(); ++i) {
        series.Append(i);
        const BarRings b = series.rings();
        const double consensus = ColourTemplate(shared, b);

        const double c0 = b.close.at(0);
        const double a = MomentumAdjustedAverage(b.close);
        const double s = CompositeSignal(signal, b);
        const double line = signal.lines.compositeLine;
        TrueStrengthOscillator(b.close, strength);
        const double own[kColourComponents] = {
            c0 - a,
            c0 - AutoStopLine(b.high, b.low, b.close, autoStop),
            SignalOrChannelVote(s, ChannelIndex(b.high, b.low, b.close, channel)),
            combo(b),
            fast(b) - (line + a) / 2,
            ShortTermBias(b.high, b.low, b.close, bias).value,
            line - StopLine(b.high, b.low, b.close, stopLine),
            c0 - SplitLine(split, b),
            StrengthComponent(strength.positivePart, strength.negativePart, strength.spread),
        };
        for (int k = 0; k < kColourComponents; ++k)
            ASSERT_TRUE(SameBits(shared.components[k], own[k])) << "bar " << i << " component " << k + 1;
        ASSERT_EQ(consensus, Consensus(own)) << "bar " << i;
        agreeing += consensus != 0.0;
    }
    EXPECT_GT(agreeing, 0);
}

}  // namespace
}  // namespace zt
