// State ids, the live-state limit with its eviction, and chart contexts.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "tests/test_support.h"

namespace zt {
namespace {

class Registry : public ::testing::Test {
protected:
    void SetUp() override { test::ResetLibrary(); }
    void TearDown() override { test::ResetLibrary(); }
    static bool Exists(std::int32_t id) {
        test::QuietTrace quiet;
        return E_CHECKSTATE(id) == 1;
    }
    static std::int32_t Live() { return TheRegistries().liveStateCount; }
};

TEST_F(Registry, IdsStartAtOneAndAreNeverReused) {
    test::TraceCapture trace;
    EXPECT_EQ(E_CREATESTATE2(1), 1);
    EXPECT_EQ(E_CREATESTATE(99, 1), 2);  // the first argument is ignored
    E_DESTROYSTATE(2);
    EXPECT_EQ(E_CREATESTATE2(0), 3);
    EXPECT_EQ(TheRegistries().states.at(3)->gc, 0);
    EXPECT_EQ(TheRegistries().states.at(1)->gc, 1);
    EXPECT_EQ(trace.lines()[0], "Creating state");
    EXPECT_EQ(trace.lines()[1], "Create State: 1");
    EXPECT_TRUE(trace.contains("Destroy State: 2"));
}

TEST_F(Registry, TheThousandAndFirstStateEvictsTheOldest) {
    {
        test::QuietTrace quiet;
        for (int i = 0; i < kMaxLiveStates; ++i) E_CREATESTATE2(1);
    }
    EXPECT_EQ(Live(), 1000);
    test::TraceCapture trace;
    EXPECT_EQ(E_CREATESTATE2(1), 1001);
    EXPECT_EQ(trace.lines(), (std::vector<std::string>{"Creating state", "Create State: 1001",
                                                       "Destroy State: 1"}));
    EXPECT_EQ(Live(), 1000);
    EXPECT_FALSE(Exists(1));
    EXPECT_TRUE(Exists(2));
    EXPECT_TRUE(Exists(1001));
}

// Ids 1 and 1025 share a place in the look-up index: each is still found
// as itself, and a destroyed one is not found through the other's place.
TEST_F(Registry, LookUpsOfIdsSharingAnIndexPlace) {
    test::QuietTrace quiet;
    ASSERT_EQ(E_CREATESTATE2(1), 1);
    for (int i = 2; i <= static_cast<int>(kStateIndexSize); ++i) E_DESTROYSTATE(E_CREATESTATE2(1));
    ASSERT_EQ(E_CREATESTATE2(1), 1025);
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(FindState(1), TheRegistries().states.at(1).get());
        EXPECT_EQ(FindState(1025), TheRegistries().states.at(1025).get());
    }
    EXPECT_EQ(FindState(2049), nullptr);
    EXPECT_EQ(FindState(1024), nullptr);
    E_DESTROYSTATE(1);
    EXPECT_EQ(FindState(1), nullptr);
    EXPECT_EQ(FindState(1025)->id, 1025);
    E_DESTROYSTATE(1025);
    EXPECT_EQ(FindState(1025), nullptr);
    EXPECT_EQ(FindState(1), nullptr);
}

// A thread looking the same state up again takes no lock while no state was
// released since; a state released meanwhile, by this thread, another one,
// an eviction or a freed chart, is not found again, and the miss is traced.
TEST_F(Registry, AStateFoundBeforeIsNotFoundOnceReleased) {
    test::TraceCapture trace;
    const std::int32_t a = E_CREATESTATE2(1);
    const std::int32_t b = E_CREATESTATE2(1);
    ASSERT_NE(FindState(a), nullptr);
    ASSERT_EQ(FindState(a), FindState(a));
    std::thread([&] { E_DESTROYSTATE(a); }).join();
    EXPECT_EQ(FindState(a), nullptr);
    EXPECT_TRUE(trace.contains("FindState failed for id " + std::to_string(a)));
    EXPECT_EQ(FindState(b)->id, b);  // others are found again after the release

    Dll_Add(7);
    Dll_Context(7);
    const std::int32_t c = E_CREATESTATE2(1);
    ASSERT_EQ(FindState(c)->id, c);
    Dll_Free(7);
    EXPECT_EQ(FindState(c), nullptr);

    test::ResetLibrary();
    const std::int32_t oldest = E_CREATESTATE2(1);
    ASSERT_EQ(FindState(oldest)->id, oldest);
    {
        test::QuietTrace quiet;
        for (int i = 0; i < kMaxLiveStates; ++i) E_CREATESTATE2(1);  // the last one evicts the oldest
    }
    EXPECT_EQ(Live(), kMaxLiveStates);
    EXPECT_EQ(FindState(oldest), nullptr);

    const std::int32_t d = E_CREATESTATE2(1);
    ASSERT_EQ(FindState(d)->id, d);
    test::ResetLibrary();
    EXPECT_EQ(FindState(d), nullptr);
}

TEST_F(Registry, CheckingAStateSavesItFromEviction) {
    test::QuietTrace quiet;
    for (int i = 0; i < kMaxLiveStates; ++i) E_CREATESTATE2(1);
    EXPECT_EQ(E_CHECKSTATE(1), 1);
    E_CREATESTATE2(1);
    EXPECT_TRUE(TheRegistries().states.count(1));
    EXPECT_FALSE(TheRegistries().states.count(2));
    EXPECT_EQ(Live(), 1000);
}

TEST_F(Registry, DestroyedStatesWithoutGcStillCount) {
    {
        test::QuietTrace quiet;
        EXPECT_EQ(E_CREATESTATE2(0), 1);
        E_DESTROYSTATE(1);
        EXPECT_EQ(Live(), 1);
        for (int i = 0; i < kMaxLiveStates - 1; ++i) E_CREATESTATE2(1);
    }
    // The oldest ring entry is the destroyed state 1: the limit is passed but
    // nothing can be evicted.
    test::TraceCapture trace;
    EXPECT_EQ(E_CREATESTATE2(1), 1001);
    EXPECT_TRUE(trace.contains("FindState failed for id 1"));
    EXPECT_EQ(Live(), 1001);
    EXPECT_EQ(TheRegistries().states.size(), 1000u);
}

TEST_F(Registry, CheckingAnUnknownIdLeavesTheRingAlone) {
    test::QuietTrace quiet;
    E_CREATESTATE2(1);
    E_CREATESTATE2(1);
    const auto before = TheRegistries().recentStates;
    EXPECT_EQ(E_CHECKSTATE(77), 0);
    const auto& after = TheRegistries().recentStates;
    EXPECT_EQ(after.head, before.head);
    for (std::uint32_t k = 0; k < kMaxLiveStates; ++k) ASSERT_EQ(after.at(k), before.at(k));
    // A known id moves to the front; the others close up in order.
    E_CREATESTATE2(1);
    EXPECT_EQ(E_CHECKSTATE(1), 1);
    EXPECT_EQ(after.at(0), 1);
    EXPECT_EQ(after.at(1), 3);
    EXPECT_EQ(after.at(2), 2);
    EXPECT_EQ(after.at(3), 0);
}

TEST_F(Registry, SelectingTheCurrentContextAgainWritesNothing) {
    test::TraceCapture trace;
    Dll_Add(7);
    Dll_Context(7);
    EXPECT_EQ(trace.lines(), (std::vector<std::string>{"Context 7 NOT found", "Add Context 7",
                                                       "Set Context 7", "Context 7 found"}));
    trace.clear();
    Dll_Context(7);
    EXPECT_TRUE(trace.lines().empty());
    Dll_Add(7);  // existing: the list is kept
    EXPECT_EQ(trace.lines(), (std::vector<std::string>{"Context 7 found", "Add Context(existing): 7"}));
    EXPECT_EQ(E_CREATESTATE2(1), 1);
    EXPECT_TRUE(trace.contains("Add State 1 to Context 7"));
    Dll_Add(7);
    EXPECT_EQ(TheRegistries().contexts.at(7)->stateIds, std::vector<std::int32_t>{1});
}

TEST_F(Registry, SelectingBeforeAddingLeavesNoRecordUntilAnotherSelection) {
    test::TraceCapture trace;
    Dll_Context(7);
    EXPECT_EQ(trace.lines(), (std::vector<std::string>{"Set Context 7", "Context 7 NOT found"}));
    Dll_Add(7);
    Dll_Context(7);  // already the current id: the new record is not picked up
    E_CREATESTATE2(1);
    EXPECT_TRUE(TheRegistries().contexts.at(7)->stateIds.empty());
    EXPECT_FALSE(trace.contains("Add State 1 to Context 7"));
}

TEST_F(Registry, DestroyingFromAnotherContextLeavesTheIdInItsList) {
    test::TraceCapture trace;
    Dll_Add(1);
    Dll_Add(2);
    Dll_Context(1);
    const std::int32_t a = E_CREATESTATE2(1), b = E_CREATESTATE2(1), c = E_CREATESTATE2(1);
    Dll_Context(2);
    E_DESTROYSTATE(b);
    EXPECT_EQ(TheRegistries().contexts.at(1)->stateIds, (std::vector<std::int32_t>{a, b, c}));
    trace.clear();
    Dll_Free(1);
    EXPECT_EQ(trace.lines(),
              (std::vector<std::string>{"Context 1 found", "Destroy State: 1", "FindState failed for id 2",
                                        "Destroy State: 3", "Delete Context 1"}));
    EXPECT_TRUE(TheRegistries().states.empty());
    EXPECT_EQ(TheRegistries().current.id, 2);  // another context's selection is kept
}

TEST_F(Registry, FreeingTheCurrentContextDestroysAllItsStatesAndDropsTheSelection) {
    test::QuietTrace quiet;
    Dll_Add(7);
    Dll_Context(7);
    for (int i = 0; i < 25; ++i) E_CREATESTATE2(1);
    const std::int32_t outside = [] {
        Dll_Context(8);
        return E_CREATESTATE2(1);
    }();
    Dll_Context(7);
    Dll_Free(7);
    EXPECT_EQ(TheRegistries().states.size(), 1u);
    EXPECT_TRUE(TheRegistries().states.count(outside));
    EXPECT_EQ(TheRegistries().current.id, 0);
    EXPECT_EQ(TheRegistries().current.record, nullptr);
    EXPECT_EQ(Live(), 1);
    // A new context under the same id can be selected again.
    Dll_Add(7);
    Dll_Context(7);
    const std::int32_t fresh = E_CREATESTATE2(1);
    EXPECT_EQ(TheRegistries().contexts.at(7)->stateIds, std::vector<std::int32_t>{fresh});
    Dll_Free(99);  // unknown: nothing happens
    EXPECT_EQ(TheRegistries().contexts.size(), 1u);
}

}  // namespace
}  // namespace zt
