// The contract every study keeps, run over every exported study: a re-sent
// forming bar changes nothing carried forward; the direct export and the DLL
// path agree; slots beyond the study's layout are 0.0; an unknown id returns
// 0.0 and touches no slot; studies sharing a state do not disturb each other;
// non-finite bars never crash and stay only in the slots the catalogue calls
// sticky.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <string>
#include <vector>

#include "tests/study_calls.h"
#include "testing/synthetic_bars.h"
#include "tests/test_support.h"

namespace zt {
namespace {

using test::Bar;
using test::StudyInfo;

// The ten slots after each bar, compared bit for bit (NaN included).
using SlotTrace = std::vector<std::array<double, kReturnSlotCount>>;

bool SameBits(const SlotTrace& a, const SlotTrace& b, std::size_t* firstBad) {
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (std::memcmp(a[i].data(), b[i].data(), sizeof a[i]) != 0) {
            *firstBad = i;
            return false;
        }
    *firstBad = a.size();
    return a.size() == b.size();
}

std::array<double, kReturnSlotCount> Slots(std::int32_t id) {
    std::array<double, kReturnSlotCount> s{};
    for (int k = 0; k < kReturnSlotCount; ++k) s[static_cast<std::size_t>(k)] = E_GETRETURN(id, k);
    return s;
}

ZtVariant Real(double v) {
    ZtVariant x{};
    x.vt = ZT_VT_R8;
    x.value.r8 = v;
    return x;
}

std::int32_t CallDll(const std::string& op, std::initializer_list<double> args, double* real = nullptr) {
    unsigned char name[256] = {static_cast<unsigned char>(op.size())};
    std::memcpy(name + 1, op.data(), op.size());
    ZtVariant p[8] = {};
    int i = 0;
    for (double a : args) p[i++] = Real(a);
    ZtVariant result{};
    DLL(&result, name, &p[0], &p[1], &p[2], &p[3], &p[4], &p[5], &p[6], &p[7]);
    if (real != nullptr) *real = result.value.r8;
    return result.value.i4;
}

class StudyContract : public ::testing::TestWithParam<StudyInfo> {
protected:
    void SetUp() override { test::ResetLibrary(); }
    void TearDown() override { test::ResetLibrary(); }

    test::StudyCall call() const { return test::StudyByName(GetParam().name); }

    // One bar: with `ticks`, the forming bar is first sent with intrabar
    // values (open, then toward high, low and close) and evaluated each time.
    void Feed(std::int32_t id, std::int32_t number, const Bar& b, int ticks) const {
        for (int t = 0; t < ticks; ++t) {
            const double w = static_cast<double>(t) / ticks;
            const double px = b.open + w * ((t % 2 == 0 ? b.high : b.low) - b.open);
            E_BARVALUES(id, number, b.date, b.time, b.open, px > b.open ? px : b.open, px < b.open ? px : b.open,
                        px, b.volume * w);
            call()(id);
        }
        E_BARVALUES(id, number, b.date, b.time, b.open, b.high, b.low, b.close, b.volume);
    }

    SlotTrace Run(const std::vector<Bar>& bars, int ticks) const {
        test::QuietTrace quiet;
        const std::int32_t id = E_CREATESTATE2(1);
        SlotTrace trace;
        for (std::size_t i = 0; i < bars.size(); ++i) {
            Feed(id, static_cast<std::int32_t>(i + 1), bars[i], ticks);
            const double value = call()(id);
            trace.push_back(Slots(id));
            EXPECT_EQ(std::memcmp(&value, &trace.back()[0], sizeof value), 0) << "bar " << i;
        }
        E_DESTROYSTATE(id);
        return trace;
    }
};

TEST_P(StudyContract, ResentFormingBarChangesNothingCarriedForward) {
    const auto bars = test::SyntheticBars(320, 11);
    const SlotTrace once = Run(bars, 0);
    const SlotTrace live = Run(bars, 5);
    std::size_t bad = 0;
    EXPECT_TRUE(SameBits(once, live, &bad)) << GetParam().name << " differs from bar " << bad;
}

TEST_P(StudyContract, SlotsBeyondTheLayoutAreZeroAndUnknownIdsTouchNothing) {
    const StudyInfo& study = GetParam();
    ASSERT_GE(study.slots, 1) << study.name << " is missing from the study catalogue";
    test::QuietTrace quiet;
    const std::int32_t id = E_CREATESTATE2(1);
    StudyState* state = TheRegistries().states.at(id).get();
    const auto bars = test::SyntheticBars(120, 5);
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const Bar& b = bars[i];
        E_BARVALUES(id, static_cast<std::int32_t>(i + 1), b.date, b.time, b.open, b.high, b.low, b.close, b.volume);
        for (double& v : state->slots.values) v = 7.5;  // as if another study had filled them
        call()(id);
        for (int k = study.slots; k < kReturnSlotCount; ++k)
            ASSERT_EQ(E_GETRETURN(id, k), 0.0) << study.name << " slot " << k << " bar " << i;
        const auto before = Slots(id);
        EXPECT_EQ(call()(id + 1000), 0.0);
        EXPECT_EQ(std::memcmp(before.data(), Slots(id).data(), sizeof before), 0);
    }
    E_DESTROYSTATE(id);
    EXPECT_EQ(call()(id), 0.0);  // a destroyed state answers 0.0 like any unknown id
}

TEST_P(StudyContract, DirectAndDllPathsAgreeOnWholeNumberPrices) {
    const StudyInfo& study = GetParam();
    if (!study.viaDll) GTEST_SKIP() << study.name << " is called directly only";
    const auto bars = test::SyntheticBars(260, 3, /*wholeNumbers=*/true);
    const SlotTrace direct = Run(bars, 0);

    test::QuietTrace quiet;
    const std::int32_t id = CallDll("E_CREATESTATE", {1});
    SlotTrace viaDll;
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const Bar& b = bars[i];
        ASSERT_EQ(CallDll("E_BARVALUES", {static_cast<double>(id), static_cast<double>(i + 1),
                                           b.date * 10000.0 + b.time, b.open, b.high, b.low, b.close, b.volume}),
                  1);
        double value = 0;
        CallDll(study.name, {static_cast<double>(id)}, &value);
        std::array<double, kReturnSlotCount> s{};
        for (int k = 0; k < kReturnSlotCount; ++k) CallDll("E_GETRETURN", {static_cast<double>(id), double(k)}, &s[k]);
        EXPECT_EQ(std::memcmp(&value, &s[0], sizeof value), 0);
        viaDll.push_back(s);
    }
    std::size_t bad = 0;
    EXPECT_TRUE(SameBits(direct, viaDll, &bad)) << study.name << " differs from bar " << bad;
}

// Bars no host should send (NaN, infinite, +-1e308 and all-zero prices and
// volumes), each sent while forming and then final: no crash, every answer
// slot 0, nothing written past the study's slots.
// Then what the library promises after a NaN close and volume on bar 50: the
// slots the catalogue calls sticky are non-finite 250 bars later, every other
// slot is finite again (codes among their codes); and a state created on the
// same chart after that bar computes bit for bit what a state computes in a
// library that never saw it.
TEST_P(StudyContract, NonFiniteBarsNeverCrash) {
    const StudyInfo& study = GetParam();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const auto bars = test::SyntheticBars(330, 9);
    const SlotTrace never = Run(bars, 0);

    auto absurd = bars;
    absurd[20] = {0, 0, nan, nan, nan, nan, nan};
    absurd[30] = {0, 0, inf, inf, -inf, inf, inf};
    absurd[31] = {0, 0, -1e308, 1e308, -1e308, 1e308, -1e308};
    absurd[40] = {0, 0, 0, 0, 0, 0, 0};
    for (const auto& s : Run(std::vector<Bar>(absurd.begin(), absurd.begin() + 60), 2))
        for (int k = study.slots; k < kReturnSlotCount; ++k) ASSERT_EQ(s[static_cast<std::size_t>(k)], 0.0) << k;

    constexpr std::size_t kBad = 49, kFreshFrom = 100, kLater = kBad + 250;
    auto nanBar = bars;
    nanBar[kBad].close = nan;
    nanBar[kBad].volume = nan;
    test::QuietTrace quiet;
    Dll_Add(7);
    Dll_Context(7);
    const std::int32_t poisoned = E_CREATESTATE2(1);
    const auto feed = [&](std::int32_t id, std::size_t i, const Bar& b) {
        E_BARVALUES(id, static_cast<std::int32_t>(i + 1), b.date, b.time, b.open, b.high, b.low, b.close, b.volume);
        call()(id);
        return Slots(id);
    };
    for (std::size_t i = 0; i < kFreshFrom; ++i) feed(poisoned, i, nanBar[i]);
    const std::int32_t fresh = E_CREATESTATE2(1);
    SlotTrace freshTrace;
    std::array<bool, kReturnSlotCount> named{};  // each slot's first wrong bar is enough
    for (std::size_t i = 0; i < bars.size(); ++i) {
        freshTrace.push_back(feed(fresh, i, bars[i]));
        const std::size_t n = kFreshFrom + i;
        if (n >= nanBar.size()) continue;
        const auto s = feed(poisoned, n, nanBar[n]);
        if (n < kLater) continue;
        for (int k = 0; k < study.slots; ++k) {
            const auto slot = static_cast<std::size_t>(k);
            const bool sticky = study.about->Sticky(k, false) || study.about->Sticky(k, true);
            if (std::isfinite(s[slot]) != sticky || named[slot]) continue;
            named[slot] = true;
            ADD_FAILURE() << study.name << " slot " << k << " (" << study.about->slotNames[slot] << ") is "
                          << (sticky ? "finite" : "not finite") << " on bar " << n + 1
                          << " after a NaN close and volume on bar " << kBad + 1 << ", but the catalogue "
                          << (sticky ? "calls it sticky" : "does not call it sticky");
        }
    }
    Dll_Free(7);
    std::size_t bad = 0;
    EXPECT_TRUE(SameBits(never, freshTrace, &bad)) << study.name << " on a fresh state differs from bar " << bad;
}

// Whether the catalogue calls any of the study's slots sticky after a
// non-finite close (or volume).
bool StaysNonFinite(const StudyInfo& study, bool volume) {
    for (int k = 0; k < study.slots; ++k)
        if (study.about->Sticky(k, volume)) return true;
    return false;
}

// The library stores the bars it is given. A NaN close or volume committed
// on bar 50 is still seen on bar 300, long after it has left the 200-bar history, by
// the studies that carry it in their memory: the host recreates the state.
// A NaN close on the forming bar that is replaced before the next bar
// leaves no trace at all.
TEST_P(StudyContract, NonFiniteBarStaysInTheMemoryOnceCommitted) {
    const StudyInfo& study = GetParam();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const auto bars = test::SyntheticBars(300, 17);
    auto badClose = bars, badVolume = bars;
    badClose[49].close = nan;
    badVolume[49].volume = nan;
    const SlotTrace clean = Run(bars, 0);

    const auto finite = [&](const std::array<double, kReturnSlotCount>& s) {
        for (int k = 0; k < study.slots; ++k)
            if (!std::isfinite(s[static_cast<std::size_t>(k)])) return false;
        return true;
    };
    for (const auto& s : clean) ASSERT_TRUE(finite(s));
    EXPECT_EQ(finite(Run(badClose, 0).back()), !StaysNonFinite(study, false))
        << study.name << " on bar 300 after a NaN close on bar 50";
    EXPECT_EQ(finite(Run(badVolume, 0).back()), !StaysNonFinite(study, true))
        << study.name << " on bar 300 after a NaN volume on bar 50";

    // The same NaN while the bar is forming, then the final values.
    test::QuietTrace quiet;
    const std::int32_t id = E_CREATESTATE2(1);
    SlotTrace resent;
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const Bar& b = bars[i];
        const auto n = static_cast<std::int32_t>(i + 1);
        if (i == 49) {
            E_BARVALUES(id, n, b.date, b.time, b.open, b.high, b.low, nan, b.volume);
            call()(id);
        }
        E_BARVALUES(id, n, b.date, b.time, b.open, b.high, b.low, b.close, b.volume);
        call()(id);
        resent.push_back(Slots(id));
    }
    E_DESTROYSTATE(id);
    std::size_t bad = 0;
    EXPECT_TRUE(SameBits(clean, resent, &bad)) << study.name << " differs from bar " << bad;

    // The host's remedy: a new state fed the bars after the bad one.
    const SlotTrace recreated = Run(std::vector<Bar>(bars.begin() + 50, bars.end()), 0);
    EXPECT_TRUE(finite(recreated.back())) << study.name;
}

std::string StudyName(const ::testing::TestParamInfo<StudyInfo>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(EveryStudy, StudyContract, ::testing::ValuesIn(test::ExportedStudies()), StudyName);

// Each study's results on a state shared with every other study equal its
// results on a state of its own: no study writes another's memory.
TEST(StudiesOnOneState, DoNotDisturbEachOther) {
    test::ResetLibrary();
    test::QuietTrace quiet;
    const auto& studies = test::ExportedStudies();
    const auto bars = test::SyntheticBars(250, 21);
    const std::int32_t shared = E_CREATESTATE2(1);
    std::vector<std::int32_t> own;
    for (std::size_t s = 0; s < studies.size(); ++s) own.push_back(E_CREATESTATE2(1));
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const Bar& b = bars[i];
        const auto number = static_cast<std::int32_t>(i + 1);
        E_BARVALUES(shared, number, b.date, b.time, b.open, b.high, b.low, b.close, b.volume);
        for (std::size_t s = 0; s < studies.size(); ++s) {
            E_BARVALUES(own[s], number, b.date, b.time, b.open, b.high, b.low, b.close, b.volume);
            const test::StudyCall call = test::StudyByName(studies[s].name);
            const double alone = call(own[s]);
            const auto aloneSlots = Slots(own[s]);
            const double together = call(shared);
            ASSERT_EQ(std::memcmp(&alone, &together, sizeof alone), 0) << studies[s].name << " bar " << i;
            ASSERT_EQ(std::memcmp(aloneSlots.data(), Slots(shared).data(), sizeof aloneSlots), 0)
                << studies[s].name << " bar " << i;
        }
    }
    test::ResetLibrary();
}

}  // namespace
}  // namespace zt
