// The composite study entries, bar by bar through their exports: the
// decisions they make on computed values, their first bars, and cross-checks
// against the studies whose lines they combine (each on a state of its own,
// so a study that borrowed state from another would show).
#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <limits>
#include <vector>

#include "studies/composite/colour_template.h"
#include "studies/composite/scorecard.h"
#include "studies/composite/signal_studies.h"
#include "studies/composite/volume_flow.h"
#include "studies/composite/water_level.h"
#include "tests/test_support.h"

namespace zt {
namespace {

struct BarValues {
    double h, l, c, v;
};

// A deterministic walk with swings in both directions, so that every signal
// takes each of its values over a few hundred bars.
BarValues Walk(int i) {
    const double mid = 100 + 6 * std::sin(i * 0.21) + 2 * std::sin(i * 1.7) + 0.02 * i;
    return {mid + 1 + (i % 3) * 0.25, mid - 1 - (i % 2) * 0.5, mid + std::cos(i * 1.3), 100.0 + 10 * (i % 7)};
}

class CompositeStudies : public ::testing::Test {
protected:
    void SetUp() override { test::ResetLibrary(); }
    void TearDown() override { test::ResetLibrary(); }

    static std::int32_t NewState() { return E_CREATESTATE2(1); }
    static void Bar(std::initializer_list<std::int32_t> ids, int number, const BarValues& b) {
        for (const std::int32_t id : ids) E_BARVALUES(id, number, 1230107, 930, b.c, b.h, b.l, b.c, b.v);
    }
    static double Slot(std::int32_t id, int slot) { return E_GETRETURN(id, slot); }
    static const BarHistory& BarsOf(std::int32_t id) { return TheRegistries().states.at(id)->bars; }

private:
    test::QuietTrace quiet_;
};

constexpr int kBars = 260;

TEST(CompositeRules, ComboAndUpDownDecisions) {
    // Combo: the channel index must have a direction.
    EXPECT_EQ(ComboRule(1, 2, 1), 1.0);
    EXPECT_EQ(ComboRule(-1, 1, 2), -1.0);
    EXPECT_EQ(ComboRule(0, 2, 1), 0.0);
    EXPECT_EQ(ComboRule(1, 1, 1), 0.0);
    // Up/down: a rising midpoint below the envelope, a falling one above it.
    EXPECT_EQ(UpDownRule(5, 4, 6), 1.0);
    EXPECT_EQ(UpDownRule(5, 6, 4), -1.0);
    EXPECT_EQ(UpDownRule(5, 4, 5), 0.0);
    EXPECT_EQ(UpDownRule(5, 5, 6), 0.0);
}

TEST(CompositeRules, WaterLevelTriggerDecisions) {
    // Water level trigger: a equal to b, or t on the close, is neutral.
    EXPECT_EQ(WaterLevelTrigger(2, 1, 9, 10), 1.0);
    EXPECT_EQ(WaterLevelTrigger(1, 2, 11, 10), -1.0);
    EXPECT_EQ(WaterLevelTrigger(1, 1, 9, 10), 0.0);
    EXPECT_EQ(WaterLevelTrigger(2, 1, 10, 10), 0.0);
}

TEST(CompositeRules, Tr4TriggerDecisions) {
    // TR4: the first bar's unwritten previous close (0) against a previous
    // stop of 0 passes both confirmations; a close on the line is neutral.
    EXPECT_EQ(Tr4Trigger(9, 10, 0, 0, 9.5), 1.0);
    EXPECT_EQ(Tr4Trigger(11, 10, 0, 0, 10.5), -1.0);
    EXPECT_EQ(Tr4Trigger(9, 10, 0, 0, 10), 0.0);
    EXPECT_EQ(Tr4Trigger(11, 10, 0, 0, 10), 0.0);
    EXPECT_EQ(Tr4Trigger(9, 10, 9.5, 9, 9.5), 0.0);  // previous close above the previous stop
}

TEST(CompositeRules, UniversalThresholds) {
    const double belowLower = std::nextafter(-1.25, -2.0);
    EXPECT_EQ(SplitAtThresholds(1.125, kUniversalUpper, kUniversalLower).up, 1.125);
    EXPECT_EQ(SplitAtThresholds(std::nextafter(1.125, 0.0), kUniversalUpper, kUniversalLower).up, 0.0);
    EXPECT_EQ(SplitAtThresholds(-1.25, kUniversalUpper, kUniversalLower).down, 0.0);
    EXPECT_EQ(SplitAtThresholds(belowLower, kUniversalUpper, kUniversalLower).down, belowLower);
    EXPECT_EQ(SplitAtThresholds(0.125, kBondUpper, kBondLower).up, 0.125);
    EXPECT_EQ(SplitAtThresholds(-0.125, kBondUpper, kBondLower).down, 0.0);
    EXPECT_EQ(SplitAtThresholds(-0.13, kBondUpper, kBondLower).down, -0.13);
    EXPECT_EQ(SplitAtThresholds(0.5, kUniversalUpper, kUniversalLower).up, 0.0);
    EXPECT_EQ(SplitAtThresholds(0.5, kBondUpper, kBondLower).up, 0.5);
}

TEST(CompositeRules, ColourTemplateConsensusWalk) {
    double all[kColourComponents] = {1, 2, 3, 1, 0.5, 0.1, 4, 2, 1e-9};
    EXPECT_EQ(Consensus(all), 1.0);
    for (double& c : all) c = -c;
    EXPECT_EQ(Consensus(all), -1.0);
    double mixed[kColourComponents] = {1, 2, 3, 1, 0.5, 0.1, 4, 2, -1e-9};
    EXPECT_EQ(Consensus(mixed), 0.0);
    double zeroFirst[kColourComponents] = {0, 2, 3, 1, 0.5, 0.1, 4, 2, 1};
    EXPECT_EQ(Consensus(zeroFirst), 0.0);
    double notANumber[kColourComponents] = {1, 2, 3, 1, std::numeric_limits<double>::quiet_NaN(), 0.1, 4, 2, 1};
    EXPECT_EQ(Consensus(notANumber), 0.0);

    // Component 3: the signal when it is not 0, else the channel beyond +-50.
    EXPECT_EQ(SignalOrChannelVote(-1, 80), -1.0);
    EXPECT_EQ(SignalOrChannelVote(0, 50), 0.0);
    EXPECT_EQ(SignalOrChannelVote(0, 50.5), 1.0);
    EXPECT_EQ(SignalOrChannelVote(0, -50), 0.0);
    EXPECT_EQ(SignalOrChannelVote(0, -51), -1.0);
    // Component 9: negative part above the spread, else positive part below.
    EXPECT_EQ(StrengthComponent(0, -1, -3), 2.0);
    EXPECT_EQ(StrengthComponent(2, 0, 5), -3.0);
    EXPECT_EQ(StrengthComponent(2, -1, 1), 0.0);
}

TEST_F(CompositeStudies, UpsellFast1AndFast2CombineTheCompositeLine) {
    const std::int32_t ref = NewState(), fast1 = NewState(), fast2 = NewState();
    std::vector<double> tema;
    int negative = 0, up = 0, down = 0;
    for (int i = 1; i <= kBars; ++i) {
        Bar({ref, fast1, fast2}, i, Walk(i));
        const double signal = E_ZARNUPSELL(ref);
        EXPECT_TRUE(signal == 1.0 || signal == -1.0 || signal == 0.0);
        const double line = Slot(ref, 1);
        const double blend = E_ZARNDEMA104FAST104(ref);

        const BarHistory& b = BarsOf(fast1);
        // The four-bar means of highs and lows from two bars back, summed newest first.
        const double highs = (b.high.at(2) + b.high.at(3) + b.high.at(4) + b.high.at(5)) / 4;
        const double lows = (b.low.at(2) + b.low.at(3) + b.low.at(4) + b.low.at(5)) / 4;
        const double x = line - (highs + lows) / 2;
        EXPECT_EQ(E_ZARNFAST1(fast1), x > 0 ? x : 0.0) << i;
        EXPECT_EQ(Slot(fast1, 1), x < 0 ? x : 0.0) << i;
        tema.push_back(Slot(fast1, 2));
        EXPECT_EQ(Slot(fast1, 3), i > 4 ? tema[tema.size() - 5] : 0.0) << i;
        negative += x < 0;

        EXPECT_EQ(E_ZARNFAST2(fast2), line > blend ? 1.0 : 0.0) << i;
        EXPECT_EQ(Slot(fast2, 1), line < blend ? -1.0 : 0.0) << i;
        up += line > blend;
        down += line < blend;
    }
    EXPECT_GT(negative, 0);
    EXPECT_GT(up, 0);
    EXPECT_GT(down, 0);
}

TEST_F(CompositeStudies, ComboFiltersTheCompositeLineByTheChannelIndex) {
    const std::int32_t ref = NewState(), combo = NewState(), upDown = NewState();
    int seen[3] = {};
    for (int i = 1; i <= kBars; ++i) {
        Bar({ref, combo, upDown}, i, Walk(i));
        E_ZARNUPSELL(ref);
        const double line = Slot(ref, 1), average = Slot(ref, 2);
        const double c = E_ZARNCHANNELBASE(ref);
        const double value = E_ZARNCOMBO(combo);
        const double expected = c > 0 && line > average ? 1.0 : c < 0 && line < average ? -1.0 : 0.0;
        EXPECT_EQ(value, expected) << i;
        seen[static_cast<int>(value) + 1] += 1;
        const double u = E_ZARNNEWUPDOWN(upDown);
        EXPECT_TRUE(u == 1.0 || u == -1.0 || u == 0.0);
    }
    EXPECT_GT(seen[0], 0);
    EXPECT_GT(seen[2], 0);
}

TEST_F(CompositeStudies, UniversalIsTwiceTheLineLessBothStops) {
    const std::int32_t ref = NewState(), universal = NewState(), bond = NewState();
    for (int i = 1; i <= kBars; ++i) {
        Bar({ref, universal, bond}, i, Walk(i));
        E_ZARNUPSELL(ref);
        const double line = Slot(ref, 1);
        const double autoStop = E_ZARNAUTOSTOP(ref);
        const double r = 2 * line - autoStop - E_ZARNSTOPLINE(ref);
        EXPECT_EQ(E_ZARNUNIVERSAL(universal), r) << i;
        EXPECT_EQ(Slot(universal, 1), r >= 1.125 ? r : 0.0);
        EXPECT_EQ(Slot(universal, 2), r < -1.25 ? r : 0.0);
        EXPECT_EQ(E_ZARNUNIVERSALBOND(bond), r) << i;
        EXPECT_EQ(Slot(bond, 1), r >= 0.125 ? r : 0.0);
        EXPECT_EQ(Slot(bond, 2), r < -0.125 ? r : 0.0);
    }
}

// One member for both: on a state where the two alternate, and where the
// forming bar is re-sent between them, the next bar continues from whichever
// ran last, exactly as if one study had run on the final bar values.
TEST_F(CompositeStudies, UniversalPairSharesOneMember) {
    const std::int32_t shared = NewState(), ref = NewState();
    for (int i = 1; i <= 60; ++i) {
        const BarValues last = Walk(i);
        BarValues early = last;
        early.c += 3;
        early.h += 3;
        Bar({shared}, i, early);
        if (i % 2 != 0) {
            E_ZARNUNIVERSAL(shared);
        } else {
            E_ZARNUNIVERSALBOND(shared);
        }
        Bar({shared}, i, last);
        const double value = i % 2 != 0 ? E_ZARNUNIVERSALBOND(shared) : E_ZARNUNIVERSAL(shared);
        Bar({ref}, i, last);
        EXPECT_EQ(value, E_ZARNUNIVERSAL(ref)) << i;
    }
}

// The water level is half a variable-index average (length 24) of a point d
// read twelve bars back, seeded with the first d:
//   d = (m + C0 - C4 - x) / m + (H0 - H2) / 3 + C0 + H2, m = (H0 + L0) / 2,
//   x = the lower line (L0 + the lows' six-bar weighted mean from five bars
//   back + the parabolic stop (0.02)) / 3.
//  bar 1 (H 12, L 8, C 11): the stop reverses at once and returns the low 8,
//         older slots read 0: x = 16/3, m = 10,
//         d1 = (10 + 11 - 16/3) / 10 + 12/3 + 11 = 47/30 + 15 = 497/30.
//  bar 2 (H 14, L 10, C 13): the stop was held at the zero low before bar 1
//         and returns 0: x = 10/3, m = 12,
//         d2 = (12 + 13 - 10/3) / 12 + 14/3 + 13 = 701/36.
//  bars 1-12: the point twelve back is a zero slot, the momentum over the
//         zero slots is 0, the average keeps its seed: d1 / 2 = 497/60,
//         whatever bars 2 to 12 hold.
//  bar 13: d1 over zeros is all rise, factor 2/25: still d1 / 2.
//  bar 14: d2 > d1 > 0, all rise again: (d1 + 2/25 (d2 - d1)) / 2
//         = (23 * 497/30 + 2 * 701/36) / 50 = 18899/2250.
TEST_F(CompositeStudies, WaterLevelWorkedThroughItsFirstBars) {
    const std::int32_t level = NewState();
    Bar({level}, 1, {12, 8, 11, 100});
    EXPECT_DOUBLE_EQ(E_ZARNWATERLEVEL(level), 497.0 / 60);
    const double first = E_ZARNWATERLEVEL(level);
    Bar({level}, 2, {14, 10, 13, 100});
    for (int i = 2; i <= 12; ++i) {
        if (i > 2) Bar({level}, i, Walk(i));
        EXPECT_EQ(E_ZARNWATERLEVEL(level), first) << i;
    }
    Bar({level}, 13, Walk(13));
    EXPECT_NEAR(E_ZARNWATERLEVEL(level), 497.0 / 60, 1e-12);
    Bar({level}, 14, Walk(14));
    EXPECT_NEAR(E_ZARNWATERLEVEL(level), 18899.0 / 2250, 1e-12);
}

// The trigger: +1 when the composite line a is above its average b and the
// level t = (140-bar regression of the close + water level) / 2 below the
// close, -1 in the mirror case, else 0.
//  - First bar: b is seeded with a, so the trigger is 0 whatever the close.
//  - A close moving 1 a bar along a straight line (H = C + 1, L = C - 1):
//    from bar 140 on the regression is the line itself, r = C0. Each point
//    d lies between 2 C - 1/3 and 2 C + 2.4 for its bar's close C (on the
//    rise C0 - C4 = 4, H0 - H2 = 2, H2 = C0 - 1; on the fall -4, -2 and
//    C0 + 3; and (m +- 4 - x) / m is small for a lower line x near the
//    price), and the water level, half an average of the points read 12
//    bars back, follows 12 bars behind: about C0 - 12 on the rise, C0 + 12
//    on the fall. So t is below the close on the rise and
//    above it on the fall. The composite line, a blend of averages of the
//    same line, rises (falls) with it and its variable-index average (a
//    steady momentum: factor 1/3) lags: a > b on the rise, a < b on the fall.
//  - A forming bar that plunges 30 points below the line pulls r down only
//    30 * 93/3290 (the newest close's weight in a 140-bar fit is
//    2 (2n - 1) / (n (n + 1))) and leaves the water level alone (it reads
//    12 bars back): t stays near C0 - 6 of the line, above the plunged close,
//    so no long trigger; the final bar sent again gives +1 again.
TEST_F(CompositeStudies, WaterLevelTriggerOnStraightLines) {
    const std::int32_t first = NewState();
    Bar({first}, 1, {12, 8, 11, 100});
    EXPECT_EQ(E_ZARNTRIGGERWATERLEVELUPDOWN(first), 0.0);
    Bar({first}, 1, {12, 8, 8.5, 100});
    EXPECT_EQ(E_ZARNTRIGGERWATERLEVELUPDOWN(first), 0.0);

    const std::int32_t rise = NewState(), fall = NewState();
    for (int i = 1; i <= 200; ++i) {
        const double up = 100 + i, down = 400 - i;
        Bar({rise}, i, {up + 1, up - 1, up, 100});
        Bar({fall}, i, {down + 1, down - 1, down, 100});
        const double r = E_ZARNTRIGGERWATERLEVELUPDOWN(rise), f = E_ZARNTRIGGERWATERLEVELUPDOWN(fall);
        if (i >= 150) {
            EXPECT_EQ(r, 1.0) << i;
            EXPECT_EQ(f, -1.0) << i;
        }
    }
    Bar({rise}, 200, {300 + 1, 300 - 30 - 1, 300 - 30, 100});
    EXPECT_NE(E_ZARNTRIGGERWATERLEVELUPDOWN(rise), 1.0);
    Bar({rise}, 200, {300 + 1, 300 - 1, 300, 100});
    EXPECT_EQ(E_ZARNTRIGGERWATERLEVELUPDOWN(rise), 1.0);
}

TEST_F(CompositeStudies, Tr4TriggersOnTheFirstBarOnlyThroughTheUnwrittenClose) {
    const std::int32_t tr4 = NewState();
    // The first stop is the low (8), below the close; the trend line is
    // below the close; the previous close and stop both read 0.
    Bar({tr4}, 1, {12, 8, 12, 100});
    EXPECT_EQ(E_ZARNTR4(tr4), 1.0);
    // Now the previous close (12) is above the previous stop (8): no long
    // confirmation, and the stop (0) is below the close.
    Bar({tr4}, 2, {13, 9, 13, 100});
    EXPECT_EQ(E_ZARNTR4(tr4), 0.0);
}

TEST_F(CompositeStudies, VolumeFlowStudiesStayInTheirRanges) {
    const std::int32_t tr4 = NewState(), ribbon = NewState(), fast3 = NewState();
    int longs = 0, shorts = 0, ribbonOn = 0;
    for (int i = 1; i <= kBars; ++i) {
        Bar({tr4, ribbon, fast3}, i, Walk(i));
        const double t = E_ZARNTR4(tr4);
        EXPECT_TRUE(t == 1.0 || t == -1.0 || t == 0.0);
        // After the first bar a trigger needs the previous close on the
        // far side of the previous bar's stop.
        longs += i > 1 && t == 1.0;
        shorts += t == -1.0;
        const double r = E_ZARN1MINRIBBON(ribbon);
        EXPECT_TRUE(r == 1.0 || r == 0.0);
        ribbonOn += r == 1.0;
        const double f = E_ZARNFAST3(fast3);
        EXPECT_TRUE(std::isfinite(f));
        EXPECT_EQ(Slot(fast3, 1), f < 0 ? f : 0.0);
        EXPECT_EQ(Slot(fast3, 2), f > 0 ? f : 0.0);
    }
    EXPECT_GT(longs, 0);
    EXPECT_GT(shorts, 0);
    EXPECT_GT(ribbonOn, 0);
    EXPECT_LT(ribbonOn, kBars);
}

TEST_F(CompositeStudies, SwingLineFirstBarsKeepTheFirstBarsLevels) {
    const std::int32_t swing = NewState();
    Bar({swing}, 1, {12, 8, 11, 100});
    EXPECT_EQ(E_ZARNSWINGLINE(swing), 0.0);
    EXPECT_EQ(Slot(swing, 1), 10.0);
    EXPECT_EQ(Slot(swing, 2), 12.0);
    EXPECT_EQ(Slot(swing, 3), 8.0);
    // A rising, positive trend line cannot turn while its value six bars
    // back is still 0: the levels stay, and the lag shows from bar 4.
    for (int i = 2; i <= 6; ++i) {
        Bar({swing}, i, {12.0 + i, 8.0 + i, 11.0 + i, 100});
        const double value = E_ZARNSWINGLINE(swing);
        if (i <= 3) {
            EXPECT_EQ(value, 0.0) << i;
        } else {
            EXPECT_NE(value, 0.0) << i;
        }
        EXPECT_EQ(Slot(swing, 2), 12.0) << i;
        EXPECT_EQ(Slot(swing, 3), 8.0) << i;
    }
}

TEST(Scorecard, ZeroVolumeAndZeroMedianBars) {
    BarRing high{}, low{}, close{}, volume{};
    const BarRings bars{high, low, close, volume};
    ScorecardLineMemory m{};
    for (int i = 0; i < 8; ++i) {
        high.push(12 + i);
        low.push(8 + i);
        close.push(10 + i);
        volume.push(0);
        EXPECT_TRUE(std::isfinite(ScorecardLine(m, bars))) << i;
        for (std::uint32_t k = 0; k < 7; ++k) EXPECT_EQ(m.ratioRing.at(k), 0.0);
        // The 8-bar average starts three bars back.
        if (i < 3) {
            EXPECT_EQ(m.averagedResult, 0.0) << i;
        }
    }
    EXPECT_NE(m.averagedResult, 0.0);
    high.push(0);
    low.push(0);
    close.push(5);
    volume.push(50);
    EXPECT_TRUE(std::isfinite(ScorecardLine(m, bars)));
    EXPECT_EQ(m.pressureRing.at(0), -m.trendRing.at(3));
}

// The colour template embeds its own copy of every calculation: on a state
// where it runs alone and on one where every study it borrows from also
// runs, it gives the same slots, and each component matches the study it
// was borrowed from.
TEST_F(CompositeStudies, ColourTemplateComponentsMatchTheirStudies) {
    const std::int32_t alone = NewState(), crowded = NewState();
    int consensus = 0;
    for (int i = 1; i <= kBars; ++i) {
        Bar({alone, crowded}, i, Walk(i));
        const double c0 = BarsOf(crowded).close.at(0);
        const double a900 = E_ZARNA900(crowded);
        const double autoStop = E_ZARNAUTOSTOP(crowded);
        const double signal = E_ZARNUPSELL(crowded);
        const double line = Slot(crowded, 1);
        const double ci = E_ZARNCHANNELBASE(crowded);
        const double combo = E_ZARNCOMBO(crowded);
        const double fast3 = E_ZARNFAST3(crowded);
        const double bias = E_ZARNSHORTTERMTRADEBIAS(crowded);
        const double stop = E_ZARNSTOPLINE(crowded);
        const double split = E_ZARN115SPLIT(crowded);
        const double spread = E_ZARNMEDIUM(crowded);
        const double strength = StrengthComponent(Slot(crowded, 1), Slot(crowded, 2), spread);
        const double expected[kColourComponents] = {
            c0 - a900, c0 - autoStop, SignalOrChannelVote(signal, ci), combo,       fast3,
            bias,      line - stop,   c0 - split,                      strength,
        };
        const double value = E_ZARNCOLORTMPL(crowded);
        bool allUp = true, allDown = true;
        for (const double x : expected) {
            allUp = allUp && x > 0;
            allDown = allDown && x < 0;
        }
        EXPECT_EQ(value, allUp ? 1.0 : allDown ? -1.0 : 0.0) << i;
        EXPECT_EQ(E_ZARNCOLORTMPL(alone), value) << i;
        for (int k = 0; k < kColourComponents; ++k) {
            EXPECT_EQ(Slot(crowded, 1 + k), expected[k]) << i << " component " << k + 1;
            EXPECT_EQ(Slot(alone, 1 + k), expected[k]) << i << " component " << k + 1;
        }
        consensus += value != 0.0;
    }
    EXPECT_GT(consensus, 0);
}

// Bars with NaN, infinite, huge and zero prices and volumes: nothing may
// crash, and the studies that return codes still return one of their codes.
TEST_F(CompositeStudies, NonFiniteBarsKeepCodesInRange) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double huge = std::numeric_limits<double>::max();
    struct Entry {
        double (*entry)(std::int32_t);
        bool signedCode;  // returns -1, 0 or +1 (otherwise a line)
    };
    const Entry entries[] = {
        {E_ZARNUPSELL, true},        {E_ZARNFAST1, false},      {E_ZARNFAST2, true},
        {E_ZARNCOMBO, true},         {E_ZARNNEWUPDOWN, true},   {E_ZARNUNIVERSAL, false},
        {E_ZARNUNIVERSALBOND, false}, {E_ZARNWATERLEVEL, false}, {E_ZARNTRIGGERWATERLEVELUPDOWN, true},
        {E_ZARNTR4, true},           {E_ZARN1MINRIBBON, true},  {E_ZARNFAST3, false},
        {E_ZARN115SPLIT, false},     {E_ZARNMODSPLIT, false},   {E_ZARNSWINGLINE, false},
        {E_ZARNSCORECARD, false},    {E_ZARNCOLORTMPL, true},
    };
    const BarValues odd[] = {{nan, 1, 2, 3},   {inf, -inf, 0, inf}, {huge, -huge, huge, huge},
                             {0, 0, 0, 0},     {1, 2, nan, -5},     {-huge, huge, -inf, nan}};
    for (const Entry& e : entries) {
        const std::int32_t id = NewState();
        for (int i = 1; i <= 60; ++i) {
            Bar({id}, i, i % 4 == 0 ? odd[(i / 4) % 6] : Walk(i));
            const double value = e.entry(id);
            if (e.signedCode) {
                EXPECT_TRUE(value == 1.0 || value == -1.0 || value == 0.0) << i;
            }
        }
    }
}

// Fingerprints of every composite study over a fixed 300-bar chart (a random
// walk with a flat stretch, a steady climb that saturates every stop's
// acceleration, and bars without volume): the sum over bars and
// slots of slot k times (bar + 10 k). Each was checked, when recorded,
// against an independent implementation written from the studies'
// descriptions; a change here means the numbers the host sees changed.
TEST_F(CompositeStudies, FingerprintsOverAFixedChart) {
    struct Fingerprint {
        const char* name;
        double (*entry)(std::int32_t);
        double expected;
    };
    const Fingerprint studies[] = {
        {"UPSELL", E_ZARNUPSELL, 0x1.679443cd2b75bp+23},
        {"FAST1", E_ZARNFAST1, 0x1.68b858b37e772p+15},
        {"FAST2", E_ZARNFAST2, 0x1.2870000000000p+13},
        {"COMBO", E_ZARNCOMBO, 0x1.1418000000000p+14},
        {"NEWUPDOWN", E_ZARNNEWUPDOWN, -0x1.cf10000000000p+12},
        {"UNIVERSAL", E_ZARNUNIVERSAL, 0x1.7d06abb040a86p+17},
        {"UNIVERSALBOND", E_ZARNUNIVERSALBOND, 0x1.7c5a827fb59c2p+17},
        {"WATERLEVEL", E_ZARNWATERLEVEL, 0x1.3a342853684bcp+22},
        {"TRIGGERWATERLEVELUPDOWN", E_ZARNTRIGGERWATERLEVELUPDOWN, 0x1.d0e8000000000p+13},
        {"TR4", E_ZARNTR4, -0x1.2e00000000000p+8},
        {"1MINRIBBON", E_ZARN1MINRIBBON, 0x1.c2b4000000000p+14},
        {"FAST3", E_ZARNFAST3, 0x1.cffde6a249d66p+15},
        {"115SPLIT", E_ZARN115SPLIT, 0x1.435ef90000000p+22},
        {"MODSPLIT", E_ZARNMODSPLIT, 0x1.43dc818000000p+22},
        {"SWINGLINE", E_ZARNSWINGLINE, 0x1.5fb3b4e3bbfcep+24},
        {"SCORECARD", E_ZARNSCORECARD, 0x1.73386dcd56ba0p+18},
        {"COLORTMPL", E_ZARNCOLORTMPL, 0x1.21546f68bf4e5p+19},
    };
    for (const Fingerprint& study : studies) {
        const std::int32_t id = NewState();
        std::uint32_t x = 12345;
        double p = 100.0;
        double sum = 0.0;
        for (int bar = 1; bar <= 300; ++bar) {
            x = (x * 1103515245u + 12345u) & 0x7fffffffu;
            BarValues b{p, p, p, 500.0};
            if (bar < 120 || bar >= 135) {
                p += bar >= 200 && bar < 225 ? 0.75 : (static_cast<int>((x >> 16) % 9) - 4) * 0.25;
                b.h = p + ((x >> 8) % 4) * 0.25 + 0.25;
                b.l = p - ((x >> 4) % 4) * 0.25 - 0.25;
                b.c = b.l + ((x >> 12) % 5) * (b.h - b.l) / 4;
                b.v = bar <= 4 ? 0.0 : static_cast<double>((x >> 20) % 2000);
            }
            Bar({id}, bar, b);
            study.entry(id);
            for (int k = 0; k < 10; ++k) sum += Slot(id, k) * static_cast<double>(bar + 10 * k);
        }
        EXPECT_EQ(sum, study.expected) << study.name;
    }
}

}  // namespace
}  // namespace zt
