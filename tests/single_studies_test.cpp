// Worked numbers of the single-series studies: first-bar values on a fresh
// state (older slots of the bar rings read 0), warm-up lags, the stop pair
// classification, and the guarded cases.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "studies/bar/blend_lines.h"
#include "studies/bar/stop_lines.h"
#include "studies/study_entry.h"
#include "studies/bar/trend_bias.h"
#include "studies/bar/volume_bands.h"
#include "testing/synthetic_bars.h"
#include "tests/test_support.h"

namespace zt {
namespace {

class SingleStudies : public test::FreshState {
protected:
    void Bar(std::int32_t n, double o, double h, double l, double c, double v = 1000) {
        E_BARVALUES(id_, n, 1261207, 930, o, h, l, c, v);
    }
    double Slot(int k) { return E_GETRETURN(id_, k); }
    // The error bands' record as their last evaluation left it.
    const ErrorBandsMemory& Bands() {
        const ErrorBandsMemory* m = WorkingRecord<RecordSlot::errorBands>(*state_);
        EXPECT_NE(m, nullptr);
        static const ErrorBandsMemory none{};
        return m != nullptr ? *m : none;
    }
    test::QuietTrace quiet_;
};

TEST_F(SingleStudies, WindowStudiesOnTheFirstBar) {
    Bar(1, 99, 104, 96, 102);
    EXPECT_DOUBLE_EQ(E_ZARNA900(id_), 2 * 102.0 / 7);
    EXPECT_DOUBLE_EQ(E_ZARN02(id_), (102.0 + 99) / 6);
    EXPECT_EQ(E_ZARNTIGHTSTOP(id_), 0.0);
}

TEST_F(SingleStudies, TightStopIgnoresTheNewestTwoBars) {
    for (int n = 1; n <= 6; ++n) Bar(n, 100 + n, 104 + n, 96 + n, 102 + n);
    const double before = E_ZARNTIGHTSTOP(id_);
    // bars 4, 3, 2 back are bars 2, 3, 4: lows 98..100, closes 104..106, highs 106..108
    EXPECT_DOUBLE_EQ(before, (99.0 + 2 * 105.0 + 107.0) * 0.25);
    Bar(6, 50, 300, 1, 250);
    EXPECT_EQ(E_ZARNTIGHTSTOP(id_), before);
    Bar(7, 50, 300, 1, 250);
    EXPECT_EQ(E_ZARNTIGHTSTOP(id_), (100.0 + 2 * 106.0 + 108.0) * 0.25);
}

TEST_F(SingleStudies, BlendLinesStartAtThreeQuartersOfTheLow) {
    Bar(1, 10, 12, 8, 11);
    EXPECT_DOUBLE_EQ(E_ZARNFAST104(id_), 0.75 * 8);
    EXPECT_DOUBLE_EQ(E_ZARN104(id_), 0.75 * 8);
    // The DEMA line starts at its first blend value, the undelayed line's.
    EXPECT_EQ(E_ZARNDEMA104(id_), E_ZARNDEMA104FAST104(id_));
}

template <class R>
bool SameRing(const R& a, const R& b) {
    for (std::uint32_t k = 0; k < R::capacity; ++k) {
        const double x = a.at(k), y = b.at(k);
        if (std::memcmp(&x, &y, sizeof x) != 0) return false;
    }
    return true;
}

// Member by member: the records' padding bytes carry nothing.
bool SameBlend(const SarVidyaBlendMemory& a, const SarVidyaBlendMemory& b) {
    return a.sar.extremeHigh == b.sar.extremeHigh && a.sar.extremeLow == b.sar.extremeLow &&
           a.sar.stop == b.sar.stop && a.sar.factor == b.sar.factor && a.sar.direction == b.sar.direction &&
           SameRing(a.sarRing, b.sarRing) && SameRing(a.averageRing, b.averageRing) &&
           SameRing(a.medianMomentumRing, b.medianMomentumRing) && SameRing(a.resultRing, b.resultRing) &&
           a.vidyaState == b.vidyaState && a.started == b.started;
}

TEST(BlendLines, DemaLineSmoothsTheSameBlendAsItsUndelayedInput) {
    const auto bars = test::SyntheticBars(150, 4);
    BarHistory b;
    SarVidyaBlendMemory plain{};
    DemaBlendMemory dema{};
    for (const auto& x : bars) {
        b.high.push(x.high);
        b.low.push(x.low);
        b.close.push(x.close);
        const double blend = SarVidyaBlend<kDema104Blend>(b.high, b.low, b.close, plain);
        DemaBlend(b.high, b.low, b.close, dema);
        ASSERT_TRUE(SameBlend(plain, dema.blend));
        ASSERT_TRUE(std::isfinite(blend));
    }
}

// A close rising by 1 a bar (C = 100 + n, H = C + 2, L = C - 3). The stop
// line is the mean of the momentum-adjusted close of 12 bars back and the
// triple trend blend T of 3 bars back; a slot not yet written reads 0.
//  bar 1: the parabolic stop (step 0.03) reverses to long at once and
//         returns the low, 98; its variable-index average is seeded with 98
//         and the blend's smoothed leg reads a zero slot: blend 0.75 * 98 =
//         73.5. Momentum-adjusted close (101 + 101 - 0) / 7 = 202/7, its
//         five-bar mean 202/35. T1 = (73.5 + 202/35 + 202/7) / 3.
//  bar 2: the next stop was held at the zero low before bar 1, so the stop
//         returns 0; the average over the stops 0, 98 sees as much fall as
//         rise and keeps 98: blend 73.5 again. Momentum-adjusted close
//         (102 + 101 + 102) / 7 = 305/7, five-bar mean (202 + 305) / 35.
//         T2 = (73.5 + 507/35 + 305/7) / 3.
//  bars 1-3: 0; bar 4: T1 / 2 = 3784.5 / 210; bar 5: T2 / 2 = 4604.5 / 210.
//  bar 13: the momentum half arrives, 202/7 from bar 1. From bar 8 on the
//         momentum-adjusted close of this series is C - 3 + 7/7 = C - 2 (108
//         on bar 10), and the short-term bias is that minus T: so the trend
//         half is 108 minus the bias of bar 10.
TEST_F(SingleStudies, StopLineBringsInItsTwoHalvesAfterThreeAndTwelveBars) {
    const std::int32_t other = E_CREATESTATE2(1);
    double stop[14] = {};
    double biasOnBar10 = 0.0;
    for (int n = 1; n <= 13; ++n) {
        const double c = 100 + n;
        Bar(n, c - 1, c + 2, c - 3, c);
        E_BARVALUES(other, n, 1261207, 930, c - 1, c + 2, c - 3, c, 1000);
        stop[n] = E_ZARNSTOPLINE(id_);
        const double bias = E_ZARNSHORTTERMTRADEBIAS(other);
        if (n == 10) biasOnBar10 = bias;
        if (n >= 8) {
            EXPECT_EQ(E_ZARNA900(other), c - 2) << "bar " << n;
        }
    }
    EXPECT_EQ(stop[1], 0.0);
    EXPECT_EQ(stop[2], 0.0);
    EXPECT_EQ(stop[3], 0.0);
    EXPECT_DOUBLE_EQ(stop[4], 3784.5 / 210);
    EXPECT_DOUBLE_EQ(stop[5], 4604.5 / 210);
    EXPECT_NEAR(stop[13], (202.0 / 7 + (108 - biasOnBar10)) / 2, 1e-9);
}

TEST_F(SingleStudies, AutoStopIsTwoBarsLate) {
    Bar(1, 10, 12, 8, 11);
    EXPECT_EQ(E_ZARNAUTOSTOP(id_), 0.0);
    Bar(2, 11, 13, 9, 12);
    EXPECT_EQ(E_ZARNAUTOSTOP(id_), 0.0);
    Bar(3, 12, 14, 10, 13);
    // First value: the three-bar mean of (2C + H + L) / 4 with two zero
    // slots, seeding all three smoothers, so it passes through unchanged.
    EXPECT_DOUBLE_EQ(E_ZARNAUTOSTOP(id_), ((2 * 11.0 + 12 + 8) * 0.25) / 3);
}

TEST(StopPair, MidpointClassification) {
    auto is = [](MidpointPosition p, double code, double above, double below) {
        return p.code == code && p.above == above && p.below == below;
    };
    EXPECT_TRUE(is(ClassifyMidpoint(11, 10, 12), 2, 0, 0));
    EXPECT_TRUE(is(ClassifyMidpoint(11, 12, 10), 2, 0, 0));
    EXPECT_TRUE(is(ClassifyMidpoint(9, 10, 12), 1, 0, -1));
    EXPECT_TRUE(is(ClassifyMidpoint(13, 10, 12), 0, 1, 0));
    EXPECT_TRUE(is(ClassifyMidpoint(10, 10, 12), 0, 0, 0));  // on the stop line
    EXPECT_TRUE(is(ClassifyMidpoint(10, 10, 5), 0, 0, 0));
    EXPECT_TRUE(is(ClassifyMidpoint(12, 10, 12), 0, 0, 0));  // on the tight stop
}

TEST_F(SingleStudies, StopPairReportsTheMidpointAndAdvancesTheStopLineOnce) {
    for (int n = 1; n <= 30; ++n) {
        Bar(n, 100 + n, 103 + n, 97 + n, 101 + n);
        const double m = E_ZARNMP(id_);
        EXPECT_EQ(m, ((103.0 + n) + (97.0 + n)) / 2);
        const double code = Slot(1), above = Slot(2), below = Slot(3);
        const double stop = E_ZARNSTOPLINE(id_);  // the host may call it too: same value
        const double tight = E_ZARNTIGHTSTOP(id_);
        // 2 strictly between the lines, 1 (and the below flag) under both,
        // the above flag over both, 0 on either line.
        const bool over = m > stop && m > tight, under = m < stop && m < tight;
        const bool between = (stop < m && m < tight) || (tight < m && m < stop);
        EXPECT_EQ(code, between ? 2.0 : under ? 1.0 : 0.0) << "bar " << n;
        EXPECT_EQ(above, over ? 1.0 : 0.0) << "bar " << n;
        EXPECT_EQ(below, under ? -1.0 : 0.0) << "bar " << n;
    }
}

TEST_F(SingleStudies, TrendBiasFirstBarAndItsSignal) {
    Bar(1, 10, 12, 8, 11);
    const double v = E_ZARNTRENDBIAS(id_);
    EXPECT_DOUBLE_EQ(v, ((12.0 + 8) / 10 + 11) / 2);
    EXPECT_EQ(Slot(1), v);
}

TEST_F(SingleStudies, StrengthOscillatorFirstBarAndFlatSeries) {
    Bar(1, 10, 12, 8, 11);
    EXPECT_EQ(E_ZARNMEDIUM(id_), -100.0);  // index 100, three bars back 0
    EXPECT_EQ(Slot(1), 0.0);
    EXPECT_EQ(Slot(2), 0.0);

    const std::int32_t flat = E_CREATESTATE2(1);
    for (int n = 1; n <= 20; ++n) {
        E_BARVALUES(flat, n, 0, 0, 0, 0, 0, 0, 10);
        EXPECT_EQ(E_ZARNMEDIUM(flat), 0.0);  // no change at all: no index
        EXPECT_EQ(E_GETRETURN(flat, 1), 0.0);
        EXPECT_EQ(E_GETRETURN(flat, 2), 0.0);
    }
}

TEST_F(SingleStudies, ShortTermBiasLagsItsValueByThreeBars) {
    double values[12] = {};
    for (int n = 1; n <= 10; ++n) {
        Bar(n, 100 + n * n % 7, 104 + n, 96 + n, 100 + (n * 5) % 9);
        values[n] = E_ZARNSHORTTERMTRADEBIAS(id_);
        EXPECT_EQ(Slot(1), values[n] > 0 ? values[n] : 0.0);
        EXPECT_EQ(Slot(2), n > 3 ? values[n - 3] : 0.0) << "bar " << n;
    }
}

TEST_F(SingleStudies, ChannelIndexSignAndFlatSeries) {
    for (int n = 1; n <= 20; ++n) Bar(n, 100, 101, 99, 100);
    EXPECT_EQ(E_ZARNCHANNELBASE(id_), 0.0);  // every deviation equal: no ratio, 0
    Bar(21, 100, 111, 100, 110);
    EXPECT_GT(E_ZARNCHANNELBASE(id_), 0.0);
    Bar(21, 100, 100, 80, 85);
    EXPECT_LT(E_ZARNCHANNELBASE(id_), 0.0);
}

TEST_F(SingleStudies, VolumeSpikesFirstBarAndUnchangedCloses) {
    Bar(1, 10, 12, 8, 11, 500);
    EXPECT_EQ(E_ZARNVOLSPIKES(id_), -500.0);
    EXPECT_EQ(Slot(1), 1.0);
    EXPECT_EQ(Slot(2), 0.0);
    BarRing close, volume;
    BalanceVolumeSpikeMemory m{};
    close.push(11);
    volume.push(500);
    BalanceVolumeSpike(close, volume, m);
    close.push(11);
    volume.push(200);
    BalanceVolumeSpike(close, volume, m);
    EXPECT_EQ(m.balance, 300.0);  // an unchanged close counts as a down bar
}

TEST_F(SingleStudies, ShadowLineFirstBar) {
    Bar(1, 10, 12, 8, 11, 700);
    const double p = (12.0 + 8) / 2 + (2 * 11.0 - 0 - 0) * 1.382;
    EXPECT_NEAR(E_ZARNSHADOW(id_), p / 30 / 3.35, 1e-12);
}

TEST_F(SingleStudies, ShadowLineWithoutVolumeAveragesPlainly) {
    for (int n = 1; n <= 12; ++n) Bar(n, 100, 101, 99, 100, 0);
    const double v = E_ZARNSHADOW(id_);
    EXPECT_TRUE(std::isfinite(v));
    EXPECT_GT(v, 0.0);
}

TEST_F(SingleStudies, ErrorBandsStartFromTheCloseOverTheSmoothing) {
    Bar(1, 10, 12, 8, 28);
    EXPECT_DOUBLE_EQ(E_ZARNEBANDS(id_, 80, 14), 2.0);  // one regression value of 28 in a 14-value mean
    EXPECT_EQ(Slot(1), 2.0);
    EXPECT_EQ(Slot(2), 2.0);
    const ErrorBandsMemory& working = Bands();
    EXPECT_EQ(working.lineRing.capacity, 14u);
    EXPECT_EQ(working.count, 1);
}

TEST_F(SingleStudies, ErrorBandsRecreateTheirRingsForNewLengths) {
    Bar(1, 10, 12, 8, 30);
    EXPECT_DOUBLE_EQ(E_ZARNEBANDS(id_, 21, 3), 10.0);
    EXPECT_EQ(Bands().lineRing.capacity, 3u);
    EXPECT_EQ(Bands().period, 21);
    Bar(2, 10, 12, 8, 30);
    E_ZARNEBANDS(id_, 21, 3);
    EXPECT_EQ(Bands().count, 2);  // the counter follows the bars across the change
}

// A forming bar evaluated with other lengths (which re-create the rings)
// leaves no trace once the bar is sent again and evaluated with the chart's
// lengths: the restored record reads as the committed one.
TEST_F(SingleStudies, ErrorBandsForgetLengthsTriedOnAFormingBar) {
    const std::int32_t plain = E_CREATESTATE2(1);
    const auto bars = test::SyntheticBars(260, 21);
    const std::pair<int, int> tried[] = {{21, 3}, {200, 200}, {5, 40}, {80, 14}};
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const test::Bar& b = bars[i];
        const auto n = static_cast<std::int32_t>(i + 1);
        const auto [period, smoothing] = tried[i % 4];
        E_BARVALUES(id_, n, b.date, b.time, b.open, b.high, b.low, b.close * 1.01, b.volume);
        E_ZARNEBANDS(id_, period, smoothing);
        E_BARVALUES(id_, n, b.date, b.time, b.open, b.high, b.low, b.close, b.volume);
        E_BARVALUES(plain, n, b.date, b.time, b.open, b.high, b.low, b.close, b.volume);
        const int chartPeriod = i < 130 ? 30 : 60;  // the chart's own lengths change once too
        const double a = E_ZARNEBANDS(id_, chartPeriod, 9), c = E_ZARNEBANDS(plain, chartPeriod, 9);
        ASSERT_EQ(std::memcmp(&a, &c, sizeof a), 0) << "bar " << n;
        for (int k = 1; k <= 2; ++k) {
            const double x = E_GETRETURN(id_, k), y = E_GETRETURN(plain, k);
            ASSERT_EQ(std::memcmp(&x, &y, sizeof x), 0) << "bar " << n << " slot " << k;
        }
    }
}

TEST_F(SingleStudies, ErrorBandsRefuseLengthsOutsideTheHistory) {
    Bar(1, 10, 12, 8, 30);
    for (double& v : state_->slots.values) v = 3.0;
    const auto refused = {std::pair{0, 14}, {80, 0}, {-5, 14}, {80, -1}, {201, 14}, {80, 201}, {2147483647, 14}};
    for (auto [period, smoothing] : refused) {
        EXPECT_EQ(E_ZARNEBANDS(id_, period, smoothing), 0.0);
        EXPECT_EQ(Slot(0), 3.0);
    }
    EXPECT_EQ(WorkingRecord<RecordSlot::errorBands>(*state_), nullptr);  // not even a record was made
    EXPECT_NE(E_ZARNEBANDS(id_, 80, 14), 0.0);
    for (double& v : state_->slots.values) v = 3.0;
    const ErrorBandsMemory before = Bands();
    for (auto [period, smoothing] : refused) EXPECT_EQ(E_ZARNEBANDS(id_, period, smoothing), 0.0);
    EXPECT_EQ(Slot(0), 3.0);
    EXPECT_EQ(std::memcmp(&before, &Bands(), sizeof before), 0);
    EXPECT_NE(E_ZARNEBANDS(id_, 200, 200), 0.0);  // the history's length itself is fine
}

}  // namespace
}  // namespace zt
