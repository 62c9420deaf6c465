#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>

#include "series/adaptive_averages.h"
#include "tests/test_support.h"

namespace zt {
namespace {

using test::RingOf;

TEST(MomentumRatio, WeighsUpAgainstDownMovement) {
    // 3 > 2 adds 1 up, 2 = 2 adds nothing, 2 < 4 adds 2 down.
    EXPECT_EQ(MomentumRatio(RingOf<10>({3, 2, 2, 4}), 3), -1.0 / 3.0);
    // The displaced form starts k bars back.
    EXPECT_EQ(MomentumRatio(RingOf<10>({99, 3, 2, 2, 4}), 3, 1), -1.0 / 3.0);
    EXPECT_EQ(MomentumRatio(RingOf<10>({5, 5, 5, 5, 5}), 4), 0.0);
    EXPECT_EQ(MomentumRatio(RingOf<10>({4, 3, 2, 1}), 3), 1.0);
}

// The ratio adds the positive part of every change to each sum: bit for bit
// what adding on rises and falls alone gives, over values with ties, signed
// zeros, infinities, NaN and huge and tiny magnitudes.
TEST(MomentumRatio, EqualsAddingOnRisesAndFallsAlone) {
    const double specials[] = {0.0, -0.0, 1.0, -1.0, 1e308, -1e308, 5e-324, -5e-324,
                               std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                               std::numeric_limits<double>::quiet_NaN(), 2.5, 2.5, 1e-300};
    std::uint32_t x = 7;
    for (int round = 0; round < 20000; ++round) {
        // The same values newest first and in a head ring, whose head moves
        // on: windows read in one run of slots and windows that wrap.
        Ring<12> r{};
        SeriesRing<double, 12> h{};
        for (int i = 0; i < 12 + round % 12; ++i) {
            x = x * 1103515245u + 12345u;
            const std::uint32_t pick = (x >> 8) % 24;
            const double v = pick < 14 ? specials[pick] : static_cast<double>(static_cast<int>((x >> 12) % 9) - 4) * 0.5;
            r.push(v);
            h.push(v);
        }
        const std::uint32_t k = round % 6;  // from 3 on, the newest-first ring wraps too
        double up = 0.0, down = 0.0;
        for (std::uint32_t i = 0; i < 9; ++i) {
            const double a = r.at(k + i), b = r.at(k + i + 1);
            if (a > b) {
                up += a - b;
            } else if (a < b) {
                down += b - a;
            }
        }
        const double expected = up + down == 0.0 ? 0.0 : (up - down) / (up + down);
        const double got = MomentumRatio(r, 9, k);
        ASSERT_EQ(std::memcmp(&expected, &got, sizeof got), 0) << "round " << round;
        const double gotFromHead = MomentumRatio(h, 9, k);
        ASSERT_EQ(std::memcmp(&expected, &gotFromHead, sizeof got), 0) << "round " << round;
    }
}

TEST(VariableIndexAverage, FlatSpanLeavesStateUnchanged) {
    const auto flat = RingOf<10>({7, 7, 7, 7, 7, 7, 7, 7, 7, 7});
    double s = 123.0;
    EXPECT_EQ(VariableIndexAverage(flat, s, 5), 123.0);
    EXPECT_EQ(s, 123.0);
    const auto displaced = RingOf<12>({50, 1, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7});
    EXPECT_EQ(VariableIndexAverage(displaced, s, 5, 2), 123.0);
}

TEST(VariableIndexAverage, SteadyTrendUsesTheFullLengthFactor) {
    // Ten rising values: ratio 1, factor 2 / (3 + 1) = 0.5.
    const auto rising = RingOf<10>({10, 9, 8, 7, 6, 5, 4, 3, 2, 1});
    double s = 0.0;
    EXPECT_EQ(VariableIndexAverage(rising, s, 3), 5.0);
    // The span is always nine changes: the tenth change (1 -> 20, read only
    // with a longer span) must not dilute the ratio.
    const auto longer = RingOf<11>({10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 20});
    s = 0.0;
    EXPECT_EQ(VariableIndexAverage(longer, s, 3), 5.0);
}

// The ring holds the ten values the momentum ratio reads, whatever the
// length: a longer ring would hold values never read.
TEST(BufferedVidya, RingHoldsTheTenValuesReadAndFirstResultIsTheInput) {
    EXPECT_EQ(decltype(BufferedVidyaMemory<5>::inputRing)::capacity, 10u);
    EXPECT_EQ(decltype(BufferedVidyaMemory<15>::inputRing)::capacity, 10u);

    BufferedVidyaMemory<5> m{};
    EXPECT_DOUBLE_EQ(BufferedVariableIndexAverage(m, 101.25), 101.25);
    EXPECT_EQ(m.inputRing.at(0), 101.25);
}

// Runs five bars of volume 100 (each exactly the mean volume) with the given
// prices, oldest first, and returns the last result times 5: with a single
// price of 1 that is the weight its bar received.
double WeightOfFiveEqualVolumeBars(std::initializer_list<double> oldestFirst) {
    VolumeAdjustedMemory<5> m{};
    double result = 0.0;
    for (double p : oldestFirst) result = VolumeAdjustedAverage(m, p, 100.0);
    return result * 5.0;
}

TEST(VolumeAdjustedAverage, MeanVolumeWeighsOneOverPointSixSeven) {
    EXPECT_EQ(decltype(VolumeAdjustedMemory<5>::priceRing)::capacity, 5u);  // only the newest 5 are read
    const double full = 1.0 / 0.67;  // about 1.49
    // Newest three bars take 1.49 each, the fourth the remaining 0.52,
    // the fifth nothing.
    EXPECT_NEAR(WeightOfFiveEqualVolumeBars({0, 0, 0, 0, 1}), full, 1e-12);
    EXPECT_NEAR(WeightOfFiveEqualVolumeBars({0, 0, 1, 0, 0}), full, 1e-12);
    EXPECT_NEAR(WeightOfFiveEqualVolumeBars({0, 1, 0, 0, 0}), 5.0 - 3.0 * full,
                1e-12);
    EXPECT_NEAR(WeightOfFiveEqualVolumeBars({0, 1, 0, 0, 0}), 0.52, 0.005);
    EXPECT_EQ(WeightOfFiveEqualVolumeBars({1, 0, 0, 0, 0}), 0.0);
}

TEST(VolumeAdjustedAverage, NoVolumeYetGivesThePlainMean) {
    VolumeAdjustedMemory<5> m{};
    // First call: the young ring's zeros count, 10 / 5.
    EXPECT_EQ(VolumeAdjustedAverage(m, 10.0, 0.0), 2.0);
    double result = 0.0;
    for (double p : {20.0, 30.0, 40.0, 50.0}) result = VolumeAdjustedAverage(m, p, 0.0);
    EXPECT_EQ(result, 30.0);
}

TEST(StandardDeviation, DividesByNAndNeedsTwoValues) {
    EXPECT_EQ(StandardDeviation(RingOf<4>({5}), 1, 3.0), 0.0);
    EXPECT_EQ(StandardDeviation(RingOf<4>({2, 4}), 2, 3.0), 1.0);
}

TEST(LinearRegression, FitsTheLineThroughTheNewestValues) {
    const auto r = RingOf<10>({10, 9, 8, 100});  // the 100 is outside n = 3
    EXPECT_EQ(LinearRegressionValue(r, 3, 0), 10.0);
    EXPECT_EQ(LinearRegressionValue(r, 3, -1), 11.0);
    EXPECT_EQ(LinearRegressionForecast(r, 3), 11.0);
    EXPECT_EQ(LinearRegressionValue(r, 3, 2), 8.0);
    EXPECT_EQ(LinearRegressionValue(r, 1, 0), 10.0);
    EXPECT_EQ(LinearRegressionValue(r, 1, -1), 10.0);
    EXPECT_EQ(LinearRegressionValue(r, 0, 0), 0.0);
}

TEST(RegressionStandardError, ZeroOnALineAndForTwoValues) {
    EXPECT_EQ(RegressionStandardError(RingOf<8>({10, 8, 6, 4, 2}), 5), 0.0);
    EXPECT_EQ(RegressionStandardError(RingOf<8>({3, 17}), 2), 0.0);
    // 0, 1, 0: the best line is flat at 1/3, residual squares sum to 2/3,
    // divided by n - 2 = 1.
    EXPECT_DOUBLE_EQ(RegressionStandardError(RingOf<8>({0, 1, 0}), 3),
                     std::sqrt(2.0 / 3.0));
}

TEST(RegressionLineAndError, EqualsTheLineAndTheErrorWorkedOutApart) {
    std::uint32_t x = 99;
    BarRing r{};
    for (int bar = 0; bar < 400; ++bar) {
        x = x * 1103515245u + 12345u;
        r.push(bar % 37 == 0 ? 0.0 : 100.0 + static_cast<double>((x >> 9) % 4001) * 0.25 - 500.0);
        for (std::uint32_t n : {0u, 1u, 2u, 3u, 14u, 80u, 200u, 250u}) {
            const RegressionFit fit = RegressionLineAndError(r, n, 0);
            const double value = LinearRegressionValue(r, n, 0);
            const double error = RegressionStandardError(r, n);
            ASSERT_EQ(std::memcmp(&fit.value, &value, sizeof value), 0) << bar << " " << n;
            ASSERT_EQ(std::memcmp(&fit.standardError, &error, sizeof error), 0) << bar << " " << n;
        }
    }
}

TEST(NonFiniteInput, AdaptivePrimitivesDoNotCrash) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const auto r = RingOf<12>({nan, 1, inf, 2, 3, 4, 5, 6, 7, 8, 9});
    double s = 1.0;
    MomentumRatio(r, 9);
    EXPECT_TRUE(std::isnan(VariableIndexAverage(r, s, 5)));
    EXPECT_TRUE(std::isnan(StandardDeviation(r, 4, 1.0)));
    EXPECT_TRUE(std::isnan(LinearRegressionForecast(r, 5)));
    EXPECT_EQ(RegressionStandardError(r, 5), 0.0);  // NaN variance is not > 0

    VolumeAdjustedMemory<3> va{};
    VolumeAdjustedAverage(va, 1.0, nan);
    EXPECT_TRUE(std::isnan(VolumeAdjustedAverage(va, 2.0, 5.0)));
    BufferedVidyaMemory<5> bv{};
    BufferedVariableIndexAverage(bv, inf);
    BufferedVariableIndexAverage(bv, 1.0);
}

}  // namespace
}  // namespace zt
