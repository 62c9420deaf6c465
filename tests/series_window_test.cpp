#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <limits>

#include "series/window_averages.h"
#include "tests/test_support.h"

namespace zt {
namespace {

using test::RingOf;

TEST(WindowAverages, EmptyWindowsAnswerZero) {
    const auto r = RingOf<5>({4, 3, 2});
    EXPECT_EQ(RingSum(r, 0), 0.0);
    EXPECT_EQ(DisplacedSimpleAverage(r, 0, 2), 0.0);
    EXPECT_EQ(WeightedAverage(r, 0), 0.0);
    EXPECT_EQ(DisplacedWeightedAverage(r, 0, 1), 0.0);
}

TEST(WindowAverages, YoungRingAveragesInItsZeros) {
    // Only 6 was ever pushed: the other slots read 0 and count in the mean.
    Ring<10> r{};
    r.push(6);
    EXPECT_EQ(SimpleAverage(r, 3), 2.0);
    EXPECT_EQ(WeightedAverage(r, 3), 3.0);  // (3*6 + 2*0 + 1*0) / 6
}

TEST(WindowAverages, WindowLongerThanRingWraps) {
    const auto r = RingOf<3>({1, 2, 3});
    EXPECT_EQ(RingSum(r, 4), 7.0);  // 1 + 2 + 3 + 1
}

TEST(WindowAverages, DisplacedWindowsSkipTheNewestValues) {
    const auto r = RingOf<8>({10, 1, 2, 3, 4});
    EXPECT_EQ(DisplacedSimpleAverage(r, 3, 1), 2.0);
    EXPECT_EQ(DisplacedSimpleAverage(r, 4, 0), SimpleAverage(r, 4));
    // Weights 3, 2, 1 over 1, 2, 3: (3 + 4 + 3) / 6.
    EXPECT_DOUBLE_EQ(DisplacedWeightedAverage(r, 3, 1), 10.0 / 6.0);
}

TEST(WindowAverages, TriangularUsesFiveAndSixForTenFiveAndFiveForNine) {
    const auto r = RingOf<20>({10, 20, 30, 40, 50, 60});
    Ring<10> work{};
    for (double v : {1.0, 2.0, 3.0, 4.0, 5.0, 6.0}) work.push(v);

    // n = 10: pushes mean(10..50) = 30, returns the mean of 30, 6, 5, 4, 3, 2.
    EXPECT_EQ(TriangularAverage(r, work, 10), 50.0 / 6.0);
    EXPECT_EQ(work.at(0), 30.0);

    // n = 9: both windows are five wide: 30, 30, 6, 5, 4.
    EXPECT_EQ(TriangularAverage(r, work, 9), 15.0);
    EXPECT_EQ(work.at(0), 30.0);
}

TEST(Smoothers, ExponentialAverageLengthOneFollowsInputLengthNineMovesAFifth) {
    double s = 4.0;
    EXPECT_EQ(ExponentialAverage(7.5, s, 1), 7.5);
    EXPECT_EQ(s, 7.5);

    s = 10.0;
    EXPECT_EQ(ExponentialAverage(20.0, s, 9), 12.0);
    EXPECT_EQ(s, 12.0);
}

TEST(Smoothers, DifferenceAdvancesBothStates) {
    double fast = 0.0, slow = 0.0;
    // Length 1 jumps to 10, length 3 moves halfway.
    EXPECT_EQ(ExponentialAverageDifference(10.0, fast, slow, 1, 3), 5.0);
    EXPECT_EQ(fast, 10.0);
    EXPECT_EQ(slow, 5.0);
}

TEST(Smoothers, DoubleExponentialSeededWithInputStaysThere) {
    double s1 = 42.0, s2 = 42.0;
    EXPECT_EQ(DoubleExponentialAverage(42.0, s1, s2, 9), 42.0);
    EXPECT_EQ(s1, 42.0);
    EXPECT_EQ(s2, 42.0);

    // The second average is fed the first: from 0, x = 10, n = 1 gives
    // e1 = 10, e2 = 10 and 2 e1 - e2 = 10; with n = 3 e1 = 5, e2 = 2.5.
    s1 = s2 = 0.0;
    EXPECT_EQ(DoubleExponentialAverage(10.0, s1, s2, 3), 7.5);
    EXPECT_EQ(s2, 2.5);
}

TEST(Smoothers, TripleExponentialSeedsItselfOnFirstCall) {
    TripleExponentialMemory m{};
    EXPECT_EQ(TripleExponentialAverageOfLength(m, 17.0, 5), 17.0);
    EXPECT_EQ(m.started, 1);
    EXPECT_EQ(m.state3, 17.0);

    // Second call with alpha 0.5 from 17 toward 21: e1 = 19, e2 = 18,
    // e3 = 17.5, result 17.5 + (57 - 54).
    EXPECT_EQ(TripleExponentialAverage(m, 21.0, 0.5), 20.5);

    // A cleared flag restarts from the next input.
    m.started = 0;
    EXPECT_EQ(TripleExponentialAverage(m, -3.0, 0.5), -3.0);
}

TEST(NonFiniteInput, PropagatesWithoutCrashing) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    auto r = RingOf<4>({nan, inf, 1});
    Ring<3> work{};
    EXPECT_TRUE(std::isnan(SimpleAverage(r, 3)));
    EXPECT_TRUE(std::isnan(WeightedAverage(r, 2)));
    EXPECT_TRUE(std::isnan(TriangularAverage(r, work, 4)));

    double s = 1.0;
    EXPECT_TRUE(std::isnan(ExponentialAverage(nan, s, 9)));
    TripleExponentialMemory m{};
    EXPECT_TRUE(std::isnan(TripleExponentialAverage(m, inf, 0.5)));
}

}  // namespace
}  // namespace zt
